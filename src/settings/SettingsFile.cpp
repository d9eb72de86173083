// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsFile.h"

#include "base/Error.h"
#include "settings/SettingsStore.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace sortello {

namespace detail {

// One line of the file. Lines are kept as raw bytes so that a rewrite gives
// back everything it does not change byte for byte, whatever its encoding.
struct SettingsLine {
    enum class Kind { Other, Header, Entry };
    QByteArray raw; // without its line end
    Kind kind = Kind::Other;
    QByteArray nameBytes; // section name or key, blanks trimmed
    QString name;
    QByteArray value; // everything after the entry's first '='
};

} // namespace detail

namespace {

using detail::SettingsLine;
using Kind = SettingsLine::Kind;
using Lines = std::vector<SettingsLine>;

// The reader's limits: values are cut where a 2048-byte buffer ends, and key
// names are listed into a 16,384-byte buffer of terminated names.
constexpr qsizetype MaxValueBytes = 2047;
constexpr qsizetype KeyListBytes = 16384;
constexpr qsizetype MaxFileBytes = 16 * 1024 * 1024;
const QByteArray ByteOrderMark("\xEF\xBB\xBF");

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trimBlanks(const QByteArray& bytes) {
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isBlank(bytes[begin]))
        ++begin;
    while (end > begin && isBlank(bytes[end - 1]))
        --end;
    return bytes.mid(begin, end - begin);
}

// Only spaces and tabs, as the reader drops them: QString::trimmed() would also
// swallow line breaks that must be refused instead.
QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t'))
        ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    return text.mid(begin, end - begin);
}

bool isBracketKey(const QByteArray& beforeEquals) {
    return trimBlanks(beforeEquals) == "[";
}

bool sameName(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

SettingsLine parseLine(QByteArray raw) {
    SettingsLine line;
    line.raw = std::move(raw);
    const QByteArray trimmed = trimBlanks(line.raw);
    if (trimmed.startsWith('[')) {
        // "[=x]" is the entry of the key "[", not a header; any other line
        // from "[" to "]" is a header, "=" in the name or not.
        const qsizetype close = trimmed.indexOf(']');
        const qsizetype equals = trimmed.indexOf('=');
        if (close > 0 && !(equals > 0 && isBracketKey(trimmed.left(equals)))) {
            line.kind = Kind::Header;
            line.nameBytes = trimBlanks(trimmed.mid(1, close - 1));
            line.name = QString::fromUtf8(line.nameBytes);
            return line;
        }
    }
    const qsizetype equals = line.raw.indexOf('=');
    if (equals < 0)
        return line;
    line.nameBytes = trimBlanks(line.raw.left(equals));
    if (line.nameBytes.isEmpty())
        return line; // no key could ever be written to match it
    line.kind = Kind::Entry;
    line.name = QString::fromUtf8(line.nameBytes);
    line.value = line.raw.mid(equals + 1);
    return line;
}

Lines parseContent(QByteArray content, bool& byteOrderMark) {
    byteOrderMark = content.startsWith(ByteOrderMark);
    if (byteOrderMark)
        content.remove(0, ByteOrderMark.size());
    // A line ends at CR LF, at a CR alone or at an LF alone, as the profile
    // routines read it: "\r\r\n" and "\n\r" end a line and hold an empty one.
    Lines lines;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = start;
        while (end < content.size() && content[end] != '\r' && content[end] != '\n')
            ++end;
        lines.push_back(parseLine(content.mid(start, end - start)));
        start = end + 1;
        if (end + 1 < content.size() && content[end] == '\r' && content[end + 1] == '\n')
            ++start;
    }
    return lines;
}

QByteArray serialize(const Lines& lines, bool byteOrderMark) {
    QByteArray content = byteOrderMark ? ByteOrderMark : QByteArray();
    for (const SettingsLine& line : lines)
        content += line.raw + "\r\n";
    return content;
}

// Repeated occurrences of a section count as one, so a lookup walks them all.
const SettingsLine* findEntry(const Lines& lines, const QString& section, const QString& key) {
    bool inside = false;
    for (const SettingsLine& line : lines) {
        if (line.kind == Kind::Header)
            inside = sameName(line.name, section);
        else if (inside && line.kind == Kind::Entry && sameName(line.name, key))
            return &line;
    }
    return nullptr;
}

QString valueText(const QByteArray& stored) {
    QByteArray value = trimBlanks(stored);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    if (value.size() > MaxValueBytes) {
        // Back off to the start of a character cut in two: half a UTF-8
        // sequence would decode as a replacement character.
        qsizetype cut = MaxValueBytes;
        while (cut > MaxValueBytes - 3 && (static_cast<uchar>(value[cut]) & 0xC0) == 0x80)
            --cut;
        value.truncate(cut);
    }
    return QString::fromUtf8(value);
}

std::optional<qint32> parseNumber(const QString& text) {
    if (text.startsWith(u"0x", Qt::CaseInsensitive)) {
        const QStringView digits = QStringView(text).mid(2);
        if (digits.isEmpty() || digits.size() > 8)
            return std::nullopt;
        bool ok = false;
        const quint32 value = digits.toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        return static_cast<qint32>(value);
    }
    qsizetype at = 0;
    const bool negative = text.startsWith(u'-');
    if (negative || text.startsWith(u'+'))
        at = 1;
    if (at == text.size())
        return std::nullopt;
    qint64 magnitude = 0;
    for (; at < text.size(); ++at) {
        const char16_t c = text[at].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > qint64(1) << 31)
            return std::nullopt;
    }
    const qint64 value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(value);
}

bool hasBreakOrNul(const QString& text) {
    return text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(u'\0'));
}

QString checkedSection(const QString& section, const QString& path) {
    const QString name = trimBlanks(section);
    // '=' or ']' would make the header read back as an entry or a shorter name.
    if (name.isEmpty() || name.contains(u'=') || name.contains(u']') || hasBreakOrNul(name))
        throw Error(QStringLiteral("Cannot store the section \"%1\" in %2").arg(section, path));
    return name;
}

QString checkedKey(const QString& key, const QString& path) {
    const QString name = trimBlanks(key);
    if (name.isEmpty() || name.contains(u'=') || hasBreakOrNul(name))
        throw Error(QStringLiteral("Cannot store the key \"%1\" in %2").arg(key, path));
    return name;
}

// Any line from "[" to "]" reads as a header unless its key is "[" itself.
void checkEntryLine(const QString& key, const QString& value, const QString& path) {
    if (key.startsWith(u'[') && key != u"[" && (key + value).contains(u']'))
        throw Error(QStringLiteral("Cannot store the key \"%1\" in %2").arg(key, path));
}

void checkValue(const QString& key, const QString& value, const QString& path) {
    if (hasBreakOrNul(value))
        throw Error(QStringLiteral("Cannot store a line break in the value of \"%1\" in %2")
                        .arg(key, path));
}

Error unableToWrite(const QString& path) {
    return Error(QStringLiteral("Unable to write to %1").arg(path));
}

} // namespace

SettingsFile::SettingsFile(QString path) : path(std::move(path)) {}

SettingsFile::~SettingsFile() = default;

const SettingsFile::Lines& SettingsFile::model() {
    if (loaded)
        return lines;
    loaded = true;
    // O_NONBLOCK: a fifo in the file's place must not hang the program.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        // A file that is there but cannot be read must not be overwritten from
        // an empty model.
        readable = errno == ENOENT || errno == ENOTDIR;
        return lines;
    }
    struct stat status;
    // A real settings file is a few kilobytes; a huge one is not ours to load
    // into memory, so it reads as defaults and is never overwritten.
    bool ok =
        ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= MaxFileBytes;
    QByteArray content;
    char buffer[65536];
    while (ok) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            content.append(buffer, got);
            ok = content.size() <= MaxFileBytes;
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            ok = false;
        }
    }
    ::close(fd);
    readable = ok;
    if (ok)
        lines = parseContent(settledContent(content), byteOrderMark);
    return lines;
}

void SettingsFile::store(Lines next) {
    model();
    if (!readable)
        throw unableToWrite(path);
    if (holding) {
        lines = std::move(next);
        held = true;
        return;
    }
    if (!replaceSettingsFile(QFile::encodeName(path), serialize(next, byteOrderMark)))
        throw unableToWrite(path);
    lines = std::move(next);
}

void SettingsFile::Hold() {
    holding = true;
}

void SettingsFile::Commit() {
    holding = false;
    if (!held)
        return;
    held = false;
    if (!replaceSettingsFile(QFile::encodeName(path), serialize(lines, byteOrderMark))) {
        // The writes held are not in the file; reads go back to what is.
        loaded = false;
        lines.clear();
        throw unableToWrite(path);
    }
}

void SettingsFile::CheckText(const QString& section, const QString& key,
                             const QString& value) const {
    checkedSection(section, path);
    const QString keyName = checkedKey(key, path);
    checkValue(keyName, value, path);
    checkEntryLine(keyName, value, path);
}

QString SettingsFile::ReadText(const QString& section, const QString& key,
                               const QString& defaultValue) {
    const SettingsLine* entry = findEntry(model(), trimBlanks(section), trimBlanks(key));
    return entry ? valueText(entry->value) : defaultValue;
}

qint32 SettingsFile::ReadNumber(const QString& section, const QString& key, qint32 defaultValue) {
    return parseNumber(ReadText(section, key, QString())).value_or(defaultValue);
}

bool SettingsFile::ReadFlag(const QString& section, const QString& key, bool defaultValue) {
    return ReadNumber(section, key, defaultValue ? 1 : 0) != 0;
}

void SettingsFile::ReadKeyLines(const QString& section, QStringList& result) {
    result.clear();
    const QString wanted = trimBlanks(section);
    std::vector<const SettingsLine*> keys;
    qsizetype used = 1; // the list's final terminator
    bool inside = false;
    for (const SettingsLine& line : model()) {
        if (line.kind == Kind::Header) {
            inside = sameName(line.name, wanted);
            continue;
        }
        if (!inside || line.kind != Kind::Entry)
            continue;
        const auto same = [&](const SettingsLine* seen) { return sameName(seen->name, line.name); };
        if (std::any_of(keys.begin(), keys.end(), same))
            continue;
        // A name cut by the buffer's end would be a key that does not exist.
        used += line.nameBytes.size() + 1;
        if (used > KeyListBytes)
            break;
        keys.push_back(&line);
    }
    for (const SettingsLine* key : keys)
        result.append(key->name + u'=' + valueText(key->value));
}

void SettingsFile::WriteText(const QString& section, const QString& key, const QString& value) {
    CheckText(section, key, value);
    const QString sectionName = trimBlanks(section);
    const QString keyName = trimBlanks(key);
    Lines next = model();

    if (const SettingsLine* found = findEntry(next, sectionName, keyName)) {
        auto& line = next[found - next.data()];
        line = parseLine(line.nameBytes + '=' + value.toUtf8());
        store(std::move(next));
        return;
    }

    const auto header = std::find_if(next.begin(), next.end(), [&](const SettingsLine& line) {
        return line.kind == Kind::Header && sameName(line.name, sectionName);
    });
    SettingsLine entry = parseLine(keyName.toUtf8() + '=' + value.toUtf8());
    if (header == next.end()) {
        next.push_back(parseLine('[' + sectionName.toUtf8() + ']'));
        next.push_back(std::move(entry));
    } else {
        // After the section's last entry, so blank lines that part it from the
        // next section stay where they are.
        auto last = header;
        for (auto at = header + 1; at != next.end() && at->kind != Kind::Header; ++at) {
            if (at->kind == Kind::Entry)
                last = at;
        }
        next.insert(last + 1, std::move(entry));
    }
    store(std::move(next));
}

void SettingsFile::WriteNumber(const QString& section, const QString& key, qint32 value) {
    WriteText(section, key, QString::number(value));
}

void SettingsFile::WriteFlag(const QString& section, const QString& key, bool value) {
    WriteText(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void SettingsFile::RemoveSection(const QString& section) {
    const QString sectionName = checkedSection(section, path);
    Lines next;
    bool inside = false;
    for (const SettingsLine& line : model()) {
        if (line.kind == Kind::Header)
            inside = sameName(line.name, sectionName);
        if (!inside)
            next.push_back(line);
    }
    if (next.size() != lines.size())
        store(std::move(next));
}

} // namespace sortello
