// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Error.h"
#include "base/VersionInfo.h"
#include "support/TempFiles.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <sys/stat.h>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

using namespace sortello;
using namespace sortello::test;

namespace {

QString fixture(const char* name) {
    return QStringLiteral(SORTELLO_FIXTURES "/version/") + QString::fromLatin1(name);
}

// The strings of fixtures/version/program.rc.
const VersionStrings FixtureStrings = {
    {"CompanyName", "Fixture Works"},    {"FileDescription", "A block of ten strings"},
    {"FileVersion", "2.0.4.21"},         {"InternalName", "fixture"},
    {"LegalCopyright", "None"},          {"OriginalFilename", "program.exe"},
    {"ProductName", "Fixture"},          {"Developers", "A and B"},
    {"HTTP", "http://fixture.invalid/"}, {"SMTP", "mail@fixture.invalid"},
};

QStringList linesOf(const VersionStrings& strings) {
    QStringList lines;
    for (const auto& [key, value] : strings)
        lines << key + QLatin1Char('=') + value;
    return lines;
}

// Writes a little-endian number of `bytes` bytes.
void put(QByteArray& b, qsizetype at, quint64 value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b[at + i] = char((value >> (8 * i)) & 0xFF);
}

// Where the fields of a made file are, for the tests that spoil them.
enum Base { Start, SectionTable, VersionEntry, Resources, Optional };
using Layout = std::array<qsizetype, 5>;

// An ELF file with a names table and a .sortello_version section.
QByteArray makeElf(bool wide, const QByteArray& block, Layout* layout = nullptr) {
    const int entry = wide ? 64 : 40;
    const int word = wide ? 8 : 4;
    QByteArray file(wide ? 64 : 52, '\0');
    file.replace(0, 7,
                 QByteArray("\x7F"
                            "ELF") +
                     char(wide ? 2 : 1) + '\1' + '\1');
    const qsizetype blockAt = file.size();
    file += block + QByteArray("\0.shstrtab\0.sortello_version\0", 29);
    file += QByteArray(8 - file.size() % 8, '\0');
    const qsizetype table = file.size();
    file += QByteArray(3 * entry, '\0');
    const qsizetype entries[2][3] = {{table + entry, 1, blockAt + block.size()},
                                     {table + 2 * entry, 11, blockAt}};
    for (const auto& [at, name, offset] : entries) {
        put(file, at, name, 4);
        put(file, at + 4, 1, 4);
        put(file, at + (wide ? 24 : 16), offset, word);
        put(file, at + (wide ? 32 : 20), name == 1 ? 29 : block.size(), word);
    }
    put(file, wide ? 0x28 : 0x20, table, word);
    const int counts = wide ? 0x3A : 0x2E; // entry size, count, names index
    put(file, counts, entry, 2);
    put(file, counts + 2, 3, 2);
    put(file, counts + 4, 1, 2);
    if (layout)
        *layout = {0, table, table + 2 * entry, 0, 0};
    return file;
}

// A PE image whose one section holds a version resource (type 16, name 1,
// language 0x409), as PE32 or PE32+.
QByteArray makePe(bool plus, const QByteArray& block, Layout* layout = nullptr) {
    const int optionalSize = plus ? 240 : 224;
    const int directories = 0x58 + (plus ? 112 : 96);
    QByteArray file(0x258, '\0');
    file.replace(0, 2, "MZ");
    put(file, 0x3C, 0x40, 4);
    file.replace(0x40, 4, QByteArray("PE\0\0", 4));
    put(file, 0x46, 1, 2); // one section
    put(file, 0x54, optionalSize, 2);
    put(file, 0x58, plus ? 0x20B : 0x10B, 2);
    put(file, directories - 4, 16, 4);
    put(file, directories + 16, 0x1000, 4); // the resources
    put(file, directories + 20, 0x58 + block.size(), 4);
    const qsizetype section = 0x58 + optionalSize;
    put(file, section + 8, 0x58 + block.size(), 4);
    put(file, section + 12, 0x1000, 4);
    put(file, section + 16, 0x58 + block.size(), 4);
    put(file, section + 20, 0x200, 4);
    const std::tuple<int, quint32, quint32> levels[] = {
        {0x200, 16, 0x80000018}, {0x218, 1, 0x80000030}, {0x230, 0x409, 0x48}};
    for (const auto& [at, id, target] : levels) {
        put(file, at + 14, 1, 2);
        put(file, at + 16, id, 4);
        put(file, at + 20, target, 4);
    }
    put(file, 0x248, 0x1058, 4);
    put(file, 0x24C, block.size(), 4);
    if (layout)
        *layout = {0, section, 0, 0x200, 0x58};
    return file + block;
}

// What reading a possibly damaged file gives: its lines, or the error.
QString outcome(const QString& path) {
    try {
        return GetVersionStrings(path).join(QLatin1Char('|'));
    } catch (const Error& error) {
        return QStringLiteral("error: ") + error.message();
    }
}

TEST(VersionInfo, TheProgramCarriesItsOwnBlock) {
    const QStringList lines = GetVersionStrings(QStringLiteral(SORTELLO_PROGRAM));
    QStringList keys;
    for (const QString& line : lines)
        keys << line.section(QLatin1Char('='), 0, 0);
    EXPECT_EQ(keys, QStringList({"CompanyName", "FileDescription", "FileVersion", "InternalName",
                                 "LegalCopyright", "OriginalFilename", "ProductName", "Developers",
                                 "HTTP", "SMTP"}));
    EXPECT_TRUE(lines.contains(QStringLiteral("FileVersion=2.0.4.21")));
    EXPECT_TRUE(lines.contains(QStringLiteral("ProductName=Sortello")));
}

TEST(VersionInfo, OurBlockIsByteForByteTheOneWindresMade) {
    const QByteArray windres = findVersionBlock(fixture("program.exe"));
    ASSERT_FALSE(windres.isEmpty());
    EXPECT_EQ(buildVersionBlock(FixtureStrings).toHex().toStdString(),
              windres.toHex().toStdString());
    EXPECT_EQ(GetVersionStrings(fixture("program.exe")), linesOf(FixtureStrings));
    EXPECT_THROW(buildVersionBlock({{"Comments", QString(40000, QLatin1Char('x'))}}), Error);
}

TEST(VersionInfo, WindresLayoutsOfOtherShapes) {
    // Only the first string table counts; an empty value is a line too.
    EXPECT_EQ(GetVersionStrings(fixture("tables.exe")),
              QStringList({"FileDescription=Danish table first", "FileVersion=3.1.4.159",
                           "Comments=", "ProductName=Tables", "HTTP=http://first.invalid/",
                           "http=http://second.invalid/"}));
    EXPECT_EQ(outcome(fixture("varfirst.exe")),
              QStringLiteral("error: Unrecognised version block"));
}

class MadeFiles : public ::testing::TestWithParam<std::tuple<bool, bool>> {};

// ELF32, ELF64, PE32 and PE32+; another root key is no information, another
// first child an error.
TEST_P(MadeFiles, AreReadByTheirKeys) {
    const auto [elf, wide] = GetParam();
    TempFolder dir;
    const QString path = dir.file(QStringLiteral("made"));
    auto write = [&](const QByteArray& block) {
        writeFile(path, elf ? makeElf(wide, block) : makePe(wide, block));
    };
    QByteArray block = buildVersionBlock(FixtureStrings);
    write(block);
    EXPECT_EQ(findVersionBlock(path), block);
    EXPECT_EQ(GetVersionStrings(path), linesOf(FixtureStrings));
    block[6] = 'v';
    write(block);
    EXPECT_EQ(outcome(path), QString());
    block[6] = 'V';
    block[98] = 'X';
    write(block);
    EXPECT_EQ(outcome(path), QStringLiteral("error: Unrecognised version block"));
}

INSTANTIATE_TEST_SUITE_P(VersionInfo, MadeFiles,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()));

TEST(VersionInfo, FilesWithoutABlockGiveNoLines) {
    TempFolder dir;
    writeFile(dir.file(QStringLiteral("text.txt")), "just some text\n");
    writeFile(dir.file(QStringLiteral("empty")), QByteArray());
    const QString fifo = dir.file(QStringLiteral("fifo"));
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    for (const QString& path :
         {QString(), dir.file(QStringLiteral("missing")), dir.file(QStringLiteral("text.txt")),
          dir.file(QStringLiteral("empty")), dir.path(), fifo,
          QCoreApplication::applicationFilePath()})
        EXPECT_TRUE(GetVersionStrings(path).isEmpty()) << path.toStdString();
}

TEST(VersionInfo, TheWalkStopsAtTheBlocksEndAndAtAZeroLength) {
    QByteArray block = buildVersionBlock(FixtureStrings);
    put(block, 128, 0xFFFF, 2); // the table claims to run past the block
    const QStringList past = parseVersionBlock(block);
    EXPECT_EQ(past.mid(0, 10), linesOf(FixtureStrings));
    put(block, 152, 0, 2); // a zero length would never move on
    EXPECT_TRUE(parseVersionBlock(block).isEmpty());
    EXPECT_EQ(parseVersionBlock(buildVersionBlock(FixtureStrings).left(166)),
              QStringList{QStringLiteral("Comp=")});
}

struct Spoil {
    const char* name;
    bool elf;
    Base base;
    qsizetype offset;
    int bytes;
    quint64 value;
};

class SpoiltFiles : public ::testing::TestWithParam<Spoil> {};

// One field out of range: no information, and no crash.
TEST_P(SpoiltFiles, GiveNoLines) {
    const Spoil& s = GetParam();
    Layout layout;
    const QByteArray block = buildVersionBlock(FixtureStrings);
    QByteArray file = s.elf ? makeElf(true, block, &layout) : makePe(true, block, &layout);
    put(file, layout[s.base] + s.offset, s.value, s.bytes);
    TempFolder dir;
    writeFile(dir.file(QStringLiteral("spoilt")), file);
    EXPECT_EQ(outcome(dir.file(QStringLiteral("spoilt"))), QString());
}

constexpr quint64 Huge = ~quint64(0);

INSTANTIATE_TEST_SUITE_P(
    VersionInfo, SpoiltFiles,
    ::testing::Values(Spoil{"ElfBigEndian", true, Start, 5, 1, 2},
                      Spoil{"ElfTableOffsetHuge", true, Start, 0x28, 8, Huge - 8},
                      Spoil{"ElfEntriesTooSmall", true, Start, 0x3A, 2, 8},
                      Spoil{"ElfManySections", true, Start, 0x3C, 2, 0xFFFE},
                      Spoil{"ElfNamesIndexOutside", true, Start, 0x3E, 2, 7},
                      Spoil{"ElfNameOffsetOutside", true, VersionEntry, 0, 4, 0xFFFFFFF0},
                      Spoil{"ElfSectionOffsetHuge", true, VersionEntry, 24, 8, Huge - 4},
                      Spoil{"ElfSectionSizeHuge", true, VersionEntry, 32, 8, Huge},
                      Spoil{"ElfSectionWithoutBits", true, VersionEntry, 4, 4, 8},
                      Spoil{"PeHeaderOffsetHuge", false, Start, 0x3C, 4, 0xFFFFFFF0},
                      Spoil{"PeOptionalHeaderTooShort", false, Start, 0x54, 2, 20},
                      Spoil{"PeResourcesOutsideSections", false, Optional, 128, 4, 0x9000},
                      Spoil{"PeManySections", false, Start, 0x46, 2, 0xFFFF},
                      Spoil{"PeRawDataBeyondFile", false, SectionTable, 20, 4, 0xFFFFFF00},
                      Spoil{"PeNoVersionType", false, Resources, 16, 4, 17},
                      Spoil{"PeSubdirectoryOutside", false, Resources, 20, 4, 0xFFFFFFF0},
                      Spoil{"PeDirectoryPointsToItself", false, Resources, 20, 4, 0x80000000},
                      Spoil{"PeLanguageIsADirectory", false, Resources, 0x44, 4, 0x80000030},
                      Spoil{"PeDataOutsideSections", false, Resources, 0x48, 4, 0x12345678},
                      Spoil{"PeDataSizeHuge", false, Resources, 0x4C, 4, 0xFFFFFFFF}),
    [](const auto& info) { return std::string(info.param.name); });

// Files cut at every seventh length, and random damage to files and blocks:
// any clear outcome, never a crash.
TEST(VersionInfo, CutAndDamagedFilesNeverCrash) {
    TempFolder dir;
    const QString path = dir.file(QStringLiteral("cut"));
    const QByteArray block = buildVersionBlock(FixtureStrings);
    const QByteArray windres = readFile(fixture("program.exe"));
    const QByteArray elf = makeElf(false, block);
    const QString all = linesOf(FixtureStrings).join(QLatin1Char('|'));
    for (const QByteArray& whole : {windres, elf}) {
        for (qsizetype length = 0; length < whole.size(); length += 7) {
            writeFile(path, whole.left(length));
            const QString result = outcome(path);
            EXPECT_TRUE(result.isEmpty() || result == all) << length;
        }
    }
    QRandomGenerator random(20240611);
    for (int round = 0; round < 300; ++round) {
        QByteArray file = windres;
        for (int flips = random.bounded(1, 12); flips > 0; --flips)
            file[random.bounded(0x40, 0xB00)] = char(random.bounded(256));
        writeFile(path, file);
        outcome(path);
        QByteArray damaged = block.left(random.bounded(block.size() + 1));
        for (int flips = random.bounded(1, 30); flips > 0 && !damaged.isEmpty(); --flips)
            damaged[random.bounded(int(damaged.size()))] = char(random.bounded(256));
        try {
            parseVersionBlock(damaged);
        } catch (const Error&) {
        }
    }
}

} // namespace
