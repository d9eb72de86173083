// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmfMapping.h"

#include "MetafileFormat.h"

#include <cmath>

#include <uemf.h>

namespace sortello::metafile {

namespace {

// The records that set a pair of the mapping, in the order they are
// written back: where in window or viewport they go.
struct PairRecord {
    std::uint32_t type;
    bool viewport;
    int at;
};

constexpr PairRecord pairRecords[] = {{U_EMR_SETWINDOWEXTEX, false, 2},
                                      {U_EMR_SETWINDOWORGEX, false, 0},
                                      {U_EMR_SETVIEWPORTEXTEX, true, 2},
                                      {U_EMR_SETVIEWPORTORGEX, true, 0}};

} // namespace

bool takeMapping(EmfMapping& mapping, std::uint32_t type, std::string_view record) {
    if (type == U_EMR_SETMAPMODE) {
        if (record.size() >= 12)
            mapping.mode = readU32(record, 8);
        return true;
    }
    for (const PairRecord& pair : pairRecords) {
        if (pair.type != type)
            continue;
        if (record.size() >= 16) {
            std::int32_t* values = pair.viewport ? mapping.viewport : mapping.window;
            values[pair.at] = readS32(record, 8);
            values[pair.at + 1] = readS32(record, 12);
        }
        return true;
    }
    return false;
}

double logicalScale(const EmfMapping& mapping, double pixelsPerMm) {
    constexpr double MmPerInch = 25.4;
    switch (mapping.mode) {
    case U_MM_LOMETRIC:
        return pixelsPerMm * 0.1;
    case U_MM_HIMETRIC:
        return pixelsPerMm * 0.01;
    case U_MM_LOENGLISH:
        return pixelsPerMm * 0.01 * MmPerInch;
    case U_MM_HIENGLISH:
        return pixelsPerMm * 0.001 * MmPerInch;
    case U_MM_TWIPS:
        return pixelsPerMm / 1440 * MmPerInch;
    case U_MM_ISOTROPIC:
    case U_MM_ANISOTROPIC:
        return mapping.window[2] != 0 && mapping.viewport[2] != 0
                   ? std::abs(double(mapping.viewport[2]) / mapping.window[2])
                   : 1.0;
    default:
        return 1.0;
    }
}

int appendMappingChange(std::string& out, const EmfMapping& from, const EmfMapping& to) {
    int count = 0;
    if (from.mode != to.mode) {
        appendU32(out, U_EMR_SETMAPMODE);
        appendU32(out, 12);
        appendU32(out, to.mode);
        ++count;
    }
    for (const PairRecord& pair : pairRecords) {
        const std::int32_t* was = pair.viewport ? from.viewport : from.window;
        const std::int32_t* wanted = pair.viewport ? to.viewport : to.window;
        if (was[pair.at] == wanted[pair.at] && was[pair.at + 1] == wanted[pair.at + 1])
            continue;
        appendU32(out, pair.type);
        appendU32(out, 16);
        appendU32(out, std::uint32_t(wanted[pair.at]));
        appendU32(out, std::uint32_t(wanted[pair.at + 1]));
        ++count;
    }
    return count;
}

} // namespace sortello::metafile
