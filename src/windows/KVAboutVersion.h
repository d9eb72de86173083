// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TFrmKVVersionAbout, the about box: one list with two pages, the program's
// version information read from the program file itself and the memory
// figures of the machine. Its caller may give non-standard version keys
// readable labels ("HTTP=Homepage") and switch it from its built-in Danish
// labels to English.
#include "base/VersionInfo.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <array>

class QFrame;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace sortello {

class Prompts;

struct AboutLabels {
    QString caption; // before " - " and the application title
    QString versionTxt;
    QString productTxt;
    QString descriptionTxt;
    QString versionButton;
    QString memoryButton;
    QString okButton;
    QString versionColumns[2];
    QString memoryColumns[2];
    QString notAvailable; // the version shown while none is known
    // Row labels of the standard version keys.
    QString comments;
    QString companyName;
    QString internalName;
    QString legalCopyright;
    QString legalTrademarks;
    QString originalFilename;
    QString productVersion;
    // Total and available physical memory, page file, virtual address space.
    std::array<QString, 6> memoryRows;
};

const AboutLabels& DefaultAboutLabels(); // Danish
const AboutLabels& EnglishAboutLabels();

class TFrmKVVersionAbout : public QDialog {
    Q_OBJECT
public:
    // `programFile` is the file whose version information is shown; empty
    // means the running program's own file.
    explicit TFrmKVVersionAbout(QWidget* owner = nullptr, const QString& programFile = QString());
    ~TFrmKVVersionAbout() override;

    const AboutLabels& labels() const { return set; }
    // Puts a label set in place and applies it to the caption, the header
    // labels and the buttons; the pages set their own column headings.
    void setLabels(const AboutLabels& labels);

    // The extra "key=label" lines, kept sorted (letter case ignored) with
    // duplicates accepted.
    const QStringList& extraLabels() const { return extra; }
    void addExtraLabel(const QString& line);
    void clearExtraLabels() { extra.clear(); }

    const QString& programFile() const { return program; }

    // Fills the list with the version page, as its button does.
    void BitBtnVersionClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // ---- Controls, named as everywhere else in the program ----
    QFrame* PanelInfo;
    QLabel* LabelVersionTxt;
    QLabel* LabelVersion;
    QLabel* LabelProductTxt;
    QLabel* LabelProduct;
    QLabel* LabelDescriptionTxt;
    QLabel* LabelDescription;
    QLabel* ImageAppIcon;
    QFrame* PanelAdditionalInfo;
    QTreeWidget* ListViewVersion;
    QFrame* PanelButtons;
    QPushButton* BitBtnOK;
    QPushButton* BitBtnMemory;
    QPushButton* BitBtnVersion;

    // ---- Handlers ----
    void BitBtnMemoryClick();

    void buildInfoPanel();
    void buildVersionList();
    void buildButtons();
    void applyLabels();
    void preparePage(const QString (&columns)[2], Qt::Alignment valueAlignment);
    void addVersionRow(const QString& label, const QString& value);
    QString rowLabel(const QString& key) const;

    AboutLabels set;
    QStringList extra;
    QString program;
};

// Opens the about box over `owner`, modally through prompts.runModal, with the
// extra "key=label" pairs and English labels when `english` is set, showing
// the running program's own version information.
void ShowAboutVersion(QWidget* owner, Prompts& prompts, const QStringList& extraLabels,
                      bool english);
// The same with the version information of another file (empty: the
// program's own).
void ShowAboutVersion(QWidget* owner, Prompts& prompts, const QStringList& extraLabels,
                      bool english, const QString& programFile);

} // namespace sortello
