// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// EXIF blocks written byte by byte as cameras lay them out, and JPEG files
// carrying them: no EXIF tool is needed to make a turned or dated photo.
#include <QByteArray>
#include <QImage>

namespace sortello::test {

// A TIFF-structured block, without the "Exif\0\0" a JPEG puts before it:
// `orientation` 0 writes no orientation tag, an empty `taken`
// ("YYYY:MM:DD HH:MM:SS") no DateTimeOriginal, an empty `offset` ("+HH:MM") no
// OffsetTimeOriginal.
QByteArray exifBlock(int orientation, const QByteArray& taken = {}, const QByteArray& offset = {},
                     bool bigEndian = false);

// `jpeg` with an APP1 segment holding `block` right after its start.
QByteArray withExif(const QByteArray& jpeg, const QByteArray& block);

// The image as a JPEG file's bytes.
QByteArray jpegOf(const QImage& image, int quality = 95);

} // namespace sortello::test
