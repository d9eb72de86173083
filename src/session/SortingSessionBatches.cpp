// SPDX-License-Identifier: GPL-3.0-or-later
// The batch commands: moving selections under numbered names, moving every
// file that has no namesake, and removing every file whose namesake holds the
// same bytes. Each visits the listing once, shows its progress when it runs
// long, stops after the file in hand when cancelled, and sums up what it did
// and what it left.
#include "session/SessionTexts.h"
#include "session/SortingSession.h"

#include "base/Misc.h"
#include "fileops/FileSystem.h"
#include "fileops/NumberedNames.h"
#include "fileops/SameBytes.h"
#include "pictures/DecodeAhead.h"

#include <QScopedValueRollback>
#include <utility>
#include <vector>

namespace sortello {

namespace {

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

    // Shows `done` of `total` files; false, with the files not visited noted,
    // once the person has cancelled.
    bool goesOn(BatchProgress& shown, int done, int total) {
        if (done == 0 || shown.advance(done))
            return true;
        notVisited = total - done;
        return false;
    }

    QString lines() const {
        QString text;
        for (const auto& [error, count] : byError)
            text += QStringLiteral("\r%1 left: %2").arg(files(count), qt_error_string(error));
        if (unusableNames == 1)
            text += QStringLiteral("\r1 file left because its name is not valid text");
        else if (unusableNames > 1)
            text += QStringLiteral("\r%1 left because their names are not valid text")
                        .arg(files(unusableNames));
        if (notVisited > 0)
            text += QStringLiteral("\rCancelled with %1 still to do").arg(files(notVisited));
        return text;
    }

private:
    std::vector<std::pair<int, int>> byError; // in the order first met
    int unusableNames = 0;
    int notVisited = 0;
};

} // namespace

void SortingSession::summarise(SessionOutcome& outcome, const QString& leftBehind) const {
    outcome.batch = true;
    outcome.notices.push_back(
        {SessionNotice::Kind::Information, QStringLiteral("Files moved/renamed : ") +
                                               QString::number(outcome.moved.size()) + leftBehind});
}

std::unique_ptr<BatchProgress> SortingSession::progress(const char* label, int total) {
    return ask.batchProgress(dialogParent, QString::fromLatin1(label), total);
}

SessionOutcome SortingSession::autoMoveMultipleAs(const QList<int>& selectedRows) {
    SessionOutcome outcome;
    if (selectedRows.isEmpty() || inBatch)
        return outcome;
    const QScopedValueRollback running(inBatch, true);
    QList<int> selected = selectedRows;
    std::sort(selected.begin(), selected.end());
    BusyCursor busy;
    const auto shown = progress("Moving the selected files", int(selected.size()));
    UsedNumbersCache numbers;
    QList<int> moved;
    LeftBehind left;
    int done = 0;
    for (auto it = selected.crbegin(); it != selected.crend(); ++it) {
        if (!left.goesOn(*shown, done, int(selected.size())))
            break;
        ++done;
        const int row = *it;
        if (!entries[row].representable) {
            left.unusableName();
            continue;
        }
        const QString name = entries[row].name;
        QString target = destinationOf(name);
        if (fileExists(target)) {
            const NumberedName split = SplitNumberedName(name);
            const QString into = folderPart(target);
            const qint64 number =
                chooseNumber(numbers.usedNumbers(into, split.stem, split.extension));
            target = into + numberedName(split.stem, number, split.extension);
        }
        const QString from = pathOf(row);
        if (const FileResult r = moveFile(from, target); !r) {
            left.failed(r); // the entry stays selected; the summary counts it
            continue;
        }
        history.moved(from, target);
        numbers.noteArrival(folderPart(target), namePart(target));
        noteMoved(outcome, namePart(target));
        moved << row;
    }
    removeRows(outcome, moved);
    summarise(outcome, left.lines());
    return outcome;
}

SessionOutcome SortingSession::moveNonExisting() {
    SessionOutcome outcome;
    if (entries.empty() || inBatch)
        return outcome;
    const QScopedValueRollback running(inBatch, true);
    std::optional<BusyCursor> busy(std::in_place);
    const auto shown = progress("Moving the files whose names are free", count());
    QList<int> moved;
    LeftBehind left;
    for (int row = count() - 1; row >= 0; --row) {
        if (!left.goesOn(*shown, count() - 1 - row, count()))
            break;
        if (!entries[row].representable) {
            left.unusableName();
            continue;
        }
        const QString target = destinationOf(entries[row].name);
        if (fileExists(target))
            continue;
        const QString from = pathOf(row);
        if (const FileResult r = moveFile(from, target); !r) {
            left.failed(r);
            outcome.notices.push_back(
                {SessionNotice::Kind::Error,
                 QStringLiteral("Unable to move/rename the file:\r") + from + reasonLine(r),
                 MessageButton::Cancel});
            break;
        }
        history.moved(from, target);
        noteMoved(outcome, namePart(target));
        moved << row;
    }
    removeRows(outcome, moved);
    summarise(outcome, left.lines());
    return outcome;
}

// Removes every listed file whose namesake in its destination holds the same
// bytes. The comparison and the removal are a moment apart: a file that
// changed in that moment is no longer known to be a copy, and stays.
SessionOutcome SortingSession::removeIdentical() {
    SessionOutcome outcome;
    if (entries.empty() || inBatch)
        return outcome;
    const QScopedValueRollback running(inBatch, true);
    BusyCursor busy;
    const auto shown = progress("Removing the files identical to their namesakes", count());
    QList<int> removed;
    LeftBehind left;
    for (int row = count() - 1; row >= 0; --row) {
        if (!left.goesOn(*shown, count() - 1 - row, count()))
            break;
        if (!entries[row].representable)
            continue; // its namesake cannot even be named
        const QString path = pathOf(row);
        const QString namesake = destinationOf(entries[row].name);
        const FileIdentity before = identityOf(path);
        const FileIdentity filed = identityOf(namesake);
        if (compareBytes(path, namesake) != Sameness::Identical || identityOf(path) != before ||
            identityOf(namesake) != filed)
            continue;
        if (const FileResult r = remove(path); !r) {
            left.failed(r);
            continue;
        }
        removed << row;
    }
    removeRows(outcome, removed);
    outcome.batch = true;
    outcome.notices.push_back(
        {SessionNotice::Kind::Information, QStringLiteral("Identical files removed : ") +
                                               QString::number(removed.size()) + left.lines()});
    return outcome;
}

} // namespace sortello
