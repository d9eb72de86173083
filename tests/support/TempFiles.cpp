// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TempFiles.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

namespace sortello::test {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool exists(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

void setModificationTime(const QString& path, qint64 secondsSinceEpoch) {
    struct utimbuf times {
        static_cast<time_t>(secondsSinceEpoch), static_cast<time_t>(secondsSinceEpoch)
    };
    ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &times), 0);
}

TempFolder::TempFolder() : folder(dir.path() + QLatin1Char('/')) {}

} // namespace sortello::test
