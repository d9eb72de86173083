// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shapes inside a path, which libemf2svg writes as elements of their own in
// the middle of the path's outline, where they make the drawing unreadable.
#include <cstdint>
#include <string>
#include <string_view>

namespace sortello::metafile {

// Appends to out an ELLIPSE or RECTANGLE record drawn inside a path as the
// figure of lines or curves it adds to the path; returns how many records
// were appended, 0 for any other record (nothing is appended then).
int appendShapeInPath(std::string& out, std::uint32_t type, std::string_view record);

} // namespace sortello::metafile
