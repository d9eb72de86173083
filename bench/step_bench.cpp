// SPDX-License-Identifier: GPL-3.0-or-later
// Steps through 30 pairs of 24 MP photos in the real main window, keys into
// the file list and a real event loop, measuring from the key to both panes
// and the grid painted: with a pause between keys (the pair decoded ahead),
// and with a held key. Every paint of a pane or the grid is checked to show
// one entry only. One run each: a run takes tens of seconds.
#include "pictures/Picture.h"
#include "support/BenchPictures.h"
#include "support/SilentPrompts.h"
#include "widgets/ComparisonGrid.h"
#include "widgets/FileListBox.h"
#include "widgets/PictureBox.h"
#include "windows/SRMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

using namespace sortello;

constexpr int Pairs = 30;
constexpr int HeldKeys = 10;
constexpr int HeldKeyGapMs = 33;

using bench::SilentPrompts;

// Counts painted frames where the panes and the grid show different entries.
class PairWatch : public QObject {
public:
    PairWatch(PictureBox* fresh, PictureBox* existing, ComparisonGrid* grid)
        : fresh(fresh), existing(existing), grid(grid) {
        for (QObject* watched : {static_cast<QObject*>(fresh), static_cast<QObject*>(existing),
                                 static_cast<QObject*>(grid)})
            watched->installEventFilter(this);
    }
    int stale = 0;
    int frames = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Paint)
            return false;
        ++frames;
        const int a = fresh->picture().width();
        const int b = existing->picture().width();
        const bool panesDiffer = a && b && a != b; // each namesake is its entry's copy
        const bool gridDiffers = (a && grid->cell(1, 1) != QString::number(a)) ||
                                 (b && grid->cell(2, 1) != QString::number(b));
        stale += panesDiffer || gridDiffers;
        return false;
    }

private:
    PictureBox* fresh;
    PictureBox* existing;
    ComparisonGrid* grid;
};

struct Figures {
    double prefetchedMedianMs = 0;
    double prefetchedP95Ms = 0;
    double heldSettleMs = 0;
    double pairDecodeMs = 0;
    int staleFrames = 0;
    double peakMiB = 0;
};

QString makeFolders(QTemporaryDir& dir) {
    const QString source = dir.path() + QStringLiteral("/new/");
    const QString filed = dir.path() + QStringLiteral("/filed/");
    QDir().mkpath(source);
    QDir().mkpath(filed);
    for (int i = 0; i < Pairs; ++i) {
        // Widths tell the entries apart in the panes and the grid.
        const QString name = QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
        bench::writeSampleJpeg(source + name, bench::CameraSample, bench::CameraWidth - 8 * i);
        QFile::copy(source + name, filed + name);
    }
    const QString ini = dir.path() + QStringLiteral("/step.ini");
    QFile file(ini);
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    file.write("[Folders]\r\nSource=\"" + source.toUtf8() + "\"\r\n[Chars]\r\nDiverse=\"" +
               filed.toUtf8() + "\"\r\n");
    return ini;
}

struct Bench {
    TFrmSRMain& window;
    FileListBox* list;
    PictureBox* fresh;
    PictureBox* existing;
    ComparisonGrid* grid;

    void press(Qt::Key key) {
        QApplication::postEvent(list, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
        QApplication::postEvent(list, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
    }
    bool shows(int row) const {
        const int width = bench::CameraWidth - 8 * row;
        return list->currentFileRow() == row && fresh->picture().width() == width &&
               existing->picture().width() == width;
    }
    // Runs the event loop until the row's pair is painted; the panes and the
    // grid are painted at once, as a screen update would.
    void settle(int row) {
        while (!shows(row))
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        QApplication::processEvents();
        fresh->repaint();
        existing->repaint();
        grid->repaint();
    }
};

double pairDecodeMs(const Bench& b, const QString& path) {
    QElapsedTimer timer;
    timer.start();
    const Picture one = Picture::open(path);
    one.imageFor(b.fresh->targetRule()(one.size()));
    const Picture two = Picture::open(path);
    two.imageFor(b.existing->targetRule()(two.size()));
    return timer.nsecsElapsed() / 1e6;
}

Figures measure() {
    QTemporaryDir dir;
    SilentPrompts prompts;
    TFrmSRMain window(prompts, makeFolders(dir));
    window.resize(1200, 800);
    window.show();
    QApplication::processEvents();
    Bench b{window, window.findChild<FileListBox*>(QStringLiteral("FileListBox")),
            window.findChild<PictureBox*>(QStringLiteral("ImageNew")),
            window.findChild<PictureBox*>(QStringLiteral("ImageExisting")),
            window.findChild<ComparisonGrid*>(QStringLiteral("StringGrid1"))};
    PairWatch watch(b.fresh, b.existing, b.grid);
    b.list->setFocus();
    b.list->focusAndSelect(0);
    Q_EMIT b.list->currentItemClicked();
    b.settle(0);
    Figures figures;
    std::vector<double> steps;
    QElapsedTimer timer;
    for (int row = 1; row < Pairs - HeldKeys - 1; ++row) {
        // The pause between keys, long enough for the pairs ahead to decode.
        window.waitForDecodesAhead();
        QApplication::processEvents();
        timer.start();
        b.press(Qt::Key_Down);
        b.settle(row);
        steps.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(steps.begin(), steps.end());
    figures.prefetchedMedianMs = steps[steps.size() / 2];
    figures.prefetchedP95Ms = steps[std::min(steps.size() - 1, steps.size() * 95 / 100)];

    window.waitForDecodesAhead();
    const int from = b.list->currentFileRow();
    QElapsedTimer held;
    held.start();
    for (int sent = 0; sent < HeldKeys;) {
        // Keys arrive on time whether or not the window is busy, as a held
        // key's repeats do.
        while (sent < HeldKeys && held.elapsed() >= sent * HeldKeyGapMs) {
            b.press(Qt::Key_Down);
            ++sent;
        }
        QApplication::processEvents();
    }
    const qint64 lastKeyNs = qint64(HeldKeys - 1) * HeldKeyGapMs * 1'000'000;
    b.settle(from + HeldKeys);
    figures.heldSettleMs = (held.nsecsElapsed() - lastKeyNs) / 1e6;
    figures.pairDecodeMs = pairDecodeMs(b, b.fresh->picture().path());
    figures.staleFrames = watch.stale;
    figures.peakMiB = window.decodedAheadPeakBytes() / (1024.0 * 1024.0);
    return figures;
}

const Figures& figures() {
    static const Figures measured = measure();
    return measured;
}

void report(benchmark::State& state, double ms) {
    for (auto _ : state)
        state.SetIterationTime(ms / 1000.0);
}

void step_prefetched_median(benchmark::State& state) {
    report(state, figures().prefetchedMedianMs);
}
void step_prefetched_p95(benchmark::State& state) {
    report(state, figures().prefetchedP95Ms);
}
void held_key_settle(benchmark::State& state) {
    report(state, figures().heldSettleMs);
}
void pair_decode(benchmark::State& state) {
    report(state, figures().pairDecodeMs);
}
// Counts rather than times travel as counters, named by their unit.
void stale_pair(benchmark::State& state) {
    for (auto _ : state) {
    }
    state.counters["frames"] = figures().staleFrames;
}
void prefetch_peak(benchmark::State& state) {
    for (auto _ : state) {
    }
    state.counters["mib"] = figures().peakMiB;
}

#define STEP_FIGURE(name)                                                                          \
    BENCHMARK(name)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond)
STEP_FIGURE(step_prefetched_median);
STEP_FIGURE(step_prefetched_p95);
STEP_FIGURE(held_key_settle);
STEP_FIGURE(pair_decode);
BENCHMARK(stale_pair)->Iterations(1);
BENCHMARK(prefetch_peak)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
