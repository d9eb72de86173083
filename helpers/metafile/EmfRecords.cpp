// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmfRecords.h"

#include "EmfGradient.h"
#include "EmfMapping.h"
#include "EmfShapes.h"
#include "EmfText.h"

#include "MetafileFormat.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include <uemf.h>
#include <upmf.h>

namespace sortello::metafile {

namespace {

constexpr std::uint32_t EmfPlusCommentKey = U_EMR_COMMENT_EMFPLUSRECORD;
constexpr std::uint32_t StockObject = 0x80000000;
constexpr std::uint32_t DcBrush = 0x80000012;
constexpr std::uint32_t DcPen = 0x80000013;

enum class Object { Brush, Pen, Font, Other };

// The part of a device context the rewriting follows: what a region fill
// disturbs, and where text that updates the current position goes.
struct DeviceContext {
    std::uint32_t brush = U_WHITE_BRUSH;
    std::uint32_t pen = U_BLACK_PEN;
    std::uint32_t textAlign = 0;
    std::uint32_t background = 0xFFFFFF;
    bool rotatedFont = false;
    std::int32_t x = 0; // the current position, in logical units
    std::int32_t y = 0;
    EmfMapping mapping;
};

// A saved context, and where libemf2svg's copy of it is on its stack, which
// only grows: it restores a copy without taking it off.
struct SavedContext {
    DeviceContext context;
    std::size_t drawnAt = 0;
};

void appendSelect(std::string& out, std::uint32_t object) {
    appendU32(out, U_EMR_SELECTOBJECT);
    appendU32(out, 12);
    appendU32(out, object);
}

bool isGdiDrawing(std::uint32_t type) {
    switch (type) {
    case U_EMR_POLYBEZIER:
    case U_EMR_POLYGON:
    case U_EMR_POLYLINE:
    case U_EMR_POLYBEZIERTO:
    case U_EMR_POLYLINETO:
    case U_EMR_POLYPOLYLINE:
    case U_EMR_POLYPOLYGON:
    case U_EMR_SETPIXELV:
    case U_EMR_ANGLEARC:
    case U_EMR_ELLIPSE:
    case U_EMR_RECTANGLE:
    case U_EMR_ROUNDRECT:
    case U_EMR_ARC:
    case U_EMR_CHORD:
    case U_EMR_PIE:
    case U_EMR_LINETO:
    case U_EMR_ARCTO:
    case U_EMR_POLYDRAW:
    case U_EMR_FILLPATH:
    case U_EMR_STROKEANDFILLPATH:
    case U_EMR_STROKEPATH:
    case U_EMR_FILLRGN:
    case U_EMR_FRAMERGN:
    case U_EMR_INVERTRGN:
    case U_EMR_PAINTRGN:
    case U_EMR_BITBLT:
    case U_EMR_STRETCHBLT:
    case U_EMR_MASKBLT:
    case U_EMR_PLGBLT:
    case U_EMR_SETDIBITSTODEVICE:
    case U_EMR_STRETCHDIBITS:
    case U_EMR_EXTTEXTOUTA:
    case U_EMR_EXTTEXTOUTW:
    case U_EMR_POLYBEZIER16:
    case U_EMR_POLYGON16:
    case U_EMR_POLYLINE16:
    case U_EMR_POLYBEZIERTO16:
    case U_EMR_POLYLINETO16:
    case U_EMR_POLYPOLYLINE16:
    case U_EMR_POLYPOLYGON16:
    case U_EMR_POLYDRAW16:
    case U_EMR_POLYTEXTOUTA:
    case U_EMR_POLYTEXTOUTW:
    case U_EMR_SMALLTEXTOUT:
    case U_EMR_ALPHABLEND:
    case U_EMR_TRANSPARENTBLT:
    case U_EMR_GRADIENTFILL:
        return true;
    default:
        return false;
    }
}

// An EMF+ record puts something on the page when it is one of the clearing,
// filling, drawing or string records.
bool emfPlusCommentDraws(std::string_view record) {
    if (record.size() < 16 || readU32(record, 12) != EmfPlusCommentKey)
        return false;
    const std::size_t end =
        std::min<std::size_t>(record.size(), 12 + std::size_t{readU32(record, 8)});
    for (std::size_t at = 16; at + 12 <= end;) {
        const std::uint16_t type = readU16(record, at) & ~std::uint16_t{U_PMR_RECFLAG};
        const std::uint32_t size = readU32(record, at + 4);
        if ((type >= U_PMR_CLEAR && type <= U_PMR_DRAWSTRING) || type == U_PMR_DRAWDRIVERSTRING)
            return true;
        if (size < 12 || size > end - at)
            break;
        at += size;
    }
    return false;
}

class Rewriter {
public:
    // spareHandle is a handle no object of the file uses, or 0.
    Rewriter(PreparedEmf& result, double pixelsPerMm, std::uint32_t spareHandle)
        : result(result), pixelsPerMm(pixelsPerMm), spareHandle(spareHandle) {}

    // Returns how many records took the place of this one.
    int take(std::uint32_t type, std::string_view record) {
        if (isGdiDrawing(type))
            result.drawsWithGdi = true;
        switch (type) {
        case U_EMR_CREATEBRUSHINDIRECT:
        case U_EMR_CREATEMONOBRUSH:
        case U_EMR_CREATEDIBPATTERNBRUSHPT:
            created(record, Object::Brush);
            break;
        case U_EMR_CREATEPEN:
        case U_EMR_EXTCREATEPEN:
            created(record, Object::Pen);
            pen(type, record);
            return 1;
        case U_EMR_EXTCREATEFONTINDIRECTW:
            created(record, Object::Font);
            // A font at an angle (lfEscapement) runs its text along it.
            if (record.size() >= 24)
                rotatedFonts[readU32(record, 8)] = readS32(record, 20) % 3600 != 0;
            appendFontAtItsSize(result.bytes, record);
            return 1;
        case U_EMR_CREATEPALETTE:
        case U_EMR_CREATECOLORSPACE:
        case U_EMR_CREATECOLORSPACEW:
            created(record, Object::Other);
            break;
        case U_EMR_SELECTOBJECT:
            if (record.size() >= 12)
                selected(readU32(record, 8));
            break;
        case U_EMR_SAVEDC:
            saved.push_back({current, drawnSaves++});
            break;
        case U_EMR_RESTOREDC:
            return record.size() >= 12 ? restored(readS32(record, 8)) : 0;
        case U_EMR_COMMENT:
            if (emfPlusCommentDraws(record))
                result.drawsWithEmfPlus = true;
            break;
        case U_EMR_FILLRGN:
            if (const int written = fillRegion(record))
                return written;
            break;
        case U_EMR_GRADIENTFILL:
            if (spareHandle != 0)
                if (const int written = appendGradient(result.bytes, record, spareHandle,
                                                       current.pen, current.brush))
                    return written;
            break;
        case U_EMR_ARC:
        case U_EMR_CHORD:
        case U_EMR_PIE:
            if (const int written = wholeEllipse(type, record))
                return written;
            break;
        case U_EMR_BEGINPATH:
        case U_EMR_ENDPATH:
        case U_EMR_ABORTPATH:
            inPath = type == U_EMR_BEGINPATH;
            break;
        case U_EMR_ELLIPSE:
        case U_EMR_RECTANGLE:
            if (const int written = inPath ? appendShapeInPath(result.bytes, type, record) : 0)
                return written;
            break;
        case U_EMR_SETBKCOLOR:
            if (record.size() >= 12)
                current.background = readU32(record, 8);
            break;
        case U_EMR_SETTEXTALIGN:
            if (record.size() >= 12)
                current.textAlign = readU32(record, 8);
            break;
        case U_EMR_MOVETOEX:
        case U_EMR_LINETO:
            if (record.size() >= 16)
                moveTo(readS32(record, 8), readS32(record, 12));
            break;
        case U_EMR_POLYLINETO:
        case U_EMR_POLYBEZIERTO:
            movedAlong(record, 8);
            break;
        case U_EMR_POLYLINETO16:
        case U_EMR_POLYBEZIERTO16:
            movedAlong(record, 4);
            break;
        case U_EMR_EXTTEXTOUTA:
        case U_EMR_EXTTEXTOUTW:
            return text(type, record);
        default:
            takeMapping(current.mapping, type, record);
            break;
        }
        result.bytes.append(record);
        return 1;
    }

private:
    void created(std::string_view record, Object kind) {
        if (record.size() >= 12)
            objects[readU32(record, 8)] = kind;
    }

    void selected(std::uint32_t handle) {
        Object kind = Object::Other;
        if (handle & StockObject) {
            if (handle <= U_BLACK_BRUSH || handle == U_NULL_BRUSH || handle == DcBrush)
                kind = Object::Brush;
            else if ((handle >= U_WHITE_PEN && handle <= U_NULL_PEN) || handle == DcPen)
                kind = Object::Pen;
        } else if (const auto found = objects.find(handle); found != objects.end()) {
            kind = found->second;
        }
        if (kind == Object::Font)
            current.rotatedFont = rotatedFonts[handle];
        else if (handle & StockObject && handle >= U_OEM_FIXED_FONT && handle <= U_DEFAULT_GUI_FONT)
            current.rotatedFont = false;
        if (kind == Object::Brush)
            current.brush = handle;
        else if (kind == Object::Pen)
            current.pen = handle;
    }

    // A negative number counts back from the latest save, a positive one
    // counts from the first; one out of range restores nothing. libemf2svg
    // is told which of its copies to restore, and the mapping, which it does
    // not save, is set back.
    int restored(std::int32_t which) {
        const std::size_t depth = saved.size();
        std::size_t keep = depth;
        if (which < 0 && std::size_t(-std::int64_t{which}) <= depth)
            keep = depth - std::size_t(-std::int64_t{which});
        else if (which > 0 && std::size_t(which) <= depth)
            keep = std::size_t(which) - 1;
        else
            return 0;
        const SavedContext restoring = saved[keep];
        saved.resize(keep);
        appendU32(result.bytes, U_EMR_RESTOREDC);
        appendU32(result.bytes, 12);
        appendU32(result.bytes, std::uint32_t(-std::int64_t(drawnSaves - restoring.drawnAt)));
        const int written =
            1 + appendMappingChange(result.bytes, current.mapping, restoring.context.mapping);
        current = restoring.context;
        return written;
    }

    // libemf2svg leaves region fills out. The region's rectangles, in logical
    // units and without their right and bottom edges, are drawn as rectangles
    // with the region's brush and no outline; then the selection is put back.
    int fillRegion(std::string_view record) {
        constexpr std::size_t RegionAt = 32;
        constexpr std::size_t RegionHeaderBytes = 32;
        if (record.size() < RegionAt + RegionHeaderBytes)
            return 0;
        const std::uint32_t regionBytes = readU32(record, 24);
        const std::uint32_t brush = readU32(record, 28);
        const std::uint32_t count = readU32(record, RegionAt + 8);
        const std::size_t rectsBytes = std::size_t{count} * 16;
        if (regionBytes > record.size() - RegionAt ||
            rectsBytes > regionBytes - std::min<std::size_t>(regionBytes, RegionHeaderBytes) ||
            regionBytes < RegionHeaderBytes)
            return 0;
        appendSelect(result.bytes, brush);
        appendSelect(result.bytes, U_NULL_PEN);
        for (std::size_t i = 0; i < count; ++i) {
            appendU32(result.bytes, U_EMR_RECTANGLE);
            appendU32(result.bytes, 24);
            result.bytes.append(record.substr(RegionAt + RegionHeaderBytes + i * 16, 16));
        }
        appendSelect(result.bytes, current.pen);
        appendSelect(result.bytes, current.brush);
        return int(count) + 4;
    }

    // An arc that ends where it starts goes all the way round; libemf2svg
    // draws nothing for it. A chord or pie of it is the filled ellipse.
    int wholeEllipse(std::uint32_t type, std::string_view record) {
        if (record.size() < 40 || record.substr(24, 8) != record.substr(32, 8))
            return 0;
        const bool outline = type == U_EMR_ARC;
        if (outline)
            appendSelect(result.bytes, U_NULL_BRUSH);
        appendU32(result.bytes, U_EMR_ELLIPSE);
        appendU32(result.bytes, 24);
        result.bytes.append(record.substr(8, 16));
        if (outline)
            appendSelect(result.bytes, current.brush);
        return outline ? 3 : 1;
    }

    // A pen's width is in logical units, which libemf2svg takes for device
    // pixels: a pen of 20 twips came out 20 pixels wide. Its width is
    // mapped here with the mapping in force when the pen is made, which is
    // where files set it. libemf2svg also draws every pen made by CREATEPEN
    // one pixel wide; a wider one becomes the geometric pen it is.
    void pen(std::uint32_t type, std::string_view record) {
        const std::size_t widthAt = type == U_EMR_CREATEPEN ? 16 : 32;
        if (record.size() < widthAt + 4 || (type == U_EMR_CREATEPEN && record.size() < 28)) {
            result.bytes.append(record);
            return;
        }
        const double scale = logicalScale(current.mapping, pixelsPerMm);
        const double mapped =
            std::abs(double(readS32(record, widthAt))) * (std::isfinite(scale) ? scale : 1.0);
        // A pen of a pixel and a bit stays wider than a hairline.
        const auto width = std::uint32_t(
            mapped > 1.0 ? std::ceil(std::min(mapped, double(INT32_MAX))) : std::lround(mapped));
        const std::uint32_t style = type == U_EMR_CREATEPEN ? readU32(record, 12) : 0;
        if (type == U_EMR_CREATEPEN && width > 1 && (style & U_PS_STYLE_MASK) != U_PS_NULL) {
            constexpr std::uint32_t ExtPenBytes = 56;
            appendU32(result.bytes, U_EMR_EXTCREATEPEN);
            appendU32(result.bytes, ExtPenBytes);
            appendU32(result.bytes, readU32(record, 8));
            // No pattern bitmap: its offsets point past the pen.
            for (const std::uint32_t field : {ExtPenBytes, 0u, ExtPenBytes, 0u})
                appendU32(result.bytes, field);
            for (const std::uint32_t field :
                 {style | U_PS_GEOMETRIC, width, std::uint32_t{U_BS_SOLID}, readU32(record, 24), 0u,
                  0u, 0u})
                appendU32(result.bytes, field);
            return;
        }
        const std::size_t at = result.bytes.size();
        result.bytes.append(record);
        writeU32(result.bytes, at + widthAt, width);
    }

    void moveTo(std::int32_t x, std::int32_t y) {
        current.x = x;
        current.y = y;
    }

    // The lines and curves "to" end where their last point is.
    void movedAlong(std::string_view record, std::size_t pointBytes) {
        if (record.size() < 28)
            return;
        const std::uint32_t count = readU32(record, 24);
        if (count == 0 || count > (record.size() - 28) / pointBytes)
            return;
        const std::size_t last = 28 + (count - 1) * pointBytes;
        if (pointBytes == 8)
            moveTo(readS32(record, last), readS32(record, last + 4));
        else
            moveTo(readS16(record, last), readS16(record, last + 2));
    }

    // With TA_UPDATECP, text starts at the current position, whatever its
    // record says, and left-aligned text moves the position on by its
    // advances. libemf2svg draws it at the record's own reference point.
    // An opaque text's rectangle is filled with the background colour first,
    // which libemf2svg leaves out.
    int text(std::uint32_t type, std::string_view record) {
        constexpr std::size_t OptionsAt = 52;
        int opaque = 0;
        if (record.size() >= OptionsAt + 20 && (readU32(record, OptionsAt) & U_ETO_OPAQUE) &&
            spareHandle != 0)
            opaque =
                appendSolidRectangle(result.bytes, record.substr(OptionsAt + 4, 16),
                                     current.background, spareHandle, current.pen, current.brush);
        const bool fromPosition = current.textAlign & U_TA_UPDATECP;
        const TextRecords written = appendText(
            result.bytes, type, record, current.textAlign, current.rotatedFont,
            fromPosition ? std::optional<EmfPoint>({current.x, current.y}) : std::nullopt);
        if (fromPosition && written.end && (current.textAlign & U_TA_CENTER) == 0)
            moveTo(written.end->x, written.end->y);
        return written.count + opaque;
    }

    PreparedEmf& result;
    std::unordered_map<std::uint32_t, Object> objects;
    std::unordered_map<std::uint32_t, bool> rotatedFonts;
    double pixelsPerMm;
    std::uint32_t spareHandle;
    DeviceContext current;
    std::vector<SavedContext> saved;
    bool inPath = false;
    std::size_t drawnSaves = 0; // how many contexts libemf2svg has saved
};

} // namespace

PreparedEmf prepareEmfRecords(std::string_view bytes) {
    PreparedEmf result;
    const std::size_t headerBytes = readU32(bytes, 4);
    if (headerBytes > bytes.size() || headerBytes % 4 != 0) {
        result.bytes = bytes;
        return result;
    }
    result.bytes.reserve(bytes.size() + 64);
    result.bytes.append(bytes.substr(0, headerBytes));
    // A device context starts with the white brush selected; libemf2svg
    // starts with black.
    appendSelect(result.bytes, U_WHITE_BRUSH);
    std::int64_t addedRecords = 1;

    const std::int32_t devicePixels = readS32(bytes, 72);
    const std::int32_t deviceMm = readS32(bytes, 80);
    // One handle more than the file's objects need, for the brushes that
    // gradients are painted with.
    const std::uint16_t handles = readU16(bytes, 56);
    const std::uint32_t spareHandle =
        headerBytes >= 88 && handles < 0xFFFE ? std::max<std::uint32_t>(handles, 1) : 0;
    if (spareHandle != 0) {
        result.bytes[56] = char((spareHandle + 1) & 0xFF);
        result.bytes[57] = char((spareHandle + 1) >> 8);
    }
    Rewriter rewriter(
        result, devicePixels > 0 && deviceMm > 0 ? double(devicePixels) / deviceMm : 96 / 25.4,
        spareHandle);
    std::size_t at = headerBytes;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t type = readU32(bytes, at);
        const std::uint32_t size = readU32(bytes, at + 4);
        if (size < 8 || size % 4 != 0 || size > bytes.size() - at)
            break;
        addedRecords += rewriter.take(type, bytes.substr(at, size)) - 1;
        at += size;
        if (type == U_EMR_EOF)
            break;
    }
    result.bytes.append(bytes.substr(at));

    writeU32(result.bytes, 48, std::uint32_t(result.bytes.size()));
    writeU32(result.bytes, 52, std::uint32_t(std::int64_t{readU32(bytes, 52)} + addedRecords));
    return result;
}

} // namespace sortello::metafile
