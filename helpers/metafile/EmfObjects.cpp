// SPDX-License-Identifier: GPL-3.0-or-later
// The object table: pens, brushes and fonts as records create them, and the
// stock objects every device context has.
#include "EmfDevice.h"

#include <cmath>

#include <uemf.h>

namespace sortello::metafile {

namespace {

constexpr std::uint32_t StockObject = 0x80000000;
constexpr std::uint32_t DcBrush = 0x80000012;
constexpr std::uint32_t DcPen = 0x80000013;
// GDI keeps at most this many objects; a larger table in a file is hostile.
constexpr std::uint32_t MaxObjects = 65536;

GdiPen stockPen(std::uint32_t index) {
    GdiPen pen;
    pen.null = index == U_NULL_PEN;
    pen.color = index == U_WHITE_PEN ? QColor(Qt::white) : QColor(Qt::black);
    return pen;
}

GdiBrush stockBrush(std::uint32_t index) {
    static constexpr int greys[] = {255, 192, 128, 64, 0};
    GdiBrush brush;
    if (index == U_NULL_BRUSH) {
        brush.null = true;
        brush.brush = Qt::NoBrush;
    } else if (index >= U_WHITE_BRUSH && index <= U_BLACK_BRUSH) {
        const int grey = greys[index - U_WHITE_BRUSH];
        brush.brush = QBrush(QColor(grey, grey, grey));
    }
    return brush;
}

LogFont stockFont(std::uint32_t index) {
    LogFont font;
    font.height = 16;
    font.face =
        index == U_ANSI_FIXED_FONT || index == U_OEM_FIXED_FONT || index == U_SYSTEM_FIXED_FONT
            ? QStringLiteral("Courier New")
            : QStringLiteral("Arial");
    return font;
}

// GDI's six hatches; any other number fills solid.
QBrush hatchBrush(const QColor& color, std::uint32_t hatch) {
    static constexpr Qt::BrushStyle hatches[] = {Qt::HorPattern,   Qt::VerPattern,
                                                 Qt::FDiagPattern, Qt::BDiagPattern,
                                                 Qt::CrossPattern, Qt::DiagCrossPattern};
    return QBrush(color, hatch < 6 ? hatches[hatch] : Qt::SolidPattern);
}

} // namespace

GdiObject* EmfDevice::objectAt(std::uint32_t index, bool create) {
    if (index == 0 || index >= MaxObjects)
        return nullptr;
    if (index >= objects.size()) {
        if (!create)
            return nullptr;
        objects.resize(index + 1);
    }
    return &objects[index];
}

void EmfDevice::selectObject(std::uint32_t index) {
    if (index & StockObject) {
        if (index <= U_NULL_BRUSH || index == DcBrush)
            dc.brush = stockBrush(index == DcBrush ? U_WHITE_BRUSH : index);
        else if (index <= U_NULL_PEN || index == DcPen)
            dc.pen = stockPen(index == DcPen ? U_BLACK_PEN : index);
        else if (index >= U_OEM_FIXED_FONT && index <= U_DEFAULT_GUI_FONT)
            dc.font = stockFont(index);
        return;
    }
    const GdiObject* object = objectAt(index, false);
    if (!object)
        return;
    switch (object->type) {
    case GdiObject::Type::Pen:
        dc.pen = object->pen;
        break;
    case GdiObject::Type::Brush:
        dc.brush = object->brush;
        break;
    case GdiObject::Type::Font:
        dc.font = object->font;
        break;
    default:
        break;
    }
}

void EmfDevice::createPen(const Record& r) {
    GdiObject* object = objectAt(r.u32(8), true);
    if (!object)
        return;
    *object = {};
    object->type = GdiObject::Type::Pen;
    GdiPen& pen = object->pen;
    const std::uint32_t style = r.u32(12) & U_PS_STYLE_MASK;
    pen.null = style == U_PS_NULL;
    pen.width = std::abs(r.s32(16));
    pen.cosmetic = pen.width == 0;
    pen.color = r.color(24);
    static constexpr Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine,
                                              Qt::DashDotLine, Qt::DashDotDotLine};
    if (style < 5)
        pen.style = styles[style];
    else if (style == U_PS_ALTERNATE)
        pen.style = Qt::DotLine;
}

void EmfDevice::createExtPen(const Record& r) {
    GdiObject* object = objectAt(r.u32(8), true);
    if (!object)
        return;
    const std::uint32_t style = r.u32(28);
    *object = {};
    object->type = GdiObject::Type::Pen;
    GdiPen& pen = object->pen;
    const std::uint32_t dash = style & U_PS_STYLE_MASK;
    pen.null = dash == U_PS_NULL || r.u32(36) == U_BS_NULL;
    pen.cosmetic = (style & U_PS_TYPE_MASK) != U_PS_GEOMETRIC;
    pen.width = pen.cosmetic ? 0 : std::abs(r.s32(32));
    pen.color = r.color(40);
    static constexpr Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine,
                                              Qt::DashDotLine, Qt::DashDotDotLine};
    if (dash < 5)
        pen.style = styles[dash];
    else if (dash == U_PS_ALTERNATE)
        pen.style = Qt::DotLine;
    const std::uint32_t cap = style & U_PS_ENDCAP_MASK;
    pen.cap = cap == U_PS_ENDCAP_SQUARE ? Qt::SquareCap
              : cap == U_PS_ENDCAP_FLAT ? Qt::FlatCap
                                        : Qt::RoundCap;
    const std::uint32_t join = style & U_PS_JOIN_MASK;
    pen.join = join == U_PS_JOIN_BEVEL   ? Qt::BevelJoin
               : join == U_PS_JOIN_MITER ? Qt::MiterJoin
                                         : Qt::RoundJoin;
    // The brush a geometric pen paints its width with: a bitmap the record
    // holds, or a hatch in the pen's colour.
    const std::uint32_t brushStyle = r.u32(36);
    if (!pen.cosmetic && (brushStyle == U_BS_DIBPATTERN || brushStyle == U_BS_DIBPATTERNPT)) {
        const QImage image = bitmap(r, 12, 40);
        if (!image.isNull())
            pen.pattern = QBrush(image);
    } else if (!pen.cosmetic && brushStyle == U_BS_HATCHED) {
        pen.pattern = hatchBrush(pen.color, r.u32(44));
    }
    const std::uint32_t entries = r.u32(48);
    if (dash == U_PS_USERSTYLE && entries > 0 && entries <= 32 && r.holds(52, entries, 4)) {
        const double unit = pen.width > 0 ? pen.width : 1;
        for (std::uint32_t i = 0; i < entries; ++i)
            pen.dashes.append(std::max(1.0, double(r.u32(52 + 4 * i)) / unit));
        if (pen.dashes.size() % 2)
            pen.dashes.append(pen.dashes.last());
    }
}

void EmfDevice::createBrush(const Record& r) {
    GdiObject* object = objectAt(r.u32(8), true);
    if (!object)
        return;
    *object = {};
    object->type = GdiObject::Type::Brush;
    GdiBrush& brush = object->brush;
    const QColor color = r.color(16);
    switch (r.u32(12)) {
    case U_BS_NULL:
        brush.null = true;
        brush.brush = Qt::NoBrush;
        break;
    case U_BS_HATCHED: {
        const std::uint32_t hatch = r.u32(20);
        brush.brush = hatchBrush(color, hatch);
        brush.hatched = hatch < 6;
        break;
    }
    default:
        brush.brush = QBrush(color);
        break;
    }
}

void EmfDevice::createPatternBrush(const Record& r, bool mono) {
    GdiObject* object = objectAt(r.u32(8), true);
    if (!object)
        return;
    *object = {};
    object->type = GdiObject::Type::Brush;
    QImage image = bitmap(r, 16, mono ? 0 : 12);
    if (image.isNull()) {
        object->brush.brush = QBrush(Qt::gray);
        return;
    }
    if (mono) {
        // A monochrome pattern paints its set bits in the text colour and the
        // others in the background colour, as GDI does when it is selected.
        image = image.convertToFormat(QImage::Format_Mono);
        image.setColorTable({dc.textColor.rgb(), dc.backColor.rgb()});
    }
    object->brush.brush = QBrush(image);
}

void EmfDevice::createFont(const Record& r) {
    GdiObject* object = objectAt(r.u32(8), true);
    if (!object)
        return;
    *object = {};
    object->type = GdiObject::Type::Font;
    LogFont& font = object->font;
    font.height = r.s32(12);
    font.width = r.s32(16);
    font.escapement = r.s32(20);
    font.weight = r.s32(28);
    font.italic = r.u8(32) != 0;
    font.underline = r.u8(33) != 0;
    font.strikeOut = r.u8(34) != 0;
    font.charset = r.u8(35);
    std::u16string face;
    for (std::size_t at = 40; at + 2 <= 104 && r.has(at, 2); at += 2) {
        const char16_t unit = char16_t(r.s16(at));
        if (unit == 0)
            break;
        face += unit;
    }
    font.face = QString::fromUtf16(face.data(), qsizetype(face.size()));
}

bool EmfDevice::playObject(std::uint32_t type, const Record& r) {
    switch (type) {
    case U_EMR_CREATEPEN:
        createPen(r);
        break;
    case U_EMR_EXTCREATEPEN:
        createExtPen(r);
        break;
    case U_EMR_CREATEBRUSHINDIRECT:
        createBrush(r);
        break;
    case U_EMR_CREATEDIBPATTERNBRUSHPT:
        createPatternBrush(r, false);
        break;
    case U_EMR_CREATEMONOBRUSH:
        createPatternBrush(r, true);
        break;
    case U_EMR_EXTCREATEFONTINDIRECTW:
        createFont(r);
        break;
    case U_EMR_CREATEPALETTE:
    case U_EMR_CREATECOLORSPACE:
    case U_EMR_CREATECOLORSPACEW:
        if (GdiObject* object = objectAt(r.u32(8), true))
            *object = {GdiObject::Type::Other, {}, {}, {}};
        break;
    case U_EMR_SELECTOBJECT:
        selectObject(r.u32(8));
        break;
    case U_EMR_DELETEOBJECT:
        if (GdiObject* object = objectAt(r.u32(8), false))
            *object = {};
        break;
    default:
        return false;
    }
    return true;
}

} // namespace sortello::metafile
