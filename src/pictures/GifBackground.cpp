// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/GifBackground.h"

#include <algorithm>

namespace sortello {

QImage BackgroundClearing::next(const QImage& canvas) {
    const qsizetype frame = index++;
    const QRect bounds = canvas.rect();
    const size_t pixels = size_t(bounds.width()) * size_t(bounds.height());
    if (cleared.size() != pixels) {
        cleared.assign(pixels, false);
        restored.clear();
    }
    const auto mark = [&](const QRect& rect, bool value) {
        const QRect inside = rect & bounds;
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            std::fill_n(cleared.begin() + qsizetype(y) * bounds.width() + inside.left(),
                        inside.width(), value);
    };
    if (frame > 0 && frame - 1 < layouts.size()) {
        const GifFrameLayout& before = layouts[frame - 1];
        if (before.disposal == 2)
            mark(before.rect, true);
        else if (before.disposal == 3 && restored.size() == pixels)
            cleared = restored;
    }
    if (frame < layouts.size()) {
        const GifFrameLayout& layout = layouts[frame];
        if (layout.disposal == 3)
            restored = cleared;
        if (!layout.hasTransparent) {
            mark(layout.rect, false);
        } else if (previous.size() == canvas.size()) {
            // Only the pixels the frame changed are known to be painted.
            const QRect inside = layout.rect & bounds;
            for (int y = inside.top(); y <= inside.bottom(); ++y)
                for (int x = inside.left(); x <= inside.right(); ++x)
                    if (canvas.pixel(x, y) != previous.pixel(x, y))
                        cleared[size_t(y) * bounds.width() + x] = false;
        }
    }
    previous = canvas;
    if (std::find(cleared.begin(), cleared.end(), true) == cleared.end())
        return canvas;
    QImage shown = canvas.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < bounds.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(shown.scanLine(y));
        for (int x = 0; x < bounds.width(); ++x)
            if (cleared[size_t(y) * bounds.width() + x])
                row[x] = qRgba(0, 0, 0, 0);
    }
    return shown;
}

} // namespace sortello
