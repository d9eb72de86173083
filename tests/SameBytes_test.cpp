// SPDX-License-Identifier: GPL-3.0-or-later
// Comparing two files' bytes: only two distinct regular files with every byte
// alike are identical, wherever the first difference lies.
#include "fileops/SameBytes.h"
#include "support/TempFiles.h"

#include <QFile>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace sortello;
using sortello::test::TempFolder;
using sortello::test::writeFile;

TEST(SameBytes, OnlyTwoFilesWithEveryByteAlikeAreIdentical) {
    TempFolder dir;
    // Larger than one block read, so a difference at the end lies in a later block.
    QByteArray photo(600 * 1024 + 7, '\0');
    for (int i = 0; i < photo.size(); ++i)
        photo[i] = char(i * 31 % 251);
    QByteArray lastByte = photo;
    lastByte.back() = char(lastByte.back() + 1);
    QByteArray firstByte = photo;
    firstByte.front() = char(firstByte.front() + 1);
    const QString original = dir.file(QStringLiteral("a.jpg"));
    writeFile(original, photo);
    const QString linked = dir.file(QStringLiteral("link.jpg"));
    ASSERT_EQ(
        ::link(QFile::encodeName(original).constData(), QFile::encodeName(linked).constData()), 0);

    struct Case {
        const char* what;
        QByteArray other; // written beside the original; null for the special paths
        QString otherPath;
        Sameness expected;
    };
    const Case cases[] = {
        {"a copy", photo, {}, Sameness::Identical},
        {"the last byte differs", lastByte, {}, Sameness::Different},
        {"the first byte differs", firstByte, {}, Sameness::Different},
        {"one byte shorter", photo.chopped(1), {}, Sameness::Different},
        {"the same file by another name", {}, linked, Sameness::SameFile},
        {"no file", {}, dir.file(QStringLiteral("none.jpg")), Sameness::Unreadable},
        {"a folder", {}, dir.path(), Sameness::Unreadable},
    };
    for (const Case& c : cases) {
        QString other = c.otherPath;
        if (other.isEmpty()) {
            other = dir.file(QStringLiteral("b.jpg"));
            writeFile(other, c.other);
        }
        EXPECT_EQ(compareBytes(original, other), c.expected) << c.what;
        EXPECT_EQ(compareBytes(other, original), c.expected) << c.what;
    }
}
