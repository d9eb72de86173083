// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sizes a HEIF file's parts say they decode to. libheif allocates what
// an HEVC stream's sequence parameters or a grid's own description say,
// whatever size the file declares for the image, so a few hundred bytes can
// ask for gigabytes.
#include <QByteArray>
#include <QtGlobal>

namespace sortello {

// The largest area, in pixels, that any HEVC decoder configuration ('hvcC'
// in meta/iprp/ipco) of the file gives its pictures; 0 when none is read.
qint64 largestHevcCodedArea(const QByteArray& file);

// The largest output area, in pixels, that any grid item of the file
// describes; 0 when none is read.
qint64 largestGridArea(const QByteArray& file);

} // namespace sortello
