// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Rewrites of a WMF's records, made before libwmf plays them, where libwmf
// does not follow a record as GDI does but follows another that says the
// same.
#include "MetafileFormat.h"

#include <string>
#include <string_view>

namespace sortello::metafile {

// libwmf takes every RestoreDC for one step back, whatever state it names.
// Each becomes as many one-step RestoreDC records as GDI goes back: -n is n
// states, a positive n the state the n-th SaveDC kept; one that names no
// saved state restores nothing. bytes must have passed readWmfLayout().
std::string restoreStatesStepByStep(std::string_view bytes, const WmfInfo& info);

// libwmf draws nothing for BitBlt and StretchBlt records that carry an old
// device-dependent bitmap. Those of one, 24 or 32 bits per pixel become
// DIBBitBlt and DIBStretchBlt records with the same pixels, a one-bit
// bitmap black where its bits are 0. bytes must have passed readWmfLayout().
std::string bitmapsAsDibs(std::string_view bytes, const WmfInfo& info);

// libwmf reads a colour given as an index into the selected palette
// (PALETTEINDEX) as a colour of its own, nearly black. Such colours in
// pens, brushes, text and background become the palette's entry, and
// PALETTERGB colours plain ones. Rewritten in place.
void resolvePaletteColours(std::string& bytes, const WmfInfo& info);

// The reference renderer takes no pattern brush made by
// DIBCreatePatternBrush with the monochrome style (BS_PATTERN): selecting one
// leaves the brush selected before it in place. Office programs draw scroll
// bars and buttons that way, over a plain brush of the colour meant. libwmf
// selects a brush as it makes it: such a record becomes a CreateBrushIndirect
// of the plain brush selected before it, where that one is known, and each
// SelectObject of it a SetRelAbs, which changes nothing. Rewritten in place.
void keepBrushForMonochromePatterns(std::string& bytes, const WmfInfo& info);

// GDI leaves out the right and bottom edge of the box a rectangle, rounded
// rectangle, ellipse, arc, chord or pie is given by; libwmf draws to them. Each
// such record's right and bottom move one logical unit in. Rewritten in place.
void excludeRightAndBottomEdges(std::string& bytes, const WmfInfo& info);

// libwmf reads the advances of an ExtTextOut with ETO_PDY as horizontal
// ones only, and moves the current position of text aligned with
// TA_UPDATECP by its own estimate of the string's width, not by the
// record's advances. A record with ETO_PDY becomes one record a letter,
// each at its place; text at the current position is put there by a MoveTo
// before it, and the position after it is where its advances end. bytes
// must have passed readWmfLayout().
std::string textPlacedByAdvances(std::string_view bytes, const WmfInfo& info);

// The reference renderer draws no region, and libwmf refuses the whole file
// for a CreateRegion record whose scans do not fit it (some writers leave out
// a word of its header). Such a record becomes an empty region, which fills
// nothing. Rewritten in place.
void emptyUnreadableRegions(std::string& bytes, const WmfInfo& info);

} // namespace sortello::metafile
