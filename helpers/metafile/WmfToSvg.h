// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// WMF to SVG through libwmf's record player and a drawing layer of our own.
// libwmf's own SVG layer rounds every colour to the nearest of 147 named
// colours, draws shapes half transparent when the background mode is
// transparent, writes text unescaped and needs the PostScript fonts; ours keeps
// exact colours and needs no font files.
#include "MetafileFormat.h"

#include <string_view>

namespace sortello::metafile {

// Throws ConversionError when the file cannot be drawn.
Conversion convertWmf(std::string_view bytes);

} // namespace sortello::metafile
