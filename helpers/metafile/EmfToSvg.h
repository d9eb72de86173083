// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// EMF to SVG through libemf2svg.
#include "MetafileFormat.h"

#include <string_view>

namespace sortello::metafile {

// Throws ConversionError when the file cannot be drawn.
Conversion convertEmf(std::string_view bytes);

} // namespace sortello::metafile
