// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/FolderListing.h"
#include "support/TempFiles.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace sortello {
namespace {

using test::TempFolder;
using test::writeFile;

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

QStringList names(const ListingResult& listing) {
    QStringList list;
    for (const ListedFile& f : listing.files)
        list << f.name;
    return list;
}

struct PatternCase {
    const char* patterns; // nullptr: the default picture patterns
    const char* name;
    bool listed;
};

class Patterns : public ::testing::TestWithParam<PatternCase> {};

TEST_P(Patterns, MatchIgnoringCase) {
    TempFolder tmp;
    const PatternCase& c = GetParam();
    writeFile(tmp.file(QString::fromUtf8(c.name)), "x");
    const ListingResult listing = c.patterns
                                      ? listPictureFiles(tmp.path(), QString::fromUtf8(c.patterns))
                                      : listPictureFiles(tmp.path());
    ASSERT_TRUE(listing.ok);
    EXPECT_EQ(listing.files.size(), c.listed ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Names, Patterns,
    ::testing::Values(PatternCase{nullptr, "IMG_1.JPG", true}, PatternCase{nullptr, "a.jpeg", true},
                      PatternCase{nullptr, "a.Gif", true}, PatternCase{nullptr, "a.bmp", true},
                      PatternCase{nullptr, "a.ico", true}, PatternCase{nullptr, "a.EMF", true},
                      PatternCase{nullptr, "a.wmf", true}, PatternCase{nullptr, "a.png", false},
                      PatternCase{nullptr, "a.jpg.txt", false}, PatternCase{nullptr, "jpg", false},
                      PatternCase{"*.png", "a.PNG", true}, PatternCase{"*.png", "a.jpg", false},
                      PatternCase{" *.png ; *.tif", "b.TIF", true},
                      PatternCase{"img_??.j*g", "IMG_12.JPEG", true},
                      PatternCase{"img_??.j*g", "IMG_123.JPEG", false},
                      PatternCase{"[ab]*.jpg", "B1.jpg", true},
                      PatternCase{"[ab]*.jpg", "c.jpg", false}, PatternCase{"", "a.jpg", false},
                      PatternCase{";;", "a.jpg", false}));

TEST(FolderListing, OnlyVisiblePlainFilesAndLinksToThem) {
    TempFolder tmp;
    writeFile(tmp.file(QStringLiteral("plain.jpg")), "x");
    writeFile(tmp.file(QStringLiteral(".hidden.jpg")), "x");
    ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("folder.jpg")));
    ASSERT_EQ(::mkfifo(native(tmp.file(QStringLiteral("fifo.jpg"))).constData(), 0644), 0);
    ASSERT_EQ(::symlink("plain.jpg", native(tmp.file(QStringLiteral("link.jpg"))).constData()), 0);
    ASSERT_EQ(::symlink("gone.jpg", native(tmp.file(QStringLiteral("dangling.jpg"))).constData()),
              0);
    ASSERT_EQ(::symlink("folder.jpg", native(tmp.file(QStringLiteral("tofolder.jpg"))).constData()),
              0);

    const ListingResult listing = listPictureFiles(tmp.path());
    ASSERT_TRUE(listing.ok);
    EXPECT_EQ(names(listing),
              (QStringList{QStringLiteral("link.jpg"), QStringLiteral("plain.jpg")}));
}

TEST(FolderListing, SortedIgnoringCaseWithATotalOrder) {
    TempFolder tmp;
    // Readdir hands out names in hash order, so equal-looking names only come
    // out in byte order when the sort itself breaks the tie.
    const QStringList expected{"A.jpg",  "a.jpg",  "a10.jpg", "AB.jpg", "Ab.jpg",
                               "aB.jpg", "ab.jpg", "b.jpg",   "B2.jpg", "C.jpg"};
    for (const QString& name : expected)
        writeFile(tmp.file(name), "x");
    // No trailing "/": the folder is taken either way.
    QString folder = tmp.path();
    folder.chop(1);
    const ListingResult listing = listPictureFiles(folder);
    ASSERT_TRUE(listing.ok);
    EXPECT_EQ(names(listing), expected);
}

TEST(FolderListing, NameThatIsNotUtf8KeepsItsBytesAndIsFlagged) {
    TempFolder tmp;
    const QByteArray raw("bad\xff\xfe.jpg");
    const QByteArray rawPath = native(tmp.path()) + raw;
    // Qt cannot see this name, so its temporary folder could not remove it.
    const std::unique_ptr<const char, int (*)(const char*)> removeLater(rawPath.constData(),
                                                                        ::unlink);
    const int fd = ::open(rawPath.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    writeFile(tmp.file(QStringLiteral("caf\u00e9.jpg")), "x");

    const ListingResult listing = listPictureFiles(tmp.path());
    ASSERT_TRUE(listing.ok);
    ASSERT_EQ(listing.files.size(), 2u);
    EXPECT_EQ(listing.files[0].rawName, raw);
    EXPECT_FALSE(listing.files[0].representable);
    EXPECT_EQ(listing.files[1].name, QStringLiteral("caf\u00e9.jpg"));
    EXPECT_EQ(listing.files[1].rawName, "caf\xc3\xa9.jpg");
    EXPECT_TRUE(listing.files[1].representable);
}

TEST(FolderListing, MissingFolderIsAnErrorNotAnEmptyList) {
    TempFolder tmp;
    const ListingResult listing = listPictureFiles(tmp.file(QStringLiteral("missing")));
    EXPECT_FALSE(listing.ok);
    EXPECT_EQ(listing.error, ENOENT);
    EXPECT_FALSE(listing.errorText.isEmpty());
}

} // namespace
} // namespace sortello
