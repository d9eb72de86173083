// SPDX-License-Identifier: GPL-3.0-or-later
// PNG, WebP, TIFF, HEIC and AVIF pictures made here by their own libraries,
// opened through Picture as the panes and the viewer open them.
#include "base/Error.h"
#include "pictures/Picture.h"
#include "pictures/WebpDecoder.h"
#include "support/ErrorText.h"
#include "support/ExifFixtures.h"
#include "support/HeifFixtures.h"
#include "support/TempFiles.h"

#include <QBuffer>
#include <QProcess>
#include <QRegularExpression>
#include <functional>
#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

using namespace sortello;
using sortello::test::readFile;
using sortello::test::TempFolder;
using sortello::test::writeFile;

namespace {

// Quadrants of different colours: a turned, mirrored or channel-swapped
// decode shows in every corner.
const QRgb Quadrants[2][2] = {{qRgb(220, 30, 30), qRgb(30, 200, 40)},
                              {qRgb(40, 60, 230), qRgb(240, 240, 240)}};

QImage quadrants(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, Quadrants[y * 2 / height][x * 2 / width]);
    return image;
}

using sortello::test::messageOf;

QByteArray png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "PNG"));
    return bytes;
}

QByteArray webp(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    uint8_t* out = nullptr;
    const size_t size = WebPEncodeLosslessBGRA(argb.constBits(), argb.width(), argb.height(),
                                               int(argb.bytesPerLine()), &out);
    const QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    WebPFree(out);
    return bytes;
}

// Two frames, a red one for 70 ms and a blue one for 130 ms.
QByteArray animatedWebp() {
    WebPAnimEncoderOptions options;
    WebPAnimEncoderOptionsInit(&options);
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(16, 12, &options);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = 1;
    int timestamp = 0;
    for (const auto& [colour, delay] : {std::pair{qRgb(255, 0, 0), 70}, {qRgb(0, 0, 255), 130}}) {
        QImage frame(16, 12, QImage::Format_ARGB32);
        frame.fill(colour);
        WebPPicture picture;
        WebPPictureInit(&picture);
        picture.use_argb = 1;
        picture.width = 16;
        picture.height = 12;
        WebPPictureImportBGRA(&picture, frame.constBits(), int(frame.bytesPerLine()));
        WebPAnimEncoderAdd(encoder, &picture, timestamp, &config);
        WebPPictureFree(&picture);
        timestamp += delay;
    }
    WebPAnimEncoderAdd(encoder, nullptr, timestamp, &config);
    WebPData data;
    WebPDataInit(&data);
    WebPAnimEncoderAssemble(encoder, &data);
    const QByteArray bytes(reinterpret_cast<const char*>(data.bytes), qsizetype(data.size));
    WebPDataClear(&data);
    WebPAnimEncoderDelete(encoder);
    return bytes;
}

// A clear canvas of `canvas` with `count` red frames of 100 x 100 at (2000, 1500):
// a few kilobytes that would take the whole canvas for every frame to play.
QByteArray sparseAnimatedWebp(const QSize& canvas, int count) {
    QImage red(100, 100, QImage::Format_ARGB32);
    red.fill(qRgb(255, 0, 0));
    const QByteArray still = webp(red);
    WebPMux* mux = WebPMuxNew();
    for (int i = 0; i < count; ++i) {
        WebPMuxFrameInfo frame{};
        frame.bitstream = {reinterpret_cast<const uint8_t*>(still.constData()),
                           size_t(still.size())};
        frame.x_offset = 2000;
        frame.y_offset = 1500;
        frame.duration = 100;
        frame.id = WEBP_CHUNK_ANMF;
        frame.dispose_method = WEBP_MUX_DISPOSE_NONE;
        frame.blend_method = WEBP_MUX_NO_BLEND;
        WebPMuxPushFrame(mux, &frame, 1);
    }
    WebPMuxSetCanvasSize(mux, canvas.width(), canvas.height());
    const WebPMuxAnimParams params{0, 0};
    WebPMuxSetAnimationParams(mux, &params);
    WebPData data;
    WebPDataInit(&data);
    EXPECT_EQ(WebPMuxAssemble(mux, &data), WEBP_MUX_OK);
    const QByteArray bytes(reinterpret_cast<const char*>(data.bytes), qsizetype(data.size));
    WebPDataClear(&data);
    WebPMuxDelete(mux);
    return bytes;
}

QByteArray tiff(const QImage& image) {
    TempFolder dir;
    const QString path = dir.file(QStringLiteral("t.tif"));
    TIFF* out = TIFFOpen(QFile::encodeName(path).constData(), "w");
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, uint32_t(image.width()));
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, uint32_t(image.height()));
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, uint32_t(8));
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < rgb.height(); ++y)
        TIFFWriteScanline(out, const_cast<uchar*>(rgb.constScanLine(y)), uint32_t(y), 0);
    TIFFClose(out);
    return readFile(path);
}

// A HEIC (HEVC) or AVIF (AV1) file, with a thumbnail when `thumbnailSide` is set.
QByteArray heif(const QImage& picture, heif_compression_format format, int thumbnailSide = 0,
                const QByteArray& exif = {}) {
    TempFolder dir;
    const QString path = dir.file(QStringLiteral("t.heif"));
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, format, &encoder);
    heif_encoder_set_lossy_quality(encoder, 90);
    heif_image* image = sortello::test::heifImageOf(picture);
    heif_image_handle* handle = nullptr;
    heif_context_encode_image(context, image, encoder, nullptr, &handle);
    if (!exif.isEmpty())
        heif_context_add_exif_metadata(context, handle, exif.constData(), int(exif.size()));
    if (thumbnailSide > 0) {
        heif_image_handle* thumbnail = nullptr;
        heif_context_encode_thumbnail(context, image, handle, encoder, nullptr, thumbnailSide,
                                      &thumbnail);
        heif_image_handle_release(thumbnail);
    }
    heif_image_handle_release(handle);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_write_to_file(context, QFile::encodeName(path).constData());
    heif_context_free(context);
    return readFile(path);
}

// Debian's libheif stops on an assertion in libaom when it encodes AV1, so
// AVIF files come from libavif's encoder.
QByteArray avif(const QImage& picture) {
    TempFolder dir;
    const QString from = dir.file(QStringLiteral("t.png"));
    const QString to = dir.file(QStringLiteral("t.avif"));
    writeFile(from, png(picture));
    QProcess encoder;
    encoder.start(QStringLiteral("avifenc"),
                  {QStringLiteral("-s"), QStringLiteral("10"), QStringLiteral("-y"),
                   QStringLiteral("420"), from, to});
    EXPECT_TRUE(encoder.waitForFinished(60000)) << "avifenc (libavif-bin) did not run";
    EXPECT_EQ(encoder.exitCode(), 0) << encoder.readAllStandardError().toStdString();
    return readFile(to);
}

struct FormatCase {
    const char* name;
    std::function<QByteArray(const QImage&)> encode;
    PictureKind kind;
    int tolerance; // 0 for lossless encodings
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.name;
}

const FormatCase Formats[] = {
    {"photo.png", png, PictureKind::Png, 0},
    {"photo.WEBP", webp, PictureKind::WebP, 0},
    {"scan.tif", tiff, PictureKind::Tiff, 0},
    {"scan.tiff", tiff, PictureKind::Tiff, 0},
    {"phone.heic", [](const QImage& i) { return heif(i, heif_compression_HEVC); },
     PictureKind::Heif, 24},
    {"phone.avif", avif, PictureKind::Heif, 24},
};

class LibraryFormat : public ::testing::TestWithParam<FormatCase> {
protected:
    TempFolder dir;
};

TEST_P(LibraryFormat, OpensWithItsSizeAndPixels) {
    const FormatCase& c = GetParam();
    const QString path = dir.file(QString::fromLatin1(c.name));
    writeFile(path, c.encode(quadrants(64, 48)));
    const Picture picture = Picture::open(path);
    EXPECT_EQ(picture.kind(), c.kind);
    EXPECT_EQ(picture.size(), QSize(64, 48));
    const QImage full = picture.fullImage();
    ASSERT_EQ(full.size(), QSize(64, 48));
    for (int qy = 0; qy < 2; ++qy) {
        for (int qx = 0; qx < 2; ++qx) {
            const QRgb want = Quadrants[qy][qx];
            const QRgb got = full.pixel(16 + 32 * qx, 12 + 24 * qy);
            EXPECT_NEAR(qRed(got), qRed(want), c.tolerance) << qx << "," << qy;
            EXPECT_NEAR(qGreen(got), qGreen(want), c.tolerance) << qx << "," << qy;
            EXPECT_NEAR(qBlue(got), qBlue(want), c.tolerance) << qx << "," << qy;
            EXPECT_EQ(qAlpha(got), 255);
        }
    }
}

// Cut within its pixel data, a file is reported as damaged in the format's own words, never
// shown as if whole.
TEST_P(LibraryFormat, TruncatedFileIsDamaged) {
    const FormatCase& c = GetParam();
    const QByteArray whole = c.encode(quadrants(64, 48));
    const QString path = dir.file(QString::fromLatin1(c.name));
    const QString format = c.kind == PictureKind::Heif
                               ? (path.endsWith(QLatin1String(".avif")) ? "AVIF" : "HEIF")
                           : c.kind == PictureKind::Png  ? "PNG"
                           : c.kind == PictureKind::Tiff ? "TIFF"
                                                         : "WebP";
    for (const double part : {0.3, 0.6, 0.85}) {
        writeFile(path, whole.left(qsizetype(whole.size() * part)));
        EXPECT_TRUE(
            messageOf([&] {
                Picture::open(path).fullImage();
            }).startsWith(QStringLiteral("\"%1\" is a damaged %2 file: ").arg(path, format)))
            << part << ": " << messageOf([&] { Picture::open(path).fullImage(); }).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LibraryFormat, ::testing::ValuesIn(Formats));

// ---- Hostile headers --------------------------------------------------------------

void putBigEndian(QByteArray& bytes, qsizetype at, quint32 value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (24 - 8 * i));
}

quint32 crc32Of(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFF;
    for (const char c : bytes) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

// A PNG whose header, its checksum right, declares width x height.
QByteArray pngDeclaring(quint32 width, quint32 height) {
    QByteArray bytes = png(quadrants(8, 8));
    putBigEndian(bytes, 16, width);
    putBigEndian(bytes, 20, height);
    putBigEndian(bytes, 29, crc32Of(bytes.mid(12, 17)));
    return bytes;
}

// A WebP of the extended kind whose canvas is width x height, and no more.
QByteArray webpDeclaring(quint32 width, quint32 height) {
    QByteArray chunk("VP8X\x0A\0\0\0\0\0\0\0", 12);
    for (int i = 0; i < 3; ++i) {
        chunk.append(char(((width - 1) >> (8 * i)) & 0xFF));
    }
    for (int i = 0; i < 3; ++i)
        chunk.append(char(((height - 1) >> (8 * i)) & 0xFF));
    QByteArray bytes("RIFF\0\0\0\0WEBP", 12);
    bytes += chunk;
    bytes[4] = char(bytes.size() - 8);
    return bytes;
}

// A TIFF of one strip whose first directory declares width x height.
QByteArray tiffDeclaring(quint32 width, quint32 height) {
    const std::vector<std::tuple<quint16, quint16, quint32>> entries = {
        {256, 4, width}, {257, 4, height}, {258, 3, 8},      {259, 3, 1}, {262, 3, 1},
        {273, 4, 200},   {277, 3, 1},      {278, 4, height}, {279, 4, 16}};
    QByteArray bytes("II*\0\x08\0\0\0", 8);
    const auto put = [&bytes](quint32 value, int size) {
        for (int i = 0; i < size; ++i)
            bytes.append(char((value >> (8 * i)) & 0xFF));
    };
    put(quint32(entries.size()), 2);
    for (const auto& [tag, type, value] : entries) {
        put(tag, 2);
        put(type, 2);
        put(1, 4);
        put(value, 4);
    }
    put(0, 4);
    bytes.append(QByteArray(216 - bytes.size(), '\0'));
    return bytes;
}

// The declared size patched in every 'ispe' property (libheif writes more than one).
QByteArray heicDeclaring(quint32 width, quint32 height) {
    QByteArray bytes = heif(quadrants(64, 48), heif_compression_HEVC);
    for (qsizetype at = bytes.indexOf("ispe"); at >= 0; at = bytes.indexOf("ispe", at + 4)) {
        putBigEndian(bytes, at + 8, width);
        putBigEndian(bytes, at + 12, height);
    }
    return bytes;
}

struct HostileCase {
    const char* name;
    std::function<QByteArray()> contents;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

class HostileHeader : public ::testing::TestWithParam<HostileCase> {};

// A few bytes that declare a picture of billions of pixels are refused before
// any allocation for it, with the clear message, never a crash or a hang.
TEST_P(HostileHeader, IsRefusedWithAClearMessage) {
    TempFolder dir;
    const QString path = dir.file(QString::fromLatin1(GetParam().name));
    writeFile(path, GetParam().contents());
    const QString message = messageOf([&] {
        const Picture picture = Picture::open(path);
        picture.imageFor(QSize(400, 300));
        picture.fullImage();
    });
    EXPECT_TRUE(message.contains(QRegularExpression(
        QStringLiteral("^The picture is too large to show: |^\"[^\"]*\" is a damaged "))))
        << message.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileHeader,
    ::testing::Values(HostileCase{"huge.png", [] { return pngDeclaring(100000, 100000); }},
                      HostileCase{"unbacked.png", [] { return pngDeclaring(16000, 16000); }},
                      HostileCase{"huge.webp", [] { return webpDeclaring(16384, 16384); }},
                      HostileCase{"huge.tif", [] { return tiffDeclaring(100000, 100000); }},
                      HostileCase{"unbacked.tif", [] { return tiffDeclaring(16000, 16000); }},
                      HostileCase{"huge.heic", [] { return heicDeclaring(60000, 60000); }}));

// ---- Scaling at decode time, thumbnails and animation -----------------------------

TEST(LibraryScaling, WebpAndPngDecodeAtTheSizeAskedAndFullForTheViewer) {
    using Encode = QByteArray (*)(const QImage&);
    for (const auto& [name, encode] :
         {std::pair<const char*, Encode>{"big.webp", webp}, {"big.png", png}}) {
        TempFolder dir;
        const QString path = dir.file(QString::fromLatin1(name));
        writeFile(path, encode(quadrants(640, 480)));
        const Picture picture = Picture::open(path);
        const QImage pane = picture.imageFor(QSize(160, 120));
        EXPECT_EQ(pane.size(), QSize(160, 120)) << name;
        EXPECT_NEAR(qGreen(pane.pixel(120, 90)), qGreen(Quadrants[1][1]), 2) << name;
        EXPECT_NEAR(qGreen(pane.pixel(40, 30)), qGreen(Quadrants[0][0]), 2) << name;
        EXPECT_EQ(picture.fullImage().size(), QSize(640, 480)) << name;
    }
    // A sliver narrower than the pane is never scaled up past its own size,
    // and a strip far wider than the pane is reduced to fit it, not to cover it.
    EXPECT_EQ(webpScaledSize(QSize(1, 16000), QSize(400000, 300)), QSize(1, 16000));
    EXPECT_EQ(webpScaledSize(QSize(7733256, 6), QSize(400, 300)), QSize(400, 1));
    EXPECT_EQ(webpScaledSize(QSize(20000, 1000), QSize(400, 300)), QSize(6000, 300));
}

TEST(LibraryScaling, AnimationTooLargeToPlayShowsItsFirstFrameAtThePanesSize) {
    // Frames that together pass the bound, and a single frame.
    for (const int count : {7, 1}) {
        TempFolder dir;
        const QString path = dir.file(QStringLiteral("sparse.webp"));
        writeFile(path, sparseAnimatedWebp(QSize(4000, 3000), count));
        const Picture picture = Picture::open(path);
        EXPECT_EQ(picture.size(), QSize(4000, 3000));
        EXPECT_TRUE(picture.frames().isEmpty());
        const QImage pane = picture.imageFor(QSize(400, 300));
        ASSERT_EQ(pane.size(), QSize(400, 300)) << count;
        EXPECT_EQ(pane.pixel(205, 155), qRgb(255, 0, 0));
        EXPECT_EQ(qAlpha(pane.pixel(100, 100)), 0);
        EXPECT_EQ(picture.fullImage().pixel(2050, 1550), qRgb(255, 0, 0));
    }
}

TEST(LibraryScaling, HeicUsesItsThumbnailOnlyWhereItCoversThePane) {
    TempFolder dir;
    const QString path = dir.file(QStringLiteral("thumbs.heic"));
    writeFile(path, heif(quadrants(640, 480), heif_compression_HEVC, 320));
    const Picture picture = Picture::open(path);
    EXPECT_EQ(picture.size(), QSize(640, 480));
    EXPECT_EQ(picture.imageFor(QSize(200, 150)).size(), QSize(320, 240));
    EXPECT_EQ(picture.imageFor(QSize(400, 300)).size(), QSize(640, 480));
    const QImage thumbnail = picture.imageFor(QSize(200, 150));
    EXPECT_NEAR(qBlue(thumbnail.pixel(80, 180)), qBlue(Quadrants[1][0]), 24);
}

TEST(LibraryScaling, AnimatedWebpPlaysItsFramesWithTheirDelays) {
    TempFolder dir;
    const QString path = dir.file(QStringLiteral("moving.webp"));
    writeFile(path, animatedWebp());
    const Picture picture = Picture::open(path);
    EXPECT_EQ(picture.size(), QSize(16, 12));
    ASSERT_EQ(picture.frames().size(), 2);
    EXPECT_EQ(picture.frames()[0].delayMs, 70);
    EXPECT_EQ(picture.frames()[1].delayMs, 130);
    EXPECT_EQ(picture.frames()[1].image.pixel(5, 5), qRgb(0, 0, 255));
    EXPECT_EQ(picture.imageFor(QSize(8, 6)).pixel(5, 5), qRgb(255, 0, 0));
}

TEST(LibraryScaling, TransparentPngKeepsItsAlpha) {
    TempFolder dir;
    const QString path = dir.file(QStringLiteral("clear.png"));
    QImage image(10, 10, QImage::Format_ARGB32);
    image.fill(qRgba(10, 20, 30, 0));
    image.setPixel(2, 3, qRgba(200, 100, 50, 255));
    writeFile(path, png(image));
    const QImage decoded = Picture::open(path).fullImage();
    EXPECT_EQ(qAlpha(decoded.pixel(0, 0)), 0);
    EXPECT_EQ(decoded.pixel(2, 3), qRgba(200, 100, 50, 255));
}

// ---- EXIF: turned and dated as the camera said ------------------------------------

// A landscape picture whose EXIF says to turn it right (6), as a phone held
// upright stores it, taken 2024-01-02 03:04:05.
QByteArray turnedExif() {
    return sortello::test::exifBlock(6, "2024:01:02 03:04:05");
}

QByteArray pngWithExif(const QImage& image) {
    QByteArray bytes = png(image);
    const QByteArray data = turnedExif();
    QByteArray chunk(4, '\0');
    putBigEndian(chunk, 0, quint32(data.size()));
    const QByteArray body = "eXIf" + data;
    chunk += body + QByteArray(4, '\0');
    putBigEndian(chunk, chunk.size() - 4, crc32Of(body));
    return bytes.insert(33, chunk); // right after the header chunk
}

QByteArray webpWithExif(const QImage& image) {
    TempFolder dir;
    const QString from = dir.file(QStringLiteral("t.jpg"));
    const QString to = dir.file(QStringLiteral("t.webp"));
    writeFile(from, sortello::test::withExif(sortello::test::jpegOf(image), turnedExif()));
    QProcess encoder;
    encoder.start(QStringLiteral("cwebp"),
                  {QStringLiteral("-quiet"), QStringLiteral("-metadata"), QStringLiteral("exif"),
                   from, QStringLiteral("-o"), to});
    EXPECT_TRUE(encoder.waitForFinished(60000)) << "cwebp (webp) did not run";
    return readFile(to);
}

TEST(LibraryExif, PngAndWebpAreTurnedUprightAndHeifKeepsItsOwnRotation) {
    const struct {
        const char* name;
        std::function<QByteArray(const QImage&)> encode;
        QSize shown;
    } cases[] = {
        {"turned.png", pngWithExif, QSize(48, 64)},
        {"turned.webp", webpWithExif, QSize(48, 64)},
        // libheif turns a HEIF by its own rotation; its EXIF orientation only
        // repeats that, and must not turn it again.
        {"dated.heic",
         [](const QImage& image) {
             return heif(image, heif_compression_HEVC, 0, QByteArray(4, '\0') + turnedExif());
         },
         QSize(64, 48)},
    };
    for (const auto& c : cases) {
        TempFolder dir;
        const QString path = dir.file(QString::fromLatin1(c.name));
        writeFile(path, c.encode(quadrants(64, 48)));
        const Picture picture = Picture::open(path);
        EXPECT_EQ(picture.size(), c.shown) << c.name;
        const QImage pane = picture.imageFor(c.shown);
        EXPECT_EQ(pane.size(), c.shown) << c.name;
        // Turned right, the stored top-left corner is at the top right.
        const QPoint topLeftShown =
            c.shown.width() < c.shown.height() ? QPoint(40, 8) : QPoint(8, 8);
        EXPECT_NEAR(qRed(pane.pixel(topLeftShown)), qRed(Quadrants[0][0]), 24) << c.name;
        ASSERT_TRUE(picture.taken().has_value()) << c.name;
        EXPECT_EQ(picture.taken()->toString(Qt::ISODate), QStringLiteral("2024-01-02T03:04:05"))
            << c.name;
    }
}

} // namespace
