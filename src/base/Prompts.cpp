// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Prompts.h"

#include <QApplication>

namespace sortello {

QString errorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void showApplicationError(Prompts& prompts, QWidget* parent, const QString& message) {
    prompts.message(parent, ApplicationTitle, errorBoxText(message), MessageIcon::Error,
                    MessageButton::Ok);
}

void showErrorBox(Prompts& prompts, QWidget* parent, const QString& text, MessageButton button) {
    prompts.message(parent, QStringLiteral("Error"), text, MessageIcon::Error, button);
}

namespace {

class Unseen : public BatchProgress {
public:
    bool advance(int) override { return true; }
};

} // namespace

std::unique_ptr<BatchProgress> Prompts::batchProgress(QWidget*, const QString&, int) {
    return std::make_unique<Unseen>();
}

BusyCursor::BusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor() {
    QApplication::restoreOverrideCursor();
}

} // namespace sortello
