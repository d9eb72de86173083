// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/FolderListing.h"
#include "fileops/Temporaries.h"

#include <QCollator>
#include <QFile>
#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <memory>
#include <numeric>
#include <sys/stat.h>

namespace sortello {

namespace {

// "*.jpg" and the like make up nearly every pattern in use; comparing the end
// of the name directly is much cheaper than fnmatch on large folders.
struct Pattern {
    QByteArray glob;
    QByteArray suffix;
    bool suffixOnly = false;
};

std::vector<Pattern> parsePatterns(const QString& patterns) {
    std::vector<Pattern> parsed;
    const QStringList parts = patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        const QString trimmed = part.trimmed();
        if (trimmed.isEmpty())
            continue;
        Pattern p;
        p.glob = QFile::encodeName(trimmed);
        const QByteArray rest = p.glob.mid(1);
        p.suffixOnly = p.glob.startsWith('*') && std::none_of(rest.begin(), rest.end(), [](char c) {
                           return c == '*' || c == '?' || c == '[' || c == '\\' || (c & 0x80);
                       });
        if (p.suffixOnly)
            p.suffix = rest.toLower();
        parsed.push_back(std::move(p));
    }
    return parsed;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool matches(const std::vector<Pattern>& patterns, const char* name, size_t length) {
    for (const Pattern& p : patterns) {
        if (!p.suffixOnly) {
            if (::fnmatch(p.glob.constData(), name, FNM_CASEFOLD) == 0)
                return true;
            continue;
        }
        const size_t n = size_t(p.suffix.size());
        if (n > length)
            continue;
        const char* tail = name + (length - n);
        size_t i = 0;
        while (i < n && asciiLower(tail[i]) == p.suffix[qsizetype(i)])
            ++i;
        if (i == n)
            return true;
    }
    return false;
}

// d_type already tells most entries apart; only links and file systems that
// leave it unknown need a stat.
bool isPlainFile(int dirFd, const dirent* entry) {
    if (entry->d_type == DT_REG)
        return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
        return false;
    struct stat st;
    return ::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
}

template <typename Key, typename Compare>
std::vector<ListedFile> sortedBy(std::vector<ListedFile>& files, const std::vector<Key>& keys,
                                 Compare compare) {
    std::vector<size_t> order(files.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int c = compare(keys[a], keys[b]);
        return c != 0 ? c < 0 : files[a].rawName < files[b].rawName;
    });
    std::vector<ListedFile> sorted;
    sorted.reserve(files.size());
    for (size_t i : order)
        sorted.push_back(std::move(files[i]));
    return sorted;
}

std::vector<ListedFile> sortByName(std::vector<ListedFile>& files) {
    QCollator collator(QLocale::system());
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // Qt's C-locale collator compares code points and ignores the case
    // setting, so there case folding has to come first.
    if (collator.locale().language() == QLocale::C) {
        std::vector<QString> keys;
        keys.reserve(files.size());
        for (const ListedFile& f : files)
            keys.push_back(f.name.toCaseFolded());
        return sortedBy(files, keys, [](const QString& a, const QString& b) {
            return QString::compare(a, b, Qt::CaseSensitive);
        });
    }
    std::vector<QCollatorSortKey> keys;
    keys.reserve(files.size());
    for (const ListedFile& f : files)
        keys.push_back(collator.sortKey(f.name));
    return sortedBy(files, keys, [](const QCollatorSortKey& a, const QCollatorSortKey& b) {
        return a.compare(b);
    });
}

// The order sortByName gives, for one file against a few others.
class NameOrder {
public:
    NameOrder() : collator(QLocale::system()) {
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        folded = collator.locale().language() == QLocale::C;
    }
    bool before(const ListedFile& a, const ListedFile& b) const {
        const int c = folded ? QString::compare(a.name.toCaseFolded(), b.name.toCaseFolded(),
                                                Qt::CaseSensitive)
                             : collator.compare(a.name, b.name);
        return c != 0 ? c < 0 : a.rawName < b.rawName;
    }

private:
    QCollator collator;
    bool folded = false;
};

ListingResult failure(int error) {
    ListingResult result;
    result.ok = false;
    result.error = error;
    result.errorText = qt_error_string(error);
    return result;
}

} // namespace

QString defaultPicturePatterns() {
    return QStringLiteral("*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf;*.gif");
}

std::size_t listingPlace(const std::vector<ListedFile>& files, const ListedFile& file) {
    const NameOrder order;
    const auto at = std::partition_point(files.begin(), files.end(), [&](const ListedFile& other) {
        return order.before(other, file);
    });
    return std::size_t(at - files.begin());
}

QString modernPicturePatterns() {
    return QStringLiteral("*.png;*.webp;*.tif;*.tiff;*.heic;*.heif;*.avif");
}

QString picturePatterns(bool listModernFormats) {
    return listModernFormats ? defaultPicturePatterns() + QLatin1Char(';') + modernPicturePatterns()
                             : defaultPicturePatterns();
}

ListingResult listPictureFiles(const QString& folder, const QString& patterns) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(QFile::encodeName(folder).constData()),
                                                  ::closedir);
    if (!dir)
        return failure(errno);
    const std::vector<Pattern> parsed = parsePatterns(patterns);
    const int dirFd = ::dirfd(dir.get());

    std::vector<ListedFile> files;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            // A listing cut short must not pass for the whole folder.
            if (errno != 0)
                return failure(errno);
            break;
        }
        if (entry->d_name[0] == '.') {
            // What a killed run left behind goes whenever the folder is read.
            removeIfStale(dirFd, entry->d_name);
            continue;
        }
        const size_t length = std::strlen(entry->d_name);
        if (!matches(parsed, entry->d_name, length) || !isPlainFile(dirFd, entry))
            continue;
        ListedFile file;
        file.rawName = QByteArray(entry->d_name, qsizetype(length));
        file.name = QFile::decodeName(file.rawName);
        file.representable = QFile::encodeName(file.name) == file.rawName;
        files.push_back(std::move(file));
    }

    ListingResult result;
    result.files = sortByName(files);
    return result;
}

} // namespace sortello
