// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The uncompressed bitmap layouts Qt's reader refuses or misreads, decoded
// here: colour masks of any width (Qt blackens channels wider than 8 bits),
// the 16-byte OS/2 2.x header and the 52- and 56-byte Windows headers. Every
// other layout is left to Qt.
#include <QImage>
#include <QtGlobal>

namespace sortello {

enum class OwnBitmap {
    NotOurs,  // a layout Qt reads right, or one nobody can read
    CutShort, // ours, but the file ends before its last row of pixels
    Decoded,
};

// Decodes the bitmap file open as `fd` into `image` when its layout is one of
// ours. The caller has already held its declared size to the pixel limit; the
// rows are read only once the file is known to hold all of them.
OwnBitmap decodeOwnBitmap(int fd, qint64 fileSize, QImage& image);

} // namespace sortello
