// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/UndoHistory.h"

#include "base/Misc.h"

#include <QFile>
#include <algorithm>

namespace sortello {

QString UndoStep::what() const {
    if (actions.size() == 1) {
        const UndoAction& action = actions.front();
        const QString name = namePart(action.from);
        if (action.to.isEmpty())
            return QStringLiteral("removal of ") + name;
        return (action.replacing ? QStringLiteral("replace of ") : QStringLiteral("move of ")) +
               name;
    }
    const bool removals = std::all_of(actions.begin(), actions.end(),
                                      [](const UndoAction& action) { return action.to.isEmpty(); });
    return QStringLiteral("%1 of %2 files")
        .arg(removals ? QStringLiteral("removal") : QStringLiteral("move"))
        .arg(actions.size());
}

void UndoHistory::moved(const QString& from, const QString& to) {
    UndoAction action;
    action.from = from;
    action.to = to;
    action.identity = identityOf(to);
    running.actions.push_back(std::move(action));
}

void UndoHistory::replaced(const QString& from, const QString& to, const TrashedFile* trashed) {
    moved(from, to);
    UndoAction& action = running.actions.back();
    action.replacing = true;
    if (trashed) {
        action.trashed = *trashed;
        action.trashedIdentity = identityOf(QFile::decodeName(trashed->path));
    } else {
        running.forGood = true;
    }
}

void UndoHistory::removed(const QString& path, const TrashedFile* trashed) {
    UndoAction action;
    action.from = path;
    if (trashed) {
        action.trashed = *trashed;
        action.identity = identityOf(QFile::decodeName(trashed->path));
    } else {
        running.forGood = true;
    }
    running.actions.push_back(std::move(action));
}

void UndoHistory::commit() {
    if (running.actions.empty())
        return;
    // Undoing runs backwards through the steps, and a picture deleted for
    // good is where it has to stop: only that step is kept, to say so.
    if (running.forGood)
        steps.clear();
    steps.push_back(std::move(running));
    running = {};
}

QString UndoHistory::menuText() const {
    if (steps.empty())
        return QStringLiteral("Undo");
    return (steps.back().forGood ? QStringLiteral("Cannot undo ") : QStringLiteral("Undo ")) +
           steps.back().what();
}

} // namespace sortello
