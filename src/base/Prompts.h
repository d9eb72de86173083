// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Everything that waits for the user goes through Prompts: message boxes, the
// folder browser, the save-picture dialog and running a dialog modally. The
// program uses QtPrompts (application/QtPrompts.h); tests hand windows a scripted fake, so no test
// ever needs a display or a timer to click through a real modal dialog.
#include <QFlags>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QDialog;
class QWidget;

namespace sortello {

enum class MessageIcon { None, Information, Warning, Error, Question };

enum class MessageButton {
    None = 0,
    Ok = 0x1,
    Cancel = 0x2,
    Yes = 0x4,
    No = 0x8,
};
Q_DECLARE_FLAGS(MessageButtons, MessageButton)
Q_DECLARE_OPERATORS_FOR_FLAGS(MessageButtons)

struct SavePictureRequest {
    QString title;          // the dialog's caption
    QString initialFolder;  // the folder it opens in
    QString fileName;       // the name proposed in its name field (may be empty)
    QString defaultSuffix;  // appended when the typed name has no extension
    QStringList filters;    // "JPEG Image File (*.jpg;*.jpeg)" and the like
    QString selectedFilter; // in: the type chosen last time; out: the type chosen now
    bool promptOverwrite = true;
    bool promptCreate = true;
};

// The progress of a batch over many files, shown once it runs long. A batch
// reports after each file; false means the user asked it to stop, and it then
// ends after the file in hand, so no file is ever left half moved.
class BatchProgress {
public:
    virtual ~BatchProgress() = default;
    virtual bool advance(int done) = 0;
};

class Prompts {
public:
    virtual ~Prompts() = default;

    // Shows a modal message box; returns the button pressed. A "\r" in the text
    // starts a new line.
    virtual MessageButton message(QWidget* parent, const QString& title, const QString& text,
                                  MessageIcon icon, MessageButtons buttons) = 0;
    // Lets the user pick a folder; nothing when cancelled.
    virtual std::optional<QString> browseFolder(QWidget* parent, const QString& title,
                                                const QString& startFolder) = 0;
    // The save-picture dialog; the chosen path, or nothing when cancelled. The
    // file type the user chose is handed back in request.selectedFilter.
    virtual std::optional<QString> savePicture(QWidget* parent, SavePictureRequest& request) = 0;
    // Runs a dialog modally and returns its result code.
    virtual int runModal(QDialog& dialog) = 0;
    // The progress of a batch over `total` files, with `label` saying what it
    // does. By default nothing is shown and nothing stops the batch.
    virtual std::unique_ptr<BatchProgress> batchProgress(QWidget* parent, const QString& label,
                                                         int total);
};

inline constexpr QLatin1StringView ApplicationTitle{"Sortello"};

// The text of the application's error box: a "." is appended when the last
// character sorts after ".".
QString errorBoxText(const QString& message);

// The application's error box for errors no operation handles: titled with the
// application title, error icon, OK.
void showApplicationError(Prompts& prompts, QWidget* parent, const QString& message);

// An error box of an operation: title "Error", error icon, the given button.
void showErrorBox(Prompts& prompts, QWidget* parent, const QString& text, MessageButton button);

// The hourglass while an operation works; the normal cursor comes back when the
// guard goes, on every path.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace sortello
