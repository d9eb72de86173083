// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Geometry.h"

namespace sortello {

namespace {

// Keeps [start, start + length) on [origin, origin + extent), the low edge first.
int clampToScreen(int start, int length, int origin, int extent) {
    if (start < origin)
        return origin;
    if (start + length > origin + extent)
        return origin + extent - length;
    return start;
}

} // namespace

QPoint centeredPosition(const QRect& screen, const QSize& form,
                        const std::optional<QRect>& reference) {
    // C++ integer division truncates toward zero, as the placement rule wants.
    QPoint at(screen.left() + screen.width() / 2 - form.width() / 2,
              screen.top() + screen.height() / 2 - form.height() / 2);
    if (!reference)
        return at;
    at.setX(reference->left() + reference->width() / 2 - form.width() / 2);
    at.setY(reference->top() + reference->height() / 2 - form.height() / 2);
    at.setX(clampToScreen(at.x(), form.width(), screen.left(), screen.width()));
    at.setY(clampToScreen(at.y(), form.height(), screen.top(), screen.height()));
    return at;
}

QRect animationOrigin(const QRect& reference) {
    return QRect(reference.left() + reference.width() / 2, reference.top() + reference.height() / 2,
                 1, 1);
}

} // namespace sortello
