// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Misc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace sortello {

bool isPathSeparator(QChar c) {
    return c == PathSeparator;
}

namespace {

qsizetype lastSeparator(const QString& path) {
    for (qsizetype i = path.size() - 1; i >= 0; --i)
        if (isPathSeparator(path[i]))
            return i;
    return -1;
}

} // namespace

QString folderPart(const QString& path) {
    return path.left(lastSeparator(path) + 1);
}

QString namePart(const QString& path) {
    return path.mid(lastSeparator(path) + 1);
}

QString extensionOf(const QString& path) {
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (path[i] == QLatin1Char('.'))
            return path.mid(i);
        if (isPathSeparator(path[i]))
            break;
    }
    return {};
}

QString changeExtension(const QString& path, const QString& extension) {
    return path.left(path.size() - extensionOf(path).size()) + extension;
}

QString withTrailingSeparator(const QString& folder) {
    if (folder.isEmpty() || isPathSeparator(folder.back()))
        return folder;
    return folder + PathSeparator;
}

QString asciiUpper(QString text) {
    for (QChar& c : text)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    return text;
}

QString asciiLower(QString text) {
    for (QChar& c : text)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() - 'A' + 'a');
    return text;
}

FileLocations locateSettingsFile(const QString& programPath, const QString& currentDir,
                                 const QStringList& parameters,
                                 const std::function<bool(const QString&)>& folderExists) {
    FileLocations where;
    where.programDir = folderPart(programPath);
    where.startupDir = withTrailingSeparator(currentDir.isEmpty() ? where.programDir : currentDir);
    where.iniFileName =
        where.startupDir + changeExtension(namePart(programPath), QStringLiteral(".ini"));

    if (parameters.isEmpty())
        return where;
    const QString& parameter = parameters.first();
    const QString ini = QStringLiteral(".INI");
    if (asciiUpper(extensionOf(parameter)) != ini || asciiUpper(namePart(parameter)) == ini)
        return where;
    const QString folder = folderPart(parameter);
    if (!folder.isEmpty() && folderExists(folder))
        where.iniFileName = parameter;
    else
        where.iniFileName = where.startupDir + parameter;
    return where;
}

namespace {

FileLocations& processLocations() {
    static FileLocations locations;
    return locations;
}

QString runningProgramPath() {
    const QString path = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return path.isEmpty() ? QStringLiteral("sortello") : path;
}

QString currentDirectory() {
    // getcwd rather than QDir::currentPath: an unreachable or removed directory
    // must give the empty text that falls back to the program's folder.
    QByteArray buffer(4096, '\0');
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1 << 20))
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return QFile::decodeName(buffer.constData());
}

} // namespace

void initFileLocations(const QStringList& parameters) {
    processLocations() =
        locateSettingsFile(runningProgramPath(), currentDirectory(), parameters,
                           [](const QString& folder) { return QFileInfo(folder).isDir(); });
}

const QString& ProgramDir() {
    return processLocations().programDir;
}
const QString& StartupDir() {
    return processLocations().startupDir;
}
const QString& IniFileName() {
    return processLocations().iniFileName;
}

QString settingsFilePath() {
    const QString& name = IniFileName();
    if (name.isEmpty() || isPathSeparator(name.front()))
        return name;
    return StartupDir() + name;
}

namespace {

// stat that answers "is this a file?" the way the file figures need it.
bool statFile(const QString& path, struct stat& st) {
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return !S_ISDIR(st.st_mode);
}

} // namespace

qint64 FileSizeOf(const QString& path) {
    struct stat st;
    if (!statFile(path, st))
        return 0;
    return static_cast<qint64>(st.st_size);
}

DateTimeValue encodeDateTime(int year, int month, int day, int hour, int minute, int second) {
    // Days from the civil calendar (proleptic Gregorian) to the day count that
    // starts at 30 December 1899.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (month + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const qint64 daysSinceUnixEpoch = static_cast<qint64>(era) * 146097 + doe - 719468;
    constexpr qint64 unixEpochDay = 25569; // 1 January 1970 in this count
    const double days = static_cast<double>(daysSinceUnixEpoch + unixEpochDay);
    return days + (hour * 3600 + minute * 60 + second) / 86400.0;
}

DateTimeValue FileDateOf(const QString& path) {
    struct stat st;
    if (!statFile(path, st))
        return 0;
    struct tm local {};
    const time_t seconds = st.st_mtim.tv_sec;
    if (::localtime_r(&seconds, &local) == nullptr)
        return 0;
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return 0;
    // The packed format counts seconds in twos.
    return encodeDateTime(year, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          std::min(local.tm_sec, 59) / 2 * 2);
}

} // namespace sortello
