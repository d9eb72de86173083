// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How tall a font's cell is, for the faces metafiles name most. A positive
// font height in a metafile is the cell's (ascent and descent together), and
// text aligned to its top or bottom sits an ascent or a descent from there.
#include <string_view>

namespace sortello::metafile {

struct FaceMetrics {
    std::string_view face; // lower case
    double ascent;         // in font sizes, from the face's own tables
    double descent;
};

// The metrics of the face named, compared without regard to ASCII case; an
// estimate for faces not known here.
const FaceMetrics& metricsOfFace(std::string_view name);

} // namespace sortello::metafile
