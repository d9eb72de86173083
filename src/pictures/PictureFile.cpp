// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/PictureFile.h"

#include "pictures/Picture.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sortello {

namespace {

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

// A WMF without the placeable header starts with its own: memory or disk
// type, a header of 9 words, and one of the two versions there are.
bool isWmfHeader(const QByteArray& head) {
    if (head.size() < 6)
        return false;
    const quint32 type = littleEndianField(head, 0, 2);
    const quint32 version = littleEndianField(head, 4, 2);
    return (type == 1 || type == 2) && littleEndianField(head, 2, 2) == 9 &&
           (version == 0x0100 || version == 0x0300);
}

} // namespace

QString headerUnreadable() {
    return QStringLiteral("its header cannot be read");
}

QString pictureDataCorrupt() {
    return QStringLiteral("its picture data is cut short or corrupt");
}

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

QByteArray readPictureBytes(const QString& path) {
    // Larger than this, a file cannot hold a picture we would show.
    constexpr qint64 MaxPictureFileBytes = MaxPicturePixels * 4;
    qint64 size = 0;
    const FileHandle file = openPictureFile(path, size);
    if (size > MaxPictureFileBytes)
        throw Error(
            QStringLiteral("\"%1\" is too large to be a picture: %2 bytes").arg(path).arg(size));
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    const int fd = fileno(file.get());
    qsizetype done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, bytes.data() + done, size_t(size - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw Error(QStringLiteral("Cannot read \"%1\": %2").arg(path, qt_error_string(errno)));
        if (got == 0)
            break; // shrunk since we looked: what is there decodes as truncated
        done += got;
    }
    bytes.truncate(done);
    return bytes;
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
    // An ISO media file: its brand says which pictures it holds.
    if (startsWith(head, "ftyp", 4)) {
        if (startsWith(head, "avif", 8) || startsWith(head, "avis", 8))
            return QStringLiteral("an AVIF picture");
        for (const char* brand : {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"})
            if (startsWith(head, brand, 8))
                return QStringLiteral("a HEIF picture");
    }
    if (startsWith(head, "\xD7\xCD\xC6\x9A") || isWmfHeader(head))
        return QStringLiteral("a WMF picture");
    if (head.size() >= 44 && littleEndianField(head, 0, 4) == 1 && startsWith(head, " EMF", 40))
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

Error noMemoryError(const QString& path, qint64 width, qint64 height) {
    return Error(QStringLiteral("There is not enough memory to show \"%1\" at %2 x %3 pixels")
                     .arg(path)
                     .arg(width)
                     .arg(height));
}

Error wrongContentError(const QString& path, const QString& format, const QByteArray& head,
                        const QString& detail) {
    const QString holds = contentDescription(head);
    const QString promised =
        (format.startsWith(QLatin1Char('I')) || format.startsWith(QLatin1Char('E')) ||
                 format.startsWith(QLatin1Char('A'))
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
                         .arg(path, format, detail.isEmpty() ? headerUnreadable() : detail));
    if (detail.isEmpty())
        return Error(QStringLiteral("\"%1\" is not %2").arg(path, promised));
    return Error(QStringLiteral("\"%1\" is damaged or not %2: %3").arg(path, promised, detail));
}

} // namespace sortello
