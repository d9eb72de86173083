// SPDX-License-Identifier: GPL-3.0-or-later
// EXIF as photos carry it: all eight orientations shown upright at every
// scale, the capture time with and without its offset, and damaged blocks
// that must leave the picture shown as stored.
#include "pictures/Exif.h"
#include "pictures/Picture.h"
#include "support/ExifFixtures.h"
#include "support/TempFiles.h"

#include <gtest/gtest.h>

using namespace sortello;
using namespace sortello::test;

namespace {

// A 2 x 3 picture of six colours, each a 16-pixel square so that JPEG's
// blocks keep each colour to itself, at every DCT scale.
constexpr int Cell = 16;
const char Cells[] = "ABCDEF"; // rows AB, CD, EF
const QRgb Colours[] = {qRgb(230, 20, 20),  qRgb(20, 200, 20),  qRgb(20, 20, 230),
                        qRgb(240, 240, 20), qRgb(230, 20, 230), qRgb(20, 230, 230)};

QImage sixCells() {
    QImage image(2 * Cell, 3 * Cell, QImage::Format_RGB32);
    for (int i = 0; i < 6; ++i)
        for (int y = 0; y < Cell; ++y)
            for (int x = 0; x < Cell; ++x)
                image.setPixel((i % 2) * Cell + x, (i / 2) * Cell + y, Colours[i]);
    return image;
}

char nearestCell(QRgb pixel) {
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < 6; ++i) {
        const long dr = qRed(pixel) - qRed(Colours[i]), dg = qGreen(pixel) - qGreen(Colours[i]),
                   db = qBlue(pixel) - qBlue(Colours[i]);
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return Cells[best];
}

// The cells as an image shows them, rows joined by "/", read at cell centres.
QString layoutOf(const QImage& image, int columns, int rows) {
    QString layout;
    for (int r = 0; r < rows; ++r) {
        if (r > 0)
            layout += QLatin1Char('/');
        for (int c = 0; c < columns; ++c)
            layout +=
                QLatin1Char(nearestCell(image.pixel((2 * c + 1) * image.width() / columns / 2,
                                                    (2 * r + 1) * image.height() / rows / 2)));
    }
    return layout;
}

struct OrientationCase {
    int orientation;
    const char* layout;
};

void PrintTo(const OrientationCase& c, std::ostream* os) {
    *os << "orientation " << c.orientation;
}

class Orientation : public ::testing::TestWithParam<OrientationCase> {};

TEST_P(Orientation, ShowsThePictureUprightAtEveryScale) {
    const auto [orientation, layout] = GetParam();
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("photo.jpg"));
    writeFile(path, withExif(jpegOf(sixCells(), 100), exifBlock(orientation)));
    const Picture picture = Picture::open(path);
    const bool swapped = orientation >= 5;
    const QSize shown = swapped ? QSize(3 * Cell, 2 * Cell) : QSize(2 * Cell, 3 * Cell);
    EXPECT_EQ(picture.size(), shown);
    EXPECT_EQ(picture.orientation(), orientation);
    const int columns = swapped ? 3 : 2, rows = swapped ? 2 : 3;
    const QImage full = picture.fullImage();
    EXPECT_EQ(full.size(), shown);
    EXPECT_EQ(layoutOf(full, columns, rows), QLatin1String(layout));
    // A pane's target, in the picture's shown terms, decodes at 1/8 and no more.
    const QImage pane = picture.imageFor(shown / 8);
    EXPECT_EQ(pane.size(), shown / 8);
    EXPECT_EQ(layoutOf(pane, columns, rows), QLatin1String(layout));
}

INSTANTIATE_TEST_SUITE_P(
    AllEight, Orientation,
    ::testing::Values(OrientationCase{1, "AB/CD/EF"}, OrientationCase{2, "BA/DC/FE"},
                      OrientationCase{3, "FE/DC/BA"}, OrientationCase{4, "EF/CD/AB"},
                      OrientationCase{5, "ACE/BDF"}, OrientationCase{6, "ECA/FDB"},
                      OrientationCase{7, "FDB/ECA"}, OrientationCase{8, "BDF/ACE"}));

// The offset of the first directory's first entry's value (after "II*\0",
// the directory's offset and its entry count).
constexpr int FirstValueAt = 8 + 2 + 8;

QByteArray withFirstValue(QByteArray block, quint32 value) {
    for (int i = 0; i < 4; ++i)
        block[FirstValueAt + i] = char(value >> (8 * i));
    return block;
}

struct ReadCase {
    const char* title;
    QByteArray block;
    int orientation;
    const char* taken; // ISO 8601 with the offset, or "" for none
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.title;
}

class Reading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(Reading, GivesWhatTheBlockSaysAndNothingElse) {
    const ExifFacts facts = readExif(GetParam().block);
    EXPECT_EQ(facts.orientation, GetParam().orientation);
    const QString expected = QString::fromLatin1(GetParam().taken);
    EXPECT_EQ(facts.taken ? facts.taken->toString(Qt::ISODate) : QString(), expected);
}

const QByteArray Dated = exifBlock(6, "2024:05:03 14:22:10", "+02:00");

INSTANTIATE_TEST_SUITE_P(
    Blocks, Reading,
    ::testing::Values(
        ReadCase{"turned, dated, offset", Dated, 6, "2024-05-03T14:22:10+02:00"},
        ReadCase{"big-endian", exifBlock(8, "2024:05:03 14:22:10", "-05:30", true), 8,
                 "2024-05-03T14:22:10-05:30"},
        ReadCase{"no offset keeps the clock", exifBlock(0, "2019:12:31 23:59:59"), 1,
                 "2019-12-31T23:59:59"},
        ReadCase{"after a JPEG's header", QByteArray("Exif\0\0", 6) + Dated, 6,
                 "2024-05-03T14:22:10+02:00"},
        ReadCase{"clock never set", exifBlock(3, "    :  :     :  :  "), 3, ""},
        ReadCase{"zero date", exifBlock(0, "0000:00:00 00:00:00"), 1, ""},
        ReadCase{"orientation out of range", exifBlock(9), 1, ""},
        ReadCase{"empty", QByteArray(), 1, ""}, ReadCase{"not TIFF", QByteArray(200, 'x'), 1, ""},
        ReadCase{"truncated in the dates", Dated.left(Dated.size() - 20), 6, ""},
        ReadCase{"EXIF directory pointing out",
                 withFirstValue(exifBlock(0, "2024:05:03 14:22:10"), 0xFFFFFF00u), 1, ""},
        ReadCase{"larger than a segment", Dated + QByteArray(MaxExifBytes, '\0'), 1, ""}));

QByteArray number32(quint32 n, bool bigEndian) {
    QByteArray out;
    for (int i = 0; i < 4; ++i)
        out.append(char(n >> (bigEndian ? 24 - 8 * i : 8 * i)));
    return out;
}

// A PNG chunk (length first, big-endian; its CRC is not read) or a RIFF one.
QByteArray chunk(const char* type, const QByteArray& data, bool png) {
    const QByteArray length = number32(quint32(data.size()), png);
    if (png)
        return length + type + data + QByteArray(4, '\0');
    return type + length + data + QByteArray(data.size() % 2, '\0');
}

TEST(Locators, FindTheBlockInEachFormatAndRefuseLengthsPastTheEnd) {
    const QByteArray block = exifBlock(6);
    const QByteArray png = "\x89PNG\r\n\x1A\n" + chunk("IHDR", QByteArray(13, '\1'), true) +
                           chunk("IDAT", "data", true) + chunk("eXIf", block, true);
    EXPECT_EQ(pngExifBlock(png), block);
    EXPECT_TRUE(pngExifBlock(png.left(png.size() - 10)).isEmpty());
    const QByteArray body = "WEBP" + chunk("VP8 ", "abc", false) + chunk("EXIF", block, false);
    const QByteArray webp = "RIFF" + number32(quint32(body.size()), false) + body;
    EXPECT_EQ(webpExifBlock(webp), block);
    EXPECT_TRUE(webpExifBlock(webp.left(webp.size() - 10)).isEmpty());
    const QByteArray jpeg = withExif(jpegOf(sixCells()), block);
    EXPECT_EQ(jpegExifBlock(jpeg), QByteArray("Exif\0\0", 6) + block);
    EXPECT_TRUE(jpegExifBlock(jpeg.left(20)).isEmpty());
}

TEST(CameraExif, GivesTheOrientationAndTimeTheCameraWrote) {
    // A real camera's EXIF, maker note and thumbnail included.
    const QByteArray file =
        readFile(QStringLiteral(SORTELLO_FIXTURES "/camera-exif-right-top.jpg"));
    const ExifFacts facts = readExif(jpegExifBlock(file));
    EXPECT_EQ(facts.orientation, 6);
    ASSERT_TRUE(facts.taken);
    EXPECT_EQ(facts.taken->toString(Qt::ISODate), QStringLiteral("2009-10-10T16:42:32"));
}

// A real phone's HEIC (an iPhone's portrait photo): stored landscape in 512-pixel
// tiles with its own rotation, and an EXIF orientation of 6 that says the same
// thing again. Turned twice it would lie on its side.
TEST(PhoneHeic, StandsUprightOnceAndGivesItsCaptureTime) {
    const Picture picture = Picture::open(QStringLiteral(SORTELLO_FIXTURES "/phone-portrait.heic"));
    EXPECT_EQ(picture.size(), QSize(3024, 4032));
    // Its thumbnail for a small pane, the picture itself for a larger one, both
    // upright: the mean colour of each corner as libheif's own heif-convert
    // gives it (top left the dark jar, top right the red cloth, bottom left
    // the paper, bottom right the board), which no turn or mirror keeps.
    const struct {
        QRect area;
        QRgb colour;
    } corners[] = {{QRect(10, 10, 50, 50), qRgb(112, 81, 72)},
                   {QRect(240, 10, 50, 50), qRgb(198, 73, 56)},
                   {QRect(10, 340, 50, 50), qRgb(108, 101, 99)},
                   {QRect(240, 340, 50, 50), qRgb(159, 106, 63)}};
    for (const QSize request : {QSize(240, 320), QSize(600, 800)}) {
        const QImage image = picture.imageFor(request);
        EXPECT_EQ(image.width() * 4, image.height() * 3) << image.width() << "x" << image.height();
        const QImage pane = image.scaled(300, 400);
        for (const auto& corner : corners) {
            int sum[3] = {};
            for (int y = corner.area.top(); y <= corner.area.bottom(); ++y)
                for (int x = corner.area.left(); x <= corner.area.right(); ++x) {
                    const QRgb pixel = pane.pixel(x, y);
                    sum[0] += qRed(pixel), sum[1] += qGreen(pixel), sum[2] += qBlue(pixel);
                }
            const int n = corner.area.width() * corner.area.height();
            EXPECT_NEAR(sum[0] / n, qRed(corner.colour), 12) << image.width();
            EXPECT_NEAR(sum[1] / n, qGreen(corner.colour), 12) << image.width();
            EXPECT_NEAR(sum[2] / n, qBlue(corner.colour), 12) << image.width();
        }
    }
    ASSERT_TRUE(picture.taken().has_value());
    EXPECT_EQ(picture.taken()->toString(Qt::ISODate), QStringLiteral("2021-02-13T11:03:31-06:00"));
}

TEST(DamagedExif, LeavesThePictureShownAsStored) {
    TempFolder folder;
    const QByteArray jpeg = jpegOf(sixCells(), 100);
    // No orientation in any of them: what is damaged must not turn it either.
    const QByteArray block = exifBlock(0, "2024:05:03 14:22:10");
    for (const QByteArray& damaged : {block.left(block.size() / 2),
                                      withFirstValue(block, 0x7FFFFFF0u), QByteArray(40, '\xFF')}) {
        const QString path = folder.file(QStringLiteral("damaged.jpg"));
        writeFile(path, withExif(jpeg, damaged));
        const Picture picture = Picture::open(path);
        EXPECT_EQ(picture.size(), QSize(2 * Cell, 3 * Cell));
        EXPECT_FALSE(picture.taken());
        EXPECT_EQ(layoutOf(picture.fullImage(), 2, 3), QStringLiteral("AB/CD/EF"));
    }
}

} // namespace
