// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/PerceptualHash.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace sortello {

namespace {

constexpr int Side = 32;        // the reduction the frequencies are taken of
constexpr int Kept = 8;         // the lowest frequencies kept in each direction
constexpr int MaxSamples = 256; // pixels read per row and column at most

using Reduction = std::array<std::array<double, Side>, Side>;

// Grey levels averaged over a 32 x 32 grid of cells, with the mean colour.
// Large images are sampled on a grid of at most 256 x 256 pixels, which the
// averages hardly tell from reading them all; small ones are first enlarged so
// that every cell has pixels. Transparent parts count as white.
Reduction reduce(const QImage& source, std::array<int, 3>& meanColour) {
    QImage image = source;
    if (image.width() < Side || image.height() < Side)
        image = image.scaled(std::max(image.width(), Side), std::max(image.height(), Side));
    const bool premultiplied = image.format() != QImage::Format_ARGB32;
    if (image.format() != QImage::Format_ARGB32 && image.format() != QImage::Format_RGB32 &&
        image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = image.width();
    const int h = image.height();
    const int stepX = std::max(1, w / MaxSamples);
    const int stepY = std::max(1, h / MaxSamples);
    Reduction sums{};
    std::array<std::array<int, Side>, Side> counts{};
    double red = 0, green = 0, blue = 0;
    qint64 samples = 0;
    for (int y = 0; y < h; y += stepY) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        const int cy = y * Side / h;
        for (int x = 0; x < w; x += stepX) {
            const QRgb p = line[x];
            const int a = qAlpha(p);
            // Over white: a premultiplied channel needs only the white added.
            const auto over = [&](int c) {
                return premultiplied ? c + 255 - a : (c * a + 255 * (255 - a)) / 255;
            };
            const int r = over(qRed(p));
            const int g = over(qGreen(p));
            const int b = over(qBlue(p));
            const int cx = x * Side / w;
            sums[cy][cx] += (r * 11 + g * 16 + b * 5) / 32.0;
            ++counts[cy][cx];
            red += r;
            green += g;
            blue += b;
            ++samples;
        }
    }
    for (int cy = 0; cy < Side; ++cy)
        for (int cx = 0; cx < Side; ++cx)
            sums[cy][cx] /= std::max(1, counts[cy][cx]);
    const auto mean = [samples](double total) { return int(std::lround(total / double(samples))); };
    meanColour = {mean(red), mean(green), mean(blue)};
    return sums;
}

const std::array<std::array<double, Side>, Kept>& cosines() {
    static const auto table = [] {
        std::array<std::array<double, Side>, Kept> t{};
        for (int u = 0; u < Kept; ++u)
            for (int x = 0; x < Side; ++x)
                t[u][x] = std::cos((2 * x + 1) * u * std::numbers::pi / (2 * Side));
        return t;
    }();
    return table;
}

} // namespace

std::optional<LookPrint> lookPrintOf(const QImage& image) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return std::nullopt;
    LookPrint print;
    const Reduction grey = reduce(image, print.meanColour);
    const auto& c = cosines();
    // The two passes of the separable DCT, keeping only the lowest frequencies.
    std::array<std::array<double, Kept>, Side> rows{};
    for (int y = 0; y < Side; ++y)
        for (int u = 0; u < Kept; ++u) {
            double sum = 0;
            for (int x = 0; x < Side; ++x)
                sum += grey[y][x] * c[u][x];
            rows[y][u] = sum;
        }
    std::array<double, Kept * Kept - 1> coefficients{};
    int at = 0;
    for (int v = 0; v < Kept; ++v)
        for (int u = 0; u < Kept; ++u) {
            if (u == 0 && v == 0)
                continue; // the mean grey, which the colour already tells
            double sum = 0;
            for (int y = 0; y < Side; ++y)
                sum += rows[y][u] * c[v][y];
            coefficients[at++] = sum;
        }
    auto sorted = coefficients;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double median = sorted[sorted.size() / 2];
    for (std::size_t i = 0; i < coefficients.size(); ++i)
        if (coefficients[i] > median)
            print.bits |= quint64(1) << i;
    return print;
}

int lookDistance(const LookPrint& a, const LookPrint& b) {
    return std::popcount(a.bits ^ b.bits);
}

bool looksTheSame(const LookPrint& a, const LookPrint& b) {
    for (int i = 0; i < 3; ++i)
        if (std::abs(a.meanColour[i] - b.meanColour[i]) > LooksTheSameColour)
            return false;
    return lookDistance(a, b) <= LooksTheSameBits;
}

} // namespace sortello
