// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The items of the main window's context menu, in menu order, as one table that
// builds the menu, decides which items a target sees, and dispatches shortcuts.
#include "settings/ShortCutCode.h"

#include <QString>
#include <array>

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
    ShowFilesMoved,
    NewAutoSize,
    NewCenter,
    NewStretch,
    NewProportional,
    NewTransparent,
    ExistingAutoSize,
    ExistingCenter,
    ExistingStretch,
    ExistingProportional,
    ExistingTransparent,
    ExistingHide,
    InverseSplit,
};

enum class ItemKind { Command, Check, Header, Separator };

struct MenuItem {
    const char* name; // object name and settings key
    const char* caption;
    int group;
    ItemKind kind;
    Command command;
};

inline constexpr std::array<MenuItem, 24> PopupMenuItems{{
    {"SRISetup", "Setup", 0, ItemKind::Command, Command::Setup},
    {"SRFiles", "Files", 1, ItemKind::Header, Command::None},
    {"SRFUpdateFileList", "Update file list", 1, ItemKind::Command, Command::UpdateFileList},
    {"SRFReplaceExisting", "Replace existing", 1, ItemKind::Command, Command::ReplaceExisting},
    {"SRFRemoveNew", "Remove new", 1, ItemKind::Command, Command::RemoveNew},
    {"SRFMoveAs", "Move as ...", 1, ItemKind::Command, Command::MoveAs},
    {"SRFAutoMoveMultipleAs", "Auto move selected as", 1, ItemKind::Command,
     Command::AutoMoveMultipleAs},
    {"SRFMoveNonExisting", "Move non existing", 1, ItemKind::Command, Command::MoveNonExisting},
    {"SRFShowFilesMoved", "Show files moved", 1, ItemKind::Check, Command::ShowFilesMoved},
    {"SRImageNew", "New image", 2, ItemKind::Header, Command::None},
    {"SRINAutosize", "Auto size", 2, ItemKind::Check, Command::NewAutoSize},
    {"SRINCenter", "Center", 2, ItemKind::Check, Command::NewCenter},
    {"SRINStretch", "Stretch", 2, ItemKind::Check, Command::NewStretch},
    {"SRINProportional", "Proportional", 2, ItemKind::Check, Command::NewProportional},
    {"SRINTransparent", "Transparent", 2, ItemKind::Check, Command::NewTransparent},
    {"SRImageExisting", "Existing imge", 3, ItemKind::Header, Command::None},
    {"SRIEAutoSize", "Auto size", 3, ItemKind::Check, Command::ExistingAutoSize},
    {"SRIECenter", "Center", 3, ItemKind::Check, Command::ExistingCenter},
    {"SRIEStretch", "Stretch", 3, ItemKind::Check, Command::ExistingStretch},
    {"SRIEProportional", "Proportional", 3, ItemKind::Check, Command::ExistingProportional},
    {"SRIETransparent", "Transparent", 3, ItemKind::Check, Command::ExistingTransparent},
    {"SRIEHide", "Hide", 3, ItemKind::Check, Command::ExistingHide},
    {"SRIBSplit", "", 4, ItemKind::Separator, Command::None},
    {"SRIBInverseSplit", "Inverse split", 5, ItemKind::Command, Command::InverseSplit},
}};

// What the context menu was opened on.
enum class MenuTarget { Window, FileList, NewImage, ExistingImage, Other };

// Whether an item shows in the menu opened on a target.
bool itemVisibleFor(const MenuItem& item, MenuTarget target);

// The caption with its shortcut's text set off by a tab, as a menu shows it.
QString captionWithShortcut(const MenuItem& item, ShortCutCode code);

} // namespace sortello
