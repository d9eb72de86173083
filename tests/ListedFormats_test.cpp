// SPDX-License-Identifier: GPL-3.0-or-later
// Which files are listed: the default patterns, and PNG, WebP, TIFF, HEIC and
// AVIF too when the setup dialog's check box (and the settings key behind it)
// says so; the main window lists, moves in batches and offers in the save
// dialog exactly what that choice gives.
#include "settings/SettingsTables.h"
#include "support/Workspace.h"
#include "widgets/FileListBox.h"
#include "windows/SRSetup.h"

#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace sortello;
using namespace sortello::test;

namespace {

const char* const Names[] = {"a.jpg",  "b.PNG",  "c.webp", "d.tif", "e.tiff",
                             "f.heic", "g.HEIF", "h.avif", "i.psd", "j.png.txt"};

QStringList listedNames(FileListBox* files) {
    QStringList names;
    for (int row = 0; row < files->count(); ++row)
        names.append(files->item(row).name);
    return names;
}

void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
}

class ListedFormats : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(ws.source());
        for (const char* name : Names)
            writeFile(ws.source() + QLatin1String(name), "x");
    }
    // Runs the setup dialog from the main window, clicking the check box first
    // when `toggle` is set, then OK.
    void setUp(bool toggle) {
        ws.prompts.dialogScripts.push_back([toggle](QDialog& shown) {
            shown.show();
            if (toggle)
                click(child<QCheckBox>(shown, "CheckBoxListModernFormats"));
            click(child<QPushButton>(shown, "BitBtnOk"));
            return shown.result();
        });
        ws.command("SRISetup");
    }
    bool boxChecked() {
        const TFrmSRSetup dialog(ws.prompts, ws.ini());
        return child<QCheckBox>(dialog, "CheckBoxListModernFormats")->isChecked();
    }

    Workspace ws;
};

const QStringList Default{"a.jpg"};
const QStringList Modern{"a.jpg",  "b.PNG",  "c.webp", "d.tif",
                         "e.tiff", "f.heic", "g.HEIF", "h.avif"};

TEST_F(ListedFormats, AFileWithoutTheSectionListsTheDefaultPatternsAndOkKeepsItThatWay) {
    ws.writeSettings();
    ws.open();
    EXPECT_EQ(listedNames(ws.files()), Default);
    EXPECT_FALSE(boxChecked());
    setUp(false);
    EXPECT_FALSE(readFile(ws.ini()).contains("[Formats]"));
    EXPECT_EQ(listedNames(ws.files()), Default);
}

TEST_F(ListedFormats, TheCheckBoxWritesTheKeyAndTheListingFollowsAtOnce) {
    ws.writeSettings();
    ws.open();
    setUp(true);
    EXPECT_TRUE(readFile(ws.ini()).contains("[Formats]\r\nListModernFormats=1\r\n"));
    EXPECT_EQ(listedNames(ws.files()), Modern);
    EXPECT_TRUE(boxChecked());

    setUp(true);
    EXPECT_TRUE(readFile(ws.ini()).contains("[Formats]\r\nListModernFormats=0\r\n"));
    EXPECT_EQ(listedNames(ws.files()), Default);
    EXPECT_FALSE(boxChecked());
}

TEST_F(ListedFormats, TheKeyIsReadAtStartAndTheSaveDialogOffersTheNewTypes) {
    ws.writeSettings("[formats]\r\nlistmodernformats=1\r\n");
    ws.open();
    EXPECT_EQ(listedNames(ws.files()), Modern);
    ws.select(1);
    ws.prompts.saveAnswers.push_back(QString());
    ws.command("SRFMoveAs");
    ASSERT_EQ(ws.prompts.saveRequests.size(), 1u);
    const QStringList& filters = ws.prompts.saveRequests[0].filters;
    EXPECT_EQ(filters.first(), "All image files (*.jpg *.jpeg *.bmp *.ico *.emf *.wmf *.png "
                               "*.webp *.tif *.tiff *.heic *.heif *.avif)");
    EXPECT_TRUE(filters.contains("PNG Image File (*.png)"));
    EXPECT_TRUE(filters.contains("HEIF Image File (*.heic *.heif)"));
    EXPECT_EQ(filters.last(), "All files (*)");
}

TEST_F(ListedFormats, BatchMovesTakeOnlyWhatIsListed) {
    ws.writeSettings();
    ws.open();
    ws.command("SRFMoveNonExisting");
    EXPECT_TRUE(exists(ws.folder("A") + "a.jpg"));
    EXPECT_TRUE(exists(ws.source() + "b.PNG"));
    EXPECT_FALSE(exists(ws.folder("Misc") + "h.avif"));
}

} // namespace
