// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/NumberedNames.h"

#include "base/Misc.h"

#include <QFile>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <dirent.h>
#include <memory>

namespace sortello {

namespace {

constexpr int DigitCount = 8;

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Every name in a folder, hidden ones included, as the system holds them.
QStringList allNames(const QString& folder) {
    QStringList names;
    const QByteArray path = QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.constData()), ::closedir);
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        names << QFile::decodeName(name);
    }
    return names;
}

// "*" matches any run of characters; everything else stands for itself,
// letter case ignored.
bool matchesPattern(const QString& name, const QString& pattern) {
    const QStringList parts = pattern.split(QLatin1Char('*'));
    if (parts.size() == 1)
        return name.compare(pattern, Qt::CaseInsensitive) == 0;
    qsizetype at = 0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        if (i == 0) {
            if (!name.startsWith(part, Qt::CaseInsensitive))
                return false;
            at = part.size();
        } else if (i == parts.size() - 1) {
            return name.size() - at >= part.size() && name.endsWith(part, Qt::CaseInsensitive);
        } else {
            const qsizetype found = name.indexOf(part, at, Qt::CaseInsensitive);
            if (found < 0)
                return false;
            at = found + part.size();
        }
    }
    return true;
}

} // namespace

NumberedName SplitNumberedName(const QString& name) {
    const QString own = namePart(name);
    NumberedName split;
    split.extension = extensionOf(own);
    split.stem = own.left(own.size() - split.extension.size());
    qsizetype digitsFrom = split.stem.size();
    while (digitsFrom > 0 && isDigit(split.stem[digitsFrom - 1]))
        --digitsFrom;
    split.digits = split.stem.mid(digitsFrom);
    split.stem.truncate(digitsFrom);
    return split;
}

QStringList CollectUsedNumbers(const QString& folder, const QString& pattern, int wantedLength) {
    QStringList used;
    for (const QString& name : allNames(folder)) {
        if (!matchesPattern(name, pattern))
            continue;
        const NumberedName split = SplitNumberedName(name);
        if (split.digits.size() == DigitCount && split.stem.size() + DigitCount == wantedLength)
            used << split.digits;
    }
    std::sort(used.begin(), used.end());
    return used;
}

qint64 chooseNumber(const std::set<qint64>& used) {
    if (used.empty())
        return 0;
    if (used.size() == 1)
        return *used.begin() == 0 ? 1 : 0;
    // An unbroken run (the usual case once a folder fills up) costs nothing.
    if (*used.rbegin() - *used.begin() + 1 == static_cast<qint64>(used.size()))
        return *used.rbegin() + 1;
    qint64 i = 0;
    for (const qint64 number : used) {
        if (number != i)
            return i;
        ++i;
    }
    return i;
}

QString numberedName(const QString& stem, qint64 number, const QString& extension) {
    return stem + QStringLiteral("%1").arg(number, DigitCount, 10, QLatin1Char('0')) +
           asciiLower(extension);
}

QString UsedNumbersCache::keyOf(const QString& stem, const QString& extension) {
    return stem.toCaseFolded() + QLatin1Char('/') + extension.toCaseFolded();
}

void UsedNumbersCache::record(Numbers& numbers, const QString& name) {
    const NumberedName split = SplitNumberedName(name);
    if (split.digits.size() == DigitCount)
        numbers[keyOf(split.stem, split.extension)].insert(split.digits.toLongLong());
}

namespace {

// Whether a raw name is some stem, exactly eight digits and an extension; most
// names of a big folder are not, and are passed over without decoding them.
bool mayBeNumbered(const char* name) {
    const char* dot = std::strrchr(name, '.');
    const char* end = dot ? dot : name + std::strlen(name);
    int digits = 0;
    while (end - digits > name && std::isdigit(static_cast<unsigned char>(end[-digits - 1])))
        ++digits;
    return digits == DigitCount;
}

} // namespace

UsedNumbersCache::Numbers& UsedNumbersCache::scanned(const QString& folder) {
    auto found = folders.find(folder);
    if (found != folders.end())
        return *found;
    Numbers& numbers = folders[folder];
    const QByteArray path = QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.constData()), ::closedir);
    if (!dir)
        return numbers;
    while (const dirent* entry = ::readdir(dir.get()))
        if (mayBeNumbered(entry->d_name))
            record(numbers, QFile::decodeName(entry->d_name));
    return numbers;
}

const std::set<qint64>& UsedNumbersCache::usedNumbers(const QString& folder, const QString& stem,
                                                      const QString& extension) {
    return scanned(folder)[keyOf(stem, extension)];
}

void UsedNumbersCache::noteArrival(const QString& folder, const QString& name) {
    auto found = folders.find(folder);
    if (found != folders.end())
        record(*found, name);
}

} // namespace sortello
