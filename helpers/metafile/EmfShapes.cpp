// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmfShapes.h"

#include "MetafileFormat.h"

#include <cmath>
#include <vector>

#include <uemf.h>

namespace sortello::metafile {

namespace {

// How far a Bézier control point of a quarter circle lies along its tangent.
constexpr double Kappa = 0.5522847498;

void appendPoints(std::string& out, std::uint32_t type, const std::vector<double>& xy) {
    appendU32(out, type);
    appendU32(out, std::uint32_t(28 + 4 * xy.size()));
    for (int i = 0; i < 4; ++i) // bounds, which nothing reads
        appendU32(out, 0);
    appendU32(out, std::uint32_t(xy.size() / 2));
    for (const double value : xy)
        appendU32(out, std::uint32_t(std::int32_t(std::lround(value))));
}

} // namespace

int appendShapeInPath(std::string& out, std::uint32_t type, std::string_view record) {
    if ((type != U_EMR_ELLIPSE && type != U_EMR_RECTANGLE) || record.size() < 24)
        return 0;
    const double left = readS32(record, 8), top = readS32(record, 12);
    const double right = readS32(record, 16), bottom = readS32(record, 20);
    appendU32(out, U_EMR_MOVETOEX);
    appendU32(out, 16);
    if (type == U_EMR_RECTANGLE) {
        appendU32(out, std::uint32_t(std::int32_t(left)));
        appendU32(out, std::uint32_t(std::int32_t(top)));
        appendPoints(out, U_EMR_POLYLINETO, {right, top, right, bottom, left, bottom});
    } else {
        const double cx = (left + right) / 2, cy = (top + bottom) / 2;
        const double rx = (right - left) / 2, ry = (bottom - top) / 2;
        const double kx = rx * Kappa, ky = ry * Kappa;
        appendU32(out, std::uint32_t(std::int32_t(std::lround(right))));
        appendU32(out, std::uint32_t(std::int32_t(std::lround(cy))));
        appendPoints(out, U_EMR_POLYBEZIERTO,
                     {right,   cy + ky, cx + kx, bottom,  cx,    bottom, // to the bottom
                      cx - kx, bottom,  left,    cy + ky, left,  cy,     // to the left
                      left,    cy - ky, cx - kx, top,     cx,    top,    // to the top
                      cx + kx, top,     right,   cy - ky, right, cy});   // and back
    }
    appendU32(out, U_EMR_CLOSEFIGURE);
    appendU32(out, 8);
    return 3;
}

} // namespace sortello::metafile
