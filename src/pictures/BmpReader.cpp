// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/BmpReader.h"

#include "pictures/Picture.h"
#include "pictures/PictureFile.h"

#include <QByteArray>
#include <bit>

namespace sortello {

namespace {

enum Compression : quint32 { Rgb = 0, BitFields = 3, AlphaBitFields = 6 };

struct Channel {
    quint32 mask = 0;
    int shift = 0;
    quint64 top = 0; // the mask's largest value once shifted down

    explicit Channel(quint32 m) : mask(m) {
        if (mask != 0) {
            shift = std::countr_zero(mask);
            top = mask >> shift;
        }
    }
    int value(quint32 pixel, int absent) const {
        if (top == 0)
            return absent;
        return int(((quint64(pixel & mask) >> shift) * 255 + top / 2) / top);
    }
};

quint32 pixelAt(const uchar* row, qint64 x, int bits) {
    switch (bits) {
    case 1:
        return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4:
        return (row[x / 2] >> (x % 2 ? 0 : 4)) & 0xF;
    case 8:
        return row[x];
    case 16:
        return row[2 * x] | (quint32(row[2 * x + 1]) << 8);
    case 24:
        return row[3 * x] | (quint32(row[3 * x + 1]) << 8) | (quint32(row[3 * x + 2]) << 16);
    default:
        return row[4 * x] | (quint32(row[4 * x + 1]) << 8) | (quint32(row[4 * x + 2]) << 16) |
               (quint32(row[4 * x + 3]) << 24);
    }
}

// Masks sit inside the longer headers, or follow the 40-byte one; without
// them the depth's usual layout applies. False when the file ends first.
bool readMasks(const QByteArray& head, qint64 headBytes, int headerSize, quint32 compression,
               int bits, quint32 (&masks)[4]) {
    if (compression == BitFields || compression == AlphaBitFields) {
        const int at = 14 + 40;
        const int count =
            headerSize > 40 ? (headerSize >= 56 ? 4 : 3) : (compression == AlphaBitFields ? 4 : 3);
        if (at + 4 * count > headBytes)
            return false;
        for (int i = 0; i < count; ++i)
            masks[i] = littleEndianField(head, at + 4 * i, 4);
    } else if (bits == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else {
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    }
    return true;
}

// The colour table, filled up with black to the depth's size. False when the
// file ends first.
bool readPalette(int fd, qint64 fileSize, const QByteArray& head, int headerSize, int bits,
                 QList<QRgb>& palette) {
    const quint32 used = headerSize >= 40 ? littleEndianField(head, 46, 4) : 0;
    // Writers of the short headers leave out the colours no pixel uses;
    // where the pixels start says how many there are.
    const qint64 room = (qint64(littleEndianField(head, 10, 4)) - 14 - headerSize) / 4;
    const qint64 colours = qBound<qint64>(
        0, qMin<qint64>(used == 0 ? qint64(1) << bits : used, qint64(1) << bits), room);
    QByteArray entries(colours * 4, Qt::Uninitialized);
    if (14 + headerSize + entries.size() > fileSize ||
        (colours > 0 && !readFileAt(fd, 14 + headerSize, entries.data(), entries.size())))
        return false;
    for (qint64 i = 0; i < colours; ++i)
        palette.append(
            qRgb(uchar(entries[4 * i + 2]), uchar(entries[4 * i + 1]), uchar(entries[4 * i])));
    palette.resize(1 << bits, qRgb(0, 0, 0));
    return true;
}

} // namespace

OwnBitmap decodeOwnBitmap(int fd, qint64 fileSize, QImage& image) {
    // The file header, the longest info header and the masks that may follow it.
    QByteArray head(14 + 124 + 16, '\0');
    const qint64 headBytes = qMin<qint64>(head.size(), fileSize);
    if (headBytes < 30 || !readFileAt(fd, 0, head.data(), headBytes) || !head.startsWith("BM"))
        return OwnBitmap::NotOurs;
    const int headerSize = int(littleEndianField(head, 14, 4));
    const bool oddHeader = headerSize == 16 || headerSize == 52 || headerSize == 56;
    if (!oddHeader && headerSize != 40 && headerSize != 108 && headerSize != 124)
        return OwnBitmap::NotOurs;
    if (14 + headerSize > headBytes)
        return OwnBitmap::NotOurs; // Qt says what is wrong with it
    const qint64 width = qint32(littleEndianField(head, 18, 4));
    const qint64 signedHeight = qint32(littleEndianField(head, 22, 4));
    const int bits = int(littleEndianField(head, 28, 2));
    const quint32 compression = headerSize >= 40 ? littleEndianField(head, 30, 4) : Rgb;
    const bool masked = compression == BitFields || compression == AlphaBitFields;
    if (!(masked && (bits == 16 || bits == 32)) && !(oddHeader && compression == Rgb))
        return OwnBitmap::NotOurs;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return OwnBitmap::NotOurs;
    const qint64 height = qAbs(signedHeight);
    if (width <= 0 || height <= 0 || width * height > MaxPicturePixels)
        return OwnBitmap::NotOurs;

    quint32 masks[4] = {0, 0, 0, 0};
    if (!readMasks(head, headBytes, headerSize, compression, bits, masks))
        return OwnBitmap::CutShort;
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);

    QList<QRgb> palette;
    if (bits <= 8 && !readPalette(fd, fileSize, head, headerSize, bits, palette))
        return OwnBitmap::CutShort;

    const qint64 stride = (width * bits + 31) / 32 * 4;
    const qint64 lastRow = (width * bits + 7) / 8; // some writers leave out its padding
    const qint64 start = littleEndianField(head, 10, 4);
    if (start + stride * (height - 1) + lastRow > fileSize)
        return OwnBitmap::CutShort;
    image = QImage(int(width), int(height),
                   alpha.top != 0 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return OwnBitmap::NotOurs;
    QByteArray row(stride, '\0');
    for (qint64 i = 0; i < height; ++i) {
        if (!readFileAt(fd, start + stride * i, row.data(),
                        qMin(stride, fileSize - start - stride * i)))
            return OwnBitmap::CutShort;
        const auto* bytes = reinterpret_cast<const uchar*>(row.constData());
        auto* out =
            reinterpret_cast<QRgb*>(image.scanLine(int(signedHeight < 0 ? i : height - 1 - i)));
        for (qint64 x = 0; x < width; ++x) {
            const quint32 pixel = pixelAt(bytes, x, bits);
            out[x] = bits <= 8 ? palette[pixel]
                               : qRgba(red.value(pixel, 0), green.value(pixel, 0),
                                       blue.value(pixel, 0), alpha.value(pixel, 255));
        }
    }
    return OwnBitmap::Decoded;
}

} // namespace sortello
