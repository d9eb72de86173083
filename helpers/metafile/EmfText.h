// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// EMF text records rewritten so that each character lands where the file
// places it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sortello::metafile {

struct EmfPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

struct TextRecords {
    int count = 1; // how many records took the text record's place
    // Where the text's advances end, when the record gives them.
    std::optional<EmfPoint> end;
};

// Appends to out the records that draw an EXTTEXTOUTA or EXTTEXTOUTW record:
// from start instead of the record's own reference point when start is
// given, and with textAlign (SETTEXTALIGN) in force. rotated says the
// selected font runs at an angle.
TextRecords appendText(std::string& out, std::uint32_t type, std::string_view record,
                       std::uint32_t textAlign, bool rotated, std::optional<EmfPoint> start);

// Appends to out an EXTCREATEFONTINDIRECTW record whose height is the font's
// size: a positive height is the cell's (ascent and descent together), which
// libemf2svg would take for the size and draw about a tenth too large.
void appendFontAtItsSize(std::string& out, std::string_view record);

} // namespace sortello::metafile
