// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's file commands: replace the existing file, remove the new
// one, move under a chosen name, the two batch moves and re-reading the list.
// Every move goes through moveFile, which never replaces a file, or, where the
// user chose to replace one, replaceFile, which swaps the new file in so that a
// failure leaves both files as they were.
#include "windows/SRMain.h"

#include "base/Misc.h"
#include "base/Prompts.h"
#include "fileops/FileSystem.h"
#include "fileops/NumberedNames.h"
#include "widgets/FileListBox.h"

#include <QAction>
#include <QFile>
#include <QListWidget>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace sortello {

namespace {

// True when both paths name one and the same file, for instance when the
// source folder is also the destination folder: deleting the "existing" file
// would then delete the only copy.
bool sameFile(const QString& a, const QString& b) {
    struct stat first;
    struct stat second;
    if (::lstat(QFile::encodeName(a).constData(), &first) != 0 ||
        ::lstat(QFile::encodeName(b).constData(), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Said only where the file system could not swap the two files, so the
// replaced file had to go before the move that then failed.
QString destinationDeletedNote(const FileResult& failedMove) {
    return failedMove.targetRemoved ? QStringLiteral("\rNote! Destination file IS deleted.")
                                    : QString();
}

// The system's own words for a failure, such as "No space left on device", on
// a line of their own.
QString reasonLine(const FileResult& failure) {
    return failure.error != 0 ? QStringLiteral("\r") + failure.message() : QString();
}

QString files(int count) {
    return count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
}

// What a batch run leaves in the source folder and why, for its summary.
class LeftBehind {
public:
    void failed(const FileResult& failure) {
        for (auto& [error, count] : byError)
            if (error == failure.error) {
                ++count;
                return;
            }
        byError.emplace_back(failure.error, 1);
    }
    void unusableName() { ++unusableNames; }

    QString lines() const {
        QString text;
        for (const auto& [error, count] : byError)
            text += QStringLiteral("\r%1 left: %2").arg(files(count), qt_error_string(error));
        if (unusableNames == 1)
            text += QStringLiteral("\r1 file left because its name is not valid text");
        else if (unusableNames > 1)
            text += QStringLiteral("\r%1 left because their names are not valid text")
                        .arg(files(unusableNames));
        return text;
    }

private:
    std::vector<std::pair<int, int>> byError; // in the order first met
    int unusableNames = 0;
};

const QStringList SavePictureFilters{
    QStringLiteral("All image files (*.jpg *.jpeg *.bmp *.ico *.emf *.wmf)"),
    QStringLiteral("JPEG Image File (*.jpg *.jpeg)"),
    QStringLiteral("Bitmaps (*.bmp)"),
    QStringLiteral("Icons (*.ico)"),
    QStringLiteral("Enhanced Metafiles (*.emf)"),
    QStringLiteral("Metafiles (*.wmf)"),
    QStringLiteral("All files (*)"),
};

} // namespace

QString TFrmSRMain::destinationOf(const QString& name) const {
    const QString destination = chars.DestinationPath(name);
    // A relative folder in the table is taken relative to the listed folder.
    if (destination.startsWith(PathSeparator))
        return destination;
    return joinPath(FileListBox->directory(), destination);
}

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
    default:
        break;
    }
}

// The current file's row when it may be acted on; a name that cannot be
// represented is reported and refused.
int TFrmSRMain::actionableCurrentRow() {
    const int row = FileListBox->currentFileRow();
    if (row >= 0 && !FileListBox->item(row).representable) {
        showError(QStringLiteral("The name of the file \"%1\" is not valid text on this system "
                                 "and cannot be used; rename it in a file manager first")
                      .arg(FileListBox->itemText(row)));
        return -1;
    }
    return row;
}

void TFrmSRMain::SRFUpdateFileListClick() {
    BusyCursor busy;
    const ListingResult listing = FileListBox->setDirectory(SourceFolder);
    if (!listing.ok)
        showError(QStringLiteral("Cannot read the folder \"%1\": %2")
                      .arg(SourceFolder, listing.errorText));
    else
        FileListBox->clearSelection();
}

void TFrmSRMain::SRFReplaceExistingClick() {
    const int row = actionableCurrentRow();
    if (row < 0)
        return;
    BusyCursor busy;
    const QString path = pathOfRow(row);
    const QString destination = destinationOf(FileListBox->itemText(row));
    if (sameFile(path, destination)) {
        showErrorBox(ask, this,
                     QStringLiteral("The file is already in its destination folder:\r") + path,
                     MessageButton::Cancel);
        return;
    }
    const FileResult moved =
        fileExists(destination) ? replaceFile(path, destination) : moveFile(path, destination);
    if (moved.targetUndeletable) {
        showErrorBox(ask, this,
                     QStringLiteral("Unable to delete destination file :\r") + destination +
                         reasonLine(moved),
                     MessageButton::Cancel);
        return;
    }
    if (!moved) {
        showErrorBox(ask, this,
                     QStringLiteral("Unable to rename the file:\r") + path + reasonLine(moved) +
                         destinationDeletedNote(moved),
                     MessageButton::Cancel);
        return;
    }
    addFileMoved(namePart(destination));
    RemoveCurrentAndAdvance();
}

void TFrmSRMain::SRFRemoveNewClick() {
    const int row = actionableCurrentRow();
    if (row < 0)
        return;
    BusyCursor busy;
    const QString path = pathOfRow(row);
    if (const FileResult deleted = deleteFile(path); !deleted) {
        showErrorBox(ask, this,
                     QStringLiteral("Unable to delete the file :\r") + path + reasonLine(deleted),
                     MessageButton::Ok);
        return;
    }
    RemoveCurrentAndAdvance();
}

void TFrmSRMain::SRFMoveAsClick() {
    const int row = actionableCurrentRow();
    if (row < 0)
        return;
    std::optional<BusyCursor> busy(std::in_place);
    const QString path = pathOfRow(row);
    const QString name = FileListBox->itemText(row);
    SavePictureRequest request;
    request.title = QStringLiteral("Save ") + name + QStringLiteral(" as");
    request.initialFolder = chars.DestinationFolder(name);
    request.fileName = saveDialogFileName.isEmpty() ? name : saveDialogFileName;
    request.defaultSuffix = extensionOf(name).mid(1);
    request.filters = SavePictureFilters;
    request.selectedFilter = saveDialogFilter.isEmpty() ? SavePictureFilters[1] : saveDialogFilter;
    busy.reset();
    const std::optional<QString> chosen = ask.savePicture(this, request);
    if (!chosen)
        return;
    busy.emplace();
    saveDialogFileName = *chosen;
    saveDialogFilter = request.selectedFilter;

    const auto refuse = [this](const QString& text) {
        showErrorBox(ask, this, text, MessageButton::Cancel);
    };
    if (asciiUpper(extensionOf(name)) != asciiUpper(extensionOf(*chosen)))
        return refuse(QStringLiteral("Changing extension is not allowed !\rUnable to proceed."));
    if (folderPart(chars.DestinationPath(path)) != folderPart(*chosen))
        return refuse(QStringLiteral("Changing path is not allowed !\rUnable to proceed."));
    const QString chosenName = namePart(*chosen);
    if (chosenName.isEmpty() || asciiUpper(name.left(1)) != asciiUpper(chosenName.left(1)))
        return refuse(QStringLiteral("Changing first letter is not allowed !\rUnable to proceed."));
    if (sameFile(path, *chosen))
        return refuse(QStringLiteral("The file already has this name and place:\r") + path);
    const FileResult moved =
        fileExists(*chosen) ? replaceFile(path, *chosen) : moveFile(path, *chosen);
    if (moved.targetUndeletable)
        return refuse(QStringLiteral("Unable to delete the file :\r") + *chosen +
                      reasonLine(moved));
    if (!moved)
        return refuse(QStringLiteral("Unable to rename/move the file:\r") + path +
                      reasonLine(moved) + destinationDeletedNote(moved));
    addFileMoved(chosenName);
    RemoveCurrentAndAdvance();
}

void TFrmSRMain::showFilesMovedByCount() {
    const bool any = ListBoxFilesMoved->count() > 0;
    ListBoxFilesMoved->setVisible(any);
    menuItem("SRFShowFilesMoved")->setChecked(any);
}

void TFrmSRMain::reportRun(int before, const QString& leftBehind) {
    ask.message(this, QStringLiteral("Information"),
                QStringLiteral("Files moved/renamed : ") +
                    QString::number(ListBoxFilesMoved->count() - before) + leftBehind,
                MessageIcon::Information, MessageButton::Ok);
}

void TFrmSRMain::SRFAutoMoveMultipleAsClick() {
    const QList<int> selected = FileListBox->selectedRows();
    if (selected.isEmpty())
        return;
    std::optional<BusyCursor> busy(std::in_place);
    const int before = ListBoxFilesMoved->count();
    UsedNumbersCache numbers;
    QList<int> moved;
    LeftBehind left;
    for (auto it = selected.crbegin(); it != selected.crend(); ++it) {
        const int row = *it;
        if (!FileListBox->item(row).representable) {
            left.unusableName();
            continue;
        }
        const QString name = FileListBox->itemText(row);
        const QString source = pathOfRow(row);
        QString target = destinationOf(name);
        if (fileExists(target)) {
            const NumberedName split = SplitNumberedName(name);
            const QString folder = folderPart(target);
            const qint64 number =
                chooseNumber(numbers.usedNumbers(folder, split.stem, split.extension));
            target = folder + numberedName(split.stem, number, split.extension);
        }
        if (const FileResult r = moveFile(source, target); !r) {
            left.failed(r); // the entry stays selected; the summary counts it
            continue;
        }
        numbers.noteArrival(folderPart(target), namePart(target));
        addFileMoved(namePart(target));
        moved << row;
    }
    FileListBox->removeRows(moved);
    showFilesMovedByCount();
    reportRun(before, left.lines());
}

void TFrmSRMain::SRFMoveNonExistingClick() {
    if (FileListBox->count() == 0)
        return;
    std::optional<BusyCursor> busy(std::in_place);
    const int before = ListBoxFilesMoved->count();
    QList<int> moved;
    LeftBehind left;
    for (int row = FileListBox->count() - 1; row >= 0; --row) {
        if (!FileListBox->item(row).representable) {
            left.unusableName();
            continue;
        }
        const QString target = destinationOf(FileListBox->itemText(row));
        if (fileExists(target))
            continue;
        const QString source = pathOfRow(row);
        if (const FileResult r = moveFile(source, target); !r) {
            left.failed(r);
            showErrorBox(ask, this,
                         QStringLiteral("Unable to move/rename the file:\r") + source +
                             reasonLine(r),
                         MessageButton::Cancel);
            break;
        }
        addFileMoved(namePart(target));
        moved << row;
    }
    FileListBox->removeRows(moved);
    busy.reset();
    showFilesMovedByCount();
    reportRun(before, left.lines());
}

} // namespace sortello
