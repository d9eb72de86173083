// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the settings file's bytes reach the disk. A write replaces the whole
// file so that a crash leaves the old content or the new, never a mix:
//
// - Where the file's folder takes a new file, the content goes to a new file
//   beside it that is renamed over the old one (owner and mode copied).
// - Where only the file itself may be written (a folder owned by someone else,
//   or a file whose owner the writer cannot hand a new file to), the file is
//   rewritten in place. The new content is first appended behind the old as a
//   pending copy with its length and digest, and synced; only then is it copied
//   to the front and the file cut to its length. A crash before the pending
//   copy is whole leaves the old content in front of a NUL that ends it; a crash
//   after leaves a whole pending copy that settledContent() takes instead.
//   These promises hold for Sortello's reader; after such a crash another
//   program sees the old or new text followed by a NUL and the pending copy,
//   until Sortello's next write.
//
// A symbolic link stays a link: the file it points to is the one written.
#include <QByteArray>

namespace sortello {

// False when the system refuses the write; the file then reads as it was. (The
// one exception: a failure while the front of an in-place rewrite is copied,
// after the pending copy is whole and synced; the file then reads as the new
// content, and other programs see the pending copy behind a NUL until the next
// write. Writing over blocks the file already has leaves little to fail.)
bool replaceSettingsFile(const QByteArray& path, const QByteArray& content);

// The bytes an in-place rewrite appends at offset `at` of the old file before
// it touches the front: a NUL, the new content and the trailer that vouches for it.
QByteArray pendingRecord(qint64 at, const QByteArray& content);

// The content a reader should see in the file's bytes: a whole pending copy
// left by an interrupted in-place rewrite, else everything before a NUL.
QByteArray settledContent(const QByteArray& bytes);

} // namespace sortello
