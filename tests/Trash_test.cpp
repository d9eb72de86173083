// SPDX-License-Identifier: GPL-3.0-or-later
// The trash: a file goes in whole with the .trashinfo a file manager restores
// it by, comes back under its own name, and where there is no trash to use it
// stays where it was.
#include "fileops/Trash.h"
#include "support/TempFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <cerrno>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace sortello;
using namespace sortello::test;

namespace {

class TrashTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = qgetenv("XDG_DATA_HOME");
        ASSERT_TRUE(QDir().mkpath(root.file("data")));
        ASSERT_TRUE(QDir().mkpath(root.file("pictures")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(root.file("data")));
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", saved); }

    QString picture(const QString& name, const QByteArray& bytes) {
        const QString path = root.file("pictures/") + name;
        writeFile(path, bytes);
        return path;
    }
    QString trash(const QString& rest) const { return root.file("data/Trash/") + rest; }

    TempFolder root;
    QByteArray saved;
};

TEST_F(TrashTest, TheTrashHoldsTheFileWithItsInformationAndGivesItBack) {
    const QString path = picture("50% off é.jpg", "first");
    TrashedFile first;
    ASSERT_TRUE(moveToTrash(path, first));
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(readFile(trash("files/50% off é.jpg")), "first");
    const QStringList info =
        QString::fromUtf8(readFile(trash("info/50% off é.jpg.trashinfo"))).split('\n');
    ASSERT_EQ(info.size(), 4);
    EXPECT_EQ(info[0], "[Trash Info]");
    const QByteArray folder =
        QUrl::toPercentEncoding(QDir(root.file("pictures")).canonicalPath(), "/");
    EXPECT_EQ(info[1].toStdString(), "Path=" + folder.toStdString() + "/50%25%20off%20%C3%A9.jpg");
    const QDateTime deleted =
        QDateTime::fromString(info[2].mid(13), QStringLiteral("yyyy-MM-ddThh:mm:ss"));
    EXPECT_TRUE(info[2].startsWith("DeletionDate=") && deleted.isValid()) << info[2].toStdString();
    EXPECT_LE(qAbs(deleted.secsTo(QDateTime::currentDateTime())), 600);
    EXPECT_EQ(info[3], "");

    // A second file of the name takes a name of its own; neither is lost.
    picture("50% off é.jpg", "second");
    TrashedFile second;
    ASSERT_TRUE(moveToTrash(path, second));
    EXPECT_EQ(QFile::decodeName(second.path), trash("files/50% off é.2.jpg"));
    EXPECT_TRUE(exists(trash("info/50% off é.2.jpg.trashinfo")));
    EXPECT_EQ(readFile(trash("files/50% off é.jpg")), "first");

    ASSERT_TRUE(restoreFromTrash(second));
    EXPECT_EQ(readFile(path), "second");
    EXPECT_FALSE(exists(trash("info/50% off é.2.jpg.trashinfo")));
    // Back never over another file.
    const FileResult refused = restoreFromTrash(first);
    EXPECT_EQ(refused.error, EEXIST);
    EXPECT_EQ(readFile(trash("files/50% off é.jpg")), "first");
}

// A trash that cannot be made or is no folder is no trash: the file stays.
TEST_F(TrashTest, WithoutATrashToUseNothingIsDeleted) {
    const QString path = picture("a.jpg", "kept");
    writeFile(root.file("data/Trash"), "a file in the trash's place");
    TrashedFile trashed;
    const FileResult result = moveToTrash(path, trashed);
    EXPECT_FALSE(result);
    EXPECT_TRUE(result.noTrash);
    EXPECT_EQ(readFile(path), "kept");

    ASSERT_TRUE(QFile::remove(root.file("data/Trash")));
    ASSERT_TRUE(QDir().mkpath(trash("info")));
    ASSERT_EQ(::symlink("/dev/shm", QFile::encodeName(trash("files")).constData()), 0);
    EXPECT_TRUE(moveToTrash(path, trashed).noTrash);
    EXPECT_EQ(readFile(path), "kept");
    EXPECT_TRUE(
        QDir(trash("info")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST_F(TrashTest, AReplacedFileGoesToTheTrashAndComesBackWhenTheMoveFails) {
    const QString from = picture("new.jpg", "new");
    const QString to = picture("old.jpg", "old");
    TrashedFile trashed;
    ASSERT_TRUE(replaceIntoTrash(from, to, trashed));
    EXPECT_EQ(readFile(to), "new");
    EXPECT_EQ(readFile(QFile::decodeName(trashed.path)), "old");

    // The move fails: the replaced file is back in its place.
    static QByteArray refusedSource;
    refusedSource = QFile::encodeName(picture("newer.jpg", "newer"));
    SysCalls failing = realSysCalls();
    failing.renameat2 = [](int fromDir, const char* source, int toDir, const char* target,
                           unsigned flags) {
        if (source == refusedSource) {
            errno = EACCES;
            return -1;
        }
        return realSysCalls().renameat2(fromDir, source, toDir, target, flags);
    };
    const ScopedSysCalls armed(failing);
    TrashedFile again;
    const FileResult failed = replaceIntoTrash(QFile::decodeName(refusedSource), to, again);
    EXPECT_EQ(failed.error, EACCES);
    EXPECT_FALSE(failed.targetRemoved);
    EXPECT_EQ(readFile(to), "new");
    EXPECT_EQ(readFile(QFile::decodeName(refusedSource)), "newer");
    EXPECT_FALSE(exists(QFile::decodeName(again.info)));
}

} // namespace
