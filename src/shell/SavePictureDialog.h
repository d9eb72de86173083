// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save-picture dialog of "Move as ...": the toolkit's file dialog with a
// preview of the picture whose name is selected, and the two questions the
// command relies on, replace an existing file and create a new one.
#include <QFileDialog>

class QLabel;

namespace sortello {

class SavePictureDialog : public QFileDialog {
    Q_OBJECT
public:
    SavePictureDialog(QWidget* parent, const QString& title, const QString& folder,
                      bool promptCreate);

    void accept() override;

private:
    void showPreview(const QString& path);

    QLabel* preview;
    bool promptCreate;
};

} // namespace sortello
