// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's file commands: each one points the session at the list's
// current entry or selection, lets it do the work, and shows what came of it
// in the file list, the list of files moved and the boxes.
#include "windows/SRMain.h"

#include "pictures/DecodeAhead.h"

#include "base/Prompts.h"
#include "widgets/FileListBox.h"

#include <QAction>
#include <QListWidget>

namespace sortello {

void TFrmSRMain::runFileCommand(Command command) {
    switch (command) {
    case Command::UpdateFileList:
        SRFUpdateFileListClick();
        break;
    case Command::ReplaceExisting:
        SRFReplaceExistingClick();
        break;
    case Command::RemoveNew:
        SRFRemoveNewClick();
        break;
    case Command::MoveAs:
        SRFMoveAsClick();
        break;
    case Command::AutoMoveMultipleAs:
        SRFAutoMoveMultipleAsClick();
        break;
    case Command::MoveNonExisting:
        SRFMoveNonExistingClick();
        break;
    case Command::RemoveIdentical:
        SRFRemoveIdenticalClick();
        break;
    default:
        break;
    }
}

// The current file is the list's focused entry while it is also selected; a
// selection changed by Ctrl+click tells the list nothing, so the session is
// told again before every command.
void TFrmSRMain::pointSessionAtCurrent() {
    work.setCurrent(FileListBox->currentFileRow());
}

void TFrmSRMain::SRFUpdateFileListClick() {
    applyOutcome(work.updateFileList());
}

void TFrmSRMain::SRFReplaceExistingClick() {
    pointSessionAtCurrent();
    applyOutcome(work.replaceExisting());
}

void TFrmSRMain::SRFRemoveNewClick() {
    pointSessionAtCurrent();
    applyOutcome(work.removeNew());
}

void TFrmSRMain::SRFMoveAsClick() {
    pointSessionAtCurrent();
    applyOutcome(work.moveAs());
}

void TFrmSRMain::SRFAutoMoveMultipleAsClick() {
    applyOutcome(work.autoMoveMultipleAs(FileListBox->selectedRows()));
}

void TFrmSRMain::SRFMoveNonExistingClick() {
    applyOutcome(work.moveNonExisting());
}

void TFrmSRMain::SRFUndoClick() {
    applyOutcome(work.undo());
}

void TFrmSRMain::SRFRemoveIdenticalClick() {
    applyOutcome(work.removeIdentical());
}

void TFrmSRMain::showListing() {
    FileListBox->showFiles(work.files());
}

void TFrmSRMain::showFilesMovedByCount() {
    const bool any = ListBoxFilesMoved->count() > 0;
    ListBoxFilesMoved->setVisible(any);
    menuItem("SRFShowFilesMoved")->setChecked(any);
}

void TFrmSRMain::applyOutcome(const SessionOutcome& outcome) {
    // The files a command moved, replaced or removed are no longer the ones
    // decoded ahead; the others keep their pictures.
    ahead->forgetChanged();
    {
        const QSignalBlocker quiet(ListBoxFilesMoved);
        for (const MovedName& moved : outcome.moved) {
            ListBoxFilesMoved->insertItem(moved.row, moved.name);
            // Numbered names are long for the narrow list; the full name is a
            // hover away.
            ListBoxFilesMoved->item(moved.row)->setToolTip(moved.name);
        }
        for (const int row : outcome.unmovedRows)
            delete ListBoxFilesMoved->takeItem(row);
    }
    if (outcome.relisted) {
        showListing();
        FileListBox->clearSelection();
    }
    if (outcome.advanced) {
        FileListBox->removeRow(outcome.removedRows.front());
        if (work.current() >= 0) {
            FileListBox->focusAndSelect(work.current());
            FileListBoxClick();
        }
    } else if (!outcome.removedRows.isEmpty()) {
        FileListBox->removeRows(outcome.removedRows);
    }
    if (outcome.restored) {
        // Files came back in their sorted places; the last one back is current.
        showListing();
        FileListBox->focusAndSelect(work.current());
        if (work.current() >= 0)
            FileListBoxClick();
    }
    if (outcome.batch)
        showFilesMovedByCount();
    updateUndoItem();
    for (const SessionNotice& notice : outcome.notices) {
        switch (notice.kind) {
        case SessionNotice::Kind::ApplicationError:
            showError(notice.text);
            break;
        case SessionNotice::Kind::Error:
            showErrorBox(ask, this, notice.text, notice.button);
            break;
        case SessionNotice::Kind::Information:
            ask.message(this, QStringLiteral("Information"), notice.text, MessageIcon::Information,
                        MessageButton::Ok);
            break;
        }
    }
}

} // namespace sortello
