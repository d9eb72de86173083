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
#include <QTest>
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

QStringList listed(Workspace& ws) {
    QStringList names;
    for (int i = 0; i < ws.files()->count(); ++i)
        names << ws.files()->itemText(i);
    return names;
}

QStringList moved(Workspace& ws) {
    QStringList names;
    for (int i = 0; i < ws.filesMoved()->count(); ++i)
        names << ws.filesMoved()->item(i)->text();
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
    ws.open();
    ws.select(0);
    ws.command("SRFReplaceExisting");
    EXPECT_EQ(readFile(in("A", QStringLiteral("a1.jpg"))), "a1.jpg");
    EXPECT_FALSE(there(src(QStringLiteral("a1.jpg"))));
    EXPECT_EQ(listed(ws), QStringList{QStringLiteral("a2.jpg")});
    EXPECT_EQ(ws.files()->currentFileRow(), 0);
    EXPECT_EQ(moved(ws), QStringList{QStringLiteral("a1.jpg")});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FileCommands, WithoutACurrentFileNothingHappens) {
    add(QStringLiteral("a1.jpg"));
    ws.open();
    ws.command("SRFReplaceExisting");
    ws.command("SRFRemoveNew");
    ws.command("SRFMoveAs");
    // Ctrl moves the focus mark without selecting.
    QTest::keyClick(ws.files(), Qt::Key_End, Qt::ControlModifier);
    ws.command("SRFReplaceExisting");
    ws.command("SRFRemoveNew");
    EXPECT_TRUE(ws.prompts.messages.empty());
    EXPECT_TRUE(ws.prompts.saveRequests.empty());
    EXPECT_TRUE(there(src(QStringLiteral("a1.jpg"))));
}

TEST_F(FileCommands, RemoveNewDeletesAndAdvancesFromTheMiddleAndTheEnd) {
    for (int i = 0; i < 10; ++i)
        add(QStringLiteral("f%1.jpg").arg(i));
    ws.open();
    ws.select(3);
    ws.command("SRFRemoveNew");
    EXPECT_FALSE(there(src(QStringLiteral("f3.jpg"))));
    EXPECT_EQ(ws.files()->currentFileRow(), 3);
    EXPECT_EQ(ws.files()->itemText(3), QStringLiteral("f4.jpg"));
    ws.select(8);
    ws.command("SRFRemoveNew");
    EXPECT_EQ(ws.files()->currentFileRow(), 7);
    EXPECT_EQ(ws.files()->itemText(7), QStringLiteral("f8.jpg"));
    EXPECT_TRUE(moved(ws).isEmpty());
}

TEST_F(FileCommands, RemovingTheOnlyEntryLeavesTheViewAsItWas) {
    ws.picture(src(QStringLiteral("a1.bmp")), QSize(20, 10));
    ws.open();
    ws.select(0);
    ws.command("SRFRemoveNew");
    EXPECT_EQ(ws.files()->count(), 0);
    EXPECT_EQ(ws.grid()->cell(1, 1), QStringLiteral("20"));
}

TEST_F(FileCommands, UpdateFileListReadsTheFolderAgainWithoutSelection) {
    add(QStringLiteral("a1.jpg"));
    ws.open();
    ws.select(0);
    ws.prompts.messages.clear(); // its bytes are no JPEG
    add(QStringLiteral("a0.jpg"));
    ws.command("SRFUpdateFileList");
    EXPECT_EQ(listed(ws), (QStringList{"a0.jpg", "a1.jpg"}));
    EXPECT_EQ(ws.files()->currentFileRow(), -1);

    QDir(ws.source()).removeRecursively();
    ws.command("SRFUpdateFileList");
    EXPECT_EQ(onlyMessage().title, QStringLiteral("Sortello"));
    EXPECT_EQ(listed(ws).size(), 2);
}

TEST_F(FileCommands, MoveAsReplacesAChosenExistingFile) {
    add(QStringLiteral("Anna.jpg"));
    add(QStringLiteral("Anton.jpg"));
    const QString target = in("A", QStringLiteral("anna 2.JPG"));
    writeFile(target, "older picture");
    ws.open();
    ws.select(0);
    ws.prompts.saveAnswers = {target};
    ws.command("SRFMoveAs");
    // The only box is the next entry failing to open: its bytes are no JPEG.
    for (const auto& box : ws.prompts.messages)
        EXPECT_NE(box.title, QStringLiteral("Error")) << box.text.toStdString();
    EXPECT_EQ(readFile(target), "Anna.jpg");
    EXPECT_FALSE(there(src(QStringLiteral("Anna.jpg"))));
    EXPECT_EQ(moved(ws), QStringList{QStringLiteral("anna 2.JPG")});
    EXPECT_EQ(listed(ws), QStringList{QStringLiteral("Anton.jpg")});
}

// Which names the files get is the session's; the window shows the list of
// files moved again and the summary.
TEST_F(FileCommands, AutoMoveShowsTheFilesMovedAndASummary) {
    for (const char* name : {"Anna.JPG", "anna.jpg", "Anna12.jpg", "Bert.jpg", "Cleo.jpg"})
        add(QString::fromLatin1(name));
    writeFile(in("A", QStringLiteral("Anna.JPG")), "filed");
    ws.open();
    ws.command("SRFShowFilesMoved");
    ASSERT_FALSE(ws.filesMoved()->isVisible());
    ASSERT_EQ(ws.files()->itemText(4), QStringLiteral("Cleo.jpg"));
    ws.select(0);
    test::clickRow(*ws.files(), 3, Qt::ShiftModifier);
    ws.prompts.messages.clear(); // the first entry's bytes are no JPEG
    ws.command("SRFAutoMoveMultipleAs");

    EXPECT_EQ(listed(ws), QStringList{QStringLiteral("Cleo.jpg")});
    EXPECT_EQ(moved(ws).size(), 4);
    EXPECT_TRUE(ws.filesMoved()->isVisible());
    EXPECT_TRUE(ws.item("SRFShowFilesMoved")->isChecked());
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
    ws.open();
    ws.selectAll();
    ws.prompts.messages.clear(); // their bytes are no JPEG
    ws.command("SRFAutoMoveMultipleAs");
    EXPECT_EQ(onlyMessage().text, QStringLiteral("Files moved/renamed : 1\r1 file left: ") +
                                      qt_error_string(ENOENT) + QStringLiteral("\r1 file left: ") +
                                      qt_error_string(EEXIST));
    EXPECT_EQ(listed(ws), (QStringList{"b1.jpg", "q1.jpg"}));
    EXPECT_TRUE(ws.files()->isSelected(0));
    EXPECT_TRUE(ws.files()->isSelected(1));
    EXPECT_TRUE(there(src(QStringLiteral("q1.jpg"))));
}

TEST_F(FileCommands, AutoMoveWithoutSelectionDoesNothing) {
    add(QStringLiteral("a1.jpg"));
    ws.open();
    ws.command("SRFAutoMoveMultipleAs");
    EXPECT_TRUE(ws.prompts.messages.empty());
}

TEST_F(FileCommands, MoveNonExistingMovesFreeNamesAndReportsZero) {
    add(QStringLiteral("a1.jpg"));
    add(QStringLiteral("a2.jpg"));
    writeFile(in("A", QStringLiteral("a1.jpg")), "filed");
    ws.open();
    ws.command("SRFMoveNonExisting");
    EXPECT_EQ(readFile(in("A", QStringLiteral("a2.jpg"))), "a2.jpg");
    EXPECT_EQ(listed(ws), QStringList{QStringLiteral("a1.jpg")});
    EXPECT_EQ(onlyMessage().text, QStringLiteral("Files moved/renamed : 1"));
    ws.prompts.messages.clear();
    ws.command("SRFMoveNonExisting");
    EXPECT_EQ(onlyMessage().text, QStringLiteral("Files moved/renamed : 0"));
    EXPECT_EQ(readFile(in("A", QStringLiteral("a1.jpg"))), "filed");
}

TEST_F(FileCommands, MoveNonExistingStopsAtTheFirstFailure) {
    ws.writeSettings("[Chars]\r\nQ=\"/no/such/folder/\"\r\n");
    for (const char* name : {"a1.jpg", "q1.jpg", "z1.jpg"})
        add(QString::fromLatin1(name));
    ws.open();
    ws.command("SRFMoveNonExisting");
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
    EXPECT_EQ(listed(ws), (QStringList{"a1.jpg", "q1.jpg"}));
}

TEST_F(FileCommands, ABatchThatMovedNothingHidesAnEmptyList) {
    add(QStringLiteral("a1.jpg"));
    writeFile(in("A", QStringLiteral("a1.jpg")), "filed");
    ws.open();
    ASSERT_TRUE(ws.filesMoved()->isVisible());
    ws.command("SRFMoveNonExisting");
    EXPECT_FALSE(ws.filesMoved()->isVisible());
    EXPECT_FALSE(ws.item("SRFShowFilesMoved")->isChecked());
}

TEST_F(FileCommands, TheFilesMovedListShowsAMovedFileEvenWhileHidden) {
    ws.writeSettings("[MenuSelection]\r\nSRIEHide=1\r\n");
    ws.picture(src(QStringLiteral("a1.bmp")), QSize(33, 22));
    ws.picture(src(QStringLiteral("a2.bmp")), QSize(11, 11));
    ws.open();
    ws.select(0);
    ws.command("SRFReplaceExisting");
    test::clickRow(*ws.filesMoved(), 0);
    EXPECT_TRUE(ws.imageExisting()->isVisible());
    EXPECT_EQ(ws.grid()->cell(2, 1), QStringLiteral("33"));
    // Gone behind the program's back: the pane hides and the row zeroes.
    QFile::remove(in("A", QStringLiteral("a1.bmp")));
    // Picked again, it is shown again.
    test::clickRow(*ws.filesMoved(), 0);
    EXPECT_FALSE(ws.imageExisting()->isVisible());
    EXPECT_EQ(ws.grid()->cell(2, 1), QStringLiteral("0"));
}

} // namespace

TEST_F(FileCommands, CtrlZTakesBackTheLastCommandAndItsEntryIsCurrentAgain) {
    add(QStringLiteral("a1.jpg"));
    add(QStringLiteral("a2.jpg"));
    ws.open();
    QAction* undo = ws.item("SRFUndo");
    EXPECT_EQ(undo->text(), "Undo\tCtrl+Z");
    EXPECT_FALSE(undo->isEnabled());
    ws.select(0);
    ws.command("SRFReplaceExisting");
    EXPECT_EQ(undo->text(), "Undo move of a1.jpg\tCtrl+Z");
    EXPECT_TRUE(undo->isEnabled());

    QTest::keyClick(ws.files(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(readFile(src(QStringLiteral("a1.jpg"))), "a1.jpg");
    EXPECT_FALSE(there(in("A", QStringLiteral("a1.jpg"))));
    EXPECT_EQ(listed(ws), (QStringList{"a1.jpg", "a2.jpg"}));
    EXPECT_EQ(ws.files()->currentFileRow(), 0);
    EXPECT_EQ(moved(ws), QStringList());
    EXPECT_EQ(undo->text(), "Undo\tCtrl+Z");
    EXPECT_FALSE(undo->isEnabled());
}

// A key the user gave a command stays that command's.
TEST_F(FileCommands, ACommandGivenCtrlZKeepsIt) {
    ws.writeSettings("[Shortcuts]\r\nSRFRemoveNew=16474\r\n");
    add(QStringLiteral("a1.jpg"));
    add(QStringLiteral("a2.jpg"));
    ws.open();
    ws.select(0);
    ws.command("SRFReplaceExisting");
    EXPECT_EQ(ws.item("SRFUndo")->text(), "Undo move of a1.jpg");
    QTest::keyClick(ws.files(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(there(src(QStringLiteral("a2.jpg"))));
    EXPECT_TRUE(there(in("A", QStringLiteral("a1.jpg"))));
    EXPECT_EQ(ws.item("SRFUndo")->text(), "Cannot undo removal of a2.jpg");
}
