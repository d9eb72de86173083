// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save-picture dialog of "Move as ...": the toolkit's file dialog with a
// preview of the picture whose name is selected, and the questions the command
// relies on: replace an existing file, create a new one. It only ever returns
// a path in a folder that exists; a name in a missing folder is refused with a
// message and the dialog stays open, as a desktop save dialog does.
#include <QFileDialog>

class QLabel;

namespace sortello {

class Prompts;
struct SavePictureRequest;

class SavePictureDialog : public QFileDialog {
    Q_OBJECT
public:
    // Set up from the request: title, folder, name filters, default suffix and
    // the proposed name. Its own messages and questions go through `prompts`.
    SavePictureDialog(QWidget* parent, Prompts& prompts, const SavePictureRequest& request);

    void accept() override;

private:
    // Shows the picture the dialog would return if accepted now.
    void updatePreview();

    Prompts& prompts;
    QLabel* preview;
    QString previewed;
    bool promptCreate;
};

} // namespace sortello
