// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The box a WMF's drawing records reach, for a file that gives no size of
// its own.
#include "MetafileFormat.h"

#include <optional>
#include <string_view>

namespace sortello::metafile {

// Logical coordinates, right and bottom included.
struct WmfBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The coordinates the drawing records name, as the reference renderer
// measures a file with neither placeable header nor window: pen widths and
// the width of text left out, a rectangle's right and bottom edge excluded.
// Empty where the file sets a window or viewport extent anywhere (the
// picture is that, then), names no coordinate, or a record lists more
// points than it holds. bytes must have passed readWmfLayout().
std::optional<WmfBox> recordBounds(std::string_view bytes, const WmfInfo& info);

} // namespace sortello::metafile
