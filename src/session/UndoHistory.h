// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the file commands of a run did, step by step, so that the last one can
// be taken back, then the one before, to the start of the run. A step is one
// command, a batch included, and holds each file's move or removal with the
// file's identity as the command left it: an undo acts only on a file that is
// still exactly that one. A file deleted for good ends what can be undone.
#include "fileops/Trash.h"
#include "pictures/DecodeAhead.h"

#include <QString>
#include <optional>
#include <vector>

namespace sortello {

struct UndoAction {
    QString from;          // where the file was
    QString to;            // where it went; empty when it went to the trash
    FileIdentity identity; // the file as the command left it, where it left it
    // A removal: the file itself. A move: the file it replaced, if any.
    std::optional<TrashedFile> trashed;
    FileIdentity trashedIdentity;
    bool replacing = false; // a move onto a file that was there
};

struct UndoStep {
    std::vector<UndoAction> actions; // in the order the command made them
    // A picture went for good, so neither this nor any earlier step can be undone.
    bool forGood = false;
    // "move of a.jpg", "replace of a.jpg", "removal of a.jpg", "move of 3 files".
    QString what() const;
};

class UndoHistory {
public:
    // The moves and removals of the command running now.
    void moved(const QString& from, const QString& to);
    // `trashed` tells where the replaced or removed file went; none when it
    // went for good.
    void replaced(const QString& from, const QString& to, const TrashedFile* trashed);
    void removed(const QString& path, const TrashedFile* trashed);
    // Ends the running command's step; a step without actions is dropped.
    void commit();

    bool canUndo() const { return !steps.empty() && !steps.back().forGood; }
    // The menu's words: "Undo move of a.jpg", "Undo" with nothing to undo, or
    // "Cannot undo removal of a.jpg" past a file deleted for good.
    QString menuText() const;
    UndoStep& last() { return steps.back(); }
    void dropLast() { steps.pop_back(); }

private:
    std::vector<UndoStep> steps;
    UndoStep running;
};

} // namespace sortello
