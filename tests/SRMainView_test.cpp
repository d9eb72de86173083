// SPDX-License-Identifier: GPL-3.0-or-later
// The file list, the comparison view and the files-moved list as a user meets
// them: keys and clicks on the real widgets, pictures that stay true to the
// entry that is current.
#include "pictures/DecodeAhead.h"
#include "support/ExifFixtures.h"
#include "support/Workspace.h"
#include "widgets/ComparisonGrid.h"
#include "widgets/FileListBox.h"
#include "widgets/PictureBox.h"

#include <QDir>
#include <QListWidget>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
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
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) { ws.key(k, mods); }
    int selectedCount() { return int(ws.files()->selectedRows().size()); }
    // Ctrl+click on a selected entry takes its selection away.
    void unselect(int row) { test::clickRow(*ws.files(), row, Qt::ControlModifier); }

    Workspace ws;
};

// Counts paints of the panes and the grid that show more than one entry. Each
// entry's namesake is `apart` pixels wider than its new picture.
class OneEntryPerPaint : public QObject {
public:
    OneEntryPerPaint(Workspace& ws, int apart) : ws(ws), apart(apart) {
        for (QWidget* painted :
             {static_cast<QWidget*>(ws.imageNew()), static_cast<QWidget*>(ws.imageExisting()),
              static_cast<QWidget*>(ws.grid())})
            painted->installEventFilter(this);
    }
    int paints = 0;
    int mixed = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            const int fresh = ws.imageNew()->picture().width();
            const int existing = ws.imageExisting()->picture().width();
            mixed += (fresh && existing && existing != fresh + apart) ||
                     ws.grid()->cell(1, 1) != QString::number(fresh) ||
                     ws.grid()->cell(2, 1) != QString::number(existing);
        }
        return false;
    }

private:
    Workspace& ws;
    int apart;
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
    // As wide as the figures get: five digits and a capture time in every row.
    const auto dated = [](int width) {
        return withExif(jpegOf(QImage(width, 8, QImage::Format_RGB32)),
                        exifBlock(0, "2024:12:28 23:58:58"));
    };
    writeFile(src("a1.jpg"), dated(12345));
    writeFile(in("A", "a1.jpg"), dated(12344));
    TFrmSRMain& window = ws.open();
    ws.select(0);
    ASSERT_EQ(window.size(), QSize(TFrmSRMain::OpeningWidth, 417));
    QTest::qWait(0); // the grid's new width reaches the layout
    const QRect room = child<QFrame>(window, "Panel5")->contentsRect();
    const QRect grid = ws.grid()->geometry();
    EXPECT_LE(ws.grid()->sizeHint().width(), room.width());
    EXPECT_LE(grid.right(), room.right());
    EXPECT_GE(grid.width(), ws.grid()->sizeHint().width());
}

TEST_F(View, TheGridShowsWhenBothWereTakenAndNothingForAFileThatDoesNotSay) {
    ws.writeSettings();
    const QImage image(16, 8, QImage::Format_RGB32);
    writeFile(src("a1.jpg"), withExif(jpegOf(image), exifBlock(0, "2024:05:03 14:22:10")));
    writeFile(in("A", "a1.jpg"), withExif(jpegOf(image), exifBlock(6, "2024:05:03 14:22:09")));
    writeFile(src("a2.jpg"), jpegOf(image));
    ws.open();
    ws.select(0);
    ComparisonGrid& grid = *ws.grid();
    EXPECT_EQ(grid.cell(0, 6), QStringLiteral("Taken"));
    EXPECT_EQ(grid.cell(1, 6),
              ComparisonGrid::formatTaken(QDateTime(QDate(2024, 5, 3), QTime(14, 22, 10))));
    EXPECT_TRUE(grid.isBold(1, 6));
    EXPECT_FALSE(grid.isBold(2, 6));
    // The namesake is turned upright: its sides are swapped in the grid.
    EXPECT_EQ(grid.cell(2, 1), QStringLiteral("8"));
    EXPECT_EQ(grid.cell(2, 2), QStringLiteral("16"));
    key(Qt::Key_Down);
    EXPECT_EQ(grid.cell(1, 6), QString());
    EXPECT_EQ(grid.cell(2, 6), QString());
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

TEST_F(View, HeldKeysShowTheEntryTheyReachAndDropWorkForEntriesPassed) {
    ws.writeSettings();
    constexpr int Entries = 14;
    constexpr int Keys = 10;
    // Photos that take a worker a while, so that keys outrun the decodes.
    QImage photo(1250, 700, QImage::Format_RGB32);
    for (int i = 0; i < Entries; ++i) {
        const QByteArray name = "a" + QByteArray::number(10 + i) + ".jpg";
        photo.fill(QColor::fromHsv(i * 20, 200, 200));
        ASSERT_TRUE(photo.copy(0, 0, 1200 + i, 700).save(src(name.constData()), "JPEG"));
        ASSERT_TRUE(photo.copy(0, 0, 1230 + i, 700).save(in("A", name.constData()), "JPEG"));
    }
    ws.open();
    OneEntryPerPaint watch(ws, 30);
    ws.select(0);
    ws.window().waitForDecodesAhead();
    std::mutex guard;
    QStringList started;
    ws.window().watchDecodeStarts([&](const QString& path) {
        const std::lock_guard hold(guard);
        started.append(QFileInfo(path).fileName());
    });
    // Decodes started by the time each key had been handled.
    std::vector<qsizetype> startedBy;
    for (int k = 0; k < Keys; ++k) {
        QTest::keyClick(ws.files(), Qt::Key_Down);
        const std::lock_guard hold(guard);
        startedBy.push_back(started.size());
    }
    EXPECT_EQ(ws.files()->currentFileRow(), Keys);
    ws.settle();
    ws.window().waitForDecodesAhead();
    ws.window().watchDecodeStarts({});
    EXPECT_EQ(ws.imageNew()->picture().width(), 1200 + Keys);
    EXPECT_EQ(ws.grid()->cell(1, 1), QString::number(1200 + Keys));
    EXPECT_EQ(ws.imageExisting()->picture().width(), 1230 + Keys);
    EXPECT_EQ(ws.grid()->cell(2, 1), QString::number(1230 + Keys));
    // Row r leaves the pairs kept behind with the key that reaches
    // r + PairsBehind + 1; nothing of it may start after that key.
    for (qsizetype i = 0; i < started.size(); ++i) {
        const int row = started[i].mid(1, 2).toInt() - 10;
        const int leftWith = row + DecodeAhead::PairsBehind;
        if (leftWith < Keys) {
            EXPECT_LT(i, startedBy[leftWith]) << started[i].toStdString();
        }
    }
    EXPECT_GT(watch.paints, 0);
    EXPECT_EQ(watch.mixed, 0);
}

TEST_F(View, ADamagedPictureIsToldOnceWhenItsEntryIsShown) {
    ws.writeSettings();
    ws.picture(src("a0.bmp"), QSize(10, 5));
    ws.picture(in("A", "a0.bmp"), QSize(40, 5));
    writeFile(src("a1.jpg"), "\xFF\xD8 no picture follows");
    ws.picture(src("a2.bmp"), QSize(12, 5));
    writeFile(in("A", "a2.bmp"), "BM no picture follows");
    ws.open();
    OneEntryPerPaint watch(ws, 30);
    const auto settleAll = [&] {
        ws.window().waitForDecodesAhead();
        QCoreApplication::processEvents();
    };
    ws.select(0);
    // A damaged new picture: the previous pair stays as it was.
    key(Qt::Key_Down);
    settleAll();
    ASSERT_EQ(ws.prompts.messages.size(), 1u);
    EXPECT_EQ(ws.imageNew()->picture().width(), 10);
    EXPECT_EQ(ws.imageExisting()->picture().width(), 40);
    EXPECT_EQ(ws.grid()->cell(2, 1), QStringLiteral("40"));
    // A damaged namesake: its pane keeps nothing of the previous entry.
    key(Qt::Key_Down);
    settleAll();
    EXPECT_EQ(ws.prompts.messages.size(), 2u);
    EXPECT_EQ(ws.imageNew()->picture().width(), 12);
    EXPECT_TRUE(ws.imageExisting()->picture().isNull());
    EXPECT_EQ(ws.grid()->cell(2, 1), QStringLiteral("0"));
    EXPECT_EQ(watch.mixed, 0);
}

} // namespace
