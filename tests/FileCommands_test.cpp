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

// Which names the files get is the session's; the window shows the list of
// files moved again and the summary.
TEST_F(FileCommands, AutoMoveShowsTheFilesMovedAndASummary) {
    for (const char* name : {"Anna.JPG", "anna.jpg", "Anna12.jpg", "Bert.jpg", "Cleo.jpg"})
        add(QString::fromLatin1(name));
    writeFile(in("A", QStringLiteral("Anna.JPG")), "filed");
    TFrmSRMain& window = ws.open();
    window.ListBoxFilesMoved->setVisible(false);
    window.menuItem("SRFShowFilesMoved")->setChecked(false);
    for (int row = 0; row < window.FileListBox->count(); ++row)
        window.FileListBox->setRowSelected(row, window.FileListBox->itemText(row) != "Cleo.jpg");
    window.SRFAutoMoveMultipleAsClick();

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
    EXPECT_EQ(ws.prompts.messages[0].title, QStringLiteral("Error"));
    EXPECT_EQ(ws.prompts.messages[0].icon, MessageIcon::Error);
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

} // namespace
