// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/VersionInfo.h"

#include "base/Error.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <optional>

namespace sortello {

namespace {

// A block's lengths are 16-bit, so nothing past this can belong to one.
constexpr qint64 MaxBlockBytes = 0xFFFF;
// Far beyond any real table of section headers or names, and small enough
// that a hostile count cannot make us allocate much.
constexpr qint64 MaxTableBytes = 16 * 1024 * 1024;

constexpr qsizetype align4(qsizetype offset) {
    return (offset + 3) & ~qsizetype(3);
}

// ---- Writing ----

class BlockWriter {
public:
    void word(quint16 value) {
        bytes.append(char(value & 0xFF));
        bytes.append(char(value >> 8));
    }
    void dword(quint32 value) {
        word(quint16(value & 0xFFFF));
        word(quint16(value >> 16));
    }
    void text(const QString& value) {
        for (QChar c : value)
            word(c.unicode());
        word(0);
    }
    void pad() {
        while (bytes.size() % 4 != 0)
            bytes.append('\0');
    }
    // Starts a child block; its length is filled in by end().
    qsizetype begin(quint16 valueLength, quint16 type, const QString& key) {
        pad();
        const qsizetype start = bytes.size();
        word(0);
        word(valueLength);
        word(type);
        text(key);
        pad();
        return start;
    }
    void end(qsizetype start) {
        const qsizetype length = bytes.size() - start;
        if (length > MaxBlockBytes)
            throw Error(QStringLiteral("Version information too long"));
        bytes[start] = char(length & 0xFF);
        bytes[start + 1] = char((length >> 8) & 0xFF);
    }
    QByteArray bytes;
};

// "2.0.4.21" (or "2,0,4,21") as the two 32-bit halves of a fixed version.
std::pair<quint32, quint32> versionNumbers(const QString& text) {
    quint32 parts[4] = {0, 0, 0, 0};
    const QStringList fields = text.split(QRegularExpression(QStringLiteral("[.,]")));
    for (int i = 0; i < 4 && i < fields.size(); ++i)
        parts[i] = fields[i].trimmed().toUShort();
    return {(parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3]};
}

QString valueOf(const VersionStrings& strings, const QString& key) {
    for (const auto& [k, v] : strings)
        if (k == key)
            return v;
    return {};
}

// ---- Reading ----

// A file read by ranges, every range checked against the file's size.
class BoundedFile {
public:
    explicit BoundedFile(const QString& path) : file(path) {
        // Only regular files: opening a fifo or a device could block or never end.
        if (QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly))
            length = file.size();
    }
    bool isOpen() const { return length >= 0; }
    qint64 size() const { return length; }

    std::optional<QByteArray> read(quint64 offset, quint64 count) {
        if (length < 0 || offset > quint64(length) || count > quint64(length) - offset ||
            count > quint64(MaxTableBytes))
            return std::nullopt;
        if (!file.seek(qint64(offset)))
            return std::nullopt;
        QByteArray data = file.read(qint64(count));
        if (data.size() != qsizetype(count))
            return std::nullopt;
        return data;
    }

private:
    QFile file;
    qint64 length = -1;
};

quint16 u16(const QByteArray& b, qsizetype at) {
    if (at < 0 || at + 2 > b.size())
        return 0;
    return quint16(uchar(b[at]) | (uchar(b[at + 1]) << 8));
}

quint32 u32(const QByteArray& b, qsizetype at) {
    return quint32(u16(b, at)) | (quint32(u16(b, at + 2)) << 16);
}

quint64 u64(const QByteArray& b, qsizetype at) {
    return quint64(u32(b, at)) | (quint64(u32(b, at + 4)) << 32);
}

// A UTF-16LE string from `at` up to its terminating zero, never past `end`.
QString wideString(const QByteArray& b, qsizetype at, qsizetype end) {
    end = qMin(end, b.size());
    QString text;
    for (qsizetype i = at; i >= 0 && i + 2 <= end; i += 2) {
        const quint16 c = u16(b, i);
        if (c == 0)
            break;
        text.append(QChar(c));
    }
    return text;
}

// The fields of an ELF section header that the search reads.
enum { Name, Type, Flags, Address, Offset, Size, Link };

quint64 elfSectionField(const QByteArray& entry, int index, bool wide) {
    // sh_name, sh_type, sh_flags, sh_addr, sh_offset, sh_size, sh_link
    static constexpr int at64[] = {0, 4, 8, 16, 24, 32, 40};
    static constexpr int at32[] = {0, 4, 8, 12, 16, 20, 24};
    return index < 2 ? u32(entry, at64[index])
                     : (wide ? u64(entry, at64[index]) : u32(entry, at32[index]));
}

// The section's bytes, at most one block's worth.
QByteArray elfVersionSection(BoundedFile& file) {
    const auto ident = file.read(0, 52);
    if (!ident || !ident->startsWith("\x7F"
                                     "ELF"))
        return {};
    const bool wide = ident->at(4) == 2;
    if ((ident->at(4) != 1 && !wide) || ident->at(5) != 1) // 32/64-bit little-endian only
        return {};
    const auto header = wide ? file.read(0, 64) : ident;
    if (!header)
        return {};
    const QByteArray& h = *header;
    const quint64 tableOffset = wide ? u64(h, 0x28) : u32(h, 0x20);
    const quint16 entrySize = u16(h, wide ? 0x3A : 0x2E);
    quint64 count = u16(h, wide ? 0x3C : 0x30);
    quint64 namesIndex = u16(h, wide ? 0x3E : 0x32);
    const quint16 minimumEntry = wide ? 64 : 40;
    if (tableOffset == 0 || entrySize < minimumEntry)
        return {};

    const auto field = [wide](const QByteArray& entry, int index) {
        return elfSectionField(entry, index, wide);
    };

    // Many sections or a far names index are kept in the first entry.
    if (count == 0 || namesIndex == 0xFFFF) {
        const auto first = file.read(tableOffset, entrySize);
        if (!first)
            return {};
        if (count == 0)
            count = field(*first, Size);
        if (namesIndex == 0xFFFF)
            namesIndex = field(*first, Link);
    }
    if (count == 0 || namesIndex >= count || count > quint64(MaxTableBytes) / entrySize)
        return {};
    const auto table = file.read(tableOffset, count * entrySize);
    if (!table)
        return {};
    auto entry = [&](quint64 index) { return table->mid(qsizetype(index * entrySize), entrySize); };

    constexpr quint32 NoBits = 8;
    const QByteArray namesEntry = entry(namesIndex);
    if (field(namesEntry, Type) == NoBits)
        return {};
    const auto names = file.read(field(namesEntry, Offset), field(namesEntry, Size));
    if (!names)
        return {};
    const QByteArray wanted = QByteArray(VersionSectionName) + '\0';
    for (quint64 i = 0; i < count; ++i) {
        const QByteArray e = entry(i);
        const quint64 name = field(e, Name);
        if (name >= quint64(names->size()) || names->mid(qsizetype(name), wanted.size()) != wanted)
            continue;
        if (field(e, Type) == NoBits)
            return {};
        const quint64 size = qMin(field(e, Size), quint64(MaxBlockBytes));
        return file.read(field(e, Offset), size).value_or(QByteArray());
    }
    return {};
}

struct PeSection {
    quint32 virtualAddress;
    quint32 virtualSize;
    quint32 rawSize;
    quint32 rawOffset;
};

// The file offset of `count` bytes at a relative virtual address, when they
// lie wholly inside one section's data in the file.
std::optional<quint64> peOffset(const QList<PeSection>& sections, quint32 rva, quint64 count) {
    for (const PeSection& s : sections) {
        if (rva < s.virtualAddress)
            continue;
        const quint64 into = quint64(rva) - s.virtualAddress;
        const quint64 span = s.virtualSize ? qMin(s.virtualSize, s.rawSize) : s.rawSize;
        if (into < span && count <= span - into)
            return quint64(s.rawOffset) + into;
    }
    return std::nullopt;
}

// One level of the resource tree: the entry with `id`, or the first entry
// when id < 0. Returns the entry's raw offset field.
std::optional<quint32> resourceEntry(const QByteArray& tree, quint32 directory, int id) {
    if (quint64(directory) + 16 > quint64(tree.size()))
        return std::nullopt;
    const quint32 named = u16(tree, directory + 12);
    const quint32 ids = u16(tree, directory + 14);
    for (quint32 i = 0; i < named + ids; ++i) {
        const quint64 at = quint64(directory) + 16 + quint64(i) * 8;
        if (at + 8 > quint64(tree.size()))
            return std::nullopt;
        const quint32 name = u32(tree, qsizetype(at));
        if (id < 0 || (!(name & 0x80000000u) && name == quint32(id)))
            return u32(tree, qsizetype(at + 4));
    }
    return std::nullopt;
}

QByteArray peVersionResource(BoundedFile& file) {
    const auto dos = file.read(0, 64);
    if (!dos || !dos->startsWith("MZ"))
        return {};
    const quint64 pe = u32(*dos, 0x3C);
    const auto coff = file.read(pe, 24);
    if (!coff || !coff->startsWith(QByteArray("PE\0\0", 4)))
        return {};
    const quint16 sectionCount = u16(*coff, 6);
    const quint16 optionalSize = u16(*coff, 20);
    const auto optional = file.read(pe + 24, optionalSize);
    if (!optional)
        return {};
    const quint16 magic = u16(*optional, 0);
    if (magic != 0x10B && magic != 0x20B)
        return {};
    const int directories = magic == 0x20B ? 112 : 96;
    const quint32 directoryCount = u32(*optional, directories - 4);
    constexpr int ResourceDirectory = 2;
    if (directoryCount <= ResourceDirectory || directories + 8 * 3 > optionalSize)
        return {};
    const quint32 resourceRva = u32(*optional, directories + 8 * ResourceDirectory);
    const quint32 resourceSize = u32(*optional, directories + 8 * ResourceDirectory + 4);

    const auto headers = file.read(pe + 24 + optionalSize, quint64(sectionCount) * 40);
    if (!headers)
        return {};
    QList<PeSection> sections;
    for (int i = 0; i < sectionCount; ++i)
        sections.append({u32(*headers, i * 40 + 12), u32(*headers, i * 40 + 8),
                         u32(*headers, i * 40 + 16), u32(*headers, i * 40 + 20)});

    const auto base = peOffset(sections, resourceRva, resourceSize);
    if (!base || resourceSize == 0)
        return {};
    const auto tree = file.read(*base, qMin<quint64>(resourceSize, MaxTableBytes));
    if (!tree)
        return {};

    const auto lookUp = [&](quint32 directory, int id) {
        return resourceEntry(*tree, directory, id);
    };
    constexpr quint32 Subdirectory = 0x80000000u;
    constexpr int VersionType = 16;
    const auto type = lookUp(0, VersionType);
    if (!type || !(*type & Subdirectory))
        return {};
    const auto name = lookUp(*type & ~Subdirectory, 1);
    if (!name || !(*name & Subdirectory))
        return {};
    const auto language = lookUp(*name & ~Subdirectory, -1);
    if (!language || (*language & Subdirectory) || quint64(*language) + 16 > quint64(tree->size()))
        return {};
    const quint32 dataRva = u32(*tree, *language);
    const quint64 dataSize = qMin<quint64>(u32(*tree, *language + 4), MaxBlockBytes);
    const auto data = peOffset(sections, dataRva, dataSize);
    if (!data)
        return {};
    return file.read(*data, dataSize).value_or(QByteArray());
}

} // namespace

QByteArray buildVersionBlock(const VersionStrings& strings, const QString& table) {
    const auto [fileMs, fileLs] = versionNumbers(valueOf(strings, QStringLiteral("FileVersion")));
    const QString product = valueOf(strings, QStringLiteral("ProductVersion"));
    const auto [productMs, productLs] =
        product.isEmpty() ? std::pair{fileMs, fileLs} : versionNumbers(product);

    constexpr quint16 Binary = 0;
    constexpr quint16 Text = 1;
    constexpr quint16 FixedInfoBytes = 52;
    BlockWriter w;
    const qsizetype root = w.begin(FixedInfoBytes, Binary, QStringLiteral("VS_VERSION_INFO"));
    w.dword(0xFEEF04BD); // signature
    w.dword(0x00010000); // structure version 1.0
    w.dword(fileMs);
    w.dword(fileLs);
    w.dword(productMs);
    w.dword(productLs);
    w.dword(0x3F);    // every flag is meaningful...
    w.dword(0);       // ...and none is set: a release build
    w.dword(0x40004); // VOS_NT_WINDOWS32, the usual claim
    w.dword(1);       // VFT_APP
    w.dword(0);       // no subtype
    w.dword(0);       // no date
    w.dword(0);

    const qsizetype fileInfo = w.begin(0, Text, QStringLiteral("StringFileInfo"));
    const qsizetype stringTable = w.begin(0, Text, table);
    for (const auto& [key, value] : strings) {
        const qsizetype entry = w.begin(quint16(value.size() + 1), Text, key);
        w.text(value);
        w.end(entry);
    }
    w.end(stringTable);
    w.end(fileInfo);

    const qsizetype varInfo = w.begin(0, Text, QStringLiteral("VarFileInfo"));
    const qsizetype translation = w.begin(4, Binary, QStringLiteral("Translation"));
    w.word(table.left(4).toUShort(nullptr, 16));
    w.word(table.mid(4, 4).toUShort(nullptr, 16));
    w.end(translation);
    w.end(varInfo);
    w.end(root);
    return w.bytes;
}

QByteArray findVersionBlock(const QString& path) {
    if (path.isEmpty())
        return {};
    BoundedFile file(path);
    if (!file.isOpen())
        return {};
    QByteArray block = elfVersionSection(file);
    if (block.isEmpty())
        block = peVersionResource(file);
    return block;
}

QStringList parseVersionBlock(const QByteArray& block) {
    // Fixed places of a block with one StringFileInfo first: its key, the
    // first string table's length and that table's first entry.
    constexpr qsizetype ChildKey = 98;
    constexpr qsizetype TableLength = 128;
    constexpr qsizetype FirstEntry = 152;
    if (wideString(block, ChildKey, block.size()) != QLatin1String("StringFileInfo"))
        throw Error(QStringLiteral("Unrecognised version block"));
    const qsizetype tableEnd = qMin(TableLength + u16(block, TableLength), block.size());
    QStringList lines;
    for (qsizetype entry = FirstEntry; entry < tableEnd;) {
        const quint16 length = u16(block, entry);
        // A zero length would never move on.
        if (length == 0)
            break;
        const qsizetype entryEnd = qMin(entry + length, tableEnd);
        const QString key = wideString(block, entry + 6, entryEnd);
        const qsizetype valueAt = align4(entry + 6 + 2 * (key.size() + 1));
        lines << key + QLatin1Char('=') + wideString(block, valueAt, entryEnd);
        entry = align4(entry + length);
    }
    return lines;
}

QStringList GetVersionStrings(const QString& path) {
    const QByteArray block = findVersionBlock(path);
    if (wideString(block, 6, block.size()) != QLatin1String("VS_VERSION_INFO"))
        return {};
    return parseVersionBlock(block);
}

} // namespace sortello
