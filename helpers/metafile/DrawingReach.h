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

#include <algorithm>
#include <cmath>

namespace sortello::metafile {

// How far from the picture's origin, in its own coordinates, a drawing may reach.
inline constexpr double DrawingReach = 1e6;

// Whether a drawing's bounds, in the picture's coordinates, lie within reach.
inline bool withinReach(const QRectF& drawn) {
    return std::abs(drawn.left()) < DrawingReach && std::abs(drawn.right()) < DrawingReach &&
           std::abs(drawn.top()) < DrawingReach && std::abs(drawn.bottom()) < DrawingReach;
}

// The part of a closed polygon inside the square of half-side `half` around
// the origin, edge by edge (Sutherland-Hodgman). The square is convex, so the
// part keeps every point's winding inside it; the edges it adds run along the
// square's sides.
inline QPolygonF clippedToSquare(QPolygonF polygon, double half) {
    const auto inside = [half](const QPointF& p, int side) {
        return side == 0   ? p.x() >= -half
               : side == 1 ? p.x() <= half
               : side == 2 ? p.y() >= -half
                           : p.y() <= half;
    };
    const auto crossing = [half](const QPointF& a, const QPointF& b, int side) {
        const double edge = side % 2 ? half : -half;
        const double t =
            side < 2 ? (edge - a.x()) / (b.x() - a.x()) : (edge - a.y()) / (b.y() - a.y());
        return a + (b - a) * t;
    };
    for (int side = 0; side < 4 && !polygon.isEmpty(); ++side) {
        QPolygonF kept;
        for (qsizetype i = 0; i < polygon.size(); ++i) {
            const QPointF& from = polygon[i == 0 ? polygon.size() - 1 : i - 1];
            const QPointF& to = polygon[i];
            if (inside(to, side) != inside(from, side))
                kept << crossing(from, to, side);
            if (inside(to, side))
                kept << to;
        }
        polygon = kept;
    }
    return polygon;
}

// The part of a shape to be filled that lies within reach, in the shape's own
// coordinates, which `toPicture` takes to the picture's. Cut at half the
// reach, so the cut's own edges lie far off any page; empty when nothing of
// the shape is near. The cut is made here, not by QPainterPath::intersected,
// whose clipping follows a null path when a degenerate shape clips to nothing.
inline QPainterPath withinReach(const QPainterPath& shape, const QTransform& toPicture) {
    if (withinReach(toPicture.mapRect(shape.boundingRect())))
        return shape;
    bool invertible = false;
    const QTransform back = toPicture.inverted(&invertible);
    if (!invertible)
        return {};
    QPainterPath cut;
    cut.setFillRule(shape.fillRule());
    for (const QPolygonF& polygon : shape.toSubpathPolygons(toPicture)) {
        const auto finite = [](const QPointF& p) {
            return std::isfinite(p.x()) && std::isfinite(p.y());
        };
        if (!std::all_of(polygon.begin(), polygon.end(), finite))
            continue;
        const QPolygonF near = clippedToSquare(polygon, DrawingReach / 2);
        if (near.size() < 3)
            continue;
        cut.addPolygon(back.map(near));
        cut.closeSubpath();
    }
    return withinReach(toPicture.mapRect(cut.boundingRect())) ? cut : QPainterPath();
}

} // namespace sortello::metafile
