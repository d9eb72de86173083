// SPDX-License-Identifier: GPL-3.0-or-later
// The EMF converter in this process: EMFs written with libuemf, drawn the way
// Sortello draws the SVG it answers with.
#include "support/MetafileFixtures.h"
#include "support/TempFiles.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "EmfRecords.h"
#include "EmfToSvg.h"

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

Conversion convert(const QByteArray& file) {
    return convertEmf(std::string_view(file.constData(), std::size_t(file.size())));
}

QImage drawn(const Conversion& drawing) {
    QSvgRenderer renderer(QByteArray::fromStdString(drawing.svg));
    QImage image(drawing.size.width, drawing.size.height, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.render(&painter);
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

TEST(EmfDrawing, OfEmfPlusRecordsAloneIsRefusedRatherThanBlank) {
    MetafileSample sample;
    sample.kind = MetafileShape::EmfPlusRectangle;
    const QByteArray file = emfFile(sample);
    ASSERT_FALSE(file.isEmpty());
    try {
        convert(file);
        FAIL() << "a blank drawing";
    } catch (const ConversionError& error) {
        EXPECT_NE(std::string(error.what()).find("EMF+"), std::string::npos) << error.what();
    }
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
    int pixels; // how wide the outline comes out at the picture's own size
};

class EmfPen : public ::testing::TestWithParam<PenCase> {};

// A pen's width is in logical units; one of a pixel or less is a hairline.
TEST_P(EmfPen, IsAsWideAsItsMappedWidth) {
    const PenCase& c = GetParam();
    MetafileSample sample;
    sample.unitsPerPixel = c.unitsPerPixel;
    sample.penWidth = c.penWidth;
    sample.color = Qt::white;
    const QByteArray file = emfFile(sample);
    ASSERT_FALSE(file.isEmpty());
    const Conversion drawing = convert(file);
    const int y = sample.shape.center().y();
    EXPECT_NEAR(darkRun(drawn(drawing), sample.shape.left() - 10, y), c.pixels, 1);
    // A hairline stays one pixel wide at four times the size.
    if (c.pixels == 1) {
        QSvgRenderer renderer(QByteArray::fromStdString(drawing.svg));
        QImage large(drawing.size.width * 4, drawing.size.height * 4, QImage::Format_ARGB32);
        large.fill(Qt::white);
        QPainter painter(&large);
        renderer.render(&painter);
        painter.end();
        EXPECT_LE(darkRun(large, (sample.shape.left() - 10) * 4, y * 4), 2);
    }
}

INSTANTIATE_TEST_SUITE_P(, EmfPen,
                         ::testing::Values(PenCase{1, 6, 6}, PenCase{15, 90, 6},
                                           PenCase{15, 15, 1}));

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

void appendU32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out += char((value >> (8 * i)) & 0xFF);
}

std::int32_t s32At(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= std::uint32_t(std::uint8_t(bytes[at + i])) << (8 * i);
    return std::int32_t(value);
}

struct FontCase {
    const char* face;
    std::int32_t height;
    std::int32_t prepared;
};

class EmfFont : public ::testing::TestWithParam<FontCase> {};

// A positive height is the cell's, a negative one the font's size, which is
// what the drawing takes.
TEST_P(EmfFont, HeightIsTheFontSize) {
    const FontCase& c = GetParam();
    std::string emf;
    appendU32(emf, 1); // a bare header: what the rewriting reads of it
    appendU32(emf, 88);
    emf.resize(88, '\0');
    const std::size_t fontAt = emf.size();
    appendU32(emf, 82); // EXTCREATEFONTINDIRECTW
    appendU32(emf, 104);
    appendU32(emf, 1);
    appendU32(emf, std::uint32_t(c.height));
    emf.resize(fontAt + 40, '\0');
    for (const char* ch = c.face; *ch; ++ch)
        emf += {*ch, '\0'};
    emf.resize(fontAt + 104, '\0');
    const std::string prepared = prepareEmfRecords(emf).bytes;
    // The rewriting selects the white brush first.
    ASSERT_EQ(s32At(prepared, 88 + 12), 82);
    EXPECT_EQ(s32At(prepared, 88 + 12 + 12), c.prepared);
}

INSTANTIATE_TEST_SUITE_P(, EmfFont,
                         ::testing::Values(FontCase{"Arial", 112, -100},
                                           FontCase{"Courier New", 34, -30},
                                           FontCase{"Unknown Face", 112, -100},
                                           FontCase{"Arial", -40, -40}));

// A picture 100 pixels square, one logical unit a pixel, of these records.
QByteArray emfOf(std::uint32_t records, const std::string& body) {
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
                                      960u,
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

// Records libemf2svg draws nothing for, or with the wrong state, drawn as the
// device draws them.
TEST(EmfDrawing, IsWhatTheDeviceDraws) {
    const std::string blackBrush = recordOf({37, 12, 0x80000004});
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
    const Case cases[] = {
        {"a rectangle after restoring twice",
         9,
         blackBrush + recordOf({33,          8,  37, 12,          0x80000000, 33, 8,  17, 12, 8,
                                9,           16, 1,  1,           11,         16, 2,  2,  34, 12,
                                0xFFFFFFFFu, 34, 12, 0xFFFFFFFFu, 43,         24, 10, 10, 40, 40}),
         {{{25, 25}, Qt::black}, {{70, 70}, Qt::white}}},
        // A hairline on a pixel edge, half on each side.
        {"an arc all the way round",
         1,
         recordOf({45, 40, 20, 20, 80, 80, 80, 50, 80, 50}),
         {{{20, 50}, QColor(118, 118, 118)}, {{50, 50}, Qt::white}}},
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
         {{{2, 2}, QColor(234, 11, 11)}, {{95, 2}, QColor(11, 234, 11)}, {{80, 80}, Qt::white}}},
    };
    for (const Case& c : cases) {
        const QImage image = drawn(convert(emfOf(c.records, c.body)));
        for (const auto& [at, colour] : c.expected)
            EXPECT_TRUE(near(image.pixelColor(at), colour))
                << c.name << " at " << at.x() << "," << at.y() << ": "
                << image.pixelColor(at).name().toStdString();
    }
}

} // namespace
