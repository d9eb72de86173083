// SPDX-License-Identifier: GPL-3.0-or-later
// The file list, the comparison view and the files-moved list as a user meets
// them: keys and clicks on the real widgets, pictures that stay true to the
// entry that is current.
#include "support/Workspace.h"
#include "widgets/ComparisonGrid.h"
#include "widgets/FileListBox.h"
#include "widgets/PictureBox.h"

#include <QDir>
#include <QListWidget>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace sortello;
using namespace sortello::test;

namespace {

class View : public ::testing::Test {
protected:
    QString src(const char* name) const { return ws.source() + QString::fromLatin1(name); }
    QString in(const char* folder, const char* name) const {
        return ws.folder(QString::fromLatin1(folder)) + QString::fromLatin1(name);
    }
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(ws.files(), k, mods);
    }
    int selectedCount() { return int(ws.files()->selectedRows().size()); }
    // Ctrl+click on a selected entry takes its selection away.
    void unselect(int row) { test::clickRow(*ws.files(), row, Qt::ControlModifier); }

    Workspace ws;
};

TEST_F(View, ListKeysSelectTheEntryTheyLandOn) {
    ws.writeSettings();
    ws.picture(src("a1.bmp"), QSize(11, 5));
    ws.picture(src("a2.bmp"), QSize(12, 5));
    ws.picture(src("a3.bmp"), QSize(13, 5));
    ws.open();

    // Right after start-up Home makes the first file current, and a command acts on it.
    key(Qt::Key_Home);
    EXPECT_EQ(ws.files()->currentFileRow(), 0);
    EXPECT_EQ(ws.grid()->cell(1, 1), QStringLiteral("11"));
    key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_TRUE(QFileInfo::exists(in("A", "a1.bmp")));
    EXPECT_EQ(ws.grid()->cell(1, 1), QStringLiteral("12"));

    // Shift extends; a plain move leaves only the entry it lands on selected,
    // also where the focus mark already was.
    key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(selectedCount(), 2);
    key(Qt::Key_End);
    EXPECT_EQ(ws.files()->selectedRows(), QList<int>{1});
    unselect(1);
    key(Qt::Key_End);
    EXPECT_EQ(ws.files()->currentFileRow(), 1);
    unselect(1);
    key(Qt::Key_Space);
    EXPECT_EQ(ws.files()->currentFileRow(), 1);
}

// The grid says in words when the namesake is the same bytes or the same
// picture in another size, whether the pair was compared ahead or on the step;
// Ctrl+Alt+Left then removes the one byte-for-byte copy.
TEST_F(View, TheGridSaysWhenTheNamesakeIsTheSamePicture) {
    ws.writeSettings();
    for (const char* name : {"a1.bmp", "a2.bmp", "a3.bmp"})
        ws.picture(src(name), QSize(40, 30));
    QFile::copy(src("a1.bmp"), in("A", "a1.bmp"));
    ws.picture(in("A", "a2.bmp"), QSize(80, 60));
    ws.picture(in("A", "a3.bmp"), QSize(40, 30), Qt::blue);
    ws.open();
    key(Qt::Key_Home);
    EXPECT_EQ(ws.grid()->likeness(), QStringLiteral("Identical"));
    ws.window().waitForDecodesAhead();
    key(Qt::Key_Down);
    EXPECT_EQ(ws.grid()->likeness(), QStringLiteral("Looks the same"));
    ws.window().waitForDecodesAhead();
    key(Qt::Key_Down);
    EXPECT_EQ(ws.grid()->likeness(), QString());

    key(Qt::Key_Left, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_FALSE(ws.prompts.messages.empty());
    EXPECT_EQ(ws.prompts.messages.back().text, QStringLiteral("Identical files removed : 1"));
    EXPECT_FALSE(QFileInfo::exists(src("a1.bmp")));
    EXPECT_EQ(ws.files()->count(), 2);
}

TEST_F(View, AClickBelowTheLastEntryKeepsTheCurrentFile) {
    ws.writeSettings();
    ws.picture(src("a1.bmp"), QSize(11, 5));
    ws.open();
    ws.select(0);
    QWidget* viewport = ws.files()->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(5, viewport->height() - 3));
    EXPECT_EQ(ws.files()->currentFileRow(), 0);
    key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_TRUE(QFileInfo::exists(in("A", "a1.bmp")));
}

TEST_F(View, AMissingSourceFolderShowsTheStartUpDirectory) {
    sortello::test::writeFile(ws.ini(), "[Folders]\r\nSource=\"/no/such/folder/\"\r\n");
    ws.picture(in("B", "here.bmp"), QSize(4, 4));
    const QString before = QDir::currentPath();
    QDir::setCurrent(ws.folder(QStringLiteral("B")));
    ws.open();
    QDir::setCurrent(before);
    EXPECT_TRUE(ws.prompts.messages.empty());
    ASSERT_EQ(ws.files()->count(), 1);
    EXPECT_EQ(ws.files()->itemText(0), QStringLiteral("here.bmp"));
}

TEST_F(View, TheViewerNeverShowsAPictureOfAnotherFile) {
    ws.writeSettings();
    ws.picture(src("a1.bmp"), QSize(11, 5));
    ws.picture(in("A", "a1.bmp"), QSize(21, 5));
    QImage photo(40, 30, QImage::Format_RGB32);
    photo.fill(Qt::green);
    ASSERT_TRUE(photo.save(src("b1.jpg"), "JPEG"));
    ws.open();
    ws.select(0);
    ASSERT_FALSE(ws.imageExisting()->picture().isNull());

    // No namesake: the hidden pane holds nothing for Alt+E to open.
    ws.select(1);
    EXPECT_TRUE(ws.imageExisting()->picture().isNull());
    key(Qt::Key_E, Qt::AltModifier);
    EXPECT_TRUE(ws.prompts.dialogsRun.empty());

    // The last file removed: its picture stays on screen, and the viewer takes
    // that picture rather than the file that is gone.
    key(Qt::Key_Left, Qt::ControlModifier);
    ASSERT_FALSE(QFileInfo::exists(src("b1.jpg")));
    key(Qt::Key_Left, Qt::ControlModifier);
    ASSERT_EQ(ws.files()->count(), 0);
    ASSERT_FALSE(ws.imageNew()->picture().isNull());
    QTest::mouseClick(ws.imageNew(), Qt::LeftButton);
    EXPECT_TRUE(ws.prompts.messages.empty()) << ws.prompts.messages[0].text.toStdString();
    EXPECT_EQ(ws.prompts.dialogsRun, std::vector<QString>{QStringLiteral("FrmSRImageView")});
}

TEST_F(View, PickingAMovedEntryAgainShowsItAgain) {
    ws.writeSettings();
    ws.picture(src("a1.bmp"), QSize(11, 5));
    ws.picture(src("a2.bmp"), QSize(12, 5));
    ws.picture(src("b1.bmp"), QSize(13, 5));
    ws.picture(in("B", "b1.bmp"), QSize(23, 5));
    ws.open();
    ws.select(0);
    ws.command("SRFReplaceExisting");
    ws.command("SRFReplaceExisting");
    ASSERT_EQ(ws.filesMoved()->count(), 2);
    test::clickRow(*ws.filesMoved(), 0);
    EXPECT_EQ(ws.grid()->cell(2, 1), QStringLiteral("11"));
    EXPECT_EQ(ws.filesMoved()->item(0)->toolTip(), QStringLiteral("a1.bmp"));
    // b1.bmp, already current, is opened again; its namesake fills the existing row.
    ws.command("SRFUpdateFileList");
    ws.select(0);
    ASSERT_EQ(ws.grid()->cell(2, 1), QStringLiteral("23"));
    test::clickRow(*ws.filesMoved(), 0);
    EXPECT_EQ(ws.grid()->cell(2, 1), QStringLiteral("11"));
    EXPECT_EQ(ws.imageExisting()->picture().size(), QSize(11, 5));
}

TEST_F(View, EveryGridColumnIsReadableAtTheOpeningSize) {
    ws.writeSettings();
    ws.picture(src("a1.bmp"), QSize(12345, 4));
    ws.picture(in("A", "a1.bmp"), QSize(12344, 4));
    TFrmSRMain& window = ws.open();
    ws.select(0);
    ASSERT_EQ(window.size(), QSize(494, 417));
    QTest::qWait(0); // the grid's new width reaches the layout
    const QRect room = child<QFrame>(window, "Panel5")->contentsRect();
    const QRect grid = ws.grid()->geometry();
    EXPECT_LE(ws.grid()->sizeHint().width(), room.width());
    EXPECT_LE(grid.right(), room.right());
    EXPECT_GE(grid.width(), ws.grid()->sizeHint().width());
}

TEST_F(View, AnUnusableNameClearsTheViewAndIsReportedOnce) {
    ws.writeSettings();
    ws.picture(src("a1.bmp"), QSize(11, 5));
    ws.picture(in("A", "a1.bmp"), QSize(21, 5));
    const QByteArray raw = QFile::encodeName(ws.source()) + "b\xff.bmp";
    const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ws.open();
    ws.select(0);
    for (int pass = 0; pass < 2; ++pass) {
        key(Qt::Key_Down);
        EXPECT_TRUE(ws.imageNew()->picture().isNull());
        EXPECT_TRUE(ws.imageExisting()->picture().isNull());
        EXPECT_EQ(ws.grid()->cell(1, 1), QStringLiteral("0"));
        EXPECT_EQ(ws.grid()->cell(2, 1), QStringLiteral("0"));
        key(Qt::Key_Up);
        EXPECT_EQ(ws.grid()->cell(1, 1), QStringLiteral("11"));
    }
    EXPECT_EQ(ws.prompts.messages.size(), 1u);
    ::unlink(raw.constData()); // QTemporaryDir cannot remove what is not text
}

TEST_F(View, StepsShowPairsDecodedAheadAndNeverAChangedFile) {
    ws.writeSettings();
    for (int i = 0; i < 4; ++i) {
        const QByteArray name = QByteArrayLiteral("a") + QByteArray::number(i) + ".bmp";
        ws.picture(src(name.constData()), QSize(10 + i, 5));
        ws.picture(in("A", name.constData()), QSize(20 + i, 5));
    }
    ws.open();
    ws.select(0);
    ws.window().waitForDecodesAhead();
    // Rewritten after it was decoded ahead: same name, another picture.
    ws.picture(src("a2.bmp"), QSize(32, 5));
    const std::pair<Qt::Key, int> steps[] = {
        {Qt::Key_Down, 1}, {Qt::Key_Down, 2}, {Qt::Key_Down, 3}, {Qt::Key_Up, 2}};
    for (const auto& [k, row] : steps) {
        key(k);
        ws.window().waitForDecodesAhead();
        const int width = row == 2 ? 32 : 10 + row;
        EXPECT_EQ(ws.imageNew()->picture().width(), width) << row;
        EXPECT_EQ(ws.grid()->cell(1, 1), QString::number(width)) << row;
        EXPECT_EQ(ws.imageExisting()->picture().width(), 20 + row) << row;
        EXPECT_EQ(ws.grid()->cell(2, 1), QString::number(20 + row)) << row;
    }
}

} // namespace
