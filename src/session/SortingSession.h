// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SortingSession: the work of one sorting run, without a window. It holds the
// source folder and its listing, the folder characters, the current entry and
// the files moved, and runs the file commands: replace the existing file,
// remove the new one, move under a chosen name, the two batch moves, removing
// the new files that are byte for byte their namesakes, and re-reading the
// list. Each command hands back an outcome that the window
// turns into boxes and list changes; the one question a command asks (the
// name to move under) goes through Prompts.
#include "base/Prompts.h"
#include "fileops/FileSystem.h"
#include "fileops/FolderListing.h"
#include "session/UndoHistory.h"
#include "settings/FolderChars.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

class QWidget;

namespace sortello {

// A box for the user, in the order the command met it.
struct SessionNotice {
    enum class Kind {
        ApplicationError, // the application's error box
        Error,            // an operation's error box, with `button`
        Information,      // a batch's summary
    };
    Kind kind = Kind::ApplicationError;
    QString text;
    MessageButton button = MessageButton::Ok;
};

// A name added to the files moved, at its row in the sorted list.
struct MovedName {
    int row = 0;
    QString name;
};

struct SessionOutcome {
    QList<int> removedRows;       // entries that left the listing, ascending
    std::vector<MovedName> moved; // in the order they were added
    bool relisted = false;        // the listing was read anew
    bool advanced = false;        // the current entry left; the next one is current
    bool batch = false;           // a batch ran over the listing
    // An undo brought files back: the listing is shown anew and the session's
    // current entry, the last file back, is current.
    bool restored = false;
    QList<int> unmovedRows; // rows that left the files moved, in the order they left
    std::vector<SessionNotice> notices;
};

// The text for an entry whose name is no valid text on this system.
QString unusableNameMessage(const QString& name);

class SortingSession {
public:
    explicit SortingSession(Prompts& prompts);

    // The window the save dialog belongs to; nothing else is done with it.
    void setDialogParent(QWidget* parent) { dialogParent = parent; }

    const QString& sourceFolder() const { return source; }
    void setSourceFolder(const QString& folder) { source = folder; }
    FolderChars& folderChars() { return chars; }
    const FolderChars& folderChars() const { return chars; }

    // ---- The listing ----
    // Whether PNG, WebP, TIFF, HEIC and AVIF files are listed (and offered by
    // the save dialog) besides the default patterns; read at the next listing.
    bool listsModernFormats() const { return modernFormats; }
    void setListModernFormats(bool on) { modernFormats = on; }
    // Lists the source folder; one that cannot be listed leaves the listing as
    // it was, which before the first listing is the working directory. True
    // when the listing was read anew.
    bool listSourceFolder();
    // The folder listed, ending in a separator; empty before the first listing.
    const QString& listedFolder() const { return folder; }
    const std::vector<ListedFile>& files() const { return entries; }
    int count() const { return static_cast<int>(entries.size()); }
    QString pathOf(int row) const;
    // Where a file of this name goes, relative folders taken from the listed one.
    QString destinationOf(const QString& name) const;

    // ---- The current entry: -1 for none ----
    int current() const { return currentRow; }
    void setCurrent(int row) { currentRow = row >= 0 && row < count() ? row : -1; }

    // ---- The files moved, sorted ignoring case ----
    const QStringList& filesMoved() const { return movedNames; }
    // Adds a bare file name; returns its row.
    int addFileMoved(const QString& name);

    // ---- File commands ----
    SessionOutcome updateFileList();
    SessionOutcome replaceExisting();
    SessionOutcome removeNew();
    SessionOutcome moveAs();
    SessionOutcome autoMoveMultipleAs(const QList<int>& selectedRows);
    SessionOutcome moveNonExisting();
    SessionOutcome removeIdentical();
    // A batch is running; it lets the window repaint meanwhile, and no other
    // command may start until it ends.
    bool batchRunning() const { return inBatch; }

    // ---- Taking commands back ----
    // Whether Remove new and Replace existing put the file they remove into
    // the trash rather than delete it for good.
    void setDeletedToTrash(bool on) { toTrash = on; }
    bool deletedToTrash() const { return toTrash; }
    bool canUndo() const { return history.canUndo(); }
    QString undoText() const { return history.menuText(); }
    // Takes back the last file command not yet taken back: each file returns
    // where it was, in the reverse order, never over another file and never a
    // file that changed since; the first that cannot return stops it, and what
    // is left of the step can be tried again.
    SessionOutcome undo();

private:
    ListingResult list(const QString& newFolder);
    bool currentIsActionable(SessionOutcome& outcome) const;
    void noteMoved(SessionOutcome& outcome, const QString& name);
    void removeCurrentAndAdvance(SessionOutcome& outcome);
    void removeRows(SessionOutcome& outcome, const QList<int>& rows);
    void summarise(SessionOutcome& outcome, const QString& leftBehind) const;
    // Moves the file to `to`, onto the file there when there is one, which
    // goes to the trash or for good; recorded for undo.
    FileResult moveOnto(const QString& from, const QString& to);
    // Deletes the file, or puts it into the trash; recorded for undo. The one
    // way a new file is removed, by Remove new and Remove identical.
    FileResult remove(const QString& path);
    QString undoAction(const UndoAction& action);
    void cameBack(SessionOutcome& outcome, const UndoAction& action);
    std::unique_ptr<BatchProgress> progress(const char* label, int total);

    Prompts& ask;
    QWidget* dialogParent = nullptr;
    QString source;
    bool modernFormats = false;
    FolderChars chars;
    QString folder;
    std::vector<ListedFile> entries;
    int currentRow = -1;
    QStringList movedNames;
    UndoHistory history;
    bool toTrash = false;
    // The save dialog keeps the path and the file type it returned last.
    QString saveDialogFileName;
    QString saveDialogFilter;
    bool inBatch = false;
};

} // namespace sortello
