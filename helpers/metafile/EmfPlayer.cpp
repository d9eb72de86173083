// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmfPlayer.h"

#include "EmfDevice.h"

#include <QBuffer>
#include <QPicture>

#include <algorithm>
#include <cmath>
#include <cstring>

#include <uemf.h>
#include <upmf.h>

namespace sortello::metafile {

namespace {

constexpr std::uint32_t StockObject = 0x80000000;
constexpr std::uint32_t DcBrush = 0x80000012;
constexpr std::uint32_t DcPen = 0x80000013;
constexpr std::uint32_t SetTransform = 4; // MWT_SET
// GDI keeps at most this many objects; a larger table in a file is hostile.
constexpr std::uint32_t MaxObjects = 65536;
constexpr std::size_t MaxSavedStates = 4096;
constexpr std::size_t MaxPictureBytes = std::size_t{64} << 20;

bool isEmpty(const EmfRect& rect) {
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

QRectF deviceRect(const EmfRect& rect) {
    return QRectF(QPointF(rect.left, rect.top), QPointF(rect.right, rect.bottom));
}

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

// An EMF+ record puts something on the page when it is one of the clearing,
// filling, drawing or string records.
bool emfPlusDraws(const Record& r) {
    const std::size_t end = std::min<std::size_t>(r.size(), 12 + std::size_t{r.u32(8)});
    for (std::size_t at = 16; at + 12 <= end;) {
        const std::uint16_t type =
            std::uint16_t(r.u32(at) & 0xFFFF) & ~std::uint16_t{U_PMR_RECFLAG};
        const std::uint32_t size = r.u32(at + 4);
        if ((type >= U_PMR_CLEAR && type <= U_PMR_DRAWSTRING) || type == U_PMR_DRAWDRIVERSTRING)
            return true;
        if (size < 12 || size > end - at)
            break;
        at += size;
    }
    return false;
}

} // namespace

float Record::f32(std::size_t offset) const {
    const std::uint32_t bits = u32(offset);
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return std::isfinite(value) ? value : 0.0f;
}

EmfDevice::EmfDevice(QPainter& painter, const QTransform& deviceToPicture, QSizeF deviceMm,
                     QSizeF devicePixels)
    : painter(painter), deviceToPicture(deviceToPicture), deviceMm(deviceMm),
      devicePixels(devicePixels) {
    dc.font = stockFont(U_SYSTEM_FONT);
}

EmfDevice::~EmfDevice() = default;

double EmfDevice::pixelsPerMmX() const {
    return devicePixels.width() / deviceMm.width();
}

QTransform EmfDevice::logicalToDevice() const {
    const double perMmX = pixelsPerMmX();
    const double perMmY = devicePixels.height() / deviceMm.height();
    double sx = 1;
    double sy = 1;
    switch (dc.mapMode) {
    case U_MM_LOMETRIC:
        sx = perMmX / 10;
        sy = -perMmY / 10;
        break;
    case U_MM_HIMETRIC:
        sx = perMmX / 100;
        sy = -perMmY / 100;
        break;
    case U_MM_LOENGLISH:
        sx = perMmX * 0.254;
        sy = -perMmY * 0.254;
        break;
    case U_MM_HIENGLISH:
        sx = perMmX * 0.0254;
        sy = -perMmY * 0.0254;
        break;
    case U_MM_TWIPS:
        sx = perMmX * 25.4 / 1440;
        sy = -perMmY * 25.4 / 1440;
        break;
    case U_MM_ISOTROPIC:
    case U_MM_ANISOTROPIC:
        sx = dc.windowExt.width() != 0 ? dc.viewportExt.width() / dc.windowExt.width() : 1;
        sy = dc.windowExt.height() != 0 ? dc.viewportExt.height() / dc.windowExt.height() : 1;
        if (dc.mapMode == U_MM_ISOTROPIC) {
            // Isotropic units are as large across as down, the smaller scale.
            const double both = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(both, sx);
            sy = std::copysign(both, sy);
        }
        break;
    default:
        break;
    }
    const QTransform page(sx, 0, 0, sy, dc.viewportOrg.x() - dc.windowOrg.x() * sx,
                          dc.viewportOrg.y() - dc.windowOrg.y() * sy);
    return dc.world * page;
}

QPen EmfDevice::qpen() const {
    if (dc.pen.null)
        return Qt::NoPen;
    QPen pen(dc.pen.color);
    // A pen no wider than a device pixel is a hairline, one pixel wide at any
    // size the picture is shown.
    const QTransform toDevice = logicalToDevice();
    const double deviceWidth = dc.pen.width * std::sqrt(std::abs(toDevice.determinant()));
    if (dc.pen.cosmetic || deviceWidth <= 1.0) {
        pen.setWidthF(0);
        pen.setCosmetic(true);
    } else {
        pen.setWidthF(dc.pen.width);
    }
    pen.setCapStyle(dc.pen.cap);
    pen.setJoinStyle(dc.pen.join);
    if (!dc.pen.dashes.isEmpty())
        pen.setDashPattern(dc.pen.dashes);
    else
        pen.setStyle(dc.pen.style);
    return pen;
}

QBrush EmfDevice::qbrush() const {
    if (dc.brush.null)
        return Qt::NoBrush;
    QBrush brush = dc.brush.brush;
    if (brush.style() == Qt::TexturePattern) {
        // A pattern brush repeats in device pixels, whatever the mapping.
        bool invertible = false;
        const QTransform back = logicalToDevice().inverted(&invertible);
        if (invertible)
            brush.setTransform(QTransform::fromTranslate(dc.brushOrigin.x(), dc.brushOrigin.y()) *
                               back);
    }
    return brush;
}

void EmfDevice::setRop(std::uint32_t rop2) {
    using CM = QPainter::CompositionMode;
    static constexpr CM modes[] = {
        CM::CompositionMode_SourceOver,          // 1 black, drawn in black
        CM::RasterOp_NotSourceAndNotDestination, // 2 not merge pen
        CM::RasterOp_NotSourceAndDestination,    // 3 mask not pen
        CM::RasterOp_NotSource,                  // 4 not copy pen
        CM::RasterOp_SourceAndNotDestination,    // 5 mask pen not
        CM::RasterOp_NotDestination,             // 6 not
        CM::RasterOp_SourceXorDestination,       // 7 xor pen
        CM::RasterOp_NotSourceOrNotDestination,  // 8 not mask pen
        CM::RasterOp_SourceAndDestination,       // 9 mask pen
        CM::RasterOp_NotSourceXorDestination,    // 10 not xor pen
        CM::CompositionMode_SourceOver,          // 11 nop, never drawn
        CM::RasterOp_NotSourceOrDestination,     // 12 merge not pen
        CM::CompositionMode_SourceOver,          // 13 copy pen
        CM::RasterOp_SourceOrNotDestination,     // 14 merge pen not
        CM::RasterOp_SourceOrDestination,        // 15 merge pen
        CM::CompositionMode_SourceOver,          // 16 white, drawn in white
    };
    const CM mode = rop2 >= 1 && rop2 <= 16 ? modes[rop2 - 1] : CM::CompositionMode_SourceOver;
    if (painter.compositionMode() != mode)
        painter.setCompositionMode(mode);
}

bool EmfDevice::beginDrawing(const QTransform& logical) {
    if (dc.rop2 == 11) // R2_NOP
        return false;
    if (clipDirty)
        applyClip();
    painter.setWorldTransform(logical * deviceToPicture);
    setRop(dc.rop2);
    return true;
}

QRectF EmfDevice::box(const Record& r, std::size_t at) {
    return QRectF(r.point(at), r.point(at + 8)).normalized();
}

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

void EmfDevice::restoreDc(std::int32_t relative) {
    // A negative index counts back from the latest save; a positive one names
    // a save by its number, from the first.
    std::int64_t keep = relative < 0 ? std::int64_t(saved.size()) + relative : relative - 1;
    if (keep < 0 || keep >= std::int64_t(saved.size()))
        return;
    dc = saved[std::size_t(keep)];
    saved.resize(std::size_t(keep));
    clipDirty = true;
}

void EmfDevice::comment(const Record& r) {
    if (r.u32(12) != U_EMR_COMMENT_EMFPLUSRECORD)
        return;
    if (emfPlusDraws(r))
        emfPlusSeen = true;
}

bool EmfDevice::playState(std::uint32_t type, const Record& r) {
    switch (type) {
    case U_EMR_SETBKMODE:
        dc.opaqueBack = r.u32(8) == U_OPAQUE;
        break;
    case U_EMR_SETPOLYFILLMODE:
        dc.fillRule = r.u32(8) == U_WINDING ? Qt::WindingFill : Qt::OddEvenFill;
        break;
    case U_EMR_SETROP2:
        dc.rop2 = r.u32(8);
        break;
    case U_EMR_SETTEXTALIGN:
        dc.textAlign = r.u32(8);
        break;
    case U_EMR_SETTEXTCOLOR:
        dc.textColor = r.color(8);
        break;
    case U_EMR_SETBKCOLOR:
        dc.backColor = r.color(8);
        break;
    case U_EMR_SETARCDIRECTION:
        dc.clockwiseArcs = r.u32(8) == U_AD_CLOCKWISE;
        break;
    case U_EMR_SETBRUSHORGEX:
        dc.brushOrigin = r.point(8);
        break;
    case U_EMR_MOVETOEX:
        dc.position = r.point(8);
        if (path)
            path->moveTo(dc.position);
        break;
    case U_EMR_SAVEDC:
        if (saved.size() < MaxSavedStates)
            saved.push_back(dc);
        break;
    case U_EMR_RESTOREDC:
        restoreDc(r.s32(8));
        break;
    case U_EMR_COMMENT:
        comment(r);
        break;
    default:
        return false;
    }
    return true;
}

bool EmfDevice::playMapping(std::uint32_t type, const Record& r) {
    switch (type) {
    case U_EMR_SETMAPMODE:
        dc.mapMode = r.u32(8);
        break;
    case U_EMR_SETWINDOWORGEX:
        dc.windowOrg = r.point(8);
        break;
    case U_EMR_SETVIEWPORTORGEX:
        dc.viewportOrg = r.point(8);
        break;
    case U_EMR_SETWINDOWEXTEX:
    case U_EMR_SETVIEWPORTEXTEX: {
        const QSizeF ext(r.s32(8), r.s32(12));
        // GDI refuses a zero extent and keeps the one before.
        if (ext.width() == 0 || ext.height() == 0)
            break;
        (type == U_EMR_SETWINDOWEXTEX ? dc.windowExt : dc.viewportExt) = ext;
        break;
    }
    case U_EMR_SCALEVIEWPORTEXTEX:
    case U_EMR_SCALEWINDOWEXTEX: {
        const double xNum = r.s32(8), xDen = r.s32(12), yNum = r.s32(16), yDen = r.s32(20);
        if (xNum == 0 || xDen == 0 || yNum == 0 || yDen == 0)
            break;
        QSizeF& ext = type == U_EMR_SCALEWINDOWEXTEX ? dc.windowExt : dc.viewportExt;
        ext = QSizeF(ext.width() * xNum / xDen, ext.height() * yNum / yDen);
        break;
    }
    case U_EMR_SETWORLDTRANSFORM:
    case U_EMR_MODIFYWORLDTRANSFORM: {
        const QTransform given(r.f32(8), r.f32(12), r.f32(16), r.f32(20), r.f32(24), r.f32(28));
        const std::uint32_t mode = type == U_EMR_SETWORLDTRANSFORM ? SetTransform : r.u32(32);
        if (mode == U_MWT_IDENTITY)
            dc.world = QTransform();
        else if (mode == U_MWT_LEFTMULTIPLY)
            dc.world = given * dc.world;
        else if (mode == U_MWT_RIGHTMULTIPLY)
            dc.world = dc.world * given;
        else if (mode == SetTransform)
            dc.world = given;
        break;
    }
    default:
        return false;
    }
    return true;
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
        static constexpr Qt::BrushStyle hatches[] = {Qt::HorPattern,   Qt::VerPattern,
                                                     Qt::FDiagPattern, Qt::BDiagPattern,
                                                     Qt::CrossPattern, Qt::DiagCrossPattern};
        const std::uint32_t hatch = r.u32(20);
        brush.brush = QBrush(color, hatch < 6 ? hatches[hatch] : Qt::SolidPattern);
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

void EmfDevice::play(std::uint32_t type, const Record& r) {
    playState(type, r) || playMapping(type, r) || playObject(type, r) || playPath(type, r) ||
        playShape(type, r) || playClip(type, r) || playRegion(type, r) || playText(type, r) ||
        playBitmap(type, r);
}

PlayedEmf playEmf(std::string_view bytes) {
    const EmfHeader header = readEmfHeader(bytes);
    const PictureSize size = emfPictureSize(header);
    const bool hasDevice = header.devicePixelsX > 0 && header.devicePixelsY > 0 &&
                           header.deviceMillimetersX > 0 && header.deviceMillimetersY > 0;
    const QSizeF deviceMm =
        hasDevice ? QSizeF(header.deviceMillimetersX, header.deviceMillimetersY) : QSizeF(320, 240);
    const QSizeF devicePixels =
        hasDevice ? QSizeF(header.devicePixelsX, header.devicePixelsY) : QSizeF(1209.45, 907.09);
    // The frame (0.01 mm) in the reference device's pixels is what the
    // picture shows; the bounds when there is no frame.
    QRectF shown = deviceRect(header.bounds).adjusted(0, 0, 1, 1);
    if (!isEmpty(header.frame)) {
        const double x = devicePixels.width() / (deviceMm.width() * 100);
        const double y = devicePixels.height() / (deviceMm.height() * 100);
        shown = QRectF(QPointF(header.frame.left * x, header.frame.top * y),
                       QPointF(header.frame.right * x, header.frame.bottom * y));
    }
    QPicture picture;
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    if (shown.width() > 0 && shown.height() > 0) {
        const QTransform deviceToPicture =
            QTransform::fromTranslate(-shown.left(), -shown.top()) *
            QTransform::fromScale(size.width / shown.width(), size.height / shown.height());
        EmfDevice device(painter, deviceToPicture, deviceMm, devicePixels);
        std::size_t offset = 0;
        while (offset + 8 <= bytes.size()) {
            const std::uint32_t type = readU32(bytes, offset);
            const std::uint32_t length = readU32(bytes, offset + 4);
            if (length < 8 || length > bytes.size() - offset || type == U_EMR_EOF)
                break;
            device.play(type, Record(bytes.substr(offset, length)));
            offset += length;
        }
        if (!device.drew() && device.sawEmfPlus())
            throw ConversionError("it is drawn with EMF+ records, which cannot be drawn");
    }
    painter.end();
    if (picture.size() > MaxPictureBytes)
        throw ConversionError("its drawing is larger than 64 MiB");
    return {size, QByteArray(picture.data(), picture.size())};
}

} // namespace sortello::metafile
