// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/FolderChars.h"
#include "settings/SettingsFile.h"
#include "support/TempFiles.h"

#include <gtest/gtest.h>

using namespace sortello;

namespace {

QStringList lines(std::initializer_list<const char*> items) {
    QStringList result;
    for (const char* item : items)
        result << QString::fromUtf8(item);
    return result;
}

struct DestinationCase {
    const char* argument;
    const char* folder;
};

void PrintTo(const DestinationCase& c, std::ostream* os) {
    *os << c.argument;
}

class Destination : public ::testing::TestWithParam<DestinationCase> {
protected:
    const FolderChars table{
        lines({"A=/pics/A/", "1=/pics/digits/", "É=/pics/E/", "A=/second/", "Dx=/never/",
               "B=/pics/B", "=/empty-key/", "Ω=/pics/omega/", "𝄞=/music/", "Diverse=/pics/misc/"})};
};

TEST_P(Destination, FollowsTheFirstCharacter) {
    const QString argument = QString::fromUtf8(GetParam().argument);
    const QString folder = QString::fromUtf8(GetParam().folder);
    EXPECT_EQ(table.DestinationFolder(argument), folder);
    const qsizetype slash = argument.lastIndexOf(QLatin1Char('/'));
    EXPECT_EQ(table.DestinationPath(argument), folder + argument.mid(slash + 1));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Destination,
    ::testing::Values(
        DestinationCase{"apple.jpg", "/pics/A/"}, DestinationCase{"/in/apple.jpg", "/pics/A/"},
        DestinationCase{"a", "/pics/A/"}, DestinationCase{"A", "/pics/A/"},
        DestinationCase{"Banana.jpg", "/pics/B"}, DestinationCase{"cherry.jpg", "/pics/misc/"},
        DestinationCase{"1.jpg", "/pics/digits/"}, DestinationCase{"2.jpg", "/pics/misc/"},
        DestinationCase{"émile.jpg", "/pics/E/"},
        // The same name with the accent stored as a combining mark.
        DestinationCase{"e\xCC\x81mile.jpg", "/pics/E/"}, DestinationCase{"ω.gif", "/pics/omega/"},
        DestinationCase{"𝄞.gif", "/music/"}, DestinationCase{"dog.jpg", "/pics/misc/"},
        DestinationCase{"Diverse.jpg", "/pics/misc/"},
        DestinationCase{"/in:x/=odd.jpg", "/pics/misc/"},
        DestinationCase{" space.jpg", "/pics/misc/"}));

TEST(Destination, InsertsNoSeparator) {
    const FolderChars table(lines({"B=/pics/B", "Diverse=/misc/"}));
    EXPECT_EQ(table.DestinationPath(QStringLiteral("banana.jpg")),
              QStringLiteral("/pics/Bbanana.jpg"));
}

TEST(Destination, ValuesMayHoldEqualsSigns) {
    const FolderChars table(lines({"Q=/a=b/", "Diverse=/misc/"}));
    EXPECT_EQ(table.DestinationFolder(QStringLiteral("q.jpg")), QStringLiteral("/a=b/"));
}

TEST(FolderCharsLoading, EmptyOrMissingDiverseBecomesBang) {
    for (const QStringList& before :
         {lines({"A=/a/"}), lines({"A=/a/", "Diverse="}), lines({"DIVERSE=", "A=/a/"})}) {
        FolderChars table(before);
        table.complete();
        EXPECT_EQ(table.valueOf(DiverseKey), QStringLiteral("!"))
            << before.join(u'|').toStdString();
        EXPECT_EQ(table.DestinationPath(QStringLiteral("zebra.jpg")), QStringLiteral("!zebra.jpg"));
    }
    FolderChars appended(lines({"A=/a/"}));
    appended.complete();
    EXPECT_EQ(appended.lines(), lines({"A=/a/", "Diverse=!"}));
    FolderChars inPlace(lines({"diverse=", "A=/a/"}));
    inPlace.complete();
    EXPECT_EQ(inPlace.lines(), lines({"diverse=!", "A=/a/"}));
}

TEST(FolderCharsLoading, DropsEmptyEntriesAfterTheDefault) {
    FolderChars table(lines({"A=", "B=/b/", "C=", "Diverse=/misc/"}));
    table.complete();
    EXPECT_EQ(table.lines(), lines({"B=/b/", "Diverse=/misc/"}));
    EXPECT_EQ(table.DestinationFolder(QStringLiteral("apple.jpg")), QStringLiteral("/misc/"));
}

TEST(FolderCharsLoading, ReadsTheCharsSectionInFileOrder) {
    sortello::test::TempFolder dir;
    const QString ini = dir.file(QStringLiteral("sortello.ini"));
    sortello::test::writeFile(ini, "[Folders]\r\nSource=\"/in/\"\r\n[Chars]\r\nZ=\"/z/\"\r\n"
                                   "A = \" /a with blanks/ \"\r\nB=\r\n");
    FolderChars table;
    SettingsFile settings(ini);
    table.load(settings);
    table.complete();
    EXPECT_EQ(table.lines(), lines({"Z=/z/", "A= /a with blanks/ ", "Diverse=!"}));
}

TEST(FolderCharsLoading, NoSettingsFileLeavesOnlyDiverse) {
    sortello::test::TempFolder dir;
    FolderChars table(lines({"stale=/x/"}));
    SettingsFile settings(dir.file(QStringLiteral("none.ini")));
    table.load(settings);
    table.complete();
    EXPECT_EQ(table.lines(), lines({"Diverse=!"}));
}

} // namespace
