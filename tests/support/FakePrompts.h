// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted Prompts for tests: it records every box, browser and dialog it is
// asked for and answers from queues filled by the test. Unscripted questions
// get a cancel-like answer, so a forgotten answer never blocks a test.
#include "base/Prompts.h"

#include <QDialog>
#include <deque>
#include <functional>
#include <vector>

namespace sortello::test {

struct ShownMessage {
    QString title;
    QString text;
    MessageIcon icon;
    MessageButtons buttons;
};

class FakePrompts : public Prompts {
public:
    MessageButton message(QWidget* parent, const QString& title, const QString& text,
                          MessageIcon icon, MessageButtons buttons) override;
    std::optional<QString> browseFolder(QWidget* parent, const QString& title,
                                        const QString& startFolder) override;
    std::optional<QString> savePicture(QWidget* parent, SavePictureRequest& request) override;
    int runModal(QDialog& dialog) override;
    std::unique_ptr<BatchProgress> batchProgress(QWidget* parent, const QString& label,
                                                 int total) override;

    std::vector<ShownMessage> messages;
    std::deque<MessageButton> messageAnswers;

    std::vector<QString> browseTitles;
    std::vector<QString> browseStarts;
    std::deque<QString> folderAnswers; // a null QString cancels

    std::vector<SavePictureRequest> saveRequests;
    std::deque<QString> saveAnswers; // a null QString cancels

    // Each scripted modal run gets the dialog, may work it like a user, and
    // returns the result code; without one the dialog counts as rejected.
    std::vector<QString> dialogsRun; // object names of the dialogs run
    std::deque<std::function<int(QDialog&)>> dialogScripts;

    // Batches: the label and total of each, every count reported, and the
    // count at which the user presses Cancel (-1: never).
    std::vector<std::pair<QString, int>> progressShown;
    std::vector<int> progressReports;
    int cancelAt = -1;
};

} // namespace sortello::test
