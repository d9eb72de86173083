// SPDX-License-Identifier: GPL-3.0-or-later
// Taking file commands back. Every file returns by moveFile, which never
// replaces a file, and only while it is exactly the file the command left;
// a file that comes back from the trash goes there by the same rule.
#include "session/SessionTexts.h"
#include "session/SortingSession.h"

#include "base/Misc.h"
#include "fileops/FileSystem.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>

namespace sortello {

namespace {

// Any name at all, a dangling link included, is one an undo must not move onto.
bool taken(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

QString trashedPathOf(const UndoAction& action) {
    return QFile::decodeName(action.trashed->path);
}

} // namespace

// The reason the action cannot be taken back, or nothing when it was.
QString SortingSession::undoAction(const UndoAction& action) {
    const bool removal = action.to.isEmpty();
    const QString now = removal ? trashedPathOf(action) : action.to;
    if (identityOf(now) != action.identity)
        return QStringLiteral("Unable to undo, the file has changed since:\r") + now;
    if (!removal && action.trashed && identityOf(trashedPathOf(action)) != action.trashedIdentity)
        return QStringLiteral("Unable to undo, the file in the trash has changed since:\r") +
               trashedPathOf(action);
    if (taken(action.from))
        return QStringLiteral("Unable to undo, another file has taken the name:\r") + action.from;
    if (removal) {
        if (const FileResult back = restoreFromTrash(*action.trashed); !back)
            return QStringLiteral("Unable to bring the file back from the trash:\r") + now +
                   reasonLine(back);
        return {};
    }
    if (const FileResult back = moveFile(action.to, action.from); !back)
        return QStringLiteral("Unable to move the file back:\r") + action.to + reasonLine(back);
    if (!action.trashed)
        return {};
    if (const FileResult back = restoreFromTrash(*action.trashed); !back) {
        // Both or neither: the new file takes its place again, so the step
        // can be tried once more.
        moveFile(action.from, action.to);
        return QStringLiteral("Unable to bring the file back from the trash:\r") +
               trashedPathOf(action) + reasonLine(back);
    }
    return {};
}

void SortingSession::cameBack(SessionOutcome& outcome, const UndoAction& action) {
    outcome.restored = true;
    if (!action.to.isEmpty()) {
        const int row = static_cast<int>(movedNames.lastIndexOf(namePart(action.to)));
        if (row >= 0) {
            movedNames.removeAt(row);
            outcome.unmovedRows << row;
        }
    }
    if (QDir::cleanPath(folderPart(action.from)) != QDir::cleanPath(folder))
        return;
    const QString name = namePart(action.from);
    const ListedFile file{QFile::encodeName(name), name, true};
    const std::size_t at = listingPlace(entries, file);
    if (at >= entries.size() || entries[at].rawName != file.rawName)
        entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(at), file);
    currentRow = static_cast<int>(at);
}

SessionOutcome SortingSession::undo() {
    SessionOutcome outcome;
    if (!history.canUndo())
        return outcome;
    BusyCursor busy;
    UndoStep& step = history.last();
    const std::size_t total = step.actions.size();
    std::size_t done = 0;
    // Backwards, so that a file moved twice in one step retraces its way.
    while (!step.actions.empty()) {
        const UndoAction& action = step.actions.back();
        if (const QString refused = undoAction(action); !refused.isEmpty()) {
            outcome.notices.push_back({SessionNotice::Kind::Error, refused, MessageButton::Cancel});
            break;
        }
        cameBack(outcome, action);
        step.actions.pop_back();
        ++done;
    }
    if (step.actions.empty())
        history.dropLast();
    else if (total > 1)
        outcome.notices.push_back(
            {SessionNotice::Kind::Information, QStringLiteral("Files brought back : %1 of %2")
                                                   .arg(qulonglong(done))
                                                   .arg(qulonglong(total))});
    return outcome;
}

} // namespace sortello
