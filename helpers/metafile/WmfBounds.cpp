// SPDX-License-Identifier: GPL-3.0-or-later
#include "WmfBounds.h"
#include "WmfFunctions.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace sortello::metafile {

namespace {

class Reach {
public:
    void add(int x, int y) {
        box_.left = std::min(box_.left, x);
        box_.top = std::min(box_.top, y);
        box_.right = std::max(box_.right, x);
        box_.bottom = std::max(box_.bottom, y);
        any_ = true;
    }
    // A rectangle record's box: its right and bottom edge are not drawn.
    void addBox(std::string_view p, std::size_t at) {
        if (p.size() < at + 8)
            return;
        add(readS16(p, at + 6), readS16(p, at + 4));
        add(readS16(p, at + 2) - 1, readS16(p, at) - 1);
    }
    // A blit's destination, given as height, width, y and x: the last
    // pixel of each side is width - 1 from the first.
    void addArea(std::string_view p, std::size_t at) {
        if (p.size() < at + 8)
            return;
        const int height = readS16(p, at);
        const int width = readS16(p, at + 2);
        const int y = readS16(p, at + 4);
        const int x = readS16(p, at + 6);
        const auto last = [](int from, int length) {
            return length == 0 ? from : from + length + (length > 0 ? -1 : 1);
        };
        add(x, y);
        add(last(x, width), last(y, height));
    }
    // count x, y pairs from at; false where the record holds fewer.
    bool addPoints(std::string_view p, std::size_t at, std::size_t count) {
        if (at > p.size() || count > (p.size() - at) / 4)
            return false;
        for (std::size_t i = 0; i < count; ++i)
            add(readS16(p, at + 4 * i), readS16(p, at + 4 * i + 2));
        return true;
    }
    std::optional<WmfBox> box() const { return any_ ? std::optional(box_) : std::nullopt; }

private:
    WmfBox box_{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    bool any_ = false;
};

// The destination of a blit record starts after its raster operation, the
// source's size where it is stretched, and the source's corner; one without
// a source bitmap has a reserved word before it.
std::size_t blitDestination(std::uint16_t function, std::string_view p) {
    std::size_t at = 4;
    if (function == wmf::StretchDib)
        at += 2;
    if (function == wmf::DibStretchBlt || function == wmf::StretchBlt ||
        function == wmf::StretchDib)
        at += 4;
    at += 4;
    if (function != wmf::StretchDib && p.size() / 2 == std::size_t{function} >> 8)
        at += 2;
    return at;
}

} // namespace

std::optional<WmfBox> recordBounds(std::string_view bytes, const WmfInfo& info) {
    Reach reach;
    bool sized = false;
    bool readable = true;
    forEachWmfRecord(bytes, info, [&](std::uint16_t function, std::string_view p) {
        switch (function) {
        case wmf::SetWindowExt:
        case wmf::SetViewportExt:
            sized = true;
            return false;
        case wmf::MoveTo:
        case wmf::LineTo:
            if (p.size() >= 4)
                reach.add(readS16(p, 2), readS16(p, 0));
            break;
        case wmf::Rectangle:
        case wmf::IntersectClipRect:
        case wmf::ExcludeClipRect:
        case wmf::Ellipse:
            reach.addBox(p, 0);
            break;
        case wmf::RoundRect:
            reach.addBox(p, 4);
            break;
        case wmf::Arc:
        case wmf::Pie:
        case wmf::Chord:
            reach.addBox(p, 8);
            break;
        case wmf::Polygon:
        case wmf::Polyline:
            readable = p.size() >= 2 && reach.addPoints(p, 2, readU16(p, 0));
            break;
        case wmf::PolyPolygon: {
            const std::size_t polygons = p.size() >= 2 ? readU16(p, 0) : 0;
            readable = p.size() >= 2 + 2 * polygons;
            std::size_t points = 0;
            for (std::size_t i = 0; readable && i < polygons; ++i)
                points += readU16(p, 2 + 2 * i);
            readable = readable && reach.addPoints(p, 2 + 2 * polygons, points);
            break;
        }
        case wmf::SetPixel:
            if (p.size() >= 8)
                reach.add(readS16(p, 6), readS16(p, 4));
            break;
        case wmf::TextOut: {
            // Only where the text starts: its width is not measured.
            const std::size_t length = p.size() >= 2 ? readU16(p, 0) : 0;
            const std::size_t at = 2 + ((length + 1) & ~std::size_t{1});
            if (length != 0 && p.size() >= at + 4)
                reach.add(readS16(p, at + 2), readS16(p, at));
            break;
        }
        case wmf::ExtTextOut:
            if (p.size() >= 6 && readU16(p, 4) != 0)
                reach.add(readS16(p, 2), readS16(p, 0));
            break;
        case wmf::BitBlt:
        case wmf::DibBitBlt:
        case wmf::DibStretchBlt:
        case wmf::StretchBlt:
        case wmf::StretchDib: {
            // A blit of no width or height is left out.
            const std::size_t at = blitDestination(function, p);
            if (p.size() >= at + 4 && readS16(p, at) != 0 && readS16(p, at + 2) != 0)
                reach.addArea(p, at);
            break;
        }
        case wmf::PatBlt:
            reach.addArea(p, 4);
            break;
        default:
            break;
        }
        return readable;
    });
    if (sized || !readable)
        return std::nullopt;
    return reach.box();
}

} // namespace sortello::metafile
