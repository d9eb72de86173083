// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/MenuCommands.h"

namespace sortello {

bool itemVisibleFor(const MenuItem& item, MenuTarget target) {
    if (target == MenuTarget::Window)
        return true;
    if (item.kind == ItemKind::Header || item.kind == ItemKind::Separator)
        return false;
    switch (item.group) {
    case 0:
        return true;
    case 1:
        return target == MenuTarget::FileList;
    case 2:
        return target == MenuTarget::NewImage;
    case 3:
        return target == MenuTarget::ExistingImage;
    case 5:
        return target == MenuTarget::NewImage || target == MenuTarget::ExistingImage;
    default:
        return false;
    }
}

QString captionWithShortcut(const MenuItem& item, ShortCutCode code) {
    const QString caption = QString::fromLatin1(item.caption);
    const QString shortcut = shortCutToText(code);
    return shortcut.isEmpty() ? caption : caption + QLatin1Char('\t') + shortcut;
}

} // namespace sortello
