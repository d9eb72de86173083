// SPDX-License-Identifier: GPL-3.0-or-later
// TIFF files written here by libtiff with their own orientation tag and an
// EXIF directory, opened through Picture as the panes and the grid see them,
// and in strips and tiles, read reduced for a pane.
#include "pictures/Picture.h"
#include "pictures/RowReducer.h"
#include "pictures/TiffDecoder.h"
#include "support/TempFiles.h"

#include <QFile>
#include <gtest/gtest.h>
#include <tiffio.h>
#include <utility>
#include <vector>

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
        // A pane's image is read reduced, to its size.
        for (const auto& [image, size] : {std::pair{picture.fullImage(), shown},
                                          std::pair{picture.imageFor(shown / 2), shown / 2}}) {
            ASSERT_EQ(image.size(), size) << c.orientation;
            const int right = size.width() - 4;
            const int bottom = size.height() - 4;
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

// Every pixel its own, so that a band read in the wrong order or lost shows:
// red across, green down, alpha from clear to opaque (straight, as stored).
void writeBanded(const QString& path, bool tiled, bool alpha) {
    constexpr uint32_t Width = 70;
    constexpr uint32_t Height = 50;
    const uint16_t channels = alpha ? 4 : 3;
    TIFF* out = TIFFOpen(QFile::encodeName(path).constData(), "w");
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, Width);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, Height);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, channels);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    if (alpha) {
        const uint16_t kind = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(out, TIFFTAG_EXTRASAMPLES, uint16_t(1), &kind);
    }
    const auto sample = [&](uint32_t x, uint32_t y, uint16_t c) {
        const uint32_t values[] = {x * 255 / Width, y * 255 / Height, (x * 7 + y * 13) % 256,
                                   (x + y) * 255 / (Width + Height)};
        return uint8_t(values[c]);
    };
    if (tiled) {
        // 16 by 16: five tiles across, four down, those at the edges cut.
        constexpr uint32_t Side = 16;
        TIFFSetField(out, TIFFTAG_TILEWIDTH, Side);
        TIFFSetField(out, TIFFTAG_TILELENGTH, Side);
        std::vector<uint8_t> tile(Side * Side * channels);
        for (uint32_t ty = 0; ty < Height; ty += Side)
            for (uint32_t tx = 0; tx < Width; tx += Side) {
                for (uint32_t i = 0; i < Side * Side * channels; ++i)
                    tile[i] = sample(tx + i / channels % Side, ty + i / channels / Side,
                                     uint16_t(i % channels));
                TIFFWriteTile(out, tile.data(), tx, ty, 0, 0);
            }
    } else {
        TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, uint32_t(8)); // seven strips, the last cut
        std::vector<uint8_t> row(Width * channels);
        for (uint32_t y = 0; y < Height; ++y) {
            for (uint32_t i = 0; i < Width * channels; ++i)
                row[i] = sample(i / channels, y, uint16_t(i % channels));
            TIFFWriteScanline(out, row.data(), y, 0);
        }
    }
    TIFFClose(out);
}

// Read a band at a time for a pane, a picture is what its whole decode
// averaged to the pane's size gives, alpha and all.
TEST(TiffReduced, StripsAndTilesGiveTheWholePictureAveraged) {
    const struct { bool tiled, alpha; } cases[] = {{false, true}, {true, true}, {false, false}};
    for (const auto& c : cases) {
        TempFolder dir;
        const QString path = dir.file(QStringLiteral("banded.tif"));
        writeBanded(path, c.tiled, c.alpha);
        const QByteArray bytes = sortello::test::readFile(path);
        const QImage whole = decodeTiff(path, bytes, QSize(70, 50));
        ASSERT_EQ(whole.size(), QSize(70, 50)) << c.tiled;
        for (const QSize size : {QSize(23, 17), QSize(70, 25), QSize(1, 1)}) {
            QImage expected(size, QImage::Format_ARGB32_Premultiplied);
            RowReducer reducer(whole.size(), expected,
                               c.alpha ? RowAlpha::Premultiplied : RowAlpha::None);
            for (int y = 0; y < whole.height(); ++y)
                reducer.addRow(reinterpret_cast<const QRgb*>(whole.constScanLine(y)));
            const QImage reduced = decodeTiff(path, bytes, size);
            EXPECT_EQ(reduced.format(), whole.format()) << c.tiled << c.alpha;
            EXPECT_EQ(reduced.hasAlphaChannel(), c.alpha);
            EXPECT_EQ(reduced.convertToFormat(QImage::Format_ARGB32_Premultiplied), expected)
                << c.tiled << c.alpha << size.width();
        }
    }
}

} // namespace
