// SPDX-License-Identifier: GPL-3.0-or-later
// The EMF converter in this process: EMFs written with libuemf, drawn the way
// Sortello draws the SVG it answers with.
#include "support/MetafileFixtures.h"
#include "support/TempFiles.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

} // namespace
