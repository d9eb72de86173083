// SPDX-License-Identifier: GPL-3.0-or-later
#include "application/QtPrompts.h"

#include "application/SavePictureDialog.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <optional>

namespace sortello {

namespace {

// A modal dialog shows the normal cursor, even in the middle of a busy
// operation; the operation's hourglass returns when the dialog closes.
class NormalCursor {
public:
    NormalCursor() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~NormalCursor() { QApplication::restoreOverrideCursor(); }
    NormalCursor(const NormalCursor&) = delete;
    NormalCursor& operator=(const NormalCursor&) = delete;
};

// A batch's progress in a modal dialog that appears only once the batch has
// run for half a second, so short batches flash nothing. While it shows, each
// update lets the window repaint and the Cancel button answer; its modality
// keeps every other command of the window from starting meanwhile. Updates
// come at most every few dozen milliseconds, so ten thousand quick moves do
// not spend their time redrawing a bar.
class ProgressDialog : public BatchProgress {
public:
    ProgressDialog(QWidget* parent, const QString& label, int total)
        : text(label), total(total), dialog(label, QStringLiteral("Cancel"), 0, total, parent) {
        dialog.setObjectName(QStringLiteral("BatchProgress"));
        dialog.setWindowTitle(QString(ApplicationTitle));
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.setMinimumDuration(500);
        dialog.setAutoReset(false);
        dialog.setAutoClose(false);
        dialog.setValue(0);
        sinceUpdate.start();
    }

    bool advance(int done) override {
        if (sinceUpdate.elapsed() >= 40 || done == total) {
            sinceUpdate.restart();
            dialog.setLabelText(
                QStringLiteral("%1\n%2 of %3 files").arg(text).arg(done).arg(total));
            dialog.setValue(done);
            if (dialog.isVisible() && !normal)
                normal.emplace();
        }
        return !dialog.wasCanceled();
    }

private:
    QString text;
    int total;
    QProgressDialog dialog;
    QElapsedTimer sinceUpdate;
    std::optional<NormalCursor> normal;
};

QMessageBox::Icon qtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonName {
    MessageButton button;
    QMessageBox::StandardButton standard;
};

constexpr ButtonName Buttons[] = {
    {MessageButton::Ok, QMessageBox::Ok},
    {MessageButton::Cancel, QMessageBox::Cancel},
    {MessageButton::Yes, QMessageBox::Yes},
    {MessageButton::No, QMessageBox::No},
};

} // namespace

MessageButton QtPrompts::message(QWidget* parent, const QString& title, const QString& text,
                                 MessageIcon icon, MessageButtons buttons) {
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    QMessageBox box(qtIcon(icon), title, shown, QMessageBox::NoButton, parent);
    for (const ButtonName& b : Buttons)
        if (buttons.testFlag(b.button))
            box.addButton(b.standard);
    if (buttons == MessageButton::None)
        box.addButton(QMessageBox::Ok);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    const int pressed = box.exec();
    for (const ButtonName& b : Buttons)
        if (pressed == b.standard)
            return b.button;
    return MessageButton::None;
}

std::optional<QString> QtPrompts::browseFolder(QWidget* parent, const QString& title,
                                               const QString& startFolder) {
    NormalCursor cursor;
    const QString folder = QFileDialog::getExistingDirectory(parent, title, startFolder);
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

std::optional<QString> QtPrompts::savePicture(QWidget* parent, SavePictureRequest& request) {
    NormalCursor cursor;
    SavePictureDialog dialog(parent, *this, request);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    request.selectedFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().first();
}

int QtPrompts::runModal(QDialog& dialog) {
    NormalCursor cursor;
    return dialog.exec();
}

std::unique_ptr<BatchProgress> QtPrompts::batchProgress(QWidget* parent, const QString& label,
                                                        int total) {
    return std::make_unique<ProgressDialog>(parent, label, total);
}

} // namespace sortello
