// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/SRFolderChar.h"
#include "widgets/DialogParts.h"

#include "base/Misc.h"
#include "base/Prompts.h"
#include "widgets/Utility.h"

#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <algorithm>

namespace sortello {

namespace {

// The character field takes its text in upper case, whether typed or set. A
// blank or "=" cannot be a key of the settings file (the save would stop at
// it), so they never enter the field.
class CharacterValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& pos) const override {
        QString fixed;
        int fixedPos = 0;
        const QList<uint> points = input.toUcs4();
        int unit = 0;
        for (const uint point : points) {
            const int width = QChar::requiresSurrogates(point) ? 2 : 1;
            const bool refused = point == u'=' || QChar::isSpace(point) ||
                                 QChar::category(point) == QChar::Other_Control;
            if (!refused) {
                // One character for one: "ß" has no single upper-case letter and stays.
                const char32_t upper = QChar::toUpper(static_cast<char32_t>(point));
                fixed += QString::fromUcs4(&upper, 1);
            }
            unit += width;
            if (unit <= pos)
                fixedPos = static_cast<int>(fixed.size());
        }
        input = fixed;
        pos = fixedPos;
        return Acceptable;
    }
};

QString text(const char* latin1) {
    return QString::fromLatin1(latin1);
}

QLineEdit* makeEdit(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    edit->setEnabled(false);
    return edit;
}

} // namespace

bool refuseUnstorableFolder(Prompts& prompts, QWidget* parent, const QString& folder) {
    if (!folder.contains(u'\n') && !folder.contains(u'\r'))
        return false;
    showErrorBox(prompts, parent,
                 QStringLiteral("The name of this folder holds a line break, which the settings "
                                "file cannot keep:\r\"") +
                     folder + QStringLiteral("\"\rPlease choose another folder or rename it."),
                 MessageButton::Ok);
    return true;
}

TFrmSRFolderChar::TFrmSRFolderChar(Prompts& prompts, QWidget* parent)
    : QDialog(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      ask(prompts) {
    setObjectName(QStringLiteral("TFrmSRFolderChar"));
    setWindowTitle(QStringLiteral("Sortello - Edit Folder char"));
    setWindowOpacity(240.0 / 255.0);
    setFont(dialogFont(8));
    const QSize client = QSize(391, 148) - ToolWindowFrame;
    resize(client);
    setMinimumSize(QSize(275, 148) - ToolWindowFrame);
    setMaximumHeight(client.height());

    PanelMain = makePanel("PanelMain", this, true);
    auto* window = new PinnedPlacement(this, client);
    window->place(PanelMain, QRect(QPoint(0, 0), client), PinLeft | PinTop | PinRight | PinBottom);
    auto* main = new PinnedPlacement(PanelMain, client);

    Panel1 = makePanel("Panel1", PanelMain, false);
    main->place(Panel1, {4, 4, 374, 69}, PinLeft | PinTop | PinRight);
    auto* upper = new PinnedPlacement(Panel1, {374, 69});
    LabelChar = new QLabel(text("&Character"), Panel1);
    LabelChar->setObjectName(QStringLiteral("LabelChar"));
    upper->place(LabelChar, {12, 16});
    LabelFolder = new QLabel(text("&Folder"), Panel1);
    LabelFolder->setObjectName(QStringLiteral("LabelFolder"));
    upper->place(LabelFolder, {12, 40});
    // The fields were drawn 64 pixels in, after labels in a smaller font; a
    // wider system font moves them right rather than cover "Character".
    const int labels = std::max(LabelChar->sizeHint().width(), LabelFolder->sizeHint().width());
    const int shift = std::max(0, 12 + labels + 4 - 64);
    EditCharacter = makeEdit("EditCharacter", Panel1);
    EditCharacter->setValidator(new CharacterValidator(EditCharacter));
    upper->place(EditCharacter, {64 + shift, 12, 57, 22});
    EditFolder = makeEdit("EditFolder", Panel1);
    upper->place(EditFolder, {64 + shift, 36, 278 - shift, 22}, PinLeft | PinTop | PinRight);
    BitBtnFolder = makeButton("BitBtnFolder", text("..."), Panel1);
    upper->place(BitBtnFolder, {341, 36, 22, 22}, PinTop | PinRight);
    LabelChar->setBuddy(EditCharacter);
    LabelFolder->setBuddy(BitBtnFolder);

    Panel2 = makePanel("Panel2", PanelMain, false);
    main->place(Panel2, {4, 76, 374, 41}, PinLeft | PinRight | PinBottom);
    BitBtnOk = makeButton("BitBtnOk", text("OK"), Panel2);
    BitBtnOk->setGeometry(8, 8, 75, 25);
    BitBtnOk->setDefault(true);
    BitBtnOk->setEnabled(false);
    BitBtnCancel = makeButton("BitBtnCancel", text("Cancel"), Panel2);
    BitBtnCancel->setGeometry(84, 8, 75, 25);

    setTabOrder(EditCharacter, EditFolder);
    setTabOrder(EditFolder, BitBtnFolder);
    setTabOrder(BitBtnFolder, BitBtnOk);
    setTabOrder(BitBtnOk, BitBtnCancel);

    connect(EditCharacter, &QLineEdit::textChanged, this, &TFrmSRFolderChar::EditChange);
    connect(EditFolder, &QLineEdit::textChanged, this, &TFrmSRFolderChar::EditChange);
    connect(BitBtnFolder, &QPushButton::clicked, this, &TFrmSRFolderChar::BitBtnFolderClick);
    connect(BitBtnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    BitBtnFolder->setFocus();
    CenterOnOwner(this);
}

void TFrmSRFolderChar::setEditMode(const QString& character, const QString& folder) {
    EditCharacter->setText(character);
    EditFolder->setText(folder);
    EditChange();
    BitBtnFolder->setFocus();
}

void TFrmSRFolderChar::setAddMode() {
    EditCharacter->setMaxLength(1);
    EditCharacter->setEnabled(true);
    EditCharacter->setReadOnly(false);
    EditCharacter->clear();
    EditFolder->clear();
    EditChange();
    EditCharacter->setFocus();
}

QString TFrmSRFolderChar::character() const {
    return EditCharacter->text();
}

QString TFrmSRFolderChar::folder() const {
    return EditFolder->text();
}

void TFrmSRFolderChar::EditChange() {
    const QString folder = EditFolder->text();
    BitBtnOk->setEnabled(!EditCharacter->text().isEmpty() && !folder.isEmpty() &&
                         QFileInfo(folder).isDir());
}

void TFrmSRFolderChar::BitBtnFolderClick() {
    const QString title = QStringLiteral("Select a destination folder for the \"") +
                          EditCharacter->text() + QStringLiteral("\" character");
    BusyCursor busy;
    const auto chosen = ask.browseFolder(this, title, EditFolder->text());
    if (chosen && !refuseUnstorableFolder(ask, this, *chosen))
        EditFolder->setText(withTrailingSeparator(*chosen));
}

} // namespace sortello
