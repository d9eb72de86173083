// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsFile.h"
#include "support/Workspace.h"
#include "widgets/ComparisonGrid.h"
#include "widgets/FileListBox.h"
#include "widgets/KeyCaptureEdit.h"

#include "widgets/PictureBox.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSplitter>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace sortello;
using namespace sortello::test;

namespace {

// Right-clicks the bottom-right pixel of a control, which neither a child nor
// a splitter's grip covers, and reads the menu that opens.
QStringList visibleCaptions(TFrmSRMain& window, QWidget* target) {
    const QPoint at(target->width() - 1, target->height() - 1);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
    QApplication::sendEvent(target, &click);
    auto* menu = child<QMenu>(window, "PopupMenuAll");
    QStringList captions;
    for (QAction* action : menu->actions())
        if (action->isVisible())
            captions << (action->isSeparator() ? QStringLiteral("-")
                                               : action->text().section(QLatin1Char('\t'), 0, 0));
    menu->hide();
    return captions;
}

// Opens the viewer on the new picture and reads its five check marks.
QStringList viewerChecks(Workspace& ws) {
    QStringList checked;
    ws.prompts.dialogScripts.push_back([&](QDialog& viewer) {
        for (const char* name : {"MIImgAutoSize", "MIImgCenter", "MIImgProportional",
                                 "MIImgStretch", "MIImgTransparent"})
            if (menuItem(viewer, name)->isChecked())
                checked << QString::fromLatin1(name);
        return int(QDialog::Rejected);
    });
    QTest::mouseClick(ws.imageNew(), Qt::LeftButton);
    return checked;
}

Qt::Orientation panes(TFrmSRMain& window) {
    return child<QSplitter>(window, "SplitterNewExisting")->orientation();
}

TEST(MainWindow, FirstStartWithoutSettingsFile) {
    Workspace ws;
    // No settings file: the source folder is "/", which the test must not
    // leave as its current directory.
    const QString before = QDir::currentPath();
    TFrmSRMain& window = ws.open();
    QDir::setCurrent(before);
    EXPECT_EQ(window.session().sourceFolder(), QStringLiteral("/"));
    EXPECT_EQ(window.session().folderChars().lines(), QStringList{QStringLiteral("Diverse=!")});
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Sortello"));
    EXPECT_TRUE(ws.filesMoved()->isVisible());
    for (const char* on :
         {"SRINAutosize", "SRINCenter", "SRINStretch", "SRINProportional", "SRIEAutoSize",
          "SRIECenter", "SRIEStretch", "SRIEProportional", "SRFShowFilesMoved"})
        EXPECT_TRUE(ws.item(on)->isChecked()) << on;
    for (const char* off : {"SRINTransparent", "SRIETransparent", "SRIEHide"})
        EXPECT_FALSE(ws.item(off)->isChecked()) << off;
    const DisplayOptions defaults;
    EXPECT_EQ(ws.imageNew()->options(), defaults);
    EXPECT_EQ(ws.imageExisting()->options(), defaults);
    EXPECT_EQ(panes(window), Qt::Vertical);
    EXPECT_EQ(ws.item("SRFReplaceExisting")->text(),
              QStringLiteral("Replace existing\tCtrl+Right"));
    EXPECT_EQ(ws.item("SRFAutoMoveMultipleAs")->text(),
              QStringLiteral("Auto move selected as\tShift+Alt+Right"));
    EXPECT_EQ(window.size(), QSize(TFrmSRMain::OpeningWidth, 417));
    QTest::keyClick(ws.files(), Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_EQ(ws.prompts.dialogsRun, std::vector<QString>{QStringLiteral("FrmKVVersionAbout")});
    ws.close();

    SettingsFile written(ws.ini());
    QStringList sections;
    written.ReadKeyLines(QStringLiteral("MenuSelection"), sections);
    EXPECT_EQ(sections.size(), 13);
    written.ReadKeyLines(QStringLiteral("MenuSelectionPreview"), sections);
    EXPECT_EQ(sections.size(), 5);
    // The viewer's options as the window starts with them.
    const QString preview = QStringLiteral("MenuSelectionPreview");
    for (const auto& [key, on] : {std::pair{"MIImgAutoSize", defaults.autoSize},
                                  {"MIImgCenter", defaults.center},
                                  {"MIImgStretch", defaults.stretch},
                                  {"MIImgProportional", defaults.proportional},
                                  {"MIImgTransparent", defaults.transparent}})
        EXPECT_EQ(written.ReadFlag(preview, QString::fromLatin1(key), !on), on) << key;
    written.ReadKeyLines(QStringLiteral("Shortcuts"), sections);
    EXPECT_TRUE(sections.isEmpty());
    written.ReadKeyLines(QStringLiteral("Folders"), sections);
    EXPECT_TRUE(sections.isEmpty());
}

TEST(MainWindow, OptionsLayoutAndPreviewSurviveARestart) {
    Workspace ws;
    ws.writeSettings();
    ws.picture(ws.source() + QStringLiteral("a1.bmp"), QSize(8, 6));
    {
        TFrmSRMain& window = ws.open();
        ws.item("SRINStretch")->trigger();
        ws.item("SRIETransparent")->trigger();
        ws.item("SRIEHide")->trigger();
        ws.item("SRFShowFilesMoved")->trigger();
        ws.item("SRIBInverseSplit")->trigger();
        ws.select(0);
        ws.prompts.dialogScripts.push_back([](QDialog& viewer) {
            trigger(viewer, "MIImgCenter");
            trigger(viewer, "MIImgTransparent");
            return int(QDialog::Rejected);
        });
        QTest::mouseClick(ws.imageNew(), Qt::LeftButton);
        (void)window;
        ws.close();
    }
    TFrmSRMain& window = ws.open();
    EXPECT_FALSE(ws.item("SRINStretch")->isChecked());
    EXPECT_FALSE(ws.imageNew()->options().stretch);
    EXPECT_TRUE(ws.imageExisting()->options().transparent);
    EXPECT_TRUE(ws.item("SRIEHide")->isChecked());
    EXPECT_FALSE(ws.imageExisting()->isVisible());
    EXPECT_FALSE(ws.filesMoved()->isVisible());
    EXPECT_EQ(panes(window), Qt::Horizontal);
    ws.select(0);
    EXPECT_EQ(viewerChecks(ws), (QStringList{"MIImgAutoSize", "MIImgProportional", "MIImgStretch",
                                             "MIImgTransparent"}));
}

TEST(MainWindow, InverseSplitDividesThePictureArea) {
    Workspace ws;
    ws.writeSettings();
    TFrmSRMain& window = ws.open();
    window.resize(TFrmSRMain::OpeningWidth + 358 - child<QWidget>(window, "PanelImages")->width(),
                  417);
    QTest::qWait(0);
    ASSERT_EQ(child<QWidget>(window, "PanelImages")->width(), 358);
    ws.command("SRIBInverseSplit");
    EXPECT_EQ(child<QFrame>(window, "PanelNewImage")->width(), 177); // (358 - 3) div 2
    // The splitter lies between the panes: from 177, three pixels wide.
    EXPECT_EQ(child<QFrame>(window, "PanelExistingImage")->x(), 177 + 3);

    window.resize(window.width(), 417 + 390 - child<QWidget>(window, "PanelImages")->height());
    QTest::qWait(0);
    ASSERT_EQ(child<QWidget>(window, "PanelImages")->height(), 390);
    ws.command("SRIBInverseSplit");
    EXPECT_EQ(child<QSplitter>(window, "SplitterNewExisting")->orientation(), Qt::Vertical);
    EXPECT_EQ(child<QFrame>(window, "PanelNewImage")->height(), 193); // (390 - 3) div 2
}

TEST(MainWindow, SideBySideRestoredAtStartUpSplitsEvenly) {
    Workspace ws;
    ws.writeSettings("[MenuSelection]\r\nSRIBInverseSplit=1\r\n");
    TFrmSRMain& window = ws.open();
    ASSERT_EQ(panes(window), Qt::Horizontal);
    const int half = (child<QWidget>(window, "PanelImages")->width() - 3) / 2;
    EXPECT_EQ(child<QFrame>(window, "PanelNewImage")->width(), half);
    EXPECT_EQ(child<QFrame>(window, "PanelExistingImage")->x(), half + 3);
}

TEST(MainWindow, MissingSourceFolderIsIgnored) {
    Workspace ws;
    ws.writeSettings("[Folders]\r\n");
    sortello::test::writeFile(ws.ini(), "[Folders]\r\nSource=\"/no/such/folder/\"\r\n");
    const QString before = QDir::currentPath();
    TFrmSRMain& window = ws.open();
    EXPECT_TRUE(ws.prompts.messages.empty());
    EXPECT_EQ(QDir::currentPath(), before);
    EXPECT_EQ(window.session().sourceFolder(), QStringLiteral("/no/such/folder/"));
}

TEST(MainWindow, ListsPicturesSortedAndMakesTheFolderCurrent) {
    Workspace ws;
    ws.writeSettings();
    for (const char* name : {"b.JPG", "A.bmp", "c.txt", ".hidden.jpg", "a2.gif"})
        sortello::test::writeFile(ws.source() + QString::fromLatin1(name), "x");
    QDir().mkpath(ws.source() + QStringLiteral("folder.jpg"));
    TFrmSRMain& window = ws.open();
    QStringList names;
    for (int i = 0; i < ws.files()->count(); ++i)
        names << ws.files()->itemText(i);
    EXPECT_EQ(names, (QStringList{QStringLiteral("A.bmp"), QStringLiteral("a2.gif"),
                                  QStringLiteral("b.JPG")}));
    EXPECT_EQ(QDir::currentPath() + QLatin1Char('/'), ws.source());
    EXPECT_TRUE(ws.files()->hasFocus() || !window.isActiveWindow());
}

TEST(Comparison, ShowsBothPicturesAndMarksTheGreaterFigures) {
    Workspace ws;
    ws.writeSettings();
    ws.picture(ws.source() + QStringLiteral("a1.bmp"), QSize(80, 60));
    ws.picture(ws.folder(QStringLiteral("A")) + QStringLiteral("a1.bmp"), QSize(64, 48), Qt::blue);
    ws.picture(ws.source() + QStringLiteral("zed.bmp"), QSize(10, 10));
    ws.open();
    ws.select(0);
    ComparisonGrid& grid = *ws.grid();
    EXPECT_EQ(grid.cell(1, 1), QStringLiteral("80"));
    EXPECT_EQ(grid.cell(2, 1), QStringLiteral("64"));
    EXPECT_EQ(grid.cell(1, 3), QString::number(QFileInfo(ws.source() + "a1.bmp").size()));
    EXPECT_TRUE(grid.isBold(1, 1));
    EXPECT_TRUE(grid.isBold(1, 2));
    EXPECT_TRUE(grid.isBold(1, 3));
    EXPECT_FALSE(grid.isBold(2, 1));
    EXPECT_TRUE(ws.imageExisting()->isVisible());
    EXPECT_EQ(ws.imageExisting()->picture().size(), QSize(64, 48));
    EXPECT_EQ(grid.cell(2, 3),
              QString::number(QFileInfo(ws.folder(QStringLiteral("A")) + "a1.bmp").size()));

    // No counterpart: the pane hides and the existing row shows zeros.
    ws.select(1);
    EXPECT_FALSE(ws.imageExisting()->isVisible());
    EXPECT_EQ(grid.cell(2, 1), QStringLiteral("0"));
    EXPECT_TRUE(grid.isBold(1, 4)); // later than day 0
}

TEST(Comparison, HideKeepsTheExistingPaneHiddenButFillsTheRow) {
    Workspace ws;
    ws.writeSettings("[MenuSelection]\r\nSRIEHide=1\r\n");
    ws.picture(ws.source() + QStringLiteral("a1.bmp"), QSize(8, 6));
    ws.picture(ws.folder(QStringLiteral("A")) + QStringLiteral("a1.bmp"), QSize(64, 48));
    ws.open();
    EXPECT_TRUE(ws.item("SRIEHide")->isChecked());
    ws.select(0);
    EXPECT_FALSE(ws.imageExisting()->isVisible());
    EXPECT_EQ(ws.grid()->cell(2, 1), QStringLiteral("64"));
}

TEST(Comparison, ADamagedPictureKeepsThePreviousView) {
    Workspace ws;
    ws.writeSettings();
    ws.picture(ws.source() + QStringLiteral("a1.bmp"), QSize(80, 60));
    sortello::test::writeFile(ws.source() + QStringLiteral("b2.bmp"), "no bitmap");
    ws.open();
    ws.select(0);
    ws.select(1);
    ASSERT_EQ(ws.prompts.messages.size(), 1u);
    EXPECT_EQ(ws.prompts.messages[0].title, QStringLiteral("Sortello"));
    EXPECT_EQ(ws.prompts.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(ws.grid()->cell(1, 1), QStringLiteral("80"));
    EXPECT_EQ(ws.imageNew()->picture().size(), QSize(80, 60));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(Comparison, AFocusedEntryWithoutSelectionOpensNothing) {
    Workspace ws;
    ws.writeSettings();
    ws.picture(ws.source() + QStringLiteral("a1.bmp"), QSize(80, 60));
    TFrmSRMain& window = ws.open();
    // Ctrl moves the focus mark without selecting.
    QTest::keyClick(ws.files(), Qt::Key_End, Qt::ControlModifier);
    ASSERT_EQ(ws.files()->focusedRow(), 0);
    ASSERT_EQ(ws.files()->currentFileRow(), -1);
    (void)window;
    EXPECT_EQ(ws.grid()->cell(1, 1), QStringLiteral("0"));
}

TEST(Comparison, ArrowKeysOpenTheNextFile) {
    Workspace ws;
    ws.writeSettings();
    ws.picture(ws.source() + QStringLiteral("a1.bmp"), QSize(80, 60));
    ws.picture(ws.source() + QStringLiteral("a2.bmp"), QSize(30, 20));
    ws.open();
    ws.select(0);
    ws.key(Qt::Key_Down);
    EXPECT_EQ(ws.grid()->cell(1, 1), QStringLiteral("30"));
}

TEST(ComparisonGrid, ColumnsOnlyWiden) {
    ComparisonGrid grid;
    grid.writeCaptions();
    const int before = grid.columnWidth(3);
    grid.FillComparisonRow(1, 1, true, 0, 123456789);
    const int wide = grid.columnWidth(3);
    EXPECT_GT(wide, before);
    // Measured in bold, which any figure may turn to.
    QFont bold = grid.font();
    bold.setBold(true);
    EXPECT_EQ(wide, QFontMetrics(bold).horizontalAdvance(QStringLiteral("123456789")) + 14);
    grid.FillComparisonRow(1, 1, true, 0, 5);
    EXPECT_EQ(grid.columnWidth(3), wide);
    EXPECT_EQ(grid.cell(0, 0), QStringLiteral("Image"));
    EXPECT_EQ(grid.cell(2, 0), QStringLiteral("Existing"));
}

struct BoldCase {
    const char* title;
    ComparisonFigures self;
    ComparisonFigures other;
    int column;
    bool bold;
};

void PrintTo(const BoldCase& c, std::ostream* os) {
    *os << c.title;
}

class BoldRule : public ::testing::TestWithParam<BoldCase> {};

TEST_P(BoldRule, MarksOnlyTheGreaterOrLater) {
    EXPECT_EQ(comparisonCellBold(GetParam().column, GetParam().self, GetParam().other),
              GetParam().bold);
}

const double Day = encodeDateTime(2024, 3, 5, 0, 0, 0);
const double TenOTwo = encodeDateTime(2024, 3, 5, 10, 0, 2);
const double NineFiftyEight = encodeDateTime(2024, 3, 5, 9, 59, 58);

// A capture time on the same day; with an offset when one is given.
std::optional<QDateTime> Taken(int h, int m, int sec, std::optional<int> offset = {}) {
    const QDate date(2024, 3, 5);
    if (offset)
        return QDateTime(date, QTime(h, m, sec), Qt::OffsetFromUTC, *offset);
    return QDateTime(date, QTime(h, m, sec), Qt::LocalTime);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BoldRule,
    ::testing::Values(
        BoldCase{"greater width", {1000, 0, 0, 0}, {999, 0, 0, 0}, 1, true},
        BoldCase{"smaller width", {999, 0, 0, 0}, {1000, 0, 0, 0}, 1, false},
        BoldCase{"equal widths", {5, 0, 0, 0}, {5, 0, 0, 0}, 1, false},
        BoldCase{"greater height", {0, 7, 0, 0}, {0, 6, 0, 0}, 2, true},
        BoldCase{"more bytes", {0, 0, 3000000000LL, 0}, {0, 0, 2999999999LL, 0}, 3, true},
        BoldCase{"later day", {0, 0, 0, Day + 1 + 0.1}, {0, 0, 0, Day + 0.9}, 4, true},
        BoldCase{"later day, earlier time, time not bold",
                 {0, 0, 0, Day + 1.1},
                 {0, 0, 0, Day + 0.9},
                 5,
                 false},
        BoldCase{"same day, later time", {0, 0, 0, TenOTwo}, {0, 0, 0, NineFiftyEight}, 5, true},
        BoldCase{"same day, earlier time", {0, 0, 0, NineFiftyEight}, {0, 0, 0, TenOTwo}, 5, false},
        BoldCase{
            "same day, date not bold", {0, 0, 0, TenOTwo}, {0, 0, 0, NineFiftyEight}, 4, false},
        BoldCase{"later than the zero row", {0, 0, 0, Day}, {}, 4, true},
        BoldCase{
            "taken later", {0, 0, 0, 0, Taken(10, 0, 2)}, {0, 0, 0, 0, Taken(9, 59, 58)}, 6, true},
        BoldCase{"taken earlier",
                 {0, 0, 0, 0, Taken(9, 59, 58)},
                 {0, 0, 0, 0, Taken(10, 0, 2)},
                 6,
                 false},
        BoldCase{"taken at the same time",
                 {0, 0, 0, 0, Taken(10, 0, 2)},
                 {0, 0, 0, 0, Taken(10, 0, 2)},
                 6,
                 false},
        BoldCase{"later clock, earlier instant",
                 {0, 0, 0, 0, Taken(10, 0, 0, 2 * 3600)},
                 {0, 0, 0, 0, Taken(9, 0, 0, 0)},
                 6,
                 false},
        BoldCase{"earlier clock, later instant",
                 {0, 0, 0, 0, Taken(9, 0, 0, 0)},
                 {0, 0, 0, 0, Taken(10, 0, 0, 2 * 3600)},
                 6,
                 true},
        BoldCase{"nothing to compare with", {0, 0, 0, 0, Taken(10, 0, 2)}, {}, 6, false}));

TEST(ContextMenu, ShowsTheItemsOfTheTargetAndTheAboutBoxForEvery) {
    Workspace ws;
    // The about box's item names Shift+F1 even when the file binds F1.
    ws.writeSettings("[Shortcuts]\r\nSRIShowAbout=112\r\n");
    TFrmSRMain& window = ws.open();
    // The window manager owns the title bar's menu, so this is the about box's entry.
    const QStringList about{QStringLiteral("-"), QStringLiteral("&About ...")};
    const QStringList setup = QStringList{QStringLiteral("Setup")} + about;
    EXPECT_EQ(visibleCaptions(window, ws.files()->viewport()),
              (QStringList{"Setup", "Update file list", "Replace existing", "Remove new",
                           "Move as ...", "Auto move selected as", "Move non existing",
                           "Remove identical", "Undo", "Show files moved"} +
               about));
    EXPECT_EQ(visibleCaptions(window, ws.imageNew()),
              (QStringList{"Setup", "Auto size", "Center", "Stretch", "Proportional", "Transparent",
                           "Inverse split"} +
               about));
    EXPECT_EQ(visibleCaptions(window, ws.imageExisting()),
              (QStringList{"Setup", "Auto size", "Center", "Stretch", "Proportional", "Transparent",
                           "Hide", "Inverse split"} +
               about));
    EXPECT_EQ(visibleCaptions(window, ws.filesMoved()->viewport()), setup);
    EXPECT_EQ(visibleCaptions(window, child<QFrame>(window, "Panel5")), setup);
    EXPECT_EQ(visibleCaptions(window, ws.grid()->parentWidget()), setup);
    EXPECT_EQ(visibleCaptions(window, child<QFrame>(window, "PanelExistingImage")), setup);
    EXPECT_EQ(visibleCaptions(window, child<QSplitter>(window, "SplitterNewExisting")->handle(1)),
              setup);
    const QStringList all =
        visibleCaptions(window, child<QSplitter>(window, "SplitterFilesImages")->handle(1));
    EXPECT_EQ(all.size(), 28);
    EXPECT_TRUE(all.contains(QStringLiteral("Existing imge")));

    EXPECT_EQ(ws.item("SRIAbout")->text(), QStringLiteral("&About ...\tShift+F1"));
    ws.command("SRIAbout");
    QTest::keyClick(ws.files(), Qt::Key_F1);
    EXPECT_EQ(ws.prompts.dialogsRun, std::vector<QString>(2, QStringLiteral("FrmKVVersionAbout")));
}

TEST(Keyboard, AltPageUpTogglesTheFilesMovedList) {
    Workspace ws;
    ws.writeSettings();
    ws.open();
    ASSERT_TRUE(ws.filesMoved()->isVisible());
    QTest::keyClick(ws.files(), Qt::Key_PageUp, Qt::AltModifier);
    EXPECT_FALSE(ws.filesMoved()->isVisible());
    EXPECT_FALSE(ws.item("SRFShowFilesMoved")->isChecked());
    QTest::keyClick(ws.files(), Qt::Key_PageUp, Qt::AltModifier);
    EXPECT_TRUE(ws.filesMoved()->isVisible());
}

TEST(Keyboard, TheFirstItemInMenuOrderWinsAndZeroNeverMatches) {
    Workspace ws;
    ws.writeSettings("[Shortcuts]\r\nSRFRemoveNew=8229\r\nSRINShow=0\r\nSRISetup=78\r\n");
    ws.picture(ws.source() + QStringLiteral("a1.bmp"), QSize(8, 6));
    ws.picture(ws.folder(QStringLiteral("A")) + QStringLiteral("a1.bmp"), QSize(8, 6));
    ws.open();
    ws.select(0);

    // Shift+Left is also "Stretch" of the new picture; "Remove new" comes first.
    const bool stretch = ws.item("SRINStretch")->isChecked();
    QTest::keyClick(ws.files(), Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_FALSE(QFileInfo::exists(ws.source() + QStringLiteral("a1.bmp")));
    EXPECT_EQ(ws.item("SRINStretch")->isChecked(), stretch);

    QTest::keyClick(ws.files(), Qt::Key_N, Qt::AltModifier);
    EXPECT_TRUE(ws.prompts.dialogsRun.empty());
    QTest::keyClick(ws.files(), Qt::Key_E, Qt::AltModifier);
    QTest::keyClick(ws.files(), Qt::Key_N);
    QTest::keyClick(ws.files(), Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_EQ(ws.prompts.dialogsRun,
              (std::vector<QString>{QStringLiteral("FrmSRImageView"), QStringLiteral("TFrmSRSetup"),
                                    QStringLiteral("FrmKVVersionAbout")}));
    EXPECT_EQ(ws.item("SRISetup")->text(), QStringLiteral("Setup\tN"));
}

TEST(Setup, ConfirmedValuesApplyAtOnce) {
    Workspace ws;
    ws.writeSettings();
    ws.picture(ws.folder(QStringLiteral("B")) + QStringLiteral("b1.bmp"), QSize(4, 4));
    TFrmSRMain& window = ws.open();
    ws.prompts.dialogScripts.push_back([&](QDialog& dialog) {
        child<QLineEdit>(dialog, "EditFolderSource")->setText(ws.folder(QStringLiteral("B")));
        auto* list = child<QTableWidget>(dialog, "ValueListEditorShortCuts");
        auto* key = child<KeyCaptureEdit>(dialog, "HotKeyShortcut");
        list->setCurrentCell(4, 1); // "Remove new"
        QTest::keyClick(key, Qt::Key_D, Qt::ControlModifier);
        click(dialog, "BitBtnShortCutUpdate");
        list->setCurrentCell(11, 1); // the new picture's viewer
        key->setValue(0);
        click(dialog, "BitBtnShortCutUpdate");
        click(dialog, "BitBtnOk");
        return dialog.result();
    });
    ws.command("SRISetup");
    EXPECT_EQ(window.session().sourceFolder(), ws.folder(QStringLiteral("B")));
    EXPECT_EQ(ws.files()->count(), 1);
    EXPECT_EQ(ws.item("SRFRemoveNew")->text(), QStringLiteral("Remove new\tCtrl+D"));
    // Alt+N no longer opens the viewer; the about box keeps its key.
    ws.select(0);
    QTest::keyClick(ws.files(), Qt::Key_N, Qt::AltModifier);
    QTest::keyClick(ws.files(), Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_EQ(ws.prompts.dialogsRun, (std::vector<QString>{QStringLiteral("TFrmSRSetup"),
                                                           QStringLiteral("FrmKVVersionAbout")}));
    EXPECT_TRUE(window.session().folderChars().lines().contains(QStringLiteral("A=") +
                                                                ws.folder(QStringLiteral("A"))));
}

TEST(Setup, ASecondStartClosesTheDialogAsCancelled) {
    Workspace ws;
    ws.writeSettings();
    TFrmSRMain& window = ws.open();
    const QString before = window.session().sourceFolder();
    ws.prompts.dialogScripts.push_back([&](QDialog& dialog) {
        child<QLineEdit>(dialog, "EditFolderSource")->setText(QStringLiteral("/elsewhere/"));
        dialog.open();
        window.receiveParameters(QStringLiteral("a b c"));
        EXPECT_FALSE(dialog.isVisible());
        // Had nothing closed it, the user would have confirmed it.
        return dialog.isVisible() ? int(QDialog::Accepted) : dialog.result();
    });
    ws.command("SRISetup");
    EXPECT_EQ(window.session().sourceFolder(), before);
}

TEST(Keyboard, HiddenItemsStillAnswerTheirKeys) {
    Workspace ws;
    ws.writeSettings();
    TFrmSRMain& window = ws.open();
    visibleCaptions(window, child<QFrame>(window, "Panel5"));
    ASSERT_FALSE(ws.item("SRIBInverseSplit")->isVisible());
    QTest::keyClick(ws.files(), Qt::Key_PageDown, Qt::AltModifier);
    EXPECT_EQ(panes(window), Qt::Horizontal);
}

} // namespace
