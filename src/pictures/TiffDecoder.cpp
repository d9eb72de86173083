// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/TiffDecoder.h"

#include "pictures/Picture.h"
#include "pictures/PictureFile.h"

#include <cstdarg>
#include <cstring>
#include <memory>
#include <tiffio.h>

namespace sortello {

namespace {

const QString Format = QStringLiteral("TIFF");

// No single buffer libtiff asks for (a strip, a tile) may be larger: a header
// of a few bytes can declare a strip of gigabytes.
constexpr tmsize_t MaxTiffAllocation = 512L * 1024 * 1024;

// The file's bytes as libtiff's client I/O; writes are refused.
struct MemorySource {
    const QByteArray* bytes;
    toff_t at = 0;
};

tmsize_t readSource(thandle_t handle, void* into, tmsize_t count) {
    auto* source = static_cast<MemorySource*>(handle);
    const toff_t size = toff_t(source->bytes->size());
    if (count <= 0 || source->at >= size)
        return 0;
    const tmsize_t n = tmsize_t(qMin<toff_t>(toff_t(count), size - source->at));
    std::memcpy(into, source->bytes->constData() + source->at, size_t(n));
    source->at += toff_t(n);
    return n;
}

tmsize_t refuseWrite(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t seekSource(thandle_t handle, toff_t offset, int whence) {
    auto* source = static_cast<MemorySource*>(handle);
    const toff_t size = toff_t(source->bytes->size());
    toff_t base = whence == SEEK_CUR ? source->at : whence == SEEK_END ? size : 0;
    // Offsets come from the file; one past any sane size is refused, not wrapped.
    if (offset > toff_t(INT64_MAX) - base)
        return toff_t(-1);
    source->at = base + offset;
    return source->at;
}

int closeSource(thandle_t) {
    return 0;
}

toff_t sizeOfSource(thandle_t handle) {
    return toff_t(static_cast<MemorySource*>(handle)->bytes->size());
}

int mapSource(thandle_t handle, void** base, toff_t* size) {
    const QByteArray& bytes = *static_cast<MemorySource*>(handle)->bytes;
    *base = const_cast<char*>(bytes.constData());
    *size = toff_t(bytes.size());
    return 1;
}

void unmapSource(thandle_t, void*, toff_t) {}

int stayQuiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1; // handled: libtiff's process-wide handlers would print it
}

struct TiffClose {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffClose>;

TiffHandle openTiff(const QString& path, MemorySource& source) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, MaxTiffAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, stayQuiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, stayQuiet, nullptr);
    TiffHandle tiff(TIFFClientOpenExt("picture", "rm", &source, readSource, refuseWrite, seekSource,
                                      closeSource, sizeOfSource, mapSource, unmapSource, options));
    TIFFOpenOptionsFree(options);
    if (!tiff)
        throw wrongContentError(path, Format, source.bytes->left(64), headerUnreadable());
    return tiff;
}

QSize sizeOf(const QString& path, const QByteArray& bytes, TIFF* tiff) {
    uint32_t width = 0;
    uint32_t height = 0;
    if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height) || width == 0 || height == 0)
        throw wrongContentError(path, Format, bytes.left(64), headerUnreadable());
    if (qint64(width) * height > MaxPicturePixels)
        throw tooLargeError(path, width, height);
    return QSize(int(width), int(height));
}

// The orientation tag as written, 1 when there is none.
int orientationOf(TIFF* tiff) {
    uint16_t orientation = ORIENTATION_TOPLEFT;
    return TIFFGetField(tiff, TIFFTAG_ORIENTATION, &orientation) ? orientation : 1;
}

QByteArray asciiField(TIFF* tiff, uint32_t tag) {
    const char* text = nullptr;
    return TIFFGetField(tiff, tag, &text) && text ? QByteArray(text) : QByteArray();
}

// Leaves the EXIF directory current: the last thing read from the file.
std::optional<QDateTime> takenOf(TIFF* tiff) {
    toff_t offset = 0;
    if (!TIFFGetField(tiff, TIFFTAG_EXIFIFD, &offset) || offset == 0 ||
        !TIFFReadEXIFDirectory(tiff, offset))
        return std::nullopt;
    return exifTakenAt(asciiField(tiff, EXIFTAG_DATETIMEORIGINAL),
                       asciiField(tiff, EXIFTAG_OFFSETTIMEORIGINAL));
}

} // namespace

TiffInfo readTiffInfo(const QString& path, const QByteArray& bytes) {
    MemorySource source{&bytes};
    const TiffHandle tiff = openTiff(path, source);
    TiffInfo info;
    info.size = sizeOf(path, bytes, tiff.get());
    const int orientation = orientationOf(tiff.get());
    info.facts.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
    info.facts.taken = takenOf(tiff.get());
    return info;
}

QImage decodeTiff(const QString& path, const QByteArray& bytes) {
    MemorySource source{&bytes};
    const TiffHandle tiff = openTiff(path, source);
    const QSize size = sizeOf(path, bytes, tiff.get());
    uint16_t extraCount = 0;
    uint16_t* extraKinds = nullptr;
    const bool alpha =
        TIFFGetField(tiff.get(), TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds) && extraCount > 0;
    char problem[1024] = {};
    if (!TIFFRGBAImageOK(tiff.get(), problem))
        throw wrongContentError(path, Format, bytes.left(64), headerUnreadable());
    // libtiff gives its pixels premultiplied, one 32-bit word each; a 32-bit
    // QImage's rows lie one after the other with no gap, as libtiff wants them.
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        throw noMemoryError(path, size.width(), size.height());
    // Asked for the orientation the file has, libtiff leaves the rows as
    // stored; the picture is turned upright later, at the size it is shown.
    if (!TIFFReadRGBAImageOriented(tiff.get(), uint32_t(size.width()), uint32_t(size.height()),
                                   reinterpret_cast<uint32_t*>(image.bits()),
                                   orientationOf(tiff.get()), 1))
        throw wrongContentError(path, Format, bytes.left(64), pictureDataCorrupt());
    // Its words hold red in the low byte; QImage's hold blue there.
    image.rgbSwap();
    if (!alpha)
        image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

} // namespace sortello
