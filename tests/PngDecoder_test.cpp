// SPDX-License-Identifier: GPL-3.0-or-later
// PNG files of every colour type, depth and interlacing, written here by
// libpng, decoded whole and reduced for a pane.
#include "pictures/PngDecoder.h"
#include "support/ErrorText.h"

#include <array>
#include <gtest/gtest.h>
#include <png.h>

using namespace sortello;
using sortello::test::messageOf;

namespace {

constexpr int Width = 64;
constexpr int Height = 48;

// The four quadrants, top left, top right, bottom left, bottom right: the
// colours and alphas each type can hold, and a grey level as a fraction of
// the deepest grey.
const std::array<QRgb, 4> Colours = {qRgba(220, 30, 30, 255), qRgba(30, 200, 40, 200),
                                     qRgba(40, 60, 230, 90), qRgba(240, 240, 240, 30)};
const std::array<int, 4> GreyThirds = {0, 3, 1, 2};

struct Variant {
    const char* name;
    int type; // PNG_COLOR_TYPE_...
    int depth;
    bool interlaced;
};

void PrintTo(const Variant& v, std::ostream* os) {
    *os << v.name;
}

int quadrantOf(int x, int y) {
    return (y * 2 / Height) * 2 + x * 2 / Width;
}

bool hasAlpha(const Variant& v) {
    return (v.type & PNG_COLOR_MASK_ALPHA) || v.type == PNG_COLOR_TYPE_PALETTE;
}

// The deepest grey a sample holds, 8-bit for 16-bit samples, which are
// written as 8-bit ones widened.
int greyMax(const Variant& v) {
    return v.depth < 8 ? (1 << v.depth) - 1 : 255;
}

int storedGrey(const Variant& v, int q) {
    return GreyThirds[q] * greyMax(v) / 3;
}

// What every pixel of quadrant q decodes to.
QRgb expected(const Variant& v, int q) {
    if (v.type == PNG_COLOR_TYPE_PALETTE)
        return Colours[q];
    const int alpha = (v.type & PNG_COLOR_MASK_ALPHA) ? qAlpha(Colours[q]) : 255;
    if (v.type & PNG_COLOR_MASK_COLOR)
        return qRgba(qRed(Colours[q]), qGreen(Colours[q]), qBlue(Colours[q]), alpha);
    const int grey = storedGrey(v, q) * (255 / greyMax(v));
    return qRgba(grey, grey, grey, alpha);
}

void appendSample(QByteArray& row, const Variant& v, int value, int x) {
    if (v.depth != 16) {
        row.append(char(value)); // libpng packs the low depths itself
        return;
    }
    // Off the exact 8-bit value by less than half a step: rounding, not
    // cutting, brings it back.
    const int wide = qBound(0, value * 257 + (x * 37 % 201) - 100, 65535);
    row.append(char(wide >> 8));
    row.append(char(wide & 0xFF));
}

QByteArray rowOf(const Variant& v, int y) {
    QByteArray row;
    for (int x = 0; x < Width; ++x) {
        const int q = quadrantOf(x, y);
        const QRgb c = expected(v, q);
        if (v.type == PNG_COLOR_TYPE_PALETTE)
            appendSample(row, v, q, x);
        else if (v.type & PNG_COLOR_MASK_COLOR)
            for (const int value : {qRed(c), qGreen(c), qBlue(c)})
                appendSample(row, v, value, x);
        else
            appendSample(row, v, storedGrey(v, q), x);
        if (v.type & PNG_COLOR_MASK_ALPHA)
            appendSample(row, v, qAlpha(c), x);
    }
    return row;
}

void appendWritten(png_structp png, png_bytep data, size_t size) {
    static_cast<QByteArray*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<char*>(data), qsizetype(size));
}

QByteArray written(const Variant& v) {
    QByteArray bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &bytes, appendWritten, nullptr);
    png_set_IHDR(png, info, Width, Height, v.depth, v.type,
                 v.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (v.type == PNG_COLOR_TYPE_PALETTE) {
        std::array<png_color, 4> palette;
        std::array<png_byte, 4> alphas;
        for (int q = 0; q < 4; ++q) {
            palette[q] = {png_byte(qRed(Colours[q])), png_byte(qGreen(Colours[q])),
                          png_byte(qBlue(Colours[q]))};
            alphas[q] = png_byte(qAlpha(Colours[q]));
        }
        png_set_PLTE(png, info, palette.data(), 4);
        png_set_tRNS(png, info, alphas.data(), 4, nullptr);
    }
    png_write_info(png, info);
    if (v.depth < 8)
        png_set_packing(png);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < Height; ++y)
            png_write_row(png, reinterpret_cast<png_const_bytep>(rowOf(v, y).constData()));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

class PngVariant : public ::testing::TestWithParam<Variant> {};

// Whole, every pixel is what was written, 16 bits rounded to 8; reduced for a
// pane, each pixel is the mean of the pixels it covers, its colour weighted
// by its alpha; where the reduction is not a whole number, boxes differ by
// one pixel and still lie within their quadrant.
TEST_P(PngVariant, DecodesWholeAndReduced) {
    const Variant& v = GetParam();
    const QByteArray bytes = written(v);
    ASSERT_EQ(readPngSize(QStringLiteral("t.png"), bytes), QSize(Width, Height));
    const QImage whole = decodePng(QStringLiteral("t.png"), bytes, QSize(Width, Height));
    ASSERT_EQ(whole.size(), QSize(Width, Height));
    EXPECT_EQ(whole.hasAlphaChannel(), hasAlpha(v));
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            ASSERT_EQ(whole.pixel(x, y), expected(v, quadrantOf(x, y))) << x << "," << y;
    for (const QSize size : {QSize(16, 12), QSize(21, 16)}) {
        const QImage reduced = decodePng(QStringLiteral("t.png"), bytes, size);
        ASSERT_EQ(reduced.size(), size);
        EXPECT_EQ(reduced.hasAlphaChannel(), hasAlpha(v));
        const QImage premultiplied = reduced.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        for (int q = 0; q < 4; ++q) {
            const QRgb want = qPremultiply(expected(v, q));
            const QRgb got = premultiplied.pixel(size.width() / 4 + q % 2 * size.width() / 2,
                                                 size.height() / 4 + q / 2 * size.height() / 2);
            EXPECT_NEAR(qRed(got), qRed(want), 1) << size.width() << " " << q;
            EXPECT_NEAR(qGreen(got), qGreen(want), 1) << size.width() << " " << q;
            EXPECT_NEAR(qBlue(got), qBlue(want), 1) << size.width() << " " << q;
            EXPECT_EQ(qAlpha(got), qAlpha(want)) << size.width() << " " << q;
        }
    }
    // Cut within its pixels, it is damaged, never shown as if whole.
    for (const QSize size : {QSize(Width, Height), QSize(16, 12)})
        EXPECT_TRUE(messageOf([&] {
                        decodePng(QStringLiteral("t.png"), bytes.left(bytes.size() * 2 / 3), size);
                    }).startsWith(QStringLiteral("\"t.png\" is a damaged PNG file: ")));
}

INSTANTIATE_TEST_SUITE_P(
    Types, PngVariant,
    ::testing::Values(Variant{"rgb8", PNG_COLOR_TYPE_RGB, 8, false},
                      Variant{"rgba8", PNG_COLOR_TYPE_RGBA, 8, false},
                      Variant{"rgb16", PNG_COLOR_TYPE_RGB, 16, false},
                      Variant{"rgba16_interlaced", PNG_COLOR_TYPE_RGBA, 16, true},
                      Variant{"rgb8_interlaced", PNG_COLOR_TYPE_RGB, 8, true},
                      Variant{"grey2", PNG_COLOR_TYPE_GRAY, 2, false},
                      Variant{"grey16", PNG_COLOR_TYPE_GRAY, 16, false},
                      Variant{"grey_alpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false},
                      Variant{"palette8_trns", PNG_COLOR_TYPE_PALETTE, 8, false},
                      Variant{"palette4_trns_interlaced", PNG_COLOR_TYPE_PALETTE, 4, true}),
    [](const ::testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

} // namespace
