// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on big folders: listing 100,000 pictures into the file list,
// starting up on 10,000, one step of the comparison view on two 24 MP photos,
// comparing two such photos' bytes, and the batch moves, each beside the floor
// it is held to, and again with their progress dialog shown.
#include "application/QtPrompts.h"
#include "base/Misc.h"
#include "fileops/FileSystem.h"
#include "fileops/SameBytes.h"
#include "support/BenchMemory.h"
#include "support/BenchPictures.h"
#include "support/SilentPrompts.h"
#include "widgets/ComparisonGrid.h"
#include "widgets/FileListBox.h"
#include "widgets/PictureBox.h"
#include "windows/SRMain.h"

#include <QAction>
#include <QApplication>
#include <QCollator>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

using namespace sortello;
using bench::resetPeakMemory;
using bench::statusKilobytes;

using bench::SilentPrompts;

QTemporaryDir& scratch() {
    static QTemporaryDir dir;
    return dir;
}

QString folder(const char* name) {
    return scratch().path() + QLatin1Char('/') + QLatin1String(name) + QLatin1Char('/');
}

void createFiles(const QString& where, const char* pattern, int count, int first = 0) {
    QDir().mkpath(where);
    const QByteArray base = QFile::encodeName(where);
    char name[96];
    for (int i = first; i < first + count; ++i) {
        std::snprintf(name, sizeof name, pattern, i);
        const int fd = ::open((base + name).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0)
            std::abort();
        ::close(fd);
    }
}

void writeSettings(const QString& ini, const QString& source, const QString& destination) {
    QFile file(ini);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write("[Folders]\r\nSource=\"" + source.toUtf8() + "\"\r\n[Chars]\r\nDiverse=\"" +
               destination.toUtf8() + "\"\r\n[MenuSelection]\r\nSRFShowFilesMoved=1\r\n");
}

SilentPrompts& prompts() {
    static SilentPrompts silent;
    return silent;
}

// Answers at once too, but shows a batch's progress as the program does.
class ProgressPrompts : public SilentPrompts {
public:
    std::unique_ptr<BatchProgress> batchProgress(QWidget* parent, const QString& label,
                                                 int total) override {
        return QtPrompts().batchProgress(parent, label, total);
    }
};

ProgressPrompts& progressPrompts() {
    static ProgressPrompts showing;
    return showing;
}

// ---- Memory of one step ------------------------------------------------------

const QString& pairFolder();

// The window keeps its controls to itself; the bench finds them by name.
sortello::FileListBox* fileList(TFrmSRMain& window) {
    return window.findChild<sortello::FileListBox*>(QStringLiteral("FileListBox"));
}

// The peak resident memory, above the window's idle figure, of showing a
// 24 MP photo and its namesake in the two panes. Runs first, before other

// benchmarks have grown the heap.
void pane_24mp_peak(benchmark::State& state) {
    pairFolder();
    TFrmSRMain window(prompts(), folder("pair-new") + QStringLiteral("../pair.ini"));
    window.show();
    QApplication::processEvents();
    double aboveIdle = 0;
    for (auto _ : state) {
        if (!resetPeakMemory())
            state.SkipWithError("cannot reset the peak figure");
        const qint64 idle = statusKilobytes("VmRSS:");
        // The first entry becomes current as a click on it makes it.
        fileList(window)->focusAndSelect(0);
        Q_EMIT fileList(window)->currentItemClicked();
        window.findChild<PictureBox*>(QStringLiteral("ImageNew"))->repaint();
        window.findChild<PictureBox*>(QStringLiteral("ImageExisting"))->repaint();
        aboveIdle = (statusKilobytes("VmHWM:") - idle) / 1024.0;
    }
    state.counters["mib_above_idle"] = aboveIdle;
}
BENCHMARK(pane_24mp_peak)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---- Listing ----------------------------------------------------------------

void list_100k(benchmark::State& state) {
    const QString big = folder("list100k");
    if (!QFileInfo::exists(big)) {
        createFiles(big, "IMG_%06d.jpg", 100'000);
        createFiles(big, "notes_%05d.txt", 20'000);
    }
    TFrmSRMain window(prompts(), folder("list100k-settings") + QStringLiteral("none.ini"));
    window.show();
    for (auto _ : state) {
        fileList(window)->showFiles(listPictureFiles(big).files);
        fileList(window)->viewport()->repaint();
        if (fileList(window)->count() != 100'000)
            state.SkipWithError("listing incomplete");
    }
}
BENCHMARK(list_100k)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

// The floor: readdir and a case-blind sort of the same folder, nothing else.
void list_readdir_sort(benchmark::State& state) {
    const QByteArray big = QFile::encodeName(folder("list100k"));
    for (auto _ : state) {
        std::vector<QString> names;
        DIR* dir = ::opendir(big.constData());
        while (const dirent* entry = ::readdir(dir))
            names.push_back(QFile::decodeName(entry->d_name));
        ::closedir(dir);
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        });
        benchmark::DoNotOptimize(names.data());
    }
}
BENCHMARK(list_readdir_sort)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

// ---- Start-up ---------------------------------------------------------------

void startup_10k(benchmark::State& state) {
    const QString source = folder("startup10k");
    const QString ini = folder("startup10k-settings") + QStringLiteral("sortello.ini");
    if (!QFileInfo::exists(source)) {
        createFiles(source, "DSC_%05d.jpg", 10'000);
        QDir().mkpath(folder("startup10k-settings"));
        writeSettings(ini, source, folder("startup10k-misc"));
    }
    for (auto _ : state) {
        auto window = std::make_unique<TFrmSRMain>(prompts(), ini);
        window->show();
        QApplication::processEvents();
        window->repaint();
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(startup_10k)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

// ---- One step of the comparison view ----------------------------------------

const QString& pairFolder() {
    static const QString source = [] {
        const QString where = folder("pair-new");
        QDir().mkpath(where);
        QDir().mkpath(folder("pair-filed"));
        bench::writeSampleJpeg(where + QStringLiteral("photo.jpg"), bench::CameraSample);
        QFile::copy(where + QStringLiteral("photo.jpg"),
                    folder("pair-filed") + QStringLiteral("photo.jpg"));
        writeSettings(folder("pair-new") + QStringLiteral("../pair.ini"), where,
                      folder("pair-filed"));
        return where;
    }();
    return source;
}

void step_24mp_pair(benchmark::State& state) {
    const QString source = pairFolder();
    TFrmSRMain window(prompts(), folder("pair-new") + QStringLiteral("../pair.ini"));
    window.show();
    QApplication::processEvents();
    for (auto _ : state) {
        // The first entry becomes current as a click on it makes it.
        fileList(window)->focusAndSelect(0);
        Q_EMIT fileList(window)->currentItemClicked();
        window.findChild<PictureBox*>(QStringLiteral("ImageNew"))->repaint();
        window.findChild<PictureBox*>(QStringLiteral("ImageExisting"))->repaint();
        window.findChild<ComparisonGrid*>(QStringLiteral("StringGrid1"))->repaint();
    }
}
BENCHMARK(step_24mp_pair)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

void step_floor(benchmark::State& state) {
    const QString source = pairFolder();
    // Reading the files belongs to the floor too: the step reads them.
    const auto readAll = [](const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            std::abort();
        return file.readAll();
    };
    for (auto _ : state) {
        bench::decodeAtOneEighth(readAll(source + QStringLiteral("photo.jpg")));
        bench::decodeAtOneEighth(readAll(folder("pair-filed") + QStringLiteral("photo.jpg")));
    }
}
BENCHMARK(step_floor)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

// ---- Identical bytes ----------------------------------------------------------

// Two files of 5.5 MB, the size of a 24 MP camera JPEG, the second one a copy
// or a copy whose last byte differs: both are read to the end.
void identicalPair(const QString& first, const QString& second, bool lastByteDiffers) {
    if (QFileInfo::exists(second))
        return;
    QDir().mkpath(folderPart(second));
    QByteArray bytes(5'500'000, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((quint32(i) * 2654435761u) >> 24);
    const auto write = [](const QString& path, const QByteArray& data) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            std::abort();
    };
    if (!QFileInfo::exists(first))
        write(first, bytes);
    if (lastByteDiffers)
        bytes.back() = char(bytes.back() ^ 1);
    write(second, bytes);
}

void identicalCheck(benchmark::State& state, bool lastByteDiffers) {
    const QString first = folder("identical") + QStringLiteral("photo.jpg");
    const QString second = folder("identical") + (lastByteDiffers ? QStringLiteral("last.jpg")
                                                                  : QStringLiteral("copy.jpg"));
    identicalPair(first, second, lastByteDiffers);
    const Sameness expected = lastByteDiffers ? Sameness::Different : Sameness::Identical;
    for (auto _ : state)
        if (compareBytes(first, second) != expected)
            state.SkipWithError("wrong answer");
}

void identical_check_24mp(benchmark::State& state) {
    identicalCheck(state, false);
}
BENCHMARK(identical_check_24mp)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

void identical_check_24mp_last_byte(benchmark::State& state) {
    identicalCheck(state, true);
}
BENCHMARK(identical_check_24mp_last_byte)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

// ---- Batch moves ------------------------------------------------------------

// 10,000 selected files whose names are all taken in a destination folder of
// 100,000 (numbered names among them): every one gets a numbered name.
void autoMove10kInto100k(benchmark::State& state, Prompts& asked) {
    const QString target = folder("automove-target");
    const QString source = folder("automove-source");
    const QString ini = folder("automove-settings") + QStringLiteral("sortello.ini");
    QDir().mkpath(folder("automove-settings"));
    writeSettings(ini, source, target);
    for (auto _ : state) {
        state.PauseTiming();
        QDir(target).removeRecursively();
        QDir(source).removeRecursively();
        createFiles(target, "IMG_%05d.jpg", 10'000);
        createFiles(target, "IMG_%05d00000000.jpg", 10'000); // numbered names of every stem
        createFiles(target, "other_%06d.jpg", 80'000);
        createFiles(source, "IMG_%05d.jpg", 10'000);
        auto window = std::make_unique<TFrmSRMain>(asked, ini);
        for (int row = 0; row < fileList(*window)->count(); ++row)
            fileList(*window)->setRowSelected(row, true);
        state.ResumeTiming();
        window->findChild<QAction*>(QStringLiteral("SRFAutoMoveMultipleAs"))->trigger();
        state.PauseTiming();
        if (fileList(*window)->count() != 0)
            state.SkipWithError("not every file moved");
        window.reset();
        state.ResumeTiming();
    }
}
void auto_move_10k_into_100k(benchmark::State& state) {
    autoMove10kInto100k(state, prompts());
}
BENCHMARK(auto_move_10k_into_100k)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

void auto_move_10k_into_100k_progress(benchmark::State& state) {
    autoMove10kInto100k(state, progressPrompts());
}
BENCHMARK(auto_move_10k_into_100k_progress)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

// The floor: 10,000 bare renames into the same kind of folder.
void rename_10k(benchmark::State& state) {
    const QString target = folder("rename-target");
    const QString source = folder("rename-source");
    for (auto _ : state) {
        state.PauseTiming();
        QDir(target).removeRecursively();
        QDir(source).removeRecursively();
        createFiles(target, "other_%06d.jpg", 100'000);
        createFiles(source, "IMG_%05d.jpg", 10'000);
        const QByteArray from = QFile::encodeName(source);
        const QByteArray to = QFile::encodeName(target);
        char name[32];
        state.ResumeTiming();
        for (int i = 0; i < 10'000; ++i) {
            std::snprintf(name, sizeof name, "IMG_%05d.jpg", i);
            ::rename((from + name).constData(), (to + name).constData());
        }
    }
}
BENCHMARK(rename_10k)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

// 10,000 files of which half are taken in their destination.
void moveNonExisting10k(benchmark::State& state, Prompts& asked) {
    const QString target = folder("nonexisting-target");
    const QString source = folder("nonexisting-source");
    const QString ini = folder("nonexisting-settings") + QStringLiteral("sortello.ini");
    QDir().mkpath(folder("nonexisting-settings"));
    writeSettings(ini, source, target);
    for (auto _ : state) {
        state.PauseTiming();
        QDir(target).removeRecursively();
        QDir(source).removeRecursively();
        createFiles(target, "IMG_%05d.jpg", 5'000);
        createFiles(source, "IMG_%05d.jpg", 10'000);
        auto window = std::make_unique<TFrmSRMain>(asked, ini);
        state.ResumeTiming();
        window->findChild<QAction*>(QStringLiteral("SRFMoveNonExisting"))->trigger();
        state.PauseTiming();
        if (fileList(*window)->count() != 5'000)
            state.SkipWithError("wrong files moved");
        window.reset();
        state.ResumeTiming();
    }
}
void move_non_existing_10k(benchmark::State& state) {
    moveNonExisting10k(state, prompts());
}
BENCHMARK(move_non_existing_10k)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

void move_non_existing_10k_progress(benchmark::State& state) {
    moveNonExisting10k(state, progressPrompts());
}
BENCHMARK(move_non_existing_10k_progress)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

// 10,000 files of which half have a namesake with the same bytes, with the
// progress dialog shown.
void remove_identical_10k_progress(benchmark::State& state) {
    const QString target = folder("identical-target");
    const QString source = folder("identical-source");
    const QString ini = folder("identical-settings") + QStringLiteral("sortello.ini");
    QDir().mkpath(folder("identical-settings"));
    writeSettings(ini, source, target);
    for (auto _ : state) {
        state.PauseTiming();
        QDir(target).removeRecursively();
        QDir(source).removeRecursively();
        createFiles(target, "IMG_%05d.jpg", 5'000);
        createFiles(source, "IMG_%05d.jpg", 10'000);
        auto window = std::make_unique<TFrmSRMain>(progressPrompts(), ini);
        state.ResumeTiming();
        window->findChild<QAction*>(QStringLiteral("SRFRemoveIdentical"))->trigger();
        state.PauseTiming();
        if (fileList(*window)->count() != 5'000)
            state.SkipWithError("wrong files removed");
        window.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(remove_identical_10k_progress)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

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
