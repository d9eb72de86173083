// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every picture decoder shares: opening a picture file, reading its bytes
// and the error texts of a file that is not what its name promises.
#include "base/Error.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <memory>

namespace sortello {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens a picture file for reading and gives its size in bytes. Throws a clear
// Error when it cannot be opened (with the system's reason), is a folder or is
// empty.
FileHandle openPictureFile(const QString& path, qint64& size);

// The whole file in one read, for decoders that work from memory: later
// decodes then need neither the file nor a system call. Throws like
// openPictureFile, and for a file too large to hold any picture we would show.
QByteArray readPictureBytes(const QString& path);

// Reads `count` bytes at offset `at` of a file; false when it ends first or a
// read fails.
bool readFileAt(int fd, qint64 at, char* into, qint64 count);

// The little-endian unsigned number of `size` bytes at `at`; the caller has
// checked that they lie within `bytes`.
quint32 littleEndianField(const QByteArray& bytes, int at, int size);

// The first bytes of an open file, leaving its position where it was.
QByteArray fileHead(std::FILE* file, int count = 64);

// What a file's first bytes (44 or more for an EMF) show it to be ("a PNG
// picture", "text"), or an empty text when they show nothing we know.
QString contentDescription(const QByteArray& head);

Error tooLargeError(const QString& path, qint64 width, qint64 height);
// An image of that size could not be had from the system.
Error noMemoryError(const QString& path, qint64 width, qint64 height);
// The one wording of a file that is not what its name promises, or is damaged:
// "is not a GIF file: it holds a PNG picture" when it starts as another kind,
// "is a damaged GIF file: <detail>" when it starts as the promised one. `format`
// is the format the extension promised ("JPEG", "WMF"); `detail` what is wrong,
// in words a user understands; empty when only the header was looked at.
Error wrongContentError(const QString& path, const QString& format, const QByteArray& head,
                        const QString& detail);

// The detail of a file whose header cannot be read at all.
QString headerUnreadable();
// The detail of a file whose header reads but whose pixels do not decode.
QString pictureDataCorrupt();

} // namespace sortello
