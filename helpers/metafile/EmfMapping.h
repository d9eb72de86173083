// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The mapping from logical units to device pixels, which a device context
// saves and restores but libemf2svg keeps apart from its saved states.
#include <cstdint>
#include <string>
#include <string_view>

namespace sortello::metafile {

struct EmfMapping {
    std::uint32_t mode = 1;        // MM_TEXT
    std::int32_t window[4] = {};   // origin x, y, extent x, y
    std::int32_t viewport[4] = {}; // origin x, y, extent x, y
    bool operator==(const EmfMapping&) const = default;
};

// Takes in a SETMAPMODE or SET{WINDOW,VIEWPORT}{ORG,EXT}EX record; false for
// any other record.
bool takeMapping(EmfMapping& mapping, std::uint32_t type, std::string_view record);

// Device pixels per logical unit across, the way libemf2svg maps them: from
// the mapping mode and extents alone.
double logicalScale(const EmfMapping& mapping, double pixelsPerMm);

// Appends to out the records that change mapping from into to; returns how
// many.
int appendMappingChange(std::string& out, const EmfMapping& from, const EmfMapping& to);

} // namespace sortello::metafile
