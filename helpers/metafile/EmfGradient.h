// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fills libemf2svg leaves out, as solid fills it draws.
#include <cstdint>
#include <string>
#include <string_view>

namespace sortello::metafile {

// Appends to out the records that paint a GRADIENTFILL record in bands or
// small triangles of solid colour, with brush (a handle no other object
// uses) and no outline, then selects pen and brush back. Returns how many
// records were appended, 0 when the record cannot be read (nothing is
// appended then).
int appendGradient(std::string& out, std::string_view record, std::uint32_t brushHandle,
                   std::uint32_t pen, std::uint32_t brush);

// Appends to out the records that fill rectangle (16 bytes: left, top, right,
// bottom) with colour (a COLORREF), as gradients are painted; returns how
// many.
int appendSolidRectangle(std::string& out, std::string_view rectangle, std::uint32_t colour,
                         std::uint32_t brushHandle, std::uint32_t pen, std::uint32_t brush);

} // namespace sortello::metafile
