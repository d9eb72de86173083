// SPDX-License-Identifier: GPL-3.0-or-later
// WMF files drawn through the helper program: how large a picture is, how
// its device area maps to that size, and which code page its text is in.
#include "pictures/MetafileDecoder.h"
#include "support/MetafileFixtures.h"
#include "support/TempFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace sortello;
using namespace sortello::test;

namespace {

class WmfDrawingTest : public ::testing::Test {
protected:
    void SetUp() override {
        // ctest names the helper; run by hand, it is one folder up.
        if (qEnvironmentVariableIsEmpty("SORTELLO_METAFILE_HELPER"))
            qputenv("SORTELLO_METAFILE_HELPER",
                    (QCoreApplication::applicationDirPath() + "/../sortello-metafile").toUtf8());
    }
    TempFolder folder;
};

// Records' parameters as 16-bit words, then any bytes.
QByteArray words(std::initializer_list<int> values, const QByteArray& tail = {}) {
    QByteArray b;
    for (const int value : values) {
        b += char(value & 0xFF);
        b += char((value >> 8) & 0xFF);
    }
    return b + tail;
}

// A WMF without the placeable header, in pixels, its window 400 x 200 unless
// it is windowless.
QByteArray wmfOf(std::initializer_list<std::pair<quint16, QByteArray>> records,
                 bool windowless = false) {
    QByteArray body = windowless ? QByteArray() : words({5, 0, 0x020C, 200, 400});
    int largest = 5;
    for (auto [function, parameters] : records) {
        if (parameters.size() % 2)
            parameters += '\0';
        const int size = 3 + int(parameters.size()) / 2;
        largest = std::max(largest, size);
        body += words({size, 0, function}) + parameters;
    }
    body += words({3, 0, 0});
    const int size = 9 + int(body.size()) / 2;
    return words({1, 9, 0x300, size & 0xFFFF, size >> 16, 4, largest, 0, 0}) + body;
}

QByteArray drawn(TempFolder& folder, const QByteArray& file) {
    const QString path = folder.file(QStringLiteral("drawn.wmf"));
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size())
        return {};
    out.close();
    return renderMetafile(path).svg;
}

// Every font-size="..." of the drawing, in order.
QList<double> fontSizes(const QByteArray& svg) {
    QList<double> sizes;
    static const QRegularExpression size(QStringLiteral("font-size=\"([0-9.]+)\""));
    for (const auto& match : size.globalMatch(QString::fromUtf8(svg)))
        sizes += match.captured(1).toDouble();
    return sizes;
}

// Each font keeps the sign of its own height, which says whether it is the
// letters' size or their cell's, however many fonts come before it.
TEST_F(WmfDrawingTest, EachFontKeepsItsOwnHeight) {
    using Record = std::pair<quint16, QByteArray>;
    const auto font = [](int height) {
        return Record{0x02FB, words({height, 0, 0, 0, 400, 0, 0, 0, 0}, "Arial")};
    };
    const auto select = [](int slot) { return Record{0x012D, words({slot})}; };
    const Record letter{0x0521, words({1, 'A', 20, 50})}; // TextOut "A" at (50, 20)
    const QByteArray file = wmfOf(
        {font(-20), font(-20), font(20), select(0), letter, select(1), letter, select(2), letter});
    const QList<double> sizes = fontSizes(drawn(folder, file));
    ASSERT_EQ(sizes.size(), 3);
    EXPECT_NEAR(sizes[0], 20, 0.01);
    EXPECT_NEAR(sizes[1], 20, 0.01);
    EXPECT_NEAR(sizes[2], 20 / 1.117, 0.01); // Arial's ascent and descent
}

// Centred text is centred by its width with the spaces at its ends, as GDI
// measures it, so a label written with a trailing space sits further left.
TEST_F(WmfDrawingTest, CentredTextCountsTheSpacesAtItsEnds) {
    const auto leftmostInk = [this](const QByteArray& text) {
        const QByteArray svg =
            drawn(folder, wmfOf({{0x02FB, words({-40, 0, 0, 0, 400, 0, 0, 0, 0}, "Arial")},
                                 {0x012D, words({0})},
                                 {0x012E, words({6})}, // TA_CENTER | TA_TOP
                                 {0x0521, words({int(text.size())}, text) + words({50, 200})}}));
        QImage image(400, 200, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QSvgRenderer(svg).render(&painter);
        painter.end();
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (qGray(image.pixel(x, y)) < 128)
                    return x;
        return -1;
    };
    const int unspaced = leftmostInk("AB");
    ASSERT_GT(unspaced, 0);
    EXPECT_LT(leftmostInk("AB    "), unspaced - 10); // two spaces' width
}

// A region record whose scans do not fit it, its header a word short as one
// writer makes it, fills nothing; the rest of the file is drawn.
TEST_F(WmfDrawingTest, AnUnreadableRegionLeavesTheRestDrawn) {
    const QByteArray file =
        wmfOf({{0x06FF, words({0, 6, 0, 34, 1, 2, 10, 10, 50, 50, 2, 10, 50, 10, 50, 2})},
               {0x02FC, words({0, 0x00FF, 0, 0})}, // red brush
               {0x0228, words({0, 1})},            // FillRegion with it
               {0x012D, words({1})},
               {0x041B, words({50, 60, 10, 20})}});
    const QByteArray svg = drawn(folder, file);
    EXPECT_EQ(svg.count("<rect"), 1) << svg.constData();
}

// A bitmap sits at its first pixel's corner, copied or stretched, as the
// shapes sit at their units' corners: enlarged, nothing moves half a unit.
TEST_F(WmfDrawingTest, BitmapsCopiedOrStretchedSitAtTheirCorner) {
    const QByteArray dib = words(
        {40, 0, 2, 0, 2, 0, 1, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const QByteArray copies[] = {
        wmfOf({{0x0940, words({0x0020, 0x00CC, 0, 0, 2, 2, 20, 10}, dib)}}), // DIBBitBlt
        wmfOf({{0x0B41, words({0x0020, 0x00CC, 2, 2, 0, 0, 8, 8, 20, 10}, dib)}}), // DIBStretchBlt
    };
    for (const QByteArray& file : copies) {
        const QByteArray svg = drawn(folder, file);
        EXPECT_TRUE(svg.contains("<image x=\"10\"")) << svg.constData();
        EXPECT_FALSE(svg.contains("viewBox=\"0.5")) << svg.constData();
    }
}

// Text aligned to its top sits an ascent above its baseline: Windows' for a
// face drawn with its own letters or ones of the same metrics, DejaVu's
// where DejaVu stands in for a face not installed (as for Segoe UI here).
TEST_F(WmfDrawingTest, TopAlignedTextTakesTheAscentOfTheFontDrawn) {
    const struct {
        const char* face;
        double ascent;
    } cases[] = {{"Arial", 0.905}, {"Segoe UI", 0.928}, {"DejaVu Sans", 0.928}};
    static const QRegularExpression baseline(QStringLiteral("<text[^>]* y=\"([0-9.]+)\""));
    for (const auto& c : cases) {
        const QByteArray svg =
            drawn(folder, wmfOf({{0x02FB, words({-100, 0, 0, 0, 400, 0, 0, 0, 0}, c.face)},
                                 {0x012D, words({0})},
                                 {0x0521, words({2, 'A' | 'B' << 8, 20, 50})}})); // at (50, 20)
        const auto match = baseline.match(QString::fromUtf8(svg));
        ASSERT_TRUE(match.hasMatch()) << svg.constData();
        EXPECT_NEAR(match.captured(1).toDouble(), 20 + 100 * c.ascent, 0.01) << c.face;
    }
}

TEST_F(WmfDrawingTest, TextIsReadInTheCodePageOfItsFont) {
    const struct {
        quint8 charset;
        const char* utf8;
    } cases[] = {{204, "Привет"}, {161, "Καλημέρα"}, {238, "Łódź"}, {128, "日本語"}, {0, "café"}};
    for (const auto& c : cases) {
        MetafileSample s;
        s.text = QString::fromUtf8(c.utf8);
        s.charset = c.charset;
        const QString path = folder.file(QStringLiteral("charset%1.wmf").arg(c.charset));
        ASSERT_TRUE(writeWmf(path, s));
        EXPECT_EQ(textOf(renderMetafile(path).svg), s.text) << int(c.charset);
    }
}

// Without header or window the picture is the box its coordinates span, as
// the reference renderer measures it: a wide pen's outline does not count.
TEST_F(WmfDrawingTest, AWindowlessPictureIsAsLargeAsItsCoordinates) {
    const QString path = folder.file(QStringLiteral("windowless.wmf"));
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(wmfOf({{0x02FA, words({0, 20, 0, 0, 0})}, // a pen 20 wide
                     {0x012D, words({0})},
                     {0x041B, words({80, 150, 40, 50})}}, // Rectangle(50, 40, 150, 80)
                    true));
    out.close();
    EXPECT_EQ(renderMetafile(path).size, QSize(100, 40));
}

struct LayoutCase {
    const char* name;
    WmfMapping mapping;
    bool placeable;
    QSize expected;
};

void PrintTo(const LayoutCase& c, std::ostream* out) {
    *out << c.name;
}

class WmfLayout : public WmfDrawingTest, public ::testing::WithParamInterface<LayoutCase> {};

// The device area maps to the picture without stretching either way, so
// text drawn in it keeps its proportions; without the placeable header the
// window, or else what is drawn, is the picture.
TEST_P(WmfLayout, IsAsLargeAsItsWindowAndUnstretched) {
    const LayoutCase& c = GetParam();
    const QString path = folder.file(QStringLiteral("layout.wmf"));
    MetafileSample sample;
    sample.size = {300, 100};
    sample.shape = {50, 40, 100, 40};
    sample.mapping = c.mapping;
    sample.placeable = c.placeable;
    ASSERT_TRUE(writeWmf(path, sample));
    const MetafileRendering rendering = renderMetafile(path);
    // What is drawn is measured with the outline's half width around it.
    EXPECT_NEAR(rendering.size.width(), c.expected.width(), 1);
    EXPECT_NEAR(rendering.size.height(), c.expected.height(), 1);
    QXmlStreamReader reader(rendering.svg);
    reader.readNextStartElement();
    const QStringList box =
        reader.attributes().value(QLatin1String("viewBox")).toString().split(u' ');
    ASSERT_EQ(box.size(), 4) << rendering.svg.left(400).toStdString();
    EXPECT_NEAR(box[2].toDouble() / box[3].toDouble(),
                double(rendering.size.width()) / rendering.size.height(), 0.02);
}

INSTANTIATE_TEST_SUITE_P(
    , WmfLayout,
    ::testing::Values(LayoutCase{"placeable_window", WmfMapping::Window, true, {300, 100}},
                      LayoutCase{"window_without_header", WmfMapping::Window, false, {300, 100}},
                      LayoutCase{
                          "drawing_without_header", WmfMapping::PlaceableUnits, false, {100, 40}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
