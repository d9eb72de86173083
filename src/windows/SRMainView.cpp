// SPDX-License-Identifier: GPL-3.0-or-later
// The current file and the comparison view: opening the new picture and its
// namesake in the destination folder, the grid of their figures, and a file
// picked in the list of files moved.
#include "windows/SRMain.h"

#include "base/Error.h"
#include "base/Prompts.h"
#include "fileops/FileSystem.h"
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
        const QString path = work.pathOf(row);
        const QString name = work.files()[row].name;
        ImageNew->load(path);
        StringGrid1->FillComparisonRow(ImageNew->picture().width(), ImageNew->picture().height(),
                                       true, FileDateOf(path), FileSizeOf(path));
        // A relative destination folder is taken from the source folder.
        ExistingFileName = work.destinationOf(name);
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
