// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The table of folder characters and the destination rule: the first character
// of a file's name picks a line of the table, and a name without a line of its
// own goes to the folder of the reserved key "Diverse". Values are used exactly
// as stored; the rule inserts no separator between folder and name.
#include <QString>
#include <QStringList>

namespace sortello {

class SettingsFile;

inline constexpr QLatin1StringView DiverseKey{"Diverse"};

// The key of a "key=value" line: the text before its first "=".
QString lineKey(const QString& line);
// The value of a line: everything after its first "=", which may hold "=" too.
QString lineValue(const QString& line);

class FolderChars {
public:
    FolderChars() = default;
    explicit FolderChars(QStringList lines) : table(std::move(lines)) {}

    const QStringList& lines() const { return table; }
    // Takes the lines over as they are, adding and removing nothing.
    void replace(const QStringList& lines) { table = lines; }

    // Fills the table with every key of the "Chars" section, in the file's order.
    void load(SettingsFile& settings);
    // Gives "Diverse" its default when its value is empty or missing, then drops
    // every line with an empty value; "Diverse" therefore always survives.
    void complete(const QString& diverseDefault = QStringLiteral("!"));

    // The value of the first line whose key matches, case-blind; empty when none.
    QString valueOf(const QString& key) const;

    // The destination folder for a path, a bare name or a single character.
    QString DestinationFolder(const QString& pathOrName) const;
    // The destination folder followed directly by the argument's name part.
    QString DestinationPath(const QString& pathOrName) const;

private:
    int indexOf(const QString& key) const;

    QStringList table;
};

// Sets the value of key in a list of lines: the first matching line changes in
// place, or a line is appended.
void setLineValue(QStringList& lines, const QString& key, const QString& value);
// Removes, from the last line to the first, every line with an empty value.
void removeEmptyLines(QStringList& lines);

} // namespace sortello
