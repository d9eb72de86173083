// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// JPEG files through libjpeg(-turbo) directly: the size from the header alone,
// and the image decoded at the DCT scale it is shown at, straight into the
// QImage's own rows. A damaged file is an Error("JPEG error #n"), n being
// libjpeg's message number; data libjpeg calls corrupt counts as damage, so a
// truncated picture is never shown half grey as if it were whole.
#include "pictures/Picture.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace sortello {

// Progressive files with more scans than this are refused: each scan walks the
// whole picture, so a small hostile file could otherwise keep us busy for ages.
inline constexpr int MaxJpegScans = 500;

// libjpeg's own memory bound for one decode (progressive coefficient buffers).
inline constexpr long MaxJpegMemory = 512L * 1024 * 1024;

// The picture's own size, reading the file only up to the start of its scans.
QSize readJpegSize(const QString& path);

struct JpegHeader {
    QSize size;      // as stored, before any EXIF orientation
    QByteArray exif; // the EXIF block, empty when the file has none
};
// The size as readJpegSize() reads it, and the EXIF block among the segments
// that precede the picture's tables, read in the same visit to the file.
JpegHeader readJpegHeader(const QString& path);

// The n of the n/8 DCT scale to decode at: the smallest of 1, 2, 4, 8 whose
// output covers target in both dimensions, 8 when none does.
int jpegScaleFor(const QSize& own, const QSize& target);

// The output size libjpeg gives for own at n/8 (rounded up, as libjpeg does).
QSize jpegScaledSize(const QSize& own, int eighths);

// The whole file, read once, so that later decodes need not find it again.
QByteArray readJpegFile(const QString& path);

// Decodes the file at eighths/8 of its size into a Format_RGB32 image.
// `progress` sees the image every band of rows as they arrive.
QImage decodeJpeg(const QString& path, int eighths, const DecodeProgress& progress = {});
// The same from the file's bytes; `path` only names the file in errors.
QImage decodeJpeg(const QString& path, const QByteArray& bytes, int eighths,
                  const DecodeProgress& progress = {});

} // namespace sortello
