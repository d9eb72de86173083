// SPDX-License-Identifier: GPL-3.0-or-later
#include "WmfBounds.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace sortello::metafile {

namespace {

constexpr std::uint16_t MetaSetWindowExt = 0x020C;
constexpr std::uint16_t MetaSetViewportExt = 0x020E;
constexpr std::uint16_t MetaMoveTo = 0x0214;
constexpr std::uint16_t MetaLineTo = 0x0213;
constexpr std::uint16_t MetaRectangle = 0x041B;
constexpr std::uint16_t MetaIntersectClipRect = 0x0416;
constexpr std::uint16_t MetaExcludeClipRect = 0x0415;
constexpr std::uint16_t MetaEllipse = 0x0418;
constexpr std::uint16_t MetaRoundRect = 0x061C;
constexpr std::uint16_t MetaArc = 0x0817;
constexpr std::uint16_t MetaPie = 0x081A;
constexpr std::uint16_t MetaChord = 0x0830;
constexpr std::uint16_t MetaPolygon = 0x0324;
constexpr std::uint16_t MetaPolyline = 0x0325;
constexpr std::uint16_t MetaPolyPolygon = 0x0538;
constexpr std::uint16_t MetaSetPixel = 0x041F;
constexpr std::uint16_t MetaTextOut = 0x0521;
constexpr std::uint16_t MetaExtTextOut = 0x0A32;
constexpr std::uint16_t MetaBitBlt = 0x0922;
constexpr std::uint16_t MetaDibBitBlt = 0x0940;
constexpr std::uint16_t MetaDibStretchBlt = 0x0B41;
constexpr std::uint16_t MetaStretchBlt = 0x0B23;
constexpr std::uint16_t MetaStretchDib = 0x0F43;
constexpr std::uint16_t MetaPatBlt = 0x061D;

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
    if (function == MetaStretchDib)
        at += 2;
    if (function == MetaDibStretchBlt || function == MetaStretchBlt || function == MetaStretchDib)
        at += 4;
    at += 4;
    if (function != MetaStretchDib && p.size() / 2 == std::size_t{function} >> 8)
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
        case MetaSetWindowExt:
        case MetaSetViewportExt:
            sized = true;
            return false;
        case MetaMoveTo:
        case MetaLineTo:
            if (p.size() >= 4)
                reach.add(readS16(p, 2), readS16(p, 0));
            break;
        case MetaRectangle:
        case MetaIntersectClipRect:
        case MetaExcludeClipRect:
        case MetaEllipse:
            reach.addBox(p, 0);
            break;
        case MetaRoundRect:
            reach.addBox(p, 4);
            break;
        case MetaArc:
        case MetaPie:
        case MetaChord:
            reach.addBox(p, 8);
            break;
        case MetaPolygon:
        case MetaPolyline:
            readable = p.size() >= 2 && reach.addPoints(p, 2, readU16(p, 0));
            break;
        case MetaPolyPolygon: {
            const std::size_t polygons = p.size() >= 2 ? readU16(p, 0) : 0;
            readable = p.size() >= 2 + 2 * polygons;
            std::size_t points = 0;
            for (std::size_t i = 0; readable && i < polygons; ++i)
                points += readU16(p, 2 + 2 * i);
            readable = readable && reach.addPoints(p, 2 + 2 * polygons, points);
            break;
        }
        case MetaSetPixel:
            if (p.size() >= 8)
                reach.add(readS16(p, 6), readS16(p, 4));
            break;
        case MetaTextOut: {
            // Only where the text starts: its width is not measured.
            const std::size_t length = p.size() >= 2 ? readU16(p, 0) : 0;
            const std::size_t at = 2 + ((length + 1) & ~std::size_t{1});
            if (length != 0 && p.size() >= at + 4)
                reach.add(readS16(p, at + 2), readS16(p, at));
            break;
        }
        case MetaExtTextOut:
            if (p.size() >= 6 && readU16(p, 4) != 0)
                reach.add(readS16(p, 2), readS16(p, 0));
            break;
        case MetaBitBlt:
        case MetaDibBitBlt:
        case MetaDibStretchBlt:
        case MetaStretchBlt:
        case MetaStretchDib: {
            // A blit of no width or height is left out.
            const std::size_t at = blitDestination(function, p);
            if (p.size() >= at + 4 && readS16(p, at) != 0 && readS16(p, at + 2) != 0)
                reach.addArea(p, at);
            break;
        }
        case MetaPatBlt:
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
