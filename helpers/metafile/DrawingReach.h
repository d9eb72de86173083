// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QRectF>

#include <cmath>

namespace sortello::metafile {

// Whether a drawing's bounds, in the picture's coordinates, lie near enough
// the picture to be drawn. Damaged records put shapes billions of pixels
// away, past what a picture's bounds can hold; such a shape is left out and
// the rest of the file still drawn.
inline bool withinReach(const QRectF& drawn) {
    constexpr double Reach = 1e6;
    return std::abs(drawn.left()) < Reach && std::abs(drawn.right()) < Reach &&
           std::abs(drawn.top()) < Reach && std::abs(drawn.bottom()) < Reach;
}

} // namespace sortello::metafile
