// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/PngDecoder.h"

#include "pictures/Picture.h"
#include "pictures/PictureFile.h"

#include <cstring>
#include <png.h>

namespace sortello {

namespace {

// QImage's 32-bit formats are 0xAARRGGBB in native byte order.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr png_uint_32 NativeArgb = PNG_FORMAT_BGRA;
#else
constexpr png_uint_32 NativeArgb = PNG_FORMAT_ARGB;
#endif

const QString Format = QStringLiteral("PNG");

class PngReader {
public:
    PngReader(const QString& path, const QByteArray& bytes) {
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, bytes.constData(), size_t(bytes.size())))
            throw wrongContentError(path, Format, bytes.left(64), headerUnreadable());
        if (qint64(image.width) * image.height > MaxPicturePixels)
            throw tooLargeError(path, image.width, image.height);
        // Deflate packs at most 1032 bytes into one, and every row holds a
        // filter byte and at least one bit a pixel: a header of a few bytes
        // must not get gigabytes allocated for pixels its data cannot hold.
        const qint64 leastRowBytes = 1 + (qint64(image.width) + 7) / 8;
        if (leastRowBytes * image.height > qint64(bytes.size()) * 1032)
            throw wrongContentError(path, Format, bytes.left(64), pictureDataCorrupt());
    }
    ~PngReader() { png_image_free(&image); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    png_image image;
};

} // namespace

QSize readPngSize(const QString& path, const QByteArray& bytes) {
    const PngReader reader(path, bytes);
    return QSize(int(reader.image.width), int(reader.image.height));
}

QImage decodePng(const QString& path, const QByteArray& bytes) {
    PngReader reader(path, bytes);
    const bool alpha = reader.image.format & PNG_FORMAT_FLAG_ALPHA;
    reader.image.format = NativeArgb;
    QImage image(int(reader.image.width), int(reader.image.height),
                 alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        throw noMemoryError(path, reader.image.width, reader.image.height);
    if (!png_image_finish_read(&reader.image, nullptr, image.bits(),
                               png_int_32(image.bytesPerLine()), nullptr))
        throw wrongContentError(path, Format, bytes.left(64), pictureDataCorrupt());
    return image;
}

} // namespace sortello
