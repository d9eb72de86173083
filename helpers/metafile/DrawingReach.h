// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Damaged records put shapes billions of pixels away, past what a picture's
// bounds can hold, and real ones fill a background many pages wide that the
// clip then cuts down. Neither may leave the drawing the helper sends with
// coordinates that far out; the part near the picture is all that shows.
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <QTransform>

#include <cmath>

namespace sortello::metafile {

// How far from the picture's origin, in its own coordinates, a drawing may reach.
inline constexpr double DrawingReach = 1e6;

// Whether a drawing's bounds, in the picture's coordinates, lie within reach.
inline bool withinReach(const QRectF& drawn) {
    return std::abs(drawn.left()) < DrawingReach && std::abs(drawn.right()) < DrawingReach &&
           std::abs(drawn.top()) < DrawingReach && std::abs(drawn.bottom()) < DrawingReach;
}

// The part of a shape to be filled that lies within reach, in the shape's own
// coordinates, which `toPicture` takes to the picture's. Cut at half the
// reach, so the cut's own edges lie far off any page; empty when nothing of
// the shape is near.
inline QPainterPath withinReach(const QPainterPath& shape, const QTransform& toPicture) {
    if (withinReach(toPicture.mapRect(shape.boundingRect())))
        return shape;
    bool invertible = false;
    const QTransform back = toPicture.inverted(&invertible);
    if (!invertible)
        return {};
    const double half = DrawingReach / 2;
    QPainterPath near;
    near.addPolygon(back.map(QPolygonF(QRectF(-half, -half, 2 * half, 2 * half))));
    near.closeSubpath();
    const QPainterPath cut = shape.intersected(near);
    return withinReach(toPicture.mapRect(cut.boundingRect())) ? cut : QPainterPath();
}

} // namespace sortello::metafile
