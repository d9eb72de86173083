// SPDX-License-Identifier: GPL-3.0-or-later
// The EMF player in this process: EMFs written with libuemf or record by
// record, played into a picture and drawn the way Sortello draws it.
#include "support/MetafileFixtures.h"
#include "support/TempFiles.h"

#include <QPainter>
#include <QPicture>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "EmfPlayer.h"

using namespace sortello::metafile;
using namespace sortello::test;

namespace {

QByteArray emfFile(const MetafileSample& sample) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sample.emf"));
    if (!writeEmf(path, sample))
        return {};
    return readFile(path);
}

PlayedEmf convert(const QByteArray& file) {
    return playEmf(std::string_view(file.constData(), std::size_t(file.size())));
}

// On white, at `scale` times the picture's own size.
QImage drawn(const PlayedEmf& drawing, int scale = 1) {
    QPicture picture;
    picture.setData(drawing.picture.constData(), uint(drawing.picture.size()));
    QImage image(drawing.size.width * scale, drawing.size.height * scale,
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    painter.drawPicture(0, 0, picture);
    return image;
}

bool near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) <
           30;
}

struct FillCase {
    const char* name;
    MetafileShape shape;
    EmfBrush brush;
    bool coloured; // the shape in the sample's colour, else left white
};

class EmfFill : public ::testing::TestWithParam<FillCase> {};

TEST_P(EmfFill, PaintsWhatTheBrushPaints) {
    const FillCase& c = GetParam();
    MetafileSample sample;
    sample.kind = c.shape;
    sample.brush = c.brush;
    const QByteArray file = emfFile(sample);
    ASSERT_FALSE(file.isEmpty());
    const QImage image = drawn(convert(file));
    const QColor expected = c.coloured ? sample.color : QColor(Qt::white);
    // Both halves of a region, away from where they meet.
    for (const QPoint at :
         {sample.shape.center() - QPoint(0, 20), sample.shape.center() + QPoint(0, 20)})
        EXPECT_TRUE(near(image.pixelColor(at), expected))
            << image.pixelColor(at).name().toStdString();
    EXPECT_TRUE(near(image.pixelColor(sample.shape.topLeft() - QPoint(10, 10)), Qt::white));
}

INSTANTIATE_TEST_SUITE_P(
    , EmfFill,
    ::testing::Values(
        FillCase{"Solid", MetafileShape::Rectangle, EmfBrush::Solid, true},
        FillCase{"Hollow", MetafileShape::Ellipse, EmfBrush::Hollow, false},
        // A device context starts with the white brush.
        FillCase{"NoBrushSelected", MetafileShape::Rectangle, EmfBrush::Unselected, false},
        FillCase{"Region", MetafileShape::Region, EmfBrush::Solid, true},
        FillCase{"RegionBeforeAnyBrush", MetafileShape::Region, EmfBrush::Unselected, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Office programs write charts in EMF+ records alone.
TEST(EmfDrawing, OfEmfPlusRecordsAloneIsDrawn) {
    MetafileSample sample;
    sample.kind = MetafileShape::EmfPlusRectangle;
    const QByteArray file = emfFile(sample);
    ASSERT_FALSE(file.isEmpty());
    const QImage image = drawn(convert(file));
    EXPECT_TRUE(near(image.pixelColor(sample.shape.center()), sample.color))
        << image.pixelColor(sample.shape.center()).name().toStdString();
    EXPECT_TRUE(near(image.pixelColor(sample.shape.topLeft() - QPoint(10, 10)), Qt::white));
}

// How many pixels across a dark line is on row y, from x = from on.
int darkRun(const QImage& image, int from, int y) {
    int x = from;
    while (x < image.width() && qGray(image.pixel(x, y)) >= 128)
        ++x;
    int run = 0;
    while (x + run < image.width() && qGray(image.pixel(x + run, y)) < 128)
        ++run;
    return run;
}

struct PenCase {
    int unitsPerPixel;
    int penWidth;
    int pixels;    // how wide the outline comes out at the picture's own size
    int fourTimes; // and at four times that size
};

class EmfPen : public ::testing::TestWithParam<PenCase> {};

// A pen's width is in logical units; one narrower than a hundredth of a
// millimetre is a hairline, one pixel wide at any size.
TEST_P(EmfPen, IsAsWideAsItsMappedWidth) {
    const PenCase& c = GetParam();
    MetafileSample sample;
    sample.unitsPerPixel = c.unitsPerPixel;
    sample.penWidth = c.penWidth;
    sample.color = Qt::white;
    const QByteArray file = emfFile(sample);
    ASSERT_FALSE(file.isEmpty());
    const PlayedEmf drawing = convert(file);
    const int y = sample.shape.center().y();
    EXPECT_NEAR(darkRun(drawn(drawing), sample.shape.left() - 10, y), c.pixels, 1);
    EXPECT_NEAR(darkRun(drawn(drawing, 4), (sample.shape.left() - 10) * 4, y * 4), c.fourTimes, 1);
}

INSTANTIATE_TEST_SUITE_P(, EmfPen,
                         ::testing::Values(PenCase{1, 6, 6, 24}, PenCase{15, 90, 6, 24},
                                           PenCase{15, 15, 1, 4}, PenCase{100, 1, 1, 1}));

bool inkIn(const QImage& image, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                return true;
    return false;
}

// Each character advances 7 pixels: "MMMM" is 28 pixels wide from x = 2.
TEST(EmfText, AtTheCurrentPositionStartsThereAndMovesItOn) {
    MetafileSample sample;
    sample.text = QStringLiteral("MMMM");
    sample.textAtCurrentPosition = true;
    const QByteArray file = emfFile(sample);
    ASSERT_FALSE(file.isEmpty());
    const QImage image = drawn(convert(file));
    EXPECT_TRUE(inkIn(image, QRect(2, 12, 26, 14))) << "the first run";
    EXPECT_TRUE(inkIn(image, QRect(36, 12, 20, 14))) << "the second run, after the first";
    EXPECT_FALSE(inkIn(image, QRect(60, 0, 40, 30))) << "nothing further on";
}

// The font that stands in for the file's has advances of its own; the
// file's place each character.
TEST(EmfText, EachCharacterStartsWhereItsAdvancesPutIt) {
    MetafileSample sample;
    sample.text = QStringLiteral("MMMM");
    sample.advance = 20;
    const QByteArray file = emfFile(sample);
    ASSERT_FALSE(file.isEmpty());
    const QImage image = drawn(convert(file));
    for (const int x : {2, 22, 42, 62})
        EXPECT_TRUE(inkIn(image, QRect(x, 12, 10, 14))) << x;
    EXPECT_FALSE(inkIn(image, QRect(76, 0, 40, 30)));
}

// Letters packed closer than their width overlap; the overlap is ink on
// both, so all the first letter covers alone stays covered with the second.
TEST(EmfText, OverlappingLettersAreBothInk) {
    auto letters = [](const QString& text) {
        MetafileSample sample;
        sample.text = text;
        sample.advance = 1;
        return drawn(convert(emfFile(sample)), 4);
    };
    const QImage one = letters(QStringLiteral("M"));
    const QImage two = letters(QStringLiteral("MM"));
    ASSERT_EQ(one.size(), two.size());
    int uncovered = 0;
    for (int y = 0; y < one.height(); ++y)
        for (int x = 0; x < one.width(); ++x)
            uncovered += qGray(one.pixel(x, y)) < 64 && qGray(two.pixel(x, y)) > 192;
    EXPECT_EQ(uncovered, 0);
}

// A picture 100 pixels square, one logical unit a pixel, of these records.
// The reference device is 960 x 960 pixels on 254 x 254 mm unless given.
QByteArray emfOf(std::uint32_t records, const std::string& body,
                 std::uint32_t devicePixelsHigh = 960) {
    std::string emf;
    for (const std::uint32_t value : {1u,
                                      88u,
                                      0u,
                                      0u,
                                      99u,
                                      99u,
                                      0u,
                                      0u,
                                      2646u,
                                      2646u,
                                      0x464D4520u,
                                      0x10000u,
                                      88u + std::uint32_t(body.size()) + 20,
                                      records + 2,
                                      1u,
                                      0u,
                                      0u,
                                      0u,
                                      960u,
                                      devicePixelsHigh,
                                      254u,
                                      254u})
        appendU32(emf, value);
    emf += body;
    for (const std::uint32_t value : {14u, 20u, 0u, 16u, 20u})
        appendU32(emf, value);
    return QByteArray::fromStdString(emf);
}

std::string recordOf(std::initializer_list<std::uint32_t> values) {
    std::string record;
    for (const std::uint32_t value : values)
        appendU32(record, value);
    return record;
}

// Records drawn as the device draws them.
TEST(EmfDrawing, IsWhatTheDeviceDraws) {
    const std::string blackBrush = recordOf({37, 12, 0x80000004});
    const std::string whiteBrush = recordOf({37, 12, 0x80000000});
    const std::string noPen = recordOf({37, 12, 0x80000008});
    auto rectangle = [](std::uint32_t l, std::uint32_t t, std::uint32_t r, std::uint32_t b) {
        return recordOf({43, 24, l, t, r, b});
    };
    // STRETCHDIBITS of a 1 x 1 bitmap in the colour (0xRRGGBB) onto a box.
    auto bitmap = [](std::uint32_t rgb, std::uint32_t rop, std::uint32_t at, std::uint32_t size) {
        return recordOf({81, 124, 0,    0,    0,  0, at, at,       0, 0, 1, 1, 80, 40, 120, 4,
                         0,  rop, size, size, 40, 1, 1,  0x180001, 0, 0, 0, 0, 0,  0,  rgb});
    };
    // A region of one rectangle: its size, then RGNDATAHEADER and the rectangle.
    auto region = [](std::uint32_t type, std::uint32_t l, std::uint32_t r) {
        return type == 75 ? recordOf({75, 64, 48, 5, 32, 1, 1, 16, l, 0, r, 100, l, 0, r, 100})
                          : recordOf({71, 80, l, 0, r, 100, 48, 0x80000004, 32, 1,
                                      1,  16, l, 0, r, 100, l,  0,          r,  100});
    };
    struct Case {
        const char* name;
        std::uint32_t records;
        std::string body;
        std::vector<std::pair<QPoint, QColor>> expected;
    };
    // A gradient's vertices: x, y, then red, green, blue and alpha, 16 bits each.
    const std::string gradient =
        recordOf({118, 76, 0, 0, 100, 100, 2, 1, 0, 0, 0, 0xFF00, 0, 100, 100, 0, 0xFF00, 0, 1});
    const std::string triangle =
        recordOf({118, 96,  0, 0,           100, 100, 3,   1, 2,      0, 0, 0xFF00,
                  0,   100, 0, 0xFF000000u, 0,   0,   100, 0, 0xFF00, 0, 1, 2});
    const std::string patInvert =
        recordOf({76,         100, 0, 0,          100, 100, 0, 0, 100, 100, 0x5A0049, 0, 0,
                  0x3F800000, 0,   0, 0x3F800000, 0,   0,   0, 0, 0,   0,   0,        0});
    std::string redScans;
    for (int i = 0; i < 200; ++i)
        redScans += {'\0', '\0', '\xFF'};
    const Case cases[] = {
        {"a rectangle after restoring twice",
         9,
         blackBrush + recordOf({33,          8,  37, 12,          0x80000000, 33, 8,  17, 12, 8,
                                9,           16, 1,  1,           11,         16, 2,  2,  34, 12,
                                0xFFFFFFFFu, 34, 12, 0xFFFFFFFFu, 43,         24, 10, 10, 40, 40}),
         {{{25, 25}, Qt::black}, {{70, 70}, Qt::white}}},
        // A hairline runs along its coordinate, over the edge of two pixels.
        {"an arc all the way round",
         1,
         recordOf({45, 40, 20, 20, 80, 80, 80, 50, 80, 50}),
         {{{19, 50}, QColor(150, 150, 150)},
          {{20, 50}, QColor(105, 105, 105)},
          {{50, 50}, Qt::white}}},
        {"an ellipse filled as a path",
         5,
         blackBrush + recordOf({59, 8, 42, 24, 20, 20, 80, 80, 60, 8, 62, 24, 0, 0, 100, 100}),
         {{{50, 50}, Qt::black}, {{22, 22}, Qt::white}}},
        {"an opaque text's box",
         2,
         recordOf(
             {25, 12, 0x0000FF, 84, 76, 0, 0, 0, 0, 1, 0, 0, 10, 10, 0, 0, 2, 10, 10, 60, 40, 0}),
         {{{30, 25}, Qt::red}, {{80, 80}, Qt::white}}},
        {"a chord all the way round",
         2,
         blackBrush + recordOf({46, 40, 20, 20, 80, 80, 80, 50, 80, 50}),
         {{{50, 50}, Qt::black}, {{10, 10}, Qt::white}}},
        {"a gradient across",
         1,
         gradient,
         {{{2, 50}, Qt::red}, {{50, 50}, QColor(127, 0, 127)}, {{97, 50}, Qt::blue}}},
        {"a gradient in a triangle",
         1,
         triangle,
         {{{3, 3}, QColor(234, 11, 11)}, {{94, 3}, QColor(11, 234, 11)}, {{80, 80}, Qt::white}}},
        {"a rectangle clipped to a rectangle",
         3,
         blackBrush + recordOf({30, 24, 0, 0, 50, 100}) + rectangle(10, 10, 90, 90),
         {{{25, 50}, Qt::black}, {{75, 50}, Qt::white}}},
        {"a rectangle with a rectangle left out",
         3,
         blackBrush + recordOf({29, 24, 0, 0, 50, 100}) + rectangle(10, 10, 90, 90),
         {{{25, 50}, Qt::white}, {{75, 50}, Qt::black}}},
        {"a rectangle clipped to a region",
         3,
         blackBrush + region(75, 60, 100) + rectangle(10, 10, 90, 90),
         {{{25, 50}, Qt::white}, {{75, 50}, Qt::black}}},
        {"a clip undone by restoring",
         5,
         blackBrush + recordOf({33, 8, 30, 24, 0, 0, 50, 100, 34, 12, 0xFFFFFFFFu}) +
             rectangle(10, 10, 90, 90),
         {{{25, 50}, Qt::black}, {{75, 50}, Qt::black}}},
        {"a region filled with its own brush",
         1,
         region(71, 20, 40),
         {{{30, 50}, Qt::black}, {{60, 50}, Qt::white}}},
        {"a white rectangle xored over black and white",
         6,
         blackBrush + rectangle(10, 10, 70, 90) + recordOf({20, 12, 7}) + whiteBrush + noPen +
             rectangle(30, 30, 96, 96),
         {{{50, 50}, Qt::white}, {{85, 50}, Qt::black}, {{20, 20}, Qt::black}}},
        {"a rectangle in a window ten times the viewport",
         5,
         blackBrush + recordOf({17, 12, 8, 9, 16, 1000, 1000, 11, 16, 100, 100}) +
             rectangle(500, 500, 900, 900),
         {{{70, 70}, Qt::black}, {{30, 30}, Qt::white}}},
        {"a bitmap stretched over a box",
         1,
         bitmap(0xFF0000, 0xCC0020, 20, 40),
         {{{40, 40}, Qt::red}, {{70, 70}, Qt::white}}},
        {"a white bitmap ANDed over blue",
         3,
         recordOf({39, 24, 1, 0, 0xFF0000, 0, 37, 12, 1}) + rectangle(0, 0, 100, 100) +
             bitmap(0xFFFFFF, 0x8800C6, 20, 40),
         {{{40, 40}, Qt::blue}}},
        {"a cross-hatched brush on its background colour",
         4,
         recordOf({39, 24, 1, 2, 0, 4, 37, 12, 1, 25, 12, 0x0000FF}) + rectangle(10, 10, 90, 90),
         {{{50, 50}, Qt::red}, {{52, 52}, Qt::black}}},
        {"a rectangle moved by the world transform",
         3,
         blackBrush + recordOf({35, 32, 0x3F800000, 0, 0, 0x3F800000, 0x42480000, 0}) + // dx = 50
             rectangle(0, 10, 40, 90),
         {{{70, 50}, Qt::black}, {{20, 50}, Qt::white}}},
        // SMALLTEXTOUT, ETO_OPAQUE and ETO_SMALL_CHARS: one character in a red box.
        {"a small text's opaque box",
         2,
         recordOf({25, 12, 0x0000FF, 108, 56, 10, 10, 1, 0x202, 1, 0, 0, 10, 10, 60, 40, 'M'}),
         {{{50, 35}, Qt::red}, {{80, 80}, Qt::white}}},
        // SETDIBITSTODEVICE of the top ten of a red bitmap's 20 scan lines.
        {"a bitmap's scan lines from the tenth on",
         1,
         recordOf({80,  716, 0,  0,  0,  0,  20, 20,       0, 0, 20, 20, 76, 40, 116,
                   600, 0,   10, 10, 40, 20, 20, 0x180001, 0, 0, 0,  0,  0,  0}) +
             redScans,
         {{{30, 25}, Qt::red}, {{30, 35}, Qt::white}}},
        // GDI would OR black onto white and leave it white; the reference
        // draws every mix but XOR and inverting in the brush's colour.
        {"a rectangle merged onto the page",
         3,
         blackBrush + recordOf({20, 12, 15}) + rectangle(10, 10, 90, 90),
         {{{50, 50}, Qt::black}}},
        // A line 10 wide sheared 45 degrees by x' = x + y keeps its width of
        // 10 across, 14 along a row, not the 10 along a row a sheared pen has.
        {"a wide pen under a shearing transform",
         5,
         recordOf({38, 28, 1, 0, 10, 0, 0, 37, 12, 1}) +
             recordOf({35, 32, 0x3F800000, 0, 0x3F800000, 0x3F800000, 0, 0}) +
             recordOf({27, 16, 20, 20, 54, 16, 20, 60}),
         {{{54, 40}, Qt::black}, {{65, 40}, Qt::black}, {{50, 40}, Qt::white}}},
        // An OR mask then a bitmap ANDed onto the same box: the bitmap shows
        // where the mask is white, and nothing does where it is black.
        {"a bitmap masked by the bitmap ORed before it",
         4,
         bitmap(0xFFFFFF, 0xEE0086, 10, 20) + bitmap(0x0000FF, 0x8800C6, 10, 20) +
             bitmap(0x000000, 0xEE0086, 50, 20) + bitmap(0x0000FF, 0x8800C6, 50, 20),
         {{{20, 20}, Qt::blue}, {{60, 60}, Qt::white}}},
        // A dashed pen 4 wide with flat ends, from x = 10: its dashes are
        // 15 long and its gaps 5, each a unit longer per width than 12 and 4.
        {"a wide pen's dashes and gaps",
         4,
         recordOf({95, 52, 1, 52, 0, 52, 0, 0x12201, 4, 0, 0, 0, 0, 37, 12, 1}) +
             recordOf({27, 16, 10, 50, 54, 16, 95, 50}),
         {{{23, 50}, Qt::black}, {{27, 50}, Qt::white}, {{31, 50}, Qt::black}}},
        // An arc along a box with no size has no start to draw a line to;
        // the drawing goes on after it.
        {"an arc to a box with no size",
         4,
         blackBrush + noPen + recordOf({55, 40, 0, 0, 0, 0, 0, 0, 10, 10}) +
             rectangle(20, 20, 80, 80),
         {{{50, 50}, Qt::black}}},
        // A world transform works in the advanced graphics mode alone, where
        // a box takes in its right and bottom edges: 1..5 scaled ten times
        // ends at 50, not at 40.
        {"a rectangle's right edge under a world transform",
         4,
         blackBrush + noPen + recordOf({35, 32, 0x41200000, 0, 0, 0x41200000, 0, 0}) +
             rectangle(1, 1, 5, 9),
         {{{45, 50}, Qt::black}, {{55, 50}, Qt::white}}},
        // A dotted hairline from x = 10 along y = 50: dots and gaps of three
        // pixels, as GDI counts them for a one-pixel pen.
        {"a dotted hairline's dots",
         4,
         recordOf({38, 28, 1, 2, 0, 0, 0, 37, 12, 1}) + recordOf({27, 16, 10, 50, 54, 16, 90, 50}),
         {{{11, 49}, QColor(124, 124, 124)},
          {{14, 49}, Qt::white},
          {{17, 49}, QColor(124, 124, 124)}}},
        // Two white squares XORed over black, meeting mid-pixel (a world
        // transform moves them half a pixel): white at the seam too, as no
        // smoothed edge is mixed twice.
        {"two shapes xored side by side",
         8,
         blackBrush + rectangle(0, 0, 100, 100) + recordOf({20, 12, 7}) + whiteBrush + noPen +
             recordOf({35, 32, 0x3F800000, 0, 0, 0x3F800000, 0x3F000000, 0}) +
             recordOf({3, 60, 10, 10, 50, 90, 4, 10, 10, 50, 10, 50, 90, 10, 90}) +
             recordOf({3, 60, 50, 10, 90, 90, 4, 50, 10, 90, 10, 90, 90, 50, 90}),
         {{{50, 50}, Qt::white}, {{30, 50}, Qt::white}, {{5, 50}, Qt::black}}},
        // A white bitmap XORed onto the page twice, its edges mid-pixel:
        // the page is as it was, at the edges too.
        {"a bitmap xored in and out again",
         3,
         recordOf({35, 32, 0x3F800000, 0, 0, 0x3F800000, 0x3F000000, 0x3F000000}) +
             bitmap(0xFFFFFF, 0x660046, 20, 40) + bitmap(0xFFFFFF, 0x660046, 20, 40),
         {{{20, 40}, Qt::white}, {{40, 40}, Qt::white}}},
        // A wide pen painting its width with a one-pixel red bitmap, not in
        // its colour (black).
        {"a line drawn with a bitmap pen",
         4,
         recordOf({95, 96, 1, 52, 40,       92, 4, 0x10000, 20, 5, 0, 0,
                   0,  40, 1, 1,  0x180001, 0,  4, 0,       0,  0, 0, 0xFF0000}) +
             recordOf({37, 12, 1}) + recordOf({27, 16, 10, 50}) + recordOf({54, 16, 90, 50}),
         {{{50, 50}, Qt::red}, {{50, 20}, Qt::white}}},
        // Cut down to the page rather than left out for reaching too far.
        {"a background far wider than the page",
         2,
         blackBrush + rectangle(std::uint32_t(-2'000'000'000), std::uint32_t(-2'000'000'000),
                                2'000'000'000, 2'000'000'000),
         {{{50, 50}, Qt::black}}},
        // Orange inverted over the whole box, black ANDed into a square,
        // orange inverted again: orange in the square, the page left white
        // around it, so the second inversion undid the first exactly.
        {"a colour laid into a shape by inverting around it",
         10,
         recordOf({39, 24, 1, 0, 0x00C0FF, 0}) + recordOf({37, 12, 1}) + patInvert +
             recordOf({20, 12, 9}) + blackBrush + noPen + rectangle(20, 20, 60, 60) +
             recordOf({20, 12, 13}) + recordOf({37, 12, 1}) + patInvert,
         {{{40, 40}, QColor(255, 192, 0)}, {{80, 80}, Qt::white}}},
        // A red and a blue pixel stretched over 40: smoothed where they meet.
        {"a bitmap smoothed when stretched",
         1,
         recordOf({81, 128,      0,  0,  0,  0, 20, 20,       0, 0, 2, 1, 80, 40, 120,         8,
                   0,  0xCC0020, 40, 40, 40, 2, 1,  0x180001, 0, 0, 0, 0, 0,  0,  0xFFFF0000u, 0}),
         {{{25, 40}, Qt::red}, {{38, 40}, QColor(147, 0, 108)}, {{55, 40}, Qt::blue}}},
    };
    for (const Case& c : cases) {
        const QImage image = drawn(convert(emfOf(c.records, c.body)));
        for (const auto& [at, colour] : c.expected)
            EXPECT_TRUE(near(image.pixelColor(at), colour))
                << c.name << " at " << at.x() << "," << at.y() << ": "
                << image.pixelColor(at).name().toStdString();
    }
}

// Shapes and bitmaps alike fill a device pixel from its corner: a box from
// 20 starts at 200 when drawn ten times larger, not half a pixel before.
TEST(EmfDrawing, FillsShapesAndBitmapsFromTheirCorners) {
    const std::string rectangle =
        recordOf({37, 12, 0x80000004, 37, 12, 0x80000008}) + recordOf({43, 24, 20, 20, 80, 80});
    const std::string bitmap =
        recordOf({81, 124,      0,  0,  0,  0, 20, 20,       0, 0, 1, 1, 80, 40, 120,     4,
                  0,  0xCC0020, 40, 40, 40, 1, 1,  0x180001, 0, 0, 0, 0, 0,  0,  0xFF0000});
    const QImage shape = drawn(convert(emfOf(3, rectangle)), 10);
    EXPECT_EQ(qGray(shape.pixel(202, 500)), 0);
    EXPECT_EQ(qGray(shape.pixel(197, 500)), 255);
    const QImage image = drawn(convert(emfOf(1, bitmap)), 10);
    EXPECT_TRUE(near(image.pixelColor(202, 300), Qt::red));
    EXPECT_EQ(qGray(image.pixel(197, 300)), 255);
}

// An icon's AND mask, then its colours XORed over it, each two pixels wide:
// the left one red and shown, the right one left to the page. Smoothed ten
// times larger, the edge between them blends red with white, never darker.
// Office programs often store the mask with rows to spare beyond the part
// drawn; it is still the same icon's mask.
TEST(EmfDrawing, SmoothsAnIconsEdgeOntoThePage) {
    auto twoPixels = [](std::uint32_t rop, std::uint32_t left, std::uint32_t right,
                        std::uint32_t rows) {
        std::string record = recordOf({81,   120 + 8 * rows,
                                       0,    0,
                                       0,    0,
                                       20,   20,
                                       0,    0,
                                       2,    1,
                                       80,   40,
                                       120,  8 * rows,
                                       0,    rop,
                                       40,   20,
                                       40,   2,
                                       rows, 0x180001,
                                       0,    8 * rows,
                                       0,    0,
                                       0,    0});
        for (std::uint32_t row = 0; row < rows; ++row) {
            for (const std::uint32_t rgb : {left, right})
                record += {char(rgb & 0xFF), char((rgb >> 8) & 0xFF), char(rgb >> 16)};
            record += std::string(2, '\0');
        }
        return record;
    };
    for (const std::uint32_t maskRows : {1u, 2u}) {
        const std::string body = twoPixels(0x8800C6, 0x000000, 0xFFFFFF, maskRows) +
                                 twoPixels(0x660046, 0xFF0000, 0x000000, 1);
        const QImage image = drawn(convert(emfOf(2, body)), 4);
        for (int x = 84; x < 236; x += 4)
            EXPECT_GE(qRed(image.pixel(x, 120)), 200) << x << " with a mask of " << maskRows;
        EXPECT_TRUE(near(image.pixelColor(100, 120), Qt::red));
        EXPECT_TRUE(near(image.pixelColor(220, 120), Qt::white));
    }
}

// A face (Arial unless named) at `height` logical units (negative: the
// font's size), made and selected as object 1.
std::string fontRecords(std::int32_t height, std::string_view face = "Arial") {
    std::string font = recordOf({82, 104, 1, std::uint32_t(height)});
    font.resize(40, '\0');
    for (const char ch : face)
        font += {ch, '\0'};
    font.resize(104, '\0');
    return font + recordOf({37, 12, 1});
}

// With advances when given, one per character.
std::string textRecord(int x, int y, std::u16string_view text,
                       std::initializer_list<std::uint32_t> advances = {}) {
    const auto n = std::uint32_t(text.size());
    const std::uint32_t textBytes = (2 * n + 3) & ~3u;
    const std::uint32_t size = 76 + textBytes + 4 * std::uint32_t(advances.size());
    const std::uint32_t offDx = advances.size() == 0 ? 0 : 76 + textBytes;
    std::string record = recordOf({84, size, 0, 0, 0, 0, 1, 0, 0, std::uint32_t(x),
                                   std::uint32_t(y), n, 76, 0, 0, 0, 0, 0, offDx});
    for (const char16_t unit : text)
        record += {char(unit & 0xFF), char(unit >> 8)};
    record.resize(76 + textBytes, '\0');
    return record + recordOf(advances);
}

struct AlignCase {
    const char* name;
    std::uint32_t align; // SETTEXTALIGN
    QPoint at;
    QRect ink;   // some of the text is here
    QRect blank; // and none of it here
};

class EmfTextAlign : public ::testing::TestWithParam<AlignCase> {};

TEST_P(EmfTextAlign, PutsTheTextOnTheSideItsAlignmentSays) {
    const AlignCase& c = GetParam();
    const std::string body =
        fontRecords(-20) + recordOf({22, 12, c.align}) + textRecord(c.at.x(), c.at.y(), u"MM");
    const QImage image = drawn(convert(emfOf(4, body)));
    EXPECT_TRUE(inkIn(image, c.ink));
    EXPECT_FALSE(inkIn(image, c.blank));
}

INSTANTIATE_TEST_SUITE_P(
    , EmfTextAlign,
    ::testing::Values(AlignCase{"LeftTop", 0, {10, 30}, {10, 32, 30, 16}, {0, 0, 100, 29}},
                      AlignCase{"Right", 2, {90, 30}, {60, 32, 29, 16}, {91, 0, 9, 100}},
                      AlignCase{"Centre", 6, {50, 30}, {30, 32, 18, 16}, {0, 0, 25, 100}},
                      AlignCase{"CentreRightHalf", 6, {50, 30}, {52, 32, 18, 16}, {75, 0, 25, 100}},
                      AlignCase{"Baseline", 24, {10, 50}, {10, 38, 30, 10}, {0, 52, 100, 48}},
                      AlignCase{"Bottom", 8, {10, 50}, {10, 36, 30, 10}, {0, 51, 100, 49}}),
    [](const auto& info) { return std::string(info.param.name); });

// A face missing here is aligned by the ascent of the font standing in for
// it, which the reference draws with, not by the missing face's own: Segoe
// UI's is a sixth taller than its stand-in's and would put the capitals'
// tops three rows lower.
TEST(EmfText, AtTheTopHangsByTheStandInFontsAscent) {
    const std::string body = fontRecords(-20, "Segoe UI") + textRecord(10, 30, u"MM");
    const QImage image = drawn(convert(emfOf(3, body)));
    EXPECT_TRUE(inkIn(image, {10, 34, 30, 2}));
    EXPECT_FALSE(inkIn(image, {0, 0, 100, 33}));
}

// A centred text is as wide as its advances up to the last character and
// that character's own width, not its last advance, which often holds a
// space: "MM" of 20 units with advances 20 and 40 is 37 wide around x = 50.
TEST(EmfText, CentredLeavesOutTheLastAdvance) {
    const std::string body =
        fontRecords(-20) + recordOf({22, 12, 6}) + textRecord(50, 30, u"MM", {20, 40});
    const QImage image = drawn(convert(emfOf(4, body)));
    EXPECT_TRUE(inkIn(image, {33, 34, 30, 12}));
    EXPECT_FALSE(inkIn(image, {0, 0, 30, 100}));
}

// On a device whose pixels are twice as tall as wide, a font of no given
// width keeps its proportions on paper: "MM" 20 device pixels (40 of the
// picture's) tall is about 67 of the picture's pixels wide, not half that.
TEST(EmfText, KeepsItsProportionsOnANonSquareDevice) {
    const std::string body = fontRecords(-20) + textRecord(10, 5, u"MM");
    const QImage image = drawn(convert(emfOf(3, body, 480)));
    EXPECT_TRUE(inkIn(image, {60, 12, 10, 40}));
    EXPECT_FALSE(inkIn(image, {82, 0, 18, 100}));
}

} // namespace
