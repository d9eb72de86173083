// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/Commands.h"

#include <cstring>

namespace sortello {

int commandIndexOf(const char* name) {
    for (std::size_t i = 0; i < CommandTable.size(); ++i)
        if (std::strcmp(CommandTable[i].name, name) == 0)
            return int(i);
    return -1;
}

bool itemVisibleFor(const CommandRow& item, MenuTarget target) {
    switch (target) {
    case MenuTarget::Window:
        return true;
    case MenuTarget::FileList:
        return item.shownFor & ForFileList;
    case MenuTarget::NewImage:
        return item.shownFor & ForNewImage;
    case MenuTarget::ExistingImage:
        return item.shownFor & ForExistingImage;
    case MenuTarget::Other:
        break;
    }
    return item.shownFor & ForOther;
}

QString captionWithShortcut(const CommandRow& item, ShortCutCode code) {
    const QString caption = QString::fromLatin1(item.caption);
    const QString shortcut = shortCutToText(code);
    return shortcut.isEmpty() ? caption : caption + QLatin1Char('\t') + shortcut;
}

} // namespace sortello
