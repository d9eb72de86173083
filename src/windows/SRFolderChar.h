// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TFrmSRFolderChar, the folder-character editor: one character and the folder
// that pictures whose names begin with it are moved to. The setup dialog sets
// its mode, runs it and reads both fields back after OK; the editor itself
// changes no list and no file.
#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sortello {

class Prompts;

// A folder whose name holds a line break cannot be a value of the settings
// file: shows an error box and returns true for such a folder.
bool refuseUnstorableFolder(Prompts& prompts, QWidget* parent, const QString& folder);

class TFrmSRFolderChar : public QDialog {
    Q_OBJECT
public:
    explicit TFrmSRFolderChar(Prompts& prompts, QWidget* parent = nullptr);

    // The entry's key cannot change; OK is enabled at once when the folder exists.
    void setEditMode(const QString& character, const QString& folder);
    // One new character, typed by the user; both fields start empty.
    void setAddMode();

    QString character() const;
    QString folder() const;

private:
    QFrame* PanelMain;
    QFrame* Panel1;
    QLabel* LabelChar;
    QLineEdit* EditCharacter;
    QLabel* LabelFolder;
    QLineEdit* EditFolder;
    QPushButton* BitBtnFolder;
    QFrame* Panel2;
    QPushButton* BitBtnOk;
    QPushButton* BitBtnCancel;

    void EditChange();
    void BitBtnFolderClick();

    Prompts& ask;
};

} // namespace sortello
