// SPDX-License-Identifier: GPL-3.0-or-later
#include "WmfSvgStyle.h"

#include "SvgText.h"

#include <algorithm>
#include <cmath>
#include <span>

#include <libwmf/defs.h>

namespace sortello::metafile {

void attribute(std::string& out, std::string_view name, double value) {
    out += ' ';
    out += name;
    out += "=\"";
    appendNumber(out, value);
    out += '"';
}

void attribute(std::string& out, std::string_view name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    appendEscaped(out, value);
    out += '"';
}

void appendPoint(std::string& out, double x, double y) {
    appendNumber(out, x);
    out += ',';
    appendNumber(out, y);
}

void appendRectBetween(std::string& out, double x1, double y1, double x2, double y2) {
    out += "<rect";
    attribute(out, "x", std::min(x1, x2));
    attribute(out, "y", std::min(y1, y2));
    attribute(out, "width", std::abs(x2 - x1));
    attribute(out, "height", std::abs(y2 - y1));
}

std::string colorOf(const wmfRGB& rgb) {
    return colorText(rgb.r, rgb.g, rgb.b);
}

bool fills(const wmfDC* dc) {
    return dc->brush && dc->brush->lbStyle != BS_NULL;
}

bool strokes(const wmfDC* dc) {
    return dc->pen && (dc->pen->lopnStyle & PS_STYLE_MASK) != PS_NULL;
}

namespace {

// A large brush is sampled on a grid of at most 64 x 64 pixels: it is
// averaged again for every shape it fills.
wmfRGB meanColor(wmfAPI* api, wmfBMP& bitmap) {
    const unsigned stepX = std::max(1, bitmap.width / 64);
    const unsigned stepY = std::max(1, bitmap.height / 64);
    unsigned long sum[3] = {};
    unsigned long count = 0;
    for (unsigned y = 0; y < bitmap.height; y += stepY) {
        for (unsigned x = 0; x < bitmap.width; x += stepX) {
            wmfRGB pixel{};
            wmf_ipa_bmp_color(api, &bitmap, &pixel, x, y);
            sum[0] += pixel.r;
            sum[1] += pixel.g;
            sum[2] += pixel.b;
            ++count;
        }
    }
    count = std::max(count, 1UL);
    return {static_cast<unsigned char>(sum[0] / count), static_cast<unsigned char>(sum[1] / count),
            static_cast<unsigned char>(sum[2] / count)};
}

} // namespace

void appendFill(wmfAPI* api, std::string& out, const wmfDC* dc) {
    if (!fills(dc)) {
        out += " fill=\"none\"";
        return;
    }
    wmfBrush* brush = dc->brush;
    wmfRGB color = brush->lbColor;
    // SVG Tiny has no patterns: a bitmap brush paints in the mean colour of
    // its pixels (a dithered grey stays grey), a hatch brush in its line
    // colour, as the reference renderer paints both.
    if ((brush->lbStyle == BS_DIBPATTERN || brush->lbStyle == BS_PATTERN) && brush->bmp.data)
        color = meanColor(api, brush->bmp);
    attribute(out, "fill", colorOf(color));
    out += dc->polyfillmode == WINDING ? " fill-rule=\"nonzero\"" : " fill-rule=\"evenodd\"";
}

void appendStroke(std::string& out, const wmfDC* dc, double hairlineWidth) {
    if (!strokes(dc)) {
        out += " stroke=\"none\"";
        return;
    }
    const wmfPen* pen = dc->pen;
    attribute(out, "stroke", colorOf(pen->lopnColor));
    // A pen of no width (libwmf makes it one logical unit wide) stays one
    // pixel wide at whatever size the picture is shown, as the reference
    // renderer draws it: a frame of form controls or a chart's grid must not
    // grow into bars when a small picture fills a large pane.
    const double penWidth = (std::abs(pen->width) + std::abs(pen->height)) / 2;
    const bool hairline = penWidth <= hairlineWidth;
    const double width = hairline ? 1 : penWidth;
    attribute(out, "stroke-width", width);
    if (hairline)
        out += " vector-effect=\"non-scaling-stroke\"";
    const unsigned cap = pen->lopnStyle & PS_ENDCAP_MASK;
    out += cap == PS_ENDCAP_SQUARE ? " stroke-linecap=\"square\""
           : cap == PS_ENDCAP_FLAT ? " stroke-linecap=\"butt\""
                                   : " stroke-linecap=\"round\"";
    const unsigned join = pen->lopnStyle & PS_JOIN_MASK;
    out += join == PS_JOIN_BEVEL   ? " stroke-linejoin=\"bevel\""
           : join == PS_JOIN_MITER ? " stroke-linejoin=\"miter\""
                                   : " stroke-linejoin=\"round\"";

    // GDI's dash patterns, in line widths.
    static constexpr double dash[] = {18, 6};
    static constexpr double dot[] = {3, 3};
    static constexpr double dashDot[] = {9, 6, 3, 6};
    static constexpr double dashDotDot[] = {9, 3, 3, 3, 3, 3};
    std::span<const double> dashes;
    switch (pen->lopnStyle & PS_STYLE_MASK) {
    case PS_DASH:
        dashes = dash;
        break;
    case PS_DOT:
    case PS_ALTERNATE:
    case PS_USERSTYLE:
        dashes = dot;
        break;
    case PS_DASHDOT:
        dashes = dashDot;
        break;
    case PS_DASHDOTDOT:
        dashes = dashDotDot;
        break;
    default:
        return;
    }
    out += " stroke-dasharray=\"";
    for (const double length : dashes) {
        appendNumber(out, length * width);
        out += ' ';
    }
    out.back() = '"';
}

} // namespace sortello::metafile
