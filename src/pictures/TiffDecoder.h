// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TIFF files through libtiff, from the file's bytes: the first page, through
// libtiff's RGBA interface, which knows every photometric and compression
// libtiff reads. For a pane, a strip (or a row of tiles) at a time is averaged
// into the smaller image, so a large picture is never held whole. Each call opens a reader of its
// own with its own error handlers and memory bound, so workers may decode at once and nothing is
// printed.
#include "pictures/Exif.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace sortello {

struct TiffInfo {
    QSize size; // as stored
    // The first page's own orientation tag, and its EXIF directory's
    // DateTimeOriginal with OffsetTimeOriginal: what a JPEG's EXIF says.
    ExifFacts facts;
};

// What the first page's directory says. `path` only names the file in errors.
TiffInfo readTiffInfo(const QString& path, const QByteArray& bytes);

// The first page as stored, its orientation not applied: row by row as the
// file holds them, as a JPEG is decoded before its EXIF turns it. At `size`
// (its own, or a smaller one with its aspect; reduced, the average of the
// pixels each one covers). Format_ARGB32_Premultiplied when it has
// transparency, else Format_RGB32.
QImage decodeTiff(const QString& path, const QByteArray& bytes, const QSize& size);

} // namespace sortello
