// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sections and keys of the settings file. Every reader and writer of a
// section walks the same table, so the loader, the saver, the menu, the
// dispatcher and the setup dialog can never disagree on a key's spelling, its
// order in the file or its default. The shortcuts and the check states are
// read off the command table.
#include "settings/Commands.h"

#include <QtGlobal>
#include <algorithm>
#include <array>

namespace sortello {

inline constexpr const char* SectionFolders = "Folders";
inline constexpr const char* SectionChars = "Chars";
inline constexpr const char* SectionShortcuts = "Shortcuts";
inline constexpr const char* SectionMenuSelection = "MenuSelection";
inline constexpr const char* SectionMenuSelectionPreview = "MenuSelectionPreview";
inline constexpr const char* KeySource = "Source";
// Whether removed and replaced pictures go to the trash; a file from before
// the key existed deletes for good, as it always did.
inline constexpr const char* SectionOptions = "Options";
inline constexpr const char* KeyDeletedToTrash = "DeletedToTrash";
// Which files are listed: a section of its own, so that files written before
// it existed read as they always did, with the default patterns alone.
inline constexpr const char* SectionFormats = "Formats";
inline constexpr const char* KeyListModernFormats = "ListModernFormats";
inline constexpr bool ListModernFormatsByDefault = false;

// One command's shortcut code: bits 0-7 the virtual-key code, 8192 Shift,
// 16384 Ctrl, 32768 Alt, 0 for none. row is the command's row in the setup
// dialog's shortcut list, -1 (with an empty label) when the dialog does not
// offer it.
struct ShortcutSetting {
    const char* key;
    int row;
    const char* rowLabel;
    quint16 defaultCode;
};

namespace detail {

constexpr auto shortcutSettings() {
    std::array<ShortcutSetting, countRows(hasShortcut)> settings{};
    std::size_t at = 0;
    for (std::size_t i = 0; i < CommandTable.size(); ++i) {
        const CommandRow& row = CommandTable[i];
        if (hasShortcut(row))
            settings[at++] = {row.name, setupRowOf(i), row.setupLabel ? row.setupLabel : "",
                              row.defaultCode};
    }
    return settings;
}

} // namespace detail

// In the command table's order. The setup dialog reads and writes the first
// SetupShortcutCount entries; the main window reads all of them.
inline constexpr auto ShortcutSettings = detail::shortcutSettings();
inline constexpr int SetupShortcutCount =
    int(countRows([](const CommandRow& row) { return hasShortcut(row) && isSetupRow(row); }));

// The check states of the main window's view commands, saved in this order.
// For SRIBInverseSplit the caller's default is the current arrangement.
struct MenuSelectionSetting {
    const char* key;
    bool defaultOn;
};

namespace detail {

constexpr auto menuSelectionSettings() {
    constexpr auto saved = [](const CommandRow& row) { return row.checkSlot >= 0; };
    std::array<MenuSelectionSetting, countRows(saved)> settings{};
    for (const CommandRow& row : CommandTable)
        if (saved(row))
            settings[std::size_t(row.checkSlot)] = {row.name, row.checkedByDefault};
    return settings;
}

} // namespace detail

inline constexpr auto MenuSelectionSettings = detail::menuSelectionSettings();
// Two rows given one place would leave another place empty.
static_assert(std::ranges::all_of(MenuSelectionSettings,
                                  [](const MenuSelectionSetting& setting) { return setting.key; }),
              "every saved check state has a row of its own");

// The image viewer's view options, kept from one opening of the viewer to the
// next: the name of its menu item, which is also the key, its caption, the
// option it sets and its check mark when the file has none.
enum class PreviewOption { AutoSize, Center, Proportional, Stretch, Transparent };

struct PreviewSetting {
    const char* key;
    const char* caption;
    PreviewOption option;
    bool defaultOn;
};

inline constexpr std::array<PreviewSetting, 5> MenuSelectionPreviewSettings = {{
    {"MIImgAutoSize", "AutoSize", PreviewOption::AutoSize, true},
    {"MIImgCenter", "Center", PreviewOption::Center, true},
    {"MIImgProportional", "Proportional", PreviewOption::Proportional, true},
    {"MIImgStretch", "Stretch", PreviewOption::Stretch, true},
    {"MIImgTransparent", "Transparent", PreviewOption::Transparent, false},
}};

} // namespace sortello
