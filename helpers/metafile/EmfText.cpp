// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmfText.h"

#include "FaceMetrics.h"
#include "MetafileFormat.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include <uemf.h>

namespace sortello::metafile {

namespace {

// An EXTTEXTOUT record: its header, then the text's reference point, length,
// where its characters are, options, clipping rectangle and where its
// advances are.
constexpr std::size_t TextAt = 36;
constexpr std::size_t TextHeaderBytes = TextAt + 40;
constexpr std::uint32_t HorizontalAlign = U_TA_CENTER;
constexpr std::uint32_t RightToLeftReading = 0x0100;

std::int32_t clamped(std::int64_t value) {
    return std::int32_t(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

// Characters that join or combine with their neighbours are shaped as a
// whole: combining marks, the scripts from Hebrew to Hangul Jamo, and the
// presentation forms.
bool shapedWithNeighbours(std::uint16_t unit) {
    return (unit >= 0x0300 && unit <= 0x036F) || (unit >= 0x0590 && unit <= 0x11FF) ||
           (unit >= 0x1DC0 && unit <= 0x1DFF) || (unit >= 0x200C && unit <= 0x200F) ||
           (unit >= 0x20D0 && unit <= 0x20FF) || (unit >= 0xFB1D && unit <= 0xFEFF);
}

bool isLowSurrogate(std::uint16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The face name is UTF-16; the faces known by their metrics are ASCII.
double cellOf(std::string_view record, std::size_t faceAt) {
    constexpr std::size_t FaceUnits = 32;
    std::string face;
    for (std::size_t i = 0; i < FaceUnits && faceAt + 2 * i + 2 <= record.size(); ++i) {
        const std::uint16_t unit = readU16(record, faceAt + 2 * i);
        if (unit == 0)
            break;
        face += unit < 0x80 ? char(unit) : '?';
    }
    const FaceMetrics& metrics = metricsOfFace(face);
    return metrics.ascent + metrics.descent;
}

struct Layout {
    std::uint32_t count = 0;
    std::uint32_t stringAt = 0;
    std::uint32_t options = 0;
    std::uint32_t advancesAt = 0;
    std::size_t perChar = 1; // advances per character: two with ETO_PDY
    bool hasAdvances = false;
    bool hasString = false;
};

Layout layoutOf(std::string_view record, std::size_t charBytes) {
    Layout l;
    l.count = readU32(record, TextAt + 8);
    l.stringAt = readU32(record, TextAt + 12);
    l.options = readU32(record, TextAt + 16);
    l.advancesAt = readU32(record, TextAt + 36);
    l.perChar = l.options & U_ETO_PDY ? 2 : 1;
    l.hasAdvances = l.advancesAt >= TextHeaderBytes && l.advancesAt <= record.size() &&
                    l.count <= (record.size() - l.advancesAt) / 4 / l.perChar;
    l.hasString = l.stringAt >= TextHeaderBytes && l.stringAt <= record.size() &&
                  l.count <= (record.size() - l.stringAt) / charBytes;
    return l;
}

// One record for the characters [first, first + n) of a wide text record,
// at the given reference point, with their own advances.
void appendPiece(std::string& out, std::string_view record, const Layout& l, EmfPoint at,
                 std::size_t first, std::size_t n) {
    const std::size_t start = out.size();
    const std::size_t stringBytes = (n * 2 + 3) & ~std::size_t{3};
    const std::size_t advanceBytes = n * 4 * l.perChar;
    out.append(record.substr(0, TextHeaderBytes));
    writeU32(out, start + 4, std::uint32_t(TextHeaderBytes + stringBytes + advanceBytes));
    writeU32(out, start + TextAt, std::uint32_t(at.x));
    writeU32(out, start + TextAt + 4, std::uint32_t(at.y));
    writeU32(out, start + TextAt + 8, std::uint32_t(n));
    writeU32(out, start + TextAt + 12, std::uint32_t(TextHeaderBytes));
    writeU32(out, start + TextAt + 36, std::uint32_t(TextHeaderBytes + stringBytes));
    out.append(record.substr(l.stringAt + first * 2, n * 2));
    out.append(stringBytes - n * 2, '\0');
    out.append(record.substr(l.advancesAt + first * 4 * l.perChar, advanceBytes));
}

} // namespace

TextRecords appendText(std::string& out, std::uint32_t type, std::string_view record,
                       std::uint32_t textAlign, bool rotated, std::optional<EmfPoint> start) {
    if (record.size() < TextHeaderBytes) {
        out.append(record);
        return {};
    }
    const std::size_t charBytes = type == U_EMR_EXTTEXTOUTW ? 2 : 1;
    const Layout l = layoutOf(record, charBytes);
    const EmfPoint reference =
        start ? *start : EmfPoint{readS32(record, TextAt), readS32(record, TextAt + 4)};

    TextRecords result;
    std::vector<std::int64_t> xs; // each character's offset along the line
    std::vector<std::int64_t> ys;
    if (l.hasAdvances) {
        std::int64_t x = 0;
        std::int64_t y = 0;
        for (std::size_t i = 0; i < l.count; ++i) {
            xs.push_back(x);
            ys.push_back(y);
            x += readS32(record, l.advancesAt + i * 4 * l.perChar);
            // Vertical advances run upwards, as they do on the page.
            if (l.perChar == 2)
                y -= readS32(record, l.advancesAt + i * 8 + 4);
        }
        xs.push_back(x);
        ys.push_back(y);
        result.end = EmfPoint{clamped(reference.x + x), clamped(reference.y + y)};
    }

    // SVG as Qt draws it places a text by its start alone and lays it out in
    // whatever font stands in for the file's, so a line comes out as wide as
    // that font makes it. Drawn one character at a time, each character
    // starts where the file's advances put it. Text that is shaped as a
    // whole, glyph numbers and rotated text stay in one piece.
    bool split = charBytes == 2 && l.hasAdvances && l.hasString && l.count >= 2 &&
                 !(l.options & U_ETO_GLYPH_INDEX) && !rotated && !(textAlign & RightToLeftReading);
    for (std::size_t i = 0; split && i < l.count; ++i)
        split = !shapedWithNeighbours(readU16(record, l.stringAt + i * 2));
    if (!split) {
        const std::size_t at = out.size();
        out.append(record);
        if (start) {
            writeU32(out, at + TextAt, std::uint32_t(start->x));
            writeU32(out, at + TextAt + 4, std::uint32_t(start->y));
        }
        return result;
    }

    const std::uint32_t horizontal = textAlign & HorizontalAlign;
    const std::int64_t width = xs.back();
    const std::int64_t left = reference.x - (horizontal == U_TA_CENTER  ? width / 2
                                             : horizontal == U_TA_RIGHT ? width
                                                                        : 0);
    result.count = 0;
    if (horizontal != 0) {
        appendU32(out, U_EMR_SETTEXTALIGN);
        appendU32(out, 12);
        appendU32(out, textAlign & ~HorizontalAlign);
        ++result.count;
    }
    for (std::size_t i = 0; i < l.count;) {
        std::size_t n = 1;
        while (i + n < l.count && isLowSurrogate(readU16(record, l.stringAt + (i + n) * 2)))
            ++n;
        appendPiece(out, record, l, {clamped(left + xs[i]), clamped(reference.y + ys[i])}, i, n);
        ++result.count;
        i += n;
    }
    if (horizontal != 0) {
        appendU32(out, U_EMR_SETTEXTALIGN);
        appendU32(out, 12);
        appendU32(out, textAlign);
        ++result.count;
    }
    return result;
}

void appendFontAtItsSize(std::string& out, std::string_view record) {
    // The handle, then the LOGFONT: height, width, ..., the face at 28.
    constexpr std::size_t HeightAt = 12;
    constexpr std::size_t FaceAt = HeightAt + 28;
    const std::size_t at = out.size();
    out.append(record);
    if (record.size() < FaceAt)
        return;
    const std::int32_t height = readS32(record, HeightAt);
    if (height <= 0)
        return;
    const double size = std::max(1.0, std::round(height / cellOf(record, FaceAt)));
    writeU32(out, at + HeightAt, std::uint32_t(-std::int32_t(size)));
}

} // namespace sortello::metafile
