// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the settings dialogs are built of: the placement they share, in which
// controls sit where they were drawn and keep their distance to the edges they
// are pinned to, and their panels and buttons.
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <vector>

class QFrame;
class QLabel;
class QPushButton;
class QWidget;

namespace sortello {

// The window sizes the settings dialogs were drawn for include the frame of a
// sizeable tool window at 96 dpi: 4-pixel borders and a 19-pixel caption. Qt
// sizes the client area and leaves the frame to the window manager.
inline constexpr QSize ToolWindowFrame{8, 27};

enum Pin { PinLeft = 0x1, PinTop = 0x2, PinRight = 0x4, PinBottom = 0x8 };

class PinnedPlacement : public QObject {
public:
    // `designSize` is the container's size the places were drawn at.
    PinnedPlacement(QWidget* container, QSize designSize);

    // Pinned to two opposite edges a control grows with the container; to one
    // edge it moves with that edge.
    void place(QWidget* control, const QRect& designed, int pins = PinLeft | PinTop);
    // A label keeps its own size at the designed corner.
    void place(QLabel* label, QPoint designed);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Placed {
        QPointer<QWidget> control;
        QRect designed;
        int pins;
    };

    void arrange(const Placed& placed) const;

    QWidget* container;
    QSize design;
    std::vector<Placed> controls;
};

// The frames the dialogs are built of: a lowered panel holding raised ones.
QFrame* makePanel(const char* name, QWidget* parent, bool lowered);
QPushButton* makeButton(const char* name, const QString& caption, QWidget* parent,
                        bool handCursor = true);

} // namespace sortello
