// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/PngDecoder.h"

#include "pictures/Picture.h"
#include "pictures/PictureFile.h"
#include "pictures/RowReducer.h"

#include <csetjmp>
#include <cstring>
#include <png.h>
#include <vector>

namespace sortello {

namespace {

const QString Format = QStringLiteral("PNG");

// libpng's own defaults, said here so that a differently built libpng does
// not widen them: no side over a million pixels, and no ancillary chunk that
// gets more than this much memory.
constexpr png_uint_32 MaxSide = 1'000'000;
constexpr png_alloc_size_t MaxChunkBytes = 8'000'000;
constexpr png_uint_32 MaxStoredChunks = 128;

// The chunks Sortello has no use for are skipped unread (the EXIF block is
// found in the file's bytes beforehand): no text or colour profile is
// inflated, which costs time and is where hostile files hide their bombs.
constexpr png_byte IgnoredChunks[] = "iCCP\0iTXt\0tEXt\0zTXt\0sPLT\0eXIf\0tIME\0";

struct Source {
    const png_byte* data;
    size_t size;
    size_t at;
};

void readSource(png_structp png, png_bytep into, size_t count) {
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (count > source->size - source->at)
        png_error(png, "the file ends early");
    std::memcpy(into, source->data + source->at, count);
    source->at += count;
}

// libpng's errors jump back to the setjmp of the call that met them; nothing
// is printed.
[[noreturn]] void jumpBack(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void stayQuiet(png_structp, png_const_charp) {}

struct Header {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    bool alpha = false;
    int passes = 1;
};

// Reads the chunks up to the pixels and sets libpng to give every row as
// QImage's 32-bit pixels (0xAARRGGBB in native byte order): palettes, grey and
// fewer bits made 8-bit RGB, a transparent colour made alpha, 16 bits rounded
// to 8. No object with a destructor lives in this frame, which libpng's
// errors jump out of.
bool readHeader(png_structp png, png_infop info, Header* header) noexcept {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_info(png, info);
    header->width = png_get_image_width(png, info);
    header->height = png_get_image_height(png, info);
    const png_byte type = png_get_color_type(png, info);
    header->alpha =
        (type & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
#else
    png_set_swap_alpha(png);
    png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
#endif
    header->passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return png_get_rowbytes(png, info) == size_t(header->width) * 4;
}

class PngReader {
public:
    PngReader(const QString& path, const QByteArray& bytes)
        : source{reinterpret_cast<const png_byte*>(bytes.constData()), size_t(bytes.size()), 0} {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpBack, stayQuiet);
        info = png ? png_create_info_struct(png) : nullptr;
        if (!info)
            throw noMemoryError(path, 0, 0);
        png_set_read_fn(png, &source, readSource);
        png_set_user_limits(png, MaxSide, MaxSide);
        png_set_chunk_malloc_max(png, MaxChunkBytes);
        png_set_chunk_cache_max(png, MaxStoredChunks);
        png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, IgnoredChunks,
                                    int(sizeof IgnoredChunks / 5));
        if (!readHeader(png, info, &header))
            throw wrongContentError(path, Format, bytes.left(64), headerUnreadable());
        if (qint64(header.width) * header.height > MaxPicturePixels)
            throw tooLargeError(path, header.width, header.height);
        // Deflate packs at most 1032 bytes into one, and every row holds a
        // filter byte and at least one bit a pixel: a header of a few bytes
        // must not get gigabytes allocated for pixels its data cannot hold.
        const qint64 leastRowBytes = 1 + (qint64(header.width) + 7) / 8;
        if (leastRowBytes * header.height > qint64(bytes.size()) * 1032)
            throw wrongContentError(path, Format, bytes.left(64), pictureDataCorrupt());
    }
    ~PngReader() { png_destroy_read_struct(&png, &info, nullptr); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    QSize size() const { return QSize(int(header.width), int(header.height)); }

    Source source;
    png_structp png = nullptr;
    png_infop info = nullptr;
    Header header;
};

// Where the rows go: each into its place in a whole image, or each into one
// buffer that is then averaged into the smaller image.
struct RowSink {
    uchar* first = nullptr;
    qsizetype stride = 0;
    QRgb* buffer = nullptr;
    RowReducer* reducer = nullptr;
};

void pumpRows(png_structp png, const Header& header, const RowSink& sink) {
    for (int pass = 0; pass < header.passes; ++pass) {
        for (png_uint_32 y = 0; y < header.height; ++y) {
            if (sink.reducer) {
                png_read_row(png, reinterpret_cast<png_bytep>(sink.buffer), nullptr);
                sink.reducer->addRow(sink.buffer);
            } else {
                png_read_row(png, sink.first + qsizetype(y) * sink.stride, nullptr);
            }
        }
    }
}

// As readHeader: libpng's errors jump out of this frame and pumpRows'.
bool readRows(png_structp png, const Header& header, const RowSink& sink) noexcept {
    if (setjmp(png_jmpbuf(png)))
        return false;
    pumpRows(png, header, sink);
    return true;
}

QImage newImage(const QString& path, const QSize& size, QImage::Format format) {
    QImage image(size, format);
    if (image.isNull())
        throw noMemoryError(path, size.width(), size.height());
    return image;
}

} // namespace

QSize readPngSize(const QString& path, const QByteArray& bytes) {
    return PngReader(path, bytes).size();
}

QImage decodePng(const QString& path, const QByteArray& bytes, const QSize& size) {
    PngReader reader(path, bytes);
    const QSize own = reader.size();
    const bool alpha = reader.header.alpha;
    const bool reduce = size.isValid() && !size.isEmpty() && size.width() <= own.width() &&
                        size.height() <= own.height() && size != own;
    if (reduce && reader.header.passes == 1) {
        QImage image = newImage(path, size,
                                alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        std::vector<QRgb> row(size_t(own.width()));
        RowReducer reducer(own, image, alpha ? RowAlpha::Straight : RowAlpha::None);
        if (!readRows(reader.png, reader.header, RowSink{nullptr, 0, row.data(), &reducer}))
            throw wrongContentError(path, Format, bytes.left(64), pictureDataCorrupt());
        return image;
    }
    // An interlaced file's rows are whole only after its last pass.
    QImage full = newImage(path, own, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (!readRows(reader.png, reader.header,
                  RowSink{full.bits(), full.bytesPerLine(), nullptr, nullptr}))
        throw wrongContentError(path, Format, bytes.left(64), pictureDataCorrupt());
    if (!reduce)
        return full;
    QImage image =
        newImage(path, size, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    RowReducer reducer(own, image, alpha ? RowAlpha::Straight : RowAlpha::None);
    for (int y = 0; y < own.height(); ++y)
        reducer.addRow(reinterpret_cast<const QRgb*>(full.constScanLine(y)));
    return image;
}

} // namespace sortello
