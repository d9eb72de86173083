// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's version information, kept as a Windows VS_VERSIONINFO block:
// built at compile time, embedded in the ELF executable in a section of its
// own, and read back from an ELF section or from a PE file's version resource.
// Every read is bounded by the file, so a damaged or hostile file yields an
// empty list or a clear error, never a crash. QtCore only.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

namespace sortello {

// The ELF section that carries the block in the sortello executable.
inline constexpr char VersionSectionName[] = ".sortello_version";

// The string table every block of ours carries: US English, Windows-1252.
inline constexpr QLatin1StringView VersionTableKey{"040904E4"};

using VersionStrings = QList<std::pair<QString, QString>>;

// A VS_VERSIONINFO block laid out as a resource compiler does (windres
// produces the same bytes): the fixed file information, one string table
// `table` holding `strings` in order, and a Translation naming the table's
// language and code page. The fixed version numbers come from the
// "FileVersion" and "ProductVersion" strings ("2.0.4.21" gives 2, 0, 4, 21).
// Throws Error when the block would pass the format's 64 KiB limit.
QByteArray buildVersionBlock(const VersionStrings& strings,
                             const QString& table = QString(VersionTableKey));

// The raw block a file carries: the ELF section named VersionSectionName
// (32- and 64-bit little-endian files) or the PE resource of type 16, name 1,
// first language. Empty when the file has none or cannot be read.
QByteArray findVersionBlock(const QString& path);

// The "key=value" lines of the block's first string table, in the block's
// order. Throws Error("Unrecognised version block") when the first child of
// the root is not "StringFileInfo".
QStringList parseVersionBlock(const QByteArray& block);

// The "key=value" lines of the file's version information; an empty list for
// an empty path, an unreadable file, a file without a block or a block whose
// root key is not "VS_VERSION_INFO". Throws like parseVersionBlock.
QStringList GetVersionStrings(const QString& path);

} // namespace sortello
