// SPDX-License-Identifier: GPL-3.0-or-later
// The EMF+ records that draw: shapes, text and images.
#include "DrawingReach.h"
#include "EmfPlus.h"
#include "EmfPlusRecords.h"

#include <algorithm>
#include <cmath>

namespace sortello::metafile {

namespace {

// A cardinal spline through points as Bézier segments: each segment's
// control points lie along the line between its neighbours, `tension` / 3
// of the way.
QPainterPath cardinalSpline(const std::vector<QPointF>& p, double tension, bool closed,
                            std::size_t first, std::size_t segments) {
    QPainterPath path;
    const std::size_t n = p.size();
    if (n < 2 || first >= n)
        return path;
    segments = std::min(segments, closed ? n - first : n - 1 - first);
    const auto at = [&](std::ptrdiff_t i) {
        if (closed)
            return p[std::size_t((i % std::ptrdiff_t(n) + std::ptrdiff_t(n)) % std::ptrdiff_t(n))];
        return p[std::size_t(std::clamp<std::ptrdiff_t>(i, 0, std::ptrdiff_t(n) - 1))];
    };
    const double k = tension / 3;
    path.moveTo(p[first]);
    for (std::size_t s = 0; s < segments; ++s) {
        const auto i = std::ptrdiff_t(first + s);
        path.cubicTo(at(i) + (at(i + 1) - at(i - 1)) * k, at(i + 1) - (at(i + 2) - at(i)) * k,
                     at(i + 1));
    }
    if (closed)
        path.closeSubpath();
    return path;
}

// Whether glyphs drawn at FontPixels through `transform` come out a size Qt
// renders: its glyph cache fails on glyphs squeezed to a line or blown up
// past any page, which hostile transforms make.
bool glyphsDrawable(const QTransform& transform) {
    const double across = std::hypot(transform.m11(), transform.m12()) * FontPixels;
    const double down = std::hypot(transform.m21(), transform.m22()) * FontPixels;
    const double area = std::abs(transform.determinant()) * FontPixels * FontPixels;
    return std::isfinite(across) && std::isfinite(down) && std::isfinite(area) &&
           std::max(across, down) < 20000 && area > 0.5 && area > across * down * 1e-3;
}

QPainterPath polyline(const std::vector<QPointF>& points, bool close) {
    QPainterPath path;
    if (points.empty())
        return path;
    path.moveTo(points.front());
    for (std::size_t i = 1; i < points.size(); ++i)
        path.lineTo(points[i]);
    if (close)
        path.closeSubpath();
    return path;
}

// GDI+ angles run clockwise on the screen, Qt's anticlockwise.
QPainterPath arc(const QRectF& box, double start, double sweep, bool pie) {
    QPainterPath path;
    if (pie) {
        path.moveTo(box.center());
        path.arcTo(box, -start, -sweep);
        path.closeSubpath();
    } else {
        path.arcMoveTo(box, -start);
        path.arcTo(box, -start, -sweep);
    }
    return path;
}

} // namespace

bool EmfPlusPlayer::drawShape(std::uint16_t type, std::uint16_t flags, EmfPlusReader& in) {
    using namespace emfplus;
    const bool compressed = flags & Compressed;
    const bool relative = flags & Relative;
    const std::uint32_t objectId = flags & 0xFF;
    const bool fills = type == FillRects || type == FillPolygon || type == FillEllipse ||
                       type == FillPie || type == FillRegion || type == FillPath ||
                       type == FillClosedCurve;
    std::optional<QBrush> brushToFill;
    if (fills) {
        brushToFill = brush(flags, in.u32());
        if (!brushToFill)
            return false;
    }
    const auto* penToDraw = fills ? nullptr : objectAs<EmfPlusPen>(objectId);
    QPainterPath path;
    switch (type) {
    case Clear: {
        const QColor colour = in.colour();
        if (!in.ok())
            return false;
        painter_.save();
        painter_.setTransform(QTransform());
        if (state_.clip)
            painter_.setClipPath(*state_.clip,
                                 painter_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
        painter_.setCompositionMode(QPainter::CompositionMode_Source);
        painter_.fillRect(everything(), colour);
        painter_.restore();
        return true;
    }
    case FillRects:
    case DrawRects: {
        const std::uint32_t count = in.u32();
        if (count > in.left() / (compressed ? 8 : 16))
            return false;
        for (std::uint32_t i = 0; i < count; ++i)
            path.addRect(in.rect(compressed));
        break;
    }
    case FillPolygon:
    case DrawLines:
    case DrawBeziers: {
        const std::vector<QPointF> points = in.points(in.u32(), compressed, relative);
        if (type == DrawBeziers) {
            if (points.empty())
                return false;
            path.moveTo(points.front());
            for (std::size_t i = 1; i + 2 < points.size(); i += 3)
                path.cubicTo(points[i], points[i + 1], points[i + 2]);
        } else {
            path = polyline(points, type == FillPolygon || (flags & Closed));
        }
        break;
    }
    case FillEllipse:
    case DrawEllipse:
        path.addEllipse(in.rect(compressed));
        break;
    case FillPie:
    case DrawPie:
    case DrawArc: {
        const double start = in.f32();
        const double sweep = in.f32();
        path = arc(in.rect(compressed), start, sweep, type != DrawArc);
        break;
    }
    case FillRegion: {
        const auto* region = objectAs<EmfPlusRegion>(objectId);
        if (!region)
            return false;
        if (region->area)
            path = *region->area;
        else
            path.addRect(toPicture().inverted().mapRect(everything()));
        break;
    }
    case FillPath:
    case DrawPath: {
        const auto* shape = objectAs<EmfPlusPath>(objectId);
        if (!shape)
            return false;
        path = shape->path;
        if (type == DrawPath) {
            const auto* pen = objectAs<EmfPlusPen>(in.u32());
            if (!pen || !in.ok())
                return false;
            stroke(path, *pen);
            return true;
        }
        break;
    }
    case FillClosedCurve:
    case DrawClosedCurve:
    case DrawCurve: {
        const double tension = in.f32();
        std::uint32_t first = 0, segments = 0;
        if (type == DrawCurve) {
            first = in.u32();
            segments = in.u32();
        }
        const std::vector<QPointF> points = in.points(in.u32(), compressed, relative);
        path = cardinalSpline(points, tension, type != DrawCurve, first,
                              type == DrawCurve ? segments : points.size());
        if (type == FillClosedCurve && (flags & Closed))
            path.setFillRule(Qt::WindingFill);
        break;
    }
    default:
        return false;
    }
    if (!in.ok() || path.isEmpty())
        return false;
    if (brushToFill) {
        fill(path, *brushToFill);
        return true;
    }
    if (!penToDraw)
        return false;
    stroke(path, *penToDraw);
    return true;
}

bool EmfPlusPlayer::drawText(std::uint16_t type, std::uint16_t flags, EmfPlusReader& in) {
    const auto* font = objectAs<EmfPlusFont>(flags & 0xFF);
    const std::optional<QBrush> ink = brush(flags, in.u32());
    if (!font || !ink)
        return false;
    // Drawn with the font at a fixed size and scaled, as an em may be a
    // fraction of a world unit.
    const double scale = font->emSize / FontPixels;
    const QTransform toFont = QTransform::fromScale(1 / scale, 1 / scale);
    QString text;
    if (type == emfplus::DrawString) {
        const auto* format = objectAs<EmfPlusStringFormat>(in.u32());
        const std::uint32_t length = in.u32();
        const QRectF layout = in.rect(false);
        if (length > in.left() / 2)
            return false;
        for (std::uint32_t i = 0; i < length; ++i)
            text.append(QChar(in.u16()));
        if (!in.ok() || text.isEmpty())
            return false;
        const EmfPlusStringFormat how = format ? *format : EmfPlusStringFormat{};
        const bool point = layout.width() <= 0 || layout.height() <= 0;
        int textFlags = int(how.alignment);
        if (point)
            textFlags |= Qt::TextDontClip;
        else if (!how.noWrap)
            textFlags |= Qt::TextWordWrap;
        if (!glyphsDrawable(QTransform::fromScale(scale, scale) * toPicture()))
            return false;
        begin(QTransform::fromScale(scale, scale));
        painter_.setFont(font->font);
        painter_.setPen(QPen(*ink, 0));
        // The lines are laid out between the margins.
        double lead = how.leadingMargin * font->emSize;
        double trail = point ? -lead : how.trailingMargin * font->emSize;
        if (!point && lead + trail > layout.width()) {
            const double fit = layout.width() / (lead + trail);
            lead *= fit;
            trail *= fit;
        }
        const QRectF box = toFont.mapRect(layout.adjusted(lead, 0, -trail, 0));
        painter_.drawText(point ? QRectF(box.topLeft(), QSizeF()) : box, textFlags, text);
        painter_.restore();
        return true;
    }
    // Driver strings: glyphs with a position each, or one and its advances.
    const std::uint32_t options = in.u32();
    const bool hasMatrix = in.u32() != 0;
    const std::uint32_t count = in.u32();
    if (count == 0 || count > in.left() / 2)
        return false;
    for (std::uint32_t i = 0; i < count; ++i)
        text.append(QChar(in.u16()));       // glyph indices of an unknown font read as characters
    const bool onePosition = options & 0x4; // the rest follow from the glyphs' advances
    const std::vector<QPointF> positions = in.points(count, false, false);
    const QTransform matrix = hasMatrix ? in.transform() : QTransform();
    if (!in.ok() || positions.empty())
        return false;
    if (!glyphsDrawable(QTransform::fromScale(scale, scale) * matrix * toPicture()))
        return false;
    begin(QTransform::fromScale(scale, scale) * matrix);
    painter_.setFont(font->font);
    painter_.setPen(QPen(*ink, 0));
    if (onePosition) {
        painter_.drawText(toFont.map(positions.front()), text);
    } else {
        for (std::uint32_t i = 0; i < count; ++i)
            painter_.drawText(toFont.map(positions[i]), QString(text[qsizetype(i)]));
    }
    painter_.restore();
    return true;
}

bool EmfPlusPlayer::drawImage(std::uint16_t type, std::uint16_t flags, EmfPlusReader& in) {
    const auto* image = objectAs<EmfPlusImage>(flags & 0xFF);
    in.u32(); // image attributes: colour adjustments are not drawn
    in.i32(); // the source rectangle's unit: pixels in every file seen
    const QRectF source = in.rect(false);
    if (!image || image->image.isNull() || source.isEmpty())
        return false;
    // The source rectangle maps onto the target whole; only the part of it
    // the image covers is painted.
    QTransform placement;
    QRectF target(0, 0, 1, 1);
    if (type == emfplus::DrawImage) {
        target = in.rect(flags & emfplus::Compressed);
    } else {
        const std::uint32_t count = in.u32();
        const std::vector<QPointF> corners =
            in.points(count, flags & emfplus::Compressed, flags & emfplus::Relative);
        if (count != 3 || corners.size() != 3)
            return false;
        // Upper left, upper right and lower left corners of a parallelogram.
        const QPointF across = corners[1] - corners[0], down = corners[2] - corners[0];
        placement =
            QTransform(across.x(), across.y(), down.x(), down.y(), corners[0].x(), corners[0].y());
    }
    const QRectF visible = source.intersected(QRectF(image->image.rect()));
    if (!in.ok() || visible.isEmpty())
        return false;
    const QTransform sourceToTarget =
        QTransform::fromTranslate(-source.x(), -source.y()) *
        QTransform::fromScale(target.width() / source.width(), target.height() / source.height()) *
        QTransform::fromTranslate(target.x(), target.y());
    if (!withinReach((sourceToTarget * placement * toPicture()).mapRect(visible)))
        return true; // drawn, where nothing can show it
    begin(sourceToTarget * placement);
    painter_.drawImage(visible, image->image, visible);
    painter_.restore();
    return true;
}

} // namespace sortello::metafile
