// SPDX-License-Identifier: GPL-3.0-or-later
#include "WmfRecords.h"
#include "WmfFunctions.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

namespace sortello::metafile {

namespace {

// The records that take a place in the file's object table.
bool createsObject(std::uint16_t function) {
    static constexpr std::uint16_t creating[] = {
        wmf::CreatePalette,      wmf::CreatePatternBrush,  wmf::CreatePenIndirect,
        wmf::CreateFontIndirect, wmf::CreateBrushIndirect, wmf::DibCreatePatternBrush,
        wmf::CreateRegion};
    return std::find(std::begin(creating), std::end(creating), function) != std::end(creating);
}

// The object table's place a created object takes: the lowest free one, as
// GDI gives it, the table growing by one when none is free.
std::size_t takeObjectSlot(std::vector<bool>& taken) {
    const std::size_t slot =
        std::size_t(std::find(taken.begin(), taken.end(), false) - taken.begin());
    if (slot == taken.size())
        taken.push_back(false);
    taken[slot] = true;
    return slot;
}

// Where the header's size of the whole file, in 16-bit words, is.
std::size_t fileWordsAt(const WmfInfo& info) {
    return info.firstRecord - 18 + 6;
}

// Appends a record of function with the given parameters.
void appendRecord(std::string& out, std::uint16_t function, std::string_view parameters) {
    appendU32(out, static_cast<std::uint32_t>(3 + parameters.size() / 2));
    out += static_cast<char>(function & 0xFF);
    out += static_cast<char>(function >> 8);
    out.append(parameters);
}

void appendU16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

// The device-independent bitmap of an old bitmap's header and rows (top
// down, each rowBytes long), or nothing for a kind libwmf could not draw.
std::string dibOf(std::string_view bitmap) {
    if (bitmap.size() < 10)
        return {};
    const int width = readS16(bitmap, 2);
    const int height = readS16(bitmap, 4);
    const int rowBytes = readS16(bitmap, 6);
    const int planes = static_cast<unsigned char>(bitmap[8]);
    const int bits = static_cast<unsigned char>(bitmap[9]);
    if (width <= 0 || height <= 0 || planes != 1 || (bits != 1 && bits != 24 && bits != 32) ||
        rowBytes < (width * bits + 7) / 8 || std::size_t(rowBytes) * height > bitmap.size() - 10)
        return {};
    const std::size_t dibRow = std::size_t(width * bits + 31) / 32 * 4;
    std::string dib;
    appendU32(dib, 40);
    appendU32(dib, static_cast<std::uint32_t>(width));
    appendU32(dib, static_cast<std::uint32_t>(height));
    appendU16(dib, 1);
    appendU16(dib, static_cast<std::uint16_t>(bits));
    for (int i = 0; i < 6; ++i)
        appendU32(dib, 0);
    if (bits == 1) {
        appendU32(dib, 0x000000);
        appendU32(dib, 0xFFFFFF);
    }
    // Rows bottom up, as a device-independent bitmap keeps them.
    for (int row = height - 1; row >= 0; --row) {
        const std::string_view pixels = bitmap.substr(10 + std::size_t(row) * rowBytes,
                                                      std::min<std::size_t>(rowBytes, dibRow));
        dib.append(pixels);
        dib.append(dibRow - pixels.size(), '\0');
    }
    return dib;
}

void appendMoveTo(std::string& out, int x, int y) {
    std::string point;
    appendU16(point, static_cast<std::uint16_t>(y));
    appendU16(point, static_cast<std::uint16_t>(x));
    appendRecord(out, wmf::MoveTo, point);
}

std::int16_t clamped16(long value) {
    return static_cast<std::int16_t>(std::clamp<long>(value, -32768, 32767));
}

} // namespace

std::string textPlacedByAdvances(std::string_view bytes, const WmfInfo& info) {
    constexpr unsigned TaUpdateCp = 0x0001;
    std::string out(bytes.substr(0, info.firstRecord));
    out.reserve(bytes.size());
    std::size_t end = info.firstRecord;
    unsigned align = 0;
    // The current position, unknown after text whose width only libwmf's
    // estimate gives.
    std::optional<std::pair<long, long>> position{{0, 0}};
    forEachWmfRecord(bytes, info, [&](std::uint16_t function, std::string_view parameters) {
        const std::size_t start = std::size_t(parameters.data() - bytes.data()) - 6;
        end = start + 6 + parameters.size();
        const std::string_view record = bytes.substr(start, end - start);
        if (function == wmf::SetTextAlign && parameters.size() >= 2)
            align = readU16(parameters, 0);
        if ((function == wmf::MoveTo || function == wmf::LineTo) && parameters.size() >= 4)
            position = {{readS16(parameters, 2), readS16(parameters, 0)}};
        const bool fromPosition = align & TaUpdateCp;
        if (function == wmf::TextOut && fromPosition)
            position.reset();
        if (function != wmf::ExtTextOut || parameters.size() < 8) {
            out.append(record);
            return true;
        }
        const std::uint16_t options = readU16(parameters, 6);
        const std::size_t count = readU16(parameters, 4);
        const std::size_t stringAt = options & (wmf::EtoOpaque | wmf::EtoClipped) ? 16 : 8;
        const std::size_t advancesAt = stringAt + (count + 1) / 2 * 2;
        // libwmf refuses the whole file for a string longer than its record;
        // GDI and the reference renderer leave the record out.
        if (stringAt + count > parameters.size())
            return true;
        const std::size_t perLetter = options & wmf::EtoPdy ? 2 : 1;
        const bool hasAdvances = count > 0 && advancesAt <= parameters.size() &&
                                 (parameters.size() - advancesAt) / 2 >= count * perLetter;
        if (!hasAdvances) {
            if (fromPosition)
                position.reset();
            out.append(record);
            return true;
        }
        if (fromPosition && !position) {
            out.append(record);
            return true;
        }
        long x = readS16(parameters, 2);
        long y = readS16(parameters, 0);
        if (fromPosition)
            std::tie(x, y) = *position;
        if (perLetter == 1) {
            if (fromPosition)
                appendMoveTo(out, int(x), int(y));
            out.append(record);
        }
        for (std::size_t i = 0; i < count; ++i) {
            const long dx = readS16(parameters, advancesAt + 2 * perLetter * i);
            if (perLetter == 2) {
                // One letter at its own place, the rectangle painted with the first.
                std::string letter;
                appendU16(letter, static_cast<std::uint16_t>(clamped16(y)));
                appendU16(letter, static_cast<std::uint16_t>(clamped16(x)));
                appendU16(letter, 1);
                appendU16(letter, static_cast<std::uint16_t>(options & ~wmf::EtoPdy &
                                                             ~(i > 0 ? wmf::EtoOpaque : 0)));
                if (stringAt == 16)
                    letter.append(parameters.substr(8, 8));
                letter += parameters[stringAt + i];
                letter += '\0';
                appendU16(letter, static_cast<std::uint16_t>(dx));
                if (fromPosition)
                    appendMoveTo(out, int(clamped16(x)), int(clamped16(y)));
                appendRecord(out, wmf::ExtTextOut, letter);
            }
            x += dx;
            // Vertical advances run upwards, as they do on the page.
            if (perLetter == 2)
                y -= readS16(parameters, advancesAt + 4 * i + 2);
        }
        if (fromPosition) {
            position = {{x, y}};
            appendMoveTo(out, int(clamped16(x)), int(clamped16(y)));
        }
        return true;
    });
    out.append(bytes.substr(end));
    writeU32(out, fileWordsAt(info),
             static_cast<std::uint32_t>((out.size() - (info.firstRecord - 18)) / 2));
    return out;
}

std::string bitmapsAsDibs(std::string_view bytes, const WmfInfo& info) {
    std::string out(bytes.substr(0, info.firstRecord));
    std::size_t end = info.firstRecord;
    std::uint32_t largest = readU32(bytes, info.firstRecord - 18 + 12);
    forEachWmfRecord(bytes, info, [&](std::uint16_t function, std::string_view parameters) {
        const std::size_t start = std::size_t(parameters.data() - bytes.data()) - 6;
        end = start + 6 + parameters.size();
        // The raster operation and the places, before the bitmap.
        const std::size_t placed = function == wmf::BitBlt ? 16 : 20;
        std::string dib;
        if ((function == wmf::BitBlt || function == wmf::StretchBlt) && parameters.size() > placed)
            dib = dibOf(parameters.substr(placed));
        if (dib.empty()) {
            out.append(bytes.substr(start, end - start));
            return true;
        }
        std::string converted(parameters.substr(0, placed));
        converted += dib;
        largest = std::max(largest, static_cast<std::uint32_t>(3 + converted.size() / 2));
        appendRecord(out, function == wmf::BitBlt ? wmf::DibBitBlt : wmf::DibStretchBlt, converted);
        return true;
    });
    out.append(bytes.substr(end));
    const std::size_t header = info.firstRecord - 18;
    writeU32(out, header + 6, static_cast<std::uint32_t>((out.size() - header) / 2));
    writeU32(out, header + 12, largest);
    return out;
}

std::string restoreStatesStepByStep(std::string_view bytes, const WmfInfo& info) {
    std::string out(bytes.substr(0, info.firstRecord));
    out.reserve(bytes.size());
    std::size_t end = info.firstRecord;
    int saved = 0;
    forEachWmfRecord(bytes, info, [&](std::uint16_t function, std::string_view parameters) {
        const std::size_t start = std::size_t(parameters.data() - bytes.data()) - 6;
        end = start + 6 + parameters.size();
        if (function == wmf::SaveDc)
            ++saved;
        if (function != wmf::RestoreDc || parameters.size() < 2) {
            out.append(bytes.substr(start, end - start));
            return true;
        }
        const int named = readS16(parameters, 0);
        int steps = 0;
        if (named < 0 && -named <= saved)
            steps = -named;
        else if (named > 0 && named <= saved)
            steps = saved - named + 1;
        saved -= steps;
        constexpr char oneStepBack[] = {
            4, 0, 0, 0, wmf::RestoreDc & 0xFF, wmf::RestoreDc >> 8, char(0xFF), char(0xFF)};
        for (int i = 0; i < steps; ++i)
            out.append(oneStepBack, sizeof oneStepBack);
        return true;
    });
    out.append(bytes.substr(end));
    writeU32(out, fileWordsAt(info),
             static_cast<std::uint32_t>((out.size() - (info.firstRecord - 18)) / 2));
    return out;
}

void keepBrushForMonochromePatterns(std::string& bytes, const WmfInfo& info) {
    constexpr std::uint16_t MonochromePattern = 3; // BS_PATTERN
    // A brush as CreateBrushIndirect gives it: style, colour, hatch.
    using Brush = std::string;
    const Brush whiteBrush("\0\0\xFF\xFF\xFF\0\0\0", 8); // the device context's own
    std::vector<bool> taken;
    std::vector<bool> ignored;                         // by object index
    std::vector<std::optional<Brush>> brushes;         // by object index
    std::vector<std::optional<Brush>> saved;           // by SaveDC
    std::optional<Brush> current = whiteBrush;         // unknown for other kinds of brush
    std::vector<std::pair<std::size_t, Brush>> copies; // at a pattern record: the brush before
    std::vector<std::size_t> selections;
    const std::string_view view(bytes);
    forEachWmfRecord(view, info, [&](std::uint16_t function, std::string_view parameters) {
        const std::size_t at = std::size_t(parameters.data() - view.data());
        if (createsObject(function)) {
            const std::size_t slot = takeObjectSlot(taken);
            if (slot == ignored.size()) {
                ignored.push_back(false);
                brushes.emplace_back();
            }
            brushes[slot].reset();
            ignored[slot] = function == wmf::DibCreatePatternBrush && parameters.size() >= 8 &&
                            readU16(parameters, 0) == MonochromePattern && current;
            if (ignored[slot])
                copies.emplace_back(at, *current);
            else if (function == wmf::CreateBrushIndirect && parameters.size() >= 8)
                brushes[slot] = Brush(parameters.substr(0, 8));
            // libwmf selects a brush as it makes it.
            if (function == wmf::CreateBrushIndirect ||
                (function == wmf::DibCreatePatternBrush && !ignored[slot]))
                current = brushes[slot];
        } else if (function == wmf::DeleteObject && parameters.size() >= 2) {
            const std::size_t slot = readU16(parameters, 0);
            if (slot < taken.size())
                taken[slot] = false;
        } else if (function == wmf::SelectObject && parameters.size() >= 2) {
            const std::size_t slot = readU16(parameters, 0);
            if (slot < ignored.size() && taken[slot] && ignored[slot])
                selections.push_back(at - 2);
            else if (slot < brushes.size() && taken[slot] && brushes[slot])
                current = brushes[slot];
        } else if (function == wmf::SaveDc) {
            saved.push_back(current);
        } else if (function == wmf::RestoreDc && parameters.size() >= 2) {
            const int named = readS16(parameters, 0);
            const std::size_t steps = named < 0 ? std::size_t(-named)
                                      : std::size_t(named) <= saved.size()
                                          ? saved.size() - named + 1
                                          : 0;
            if (steps > 0 && steps <= saved.size()) {
                current = saved[saved.size() - steps];
                saved.resize(saved.size() - steps);
            }
        }
        return true;
    });
    // The pattern record becomes a copy of the brush before it, which libwmf
    // then selects, as the reference renderer keeps that brush.
    const auto rename = [&bytes](std::size_t at, std::uint16_t function) {
        bytes[at] = char(function & 0xFF);
        bytes[at + 1] = char(function >> 8);
    };
    for (const auto& [at, brush] : copies) {
        rename(at - 2, wmf::CreateBrushIndirect);
        bytes.replace(at, brush.size(), brush);
    }
    for (const std::size_t at : selections)
        rename(at, wmf::SetRelAbs);
}

void resolvePaletteColours(std::string& bytes, const WmfInfo& info) {
    using Palette = std::vector<std::uint32_t>;
    std::vector<Palette> palettes{Palette{}}; // the first: none of the file's own
    std::vector<std::size_t> objects;         // by object index: a palette, or 0
    std::vector<bool> taken;
    std::size_t selected = 0;
    const std::string_view view(bytes);
    std::vector<std::size_t> colours;   // offsets of COLORREF fields, in record order
    std::vector<std::size_t> paletteOf; // the palette in force at each
    forEachWmfRecord(view, info, [&](std::uint16_t function, std::string_view parameters) {
        const std::size_t at = std::size_t(parameters.data() - view.data());
        if (createsObject(function)) {
            const std::size_t slot = takeObjectSlot(taken);
            if (slot == objects.size())
                objects.push_back(0);
            objects[slot] = 0;
            if (function == wmf::CreatePalette && parameters.size() >= 4) {
                Palette palette;
                const std::size_t count =
                    std::min<std::size_t>(readU16(parameters, 2), (parameters.size() - 4) / 4);
                for (std::size_t i = 0; i < count; ++i)
                    palette.push_back(readU32(parameters, 4 + 4 * i) & 0xFFFFFF);
                objects[slot] = palettes.size();
                palettes.push_back(std::move(palette));
            }
        } else if (function == wmf::DeleteObject && parameters.size() >= 2) {
            const std::size_t slot = readU16(parameters, 0);
            if (slot < taken.size())
                taken[slot] = false;
        } else if (function == wmf::SelectPalette && parameters.size() >= 2) {
            const std::size_t slot = readU16(parameters, 0);
            if (slot < objects.size() && objects[slot] != 0)
                selected = objects[slot];
        }
        std::optional<std::size_t> colour;
        if ((function == wmf::SetBkColor || function == wmf::SetTextColor) &&
            parameters.size() >= 4)
            colour = at;
        else if (function == wmf::CreateBrushIndirect && parameters.size() >= 6)
            colour = at + 2;
        else if (function == wmf::CreatePenIndirect && parameters.size() >= 10)
            colour = at + 6;
        if (colour) {
            colours.push_back(*colour);
            paletteOf.push_back(selected);
        }
        return true;
    });
    constexpr std::uint32_t PaletteIndex = 0x01;
    constexpr std::uint32_t PaletteRgb = 0x02;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const std::uint32_t value = readU32(bytes, colours[i]);
        const std::uint32_t kind = value >> 24;
        std::uint32_t plain = value & 0xFFFFFF;
        if (kind == PaletteIndex) {
            const std::size_t index = value & 0xFFFF;
            // Without a palette of the file's own, the index is into the
            // system's, whose first entry is black.
            const Palette& palette = palettes[paletteOf[i]];
            plain = index < palette.size() ? palette[index] : 0;
        } else if (kind != PaletteRgb) {
            continue;
        }
        writeU32(bytes, colours[i], plain);
    }
}

void excludeRightAndBottomEdges(std::string& bytes, const WmfInfo& info) {
    // Where the bottom of the box is among each record's parameters; the
    // right follows it.
    const auto bottomAt = [](std::uint16_t function) -> std::size_t {
        switch (function) {
        case wmf::Rectangle:
        case wmf::Ellipse:
            return 0;
        case wmf::RoundRect: // after the corner's size
            return 4;
        case wmf::Arc: // Arc, Pie and Chord after their two points
        case wmf::Pie:
        case wmf::Chord:
            return 8;
        default:
            return std::string_view::npos;
        }
    };
    std::vector<std::size_t> edges;
    const std::string_view view(bytes);
    forEachWmfRecord(view, info, [&](std::uint16_t function, std::string_view parameters) {
        const std::size_t bottom = bottomAt(function);
        if (bottom != std::string_view::npos && parameters.size() >= bottom + 8) {
            const std::size_t at = std::size_t(parameters.data() - view.data()) + bottom;
            edges.push_back(at);
            edges.push_back(at + 2);
        }
        return true;
    });
    for (const std::size_t at : edges) {
        const int edge = readS16(bytes, at);
        const auto moved = static_cast<std::uint16_t>(std::max(edge - 1, -32768));
        bytes[at] = static_cast<char>(moved & 0xFF);
        bytes[at + 1] = static_cast<char>(moved >> 8);
    }
}

namespace {

// Whether a region's scans, each a count of edges, its top and bottom, the
// edges and the count again, fill no more than the record holds.
bool regionFitsItsRecord(std::string_view region) {
    constexpr std::size_t ScansStart = 22;
    if (region.size() < ScansStart || readS16(region, 10) < 0)
        return false;
    std::size_t at = ScansStart;
    for (int scan = 0; scan < readS16(region, 10); ++scan) {
        if (at + 6 > region.size())
            return false;
        const std::uint16_t count = readU16(region, at);
        at += 6 + 2 * std::size_t(count);
        if (at + 2 > region.size() || readU16(region, at) != count)
            return false;
        at += 2;
    }
    return true;
}

} // namespace

void emptyUnreadableRegions(std::string& bytes, const WmfInfo& info) {
    // An empty region: no scans, no bounds, as large as its header.
    constexpr unsigned char empty[22] = {0, 0, 6, 0, 0, 0, 0, 0, 22};
    std::vector<std::pair<std::size_t, std::size_t>> unreadable;
    const std::string_view view(bytes);
    forEachWmfRecord(view, info, [&](std::uint16_t function, std::string_view parameters) {
        if (function == wmf::CreateRegion && parameters.size() >= sizeof empty &&
            !regionFitsItsRecord(parameters))
            unreadable.emplace_back(std::size_t(parameters.data() - view.data()),
                                    parameters.size());
        return true;
    });
    for (const auto& [at, size] : unreadable) {
        std::fill_n(bytes.begin() + std::ptrdiff_t(at), size, '\0');
        std::copy(std::begin(empty), std::end(empty), bytes.begin() + std::ptrdiff_t(at));
    }
}

} // namespace sortello::metafile
