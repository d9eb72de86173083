// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a picture is drawn inside its control, by the display options. Plain
// arithmetic, so the rule is tested without a widget.
#include <QRect>
#include <QSize>

namespace sortello {

struct DisplayOptions {
    bool autoSize = true;
    bool center = true;
    bool stretch = true;
    bool proportional = true;
    bool transparent = false;
    bool operator==(const DisplayOptions&) const = default;
};

// The rectangle, in control coordinates, that a picture of size `picture`
// occupies in a control whose inner size is `control`.
QRect placePicture(const QSize& control, const QSize& picture, const DisplayOptions& options);

} // namespace sortello
