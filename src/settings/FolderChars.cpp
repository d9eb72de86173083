// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/FolderChars.h"

#include "base/Misc.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsTables.h"

#include <QTextBoundaryFinder>

namespace sortello {

QString lineKey(const QString& line) {
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    return equals < 0 ? line : line.left(equals);
}

QString lineValue(const QString& line) {
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    return equals < 0 ? QString() : line.mid(equals + 1);
}

namespace {

bool keysMatch(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

int findLine(const QStringList& lines, const QString& key) {
    for (int i = 0; i < lines.size(); ++i)
        if (keysMatch(lineKey(lines[i]), key))
            return i;
    return -1;
}

// The first character of a name as the lookup key: a whole user-perceived
// character, composed, so that an "é" stored as "e" plus an accent finds the
// key "É" typed in the editor; only a to z are upper-cased.
QString firstCharacterKey(const QString& name) {
    if (name.isEmpty())
        return {};
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, name);
    qsizetype end = graphemes.toNextBoundary();
    if (end <= 0)
        end = name[0].isHighSurrogate() && name.size() > 1 ? 2 : 1;
    return asciiUpper(name.left(end).normalized(QString::NormalizationForm_C));
}

} // namespace

void setLineValue(QStringList& lines, const QString& key, const QString& value) {
    const int at = findLine(lines, key);
    if (at >= 0)
        lines[at] = lineKey(lines[at]) + QLatin1Char('=') + value;
    else
        lines.append(key + QLatin1Char('=') + value);
}

void removeEmptyLines(QStringList& lines) {
    for (qsizetype i = lines.size() - 1; i >= 0; --i)
        if (lines[i].indexOf(QLatin1Char('=')) == lines[i].size() - 1)
            lines.removeAt(i);
}

void FolderChars::load(SettingsFile& settings) {
    settings.ReadKeyLines(QString::fromLatin1(SectionChars), table);
}

void FolderChars::complete(const QString& diverseDefault) {
    if (valueOf(DiverseKey).isEmpty())
        setLineValue(table, DiverseKey, diverseDefault);
    removeEmptyLines(table);
}

int FolderChars::indexOf(const QString& key) const {
    return findLine(table, key);
}

QString FolderChars::valueOf(const QString& key) const {
    const int at = indexOf(key);
    return at < 0 ? QString() : lineValue(table[at]);
}

QString FolderChars::DestinationFolder(const QString& pathOrName) const {
    const QString key = firstCharacterKey(namePart(pathOrName));
    if (!key.isEmpty()) {
        const QString folder = valueOf(key);
        if (!folder.isEmpty())
            return folder;
    }
    return valueOf(DiverseKey);
}

QString FolderChars::DestinationPath(const QString& pathOrName) const {
    return DestinationFolder(pathOrName) + namePart(pathOrName);
}

} // namespace sortello
