// SPDX-License-Identifier: GPL-3.0-or-later
// The setup dialog's shortcut list: a row of label and shortcut text for each
// command the command table offers, under its group's heading, and the capture
// field that edits the code of the current row.
#include "widgets/DialogParts.h"
#include "widgets/KeyCaptureEdit.h"
#include "windows/SRFolderChar.h"
#include "windows/SRSetup.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

namespace sortello {

namespace {

// The command table's row shown in a row of the list.
const CommandRow* commandOfRow(int row) {
    for (std::size_t i = 0; i < CommandTable.size(); ++i)
        if (setupRowOf(i) == row)
            return &CommandTable[i];
    return nullptr;
}

const char* labelOfRow(int row) {
    const CommandRow* command = commandOfRow(row);
    return command ? command->setupLabel : "";
}

// A row without a shortcut shows a no-break space, never an empty cell.
QString shownText(const QString& text) {
    return text.isEmpty() ? QString(QChar(0x00A0)) : text;
}

} // namespace

bool isShortcutHeadingRow(int row) {
    const CommandRow* command = commandOfRow(row);
    return command && isSetupHeading(*command);
}

void TFrmSRSetup::buildShortcutList(QWidget* panel) {
    auto* place = new PinnedPlacement(panel, {293, 192});
    LabelShortcuts = new QLabel(QStringLiteral("Short&cuts"), panel);
    LabelShortcuts->setObjectName(QStringLiteral("LabelShortcuts"));
    place->place(LabelShortcuts, {8, 8});

    auto* list = new QTableWidget(SetupShortcutRows, 2, panel);
    ValueListEditorShortCuts = list;
    list->setObjectName(QStringLiteral("ValueListEditorShortCuts"));
    list->horizontalHeader()->hide();
    list->verticalHeader()->hide();
    list->verticalHeader()->setMinimumSectionSize(1);
    list->verticalHeader()->setDefaultSectionSize(18);
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // Both columns widen together with the control, as they were drawn (127, 128).
    list->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectItems);
    list->setTabKeyNavigation(false);
    list->setWordWrap(false);
    list->setCornerButtonEnabled(false);
    for (int row = 0; row < SetupShortcutRows; ++row) {
        // The label column is fixed: never current, drawn like a button face.
        auto* label = new QTableWidgetItem(QString::fromLatin1(labelOfRow(row)));
        label->setFlags(Qt::NoItemFlags);
        label->setBackground(list->palette().brush(QPalette::Button));
        label->setForeground(list->palette().brush(QPalette::ButtonText));
        list->setItem(row, 0, label);
        auto* value = new QTableWidgetItem;
        value->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        list->setItem(row, 1, value);
    }
    list->setCurrentCell(0, 1);
    place->place(list, {8, 24, 277, 136}, PinLeft | PinTop | PinRight | PinBottom);
    LabelShortcuts->setBuddy(list);

    HotKeyShortcut = new KeyCaptureEdit(panel);
    HotKeyShortcut->setObjectName(QStringLiteral("HotKeyShortcut"));
    HotKeyShortcut->hide();
    place->place(HotKeyShortcut, {8, 164, 201, 19}, PinLeft | PinRight | PinBottom);
    BitBtnShortCutUpdate =
        makeButton("BitBtnShortCutUpdate", QStringLiteral("&Update"), panel, false);
    BitBtnShortCutUpdate->hide();
    place->place(BitBtnShortCutUpdate, {208, 160, 77, 25}, PinRight | PinBottom);

    connect(list, &QTableWidget::currentCellChanged, this, [this](int row, int column) {
        if (row >= 0 && column != 1) {
            ValueListEditorShortCuts->setCurrentCell(row, 1);
            return;
        }
        if (row != shownRow)
            ValueListEditorShortCutsClick();
    });
}

void TFrmSRSetup::showRow(int row) {
    const QString code = isShortcutHeadingRow(row) ? QString() : shortCutToText(rowCodes[row]);
    ValueListEditorShortCuts->item(row, 1)->setText(shownText(code));
}

void TFrmSRSetup::ValueListEditorShortCutsClick() {
    const int row = ValueListEditorShortCuts->currentRow();
    shownRow = row;
    if (row < 0 || isShortcutHeadingRow(row)) {
        HotKeyShortcut->hide();
        BitBtnShortCutUpdate->hide();
        return;
    }
    HotKeyShortcut->show();
    BitBtnShortCutUpdate->show();
    HotKeyShortcut->setValue(rowCodes[row]);
}

void TFrmSRSetup::BitBtnShortCutUpdateClick() {
    const int row = ValueListEditorShortCuts->currentRow();
    if (row >= 0 && !isShortcutHeadingRow(row)) {
        rowCodes[row] = HotKeyShortcut->value();
        showRow(row);
    }
    ValueListEditorShortCuts->setFocus();
}

} // namespace sortello
