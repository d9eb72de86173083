// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// EMF+ record types, and the flag bits several records share.
#include <cstdint>

namespace sortello::metafile::emfplus {

enum : std::uint16_t {
    Header = 0x4001,
    EndOfFile = 0x4002,
    GetDC = 0x4004,
    Object = 0x4008,
    Clear = 0x4009,
    FillRects = 0x400A,
    DrawRects = 0x400B,
    FillPolygon = 0x400C,
    DrawLines = 0x400D,
    FillEllipse = 0x400E,
    DrawEllipse = 0x400F,
    FillPie = 0x4010,
    DrawPie = 0x4011,
    DrawArc = 0x4012,
    FillRegion = 0x4013,
    FillPath = 0x4014,
    DrawPath = 0x4015,
    FillClosedCurve = 0x4016,
    DrawClosedCurve = 0x4017,
    DrawCurve = 0x4018,
    DrawBeziers = 0x4019,
    DrawImage = 0x401A,
    DrawImagePoints = 0x401B,
    DrawString = 0x401C,
    Save = 0x4025,
    Restore = 0x4026,
    BeginContainer = 0x4027,
    BeginContainerNoParams = 0x4028,
    EndContainer = 0x4029,
    SetWorldTransform = 0x402A,
    ResetWorldTransform = 0x402B,
    MultiplyWorldTransform = 0x402C,
    TranslateWorldTransform = 0x402D,
    ScaleWorldTransform = 0x402E,
    RotateWorldTransform = 0x402F,
    SetPageTransform = 0x4030,
    ResetClip = 0x4031,
    SetClipRect = 0x4032,
    SetClipPath = 0x4033,
    SetClipRegion = 0x4034,
    OffsetClip = 0x4035,
    DrawDriverString = 0x4036,
};

// Flag bits of the drawing records.
enum : std::uint16_t {
    ColourNotBrush = 0x8000, // S: the brush field is a colour
    Compressed = 0x4000,     // C: 16-bit whole-number coordinates
    Relative = 0x0800,       // P: each point is an offset from the one before
    Closed = 0x2000,         // L for lines, W (winding fill) for closed curves
    Append = 0x2000,         // A: a transform applies after the present one
};

} // namespace sortello::metafile::emfplus
