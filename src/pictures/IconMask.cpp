// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/IconMask.h"

#include "pictures/PictureFile.h"

#include <QByteArray>

namespace sortello {

namespace {

// The whole range, or nothing: every offset and size in an icon is the file's word.
QByteArray bytesAt(int fd, qint64 fileSize, qint64 at, qint64 count) {
    if (at < 0 || count <= 0 || at > fileSize || count > fileSize - at)
        return {};
    QByteArray bytes(count, Qt::Uninitialized);
    return readFileAt(fd, at, bytes.data(), count) ? bytes : QByteArray();
}

} // namespace

void applyIconMask(int fd, qint64 fileSize, int entry, QImage& image) {
    if (entry < 0 || entry > 0xFFFF || image.isNull())
        return;
    const QByteArray directory = bytesAt(fd, fileSize, 6 + 16 * qint64(entry), 16);
    if (directory.isEmpty())
        return;
    const qint64 start = littleEndianField(directory, 12, 4);
    const QByteArray info = bytesAt(fd, fileSize, start, 40);
    if (info.isEmpty())
        return;
    const qint64 headerSize = littleEndianField(info, 0, 4);
    const qint64 width = qint32(littleEndianField(info, 4, 4));
    const qint64 height = qint32(littleEndianField(info, 8, 4));
    const int bits = int(littleEndianField(info, 14, 2));
    // Palette images have their mask applied already; 32-bit ones use alpha.
    if (headerSize < 40 || headerSize > 1024 || littleEndianField(info, 16, 4) != 0 ||
        (bits != 16 && bits != 24) || width != image.width() ||
        height != 2 * qint64(image.height()))
        return;
    const qint64 rows = image.height();
    const qint64 colourStride = (width * bits + 31) / 32 * 4;
    const qint64 maskStride = (width + 31) / 32 * 4;
    const QByteArray mask =
        bytesAt(fd, fileSize, start + headerSize + colourStride * rows, maskStride * rows);
    if (mask.isEmpty() || mask.count('\0') == mask.size()) // nothing to clear
        return;
    image.convertTo(QImage::Format_ARGB32);
    for (qint64 y = 0; y < rows; ++y) {
        const auto* bitsOfRow = reinterpret_cast<const uchar*>(mask.constData()) +
                                maskStride * (rows - 1 - y); // bottom row first
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (qint64 x = 0; x < width; ++x)
            if (bitsOfRow[x / 8] & (0x80 >> (x % 8)))
                out[x] = qRgba(0, 0, 0, 0);
    }
}

} // namespace sortello
