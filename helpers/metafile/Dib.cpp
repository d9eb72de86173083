// SPDX-License-Identifier: GPL-3.0-or-later
#include "Dib.h"

#include "MetafileFormat.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <bit>
#include <optional>
#include <vector>

namespace sortello::metafile {

namespace {

enum Compression : std::uint32_t {
    Rgb = 0,
    Rle8 = 1,
    Rle4 = 2,
    BitFields = 3,
    Jpeg = 4,
    Png = 5,
    AlphaBitFields = 6,
};

constexpr std::uint32_t CoreHeaderSize = 12;
constexpr std::uint32_t InfoHeaderSize = 40;

std::uint32_t le(std::span<const std::uint8_t> data, std::size_t at, int bytes) {
    const std::string_view view(reinterpret_cast<const char*>(data.data()), data.size());
    return bytes == 2 ? readU16(view, at) : readU32(view, at);
}

struct Header {
    std::int64_t width = 0;
    std::int64_t height = 0; // always positive; topDown says which way rows run
    bool topDown = false;
    int depth = 0;
    std::uint32_t compression = Rgb;
    std::uint32_t coloursUsed = 0;
    std::size_t tableStart = 0;
    std::size_t entryBytes = 4; // of a colour, when the table holds colours
    std::array<std::uint32_t, 4> masks{};
};

bool depthFits(int depth, std::uint32_t compression) {
    switch (compression) {
    case Rgb:
        return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
    case Rle8:
        return depth == 8;
    case Rle4:
        return depth == 4;
    case BitFields:
    case AlphaBitFields:
        return depth == 16 || depth == 32;
    case Jpeg:
    case Png:
        return true; // the embedded file says
    default:
        return false;
    }
}

std::optional<Header> readHeader(std::span<const std::uint8_t> info) {
    if (info.size() < CoreHeaderSize)
        return std::nullopt;
    const std::uint32_t size = le(info, 0, 4);
    Header header;
    if (size == CoreHeaderSize) {
        header.width = le(info, 4, 2);
        header.height = le(info, 6, 2);
        header.depth = int(le(info, 10, 2));
        header.entryBytes = 3;
    } else {
        // The 16-byte OS/2 header stops after the depth; the 52- and 56-byte
        // ones are the 40-byte header with the colour masks inside it.
        constexpr std::uint32_t sizes[] = {16, 40, 52, 56, 108, 124};
        if (std::find(std::begin(sizes), std::end(sizes), size) == std::end(sizes) ||
            size > info.size())
            return std::nullopt;
        header.width = std::int32_t(le(info, 4, 4));
        const std::int64_t height = std::int32_t(le(info, 8, 4));
        header.topDown = height < 0;
        header.height = height < 0 ? -height : height;
        header.depth = int(le(info, 14, 2));
        if (size >= InfoHeaderSize) {
            header.compression = le(info, 16, 4);
            header.coloursUsed = le(info, 32, 4);
        }
    }
    header.tableStart = size;
    if (header.width <= 0 || header.height <= 0 || header.width * header.height > MaxDibPixels ||
        !depthFits(header.depth, header.compression))
        return std::nullopt;

    if (header.compression == BitFields || header.compression == AlphaBitFields) {
        // After the 40-byte header the masks follow it; the longer headers
        // hold them, the alpha mask from 56 bytes on.
        const std::size_t count = header.compression == AlphaBitFields || size >= 56 ? 4 : 3;
        if (InfoHeaderSize + 4 * count > info.size())
            return std::nullopt;
        for (std::size_t i = 0; i < count; ++i)
            header.masks[i] = le(info, InfoHeaderSize + 4 * i, 4);
        // A 32-bit pixel's byte the colour masks leave free is its alpha, as
        // in a BI_RGB one: an AlphaBlend reads it there whatever the masks say.
        if (header.depth == 32 && count == 3 &&
            ((header.masks[0] | header.masks[1] | header.masks[2]) & 0xFF000000) == 0)
            header.masks[3] = 0xFF000000;
        header.tableStart = std::max<std::size_t>(size, InfoHeaderSize + 4 * count);
    } else if (header.depth == 16) {
        header.masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else if (header.depth >= 24) {
        header.masks = {0xFF0000, 0xFF00, 0xFF, header.depth == 32 ? 0xFF000000 : 0};
    }
    return header;
}

constexpr std::array<QRgb, 20> SystemPalette = {
    qRgb(0x00, 0x00, 0x00), qRgb(0x80, 0x00, 0x00), qRgb(0x00, 0x80, 0x00), qRgb(0x80, 0x80, 0x00),
    qRgb(0x00, 0x00, 0x80), qRgb(0x80, 0x00, 0x80), qRgb(0x00, 0x80, 0x80), qRgb(0xC0, 0xC0, 0xC0),
    qRgb(0xC0, 0xDC, 0xC0), qRgb(0xA6, 0xCA, 0xF0), qRgb(0xFF, 0xFB, 0xF0), qRgb(0xA0, 0xA0, 0xA4),
    qRgb(0x80, 0x80, 0x80), qRgb(0xFF, 0x00, 0x00), qRgb(0x00, 0xFF, 0x00), qRgb(0xFF, 0xFF, 0x00),
    qRgb(0x00, 0x00, 0xFF), qRgb(0xFF, 0x00, 0xFF), qRgb(0x00, 0xFF, 0xFF), qRgb(0xFF, 0xFF, 0xFF),
};

// The 2^depth colours pixels may name; entries the table leaves out are black.
std::optional<std::vector<QRgb>> readColourTable(const Header& header,
                                                 std::span<const std::uint8_t> info,
                                                 DibColours colours,
                                                 std::span<const QRgb> palette) {
    const std::size_t full = std::size_t(1) << header.depth;
    const std::size_t entryBytes = colours == DibColours::PaletteIndices ? 2 : header.entryBytes;
    const std::size_t room =
        header.tableStart <= info.size() ? (info.size() - header.tableStart) / entryBytes : 0;
    std::size_t count = std::min(room, full);
    // A table that names its length must be there in full; one that does not
    // is often cut to the colours used, and what is there is taken.
    if (header.coloursUsed != 0 && room < std::min<std::size_t>(header.coloursUsed, full))
        return std::nullopt;
    if (header.coloursUsed != 0)
        count = std::min<std::size_t>(header.coloursUsed, full);
    if (count == 0)
        return std::nullopt;
    std::vector<QRgb> table(full, qRgb(0, 0, 0));
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = header.tableStart + i * entryBytes;
        if (colours == DibColours::PaletteIndices) {
            const std::size_t index = le(info, at, 2);
            table[i] = index < palette.size() ? palette[index] | 0xFF000000 : qRgb(0, 0, 0);
        } else {
            table[i] = qRgb(info[at + 2], info[at + 1], info[at]);
        }
    }
    return table;
}

struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint64_t top = 0; // the mask's largest value once shifted down

    explicit Channel(std::uint32_t m) : mask(m) {
        if (mask != 0) {
            shift = std::countr_zero(mask);
            top = mask >> shift;
        }
    }
    int value(std::uint32_t pixel, int absent) const {
        if (top == 0)
            return absent;
        return int(((std::uint64_t(pixel & mask) >> shift) * 255 + top / 2) / top);
    }
};

std::uint32_t pixelAt(const std::uint8_t* row, std::int64_t x, int depth) {
    switch (depth) {
    case 1:
        return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4:
        return (row[x / 2] >> (x % 2 ? 0 : 4)) & 0xF;
    case 8:
        return row[x];
    case 16:
        return row[2 * x] | std::uint32_t(row[2 * x + 1]) << 8;
    case 24:
        return row[3 * x] | std::uint32_t(row[3 * x + 1]) << 8 |
               std::uint32_t(row[3 * x + 2]) << 16;
    default:
        return row[4 * x] | std::uint32_t(row[4 * x + 1]) << 8 |
               std::uint32_t(row[4 * x + 2]) << 16 | std::uint32_t(row[4 * x + 3]) << 24;
    }
}

QRgb* scanLine(QImage& image, const Header& header, std::int64_t row) {
    return reinterpret_cast<QRgb*>(
        image.scanLine(int(header.topDown ? row : header.height - 1 - row)));
}

QImage decodeRows(const Header& header, std::span<const std::uint8_t> bits,
                  const std::vector<QRgb>& table) {
    const std::int64_t stride = (header.width * header.depth + 31) / 32 * 4;
    const std::int64_t lastRow = (header.width * header.depth + 7) / 8; // its padding may be cut
    if (std::int64_t(bits.size()) < stride * (header.height - 1) + lastRow)
        return {};
    const Channel red(header.masks[0]), green(header.masks[1]), blue(header.masks[2]),
        alpha(header.masks[3]);
    QImage image(int(header.width), int(header.height),
                 alpha.top != 0 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return {};
    for (std::int64_t y = 0; y < header.height; ++y) {
        const std::uint8_t* row = bits.data() + stride * y;
        QRgb* out = scanLine(image, header, y);
        for (std::int64_t x = 0; x < header.width; ++x) {
            const std::uint32_t pixel = pixelAt(row, x, header.depth);
            out[x] = header.depth <= 8 ? table[pixel]
                                       : qRgba(red.value(pixel, 0), green.value(pixel, 0),
                                               blue.value(pixel, 0), alpha.value(pixel, 255));
        }
    }
    return image;
}

// Runs past the right edge are cut there, as GDI does; a delta off the
// bitmap, pixels below its last row or data that ends inside an escape make
// the bitmap malformed.
QImage decodeRunLength(const Header& header, std::span<const std::uint8_t> bits,
                       const std::vector<QRgb>& table) {
    QImage image(int(header.width), int(header.height), QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    image.fill(Qt::transparent);
    const bool nibbles = header.compression == Rle4;
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::size_t at = 0;
    const auto paint = [&](std::size_t count, auto indexOf) {
        if (y >= header.height)
            return false;
        QRgb* out = scanLine(image, header, y);
        const std::size_t inside =
            x < header.width ? std::min<std::size_t>(count, std::size_t(header.width - x)) : 0;
        for (std::size_t i = 0; i < inside; ++i)
            out[x + std::int64_t(i)] = table[indexOf(i)];
        x += std::int64_t(count);
        return true;
    };
    while (at + 2 <= bits.size()) {
        const std::uint8_t first = bits[at];
        const std::uint8_t second = bits[at + 1];
        at += 2;
        if (first > 0) { // a run of one index, or of two alternating ones
            const auto index = [&](std::size_t i) -> std::size_t {
                return nibbles ? (i % 2 ? second & 0xF : second >> 4) : second;
            };
            if (!paint(first, index))
                return {};
        } else if (second == 0) { // end of line
            x = 0;
            ++y;
        } else if (second == 1) { // end of bitmap
            return image;
        } else if (second == 2) { // delta
            if (at + 2 > bits.size())
                return {};
            x += bits[at];
            y += bits[at + 1];
            at += 2;
            if (x > header.width || y > header.height)
                return {};
        } else { // absolute: `second` indices, padded to a 16-bit boundary
            const std::size_t bytes = nibbles ? (second + 1u) / 2 : second;
            if (at + bytes > bits.size())
                return {};
            const std::uint8_t* data = bits.data() + at;
            const auto index = [&](std::size_t i) -> std::size_t {
                return nibbles ? (i % 2 ? data[i / 2] & 0xF : data[i / 2] >> 4) : data[i];
            };
            if (!paint(second, index))
                return {};
            at += (bytes + 1) & ~std::size_t(1);
        }
    }
    // Data that ends between two codes without the end-of-bitmap code.
    return at == bits.size() ? image : QImage();
}

} // namespace

QImage decodeEmbeddedImage(std::span<const std::uint8_t> bits, const char* format) {
    QByteArray data =
        QByteArray::fromRawData(reinterpret_cast<const char*>(bits.data()), qsizetype(bits.size()));
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer, format);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() ||
        std::int64_t(size.width()) * size.height() > MaxDibPixels)
        return {};
    reader.setAllocationLimit(int(MaxDibPixels * 4 / (1 << 20)) + 1);
    const QImage image = reader.read();
    if (image.isNull())
        return {};
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
}

std::span<const QRgb> defaultPalette() {
    return SystemPalette;
}

QImage dibToImage(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
                  DibColours colours) {
    return dibToImage(info, bits, colours, SystemPalette);
}

QImage dibToImage(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
                  DibColours colours, std::span<const QRgb> palette) {
    const std::optional<Header> header = readHeader(info);
    if (!header)
        return {};
    if (header->compression == Jpeg || header->compression == Png)
        return decodeEmbeddedImage(bits, header->compression == Png ? "png" : "jpeg");
    std::vector<QRgb> table;
    if (header->depth <= 8) {
        std::optional<std::vector<QRgb>> read = readColourTable(*header, info, colours, palette);
        if (!read)
            return {};
        table = std::move(*read);
    }
    if (header->compression == Rle8 || header->compression == Rle4)
        return decodeRunLength(*header, bits, table);
    return decodeRows(*header, bits, table);
}

} // namespace sortello::metafile
