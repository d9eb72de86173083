// SPDX-License-Identifier: GPL-3.0-or-later
#include "WmfSvgDevice.h"

#include "MetafileFormat.h"
#include "SvgText.h"
#include "WmfBitmap.h"
#include "WmfSvgStyle.h"
#include "WmfTextOut.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <numbers>
#include <string_view>
#include <vector>

#include <libwmf/defs.h>
#include <libwmf/ipa.h>

namespace sortello::metafile {

namespace {

WmfCanvas& canvasOf(wmfAPI* api) {
    return *static_cast<WmfCanvas*>(api->device_data);
}

void finishShape(wmfAPI* api, WmfCanvas& canvas, const wmfDC* dc) {
    appendFill(api, canvas.svg, dc);
    appendStroke(canvas.svg, dc, canvas.hairline());
    canvas.svg += "/>\n";
}

void drawRectangle(wmfAPI* api, WmfCanvas& canvas, wmfDrawRectangle_t* rect) {
    if (!fills(rect->dc) && !strokes(rect->dc))
        return;
    std::string& out = canvas.svg;
    appendRectBetween(out, rect->TL.x, rect->TL.y, rect->BR.x, rect->BR.y);
    if (rect->width > 0 || rect->height > 0) {
        attribute(out, "rx", std::abs(rect->width) / 2);
        attribute(out, "ry", std::abs(rect->height) / 2);
    }
    finishShape(api, canvas, rect->dc);
}

void drawEllipse(wmfAPI* api, WmfCanvas& canvas, wmfDrawArc_t* arc) {
    if (!fills(arc->dc) && !strokes(arc->dc))
        return;
    std::string& out = canvas.svg;
    out += "<ellipse";
    attribute(out, "cx", (arc->TL.x + arc->BR.x) / 2);
    attribute(out, "cy", (arc->TL.y + arc->BR.y) / 2);
    attribute(out, "rx", std::abs(arc->BR.x - arc->TL.x) / 2);
    attribute(out, "ry", std::abs(arc->BR.y - arc->TL.y) / 2);
    finishShape(api, canvas, arc->dc);
}

enum class ArcShape { Open, Chord, Pie };

// The player gives the arc's ends relative to the centre; they only fix the
// angles, GDI takes the points where those rays meet the ellipse. It also
// swaps them: its end is the record's start point and its start the end.
void drawArc(wmfAPI* api, WmfCanvas& canvas, const wmfDrawArc_t* arc, ArcShape shape) {
    if (!strokes(arc->dc) && (shape == ArcShape::Open || !fills(arc->dc)))
        return;
    const double cx = (arc->TL.x + arc->BR.x) / 2;
    const double cy = (arc->TL.y + arc->BR.y) / 2;
    const double rx = std::abs(arc->BR.x - arc->TL.x) / 2;
    const double ry = std::abs(arc->BR.y - arc->TL.y) / 2;
    if (rx <= 0 || ry <= 0)
        return;
    const auto onEllipse = [&](const wmfD_Coord& ray) {
        const double scale = 1 / std::hypot(ray.x / rx, ray.y / ry);
        return std::isfinite(scale)
                   ? wmfD_Coord{float(cx + ray.x * scale), float(cy + ray.y * scale)}
                   : wmfD_Coord{float(cx + rx), float(cy)};
    };
    const wmfD_Coord& startRay = arc->end;
    const wmfD_Coord& endRay = arc->start;
    const wmfD_Coord start = onEllipse(startRay);
    const wmfD_Coord end = onEllipse(endRay);
    // Arcs run counterclockwise on screen; with y growing downwards that is
    // the direction of decreasing angles, SVG's sweep flag 0.
    double sweep = std::atan2(startRay.y, startRay.x) - std::atan2(endRay.y, endRay.x);
    while (sweep <= 1e-9)
        sweep += 2 * std::numbers::pi;

    std::string& out = canvas.svg;
    out += "<path d=\"M";
    appendPoint(out, start.x, start.y);
    const auto arcTo = [&](double x, double y, bool large) {
        out += " A";
        appendPoint(out, rx, ry);
        out += large ? " 0 1 0 " : " 0 0 0 ";
        appendPoint(out, x, y);
    };
    if (sweep >= 2 * std::numbers::pi - 1e-9) {
        arcTo(2 * cx - start.x, 2 * cy - start.y, false);
        arcTo(start.x, start.y, false);
    } else {
        arcTo(end.x, end.y, sweep > std::numbers::pi);
    }
    if (shape == ArcShape::Pie) {
        out += " L";
        appendPoint(out, cx, cy);
    }
    out += shape == ArcShape::Open ? "\"" : " Z\"";
    if (shape == ArcShape::Open)
        out += " fill=\"none\"";
    else
        appendFill(api, out, arc->dc);
    appendStroke(out, arc->dc, canvas.hairline());
    out += "/>\n";
}

void drawPie(wmfAPI* api, WmfCanvas& canvas, wmfDrawArc_t* arc) {
    drawArc(api, canvas, arc, ArcShape::Pie);
}
void drawChord(wmfAPI* api, WmfCanvas& canvas, wmfDrawArc_t* arc) {
    drawArc(api, canvas, arc, ArcShape::Chord);
}
void drawOpenArc(wmfAPI* api, WmfCanvas& canvas, wmfDrawArc_t* arc) {
    drawArc(api, canvas, arc, ArcShape::Open);
}

void drawLine(wmfAPI*, WmfCanvas& canvas, wmfDrawLine_t* line) {
    if (!strokes(line->dc))
        return;
    std::string& out = canvas.svg;
    out += "<line";
    attribute(out, "x1", line->from.x);
    attribute(out, "y1", line->from.y);
    attribute(out, "x2", line->to.x);
    attribute(out, "y2", line->to.y);
    appendStroke(out, line->dc, canvas.hairline());
    out += "/>\n";
}

void appendPoints(std::string& out, const wmfD_Coord* points, unsigned count) {
    out += " points=\"";
    for (unsigned i = 0; i < count; ++i) {
        appendPoint(out, points[i].x, points[i].y);
        out += ' ';
    }
    out.back() = '"';
}

void drawPolyline(wmfAPI*, WmfCanvas& canvas, wmfPolyLine_t* line) {
    if (line->count < 2 || !line->pt || !strokes(line->dc))
        return;
    canvas.svg += "<polyline fill=\"none\"";
    appendPoints(canvas.svg, line->pt, line->count);
    appendStroke(canvas.svg, line->dc, canvas.hairline());
    canvas.svg += "/>\n";
}

void drawPolygon(wmfAPI* api, WmfCanvas& canvas, wmfPolyLine_t* polygon) {
    if (polygon->count < 3 || !polygon->pt || (!fills(polygon->dc) && !strokes(polygon->dc)))
        return;
    canvas.svg += "<polygon";
    appendPoints(canvas.svg, polygon->pt, polygon->count);
    finishShape(api, canvas, polygon->dc);
}

void drawPolyPolygon(wmfAPI* api, WmfCanvas& canvas, wmfPolyPoly_t* polygons) {
    if (!polygons->pt || !polygons->count || (!fills(polygons->dc) && !strokes(polygons->dc)))
        return;
    std::string& out = canvas.svg;
    out += "<path d=\"";
    for (unsigned i = 0; i < polygons->npoly; ++i) {
        const wmfD_Coord* points = polygons->pt[i];
        if (!points || polygons->count[i] < 3)
            continue;
        for (unsigned j = 0; j < polygons->count[i]; ++j) {
            out += j == 0 ? 'M' : 'L';
            appendPoint(out, points[j].x, points[j].y);
        }
        out += 'Z';
    }
    out += '"';
    finishShape(api, canvas, polygons->dc);
}

void fillRect(WmfCanvas& canvas, double x1, double y1, double x2, double y2,
              std::string_view fill) {
    std::string& out = canvas.svg;
    appendRectBetween(out, x1, y1, x2, y2);
    out += fill;
    out += " stroke=\"none\"/>\n";
}

void drawPixel(wmfAPI*, WmfCanvas& canvas, wmfDrawPixel_t* pixel) {
    std::string fill;
    attribute(fill, "fill", colorOf(pixel->color));
    fillRect(canvas, pixel->pt.x, pixel->pt.y, pixel->pt.x + pixel->pixel_width,
             pixel->pt.y + pixel->pixel_height, fill);
}

// Raster operations without a source: only those that paint are drawn, the
// ones that combine with what is already there have no SVG equivalent.
void drawRop(wmfAPI* api, WmfCanvas& canvas, wmfROP_Draw_t* rop) {
    std::string fill;
    if (rop->ROP == PATCOPY && fills(rop->dc))
        appendFill(api, fill, rop->dc);
    else if (rop->ROP == BLACKNESS)
        fill = " fill=\"#000000\"";
    else if (rop->ROP == WHITENESS)
        fill = " fill=\"#ffffff\"";
    else if (rop->ROP == BackgroundFillRop)
        attribute(fill, "fill", colorOf(rop->dc->bgcolor));
    else
        return;
    fillRect(canvas, rop->TL.x, rop->TL.y, rop->BR.x, rop->BR.y, fill);
}

void paintRegion(wmfAPI* api, WmfCanvas& canvas, wmfPolyRectangle_t* region) {
    if (!fills(region->dc) || !region->TL || !region->BR)
        return;
    std::string fill;
    appendFill(api, fill, region->dc);
    for (unsigned i = 0; i < region->count; ++i)
        fillRect(canvas, region->TL[i].x, region->TL[i].y, region->BR[i].x, region->BR[i].y, fill);
}

void frameRegion(wmfAPI* api, WmfCanvas& canvas, wmfPolyRectangle_t* region) {
    if (!fills(region->dc) || !region->TL || !region->BR)
        return;
    std::string& out = canvas.svg;
    const double w = std::abs(region->width);
    const double h = std::abs(region->height);
    for (unsigned i = 0; i < region->count; ++i) {
        const double x1 = std::min(region->TL[i].x, region->BR[i].x);
        const double y1 = std::min(region->TL[i].y, region->BR[i].y);
        const double x2 = std::max(region->TL[i].x, region->BR[i].x);
        const double y2 = std::max(region->TL[i].y, region->BR[i].y);
        out += "<path d=\"M";
        appendPoint(out, x1, y1);
        out += 'H';
        appendNumber(out, x2);
        out += 'V';
        appendNumber(out, y2);
        out += 'H';
        appendNumber(out, x1);
        out += "ZM";
        appendPoint(out, x1 + w, y1 + h);
        out += 'V';
        appendNumber(out, y2 - h);
        out += 'H';
        appendNumber(out, x2 - w);
        out += 'V';
        appendNumber(out, y1 + h);
        out += "Z\"";
        appendFill(api, out, region->dc);
        out += " fill-rule=\"evenodd\" stroke=\"none\"/>\n";
    }
}

int appendToCanvas(char* text, void* context) {
    auto* canvas = static_cast<WmfCanvas*>(context);
    try {
        canvas->svg.append(text);
        return 0;
    } catch (const std::bad_alloc&) {
        canvas->outOfMemory = true;
        return EOF;
    }
}
int keepStream(void*) {
    return 0;
}

void drawBitmap(wmfAPI* api, WmfCanvas& canvas, wmfBMP_Draw_t* bitmap) {
    if (!bitmap->bmp.data || bitmap->crop.w == 0 || bitmap->crop.h == 0)
        return;
    const double width = std::abs(bitmap->pixel_width * bitmap->crop.w);
    const double height = std::abs(bitmap->pixel_height * bitmap->crop.h);
    if (paintsIntoMask(canvas, bitmap, width, height)) {
        replaceMaskWithImage(api, canvas, bitmap);
        canvas.mask = {};
        return;
    }
    canvas.mask = {};
    std::string& out = canvas.svg;
    const std::size_t start = out.size();
    appendImageStart(out, bitmap->pt.x, bitmap->pt.y, width, height);
    wmfStream stream{&canvas, appendToCanvas, keepStream};
    wmf_ipa_bmp_b64(api, bitmap, &stream);
    out += "\"/>\n";
    if (bitmap->type == SRCAND) {
        holdMask(api, canvas, bitmap);
        canvas.mask.start = start;
        canvas.mask.end = out.size();
        canvas.mask.x = bitmap->pt.x;
        canvas.mask.y = bitmap->pt.y;
        canvas.mask.width = width;
        canvas.mask.height = height;
    }
}

void beginDrawing(wmfAPI* api) {
    WmfCanvas& canvas = canvasOf(api);
    // Measures taken while scanning say nothing about the drawing.
    canvas.lastMeasured = nullptr;
    canvas.measuredSinceDrawn = 0;
    canvas.letterBuffer = nullptr;
    std::string& out = canvas.svg;
    out.clear();
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\""
           " version=\"1.2\" baseProfile=\"tiny\"";
    attribute(out, "width", canvas.width);
    attribute(out, "height", canvas.height);
    appendViewBoxAndClose(out, canvas.viewX, canvas.viewY, canvas.viewWidth, canvas.viewHeight);
    out += '\n';
}

void endDrawing(wmfAPI* api) {
    canvasOf(api).svg += "</svg>\n";
}

// libwmf is C: no exception may cross it. Running out of memory or of room
// for the SVG stops the player through its error state instead.
template <typename Item, void (*Draw)(wmfAPI*, WmfCanvas&, Item*)>
void guarded(wmfAPI* api, Item* item) {
    WmfCanvas& canvas = canvasOf(api);
    if (canvas.tooLarge || canvas.outOfMemory)
        return;
    try {
        Draw(api, canvas, item);
    } catch (const std::bad_alloc&) {
        canvas.outOfMemory = true;
        api->err = wmf_E_InsMem;
        return;
    }
    if (canvas.svg.size() > MaxSvgBytes) {
        canvas.tooLarge = true;
        api->err = wmf_E_UserExit;
    }
}

template <void (*Step)(wmfAPI*)> void guardedStep(wmfAPI* api) {
    try {
        Step(api);
    } catch (const std::bad_alloc&) {
        canvasOf(api).outOfMemory = true;
        api->err = wmf_E_InsMem;
    }
}

void ignoreFlood(wmfAPI*, wmfFlood_t*) {}
void ignoreRegionClip(wmfAPI*, wmfPolyRectangle_t*) {}
void ignoreUserData(wmfAPI*, wmfUserData_t*) {}

// libwmf allocates whatever pixel count a bitmap's header declares; one that
// does not fit its record is left out of the drawing instead.
void readBitmap(wmfAPI* api, wmfBMP_Read_t* read) {
    canvasOf(api).dib = read->buffer;
    canvasOf(api).dibLength = read->length;
    if (!bitmapFitsItsRecord(read->buffer, read->length)) {
        read->bmp = wmfBMP{};
        return;
    }
    // A header that leaves the colour count at 0 means a full table for its
    // depth, which libwmf reads as no table at all: the pixels then start
    // inside the colours. It reads a copy whose header says the count.
    unsigned char* const dib = read->buffer;
    const auto u32 = [dib](int at) {
        return std::uint32_t(dib[at]) | std::uint32_t(dib[at + 1]) << 8 |
               std::uint32_t(dib[at + 2]) << 16 | std::uint32_t(dib[at + 3]) << 24;
    };
    const std::uint32_t headerSize = u32(0);
    const std::uint32_t bits = read->length >= 40 ? (dib[14] | dib[15] << 8) : 0;
    if (headerSize >= 40 && bits >= 1 && bits <= 8 && u32(32) == 0 &&
        headerSize + (4u << bits) <= std::uint64_t(read->length)) {
        std::vector<unsigned char> copy(dib, dib + read->length);
        const std::uint32_t colours = 1u << bits;
        for (int i = 0; i < 4; ++i)
            copy[32 + i] = static_cast<unsigned char>(colours >> (8 * i));
        read->buffer = copy.data();
        wmf_ipa_bmp_read(api, read);
        read->buffer = dib;
        return;
    }
    wmf_ipa_bmp_read(api, read);
}

} // namespace

bool bitmapFitsItsRecord(const unsigned char* dib, long length) {
    if (!dib || length < 12)
        return false;
    const auto u16 = [dib](int at) {
        return std::uint32_t(dib[at]) | std::uint32_t(dib[at + 1]) << 8;
    };
    const auto u32 = [&u16](int at) { return u16(at) | u16(at + 2) << 16; };
    const std::uint32_t headerSize = u32(0);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t compression = 0;
    if (headerSize == 12) { // the old OS/2 header
        width = u16(4);
        height = u16(6);
        bitsPerPixel = u16(10);
    } else if (headerSize >= 40 && headerSize <= std::uint64_t(length)) {
        width = std::int32_t(u32(4));
        height = std::int32_t(u32(8));
        bitsPerPixel = u16(14);
        compression = u32(16);
    } else {
        return false;
    }
    height = height < 0 ? -height : height; // negative: rows stored top down
    if (width <= 0 || height == 0 || width * height > MaxBitmapPixels)
        return false;
    // libwmf sizes its buffers by the depth, the compression and the colour
    // table the header names; only what writers use is let through to it.
    constexpr std::uint32_t depths[] = {1, 4, 8, 16, 24, 32};
    if (std::find(std::begin(depths), std::end(depths), bitsPerPixel) == std::end(depths) ||
        compression > 3)
        return false;
    if (headerSize >= 40) {
        const std::uint32_t colorsUsed = u32(32);
        if (colorsUsed > 256 || headerSize + 4 * std::int64_t(colorsUsed) > length)
            return false;
    }
    // Uncompressed rows must be there in full; run-length data is held to the
    // pixel count alone, as its size says nothing about the pixels it makes.
    constexpr std::uint32_t Uncompressed = 0;
    constexpr std::uint32_t BitFields = 3;
    if (compression == Uncompressed || compression == BitFields) {
        const std::int64_t rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
        if (bitsPerPixel == 0 || rowBytes * height > length - std::int64_t(headerSize))
            return false;
    }
    return true;
}

void installWmfSvgDevice(wmfAPI* api) {
    auto* functions = static_cast<wmfFunctionReference*>(api->function_reference);
    functions->device_open = nullptr;
    functions->device_close = nullptr;
    functions->device_begin = guardedStep<beginDrawing>;
    functions->device_end = guardedStep<endDrawing>;
    // Flood fills need the pixels already drawn, and SVG Tiny has no clip
    // paths; both are left out.
    functions->flood_interior = ignoreFlood;
    functions->flood_exterior = ignoreFlood;
    functions->region_clip = ignoreRegionClip;
    functions->draw_pixel = guarded<wmfDrawPixel_t, drawPixel>;
    functions->draw_pie = guarded<wmfDrawArc_t, drawPie>;
    functions->draw_chord = guarded<wmfDrawArc_t, drawChord>;
    functions->draw_arc = guarded<wmfDrawArc_t, drawOpenArc>;
    functions->draw_ellipse = guarded<wmfDrawArc_t, drawEllipse>;
    functions->draw_line = guarded<wmfDrawLine_t, drawLine>;
    functions->poly_line = guarded<wmfPolyLine_t, drawPolyline>;
    functions->draw_polygon = guarded<wmfPolyLine_t, drawPolygon>;
    functions->draw_polypolygon = guarded<wmfPolyPoly_t, drawPolyPolygon>;
    functions->draw_rectangle = guarded<wmfDrawRectangle_t, drawRectangle>;
    functions->rop_draw = guarded<wmfROP_Draw_t, drawRop>;
    functions->bmp_draw = guarded<wmfBMP_Draw_t, drawBitmap>;
    functions->bmp_read = readBitmap;
    functions->bmp_free = wmf_ipa_bmp_free;
    functions->draw_text = guarded<wmfDrawText_t, drawWmfText>;
    functions->udata_init = ignoreUserData;
    functions->udata_copy = ignoreUserData;
    functions->udata_set = ignoreUserData;
    functions->udata_free = ignoreUserData;
    functions->region_frame = guarded<wmfPolyRectangle_t, frameRegion>;
    functions->region_paint = guarded<wmfPolyRectangle_t, paintRegion>;
}

void attachWmfCanvas(wmfAPI* api, WmfCanvas* canvas) {
    api->device_data = canvas;
}

} // namespace sortello::metafile
