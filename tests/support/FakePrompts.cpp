// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakePrompts.h"

namespace sortello::test {

namespace {

std::optional<QString> next(std::deque<QString>& answers) {
    if (answers.empty())
        return std::nullopt;
    const QString answer = answers.front();
    answers.pop_front();
    if (answer.isNull())
        return std::nullopt;
    return std::make_optional(answer);
}

} // namespace

MessageButton FakePrompts::message(QWidget*, const QString& title, const QString& text,
                                   MessageIcon icon, MessageButtons buttons) {
    messages.push_back({title, text, icon, buttons});
    if (messageAnswers.empty())
        return buttons.testFlag(MessageButton::Cancel) ? MessageButton::Cancel : MessageButton::Ok;
    const MessageButton answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

std::optional<QString> FakePrompts::browseFolder(QWidget*, const QString& title,
                                                 const QString& startFolder) {
    browseTitles.push_back(title);
    browseStarts.push_back(startFolder);
    return next(folderAnswers);
}

std::optional<QString> FakePrompts::savePicture(QWidget*, SavePictureRequest& request) {
    saveRequests.push_back(request);
    return next(saveAnswers);
}

int FakePrompts::runModal(QDialog& dialog) {
    dialogsRun.push_back(dialog.objectName());
    if (dialogScripts.empty())
        return QDialog::Rejected;
    auto script = std::move(dialogScripts.front());
    dialogScripts.pop_front();
    return script(dialog);
}

namespace {

class ScriptedProgress : public BatchProgress {
public:
    explicit ScriptedProgress(FakePrompts& prompts) : prompts(prompts) {}
    bool advance(int done) override {
        prompts.progressReports.push_back(done);
        return done != prompts.cancelAt;
    }

private:
    FakePrompts& prompts;
};

} // namespace

std::unique_ptr<BatchProgress> FakePrompts::batchProgress(QWidget*, const QString& label,
                                                          int total) {
    progressShown.emplace_back(label, total);
    return std::make_unique<ScriptedProgress>(*this);
}

} // namespace sortello::test
