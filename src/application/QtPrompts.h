// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Prompts of the running program: Qt's message boxes and folder browser,
// and Sortello's own save-picture dialog.
#include "base/Prompts.h"

namespace sortello {

class QtPrompts : public Prompts {
public:
    MessageButton message(QWidget* parent, const QString& title, const QString& text,
                          MessageIcon icon, MessageButtons buttons) override;
    std::optional<QString> browseFolder(QWidget* parent, const QString& title,
                                        const QString& startFolder) override;
    std::optional<QString> savePicture(QWidget* parent, SavePictureRequest& request) override;
    int runModal(QDialog& dialog) override;
    std::unique_ptr<BatchProgress> batchProgress(QWidget* parent, const QString& label,
                                                 int total) override;
};

} // namespace sortello
