// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmfGradient.h"

#include "MetafileFormat.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <uemf.h>

namespace sortello::metafile {

namespace {

// Enough bands that neighbouring ones differ by a few levels at most, few
// enough that a file of many gradients stays small.
constexpr int Bands = 64;
// Each triangle is cut into four, this many times over.
constexpr int TriangleCuts = 3;
constexpr std::uint32_t MostShapes = 4096;

struct Vertex {
    double x = 0;
    double y = 0;
    double red = 0;
    double green = 0;
    double blue = 0;
};

Vertex mix(const Vertex& a, const Vertex& b, double t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.red + (b.red - a.red) * t,
            a.green + (b.green - a.green) * t, a.blue + (b.blue - a.blue) * t};
}

void appendS32(std::string& out, double value) {
    appendU32(out, std::uint32_t(std::int32_t(std::clamp(std::round(value), -1e9, 1e9))));
}

class Painter {
public:
    Painter(std::string& out, std::uint32_t handle) : out(out), handle(handle) {}

    void colour(const Vertex& v) {
        const auto level = [](double value) {
            return std::uint32_t(std::clamp(std::lround(value), 0L, 255L));
        };
        colour(level(v.red) | level(v.green) << 8 | level(v.blue) << 16);
    }

    void colour(std::uint32_t colourRef) {
        appendU32(out, U_EMR_CREATEBRUSHINDIRECT);
        appendU32(out, 24);
        appendU32(out, handle);
        appendU32(out, U_BS_SOLID);
        appendU32(out, colourRef & 0xFFFFFF);
        appendU32(out, 0);
        select(handle);
        count += 2;
    }

    void rectangle(double left, double top, double right, double bottom) {
        appendU32(out, U_EMR_RECTANGLE);
        appendU32(out, 24);
        for (const double value : {left, top, right, bottom})
            appendS32(out, value);
        ++count;
    }

    void triangle(const Vertex& a, const Vertex& b, const Vertex& c) {
        colour(mix(mix(a, b, 0.5), c, 1.0 / 3));
        appendU32(out, U_EMR_POLYGON);
        appendU32(out, 28 + 3 * 8);
        appendS32(out, std::min({a.x, b.x, c.x}));
        appendS32(out, std::min({a.y, b.y, c.y}));
        appendS32(out, std::max({a.x, b.x, c.x}));
        appendS32(out, std::max({a.y, b.y, c.y}));
        appendU32(out, 3);
        for (const Vertex* v : {&a, &b, &c}) {
            appendS32(out, v->x);
            appendS32(out, v->y);
        }
        ++count;
    }

    void cut(const Vertex& a, const Vertex& b, const Vertex& c, int times) {
        if (times == 0) {
            triangle(a, b, c);
            return;
        }
        const Vertex ab = mix(a, b, 0.5);
        const Vertex bc = mix(b, c, 0.5);
        const Vertex ca = mix(c, a, 0.5);
        cut(a, ab, ca, times - 1);
        cut(ab, b, bc, times - 1);
        cut(ca, bc, c, times - 1);
        cut(ab, bc, ca, times - 1);
    }

    void select(std::uint32_t object) {
        appendU32(out, U_EMR_SELECTOBJECT);
        appendU32(out, 12);
        appendU32(out, object);
    }

    std::string& out;
    std::uint32_t handle;
    int count = 0;
};

// Selects pen and brush back and lets the painting brush go.
int finish(Painter& painter, std::uint32_t pen, std::uint32_t brush) {
    painter.select(pen);
    painter.select(brush);
    appendU32(painter.out, U_EMR_DELETEOBJECT);
    appendU32(painter.out, 12);
    appendU32(painter.out, painter.handle);
    return 3;
}

} // namespace

int appendGradient(std::string& out, std::string_view record, std::uint32_t brushHandle,
                   std::uint32_t pen, std::uint32_t brush) {
    constexpr std::size_t VerticesAt = 36;
    constexpr std::size_t VertexBytes = 16;
    if (record.size() < VerticesAt)
        return 0;
    const std::uint32_t vertexCount = readU32(record, 24);
    const std::uint32_t shapeCount = readU32(record, 28);
    const std::uint32_t mode = readU32(record, 32);
    const bool triangles = mode == U_GRADIENT_FILL_TRIANGLE;
    if ((mode != U_GRADIENT_FILL_RECT_H && mode != U_GRADIENT_FILL_RECT_V && !triangles) ||
        vertexCount > (record.size() - VerticesAt) / VertexBytes || shapeCount > MostShapes)
        return 0;
    const std::size_t shapesAt = VerticesAt + std::size_t{vertexCount} * VertexBytes;
    const std::size_t shapeBytes = triangles ? 12 : 8;
    if (std::size_t{shapeCount} * shapeBytes > record.size() - shapesAt)
        return 0;
    std::vector<Vertex> vertices(vertexCount);
    for (std::uint32_t i = 0; i < vertexCount; ++i) {
        const std::size_t at = VerticesAt + i * VertexBytes;
        // Colour channels are 16 bits wide; their high byte is the level.
        vertices[i] = {double(readS32(record, at)), double(readS32(record, at + 4)),
                       double(readU16(record, at + 8) >> 8), double(readU16(record, at + 10) >> 8),
                       double(readU16(record, at + 12) >> 8)};
    }
    const auto vertexAt = [&](std::size_t at, Vertex& v) {
        const std::uint32_t index = readU32(record, at);
        if (index >= vertexCount)
            return false;
        v = vertices[index];
        return true;
    };

    const std::size_t start = out.size();
    Painter painter(out, brushHandle);
    painter.select(U_NULL_PEN);
    ++painter.count;
    for (std::uint32_t i = 0; i < shapeCount; ++i) {
        const std::size_t at = shapesAt + i * shapeBytes;
        Vertex a, b, c;
        if (!vertexAt(at, a) || !vertexAt(at + 4, b) || (triangles && !vertexAt(at + 8, c))) {
            out.resize(start);
            return 0;
        }
        if (triangles) {
            painter.cut(a, b, c, TriangleCuts);
            continue;
        }
        // The colour runs from the first corner's to the second's, across
        // or down; each band reaches into the next so no seam shows.
        const bool across = mode == U_GRADIENT_FILL_RECT_H;
        const double left = std::min(a.x, b.x), right = std::max(a.x, b.x);
        const double top = std::min(a.y, b.y), bottom = std::max(a.y, b.y);
        const double from = across ? a.x : a.y;
        const double length = across ? b.x - a.x : b.y - a.y;
        const int bands = int(std::clamp(std::abs(length), 1.0, double(Bands)));
        for (int band = 0; band < bands; ++band) {
            const double t0 = double(band) / bands;
            const double t1 = double(band + 1) / bands;
            painter.colour(mix(a, b, (t0 + t1) / 2));
            double p0 = from + length * t0,
                   p1 = from + length * (band + 1 < bands ? t1 + 0.5 / bands : t1);
            if (p0 > p1)
                std::swap(p0, p1);
            if (across)
                painter.rectangle(p0, top, p1, bottom);
            else
                painter.rectangle(left, p0, right, p1);
        }
    }
    return painter.count + finish(painter, pen, brush);
}

int appendSolidRectangle(std::string& out, std::string_view rectangle, std::uint32_t colour,
                         std::uint32_t brushHandle, std::uint32_t pen, std::uint32_t brush) {
    Painter painter(out, brushHandle);
    painter.select(U_NULL_PEN);
    painter.colour(colour);
    painter.rectangle(readS32(rectangle, 0), readS32(rectangle, 4), readS32(rectangle, 8),
                      readS32(rectangle, 12));
    return painter.count + 1 + finish(painter, pen, brush);
}

} // namespace sortello::metafile
