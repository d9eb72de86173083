// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/KVAboutVersion.h"

#include "base/Error.h"
#include "base/MemoryStatus.h"
#include "base/Prompts.h"
#include "widgets/Utility.h"

#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>

namespace sortello {

namespace {

AboutLabels makeDefaultLabels() {
    AboutLabels l;
    l.caption = QStringLiteral("Om");
    l.versionTxt = QStringLiteral("Version");
    l.productTxt = QStringLiteral("Produkt navn");
    l.descriptionTxt = QStringLiteral("Beskrivelse");
    l.versionButton = QStringLiteral("&Version");
    l.memoryButton = QStringLiteral("&Hukommelse");
    l.okButton = QStringLiteral("Ok");
    l.versionColumns[0] = QStringLiteral("Ressource");
    l.versionColumns[1] = QStringLiteral("Værdi");
    l.memoryColumns[0] = QStringLiteral("Hukommelse");
    l.memoryColumns[1] = QStringLiteral("Bytes");
    l.notAvailable = QStringLiteral("Ikke tilgængelig");
    l.comments = QStringLiteral("Kommentarer");
    l.companyName = QStringLiteral("Firma navn");
    l.internalName = QStringLiteral("Internt navn");
    l.legalCopyright = QStringLiteral("Kopirettigheder");
    l.legalTrademarks = QStringLiteral("Trade rettigheder");
    l.originalFilename = QStringLiteral("Originalt filnavn");
    l.productVersion = QStringLiteral("Produkt version");
    l.memoryRows = {QStringLiteral("Fysisk total"),  QStringLiteral("Fysisk ledig"),
                    QStringLiteral("Sidefil total"), QStringLiteral("Sidefil ledig"),
                    QStringLiteral("Virtuel total"), QStringLiteral("Virtuel ledig")};
    return l;
}

AboutLabels makeEnglishLabels() {
    AboutLabels l;
    l.caption = QStringLiteral("About");
    l.versionTxt = QStringLiteral("Version");
    l.productTxt = QStringLiteral("Product name");
    l.descriptionTxt = QStringLiteral("Description");
    l.versionButton = QStringLiteral("&Version");
    l.memoryButton = QStringLiteral("&Memory");
    l.okButton = QStringLiteral("Ok");
    l.versionColumns[0] = QStringLiteral("Resource");
    l.versionColumns[1] = QStringLiteral("Value");
    l.memoryColumns[0] = QStringLiteral("Memory");
    l.memoryColumns[1] = QStringLiteral("Bytes");
    l.notAvailable = QStringLiteral("Not available");
    l.comments = QStringLiteral("Comments");
    l.companyName = QStringLiteral("Company name");
    l.internalName = QStringLiteral("Internal name");
    l.legalCopyright = QStringLiteral("Copyrights");
    l.legalTrademarks = QStringLiteral("Legal trademarks");
    l.originalFilename = QStringLiteral("Original filename");
    l.productVersion = QStringLiteral("Product version");
    l.memoryRows = {QStringLiteral("Total physical"), QStringLiteral("Available physical"),
                    QStringLiteral("Total pagefile"), QStringLiteral("Available pagefile"),
                    QStringLiteral("Total virtual"),  QStringLiteral("Available virtual")};
    return l;
}

// The name part of a "key=value" line; empty for a line without "=".
QString nameOf(const QString& line) {
    const qsizetype at = line.indexOf(QLatin1Char('='));
    return at < 0 ? QString() : line.left(at);
}

// The value of the first line named `key`, letter case ignored.
QString valueOf(const QStringList& lines, const QString& key) {
    for (const QString& line : lines)
        if (nameOf(line).compare(key, Qt::CaseInsensitive) == 0)
            return line.mid(line.indexOf(QLatin1Char('=')) + 1);
    return {};
}

// The application's icon, else a small picture frame of our own.
QPixmap programIcon() {
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull())
        return icon.pixmap(32, 32);
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 60, 90), 1.5));
    p.setBrush(QColor(120, 180, 230));
    p.drawRoundedRect(QRectF(2.5, 5.5, 27, 21), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 210, 60));
    p.drawEllipse(QPointF(22, 11.5), 3, 3);
    QPainterPath hills;
    hills.moveTo(3.5, 25.5);
    hills.lineTo(12, 13);
    hills.lineTo(18, 20);
    hills.lineTo(21, 17);
    hills.lineTo(28.5, 25.5);
    hills.closeSubpath();
    p.setBrush(QColor(60, 140, 70));
    p.drawPath(hills);
    return pixmap;
}

} // namespace

const AboutLabels& DefaultAboutLabels() {
    static const AboutLabels labels = makeDefaultLabels();
    return labels;
}

const AboutLabels& EnglishAboutLabels() {
    static const AboutLabels labels = makeEnglishLabels();
    return labels;
}

namespace {

QFrame* aboutPanel(QWidget* parent, const char* name, QRect place) {
    auto* frame = new QFrame(parent);
    frame->setObjectName(QString::fromLatin1(name));
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setGeometry(place);
    return frame;
}

QLabel* aboutLabel(QWidget* parent, const char* name, QRect place) {
    auto* text = new QLabel(parent);
    text->setObjectName(QString::fromLatin1(name));
    text->setGeometry(place);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return text;
}

QPushButton* aboutButton(QWidget* parent, const char* name, QRect place,
                         QStyle::StandardPixmap picture) {
    auto* b = new QPushButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(place);
    b->setCursor(Qt::PointingHandCursor);
    b->setIcon(parent->style()->standardIcon(picture));
    return b;
}

} // namespace

TFrmKVVersionAbout::TFrmKVVersionAbout(QWidget* owner, const QString& programFile)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("FrmKVVersionAbout"));
    setFixedSize(313, 325);
    setFont(dialogFontOfPixels(11));
    buildInfoPanel();
    buildVersionList();
    buildButtons();

    // Centred over its owner, with the program's labels and version block.
    CenterOnOwner(this);
    setLabels(DefaultAboutLabels());
    program = programFile.isEmpty() ? QCoreApplication::applicationFilePath() : programFile;
    BitBtnVersionClick();
    ImageAppIcon->setPixmap(programIcon());
}

void TFrmKVVersionAbout::buildInfoPanel() {
    PanelInfo = aboutPanel(this, "PanelInfo", {8, 8, 297, 101});
    LabelVersionTxt = aboutLabel(PanelInfo, "LabelVersionTxt", {12, 12, 86, 16});
    LabelVersion = aboutLabel(PanelInfo, "LabelVersion", {100, 12, 148, 16});
    LabelProductTxt = aboutLabel(PanelInfo, "LabelProductTxt", {12, 28, 86, 16});
    LabelProduct = aboutLabel(PanelInfo, "LabelProduct", {100, 28, 148, 16});
    LabelDescriptionTxt = aboutLabel(PanelInfo, "LabelDescriptionTxt", {12, 44, 86, 16});
    LabelDescription = aboutLabel(PanelInfo, "LabelDescription", {100, 44, 189, 29});
    LabelDescription->setWordWrap(true);
    ImageAppIcon = aboutLabel(PanelInfo, "ImageAppIcon", {252, 12, 32, 32});
    ImageAppIcon->setAlignment(Qt::AlignCenter);
}

void TFrmKVVersionAbout::buildVersionList() {
    PanelAdditionalInfo = aboutPanel(this, "PanelAdditionalInfo", {8, 112, 297, 161});
    ListViewVersion = new QTreeWidget(PanelAdditionalInfo);
    ListViewVersion->setObjectName(QStringLiteral("ListViewVersion"));
    ListViewVersion->setGeometry(8, 8, 281, 145);
    ListViewVersion->setColumnCount(2);
    ListViewVersion->setRootIsDecorated(false);
    ListViewVersion->setItemsExpandable(false);
    ListViewVersion->setUniformRowHeights(true);
    ListViewVersion->setAllColumnsShowFocus(true);
    ListViewVersion->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewVersion->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewVersion->header()->setSectionsClickable(false);
    ListViewVersion->header()->setSectionsMovable(false);
    ListViewVersion->header()->setStretchLastSection(true);
}

void TFrmKVVersionAbout::buildButtons() {
    PanelButtons = aboutPanel(this, "PanelButtons", {8, 276, 297, 41});
    BitBtnMemory =
        aboutButton(PanelButtons, "BitBtnMemory", {8, 8, 137, 25}, QStyle::SP_DriveHDIcon);
    BitBtnVersion =
        aboutButton(PanelButtons, "BitBtnVersion", {8, 8, 137, 25}, QStyle::SP_FileDialogInfoView);
    BitBtnVersion->hide();
    BitBtnOK = aboutButton(PanelButtons, "BitBtnOK", {151, 8, 137, 25}, QStyle::SP_DialogOkButton);
    BitBtnOK->setDefault(true);
    connect(BitBtnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtnMemory, &QPushButton::clicked, this, &TFrmKVVersionAbout::BitBtnMemoryClick);
    connect(BitBtnVersion, &QPushButton::clicked, this, &TFrmKVVersionAbout::BitBtnVersionClick);
    setTabOrder(ListViewVersion, BitBtnMemory);
    setTabOrder(BitBtnMemory, BitBtnVersion);
    setTabOrder(BitBtnVersion, BitBtnOK);
    BitBtnOK->setFocus();
}

TFrmKVVersionAbout::~TFrmKVVersionAbout() = default;

void TFrmKVVersionAbout::setLabels(const AboutLabels& labels) {
    set = labels;
    applyLabels();
}

void TFrmKVVersionAbout::applyLabels() {
    setWindowTitle(set.caption + QStringLiteral(" - ") + QString(ApplicationTitle));
    LabelVersionTxt->setText(set.versionTxt);
    LabelProductTxt->setText(set.productTxt);
    LabelDescriptionTxt->setText(set.descriptionTxt);
    BitBtnVersion->setText(set.versionButton);
    BitBtnMemory->setText(set.memoryButton);
    BitBtnOK->setText(set.okButton);
}

void TFrmKVVersionAbout::addExtraLabel(const QString& line) {
    // Letter case ignored, as the labels are looked up; an equal line goes
    // after those already there.
    const QString folded = line.toCaseFolded();
    const auto at = std::upper_bound(
        extra.begin(), extra.end(), folded, [](const QString& key, const QString& other) {
            return QString::localeAwareCompare(key, other.toCaseFolded()) < 0;
        });
    extra.insert(at, line);
}

void TFrmKVVersionAbout::keyPressEvent(QKeyEvent* event) {
    // Escape presses Ok, so the dialog always closes with the result OK.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        BitBtnOK->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFrmKVVersionAbout::preparePage(const QString (&columns)[2], Qt::Alignment valueAlignment) {
    ListViewVersion->clear();
    ListViewVersion->setHeaderLabels({columns[0], columns[1]});
    ListViewVersion->headerItem()->setTextAlignment(1, valueAlignment | Qt::AlignVCenter);
}

QString TFrmKVVersionAbout::rowLabel(const QString& key) const {
    const std::pair<const char*, const QString*> standard[] = {
        {"Comments", &set.comments},
        {"CompanyName", &set.companyName},
        {"InternalName", &set.internalName},
        {"LegalCopyright", &set.legalCopyright},
        {"LegalTrademarks", &set.legalTrademarks},
        {"OriginalFilename", &set.originalFilename},
        {"ProductVersion", &set.productVersion},
    };
    for (const auto& [name, label] : standard)
        if (key == QLatin1String(name))
            return *label;
    const QString label = valueOf(extra, key);
    return label.isEmpty() ? key : label;
}

void TFrmKVVersionAbout::addVersionRow(const QString& label, const QString& value) {
    auto* row = new QTreeWidgetItem({label, value});
    row->setTextAlignment(1, Qt::AlignLeft | Qt::AlignVCenter);
    row->setToolTip(1, value); // a long value is cut off in the column
    // Rows stay in the locale's order of their labels.
    int at = 0;
    while (at < ListViewVersion->topLevelItemCount() &&
           QString::localeAwareCompare(ListViewVersion->topLevelItem(at)->text(0), label) <= 0)
        ++at;
    ListViewVersion->insertTopLevelItem(at, row);
}

void TFrmKVVersionAbout::BitBtnVersionClick() {
    BitBtnMemory->show();
    if (BitBtnVersion->hasFocus())
        BitBtnMemory->setFocus();
    BitBtnVersion->hide();

    LabelVersion->setText(set.notAvailable);
    LabelProduct->clear();
    LabelDescription->clear();
    preparePage(set.versionColumns, Qt::AlignLeft);

    QStringList lines;
    try {
        lines = GetVersionStrings(program);
    } catch (const Error&) {
        // A block we cannot read shows as no version information at all.
    }
    ImageAppIcon->setPixmap(programIcon());

    for (const QString& line : lines) {
        const QString key = nameOf(line);
        const QString value = valueOf(lines, key);
        if (key == QLatin1String("FileDescription"))
            LabelDescription->setText(value);
        else if (key == QLatin1String("ProductName"))
            LabelProduct->setText(value);
        else if (key == QLatin1String("FileVersion"))
            LabelVersion->setText(value);
        else if (!value.isEmpty())
            addVersionRow(rowLabel(key), value);
    }
    ListViewVersion->resizeColumnToContents(0);
}

void TFrmKVVersionAbout::BitBtnMemoryClick() {
    BitBtnVersion->show();
    if (BitBtnMemory->hasFocus())
        BitBtnVersion->setFocus();
    BitBtnMemory->hide();

    preparePage(set.memoryColumns, Qt::AlignRight);
    const MemoryFigures m = GetMemoryStatus();
    const quint64 figures[] = {m.totalPhysical,     m.availablePhysical, m.totalPageFile,
                               m.availablePageFile, m.totalVirtual,      m.availableVirtual};
    for (int i = 0; i < 6; ++i) {
        auto* row = new QTreeWidgetItem({set.memoryRows[i], formatByteCount(figures[i])});
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        ListViewVersion->addTopLevelItem(row);
    }
    ListViewVersion->resizeColumnToContents(0);
}

void ShowAboutVersion(QWidget* owner, Prompts& prompts, const QStringList& extraLabels,
                      bool english) {
    ShowAboutVersion(owner, prompts, extraLabels, english, QString());
}

void ShowAboutVersion(QWidget* owner, Prompts& prompts, const QStringList& extraLabels,
                      bool english, const QString& programFile) {
    TFrmKVVersionAbout dialog(owner, programFile);
    if (english)
        dialog.setLabels(EnglishAboutLabels());
    dialog.clearExtraLabels();
    for (const QString& line : extraLabels)
        dialog.addExtraLabel(line);
    if (english || !extraLabels.isEmpty())
        dialog.BitBtnVersionClick();
    prompts.runModal(dialog);
}

} // namespace sortello
