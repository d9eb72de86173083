// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/SRImageView.h"

#include "base/Prompts.h"
#include "pictures/Picture.h"
#include "widgets/PictureBox.h"
#include "widgets/Utility.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <memory>

namespace sortello {

namespace {

QRect screenRect(bool available = false) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return available ? screen->availableGeometry() : screen->geometry();
}

// Where a frame of the given size may stand: its top-left corner never above
// or left of the screen's work area, so its title bar can always be reached,
// and no further right or down than it takes to show the whole frame.
QPoint onScreen(QPoint topLeft, QSize outer) {
    const QRect work = screenRect(true);
    if (work.isEmpty())
        return topLeft;
    return {qMax(work.left(), qMin(topLeft.x(), work.right() + 1 - outer.width())),
            qMax(work.top(), qMin(topLeft.y(), work.bottom() + 1 - outer.height()))};
}

} // namespace

TFrmSRImageView::Handler TFrmSRImageView::handlerOf(PreviewOption option) {
    switch (option) {
    case PreviewOption::AutoSize:
        return &TFrmSRImageView::MIImgAutoSizeClick;
    case PreviewOption::Center:
        return &TFrmSRImageView::MIImgCenterClick;
    case PreviewOption::Proportional:
        return &TFrmSRImageView::MIImgProportionalClick;
    case PreviewOption::Stretch:
        return &TFrmSRImageView::MIImgStretchClick;
    case PreviewOption::Transparent:
        break;
    }
    return &TFrmSRImageView::MIImgTransparentClick;
}

TFrmSRImageView::TFrmSRImageView(QWidget* owner)
    : QDialog(owner,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      owner(owner) {
    setObjectName(QStringLiteral("FrmSRImageView"));
    setWindowTitle(QString(ApplicationTitle) + QStringLiteral(" - Zoom"));

    ScrollBox = new QScrollArea(this);
    ScrollBox->setObjectName(QStringLiteral("ScrollBox"));
    ScrollBox->setFrameShape(QFrame::NoFrame);
    ScrollBox->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ScrollBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBox->horizontalScrollBar()->setTracking(true);
    ScrollBox->verticalScrollBar()->setTracking(true);
    ScrollBox->viewport()->installEventFilter(this);

    Image = new PictureBox;
    Image->setObjectName(QStringLiteral("Image"));
    Image->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    Image->setOptions(DisplayOptions{}); // auto-size, Center, Proportional, Stretch
    ScrollBox->setWidget(Image);
    ScrollBox->setWidgetResizable(false);
    connect(Image, &PictureBox::clicked, this, &TFrmSRImageView::MouseClick);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto item = [this](const char* name, const char* caption, bool checked,
                       void (TFrmSRImageView::*handler)()) {
        QAction* action = PopupMenu1->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(true);
        action->setChecked(checked);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    for (const PreviewSetting& setting : MenuSelectionPreviewSettings)
        actionOf(setting.option) =
            item(setting.key, setting.caption, setting.defaultOn, handlerOf(setting.option));
}

QAction*& TFrmSRImageView::actionOf(PreviewOption option) {
    switch (option) {
    case PreviewOption::AutoSize:
        return MIImgAutoSize;
    case PreviewOption::Center:
        return MIImgCenter;
    case PreviewOption::Proportional:
        return MIImgProportional;
    case PreviewOption::Stretch:
        return MIImgStretch;
    case PreviewOption::Transparent:
        break;
    }
    return MIImgTransparent;
}

bool& viewerOption(DisplayOptions& options, PreviewOption option) {
    switch (option) {
    case PreviewOption::AutoSize:
        return options.autoSize;
    case PreviewOption::Center:
        return options.center;
    case PreviewOption::Proportional:
        return options.proportional;
    case PreviewOption::Stretch:
        return options.stretch;
    case PreviewOption::Transparent:
        break;
    }
    return options.transparent;
}

TFrmSRImageView::~TFrmSRImageView() {
    animateForm(this, false);
}

void TFrmSRImageView::setPicture(const Picture& picture) {
    // Sized first, so that the control decodes the picture whole rather than
    // for whatever size it has now.
    if (Image->options().autoSize)
        Image->resize(picture.largestImageSize());
    Image->setPicture(picture);
    keepImageAtPictureSize();
    sizeToContent();
    updateScrollBars();
}

DisplayOptions TFrmSRImageView::checkedOptions() const {
    DisplayOptions options;
    options.autoSize = MIImgAutoSize->isChecked();
    options.center = MIImgCenter->isChecked();
    options.stretch = MIImgStretch->isChecked();
    options.proportional = MIImgProportional->isChecked();
    options.transparent = MIImgTransparent->isChecked();
    return options;
}

QColor TFrmSRImageView::backgroundColour() const {
    return palette().color(QPalette::Window);
}

void TFrmSRImageView::setBackgroundColour(const QColor& colour) {
    QPalette shades = palette();
    shades.setColor(QPalette::Window, colour);
    setPalette(shades);
}

void TFrmSRImageView::MouseClick() {
    accept();
}

void TFrmSRImageView::MIImgAutoSizeClick() {
    if (MIImgAutoSize->isChecked()) {
        ScrollBox->setWidgetResizable(false);
        Image->setAutoSize(true);
        keepImageAtPictureSize();
        const QRect screen = screenRect();
        if (screen.width() < Image->width() || screen.height() < Image->height()) {
            // Within the screen first: that is the size and place it returns
            // to, and keeps where the window system does not maximise.
            fitOnScreen();
            centreOnScreen();
            setWindowState(windowState() | Qt::WindowMaximized);
        }
        autoSizing = !isMaximized();
        sizeToContent();
    } else {
        if (isMaximized())
            setWindowState(windowState() & ~Qt::WindowMaximized);
        autoSizing = false;
        // The picture is scaled within the window now, so the window itself
        // never needs to be larger than the screen.
        fitOnScreen();
        Image->setAutoSize(false);
        ScrollBox->setWidgetResizable(true);
    }
    centreOnScreen();
    updateScrollBars();
}

void TFrmSRImageView::MIImgCenterClick() {
    Image->setCenter(MIImgCenter->isChecked());
}

void TFrmSRImageView::MIImgProportionalClick() {
    Image->setProportional(MIImgProportional->isChecked());
}

void TFrmSRImageView::MIImgStretchClick() {
    Image->setStretch(MIImgStretch->isChecked());
}

void TFrmSRImageView::MIImgTransparentClick() {
    Image->setTransparent(MIImgTransparent->isChecked());
}

void TFrmSRImageView::keyPressEvent(QKeyEvent* event) {
    // Keys that type a character close, Escape, Enter and Backspace among
    // them; arrows, function keys and Delete type none.
    const QString text = event->text();
    if (!text.isEmpty() && text != QLatin1String("\x7f")) {
        event->accept();
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFrmSRImageView::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ScrollBox->setGeometry(rect());
    updateScrollBars();
}

void TFrmSRImageView::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (placed)
        return;
    placed = true;
    animateForm(this, true);
    // Over the owner by the outer size, within the screen; a maximised
    // window stays where the window system put it.
    if (owner && !isMaximized()) {
        const QRect main = owner->window()->frameGeometry();
        const QSize outer = outerSize();
        move(onScreen({main.x() + (main.width() - outer.width()) / 2,
                       main.y() + (main.height() - outer.height()) / 2},
                      outer));
    }
}

void TFrmSRImageView::contextMenuEvent(QContextMenuEvent* event) {
    PopupMenu1->popup(event->globalPos());
    event->accept();
}

void TFrmSRImageView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        MouseClick();
    else
        QDialog::mouseReleaseEvent(event);
}

bool TFrmSRImageView::eventFilter(QObject* watched, QEvent* event) {
    // A click on the margin beside the picture; the picture's own clicks
    // arrive through its clicked signal and pass through here unhandled.
    if (watched == ScrollBox->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            !Image->geometry().contains(mouse->position().toPoint())) {
            MouseClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// PictureBox's own auto-size stops at its parent's size; in the viewer the
// picture keeps its full size and the scroll bars reach the rest. A metafile
// declaring more than can be drawn in bounded memory is shown at the largest
// size it is drawn at.
void TFrmSRImageView::keepImageAtPictureSize() {
    const QSize own = Image->picture().largestImageSize();
    if (Image->options().autoSize && !own.isEmpty())
        Image->resize(own);
}

void TFrmSRImageView::sizeToContent() {
    if (autoSizing && !isMaximized() && !Image->size().isEmpty())
        resize(Image->size());
}

void TFrmSRImageView::updateScrollBars() {
    // An aligned picture is the client area's size and never needs them.
    const QSize content = ScrollBox->widgetResizable() ? size() : Image->size();
    ScrollBox->setHorizontalScrollBarPolicy(width() < content.width() ? Qt::ScrollBarAlwaysOn
                                                                      : Qt::ScrollBarAlwaysOff);
    ScrollBox->setVerticalScrollBarPolicy(height() < content.height() ? Qt::ScrollBarAlwaysOn
                                                                      : Qt::ScrollBarAlwaysOff);
}

QSize TFrmSRImageView::outerSize() const {
    const QSize outer = frameGeometry().size();
    // Until the window system has framed the window, its frame is taken to
    // be the owner's, so a window sized to the screen is not framed past it.
    if (outer == size() && owner) {
        const QWidget* main = owner->window();
        return size() + main->frameGeometry().size() - main->size();
    }
    return outer;
}

void TFrmSRImageView::fitOnScreen() {
    resize(size().boundedTo(screenRect(true).size() - (outerSize() - size())));
}

void TFrmSRImageView::centreOnScreen() {
    if (isMaximized())
        return;
    const QRect screen = screenRect();
    const QSize outer = outerSize();
    move(onScreen({screen.x() + screen.width() / 2 - outer.width() / 2,
                   screen.y() + screen.height() / 2 - outer.height() / 2},
                  outer));
}

QColor scratchBackground(const QImage& picture) {
    QImage scratch(10, 10, QImage::Format_RGB32);
    scratch.fill(Qt::white);
    QPainter painter(&scratch);
    painter.drawImage(QPoint(0, 0), picture, QRect(0, 0, 10, 10));
    painter.end();
    return scratch.pixelColor(9, 9);
}

void ImageClick(QWidget* owner, Prompts& prompts, const Picture& picture, DisplayOptions& options) {
    // Declared before the viewer, so the viewer goes first and the hourglass
    // after it, on every path.
    BusyCursor busy;
    auto viewer = std::make_unique<TFrmSRImageView>(owner);
    viewer->setPicture(picture);

    // Would the window fit on the screen with the picture as its client area?
    const QRect screen = screenRect();
    const QSize own = picture.largestImageSize();
    const QSize outer = viewer->outerSize();
    const bool fits = screen.width() >= outer.width() + own.width() - viewer->width() &&
                      screen.height() >= outer.height() + own.height() - viewer->height();
    if (fits) {
        if (owner) {
            const QRect main = owner->window()->frameGeometry();
            viewer->move(main.x() + main.width() / 2 - own.width() / 2,
                         main.y() + main.height() / 2 - own.height() / 2);
        }
    } else {
        viewer->MIImgAutoSize->setChecked(false);
        viewer->MIImgAutoSize->trigger();
    }

    const std::pair<QAction*, bool> carried[] = {
        {viewer->MIImgCenter, options.center},
        {viewer->MIImgProportional, options.proportional},
        {viewer->MIImgStretch, options.stretch},
        {viewer->MIImgTransparent, options.transparent},
        {viewer->MIImgAutoSize, options.autoSize},
    };
    for (const auto& [item, on] : carried)
        if (item->isChecked() != on)
            item->trigger();

    viewer->setBackgroundColour(scratchBackground(picture.fullImage()));
    prompts.runModal(*viewer);
    options = viewer->checkedOptions();
}

} // namespace sortello
