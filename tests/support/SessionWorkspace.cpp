// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/SessionWorkspace.h"

#include "settings/SettingsFile.h"

#include <gtest/gtest.h>

namespace sortello::test {

void SessionWorkspace::listSource() {
    {
        SettingsFile settings(ws.ini());
        work.folderChars().load(settings);
    }
    work.folderChars().complete();
    work.setSourceFolder(ws.source());
    ASSERT_TRUE(work.listSourceFolder());
}

QStringList SessionWorkspace::names() const {
    QStringList listed;
    for (const ListedFile& file : work.files())
        listed << file.name;
    return listed;
}

QStringList SessionWorkspace::texts(const SessionOutcome& outcome) {
    QStringList all;
    for (const SessionNotice& notice : outcome.notices)
        all << notice.text;
    return all;
}

} // namespace sortello::test
