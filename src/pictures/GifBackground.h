// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Frames of an animation that give way to the background: browsers, and the
// programs that make these files, leave their place see-through, where Qt's
// reader paints the background colour of the colour table (often black).
#include <QImage>
#include <QList>
#include <QRect>
#include <vector>

namespace sortello {

// What a GIF's blocks say of one frame, in the order the frames come.
struct GifFrameLayout {
    QRect rect;       // where the frame lies on the canvas
    int disposal = 0; // 2: to the background, 3: to the canvas before it
    bool hasTransparent = false;
    // What Qt's reader fills the frame's place with when it gives way to the
    // background and has no transparent colour: the background entry of the
    // frame's colour table, or the canvas's first pixel when there is none.
    QRgb backgroundFill = 0;
    bool fillsFromCorner = false;
};

// Turns the canvases Qt's reader gives, one after another, into the ones a
// browser shows: what a frame disposed to the background uncovered stays
// transparent until a later frame paints over it.
class BackgroundClearing {
public:
    explicit BackgroundClearing(QList<GifFrameLayout> layouts) : layouts(std::move(layouts)) {}
    // Takes the canvases in order, the first one included.
    QImage next(const QImage& canvas);

private:
    QList<GifFrameLayout> layouts;
    qsizetype index = 0;
    QImage previous;            // Qt's own canvas of the frame before, as ARGB32
    std::vector<bool> cleared;  // per pixel: uncovered and not painted since
    std::vector<bool> restored; // `cleared` before a frame that gives way to that
};

} // namespace sortello
