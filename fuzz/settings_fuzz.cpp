// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file is plain text that users edit by hand and copy between
// machines: every read must survive whatever it holds, and a write must
// rewrite it without tripping over the lines it keeps.
#include "FuzzSupport.h"
#include "base/Error.h"
#include "settings/SettingsFile.h"

#include <QStringList>

using namespace sortello;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QString path = fuzz::scratchPath(QStringLiteral("settings.ini"));
    static const QString copy = fuzz::scratchPath(QStringLiteral("settings-copy.ini"));
    if (!fuzz::writeScratch(path, data, size))
        return 0;

    {
        SettingsFile settings(path);
        for (const char* section : {"Folders", "Chars", "Shortcuts", "MenuSelection"}) {
            QStringList lines;
            settings.ReadKeyLines(QLatin1String(section), lines);
        }
        settings.ReadText(QStringLiteral("Folders"), QStringLiteral("Source"), QStringLiteral("-"));
        settings.ReadText(QStringLiteral("Chars"), QStringLiteral("a"), QString());
        settings.ReadNumber(QStringLiteral("Settings"), QStringLiteral("Left"), -1);
        settings.ReadNumber(QStringLiteral("Shortcuts"), QStringLiteral("Delete"), 46);
        settings.ReadFlag(QStringLiteral("MenuSelection"), QStringLiteral("Confirm"), true);
        settings.ReadFlag(QStringLiteral("Settings"), QStringLiteral("Maximized"), false);
    }

    // The rewrite keeps every other line as it was, so it parses them too.
    QFile::remove(copy);
    if (!QFile::copy(path, copy))
        return 0;
    try {
        SettingsFile settings(copy);
        settings.WriteText(QStringLiteral("Folders"), QStringLiteral("Source"),
                           QStringLiteral("/home/user/New pictures"));
        settings.ReadText(QStringLiteral("Folders"), QStringLiteral("Source"), QString());
    } catch (const Error&) {
        // A refused write is a result, not a fault.
    }
    return 0;
}
