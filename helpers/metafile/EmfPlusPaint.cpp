// SPDX-License-Identifier: GPL-3.0-or-later
// EMF+ brushes and pens as Qt's.
#include "EmfPlusObjects.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace sortello::metafile {

namespace {

Qt::BrushStyle hatchStyle(std::uint32_t style) {
    constexpr Qt::BrushStyle styles[] = {
        Qt::HorPattern,    Qt::VerPattern,       Qt::FDiagPattern,  Qt::BDiagPattern,
        Qt::CrossPattern,  Qt::DiagCrossPattern, Qt::Dense7Pattern, Qt::Dense6Pattern,
        Qt::Dense6Pattern, Qt::Dense5Pattern,    Qt::Dense5Pattern, Qt::Dense4Pattern,
        Qt::Dense4Pattern, Qt::Dense3Pattern,    Qt::Dense3Pattern, Qt::Dense2Pattern,
        Qt::Dense2Pattern, Qt::Dense1Pattern,
    };
    // The rarer styles (bricks, waves, plaids) are drawn as half tones.
    return style < std::size(styles) ? styles[style] : Qt::Dense4Pattern;
}

QBrush hatchBrush(std::uint32_t style, const QColor& fore, const QColor& back) {
    QImage tile(8, 8, QImage::Format_ARGB32);
    tile.fill(back);
    QPainter painter(&tile);
    painter.fillRect(tile.rect(), QBrush(fore, hatchStyle(style)));
    painter.end();
    return QBrush(tile);
}

// A linear gradient runs across, so flipping it down (TileFlipY) repeats it
// as plain tiling does, as the reference draws it.
QGradient::Spread spreadOf(std::int32_t wrap) {
    switch (wrap) {
    case 0:
    case 2:
        return QGradient::RepeatSpread;
    case 1:
    case 3:
        return QGradient::ReflectSpread;
    default:
        return QGradient::PadSpread;
    }
}

constexpr std::uint32_t BrushPath = 0x01, BrushTransform = 0x02, BrushPresetColours = 0x04,
                        BrushBlendX = 0x08, BrushBlendY = 0x10;

QColor mix(const QColor& a, const QColor& b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    const auto lerp = [t](int x, int y) { return int(std::lround(x + (y - x) * t)); };
    return QColor(lerp(a.red(), b.red()), lerp(a.green(), b.green()), lerp(a.blue(), b.blue()),
                  lerp(a.alpha(), b.alpha()));
}

// The optional colour stops after a gradient's geometry: preset colours, or
// blend factors between `from` and `to`. Positions run from `from`.
QGradientStops blendStops(EmfPlusReader& in, std::uint32_t flags, const QColor& from,
                          const QColor& to) {
    QGradientStops stops;
    if (!(flags & (BrushPresetColours | BrushBlendX | BrushBlendY)))
        return stops;
    const std::uint32_t count = in.u32();
    if (count > in.left() / 8)
        return stops;
    std::vector<double> positions(count);
    for (double& p : positions)
        p = std::clamp(double(in.f32()), 0.0, 1.0);
    for (std::uint32_t i = 0; i < count; ++i)
        stops.append(
            {positions[i], flags & BrushPresetColours ? in.colour() : mix(from, to, in.f32())});
    std::stable_sort(stops.begin(), stops.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return in.ok() ? stops : QGradientStops();
}

QBrush linearGradient(EmfPlusReader& in) {
    const std::uint32_t flags = in.u32();
    const std::int32_t wrap = in.i32();
    const QRectF rect = in.rect(false);
    const QColor start = in.colour(), end = in.colour();
    in.skip(8);
    const QTransform transform = flags & BrushTransform ? in.transform() : QTransform();
    QLinearGradient gradient(rect.topLeft(), rect.topRight());
    gradient.setSpread(spreadOf(wrap));
    gradient.setColorAt(0, start);
    gradient.setColorAt(1, end);
    if (const QGradientStops stops = blendStops(in, flags, start, end); !stops.isEmpty())
        gradient.setStops(stops);
    QBrush brush(gradient);
    brush.setTransform(transform);
    return brush;
}

// Drawn as an elliptic gradient from the centre colour to the first
// surrounding colour over the boundary's box.
QBrush pathGradient(EmfPlusReader& in) {
    const std::uint32_t flags = in.u32();
    in.i32();
    const QColor centreColour = in.colour();
    const double cx = in.f32();
    const QPointF centre(cx, in.f32());
    const std::uint32_t surrounding = in.u32();
    if (surrounding > in.left() / 4)
        return {};
    QColor outer = centreColour;
    for (std::uint32_t i = 0; i < surrounding; ++i) {
        const QColor colour = in.colour();
        if (i == 0)
            outer = colour;
    }
    QRectF box;
    if (flags & BrushPath) {
        const std::uint32_t size = in.u32();
        EmfPlusReader pathData(in.bytes(size));
        box = emfPlusPath(pathData).boundingRect();
    } else {
        const std::vector<QPointF> boundary = in.points(in.u32(), false, false);
        QPolygonF polygon(boundary.begin(), boundary.end());
        box = polygon.boundingRect();
    }
    const QTransform transform = flags & BrushTransform ? in.transform() : QTransform();
    // As the reference draws it: out to 0.7 of the box, past its corners.
    const double rx = 0.7 * box.width(), ry = 0.7 * box.height();
    QRadialGradient gradient(QPointF(0, 0), 1);
    gradient.setColorAt(0, centreColour);
    gradient.setColorAt(1, outer);
    // Blend positions run from the boundary to the centre.
    QGradientStops stops = blendStops(in, flags, outer, centreColour);
    for (auto& stop : stops)
        stop.first = 1 - stop.first;
    std::reverse(stops.begin(), stops.end());
    if (!stops.isEmpty())
        gradient.setStops(stops);
    QBrush brush(gradient);
    brush.setTransform(QTransform::fromScale(rx > 0 ? rx : 1, ry > 0 ? ry : 1) *
                       QTransform::fromTranslate(centre.x(), centre.y()) * transform);
    return brush;
}

} // namespace

QBrush readEmfPlusBrush(EmfPlusReader& in) {
    in.u32(); // version
    switch (in.u32()) {
    case 0:
        return QBrush(in.colour());
    case 1: {
        const std::uint32_t style = in.u32();
        const QColor fore = in.colour();
        return hatchBrush(style, fore, in.colour());
    }
    case 2: {
        const std::uint32_t flags = in.u32();
        in.i32();
        const QTransform transform = flags & BrushTransform ? in.transform() : QTransform();
        const QImage image = emfPlusImage(in);
        if (image.isNull())
            return QBrush(Qt::gray);
        QBrush brush(image);
        brush.setTransform(transform);
        return brush;
    }
    case 3:
        return pathGradient(in);
    case 4:
        return linearGradient(in);
    default:
        return {};
    }
}

namespace {

Qt::PenCapStyle capOf(std::int32_t cap) {
    switch (cap) {
    case 1:
    case 0x11:
        return Qt::SquareCap;
    case 2:
    case 0x12:
        return Qt::RoundCap;
    default:
        return Qt::FlatCap;
    }
}

// GDI+'s dash lengths, in pen widths.
QList<qreal> dashesOf(std::int32_t style) {
    switch (style) {
    case 1:
        return {3, 1};
    case 2:
        return {1, 1};
    case 3:
        return {3, 1, 1, 1};
    case 4:
        return {3, 1, 1, 1, 1, 1};
    default:
        return {};
    }
}

} // namespace

namespace {

// The shapes the reference draws at line ends for GDI+'s anchor caps, in
// units of their own: the tip at the top, pointing out of the line. Each
// is drawn `size` pen widths across.
std::optional<EmfPlusLineEnd> anchorEnd(std::int32_t cap, double penWidth) {
    QPainterPath shape;
    double size = 2;
    switch (cap) {
    case 3: // triangle
        shape.addPolygon(QPolygonF({{-1, 1}, {1, 1}, {1, 0}, {0, -1}, {-1, 0}}));
        size = 1;
        break;
    case 0x11: // square anchor
        shape.addRect(-1, -1, 2, 2);
        size = 1.5;
        break;
    case 0x12: // round anchor
        shape.addEllipse(QPointF(0, 0), 1, 1);
        break;
    case 0x13: // diamond anchor
        shape.addPolygon(
            QPolygonF({{0, -1}, {1, 0}, {0.5, 0.5}, {0.5, 1}, {-0.5, 1}, {-0.5, 0.5}, {-1, 0}}));
        break;
    case 0x14: // arrow anchor
        shape.addPolygon(QPolygonF({{0, -1}, {1, 1}, {-1, 1}}));
        break;
    default:
        return std::nullopt;
    }
    shape.closeSubpath();
    return EmfPlusLineEnd{shape, size * penWidth, true};
}

// A custom cap: its fill or line path, turned to point out of the line,
// as wide as the path times its width scale, in pen widths.
std::optional<EmfPlusLineEnd> customEnd(std::span<const std::uint8_t> data, double penWidth) {
    EmfPlusReader in(data);
    in.u32();
    if (in.u32() != 0)
        return std::nullopt; // adjustable arrows: the reference draws none either
    const std::uint32_t flags = in.u32();
    in.skip(6 * 4); // base cap and inset, stroke caps and join, miter limit
    const double widthScale = in.f32();
    in.skip(4 * 4);
    if (!(flags & 0x3) || !in.ok())
        return std::nullopt;
    EmfPlusReader pathData(in.bytes(in.u32()));
    const QPainterPath shape = QTransform().rotate(180).map(emfPlusPath(pathData));
    const double width = shape.boundingRect().width() * widthScale * penWidth;
    if (!in.ok() || shape.isEmpty() || !(width > 0))
        return std::nullopt;
    return EmfPlusLineEnd{shape, width, false};
}

// Some writers store optional pen fields their flags do not name, which
// would make the brush read from the middle of them (a black line came out
// red). The brush ends the pen and opens with the version mark every EMF+
// object carries, so it is read from the first mark found.
QBrush penBrush(const EmfPlusReader& in) {
    constexpr std::uint32_t VersionMark = 0xDBC01000;
    for (EmfPlusReader look = in; look.ok() && look.left() >= 12; look.u32()) {
        if ((EmfPlusReader(look).u32() & 0xFFFFF000) == VersionMark) {
            EmfPlusReader brush = look;
            return readEmfPlusBrush(brush);
        }
    }
    EmfPlusReader brush = in;
    return readEmfPlusBrush(brush);
}

} // namespace

EmfPlusObject readEmfPlusPen(EmfPlusReader& in, const EmfPlusDpi& dpi) {
    in.u32(); // version
    in.u32(); // type
    const std::uint32_t flags = in.u32();
    const std::uint32_t unit = in.u32();
    QPen pen;
    pen.setWidthF(std::max(0.0, in.f32() * emfPlusUnitToPixels(unit, dpi.x)));
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    if (flags & 0x0001)
        in.transform();
    // Qt has one cap style for both ends; anchors are drawn as shapes.
    const std::int32_t startCap = flags & 0x0002 ? in.i32() : 0;
    const std::int32_t endCap = flags & 0x0004 ? in.i32() : 0;
    pen.setCapStyle(capOf(startCap));
    EmfPlusPen result{pen, anchorEnd(startCap, pen.widthF()), anchorEnd(endCap, pen.widthF())};
    if (flags & 0x0008) {
        const std::uint32_t join = in.u32();
        pen.setJoinStyle(join == 1 ? Qt::BevelJoin : join == 2 ? Qt::RoundJoin : Qt::MiterJoin);
    }
    if (flags & 0x0010)
        pen.setMiterLimit(std::clamp(double(in.f32()), 1.0, 100.0));
    QList<qreal> dashes;
    if (flags & 0x0020)
        dashes = dashesOf(in.i32());
    if (flags & 0x0040)
        in.i32();
    const double dashOffset = flags & 0x0080 ? in.f32() : 0.0;
    if (flags & 0x0100) {
        const std::uint32_t count = in.u32();
        if (count > in.left() / 4)
            return {};
        QList<qreal> custom;
        for (std::uint32_t i = 0; i < count; ++i)
            custom.append(in.f32());
        const bool usable =
            !custom.isEmpty() && custom.size() <= 64 &&
            std::all_of(custom.begin(), custom.end(), [](qreal d) { return d > 0; });
        if (usable && custom.size() % 2)
            custom += custom;
        if (usable)
            dashes = custom;
    }
    if (flags & 0x0200)
        in.i32();
    if (flags & 0x0400) // compound lines
        in.skip(std::size_t(in.u32()) * 4);
    if (flags & 0x0800)
        result.start = customEnd(in.bytes(in.u32()), pen.widthF());
    if (flags & 0x1000)
        result.end = customEnd(in.bytes(in.u32()), pen.widthF());
    if (!dashes.isEmpty()) {
        // Each dash ends flat, as the reference draws them, whatever the
        // line's own ends.
        pen.setCapStyle(Qt::FlatCap);
        pen.setDashPattern(dashes);
        pen.setDashOffset(dashOffset);
    }
    pen.setBrush(penBrush(in));
    result.pen = pen;
    return result;
}

} // namespace sortello::metafile
