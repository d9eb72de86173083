// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Answers every question at once, so a benchmark that drives a window never
// waits for a user.
#include "base/Prompts.h"

namespace sortello::bench {

class SilentPrompts : public Prompts {
public:
    MessageButton message(QWidget*, const QString&, const QString&, MessageIcon,
                          MessageButtons) override {
        return MessageButton::Ok;
    }
    std::optional<QString> browseFolder(QWidget*, const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> savePicture(QWidget*, SavePictureRequest&) override {
        return std::nullopt;
    }
    int runModal(QDialog&) override { return 0; }
};

} // namespace sortello::bench
