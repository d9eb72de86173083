// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/SRFolderChar.h"

#include "windows/SRSetup.h"

#include "support/Controls.h"
#include "support/FakePrompts.h"
#include "support/TempFiles.h"
#include "widgets/DialogParts.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

using namespace sortello;
using namespace sortello::test;

namespace {

// Types text QTest's ASCII key table does not know, as a keyboard layout would.
void typeText(QWidget* widget, const QString& text) {
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

class FolderCharTest : public ::testing::Test {
protected:
    FolderCharTest() : existing(root.file("pictures/A/")) { QDir().mkpath(existing); }

    // The editor shown as the setup dialog shows it, in one of its modes.
    TFrmSRFolderChar& openAdd() {
        editor.setAddMode();
        show();
        return editor;
    }
    TFrmSRFolderChar& openEdit(const QString& character, const QString& folder) {
        editor.setEditMode(character, folder);
        show();
        return editor;
    }
    void show() {
        editor.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    }
    void browse(const QString& answer) {
        prompts.folderAnswers.push_back(answer);
        QTest::mouseClick(child<QPushButton>(editor, "BitBtnFolder"), Qt::LeftButton);
    }

    TempFolder root;
    QString existing;
    FakePrompts prompts;
    TFrmSRFolderChar editor{prompts};
};

TEST_F(FolderCharTest, IsASlightlyTranslucentToolWindowOfTheDrawnSize) {
    EXPECT_EQ(editor.windowTitle(), "Sortello - Edit Folder char");
    EXPECT_EQ(editor.windowType(), Qt::Tool);
    EXPECT_TRUE(editor.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(editor.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_NEAR(editor.windowOpacity(), 240.0 / 255.0, 0.002);
    EXPECT_EQ(editor.font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(editor.font().pointSize(), 8);
    // The drawn sizes are whole windows; Qt sizes the client area inside the frame.
    EXPECT_EQ(editor.size() + ToolWindowFrame, QSize(391, 148));
    EXPECT_EQ(editor.minimumSize() + ToolWindowFrame, QSize(275, 148));
    EXPECT_EQ(editor.maximumHeight() + ToolWindowFrame.height(), 148);
    EXPECT_TRUE(child<QPushButton>(editor, "BitBtnOk")->isDefault());
    for (const QPushButton* button :
         {child<QPushButton>(editor, "BitBtnFolder"), child<QPushButton>(editor, "BitBtnOk"),
          child<QPushButton>(editor, "BitBtnCancel")})
        EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor)
            << button->objectName().toStdString();
}

TEST_F(FolderCharTest, AddModeTakesOneCharacterInUpperCase) {
    openAdd();
    EXPECT_EQ(editor.focusWidget(), child<QLineEdit>(editor, "EditCharacter"));
    EXPECT_FALSE(child<QPushButton>(editor, "BitBtnOk")->isEnabled());
    QTest::keyClicks(child<QLineEdit>(editor, "EditCharacter"), "ab");
    EXPECT_EQ(editor.character(), "A");
    EXPECT_EQ(child<QLineEdit>(editor, "EditCharacter")->text(), "A");
}

TEST_F(FolderCharTest, UpperCasesOneForOneAndRefusesWhatCannotBeAKey) {
    openAdd();
    typeText(child<QLineEdit>(editor, "EditCharacter"), QString::fromUtf8("é"));
    EXPECT_EQ(editor.character(), QString::fromUtf8("É"));
    // "ß" has no single upper-case letter; "SS" would be two characters.
    for (const char* typed : {"ß", "=", " ", "["}) {
        child<QLineEdit>(editor, "EditCharacter")->clear();
        typeText(child<QLineEdit>(editor, "EditCharacter"), QString::fromUtf8(typed));
        EXPECT_EQ(editor.character(), QString::fromUtf8(typed).trimmed().remove('=')) << typed;
    }
}

TEST_F(FolderCharTest, AFolderWhoseNameHoldsALineBreakIsRefusedAtOnce) {
    openEdit("K", existing);
    for (const char* name : {"new\nline", "cr\rname"}) {
        const QString odd = root.file(name);
        ASSERT_TRUE(QDir().mkpath(odd));
        prompts.messages.clear();
        browse(odd);
        ASSERT_EQ(prompts.messages.size(), 1u) << name;
        EXPECT_EQ(prompts.messages[0].title, "Error");
        EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Error);
        EXPECT_TRUE(prompts.messages[0].text.contains("line break")) << name;
        EXPECT_EQ(editor.folder(), existing);
        EXPECT_TRUE(child<QPushButton>(editor, "BitBtnOk")->isEnabled());
    }
}

TEST_F(FolderCharTest, FolderFieldIsFilledOnlyByTheBrowser) {
    openAdd();
    EXPECT_FALSE(child<QLineEdit>(editor, "EditFolder")->isEnabled());
    EXPECT_TRUE(child<QLineEdit>(editor, "EditFolder")->isReadOnly());
    QTest::keyClicks(child<QLineEdit>(editor, "EditFolder"), "typed");
    EXPECT_EQ(editor.folder(), "");

    QTest::keyClicks(child<QLineEdit>(editor, "EditCharacter"), "k");
    browse(root.path() + "pictures/A");
    ASSERT_EQ(prompts.browseTitles.size(), 1u);
    EXPECT_EQ(prompts.browseTitles[0], "Select a destination folder for the \"K\" character");
    EXPECT_EQ(prompts.browseStarts[0], "");
    EXPECT_EQ(editor.folder(), existing) << "a chosen folder ends in a separator";
    EXPECT_TRUE(child<QPushButton>(editor, "BitBtnOk")->isEnabled());

    browse(QString()); // cancelled
    EXPECT_EQ(prompts.browseStarts[1], existing);
    EXPECT_EQ(editor.folder(), existing);
}

TEST_F(FolderCharTest, FolderBeforeCharacterLeavesOkOffUntilOneIsTyped) {
    openAdd();
    browse(existing);
    EXPECT_EQ(prompts.browseTitles.at(0), "Select a destination folder for the \"\" character");
    EXPECT_FALSE(child<QPushButton>(editor, "BitBtnOk")->isEnabled());
    QTest::keyClicks(child<QLineEdit>(editor, "EditCharacter"), "q");
    EXPECT_TRUE(child<QPushButton>(editor, "BitBtnOk")->isEnabled());
    QTest::keyClick(child<QLineEdit>(editor, "EditCharacter"), Qt::Key_Backspace);
    EXPECT_EQ(editor.character(), "");
    EXPECT_FALSE(child<QPushButton>(editor, "BitBtnOk")->isEnabled());
    browse("/");
    EXPECT_EQ(editor.folder(), "/") << "a root keeps its single separator";
}

TEST_F(FolderCharTest, EditModeOnAMissingFolderEnablesOkOnlyOnceAnExistingOneIsChosen) {
    openEdit("B", root.file("gone/"));
    EXPECT_EQ(editor.focusWidget(), child<QPushButton>(editor, "BitBtnFolder"));
    EXPECT_FALSE(child<QLineEdit>(editor, "EditCharacter")->isEnabled());
    EXPECT_TRUE(child<QLineEdit>(editor, "EditCharacter")->isReadOnly());
    EXPECT_FALSE(child<QPushButton>(editor, "BitBtnOk")->isEnabled());
    QTest::mouseClick(child<QPushButton>(editor, "BitBtnOk"), Qt::LeftButton);
    EXPECT_TRUE(editor.isVisible()) << "a disabled OK does nothing";

    browse(root.file("also gone"));
    EXPECT_FALSE(child<QPushButton>(editor, "BitBtnOk")->isEnabled());
    browse(existing);
    EXPECT_TRUE(child<QPushButton>(editor, "BitBtnOk")->isEnabled());
    QTest::mouseClick(child<QPushButton>(editor, "BitBtnCancel"), Qt::LeftButton);
    EXPECT_EQ(editor.result(), QDialog::Rejected);
}

TEST_F(FolderCharTest, EditModeOnDiverseShowsAndNamesItInUpperCase) {
    openEdit("Diverse", existing);
    EXPECT_EQ(editor.character(), "DIVERSE");
    EXPECT_TRUE(child<QPushButton>(editor, "BitBtnOk")->isEnabled());
    browse(QString());
    EXPECT_EQ(prompts.browseTitles.at(0),
              "Select a destination folder for the \"DIVERSE\" character");
    EXPECT_EQ(prompts.browseStarts.at(0), existing);
}

TEST_F(FolderCharTest, EnterConfirmsAndEscCancels) {
    openEdit("C", existing);
    QTest::keyClick(child<QPushButton>(editor, "BitBtnFolder"), Qt::Key_Escape);
    EXPECT_EQ(editor.result(), QDialog::Rejected);
    EXPECT_FALSE(editor.isVisible());

    TFrmSRFolderChar second(prompts);
    second.setAddMode();
    second.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
    QTest::keyClicks(child<QLineEdit>(second, "EditCharacter"), "z");
    prompts.folderAnswers.push_back(existing);
    QTest::mouseClick(child<QPushButton>(second, "BitBtnFolder"), Qt::LeftButton);
    // Back in the character field the "..." button no longer takes Enter.
    QTest::mouseClick(child<QLineEdit>(second, "EditCharacter"), Qt::LeftButton);
    ASSERT_EQ(second.focusWidget(), child<QLineEdit>(second, "EditCharacter"));
    QTest::keyClick(child<QLineEdit>(second, "EditCharacter"), Qt::Key_Return);
    EXPECT_EQ(second.result(), QDialog::Accepted);
    EXPECT_EQ(second.character(), "Z");
    EXPECT_EQ(second.folder(), existing);
}

// OK is on exactly when a character is there and the folder exists.
struct OkCase {
    const char* name;
    const char* character;
    const char* folder; // relative to the temporary folder; "" for none
    bool enabled;
};

class OkRule : public FolderCharTest, public ::testing::WithParamInterface<OkCase> {};

TEST_P(OkRule, FollowsCharacterAndFolder) {
    writeFile(root.file("pictures/file.jpg"), "x");
    const OkCase& c = GetParam();
    const QString folder = *c.folder ? root.file(c.folder) : QString();
    openEdit(c.character, folder);
    EXPECT_EQ(child<QPushButton>(editor, "BitBtnOk")->isEnabled(), c.enabled);
}

INSTANTIATE_TEST_SUITE_P(Cases, OkRule,
                         ::testing::Values(OkCase{"both", "A", "pictures/A/", true},
                                           OkCase{"noSeparator", "A", "pictures/A", true},
                                           OkCase{"noCharacter", "", "pictures/A/", false},
                                           OkCase{"noFolder", "A", "", false},
                                           OkCase{"missingFolder", "A", "pictures/B/", false},
                                           OkCase{"fileNotFolder", "A", "pictures/file.jpg",
                                                  false}),
                         [](const auto& info) { return std::string(info.param.name); });

// For a look at both dialogs on a real display: SORTELLO_SHOW_DIALOGS=<seconds>.
TEST(SettingsDialogs, ShowForALook) {
    const int seconds = qEnvironmentVariableIntValue("SORTELLO_SHOW_DIALOGS");
    if (seconds <= 0)
        GTEST_SKIP() << "set SORTELLO_SHOW_DIALOGS to look at the dialogs";
    TempFolder root;
    writeFile(root.file("sortello.ini"),
              "[Folders]\r\nSource=\"/home/pictures/new/\"\r\n[Chars]\r\n"
              "A=\"/home/pictures/Animals/\"\r\nB=\"/home/pictures/Buildings/\"\r\n"
              "Diverse=\"/home/pictures/Diverse/\"\r\n");
    FakePrompts prompts;
    TFrmSRSetup setup(prompts, root.file("sortello.ini"));
    child<QTableWidget>(setup, "ValueListEditorShortCuts")->setCurrentCell(6, 1);
    setup.move(40, 40);
    setup.show();
    QTest::qWait(seconds * 1000);
    TFrmSRFolderChar editor(prompts, &setup);
    editor.setEditMode("B", root.path());
    editor.move(640, 80);
    editor.show();
    QTest::qWait(seconds * 1000);
}

} // namespace
