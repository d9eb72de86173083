// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bitmaps in the SVG beyond what libwmf writes: a masked pair (an AND mask,
// then an image ORed or XORed into its holes) as one picture with
// transparency, which needs a PNG with an alpha channel.
#include "WmfSvgDevice.h"

#include <cstdint>
#include <libwmf/ipa.h>
#include <string>
#include <vector>

namespace sortello::metafile {

// Appends the PNG of width x height pixels, four bytes each (red, green,
// blue, alpha; rows top down), in base64. Returns false when zlib fails.
bool appendPngBase64(std::string& out, int width, int height,
                     const std::vector<std::uint8_t>& rgba);

// Opens an <image> element up to its base64 data.
void appendImageStart(std::string& out, double x, double y, double width, double height);

// Whether bitmap, drawn width x height, paints into the mask drawn just before it.
bool paintsIntoMask(const WmfCanvas& canvas, const wmfBMP_Draw_t* bitmap, double width,
                    double height);

// Draws the held mask and bitmap as one picture in the mask's place.
void replaceMaskWithImage(wmfAPI* api, WmfCanvas& canvas, wmfBMP_Draw_t* bitmap);

// Keeps which pixels of a mask bitmap are white.
void holdMask(wmfAPI* api, WmfCanvas& canvas, wmfBMP_Draw_t* bitmap);

} // namespace sortello::metafile
