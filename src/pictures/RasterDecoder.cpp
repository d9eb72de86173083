// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/RasterDecoder.h"

#include "pictures/BmpReader.h"
#include "pictures/GifBackground.h"
#include "pictures/IconMask.h"

#include <QFile>
#include <QImageReader>
#include <QtGlobal>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace sortello {

namespace {

// Browsers show GIF frames that ask for no delay (or 1/100 s) for 100 ms;
// files are made to look right there.
int frameDelay(int delayMs) {
    return delayMs <= 10 ? 100 : delayMs;
}

qint64 area(const QSize& size) {
    return qint64(size.width()) * size.height();
}

void refuseNoPixels(const QString& path, const QString& format, const QByteArray& head,
                    const QSize& size) {
    if (size.width() <= 0 || size.height() <= 0)
        throw wrongContentError(path, format, head,
                                QStringLiteral("it declares a size of %1 x %2 pixels")
                                    .arg(size.width())
                                    .arg(size.height()));
}

void checkDeclaredSize(const QString& path, const QString& format, const QByteArray& head,
                       const QSize& size, qint64 limit = MaxPicturePixels) {
    if (area(size) > limit)
        throw tooLargeError(path, size.width(), size.height());
    if (!size.isValid())
        throw wrongContentError(path, format, head, headerUnreadable());
    refuseNoPixels(path, format, head, size);
}

// The size a BMP or GIF header declares, read here because Qt gives no size for
// a bitmap header it refuses, and a GIF's size from its first frame while it
// draws every frame on a canvas of the declared screen size.
QSize declaredSize(const QByteArray& head, PictureKind kind) {
    if (kind == PictureKind::Gif && head.size() >= 10 && head.startsWith("GIF"))
        return QSize(int(littleEndianField(head, 6, 2)), int(littleEndianField(head, 8, 2)));
    if (kind != PictureKind::Bitmap || head.size() < 26 || !head.startsWith("BM"))
        return {};
    if (littleEndianField(head, 14, 4) == 12)
        return QSize(int(littleEndianField(head, 18, 2)), int(littleEndianField(head, 20, 2)));
    const qint64 height = qint32(littleEndianField(head, 22, 4));
    return QSize(int(qint32(littleEndianField(head, 18, 4))),
                 int(qMin<qint64>(qAbs(height), INT_MAX)));
}

// Qt shows an uncompressed bitmap whose rows stop early with the rest blank;
// like a truncated JPEG it must show as damaged instead.
bool bitmapCutShort(const QByteArray& head, qint64 fileSize) {
    if (head.size() < 34 || !head.startsWith("BM") || littleEndianField(head, 14, 4) < 40)
        return false;
    const quint32 compression = littleEndianField(head, 30, 4);
    const qint64 width = qint32(littleEndianField(head, 18, 4));
    const qint64 height = qAbs(qint64(qint32(littleEndianField(head, 22, 4))));
    const qint64 bits = littleEndianField(head, 28, 2);
    if ((compression != 0 && compression != 3) || width <= 0 || height <= 0 || bits == 0)
        return false;
    const qint64 stride = (width * bits + 31) / 32 * 4;
    const qint64 lastRow = (width * bits + 7) / 8; // some writers leave out its padding
    return fileSize < littleEndianField(head, 10, 4) + stride * (height - 1) + lastRow;
}

// The file's first `count` bytes, or as many as it gives.
QByteArray readUpTo(int fd, qint64 count) {
    QByteArray bytes(count, Qt::Uninitialized);
    qint64 got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got, size_t(bytes.size() - got), got);
        if (n <= 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    return bytes;
}

// The largest canvas a GIF's decoder paints on: the logical screen, grown by
// every image that reaches past it. Walks the blocks of the whole file, so a
// frame declared deep inside cannot slip past the limit. Gives where each of
// the frames an animation may keep lies, and how it gives way.
QSize gifCanvas(int fd, qint64 fileSize, QList<GifFrameLayout>& layouts) {
    const QByteArray bytes = readUpTo(fd, qMin<qint64>(fileSize, 512 * 1024 * 1024));
    // Qt's decoder takes any header of the right length, the version unread;
    // only what is plainly something else is left for it to refuse.
    if (!bytes.startsWith("GI"))
        return {};
    const auto at = [&](qint64 i) { return i < bytes.size() ? quint8(bytes[i]) : 0u; };
    const auto word = [&](qint64 i) { return qint64(at(i) | (at(i + 1) << 8)); };
    qint64 width = word(6);
    qint64 height = word(8);
    qint64 i = 13;
    if (at(10) & 0x80)
        i += 3 * (qint64(2) << (at(10) & 7));
    // Data sub-blocks: a length byte, that many bytes, until a zero length.
    const auto skipSubBlocks = [&](qint64 from) {
        while (from < bytes.size() && at(from) != 0)
            from += at(from) + 1;
        return from + 1;
    };
    GifFrameLayout layout;
    while (i < bytes.size()) {
        const quint8 block = at(i);
        if (block == 0x2C) {
            width = qMax(width, word(i + 1) + word(i + 5));
            height = qMax(height, word(i + 3) + word(i + 7));
            layout.rect =
                QRect(int(word(i + 1)), int(word(i + 3)), int(word(i + 5)), int(word(i + 7)));
            // The colour table the frame draws with, as Qt's reader picks it.
            const bool local = at(i + 9) & 0x80;
            const qint64 colours = local ? 2 << (at(i + 9) & 7) : 2 << (at(10) & 7);
            const qint64 table = local ? i + 10 : 13;
            if (!(at(10) & 0x80))
                layout.fillsFromCorner = true;
            else if (at(11) < colours)
                layout.backgroundFill =
                    qRgb(int(at(table + 3 * at(11))), int(at(table + 3 * at(11) + 1)),
                         int(at(table + 3 * at(11) + 2)));
            if (layouts.size() < MaxAnimationFrames)
                layouts.append(std::exchange(layout, {}));
            qint64 next = i + 10;
            if (at(i + 9) & 0x80)
                next += 3 * (qint64(2) << (at(i + 9) & 7));
            i = skipSubBlocks(next + 1);
        } else if (block == 0x21) {
            if (at(i + 1) == 0xF9 && at(i + 2) >= 4) { // the next frame's control
                layout.disposal = (at(i + 3) >> 2) & 7;
                layout.hasTransparent = at(i + 3) & 1;
            }
            i = skipSubBlocks(i + 2);
        } else {
            break; // the trailer, or damage the decoder will report
        }
    }
    return QSize(int(qMin<qint64>(width, INT_MAX)), int(qMin<qint64>(height, INT_MAX)));
}

RasterImage readGif(QImageReader& reader, const QString& path, const QByteArray& head,
                    QList<GifFrameLayout> layouts) {
    const QString format = QStringLiteral("GIF");
    checkDeclaredSize(path, format, head, reader.size(), MaxCompressedRasterPixels);
    RasterImage picture;
    picture.image = reader.read();
    if (picture.image.isNull())
        throw wrongContentError(path, format, head, readerProblem(reader));
    BackgroundClearing clearing(std::move(layouts));
    picture.image = clearing.next(picture.image);
    picture.frames.append({picture.image, frameDelay(reader.nextImageDelay())});
    qint64 pixels = area(picture.image.size());
    while (reader.canRead()) {
        // Frames are whole canvases of the first frame's size; stop before
        // decoding one that would take the animation past its bound.
        pixels += area(picture.image.size());
        if (pixels > MaxAnimationPixels || picture.frames.size() >= MaxAnimationFrames) {
            picture.frames.clear();
            break;
        }
        const QImage frame = reader.read();
        if (frame.isNull())
            break; // damaged further on: the frames before it still play
        picture.frames.append({clearing.next(frame), frameDelay(reader.nextImageDelay())});
    }
    if (picture.frames.size() < 2)
        picture.frames.clear();
    return picture;
}

RasterImage readIcon(QImageReader& reader, const QString& path, const QByteArray& head, int fd,
                     qint64 fileSize) {
    const QString format = QStringLiteral("ICO");
    int best = 0;
    qint64 bestArea = -1;
    const int count = reader.imageCount();
    for (int i = 0; i < count; ++i) {
        if (!reader.jumpToImage(i))
            continue;
        // A hostile entry refuses the file; a broken one leaves the others.
        const QSize size = reader.size();
        if (area(size) > MaxCompressedRasterPixels)
            throw tooLargeError(path, size.width(), size.height());
        if (size.isValid() && area(size) > bestArea) {
            best = i;
            bestArea = area(size);
        }
    }
    if (count > 1 && !reader.jumpToImage(best))
        throw wrongContentError(path, format, head, readerProblem(reader));
    RasterImage picture;
    picture.image = reader.read();
    if (picture.image.isNull())
        throw wrongContentError(path, format, head, readerProblem(reader));
    applyIconMask(fd, fileSize, best, picture.image);
    return picture;
}

} // namespace

QString readerProblem(const QImageReader& reader) {
    switch (reader.error()) {
    case QImageReader::FileNotFoundError:
    case QImageReader::DeviceError:
        return QStringLiteral("it cannot be read to its end");
    case QImageReader::UnsupportedFormatError:
        return headerUnreadable();
    case QImageReader::InvalidDataError:
    case QImageReader::UnknownError:
        break;
    }
    return pictureDataCorrupt();
}

RasterImage decodeRaster(const QString& path, PictureKind kind) {
    const char* const format = kind == PictureKind::Gif    ? "gif"
                               : kind == PictureKind::Icon ? "ico"
                                                           : "bmp";
    const QString formatName = QString::fromLatin1(format).toUpper();
    qint64 bytes = 0;
    const FileHandle file = openPictureFile(path, bytes);
    const QByteArray head = fileHead(file.get());
    const qint64 limit = kind == PictureKind::Bitmap ? MaxPicturePixels : MaxCompressedRasterPixels;
    const QSize declared = declaredSize(head, kind);
    if (area(declared) > limit)
        throw tooLargeError(path, declared.width(), declared.height());
    // Qt refuses such a bitmap header without saying why.
    if (kind == PictureKind::Bitmap && declared != QSize())
        refuseNoPixels(path, formatName, head, declared);
    QList<GifFrameLayout> gifFrames;
    if (kind == PictureKind::Gif) {
        const QSize canvas = gifCanvas(fileno(file.get()), bytes, gifFrames);
        if (area(canvas) > limit)
            throw tooLargeError(path, canvas.width(), canvas.height());
    }
    const QString cutShort = QStringLiteral("it ends before its last row of pixels");
    if (kind == PictureKind::Bitmap) {
        RasterImage picture;
        switch (decodeOwnBitmap(fileno(file.get()), bytes, picture.image)) {
        case OwnBitmap::Decoded:
            return picture;
        case OwnBitmap::CutShort:
            throw wrongContentError(path, formatName, head, cutShort);
        case OwnBitmap::NotOurs:
            break;
        }
        if (bitmapCutShort(head, bytes))
            throw wrongContentError(path, formatName, head, cutShort);
    }
    // Unbuffered: the readers ask for whole rows, which a buffer only copies twice.
    QFile device;
    if (!device.open(fileno(file.get()), QIODevice::ReadOnly | QIODevice::Unbuffered,
                     QFileDevice::DontCloseHandle))
        throw Error(QStringLiteral("Cannot read \"%1\": %2").arg(path, device.errorString()));

    // Qt's own bound is a process-wide setting; ours is the one that matters.
    QImageReader::setAllocationLimit(int(MaxPicturePixels * 4 / (1024 * 1024)));
    QImageReader reader(&device, format);
    reader.setDecideFormatFromContent(false);
    reader.setAutoDetectImageFormat(false);
    // The readers leave no reason when a header is not theirs.
    if (!reader.canRead())
        throw wrongContentError(path, formatName, head, headerUnreadable());
    if (kind == PictureKind::Gif)
        return readGif(reader, path, head, std::move(gifFrames));
    if (kind == PictureKind::Icon)
        return readIcon(reader, path, head, fileno(file.get()), bytes);

    // Qt gives a top-down bitmap a negative height, though it reads it right.
    checkDeclaredSize(path, formatName, head, declared.isValid() ? declared : reader.size());
    RasterImage picture;
    picture.image = reader.read();
    if (picture.image.isNull())
        throw wrongContentError(path, formatName, head, readerProblem(reader));
    return picture;
}

} // namespace sortello
