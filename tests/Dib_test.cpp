// SPDX-License-Identifier: GPL-3.0-or-later
// Bitmaps as metafile records carry them, built byte by byte: one row per
// header kind, depth and compression, and the malformed ones that must give
// no picture at all.
#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>

#include "Dib.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using namespace sortello::metafile;

namespace {

using Bytes = std::vector<std::uint8_t>;

void put(Bytes& out, std::uint32_t value, int bytes = 4) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(std::uint8_t(value >> (8 * i)));
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A header of `size` bytes (40 or longer), fields past the 40th left zero
// unless the masks are given.
Bytes header(std::uint32_t size, std::int32_t width, std::int32_t height, int depth,
             std::uint32_t compression = 0, std::uint32_t used = 0,
             std::initializer_list<std::uint32_t> masksInside = {}) {
    Bytes out;
    put(out, size);
    put(out, std::uint32_t(width));
    put(out, std::uint32_t(height));
    put(out, 1, 2);
    put(out, std::uint32_t(depth), 2);
    put(out, compression);
    put(out, 0);
    put(out, 2835), put(out, 2835);
    put(out, used), put(out, 0);
    for (std::uint32_t mask : masksInside)
        put(out, mask);
    out.resize(size, 0);
    return out;
}

Bytes coreHeader(int width, int height, int depth) {
    Bytes out;
    put(out, 12), put(out, std::uint32_t(width), 2), put(out, std::uint32_t(height), 2);
    put(out, 1, 2), put(out, std::uint32_t(depth), 2);
    return out;
}

// Colours as blue, green, red and a reserved byte.
Bytes quads(std::initializer_list<QRgb> colours) {
    Bytes out;
    for (QRgb c : colours)
        out.insert(out.end(),
                   {std::uint8_t(qBlue(c)), std::uint8_t(qGreen(c)), std::uint8_t(qRed(c)), 0});
    return out;
}

Bytes encoded(const QImage& image, const char* format) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 100);
    return Bytes(data.begin(), data.end());
}

Bytes cut(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

QImage blank(int width, int height) {
    QImage image(width, height, QImage::Format_Mono);
    image.fill(0);
    return image;
}

QImage filled(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

struct Pixel {
    int x;
    int y;
    QRgb argb;
};

struct DibCase {
    std::string name;
    Bytes info;
    Bytes bits;
    QSize size; // empty: a null image
    std::vector<Pixel> pixels = {};
    DibColours colours = DibColours::Rgb;
    int tolerance = 0;
};

constexpr QRgb Red = 0xFFFF0000, Green = 0xFF00FF00, Blue = 0xFF0000FF, White = 0xFFFFFFFF,
               Black = 0xFF000000, Clear = 0;

void PrintTo(const DibCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<DibCase> cases() {
    const Bytes bw = quads({Black, White});
    const Bytes rgb = quads({Red, Green, Blue});
    return {
        // Rows run bottom up unless the height is negative; rows pad to 4 bytes.
        {"Core1Bit",
         coreHeader(2, 2, 1) + Bytes{0, 0, 0, 255, 255, 255},
         {0x40, 0, 0, 0, 0x80},
         {2, 2},
         {{0, 1, Black}, {1, 1, White}, {0, 0, White}, {1, 0, Black}}},
        // Two colours named, index 3 past them: black.
        {"Info4BitShortTable",
         header(40, 3, 1, 4, 0, 2) + quads({Red, Green}),
         {0x01, 0x30},
         {3, 1},
         {{0, 0, Red}, {1, 0, Green}, {2, 0, Black}}},
        {"Info8BitTopDown",
         header(40, 1, -2, 8, 0, 3) + rgb,
         {2, 0, 0, 0, 1},
         {1, 2},
         {{0, 0, Blue}, {0, 1, Green}}},
        {"Info16Bit555",
         header(40, 2, 1, 16),
         {0x00, 0x7C, 0x1F, 0x00},
         {2, 1},
         {{0, 0, Red}, {1, 0, Blue}}},
        // Three pixels of three bytes pad to twelve; the last row may lose its padding.
        {"Info24BitPadded",
         header(40, 3, 2, 24),
         {0, 0, 255, 0, 255, 0, 255, 0, 0, 9, 9, 9, 255, 255, 255, 0, 0, 0, 0, 0, 0},
         {3, 2},
         {{0, 1, Red}, {1, 1, Green}, {2, 1, Blue}, {0, 0, White}, {2, 0, Black}}},
        {"Info32BitAlphaAsStored",
         header(40, 2, 1, 32),
         {0, 0, 255, 0, 255, 0, 0, 128},
         {2, 1},
         {{0, 0, 0x00FF0000}, {1, 0, 0x800000FF}}},
        {"BitFields565",
         header(40, 1, 1, 16, 3) + quads({}) + Bytes{0, 0xF8, 0, 0, 0xE0, 7, 0, 0, 0x1F, 0, 0, 0},
         {0xE0, 0x07},
         {1, 1},
         {{0, 0, Green}}},
        {"AlphaBitFields",
         header(40, 1, 1, 32, 6) +
             Bytes{0, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0},
         {0x40, 0x30, 0x20, 0x10},
         {1, 1},
         {{0, 0, qRgba(0x10, 0x20, 0x30, 0x40)}}},
        {"V4TenTenTen",
         header(108, 1, 1, 32, 3, 0, {0x3FF00000, 0x000FFC00, 0x000003FF}),
         {0xFF, 0x03, 0xF0, 0x3F},
         {1, 1},
         {{0, 0, qRgb(255, 0, 255)}}},
        {"V5ElevenElevenTen",
         header(124, 1, 1, 32, 3, 0, {0xFFE00000, 0x001FFC00, 0x000003FF}),
         {0x00, 0xFC, 0x1F, 0x00},
         {1, 1},
         {{0, 0, Green}}},
        {"V2MasksInHeader",
         header(52, 1, 1, 16, 3, 0, {0xF800, 0x07E0, 0x001F}),
         {0x1F, 0x00},
         {1, 1},
         {{0, 0, Blue}}},
        // Office icons: byte masks for the colours, the alpha in the byte left.
        {"BitFields32FreeByteIsAlpha",
         header(40, 2, 1, 32, 3) + Bytes{0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0xFF, 0xFF},
         {2, 1},
         {{0, 0, Clear}, {1, 0, Red}}},
        {"V3AlphaMaskInHeader",
         header(56, 1, 1, 32, 3, 0, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}),
         {0, 0, 0xFF, 0x80},
         {1, 1},
         {{0, 0, 0x80FF0000}}},
        // A run, an end of line, a delta over one pixel, a run past the
        // right edge (cut), the end: skipped pixels stay transparent.
        {"Rle8",
         header(40, 3, 2, 8, 1, 3) + rgb,
         {2, 1, 0, 0, 0, 2, 1, 0, 5, 2, 0, 1},
         {3, 2},
         {{0, 1, Green}, {1, 1, Green}, {2, 1, Clear}, {0, 0, Clear}, {1, 0, Blue}, {2, 0, Blue}}},
        // An absolute run of three nibbles, padded to a 16-bit boundary, then
        // a run alternating two indices.
        {"Rle4",
         header(40, 5, 1, 4, 2, 3) + rgb,
         {0, 3, 0x01, 0x20, 2, 0x21, 0, 1},
         {5, 1},
         {{0, 0, Red}, {1, 0, Green}, {2, 0, Blue}, {3, 0, Blue}, {4, 0, Green}}},
        {"Png",
         header(40, 2, 3, 0, 5),
         encoded(filled(2, 3, Green), "png"),
         {2, 3},
         {{1, 2, Green}}},
        {"Jpeg",
         header(40, 8, 8, 0, 4),
         encoded(filled(8, 8, Red), "jpeg"),
         {8, 8},
         {{4, 4, Red}},
         DibColours::Rgb,
         8},
        // Palette indices with no palette name GDI's default colours.
        {"PaletteIndices",
         header(40, 2, 1, 1) + Bytes{13, 0, 16, 0},
         {0x40, 0, 0, 0},
         {2, 1},
         {{0, 0, Red}, {1, 0, Blue}},
         DibColours::PaletteIndices},

        {"BitsCutShort", header(40, 3, 2, 24), Bytes(20, 0), {}},
        {"TooManyPixels", header(40, 5000, 5000, 1) + bw, Bytes(5000 * 5000 / 8 + 5000, 0), {}},
        {"NoWidth", header(40, 0, 1, 24), Bytes(4, 0), {}},
        {"OddHeaderSize", header(44, 1, 1, 24), Bytes(4, 0), {}},
        {"InfoShorterThanHeader", cut(header(108, 1, 1, 24), 60), Bytes(4, 0), {}},
        {"OddDepth", header(40, 1, 1, 7), Bytes(4, 0), {}},
        {"Rle8AtDepthFour", header(40, 1, 1, 4, 1) + bw, {0, 1}, {}},
        {"ColourTablePastTheEnd", header(40, 1, 1, 8, 16) + bw, {0, 0, 0, 0}, {}},
        {"MasksPastTheEnd", header(40, 1, 1, 16, 3) + Bytes{0, 0xF8, 0, 0}, {0, 0}, {}},
        {"RleDeltaOffTheEdge", header(40, 3, 2, 8, 1) + rgb, {0, 2, 4, 0, 0, 1}, {}},
        {"RleBelowLastRow", header(40, 1, 1, 8, 1) + rgb, {1, 0, 0, 0, 1, 1, 0, 1}, {}},
        {"RleAbsolutePastTheData", header(40, 8, 1, 8, 1) + rgb, {0, 8, 1, 1}, {}},
        {"RleCutInsideDelta", header(40, 3, 2, 8, 1) + rgb, {0, 2, 1}, {}},
        {"PngLargerThanItsHeader", header(40, 1, 1, 0, 5), encoded(blank(5000, 3400), "png"), {}},
        {"PngGarbage", header(40, 1, 1, 0, 5), Bytes(64, 0x89), {}},
        {"UnknownCompression", header(40, 1, 1, 32, 11), Bytes(4, 0), {}},
    };
}

class Dib : public ::testing::TestWithParam<DibCase> {};

TEST_P(Dib, Decodes) {
    const DibCase& c = GetParam();
    const QImage image = dibToImage(c.info, c.bits, c.colours);
    if (c.size.isEmpty()) {
        EXPECT_TRUE(image.isNull());
        return;
    }
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), c.size);
    for (const Pixel& p : c.pixels) {
        const QRgb got = image.pixel(p.x, p.y);
        const auto near = [&c](int a, int b) { return std::abs(a - b) <= c.tolerance; };
        EXPECT_TRUE(near(qRed(got), qRed(p.argb)) && near(qGreen(got), qGreen(p.argb)) &&
                    near(qBlue(got), qBlue(p.argb)) && qAlpha(got) == qAlpha(p.argb))
            << "pixel " << p.x << "," << p.y << ": " << std::hex << got << " wanted " << p.argb;
    }
}

INSTANTIATE_TEST_SUITE_P(, Dib, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return info.param.name; });

} // namespace
