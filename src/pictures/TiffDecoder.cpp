// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/TiffDecoder.h"

#include "pictures/Picture.h"
#include "pictures/PictureFile.h"
#include "pictures/RowReducer.h"

#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>
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

// libtiff gives its pixels premultiplied, one 32-bit word each; a 32-bit
// QImage's rows lie one after the other with no gap, as libtiff wants them.
QImage newImage(const QString& path, const QSize& size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        throw noMemoryError(path, size.width(), size.height());
    return image;
}

QImage readWhole(const QString& path, const QByteArray& bytes, TIFF* tiff, const QSize& own) {
    QImage image = newImage(path, own);
    // Asked for the orientation the file has, libtiff leaves the rows as
    // stored; the picture is turned upright later, at the size it is shown.
    if (!TIFFReadRGBAImageOriented(tiff, uint32_t(own.width()), uint32_t(own.height()),
                                   reinterpret_cast<uint32_t*>(image.bits()), orientationOf(tiff),
                                   1))
        throw wrongContentError(path, Format, bytes.left(64), pictureDataCorrupt());
    return image;
}

// The rows read at once: a strip, or a row of tiles, so that each is
// decompressed once.
int bandRows(TIFF* tiff, int height) {
    uint32_t rows = 0;
    const bool known = TIFFIsTiled(tiff) ? TIFFGetField(tiff, TIFFTAG_TILELENGTH, &rows)
                                         : TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rows);
    return known && rows > 0 ? int(qMin<uint32_t>(rows, uint32_t(height))) : height;
}

struct RgbaEnd {
    void operator()(TIFFRGBAImage* reader) const { TIFFRGBAImageEnd(reader); }
};

// A band of rows at a time, each averaged into the smaller image as it
// comes: the picture is never held whole. One reader for the whole picture,
// so that its colour tables are made once.
QImage readReduced(const QString& path, const QByteArray& bytes, TIFF* tiff, const QSize& own,
                   const QSize& size, bool alpha) {
    QImage image = newImage(path, size);
    TIFFRGBAImage reader;
    char problem[1024] = {};
    if (!TIFFRGBAImageBegin(&reader, tiff, 1, problem))
        throw wrongContentError(path, Format, bytes.left(64), headerUnreadable());
    const std::unique_ptr<TIFFRGBAImage, RgbaEnd> ending(&reader);
    // As for the whole picture: the rows as stored, top to bottom.
    reader.req_orientation = uint16_t(orientationOf(tiff));
    const int band = bandRows(tiff, own.height());
    const size_t width = size_t(own.width());
    const std::unique_ptr<uint32_t[]> rows(new (std::nothrow) uint32_t[width * size_t(band)]);
    if (!rows)
        throw noMemoryError(path, own.width(), band);
    RowReducer reducer(own, image, alpha ? RowAlpha::Premultiplied : RowAlpha::None);
    for (int y = 0; y < own.height(); y += band) {
        const int count = qMin(band, own.height() - y);
        reader.row_offset = y;
        if (!TIFFRGBAImageGet(&reader, rows.get(), uint32_t(width), uint32_t(count)))
            throw wrongContentError(path, Format, bytes.left(64), pictureDataCorrupt());
        for (int i = 0; i < count; ++i)
            reducer.addRow(reinterpret_cast<const QRgb*>(rows.get() + size_t(i) * width));
    }
    return image;
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

QImage decodeTiff(const QString& path, const QByteArray& bytes, const QSize& size) {
    MemorySource source{&bytes};
    const TiffHandle tiff = openTiff(path, source);
    const QSize own = sizeOf(path, bytes, tiff.get());
    uint16_t extraCount = 0;
    uint16_t* extraKinds = nullptr;
    const bool alpha =
        TIFFGetField(tiff.get(), TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds) && extraCount > 0;
    char problem[1024] = {};
    if (!TIFFRGBAImageOK(tiff.get(), problem))
        throw wrongContentError(path, Format, bytes.left(64), headerUnreadable());
    const bool reduce = size.isValid() && !size.isEmpty() && size.width() <= own.width() &&
                        size.height() <= own.height() && size != own;
    QImage image = reduce ? readReduced(path, bytes, tiff.get(), own, size, alpha)
                          : readWhole(path, bytes, tiff.get(), own);
    // libtiff's words hold red in the low byte; QImage's hold blue there.
    image.rgbSwap();
    if (!alpha)
        image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

} // namespace sortello
