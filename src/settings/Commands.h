// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every command of the main window as one row: its id, its menu item's name
// (also its settings key) and caption, the menus that show it, its default
// shortcut, where its check state is kept, and its row in the setup dialog's
// shortcut list. The menu, the key dispatch, the settings reader and writer
// and the setup dialog all walk this table, so adding a command is one row
// here and its handler. Some keys are spelled unevenly (SRINAutosize beside
// SRIEAutoSize); files already out there use these spellings, so they stay.
#include "settings/ShortCutCode.h"

#include <QString>
#include <QtGlobal>
#include <array>
#include <cstddef>

namespace sortello {

enum class Command {
    None,
    Setup,
    UpdateFileList,
    ReplaceExisting,
    RemoveNew,
    MoveAs,
    AutoMoveMultipleAs,
    MoveNonExisting,
    RemoveIdentical,
    ShowFilesMoved,
    ShowNew,
    NewAutoSize,
    NewCenter,
    NewStretch,
    NewProportional,
    NewTransparent,
    ShowExisting,
    ExistingAutoSize,
    ExistingCenter,
    ExistingStretch,
    ExistingProportional,
    ExistingTransparent,
    ExistingHide,
    InverseSplit,
    ShowAbout,
};

// Command and Check are menu items, the second with a check mark; Header and
// Separator are menu items that do nothing and head a group of the setup
// list; a Binding is a shortcut without a menu item.
enum class ItemKind { Command, Check, Header, Separator, Binding };

// What the context menu was opened on.
enum class MenuTarget { Window, FileList, NewImage, ExistingImage, Other };

// The targets whose menu shows an item; the window's own menu shows all.
enum ShownFor : unsigned {
    ForNone = 0,
    ForFileList = 0x1,
    ForNewImage = 0x2,
    ForExistingImage = 0x4,
    ForOther = 0x8,
    ForImages = ForNewImage | ForExistingImage,
    ForAll = ForFileList | ForImages | ForOther,
};

struct CommandRow {
    Command id;
    const char* name;    // the menu item's object name and the settings key
    const char* caption; // in the menu
    ItemKind kind;
    unsigned shownFor;      // ShownFor flags
    quint16 defaultCode;    // the default shortcut, 0 for none
    const char* setupLabel; // its label or heading in the setup list; none when not offered
    int checkSlot;          // its place in the saved check states; -1 for none
    bool checkedByDefault;
};

// In menu order, which is also the setup list's order.
inline constexpr std::array<CommandRow, 28> CommandTable{{
    {Command::Setup, "SRISetup", "Setup", ItemKind::Command, ForAll, 32851, "Setup", -1, false},
    {Command::None, "SRFiles", "Files", ItemKind::Header, ForNone, 0, "- Files -", -1, false},
    {Command::UpdateFileList, "SRFUpdateFileList", "Update file list", ItemKind::Command,
     ForFileList, 116, "Update file list", -1, false},
    {Command::ReplaceExisting, "SRFReplaceExisting", "Replace existing", ItemKind::Command,
     ForFileList, 16423, "Replace existing", -1, false},
    {Command::RemoveNew, "SRFRemoveNew", "Remove new", ItemKind::Command, ForFileList, 16421,
     "Remove new", -1, false},
    {Command::MoveAs, "SRFMoveAs", "Move as ...", ItemKind::Command, ForFileList, 32807,
     "Move as...", -1, false},
    {Command::AutoMoveMultipleAs, "SRFAutoMoveMultipleAs", "Auto move selected as",
     ItemKind::Command, ForFileList, 40999, "Auto move selected as", -1, false},
    {Command::MoveNonExisting, "SRFMoveNonExisting", "Move non existing", ItemKind::Command,
     ForFileList, 49191, "Move non existing", -1, false},
    // Ctrl+Alt+Left: the removing side of Move non existing's key, as Remove
    // new's is of Replace existing's.
    {Command::RemoveIdentical, "SRFRemoveIdentical", "Remove identical", ItemKind::Command,
     ForFileList, 49189, "Remove identical", -1, false},
    {Command::ShowFilesMoved, "SRFShowFilesMoved", "Show files moved", ItemKind::Check, ForFileList,
     32801, "Show files moved", 1, true},
    {Command::None, "SRImageNew", "New image", ItemKind::Header, ForNone, 0, "- New image -", -1,
     false},
    {Command::ShowNew, "SRINShow", "", ItemKind::Binding, ForNone, 32846, "Show", -1, false},
    {Command::NewAutoSize, "SRINAutosize", "Auto size", ItemKind::Check, ForNewImage, 0,
     "Auto size", 2, true},
    {Command::NewCenter, "SRINCenter", "Center", ItemKind::Check, ForNewImage, 0, "Center", 3,
     true},
    {Command::NewStretch, "SRINStretch", "Stretch", ItemKind::Check, ForNewImage, 8229, "Stretch",
     4, true},
    {Command::NewProportional, "SRINProportional", "Proportional", ItemKind::Check, ForNewImage, 0,
     "Proportional", 5, true},
    {Command::NewTransparent, "SRINTransparent", "Transparent", ItemKind::Check, ForNewImage, 0,
     "Transparent", 6, false},
    {Command::None, "SRImageExisting", "Existing imge", ItemKind::Header, ForNone, 0,
     "- Existing image -", -1, false},
    {Command::ShowExisting, "SRIEShow", "", ItemKind::Binding, ForNone, 32837, "Show", -1, false},
    {Command::ExistingAutoSize, "SRIEAutoSize", "Auto size", ItemKind::Check, ForExistingImage, 0,
     "Auto size", 7, true},
    {Command::ExistingCenter, "SRIECenter", "Center", ItemKind::Check, ForExistingImage, 0,
     "Center", 8, true},
    {Command::ExistingStretch, "SRIEStretch", "Stretch", ItemKind::Check, ForExistingImage, 8231,
     "Stretch", 9, true},
    {Command::ExistingProportional, "SRIEProportional", "Proportional", ItemKind::Check,
     ForExistingImage, 0, "Proportional", 10, true},
    {Command::ExistingTransparent, "SRIETransparent", "Transparent", ItemKind::Check,
     ForExistingImage, 0, "Transparent", 11, false},
    {Command::ExistingHide, "SRIEHide", "Hide", ItemKind::Check, ForExistingImage, 0, "Hide", 12,
     false},
    {Command::None, "SRIBSplit", "", ItemKind::Separator, ForNone, 0, "- Misc -", -1, false},
    // Its check state is the arrangement of the panes; the caller gives the default.
    {Command::InverseSplit, "SRIBInverseSplit", "Inverse split", ItemKind::Command, ForImages,
     32802, "Inverse split", 0, false},
    // Only ever changed by editing the file by hand. The caption is that of
    // the about box's own item, which always names the default key.
    {Command::ShowAbout, "SRIShowAbout", "&About ...", ItemKind::Binding, ForNone, 8304, nullptr,
     -1, false},
}};

constexpr bool isMenuItem(const CommandRow& row) {
    return row.kind != ItemKind::Binding;
}
constexpr bool hasShortcut(const CommandRow& row) {
    return row.kind == ItemKind::Command || row.kind == ItemKind::Check ||
           row.kind == ItemKind::Binding;
}
constexpr bool isSetupRow(const CommandRow& row) {
    return row.setupLabel != nullptr;
}
constexpr bool isSetupHeading(const CommandRow& row) {
    return isSetupRow(row) && (row.kind == ItemKind::Header || row.kind == ItemKind::Separator);
}

template <typename Test> constexpr std::size_t countRows(Test test) {
    std::size_t count = 0;
    for (const CommandRow& row : CommandTable)
        count += test(row) ? 1 : 0;
    return count;
}

// The rows one reader walks, in the table's order.
template <std::size_t Count, typename Test> constexpr auto selectRows(Test test) {
    std::array<CommandRow, Count> rows{};
    std::size_t at = 0;
    for (const CommandRow& row : CommandTable)
        if (test(row))
            rows[at++] = row;
    return rows;
}

// The context menu's items, in menu order.
inline constexpr auto PopupMenuItems = selectRows<countRows(isMenuItem)>(isMenuItem);

// The rows of the setup dialog's shortcut list: one for each row of the table
// with a setup label, in the table's order.
inline constexpr int SetupShortcutRows = int(countRows(isSetupRow));

// The row of the setup list that a table row has, -1 when it has none.
constexpr int setupRowOf(std::size_t index) {
    if (!isSetupRow(CommandTable[index]))
        return -1;
    int row = 0;
    for (std::size_t i = 0; i < index; ++i)
        row += isSetupRow(CommandTable[i]) ? 1 : 0;
    return row;
}

// The table row of a name, -1 when none has it.
int commandIndexOf(const char* name);

// Whether an item shows in the menu opened on a target.
bool itemVisibleFor(const CommandRow& item, MenuTarget target);

// The caption with its shortcut's text set off by a tab, as a menu shows it.
QString captionWithShortcut(const CommandRow& item, ShortCutCode code);

} // namespace sortello
