// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text of the WMF drawing layer: where libwmf's player puts a string, moved
// to where GDI puts it, in the code page its font names.
#include "WmfSvgDevice.h"

#include <cstddef>
#include <string_view>
#include <vector>

#include <libwmf/ipa.h>

namespace sortello::metafile {

// The signed heights of the file's font records, in file order.
std::vector<WmfFontRecord> readWmfFonts(std::string_view bytes, const WmfInfo& info);

// The player's string width hook: an estimate, half the font size a letter,
// that is taken back once the string is drawn with SVG's own anchoring.
float estimatedWidth(wmfAPI* api, wmfFont* font, char* text);

void drawWmfText(wmfAPI* api, WmfCanvas& canvas, wmfDrawText_t* text);

} // namespace sortello::metafile
