// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sections and keys of the settings file. Every reader and writer of a
// section walks the same table, so the loader, the saver, the menu, the
// dispatcher and the setup dialog can never disagree on a key's spelling, its
// order in the file or its default. Some keys are spelled unevenly
// (SRINAutosize beside SRIEAutoSize); files already out there use these
// spellings, so they stay.
#include <QtGlobal>
#include <array>

namespace sortello {

inline constexpr const char* SectionFolders = "Folders";
inline constexpr const char* SectionChars = "Chars";
inline constexpr const char* SectionShortcuts = "Shortcuts";
inline constexpr const char* SectionMenuSelection = "MenuSelection";
inline constexpr const char* SectionMenuSelectionPreview = "MenuSelectionPreview";
inline constexpr const char* KeySource = "Source";

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

// The setup dialog reads and writes the first SetupShortcutCount entries, in
// this order; the main window reads all of them.
inline constexpr std::array<ShortcutSetting, 23> ShortcutSettings = {{
    {"SRISetup", 0, "Setup", 32851},
    {"SRFUpdateFileList", 2, "Update file list", 116},
    {"SRFReplaceExisting", 3, "Replace existing", 16423},
    {"SRFRemoveNew", 4, "Remove new", 16421},
    {"SRFMoveAs", 5, "Move as...", 32807},
    {"SRFAutoMoveMultipleAs", 6, "Auto move selected as", 40999},
    {"SRFMoveNonExisting", 7, "Move non existing", 49191},
    {"SRFShowFilesMoved", 8, "Show files moved", 32801},
    {"SRINShow", 10, "Show", 32846},
    {"SRINAutosize", 11, "Auto size", 0},
    {"SRINCenter", 12, "Center", 0},
    {"SRINStretch", 13, "Stretch", 8229},
    {"SRINProportional", 14, "Proportional", 0},
    {"SRINTransparent", 15, "Transparent", 0},
    {"SRIEShow", 17, "Show", 32837},
    {"SRIEAutoSize", 18, "Auto size", 0},
    {"SRIECenter", 19, "Center", 0},
    {"SRIEStretch", 20, "Stretch", 8231},
    {"SRIEProportional", 21, "Proportional", 0},
    {"SRIETransparent", 22, "Transparent", 0},
    {"SRIEHide", 23, "Hide", 0},
    {"SRIBInverseSplit", 25, "Inverse split", 32802},
    // Only ever changed by editing the file by hand.
    {"SRIShowAbout", -1, "", 8304},
}};
inline constexpr int SetupShortcutCount = 22;

// The check states of the main window's view commands, saved in this order.
// For SRIBInverseSplit the caller's default is the current arrangement.
struct MenuSelectionSetting {
    const char* key;
    const char* caption;
    bool defaultOn;
};

inline constexpr std::array<MenuSelectionSetting, 13> MenuSelectionSettings = {{
    {"SRIBInverseSplit", "Inverse split", false},
    {"SRFShowFilesMoved", "Show files moved", true},
    {"SRINAutosize", "Auto size", true},
    {"SRINCenter", "Center", true},
    {"SRINStretch", "Stretch", true},
    {"SRINProportional", "Proportional", true},
    {"SRINTransparent", "Transparent", false},
    {"SRIEAutoSize", "Auto size", true},
    {"SRIECenter", "Center", true},
    {"SRIEStretch", "Stretch", true},
    {"SRIEProportional", "Proportional", true},
    {"SRIETransparent", "Transparent", false},
    {"SRIEHide", "Hide", false},
}};

// The image viewer's view options, kept from one opening of the viewer to the
// next.
struct PreviewSetting {
    const char* key;
    bool defaultOn;
};

inline constexpr std::array<PreviewSetting, 5> MenuSelectionPreviewSettings = {{
    {"MIImgAutoSize", true},
    {"MIImgCenter", true},
    {"MIImgProportional", true},
    {"MIImgStretch", true},
    {"MIImgTransparent", false},
}};

} // namespace sortello
