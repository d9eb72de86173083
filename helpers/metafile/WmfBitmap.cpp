// SPDX-License-Identifier: GPL-3.0-or-later
#include "WmfBitmap.h"

#include "WmfSvgStyle.h"

#include <algorithm>
#include <cmath>
#include <libwmf/defs.h>
#include <libwmf/ipa.h>
#include <zlib.h>

namespace sortello::metafile {

namespace {

void appendBigEndianU32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char((value >> shift) & 0xFF);
}

void appendChunk(std::string& png, const char* type, const std::string& data) {
    appendBigEndianU32(png, std::uint32_t(data.size()));
    const std::size_t start = png.size();
    png += type;
    png += data;
    const auto* bytes = reinterpret_cast<const Bytef*>(png.data() + start);
    appendBigEndianU32(png, std::uint32_t(crc32(0, bytes, uInt(png.size() - start))));
}

void appendBase64(std::string& out, const std::string& bytes) {
    static constexpr char Digits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        std::uint32_t group = std::uint32_t(std::uint8_t(bytes[i])) << 16;
        if (left > 1)
            group |= std::uint32_t(std::uint8_t(bytes[i + 1])) << 8;
        if (left > 2)
            group |= std::uint8_t(bytes[i + 2]);
        out += Digits[group >> 18];
        out += Digits[(group >> 12) & 63];
        out += left > 1 ? Digits[(group >> 6) & 63] : '=';
        out += left > 2 ? Digits[group & 63] : '=';
    }
}

} // namespace

void appendImageStart(std::string& out, double x, double y, double width, double height) {
    out += "<image";
    attribute(out, "x", x);
    attribute(out, "y", y);
    attribute(out, "width", width);
    attribute(out, "height", height);
    out += " preserveAspectRatio=\"none\" xlink:href=\"data:image/png;base64,";
}

namespace {

// The source rectangle's top is counted from the bitmap's top, but libwmf
// counts rows from the bottom: the first of the rectangle's rows, so counted.
int firstRow(const wmfBMP_Draw_t* bitmap, int height) {
    return std::max(0, height - bitmap->crop.y - bitmap->crop.h);
}

bool isWhite(const wmfRGB& rgb) {
    return rgb.r >= 128 && rgb.g >= 128 && rgb.b >= 128;
}

} // namespace

bool paintsIntoMask(const WmfCanvas& canvas, const wmfBMP_Draw_t* bitmap, double width,
                    double height) {
    const WmfCanvas::HeldMask& mask = canvas.mask;
    return (bitmap->type == SRCPAINT || bitmap->type == SRCINVERT) && mask.end > mask.start &&
           mask.end == canvas.svg.size() && mask.columns == bitmap->crop.w &&
           mask.rows == bitmap->crop.h && std::abs(mask.x - bitmap->pt.x) < 1e-6 &&
           std::abs(mask.y - bitmap->pt.y) < 1e-6 && std::abs(mask.width - width) < 1e-6 &&
           std::abs(mask.height - height) < 1e-6;
}

// The image goes where the mask is black; where it is white GDI keeps what
// was there, so the picture is transparent.
void replaceMaskWithImage(wmfAPI* api, WmfCanvas& canvas, wmfBMP_Draw_t* bitmap) {
    WmfCanvas::HeldMask& mask = canvas.mask;
    std::vector<std::uint8_t> rgba(std::size_t(mask.columns) * std::size_t(mask.rows) * 4);
    for (int row = 0; row < mask.rows; ++row) {
        // libwmf counts rows from the bottom.
        std::uint8_t* pixel = rgba.data() + std::size_t(mask.rows - 1 - row) * mask.columns * 4;
        for (int column = 0; column < mask.columns; ++column, pixel += 4) {
            wmfRGB rgb{};
            wmf_ipa_bmp_color(api, &bitmap->bmp, &rgb, bitmap->crop.x + column,
                              firstRow(bitmap, bitmap->bmp.height) + row);
            pixel[0] = rgb.r;
            pixel[1] = rgb.g;
            pixel[2] = rgb.b;
            pixel[3] = mask.clear[std::size_t(row) * mask.columns + column] ? 0 : 255;
        }
    }
    std::string image;
    appendImageStart(image, mask.x, mask.y, mask.width, mask.height);
    if (!appendPngBase64(image, mask.columns, mask.rows, rgba))
        return;
    image += "\"/>\n";
    canvas.svg.replace(mask.start, mask.end - mask.start, image);
}

// libwmf misreads one-bit bitmaps whose rows are not a whole number of
// bytes, and masks are one-bit bitmaps: they are read here from the record.
bool readOneBitMask(const WmfCanvas& canvas, const wmfBMP_Draw_t* bitmap,
                    std::vector<bool>& clear) {
    const unsigned char* dib = canvas.dib;
    if (!dib || canvas.dibLength < 48)
        return false;
    const auto u16 = [dib](int at) {
        return std::uint32_t(dib[at]) | std::uint32_t(dib[at + 1]) << 8;
    };
    const auto u32 = [&u16](int at) { return u16(at) | u16(at + 2) << 16; };
    const std::uint32_t headerSize = u32(0);
    const std::int32_t width = std::int32_t(u32(4));
    const std::int32_t height = std::int32_t(u32(8));
    if (headerSize != 40 || u16(14) != 1 || u32(16) != 0 || width <= 0 || height <= 0)
        return false;
    const std::uint32_t colours = u32(32) == 0 ? 2 : u32(32);
    const long rowBytes = (long(width) + 31) / 32 * 4;
    const long bits = 40 + long(colours) * 4;
    if (colours > 2 || bits + rowBytes * height > canvas.dibLength ||
        bitmap->crop.x + bitmap->crop.w > width || bitmap->crop.y + bitmap->crop.h > height)
        return false;
    bool white[2];
    for (int i = 0; i < 2; ++i) {
        const unsigned char* entry = dib + 40 + 4 * std::min<std::uint32_t>(i, colours - 1);
        white[i] = entry[0] >= 128 && entry[1] >= 128 && entry[2] >= 128;
    }
    // Rows bottom up, as libwmf counts them.
    for (int row = 0; row < bitmap->crop.h; ++row) {
        const unsigned char* line = dib + bits + rowBytes * (firstRow(bitmap, height) + row);
        for (int column = 0; column < bitmap->crop.w; ++column) {
            const int x = bitmap->crop.x + column;
            clear[std::size_t(row) * bitmap->crop.w + column] =
                white[(line[x / 8] >> (7 - x % 8)) & 1];
        }
    }
    return true;
}

void holdMask(wmfAPI* api, WmfCanvas& canvas, wmfBMP_Draw_t* bitmap) {
    WmfCanvas::HeldMask& mask = canvas.mask;
    mask.columns = bitmap->crop.w;
    mask.rows = bitmap->crop.h;
    mask.clear.assign(std::size_t(mask.columns) * mask.rows, false);
    if (readOneBitMask(canvas, bitmap, mask.clear))
        return;
    for (int row = 0; row < mask.rows; ++row) {
        for (int column = 0; column < mask.columns; ++column) {
            wmfRGB rgb{};
            wmf_ipa_bmp_color(api, &bitmap->bmp, &rgb, bitmap->crop.x + column,
                              firstRow(bitmap, bitmap->bmp.height) + row);
            mask.clear[std::size_t(row) * mask.columns + column] = isWhite(rgb);
        }
    }
}

bool appendPngBase64(std::string& out, int width, int height,
                     const std::vector<std::uint8_t>& rgba) {
    const std::size_t rowBytes = std::size_t(width) * 4;
    if (width <= 0 || height <= 0 || rgba.size() != rowBytes * std::size_t(height))
        return false;
    // Each row starts with its filter: none.
    std::string rows;
    rows.reserve((rowBytes + 1) * std::size_t(height));
    for (int y = 0; y < height; ++y) {
        rows += '\0';
        rows.append(reinterpret_cast<const char*>(rgba.data()) + rowBytes * std::size_t(y),
                    rowBytes);
    }
    std::string packed(compressBound(uLong(rows.size())), '\0');
    uLongf packedSize = uLongf(packed.size());
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(rows.data()), uLong(rows.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        return false;
    packed.resize(packedSize);

    std::string header;
    appendBigEndianU32(header, std::uint32_t(width));
    appendBigEndianU32(header, std::uint32_t(height));
    header += "\x08\x06"; // eight bits a channel, red-green-blue-alpha
    header += std::string(3, '\0');
    std::string png = "\x89PNG\r\n\x1a\n";
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", packed);
    appendChunk(png, "IEND", {});
    appendBase64(out, png);
    return true;
}

} // namespace sortello::metafile
