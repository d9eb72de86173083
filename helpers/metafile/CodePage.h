// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// 8-bit metafile text in the code page its font's character set names. A
// Cyrillic or Japanese label read as Windows Western comes out as rubbish.
#include <cstdint>
#include <string>
#include <string_view>

namespace sortello::metafile {

// The iconv name of the code page of a font's lfCharSet; Windows Western for
// the ANSI and default sets and for any set Windows does not name.
const char* codePageOf(std::uint8_t charset);

// The text in UTF-8. Bytes the code page does not assign, and a multi-byte
// character cut off at the end, become U+FFFD. The symbol set's bytes stand
// for a symbol font's own glyphs: the Symbol font's become the Greek letters
// and signs they show, as OpenSymbol codes them (its own forms of the signs
// in its private-use area), any other's U+F000 + byte, where Windows puts them.
std::string codePageToUtf8(std::string_view text, std::uint8_t charset, std::string_view face = {});

// Whether the face is the Symbol font, whose bytes are Greek letters and
// mathematical signs.
bool isSymbolFont(std::string_view face);

// Whether the byte starts a two-byte character in the charset's code page.
bool isLeadByte(std::uint8_t charset, unsigned char byte);

} // namespace sortello::metafile
