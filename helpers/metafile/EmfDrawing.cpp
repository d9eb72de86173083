// SPDX-License-Identifier: GPL-3.0-or-later
// Lines, shapes and paths. Inside a path bracket (BeginPath .. EndPath) GDI
// draws nothing and collects the outlines instead, for a later fill, stroke
// or clip.
#include "EmfDevice.h"

#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>
#include <numbers>

#include <uemf.h>

namespace sortello::metafile {

namespace {

// Bounds one polygon's points so that a hostile count cannot make the drawing
// take minutes; no real file comes near.
constexpr std::uint32_t MaxPoints = 1u << 20;

QPointF pointAt(const Record& r, std::size_t at, bool small) {
    return small ? QPointF(r.s16(at), r.s16(at + 2)) : r.point(at);
}

// The rectangle GDI fills for a box whose right and bottom edges are
// excluded.
QRectF insideBox(const QRectF& box) {
    return box.adjusted(0, 0, box.width() >= 1 ? -1 : 0, box.height() >= 1 ? -1 : 0);
}

// The angle (degrees, counterclockwise on the page) of the ellipse's own
// parameter where the line from its centre to point crosses it.
double angleOn(const QRectF& box, QPointF point) {
    const QPointF c = box.center();
    const double rx = box.width() / 2 > 0 ? box.width() / 2 : 1;
    const double ry = box.height() / 2 > 0 ? box.height() / 2 : 1;
    return std::atan2(-(point.y() - c.y()) / ry, (point.x() - c.x()) / rx) * 180 / std::numbers::pi;
}

} // namespace

void EmfDevice::shape(const QPainterPath& outline, bool fill, bool stroke) {
    if (path) {
        path->addPath(outline);
        return;
    }
    const QTransform toDevice = logicalToDevice();
    // A stroke far off the page is left out; a fill is cut down to the part
    // near it.
    stroke = stroke && withinReach((toDevice * deviceToPicture).mapRect(outline.boundingRect()));
    QPainterPath filled = outline;
    filled.setFillRule(dc.fillRule);
    if (fill) {
        filled = withinReach(filled, toDevice * deviceToPicture);
        fill = !filled.isEmpty();
    }
    if ((!fill && !stroke) || !beginDrawing(toDevice))
        return;
    if (fill && !dc.brush.null) {
        painter.setPen(Qt::NoPen);
        if (dc.brush.hatched && dc.opaqueBack)
            painter.fillPath(filled, dc.backColor);
        painter.fillPath(filled, qbrush());
    }
    if (stroke && !dc.pen.null) {
        QPen pen = qpen();
        // A world transform that shears or stretches unevenly moves the
        // line, not the pen: the reference keeps a wide pen round and as
        // wide on every side, scaled by the transform's area.
        const bool even = (toDevice.m11() == toDevice.m22() && toDevice.m12() == -toDevice.m21()) ||
                          (toDevice.m11() == -toDevice.m22() && toDevice.m12() == toDevice.m21());
        if (!pen.isCosmetic() && !even && (toDevice.m12() != 0 || toDevice.m21() != 0)) {
            pen.setWidthF(pen.widthF() * std::sqrt(std::abs(toDevice.determinant())));
            painter.setWorldTransform(deviceToPicture);
            painter.strokePath(toDevice.map(outline), pen);
        } else {
            painter.strokePath(outline, pen);
        }
    }
    endDrawing();
}

void EmfDevice::polyline(const Record& r, bool small, bool fromCurrent, bool bezier, bool closed) {
    const std::uint32_t count = r.u32(24);
    const std::size_t step = small ? 4 : 8;
    if (count == 0 || count > MaxPoints || !r.holds(28, count, step))
        return;
    QPainterPath outline;
    std::uint32_t i = 0;
    if (fromCurrent) {
        outline.moveTo(dc.position);
    } else {
        outline.moveTo(pointAt(r, 28, small));
        i = 1;
    }
    if (bezier) {
        for (; i + 3 <= count; i += 3)
            outline.cubicTo(pointAt(r, 28 + i * step, small),
                            pointAt(r, 28 + (i + 1) * step, small),
                            pointAt(r, 28 + (i + 2) * step, small));
    } else {
        for (; i < count; ++i)
            outline.lineTo(pointAt(r, 28 + i * step, small));
    }
    if (fromCurrent) {
        dc.position = outline.currentPosition();
        if (path) {
            // The figure goes on where the path's last one ended.
            if (path->elementCount() == 0 || path->currentPosition() != outline.elementAt(0))
                path->moveTo(outline.elementAt(0));
            path->connectPath(outline);
            return;
        }
    }
    if (closed)
        outline.closeSubpath();
    shape(outline, closed, true);
}

void EmfDevice::polyPoly(const Record& r, bool small, bool closed) {
    const std::uint32_t polygons = r.u32(24);
    const std::uint32_t total = r.u32(28);
    const std::size_t step = small ? 4 : 8;
    if (polygons == 0 || total > MaxPoints || !r.holds(32, polygons, 4))
        return;
    const std::size_t pointsAt = 32 + std::size_t(polygons) * 4;
    if (!r.holds(pointsAt, total, step))
        return;
    QPainterPath outline;
    std::uint64_t at = 0;
    for (std::uint32_t p = 0; p < polygons; ++p) {
        const std::uint32_t count = r.u32(32 + p * 4);
        if (count > total - at)
            return;
        for (std::uint32_t i = 0; i < count; ++i) {
            const QPointF point = pointAt(r, pointsAt + (at + i) * step, small);
            if (i == 0)
                outline.moveTo(point);
            else
                outline.lineTo(point);
        }
        if (closed && count > 0)
            outline.closeSubpath();
        at += count;
    }
    shape(outline, closed, true);
}

void EmfDevice::polyDraw(const Record& r, bool small) {
    const std::uint32_t count = r.u32(24);
    const std::size_t step = small ? 4 : 8;
    if (count == 0 || count > MaxPoints || !r.holds(28, count, step + 1))
        return;
    const std::size_t typesAt = 28 + std::size_t(count) * step;
    QPainterPath outline;
    outline.moveTo(dc.position);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t kind = r.u8(typesAt + i);
        const QPointF point = pointAt(r, 28 + i * step, small);
        if ((kind & ~U_PT_CLOSEFIGURE) == U_PT_MOVETO) {
            outline.moveTo(point);
        } else if ((kind & ~U_PT_CLOSEFIGURE) == U_PT_BEZIERTO && i + 2 < count) {
            outline.cubicTo(point, pointAt(r, 28 + (i + 1) * step, small),
                            pointAt(r, 28 + (i + 2) * step, small));
            i += 2;
        } else {
            outline.lineTo(point);
        }
        if (kind & U_PT_CLOSEFIGURE)
            outline.closeSubpath();
    }
    dc.position = outline.currentPosition();
    shape(outline, false, true);
}

QPainterPath EmfDevice::arcPath(const QRectF& box, QPointF start, QPointF end,
                                std::uint32_t type) const {
    const double from = angleOn(box, start);
    double sweep = angleOn(box, end) - from;
    if (dc.clockwiseArcs) {
        while (sweep >= 0)
            sweep -= 360;
    } else {
        while (sweep <= 0)
            sweep += 360;
    }
    QPainterPath outline;
    if (type == U_EMR_PIE)
        outline.moveTo(box.center());
    else
        outline.arcMoveTo(box, from);
    outline.arcTo(box, from, sweep);
    if (type == U_EMR_PIE || type == U_EMR_CHORD)
        outline.closeSubpath();
    return outline;
}

void EmfDevice::arc(std::uint32_t type, const Record& r) {
    if (!r.has(8, 32))
        return;
    const QRectF bounds = insideBox(box(r, 8));
    QPainterPath outline = arcPath(bounds, r.point(24), r.point(32), type);
    if (outline.elementCount() == 0) // a box with no size has no arc to draw
        return;
    if (type == U_EMR_ARCTO) {
        QPainterPath joined;
        joined.moveTo(dc.position);
        joined.lineTo(outline.elementAt(0));
        joined.connectPath(outline);
        outline = joined;
        dc.position = outline.currentPosition();
        if (path) {
            if (path->elementCount() == 0 || path->currentPosition() != dc.position)
                path->moveTo(outline.elementAt(0));
            path->connectPath(outline);
            return;
        }
    }
    shape(outline, type == U_EMR_PIE || type == U_EMR_CHORD, true);
}

void EmfDevice::angleArc(const Record& r) {
    const QPointF centre = r.point(8);
    const double radius = r.u32(16);
    const double start = r.f32(20);
    const double sweep = r.f32(24);
    const QRectF bounds(centre - QPointF(radius, radius), QSizeF(2 * radius, 2 * radius));
    QPainterPath outline;
    outline.moveTo(dc.position);
    QPainterPath arc;
    arc.arcMoveTo(bounds, start);
    outline.lineTo(arc.currentPosition());
    outline.arcTo(bounds, start, sweep);
    dc.position = outline.currentPosition();
    shape(outline, false, true);
}

bool EmfDevice::playShape(std::uint32_t type, const Record& r) {
    switch (type) {
    case U_EMR_LINETO: {
        const QPointF to = r.point(8);
        if (path) {
            if (path->elementCount() == 0 || path->currentPosition() != dc.position)
                path->moveTo(dc.position);
            path->lineTo(to);
        } else {
            QPainterPath line(dc.position);
            line.lineTo(to);
            shape(line, false, true);
        }
        dc.position = to;
        break;
    }
    case U_EMR_POLYLINE:
        polyline(r, false, false, false, false);
        break;
    case U_EMR_POLYLINE16:
        polyline(r, true, false, false, false);
        break;
    case U_EMR_POLYLINETO:
        polyline(r, false, true, false, false);
        break;
    case U_EMR_POLYLINETO16:
        polyline(r, true, true, false, false);
        break;
    case U_EMR_POLYBEZIER:
        polyline(r, false, false, true, false);
        break;
    case U_EMR_POLYBEZIER16:
        polyline(r, true, false, true, false);
        break;
    case U_EMR_POLYBEZIERTO:
        polyline(r, false, true, true, false);
        break;
    case U_EMR_POLYBEZIERTO16:
        polyline(r, true, true, true, false);
        break;
    case U_EMR_POLYGON:
        polyline(r, false, false, false, true);
        break;
    case U_EMR_POLYGON16:
        polyline(r, true, false, false, true);
        break;
    case U_EMR_POLYPOLYLINE:
        polyPoly(r, false, false);
        break;
    case U_EMR_POLYPOLYLINE16:
        polyPoly(r, true, false);
        break;
    case U_EMR_POLYPOLYGON:
        polyPoly(r, false, true);
        break;
    case U_EMR_POLYPOLYGON16:
        polyPoly(r, true, true);
        break;
    case U_EMR_POLYDRAW:
        polyDraw(r, false);
        break;
    case U_EMR_POLYDRAW16:
        polyDraw(r, true);
        break;
    case U_EMR_RECTANGLE: {
        QPainterPath outline;
        // In the advanced graphics mode a rectangle takes in its right and
        // bottom edges; the reference keeps the boxes of ellipses and arcs
        // without them whatever the mode.
        outline.addRect(dc.advanced ? box(r, 8) : insideBox(box(r, 8)));
        shape(outline, true, true);
        break;
    }
    case U_EMR_ROUNDRECT: {
        QPainterPath outline;
        // The corner is given as the size of the ellipse that rounds it;
        // the reference takes it for the radius, and its rounder corners are
        // what the picture's users have seen.
        const QRectF inside = insideBox(box(r, 8));
        outline.addRoundedRect(inside, std::min<double>(std::abs(r.s32(24)), inside.width() / 2),
                               std::min<double>(std::abs(r.s32(28)), inside.height() / 2));
        shape(outline, true, true);
        break;
    }
    case U_EMR_ELLIPSE: {
        QPainterPath outline;
        outline.addEllipse(insideBox(box(r, 8)));
        shape(outline, true, true);
        break;
    }
    case U_EMR_ARC:
    case U_EMR_ARCTO:
    case U_EMR_CHORD:
    case U_EMR_PIE:
        arc(type, r);
        break;
    case U_EMR_ANGLEARC:
        angleArc(r);
        break;
    case U_EMR_SETPIXELV: {
        if (!beginDrawing(logicalToDevice()))
            break;
        const QPointF at = logicalToDevice().map(r.point(8));
        painter.setWorldTransform(deviceToPicture);
        painter.fillRect(QRectF(at, QSizeF(1, 1)), r.color(16));
        endDrawing();
        break;
    }
    default:
        return false;
    }
    return true;
}

bool EmfDevice::playPath(std::uint32_t type, const Record& r) {
    switch (type) {
    case U_EMR_BEGINPATH:
        path = QPainterPath();
        break;
    case U_EMR_ENDPATH:
        if (path)
            donePath = *path;
        path.reset();
        break;
    case U_EMR_ABORTPATH:
        path.reset();
        donePath = {};
        break;
    case U_EMR_CLOSEFIGURE:
        if (path)
            path->closeSubpath();
        break;
    case U_EMR_FILLPATH:
    case U_EMR_STROKEPATH:
    case U_EMR_STROKEANDFILLPATH: {
        if (path) {
            donePath = *path;
            path.reset();
        }
        const QPainterPath outline = donePath;
        donePath = {};
        shape(outline, type != U_EMR_STROKEPATH, type != U_EMR_FILLPATH);
        break;
    }
    case U_EMR_FLATTENPATH:
        donePath = donePath.toReversed().toReversed();
        break;
    case U_EMR_WIDENPATH: {
        QPainterPathStroker stroker;
        stroker.setWidth(std::max(1.0, dc.pen.width));
        stroker.setCapStyle(dc.pen.cap);
        stroker.setJoinStyle(dc.pen.join);
        donePath = stroker.createStroke(donePath);
        break;
    }
    case U_EMR_SELECTCLIPPATH: {
        QPainterPath clip = logicalToDevice().map(donePath);
        clip.setFillRule(dc.fillRule);
        combineClip(clip, r.u32(8));
        donePath = {};
        break;
    }
    default:
        return false;
    }
    return true;
}

} // namespace sortello::metafile
