// SPDX-License-Identifier: GPL-3.0-or-later
// What opening a photo for a pane costs, against the two references that
// matter: the bare libjpeg-turbo decode at 1/8 scale (the least any decoder
// could do) and the naive path of decoding in full and scaling down. PNG,
// WebP, TIFF and HEIC are held against their own library's bare decode at the
// size Sortello asks of it, and set beside Qt's image plugins where present.
#include "pictures/JpegDecoder.h"
#include "pictures/Picture.h"
#include "pictures/WebpDecoder.h"
#include "support/BenchMemory.h"
#include "support/BenchPictures.h"
#include "support/ExifFixtures.h"
#include "support/HeifFixtures.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <libheif/heif.h>
#include <memory>
#include <png.h>
#include <tiffio.h>
#include <vector>
#include <webp/decode.h>
#include <webp/encode.h>

namespace {

using sortello::Picture;

constexpr int Width = sortello::bench::CameraWidth;
constexpr int Height = sortello::bench::CameraHeight;
const QSize Pane(400, 300);

using sortello::bench::JpegSample;
using sortello::bench::resetPeakMemory;
using sortello::bench::statusKilobytes;

constexpr JpegSample Samples[] = {sortello::bench::CameraSample, sortello::bench::SmoothSample};

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

QString pathOf(const char* kind, const char* extension) {
    return folder().path() + QLatin1Char('/') + QLatin1String(kind) + QLatin1String(extension);
}

void writeBitmap() {
    QImage image(Width, Height, QImage::Format_RGB32);
    for (int y = 0; y < Height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < Width; ++x)
            row[x] = qRgb(x * 255 / Width, y * 255 / Height, 90);
    }
    if (!image.save(pathOf("large", ".bmp"), "BMP"))
        std::abort();
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        std::abort();
    return file.readAll();
}

void floorDecode(benchmark::State& state, const JpegSample* sample) {
    const QByteArray bytes = bytesOf(pathOf(sample->kind, ".jpg"));
    for (auto _ : state)
        sortello::bench::decodeAtOneEighth(bytes);
}

void fullPath(benchmark::State& state, const JpegSample* sample) {
    const QString path = pathOf(sample->kind, ".jpg");
    for (auto _ : state) {
        const QImage full = sortello::decodeJpeg(path, 8);
        const QImage shown = full.scaled(Pane, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        benchmark::DoNotOptimize(shown.constBits());
    }
}

void paneOpen(benchmark::State& state, const QString& path) {
    for (auto _ : state) {
        const Picture picture = Picture::open(path);
        const QImage shown = picture.imageFor(Pane);
        benchmark::DoNotOptimize(shown.constBits());
    }
}

// ---- PNG, WebP, TIFF and HEIC --------------------------------------------------

// A gradient with some per-pixel noise, so that the files have a photo's size.
QImage photo() {
    QImage image(Width, Height, QImage::Format_RGB32);
    QRandomGenerator noise(7);
    for (int y = 0; y < Height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < Width; ++x) {
            const int n = int(noise.bounded(24)) - 12;
            row[x] = qRgb(qBound(0, x * 255 / Width + n, 255), qBound(0, y * 255 / Height + n, 255),
                          qBound(0, 90 + n, 255));
        }
    }
    return image;
}

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::abort();
}

void writeWebp(const QImage& image) {
    uint8_t* out = nullptr;
    const size_t size = WebPEncodeBGRA(image.constBits(), image.width(), image.height(),
                                       int(image.bytesPerLine()), 85, &out);
    if (size == 0)
        std::abort();
    write(pathOf("large", ".webp"),
          QByteArray(reinterpret_cast<const char*>(out), qsizetype(size)));
    WebPFree(out);
}

void writeTiff(const QImage& image) {
    TIFF* out = TIFFOpen(QFile::encodeName(pathOf("large", ".tif")).constData(), "w");
    if (!out)
        std::abort();
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, uint32_t(image.width()));
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, uint32_t(image.height()));
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(out, TIFFTAG_PREDICTOR, uint16_t(2));
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, uint32_t(64));
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < rgb.height(); ++y)
        TIFFWriteScanline(out, const_cast<uchar*>(rgb.constScanLine(y)), uint32_t(y), 0);
    TIFFClose(out);
}

// As a phone writes them: HEVC with a 320-pixel thumbnail, which does not
// cover the pane, so the primary image is what the pane decodes.
void writeHeic(const QImage& picture) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_encoder_set_lossy_quality(encoder, 85);
    heif_encoder_set_parameter(encoder, "preset", "ultrafast");
    heif_image* image = sortello::test::heifImageOf(picture);
    heif_image_handle* handle = nullptr;
    heif_image_handle* thumbnail = nullptr;
    if (heif_context_encode_image(context, image, encoder, nullptr, &handle).code !=
            heif_error_Ok ||
        heif_context_encode_thumbnail(context, image, handle, encoder, nullptr, 320, &thumbnail)
                .code != heif_error_Ok ||
        heif_context_write_to_file(context, QFile::encodeName(pathOf("large", ".heic")).constData())
                .code != heif_error_Ok)
        std::abort();
    heif_image_handle_release(thumbnail);
    heif_image_handle_release(handle);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
}

// The bare decodes: the library into a new buffer of its own (new, as every
// decode for a pane needs one), from bytes in memory. PNG's is the least
// libpng does for the whole picture: its row-by-row interface with no
// transform at all, each row into the same buffer.
void pngReadFromBytes(png_structp png, png_bytep into, size_t count) {
    auto* at = static_cast<const char**>(png_get_io_ptr(png));
    std::memcpy(into, *at, count);
    *at += count;
}

void pngFloor(benchmark::State& state) {
    const QByteArray bytes = bytesOf(pathOf("large", ".png"));
    for (auto _ : state) {
        const char* at = bytes.constData();
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_read_fn(png, &at, pngReadFromBytes);
        png_read_info(png, info);
        const std::unique_ptr<uint8_t[]> row(new uint8_t[png_get_rowbytes(png, info)]);
        for (png_uint_32 y = 0; y < png_get_image_height(png, info); ++y)
            png_read_row(png, row.get(), nullptr);
        benchmark::DoNotOptimize(row.get());
        png_destroy_read_struct(&png, &info, nullptr);
    }
}

// Qt's own PNG reader, the whole picture, as a pane that scaled it would need.
void pngQtRead(benchmark::State& state) {
    const QString path = pathOf("large", ".png");
    for (auto _ : state) {
        QImageReader reader(path);
        const QImage image = reader.read();
        if (image.isNull())
            std::abort();
        benchmark::DoNotOptimize(image.constBits());
    }
}

// The peak resident memory of opening a picture for a pane, above what the
// process held before, the file's bytes included.
void paneOpenPeak(benchmark::State& state, const QString& path) {
    double aboveIdle = 0;
    for (auto _ : state) {
        if (!resetPeakMemory())
            state.SkipWithError("cannot reset the peak figure");
        const qint64 idle = statusKilobytes("VmRSS:");
        {
            const Picture picture = Picture::open(path);
            const QImage shown = picture.imageFor(Pane);
            benchmark::DoNotOptimize(shown.constBits());
        }
        aboveIdle = (statusKilobytes("VmHWM:") - idle) / 1024.0;
    }
    state.counters["mib_above_idle"] = aboveIdle;
}

void webpFloor(benchmark::State& state) {
    const QByteArray bytes = bytesOf(pathOf("large", ".webp"));
    const QSize size = sortello::webpScaledSize(QSize(Width, Height), Pane);
    for (auto _ : state) {
        WebPDecoderConfig config;
        WebPInitDecoderConfig(&config);
        config.options.use_scaling = 1;
        config.options.scaled_width = size.width();
        config.options.scaled_height = size.height();
        config.output.colorspace = MODE_BGRA;
        WebPDecode(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                   &config);
        benchmark::DoNotOptimize(config.output.u.RGBA.rgba);
        WebPFreeDecBuffer(&config.output);
    }
}

void tiffFloor(benchmark::State& state) {
    const QString path = pathOf("large", ".tif");
    for (auto _ : state) {
        const std::unique_ptr<uint32_t[]> pixels(new uint32_t[size_t(Width) * Height]);
        TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "rm");
        TIFFReadRGBAImageOriented(tiff, Width, Height, pixels.get(), ORIENTATION_TOPLEFT, 1);
        TIFFClose(tiff);
        benchmark::DoNotOptimize(pixels.get());
    }
}

void heicFloor(benchmark::State& state) {
    const QByteArray bytes = bytesOf(pathOf("large", ".heic"));
    for (auto _ : state) {
        heif_context* context = heif_context_alloc();
        heif_context_read_from_memory_without_copy(context, bytes.constData(), size_t(bytes.size()),
                                                   nullptr);
        heif_image_handle* handle = nullptr;
        heif_context_get_primary_image_handle(context, &handle);
        heif_image* image = nullptr;
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA,
                          nullptr);
        benchmark::DoNotOptimize(image);
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_context_free(context);
    }
}

// Qt's reader for the format, asked for the pane-covering size as a pane would.
void qtPluginPaneOpen(benchmark::State& state, const QString& path) {
    for (auto _ : state) {
        QImageReader reader(path);
        reader.setScaledSize(QSize(Width, Height).scaled(Pane, Qt::KeepAspectRatioByExpanding));
        const QImage shown = reader.read();
        if (shown.isNull())
            std::abort();
        benchmark::DoNotOptimize(shown.constBits());
    }
}

benchmark::internal::Benchmark* measured(benchmark::internal::Benchmark* b) {
    return b->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (!folder().isValid())
        return 1;
    for (const JpegSample& sample : Samples)
        sortello::bench::writeSampleJpeg(pathOf(sample.kind, ".jpg"), sample);
    writeBitmap();
    // The camera picture again as a phone held upright stores it: the same
    // scan, turned by its EXIF orientation.
    {
        QFile rotated(pathOf("rotated", ".jpg"));
        if (!rotated.open(QIODevice::WriteOnly) ||
            rotated.write(sortello::test::withExif(bytesOf(pathOf("camera", ".jpg")),
                                                   sortello::test::exifBlock(6))) < 0)
            return 1;
    }
    {
        const QImage large = photo();
        if (!large.save(pathOf("large", ".png"), "PNG"))
            std::abort();
        writeWebp(large);
        writeTiff(large);
        writeHeic(large);
    }
    for (const char* name : {"camera.jpg", "smooth.jpg", "large.bmp", "large.png", "large.webp",
                             "large.tif", "large.heic"})
        std::fprintf(stderr, "%s: %.1f MB\n", name,
                     QFile(folder().path() + QLatin1Char('/') + QLatin1String(name)).size() / 1e6);

    // Memory first, before other benchmarks have grown the heap.
    for (const auto& [name, extension] :
         {std::pair{"png_pane_open_peak", ".png"}, std::pair{"tiff_pane_open_peak", ".tif"}})
        benchmark::RegisterBenchmark(name, paneOpenPeak, pathOf("large", extension))
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    for (const JpegSample& sample : Samples) {
        const std::string kind = sample.kind;
        measured(benchmark::RegisterBenchmark(("jpeg_" + kind + "_floor").c_str(), floorDecode,
                                              &sample));
        measured(benchmark::RegisterBenchmark(("jpeg_" + kind + "_full_path").c_str(), fullPath,
                                              &sample));
        measured(benchmark::RegisterBenchmark(("jpeg_" + kind + "_pane_open").c_str(), paneOpen,
                                              pathOf(sample.kind, ".jpg")));
    }
    measured(benchmark::RegisterBenchmark("jpeg_rotated_pane_open", paneOpen,
                                          pathOf("rotated", ".jpg")));
    measured(benchmark::RegisterBenchmark("bmp_pane_open", paneOpen, pathOf("large", ".bmp")));
    const std::pair<const char*, void (*)(benchmark::State&)> floors[] = {
        {"png", pngFloor}, {"webp", webpFloor}, {"tiff", tiffFloor}, {"heic", heicFloor}};
    const QList<QByteArray> plugins = QImageReader::supportedImageFormats();
    measured(benchmark::RegisterBenchmark("png_qt_read_full", pngQtRead));
    for (const auto& [format, floor] : floors) {
        const std::string name = format;
        const char* extension = name == "tiff"   ? ".tif"
                                : name == "png"  ? ".png"
                                : name == "webp" ? ".webp"
                                                 : ".heic";
        measured(benchmark::RegisterBenchmark((name + "_floor").c_str(), floor));
        measured(benchmark::RegisterBenchmark((name + "_pane_open").c_str(), paneOpen,
                                              pathOf("large", extension)));
        if (plugins.contains(QByteArray(extension + 1)))
            measured(benchmark::RegisterBenchmark((name + "_qt_plugin_pane_open").c_str(),
                                                  qtPluginPaneOpen, pathOf("large", extension)));
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
