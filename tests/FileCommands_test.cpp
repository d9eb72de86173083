// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/FileSystem.h"
#include "support/Workspace.h"
#include "widgets/ComparisonGrid.h"
#include "widgets/FileListBox.h"
#include "widgets/PictureBox.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <cerrno>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace sortello;
using sortello::test::readFile;
using sortello::test::Workspace;
using sortello::test::writeFile;

namespace {

bool there(const QString& path) {
    return QFileInfo::exists(path);
}

QStringList listed(TFrmSRMain& window) {
    QStringList names;
    for (int i = 0; i < window.FileListBox->count(); ++i)
        names << window.FileListBox->itemText(i);
    return names;
}

QStringList moved(TFrmSRMain& window) {
    QStringList names;
    for (int i = 0; i < window.ListBoxFilesMoved->count(); ++i)
        names << window.ListBoxFilesMoved->item(i)->text();
    return names;
}

// The system's reason as the boxes add it, on a line of its own.
QString reason(int error) {
    return QStringLiteral("\r") + qt_error_string(error);
}

void makeReadOnly(const QString& path) {
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
}

class FileCommands : public ::testing::Test {
protected:
    void SetUp() override { ws.writeSettings(); }
    QString src(const QString& name) const { return ws.source() + name; }
    QString in(const char* folder, const QString& name) const {
        return ws.folder(QString::fromLatin1(folder)) + name;
    }
    // A source file with its own bytes, so a test can tell which file ended where.
    void add(const QString& name, const QByteArray& bytes = {}) {
        writeFile(src(name), bytes.isEmpty() ? name.toUtf8() : bytes);
    }
    const test::ShownMessage& onlyMessage() const {
        EXPECT_EQ(ws.prompts.messages.size(), 1u);
        return ws.prompts.messages.back();
    }
    Workspace ws;
};

TEST_F(FileCommands, ReplaceExistingMovesOverTheFiledPictureAndAdvances) {
    add(QStringLiteral("a1.jpg"));
    add(QStringLiteral("a2.jpg"));
    writeFile(in("A", QStringLiteral("a1.jpg")), "old");
    TFrmSRMain& window = ws.open();
    window.FileListBox->focusAndSelect(0);
    window.SRFReplaceExistingClick();
    EXPECT_EQ(readFile(in("A", QStringLiteral("a1.jpg"))), "a1.jpg");
    EXPECT_FALSE(there(src(QStringLiteral("a1.jpg"))));
    EXPECT_EQ(listed(window), QStringList{QStringLiteral("a2.jpg")});
    EXPECT_EQ(window.FileListBox->currentFileRow(), 0);
    EXPECT_EQ(moved(window), QStringList{QStringLiteral("a1.jpg")});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FileCommands, WithoutACurrentFileNothingHappens) {
    add(QStringLiteral("a1.jpg"));
    TFrmSRMain& window = ws.open();
    window.SRFReplaceExistingClick();
    window.SRFRemoveNewClick();
    window.SRFMoveAsClick();
    window.FileListBox->focusAndSelect(0);
    window.FileListBox->setRowSelected(0, false);
    window.SRFReplaceExistingClick();
    window.SRFRemoveNewClick();
    EXPECT_TRUE(ws.prompts.messages.empty());
    EXPECT_TRUE(ws.prompts.saveRequests.empty());
    EXPECT_TRUE(there(src(QStringLiteral("a1.jpg"))));
}

TEST_F(FileCommands, ReplaceRefusesAReadOnlyDestinationBeforeAnythingChanges) {
    add(QStringLiteral("a1.jpg"));
    writeFile(in("A", QStringLiteral("a1.jpg")), "old");
    makeReadOnly(in("A", QStringLiteral("a1.jpg")));
    TFrmSRMain& window = ws.open();
    window.FileListBox->focusAndSelect(0);
    window.SRFReplaceExistingClick();
    const auto& box = onlyMessage();
    EXPECT_EQ(box.title, QStringLiteral("Error"));
    EXPECT_EQ(box.icon, MessageIcon::Error);
    EXPECT_EQ(box.buttons, MessageButtons(MessageButton::Cancel));
    EXPECT_EQ(box.text, QStringLiteral("Unable to delete destination file :\r") +
                            in("A", QStringLiteral("a1.jpg")) + reason(EACCES));
    EXPECT_EQ(readFile(in("A", QStringLiteral("a1.jpg"))), "old");
    EXPECT_TRUE(there(src(QStringLiteral("a1.jpg"))));
    EXPECT_EQ(window.FileListBox->currentFileRow(), 0);
    EXPECT_TRUE(moved(window).isEmpty());
}

int closedFolderA(int dirFd, const char* path, int mode, int flags) {
    if ((mode & W_OK) && QByteArray(path).endsWith("/A"))
        return errno = EACCES, -1;
    return realSysCalls().faccessat(dirFd, path, mode, flags);
}

// A destination folder the user may not change: the box names the file in the
// way, and nothing changes. Run as a user the folder is really closed; root
// may change any folder, so there the system's refusal is injected.
TEST_F(FileCommands, ReplacingInAFolderWeMayNotChangeNamesTheFileInTheWay) {
    add(QStringLiteral("a1.jpg"));
    add(QStringLiteral("a2.jpg"));
    const QString filed = in("A", QStringLiteral("a1.jpg"));
    const QString chosen = in("A", QStringLiteral("a2 old.jpg"));
    writeFile(filed, "old");
    writeFile(chosen, "old 2");
    TFrmSRMain& window = ws.open();
    const QByteArray folder = QFile::encodeName(ws.folder(QStringLiteral("A")));
    std::optional<ScopedSysCalls> injected;
    if (::geteuid() == 0) {
        SysCalls closed = realSysCalls();
        closed.faccessat = closedFolderA;
        injected.emplace(closed);
    } else {
        ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
    }
    window.FileListBox->focusAndSelect(0);
    window.SRFReplaceExistingClick();
    window.FileListBox->focusAndSelect(1);
    ws.prompts.saveAnswers = {chosen};
    window.SRFMoveAsClick();
    ::chmod(folder.constData(), 0755);

    std::vector<QString> texts;
    for (const auto& box : ws.prompts.messages)
        texts.push_back(box.text);
    EXPECT_EQ(texts, (std::vector<QString>{
                         "Unable to delete destination file :\r" + filed + reason(EACCES),
                         "Unable to delete the file :\r" + chosen + reason(EACCES)}));
    EXPECT_EQ(readFile(filed), "old");
    EXPECT_EQ(readFile(chosen), "old 2");
    EXPECT_EQ(listed(window), (QStringList{"a1.jpg", "a2.jpg"}));
    EXPECT_TRUE(moved(window).isEmpty());
}

TEST_F(FileCommands, ReplaceReportsAFailedMoveAndKeepsTheFile) {
    ws.writeSettings("[Chars]\r\nQ=\"/no/such/folder/\"\r\n");
    add(QStringLiteral("q1.jpg"));
    add(QStringLiteral("b1.jpg"));
    QDir().mkpath(in("B", QStringLiteral("b1.jpg"))); // a folder bearing the name
    TFrmSRMain& window = ws.open();
    for (int row : {1, 0}) {
        ws.prompts.messages.clear();
        window.FileListBox->focusAndSelect(row);
        const QString path = window.pathOfRow(row);
        window.SRFReplaceExistingClick();
        // Nothing was there to delete, so the box does not claim it.
        EXPECT_EQ(onlyMessage().text, QStringLiteral("Unable to rename the file:\r") + path +
                                          reason(row == 1 ? ENOENT : EEXIST));
        EXPECT_TRUE(there(path));
    }
    EXPECT_TRUE(QFileInfo(in("B", QStringLiteral("b1.jpg"))).isDir());
    EXPECT_EQ(listed(window).size(), 2);
}

TEST_F(FileCommands, ReplaceNeverDeletesTheFileItself) {
    // The destination folder of "x" is the source folder.
    ws.writeSettings("[Chars]\r\nX=\"" + ws.source().toUtf8() + "\"\r\n");
    add(QStringLiteral("x1.jpg"));
    TFrmSRMain& window = ws.open();
    window.FileListBox->focusAndSelect(0);
    window.SRFReplaceExistingClick();
    EXPECT_EQ(readFile(src(QStringLiteral("x1.jpg"))), "x1.jpg");
    EXPECT_EQ(onlyMessage().title, QStringLiteral("Error"));
    EXPECT_EQ(listed(window).size(), 1);
}

TEST_F(FileCommands, RemoveNewDeletesAndAdvancesFromTheMiddleAndTheEnd) {
    for (int i = 0; i < 10; ++i)
        add(QStringLiteral("f%1.jpg").arg(i));
    TFrmSRMain& window = ws.open();
    window.FileListBox->focusAndSelect(3);
    window.SRFRemoveNewClick();
    EXPECT_FALSE(there(src(QStringLiteral("f3.jpg"))));
    EXPECT_EQ(window.FileListBox->currentFileRow(), 3);
    EXPECT_EQ(window.FileListBox->itemText(3), QStringLiteral("f4.jpg"));
    window.FileListBox->focusAndSelect(8);
    window.SRFRemoveNewClick();
    EXPECT_EQ(window.FileListBox->currentFileRow(), 7);
    EXPECT_EQ(window.FileListBox->itemText(7), QStringLiteral("f8.jpg"));
    EXPECT_TRUE(moved(window).isEmpty());
}

TEST_F(FileCommands, RemovingTheOnlyEntryLeavesTheViewAsItWas) {
    ws.picture(src(QStringLiteral("a1.bmp")), QSize(20, 10));
    TFrmSRMain& window = ws.open();
    ws.select(0);
    window.SRFRemoveNewClick();
    EXPECT_EQ(window.FileListBox->count(), 0);
    EXPECT_EQ(window.StringGrid1->cell(1, 1), QStringLiteral("20"));
}

TEST_F(FileCommands, RemoveNewReportsAFileThatCannotBeDeleted) {
    add(QStringLiteral("a1.jpg"));
    makeReadOnly(src(QStringLiteral("a1.jpg")));
    TFrmSRMain& window = ws.open();
    window.FileListBox->focusAndSelect(0);
    window.SRFRemoveNewClick();
    EXPECT_EQ(onlyMessage().text, QStringLiteral("Unable to delete the file :\r") +
                                      src(QStringLiteral("a1.jpg")) + reason(EACCES));
    EXPECT_EQ(onlyMessage().buttons, MessageButtons(MessageButton::Ok));
    EXPECT_TRUE(there(src(QStringLiteral("a1.jpg"))));
}

TEST_F(FileCommands, UpdateFileListReadsTheFolderAgainWithoutSelection) {
    add(QStringLiteral("a1.jpg"));
    TFrmSRMain& window = ws.open();
    window.FileListBox->focusAndSelect(0);
    add(QStringLiteral("a0.jpg"));
    window.SRFUpdateFileListClick();
    EXPECT_EQ(listed(window), (QStringList{"a0.jpg", "a1.jpg"}));
    EXPECT_EQ(window.FileListBox->currentFileRow(), -1);

    QDir(ws.source()).removeRecursively();
    window.SRFUpdateFileListClick();
    EXPECT_EQ(onlyMessage().title, QStringLiteral("Sortello"));
    EXPECT_EQ(listed(window).size(), 2);
}

TEST_F(FileCommands, MoveAsAsksForANameAndEnforcesTheRule) {
    add(QStringLiteral("Anna.jpg"));
    TFrmSRMain& window = ws.open();
    window.FileListBox->focusAndSelect(0);
    const QString folderA = ws.folder(QStringLiteral("A"));
    ws.prompts.saveAnswers = {folderA + QStringLiteral("anna2.png"),
                              ws.folder(QStringLiteral("B")) + QStringLiteral("anna2.jpg"),
                              folderA.toUpper() + QStringLiteral("anna2.jpg"),
                              folderA + QStringLiteral("Banna.jpg"), QString()};
    const char* refusals[] = {"Changing extension is not allowed !\rUnable to proceed.",
                              "Changing path is not allowed !\rUnable to proceed.",
                              "Changing path is not allowed !\rUnable to proceed.",
                              "Changing first letter is not allowed !\rUnable to proceed."};
    for (const char* refusal : refusals) {
        ws.prompts.messages.clear();
        window.SRFMoveAsClick();
        EXPECT_EQ(onlyMessage().text, QString::fromLatin1(refusal));
        EXPECT_EQ(onlyMessage().buttons, MessageButtons(MessageButton::Cancel));
    }
    ws.prompts.messages.clear();
    window.SRFMoveAsClick(); // cancelled
    EXPECT_TRUE(ws.prompts.messages.empty());
    EXPECT_TRUE(there(src(QStringLiteral("Anna.jpg"))));

    const SavePictureRequest& first = ws.prompts.saveRequests.front();
    EXPECT_EQ(first.title, QStringLiteral("Save Anna.jpg as"));
    EXPECT_EQ(first.initialFolder, folderA);
    EXPECT_EQ(first.fileName, QStringLiteral("Anna.jpg"));
    EXPECT_EQ(first.defaultSuffix, QStringLiteral("jpg"));
    EXPECT_EQ(first.filters.size(), 7);
    EXPECT_EQ(first.selectedFilter, first.filters[1]);
    // From the second use on, the path returned last is proposed.
    EXPECT_EQ(ws.prompts.saveRequests[1].fileName, folderA + QStringLiteral("anna2.png"));
    EXPECT_EQ(ws.prompts.saveRequests.back().fileName, folderA + QStringLiteral("Banna.jpg"));
}

TEST_F(FileCommands, MoveAsReplacesAChosenExistingFile) {
    add(QStringLiteral("Anna.jpg"));
    add(QStringLiteral("Anton.jpg"));
    const QString target = in("A", QStringLiteral("anna 2.JPG"));
    writeFile(target, "older picture");
    TFrmSRMain& window = ws.open();
    window.FileListBox->focusAndSelect(0);
    ws.prompts.saveAnswers = {target};
    window.SRFMoveAsClick();
    // The only box is the next entry failing to open: its bytes are no JPEG.
    for (const auto& box : ws.prompts.messages)
        EXPECT_NE(box.title, QStringLiteral("Error")) << box.text.toStdString();
    EXPECT_EQ(readFile(target), "Anna.jpg");
    EXPECT_FALSE(there(src(QStringLiteral("Anna.jpg"))));
    EXPECT_EQ(moved(window), QStringList{QStringLiteral("anna 2.JPG")});
    EXPECT_EQ(listed(window), QStringList{QStringLiteral("Anton.jpg")});
}

TEST_F(FileCommands, MoveAsNeverDeletesTheFileItself) {
    ws.writeSettings("[Chars]\r\nX=\"" + ws.source().toUtf8() + "\"\r\n");
    add(QStringLiteral("x1.jpg"));
    TFrmSRMain& window = ws.open();
    window.FileListBox->focusAndSelect(0);
    ws.prompts.saveAnswers = {src(QStringLiteral("x1.jpg"))};
    window.SRFMoveAsClick();
    EXPECT_EQ(readFile(src(QStringLiteral("x1.jpg"))), "x1.jpg");
    EXPECT_EQ(ws.prompts.messages.size(), 1u);
}

TEST_F(FileCommands, AutoMoveGivesNumberedNamesFromTheEndOfTheList) {
    for (const char* name : {"Anna.JPG", "anna.jpg", "Anna12.jpg", "Bert.jpg", "Cleo.jpg"})
        add(QString::fromLatin1(name));
    // Anna is taken; so is its first numbered name with another case.
    writeFile(in("A", QStringLiteral("Anna.JPG")), "filed");
    writeFile(in("A", QStringLiteral("anna.jpg")), "filed");
    writeFile(in("A", QStringLiteral("Anna12.jpg")), "filed");
    writeFile(in("A", QStringLiteral("ANNA00000000.JPG")), "filed");
    TFrmSRMain& window = ws.open();
    window.ListBoxFilesMoved->setVisible(false);
    window.menuItem("SRFShowFilesMoved")->setChecked(false);
    for (int row = 0; row < window.FileListBox->count(); ++row)
        window.FileListBox->setRowSelected(row, window.FileListBox->itemText(row) != "Cleo.jpg");
    window.SRFAutoMoveMultipleAsClick();

    // Visited from the end: Anna12 first, then anna.jpg, then Anna.JPG.
    EXPECT_EQ(readFile(in("A", QStringLiteral("Anna00000001.jpg"))), "Anna12.jpg");
    EXPECT_EQ(readFile(in("A", QStringLiteral("anna00000002.jpg"))), "anna.jpg");
    EXPECT_EQ(readFile(in("A", QStringLiteral("Anna00000003.jpg"))), "Anna.JPG");
    EXPECT_EQ(readFile(in("B", QStringLiteral("Bert.jpg"))), "Bert.jpg");
    EXPECT_EQ(listed(window), QStringList{QStringLiteral("Cleo.jpg")});
    EXPECT_EQ(moved(window).size(), 4);
    EXPECT_TRUE(window.ListBoxFilesMoved->isVisible());
    EXPECT_TRUE(window.menuItem("SRFShowFilesMoved")->isChecked());
    const auto& box = onlyMessage();
    EXPECT_EQ(box.title, QStringLiteral("Information"));
    EXPECT_EQ(box.icon, MessageIcon::Information);
    EXPECT_EQ(box.text, QStringLiteral("Files moved/renamed : 4"));
}

TEST_F(FileCommands, AutoMoveCountsWhatItLeftAndWhy) {
    ws.writeSettings("[Chars]\r\nQ=\"/no/such/folder/\"\r\n");
    add(QStringLiteral("q1.jpg"));
    add(QStringLiteral("b1.jpg"));
    QDir().mkpath(in("B", QStringLiteral("b1.jpg")));
    add(QStringLiteral("c1.jpg"));
    TFrmSRMain& window = ws.open();
    for (int row = 0; row < 3; ++row)
        window.FileListBox->setRowSelected(row, true);
    window.SRFAutoMoveMultipleAsClick();
    EXPECT_EQ(onlyMessage().text, QStringLiteral("Files moved/renamed : 1\r1 file left: ") +
                                      qt_error_string(ENOENT) + QStringLiteral("\r1 file left: ") +
                                      qt_error_string(EEXIST));
    EXPECT_EQ(listed(window), (QStringList{"b1.jpg", "q1.jpg"}));
    EXPECT_TRUE(window.FileListBox->isSelected(0));
    EXPECT_TRUE(window.FileListBox->isSelected(1));
    EXPECT_TRUE(there(src(QStringLiteral("q1.jpg"))));
}

TEST_F(FileCommands, AutoMoveWithoutSelectionDoesNothing) {
    add(QStringLiteral("a1.jpg"));
    TFrmSRMain& window = ws.open();
    window.SRFAutoMoveMultipleAsClick();
    EXPECT_TRUE(ws.prompts.messages.empty());
}

TEST_F(FileCommands, MoveNonExistingMovesFreeNamesAndReportsZero) {
    add(QStringLiteral("a1.jpg"));
    add(QStringLiteral("a2.jpg"));
    writeFile(in("A", QStringLiteral("a1.jpg")), "filed");
    TFrmSRMain& window = ws.open();
    window.SRFMoveNonExistingClick();
    EXPECT_EQ(readFile(in("A", QStringLiteral("a2.jpg"))), "a2.jpg");
    EXPECT_EQ(listed(window), QStringList{QStringLiteral("a1.jpg")});
    EXPECT_EQ(onlyMessage().text, QStringLiteral("Files moved/renamed : 1"));
    ws.prompts.messages.clear();
    window.SRFMoveNonExistingClick();
    EXPECT_EQ(onlyMessage().text, QStringLiteral("Files moved/renamed : 0"));
    EXPECT_EQ(readFile(in("A", QStringLiteral("a1.jpg"))), "filed");
}

TEST_F(FileCommands, MoveNonExistingStopsAtTheFirstFailure) {
    ws.writeSettings("[Chars]\r\nQ=\"/no/such/folder/\"\r\n");
    for (const char* name : {"a1.jpg", "q1.jpg", "z1.jpg"})
        add(QString::fromLatin1(name));
    TFrmSRMain& window = ws.open();
    window.SRFMoveNonExistingClick();
    ASSERT_EQ(ws.prompts.messages.size(), 2u);
    EXPECT_EQ(ws.prompts.messages[0].text, QStringLiteral("Unable to move/rename the file:\r") +
                                               src(QStringLiteral("q1.jpg")) + reason(ENOENT));
    EXPECT_EQ(ws.prompts.messages[0].buttons, MessageButtons(MessageButton::Cancel));
    EXPECT_EQ(ws.prompts.messages[1].text,
              QStringLiteral("Files moved/renamed : 1\r1 file left: ") + qt_error_string(ENOENT));
    EXPECT_TRUE(there(in("Misc", QStringLiteral("z1.jpg"))));
    EXPECT_TRUE(there(src(QStringLiteral("a1.jpg")))); // never visited
    EXPECT_EQ(listed(window), (QStringList{"a1.jpg", "q1.jpg"}));
}

TEST_F(FileCommands, ABatchThatMovedNothingHidesAnEmptyList) {
    add(QStringLiteral("a1.jpg"));
    writeFile(in("A", QStringLiteral("a1.jpg")), "filed");
    TFrmSRMain& window = ws.open();
    ASSERT_TRUE(window.ListBoxFilesMoved->isVisible());
    window.SRFMoveNonExistingClick();
    EXPECT_FALSE(window.ListBoxFilesMoved->isVisible());
    EXPECT_FALSE(window.menuItem("SRFShowFilesMoved")->isChecked());
}

TEST_F(FileCommands, TheFilesMovedListShowsAMovedFileEvenWhileHidden) {
    ws.writeSettings("[MenuSelection]\r\nSRIEHide=1\r\n");
    ws.picture(src(QStringLiteral("a1.bmp")), QSize(33, 22));
    ws.picture(src(QStringLiteral("a2.bmp")), QSize(11, 11));
    TFrmSRMain& window = ws.open();
    window.FileListBox->focusAndSelect(0);
    window.SRFReplaceExistingClick();
    window.ListBoxFilesMoved->setCurrentRow(0);
    EXPECT_TRUE(window.ImageExisting->isVisible());
    EXPECT_EQ(window.StringGrid1->cell(2, 1), QStringLiteral("33"));
    // Gone behind the program's back: the pane hides and the row zeroes.
    QFile::remove(in("A", QStringLiteral("a1.bmp")));
    window.ListBoxFilesMoved->clearSelection();
    window.ListBoxFilesMoved->setCurrentRow(0);
    EXPECT_FALSE(window.ImageExisting->isVisible());
    EXPECT_EQ(window.StringGrid1->cell(2, 1), QStringLiteral("0"));
}

TEST_F(FileCommands, TheFilesMovedListStaysSortedWithDuplicates) {
    TFrmSRMain& window = ws.open();
    for (const char* name : {"b.jpg", "A.jpg", "c.jpg", "b.jpg", "a0.jpg"})
        window.addFileMoved(QString::fromLatin1(name));
    EXPECT_EQ(moved(window), (QStringList{"A.jpg", "a0.jpg", "b.jpg", "b.jpg", "c.jpg"}));
}

} // namespace

namespace {

TEST_F(FileCommands, MoveAsReportsADeleteAndAMoveThatFail) {
    add(QStringLiteral("Anna.jpg"));
    const QString locked = in("A", QStringLiteral("Anna-locked.jpg"));
    writeFile(locked, "filed");
    makeReadOnly(locked);
    TFrmSRMain& window = ws.open();
    window.FileListBox->focusAndSelect(0);
    ws.prompts.saveAnswers = {locked};
    window.SRFMoveAsClick();
    EXPECT_EQ(onlyMessage().text,
              QStringLiteral("Unable to delete the file :\r") + locked + reason(EACCES));
    EXPECT_EQ(readFile(locked), "filed");

    // The new file vanished behind the program's back: the move fails and
    // the chosen file stays, as the two are swapped in one step.
    ws.prompts.messages.clear();
    const QString chosen = in("A", QStringLiteral("Anna-old.jpg"));
    writeFile(chosen, "filed");
    QFile::remove(src(QStringLiteral("Anna.jpg")));
    ws.prompts.saveAnswers = {chosen};
    window.SRFMoveAsClick();
    EXPECT_EQ(onlyMessage().text, QStringLiteral("Unable to rename/move the file:\r") +
                                      src(QStringLiteral("Anna.jpg")) + reason(ENOENT));
    EXPECT_EQ(readFile(chosen), "filed");
    EXPECT_EQ(listed(window).size(), 1);
}

TEST_F(FileCommands, MoveAsComparesFirstCharactersOutsideAToZExactly) {
    ws.writeSettings("[Chars]\r\nÉ=\"" + ws.folder(QStringLiteral("A")).toUtf8() + "\"\r\n");
    add(QStringLiteral("Émile.jpg"));
    TFrmSRMain& window = ws.open();
    window.FileListBox->focusAndSelect(0);
    ws.prompts.saveAnswers = {in("A", QStringLiteral("émile 2.jpg"))};
    window.SRFMoveAsClick();
    EXPECT_EQ(onlyMessage().text,
              QStringLiteral("Changing first letter is not allowed !\rUnable to proceed."));
    EXPECT_TRUE(there(src(QStringLiteral("Émile.jpg"))));
}

} // namespace
