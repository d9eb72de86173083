// SPDX-License-Identifier: GPL-3.0-or-later
// Bitmaps, icons and animations laid out as the writers Qt's readers misread
// them, written byte by byte so that each case holds exactly the layout at fault.
#include "base/Error.h"
#include "pictures/RasterDecoder.h"
#include "support/TempFiles.h"

#include <QBuffer>
#include <algorithm>
#include <bit>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

using namespace sortello;
using sortello::test::TempFolder;
using sortello::test::writeFile;

namespace {

const QRgb Red = qRgb(255, 0, 0);
const QRgb Green = qRgb(0, 255, 0);
const QRgb Blue = qRgb(0, 0, 255);
const QRgb White = qRgb(255, 255, 255);
// Top-left, top-right, bottom-left, bottom-right of every 2 x 2 case.
const QRgb Quad[4] = {Red, Green, Blue, White};

void put(QByteArray& bytes, quint32 value, int size) {
    for (int i = 0; i < size; ++i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
}

struct BitmapLayout {
    int headerSize = 40;
    int bits = 24;
    quint32 compression = 0;
    std::vector<quint32> masks{}; // red, green, blue[, alpha]
    bool topDown = false;
    int paletteColours = 0; // Quad's colours in a palette of this many entries
};

// The four colours of Quad as one pixel value of the layout.
quint32 pixelValue(const BitmapLayout& layout, QRgb colour) {
    if (layout.paletteColours > 0)
        return quint32(std::find(Quad, Quad + 4, colour) - Quad);
    if (layout.masks.empty())
        return colour & 0xFFFFFF;
    quint32 value = 0;
    const int channels[4] = {qRed(colour), qGreen(colour), qBlue(colour), qAlpha(colour)};
    for (size_t c = 0; c < layout.masks.size(); ++c) {
        const quint32 mask = layout.masks[c];
        const int shift = std::countr_zero(mask);
        const quint32 top = mask >> shift;
        value |= (quint32(channels[c]) * top / 255) << shift;
    }
    return value;
}

// A 2 x 2 bitmap of Quad, field by field.
QByteArray bitmap(const BitmapLayout& layout) {
    QByteArray info;
    put(info, quint32(layout.headerSize), 4);
    put(info, 2, 4);
    put(info, layout.topDown ? quint32(-2) : 2u, 4);
    put(info, 1, 2);
    put(info, quint32(layout.bits), 2);
    if (layout.headerSize >= 40) {
        put(info, layout.compression, 4);
        put(info, 0, 4 * 5); // image size, resolution, colours
    }
    for (quint32 mask : layout.masks)
        put(info, mask, 4);
    info.append(QByteArray(qMax(0, layout.headerSize - int(info.size())), '\0'));
    for (int i = 0; i < layout.paletteColours; ++i)
        put(info, i < 4 ? Quad[i] & 0xFFFFFF : 0, 4);
    QByteArray rows;
    const int rowBytes = (2 * layout.bits + 31) / 32 * 4;
    for (int y = 0; y < 2; ++y) {
        const int top = layout.topDown ? y : 1 - y;
        QByteArray row;
        for (int x = 0; x < 2; ++x)
            put(row, pixelValue(layout, Quad[top * 2 + x]), layout.bits / 8);
        row.append(QByteArray(rowBytes - row.size(), '\0'));
        rows.append(row);
    }
    QByteArray file("BM");
    put(file, quint32(14 + info.size() + rows.size()), 4);
    put(file, 0, 4);
    put(file, quint32(14 + info.size()), 4);
    return file + info + rows;
}

struct BitmapCase {
    const char* name;
    BitmapLayout layout;
};

void PrintTo(const BitmapCase& bitmapCase, std::ostream* out) {
    *out << bitmapCase.name;
}

class BitmapLayouts : public testing::TestWithParam<BitmapCase> {};

TEST_P(BitmapLayouts, DecodeUprightInTheirColours) {
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("%1.bmp").arg(GetParam().name));
    writeFile(path, bitmap(GetParam().layout));
    RasterImage picture;
    try {
        picture = decodeRaster(path, PictureKind::Bitmap);
    } catch (const Error& e) {
        FAIL() << e.message().toStdString();
    }
    ASSERT_EQ(picture.image.size(), QSize(2, 2));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(picture.image.pixel(i % 2, i / 2), Quad[i]) << "pixel " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BitmapLayouts,
    testing::Values(
        BitmapCase{"bottom-up", {}}, BitmapCase{"top-down", {.topDown = true}},
        BitmapCase{"top-down-32", {.bits = 32, .topDown = true}},
        BitmapCase{"os2-short", {.headerSize = 16}},
        // Only the colours used, where the header implies 256.
        BitmapCase{"os2-short-palette", {.headerSize = 16, .bits = 8, .paletteColours = 4}},
        BitmapCase{"rgb-11-11-10",
                   {.bits = 32, .compression = 3, .masks = {0xFFE00000, 0x001FFC00, 0x000003FF}}},
        BitmapCase{"rgb-565", {.bits = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}}},
        BitmapCase{"v3-alpha",
                   {.headerSize = 56,
                    .bits = 32,
                    .compression = 3,
                    .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}}},
        BitmapCase{"v3-rgb", {.headerSize = 56}}),
    [](const auto& info) {
        QString name = QString::fromLatin1(info.param.name);
        return name.remove(QLatin1Char('-')).toStdString();
    });

// A 2 x 2 icon of Quad in 24 bits, its top-right pixel left out by its mask.
QByteArray iconWithMask() {
    QByteArray image = bitmap({}).mid(14);
    image[8] = 4; // the colours and the mask, one above the other
    image.replace(40 + 8 + 3, 3, QByteArray(3, '\0'));
    put(image, 0, 4);    // bottom row: both shown
    put(image, 0x40, 4); // top row: the right one left out
    QByteArray file("\0\0\1\0\1\0", 6);
    file.append("\2\2\0\0", 4);
    put(file, 1, 2);
    put(file, 24, 2);
    put(file, quint32(image.size()), 4);
    put(file, 6 + 16, 4);
    return file + image;
}

TEST(RasterDecoder, IconWithoutAlphaTakesItsMask) {
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("app.ico"));
    writeFile(path, iconWithMask());
    const QImage image = decodeRaster(path, PictureKind::Icon).image;
    ASSERT_EQ(image.size(), QSize(2, 2));
    EXPECT_EQ(image.pixel(0, 0), Red);
    EXPECT_EQ(qAlpha(image.pixel(1, 0)), 0);
    EXPECT_EQ(image.pixel(0, 1), Blue);
    EXPECT_EQ(image.pixel(1, 1), White);
}

// A 4 x 4 red frame that gives way to the background, then a 2 x 2 blue one
// in the middle with no transparent colour: the ring around it is see-through.
TEST(RasterDecoder, GifFrameDisposedToBackgroundLeavesItTransparent) {
    const RasterImage picture =
        decodeRaster(QStringLiteral(SORTELLO_FIXTURES "/dispose-background.gif"), PictureKind::Gif);
    ASSERT_EQ(picture.frames.size(), 2);
    const QImage& second = picture.frames[1].image;
    EXPECT_EQ(qAlpha(second.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(second.pixel(3, 2)), 0);
    EXPECT_EQ(second.pixel(1, 1), Blue);
    EXPECT_EQ(picture.frames[0].image.pixel(0, 0), Red);
}

// Frames with a transparent colour are cleared by Qt itself; what the next one
// paints in the same colour as the one before stays painted.
TEST(RasterDecoder, GifFrameRepaintedInTheSameColourStaysOpaque) {
    const RasterImage picture = decodeRaster(
        QStringLiteral(SORTELLO_FIXTURES "/dispose-transparent.gif"), PictureKind::Gif);
    ASSERT_EQ(picture.frames.size(), 2);
    const QImage& second = picture.frames[1].image;
    EXPECT_EQ(second.pixel(1, 1), Red);
    EXPECT_EQ(second.pixel(0, 0), Red);
    EXPECT_EQ(qAlpha(second.pixel(3, 3)), 0);
}

} // namespace
