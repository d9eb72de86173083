// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The formats decoded by a library made for them from the file's bytes (PNG,
// WebP, TIFF, HEIC/HEIF, AVIF): which decoder an extension names, what
// opening a file learns, and the size each decoder gives for a size asked.
// The file is read once when opened; later sizes come from the same bytes
// even once the file has been moved or removed.
#include "pictures/Exif.h"
#include "pictures/Picture.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <optional>

namespace sortello {

struct LibraryPicture {
    PictureKind kind = PictureKind::Png;
    QString format; // as errors name it: "PNG", "WebP", "TIFF", "HEIF", "AVIF"
    QByteArray bytes;
    QSize size;                   // as stored, before any EXIF orientation
    ExifFacts facts;              // from its EXIF block, or a TIFF's own tags
    QSize thumbnail;              // a HEIF file's largest thumbnail, or empty
    QImage still;                 // a playable animated WebP's first frame
    QList<AnimationFrame> frames; // an animated WebP's, two or more
};

// The kind a lower-case extension (".png") names among these formats.
std::optional<PictureKind> libraryKindOf(const QString& lowerExtension);

// Reads the file and its header; throws Error for a damaged or too large one.
LibraryPicture openLibraryPicture(const QString& path, const QString& lowerExtension);

// The size of the image decodeLibraryPicture gives for `target` (empty: the
// picture's own size).
QSize libraryImageSize(const LibraryPicture& picture, const QSize& target);

// The picture at `size`, which libraryImageSize gave.
QImage decodeLibraryPicture(const LibraryPicture& picture, const QString& path, const QSize& size);

} // namespace sortello
