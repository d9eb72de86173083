// SPDX-License-Identifier: GPL-3.0-or-later
// WMF files drawn through the helper program: how large a picture is, how
// its device area maps to that size, and which code page its text is in.
#include "pictures/MetafileDecoder.h"
#include "support/MetafileFixtures.h"
#include "support/TempFiles.h"

#include <QCoreApplication>
#include <QXmlStreamReader>
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
