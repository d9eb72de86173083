// SPDX-License-Identifier: GPL-3.0-or-later
// Sorting big shoots: listing a folder of 100,000 pictures and moving 10,000
// of them into a folder that already holds 100,000.
#include "fileops/FileSystem.h"
#include "fileops/FolderListing.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int folderSize = 100'000;
constexpr int movedFiles = 10'000;

QTemporaryDir* workspace = nullptr;

QString bigFolder() {
    return workspace->filePath(QStringLiteral("big"));
}
QString sourceFolder() {
    return workspace->filePath(QStringLiteral("incoming"));
}

QByteArray pictureName(const char* prefix, int i) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%06d.jpg", prefix, i);
    return name;
}

bool createEmptyFiles(const QString& folder, const char* prefix, int count) {
    const QByteArray base = QFile::encodeName(folder) + '/';
    for (int i = 0; i < count; ++i) {
        const int fd = ::open((base + pictureName(prefix, i)).constData(),
                              O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        ::close(fd);
    }
    return true;
}

void BM_ListFolder(benchmark::State& state) {
    for (auto _ : state) {
        const sortello::ListingResult listing = sortello::listPictureFiles(bigFolder());
        if (!listing.ok || listing.files.size() != size_t(folderSize))
            state.SkipWithError("listing incomplete");
        benchmark::DoNotOptimize(listing.files.data());
    }
    state.SetItemsProcessed(state.iterations() * folderSize);
}
BENCHMARK(BM_ListFolder)->Unit(benchmark::kMillisecond);

void BM_MoveIntoBigFolder(benchmark::State& state) {
    const QString from = sourceFolder() + QLatin1Char('/');
    const QString to = bigFolder() + QLatin1Char('/');
    for (auto _ : state) {
        state.PauseTiming();
        if (!createEmptyFiles(sourceFolder(), "new_", movedFiles))
            state.SkipWithError("cannot create the files to move");
        state.ResumeTiming();
        for (int i = 0; i < movedFiles; ++i) {
            const QString name = QString::fromLatin1(pictureName("new_", i));
            if (!sortello::moveFile(from + name, to + name))
                state.SkipWithError("move failed");
        }
        state.PauseTiming();
        // Back to 100,000 files for the next round and for the listing.
        for (int i = 0; i < movedFiles; ++i)
            ::unlink((QFile::encodeName(to) + pictureName("new_", i)).constData());
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * movedFiles);
}
BENCHMARK(BM_MoveIntoBigFolder)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    QTemporaryDir dir;
    workspace = &dir;
    if (!dir.isValid() || !QDir(dir.path()).mkpath(QStringLiteral("big")) ||
        !QDir(dir.path()).mkpath(QStringLiteral("incoming")) ||
        !createEmptyFiles(bigFolder(), "IMG_", folderSize)) {
        std::fprintf(stderr, "cannot prepare %d files in %s\n", folderSize, qPrintable(dir.path()));
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0; // the QTemporaryDir removes every file on its way out
}
