// SPDX-License-Identifier: GPL-3.0-or-later
#include "WmfToSvg.h"
#include "WmfFunctions.h"

#include "WmfBounds.h"
#include "WmfRecords.h"
#include "WmfSvgDevice.h"
#include "WmfTextOut.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <libwmf/api.h>
#include <libwmf/ipa.h>

namespace sortello::metafile {

namespace {

constexpr int MapText = 1;
constexpr int MapIsotropic = 7;
constexpr int MapAnisotropic = 8;

bool isDrawingRecord(std::uint16_t function) {
    static constexpr std::uint16_t drawing[] = {
        wmf::LineTo,      wmf::Rectangle,     wmf::RoundRect,  wmf::Ellipse,     wmf::Arc,
        wmf::Pie,         wmf::Chord,         wmf::Polygon,    wmf::Polyline,    wmf::PolyPolygon,
        wmf::TextOut,     wmf::ExtTextOut,    wmf::PatBlt,     wmf::BitBlt,      wmf::DibBitBlt,
        wmf::StretchBlt,  wmf::DibStretchBlt, wmf::StretchDib, wmf::SetDibToDev, wmf::SetPixel,
        wmf::FloodFill,   wmf::ExtFloodFill,  wmf::FillRegion, wmf::FrameRegion, wmf::PaintRegion,
        wmf::InvertRegion};
    return std::find(std::begin(drawing), std::end(drawing), function) != std::end(drawing);
}

// Device units per logical unit in libwmf's fixed mapping modes; 0 where the
// scale depends on extents the file did not give.
double unitScale(int mapMode, std::uint16_t unitsPerInch) {
    switch (mapMode) {
    case MapText:
        return 1;
    case 2:
        return 72 * 0.1 / 25.4;
    case 3:
        return 72 * 0.01 / 25.4;
    case 4:
        return 0.72;
    case 5:
        return 0.072;
    case 6:
        return 0.05;
    case MapIsotropic:
    case MapAnisotropic:
        return 0;
    default:
        return unitsPerInch > 0 ? 72.0 / unitsPerInch : 0;
    }
}

struct Area {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

Area normalized(double x, double y, double width, double height) {
    if (width < 0) {
        x += width;
        width = -width;
    }
    if (height < 0) {
        y += height;
        height = -height;
    }
    return {x, y, width, height};
}

bool scalesToWindow(int mapMode) {
    return mapMode == MapIsotropic || mapMode == MapAnisotropic;
}

// How the records before the first drawing map the file's coordinates.
struct Mapping {
    int mapMode = MapText;
    double windowX = 0;
    double windowY = 0;
    double windowWidth = 0;
    double windowHeight = 0;
    bool hasWindowExtent = false;
    // Set while the mode scaled to it: one the text mode, switched to
    // afterwards, ignores.
    bool windowOfScalingMode = false;
    bool hasViewportExtent = false;
    double viewportWidth = 1024; // libwmf's viewport until the file sets one
    double viewportHeight = 1024;
    std::size_t firstDrawing = std::string_view::npos; // offset of its record
    // Where each window extent record before it ends, and its extent.
    struct WindowExtent {
        std::size_t end;
        double width;
        double height;
    };
    std::vector<WindowExtent> windowExtents;
};

Mapping readMapping(std::string_view bytes, const WmfInfo& info) {
    Mapping mapping;
    mapping.mapMode = info.placeable ? 0 : MapText;
    forEachWmfRecord(bytes, info, [&](std::uint16_t function, std::string_view parameters) {
        if (isDrawingRecord(function)) {
            mapping.firstDrawing = std::size_t(parameters.data() - bytes.data()) - 6;
            return false;
        }
        if (function == wmf::SetMapMode && parameters.size() >= 2) {
            mapping.mapMode = readU16(parameters, 0);
        } else if (function == wmf::ScaleViewportExt) {
            mapping.hasViewportExtent = true;
        } else if (parameters.size() >= 4) {
            const double y = readS16(parameters, 0);
            const double x = readS16(parameters, 2);
            if (function == wmf::SetWindowOrg) {
                mapping.windowX = x;
                mapping.windowY = y;
            } else if (function == wmf::SetWindowExt) {
                mapping.windowWidth = x;
                mapping.windowHeight = y;
                mapping.hasWindowExtent = x != 0 && y != 0;
                mapping.windowOfScalingMode = scalesToWindow(mapping.mapMode);
                if (mapping.hasWindowExtent)
                    mapping.windowExtents.push_back(
                        {std::size_t(parameters.data() - bytes.data()) + parameters.size(), x, y});
            } else if (function == wmf::SetViewportExt) {
                mapping.viewportWidth = x;
                mapping.viewportHeight = y;
                mapping.hasViewportExtent = true;
            }
        }
        return true;
    });
    return mapping;
}

// An ExtTextOut record with no text and ETO_OPAQUE paints its rectangle in
// the background colour: office programs fill backgrounds and table cells
// that way. libwmf skips text records without text, so each such record
// becomes, in place, a PatBlt of the same rectangle with the drawing layer's
// own raster operation for the background colour.
void paintEmptyOpaqueText(std::string& played, std::string_view bytes, const WmfInfo& info) {
    const auto put = [&played](std::size_t at, std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i)
            played[at + i] = static_cast<char>(value >> (8 * i));
    };
    forEachWmfRecord(bytes, info, [&](std::uint16_t function, std::string_view parameters) {
        // A string longer than its record is not drawn, as the reference
        // renderer leaves it out, but its rectangle is painted.
        const std::size_t count = parameters.size() >= 16 ? readU16(parameters, 4) : 0;
        if (function != wmf::ExtTextOut || parameters.size() < 16 ||
            (count != 0 && 16 + count <= parameters.size()) ||
            !(readU16(parameters, 6) & wmf::EtoOpaque))
            return true;
        const int left = readS16(parameters, 8);
        const int top = readS16(parameters, 10);
        const int right = readS16(parameters, 12);
        const int bottom = readS16(parameters, 14);
        const std::size_t at = std::size_t(parameters.data() - bytes.data());
        put(at - 2, wmf::PatBlt, 2);
        put(at, BackgroundFillRop, 4);
        put(at + 4, std::min(std::abs(bottom - top), 32767), 2);
        put(at + 6, std::min(std::abs(right - left), 32767), 2);
        put(at + 8, static_cast<std::uint16_t>(std::min(top, bottom)), 2);
        put(at + 10, static_cast<std::uint16_t>(std::min(left, right)), 2);
        return true;
    });
}

// A file that scales its drawing to a window without ever setting the
// viewport is shown by GDI with the viewport as large as the window, one
// device unit to a logical one. libwmf assumes 1024 x 1024 device units
// instead, which stretches the drawing one way and its text the other, and
// converts pen widths and font sizes at the scale of the moment. The record
// that says what GDI assumes goes in after each window extent that comes
// before the first drawing.
void setViewportToWindow(std::string& played, const WmfInfo& info, Mapping& mapping) {
    if (!scalesToWindow(mapping.mapMode) || !mapping.hasWindowExtent || mapping.hasViewportExtent ||
        mapping.firstDrawing == std::string_view::npos)
        return;
    const auto side = [](double length) {
        return static_cast<std::uint16_t>(std::min(std::abs(length), 32767.0));
    };
    constexpr std::uint32_t recordWords = 5;
    // From the last, so that the offsets before it stay right.
    for (auto extent = mapping.windowExtents.rbegin(); extent != mapping.windowExtents.rend();
         ++extent) {
        const std::uint16_t width = side(extent->width);
        const std::uint16_t height = side(extent->height);
        const unsigned char record[] = {recordWords,
                                        0,
                                        0,
                                        0,
                                        wmf::SetViewportExt & 0xFF,
                                        wmf::SetViewportExt >> 8,
                                        static_cast<unsigned char>(height & 0xFF),
                                        static_cast<unsigned char>(height >> 8),
                                        static_cast<unsigned char>(width & 0xFF),
                                        static_cast<unsigned char>(width >> 8)};
        played.insert(extent->end, reinterpret_cast<const char*>(record), sizeof record);
    }
    mapping.viewportWidth = side(mapping.windowWidth);
    mapping.viewportHeight = side(mapping.windowHeight);
    mapping.hasViewportExtent = true;
    // The header's file size counts 16-bit words.
    const std::size_t header = info.firstRecord - 18;
    const std::uint32_t words =
        readU32(played, header + 6) + recordWords * std::uint32_t(mapping.windowExtents.size());
    for (int i = 0; i < 4; ++i)
        played[header + 6 + i] = static_cast<char>(words >> (8 * i));
}

// The area GDI shows, in libwmf's device space: the viewport when the file
// scales its drawing to the output, else the placeable header's box. libwmf's
// own bounding box covers only what is drawn and would cut off the margins.
std::optional<Area> shownArea(const Mapping& mapping, const WmfInfo& info) {
    if (scalesToWindow(mapping.mapMode) && mapping.hasWindowExtent && mapping.viewportWidth != 0 &&
        mapping.viewportHeight != 0)
        return normalized(0, 0, mapping.viewportWidth, mapping.viewportHeight);
    if (!info.placeable) {
        // Device units are the file's own in the text mode, where a window
        // set in that mode still says which part of the drawing is the
        // picture; one set for a scaling mode left since does not.
        if (mapping.mapMode == MapText && mapping.hasWindowExtent && !mapping.windowOfScalingMode)
            return normalized(0, 0, mapping.windowWidth, mapping.windowHeight);
        return std::nullopt;
    }
    const double scale = unitScale(mapping.mapMode, info.unitsPerInch);
    if (scale <= 0)
        return std::nullopt;
    const double scaleX = mapping.hasWindowExtent && mapping.windowWidth < 0 ? -scale : scale;
    const double scaleY = mapping.hasWindowExtent && mapping.windowHeight < 0 ? -scale : scale;
    return normalized((info.left - mapping.windowX) * scaleX, (info.top - mapping.windowY) * scaleY,
                      (double(info.right) - info.left) * scaleX,
                      (double(info.bottom) - info.top) * scaleY);
}

// How many of libwmf's device units a logical unit is at the first drawing;
// 0 where the file scales to a window it never gives.
double deviceUnitsPerLogicalUnit(const Mapping& mapping, const WmfInfo& info) {
    if (scalesToWindow(mapping.mapMode))
        return mapping.hasWindowExtent ? mapping.viewportWidth / mapping.windowWidth : 0;
    return info.placeable || mapping.mapMode != MapText
               ? unitScale(mapping.mapMode, info.unitsPerInch)
               : 1;
}

// Pixels at 96 dpi per libwmf device unit of a file without a placeable
// header: the fixed mapping modes measure in points, the others in the
// file's own units, which are taken for pixels as Windows shows them.
double pixelsPerDeviceUnit(int mapMode) {
    return mapMode == MapText || scalesToWindow(mapMode) ? 1 : 96.0 / 72;
}

std::string describe(wmf_error_t error) {
    switch (error) {
    case wmf_E_InsMem:
        return "it needs more memory than allowed";
    case wmf_E_EOF:
        return "the file is truncated";
    case wmf_E_BadFile:
    case wmf_E_BadFormat:
        return "its records are damaged";
    default:
        return "its records cannot be drawn";
    }
}

// libwmf calls this for its default font and then for every font record it
// reads, in file order, once while scanning and once while playing; it keeps
// only the height's size, the font record found before keeps its sign.
void attachFontRecord(wmfAPI* api, wmfFont* font) {
    auto& canvas = *static_cast<WmfCanvas*>(api->device_data);
    font->user_data = nullptr;
    if (canvas.defaultFontNext) {
        canvas.defaultFontNext = false;
        return;
    }
    if (canvas.fontsMapped < canvas.fonts.size())
        font->user_data = &canvas.fonts[canvas.fontsMapped++];
}

// Before each pass of the player: its fonts are mapped from the start again.
void restartFontRecords(WmfCanvas& canvas) {
    canvas.fontsMapped = 0;
    canvas.defaultFontNext = true;
}

struct ApiDeleter {
    void operator()(wmfAPI* api) const { wmf_api_destroy(api); }
};

} // namespace

Conversion convertWmf(std::string_view bytes) {
    const WmfInfo info = readWmfLayout(bytes);
    Mapping mapping = readMapping(bytes, info);
    // The records libwmf plays: the file's, with what it does not follow
    // as GDI does said in records it does.
    std::string played(bytes);
    paintEmptyOpaqueText(played, bytes, info);
    setViewportToWindow(played, info, mapping);
    resolvePaletteColours(played, info);
    keepBrushForMonochromePatterns(played, info);
    excludeRightAndBottomEdges(played, info);
    emptyUnreadableRegions(played, info);
    played = restoreStatesStepByStep(played, info);
    played = bitmapsAsDibs(played, info);
    played = textPlacedByAdvances(played, info);

    wmfAPI_Options options{};
    options.function = installWmfSvgDevice;
    // Failures come back as error codes; libwmf's own messages would only fill
    // the error stream, a line for every bad record of a damaged file.
    const unsigned long flags =
        WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_DEBUG | WMF_OPT_NO_ERROR;
    wmfAPI* created = nullptr;
    const wmf_error_t createError = wmf_api_create(&created, flags, &options);
    if (createError != wmf_E_None || !created)
        throw ConversionError(describe(createError));
    const std::unique_ptr<wmfAPI, ApiDeleter> api(created);

    WmfCanvas canvas;
    canvas.fonts = readWmfFonts(bytes, info);
    attachWmfCanvas(api.get(), &canvas);
    // Replacing the font hooks keeps libwmf from loading PostScript fonts,
    // which it cannot do without them installed and which the SVG never uses.
    auto* fonts = static_cast<wmfFontData*>(api->font_data);
    fonts->map = attachFontRecord;
    fonts->stringwidth = estimatedWidth;

    if (wmf_mem_open(api.get(), reinterpret_cast<unsigned char*>(played.data()),
                     static_cast<long>(played.size())) != wmf_E_None)
        throw ConversionError(describe(api->err));
    wmfD_Rect drawn{};
    restartFontRecords(canvas);
    if (wmf_scan(api.get(), 0, &drawn) != wmf_E_None)
        throw ConversionError(describe(api->err));

    const std::optional<Area> shown = shownArea(mapping, info);
    Area area = shown.value_or(
        normalized(drawn.TL.x, drawn.TL.y, drawn.BR.x - drawn.TL.x, drawn.BR.y - drawn.TL.y));
    // libwmf's box of what is drawn takes in the pens' width; the reference
    // renderer measures a file in its own units by the coordinates alone.
    if (!shown && !info.placeable && mapping.mapMode == MapText)
        if (const std::optional<WmfBox> box = recordBounds(bytes, info))
            area = {box->left - mapping.windowX, box->top - mapping.windowY,
                    double(box->right) - box->left + 1, double(box->bottom) - box->top + 1};
    PictureSize size;
    double aspect = 0;
    if (info.placeable && info.unitsPerInch > 0) {
        size = {pixelsAt96Dpi(double(info.right) - info.left, info.unitsPerInch),
                pixelsAt96Dpi(double(info.bottom) - info.top, info.unitsPerInch)};
        aspect = (double(info.right) - info.left) / (double(info.bottom) - info.top);
    } else if (area.width > 0 && area.height > 0) {
        // Without a header the picture is as large as its window, or as what
        // it draws.
        const double scale = pixelsPerDeviceUnit(mapping.mapMode);
        size = {std::max(1, pixelsAt96Dpi(area.width * scale, 96)),
                std::max(1, pixelsAt96Dpi(area.height * scale, 96))};
        aspect = area.width / area.height;
    }
    if (size.width <= 0 || size.height <= 0)
        throw ConversionError("it declares no size");
    canvas.aspect = std::isfinite(aspect) && aspect > 0 ? aspect : double(size.width) / size.height;
    if (!(area.width > 0 && area.height > 0))
        area = {0, 0, 1, 1};
    canvas.width = size.width;
    canvas.height = size.height;
    canvas.viewX = area.x;
    canvas.viewY = area.y;
    canvas.viewWidth = area.width;
    canvas.viewHeight = area.height;
    // A shape fills its units from the corner of its first, as GDI fills
    // the pixels of a device, so drawn larger a unit is a whole square and
    // not one centred on its coordinate.
    canvas.logicalUnit = std::abs(deviceUnitsPerLogicalUnit(mapping, info));

    restartFontRecords(canvas);
    const wmf_error_t playError = wmf_play(api.get(), 0, &drawn);
    if (canvas.tooLarge)
        throw ConversionError("its drawing is larger than 64 MiB");
    if (canvas.outOfMemory)
        throw ConversionError("it needs more memory than allowed");
    if (playError != wmf_E_None)
        throw ConversionError(describe(playError));
    return {size, std::move(canvas.svg)};
}

} // namespace sortello::metafile
