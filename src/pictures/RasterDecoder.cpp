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

const QString HeaderUnreadable = QStringLiteral("its header cannot be read");

// Browsers show GIF frames that ask for no delay (or 1/100 s) for 100 ms;
// files are made to look right there.
int frameDelay(int delayMs) {
    return delayMs <= 10 ? 100 : delayMs;
}

qint64 area(const QSize& size) {
    return qint64(size.width()) * size.height();
}

bool startsWith(const QByteArray& head, QByteArrayView signature, qsizetype at = 0) {
    return head.size() >= at + signature.size() &&
           QByteArrayView(head).sliced(at).startsWith(signature);
}

// UTF-8 text, allowing a sequence cut off by the end of the head.
bool looksLikeText(const QByteArray& head) {
    if (head.isEmpty())
        return false;
    for (qsizetype i = 0; i < head.size();) {
        const uchar c = uchar(head[i]);
        if (c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c < 0x7F)) {
            ++i;
            continue;
        }
        const int more = (c & 0xE0) == 0xC0   ? 1
                         : (c & 0xF0) == 0xE0 ? 2
                         : (c & 0xF8) == 0xF0 ? 3
                                              : -1;
        if (more < 0)
            return false;
        for (int k = 1; k <= more && i + k < head.size(); ++k)
            if ((uchar(head[i + k]) & 0xC0) != 0x80)
                return false;
        i += 1 + more;
    }
    return true;
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
        throw wrongContentError(path, format, head, HeaderUnreadable);
    refuseNoPixels(path, format, head, size);
}

quint32 littleEndian(const QByteArray& head, int at, int bytes) {
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | uchar(head[at + i]);
    return v;
}

// A WMF without the placeable header starts with its own: memory or disk
// type, a header of 9 words, and one of the two versions there are.
bool isWmfHeader(const QByteArray& head) {
    if (head.size() < 6)
        return false;
    const quint32 type = littleEndian(head, 0, 2);
    const quint32 version = littleEndian(head, 4, 2);
    return (type == 1 || type == 2) && littleEndian(head, 2, 2) == 9 &&
           (version == 0x0100 || version == 0x0300);
}

// The size a BMP or GIF header declares, read here because Qt gives no size for
// a bitmap header it refuses, and a GIF's size from its first frame while it
// draws every frame on a canvas of the declared screen size.
QSize declaredSize(const QByteArray& head, PictureKind kind) {
    if (kind == PictureKind::Gif && head.size() >= 10 && head.startsWith("GIF"))
        return QSize(int(littleEndian(head, 6, 2)), int(littleEndian(head, 8, 2)));
    if (kind != PictureKind::Bitmap || head.size() < 26 || !head.startsWith("BM"))
        return {};
    if (littleEndian(head, 14, 4) == 12)
        return QSize(int(littleEndian(head, 18, 2)), int(littleEndian(head, 20, 2)));
    const qint64 height = qint32(littleEndian(head, 22, 4));
    return QSize(int(qint32(littleEndian(head, 18, 4))), int(qMin<qint64>(qAbs(height), INT_MAX)));
}

// Qt shows an uncompressed bitmap whose rows stop early with the rest blank;
// like a truncated JPEG it must show as damaged instead.
bool bitmapCutShort(const QByteArray& head, qint64 fileSize) {
    if (head.size() < 34 || !head.startsWith("BM") || littleEndian(head, 14, 4) < 40)
        return false;
    const quint32 compression = littleEndian(head, 30, 4);
    const qint64 width = qint32(littleEndian(head, 18, 4));
    const qint64 height = qAbs(qint64(qint32(littleEndian(head, 22, 4))));
    const qint64 bits = littleEndian(head, 28, 2);
    if ((compression != 0 && compression != 3) || width <= 0 || height <= 0 || bits == 0)
        return false;
    const qint64 stride = (width * bits + 31) / 32 * 4;
    const qint64 lastRow = (width * bits + 7) / 8; // some writers leave out its padding
    return fileSize < littleEndian(head, 10, 4) + stride * (height - 1) + lastRow;
}

// The largest canvas a GIF's decoder paints on: the logical screen, grown by
// every image that reaches past it. Walks the blocks of the whole file, so a
// frame declared deep inside cannot slip past the limit. Gives where each of
// the frames an animation may keep lies, and how it gives way.
QSize gifCanvas(int fd, qint64 fileSize, QList<GifFrameLayout>& layouts) {
    QByteArray bytes(qMin<qint64>(fileSize, 512 * 1024 * 1024), Qt::Uninitialized);
    qint64 got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got, size_t(bytes.size() - got), got);
        if (n <= 0)
            break;
        got += n;
    }
    bytes.truncate(got);
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

bool readFileAt(int fd, qint64 at, char* into, qint64 count) {
    qint64 got = 0;
    while (got < count) {
        const ssize_t n = ::pread(fd, into + got, size_t(count - got), off_t(at + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += n;
    }
    return true;
}

quint32 littleEndianField(const QByteArray& bytes, int at, int size) {
    quint32 v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | uchar(bytes[at + i]);
    return v;
}

FileHandle openPictureFile(const QString& path, qint64& size) {
    const auto cannotRead = [&path](const QString& reason) {
        return Error(QStringLiteral("Cannot read \"%1\": %2").arg(path, reason));
    };
    // Non-blocking, so that a pipe named like a picture cannot hang the open.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw cannotRead(qt_error_string(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        throw cannotRead(qt_error_string(error));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw cannotRead(S_ISDIR(st.st_mode) ? QStringLiteral("it is a folder")
                                             : QStringLiteral("it is not a regular file"));
    }
    if (st.st_size == 0) {
        ::close(fd);
        throw Error(QStringLiteral("The file \"%1\" is empty").arg(path));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FileHandle file(::fdopen(fd, "rb"));
    if (!file) {
        const int error = errno;
        ::close(fd);
        throw cannotRead(qt_error_string(error));
    }
    size = static_cast<qint64>(st.st_size);
    return file;
}

QByteArray fileHead(std::FILE* file, int count) {
    QByteArray head(count, '\0');
    const ssize_t got = ::pread(fileno(file), head.data(), size_t(count), 0);
    head.resize(got > 0 ? qsizetype(got) : 0);
    return head;
}

QString contentDescription(const QByteArray& head) {
    if (startsWith(head, "\xFF\xD8\xFF"))
        return QStringLiteral("a JPEG picture");
    if (startsWith(head, "\x89PNG\r\n\x1A\n"))
        return QStringLiteral("a PNG picture");
    if (startsWith(head, "GIF87a") || startsWith(head, "GIF89a"))
        return QStringLiteral("a GIF picture");
    // "BM" alone starts too many texts; the header size that follows does not.
    if (startsWith(head, "BM") && head.size() >= 16 && head[15] == 0 &&
        QByteArray::fromRawData("\x0C\x10\x28\x34\x38\x40\x6C\x7C", 8).contains(head[14]))
        return QStringLiteral("a BMP picture");
    if (startsWith(head, QByteArrayView("\0\0\1\0", 4)))
        return QStringLiteral("an icon");
    if (startsWith(head, "RIFF") && startsWith(head, "WEBP", 8))
        return QStringLiteral("a WebP picture");
    if (startsWith(head, QByteArrayView("II*\0", 4)) ||
        startsWith(head, QByteArrayView("MM\0*", 4)))
        return QStringLiteral("a TIFF picture");
    if (startsWith(head, "\xD7\xCD\xC6\x9A") || isWmfHeader(head))
        return QStringLiteral("a WMF picture");
    if (head.size() >= 44 && littleEndian(head, 0, 4) == 1 && startsWith(head, " EMF", 40))
        return QStringLiteral("an EMF picture");
    if (startsWith(head, "%PDF"))
        return QStringLiteral("a PDF document");
    if (startsWith(head, "PK\x03\x04"))
        return QStringLiteral("a ZIP archive");
    if (looksLikeText(head))
        return QStringLiteral("text");
    return {};
}

Error tooLargeError(const QString& path, qint64 width, qint64 height) {
    return Error(QStringLiteral("The picture is too large to show: %1 x %2 pixels (%3)")
                     .arg(width)
                     .arg(height)
                     .arg(path));
}

Error wrongContentError(const QString& path, const QString& format, const QByteArray& head,
                        const QString& detail) {
    const QString holds = contentDescription(head);
    const QString promised =
        (format.startsWith(QLatin1Char('I')) || format.startsWith(QLatin1Char('E'))
             ? QStringLiteral("an %1 file")
             : QStringLiteral("a %1 file"))
            .arg(format);
    const bool sameFormat = holds.contains(format, Qt::CaseInsensitive) ||
                            (format == QLatin1String("ICO") && holds == QLatin1String("an icon"));
    if (!holds.isEmpty() && !sameFormat)
        return Error(QStringLiteral("\"%1\" is not %2: it holds %3").arg(path, promised, holds));
    // It starts as the format it is named after, so the fault lies further on.
    if (sameFormat)
        return Error(QStringLiteral("\"%1\" is a damaged %2 file: %3")
                         .arg(path, format, detail.isEmpty() ? HeaderUnreadable : detail));
    if (detail.isEmpty())
        return Error(QStringLiteral("\"%1\" is not %2").arg(path, promised));
    return Error(QStringLiteral("\"%1\" is damaged or not %2: %3").arg(path, promised, detail));
}

QString readerProblem(const QImageReader& reader) {
    switch (reader.error()) {
    case QImageReader::FileNotFoundError:
    case QImageReader::DeviceError:
        return QStringLiteral("it cannot be read to its end");
    case QImageReader::UnsupportedFormatError:
        return HeaderUnreadable;
    case QImageReader::InvalidDataError:
    case QImageReader::UnknownError:
        break;
    }
    return QStringLiteral("its picture data is cut short or corrupt");
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
        throw wrongContentError(path, formatName, head, HeaderUnreadable);
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
