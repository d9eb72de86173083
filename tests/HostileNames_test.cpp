// SPDX-License-Identifier: GPL-3.0-or-later
// Odd and hostile names and folders meet the file commands: each gives a clear
// message or a sound result, and no picture is lost.
#include "fileops/FileSystem.h"
#include "support/Workspace.h"
#include "widgets/FileListBox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace sortello;
using sortello::test::readFile;
using sortello::test::Workspace;
using sortello::test::writeFile;

namespace {

class HostileNames : public ::testing::Test {
protected:
    void SetUp() override { ws.writeSettings(); }
    QString src(const QString& name) const { return ws.source() + name; }
    QString in(const char* folder, const QString& name) const {
        return ws.folder(QString::fromLatin1(folder)) + name;
    }
    Workspace ws;
};

TEST_F(HostileNames, ANameThatIsNoValidTextIsNeverActedOn) {
    const QByteArray raw = QFile::encodeName(ws.source()) + "bad\xff\xfe.jpg";
    const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "raw", 3), 3);
    ::close(fd);
    ws.open();
    ASSERT_EQ(ws.files()->count(), 1);
    EXPECT_FALSE(ws.files()->item(0).representable);
    ws.select(0);
    ws.command("SRFReplaceExisting");
    ws.command("SRFRemoveNew");
    ws.selectAll();
    ws.command("SRFAutoMoveMultipleAs");
    ws.command("SRFMoveNonExisting");
    // Opening it and the two commands on it each say why; the batches pass it
    // over and count it in their summaries.
    ASSERT_EQ(ws.prompts.messages.size(), 5u);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(ws.prompts.messages[i].text.contains(QStringLiteral("not valid text")))
            << ws.prompts.messages[i].text.toStdString();
    for (int i = 3; i < 5; ++i)
        EXPECT_EQ(ws.prompts.messages[i].text,
                  QStringLiteral("Files moved/renamed : 0\r"
                                 "1 file left because its name is not valid text"));
    EXPECT_EQ(readFile(QFile::decodeName(raw)), QByteArray()); // no other name reaches it
    EXPECT_EQ(::access(raw.constData(), F_OK), 0);
    EXPECT_EQ(ws.files()->count(), 1);
    EXPECT_TRUE(QDir(ws.folder(QStringLiteral("B"))).isEmpty());
    ::unlink(raw.constData()); // QTemporaryDir cannot remove what is not text
}

TEST_F(HostileNames, OddButValidNamesMoveUnderTheirOwnNames) {
    const QStringList names{QStringLiteral("a line\nbreak.jpg"), QStringLiteral(" leading.jpg"),
                            QStringLiteral("Case.jpg"), QStringLiteral("case.jpg"),
                            QStringLiteral("a") + QString(250, u'x') + QStringLiteral(".jpg")};
    for (const QString& name : names)
        writeFile(src(name), name.toUtf8());
    ws.open();
    ASSERT_EQ(ws.files()->count(), names.size());
    ws.command("SRFMoveNonExisting");
    EXPECT_EQ(ws.files()->count(), 0);
    EXPECT_EQ(readFile(in("A", names[0])), names[0].toUtf8());
    EXPECT_EQ(readFile(in("Misc", names[1])), names[1].toUtf8());
    EXPECT_EQ(readFile(in("Misc", names[2])), names[2].toUtf8());
    EXPECT_EQ(readFile(in("Misc", names[3])), names[3].toUtf8());
    EXPECT_EQ(readFile(in("A", names[4])), names[4].toUtf8());
}

TEST_F(HostileNames, ANumberedNameTooLongForTheSystemIsPassedOver) {
    const QString name = QStringLiteral("a") + QString(250, u'x') + QStringLiteral(".jpg");
    writeFile(src(name), "new");
    writeFile(in("A", name), "filed");
    ws.open();
    ws.selectAll();
    ws.command("SRFAutoMoveMultipleAs");
    EXPECT_EQ(readFile(src(name)), "new");
    EXPECT_EQ(readFile(in("A", name)), "filed");
    EXPECT_EQ(ws.prompts.messages.back().text,
              QStringLiteral("Files moved/renamed : 0\r1 file left: ") +
                  qt_error_string(ENAMETOOLONG));
}

TEST_F(HostileNames, ALinkIsMovedAsALinkNeverItsTarget) {
    const QString target = ws.folder(QStringLiteral("Misc")) + QStringLiteral("../original.jpg");
    writeFile(target, "original");
    ASSERT_TRUE(QFile::link(target, src(QStringLiteral("alias.jpg"))));
    ws.open();
    ASSERT_EQ(ws.files()->count(), 1);
    ws.select(0);
    ws.command("SRFReplaceExisting");
    const QFileInfo moved(in("A", QStringLiteral("alias.jpg")));
    EXPECT_TRUE(moved.isSymLink());
    EXPECT_EQ(readFile(target), "original");
    EXPECT_FALSE(QFileInfo(src(QStringLiteral("alias.jpg"))).isSymLink());
}

TEST_F(HostileNames, ASourceFolderRemovedWhileListedLosesNothing) {
    writeFile(src(QStringLiteral("a1.jpg")), "new");
    ws.open();
    ws.select(0);
    ws.prompts.messages.clear(); // its bytes are no JPEG
    QDir(ws.source()).removeRecursively();
    ws.command("SRFReplaceExisting");
    ws.command("SRFUpdateFileList");
    ASSERT_EQ(ws.prompts.messages.size(), 2u);
    EXPECT_TRUE(ws.prompts.messages[0].text.startsWith(QStringLiteral("Unable to rename")));
    EXPECT_EQ(ws.prompts.messages[1].title, QStringLiteral("Sortello"));
    EXPECT_EQ(ws.files()->count(), 1);
}

int readOnlyUnlink(const char*) {
    errno = EROFS;
    return -1;
}

int readOnlyRename(int, const char*, int, const char*, unsigned) {
    errno = EROFS;
    return -1;
}

int readOnlyAccess(int, const char*, int mode, int) {
    errno = EROFS;
    return mode & W_OK ? -1 : 0;
}

TEST_F(HostileNames, ADestinationOnAReadOnlyFileSystemChangesNothing) {
    writeFile(src(QStringLiteral("a1.jpg")), "new");
    writeFile(in("A", QStringLiteral("a1.jpg")), "filed");
    writeFile(src(QStringLiteral("a2.jpg")), "new 2");
    ws.open();
    SysCalls readOnly = realSysCalls();
    readOnly.unlink = readOnlyUnlink;
    readOnly.renameat2 = readOnlyRename;
    readOnly.faccessat = readOnlyAccess;
    const ScopedSysCalls inject(readOnly);
    ws.select(0);
    ws.command("SRFReplaceExisting");
    ws.selectAll();
    ws.command("SRFAutoMoveMultipleAs");
    ws.command("SRFMoveNonExisting");
    // Every box of the commands names the file system as the cause; the
    // others say that the pictures' bytes are no JPEG.
    const QString cause = qt_error_string(EROFS);
    std::vector<QString> texts;
    for (const auto& box : ws.prompts.messages)
        if (box.title != QStringLiteral("Sortello"))
            texts.push_back(box.text);
    EXPECT_EQ(texts, (std::vector<QString>{"Unable to delete destination file :\r" +
                                               in("A", QStringLiteral("a1.jpg")) + '\r' + cause,
                                           "Files moved/renamed : 0\r2 files left: " + cause,
                                           "Unable to move/rename the file:\r" +
                                               src(QStringLiteral("a2.jpg")) + '\r' + cause,
                                           "Files moved/renamed : 0\r1 file left: " + cause}));
    EXPECT_EQ(readFile(src(QStringLiteral("a1.jpg"))), "new");
    EXPECT_EQ(readFile(src(QStringLiteral("a2.jpg"))), "new 2");
    EXPECT_EQ(readFile(in("A", QStringLiteral("a1.jpg"))), "filed");
    EXPECT_EQ(ws.files()->count(), 2);
    EXPECT_EQ(ws.filesMoved()->count(), 0);
}

} // namespace
