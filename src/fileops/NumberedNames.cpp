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
