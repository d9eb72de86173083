// SPDX-License-Identifier: GPL-3.0-or-later
// The current file and the comparison view: opening the new picture and its
// namesake in the destination folder, the grid of their figures, and a file
// picked in the list of files moved.
#include "windows/SRMain.h"

#include "base/Error.h"
#include "base/Prompts.h"
#include "fileops/FileSystem.h"
#include "pictures/DecodeAhead.h"
#include "widgets/ComparisonGrid.h"
#include "widgets/FileListBox.h"
#include "widgets/PictureBox.h"

#include <QListWidget>

namespace sortello {

void TFrmSRMain::FileListBoxClick() {
    const int row = FileListBox->currentFileRow();
    work.setCurrent(row);
    if (row < 0)
        return;
    awaited.clear();
    BusyCursor busy;
    try {
        if (const ListedFile& file = work.files()[row]; !file.representable) {
            // Nothing on screen may belong to another file while this entry is
            // current, and its message is said once, not at every pass.
            ImageNew->clear();
            ImageExisting->clear();
            ExistingFileName.clear();
            StringGrid1->FillComparisonRow(0, 0, true, 0, 0);
            if (!toldUnusable.contains(file.rawName)) {
                toldUnusable.insert(file.rawName);
                throw Error(unusableNameMessage(file.name));
            }
            return;
        }
        awaitPair(row);
    } catch (const Error& error) {
        showError(error.message());
    }
}

// Asks the workers for the entry's pair before anything else and shows it
// once both pictures are there. Until then the panes and the grid keep the
// previous pair whole: a short wait shows no mix of two entries, and held
// keys do not flicker through empty panes.
void TFrmSRMain::awaitPair(int row) {
    awaited = work.pathOf(row);
    decodeAround(row);
    showAwaitedPair();
}

void TFrmSRMain::pictureDecoded() {
    if (awaited.isEmpty())
        return;
    try {
        showAwaitedPair();
    } catch (const Error& error) {
        showError(error.message());
    }
}

void TFrmSRMain::showAwaitedPair() {
    // Keys may have moved on, or a command taken the entry away.
    const int row = FileListBox->currentFileRow();
    if (row < 0 || work.pathOf(row) != awaited) {
        awaited.clear();
        return;
    }
    const QString existing = work.destinationOf(work.files()[row].name);
    const bool hasExisting = fileExists(existing);
    using Readiness = DecodeAhead::Readiness;
    if (ahead->readiness(awaited, ImageNew->targetRule()) == Readiness::Coming ||
        (hasExisting &&
         ahead->readiness(existing, ImageExisting->targetRule()) == Readiness::Coming))
        return;
    awaited.clear();
    BusyCursor busy;
    showPair(row, existing, hasExisting);
}

void TFrmSRMain::settleAwaitedPair() {
    if (awaited.isEmpty())
        return;
    const int row = FileListBox->currentFileRow();
    if (row >= 0 && work.pathOf(row) == awaited) {
        BusyCursor busy;
        ahead->waitFor(awaited);
        ahead->waitFor(work.destinationOf(work.files()[row].name));
    }
    showAwaitedPair();
}

bool TFrmSRMain::pairPending() const {
    return !awaited.isEmpty();
}

namespace {

// The picture decoded ahead for the control, or else decoded here for it.
DecodedPicture readyFor(DecodeAhead& ahead, const PictureBox& box, const QString& path) {
    if (std::optional<DecodedPicture> ready = ahead.take(path, box.targetRule())) {
        if (!ready->error.isEmpty())
            throw Error(ready->error);
        return *ready;
    }
    DecodedPicture decoded{Picture::open(path), {}, {}};
    const QSize target = box.targetRule()(decoded.picture.size());
    if (!target.isEmpty())
        decoded.image = decoded.picture.imageFor(target);
    decoded.look = lookPrintOf(decoded.image);
    return decoded;
}

// What the grid says of a pair: the same bytes, or the same picture in
// another size or encoding. A namesake decoded ahead was compared then, while
// its new file was the one there now; else the bytes are compared here.
QString likenessOf(const QString& path, const DecodedPicture& fresh, const QString& namesake,
                   const DecodedPicture& existing) {
    const Sameness sameness = existing.sameness && existing.comparedWith == identityOf(path)
                                  ? *existing.sameness
                                  : compareBytes(path, namesake);
    if (sameness == Sameness::Identical)
        return QStringLiteral("Identical");
    // One file shown twice says nothing about a second copy.
    if (sameness != Sameness::SameFile && fresh.look && existing.look &&
        looksTheSame(*fresh.look, *existing.look))
        return QStringLiteral("Looks the same");
    return {};
}

} // namespace

// Shows the entry's picture and its namesake with their figures, all at once:
// both are decoded before anything on screen changes, so no paint shows the
// new picture beside the previous file's namesake or figures. A damaged new
// picture leaves the previous view as it was; a damaged namesake leaves its
// pane empty beside the zero row.
void TFrmSRMain::showPair(int row, const QString& existingPath, bool hasExisting) {
    const QString path = work.pathOf(row);
    const DecodedPicture fresh = readyFor(*ahead, *ImageNew, path);
    // A relative destination folder is taken from the source folder.
    ExistingFileName = existingPath;
    std::optional<DecodedPicture> existing;
    std::optional<Error> existingFailed;
    try {
        if (hasExisting)
            existing = readyFor(*ahead, *ImageExisting, ExistingFileName);
    } catch (const Error& error) {
        existingFailed = error;
    }
    ImageNew->setDecoded(fresh.picture, fresh.image);
    StringGrid1->FillComparisonRow(ImageNew->picture().width(), ImageNew->picture().height(), true,
                                   FileDateOf(path), FileSizeOf(path), ImageNew->picture().taken());
    if (hasExisting) {
        ImageExisting->setVisible(ImageExisting->isEnabledTo(PanelExistingImage));
        if (existingFailed) {
            ImageExisting->clear();
            throw *existingFailed;
        }
        ImageExisting->setDecoded(existing->picture, existing->image);
        StringGrid1->FillComparisonRow(ImageExisting->picture().width(),
                                       ImageExisting->picture().height(), false,
                                       FileDateOf(ExistingFileName), FileSizeOf(ExistingFileName),
                                       ImageExisting->picture().taken());
        StringGrid1->setLikeness(likenessOf(path, fresh, ExistingFileName, *existing));
    } else {
        // A hidden pane holds no picture, so the viewer's key cannot show
        // the namesake of a file that was current before.
        ImageExisting->setVisible(false);
        ImageExisting->clear();
    }
}

// The entry's own pair first, for the screen waits for it, then the pairs the
// next keys will show.
void TFrmSRMain::decodeAround(int row) {
    QList<DecodeRequest> requests;
    const TargetRule newRule = ImageNew->targetRule();
    const TargetRule existingRule = ImageExisting->targetRule();
    QList<int> order{row};
    int urgent = 0;
    for (int step = 1; step <= DecodeAhead::PairsAhead; ++step)
        order.append(row + step);
    for (int step = 1; step <= DecodeAhead::PairsBehind; ++step)
        order.append(row - step);
    for (const int r : order) {
        if (r < 0 || r >= int(work.files().size()) || !work.files()[r].representable)
            continue;
        requests.append({work.pathOf(r), newRule});
        const QString namesake = work.destinationOf(work.files()[r].name);
        if (fileExists(namesake))
            requests.append({namesake, existingRule, work.pathOf(r)});
        if (r == row)
            urgent = int(requests.size());
    }
    ahead->want(requests, urgent);
}

void TFrmSRMain::waitForDecodesAhead() {
    ahead->waitIdle();
}

qint64 TFrmSRMain::decodedAheadPeakBytes() const {
    return ahead->peakBytes();
}

void TFrmSRMain::watchDecodeStarts(std::function<void(const QString& path)> watcher) {
    ahead->watchStarts(std::move(watcher));
}

void TFrmSRMain::ListBoxFilesMovedClick() {
    QListWidgetItem* selected = ListBoxFilesMoved->currentItem();
    if (!selected || !selected->isSelected()) {
        ImageExisting->setVisible(true);
        StringGrid1->FillComparisonRow(0, 0, false, 0, 0);
        return;
    }
    BusyCursor busy;
    const QString name = selected->text();
    const QString path = work.destinationOf(name);
    try {
        if (fileExists(path)) {
            ImageExisting->setVisible(true);
            ImageExisting->load(path);
            StringGrid1->FillComparisonRow(
                ImageExisting->picture().width(), ImageExisting->picture().height(), false,
                FileDateOf(path), FileSizeOf(path), ImageExisting->picture().taken());
        } else {
            ImageExisting->setVisible(false);
            ImageExisting->clear();
            StringGrid1->FillComparisonRow(0, 0, false, 0, 0);
        }
    } catch (const Error& error) {
        showError(error.message());
    }
}

} // namespace sortello
