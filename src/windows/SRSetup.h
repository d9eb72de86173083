// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TFrmSRSetup, the setup dialog: the source folder, the folder characters and
// the shortcuts of the commands. It fills itself from the settings file, not
// from the main window, and writes the file when confirmed; the main window
// then takes the values from result() without reading the file again.
#include "settings/SettingsTables.h"
#include "settings/ShortCutCode.h"

#include <QDialog>
#include <QStringList>
#include <array>
#include <optional>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace sortello {

class KeyCaptureEdit;
class PinnedPlacement;
class Prompts;

struct SetupResult {
    QString sourceFolder;
    // In the list's order, which is the order "Chars" is written in.
    QStringList folderChars;
    // The codes of the first SetupShortcutCount entries of ShortcutSettings.
    std::array<ShortCutCode, SetupShortcutCount> codes;
    bool deletedToTrash = false;
    // PNG, WebP, TIFF, HEIC and AVIF files are listed too.
    bool listModernFormats = ListModernFormatsByDefault;
};

// Whether a row of the shortcut list is a heading, which carries no code.
bool isShortcutHeadingRow(int row);

// The "Diverse" folder the dialog gives when the file has none.
QString setupDiverseDefault();

class TFrmSRSetup : public QDialog {
    Q_OBJECT
public:
    // Creating the dialog fills it from the settings file.
    TFrmSRSetup(Prompts& prompts, QString settingsPath, QWidget* parent = nullptr);

    // The values the dialog holds now. Hides QDialog::result(), the exit code.
    SetupResult result() const;

private:
    QFrame* PanelMain;
    QFrame* PanelControls;
    QLabel* LabelFolderSource;
    QLineEdit* EditFolderSource;
    QPushButton* BitBtnFolderSource;
    QLabel* LabelFolderChars;
    QListWidget* ListBoxFolderChars;
    QPushButton* BitBtnEdit;
    QPushButton* BitBtnAdd;
    QPushButton* BitBtnRemove;
    QFrame* PanelShortcuts;
    QLabel* LabelShortcuts;
    QTableWidget* ValueListEditorShortCuts;
    KeyCaptureEdit* HotKeyShortcut;
    QPushButton* BitBtnShortCutUpdate;
    QFrame* PanelButtons;
    QPushButton* BitBtnOk;
    QPushButton* BitBtnRestore;
    QPushButton* BitBtnCancel;
    QCheckBox* CheckBoxTrash;
    QCheckBox* CheckBoxListModernFormats;

    // The code attached to a row of the shortcut list (0 for headings).
    ShortCutCode rowCode(int row) const;
    QStringList folderCharLines() const;

    void LoadSetup();
    // False, with a box and nothing written, when a value cannot be stored in
    // the settings file; a write the system refuses is shown and counts as saved.
    bool SaveSetup();

    void BitBtnFolderSourceClick();
    void BitBtnEditClick();
    void BitBtnAddClick();
    void BitBtnRemoveClick();
    void ValueListEditorShortCutsClick();
    void BitBtnShortCutUpdateClick();
    void BitBtnOkClick();
    void BitBtnRestoreClick();

    void buildControls();
    void buildFolderControls(PinnedPlacement& main);
    void buildButtons(PinnedPlacement& main);
    void buildOptionBoxes(PinnedPlacement& buttons);
    void chainAndConnect();
    void buildShortcutList(QWidget* panel);
    void showRow(int row);
    void setFolderOf(const QString& key, const QString& folder);
    void giveDiverseItsDefault();
    int selectedLine() const;

    Prompts& ask;
    QString iniPath;
    std::array<ShortCutCode, SetupShortcutRows> rowCodes{};
    // The row the capture field was last set for.
    int shownRow = -1;
};

// Runs the setup dialog modally through prompts.runModal. Returns the dialog's
// values when it was confirmed with OK (also when the save failed: then the
// "Unable to write to %s" error has been shown with showApplicationError and
// the dialog still counts as confirmed), nothing when cancelled.
std::optional<SetupResult> runSetupDialog(QWidget* owner, Prompts& prompts,
                                          const QString& settingsPath);

} // namespace sortello
