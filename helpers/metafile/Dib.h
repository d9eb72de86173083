// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Device-independent bitmaps as WMF and EMF records carry them: a BITMAPINFO
// (one of the header kinds, then colour masks and/or a colour table) and the
// pixel bits, at separate places of the record. The input is hostile: every
// size, count and run is checked against the bytes there are, and a bitmap
// that is malformed, cut short or larger than MaxDibPixels gives a null image
// rather than a guess.
#include <QImage>
#include <QRgb>

#include <cstdint>
#include <span>

namespace sortello::metafile {

// The most pixels one bitmap of a record may have: four bytes each once
// decoded, and the helper's address space is bounded.
inline constexpr std::int64_t MaxDibPixels = 16'000'000;

enum class DibColours {
    Rgb,            // the colour table holds colours
    PaletteIndices, // it holds 16-bit indices into the logical palette
};

// The colours of the palette a device context starts with: GDI's twenty
// static colours, which palette indices name when no palette was selected.
std::span<const QRgb> defaultPalette();

// Decodes the bitmap. What comes back:
// - Format_RGB32 for bitmaps without an alpha channel;
// - Format_ARGB32 (not premultiplied) when the pixels carry an alpha value:
//   32-bit BI_RGB pixels, and 32-bit masked ones whose colour masks leave
//   the fourth byte free, keep that byte as stored; an alpha mask keeps its
//   value. GDI shows such a bitmap opaque unless the record is an
//   AlphaBlend, so callers other than AlphaBlend convert to Format_RGB32;
// - Format_ARGB32 for run-length bitmaps, whose pixels skipped by a delta or
//   an early end of line are transparent: GDI leaves the destination there.
// With DibColours::PaletteIndices the table's indices name entries of
// `palette`, GDI's default palette when none is given; an index past its end
// is black, as is a pixel whose index is past the colour table.
QImage dibToImage(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
                  DibColours colours = DibColours::Rgb);
QImage dibToImage(std::span<const std::uint8_t> info, std::span<const std::uint8_t> bits,
                  DibColours colours, std::span<const QRgb> palette);

// A picture file embedded in a record (PNG or JPEG for a bitmap, any format
// Qt reads for an EMF+ image), decoded only once its own header shows it
// within MaxDibPixels; `format` names the one expected, or null to let Qt
// tell. Format_ARGB32 when it has an alpha channel, else Format_RGB32.
QImage decodeEmbeddedImage(std::span<const std::uint8_t> data, const char* format = nullptr);

} // namespace sortello::metafile
