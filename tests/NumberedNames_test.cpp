// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/NumberedNames.h"
#include "support/TempFiles.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace sortello;
using sortello::test::TempFolder;
using sortello::test::writeFile;

namespace {

struct SplitCase {
    const char* name;
    const char* stem;
    const char* digits;
    const char* extension;
};

class Split : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Split, TakesStemDigitsAndExtension) {
    const NumberedName split = SplitNumberedName(QString::fromUtf8(GetParam().name));
    EXPECT_EQ(split.stem.toStdString(), GetParam().stem);
    EXPECT_EQ(split.digits.toStdString(), GetParam().digits);
    EXPECT_EQ(split.extension.toStdString(), GetParam().extension);
}

INSTANTIATE_TEST_SUITE_P(Cases, Split,
                         ::testing::Values(SplitCase{"Anna0012.jpg", "Anna", "0012", ".jpg"},
                                           SplitCase{"/x/y/Anna.JPG", "Anna", "", ".JPG"},
                                           SplitCase{"2019.jpg", "", "2019", ".jpg"},
                                           SplitCase{".jpg", "", "", ".jpg"},
                                           SplitCase{"noext12", "noext", "12", ""},
                                           SplitCase{"a1b2.tar.gz", "a1b2.tar", "", ".gz"},
                                           SplitCase{"Émile٣.jpg", "Émile٣", "", ".jpg"}));

std::set<qint64> numbers(std::initializer_list<qint64> list) {
    return std::set<qint64>(list);
}

TEST(ChooseNumber, KeepsItsQuirks) {
    EXPECT_EQ(chooseNumber({}), 0);
    EXPECT_EQ(chooseNumber(numbers({0})), 1);
    EXPECT_EQ(chooseNumber(numbers({5})), 0);
    EXPECT_EQ(chooseNumber(numbers({3, 4})), 5);
    EXPECT_EQ(chooseNumber(numbers({3, 4, 6})), 0);
    EXPECT_EQ(chooseNumber(numbers({0, 1, 3})), 2);
    EXPECT_EQ(chooseNumber(numbers({5, 6})), 7);
    EXPECT_EQ(chooseNumber(numbers({0, 1, 2})), 3);
}

TEST(NumberedName, PadsToEightDigitsAndLowersTheExtension) {
    EXPECT_EQ(numberedName(QStringLiteral("Anna"), 0, QStringLiteral(".JPG")),
              QStringLiteral("Anna00000000.jpg"));
    EXPECT_EQ(numberedName(QStringLiteral("É"), 123456789, QStringLiteral(".ÉJPG")),
              QStringLiteral("É123456789.Éjpg"));
}

TEST(UsedNumbersCache, CountsOnlyStemPlusEightDigits) {
    TempFolder dir;
    for (const char* name :
         {"Anna00000003.jpg", "anna00000001.JPG", "Anna123.jpg", "AnnaX00000001.jpg",
          "Anna000000001.jpg", "Bob00000002.jpg", "Anna00000002.gif", ".Anna00000007.jpg"})
        writeFile(dir.file(QString::fromLatin1(name)), "x");
    QDir().mkpath(dir.file(QStringLiteral("Anna00000005.jpg")));
    UsedNumbersCache cache;
    EXPECT_EQ(cache.usedNumbers(dir.path(), QStringLiteral("Anna"), QStringLiteral(".jpg")),
              numbers({1, 3, 5}));
}

TEST(UsedNumbersCache, SeesArrivals) {
    TempFolder dir;
    for (const char* name : {"Anna00000000.jpg", "ANNA00000001.Jpg", "Anna123.jpg",
                             "AnnaX00000002.jpg", "Anna00000004.gif"})
        writeFile(dir.file(QString::fromLatin1(name)), "x");
    UsedNumbersCache cache;
    const auto& used =
        cache.usedNumbers(dir.path(), QStringLiteral("anna"), QStringLiteral(".JPG"));
    EXPECT_EQ(used, numbers({0, 1}));
    EXPECT_EQ(chooseNumber(used), 2);
    cache.noteArrival(dir.path(), QStringLiteral("Anna00000002.jpg"));
    EXPECT_EQ(
        chooseNumber(cache.usedNumbers(dir.path(), QStringLiteral("Anna"), QStringLiteral(".jpg"))),
        3);
}

} // namespace
