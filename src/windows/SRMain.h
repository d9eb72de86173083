// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TFrmSRMain, the sorting workspace: the file list with the list of files moved
// on the left, the comparison grid and the two picture panes on the right, and
// one context menu for every command. It is a view of a SortingSession, which
// holds the source folder, its listing and the files moved and runs the file
// commands; the window keeps the viewer's remembered options and the shortcut
// codes for the whole run. The settings file is read once while it is built
// and its own sections are written back when it closes.
#include "session/SortingSession.h"
#include "settings/Commands.h"
#include "settings/ShortCutCode.h"
#include "widgets/Placement.h"

#include <QSet>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QListWidget;
class QMenu;
class QSplitter;
class QFrame;

namespace sortello {

class ComparisonGrid;
class FileListBox;
class PictureBox;
class Prompts;
class DecodeAhead;
struct DecodedPicture;

class TFrmSRMain : public QWidget {
    Q_OBJECT
public:
    // The window's width when it opens: room for the file list and the seven
    // columns of the comparison grid.
    static constexpr int OpeningWidth = 620;

    TFrmSRMain(Prompts& prompts, QString settingsPath, QWidget* parent = nullptr);
    ~TFrmSRMain() override;

    // What the window shows: the run's folder, listing and files moved.
    const SortingSession& session() const { return work; }
    // Blocks until the pictures asked for ahead of the next keys are decoded;
    // for tests and measurements.
    void waitForDecodesAhead();
    // The most memory the pictures decoded ahead have held at once, in bytes.
    qint64 decodedAheadPeakBytes() const;
    // Whether the panes still wait for the current entry's pictures.
    bool pairPending() const;
    // Sees the path of each decode a worker starts, on that worker's thread;
    // for tests and measurements.
    void watchDecodeStarts(std::function<void(const QString& path)> watcher);

    // ---- Second start ----
    void bringForward();
    void receiveParameters(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // ---- Controls, named as everywhere else in the program ----
    sortello::FileListBox* FileListBox;
    QListWidget* ListBoxFilesMoved;
    QSplitter* SplitterFilesImages;
    QWidget* PanelImages;
    QFrame* Panel5;
    ComparisonGrid* StringGrid1;
    QSplitter* SplitterNewExisting;
    QFrame* PanelNewImage;
    PictureBox* ImageNew;
    QFrame* PanelExistingImage;
    PictureBox* ImageExisting;
    QMenu* PopupMenuAll;

    // ---- State owned for the whole run ----
    DisplayOptions PreviewOptions;
    ShortCutCode ShowAboutShortCut = 0;
    ShortCutCode ShowNewShortCut = 0;
    QString ExistingFileName;

    // ---- Commands and menu ----
    QAction* menuItem(const char* name) const;
    ShortCutCode shortcutOf(const char* name) const;
    // Shows PopupMenuAll's items for a target as the visibility rule says.
    void prepareMenuFor(MenuTarget target);
    MenuTarget targetOf(QWidget* widget) const;

    // Runs the setup dialog and takes its values over at once when confirmed.
    void SRISetupClick();

    // ---- Layout ----
    void SRIBInverseSplitClick();

    // ---- Current file and comparison ----
    void FileListBoxClick();
    void awaitPair(int row);
    // Shows the awaited pair when none of its pictures is still coming.
    void showAwaitedPair();
    // Runs on this thread after a worker finished a picture.
    void pictureDecoded();
    // Waits for the awaited pair's pictures and shows them, for what needs
    // the pictures of the entry the user sees selected.
    void settleAwaitedPair();
    void showPair(int row, const QString& existingPath, bool hasExisting);
    // Asks the workers for the row's pair, then the pictures the next keys
    // will show around it.
    void decodeAround(int row);

    // ---- File commands ----
    void SRFUpdateFileListClick();
    void SRFReplaceExistingClick();
    void SRFRemoveNewClick();
    void SRFMoveAsClick();
    void SRFAutoMoveMultipleAsClick();
    void SRFMoveNonExistingClick();
    // Takes back the last file command; Ctrl+Z unless a command has that key.
    void SRFUndoClick();
    void updateUndoItem();
    bool undoKeyIsFree() const;
    QAction* SRFUndo = nullptr;
    void SRFRemoveIdenticalClick();

    QWidget* PanelFiles;
    QSplitter* SplitterFilesMoved;
    ShortCutCode ShowExistingShortCut = 0;

    // Binds a code to a menu item or one of the window-level bindings by the
    // settings key; SRIShowAbout only when `includeAbout`.
    void applyShortcut(const char* key, ShortCutCode code, bool includeAbout = true);
    void runCommand(Command command);
    // The key handling of the window: menu shortcuts, then the bindings.
    bool handleShortcut(ShortCutCode code);
    bool wouldHandle(ShortCutCode code) const;
    // The viewer on the picture a control shows, and the about box.
    void ImageClick(PictureBox* image);
    void showAbout();
    void ListBoxFilesMovedClick();

    void buildLayout();
    void buildFilePane();
    void buildPictureArea();
    void buildPicturePanes();
    void connectControls();
    void buildMenu();
    void loadSettings();
    void saveSettings();
    void applyOption(Command command, bool on);
    void runFileCommand(Command command);
    // Takes the list's current entry over as the session's.
    void pointSessionAtCurrent();
    // Turns what a file command did into list changes and boxes.
    void applyOutcome(const SessionOutcome& outcome);
    void showListing();
    void showFilesMovedByCount();
    void showError(const QString& message);

    Prompts& ask;
    QString iniPath;
    SortingSession work;
    std::unique_ptr<DecodeAhead> ahead;
    // The path of the entry whose pair the panes wait for, or empty.
    QString awaited;
    std::array<QAction*, PopupMenuItems.size()> items{};
    std::array<ShortCutCode, PopupMenuItems.size()> codes{};
    void splitPanesEvenly();

    bool sideBySide = false;
    bool splitWhenShown = false;
    bool saved = false;
    // Entries whose unusable names have been reported, so that arrowing over
    // them does not raise the same box again.
    QSet<QByteArray> toldUnusable;
    // A press on the files-moved list's selected entry changes no selection,
    // yet picking it again must show it again.
    bool movedPickPending = false;
};

} // namespace sortello
