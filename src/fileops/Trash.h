// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop's trash (the freedesktop.org layout): a file goes into the trash
// of its own file system, the home trash when it lives where the home trash
// does, else $topdir/.Trash/$uid or $topdir/.Trash-$uid, with a .trashinfo
// that a file manager restores it by. A file only ever goes by a rename: a
// file system without a trash the user may use refuses (noTrash), and nothing
// is copied across file systems or deleted. Qt's own QFile::moveToTrash does
// neither reliably: without a usable home trash it files the picture under
// "files/" in the working directory, which here is the source folder.
#include "fileops/FileSystem.h"

#include <QByteArray>
#include <QString>

namespace sortello {

struct TrashedFile {
    QByteArray original; // where it was, absolute
    QByteArray path;     // where it is now, in the trash's "files" folder
    QByteArray info;     // its .trashinfo
};

// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share.
QByteArray dataHome();

// Moves the file into the trash. The same files as deleteFile's are refused
// (a read-only file, a folder); a file system without a usable trash gives
// noTrash. On failure the file is where it was and no .trashinfo is left.
FileResult moveToTrash(const QString& path, TrashedFile& trashed);

// Puts a trashed file back under its old name, never over another file, and
// drops its .trashinfo.
FileResult restoreFromTrash(const TrashedFile& trashed);

// replaceFile with the replaced file going to the trash rather than for good:
// when the move then fails, it comes back; should even that fail, it stays in
// the trash and targetRemoved says so. `trashed` tells where it went.
FileResult replaceIntoTrash(const QString& from, const QString& to, TrashedFile& trashed);

} // namespace sortello
