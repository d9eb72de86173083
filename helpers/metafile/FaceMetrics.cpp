// SPDX-License-Identifier: GPL-3.0-or-later
#include "FaceMetrics.h"

#include <algorithm>

namespace sortello::metafile {

namespace {

// Windows' ascent and descent of each face; the fonts that stand in for them
// here share their metrics.
constexpr FaceMetrics knownFaces[] = {
    {"arial", 0.905, 0.212},           {"helvetica", 0.905, 0.212},
    {"times new roman", 0.891, 0.216}, {"times", 0.891, 0.216},
    {"courier new", 0.833, 0.300},     {"courier", 0.833, 0.300},
    {"calibri", 0.952, 0.269},         {"cambria", 0.950, 0.222},
    {"verdana", 1.005, 0.210},         {"tahoma", 1.000, 0.207},
    {"segoe ui", 1.079, 0.251},        {"microsoft sans serif", 0.922, 0.212},
    {"ms sans serif", 0.922, 0.212},
};
constexpr FaceMetrics otherFace{"", 0.9, 0.22};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c | 0x20) : c;
}

} // namespace

const FaceMetrics& metricsOfFace(std::string_view name) {
    for (const FaceMetrics& metrics : knownFaces) {
        if (name.size() == metrics.face.size() &&
            std::equal(name.begin(), name.end(), metrics.face.begin(),
                       [](char a, char b) { return lower(a) == b; }))
            return metrics;
    }
    return otherFace;
}

} // namespace sortello::metafile
