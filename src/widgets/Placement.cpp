// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/Placement.h"

namespace sortello {

QRect placePicture(const QSize& control, const QSize& picture, const DisplayOptions& options) {
    const int cw = control.width();
    const int ch = control.height();
    const int w = picture.width();
    const int h = picture.height();
    int width = w;
    int height = h;

    if (options.stretch || (options.proportional && (w > cw || h > ch))) {
        if (options.proportional && w > 0 && h > 0) {
            const double aspect = static_cast<double>(w) / h;
            // static_cast truncates toward zero, which is what the rule asks for.
            if (w > h) {
                width = cw;
                height = static_cast<int>(cw / aspect);
                if (height > ch) {
                    height = ch;
                    width = static_cast<int>(ch * aspect);
                }
            } else {
                height = ch;
                width = static_cast<int>(ch * aspect);
                if (width > cw) {
                    width = cw;
                    height = static_cast<int>(cw / aspect);
                }
            }
        } else {
            width = cw;
            height = ch;
        }
    }

    QPoint at(0, 0);
    if (options.center)
        at = QPoint((cw - width) / 2, (ch - height) / 2);
    return QRect(at, QSize(width, height));
}

} // namespace sortello
