// SPDX-License-Identifier: GPL-3.0-or-later
#include "WmfToSvg.h"

#include "WmfSvgDevice.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

#include <libwmf/api.h>
#include <libwmf/ipa.h>

namespace sortello::metafile {

namespace {

constexpr std::uint16_t MetaSetMapMode = 0x0103;
constexpr std::uint16_t MetaSetWindowOrg = 0x020B;
constexpr std::uint16_t MetaSetWindowExt = 0x020C;
constexpr std::uint16_t MetaSetViewportExt = 0x020E;

constexpr int MapText = 1;
constexpr int MapIsotropic = 7;
constexpr int MapAnisotropic = 8;

bool isDrawingRecord(std::uint16_t function) {
    static constexpr std::uint16_t drawing[] = {
        0x0213, 0x041B, 0x061C, 0x0418, 0x0817, 0x081A, 0x0830, 0x0324, 0x0325,
        0x0538, 0x0521, 0x0A32, 0x061D, 0x0922, 0x0940, 0x0B23, 0x0B41, 0x0F43,
        0x0D33, 0x041F, 0x0419, 0x0548, 0x0228, 0x0429, 0x012B, 0x012A};
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

// The area GDI shows, in libwmf's device space: the window when the file
// scales its drawing to the output, else the placeable header's box. libwmf's
// own bounding box covers only what is drawn and would cut off the margins.
std::optional<Area> shownArea(std::string_view bytes, const WmfInfo& info) {
    int mapMode = info.placeable ? 0 : MapText;
    double windowX = 0;
    double windowY = 0;
    double windowWidth = 0;
    double windowHeight = 0;
    bool hasWindowExtent = false;
    double viewportWidth = 1024; // libwmf's viewport until the file sets one
    double viewportHeight = 1024;
    forEachWmfRecord(bytes, info, [&](std::uint16_t function, std::string_view parameters) {
        if (isDrawingRecord(function))
            return false;
        if (function == MetaSetMapMode && parameters.size() >= 2) {
            mapMode = readU16(parameters, 0);
        } else if (parameters.size() >= 4) {
            const double y = readS16(parameters, 0);
            const double x = readS16(parameters, 2);
            if (function == MetaSetWindowOrg) {
                windowX = x;
                windowY = y;
            } else if (function == MetaSetWindowExt) {
                windowWidth = x;
                windowHeight = y;
                hasWindowExtent = true;
            } else if (function == MetaSetViewportExt) {
                viewportWidth = x;
                viewportHeight = y;
            }
        }
        return true;
    });

    if ((mapMode == MapIsotropic || mapMode == MapAnisotropic) && windowWidth != 0 &&
        windowHeight != 0 && viewportWidth != 0 && viewportHeight != 0)
        return normalized(0, 0, viewportWidth, viewportHeight);
    const double scale = unitScale(mapMode, info.unitsPerInch);
    if (!info.placeable || scale <= 0)
        return std::nullopt;
    const double scaleX = hasWindowExtent && windowWidth < 0 ? -scale : scale;
    const double scaleY = hasWindowExtent && windowHeight < 0 ? -scale : scale;
    return normalized((info.left - windowX) * scaleX, (info.top - windowY) * scaleY,
                      (double(info.right) - info.left) * scaleX,
                      (double(info.bottom) - info.top) * scaleY);
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

void keepFontUnloaded(wmfAPI*, wmfFont* font) {
    font->user_data = nullptr;
}

// Text is drawn by the viewer's fonts; the player only needs a width to place
// centred and right-aligned text, and half the font size per letter is close
// enough for common faces.
float estimatedWidth(wmfAPI*, wmfFont*, char* text) {
    return 0.5f * static_cast<float>(std::strlen(text));
}

struct ApiDeleter {
    void operator()(wmfAPI* api) const { wmf_api_destroy(api); }
};

} // namespace

Conversion convertWmf(std::string_view bytes) {
    const WmfInfo info = readWmfLayout(bytes);

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
    attachWmfCanvas(api.get(), &canvas);
    // Replacing the font hooks keeps libwmf from loading PostScript fonts,
    // which it cannot do without them installed and which the SVG never uses.
    auto* fonts = static_cast<wmfFontData*>(api->font_data);
    fonts->map = keepFontUnloaded;
    fonts->stringwidth = estimatedWidth;

    std::string input(bytes);
    if (wmf_mem_open(api.get(), reinterpret_cast<unsigned char*>(input.data()),
                     static_cast<long>(input.size())) != wmf_E_None)
        throw ConversionError(describe(api->err));
    wmfD_Rect drawn{};
    if (wmf_scan(api.get(), 0, &drawn) != wmf_E_None)
        throw ConversionError(describe(api->err));

    PictureSize size;
    if (info.placeable && info.unitsPerInch > 0)
        size = {pixelsAt96Dpi(double(info.right) - info.left, info.unitsPerInch),
                pixelsAt96Dpi(double(info.bottom) - info.top, info.unitsPerInch)};
    if (size.width <= 0 || size.height <= 0) {
        unsigned width = 0;
        unsigned height = 0;
        wmf_display_size(api.get(), &width, &height, 96, 96);
        size = {static_cast<int>(std::min<unsigned>(width, INT_MAX)),
                static_cast<int>(std::min<unsigned>(height, INT_MAX))};
    }
    if (size.width <= 0 || size.height <= 0)
        throw ConversionError("it declares no size");

    Area area = shownArea(bytes, info).value_or(Area{});
    if (!(area.width > 0 && area.height > 0))
        area = normalized(drawn.TL.x, drawn.TL.y, drawn.BR.x - drawn.TL.x, drawn.BR.y - drawn.TL.y);
    if (!(area.width > 0 && area.height > 0))
        area = {0, 0, 1, 1};
    canvas.width = size.width;
    canvas.height = size.height;
    canvas.viewX = area.x;
    canvas.viewY = area.y;
    canvas.viewWidth = area.width;
    canvas.viewHeight = area.height;

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
