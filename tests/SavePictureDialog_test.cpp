// SPDX-License-Identifier: GPL-3.0-or-later
#include "application/SavePictureDialog.h"
#include "base/Prompts.h"
#include "support/FakePrompts.h"
#include "support/TempFiles.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

using namespace sortello;
using namespace sortello::test;

namespace {

class SaveDialog : public ::testing::Test {
protected:
    void SetUp() override {
        QImage image(300, 100, QImage::Format_RGB32);
        image.fill(Qt::blue);
        ASSERT_TRUE(image.save(dir.file(QStringLiteral("wide.bmp")), "BMP"));
        writeFile(dir.file(QStringLiteral("broken.jpg")), "not a picture");
    }

    SavePictureRequest request(const QString& fileName = {}) const {
        SavePictureRequest r;
        r.title = QStringLiteral("Save wide.bmp as");
        r.initialFolder = dir.path();
        r.fileName = fileName;
        r.defaultSuffix = QStringLiteral("bmp");
        r.filters = QStringList{QStringLiteral("All files (*.*)")};
        return r;
    }

    static QLabel* previewOf(SavePictureDialog& dialog) {
        return dialog.findChild<QLabel*>(QStringLiteral("Preview"));
    }

    TempFolder dir;
    FakePrompts prompts;
};

TEST_F(SaveDialog, PreviewFollowsTheSelectedName) {
    SavePictureDialog dialog(nullptr, prompts, request());
    QLabel* preview = previewOf(dialog);
    ASSERT_NE(preview, nullptr);
    dialog.selectFile(dir.file(QStringLiteral("wide.bmp")));
    EXPECT_EQ(preview->pixmap().size(), QSize(200, 66));
    dialog.selectFile(dir.file(QStringLiteral("broken.jpg")));
    EXPECT_TRUE(preview->pixmap().isNull());
    EXPECT_FALSE(preview->text().isEmpty());
    dialog.selectFile(QStringLiteral("new name"));
    EXPECT_TRUE(preview->pixmap().isNull());
    EXPECT_TRUE(preview->text().isEmpty());
}

// From its second use on the dialog proposes the full path it returned last
// time; the first time, the bare name of the file being moved.
TEST_F(SaveDialog, ThePictureProposedAtOpeningIsPreviewed) {
    for (const QString& proposed :
         {dir.file(QStringLiteral("wide.bmp")), QStringLiteral("wide.bmp")}) {
        SavePictureDialog dialog(nullptr, prompts, request(proposed));
        EXPECT_EQ(previewOf(dialog)->pixmap().size(), QSize(200, 66)) << proposed.toStdString();
    }
}

struct Typed {
    const char* name;           // typed in the name field
    bool folderExists;          // whether the folder of the name exists
    MessageButton createAnswer; // the answer to "create it?", when asked
    bool accepted;
};

void PrintTo(const Typed& t, std::ostream* out) {
    *out << t.name;
}

class TypedName : public SaveDialog, public ::testing::WithParamInterface<Typed> {};

// The dialog stays open, with its one message, until it holds a name in a
// folder that exists; only then does it ask to create the file.
TEST_P(TypedName, OnlyANameInAFolderThatExistsIsReturned) {
    const Typed t = GetParam();
    ASSERT_TRUE(QDir().mkpath(dir.file(QStringLiteral("Sub"))));
    prompts.messageAnswers.push_back(t.createAnswer);
    SavePictureDialog dialog(nullptr, prompts, request());
    dialog.show();
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromUtf8(t.name));
    dialog.accept();

    ASSERT_EQ(prompts.messages.size(), 1u);
    const ShownMessage& shown = prompts.messages.front();
    if (t.folderExists) {
        EXPECT_TRUE(shown.text.contains(QLatin1String("Do you want to create it?")));
    } else {
        EXPECT_EQ(shown.icon, MessageIcon::Warning);
        EXPECT_TRUE(shown.text.contains(QLatin1String("This folder does not exist")))
            << shown.text.toStdString();
    }
    EXPECT_EQ(dialog.result() == QDialog::Accepted, t.accepted);
    EXPECT_EQ(dialog.isVisible(), !t.accepted);
    if (t.accepted) {
        EXPECT_TRUE(QFileInfo(dialog.selectedFiles().value(0)).absoluteDir().exists());
    }
}

INSTANTIATE_TEST_SUITE_P(
    , TypedName,
    ::testing::Values(Typed{"NoSuch/wider", false, MessageButton::Yes, false},
                      Typed{"Sub/NoSuch/wider.bmp", false, MessageButton::Yes, false},
                      Typed{"wide.bmp/wider", false, MessageButton::Yes, false},
                      Typed{"Sub/wider", true, MessageButton::Yes, true},
                      Typed{"wider", true, MessageButton::Yes, true},
                      Typed{"wider", true, MessageButton::No, false}));

} // namespace
