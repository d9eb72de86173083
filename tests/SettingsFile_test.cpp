// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Error.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsStore.h"
#include "settings/SettingsTables.h"
#include "support/TempFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

// Readable failure messages for texts and lists of texts.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

using namespace sortello;
using sortello::test::readFile;
using sortello::test::TempFolder;
using sortello::test::writeFile;

namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    TempFolder dir;
    QString ini = dir.file("Sortello.ini");

    mode_t modeOf(const QString& path) {
        struct stat status;
        EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
        return status.st_mode & 07777;
    }
    QStringList folderEntries() {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    QString errorOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const Error& error) {
            return error.message();
        }
        return QString();
    }
};

TEST_F(SettingsFileTest, MissingFileGivesDefaultsAndIsNotCreated) {
    SettingsFile file(ini);
    EXPECT_EQ(file.ReadText("Folders", "Source", "dflt"), "dflt");
    EXPECT_EQ(file.ReadNumber("Shortcuts", "SRISetup", 32851), 32851);
    EXPECT_TRUE(file.ReadFlag("MenuSelection", "SRINCenter", true));
    EXPECT_FALSE(file.ReadFlag("MenuSelection", "SRIEHide", false));
    QStringList lines{"left over"};
    file.ReadKeyLines("Chars", lines);
    EXPECT_TRUE(lines.isEmpty());
    file.RemoveSection("Chars");
    EXPECT_FALSE(sortello::test::exists(ini));
}

struct ValueCase {
    const char* line;
    const char* expected;
};

class ReadTextTest : public SettingsFileTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ReadTextTest, ValueComesBackTrimmedAndUnquoted) {
    writeFile(ini, QByteArray("[S]\r\n") + GetParam().line + "\r\n");
    EXPECT_EQ(SettingsFile(ini).ReadText("S", "k", "dflt"), QString::fromUtf8(GetParam().expected));
}

const ValueCase valueCases[] = {{"k=", ""},
                                {"k=   ", ""},
                                {"k=\"\"", ""},
                                {" k \t= v w \t", "v w"},
                                {"k=\"  padded  \"", "  padded  "},
                                {"k='single'", "single"},
                                {"k=\"unbalanced", "\"unbalanced"},
                                {"k=\"mixed'", "\"mixed'"},
                                {"k=\"", "\""},
                                {"k=a=b", "a=b"},
                                {"k=C:\\Bilder\\ ", "C:\\Bilder\\"},
                                {"k=\"Ünïcode\"", "Ünïcode"}};
INSTANTIATE_TEST_SUITE_P(Values, ReadTextTest, ::testing::ValuesIn(valueCases));

TEST_F(SettingsFileTest, NamesMatchWithoutRegardToCase) {
    writeFile(ini, "[fOLDERS]\r\nsOURCE=\"/a\"\r\n[Zeichen]\r\nÉ=x\r\n");
    SettingsFile file(ini);
    EXPECT_EQ(file.ReadText("Folders", "Source", ""), "/a");
    EXPECT_EQ(file.ReadText("zeichen", "é", ""), "x");
    file.WriteText("folders", "Source", "\"/b\"");
    EXPECT_EQ(readFile(ini), "[fOLDERS]\r\nsOURCE=\"/b\"\r\n[Zeichen]\r\nÉ=x\r\n");
}

TEST_F(SettingsFileTest, ForeignFileIsReadSoundly) {
    // LF line ends, BOM, preamble, comments, a repeated section and key, a key
    // "[", a padded header and no final line end.
    writeFile(ini, "\xEF\xBB\xBFpre=1\n; note\n[Chars]\nb=\"/b\"\nno equals sign\n\n"
                   "[=\"/bracket\"\n[Other]\nb=other\n  [ chars ]  \nB=second\na='/a'\nb=third");
    SettingsFile file(ini);
    EXPECT_EQ(file.ReadText("Chars", "pre", "none"), "none");
    EXPECT_EQ(file.ReadText("Chars", "b", ""), "/b");
    EXPECT_EQ(file.ReadText("Chars", "a", ""), "/a");
    EXPECT_EQ(file.ReadText("Chars", "[", ""), "/bracket");
    EXPECT_EQ(file.ReadText("Chars", "no equals sign", "none"), "none");
    QStringList lines;
    file.ReadKeyLines("CHARS", lines);
    EXPECT_EQ(lines, QStringList({"b=/b", "[=/bracket", "a=/a"}));
}

// Lines end at CR LF, CR or LF, as in the profile routines; a file written
// back gets CR LF. `key` "*" lists the section, no key removes it.
struct LineEndCase {
    const char* file;
    const char* section;
    const char* key;
    const char* expected; // the value, the listed keys joined by "|", or the file after
};

void PrintTo(const LineEndCase& c, std::ostream* out) {
    *out << QByteArray(c.file).toPercentEncoding().constData() << ' ' << c.section << '/'
         << (c.key ? c.key : "(removed)");
}

class LineEndTest : public SettingsFileTest, public ::testing::WithParamInterface<LineEndCase> {};

TEST_P(LineEndTest, EveryLineEndEndsALine) {
    const LineEndCase& c = GetParam();
    writeFile(ini, c.file);
    SettingsFile file(ini);
    if (!c.key) {
        file.RemoveSection(c.section);
        EXPECT_EQ(readFile(ini), QByteArray(c.expected));
    } else if (QByteArray(c.key) == "*") {
        QStringList lines;
        file.ReadKeyLines(c.section, lines);
        EXPECT_EQ(lines.join(u'|'), QString::fromUtf8(c.expected));
    } else {
        EXPECT_EQ(file.ReadText(c.section, c.key, "dflt"), QString::fromUtf8(c.expected));
    }
}

const char* const pics = "[Folders]\r\r\nSource=\"C:\\Pics\\\"\r\r\n";
const char* const nameWithEquals = "[A]\r\nk=1\r\n[x=y]\r\nj=2\r\n[B]\r\nm=3\r\n";
const LineEndCase lineEndCases[] = {
    {"[a]\rk=1\r[b]\rk=2\r", "a", nullptr, "[b]\r\nk=2\r\n"},
    {"[a]\rk=1\r", "a", "k", "1"},
    {"[a]\rk=1\r[b]\rk=2\r", "b", "k", "2"},
    {pics, "Folders", "Source", "C:\\Pics\\"},
    {pics, "Folders", nullptr, ""},
    {"[a]\n\rk=1\n\r[b]\n\rk=2", "a", "k", "1"},
    {"[a]\n\rk=1\n\r[b]\n\rk=2", "a", nullptr, "[b]\r\n\r\nk=2\r\n"},
    {"[a]\r\n\r\nk=1\r\n\r\r\nj=2\r", "a", "*", "k=1|j=2"},
    {nameWithEquals, "A", nullptr, "[x=y]\r\nj=2\r\n[B]\r\nm=3\r\n"},
    {nameWithEquals, "x=y", "j", "2"},
    {nameWithEquals, "A", "*", "k=1"},
    {"[S]\r\n[=x]\r\n [ =y\r\n", "S", "*", "[=x]"},
    {"[S]\r\n[a=b]c\r\nk=1\r\n", "a=b", "k", "1"}};
INSTANTIATE_TEST_SUITE_P(LineEnds, LineEndTest, ::testing::ValuesIn(lineEndCases));

TEST_F(SettingsFileTest, ValueReadFromCrCrLfFileIsWrittenBack) {
    writeFile(ini, pics);
    SettingsFile file(ini);
    const QString source = file.ReadText("Folders", "Source", "");
    file.WriteText("Folders", "Source", '"' + source + '"');
    EXPECT_EQ(readFile(ini), "[Folders]\r\n\r\nSource=\"C:\\Pics\\\"\r\n\r\n");
}

TEST_F(SettingsFileTest, WritesKeepLayoutAndEndLinesWithCrLf) {
    writeFile(ini, "; Sortello settings\n[Folders]\nSource=\"C:/x\"\n\n[Chars]\na=\"one\"\n\n"
                   "[Folders]\nOther=1");
    SettingsFile file(ini);
    file.WriteText("Chars", "b", "\"two\"");
    file.WriteText("folders", "SOURCE", "\"D:/y\"");
    file.WriteNumber("Folders", "Other", 2);
    file.WriteText("Folders", " New ", "3");
    file.WriteNumber("Shortcuts", "SRISetup", 32851);
    EXPECT_EQ(readFile(ini), "; Sortello settings\r\n[Folders]\r\nSource=\"D:/y\"\r\nNew=3\r\n\r\n"
                             "[Chars]\r\na=\"one\"\r\nb=\"two\"\r\n\r\n[Folders]\r\nOther=2\r\n"
                             "[Shortcuts]\r\nSRISetup=32851\r\n");
    EXPECT_EQ(SettingsFile(ini).ReadText("Folders", "Other", ""), "2");
}

TEST_F(SettingsFileTest, ViewOptionsWrittenToMissingFileGiveExactBytes) {
    {
        SettingsFile file(ini);
        for (const auto& setting : MenuSelectionSettings)
            file.WriteFlag(SectionMenuSelection, setting.key, setting.defaultOn);
        for (const auto& setting : MenuSelectionPreviewSettings)
            file.WriteFlag(SectionMenuSelectionPreview, setting.key, setting.defaultOn);
    }
    EXPECT_EQ(readFile(ini),
              "[MenuSelection]\r\nSRIBInverseSplit=0\r\nSRFShowFilesMoved=1\r\nSRINAutosize=1\r\n"
              "SRINCenter=1\r\nSRINStretch=1\r\nSRINProportional=1\r\nSRINTransparent=0\r\n"
              "SRIEAutoSize=1\r\nSRIECenter=1\r\nSRIEStretch=1\r\nSRIEProportional=1\r\n"
              "SRIETransparent=0\r\nSRIEHide=0\r\n[MenuSelectionPreview]\r\nMIImgAutoSize=1\r\n"
              "MIImgCenter=1\r\nMIImgProportional=1\r\nMIImgStretch=1\r\nMIImgTransparent=0\r\n");
}

TEST_F(SettingsFileTest, LongValueIsCutAt2047BytesOnCharacterBoundary) {
    const QByteArray plain(3000, 'a');
    const QByteArray split = QByteArray(2046, 'b') + "é tail";
    const QByteArray quoted = '"' + QByteArray(2047, 'c') + "\"";
    writeFile(ini,
              "[S]\r\nplain=" + plain + "\r\nsplit=" + split + "\r\nquoted=" + quoted + "\r\n");
    SettingsFile file(ini);
    EXPECT_EQ(file.ReadText("S", "plain", ""), QString(2047, 'a'));
    EXPECT_EQ(file.ReadText("S", "split", ""), QString(2046, 'b'));
    EXPECT_EQ(file.ReadText("S", "quoted", ""), QString(2047, 'c'));
}

TEST_F(SettingsFileTest, KeyListStopsWhereTheBufferIsFull) {
    // 100-byte names take 101 bytes each; one byte is the final terminator.
    QByteArray content = "[Chars]\r\n";
    for (int i = 0; i < 200; ++i)
        content += QByteArray::number(i).rightJustified(100, 'k') + "=v\r\n";
    writeFile(ini, content);
    QStringList lines;
    SettingsFile(ini).ReadKeyLines("Chars", lines);
    ASSERT_EQ(lines.size(), 16383 / 101);
    EXPECT_EQ(lines.last(), QString("161").rightJustified(100, 'k') + "=v");
}

struct NumberCase {
    const char* text;
    qint32 expected;
};

class ReadNumberTest : public SettingsFileTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(ReadNumberTest, TextGivesNumberOrDefault) {
    writeFile(ini, QByteArray("[S]\r\nn=") + GetParam().text + "\r\n");
    EXPECT_EQ(SettingsFile(ini).ReadNumber("S", "n", -99), GetParam().expected);
}

const NumberCase numberCases[] = {{"0x8053", 32851},
                                  {"0X1f", 31},
                                  {"0xFFFFFFFF", -1},
                                  {"65619", 65619},
                                  {"-17", -17},
                                  {"+5", 5},
                                  {"007", 7},
                                  {" \"42\" ", 42},
                                  {"2147483647", 2147483647},
                                  {"-2147483648", -2147483647 - 1},
                                  {"2147483648", -99},
                                  {"99999999999999999999", -99},
                                  {"abc", -99},
                                  {"", -99},
                                  {"0x", -99},
                                  {"0x123456789", -99},
                                  {"0xG", -99},
                                  {"12abc", -99},
                                  {"-", -99},
                                  {"-0x10", -99},
                                  {"1 2", -99}};
INSTANTIATE_TEST_SUITE_P(Numbers, ReadNumberTest, ::testing::ValuesIn(numberCases));

TEST_F(SettingsFileTest, FlagsAreNumbers) {
    writeFile(ini, "[S]\r\ntwo=2\r\nzero=0\r\nyes=yes\r\n");
    SettingsFile file(ini);
    EXPECT_TRUE(file.ReadFlag("S", "two", false));
    EXPECT_FALSE(file.ReadFlag("S", "zero", true));
    EXPECT_TRUE(file.ReadFlag("S", "yes", true));
    EXPECT_FALSE(file.ReadFlag("S", "yes", false));
    file.WriteFlag("S", "two", false);
    file.WriteNumber("S", "zero", -5);
    EXPECT_EQ(readFile(ini), "[S]\r\ntwo=0\r\nzero=-5\r\nyes=yes\r\n");
}

TEST_F(SettingsFileTest, RemoveSectionRemovesEveryOccurrence) {
    writeFile(ini, "[Chars]\r\na=1\r\n\r\n[Folders]\r\nSource=x\r\n[chars]\r\nb=2\r\n");
    SettingsFile file(ini);
    file.RemoveSection("Chars");
    EXPECT_EQ(readFile(ini), "[Folders]\r\nSource=x\r\n");
    file.WriteText("Chars", "c", "3");
    EXPECT_EQ(readFile(ini), "[Folders]\r\nSource=x\r\n[Chars]\r\nc=3\r\n");
}

TEST_F(SettingsFileTest, ReadOnlyFileIsRefusedAndLeftAlone) {
    writeFile(ini, "[S]\nk=1\n");
    ASSERT_EQ(::chmod(QFile::encodeName(ini).constData(), 0444), 0);
    const QStringList before = folderEntries();
    SettingsFile file(ini);
    EXPECT_EQ(errorOf([&] { file.WriteNumber("S", "k", 2); }), "Unable to write to " + ini);
    EXPECT_EQ(errorOf([&] { file.RemoveSection("S"); }), "Unable to write to " + ini);
    EXPECT_EQ(readFile(ini), "[S]\nk=1\n");
    EXPECT_EQ(folderEntries(), before);
    EXPECT_EQ(file.ReadNumber("S", "k", 0), 1);
}

TEST_F(SettingsFileTest, MissingFolderAndUnreadablePathAreRefused) {
    const QString lost = dir.file("gone/Sortello.ini");
    EXPECT_EQ(errorOf([&] { SettingsFile(lost).WriteText("S", "k", "v"); }),
              "Unable to write to " + lost);
    // A path that cannot be read must not be replaced by a file built from nothing.
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.ini"));
    const QString folder = dir.file("folder.ini");
    SettingsFile file(folder);
    EXPECT_EQ(file.ReadText("S", "k", "dflt"), "dflt");
    EXPECT_EQ(errorOf([&] { file.WriteText("S", "k", "v"); }), "Unable to write to " + folder);
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST_F(SettingsFileTest, RewriteKeepsPermissionsAndNewFileFollowsUmask) {
    writeFile(ini, "[S]\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(ini).constData(), 0640), 0);
    SettingsFile(ini).WriteText("S", "k", "v");
    EXPECT_EQ(modeOf(ini), 0640u);

    const mode_t saved = ::umask(027);
    SettingsFile(dir.file("new.ini")).WriteText("S", "k", "v");
    ::umask(saved);
    EXPECT_EQ(modeOf(dir.file("new.ini")), 0640u);
    EXPECT_EQ(folderEntries(), QStringList({"Sortello.ini", "new.ini"}));
}

TEST_F(SettingsFileTest, SymbolicLinkIsWrittenThrough) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
    const QString target = dir.file("real/Sortello.ini");
    writeFile(target, "[S]\r\nk=1\r\n");
    ASSERT_TRUE(QFile::link("real/Sortello.ini", ini));
    SettingsFile(ini).WriteNumber("S", "k", 2);
    EXPECT_TRUE(QFileInfo(ini).isSymLink());
    EXPECT_EQ(readFile(target), "[S]\r\nk=2\r\n");
}

// Closes a folder to this thread's writes while its file stays writable: root
// passes every permission check, so as root the thread acts on the file
// system as nobody, owner of the file; anyone else takes the folder's write bit.
class FolderClosed {
public:
    FolderClosed(const QString& folder, const QString& file) : folder(QFile::encodeName(folder)) {
        if (::geteuid() == 0) {
            asNobody = ::chown(QFile::encodeName(file).constData(), Nobody, Nobody) == 0 &&
                       ::chmod(this->folder.constData(), 0755) == 0;
            ::setfsgid(Nobody);
            ::setfsuid(Nobody);
        } else {
            ::chmod(this->folder.constData(), 0555);
        }
    }
    ~FolderClosed() {
        ::setfsuid(0);
        ::setfsgid(0);
        ::chmod(folder.constData(), 0700);
    }
    bool closed() const {
        return ::access(folder.constData(), W_OK) != 0 || (asNobody && ::setfsuid(-1) == Nobody);
    }

    static constexpr uid_t Nobody = 65534;

private:
    QByteArray folder;
    bool asNobody = false;
};

TEST_F(SettingsFileTest, FileInAClosedFolderIsRewrittenInPlaceThroughItsLink) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
    const QString target = dir.file("real/Sortello.ini");
    writeFile(target, "[S]\r\nk=1\r\nlong=" + QByteArray(100, 'x') + "\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0604), 0);
    ASSERT_TRUE(QFile::link("real/Sortello.ini", ini));
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    struct stat before;
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &before), 0);
    {
        FolderClosed closed(dir.file("real"), target);
        if (!closed.closed())
            GTEST_SKIP() << "no way to close a folder to this user";
        SettingsFile file(ini);
        file.WriteNumber("S", "k", 2);
        file.RemoveSection("S");
        file.WriteText("T", "k", "v");
    }
    EXPECT_EQ(readFile(target), "[T]\r\nk=v\r\n");
    EXPECT_TRUE(QFileInfo(ini).isSymLink());
    struct stat after;
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, ::geteuid() == 0 ? FolderClosed::Nobody : before.st_uid);
    EXPECT_EQ(after.st_mode & 07777, 0604u);
    EXPECT_EQ(
        QDir(dir.file("real")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList{"Sortello.ini"});
}

// What an in-place rewrite cut short by a crash leaves: the old content and a
// pending copy of the new behind it, whole or not.
TEST_F(SettingsFileTest, InterruptedInPlaceRewriteReadsAsOldOrNew) {
    const QByteArray old = "[S]\r\nk=old\r\n";
    const QByteArray next = "[S]\r\nk=new\r\nj=" + QByteArray(40, 'y') + "\r\n";
    const QByteArray whole =
        old + QByteArray(next.size() - old.size(), '\0') + pendingRecord(next.size(), next);
    QByteArray mixedFront = whole;
    mixedFront.replace(0, 8, next.left(8));
    QByteArray badCopy = whole;
    badCopy[next.size() + 5] = 'X';
    const struct {
        QByteArray bytes;
        const char* value;
    } cases[] = {{whole, "new"},
                 {mixedFront, "new"},
                 {whole.left(whole.size() - 1), "old"},
                 {old + pendingRecord(old.size(), next).left(30), "old"},
                 {badCopy, "old"}};
    for (const auto& c : cases) {
        writeFile(ini, c.bytes);
        EXPECT_EQ(SettingsFile(ini).ReadText("S", "k", ""), c.value);
    }
    SettingsFile(ini).WriteText("S", "k", "newer");
    EXPECT_EQ(readFile(ini), "[S]\r\nk=newer\r\n");
}

TEST_F(SettingsFileTest, HeldWritesReachTheFileOnlyAtCommit) {
    writeFile(ini, "[Chars]\nA=\"/a\"\n");
    {
        SettingsFile file(ini);
        file.Hold();
        file.RemoveSection("Chars");
        file.WriteText("Chars", "B", "\"/b\"");
        EXPECT_EQ(file.ReadText("Chars", "B", ""), "/b");
        EXPECT_FALSE(errorOf([&] { file.WriteText("Chars", "C", "a\nb"); }).isEmpty());
    }
    EXPECT_EQ(readFile(ini), "[Chars]\nA=\"/a\"\n");

    SettingsFile file(ini);
    file.Hold();
    file.RemoveSection("Chars");
    file.WriteText("Chars", "B", "\"/b\"");
    file.Commit();
    EXPECT_EQ(readFile(ini), "[Chars]\r\nB=\"/b\"\r\n");

    ASSERT_EQ(::chmod(QFile::encodeName(ini).constData(), 0444), 0);
    file.Hold();
    file.WriteText("Chars", "B", "\"/c\"");
    EXPECT_EQ(errorOf([&] { file.Commit(); }), "Unable to write to " + ini);
    EXPECT_EQ(file.ReadText("Chars", "B", ""), "/b");
}

TEST_F(SettingsFileTest, NamesAndValuesThatWouldBreakTheFileAreRefused) {
    writeFile(ini, "[S]\r\n");
    SettingsFile file(ini);
    for (const QString& key : std::initializer_list<QString>{
             "", "  ", "a=b", "a\nb", "a\rb", QString("a") + QChar(0), "[x]", " [a]"})
        EXPECT_FALSE(errorOf([&] { file.WriteText("S", key, "v"); }).isEmpty())
            << key.toStdString();
    for (const QString& section : std::initializer_list<QString>{"", "a=b", "a]b", "a\nb"})
        EXPECT_FALSE(errorOf([&] { file.WriteText(section, "k", "v"); }).isEmpty())
            << section.toStdString();
    EXPECT_EQ(errorOf([&] { file.WriteText("S", "k", "two\r\nlines"); }),
              "Cannot store a line break in the value of \"k\" in " + ini);
    EXPECT_EQ(readFile(ini), "[S]\r\n");
    file.WriteText("S", "[", "\"/b\"");
    file.WriteText("S", "]", "\"/c\"");
    QStringList lines;
    SettingsFile(ini).ReadKeyLines("S", lines);
    EXPECT_EQ(lines, QStringList({"[=/b", "]=/c"}));
}

TEST(SettingsTables, ShortcutTableMatchesTheSetupDialog) {
    static_assert(ShortcutSettings.size() == 24 && SetupShortcutCount == 23);
    EXPECT_STREQ(ShortcutSettings.front().key, "SRISetup");
    EXPECT_EQ(ShortcutSettings.front().defaultCode, 32851);
    EXPECT_STREQ(ShortcutSettings[10].key, "SRINAutosize");
    EXPECT_STREQ(ShortcutSettings[16].key, "SRIEAutoSize");
    EXPECT_STREQ(ShortcutSettings[7].key, "SRFRemoveIdentical");
    EXPECT_EQ(ShortcutSettings[7].defaultCode, 49189);
    EXPECT_STREQ(ShortcutSettings[22].key, "SRIBInverseSplit");
    EXPECT_EQ(ShortcutSettings[22].row, 26);
    EXPECT_STREQ(ShortcutSettings.back().key, "SRIShowAbout");
    EXPECT_EQ(ShortcutSettings.back().row, -1);
    EXPECT_EQ(ShortcutSettings.back().defaultCode, 8304);
    for (int i = 1; i < SetupShortcutCount; ++i)
        EXPECT_LT(ShortcutSettings[i - 1].row, ShortcutSettings[i].row) << i;
    for (const auto& setting : ShortcutSettings)
        EXPECT_EQ(setting.defaultCode & 0x1F00, 0) << setting.key;
}

TEST(SettingsTables, ViewOptionTablesKeepTheirOrderAndDefaults) {
    static_assert(MenuSelectionSettings.size() == 13 && MenuSelectionPreviewSettings.size() == 5);
    EXPECT_STREQ(MenuSelectionSettings.front().key, "SRIBInverseSplit");
    EXPECT_FALSE(MenuSelectionSettings.front().defaultOn);
    EXPECT_STREQ(MenuSelectionSettings[2].key, "SRINAutosize");
    EXPECT_STREQ(MenuSelectionSettings[7].key, "SRIEAutoSize");
    EXPECT_STREQ(MenuSelectionSettings.back().key, "SRIEHide");
    EXPECT_STREQ(MenuSelectionPreviewSettings[2].key, "MIImgProportional");
    EXPECT_FALSE(MenuSelectionPreviewSettings.back().defaultOn);
}

} // namespace

namespace {

TEST(SettingsFileHostile, AHugeFileOrAFifoReadsAsDefaultsAndIsNotReplaced) {
    sortello::test::TempFolder dir;
    const QString huge = dir.file(QStringLiteral("huge.ini"));
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray line =
            QByteArray("[Folders]\r\nSource=\"/x/\"\r\n") + QByteArray(1 << 20, 'x');
        for (int i = 0; i < 20; ++i)
            f.write(line);
    }
    const qint64 size = QFileInfo(huge).size();
    sortello::SettingsFile big(huge);
    EXPECT_EQ(
        big.ReadText(QStringLiteral("Folders"), QStringLiteral("Source"), QStringLiteral("/")),
        QStringLiteral("/"));
    EXPECT_THROW(big.WriteFlag(QStringLiteral("MenuSelection"), QStringLiteral("SRIEHide"), true),
                 sortello::Error);
    EXPECT_EQ(QFileInfo(huge).size(), size);

    const QString fifo = dir.file(QStringLiteral("fifo.ini"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    sortello::SettingsFile pipe(fifo);
    EXPECT_EQ(pipe.ReadNumber(QStringLiteral("Shortcuts"), QStringLiteral("SRISetup"), 7), 7);
}

} // namespace
