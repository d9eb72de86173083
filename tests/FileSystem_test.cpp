// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/FileSystem.h"
#include "fileops/FolderListing.h"
#include "fileops/Temporaries.h"
#include "support/MoveFaults.h"
#include "support/TempFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sortello {
namespace {

using test::armedTable;
using test::exists;
using test::FaultCase;
using test::faultCases;
using test::faultsInjected;
using test::IntruderBytes;
using test::MoveFault;
using test::readFile;
using test::Route;
using test::SourceGrowth;
using test::tableFor;
using test::TempFolder;
using test::writeFile;

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

// Every name in the folder, hidden ones included, so stray temporaries show.
QStringList entries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::lstat(native(path).constData(), &st);
    return st.st_mode;
}

QByteArray linkTarget(const QString& path) {
    char buffer[4096];
    const ssize_t n = ::readlink(native(path).constData(), buffer, sizeof buffer);
    return n < 0 ? QByteArray() : QByteArray(buffer, n);
}

const auto AllRoutes =
    ::testing::Values(Route::Rename, Route::LinkThenUnlink, Route::Copy, Route::CopyNamedTemp,
                      Route::CopyReadWrite, Route::CopyNoHardLinks);

class MoveFixture {
protected:
    void prepare(Route route) {
        ASSERT_TRUE(QDir(tmp.path()).mkpath(QStringLiteral("from")));
        ASSERT_TRUE(QDir(tmp.path()).mkpath(QStringLiteral("to")));
        writeFile(from, content);
        ASSERT_EQ(::chmod(native(from).constData(), 0640), 0);
        test::setModificationTime(from, 1'000'000'000);
        seam.emplace(tableFor(route));
    }
    void expectMovedWhole(const FileResult& r) {
        ASSERT_TRUE(r) << r.detail().toStdString();
        EXPECT_TRUE(readFile(to) == content);
        EXPECT_EQ(modeOf(to) & 07777, 0640u);
        EXPECT_EQ(QFileInfo(to).lastModified().toSecsSinceEpoch(), 1'000'000'000);
        EXPECT_TRUE(entries(tmp.file(QStringLiteral("from"))).isEmpty());
        EXPECT_EQ(entries(toFolder), QStringList{QStringLiteral("a.jpg")});
    }
    void expectSourceIntact() {
        EXPECT_TRUE(readFile(from) == content);
        EXPECT_EQ(modeOf(from) & 07777, 0640u);
        EXPECT_EQ(entries(tmp.file(QStringLiteral("from"))), QStringList{QStringLiteral("a.jpg")});
    }

    TempFolder tmp;
    QString from = tmp.file(QStringLiteral("from/a.jpg"));
    QString to = tmp.file(QStringLiteral("to/a.jpg"));
    QString toFolder = tmp.file(QStringLiteral("to"));
    QByteArray content = QByteArray("picture ").repeated(400'000);
    std::optional<ScopedSysCalls> seam;
};

// Each case must come out the same whichever way the move has to take.
class MoveOnEveryRoute : public MoveFixture, public ::testing::TestWithParam<Route> {
protected:
    void SetUp() override { prepare(GetParam()); }
};

TEST_P(MoveOnEveryRoute, FreeNameKeepsBytesModeAndTimeAndLeavesNothingElse) {
    expectMovedWhole(moveFile(from, to));
}

TEST_P(MoveOnEveryRoute, ExistingTargetIsNeverReplaced) {
    writeFile(to, "older");
    const FileResult r = moveFile(from, to);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.error, EEXIST);
    EXPECT_FALSE(r.message().isEmpty());
    expectSourceIntact();
    EXPECT_EQ(readFile(to), "older");
    EXPECT_EQ(entries(toFolder), QStringList{QStringLiteral("a.jpg")});
}

TEST_P(MoveOnEveryRoute, FolderBearingTheTargetNameStays) {
    ASSERT_TRUE(QDir(toFolder).mkpath(QStringLiteral("a.jpg/inner")));
    EXPECT_EQ(moveFile(from, to).error, EEXIST);
    expectSourceIntact();
    EXPECT_TRUE(QFileInfo(to + QStringLiteral("/inner")).isDir());
}

TEST_P(MoveOnEveryRoute, MissingDestinationFolder) {
    EXPECT_EQ(moveFile(from, tmp.file(QStringLiteral("nowhere/a.jpg"))).error, ENOENT);
    expectSourceIntact();
    EXPECT_FALSE(exists(tmp.file(QStringLiteral("nowhere"))));
}

TEST_P(MoveOnEveryRoute, MissingSource) {
    ASSERT_TRUE(QFile::remove(from));
    EXPECT_EQ(moveFile(from, to).error, ENOENT);
    EXPECT_TRUE(entries(toFolder).isEmpty());
}

TEST_P(MoveOnEveryRoute, SameFileUnderAnyNameIsLeftAlone) {
    EXPECT_EQ(moveFile(from, from).error, EEXIST);
    EXPECT_EQ(moveFile(from, tmp.file(QStringLiteral("from/./a.jpg"))).error, EEXIST);
    ASSERT_EQ(::link(native(from).constData(), native(to).constData()), 0);
    EXPECT_EQ(moveFile(from, to).error, EEXIST);
    expectSourceIntact();
    EXPECT_TRUE(readFile(to) == content);
}

TEST_P(MoveOnEveryRoute, LinkMovesAsLinkAndItsFileStaysPut) {
    const QString real = tmp.file(QStringLiteral("real.jpg"));
    writeFile(real, "original");
    ASSERT_TRUE(QFile::remove(from));
    ASSERT_EQ(::symlink(native(real).constData(), native(from).constData()), 0);
    const FileResult r = moveFile(from, to);
    ASSERT_TRUE(r) << r.detail().toStdString();
    EXPECT_TRUE(S_ISLNK(modeOf(to)));
    EXPECT_EQ(linkTarget(to), native(real));
    EXPECT_EQ(readFile(real), "original");
    EXPECT_FALSE(exists(from));
    EXPECT_EQ(entries(toFolder), QStringList{QStringLiteral("a.jpg")});
}

TEST_P(MoveOnEveryRoute, LinkDoesNotReplaceATarget) {
    ASSERT_TRUE(QFile::remove(from));
    ASSERT_EQ(::symlink("/nowhere", native(from).constData()), 0);
    writeFile(to, "older");
    EXPECT_EQ(moveFile(from, to).error, EEXIST);
    EXPECT_EQ(linkTarget(from), "/nowhere");
    EXPECT_EQ(readFile(to), "older");
}

INSTANTIATE_TEST_SUITE_P(Routes, MoveOnEveryRoute, AllRoutes);

class CopyFault : public MoveFixture, public ::testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override { prepare(GetParam().route); }
};

TEST_P(CopyFault, SourceStaysAndNothingIsLeftBehind) {
    const MoveFault& fault = GetParam().fault;
    const ScopedSysCalls armed(armedTable(GetParam()));
    const long long injectedBefore = faultsInjected();
    const QByteArray expected = fault.growsSource ? content + SourceGrowth : content;

    const FileResult r = moveFile(from, to);
    EXPECT_GT(faultsInjected(), injectedBefore);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.error, fault.error) << r.detail().toStdString();
    EXPECT_TRUE(readFile(from) == expected);
    EXPECT_EQ(entries(tmp.file(QStringLiteral("from"))), QStringList{QStringLiteral("a.jpg")});
    if (fault.intruder) {
        EXPECT_EQ(readFile(to), IntruderBytes);
        EXPECT_EQ(entries(toFolder), QStringList{QStringLiteral("a.jpg")});
    } else {
        EXPECT_TRUE(entries(toFolder).isEmpty()) << entries(toFolder).join(' ').toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, CopyFault, ::testing::ValuesIn(faultCases()),
                         [](const auto& info) { return info.param.name(); });

// Replacing takes every route as well; the replaced file goes only with success.
class ReplaceOnEveryRoute : public MoveFixture, public ::testing::TestWithParam<Route> {
protected:
    void SetUp() override {
        prepare(GetParam());
        writeFile(to, "older");
    }
};

TEST_P(ReplaceOnEveryRoute, NewFileTakesTheNameWithItsBytesModeAndTime) {
    expectMovedWhole(replaceFile(from, to));
}

TEST_P(ReplaceOnEveryRoute, RefusesWhatDeleteWouldRefuseAndChangesNothing) {
    ASSERT_EQ(::chmod(native(to).constData(), 0444), 0);
    EXPECT_EQ(replaceFile(from, to).error, EACCES);
    EXPECT_EQ(readFile(to), "older");
    ASSERT_TRUE(QFile::remove(to));
    ASSERT_TRUE(QDir(toFolder).mkdir(QStringLiteral("a.jpg")));
    EXPECT_EQ(replaceFile(from, to).error, EISDIR);
    expectSourceIntact();
}

TEST_P(ReplaceOnEveryRoute, TheFileItselfUnderASecondNameIsLeftAlone) {
    ASSERT_TRUE(QFile::remove(to));
    ASSERT_EQ(::link(native(from).constData(), native(to).constData()), 0);
    EXPECT_EQ(replaceFile(from, to).error, EEXIST);
    expectSourceIntact();
    EXPECT_TRUE(readFile(to) == content);
}

TEST_P(ReplaceOnEveryRoute, AMissingTargetIsAPlainMove) {
    ASSERT_TRUE(QFile::remove(to));
    ASSERT_TRUE(replaceFile(from, to));
    EXPECT_TRUE(readFile(to) == content);
    EXPECT_FALSE(exists(from));
}

INSTANTIATE_TEST_SUITE_P(Routes, ReplaceOnEveryRoute, AllRoutes);

class ReplaceFault : public MoveFixture, public ::testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override {
        prepare(GetParam().route);
        writeFile(to, "older");
    }
};

// Both files stay as they were, unless the file system cannot swap two names:
// then the replaced file went first, and the result says so.
TEST_P(ReplaceFault, BothFilesStayAsTheyWere) {
    const MoveFault& fault = GetParam().fault;
    const bool deletedFirst = GetParam().route == Route::LinkThenUnlink;
    const ScopedSysCalls armed(armedTable(GetParam()));
    const long long injectedBefore = faultsInjected();

    const FileResult r = replaceFile(from, to);
    EXPECT_GT(faultsInjected(), injectedBefore);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.error, fault.error) << r.detail().toStdString();
    EXPECT_EQ(r.targetRemoved, deletedFirst);
    EXPECT_TRUE(readFile(from) == (fault.growsSource ? content + SourceGrowth : content));
    EXPECT_EQ(entries(tmp.file(QStringLiteral("from"))), QStringList{QStringLiteral("a.jpg")});
    QStringList expected;
    if (!deletedFirst)
        expected << QStringLiteral("a.jpg");
    QStringList found = entries(toFolder);
    if (fault.intruder && GetParam().route != Route::Rename) {
        // Someone else's file took the temporary name; it is theirs to keep.
        EXPECT_EQ(found.size(), 2) << found.join(' ').toStdString();
        found.removeIf([](const QString& name) { return name.startsWith('.'); });
    }
    EXPECT_EQ(found, expected);
    if (!deletedFirst) {
        EXPECT_EQ(readFile(to), fault.intruder && GetParam().route == Route::Rename
                                    ? QByteArray(IntruderBytes)
                                    : QByteArray("older"));
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, ReplaceFault, ::testing::ValuesIn(faultCases()),
                         [](const auto& info) { return info.param.name(); });

TEST(MoveAcrossDevices, RealSecondFileSystem) {
    QTemporaryDir other(QStringLiteral("/dev/shm/sortello-test-XXXXXX"));
    TempFolder here;
    struct stat a {
    }, b{};
    if (!other.isValid() || ::stat("/dev/shm", &a) != 0 ||
        ::stat(native(here.path()).constData(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "/dev/shm is not a second file system here";

    const QString from = other.filePath(QStringLiteral("a.jpg"));
    const QByteArray content = QByteArray("cross ").repeated(500'000);
    writeFile(from, content);
    ASSERT_EQ(::chmod(native(from).constData(), 0604), 0);
    test::setModificationTime(from, 1'200'000'000);
    const QString link = other.filePath(QStringLiteral("l.jpg"));
    ASSERT_EQ(::symlink("/elsewhere/x.jpg", native(link).constData()), 0);

    const FileResult r = moveFile(from, here.file(QStringLiteral("a.jpg")));
    ASSERT_TRUE(r) << r.detail().toStdString();
    EXPECT_TRUE(readFile(here.file(QStringLiteral("a.jpg"))) == content);
    EXPECT_EQ(modeOf(here.file(QStringLiteral("a.jpg"))) & 07777, 0604u);
    EXPECT_EQ(QFileInfo(here.file(QStringLiteral("a.jpg"))).lastModified().toSecsSinceEpoch(),
              1'200'000'000);
    EXPECT_FALSE(exists(from));
    ASSERT_TRUE(moveFile(link, here.file(QStringLiteral("l.jpg"))));
    EXPECT_EQ(linkTarget(here.file(QStringLiteral("l.jpg"))), "/elsewhere/x.jpg");

    writeFile(from, "second");
    EXPECT_EQ(moveFile(from, here.file(QStringLiteral("a.jpg"))).error, EEXIST);
    EXPECT_EQ(readFile(from), "second");
    ASSERT_TRUE(replaceFile(from, here.file(QStringLiteral("a.jpg"))));
    EXPECT_EQ(readFile(here.file(QStringLiteral("a.jpg"))), "second");
    EXPECT_FALSE(exists(from));
    EXPECT_EQ(entries(here.path()),
              (QStringList{QStringLiteral("a.jpg"), QStringLiteral("l.jpg")}));
}

// ---- Hidden temporaries ----------------------------------------------------------

// The hidden temporaries of a folder that no process marks as in use.
QStringList unmarkedTemporaries(const QString& folder) {
    QStringList unmarked;
    for (const QString& name : entries(folder)) {
        if (!isTemporaryName(native(name).constData()))
            continue;
        const int fd = ::open(native(folder + '/' + name).constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            unmarked << name;
        if (fd >= 0)
            ::close(fd);
    }
    return unmarked;
}

struct Flush {
    QStringList temporaries;
    QStringList unmarked;
};
QString watchedFolder;
std::vector<Flush> flushes;

// Looks into the destination folder at every flush of a move across file systems.
int watchingFsync(int fd) {
    QStringList temporaries = entries(watchedFolder);
    temporaries.removeIf([](const QString& n) { return !isTemporaryName(native(n).constData()); });
    flushes.push_back({temporaries, unmarkedTemporaries(watchedFolder)});
    return realSysCalls().fsync(fd);
}

// A run killed during a move across file systems leaves nothing it has not
// marked as in use: the copy is written without a name where the file system
// allows, and every name it needs meanwhile is marked for as long as it exists.
class TemporariesWhileCopying : public MoveFixture,
                                public ::testing::TestWithParam<std::tuple<Route, bool>> {};

TEST_P(TemporariesWhileCopying, AreUnnamedOrMarkedInUse) {
    const auto [route, replacing] = GetParam();
    prepare(route);
    const int probe = ::open(native(toFolder).constData(), O_TMPFILE | O_WRONLY, 0600);
    if (probe < 0)
        GTEST_SKIP() << "no unnamed files on this file system";
    ::close(probe);
    if (replacing)
        writeFile(to, "older");
    SysCalls watching = tableFor(route);
    watching.fsync = watchingFsync;
    const ScopedSysCalls watch(watching);
    watchedFolder = toFolder;
    flushes.clear();

    expectMovedWhole(replacing ? replaceFile(from, to) : moveFile(from, to));
    ASSERT_EQ(flushes.size(), 2u); // the copy, then the folder
    if (route == Route::Copy)
        EXPECT_TRUE(flushes[0].temporaries.isEmpty())
            << flushes[0].temporaries.join(' ').toStdString();
    else
        EXPECT_EQ(flushes[0].temporaries.size(), 1);
    for (const Flush& flush : flushes)
        EXPECT_TRUE(flush.unmarked.isEmpty()) << flush.unmarked.join(' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Routes, TemporariesWhileCopying,
                         ::testing::Combine(::testing::Values(Route::Copy, Route::CopyNamedTemp),
                                            ::testing::Bool()));

enum class Visit { List, MoveInto, ReplaceInto };

class StaleTemporaries : public MoveFixture, public ::testing::TestWithParam<Visit> {};

// What a killed run left goes the next time the folder is listed or moved
// into; a temporary still in use, and anything that is not one of ours, stays.
TEST_P(StaleTemporaries, GoWhenTheFolderIsVisitedAndLiveOnesStay) {
    prepare(Route::Rename);
    const QString stale = toFolder + QStringLiteral("/.sortello-k1LLed");
    const QString live = toFolder + QStringLiteral("/.sortello-In0use");
    const QStringList others{".sortello-ab", ".sortello-folder", ".sortello-link01", "a.jpg"};
    writeFile(stale, "half a copy");
    writeFile(live, "a copy in the making");
    const int user = ::open(native(live).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_TRUE(user >= 0 && markInUse(user));
    writeFile(toFolder + "/.sortello-ab", "not ours");
    ASSERT_TRUE(QDir(toFolder).mkdir(QStringLiteral(".sortello-folder")));
    ASSERT_EQ(::symlink("a.jpg", native(toFolder + "/.sortello-link01").constData()), 0);
    writeFile(to, "older");

    switch (GetParam()) {
    case Visit::List:
        EXPECT_EQ(listPictureFiles(toFolder).files.size(), 1u);
        break;
    case Visit::MoveInto:
        EXPECT_EQ(moveFile(from, toFolder + QStringLiteral("/b.jpg")).error, 0);
        break;
    case Visit::ReplaceInto:
        EXPECT_TRUE(replaceFile(from, to));
        break;
    }
    ::close(user);
    QStringList expected = others + QStringList{QFileInfo(live).fileName()};
    if (GetParam() == Visit::MoveInto)
        expected << QStringLiteral("b.jpg");
    expected.sort();
    EXPECT_EQ(entries(toFolder), expected);
}

INSTANTIATE_TEST_SUITE_P(Visits, StaleTemporaries,
                         ::testing::Values(Visit::List, Visit::MoveInto, Visit::ReplaceInto));

enum class Kind {
    File,
    ReadOnlyFile,
    Folder,
    LinkToFile,
    LinkToReadOnly,
    Dangling,
    LinkToFolder,
    Fifo,
    Missing
};

struct Entry {
    const char* label;
    Kind kind;
    bool exists;     // what fileExists must say
    int deleteError; // 0: deleteFile succeeds and the name is gone
};

class NameKinds : public ::testing::TestWithParam<Entry> {
protected:
    void SetUp() override {
        writeFile(target, "kept");
        const QByteArray path = native(name);
        switch (GetParam().kind) {
        case Kind::File:
            writeFile(name, "x");
            break;
        case Kind::ReadOnlyFile:
            writeFile(name, "x");
            ::chmod(path.constData(), 0444);
            break;
        case Kind::Folder:
            QDir().mkdir(name);
            break;
        case Kind::LinkToReadOnly:
            ::chmod(native(target).constData(), 0400);
            [[fallthrough]];
        case Kind::LinkToFile:
            ::symlink(native(target).constData(), path.constData());
            break;
        case Kind::Dangling:
            ::symlink("/nowhere/at/all", path.constData());
            break;
        case Kind::LinkToFolder:
            ::symlink(native(tmp.path()).constData(), path.constData());
            break;
        case Kind::Fifo:
            ::mkfifo(path.constData(), 0644);
            break;
        case Kind::Missing:
            break;
        }
    }
    TempFolder tmp;
    QString name = tmp.file(QStringLiteral("name.jpg"));
    QString target = tmp.file(QStringLiteral("target.jpg"));
};

TEST_P(NameKinds, FileExists) {
    EXPECT_EQ(fileExists(name), GetParam().exists);
}

TEST_P(NameKinds, DeleteRemovesOnlyWhatItMay) {
    const FileResult r = deleteFile(name);
    EXPECT_EQ(r.error, GetParam().deleteError) << r.detail().toStdString();
    EXPECT_EQ(exists(name), GetParam().deleteError != 0 && GetParam().kind != Kind::Missing);
    EXPECT_EQ(readFile(target), "kept");
}

INSTANTIATE_TEST_SUITE_P(Kinds, NameKinds,
                         ::testing::Values(Entry{"File", Kind::File, true, 0},
                                           Entry{"ReadOnlyFile", Kind::ReadOnlyFile, true, EACCES},
                                           Entry{"Folder", Kind::Folder, false, EISDIR},
                                           Entry{"LinkToFile", Kind::LinkToFile, true, 0},
                                           Entry{"LinkToReadOnly", Kind::LinkToReadOnly, true, 0},
                                           Entry{"Dangling", Kind::Dangling, true, 0},
                                           Entry{"LinkToFolder", Kind::LinkToFolder, false, 0},
                                           Entry{"Fifo", Kind::Fifo, true, 0},
                                           Entry{"Missing", Kind::Missing, false, ENOENT}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(JoinPath, OneSlashBetween) {
    EXPECT_EQ(joinPath(QStringLiteral("/a/b"), QStringLiteral("c.jpg")),
              QStringLiteral("/a/b/c.jpg"));
    EXPECT_EQ(joinPath(QStringLiteral("/a/b/"), QStringLiteral("c.jpg")),
              QStringLiteral("/a/b/c.jpg"));
    EXPECT_EQ(joinPath(QStringLiteral("/"), QStringLiteral("c.jpg")), QStringLiteral("/c.jpg"));
    EXPECT_EQ(joinPath(QString(), QStringLiteral("c.jpg")), QStringLiteral("c.jpg"));
}

} // namespace
} // namespace sortello
