// SPDX-License-Identifier: GPL-3.0-or-later
// The sorting session's listing, current entry, files moved and file
// commands. Every move goes through moveFile, which never replaces a file, or,
// where the user chose to replace one, replaceFile, which swaps the new file in
// so that a failure leaves both files as they were.
#include "session/SortingSession.h"
#include "session/SessionTexts.h"

#include "base/Misc.h"
#include "fileops/FileSystem.h"
#include "fileops/NumberedNames.h"
#include "fileops/SameBytes.h"
#include "fileops/Trash.h"
#include "pictures/DecodeAhead.h"

#include <QDir>
#include <QFile>
#include <QScopedValueRollback>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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
// replaced file had to go before the move that then failed, or where the
// replaced file went to the trash and could not come back from it.
QString destinationDeletedNote(const FileResult& failedMove, bool toTrash) {
    if (!failedMove.targetRemoved)
        return QString();
    return toTrash ? QStringLiteral("\rNote! Destination file IS in the trash.")
                   : QStringLiteral("\rNote! Destination file IS deleted.");
}

// A file that was to go to the trash and did not: it has not been deleted either.
QString trashRefusal(const QString& path, const FileResult& failure) {
    return QStringLiteral("Unable to move the file to the trash :\r") + path +
           (failure.noTrash
                ? QStringLiteral(
                      "\rThere is no trash on its file system; nothing has been deleted.")
                : reasonLine(failure));
}

const QStringList SavePictureFilters{
    QStringLiteral("All image files (*.jpg *.jpeg *.bmp *.ico *.emf *.wmf)"),
    QStringLiteral("JPEG Image File (*.jpg *.jpeg)"),
    QStringLiteral("Bitmaps (*.bmp)"),
    QStringLiteral("Icons (*.ico)"),
    QStringLiteral("Enhanced Metafiles (*.emf)"),
    QStringLiteral("Metafiles (*.wmf)"),
    QStringLiteral("All files (*)"),
};

// The save dialog's types when the modern formats are listed too: each of
// them, and all of them among the image files.
QStringList savePictureFilters(bool listModernFormats) {
    if (!listModernFormats)
        return SavePictureFilters;
    QStringList filters = SavePictureFilters;
    filters.first().replace(QStringLiteral(")"),
                            QStringLiteral(" *.png *.webp *.tif *.tiff *.heic *.heif *.avif)"));
    const QString added[] = {QStringLiteral("PNG Image File (*.png)"),
                             QStringLiteral("WebP Image File (*.webp)"),
                             QStringLiteral("TIFF Image File (*.tif *.tiff)"),
                             QStringLiteral("HEIF Image File (*.heic *.heif)"),
                             QStringLiteral("AVIF Image File (*.avif)")};
    for (const QString& filter : added)
        filters.insert(filters.size() - 1, filter);
    return filters;
}

} // namespace

QString reasonLine(const FileResult& failure) {
    return failure.error != 0 ? QStringLiteral("\r") + failure.message() : QString();
}

QString unusableNameMessage(const QString& name) {
    return QStringLiteral("The name of the file \"%1\" is not valid text on this system and "
                          "cannot be used; rename it in a file manager first")
        .arg(name);
}

SortingSession::SortingSession(Prompts& prompts) : ask(prompts) {}

ListingResult SortingSession::list(const QString& typed) {
    // A relative folder is taken from the folder listed before it; the
    // session keeps it whole, so that its paths name the files wherever the
    // working directory is.
    const QString newFolder =
        QDir::isRelativePath(typed) ? withTrailingSeparator(QDir(typed).absolutePath()) : typed;
    ListingResult listing = listPictureFiles(newFolder, picturePatterns(modernFormats));
    if (!listing.ok)
        return listing;
    // The listed folder is the working directory: relative folders the user
    // types in the setup dialogs, and a relative source folder, are taken
    // from it.
    if (::chdir(QFile::encodeName(newFolder).constData()) != 0) {
        listing.ok = false;
        listing.error = errno;
        listing.errorText = QString::fromLocal8Bit(strerror(errno));
        return listing;
    }
    folder = withTrailingSeparator(newFolder);
    entries = std::move(listing.files);
    listing.files.clear();
    currentRow = -1;
    return listing;
}

bool SortingSession::listSourceFolder() {
    if (list(source).ok)
        return true;
    return folder.isEmpty() && list(QDir::currentPath()).ok;
}

QString SortingSession::pathOf(int row) const {
    return joinPath(folder, entries[row].name);
}

QString SortingSession::destinationOf(const QString& name) const {
    const QString destination = chars.DestinationPath(name);
    if (destination.startsWith(PathSeparator))
        return destination;
    return joinPath(folder, destination);
}

int SortingSession::addFileMoved(const QString& name) {
    // A binary search keeps a batch of thousands of moves from re-sorting.
    const auto at = std::upper_bound(movedNames.begin(), movedNames.end(), name,
                                     [](const QString& a, const QString& b) {
                                         return QString::compare(a, b, Qt::CaseInsensitive) < 0;
                                     });
    const int row = static_cast<int>(at - movedNames.begin());
    movedNames.insert(at, name);
    return row;
}

void SortingSession::noteMoved(SessionOutcome& outcome, const QString& name) {
    outcome.moved.push_back({addFileMoved(name), name});
}

// A current entry whose name cannot be represented is reported and refused.
bool SortingSession::currentIsActionable(SessionOutcome& outcome) const {
    if (currentRow < 0)
        return false;
    if (!entries[currentRow].representable) {
        outcome.notices.push_back(
            {SessionNotice::Kind::ApplicationError, unusableNameMessage(entries[currentRow].name)});
        return false;
    }
    return true;
}

void SortingSession::removeCurrentAndAdvance(SessionOutcome& outcome) {
    const int i = currentRow;
    entries.erase(entries.begin() + i);
    outcome.removedRows = {i};
    outcome.advanced = true;
    history.commit();
    const int n = count();
    currentRow = n >= i + 1 ? i : n - 1;
}

void SortingSession::removeRows(SessionOutcome& outcome, const QList<int>& rows) {
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    int shift = 0;
    for (const int row : sorted)
        if (row < currentRow)
            ++shift;
        else if (row == currentRow)
            currentRow = -1;
    if (currentRow >= 0)
        currentRow -= shift;
    for (auto it = sorted.crbegin(); it != sorted.crend(); ++it)
        entries.erase(entries.begin() + *it);
    outcome.removedRows = sorted;
    history.commit();
}

FileResult SortingSession::moveOnto(const QString& from, const QString& to) {
    if (!fileExists(to)) {
        const FileResult moved = moveFile(from, to);
        if (moved)
            history.moved(from, to);
        return moved;
    }
    TrashedFile trashed;
    const FileResult moved = toTrash ? replaceIntoTrash(from, to, trashed) : replaceFile(from, to);
    if (moved && !toTrash)
        history.replaced(from, to, nullptr);
    else if (moved && trashed.path.isEmpty()) // the file there went meanwhile
        history.moved(from, to);
    else if (moved)
        history.replaced(from, to, &trashed);
    return moved;
}

FileResult SortingSession::remove(const QString& path) {
    if (!toTrash) {
        const FileResult deleted = deleteFile(path);
        if (deleted)
            history.removed(path, nullptr);
        return deleted;
    }
    TrashedFile trashed;
    const FileResult binned = moveToTrash(path, trashed);
    if (binned)
        history.removed(path, &trashed);
    return binned;
}

SessionOutcome SortingSession::updateFileList() {
    BusyCursor busy;
    SessionOutcome outcome;
    const ListingResult listing = list(source);
    if (!listing.ok)
        outcome.notices.push_back(
            {SessionNotice::Kind::ApplicationError,
             QStringLiteral("Cannot read the folder \"%1\": %2").arg(source, listing.errorText)});
    else
        outcome.relisted = true;
    return outcome;
}

SessionOutcome SortingSession::replaceExisting() {
    SessionOutcome outcome;
    if (!currentIsActionable(outcome))
        return outcome;
    BusyCursor busy;
    const QString path = pathOf(currentRow);
    const QString destination = destinationOf(entries[currentRow].name);
    const auto refuse = [&outcome](const QString& text) {
        outcome.notices.push_back({SessionNotice::Kind::Error, text, MessageButton::Cancel});
        return outcome;
    };
    if (sameFile(path, destination))
        return refuse(QStringLiteral("The file is already in its destination folder:\r") + path);
    const FileResult moved = moveOnto(path, destination);
    if (moved.noTrash)
        return refuse(trashRefusal(destination, moved));
    if (moved.targetUndeletable)
        return refuse(QStringLiteral("Unable to delete destination file :\r") + destination +
                      reasonLine(moved));
    if (!moved)
        return refuse(QStringLiteral("Unable to rename the file:\r") + path + reasonLine(moved) +
                      destinationDeletedNote(moved, toTrash));
    noteMoved(outcome, namePart(destination));
    removeCurrentAndAdvance(outcome);
    return outcome;
}

SessionOutcome SortingSession::removeNew() {
    SessionOutcome outcome;
    if (!currentIsActionable(outcome))
        return outcome;
    BusyCursor busy;
    const QString path = pathOf(currentRow);
    if (const FileResult deleted = remove(path); !deleted) {
        outcome.notices.push_back(
            {SessionNotice::Kind::Error,
             toTrash ? trashRefusal(path, deleted)
                     : QStringLiteral("Unable to delete the file :\r") + path + reasonLine(deleted),
             MessageButton::Ok});
        return outcome;
    }
    removeCurrentAndAdvance(outcome);
    return outcome;
}

SessionOutcome SortingSession::moveAs() {
    SessionOutcome outcome;
    if (!currentIsActionable(outcome))
        return outcome;
    std::optional<BusyCursor> busy(std::in_place);
    const QString path = pathOf(currentRow);
    const QString name = entries[currentRow].name;
    SavePictureRequest request;
    request.title = QStringLiteral("Save ") + name + QStringLiteral(" as");
    request.initialFolder = chars.DestinationFolder(name);
    request.fileName = saveDialogFileName.isEmpty() ? name : saveDialogFileName;
    request.defaultSuffix = extensionOf(name).mid(1);
    request.filters = savePictureFilters(modernFormats);
    request.selectedFilter = saveDialogFilter.isEmpty() ? SavePictureFilters[1] : saveDialogFilter;
    busy.reset();
    const std::optional<QString> chosen = ask.savePicture(dialogParent, request);
    if (!chosen)
        return outcome;
    busy.emplace();
    saveDialogFileName = *chosen;
    saveDialogFilter = request.selectedFilter;

    const auto refuse = [&outcome](const QString& text) {
        outcome.notices.push_back({SessionNotice::Kind::Error, text, MessageButton::Cancel});
        return outcome;
    };
    if (asciiUpper(extensionOf(name)) != asciiUpper(extensionOf(*chosen)))
        return refuse(QStringLiteral("Changing extension is not allowed !\rUnable to proceed."));
    // The dialog answers with a full path; a relative destination folder is
    // taken from the source folder, as the moves take it.
    if (QDir::cleanPath(folderPart(destinationOf(name))) != QDir::cleanPath(folderPart(*chosen)))
        return refuse(QStringLiteral("Changing path is not allowed !\rUnable to proceed."));
    const QString chosenName = namePart(*chosen);
    if (chosenName.isEmpty() || asciiUpper(name.left(1)) != asciiUpper(chosenName.left(1)))
        return refuse(QStringLiteral("Changing first letter is not allowed !\rUnable to proceed."));
    if (sameFile(path, *chosen))
        return refuse(QStringLiteral("The file already has this name and place:\r") + path);
    const FileResult moved = moveOnto(path, *chosen);
    if (moved.noTrash)
        return refuse(trashRefusal(*chosen, moved));
    if (moved.targetUndeletable)
        return refuse(QStringLiteral("Unable to delete the file :\r") + *chosen +
                      reasonLine(moved));
    if (!moved)
        return refuse(QStringLiteral("Unable to rename/move the file:\r") + path +
                      reasonLine(moved) + destinationDeletedNote(moved, toTrash));
    noteMoved(outcome, chosenName);
    removeCurrentAndAdvance(outcome);
    return outcome;
}

} // namespace sortello
