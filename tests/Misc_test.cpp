// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Misc.h"
#include "support/TempFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace sortello;
using sortello::test::TempFolder;
using sortello::test::writeFile;

namespace {

struct LocationCase {
    const char* title;
    const char* currentDir;
    std::vector<const char*> parameters;
    const char* expected;
};

void PrintTo(const LocationCase& c, std::ostream* os) {
    *os << c.title;
}

class SettingsLocation : public ::testing::TestWithParam<LocationCase> {};

// Folders that "exist" for these cases; everything else does not.
bool knownFolder(const QString& folder) {
    return folder == QLatin1String("/cfg/") || folder == QLatin1String("sub/");
}

TEST_P(SettingsLocation, FollowsTheLocationRule) {
    const LocationCase& c = GetParam();
    QStringList parameters;
    for (const char* p : c.parameters)
        parameters << QString::fromUtf8(p);
    const FileLocations where =
        locateSettingsFile(QStringLiteral("/opt/tools/sortello"), QString::fromUtf8(c.currentDir),
                           parameters, knownFolder);
    EXPECT_EQ(where.iniFileName.toStdString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsLocation,
    ::testing::Values(
        LocationCase{
            "started from the program's folder", "/opt/tools", {}, "/opt/tools/sortello.ini"},
        LocationCase{"started elsewhere", "/home/me/photos/", {}, "/home/me/photos/sortello.ini"},
        LocationCase{"empty current directory", "", {}, "/opt/tools/sortello.ini"},
        LocationCase{"bare name", "/home/me", {"other.INI"}, "/home/me/other.INI"},
        LocationCase{"existing absolute folder", "/home/me", {"/cfg/other.ini"}, "/cfg/other.ini"},
        LocationCase{"existing relative folder stays relative",
                     "/home/me",
                     {"sub/other.ini"},
                     "sub/other.ini"},
        LocationCase{
            "missing folder", "/home/me", {"/nosuch/other.ini"}, "/home/me//nosuch/other.ini"},
        LocationCase{"mixed case extension", "/home/me", {"My.Ini"}, "/home/me/My.Ini"},
        LocationCase{"only the extension", "/home/me", {".ini"}, "/home/me/sortello.ini"},
        LocationCase{
            "only the extension in a folder", "/home/me", {"/cfg/.INI"}, "/home/me/sortello.ini"},
        LocationCase{"not an ini file", "/home/me", {"readme.txt"}, "/home/me/sortello.ini"},
        LocationCase{
            "ini is not the last extension", "/home/me", {"x.ini.old"}, "/home/me/sortello.ini"},
        LocationCase{
            "dot in a folder name only", "/home/me", {"/cfg.ini/x"}, "/home/me/sortello.ini"},
        LocationCase{"only the first parameter counts",
                     "/home/me",
                     {"readme.txt", "x.ini"},
                     "/home/me/sortello.ini"},
        LocationCase{"later parameters ignored", "/home/me", {"a.ini", "b.ini"}, "/home/me/a.ini"},
        LocationCase{"non-ASCII name", "/home/me", {"Bilder-é.ini"}, "/home/me/Bilder-é.ini"}));

TEST(SettingsLocation, ProgramWithExtensionHasItReplaced) {
    const FileLocations where = locateSettingsFile(QStringLiteral("/opt/Sortello.bin"),
                                                   QStringLiteral("/x"), {}, knownFolder);
    EXPECT_EQ(where.programDir, QStringLiteral("/opt/"));
    EXPECT_EQ(where.startupDir, QStringLiteral("/x/"));
    EXPECT_EQ(where.iniFileName, QStringLiteral("/x/Sortello.ini"));
}

TEST(SettingsLocation, ARelativeNameIsOpenedFromTheStartupDirectory) {
    // Listing a folder changes the current directory; the settings file must
    // stay where it was named.
    sortello::test::TempFolder dir;
    QDir().mkpath(dir.file(QStringLiteral("cfg")));
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    initFileLocations({QStringLiteral("cfg/mine.ini")});
    QDir::setCurrent(before);
    EXPECT_EQ(IniFileName(), QStringLiteral("cfg/mine.ini"));
    EXPECT_EQ(settingsFilePath(), dir.file(QStringLiteral("cfg/mine.ini")));
    initFileLocations({dir.file(QStringLiteral("cfg/abs.ini"))});
    EXPECT_EQ(settingsFilePath(), dir.file(QStringLiteral("cfg/abs.ini")));
}

TEST(PathRules, SplitAPath) {
    EXPECT_EQ(folderPart(QStringLiteral("/a/b.c/d.jpg")), QStringLiteral("/a/b.c/"));
    EXPECT_EQ(namePart(QStringLiteral("/a/b.c/d.jpg")), QStringLiteral("d.jpg"));
    EXPECT_EQ(namePart(QStringLiteral("d.jpg")), QStringLiteral("d.jpg"));
    EXPECT_EQ(extensionOf(QStringLiteral("/a/b.c/d.JPG")), QStringLiteral(".JPG"));
    EXPECT_EQ(extensionOf(QStringLiteral("/a/b.c/d")), QString());
    EXPECT_EQ(extensionOf(QStringLiteral("archive.tar.gz")), QStringLiteral(".gz"));
    // ":" is an ordinary character in a name here.
    EXPECT_EQ(namePart(QStringLiteral("/a/x:y.jpg")), QStringLiteral("x:y.jpg"));
    EXPECT_EQ(asciiUpper(QStringLiteral("émile.jpg")), QStringLiteral("éMILE.JPG"));
    EXPECT_EQ(asciiLower(QStringLiteral("ÉMILE.JPG")), QStringLiteral("Émile.jpg"));
}

TEST(FileFigures, SizeOfMissingFolderEmptyAndLargeFiles) {
    TempFolder dir;
    EXPECT_EQ(FileSizeOf(dir.file(QStringLiteral("missing.jpg"))), 0);
    EXPECT_EQ(FileSizeOf(dir.path()), 0);
    writeFile(dir.file(QStringLiteral("empty.jpg")), {});
    EXPECT_EQ(FileSizeOf(dir.file(QStringLiteral("empty.jpg"))), 0);
    writeFile(dir.file(QStringLiteral("five.jpg")), "12345");
    EXPECT_EQ(FileSizeOf(dir.file(QStringLiteral("five.jpg"))), 5);

    // A sparse file beyond 4 GiB costs no disk space and checks the 64-bit path.
    const QString big = dir.file(QStringLiteral("big.jpg"));
    writeFile(big, {});
    const qint64 size = (qint64(1) << 32) + 7;
    ASSERT_EQ(::truncate(QFile::encodeName(big).constData(), size), 0);
    EXPECT_EQ(FileSizeOf(big), size);
}

TEST(FileFigures, DateHasTwoSecondResolutionInLocalTime) {
    TempFolder dir;
    const QString path = dir.file(QStringLiteral("a.jpg"));
    writeFile(path, "x");
    const QDateTime written(QDate(2021, 6, 14), QTime(10, 15, 37), Qt::LocalTime);
    sortello::test::setModificationTime(path, written.toSecsSinceEpoch());
    EXPECT_DOUBLE_EQ(FileDateOf(path), encodeDateTime(2021, 6, 14, 10, 15, 36));
}

TEST(FileFigures, DateIsZeroForFoldersMissingFilesAndOutOfRange) {
    TempFolder dir;
    EXPECT_EQ(FileDateOf(dir.path()), 0);
    EXPECT_EQ(FileDateOf(dir.file(QStringLiteral("missing.jpg"))), 0);
    const QString old = dir.file(QStringLiteral("old.jpg"));
    writeFile(old, "x");
    sortello::test::setModificationTime(
        old, QDateTime(QDate(1975, 1, 1), QTime(12, 0), Qt::LocalTime).toSecsSinceEpoch());
    EXPECT_EQ(FileDateOf(old), 0);
    sortello::test::setModificationTime(
        old, QDateTime(QDate(2108, 1, 1), QTime(12, 0), Qt::LocalTime).toSecsSinceEpoch());
    EXPECT_EQ(FileDateOf(old), 0);
}

TEST(FileFigures, DateValueCountsDaysFrom1899) {
    EXPECT_DOUBLE_EQ(encodeDateTime(1899, 12, 30, 0, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(encodeDateTime(1900, 1, 1, 0, 0, 0), 2.0);
    EXPECT_DOUBLE_EQ(encodeDateTime(2000, 1, 1, 12, 0, 0), 36526.5);
    EXPECT_DOUBLE_EQ(encodeDateTime(2024, 2, 29, 6, 0, 0), 45351.25);
}

} // namespace
