// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmfPlayer.h"

#include "EmfDevice.h"
#include "EmfPlus.h"

#include <QBuffer>
#include <QPicture>

#include <algorithm>
#include <cmath>
#include <cstring>

#include <uemf.h>
#include <upmf.h>

namespace sortello::metafile {

namespace {

constexpr std::uint32_t SetTransform = 4; // MWT_SET
constexpr std::size_t MaxSavedStates = 4096;
constexpr std::size_t MaxPictureBytes = std::size_t{64} << 20;

bool isEmpty(const EmfRect& rect) {
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

QRectF deviceRect(const EmfRect& rect) {
    return QRectF(QPointF(rect.left, rect.top), QPointF(rect.right, rect.bottom));
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

// Whether a record combines what it draws with what is on the page, so the
// page must be there to combine with: white paper, as GDI's page is and as
// the reference renders on, rather than transparency, which would turn an
// XORed line over white into the line's own colour instead of its inverse.
bool readsThePage(std::uint32_t type, const Record& r) {
    if (type == U_EMR_SETROP2) {
        const std::uint32_t rop2 = r.u32(8);
        return rop2 == 6 || rop2 == 7 || rop2 == 9;
    }
    return type == U_EMR_INVERTRGN;
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
      devicePixels(devicePixels), emfPlus(std::make_unique<EmfPlusPlayer>(painter)) {
    selectObject(U_SYSTEM_FONT);
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

namespace {

// GDI's dashes for a style, in pen widths; a hairline's are counted in the
// pixels it is drawn in and are longer, so that its dots are seen as dots.
QList<qreal> gdiDashes(Qt::PenStyle style, bool hairline) {
    switch (style) {
    case Qt::DashLine:
        return hairline ? QList<qreal>{18, 6} : QList<qreal>{3, 1};
    case Qt::DotLine:
        return hairline ? QList<qreal>{3, 3} : QList<qreal>{1, 1};
    case Qt::DashDotLine:
        return hairline ? QList<qreal>{9, 6, 3, 6} : QList<qreal>{3, 1, 1, 1};
    case Qt::DashDotDotLine:
        return hairline ? QList<qreal>{9, 3, 3, 3, 3, 3} : QList<qreal>{3, 1, 1, 1, 1, 1};
    default:
        return {};
    }
}

} // namespace

QPen EmfDevice::qpen() const {
    if (dc.pen.null)
        return Qt::NoPen;
    QPen pen(dc.pen.color);
    // A pen narrower than the reference renderer's unit, a hundredth of a
    // millimetre, is a hairline: one pixel wide at any size the picture is
    // shown. Any wider one grows with the picture, even one a single device
    // pixel wide, which a small picture shown large makes a thick line.
    const QTransform toDevice = logicalToDevice();
    const double deviceWidth = dc.pen.width * std::sqrt(std::abs(toDevice.determinant()));
    if (dc.pen.cosmetic || deviceWidth * 100 * deviceMm.width() / devicePixels.width() < 0.5) {
        pen.setWidthF(0);
        pen.setCosmetic(true);
    } else {
        pen.setWidthF(dc.pen.width);
        if (dc.pen.pattern.style() != Qt::NoBrush)
            pen.setBrush(inDevicePixels(dc.pen.pattern));
    }
    pen.setCapStyle(dc.pen.cap);
    pen.setJoinStyle(dc.pen.join);
    if (!dc.pen.dashes.isEmpty()) {
        pen.setDashPattern(dc.pen.dashes);
    } else if (QList<qreal> pattern = gdiDashes(dc.pen.style, pen.isCosmetic());
               !pattern.isEmpty()) {
        if (!pen.isCosmetic()) {
            // A wide pen's dots and gaps are one logical unit longer than it
            // is wide and its dashes three times that, as the reference draws
            // them; Qt's own are longer apart.
            const double unit = (dc.pen.width + 1) / dc.pen.width;
            for (qreal& length : pattern)
                length *= unit;
        }
        pen.setDashPattern(pattern);
    } else {
        pen.setStyle(dc.pen.style);
    }
    return pen;
}

QBrush EmfDevice::qbrush() const {
    if (dc.brush.null)
        return Qt::NoBrush;
    return inDevicePixels(dc.brush.brush);
}

QBrush EmfDevice::inDevicePixels(QBrush brush) const {
    if (brush.style() == Qt::TexturePattern) {
        bool invertible = false;
        const QTransform back = logicalToDevice().inverted(&invertible);
        if (invertible)
            brush.setTransform(QTransform::fromTranslate(dc.brushOrigin.x(), dc.brushOrigin.y()) *
                               back);
    }
    return brush;
}

void EmfDevice::setRop(std::uint32_t rop2) {
    // The reference knows few of the sixteen mixes: it inverts, XORs and,
    // with a pen that masks (R2_MASKPEN, how office programs lay a pattern
    // over a shape), ANDs; it draws every other one, black and white
    // included, in the pen's own colour, and so does this player, not in
    // what GDI would have mixed.
    using CM = QPainter::CompositionMode;
    const CM mode = rop2 == 6   ? CM::RasterOp_NotDestination
                    : rop2 == 7 ? CM::RasterOp_SourceXorDestination
                    : rop2 == 9 ? CM::RasterOp_SourceAndDestination
                                : CM::CompositionMode_SourceOver;
    if (painter.compositionMode() != mode)
        painter.setCompositionMode(mode);
    // A mix is drawn whole pixels at a time, as GDI draws it: a smoothed
    // edge would be mixed once by each of two shapes that share it, so the
    // strips of a gradient XORed twice, which cancel everywhere else, would
    // leave their seams behind.
    painter.setRenderHint(QPainter::Antialiasing, mode == CM::CompositionMode_SourceOver);
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
    const std::uint32_t length = r.u32(8);
    if (length < 4 || !r.has(16, length - 4))
        return;
    emfPlus->play({reinterpret_cast<const std::uint8_t*>(r.bytes.data()) + 16, length - 4},
                  deviceToPicture);
    // The EMF+ player leaves the painter as it found it, but not the clip
    // this side remembers having set.
    appliedClip = QPainterPath();
    clipDirty = true;
}

bool EmfDevice::drew() const {
    return drawn || emfPlus->drew();
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
        dc.advanced |= !dc.world.isIdentity();
        break;
    }
    default:
        return false;
    }
    return true;
}

void EmfDevice::play(std::uint32_t type, const Record& r) {
    // GDI records are alternates of EMF+ ones only where those draw: a file
    // whose EMF+ records the EMF+ player draws nothing of is drawn from its
    // GDI records.
    if (type != U_EMR_COMMENT && emfPlus->skipGdi() && emfPlus->drew())
        return;
    if (pendingPaint && type != U_EMR_BITBLT && type != U_EMR_STRETCHBLT &&
        type != U_EMR_STRETCHDIBITS)
        flushPaint();
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
    // Bitmaps shown larger or smaller than their own size are smoothed, as
    // the reference smooths them, not blown up into blocks.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (shown.width() > 0 && shown.height() > 0) {
        const QTransform deviceToPicture =
            QTransform::fromTranslate(-shown.left(), -shown.top()) *
            QTransform::fromScale(size.width / shown.width(), size.height / shown.height());
        for (std::size_t offset = 0; offset + 8 <= bytes.size();) {
            const std::uint32_t length = readU32(bytes, offset + 4);
            if (length < 8 || length > bytes.size() - offset)
                break;
            if (readsThePage(readU32(bytes, offset), Record(bytes.substr(offset, length)))) {
                painter.fillRect(QRectF(0, 0, size.width, size.height), Qt::white);
                break;
            }
            offset += length;
        }
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
        device.finish();
        if (!device.drew() && device.sawEmfPlus())
            throw ConversionError("it is drawn with EMF+ records, which cannot be drawn");
    }
    painter.end();
    if (picture.size() > MaxPictureBytes)
        throw ConversionError("its drawing is larger than 64 MiB");
    return {size, QByteArray(picture.data(), picture.size())};
}

} // namespace sortello::metafile
