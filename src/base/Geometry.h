// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Window placement as plain arithmetic, kept apart from any widget so the
// clamping rules can be checked without a screen.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>

namespace sortello {

// Where a form of the given size goes: centred on the reference window when
// there is one, else on the screen, and then kept on the screen (left and top
// edges win when the form is larger than the screen).
QPoint centeredPosition(const QRect& screen, const QSize& form,
                        const std::optional<QRect>& reference);

// The one-pixel rectangle at the centre of a reference rectangle, from which
// an opening window grows and into which a closing one shrinks.
QRect animationOrigin(const QRect& reference);

} // namespace sortello
