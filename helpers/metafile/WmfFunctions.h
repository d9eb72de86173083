// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The function codes of the WMF records the helper reads or rewrites, and
// the text-out options they carry, in one place so that every pass over a
// file names a record the same way.
namespace sortello::metafile::wmf {

constexpr std::uint16_t SaveDc = 0x001E;
constexpr std::uint16_t CreatePalette = 0x00F7;
constexpr std::uint16_t SetMapMode = 0x0103;
constexpr std::uint16_t SetRelAbs = 0x0105;
constexpr std::uint16_t RestoreDc = 0x0127;
constexpr std::uint16_t InvertRegion = 0x012A;
constexpr std::uint16_t PaintRegion = 0x012B;
constexpr std::uint16_t SelectObject = 0x012D;
constexpr std::uint16_t SetTextAlign = 0x012E;
constexpr std::uint16_t DibCreatePatternBrush = 0x0142;
constexpr std::uint16_t DeleteObject = 0x01F0;
constexpr std::uint16_t CreatePatternBrush = 0x01F9;
constexpr std::uint16_t SetBkColor = 0x0201;
constexpr std::uint16_t SetTextColor = 0x0209;
constexpr std::uint16_t SetWindowOrg = 0x020B;
constexpr std::uint16_t SetWindowExt = 0x020C;
constexpr std::uint16_t SetViewportExt = 0x020E;
constexpr std::uint16_t LineTo = 0x0213;
constexpr std::uint16_t MoveTo = 0x0214;
constexpr std::uint16_t FillRegion = 0x0228;
constexpr std::uint16_t SelectPalette = 0x0234;
constexpr std::uint16_t CreatePenIndirect = 0x02FA;
constexpr std::uint16_t CreateFontIndirect = 0x02FB;
constexpr std::uint16_t CreateBrushIndirect = 0x02FC;
constexpr std::uint16_t Polygon = 0x0324;
constexpr std::uint16_t Polyline = 0x0325;
constexpr std::uint16_t ScaleViewportExt = 0x0412;
constexpr std::uint16_t ExcludeClipRect = 0x0415;
constexpr std::uint16_t IntersectClipRect = 0x0416;
constexpr std::uint16_t Ellipse = 0x0418;
constexpr std::uint16_t FloodFill = 0x0419;
constexpr std::uint16_t Rectangle = 0x041B;
constexpr std::uint16_t SetPixel = 0x041F;
constexpr std::uint16_t FrameRegion = 0x0429;
constexpr std::uint16_t TextOut = 0x0521;
constexpr std::uint16_t PolyPolygon = 0x0538;
constexpr std::uint16_t ExtFloodFill = 0x0548;
constexpr std::uint16_t RoundRect = 0x061C;
constexpr std::uint16_t PatBlt = 0x061D;
constexpr std::uint16_t CreateRegion = 0x06FF;
constexpr std::uint16_t Arc = 0x0817;
constexpr std::uint16_t Pie = 0x081A;
constexpr std::uint16_t Chord = 0x0830;
constexpr std::uint16_t BitBlt = 0x0922;
constexpr std::uint16_t DibBitBlt = 0x0940;
constexpr std::uint16_t ExtTextOut = 0x0A32;
constexpr std::uint16_t StretchBlt = 0x0B23;
constexpr std::uint16_t DibStretchBlt = 0x0B41;
constexpr std::uint16_t SetDibToDev = 0x0D33;
constexpr std::uint16_t StretchDib = 0x0F43;

// ExtTextOut's options.
constexpr std::uint16_t EtoOpaque = 0x0002;
constexpr std::uint16_t EtoClipped = 0x0004;
constexpr std::uint16_t EtoPdy = 0x2000;

} // namespace sortello::metafile::wmf
