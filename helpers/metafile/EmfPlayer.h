// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// EMF files drawn by playing their records onto a QPainter, the way GDI plays
// them, into a QPicture in the picture's own pixels: clipping, raster
// operations, pattern brushes and each character's advance survive, and the
// program scales the picture to any size without loss.
//
// Needs a QGuiApplication (fonts).
#include "MetafileFormat.h"

#include <QByteArray>
#include <string_view>

namespace sortello::metafile {

struct PlayedEmf {
    PictureSize size;
    QByteArray picture; // QPicture::data()
};

// Throws ConversionError when the file cannot be drawn.
PlayedEmf playEmf(std::string_view bytes);

} // namespace sortello::metafile
