// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keyboard shortcuts as Sortello stores them: a 16-bit code with the key's
// virtual-key number in the low byte and one bit each for Shift, Ctrl and Alt.
// Settings files written on Windows carry those numbers, so the mapping from
// Qt's key events to them is fixed here, in one table, and never guessed.
#include <QString>
#include <Qt>

namespace sortello {

using ShortCutCode = quint16;

inline constexpr ShortCutCode ShortCutShift = 0x2000;
inline constexpr ShortCutCode ShortCutCtrl = 0x4000;
inline constexpr ShortCutCode ShortCutAlt = 0x8000;
inline constexpr ShortCutCode ShortCutKeyMask = 0x00FF;

// Only the low 16 bits of a stored number count (65,536 + 83 acts as 83).
constexpr ShortCutCode shortCutFromNumber(qint32 stored) {
    return static_cast<ShortCutCode>(static_cast<quint32>(stored) & 0xFFFFu);
}

// The name of a virtual key ("S", "F5", "PgUp", "Num *"); empty when the key has
// no name.
QString virtualKeyName(int virtualKey);

// "Shift+", "Ctrl+", "Alt+" for the bits set, then the key's name; no text at
// all when the key has no name, whatever modifiers the code carries.
QString shortCutToText(ShortCutCode code);

// The virtual key of a Qt key, 0 when it has none. `keypad` tells the keypad's
// keys (digits, operators, Enter) from their twins on the main block. Shifted
// symbols map to the key that carries them on a US layout (":" to the ";" key).
int virtualKeyFromQtKey(int qtKey, bool keypad);

// The code of a key press: its virtual key with the Shift, Ctrl and Alt bits.
// A key without a virtual key, or a lone modifier key, gives 0.
ShortCutCode shortCutFromKeyEvent(int qtKey, Qt::KeyboardModifiers modifiers);

// The Qt key and modifiers that produce a code, for synthesising key presses
// and for showing a code in Qt's own widgets; Qt::Key_unknown when the code's
// key has no Qt counterpart.
QKeyCombination qtKeyFromShortCut(ShortCutCode code);

} // namespace sortello
