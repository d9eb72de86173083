// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/Utility.h"

#include "base/Geometry.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScreen>
#include <QWidget>

namespace sortello {

namespace {

QWidget* referenceFor(const QWidget* form) {
    if (QWidget* parent = form->parentWidget())
        return parent->window();
    QWidget* active = QApplication::activeWindow();
    if (active && active != form)
        return active;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top != form && top->objectName() == QLatin1String("TFrmSRMain"))
            return top;
    return nullptr;
}

bool hasRealScreen() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

// A thin frame that zooms between two rectangles and goes away by itself.
class ZoomFrame : public QWidget {
public:
    ZoomFrame()
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput) {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_DeleteOnClose);
        setAttribute(Qt::WA_ShowWithoutActivating);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRect(rect().adjusted(1, 1, -1, -1));
    }
};

} // namespace

void CenterOnOwner(QWidget* form) {
    if (!form)
        return;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    std::optional<QRect> reference;
    if (const QWidget* owner = referenceFor(form))
        reference = owner->frameGeometry();
    form->move(centeredPosition(screen->geometry(), form->frameGeometry().size(), reference));
}

void animateForm(QWidget* form, bool opening) {
    if (!form || !hasRealScreen())
        return;
    const QWidget* owner = referenceFor(form);
    QRect reference = owner ? owner->frameGeometry() : QRect();
    if (!owner)
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            reference = screen->virtualGeometry();
    const QRect small = animationOrigin(reference);
    const QRect window = form->frameGeometry();
    auto* frame = new ZoomFrame;
    auto* zoom = new QPropertyAnimation(frame, "geometry", frame);
    zoom->setDuration(150);
    zoom->setStartValue(opening ? small : window);
    zoom->setEndValue(opening ? window : small);
    QObject::connect(zoom, &QPropertyAnimation::finished, frame, &QWidget::close);
    frame->setGeometry(small);
    frame->show();
    zoom->start();
}

QFont dialogFont(int pointSize) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(pointSize);
    return font;
}

QFont dialogFontOfPixels(int pixelHeight) {
    QFont font = dialogFont(8);
    font.setPixelSize(pixelHeight);
    return font;
}

AccentRoomDelegate::AccentRoomDelegate(QObject* parent, int lineHeight)
    : QStyledItemDelegate(parent), lineHeight(lineHeight) {}

QSize AccentRoomDelegate::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (lineHeight > 0)
        size.setHeight(lineHeight);
    const QFontMetrics metrics(option.font);
    const int above = -metrics.tightBoundingRect(QStringLiteral("\u00C9\u00C5\u00C2\u00D6")).top() -
                      metrics.ascent();
    // The text is centred in its row, so the room goes above and below.
    if (above > 0)
        size.rheight() += 2 * above;
    return size;
}

// ---- Bringing the window forward ---------------------------------------------

void closeActiveDialogAsCancelled(QWidget* mainWindow) {
    QWidget* active = QApplication::activeModalWidget();
    if (!active || active == mainWindow)
        return;
    if (auto* dialog = qobject_cast<QDialog*>(active))
        dialog->reject();
    else
        active->close();
}

void bringApplicationForward(QWidget* mainWindow) {
    if (!mainWindow)
        return;
    if (mainWindow->isMinimized()) {
        // Keeps a maximised window maximised; Qt hands the focus back to the
        // control that had it when the window is activated again.
        mainWindow->setWindowState(mainWindow->windowState() & ~Qt::WindowMinimized);
        mainWindow->show();
        mainWindow->activateWindow();
        return;
    }
    QWidget* last = QApplication::activeModalWidget();
    if (!last)
        last = mainWindow;
    if (last->isVisible() && last->isEnabled()) {
        last->raise();
        last->activateWindow();
    }
}

} // namespace sortello
