// SPDX-License-Identifier: GPL-3.0-or-later
// What opening a photo for a pane costs, against the two references that
// matter: the bare libjpeg-turbo decode at 1/8 scale (the least any decoder
// could do) and the naive path of decoding in full and scaling down.
#include "pictures/JpegDecoder.h"
#include "pictures/Picture.h"
#include "support/BenchPictures.h"
#include "support/ExifFixtures.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using sortello::Picture;

constexpr int Width = sortello::bench::CameraWidth;
constexpr int Height = sortello::bench::CameraHeight;
const QSize Pane(400, 300);

using sortello::bench::JpegSample;

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
    for (const char* name : {"camera.jpg", "smooth.jpg", "large.bmp"})
        std::fprintf(stderr, "%s: %.1f MB\n", name,
                     QFile(folder().path() + QLatin1Char('/') + QLatin1String(name)).size() / 1e6);

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
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
