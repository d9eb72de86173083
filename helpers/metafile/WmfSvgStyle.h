// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SVG attributes for the WMF drawing layer: how the device context's brush
// and pen look in SVG Tiny.
#include <libwmf/api.h>
#include <libwmf/ipa.h>
#include <string>
#include <string_view>

namespace sortello::metafile {

// ` name="value"`, the value a number or escaped text.
void attribute(std::string& out, std::string_view name, double value);
void attribute(std::string& out, std::string_view name, std::string_view value);

// "x,y".
void appendPoint(std::string& out, double x, double y);

// `<rect x= y= width= height=` for the rectangle between two opposite
// corners, given in either order; the caller ends the element.
void appendRectBetween(std::string& out, double x1, double y1, double x2, double y2);

std::string colorOf(const wmfRGB& rgb);

bool fills(const wmfDC* dc);
bool strokes(const wmfDC* dc);

// The fill attributes of the context's brush.
void appendFill(wmfAPI* api, std::string& out, const wmfDC* dc);

// The stroke attributes of the context's pen; one no wider than
// hairlineWidth is a hairline that keeps its one pixel at any size.
void appendStroke(std::string& out, const wmfDC* dc, double hairlineWidth);

} // namespace sortello::metafile
