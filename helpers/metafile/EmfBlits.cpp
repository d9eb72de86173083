// SPDX-License-Identifier: GPL-3.0-or-later
// Bitmap records. The raster operations that combine a bitmap with what is
// already drawn are done with the blend that gives GDI's result on the white
// page a picture is shown on and on what was drawn before it: AND as a
// multiply, OR as a screen and XOR as a difference. A masked icon (an AND
// mask, then the icon XORed or ORed over it) thus comes out right on white
// and on any background drawn before it, where true raster operations on a
// transparent page would give a black box.
#include "Dib.h"
#include "EmfDevice.h"

#include <QBitmap>

#include <uemf.h>

namespace sortello::metafile {

namespace {

constexpr std::uint32_t SrcCopy = 0xCC0020;
constexpr std::uint32_t SrcAnd = 0x8800C6;
constexpr std::uint32_t SrcPaint = 0xEE0086;
constexpr std::uint32_t SrcInvert = 0x660046;
constexpr std::uint32_t NotSrcCopy = 0x330008;
constexpr std::uint32_t PatCopy = 0xF00021;
constexpr std::uint32_t PatInvert = 0x5A0049;
constexpr std::uint32_t DstInvert = 0x550009;
constexpr std::uint32_t Blackness = 0x000042;
constexpr std::uint32_t Whiteness = 0xFF0062;

// The ternary operation's own code; the low word only says how GDI once
// compiled it, and writers fill it in carelessly.
std::uint32_t ternary(std::uint32_t rop) {
    return (rop >> 16) & 0xFF;
}

bool usesSource(std::uint32_t rop) {
    const std::uint32_t code = ternary(rop);
    return ((code >> 2) & 0x33) != (code & 0x33);
}

std::span<const std::uint8_t> bytesOf(std::string_view part) {
    return {reinterpret_cast<const std::uint8_t*>(part.data()), part.size()};
}

// Where the mask's bit is set the bitmap shows; elsewhere what lay beneath.
QImage masked(QImage image, const QImage& mask) {
    if (mask.isNull())
        return image;
    image = image.convertToFormat(QImage::Format_ARGB32);
    const QImage bits = mask.convertToFormat(QImage::Format_RGB32)
                            .scaled(image.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const auto* maskRow = reinterpret_cast<const QRgb*>(bits.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qGray(maskRow[x]) < 128)
                row[x] = 0;
    }
    return image;
}

// GDI shows a bitmap opaque whatever its fourth byte holds; only a
// run-length bitmap's skipped pixels let what lies beneath show.
QImage opaque(const QImage& image, std::string_view info) {
    const std::uint32_t compression = info.size() >= 20 ? readU32(info, 16) : 0;
    if (image.isNull() || compression == 1 || compression == 2)
        return image;
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

QImage EmfDevice::bitmap(const Record& r, std::size_t bmiAt, std::size_t usageAt,
                         bool keepAlpha) const {
    const std::string_view info = r.part(r.u32(bmiAt), r.u32(bmiAt + 4));
    const std::string_view bits = r.part(r.u32(bmiAt + 8), r.u32(bmiAt + 12));
    if (info.empty() || bits.empty())
        return {};
    const bool palette = usageAt != 0 && r.u32(usageAt) == U_DIB_PAL_COLORS;
    const QImage image = dibToImage(bytesOf(info), bytesOf(bits),
                                    palette ? DibColours::PaletteIndices : DibColours::Rgb);
    return keepAlpha ? image : opaque(image, info);
}

void EmfDevice::setDibitsToDevice(const Record& r) {
    // The record holds only the scan lines from iStartScan on, cScans of
    // them, of a bitmap whose header gives its full height: decoded as a
    // bitmap that many lines high, and drawn where those lines belong.
    std::string info(r.part(r.u32(48), r.u32(52)));
    const std::uint32_t start = r.u32(68), scans = r.u32(72);
    const bool core = info.size() >= 12 && readU32(info, 0) == 12; // BITMAPCOREHEADER
    if ((!core && info.size() < 40) || scans == 0 || scans > 0xFFFF || start > 0x7FFFFFFF)
        return;
    const std::int32_t height = core ? readU16(info, 6) : std::int32_t(readU32(info, 8));
    const std::int64_t full = std::abs(std::int64_t(height));
    if (core) {
        info[6] = char(scans & 0xFF);
        info[7] = char(scans >> 8);
    } else {
        writeU32(info, 8, height < 0 ? -std::int32_t(scans) : std::int32_t(scans));
    }
    const std::string_view bits = r.part(r.u32(56), r.u32(60));
    const bool palette = r.u32(64) == U_DIB_PAL_COLORS;
    QImage image = opaque(dibToImage(bytesOf(info), bytesOf(bits),
                                     palette ? DibColours::PaletteIndices : DibColours::Rgb),
                          info);
    if (image.isNull())
        return;
    // Bottom-up bitmaps count scan lines from their last row.
    const double top = height < 0 ? double(start) : double(full - start - scans);
    const QRectF wanted(r.s32(32), r.s32(36), r.s32(40), r.s32(44));
    const QRectF source = wanted & QRectF(0, top, image.width(), scans);
    if (source.isEmpty())
        return;
    // Unscaled, in device pixels, from the logical point.
    const QTransform toDevice = logicalToDevice();
    bool invertible = false;
    const QTransform back = toDevice.inverted(&invertible);
    if (!invertible)
        return;
    const QPointF at =
        toDevice.map(QPointF(r.s32(24), r.s32(28))) + source.topLeft() - wanted.topLeft();
    blit(image, back.mapRect(QRectF(at, source.size())), source.translated(0, -top), SrcCopy);
}

void EmfDevice::blit(const QImage& source, const QRectF& dest, const QRectF& sourceRect,
                     std::uint32_t rop) {
    // The two bitmaps of a pair may be of different sizes (a mask with rows
    // to spare below the part used): what pairs them is the place they are
    // drawn to and the part of each that is used, which must lie within its
    // bitmap (a damaged record's part would make the copies below vast).
    const bool masks =
        pendingPaint && ((pendingPaint->rop == SrcPaint && rop == SrcAnd) ||
                         (pendingPaint->rop == SrcAnd && (rop == SrcInvert || rop == SrcPaint)));
    if (masks && !source.isNull() && pendingPaint->dest == dest &&
        pendingPaint->source.size() == sourceRect.size() &&
        QRectF(pendingPaint->image.rect()).contains(pendingPaint->source) &&
        QRectF(source.rect()).contains(sourceRect)) {
        QImage first = pendingPaint->image.copy(pendingPaint->source.toAlignedRect());
        const QImage second = source.copy(sourceRect.toAlignedRect());
        // A bitmap ORed and then another ANDed onto the same place is a
        // masked bitmap: the second shown where the first is white, and
        // nothing where it is black, which is how the reference draws such
        // pairs (GDI would leave the second's black there).
        // An icon is its AND mask, then its colours XORed or ORed where the
        // mask is black. Either is drawn as one bitmap with transparency, so
        // that smoothing it larger blends its edge with the page, where the
        // two smoothed apart would leave a dark seam along it.
        if (pendingPaint->rop == SrcAnd) {
            first = first.convertToFormat(QImage::Format_RGB32);
            first.invertPixels();
        }
        pendingPaint.reset();
        drawBlit(masked(second, first), dest, QRectF(QPointF(0, 0), second.size()), SrcCopy);
        return;
    }
    flushPaint();
    // A mask ANDed where the same bitmap was just XORed is the middle of
    // XOR, AND, XOR, which GDI's blends here already draw right.
    const bool xorTrick = rop == SrcAnd && xoredAt == dest;
    xoredAt = rop == SrcInvert ? std::optional<QRectF>(dest) : std::nullopt;
    if ((rop == SrcPaint || (rop == SrcAnd && !xorTrick)) && !source.isNull()) {
        pendingPaint = Blit{source, dest, sourceRect, rop};
        return;
    }
    drawBlit(source, dest, sourceRect, rop);
}

void EmfDevice::flushPaint() {
    if (!pendingPaint)
        return;
    const Blit paint = *pendingPaint;
    pendingPaint.reset();
    drawBlit(paint.image, paint.dest, paint.source, paint.rop);
}

void EmfDevice::finish() {
    flushPaint();
}

// Office programs lay a pattern into a shape by inverting the shape's box
// with a colour, masking the shape with the pattern and inverting the box
// again: outside the shape the two inversions must cancel, so a plain colour
// is XORed, whole pixels at a time. The page counts as white where nothing
// is drawn yet, as paper under GDI does, since XOR on a clear pixel would
// make colour without coverage.
void EmfDevice::patInvert(const QRectF& target) {
    const QBrush brush = qbrush();
    if (brush.style() != Qt::SolidPattern) {
        painter.setCompositionMode(QPainter::CompositionMode_Difference);
        painter.fillRect(target, brush);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOver);
    painter.fillRect(target, Qt::white);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.fillRect(target, brush.color());
}

void EmfDevice::drawBlit(const QImage& source, const QRectF& dest, const QRectF& sourceRect,
                         std::uint32_t rop) {
    const QRectF target = dest.normalized();
    if (!withinReach((logicalToDevice() * deviceToPicture).mapRect(target)) ||
        !beginDrawing(logicalToDevice()))
        return;
    painter.setPen(Qt::NoPen);
    if (!usesSource(rop) || source.isNull()) {
        switch (rop) {
        case Blackness:
            painter.fillRect(target, Qt::black);
            break;
        case Whiteness:
            painter.fillRect(target, Qt::white);
            break;
        case DstInvert:
            painter.setCompositionMode(QPainter::RasterOp_NotDestination);
            painter.fillRect(target, Qt::black);
            break;
        case PatInvert:
            patInvert(target);
            break;
        case PatCopy:
            if (!dc.brush.null)
                painter.fillRect(target, qbrush());
            break;
        default:
            break; // leaves the page as it is, as 0xAA0029 (D) says
        }
        endDrawing();
        return;
    }
    painter.setWorldTransform(logicalToDevice() * deviceToPicture);
    QImage image = source;
    // A bitmap given right to left or bottom to top is drawn mirrored.
    if (dest.width() < 0 || dest.height() < 0)
        image = image.mirrored(dest.width() < 0, dest.height() < 0);
    // A bitmap mixed with the page is mixed whole pixels at a time, as GDI
    // mixes it: an edge pixel half covered by each of an XOR, an AND and an
    // XOR (a transparent blit) would not cancel, and left a grey frame.
    const bool mixed = rop == SrcAnd || rop == SrcPaint || rop == SrcInvert;
    if (mixed)
        painter.setRenderHint(QPainter::Antialiasing, false);
    switch (rop) {
    case SrcAnd:
        painter.setCompositionMode(QPainter::CompositionMode_Multiply);
        break;
    case SrcPaint:
        painter.setCompositionMode(QPainter::CompositionMode_Screen);
        break;
    case SrcInvert:
        painter.setCompositionMode(QPainter::CompositionMode_Difference);
        break;
    case NotSrcCopy:
        image.invertPixels();
        break;
    default:
        break;
    }
    painter.drawImage(target, image, sourceRect);
    endDrawing();
}

bool EmfDevice::playBitmap(std::uint32_t type, const Record& r) {
    switch (type) {
    case U_EMR_BITBLT:
    case U_EMR_STRETCHBLT:
    case U_EMR_MASKBLT: {
        const QRectF dest(r.s32(24), r.s32(28), r.s32(32), r.s32(36));
        const std::uint32_t rop = r.u32(40);
        QImage image = bitmap(r, 84, 80);
        QSizeF sourceSize = dest.size();
        if (type == U_EMR_STRETCHBLT)
            sourceSize = QSizeF(r.s32(100), r.s32(104));
        if (type == U_EMR_MASKBLT && !image.isNull()) {
            image = masked(image, bitmap(r, 112, 108));
            blit(image, dest, QRectF(QPointF(r.s32(44), r.s32(48)), sourceSize.expandedTo({1, 1})),
                 SrcCopy);
            break;
        }
        blit(image, dest, QRectF(QPointF(r.s32(44), r.s32(48)), sourceSize.expandedTo({1, 1})),
             rop);
        break;
    }
    case U_EMR_STRETCHDIBITS: {
        const QImage image = bitmap(r, 48, 64);
        blit(image, QRectF(r.s32(24), r.s32(28), r.s32(72), r.s32(76)),
             QRectF(r.s32(32), r.s32(36), r.s32(40), r.s32(44)), r.u32(68));
        break;
    }
    case U_EMR_SETDIBITSTODEVICE:
        setDibitsToDevice(r);
        break;
    case U_EMR_ALPHABLEND:
    case U_EMR_TRANSPARENTBLT: {
        const std::uint32_t blend = r.u32(40);
        const bool alpha = type == U_EMR_ALPHABLEND && (blend & 0x01000000);
        QImage image = bitmap(r, 84, 80, alpha);
        if (image.isNull())
            break;
        if (type == U_EMR_TRANSPARENTBLT) {
            image = image.convertToFormat(QImage::Format_ARGB32);
            const QColor key = r.color(40);
            image.setAlphaChannel(QImage(image.createMaskFromColor(key.rgb(), Qt::MaskInColor)
                                             .convertToFormat(QImage::Format_Grayscale8)));
        } else if (alpha) {
            // AC_SRC_ALPHA: the bitmap's colours are premultiplied by its alpha.
            image = image.convertToFormat(QImage::Format_ARGB32);
            image.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
        }
        const double opacity = type == U_EMR_ALPHABLEND ? ((blend >> 16) & 0xFF) / 255.0 : 1.0;
        painter.setOpacity(opacity);
        blit(image, QRectF(r.s32(24), r.s32(28), r.s32(32), r.s32(36)),
             QRectF(r.s32(44), r.s32(48), r.s32(100), r.s32(104)), SrcCopy);
        painter.setOpacity(1);
        break;
    }
    case U_EMR_PLGBLT: {
        QImage image = bitmap(r, 96, 92);
        if (image.isNull() || !beginDrawing(logicalToDevice()))
            break;
        image = masked(image, bitmap(r, 124, 120));
        const QPointF p0 = r.point(24), p1 = r.point(32), p2 = r.point(40);
        const QRectF source(r.s32(48), r.s32(52), r.s32(56), r.s32(60));
        if (source.width() <= 0 || source.height() <= 0)
            break;
        const QTransform onto((p1.x() - p0.x()) / source.width(),
                              (p1.y() - p0.y()) / source.width(),
                              (p2.x() - p0.x()) / source.height(),
                              (p2.y() - p0.y()) / source.height(), p0.x(), p0.y());
        painter.setWorldTransform(onto * logicalToDevice() * deviceToPicture);
        painter.drawImage(QRectF(QPointF(0, 0), source.size()), image, source);
        endDrawing();
        break;
    }
    default:
        return false;
    }
    return true;
}

} // namespace sortello::metafile
