// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small helpers for tests that work on real files in a temporary folder.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace sortello::test {

// Writes bytes to path (creating or truncating it); fails the test on error.
void writeFile(const QString& path, const QByteArray& bytes);
// The file's bytes, or an empty array when it cannot be read.
QByteArray readFile(const QString& path);
bool exists(const QString& path);
// Sets the file's modification time, seconds since the epoch.
void setModificationTime(const QString& path, qint64 secondsSinceEpoch);

// A temporary folder whose path ends in "/", as folder values do.
class TempFolder {
public:
    TempFolder();
    QString path() const { return folder; }
    QString file(const QString& name) const { return folder + name; }

private:
    QTemporaryDir dir;
    QString folder;
};

} // namespace sortello::test
