// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// BMP, GIF and ICO files through QImageReader with the format their extension
// names, decoded in full (they are small, or cheap to decode).
#include "pictures/Picture.h"
#include "pictures/PictureFile.h"

#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QList>
#include <QString>

namespace sortello {

// GIF and icon pixels are compressed without bound, so a file of a few bytes
// can declare a canvas of gigabytes; they are held to a smaller limit than
// bitmaps, whose size must be backed by the file's own bytes.
inline constexpr qint64 MaxCompressedRasterPixels = 64'000'000;

// An animated GIF keeps its frames only while all of them together stay below
// this many pixels (and this many frames); a larger one shows its first frame.
inline constexpr qint64 MaxAnimationPixels = MaxPicturePixels / 4;
inline constexpr int MaxAnimationFrames = 5000;

struct RasterImage {
    QImage image;                 // the picture (an animation's first frame)
    QList<AnimationFrame> frames; // two or more, or none for a still picture
};

// Decodes a Bitmap, Gif or Icon file: an icon gives its largest image.
RasterImage decodeRaster(const QString& path, PictureKind kind);

// What a failed QImageReader found wrong with the file, in words a user
// understands; Qt's own texts ("Unknown error", "Unable to read image data")
// say nothing about the file.
QString readerProblem(const QImageReader& reader);

} // namespace sortello
