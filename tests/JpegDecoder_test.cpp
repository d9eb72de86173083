// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Error.h"
#include "pictures/JpegDecoder.h"
#include "support/ErrorText.h"
#include "support/TempFiles.h"

#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

#include <jerror.h>

using namespace sortello;
using sortello::test::TempFolder;
using sortello::test::writeFile;

namespace {

enum class Layout { Yuv420, Yuv444, Grey, AdobeCmyk, PlainCmyk, Ycck };

const QRgb Red = qRgb(220, 30, 30);
const QRgb Blue = qRgb(30, 30, 220);

// Compresses a picture, red on the left half and blue on the right, with
// libjpeg itself, so that each layout the decoder must handle is made exactly.
QByteArray compressJpeg(int width, int height, Layout layout,
                        const std::vector<jpeg_scan_info>& scans = {}) {
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = unsigned(width);
    c.image_height = unsigned(height);
    const bool grey = layout == Layout::Grey;
    const bool cmyk = layout >= Layout::AdobeCmyk;
    c.input_components = grey ? 1 : cmyk ? 4 : 3;
    c.in_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 92, TRUE);
    if (layout == Layout::Ycck)
        jpeg_set_colorspace(&c, JCS_YCCK);
    c.write_Adobe_marker = layout == Layout::PlainCmyk ? FALSE : c.write_Adobe_marker;
    c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = layout == Layout::Yuv420 ? 2 : 1;
    c.scan_info = scans.empty() ? nullptr : scans.data();
    c.num_scans = scans.empty() ? c.num_scans : int(scans.size());
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(size_t(width) * 4);
    while (c.next_scanline < c.image_height) {
        for (int x = 0; x < width; ++x) {
            const QRgb rgb = x < width / 2 ? Red : Blue;
            const int channels[4] = {qRed(rgb), qGreen(rgb), qBlue(rgb), 255};
            unsigned char* p = row.data() + x * c.input_components;
            p[0] = uchar(grey ? qGray(rgb) : channels[0]);
            // Adobe's writers store CMYK inverted (here K = 0, so C = 255 - R
            // inverted is R); the plain file holds the true values.
            for (int i = 1; i < c.input_components; ++i)
                p[i] = uchar(channels[i]);
            if (layout == Layout::PlainCmyk)
                for (int i = 0; i < 4; ++i)
                    p[i] = uchar(255 - p[i]);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

void expectNear(QRgb actual, QRgb expected) {
    EXPECT_NEAR(qRed(actual), qRed(expected), 14);
    EXPECT_NEAR(qGreen(actual), qGreen(expected), 14);
    EXPECT_NEAR(qBlue(actual), qBlue(expected), 14);
    EXPECT_EQ(qAlpha(actual), 255);
}

using sortello::test::messageOf;

QString fixture(const char* name) {
    return QStringLiteral(SORTELLO_FIXTURES "/") + QLatin1String(name);
}

struct LayoutCase {
    const char* title;
    Layout layout;
    int width;
    int height;
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.title;
}

class JpegLayouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(JpegLayouts, SizeFromHeaderAndColoursDecoded) {
    const LayoutCase& c = GetParam();
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("p.jpg"));
    writeFile(path, compressJpeg(c.width, c.height, c.layout));
    EXPECT_EQ(readJpegSize(path), QSize(c.width, c.height));
    const QImage image = decodeJpeg(path, 8);
    ASSERT_EQ(image.size(), QSize(c.width, c.height));
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    const bool grey = c.layout == Layout::Grey;
    expectNear(image.pixel(c.width / 4, c.height / 2), grey ? qRgb(95, 95, 95) : Red);
    expectNear(image.pixel(c.width * 3 / 4, c.height / 2), grey ? qRgb(59, 59, 59) : Blue);
}

INSTANTIATE_TEST_SUITE_P(Cases, JpegLayouts,
                         ::testing::Values(LayoutCase{"4:2:0", Layout::Yuv420, 97, 61},
                                           LayoutCase{"4:4:4", Layout::Yuv444, 64, 40},
                                           LayoutCase{"greyscale", Layout::Grey, 50, 33},
                                           LayoutCase{"Adobe CMYK", Layout::AdobeCmyk, 48, 32},
                                           LayoutCase{"plain CMYK", Layout::PlainCmyk, 48, 32},
                                           LayoutCase{"YCCK", Layout::Ycck, 48, 32}));

struct ScaleCase {
    QSize own;
    QSize target;
    QSize expected;
};

void PrintTo(const ScaleCase& c, std::ostream* os) {
    *os << c.own.width() << "x" << c.own.height() << " for " << c.target.width() << "x"
        << c.target.height();
}

class JpegScale : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(JpegScale, SmallestScaleCoveringTheTarget) {
    const ScaleCase& c = GetParam();
    EXPECT_EQ(jpegScaledSize(c.own, jpegScaleFor(c.own, c.target)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, JpegScale,
                         ::testing::Values(ScaleCase{{6000, 4000}, {400, 300}, {750, 500}},
                                           ScaleCase{{800, 600}, {400, 300}, {400, 300}},
                                           ScaleCase{{800, 600}, {401, 300}, {800, 600}},
                                           ScaleCase{{6000, 4000}, {750, 501}, {1500, 1000}},
                                           ScaleCase{{640, 480}, {1920, 1080}, {640, 480}},
                                           ScaleCase{{4000, 6000}, {400, 300}, {500, 750}},
                                           ScaleCase{{1001, 999}, {126, 125}, {126, 125}},
                                           ScaleCase{{100, 100}, {0, 0}, {13, 13}}));

// The cache is keyed by the size computed here, so it must be libjpeg's own.
TEST(JpegDecoder, OutputSizeMatchesLibjpegRoundingAtEveryScale) {
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("odd.jpg"));
    writeFile(path, compressJpeg(1001, 99, Layout::Yuv420));
    for (const int eighths : {1, 2, 4, 8})
        EXPECT_EQ(decodeJpeg(path, eighths).size(), jpegScaledSize(QSize(1001, 99), eighths));
}

TEST(JpegDecoder, ProgressSeesBandsOfIncreasingRows) {
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("tall.jpg"));
    writeFile(path, compressJpeg(120, 1000, Layout::Yuv420));
    std::vector<int> rows;
    const QImage image = decodeJpeg(path, 8, [&](const QImage& partial, int done) {
        EXPECT_EQ(partial.size(), QSize(120, 1000));
        expectNear(partial.pixel(100, done - 1), Blue); // the rows reported are there
        rows.push_back(done);
    });
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end()));
    EXPECT_EQ(std::adjacent_find(rows.begin(), rows.end()), rows.end());
    EXPECT_EQ(rows.back(), 1000);
    EXPECT_GE(rows.size(), 10u);
    EXPECT_LE(rows.size(), 20u) << "called per band, not per row";
    expectNear(image.pixel(10, 999), Red);
    // A receiver's exception ends the decode and reaches the caller.
    EXPECT_THROW(decodeJpeg(path, 8, [](const QImage&, int) { throw std::runtime_error("stop"); }),
                 std::runtime_error);
}

TEST(JpegDecoder, DamagedFilesOpenByTheirHeaderAndFailToDecode) {
    EXPECT_EQ(readJpegSize(fixture("truncated.jpg")), QSize(96, 64));
    EXPECT_EQ(messageOf([] { decodeJpeg(fixture("truncated.jpg"), 8); }),
              QStringLiteral("JPEG error #%1").arg(int(JWRN_JPEG_EOF)));
    EXPECT_EQ(readJpegSize(fixture("garbage-scan.jpg")), QSize(320, 240));
    const QRegularExpression jpegError(QStringLiteral("^JPEG error #\\d+$"));
    for (const int eighths : {1, 8})
        EXPECT_TRUE(
            jpegError.match(messageOf([&] { decodeJpeg(fixture("garbage-scan.jpg"), eighths); }))
                .hasMatch());
}

TEST(JpegDecoder, TooManyProgressiveScansAreRefused) {
    // A legal script of 2 + 3 * 63 * 3 scans: one coefficient of one component
    // per scan, refined bit by bit.
    std::vector<jpeg_scan_info> scans{{3, {0, 1, 2, 0}, 0, 0, 0, 1}, {3, {0, 1, 2, 0}, 0, 0, 1, 0}};
    for (int component = 0; component < 3; ++component)
        for (int k = 1; k < 64; ++k)
            for (const auto& [ah, al] : {std::pair{0, 2}, {2, 1}, {1, 0}})
                scans.push_back({1, {component, 0, 0, 0}, k, k, ah, al});
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("scans.jpg"));
    writeFile(path, compressJpeg(16, 16, Layout::Yuv444, scans));
    EXPECT_EQ(readJpegSize(path), QSize(16, 16));
    EXPECT_TRUE(messageOf([&] {
                    decodeJpeg(path, 8);
                }).endsWith(QStringLiteral("has more than 500 progressive scans")));
}

} // namespace
