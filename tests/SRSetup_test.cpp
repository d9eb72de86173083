// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/SRSetup.h"

#include "support/Controls.h"
#include "support/FakePrompts.h"
#include "support/TempFiles.h"
#include "widgets/DialogParts.h"
#include "widgets/KeyCaptureEdit.h"
#include "windows/SRFolderChar.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& lines, std::ostream* out) {
    *out << '{' << lines.join(QStringLiteral(" | ")).toStdString() << '}';
}
QT_END_NAMESPACE

using namespace sortello;
using namespace sortello::test;

namespace {

const QString NoBreakSpace(QChar(0x00A0));

QByteArray defaultShortcutLines() {
    QByteArray lines = "[Shortcuts]\r\n";
    for (int i = 0; i < SetupShortcutCount; ++i)
        lines += QByteArray(ShortcutSettings[i].key) + '=' +
                 QByteArray::number(ShortcutSettings[i].defaultCode) + "\r\n";
    return lines;
}

void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
}

class SetupTest : public ::testing::Test {
protected:
    QString ini() const { return root.file("sortello.ini"); }
    QString folder(const QString& name) const {
        const QString path = root.file(name + '/');
        QDir().mkpath(path);
        return path;
    }

    TFrmSRSetup& open() {
        dialog = std::make_unique<TFrmSRSetup>(prompts, ini());
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        return *dialog;
    }

    void clickRow(int row) {
        QTableWidget* list = child<QTableWidget>(*dialog, "ValueListEditorShortCuts");
        list->scrollToItem(list->item(row, 1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row, 1)).center());
    }
    void selectLine(const QString& key) {
        QListWidget* list = child<QListWidget>(*dialog, "ListBoxFolderChars");
        for (int i = 0; i < list->count(); ++i) {
            if (list->item(i)->text().startsWith(key + '=')) {
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                                  list->visualItemRect(list->item(i)).center());
                return;
            }
        }
        FAIL() << "no line for " << key.toStdString();
    }
    // The code the dialog holds for a row of the shortcut list (0 for headings).
    ShortCutCode rowCode(int row) const {
        for (int i = 0; i < SetupShortcutCount; ++i)
            if (ShortcutSettings[i].row == row)
                return dialog->result().codes[i];
        return 0;
    }
    QString rowText(int row) const {
        return child<QTableWidget>(*dialog, "ValueListEditorShortCuts")->item(row, 1)->text();
    }
    bool captureShown() const {
        return child<KeyCaptureEdit>(*dialog, "HotKeyShortcut")->isVisibleTo(dialog.get()) &&
               child<QPushButton>(*dialog, "BitBtnShortCutUpdate")->isVisibleTo(dialog.get());
    }
    // Presses a combination in the capture field, reached with the mouse.
    void capture(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        click(child<KeyCaptureEdit>(*dialog, "HotKeyShortcut"));
        QTest::keyClick(child<KeyCaptureEdit>(*dialog, "HotKeyShortcut"), key, modifiers);
    }

    // Answers the next folder-character editor: `work` fills it like a user,
    // then OK closes it.
    void answerEditor(std::function<void(TFrmSRFolderChar&)> work) {
        prompts.dialogScripts.push_back([work](QDialog& shown) {
            auto& editor = dynamic_cast<TFrmSRFolderChar&>(shown);
            editor.show();
            work(editor);
            click(child<QPushButton>(editor, "BitBtnOk"));
            return shown.result();
        });
    }
    void answerSetup(const char* button) {
        prompts.dialogScripts.push_back([button](QDialog& shown) {
            shown.show();
            click(child<QPushButton>(shown, button));
            return shown.result();
        });
    }

    void expectOneMessage(const QString& title, const QString& text, MessageIcon icon,
                          MessageButtons buttons) {
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].title, title);
        EXPECT_EQ(prompts.messages[0].text, text);
        EXPECT_EQ(prompts.messages[0].icon, icon);
        EXPECT_EQ(prompts.messages[0].buttons, buttons);
    }

    TempFolder root;
    FakePrompts prompts;
    std::unique_ptr<TFrmSRSetup> dialog;
};

TEST_F(SetupTest, OkWithoutASettingsFileWritesTheDefaults) {
    answerSetup("BitBtnOk");
    const auto values = runSetupDialog(nullptr, prompts, ini());

    const QString diverse = QDir::homePath() + "/Temp/";
    EXPECT_EQ(readFile(ini()), "[Folders]\r\nSource=\"/\"\r\n[Chars]\r\nDiverse=\"" +
                                   diverse.toUtf8() + "\"\r\n" + defaultShortcutLines());
    EXPECT_TRUE(readFile(ini()).contains("\r\nSRISetup=32851\r\nSRFUpdateFileList=116\r\n"));
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(values->sourceFolder, "/");
    EXPECT_EQ(values->folderChars, QStringList{"Diverse=" + diverse});
    for (int i = 0; i < SetupShortcutCount; ++i)
        EXPECT_EQ(values->codes[i], ShortcutSettings[i].defaultCode) << ShortcutSettings[i].key;
    EXPECT_EQ(prompts.dialogsRun, std::vector<QString>{"TFrmSRSetup"});
    EXPECT_TRUE(prompts.messages.empty());
}

// Every way of closing without OK writes nothing and hands nothing back, even
// after changes.
struct CancelWay {
    const char* name;
    std::function<void(TFrmSRSetup&)> close;
};

class CancelTest : public SetupTest, public ::testing::WithParamInterface<CancelWay> {
protected:
    void cancelWithChanges() {
        prompts.folderAnswers.push_back(folder("elsewhere"));
        prompts.dialogScripts.push_back([this](QDialog& shown) {
            auto& setup = dynamic_cast<TFrmSRSetup&>(shown);
            setup.show();
            click(child<QPushButton>(setup, "BitBtnFolderSource"));
            EXPECT_EQ(child<QLineEdit>(setup, "EditFolderSource")->text(), root.file("elsewhere/"));
            GetParam().close(setup);
            return shown.result();
        });
        EXPECT_FALSE(runSetupDialog(nullptr, prompts, ini()).has_value());
    }
};

TEST_P(CancelTest, WritesNothing) {
    cancelWithChanges();
    EXPECT_FALSE(exists(ini()));

    const QByteArray kept = "[Folders]\r\nSource=\"/x/\"\r\n[Chars]\r\nA=/a/\r\n";
    writeFile(ini(), kept);
    cancelWithChanges();
    EXPECT_EQ(readFile(ini()), kept);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, CancelTest,
    ::testing::Values(
        CancelWay{"CancelButton",
                  [](TFrmSRSetup& s) { click(child<QPushButton>(s, "BitBtnCancel")); }},
        CancelWay{"Esc", [](TFrmSRSetup& s) { QTest::keyClick(s.focusWidget(), Qt::Key_Escape); }},
        CancelWay{"CloseBox", [](TFrmSRSetup& s) { s.close(); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SetupTest, LoadsTheFileSortedAndDropsLinesWithoutAFolder) {
    writeFile(ini(), "[Folders]\r\nSource=\"/pictures/new/\"\r\n[Chars]\r\nb=\"/b/\"\r\n"
                     "Diverse=\"/d/\"\r\nE=\r\nA=\"/a/\"\r\nc=/c/\r\n[Shortcuts]\r\n"
                     "SRISetup=65619\r\nSRFUpdateFileList=0\r\n");
    open();
    EXPECT_EQ(child<QLineEdit>(*dialog, "EditFolderSource")->text(), "/pictures/new/");
    EXPECT_EQ(dialog->result().folderChars,
              QStringList({"A=/a/", "b=/b/", "c=/c/", "Diverse=/d/"}));
    // Only the low 16 bits of a stored code count: 65619 is 83, the S key alone.
    EXPECT_EQ(rowCode(0), 83);
    EXPECT_EQ(rowText(0), "S");
    EXPECT_EQ(rowCode(2), 0);
    EXPECT_EQ(rowText(2), NoBreakSpace);

    click(child<QPushButton>(*dialog, "BitBtnOk"));
    const QByteArray written = readFile(ini());
    // "Chars" is removed and written anew, so it comes last.
    EXPECT_TRUE(written.endsWith("[Chars]\r\nA=\"/a/\"\r\nb=\"/b/\"\r\nc=\"/c/\"\r\n"
                                 "Diverse=\"/d/\"\r\n"))
        << written.toStdString();
    EXPECT_FALSE(written.contains("E="));
    EXPECT_TRUE(written.contains("\r\nSRISetup=83\r\nSRFUpdateFileList=0\r\n"));
}

TEST_F(SetupTest, AnEmptyDiverseLineGetsTheDefaultUnderItsOwnKey) {
    writeFile(ini(), "[Chars]\r\nDIVERSE=\r\n");
    open();
    EXPECT_EQ(dialog->result().folderChars, QStringList{"DIVERSE=" + setupDiverseDefault()});
}

TEST_F(SetupTest, EditWithNothingSelectedAddsAsAddDoes) {
    const QString k = folder("k");
    open();
    answerEditor([&](TFrmSRFolderChar& editor) {
        EXPECT_TRUE(child<QLineEdit>(editor, "EditCharacter")->isEnabled());
        EXPECT_EQ(child<QLineEdit>(editor, "EditCharacter")->maxLength(), 1);
        EXPECT_EQ(editor.character(), "");
        QTest::keyClicks(child<QLineEdit>(editor, "EditCharacter"), "k");
        prompts.folderAnswers.push_back(k);
        click(child<QPushButton>(editor, "BitBtnFolder"));
    });
    click(child<QPushButton>(*dialog, "BitBtnEdit"));
    EXPECT_EQ(prompts.dialogsRun, std::vector<QString>{"TFrmSRFolderChar"});
    EXPECT_TRUE(dialog->result().folderChars.contains("K=" + k));
}

TEST_F(SetupTest, EditRewritesTheLineUnderTheKeyTheEditorShows) {
    const QString before = folder("before");
    const QString after = folder("after");
    writeFile(ini(), "[Chars]\r\nA=/a/\r\nDiverse=" + before.toUtf8() + "\r\nZ=/z/\r\n");
    open();
    selectLine("Diverse");
    answerEditor([&](TFrmSRFolderChar& editor) {
        EXPECT_FALSE(child<QLineEdit>(editor, "EditCharacter")->isEnabled());
        EXPECT_EQ(editor.character(), "DIVERSE");
        EXPECT_EQ(editor.folder(), before);
        prompts.folderAnswers.push_back(after);
        click(child<QPushButton>(editor, "BitBtnFolder"));
    });
    click(child<QPushButton>(*dialog, "BitBtnEdit"));
    EXPECT_EQ(prompts.browseTitles.at(0),
              "Select a destination folder for the \"DIVERSE\" character");
    EXPECT_EQ(dialog->result().folderChars, QStringList({"A=/a/", "DIVERSE=" + after, "Z=/z/"}));

    click(child<QPushButton>(*dialog, "BitBtnOk"));
    EXPECT_TRUE(readFile(ini()).contains("[Chars]\r\nA=\"/a/\"\r\nDIVERSE=\"" + after.toUtf8()));
}

TEST_F(SetupTest, AddReplacesTheFolderOfAnExistingCharacterOrAddsALineInOrder) {
    writeFile(ini(), "[Chars]\r\na=/old/\r\nDiverse=/d/\r\nM=/m/\r\n");
    open();
    for (const char* typed : {"a", "b"}) {
        answerEditor([&](TFrmSRFolderChar& editor) {
            QTest::keyClicks(child<QLineEdit>(editor, "EditCharacter"), typed);
            prompts.folderAnswers.push_back(folder(typed));
            click(child<QPushButton>(editor, "BitBtnFolder"));
        });
        click(child<QPushButton>(*dialog, "BitBtnAdd"));
    }
    EXPECT_EQ(dialog->result().folderChars,
              QStringList({"A=" + folder("a"), "B=" + folder("b"), "Diverse=/d/", "M=/m/"}));
    EXPECT_TRUE(prompts.messages.empty());
}

// "&Remove" takes the selected line at once, unless it is "Diverse" in any spelling.
class RemoveTest : public SetupTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RemoveTest, TakesTheLineOrRefusesDiverse) {
    const QString line = QString(GetParam()) + "=/k/";
    const bool diverse = line.startsWith("Diverse=", Qt::CaseInsensitive);
    writeFile(ini(), "[Chars]\r\nA=/a/\r\n" + line.toUtf8() + "\r\n");
    open();
    QStringList expected = dialog->result().folderChars;
    if (!diverse) {
        EXPECT_EQ(expected, QStringList({"A=/a/", line, "Diverse=" + setupDiverseDefault()}))
            << "a file without Diverse gets the default";
    }
    click(child<QPushButton>(*dialog, "BitBtnRemove"));
    EXPECT_EQ(dialog->result().folderChars, expected) << "nothing is selected";
    selectLine(GetParam());
    click(child<QPushButton>(*dialog, "BitBtnRemove"));
    if (diverse) {
        expectOneMessage("Warning", "\"Diverse\" can not be removed!", MessageIcon::Warning,
                         MessageButton::Cancel);
    } else {
        expected.removeOne(line);
        EXPECT_TRUE(prompts.messages.empty());
    }
    EXPECT_EQ(dialog->result().folderChars, expected);
}

INSTANTIATE_TEST_SUITE_P(Keys, RemoveTest, ::testing::Values("Diverse", "DIVERSE", "diVERSE", "B"));

TEST_F(SetupTest, BrowsingForTheSourceAppendsASeparator) {
    writeFile(ini(), "[Folders]\r\nSource=\"/start/\"\r\n");
    open();
    prompts.folderAnswers = {root.path() + "chosen", QString()};
    click(child<QPushButton>(*dialog, "BitBtnFolderSource"));
    click(child<QPushButton>(*dialog, "BitBtnFolderSource"));
    EXPECT_EQ(prompts.browseTitles, std::vector<QString>(2, "Select a source folder"));
    EXPECT_EQ(prompts.browseStarts, std::vector<QString>({"/start/", root.path() + "chosen/"}));
    EXPECT_EQ(child<QLineEdit>(*dialog, "EditFolderSource")->text(), root.path() + "chosen/");
}

TEST_F(SetupTest, ShortcutRowsShowLabelsAndTheTextOfTheirCodes) {
    open();
    QTableWidget* list = child<QTableWidget>(*dialog, "ValueListEditorShortCuts");
    ASSERT_EQ(list->rowCount(), 27);
    const std::tuple<int, const char*, QString> rows[] = {
        {0, "Setup", "Alt+S"},
        {1, "- Files -", NoBreakSpace},
        {6, "Auto move selected as", "Shift+Alt+Right"},
        {8, "Remove identical", "Ctrl+Alt+Left"},
        {10, "- New image -", NoBreakSpace},
        {12, "Auto size", NoBreakSpace},
        {17, "- Existing image -", NoBreakSpace},
        {25, "- Misc -", NoBreakSpace},
        {26, "Inverse split", "Alt+PgDn"}};
    for (const auto& [row, label, text] : rows) {
        EXPECT_EQ(list->item(row, 0)->text(), label);
        EXPECT_EQ(rowText(row), text) << row;
    }
    EXPECT_FALSE(list->item(0, 1)->flags() & Qt::ItemIsEditable);
}

TEST_F(SetupTest, HeadingRowsHideTheCaptureFieldAndCommandRowsShowTheirCode) {
    open();
    EXPECT_EQ(child<QTableWidget>(*dialog, "ValueListEditorShortCuts")->currentRow(), 0);
    EXPECT_TRUE(captureShown());
    EXPECT_EQ(child<KeyCaptureEdit>(*dialog, "HotKeyShortcut")->value(), 32851);
    EXPECT_EQ(child<KeyCaptureEdit>(*dialog, "HotKeyShortcut")->text(), "Alt+S");

    for (const int heading : {1, 10, 17, 25}) {
        clickRow(heading);
        EXPECT_FALSE(captureShown()) << heading;
    }
    clickRow(18);
    EXPECT_TRUE(captureShown());
    EXPECT_EQ(child<KeyCaptureEdit>(*dialog, "HotKeyShortcut")->text(), "Alt+E");
    // The keyboard moves the current row too.
    QTest::keyClick(child<QTableWidget>(*dialog, "ValueListEditorShortCuts"), Qt::Key_Up);
    EXPECT_FALSE(captureShown());
    QTest::keyClick(child<QTableWidget>(*dialog, "ValueListEditorShortCuts"), Qt::Key_Up);
    EXPECT_TRUE(captureShown());
    EXPECT_EQ(child<KeyCaptureEdit>(*dialog, "HotKeyShortcut")->text(), "None")
        << "Transparent has no shortcut";

    // A capture not taken over with Update is lost with its row.
    capture(Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(child<KeyCaptureEdit>(*dialog, "HotKeyShortcut")->text(), "Ctrl+Q");
    clickRow(0);
    clickRow(16);
    EXPECT_EQ(child<KeyCaptureEdit>(*dialog, "HotKeyShortcut")->text(), "None");
    EXPECT_EQ(rowCode(16), 0);
}

TEST_F(SetupTest, UpdateAttachesTheCaptureToTheRowUntilOkWritesIt) {
    open();
    clickRow(3);
    capture(Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(rowText(3), "Ctrl+Right") << "nothing changes before Update";
    click(child<QPushButton>(*dialog, "BitBtnShortCutUpdate"));
    EXPECT_EQ(rowText(3), "Shift+Ctrl+R");
    EXPECT_EQ(rowCode(3), 0x2000 + 0x4000 + 'R');
    EXPECT_EQ(dialog->focusWidget(), child<QTableWidget>(*dialog, "ValueListEditorShortCuts"));
    EXPECT_FALSE(exists(ini()));

    // Two rows with one combination: nothing checks.
    clickRow(4);
    capture(Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    click(child<QPushButton>(*dialog, "BitBtnShortCutUpdate"));
    click(child<QPushButton>(*dialog, "BitBtnOk"));
    EXPECT_TRUE(readFile(ini()).contains("\r\nSRFReplaceExisting=24658\r\nSRFRemoveNew=24658\r\n"));
    EXPECT_EQ(dialog->result().codes[2], 24658);
    EXPECT_EQ(dialog->result().codes[3], 24658);
}

TEST_F(SetupTest, UpdateWithoutAKeyLeavesTheCommandWithoutShortcut) {
    open();
    clickRow(2);
    EXPECT_EQ(child<KeyCaptureEdit>(*dialog, "HotKeyShortcut")->text(), "F5");
    // Modifiers held show as pending; let go without a key they leave none.
    KeyCaptureEdit* field = child<KeyCaptureEdit>(*dialog, "HotKeyShortcut");
    click(field);
    QTest::keyPress(field, Qt::Key_Control);
    QTest::keyPress(field, Qt::Key_Alt, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "Ctrl+Alt+");
    EXPECT_EQ(field->value(), 116) << "nothing is captured yet";
    QTest::keyRelease(field, Qt::Key_Alt, Qt::ControlModifier | Qt::AltModifier);
    QTest::keyRelease(field, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(child<KeyCaptureEdit>(*dialog, "HotKeyShortcut")->value(), 0);
    EXPECT_EQ(child<KeyCaptureEdit>(*dialog, "HotKeyShortcut")->text(), "None");
    click(child<QPushButton>(*dialog, "BitBtnShortCutUpdate"));
    EXPECT_EQ(rowText(2), NoBreakSpace);
    click(child<QPushButton>(*dialog, "BitBtnOk"));
    EXPECT_TRUE(readFile(ini()).contains("\r\nSRFUpdateFileList=0\r\n"));
    EXPECT_EQ(dialog->result().codes[1], 0);
}

TEST_F(SetupTest, RestoreBringsBackTheFileInAllThreeAreasAndWritesNothing) {
    const QByteArray file = "[Folders]\r\nSource=\"/src/\"\r\n[Chars]\r\nA=/a/\r\nB=/b/\r\n"
                            "Diverse=/d/\r\n[Shortcuts]\r\nSRIEHide=112\r\n";
    writeFile(ini(), file);
    open();
    const SetupResult loaded = dialog->result();
    prompts.folderAnswers.push_back(folder("other"));
    click(child<QPushButton>(*dialog, "BitBtnFolderSource"));
    selectLine("A");
    click(child<QPushButton>(*dialog, "BitBtnRemove"));
    answerEditor([&](TFrmSRFolderChar& editor) {
        QTest::keyClicks(child<QLineEdit>(editor, "EditCharacter"), "n");
        prompts.folderAnswers.push_back(folder("n"));
        click(child<QPushButton>(editor, "BitBtnFolder"));
    });
    click(child<QPushButton>(*dialog, "BitBtnAdd"));
    clickRow(24);
    EXPECT_EQ(child<KeyCaptureEdit>(*dialog, "HotKeyShortcut")->text(), "F1");
    capture(Qt::Key_H, Qt::AltModifier);
    click(child<QPushButton>(*dialog, "BitBtnShortCutUpdate"));
    ASSERT_NE(dialog->result().folderChars, loaded.folderChars);

    click(child<QPushButton>(*dialog, "BitBtnRestore"));
    const SetupResult restored = dialog->result();
    EXPECT_EQ(restored.sourceFolder, "/src/");
    EXPECT_EQ(restored.folderChars, QStringList({"A=/a/", "B=/b/", "Diverse=/d/"}));
    EXPECT_EQ(restored.codes, loaded.codes);
    EXPECT_EQ(rowText(24), "F1");
    EXPECT_EQ(child<KeyCaptureEdit>(*dialog, "HotKeyShortcut")->text(), "F1")
        << "the current row is shown again";
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(readFile(ini()), file);
}

TEST_F(SetupTest, AFailedSaveIsShownAndTheDialogStillCountsAsConfirmed) {
    const QString unwritable = root.file("no such folder/sortello.ini");
    answerSetup("BitBtnOk");
    const auto values = runSetupDialog(nullptr, prompts, unwritable);
    // One box: the batch stops at the failed write.
    expectOneMessage("Sortello", "Unable to write to " + unwritable + ".", MessageIcon::Error,
                     MessageButton::Ok);
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(values->sourceFolder, "/");
    EXPECT_EQ(values->codes[0], 32851);
}

TEST_F(SetupTest, AValueTheFileCannotHoldRefusesOkBeforeAnythingIsWritten) {
    const QByteArray file = "[Chars]\nA=/a/\nDiverse=/d/\n[Shortcuts]\nSRISetup=83\n";
    writeFile(ini(), file);
    open();
    prompts.folderAnswers.push_back(folder("new\nsource"));
    click(child<QPushButton>(*dialog, "BitBtnFolderSource"));
    EXPECT_EQ(child<QLineEdit>(*dialog, "EditFolderSource")->text(), "/")
        << "the browser's folder is refused";
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].title, "Error");

    // Lines put in place as an older editor could.
    child<QListWidget>(*dialog, "ListBoxFolderChars")->addItem("0=" + root.file("new\nline/"));
    prompts.messages.clear();
    click(child<QPushButton>(*dialog, "BitBtnOk"));
    expectOneMessage("Error",
                     "Cannot store a line break in the value of \"0\" in " + ini() +
                         "\rNothing has been saved.",
                     MessageIcon::Error, MessageButton::Ok);
    EXPECT_EQ(readFile(ini()), file);
    EXPECT_TRUE(dialog->isVisible()) << "the dialog stays open to fix the entry";
}

TEST_F(SetupTest, IsATranslucentToolWindowOfTheDrawnSize) {
    open();
    EXPECT_EQ(dialog->windowTitle(), "Sortello - Setup");
    EXPECT_EQ(dialog->windowType(), Qt::Tool);
    EXPECT_TRUE(dialog->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(dialog->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_NEAR(dialog->windowOpacity(), 240.0 / 255.0, 0.002);
    EXPECT_EQ(dialog->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(dialog->font().pointSize(), 8);
    EXPECT_EQ(dialog->size() + ToolWindowFrame, QSize(554, 271));
    EXPECT_EQ(dialog->minimumSize(), dialog->size());
    for (const QPushButton* button : dialog->findChildren<QPushButton*>())
        EXPECT_EQ(button->cursor().shape(),
                  button == child<QPushButton>(*dialog, "BitBtnShortCutUpdate")
                      ? Qt::ArrowCursor
                      : Qt::PointingHandCursor)
            << button->objectName().toStdString();
    EXPECT_FALSE(child<QLineEdit>(*dialog, "EditFolderSource")->isEnabled());
    EXPECT_TRUE(child<QLineEdit>(*dialog, "EditFolderSource")->isReadOnly());
}

TEST_F(SetupTest, AltLettersPressButtonsAndLabelsMoveTheFocus) {
    open();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    QTest::keyClick(dialog->focusWidget(), Qt::Key_C, Qt::AltModifier);
    EXPECT_EQ(dialog->focusWidget(), child<QTableWidget>(*dialog, "ValueListEditorShortCuts"));
    QTest::keyClick(dialog->focusWidget(), Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(dialog->focusWidget(), child<QListWidget>(*dialog, "ListBoxFolderChars"));
    QTest::keyClick(dialog->focusWidget(), Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(dialog->focusWidget(), child<QPushButton>(*dialog, "BitBtnFolderSource"));
    QTest::keyClick(dialog->focusWidget(), Qt::Key_A, Qt::AltModifier);
    // A button's letter clicks it after a short press animation.
    EXPECT_TRUE(QTest::qWaitFor([this] { return !prompts.dialogsRun.empty(); }));
    EXPECT_EQ(prompts.dialogsRun, std::vector<QString>{"TFrmSRFolderChar"});
}

TEST_F(SetupTest, ControlsSitWhereDrawnAndFollowTheirEdgesWhenResized) {
    open();
    struct Place {
        QWidget* control;
        QRect drawn;
        QRect grown; // after 100 wider and 50 higher
    };
    const Place places[] = {
        {child<QFrame>(*dialog, "PanelControls"), {4, 4, 242, 192}, {4, 4, 342, 242}},
        {child<QFrame>(*dialog, "PanelShortcuts"), {249, 4, 293, 192}, {349, 4, 293, 242}},
        {child<QFrame>(*dialog, "PanelButtons"), {4, 199, 538, 41}, {4, 249, 638, 41}},
        {child<QLineEdit>(*dialog, "EditFolderSource"), {8, 24, 206, 22}, {8, 24, 306, 22}},
        {child<QListWidget>(*dialog, "ListBoxFolderChars"), {8, 64, 226, 96}, {8, 64, 326, 146}},
        {child<KeyCaptureEdit>(*dialog, "HotKeyShortcut"), {8, 164, 201, 19}, {8, 214, 201, 19}},
        {child<QPushButton>(*dialog, "BitBtnShortCutUpdate"),
         {208, 160, 77, 25},
         {208, 210, 77, 25}},
        {child<QPushButton>(*dialog, "BitBtnOk"), {300, 8, 75, 25}, {400, 8, 75, 25}},
    };
    for (const Place& p : places)
        EXPECT_EQ(p.control->geometry(), p.drawn) << p.control->objectName().toStdString();
    dialog->resize(dialog->size() + QSize(100, 50));
    for (const Place& p : places)
        EXPECT_EQ(p.control->geometry(), p.grown) << p.control->objectName().toStdString();
    EXPECT_EQ(child<QTableWidget>(*dialog, "ValueListEditorShortCuts")->rowHeight(5), 18);
}

TEST_F(SetupTest, FocusStartsOnTheBrowseButtonAndTabFollowsTheDrawnOrder) {
    open();
    ASSERT_EQ(dialog->focusWidget(), child<QPushButton>(*dialog, "BitBtnFolderSource"));
    const QWidget* expected[] = {child<QListWidget>(*dialog, "ListBoxFolderChars"),
                                 child<QPushButton>(*dialog, "BitBtnEdit"),
                                 child<QPushButton>(*dialog, "BitBtnAdd"),
                                 child<QPushButton>(*dialog, "BitBtnRemove"),
                                 child<QCheckBox>(*dialog, "CheckBoxTrash"),
                                 child<QCheckBox>(*dialog, "CheckBoxListModernFormats"),
                                 child<QPushButton>(*dialog, "BitBtnOk"),
                                 child<QPushButton>(*dialog, "BitBtnRestore"),
                                 child<QPushButton>(*dialog, "BitBtnCancel"),
                                 child<QTableWidget>(*dialog, "ValueListEditorShortCuts"),
                                 child<KeyCaptureEdit>(*dialog, "HotKeyShortcut"),
                                 child<QPushButton>(*dialog, "BitBtnShortCutUpdate"),
                                 child<QPushButton>(*dialog, "BitBtnFolderSource")};
    for (const QWidget* next : expected) {
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(dialog->focusWidget(), next) << next->objectName().toStdString();
    }
    // Enter away from the buttons is OK's.
    selectLine("Diverse");
    EXPECT_TRUE(child<QPushButton>(*dialog, "BitBtnOk")->isDefault());
    QTest::keyClick(child<QListWidget>(*dialog, "ListBoxFolderChars"), Qt::Key_Return);
    EXPECT_EQ(dialog->QDialog::result(), QDialog::Accepted);
    EXPECT_TRUE(exists(ini()));
}

// The capture field takes any key with any of Shift, Ctrl and Alt.
struct CaptureCase {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* text;
    ShortCutCode code;
};

class CaptureTest : public SetupTest, public ::testing::WithParamInterface<CaptureCase> {};

TEST_P(CaptureTest, ShowsTheTextAndYieldsTheStoredCode) {
    const CaptureCase& c = GetParam();
    open();
    clickRow(11);
    capture(c.key, c.modifiers);
    EXPECT_EQ(child<KeyCaptureEdit>(*dialog, "HotKeyShortcut")->text(), c.text);
    EXPECT_EQ(child<KeyCaptureEdit>(*dialog, "HotKeyShortcut")->value(), c.code);
    EXPECT_TRUE(dialog->isVisible()) << "no key reaches the dialog";
    EXPECT_EQ(rowCode(11), 32846) << "no key reaches a button";
    click(child<QPushButton>(*dialog, "BitBtnShortCutUpdate"));
    EXPECT_EQ(rowText(11), c.text);
    EXPECT_EQ(dialog->result().codes[9], c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, CaptureTest,
    ::testing::Values(CaptureCase{"ShiftAltRight", Qt::Key_Right,
                                  Qt::ShiftModifier | Qt::AltModifier, "Shift+Alt+Right", 40999},
                      CaptureCase{"PlainLetter", Qt::Key_M, Qt::NoModifier, "M", 'M'},
                      CaptureCase{"FunctionKey", Qt::Key_F12, Qt::NoModifier, "F12", 123},
                      CaptureCase{"AllThree", Qt::Key_A,
                                  Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier,
                                  "Shift+Ctrl+Alt+A", 57409},
                      CaptureCase{"ButtonLetter", Qt::Key_U, Qt::AltModifier, "Alt+U", 32853},
                      CaptureCase{"Enter", Qt::Key_Return, Qt::NoModifier, "Enter", 13},
                      CaptureCase{"Esc", Qt::Key_Escape, Qt::NoModifier, "Esc", 27},
                      CaptureCase{"CtrlTab", Qt::Key_Tab, Qt::ControlModifier, "Ctrl+Tab", 16393},
                      CaptureCase{"KeypadStar", Qt::Key_Asterisk, Qt::KeypadModifier, "Num *", 106},
                      CaptureCase{"ShiftedDigit", Qt::Key_Exclam, Qt::ShiftModifier, "Shift+1",
                                  8241}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

// A file from before the trash setting reads as off and is left without it
// until the box is ticked.
TEST_F(SetupTest, TheTrashBoxIsSavedInItsOwnSection) {
    writeFile(ini(), "[Folders]\r\nSource=\"/p/\"\r\n");
    open();
    auto* box = child<QCheckBox>(*dialog, "CheckBoxTrash");
    EXPECT_EQ(box->text(), "Deleted pictures go to the trash");
    EXPECT_FALSE(box->isChecked());
    click(child<QPushButton>(*dialog, "BitBtnOk"));
    EXPECT_FALSE(readFile(ini()).contains("Options"));

    open();
    box = child<QCheckBox>(*dialog, "CheckBoxTrash");
    box->click();
    click(child<QPushButton>(*dialog, "BitBtnOk"));
    EXPECT_TRUE(readFile(ini()).contains("[Options]\r\nDeletedToTrash=1\r\n"));
    EXPECT_TRUE(dialog->result().deletedToTrash);
    open();
    EXPECT_TRUE(child<QCheckBox>(*dialog, "CheckBoxTrash")->isChecked());
}
