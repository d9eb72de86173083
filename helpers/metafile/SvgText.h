// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pieces of SVG text shared by the WMF and EMF converters of the helper.
#include <cstdint>
#include <string>
#include <string_view>

namespace sortello::metafile {

// A coordinate with at most three decimals and no trailing zeros: a thousandth
// of a device unit is finer than any screen shows, and shorter text parses
// faster in the viewer.
void appendNumber(std::string& out, double value);

// ` viewBox="x y w h" preserveAspectRatio="none">`: the end of the root tag
// both converters write, so the drawing fills exactly the size it declares.
void appendViewBoxAndClose(std::string& out, double x, double y, double width, double height);

// Text fit for XML character data and attribute values. Characters XML 1.0
// forbids are dropped, since one of them makes the whole drawing unreadable.
void appendEscaped(std::string& out, std::string_view utf8);

// One character, up to U+FFFF, as UTF-8.
void appendUtf8(std::string& out, char32_t code);

// Metafile strings are 8-bit text in the Windows Western code page.
std::string windows1252ToUtf8(std::string_view text);

// "#rrggbb".
std::string colorText(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

} // namespace sortello::metafile
