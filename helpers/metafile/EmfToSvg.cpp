// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmfToSvg.h"

#include "EmfRecords.h"
#include "SvgText.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string_view>

#include <emf2svg.h>

namespace sortello::metafile {

namespace {

struct Area {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

std::string rootElement(const PictureSize& size, const Area& view) {
    std::string root = "<svg xmlns=\"http://www.w3.org/2000/svg\" "
                       "xmlns:xlink=\"http://www.w3.org/1999/xlink\" version=\"1.1\" width=\"";
    root += std::to_string(size.width);
    root += "\" height=\"";
    root += std::to_string(size.height);
    root += '"';
    appendViewBoxAndClose(root, view.x, view.y, view.width, view.height);
    return root;
}

Conversion emptyDrawing(const PictureSize& size) {
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += rootElement(size, {0, 0, double(size.width), double(size.height)});
    svg += "</svg>\n";
    return {size, std::move(svg)};
}

void writeS32(std::string& bytes, std::size_t offset, std::int32_t value) {
    writeU32(bytes, offset, static_cast<std::uint32_t>(value));
}

bool isEmpty(const EmfRect& rect) {
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

// libemf2svg refers to a bitmap brush's pattern as fill="#img-1-ref", which
// is no colour: renderers paint it black. As "url(#img-1-ref)" it is the
// pattern it means, which renderers without patterns leave unpainted.
void referToPatterns(std::string& svg) {
    static constexpr std::string_view start = "\"#img-";
    static constexpr std::string_view end = "-ref\"";
    std::string out;
    out.reserve(svg.size());
    std::size_t copied = 0;
    for (std::size_t at = svg.find(start); at != std::string::npos; at = svg.find(start, at + 1)) {
        const std::size_t close = svg.find('"', at + 1);
        if (close == std::string::npos)
            break;
        if (close + 1 < end.size() || svg.compare(close + 1 - end.size(), end.size(), end) != 0)
            continue;
        out.append(svg, copied, at + 1 - copied);
        out.append("url(");
        out.append(svg, at + 1, close - at - 1);
        out.append(")");
        copied = close;
    }
    out.append(svg, copied, std::string::npos);
    svg = std::move(out);
}

// A pen no wider than a device pixel is a hairline: one pixel wide at
// whatever size the picture is shown, as the reference draws it, rather than
// a line that grows with the picture or fades away when it shrinks.
void drawHairlines(std::string& svg) {
    static constexpr std::string_view width = "stroke-width=\"";
    static constexpr std::string_view hairline =
        "stroke-width=\"1\" vector-effect=\"non-scaling-stroke\"";
    std::string out;
    out.reserve(svg.size() + svg.size() / 8);
    std::size_t copied = 0;
    for (std::size_t at = svg.find(width); at != std::string::npos; at = svg.find(width, at + 1)) {
        const std::size_t valueAt = at + width.size();
        const std::size_t close = svg.find('"', valueAt);
        if (close == std::string::npos)
            break;
        const std::string value = svg.substr(valueAt, close - valueAt);
        char* end = nullptr;
        const double pixels = std::strtod(value.c_str(), &end);
        if (end == value.c_str() || !(pixels <= 1.0))
            continue;
        out.append(svg, copied, at - copied);
        out.append(hairline);
        copied = close + 1;
    }
    out.append(svg, copied, std::string::npos);
    svg = std::move(out);
}

// libemf2svg writes each shape, text and picture as an element of its own;
// groups, and the clip paths among the definitions, alone show nothing.
bool drawsAnything(std::string_view svg) {
    static constexpr std::string_view shapes[] = {
        "path", "rect", "ellipse", "circle", "line", "polyline", "polygon", "text", "image"};
    int definitions = 0;
    for (std::size_t at = svg.find('<'); at != std::string_view::npos; at = svg.find('<', at + 1)) {
        const std::size_t nameEnd = svg.find_first_of(" \t\r\n/>", at + 1);
        const std::string_view name = svg.substr(at + 1, nameEnd - at - 1);
        if (name == "defs")
            ++definitions;
        else if (name.empty() && svg.compare(at, 7, "</defs>") == 0)
            --definitions;
        else if (definitions <= 0 &&
                 std::find(std::begin(shapes), std::end(shapes), name) != std::end(shapes))
            return true;
    }
    return false;
}

} // namespace

Conversion convertEmf(std::string_view bytes) {
    const EmfHeader header = readEmfHeader(bytes);
    const PictureSize size = emfPictureSize(header);
    PreparedEmf prepared = prepareEmfRecords(bytes);
    std::string& input = prepared.bytes;

    // The reference device converts the frame (0.01 mm) into device pixels,
    // the unit of the bounds and of libemf2svg's output.
    const bool hasDevice = header.devicePixelsX > 0 && header.devicePixelsY > 0 &&
                           header.deviceMillimetersX > 0 && header.deviceMillimetersY > 0;
    const double pixelsPerUnitX =
        hasDevice ? header.devicePixelsX / (header.deviceMillimetersX * 100.0) : 96.0 / 2540;
    const double pixelsPerUnitY =
        hasDevice ? header.devicePixelsY / (header.deviceMillimetersY * 100.0) : 96.0 / 2540;
    const EmfRect& frame = header.frame;
    EmfRect bounds = header.bounds;
    if (isEmpty(bounds)) {
        // libemf2svg divides by the bounds; writers that leave them empty get
        // the frame's instead.
        if (isEmpty(frame))
            return emptyDrawing(size);
        bounds = {std::int32_t(std::lround(frame.left * pixelsPerUnitX)),
                  std::int32_t(std::lround(frame.top * pixelsPerUnitY)),
                  std::int32_t(std::lround(frame.right * pixelsPerUnitX)),
                  std::int32_t(std::lround(frame.bottom * pixelsPerUnitY))};
        if (isEmpty(bounds))
            return emptyDrawing(size);
        writeS32(input, 8, bounds.left);
        writeS32(input, 12, bounds.top);
        writeS32(input, 16, bounds.right);
        writeS32(input, 20, bounds.bottom);
    }
    // libemf2svg reads the description only to throw it away, and follows its
    // offset without a bound: a description past the end of the file makes it
    // read past the end of the buffer.
    writeS32(input, 60, 0);
    writeS32(input, 64, 0);
    const double boundsWidth = double(bounds.right) - bounds.left;
    const double boundsHeight = double(bounds.bottom) - bounds.top;

    // One SVG unit per device pixel, with the bounds' corner at the origin.
    // libemf2svg reads EMF+ records but draws none of them; dual files carry
    // the same drawing in GDI records.
    generatorOptions options{};
    options.nameSpace = nullptr;
    options.verbose = false;
    options.emfplus = false;
    options.svgDelimiter = true;
    options.imgWidth = boundsWidth;
    options.imgHeight = 0;
    char* out = nullptr;
    std::size_t outLength = 0;
    const int converted = emf2svg(input.data(), input.size(), &out, &outLength, &options);
    const std::unique_ptr<char, decltype(&std::free)> owned(out, &std::free);
    if (!converted || !out)
        throw ConversionError("its records cannot be read");
    if (outLength > MaxSvgBytes)
        throw ConversionError("its drawing is larger than 64 MiB");
    std::string svg(out, outLength);

    // Writes into a full memory stream fail silently; a missing end tag is
    // how that shows.
    const std::size_t end = svg.find_last_not_of(" \r\n\t");
    if (end == std::string::npos || end < 5 || svg.compare(end - 5, 6, "</svg>") != 0)
        throw ConversionError("it needs more memory than allowed");
    const std::size_t rootStart = svg.find("<svg");
    const std::size_t rootEnd =
        rootStart == std::string::npos ? rootStart : svg.find('>', rootStart);
    if (rootEnd == std::string::npos)
        throw ConversionError("its records make no drawing");
    if (!drawsAnything(std::string_view(svg).substr(rootEnd))) {
        // Office programs write charts in EMF+ records, some with no GDI
        // records beside them.
        if (prepared.drawsWithEmfPlus)
            throw ConversionError("it is drawn with EMF+ records, which cannot be drawn");
        if (prepared.drawsWithGdi)
            throw ConversionError("none of its drawing records can be drawn");
    }

    // The frame, not just the drawn bounds, is what the picture shows.
    Area view{0, 0, boundsWidth, boundsHeight};
    if (!isEmpty(frame))
        view = {frame.left * pixelsPerUnitX - bounds.left, frame.top * pixelsPerUnitY - bounds.top,
                (double(frame.right) - frame.left) * pixelsPerUnitX,
                (double(frame.bottom) - frame.top) * pixelsPerUnitY};
    svg.replace(rootStart, rootEnd - rootStart + 1, rootElement(size, view));
    referToPatterns(svg);
    drawHairlines(svg);
    return {size, std::move(svg)};
}

} // namespace sortello::metafile
