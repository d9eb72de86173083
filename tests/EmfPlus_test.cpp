// SPDX-License-Identifier: GPL-3.0-or-later
// EMF+ records built by hand and played onto an image: each row a short
// record stream and the pixels it must leave, malformed streams among them.
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <gtest/gtest.h>

#include "EmfPlus.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

using namespace sortello::metafile;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Field {
    Field(std::uint32_t v)
        : bytes{std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16),
                std::uint8_t(v >> 24)} {}
    Field(int v) : Field(std::uint32_t(v)) {}
    Field(double v) {
        const float f = float(v);
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        bytes = Field(bits).bytes;
    }
    static Field u16(std::uint16_t v) {
        return Field(Bytes{std::uint8_t(v), std::uint8_t(v >> 8)});
    }
    static Field raw(Bytes b) { return Field(std::move(b)); }
    Bytes bytes;

private:
    explicit Field(Bytes b) : bytes(std::move(b)) {}
};

struct Record {
    std::uint16_t type;
    std::uint16_t flags;
    std::vector<Field> fields = {};
};

Bytes stream(const std::vector<Record>& records) {
    Bytes out;
    for (const Record& r : records) {
        Bytes data;
        for (const Field& f : r.fields)
            data.insert(data.end(), f.bytes.begin(), f.bytes.end());
        const std::size_t padded = (data.size() + 3) / 4 * 4;
        for (const Field& f : {Field::u16(r.type), Field::u16(r.flags), Field(int(12 + padded)),
                               Field(int(data.size()))})
            out.insert(out.end(), f.bytes.begin(), f.bytes.end());
        data.resize(padded, 0);
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

constexpr std::uint32_t Version = 0xDBC01002;
constexpr std::uint32_t Red = 0xFFFF0000, Blue = 0xFF0000FF, Black = 0xFF000000, White = 0xFFFFFFFF;
constexpr std::uint16_t Colour = 0x8000; // the brush field holds a colour

// The data's 1 says the reference device was a screen, as in most real files;
// whether the file is dual is in the record's flags alone.
Record header(bool dual = false) {
    return {0x4001, std::uint16_t(dual), {Version, 1, 96, 96}};
}
Record fillRect(double x, double y, double w, double h, std::uint32_t brush = Red,
                std::uint16_t flags = Colour) {
    return {0x400A, flags, {brush, 1, x, y, w, h}};
}
Record solidBrush(int id, std::uint32_t colour) {
    return {0x4008, std::uint16_t(0x100 | id), {Version, 0, colour}};
}
Record pen(int id, double width, std::uint32_t colour) {
    return {0x4008, std::uint16_t(0x200 | id), {Version, 0, 0, 0, width, Version, 0, colour}};
}
// A closed square as a path object: start, two lines, a closing line.
Record squarePath(int id, double x, double y, double side) {
    return {0x4008,
            std::uint16_t(0x300 | id),
            {Version, 4, 0, x, y, x + side, y, x + side, y + side, x, y + side,
             Field::raw({0x00, 0x01, 0x01, 0x81})}};
}
Record font(int id, double em) {
    std::vector<Field> fields = {Version, em, 2, 0, 0, 4};
    for (char c : std::string("Sans"))
        fields.push_back(Field::u16(std::uint16_t(c)));
    return {0x4008, std::uint16_t(0x600 | id), fields};
}
Record setClipRect(double x, double y, double w, double h, int mode = 0) {
    return {0x4032, std::uint16_t(mode << 8), {x, y, w, h}};
}
Record translate(double dx, double dy) {
    return {0x402D, 0, {dx, dy}};
}

struct Probe {
    int x;
    int y;
    QRgb colour;
};

struct PlayCase {
    std::string name;
    std::vector<Record> records;
    std::vector<Probe> probes;
    bool drew = true;
    QRect inked = {}; // when set: some pixel in it is not white
    int tolerance = 0;
    QRect blank = {}; // when set: every pixel in it is white
};

void PrintTo(const PlayCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<PlayCase> playCases() {
    const Record twoByTwoRedImage = {
        0x4008, 0x500, {Version, 1, 2, 2, 8, 0x0026200A, 0, Red, Red, Red, Red}};
    return {
        {"FillRectWithColour",
         {header(), fillRect(10, 10, 20, 20)},
         {{20, 20, Red}, {50, 50, White}}},
        {"FillRectWithBrushObject",
         {header(), solidBrush(3, Blue), fillRect(10, 10, 20, 20, 3, 0)},
         {{20, 20, Blue}}},
        {"FillPathObject",
         {header(), squarePath(5, 40, 40, 20), {0x4014, Colour | 5, {Red}}},
         {{50, 50, Red}, {30, 30, White}}},
        {"WorldTransform",
         {header(), {0x402A, 0, {1.0, 0.0, 0.0, 1.0, 50.0, 50.0}}, fillRect(0, 0, 10, 10)},
         {{55, 55, Red}, {5, 5, White}}},
        // Half an inch at 96 dots per inch.
        {"PageUnitInch",
         {header(), {0x4030, 4, {1.0}}, fillRect(0, 0, 0.5, 0.5)},
         {{40, 40, Red}, {60, 60, White}}},
        {"ClipRect",
         {header(), setClipRect(0, 0, 30, 100), fillRect(0, 0, 100, 100)},
         {{10, 50, Red}, {60, 50, White}}},
        {"ClipExclude",
         {header(), setClipRect(0, 0, 100, 100), setClipRect(40, 40, 20, 20, 4),
          fillRect(0, 0, 100, 100)},
         {{10, 10, Red}, {50, 50, White}}},
        {"RestoreUndoesClip",
         {header(),
          {0x4025, 0, {7}},
          setClipRect(0, 0, 5, 5),
          {0x4026, 0, {7}},
          fillRect(0, 0, 100, 100)},
         {{90, 90, Red}}},
        {"ContainerEndsTransform",
         {header(), {0x4028, 0, {1}}, translate(60, 60), {0x4029, 0, {1}}, fillRect(0, 0, 10, 10)},
         {{5, 5, Red}, {65, 65, White}}},
        {"DrawLinesWithPen",
         {header(), pen(1, 4, Black), {0x400D, 1, {2, 10.0, 50.0, 90.0, 50.0}}},
         {{50, 50, Black}, {50, 40, White}}},
        // Dashes 18 long, 6 apart, ending flat though the line's ends are
        // round: round ones would close the gaps.
        {"DashesEndFlat",
         {header(),
          {0x4008, 0x201, {Version, 0, 0x22, 0, 6.0, 2, 1, Version, 0, Black}},
          {0x400D, 1, {2, 10.0, 50.0, 90.0, 50.0}}},
         {{20, 50, Black}, {31, 50, White}}},
        // Two fields more than the flags name, as a chemistry program
        // stores them: the brush after them is still the pen's.
        {"PenFieldsItsFlagsDoNotName",
         {header(),
          {0x4008, 0x201, {Version, 0, 0xD0, 0, 4.0, 2, 2, 2.0, 2, 0, Version, 0, Blue}},
          {0x400D, 1, {2, 10.0, 50.0, 90.0, 50.0}}},
         {{50, 50, Blue}}},
        // An arrow anchor at the end: twice the pen's width across, its
        // middle on the line's end, so its tip reaches past the line.
        {"ArrowAnchorAtLineEnd",
         {header(),
          {0x4008, 0x201, {Version, 0, 4, 0, 4.0, 0x14, Version, 0, Black}},
          {0x400D, 1, {2, 10.0, 50.0, 70.0, 50.0}}},
         {{71, 50, Black}, {50, 44, White}}},
        // A custom cap's fill path, its tip on the line's end, as wide as the
        // path times the pen's width.
        {"CustomCapAtLineEnd",
         {header(),
          {0x4008,
           0x201,
           {Version, 0,   0x1004, 0,   2.0, 0xFF, 100,     Version,
            0,       1,   0,      0.0, 0,   0,    0,       10.0,
            1.0,     0.0, 0.0,    0.0, 0.0, 40,   Version, 3,
            0,       1.5, -3.0,   0.0, 0.0, -1.5, -3.0,    Field::raw({0, 1, 0x81, 0}),
            Version, 0,   Black}},
          {0x400D, 1, {2, 10.0, 50.0, 70.0, 50.0}}},
         {{64, 48, Black}, {50, 47, White}}},
        // Relative points: seven-bit offsets from the point before.
        {"RelativePoints",
         {header(),
          {0x400C, Colour | 0x0800, {Red, 4, Field::raw({10, 10, 20, 0, 0, 20, 0x6C, 0})}}},
         {{20, 20, Red}, {5, 5, White}}},
        {"ImageObject",
         {header(),
          twoByTwoRedImage,
          {0x401A, 0, {0xFFFFFFFF, 2, 0.0, 0.0, 2.0, 2.0, 10.0, 10.0, 40.0, 40.0}}},
         {{30, 30, Red}, {60, 60, White}}},
        {"DrawString",
         {header(),
          font(2, 20),
          {0x401C,
           Colour | 2,
           {Black, 0xFFFFFFFF, 2, 10.0, 10.0, 80.0, 40.0, Field::u16('H'), Field::u16('H')}}},
         {},
         true,
         QRect(10, 10, 80, 40)},
        // Without a string format a line starts a sixth of an em in: 5
        // pixels at 30, past the glyph's own bearing.
        {"DrawStringDefaultMargin",
         {header(),
          font(2, 30),
          {0x401C, Colour | 2, {Black, 0xFFFFFFFF, 1, 0.0, 10.0, 90.0, 50.0, Field::u16('H')}}},
         {},
         true,
         QRect(0, 10, 30, 50),
         0,
         QRect(0, 0, 5, 100)},
        // Glyphs squeezed to a line or blown up past any page are not drawn:
        // Qt's glyph cache fails on them.
        {"TextSqueezedFlat",
         {header(),
          font(2, 20),
          {0x402A, 0, {30000.0, 0.0, 0.0, 0.00001, 0.0, 50.0}},
          {0x401C, Colour | 2, {Black, 0xFFFFFFFF, 1, 0.0, 0.0, 0.0, 0.0, Field::u16('W')}}},
         {},
         false},
        {"TextBlownUp",
         {header(),
          font(2, 20),
          {0x402A, 0, {1e9, 0.0, 0.0, 1e9, 0.0, 0.0}},
          {0x401C, Colour | 2, {Black, 0xFFFFFFFF, 1, 0.0, 0.0, 0.0, 0.0, Field::u16('W')}}},
         {},
         false},
        // An object split over two records, the first flagged as continued.
        // White in the middle to navy at 0.7 of the boundary's box.
        {"PathGradientBrush",
         {header(),
          {0x4008,
           0x101,
           {Version, 3, 0, 0, White, 50.0, 50.0, 1, 0xFF000080, 4, 0.0, 0.0, 100.0, 0.0, 100.0,
            100.0, 0.0, 100.0}},
          fillRect(0, 0, 100, 100, 1, 0)},
         {{50, 50, White}, {60, 50, qRgb(219, 219, 237)}},
         true,
         {},
         6},
        // Red to blue over 0..50, tiled flipped down only: x = 60 repeats
        // x = 10, mostly red, rather than mirroring x = 40.
        {"GradientTiledFlippedDown",
         {header(),
          {0x4008, 0x101, {Version, 4, 0, 2, 0.0, 0.0, 50.0, 100.0, Red, Blue, Red, Blue}},
          fillRect(0, 0, 100, 100, 1, 0)},
         {{60, 50, qRgb(204, 0, 51)}},
         true,
         {},
         30},
        {"ContinuedObject",
         {header(),
          {0x4008, 0x8100 | 4, {12, Version, 0}},
          {0x4008, 0x100 | 4, {Blue}},
          fillRect(0, 0, 10, 10, 4, 0)},
         {{5, 5, Blue}}},

        {"RectCountPastTheData",
         {header(), fillRect(0, 0, 50, 50), {0x400A, Colour, {Red, 1000000, 0.0}}},
         {{25, 25, Red}, {75, 75, White}}},
        {"BrushIdOutOfTable", {header(), fillRect(0, 0, 50, 50, 200, 0)}, {{25, 25, White}}, false},
        {"PointCountPastTheData",
         {header(), {0x400C, Colour, {Red, 0x40000000, 10.0, 10.0}}},
         {{10, 10, White}},
         false},
        {"PathTypesMissing",
         {header(), {0x4008, 0x305, {Version, 4, 0, 40.0, 40.0}}, {0x4014, Colour | 5, {Red}}},
         {{50, 50, White}},
         false},
        {"ImageLargerThanItsData",
         {header(),
          {0x4008, 0x500, {Version, 1, 40000, 40000, 160000, 0x0026200A, 0, Red}},
          {0x401A, 0, {0xFFFFFFFF, 2, 0.0, 0.0, 2.0, 2.0, 0.0, 0.0, 40.0, 40.0}}},
         {{20, 20, White}},
         false},
    };
}

class EmfPlusPlay : public ::testing::TestWithParam<PlayCase> {};

TEST_P(EmfPlusPlay, LeavesPixels) {
    const PlayCase& c = GetParam();
    QImage image(100, 100, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    EmfPlusPlayer player(painter);
    player.play(stream(c.records), QTransform());
    painter.end();
    EXPECT_EQ(player.drew(), c.drew);
    for (const Probe& p : c.probes) {
        const QRgb got = image.pixel(p.x, p.y);
        const auto near = [&c](int a, int b) { return std::abs(a - b) <= c.tolerance; };
        EXPECT_TRUE(near(qRed(got), qRed(p.colour)) && near(qGreen(got), qGreen(p.colour)) &&
                    near(qBlue(got), qBlue(p.colour)) && qAlpha(got) == qAlpha(p.colour))
            << "at " << p.x << "," << p.y << ": " << std::hex << got;
    }
    if (!c.inked.isNull()) {
        bool inked = false;
        for (int y = c.inked.top(); y <= c.inked.bottom(); ++y)
            for (int x = c.inked.left(); x <= c.inked.right(); ++x)
                inked |= image.pixel(x, y) != White;
        EXPECT_TRUE(inked);
    }
    for (int y = c.blank.top(); y <= c.blank.bottom(); ++y)
        for (int x = c.blank.left(); x <= c.blank.right(); ++x)
            ASSERT_EQ(image.pixel(x, y), White) << "at " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(, EmfPlusPlay, ::testing::ValuesIn(playCases()),
                         [](const auto& info) { return info.param.name; });

// A clip left on the painter by GDI records (a GetDC section's) does not
// clip the EMF+ records after it; their own clip does.
TEST(EmfPlusClip, PainterClipLeftByGdiDoesNotApply) {
    for (const bool ownClip : {false, true}) {
        QImage image(100, 100, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setClipRect(0, 0, 10, 10);
        EmfPlusPlayer player(painter);
        std::vector<Record> records = {header(), fillRect(0, 0, 100, 100)};
        if (ownClip)
            records.insert(records.begin() + 1, setClipRect(40, 40, 60, 60));
        player.play(stream(records), QTransform());
        painter.end();
        EXPECT_EQ(image.pixel(50, 50), Red) << ownClip;
        EXPECT_EQ(image.pixel(5, 5), ownClip ? White : Red) << ownClip;
    }
}

struct GdiCase {
    std::string name;
    std::vector<Record> records;
    bool skipGdi;
};

class EmfPlusGdi : public ::testing::TestWithParam<GdiCase> {};

TEST_P(EmfPlusGdi, SaysWhetherGdiRecordsDraw) {
    QImage image(10, 10, QImage::Format_ARGB32);
    QPainter painter(&image);
    EmfPlusPlayer player(painter);
    EXPECT_FALSE(player.skipGdi());
    player.play(stream(GetParam().records), QTransform());
    EXPECT_EQ(player.skipGdi(), GetParam().skipGdi);
}

// A metafile inside: not drawn here, so a dual file's GDI records draw it.
const Record metafileImage = {0x4008, 0x501, {Version, 2, 3, 4, 0}};
const Record drawMetafile = {0x401A, 1, {0xFFFFFFFF, 2, 0.0, 0.0, 5.0, 5.0, 0.0, 0.0, 5.0, 5.0}};

INSTANTIATE_TEST_SUITE_P(
    , EmfPlusGdi,
    ::testing::Values(
        GdiCase{"Dual", {header(true), fillRect(0, 0, 5, 5)}, true},
        GdiCase{"EmfPlusOnly", {header(false)}, true},
        GdiCase{"AfterGetDC", {header(true), {0x4004, 0}}, false},
        GdiCase{"DualWithWhatCannotBeDrawn", {header(true), metafileImage, drawMetafile}, false},
        GdiCase{"OnlyDualFilesHaveAlternates", {header(false), metafileImage, drawMetafile}, true}),
    [](const auto& info) { return info.param.name; });

// Every cut of a stream that uses each kind of object, and every byte of it
// spoiled in turn, plays without a fault.
TEST(EmfPlusHostile, CutAndSpoiledStreamsPlay) {
    std::vector<Record> records = {
        header(),
        solidBrush(1, Blue),
        pen(2, 3, Black),
        squarePath(3, 10, 10, 30),
        font(4, 12),
        {0x4008,
         0x405,
         {Version, 1, 0x10000001, 48, Version, 4, 0, 0.0, 0.0, 9.0, 0.0, 9.0, 9.0, 0.0, 9.0,
          Field::raw({0, 1, 1, 0x81})}},
        {0x4034, 0x105, {}},
        {0x4015, 3, {2}},
        {0x401C, 4, {1, 0xFFFFFFFF, 1, 0.0, 0.0, 50.0, 20.0, Field::u16('A')}}};
    const Bytes whole = stream(records);
    QImage image(50, 50, QImage::Format_ARGB32);
    QPainter painter(&image);
    EmfPlusPlayer wholePlayer(painter);
    wholePlayer.play(whole, QTransform());
    ASSERT_TRUE(wholePlayer.drew());
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        EmfPlusPlayer player(painter);
        player.play(std::span(whole).first(cut), QTransform());
    }
    for (std::size_t at = 0; at < whole.size(); ++at) {
        Bytes spoiled = whole;
        spoiled[at] ^= 0xA5;
        EmfPlusPlayer player(painter);
        player.play(spoiled, QTransform());
    }
    SUCCEED();
}

// A fill reaching far past the page (a background many pages wide, or a
// damaged record's) is cut down to the part near it and a line that far out
// is left out, so the drawing stays within what a picture's bounds hold and
// still shows what lies on the page.
TEST(EmfPlusHostile, ShapesReachingFarOffThePageAreCutDown) {
    const Bytes records = stream({header(),
                                  fillRect(0, -4e27, 10, 8e27),
                                  pen(1, 1, Black),
                                  {0x400D, 1, {2, 0.0, 50.0, 5e20, 50.0}}});
    QPicture picture;
    QPainter onPicture(&picture);
    EmfPlusPlayer(onPicture).play(records, QTransform());
    onPicture.end();
    const QRect reach = picture.boundingRect();
    EXPECT_LT(std::max({-reach.left(), -reach.top(), reach.right(), reach.bottom()}), 1'000'000);

    QImage image(100, 100, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter onImage(&image);
    onImage.drawPicture(0, 0, picture);
    onImage.end();
    EXPECT_EQ(image.pixel(5, 5), Red);
    EXPECT_EQ(image.pixel(50, 50), White);

    // A shear so steep that the page, taken back into the shape's space, is
    // a line: nothing of the shape is near, and cutting it must not crash.
    QPicture sheared;
    QPainter onSheared(&sheared);
    EmfPlusPlayer(onSheared).play(
        stream(
            {header(), {0x402A, 0, {1.0, 0.0, 3.87e25, 1.0, 2.0, 2.0}}, fillRect(-32, 10, 20, 20)}),
        QTransform());
    onSheared.end();
    EXPECT_TRUE(sheared.boundingRect().isEmpty());
}

} // namespace
