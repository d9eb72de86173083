// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/DialogParts.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace sortello {

PinnedPlacement::PinnedPlacement(QWidget* container, QSize designSize)
    : QObject(container), container(container), design(designSize) {
    container->installEventFilter(this);
}

void PinnedPlacement::place(QWidget* control, const QRect& designed, int pins) {
    controls.push_back({control, designed, pins});
    arrange(controls.back());
}

void PinnedPlacement::place(QLabel* label, QPoint designed) {
    place(label, QRect(designed, label->sizeHint()));
}

bool PinnedPlacement::eventFilter(QObject* watched, QEvent* event) {
    if (watched == container && event->type() == QEvent::Resize)
        for (const Placed& placed : controls)
            arrange(placed);
    return QObject::eventFilter(watched, event);
}

void PinnedPlacement::arrange(const Placed& placed) const {
    if (!placed.control)
        return;
    const int grownWidth = container->width() - design.width();
    const int grownHeight = container->height() - design.height();
    QRect r = placed.designed;
    if (placed.pins & PinRight) {
        if (placed.pins & PinLeft)
            r.setWidth(r.width() + grownWidth);
        else
            r.moveLeft(r.left() + grownWidth);
    }
    if (placed.pins & PinBottom) {
        if (placed.pins & PinTop)
            r.setHeight(r.height() + grownHeight);
        else
            r.moveTop(r.top() + grownHeight);
    }
    placed.control->setGeometry(r);
}

QFrame* makePanel(const char* name, QWidget* parent, bool lowered) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameStyle(QFrame::Panel | (lowered ? QFrame::Sunken : QFrame::Raised));
    panel->setLineWidth(1);
    return panel;
}

QPushButton* makeButton(const char* name, const QString& caption, QWidget* parent,
                        bool handCursor) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    if (handCursor)
        button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace sortello
