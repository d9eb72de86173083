// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a metafile in a pane: the helper program converts it to SVG, then
// Qt draws the SVG at the pane's size. Starting the helper is part of the
// price, so both steps are timed together. A metafile declaring a poster's
// size is opened for the viewer, which asks for it at its own size.
// With SORTELLO_BENCH_METAFILES naming a folder of real metafiles, each of
// them is opened for a pane too, and the slowest one's time is a figure.
#include "pictures/MetafileDecoder.h"
#include "pictures/Picture.h"
#include "support/MetafileFixtures.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

QString wmfSample;
QString emfSample;
QString posterSample;

sortello::test::MetafileSample sample() {
    sortello::test::MetafileSample drawing;
    drawing.size = {800, 600};
    drawing.shape = {100, 80, 600, 440};
    drawing.kind = sortello::test::MetafileShape::Ellipse;
    drawing.text = QStringLiteral("Sortello");
    return drawing;
}

void openInPane(benchmark::State& state, const QString& path) {
    QImage pane(400, 300, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        try {
            const sortello::MetafileRendering rendering = sortello::renderMetafile(path);
            QSvgRenderer renderer(rendering.svg);
            pane.fill(Qt::white);
            QPainter painter(&pane);
            renderer.render(&painter);
        } catch (const std::exception& error) {
            state.SkipWithError(error.what());
            break;
        }
        benchmark::DoNotOptimize(pane.constBits());
    }
}

void wmf_pane_open(benchmark::State& state) {
    openInPane(state, wmfSample);
}
BENCHMARK(wmf_pane_open)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

void emf_pane_open(benchmark::State& state) {
    openInPane(state, emfSample);
}
BENCHMARK(emf_pane_open)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

// 16800 x 11200 pixels at 96 dpi, 188 megapixels: 4.4 m x 3 m.
void emf_viewer_poster_open(benchmark::State& state) {
    for (auto _ : state) {
        try {
            const QImage image = sortello::Picture::open(posterSample).fullImage();
            benchmark::DoNotOptimize(image.constBits());
        } catch (const std::exception& error) {
            state.SkipWithError(error.what());
            break;
        }
    }
}
BENCHMARK(emf_viewer_poster_open)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// Every .wmf and .emf under the folder, opened as the program opens a picture
// for a pane; the figure is the slowest file's time, the label its name. A
// file the program refuses counts with the time it took to refuse it.
void metafile_slowest_pane_open(benchmark::State& state, const QString& folder) {
    QStringList paths;
    QDirIterator files(folder, {QStringLiteral("*.wmf"), QStringLiteral("*.emf")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext())
        paths << files.next();
    paths.sort();
    if (paths.isEmpty()) {
        state.SkipWithError("no .wmf or .emf files in SORTELLO_BENCH_METAFILES");
        return;
    }
    for (auto _ : state) {
        double slowest = 0;
        QString slowestPath;
        for (const QString& path : paths) {
            QElapsedTimer timer;
            timer.start();
            try {
                const QImage shown = sortello::Picture::open(path).imageFor(QSize(400, 300));
                benchmark::DoNotOptimize(shown.constBits());
            } catch (const std::exception&) {
            }
            const double seconds = timer.nsecsElapsed() / 1e9;
            if (seconds > slowest) {
                slowest = seconds;
                slowestPath = path;
            }
        }
        state.SetIterationTime(slowest);
        state.SetLabel(QFileInfo(slowestPath).fileName().toStdString());
    }
    state.counters["files"] = double(paths.size());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // The build puts the helper one folder above the benchmark programs.
    const QString built = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                          QStringLiteral("/../sortello-metafile"));
    if (qEnvironmentVariableIsEmpty("SORTELLO_METAFILE_HELPER") && QFileInfo(built).isExecutable())
        qputenv("SORTELLO_METAFILE_HELPER", QFile::encodeName(built));

    QTemporaryDir dir;
    wmfSample = dir.filePath(QStringLiteral("sample.wmf"));
    emfSample = dir.filePath(QStringLiteral("sample.emf"));
    posterSample = dir.filePath(QStringLiteral("poster.emf"));
    sortello::test::MetafileSample poster = sample();
    poster.size = {16800, 11200};
    poster.shape = {2100, 1400, 12600, 8400};
    if (!dir.isValid() || !sortello::test::writeWmf(wmfSample, sample()) ||
        !sortello::test::writeEmf(emfSample, sample()) ||
        !sortello::test::writeEmf(posterSample, poster)) {
        std::fprintf(stderr, "cannot write the sample metafiles in %s\n", qPrintable(dir.path()));
        return 1;
    }
    const QString corpus = qEnvironmentVariable("SORTELLO_BENCH_METAFILES");
    if (corpus.isEmpty())
        std::fprintf(stderr, "metafile_slowest_pane_open skipped: set SORTELLO_BENCH_METAFILES to "
                             "a folder of real metafiles\n");
    else
        benchmark::RegisterBenchmark("metafile_slowest_pane_open", metafile_slowest_pane_open,
                                     corpus)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
