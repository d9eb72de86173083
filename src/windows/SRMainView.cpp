// SPDX-License-Identifier: GPL-3.0-or-later
// The current file and the comparison view: opening the new picture and its
// namesake in the destination folder, the grid of their figures, moving on to
// the next entry, and the list of files moved.
#include "windows/SRMain.h"

#include "base/Error.h"
#include "base/Prompts.h"
#include "fileops/FileSystem.h"
#include "widgets/ComparisonGrid.h"
#include "widgets/FileListBox.h"
#include "widgets/PictureBox.h"

#include <QListWidget>
#include <algorithm>

namespace sortello {

QString TFrmSRMain::pathOfRow(int row) const {
    return joinPath(FileListBox->directory(), FileListBox->itemText(row));
}

// A name that does not survive the trip through text would be opened, and
// later moved, under another name; such a file is never acted on.
static QString unusableNameMessage(const ListedFile& file) {
    return QStringLiteral("The name of the file \"%1\" is not valid text on this system and "
                          "cannot be used; rename it in a file manager first")
        .arg(file.name);
}

void TFrmSRMain::FileListBoxClick() {
    const int row = FileListBox->currentFileRow();
    if (row < 0)
        return;
    BusyCursor busy;
    try {
        if (const ListedFile& file = FileListBox->item(row); !file.representable) {
            // Nothing on screen may belong to another file while this entry is
            // current, and its message is said once, not at every pass.
            ImageNew->clear();
            ImageExisting->clear();
            ExistingFileName.clear();
            StringGrid1->FillComparisonRow(0, 0, true, 0, 0);
            if (!toldUnusable.contains(file.rawName)) {
                toldUnusable.insert(file.rawName);
                throw Error(unusableNameMessage(file));
            }
            return;
        }
        const QString path = pathOfRow(row);
        const QString name = FileListBox->itemText(row);
        const QString folder = chars.DestinationFolder(name);
        ImageNew->load(path);
        StringGrid1->FillComparisonRow(ImageNew->picture().width(), ImageNew->picture().height(),
                                       true, FileDateOf(path), FileSizeOf(path));
        ExistingFileName = folder + name;
        if (fileExists(ExistingFileName)) {
            ImageExisting->setVisible(ImageExisting->isEnabledTo(PanelExistingImage));
            ImageExisting->load(ExistingFileName);
            StringGrid1->FillComparisonRow(
                ImageExisting->picture().width(), ImageExisting->picture().height(), false,
                FileDateOf(ExistingFileName), FileSizeOf(ExistingFileName));
        } else {
            // A hidden pane holds no picture, so the viewer's key cannot show
            // the namesake of a file that was current before.
            ImageExisting->setVisible(false);
            ImageExisting->clear();
        }
    } catch (const Error& error) {
        showError(error.message());
    }
}

void TFrmSRMain::RemoveCurrentAndAdvance() {
    const int i = FileListBox->focusedRow();
    if (i < 0)
        return;
    FileListBox->removeRow(i);
    const int n = FileListBox->count();
    int next = -1;
    if (n >= i + 1)
        next = i;
    else if (n > 0)
        next = i - 1;
    if (next < 0)
        return;
    FileListBox->focusAndSelect(next);
    FileListBoxClick();
}

void TFrmSRMain::addFileMoved(const QString& name) {
    // A sorted copy of the names is searched, so a batch of thousands of moves
    // does not re-sort the list or read its items back for every name.
    const auto at = std::upper_bound(filesMoved.begin(), filesMoved.end(), name,
                                     [](const QString& a, const QString& b) {
                                         return QString::compare(a, b, Qt::CaseInsensitive) < 0;
                                     });
    const int row = static_cast<int>(at - filesMoved.begin());
    filesMoved.insert(at, name);
    const QSignalBlocker quiet(ListBoxFilesMoved);
    ListBoxFilesMoved->insertItem(row, name);
    // Numbered names are long for the narrow list; the full name is a hover away.
    ListBoxFilesMoved->item(row)->setToolTip(name);
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
    const QString path = chars.DestinationFolder(name) + name;
    try {
        if (fileExists(path)) {
            ImageExisting->setVisible(true);
            ImageExisting->load(path);
            StringGrid1->FillComparisonRow(ImageExisting->picture().width(),
                                           ImageExisting->picture().height(), false,
                                           FileDateOf(path), FileSizeOf(path));
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
