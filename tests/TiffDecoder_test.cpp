// SPDX-License-Identifier: GPL-3.0-or-later
// TIFF files written here by libtiff with their own orientation tag and an
// EXIF directory, opened through Picture as the panes and the grid see them.
#include "pictures/Picture.h"
#include "support/TempFiles.h"

#include <QFile>
#include <gtest/gtest.h>
#include <tiffio.h>

using namespace sortello;
using sortello::test::TempFolder;

namespace {

// Stored: red top left, green top right, blue bottom left, white bottom right.
const QRgb Red = qRgb(220, 30, 30);
const QRgb Green = qRgb(30, 200, 40);
const QRgb Blue = qRgb(40, 60, 230);
const QRgb White = qRgb(240, 240, 240);

void writeTiff(const QString& path, int orientation, const char* taken, const char* offset) {
    constexpr int Width = 64;
    constexpr int Height = 48;
    TIFF* out = TIFFOpen(QFile::encodeName(path).constData(), "w");
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, uint32_t(Width));
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, uint32_t(Height));
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, uint32_t(Height));
    TIFFSetField(out, TIFFTAG_ORIENTATION, uint16_t(orientation));
    if (taken)
        TIFFSetField(out, TIFFTAG_EXIFIFD, uint64_t(0)); // its place, filled in below
    for (int y = 0; y < Height; ++y) {
        uint8_t row[Width * 3];
        for (int x = 0; x < Width; ++x) {
            const QRgb c =
                y < Height / 2 ? (x < Width / 2 ? Red : Green) : (x < Width / 2 ? Blue : White);
            row[x * 3] = uint8_t(qRed(c));
            row[x * 3 + 1] = uint8_t(qGreen(c));
            row[x * 3 + 2] = uint8_t(qBlue(c));
        }
        TIFFWriteScanline(out, row, uint32_t(y), 0);
    }
    if (taken) {
        // As libtiff's own tests write one: the page, then the EXIF directory,
        // then the page's pointer to it.
        TIFFWriteDirectory(out);
        TIFFCreateEXIFDirectory(out);
        TIFFSetField(out, EXIFTAG_DATETIMEORIGINAL, taken);
        if (offset)
            TIFFSetField(out, EXIFTAG_OFFSETTIMEORIGINAL, offset);
        uint64_t exifAt = 0;
        TIFFWriteCustomDirectory(out, &exifAt);
        TIFFSetDirectory(out, 0);
        TIFFSetField(out, TIFFTAG_EXIFIFD, exifAt);
    }
    TIFFClose(out);
}

// Each orientation as EXIF numbers them, shown upright: where the stored red
// and green corners are then, as the number says, and the shown size.
TEST(TiffOrientation, EachOfTheEightIsShownUprightAtItsShownSize) {
    const struct {
        int orientation;
        QRgb topLeft, topRight, bottomLeft;
    } cases[] = {
        {1, Red, Green, Blue},   {2, Green, Red, White}, {3, White, Blue, Green},
        {4, Blue, White, Red},   {5, Red, Blue, Green},  {6, Blue, Red, White},
        {7, White, Green, Blue}, {8, Green, White, Red},
    };
    for (const auto& c : cases) {
        TempFolder dir;
        const QString path = dir.file(QStringLiteral("scan.tif"));
        writeTiff(path, c.orientation, nullptr, nullptr);
        const Picture picture = Picture::open(path);
        const QSize shown = c.orientation >= 5 ? QSize(48, 64) : QSize(64, 48);
        EXPECT_EQ(picture.size(), shown) << c.orientation;
        EXPECT_FALSE(picture.taken().has_value());
        for (const QImage& image : {picture.fullImage(), picture.imageFor(shown / 2)}) {
            ASSERT_EQ(image.size(), shown) << c.orientation;
            const int right = shown.width() - 4;
            const int bottom = shown.height() - 4;
            EXPECT_EQ(image.pixel(4, 4), c.topLeft) << c.orientation;
            EXPECT_EQ(image.pixel(right, 4), c.topRight) << c.orientation;
            EXPECT_EQ(image.pixel(4, bottom), c.bottomLeft) << c.orientation;
        }
    }
}

TEST(TiffTaken, ComesFromItsExifDirectoryWithItsOffset) {
    const struct {
        const char* taken;
        const char* offset;
        const char* shown; // ISO, or empty for none
    } cases[] = {
        {"2024:01:02 03:04:05", "+02:00", "2024-01-02T03:04:05+02:00"},
        {"2023:12:31 23:59:58", nullptr, "2023-12-31T23:59:58"},
        {"    :  :     :  :  ", nullptr, ""},
    };
    for (const auto& c : cases) {
        TempFolder dir;
        const QString path = dir.file(QStringLiteral("dated.tiff"));
        writeTiff(path, 6, c.taken, c.offset);
        const Picture picture = Picture::open(path);
        EXPECT_EQ(picture.size(), QSize(48, 64)) << c.taken;
        EXPECT_EQ(picture.taken() ? picture.taken()->toString(Qt::ISODate) : QString(),
                  QString::fromLatin1(c.shown))
            << c.taken;
    }
}

} // namespace
