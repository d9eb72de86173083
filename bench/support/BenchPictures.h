// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pictures the benchmarks make for themselves, and the bare decode that is the
// floor every pane figure is measured against.
#include <QByteArray>
#include <QString>

namespace sortello::bench {

inline constexpr int CameraWidth = 6000;
inline constexpr int CameraHeight = 4000;

struct JpegSample {
    const char* kind;
    int quality;
    int noise; // amplitude of per-pixel noise over a gradient
};

// "camera" stands for a sharp photo at a camera's quality (about 5.7 MB: the
// noise is what makes the size), "smooth" for one with little fine detail.
inline constexpr JpegSample CameraSample{"camera", 90, 12};
inline constexpr JpegSample SmoothSample{"smooth", 85, 0};

// Writes a baseline 4:2:0 JPEG through libjpeg's compressor; aborts on failure.
void writeSampleJpeg(const QString& path, const JpegSample& sample, int width = CameraWidth,
                     int height = CameraHeight);

// libjpeg-turbo decoding a JPEG at 1/8 scale into a buffer and nothing else,
// with the fastest settings it has (at 1/8 they hardly matter).
void decodeAtOneEighth(const QByteArray& jpeg);

} // namespace sortello::bench
