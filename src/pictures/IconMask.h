// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The transparency of icon images whose colours carry no alpha: Qt's reader
// keeps the 1-bit mask of palette images but drops it for 16- and 24-bit ones,
// which then show as opaque squares.
#include <QImage>
#include <QtGlobal>

namespace sortello {

// Makes the pixels that the AND mask of directory entry `entry` of the icon
// file open as `fd` marks as transparent so in `image` (that entry, decoded).
// A PNG entry, one with alpha, or one whose mask lies outside the file or does
// not match the image is left as it is.
void applyIconMask(int fd, qint64 fileSize, int entry, QImage& image);

} // namespace sortello
