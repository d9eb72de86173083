// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TFrmSRFolderChar, the folder-character editor: one character and the folder
// that pictures whose names begin with it are moved to. The setup dialog sets
// its mode, runs it and reads both fields back after OK; the editor itself
// changes no list and no file.
//
// Also here: the placement both settings dialogs share. Their controls sit where
// they were drawn and keep their distance to the edges they are pinned to.
#include <QDialog>
#include <QPointer>
#include <QRect>
#include <vector>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sortello {

class Prompts;

// The window sizes the settings dialogs were drawn for include the frame of a
// sizeable tool window at 96 dpi: 4-pixel borders and a 19-pixel caption. Qt
// sizes the client area and leaves the frame to the window manager.
inline constexpr QSize ToolWindowFrame{8, 27};

enum Pin { PinLeft = 0x1, PinTop = 0x2, PinRight = 0x4, PinBottom = 0x8 };

class PinnedPlacement : public QObject {
public:
    // `designSize` is the container's size the places were drawn at.
    PinnedPlacement(QWidget* container, QSize designSize);

    // Pinned to two opposite edges a control grows with the container; to one
    // edge it moves with that edge.
    void place(QWidget* control, const QRect& designed, int pins = PinLeft | PinTop);
    // A label keeps its own size at the designed corner.
    void place(QLabel* label, QPoint designed);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Placed {
        QPointer<QWidget> control;
        QRect designed;
        int pins;
    };

    void arrange(const Placed& placed) const;

    QWidget* container;
    QSize design;
    std::vector<Placed> controls;
};

// The frames the dialogs are built of: a lowered panel holding raised ones.
QFrame* makePanel(const char* name, QWidget* parent, bool lowered);
QPushButton* makeButton(const char* name, const QString& caption, QWidget* parent,
                        bool handCursor = true);

// A folder whose name holds a line break cannot be a value of the settings
// file: shows an error box and returns true for such a folder.
bool refuseUnstorableFolder(Prompts& prompts, QWidget* parent, const QString& folder);

class TFrmSRFolderChar : public QDialog {
    Q_OBJECT
public:
    explicit TFrmSRFolderChar(Prompts& prompts, QWidget* parent = nullptr);

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

    // The entry's key cannot change; OK is enabled at once when the folder exists.
    void setEditMode(const QString& character, const QString& folder);
    // One new character, typed by the user; both fields start empty.
    void setAddMode();

    QString character() const;
    QString folder() const;

    void EditChange();
    void BitBtnFolderClick();

private:
    Prompts& ask;
};

} // namespace sortello
