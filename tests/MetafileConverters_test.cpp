// SPDX-License-Identifier: GPL-3.0-or-later
// The metafile converters in this process, without the helper's memory limit:
// a bitmap inside a WMF is read only when its header fits the bytes it came
// with, since libwmf allocates whatever pixel count a header declares. The
// files are built here byte by byte: libuemf, which the fixtures write with,
// has functions of the same names as libwmf's and must not be linked in.
#include "support/TempFiles.h"

#include <QImage>
#include <QtEndian>
#include <climits>
#include <gtest/gtest.h>

// libwmf's headers define U16 and friends as macros, which Qt's must not see.
#include "CodePage.h"
#include "WmfSvgDevice.h"
#include "WmfToSvg.h"

using namespace sortello::metafile;

namespace {

// A bitmap: a 40-byte information header, or the 12-byte OS/2 one, then
// dataBytes bytes of pixels.
QByteArray bitmap(qint32 width, qint32 height, quint16 bits, quint32 compression, int dataBytes,
                  bool os2 = false) {
    QByteArray b(os2 ? 12 : 40, '\0');
    char* p = b.data();
    qToLittleEndian<quint32>(quint32(b.size()), p);
    if (os2) {
        qToLittleEndian<quint16>(quint16(width), p + 4);
        qToLittleEndian<quint16>(quint16(height), p + 6);
        qToLittleEndian<quint16>(1, p + 8);
        qToLittleEndian<quint16>(bits, p + 10);
    } else {
        qToLittleEndian<qint32>(width, p + 4);
        qToLittleEndian<qint32>(height, p + 8);
        qToLittleEndian<quint16>(1, p + 12);
        qToLittleEndian<quint16>(bits, p + 14);
        qToLittleEndian<quint32>(compression, p + 16);
    }
    return b + QByteArray(dataBytes, '\x7f');
}

bool fits(const QByteArray& b) {
    return bitmapFitsItsRecord(reinterpret_cast<const unsigned char*>(b.constData()), b.size());
}

constexpr quint32 Rgb = 0;
constexpr quint32 Rle8 = 1;

TEST(WmfBitmap, ReadOnlyWhenTheHeaderFitsTheBytes) {
    // 2 x 2 at 24 bits: rows of 6 bytes padded to 8.
    EXPECT_TRUE(fits(bitmap(2, 2, 24, Rgb, 16)));
    EXPECT_TRUE(fits(bitmap(2, -2, 24, Rgb, 16))) << "top-down rows";
    EXPECT_TRUE(fits(bitmap(2, 2, 24, Rgb, 16, true))) << "OS/2 header";
    EXPECT_FALSE(fits(bitmap(2, 2, 24, Rgb, 15))) << "a row cut short";
    EXPECT_FALSE(fits(bitmap(0, 2, 24, Rgb, 16)));
    EXPECT_FALSE(fits(bitmap(-1, 1, 24, Rgb, 16)));
    EXPECT_FALSE(fits(bitmap(2, 0, 24, Rgb, 16)));
    EXPECT_FALSE(fits(bitmap(2, 2, 0, Rgb, 16)));
    EXPECT_FALSE(fits(bitmap(1, INT_MIN, 1, Rgb, 16)));
    EXPECT_FALSE(fits(bitmap(65535, 65535, 32, Rgb, 64)));
    // Run-length data says nothing about the pixel count, which is held to the limit.
    EXPECT_TRUE(fits(bitmap(4000, 4000, 8, Rle8, 2)));
    EXPECT_FALSE(fits(bitmap(10000, 10000, 8, Rle8, 2)));
}

TEST(WmfBitmap, AHeaderCutShortOrUnknownIsRefused) {
    const QByteArray whole = bitmap(2, 2, 24, Rgb, 16);
    EXPECT_FALSE(fits(whole.left(30)));
    EXPECT_FALSE(fits(whole.left(8)));
    QByteArray odd = whole;
    qToLittleEndian<quint32>(7, odd.data());
    EXPECT_FALSE(fits(odd));
    EXPECT_FALSE(bitmapFitsItsRecord(nullptr, 100));
    // Found by fuzzing: libwmf asked for 2.9 GB for a 2 x 1 bitmap with a
    // made-up depth, compression and colour table.
    EXPECT_FALSE(fits(bitmap(2, 1, 768, Rgb, 256))) << "depth";
    EXPECT_FALSE(fits(bitmap(2, 1, 8, 88, 64))) << "compression";
    QByteArray colors = bitmap(2, 1, 8, Rgb, 64);
    qToLittleEndian<quint32>(973799424, colors.data() + 32);
    EXPECT_FALSE(fits(colors)) << "colour table";
    qToLittleEndian<quint32>(2, colors.data() + 32);
    EXPECT_TRUE(fits(colors));
}

// Found by fuzzing: a 190-byte WMF whose bitmap record made libwmf ask for 12 GB.
TEST(WmfBitmap, AHugeDeclaredBitmapIsLeftOutOfTheDrawing) {
    const QByteArray file =
        sortello::test::readFile(QStringLiteral(SORTELLO_FIXTURES "/bitmap-bomb.wmf"));
    ASSERT_EQ(file.size(), 190);
    const Conversion drawing = convertWmf(std::string_view(file.constData(), file.size()));
    EXPECT_GT(drawing.size.width, 0);
    EXPECT_NE(drawing.svg.find("<path"), std::string::npos);
    EXPECT_EQ(drawing.svg.find("<image"), std::string::npos);
}

Conversion converted(const QByteArray& file) {
    return convertWmf(std::string_view(file.constData(), file.size()));
}

// The value of the first name="..." after the first <element.
std::string attributeOf(const std::string& svg, std::string_view element, std::string_view name) {
    const std::size_t start = svg.find("<" + std::string(element));
    const std::size_t at = svg.find(" " + std::string(name) + "=\"", start);
    if (start == std::string::npos || at == std::string::npos || at > svg.find('>', start))
        return {};
    const std::size_t value = at + name.size() + 3;
    return svg.substr(value, svg.find('"', value) - value);
}

double numberOf(const std::string& svg, std::string_view element, std::string_view name) {
    const std::string text = attributeOf(svg, element, name);
    return text.empty() ? -1 : std::stod(text);
}

TEST(WmfText, CodePagesOfTheCharacterSets) {
    const struct {
        quint8 charset;
        const char* bytes;
        const char* face;
        const char* utf8;
    } cases[] = {
        {255, "\xB0\xDB", "", "░█"},                // OEM
        {1, "\x80", "", "€"},                       // default
        {77, "\x8A", "", "ä"},                      // Macintosh
        {2, "a-\xA5W", "Symbol", "α\uE10B\uE11CΩ"}, // the Symbol font, in OpenSymbol
        {2, "J", "Wingdings", "\uF04A"},            // another symbol font
        {128, "\x93\xFA\x96", "", "日\uFFFD"},      // the last character cut off
        {222, "\xDB", "", "\uFFFD"},                // unassigned in Thai
    };
    for (const auto& c : cases)
        EXPECT_EQ(codePageToUtf8(c.bytes, c.charset, c.face), c.utf8) << c.utf8;
}

// A WMF without the placeable header, in pixels, its window 400 x 200.
QByteArray wmfOf(const QList<QPair<quint16, QByteArray>>& records) {
    const auto u16 = [](int value) {
        QByteArray b(2, '\0');
        qToLittleEndian<quint16>(quint16(value), b.data());
        return b;
    };
    const auto u32 = [&u16](quint32 value) { return u16(value & 0xFFFF) + u16(value >> 16); };
    QByteArray body;
    quint32 largest = 3;
    for (auto [function, parameters] : records) {
        if (parameters.size() % 2)
            parameters += '\0';
        largest = qMax(largest, quint32(3 + parameters.size() / 2));
        body += u32(3 + parameters.size() / 2) + u16(function) + parameters;
    }
    body += u32(3) + u16(0);
    return u16(1) + u16(9) + u16(0x300) + u32(9 + body.size() / 2) + u16(4) + u32(largest) +
           u16(0) + body;
}

QByteArray parameters(std::initializer_list<int> values, const QByteArray& tail = {}) {
    QByteArray b;
    for (const int value : values) {
        b += char(value & 0xFF);
        b += char((value >> 8) & 0xFF);
    }
    return b + tail;
}

// ETO_OPAQUE paints the record's rectangle in the background colour; office
// programs fill backgrounds with records that have no text at all, and some
// write records whose text is longer than they are, which are not drawn.
TEST(WmfText, AnOpaqueRecordPaintsItsRectangle) {
    const struct {
        int count;
        QByteArray text;
    } cases[] = {{0, {}}, {2, "ab"}, {3, "ab"}};
    for (const auto& [count, text] : cases) {
        const QByteArray file = wmfOf({
            {0x020C, parameters({200, 400})},  // window extent
            {0x0201, parameters({0x00FF, 0})}, // red background
            {0x0A32, parameters({5, 5, count, 2, 10, 20, 110, 70}, text)},
        });
        const std::string svg = converted(file).svg;
        EXPECT_NE(svg.find("<rect x=\"10\" y=\"20\" width=\"100\" height=\"50\" fill=\"#ff0000\""),
                  std::string::npos)
            << svg;
    }
}

// Each letter placed by its own advance: a two-byte character's advance is
// on its first byte, and the two bytes are one letter.
TEST(WmfText, TwoByteLettersPlacedOneByOneStayWhole) {
    const QByteArray text("\x93\xFA\x96\x7B"); // Shift-JIS
    const QByteArray file = wmfOf({
        {0x020C, parameters({200, 400})},
        {0x02FB, parameters({-20, 0, 0, 0, 400, 0, 128 << 8, 0, 0}, "MS Gothic")},
        {0x012D, parameters({0})},
        {0x0A32, parameters({50, 10, 4, 0}, text + parameters({20, 0, 20, 0}))},
    });
    const std::string svg = converted(file).svg;
    EXPECT_NE(svg.find("\">日</text>"), std::string::npos) << svg;
    EXPECT_NE(svg.find("<text x=\"30\""), std::string::npos) << svg;
    EXPECT_NE(svg.find("\">本</text>"), std::string::npos);
}

// ETO_PDY gives each letter a vertical advance, upwards, after its
// horizontal one; text aligned to the current position starts where the
// advances of the text before it end.
TEST(WmfText, LettersFollowTheirAdvancesFromTheCurrentPosition) {
    const QByteArray file = wmfOf({
        {0x020C, parameters({200, 400})},
        {0x02FB, parameters({-20, 0, 0, 0, 400, 0, 0, 0, 0}, "Arial")},
        {0x012D, parameters({0})},
        {0x012E, parameters({24 | 1})}, // on the baseline, from the current position
        {0x0214, parameters({50, 10})}, // move to
        {0x0A32, parameters({0, 0, 2, 0x2000}, "hi" + parameters({20, 10, 30, 0}))},
        {0x0A32, parameters({0, 0, 1, 0}, "j" + QByteArray(1, '\0') + parameters({5}))},
    });
    const std::string svg = converted(file).svg;
    for (const char* placed :
         {"<text x=\"10\" y=\"50\"", "<text x=\"30\" y=\"40\"", "<text x=\"60\" y=\"40\""})
        EXPECT_NE(svg.find(placed), std::string::npos) << placed << "\n" << svg;
}

// A font's width is the mean advance of its letters: the letters are
// narrowed or widened to it; a width of 0 keeps the face's own.
TEST(WmfText, AFontWidthStretchesTheLetters) {
    const struct {
        int width;
        const char* transform;
    } cases[] = {{7, "scale(0.6 1)"}, {0, ""}, {-35, "scale(3.002 1)"}};
    for (const auto& c : cases) {
        const QByteArray file = wmfOf({
            {0x020C, parameters({200, 400})},
            {0x02FB, parameters({-20, c.width, 0, 0, 400, 0, 0, 0, 0}, "Arial")},
            {0x012D, parameters({0})},
            {0x0A32, parameters({50, 10, 2, 0}, "ab")},
        });
        const std::string transform = attributeOf(converted(file).svg, "text", "transform");
        EXPECT_NE(transform.find(c.transform), std::string::npos) << c.width << " " << transform;
        EXPECT_EQ(transform.empty(), c.width == 0) << c.width;
    }
}

// A picture of a few pixels has other proportions than its box once its
// size is whole pixels; its letters keep theirs all the same.
TEST(WmfText, RoundingATinyPictureDoesNotStretchItsLetters) {
    QByteArray header = parameters({0xCDD7, 0x9AC6, 0, 0, 0, 320, 384, 2307, 0, 0});
    quint16 sum = 0;
    for (int i = 0; i < header.size(); i += 2)
        sum ^= qFromLittleEndian<quint16>(header.constData() + i);
    header += parameters({sum});
    const QByteArray file =
        header + wmfOf({
                     {0x020C, parameters({384, 320})},
                     {0x02FB, parameters({-384, 0, 0, 0, 400, 0, 0, 0, 0}, "Arial")},
                     {0x012D, parameters({0})},
                     {0x0A32, parameters({288, 16, 1, 0}, "A")},
                 });
    const Conversion drawing = converted(file);
    ASSERT_EQ(drawing.size.width, 13);
    ASSERT_EQ(drawing.size.height, 16);
    EXPECT_EQ(attributeOf(drawing.svg, "text", "transform"), "") << drawing.svg;
}

TEST(WmfText, TheSymbolFontShowsItsSignsInUnicode) {
    const QByteArray file = wmfOf({
        {0x020C, parameters({200, 400})},
        {0x02FB, parameters({-20, 0, 0, 0, 400, 0, 2 << 8, 0, 0}, "Symbol")},
        {0x012D, parameters({0})},
        {0x0521, parameters({2}, "pW" + parameters({50, 10}))},
    });
    const std::string svg = converted(file).svg;
    EXPECT_EQ(attributeOf(svg, "text", "font-family"), "OpenSymbol");
    EXPECT_NE(svg.find(">πΩ</text>"), std::string::npos) << svg;
}

// The pen is made before the first drawing, at the scale the file then has.
TEST(WmfLayout, APenMadeBeforeDrawingIsAsWideAsItSays) {
    const QByteArray file = wmfOf({
        {0x0103, parameters({8})},              // anisotropic
        {0x020C, parameters({200, 400})},       // window extent
        {0x02FA, parameters({0, 10, 0, 0, 0})}, // a solid pen 10 wide
        {0x012D, parameters({0})},
        {0x0213, parameters({100, 300})}, // a line to 300,100
    });
    EXPECT_EQ(numberOf(converted(file).svg, "line", "stroke-width"), 10);
}

// A pen of no width, or of one logical unit, is one device pixel wide
// however large the picture is shown, not a bar that grows with it; a wider
// one grows, even where it is thinner than a pixel at the picture's size.
TEST(WmfLayout, OnlyAPenOfAtMostOneUnitIsAHairline) {
    const struct {
        int mapMode;
        int window;
        int pen;
        bool hairline;
    } cases[] = {
        {1, 20, 0, true}, // a small window, as form controls have
        {1, 20, 1, true},    {1, 20, 2, false}, {6, 2000, 0, true}, // twips: 15 to a pixel
        {6, 2000, 5, false},
    };
    for (const auto& c : cases) {
        const QByteArray file = wmfOf({
            {0x0103, parameters({c.mapMode})},
            {0x020C, parameters({c.window / 2, c.window})},
            {0x02FA, parameters({0, c.pen, 0, 0, 0})}, // a solid pen
            {0x012D, parameters({0})},
            {0x0213, parameters({c.window / 4, c.window * 3 / 4})},
        });
        const std::string svg = converted(file).svg;
        EXPECT_EQ(attributeOf(svg, "line", "vector-effect") == "non-scaling-stroke", c.hairline)
            << c.mapMode << " " << c.pen << svg;
    }
}

// Without the placeable header, a window set in the text mode is the
// picture; one set for a scaling mode that the file then leaves is not, and
// what is drawn is.
TEST(WmfLayout, TheTextModeIgnoresAWindowOfAScalingMode) {
    for (const int modeFirst : {1, 8}) {
        const Conversion drawing = converted(wmfOf({
            {0x0103, parameters({modeFirst})},
            {0x020C, parameters({100, 200})}, // window 200 x 100
            {0x0103, parameters({1})},        // the text mode
            {0x041B, parameters({301, 401, 0, 0})},
        }));
        // What is drawn is measured with the outline's half width around it.
        EXPECT_NEAR(drawing.size.width, modeFirst == 1 ? 200 : 400, 1) << modeFirst;
    }
}

// A real drawing: no placeable header, a window and no viewport, text
// given by its cell height.
TEST(WmfLayout, ARealWindowDrawingWithoutHeader) {
    const Conversion drawing = converted(
        sortello::test::readFile(QStringLiteral(SORTELLO_FIXTURES "/window-without-header.wmf")));
    EXPECT_EQ(drawing.size.width, 2600);
    EXPECT_EQ(drawing.size.height, 1900);
    // Shapes fill their units from the corner of the first.
    EXPECT_EQ(attributeOf(drawing.svg, "svg", "viewBox"), "0 0 2600 1900");
    EXPECT_NEAR(numberOf(drawing.svg, "text", "font-size"), 350 / 1.117, 0.01);
    EXPECT_NE(drawing.svg.find(">770</text>"), std::string::npos);
}

// RestoreDC names a state by how many steps back it is, or by the SaveDC
// that kept it; a state that was never saved restores nothing.
TEST(WmfState, RestoreGoesBackToTheNamedState) {
    const struct {
        int restore;
        const char* fill;
    } cases[] = {{-1, "#00ff00"}, {-2, "#ff0000"}, {-3, "#0000ff"}, {0, "#0000ff"},
                 {1, "#ff0000"},  {2, "#00ff00"},  {3, "#0000ff"}};
    for (const auto& c : cases) {
        const QByteArray file = wmfOf({
            {0x02FC, parameters({0, 0x00FF, 0, 0})}, // red brush
            {0x012D, parameters({0})},
            {0x001E, {}},                            // save: red
            {0x02FC, parameters({0, 0xFF00, 0, 0})}, // green
            {0x012D, parameters({1})},
            {0x001E, {}},                            // save: green
            {0x02FC, parameters({0, 0, 0x00FF, 0})}, // blue
            {0x012D, parameters({2})},
            {0x0127, parameters({c.restore})},
            {0x041B, parameters({50, 60, 10, 20})}, // rectangle
        });
        EXPECT_EQ(attributeOf(converted(file).svg, "rect", "fill"), c.fill) << c.restore;
    }
}

// Colours given as an index into the file's palette take the palette's entry.
TEST(WmfState, PaletteIndexColoursComeFromThePalette) {
    const QByteArray file = wmfOf({
        {0x00F7, parameters({0x300, 2, 0x00FF, 0, 0xFFFF, 0})}, // red, yellow
        {0x0234, parameters({0})},                              // select the palette
        {0x02FA, parameters({0, 1, 0, 0, 0x0100})},             // pen: entry 0
        {0x012D, parameters({1})},
        {0x02FC, parameters({0, 1, 0x0100, 0})}, // brush: entry 1
        {0x012D, parameters({2})},
        {0x041B, parameters({50, 60, 10, 20})},
    });
    const std::string svg = converted(file).svg;
    EXPECT_EQ(attributeOf(svg, "rect", "fill"), "#ffff00") << svg;
    EXPECT_EQ(attributeOf(svg, "rect", "stroke"), "#ff0000");
}

// Brushes SVG has no pattern for fill in one colour, as the reference
// renderer fills them: a bitmap brush in the mean colour of its pixels
// (dithered grey stays grey, not black or white), a hatch brush in its own.
TEST(WmfState, PatternBrushesFillInOneColour) {
    QByteArray dib(40, '\0');
    qToLittleEndian<quint32>(40, dib.data());
    qToLittleEndian<qint32>(8, dib.data() + 4);
    qToLittleEndian<qint32>(8, dib.data() + 8);
    qToLittleEndian<quint16>(1, dib.data() + 12);
    qToLittleEndian<quint16>(1, dib.data() + 14);
    dib += QByteArray("\0\0\0\0\xFF\xFF\xFF\0", 8); // black, white
    for (int row = 0; row < 8; ++row)
        dib += QByteArray(row % 2 ? "\xFF\0\0\0" : "\0\0\0\0", 4);
    // One with the monochrome style is not taken: the brush before stays.
    const struct {
        int style;
        const char* fill;
    } cases[] = {{5, "#7f7f7f"}, {3, "#ff0000"}};
    for (const auto& c : cases) {
        const QByteArray file = wmfOf({
            {0x02FC, parameters({0, 0x00FF, 0, 0})}, // red
            {0x012D, parameters({0})},
            {0x0142, parameters({c.style, 0}, dib)},
            {0x012D, parameters({1})},
            {0x061D, parameters({0x0021, 0x00F0, 50, 60, 10, 20})}, // PATCOPY
        });
        const std::string svg = converted(file).svg;
        EXPECT_EQ(attributeOf(svg, "rect", "fill"), c.fill) << svg;
    }
    // A hatch brush paints all of its colour.
    const QByteArray hatch = wmfOf({
        {0x02FC, parameters({2, 0x00FF, 0, 3})}, // red, diagonal
        {0x012D, parameters({0})},
        {0x041B, parameters({50, 60, 10, 20})},
    });
    const std::string hatched = converted(hatch).svg;
    EXPECT_EQ(attributeOf(hatched, "rect", "fill"), "#ff0000") << hatched;
    EXPECT_EQ(attributeOf(hatched, "rect", "fill-opacity"), "") << hatched;
}

// GDI leaves out the right and bottom edge of a shape's box.
TEST(WmfShapes, TheBoxEndsBeforeItsRightAndBottom) {
    const struct {
        quint16 function;
        QByteArray parameters;
        const char* element;
        const char* name;
        double value;
    } cases[] = {
        {0x041B, parameters({50, 60, 10, 20}), "rect", "width", 39},
        {0x061C, parameters({4, 4, 50, 60, 10, 20}), "rect", "height", 39},
        {0x0418, parameters({50, 60, 10, 20}), "ellipse", "rx", 19.5},
    };
    for (const auto& c : cases) {
        const std::string svg = converted(wmfOf({{c.function, c.parameters}})).svg;
        EXPECT_EQ(numberOf(svg, c.element, c.name), c.value) << svg;
    }
}

// BitBlt and StretchBlt records may carry an old device-dependent bitmap:
// a header of ten bytes, then rows top down.
TEST(WmfBitmap, AnOldDeviceBitmapIsDrawn) {
    const auto old = [](int bits, const QByteArray& rows) {
        return parameters({0, 2, 2, int(rows.size() / 2)}) + QByteArray(1, 1) +
               QByteArray(1, char(bits)) + rows;
    };
    const QByteArray blue("\xFF\0\0\xFF\0\0\xFF\0\0\xFF\0\0", 12); // 2 x 2, 24 bits
    const struct {
        quint16 function;
        QByteArray parameters;
    } cases[] = {
        {0x0922, parameters({0x0020, 0x00CC, 0, 0, 2, 2, 5, 5}, old(24, blue))},
        {0x0922, parameters({0x0020, 0x00CC, 0, 0, 2, 2, 5, 5}, old(1, QByteArray(4, '\x40')))},
        {0x0B23, parameters({0x0020, 0x00CC, 2, 2, 0, 0, 20, 20, 5, 5}, old(24, blue))},
    };
    for (const auto& c : cases) {
        const std::string svg = converted(wmfOf({{c.function, c.parameters}})).svg;
        EXPECT_NE(svg.find("<image"), std::string::npos) << c.function;
    }
}

// Radio buttons and clip art come as an AND mask and an image ORed (or
// XORed) into its holes: together one picture, clear where the mask is white.
TEST(WmfBitmap, AMaskedPairIsOnePictureWithTransparency) {
    const auto dib = [](quint16 bits, const QByteArray& colours, const QByteArray& rows) {
        QByteArray header(40, '\0');
        qToLittleEndian<quint32>(40, header.data());
        qToLittleEndian<qint32>(2, header.data() + 4); // 2 pixels wide
        qToLittleEndian<qint32>(rows.size() / (bits == 1 ? 4 : 8), header.data() + 8);
        qToLittleEndian<quint16>(1, header.data() + 12);
        qToLittleEndian<quint16>(bits, header.data() + 14);
        return header + colours + rows;
    };
    // Rows are stored bottom up: the pair uses the mask's top row, black and white.
    const QByteArray mask =
        dib(1, QByteArray("\0\0\0\0\xFF\xFF\xFF\0", 8), QByteArray("\x80\0\0\0\x40\0\0\0", 8));
    const QByteArray image = dib(24, {}, QByteArray("\0\0\xFF\0\0\0\0\0", 8)); // red, black
    for (const int paint : {0x00EE0086, 0x00660046}) {                         // OR, XOR
        const QByteArray file = wmfOf({
            {0x0940, parameters({0x00C6, 0x0088, 0, 0, 1, 2, 10, 20}, mask)},
            {0x0940, parameters({paint & 0xFFFF, paint >> 16, 0, 0, 1, 2, 10, 20}, image)},
        });
        const std::string svg = converted(file).svg;
        ASSERT_EQ(svg.find("<image"), svg.rfind("<image")) << svg;
        const std::string data = attributeOf(svg, "image", "xlink:href");
        const QImage picture = QImage::fromData(
            QByteArray::fromBase64(QByteArray::fromStdString(data.substr(data.find(',') + 1))));
        ASSERT_EQ(picture.size(), QSize(2, 1));
        EXPECT_EQ(picture.pixel(0, 0), qRgba(255, 0, 0, 255));
        EXPECT_EQ(qAlpha(picture.pixel(1, 0)), 0);
    }
}

// A header with no colour count has the full table of its depth, and the
// pixels start after it.
TEST(WmfBitmap, AFullColourTableIsReadWithoutACount) {
    QByteArray dib(40, '\0');
    qToLittleEndian<quint32>(40, dib.data());
    qToLittleEndian<qint32>(2, dib.data() + 4);
    qToLittleEndian<qint32>(1, dib.data() + 8);
    qToLittleEndian<quint16>(1, dib.data() + 12);
    qToLittleEndian<quint16>(8, dib.data() + 14);
    QByteArray colours(256 * 4, '\0');
    colours[4 + 2] = '\xFF'; // entry 1: red
    dib += colours + QByteArray("\1\1\0\0", 4);
    const QByteArray file =
        wmfOf({{0x0B41, parameters({0x0020, 0x00CC, 1, 2, 0, 0, 10, 20, 5, 5}, dib)}});
    const std::string svg = converted(file).svg;
    const std::string data = attributeOf(svg, "image", "xlink:href");
    const QImage picture = QImage::fromData(
        QByteArray::fromBase64(QByteArray::fromStdString(data.substr(data.find(',') + 1))));
    ASSERT_EQ(picture.size(), QSize(2, 1)) << svg;
    EXPECT_EQ(picture.pixel(0, 0), qRgb(255, 0, 0));
}

struct AlignmentCase {
    const char* name;
    int align;
    int fontHeight;
    double x;
    double y;
    double size;
    const char* anchor;
};

void PrintTo(const AlignmentCase& c, std::ostream* out) {
    *out << c.name;
}

class WmfTextPlace : public ::testing::TestWithParam<AlignmentCase> {};

// GDI puts the baseline an ascent below a top-aligned point and a descent
// above a bottom-aligned one; a positive height is the letters' cell.
TEST_P(WmfTextPlace, FollowsTheAlignmentAndHeight) {
    const AlignmentCase& c = GetParam();
    const QByteArray file = wmfOf({
        {0x020C, parameters({200, 400})}, // window extent
        {0x02FB, parameters({c.fontHeight, 0, 0, 0, 400, 0, 0, 0, 0}, "Arial")},
        {0x012D, parameters({0})},       // select the font
        {0x012E, parameters({c.align})}, // text alignment
        {0x0521, parameters({2}, "Hi" + parameters({100, 100}))},
    });
    const std::string svg = converted(file).svg;
    EXPECT_NEAR(numberOf(svg, "text", "x"), c.x, 0.01) << svg;
    EXPECT_NEAR(numberOf(svg, "text", "y"), c.y, 0.01);
    EXPECT_NEAR(numberOf(svg, "text", "font-size"), c.size, 0.01);
    EXPECT_EQ(attributeOf(svg, "text", "text-anchor"), c.anchor);
}

INSTANTIATE_TEST_SUITE_P(
    , WmfTextPlace,
    ::testing::Values(AlignmentCase{"baseline", 24, -20, 100, 100, 20, ""},
                      AlignmentCase{"top", 0, -20, 100, 118.1, 20, ""},
                      AlignmentCase{"bottom", 8, -20, 100, 95.76, 20, ""},
                      AlignmentCase{"top_cell_height", 0, 20, 100, 116.204, 17.905, ""},
                      AlignmentCase{"centre", 24 | 6, -20, 100, 100, 20, "middle"},
                      AlignmentCase{"right", 24 | 2, -20, 100, 100, 20, "end"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
