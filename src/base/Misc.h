// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Process-wide file locations and the small path and file helpers every part of
// Sortello shares. The path rules live here and nowhere else, so that a build for
// a platform with other separators changes one file.
#include <QString>
#include <QStringList>
#include <functional>

namespace sortello {

// ---- Path vocabulary -------------------------------------------------------

inline constexpr QChar PathSeparator = QLatin1Char('/');

bool isPathSeparator(QChar c);
// Everything up to and including the last separator; empty without one.
QString folderPart(const QString& path);
// Everything after the last separator.
QString namePart(const QString& path);
// The name part from its last "." on, dot included; empty when the last of "."
// and the separators is not a ".".
QString extensionOf(const QString& path);
// The path with its extension replaced (or appended when it has none).
QString changeExtension(const QString& path, const QString& extension);
// Folder values end in a separator by convention; this adds one when missing.
QString withTrailingSeparator(const QString& folder);
// The program's own case changes touch the letters a to z / A to Z only.
QString asciiUpper(QString text);
QString asciiLower(QString text);

// ---- Settings-file location --------------------------------------------------

struct FileLocations {
    QString programDir;  // folder of the program file, ending in a separator
    QString startupDir;  // current directory at start-up, ending in a separator
    QString iniFileName; // the settings file
};

// The location rule as a pure function of its inputs, so that every case can be
// tested without starting a process: the program file's full path, the current
// directory (may be empty), the command-line parameters without the program
// name, and a test for "names an existing folder".
FileLocations locateSettingsFile(const QString& programPath, const QString& currentDir,
                                 const QStringList& parameters,
                                 const std::function<bool(const QString&)>& folderExists);

// Fixes the process-wide values from the running process; called once at the
// start of main, before anything else. Later changes of the current directory
// do not move the settings file.
void initFileLocations(const QStringList& parameters);

const QString& ProgramDir();
const QString& StartupDir();
const QString& IniFileName();
// IniFileName as the file is opened: a relative name is taken from the
// directory current at start-up, because listing a folder changes the current
// directory and the settings would otherwise be read and written elsewhere.
QString settingsFilePath();

// ---- File figures ----------------------------------------------------------

// The size in bytes of a file; 0 for a folder or a name that is not there.
qint64 FileSizeOf(const QString& path);

// Date-time value: days since 30 December 1899 with the time of day as the
// fraction; 0 means no date.
using DateTimeValue = double;
DateTimeValue encodeDateTime(int year, int month, int day, int hour, int minute, int second);

// The last-write time of a file in local time, at two-second resolution;
// 0 for folders, missing files and times outside 1980 to 2107.
DateTimeValue FileDateOf(const QString& path);

} // namespace sortello
