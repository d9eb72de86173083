// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/GifBackground.h"

#include <algorithm>

namespace sortello {

QImage BackgroundClearing::next(const QImage& given) {
    const qsizetype frame = index++;
    const QImage canvas = given.convertToFormat(QImage::Format_ARGB32);
    const QRect bounds = canvas.rect();
    const qsizetype width = bounds.width();
    const size_t pixels = size_t(width) * size_t(bounds.height());
    if (cleared.size() != pixels || previous.size() != canvas.size()) {
        cleared.assign(pixels, false);
        restored.clear();
        previous = QImage();
    }
    // Qt's canvas once the frame before gave way, where it differs from `previous`.
    QImage disposed = previous;
    if (frame > 0 && frame - 1 < layouts.size() && !previous.isNull()) {
        const GifFrameLayout& before = layouts[frame - 1];
        const QRgb fill = before.fillsFromCorner ? previous.pixel(0, 0) : before.backgroundFill;
        const QRect place = before.rect & bounds;
        // With a transparent colour, Qt clears the place itself.
        if (before.disposal == 2 && !before.hasTransparent && qAlpha(fill) != 0 &&
            !place.isEmpty()) {
            for (int y = place.top(); y <= place.bottom(); ++y) {
                std::fill_n(cleared.begin() + y * width + place.left(), place.width(), true);
                std::fill_n(reinterpret_cast<QRgb*>(disposed.scanLine(y)) + place.left(),
                            place.width(), fill);
            }
        } else if (before.disposal == 3 && restored.size() == pixels) {
            cleared = restored;
        }
    }
    if (frame < layouts.size()) {
        const GifFrameLayout& layout = layouts[frame];
        if (layout.disposal == 3)
            restored = cleared;
        const QRect place = layout.rect & bounds;
        for (int y = place.top(); y <= place.bottom(); ++y) {
            const auto* now = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
            const auto* was = disposed.isNull()
                                  ? nullptr
                                  : reinterpret_cast<const QRgb*>(disposed.constScanLine(y));
            // A frame with a transparent colour shows what it paints only
            // where the canvas changed.
            for (int x = place.left(); x <= place.right(); ++x)
                if (!layout.hasTransparent || !was || now[x] != was[x])
                    cleared[size_t(y * width + x)] = false;
        }
    }
    previous = canvas;
    if (std::find(cleared.begin(), cleared.end(), true) == cleared.end())
        return given;
    QImage shown = canvas;
    for (int y = 0; y < bounds.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(shown.scanLine(y));
        for (int x = 0; x < width; ++x)
            if (cleared[size_t(y * width + x)])
                row[x] = qRgba(0, 0, 0, 0);
    }
    return shown;
}

} // namespace sortello
