// SPDX-License-Identifier: GPL-3.0-or-later
// What opening a photo for a pane costs, against the two references that
// matter: the bare libjpeg-turbo decode at 1/8 scale (the least any decoder
// could do) and the naive path of decoding in full and scaling down.
#include "pictures/JpegDecoder.h"
#include "pictures/Picture.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <jpeglib.h>

namespace {

using sortello::Picture;

constexpr int Width = 6000;
constexpr int Height = 4000;
const QSize Pane(400, 300);

struct Sample {
    const char* kind;
    int quality;
    int noise; // amplitude of per-pixel noise over the gradient
};

// "camera" stands for a sharp photo at a camera's quality (about 5.7 MB: the
// noise is what makes the size), "smooth" for one with little fine detail.
constexpr Sample Samples[] = {{"camera", 90, 12}, {"smooth", 85, 0}};

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

QString pathOf(const char* kind, const char* extension) {
    return folder().path() + QLatin1Char('/') + QLatin1String(kind) + QLatin1String(extension);
}

void writeJpeg(const Sample& sample) {
    std::FILE* out = std::fopen(QFile::encodeName(pathOf(sample.kind, ".jpg")).constData(), "wb");
    if (!out)
        std::abort();
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, out);
    c.image_width = Width;
    c.image_height = Height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c); // baseline, 4:2:0
    jpeg_set_quality(&c, sample.quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::mt19937 random(42);
    std::uniform_int_distribution<int> noise(-sample.noise, sample.noise);
    std::vector<unsigned char> row(Width * 3);
    while (c.next_scanline < c.image_height) {
        const int y = int(c.next_scanline);
        for (int x = 0; x < Width; ++x) {
            const int base[3] = {x * 255 / Width, y * 255 / Height,
                                 (x + y) * 255 / (Width + Height)};
            for (int i = 0; i < 3; ++i)
                row[3 * x + i] = static_cast<unsigned char>(
                    std::clamp(base[i] + (sample.noise ? noise(random) : 0), 0, 255));
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(out);
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

void floorDecode(benchmark::State& state, const Sample* sample) {
    const QByteArray bytes = bytesOf(pathOf(sample->kind, ".jpg"));
    std::vector<unsigned char> buffer((Width / 8 + 1) * (Height / 8 + 1) * 4);
    for (auto _ : state) {
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr errors;
        cinfo.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.constData()),
                     static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.scale_num = 1;
        cinfo.scale_denom = 8;
        // The fastest settings libjpeg has, though at 1/8 they hardly matter.
        cinfo.dct_method = JDCT_IFAST;
        cinfo.do_fancy_upsampling = FALSE;
        cinfo.out_color_space = JCS_EXT_BGRA;
        jpeg_start_decompress(&cinfo);
        const size_t stride = size_t(cinfo.output_width) * 4;
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW rows[16];
            const unsigned count = std::min(16u, cinfo.output_height - cinfo.output_scanline);
            for (unsigned i = 0; i < count; ++i)
                rows[i] = buffer.data() + (cinfo.output_scanline + i) * stride;
            jpeg_read_scanlines(&cinfo, rows, count);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(buffer.data());
    }
}

void fullPath(benchmark::State& state, const Sample* sample) {
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
    for (const Sample& sample : Samples)
        writeJpeg(sample);
    writeBitmap();
    for (const char* name : {"camera.jpg", "smooth.jpg", "large.bmp"})
        std::fprintf(stderr, "%s: %.1f MB\n", name,
                     QFile(folder().path() + QLatin1Char('/') + QLatin1String(name)).size() / 1e6);

    for (const Sample& sample : Samples) {
        const std::string kind = sample.kind;
        measured(benchmark::RegisterBenchmark(("jpeg_" + kind + "_floor").c_str(), floorDecode,
                                              &sample));
        measured(benchmark::RegisterBenchmark(("jpeg_" + kind + "_full_path").c_str(), fullPath,
                                              &sample));
        measured(benchmark::RegisterBenchmark(("jpeg_" + kind + "_pane_open").c_str(), paneOpen,
                                              pathOf(sample.kind, ".jpg")));
    }
    measured(benchmark::RegisterBenchmark("bmp_pane_open", paneOpen, pathOf("large", ".bmp")));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
