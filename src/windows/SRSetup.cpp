// SPDX-License-Identifier: GPL-3.0-or-later
// The setup dialog's window, its folder-character list and the reading and
// writing of the settings file; the shortcut list is in SRSetupShortcuts.cpp.
#include "windows/SRSetup.h"

#include "base/Error.h"
#include "base/Misc.h"
#include "base/Prompts.h"
#include "settings/FolderChars.h"
#include "settings/SettingsFile.h"
#include "widgets/DialogParts.h"
#include "widgets/KeyCaptureEdit.h"
#include "widgets/Utility.h"
#include "windows/SRFolderChar.h"

#include <QCheckBox>
#include <QCollator>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>

namespace sortello {

namespace {

QString text(const char* latin1) {
    return QString::fromLatin1(latin1);
}

QString quoted(const QString& value) {
    return QLatin1Char('"') + value + QLatin1Char('"');
}

bool sameKey(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The list keeps its lines in the platform's case-blind order.
QCollator lineOrder() {
    QCollator order;
    order.setCaseSensitivity(Qt::CaseInsensitive);
    return order;
}

int sortedPosition(const QListWidget* list, const QString& line) {
    const QCollator order = lineOrder();
    int at = list->count();
    while (at > 0 && order.compare(list->item(at - 1)->text(), line) > 0)
        --at;
    return at;
}

} // namespace

QString setupDiverseDefault() {
    return QDir::homePath() + QStringLiteral("/Temp/");
}

TFrmSRSetup::TFrmSRSetup(Prompts& prompts, QString settingsPath, QWidget* parent)
    : QDialog(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      ask(prompts), iniPath(std::move(settingsPath)) {
    setObjectName(QStringLiteral("TFrmSRSetup"));
    setWindowTitle(QStringLiteral("Sortello - Setup"));
    setWindowOpacity(240.0 / 255.0);
    setFont(dialogFont(8));
    buildControls();
    BitBtnFolderSource->setFocus();
    LoadSetup();
    CenterOnOwner(this);
}

void TFrmSRSetup::buildControls() {
    const QSize client = QSize(554, 271) - ToolWindowFrame;
    resize(client);
    setMinimumSize(client);

    PanelMain = makePanel("PanelMain", this, true);
    (new PinnedPlacement(this, client))
        ->place(PanelMain, QRect(QPoint(0, 0), client), PinLeft | PinTop | PinRight | PinBottom);
    auto* main = new PinnedPlacement(PanelMain, client);

    buildFolderControls(*main);

    PanelShortcuts = makePanel("PanelShortcuts", PanelMain, false);
    main->place(PanelShortcuts, {249, 4, 293, 192}, PinTop | PinRight | PinBottom);
    buildShortcutList(PanelShortcuts);

    buildButtons(*main);
    chainAndConnect();
}

void TFrmSRSetup::buildFolderControls(PinnedPlacement& main) {
    PanelControls = makePanel("PanelControls", PanelMain, false);
    main.place(PanelControls, {4, 4, 242, 192}, PinLeft | PinTop | PinRight | PinBottom);
    auto* controls = new PinnedPlacement(PanelControls, {242, 192});
    LabelFolderSource = new QLabel(text("&Source folder"), PanelControls);
    LabelFolderSource->setObjectName(QStringLiteral("LabelFolderSource"));
    controls->place(LabelFolderSource, {8, 8});
    EditFolderSource = new QLineEdit(PanelControls);
    EditFolderSource->setObjectName(QStringLiteral("EditFolderSource"));
    EditFolderSource->setReadOnly(true);
    EditFolderSource->setEnabled(false);
    controls->place(EditFolderSource, {8, 24, 206, 22}, PinLeft | PinTop | PinRight);
    BitBtnFolderSource = makeButton("BitBtnFolderSource", text("..."), PanelControls);
    controls->place(BitBtnFolderSource, {212, 24, 22, 22}, PinTop | PinRight);
    LabelFolderSource->setBuddy(BitBtnFolderSource);

    LabelFolderChars = new QLabel(text("&Folder chars"), PanelControls);
    LabelFolderChars->setObjectName(QStringLiteral("LabelFolderChars"));
    controls->place(LabelFolderChars, {8, 48});
    ListBoxFolderChars = new QListWidget(PanelControls);
    ListBoxFolderChars->setObjectName(QStringLiteral("ListBoxFolderChars"));
    ListBoxFolderChars->setItemDelegate(new AccentRoomDelegate(ListBoxFolderChars, 14));
    ListBoxFolderChars->setUniformItemSizes(true);
    ListBoxFolderChars->setSelectionMode(QAbstractItemView::SingleSelection);
    controls->place(ListBoxFolderChars, {8, 64, 226, 96}, PinLeft | PinTop | PinRight | PinBottom);
    LabelFolderChars->setBuddy(ListBoxFolderChars);
    BitBtnEdit = makeButton("BitBtnEdit", text("&Edit"), PanelControls);
    controls->place(BitBtnEdit, {8, 160, 75, 25}, PinLeft | PinBottom);
    BitBtnAdd = makeButton("BitBtnAdd", text("&Add"), PanelControls);
    controls->place(BitBtnAdd, {84, 160, 75, 25}, PinLeft | PinBottom);
    BitBtnRemove = makeButton("BitBtnRemove", text("&Remove"), PanelControls);
    controls->place(BitBtnRemove, {160, 160, 75, 25}, PinLeft | PinBottom);
}

void TFrmSRSetup::buildButtons(PinnedPlacement& main) {
    PanelButtons = makePanel("PanelButtons", PanelMain, false);
    main.place(PanelButtons, {4, 199, 538, 41}, PinLeft | PinRight | PinBottom);
    auto* buttons = new PinnedPlacement(PanelButtons, {538, 41});
    BitBtnOk = makeButton("BitBtnOk", text("OK"), PanelButtons);
    BitBtnOk->setDefault(true);
    buttons->place(BitBtnOk, {300, 8, 75, 25}, PinTop | PinRight);
    BitBtnRestore = makeButton("BitBtnRestore", text("Res&tore"), PanelButtons);
    buttons->place(BitBtnRestore, {376, 8, 75, 25}, PinTop | PinRight);
    BitBtnCancel = makeButton("BitBtnCancel", text("Cancel"), PanelButtons);
    buttons->place(BitBtnCancel, {452, 8, 75, 25}, PinTop | PinRight);
    buildOptionBoxes(*buttons);
}

// Left of the buttons, one above the other, where the panel has room.
void TFrmSRSetup::buildOptionBoxes(PinnedPlacement& buttons) {
    CheckBoxTrash = new QCheckBox(text("Deleted pictures go to the trash"), PanelButtons);
    CheckBoxTrash->setObjectName(QStringLiteral("CheckBoxTrash"));
    buttons.place(CheckBoxTrash, {8, 3, 284, 17}, PinLeft | PinTop);
    CheckBoxListModernFormats =
        new QCheckBox(text("List PNG, WebP, TIFF, HEIC and AVIF too"), PanelButtons);
    CheckBoxListModernFormats->setObjectName(QStringLiteral("CheckBoxListModernFormats"));
    buttons.place(CheckBoxListModernFormats, {8, 21, 284, 17}, PinLeft | PinTop);
}

// Tab order follows the panels from top left; each button runs its handler.
void TFrmSRSetup::chainAndConnect() {
    QWidget* const chain[] = {BitBtnFolderSource,
                              ListBoxFolderChars,
                              BitBtnEdit,
                              BitBtnAdd,
                              BitBtnRemove,
                              CheckBoxTrash,
                              CheckBoxListModernFormats,
                              BitBtnOk,
                              BitBtnRestore,
                              BitBtnCancel,
                              ValueListEditorShortCuts,
                              HotKeyShortcut,
                              BitBtnShortCutUpdate};
    for (std::size_t i = 1; i < std::size(chain); ++i)
        setTabOrder(chain[i - 1], chain[i]);

    connect(BitBtnFolderSource, &QPushButton::clicked, this, &TFrmSRSetup::BitBtnFolderSourceClick);
    connect(BitBtnEdit, &QPushButton::clicked, this, &TFrmSRSetup::BitBtnEditClick);
    connect(BitBtnAdd, &QPushButton::clicked, this, &TFrmSRSetup::BitBtnAddClick);
    connect(BitBtnRemove, &QPushButton::clicked, this, &TFrmSRSetup::BitBtnRemoveClick);
    connect(BitBtnShortCutUpdate, &QPushButton::clicked, this,
            &TFrmSRSetup::BitBtnShortCutUpdateClick);
    connect(BitBtnOk, &QPushButton::clicked, this, &TFrmSRSetup::BitBtnOkClick);
    connect(BitBtnRestore, &QPushButton::clicked, this, &TFrmSRSetup::BitBtnRestoreClick);
    connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QStringList TFrmSRSetup::folderCharLines() const {
    QStringList lines;
    for (int i = 0; i < ListBoxFolderChars->count(); ++i)
        lines.append(ListBoxFolderChars->item(i)->text());
    return lines;
}

SetupResult TFrmSRSetup::result() const {
    SetupResult values{EditFolderSource->text(), folderCharLines(), {}, CheckBoxTrash->isChecked()};
    values.listModernFormats = CheckBoxListModernFormats->isChecked();
    for (int i = 0; i < SetupShortcutCount; ++i)
        values.codes[i] = rowCodes[ShortcutSettings[i].row];
    return values;
}

ShortCutCode TFrmSRSetup::rowCode(int row) const {
    return row >= 0 && row < SetupShortcutRows ? rowCodes[row] : 0;
}

void TFrmSRSetup::LoadSetup() {
    QStringList lines;
    {
        SettingsFile settings(iniPath);
        EditFolderSource->setText(
            settings.ReadText(text(SectionFolders), text(KeySource), QStringLiteral("/")));
        settings.ReadKeyLines(text(SectionChars), lines);
        rowCodes.fill(0);
        for (int i = 0; i < SetupShortcutCount; ++i) {
            const ShortcutSetting& setting = ShortcutSettings[i];
            rowCodes[setting.row] = shortCutFromNumber(settings.ReadNumber(
                text(SectionShortcuts), text(setting.key), setting.defaultCode));
        }
        CheckBoxTrash->setChecked(
            settings.ReadFlag(text(SectionOptions), text(KeyDeletedToTrash), false));
        CheckBoxListModernFormats->setChecked(settings.ReadFlag(
            text(SectionFormats), text(KeyListModernFormats), ListModernFormatsByDefault));
    }
    const QCollator order = lineOrder();
    std::stable_sort(lines.begin(), lines.end(), [&order](const QString& a, const QString& b) {
        return order.compare(a, b) < 0;
    });
    ListBoxFolderChars->clear();
    ListBoxFolderChars->addItems(lines);
    giveDiverseItsDefault();
    for (int i = ListBoxFolderChars->count() - 1; i >= 0; --i)
        if (lineValue(ListBoxFolderChars->item(i)->text()).isEmpty())
            delete ListBoxFolderChars->takeItem(i);

    for (int row = 0; row < SetupShortcutRows; ++row)
        showRow(row);
    ValueListEditorShortCutsClick();
}

bool TFrmSRSetup::SaveSetup() {
    giveDiverseItsDefault();
    struct Entry {
        QString section;
        QString key;
        QString value;
    };
    std::vector<Entry> chars;
    const FolderChars table(folderCharLines());
    for (const QString& line : table.lines()) {
        const QString key = lineKey(line);
        chars.push_back({text(SectionChars), key, quoted(table.valueOf(key))});
    }
    const Entry source{text(SectionFolders), text(KeySource), quoted(EditFolderSource->text())};

    SettingsFile settings(iniPath);
    // Every value is known to fit before "Chars" goes, so a value the file
    // cannot hold leaves the file as it was and the dialog open to fix it.
    try {
        settings.CheckText(source.section, source.key, source.value);
        for (const Entry& entry : chars)
            settings.CheckText(entry.section, entry.key, entry.value);
    } catch (const Error& error) {
        showErrorBox(ask, this, error.message() + QStringLiteral("\rNothing has been saved."),
                     MessageButton::Ok);
        return false;
    }
    // A file that never had the trash turned on is left without the key.
    const bool trash = CheckBoxTrash->isChecked();
    const bool writeTrash =
        trash || settings.ReadFlag(text(SectionOptions), text(KeyDeletedToTrash), false);
    // One replace for the whole batch: a crash never leaves "Chars" removed
    // and not yet written anew.
    try {
        settings.Hold();
        settings.WriteText(source.section, source.key, source.value);
        if (writeTrash)
            settings.WriteFlag(text(SectionOptions), text(KeyDeletedToTrash), trash);
        settings.RemoveSection(text(SectionChars));
        for (const Entry& entry : chars)
            settings.WriteText(entry.section, entry.key, entry.value);
        for (int i = 0; i < SetupShortcutCount; ++i)
            settings.WriteNumber(text(SectionShortcuts), text(ShortcutSettings[i].key),
                                 rowCodes[ShortcutSettings[i].row]);
        // A file that never had the choice keeps the sections it always had.
        const bool modern = CheckBoxListModernFormats->isChecked();
        if (modern ||
            settings.ReadNumber(text(SectionFormats), text(KeyListModernFormats), -1) != -1)
            settings.WriteFlag(text(SectionFormats), text(KeyListModernFormats), modern);
        settings.Commit();
    } catch (const Error& error) {
        showApplicationError(ask, this, error.message());
    }
    return true;
}

// Rewrites the line of the key in place, under the key as given now, or adds
// a line in sorted place.
void TFrmSRSetup::setFolderOf(const QString& key, const QString& folder) {
    const QString line = key + QLatin1Char('=') + folder;
    for (int i = 0; i < ListBoxFolderChars->count(); ++i) {
        if (sameKey(lineKey(ListBoxFolderChars->item(i)->text()), key)) {
            ListBoxFolderChars->item(i)->setText(line);
            return;
        }
    }
    ListBoxFolderChars->insertItem(sortedPosition(ListBoxFolderChars, line), line);
}

void TFrmSRSetup::giveDiverseItsDefault() {
    const FolderChars chars(folderCharLines());
    if (!chars.valueOf(DiverseKey).isEmpty())
        return;
    // A line that is there without a folder keeps its spelling of the key.
    QString key = DiverseKey;
    for (const QString& line : chars.lines()) {
        if (sameKey(lineKey(line), DiverseKey)) {
            key = lineKey(line);
            break;
        }
    }
    setFolderOf(key, setupDiverseDefault());
}

int TFrmSRSetup::selectedLine() const {
    const QList<QListWidgetItem*> chosen = ListBoxFolderChars->selectedItems();
    return chosen.isEmpty() ? -1 : ListBoxFolderChars->row(chosen.first());
}

void TFrmSRSetup::BitBtnFolderSourceClick() {
    BusyCursor busy;
    const auto chosen =
        ask.browseFolder(this, QStringLiteral("Select a source folder"), EditFolderSource->text());
    if (chosen && !refuseUnstorableFolder(ask, this, *chosen))
        EditFolderSource->setText(withTrailingSeparator(*chosen));
}

void TFrmSRSetup::BitBtnEditClick() {
    const int at = selectedLine();
    if (at < 0) {
        BitBtnAddClick();
        return;
    }
    TFrmSRFolderChar editor(ask, this);
    BusyCursor busy;
    const QString key = lineKey(ListBoxFolderChars->item(at)->text());
    editor.setEditMode(key, FolderChars(folderCharLines()).valueOf(key));
    if (ask.runModal(editor) == QDialog::Accepted)
        setFolderOf(editor.character(), editor.folder());
}

void TFrmSRSetup::BitBtnAddClick() {
    TFrmSRFolderChar editor(ask, this);
    BusyCursor busy;
    editor.setAddMode();
    if (ask.runModal(editor) == QDialog::Accepted)
        setFolderOf(editor.character(), editor.folder());
}

void TFrmSRSetup::BitBtnRemoveClick() {
    const int at = selectedLine();
    if (at < 0)
        return;
    BusyCursor busy;
    if (asciiUpper(lineKey(ListBoxFolderChars->item(at)->text())) == QLatin1String("DIVERSE")) {
        ask.message(this, QStringLiteral("Warning"),
                    QStringLiteral("\"Diverse\" can not be removed!"), MessageIcon::Warning,
                    MessageButton::Cancel);
        return;
    }
    delete ListBoxFolderChars->takeItem(at);
    // As after any removal, no line is chosen until the user picks one.
    ListBoxFolderChars->setCurrentRow(-1);
}

void TFrmSRSetup::BitBtnOkClick() {
    // Confirmed before the save, so a failed write still hands the values on.
    setResult(QDialog::Accepted);
    if (!SaveSetup()) {
        setResult(QDialog::Rejected);
        return;
    }
    accept();
}

void TFrmSRSetup::BitBtnRestoreClick() {
    LoadSetup();
}

std::optional<SetupResult> runSetupDialog(QWidget* owner, Prompts& prompts,
                                          const QString& settingsPath) {
    TFrmSRSetup dialog(prompts, settingsPath, owner);
    BusyCursor busy;
    if (prompts.runModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    return dialog.result();
}

} // namespace sortello
