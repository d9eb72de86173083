// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drawing layer libwmf's player calls for every shape; it writes SVG.
#include "MetafileFormat.h"

#include <cstddef>
#include <cstdint>
#include <libwmf/api.h>
#include <string>
#include <string_view>
#include <vector>

namespace sortello::metafile {

// What libwmf forgets of a font record: a negative height is the size of the
// letters, a positive one that of their cell, accents and descenders included.
struct WmfFontRecord {
    std::int16_t height = 0;
};

struct WmfCanvas {
    // Set before playing: the output size and the device area it shows.
    int width = 1;
    int height = 1;
    // The output's proportions before its size was rounded to whole pixels:
    // a picture of a few pixels is not stretched by the rounding.
    double aspect = 1;
    double viewX = 0;
    double viewY = 0;
    double viewWidth = 1;
    double viewHeight = 1;
    // Device units per logical unit at the first drawing, 0 if unknown.
    double logicalUnit = 0;

    // The file's font records, and how many of them the player has read.
    // Each pass of the player first maps its default font, which is none of
    // them.
    std::vector<WmfFontRecord> fonts;
    std::size_t fontsMapped = 0;
    bool defaultFontNext = true;
    // The player measures a string with an exact advance per letter once
    // whole and then letter by letter, in a buffer of its own, before drawing
    // each letter where the advances put it.
    const char* lastMeasured = nullptr;
    int measuredSinceDrawn = 0;
    const char* letterBuffer = nullptr;
    // The first byte of a two-byte character drawn letter by letter waits
    // here, where it was to be drawn, for the second.
    std::string heldLeadByte;
    double heldX = 0;
    double heldY = 0;

    // A bitmap drawn with SRCAND stays replaceable in svg, at [start, end),
    // until the next drawing: when that paints an image into the same place
    // with SRCPAINT or SRCINVERT, the pair is one picture, transparent where
    // this mask is white.
    struct HeldMask {
        std::size_t start = 0;
        std::size_t end = 0;
        double x = 0;
        double y = 0;
        double width = 0;
        double height = 0;
        int columns = 0;
        int rows = 0;
        std::vector<bool> clear; // rows as libwmf counts them
    } mask;
    // The bitmap record the player read last, while it is drawn.
    const unsigned char* dib = nullptr;
    long dibLength = 0;

    std::string svg;
    bool tooLarge = false;
    bool outOfMemory = false;

    // Device units per output pixel: no line is drawn thinner than this.
    double onePixel() const { return (viewWidth / width + viewHeight / height) / 2; }
    // The widest pen drawn as a hairline: one of no width or of one logical
    // unit, as GDI's default pens are; one wider grows with the picture.
    double hairline() const { return logicalUnit > 0 ? logicalUnit : onePixel(); }
};

// A raster operation of the layer's own, beyond GDI's 24-bit codes: it paints
// the rectangle in the background colour.
inline constexpr std::uint32_t BackgroundFillRop = 0x5B000000;

// Installs the layer's functions; pass it as wmfAPI_Options::function.
void installWmfSvgDevice(wmfAPI* api);

// The most pixels a bitmap inside a metafile may have (three bytes each once read).
inline constexpr long long MaxBitmapPixels = 64'000'000;

// Whether the device-independent bitmap at dib, length bytes long, has a
// header libwmf can read and no more pixels than its bytes and the limit allow.
bool bitmapFitsItsRecord(const unsigned char* dib, long length);

// Makes the layer draw on canvas; call after wmf_api_create().
void attachWmfCanvas(wmfAPI* api, WmfCanvas* canvas);

} // namespace sortello::metafile
