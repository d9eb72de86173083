// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ShortCutCode.h"

#include <array>

namespace sortello {

namespace {

// Virtual keys whose names and Qt keys do not follow from a range rule.
struct NamedKey {
    int virtualKey;
    const char* name;
    Qt::Key qtKey;
    bool keypad;
};

constexpr std::array NamedKeys{
    NamedKey{8, "BkSp", Qt::Key_Backspace, false},
    NamedKey{9, "Tab", Qt::Key_Tab, false},
    NamedKey{12, "Num 5", Qt::Key_Clear, true},
    NamedKey{13, "Enter", Qt::Key_Return, false},
    NamedKey{16, "Shift", Qt::Key_Shift, false},
    NamedKey{17, "Ctrl", Qt::Key_Control, false},
    NamedKey{18, "Alt", Qt::Key_Alt, false},
    NamedKey{19, "Pause", Qt::Key_Pause, false},
    NamedKey{20, "Caps Lock", Qt::Key_CapsLock, false},
    NamedKey{27, "Esc", Qt::Key_Escape, false},
    NamedKey{32, "Space", Qt::Key_Space, false},
    NamedKey{33, "PgUp", Qt::Key_PageUp, false},
    NamedKey{34, "PgDn", Qt::Key_PageDown, false},
    NamedKey{35, "End", Qt::Key_End, false},
    NamedKey{36, "Home", Qt::Key_Home, false},
    NamedKey{37, "Left", Qt::Key_Left, false},
    NamedKey{38, "Up", Qt::Key_Up, false},
    NamedKey{39, "Right", Qt::Key_Right, false},
    NamedKey{40, "Down", Qt::Key_Down, false},
    NamedKey{44, "Prnt Scrn", Qt::Key_Print, false},
    NamedKey{45, "Ins", Qt::Key_Insert, false},
    NamedKey{46, "Del", Qt::Key_Delete, false},
    NamedKey{93, "Application", Qt::Key_Menu, false},
    NamedKey{106, "Num *", Qt::Key_Asterisk, true},
    NamedKey{107, "Num +", Qt::Key_Plus, true},
    NamedKey{109, "Num -", Qt::Key_Minus, true},
    NamedKey{110, "Num Del", Qt::Key_Period, true},
    NamedKey{111, "Num /", Qt::Key_Slash, true},
    NamedKey{144, "Num Lock", Qt::Key_NumLock, false},
    NamedKey{145, "Scroll Lock", Qt::Key_ScrollLock, false},
    NamedKey{186, ";", Qt::Key_Semicolon, false},
    NamedKey{187, "=", Qt::Key_Equal, false},
    NamedKey{188, ",", Qt::Key_Comma, false},
    NamedKey{189, "-", Qt::Key_Minus, false},
    NamedKey{190, ".", Qt::Key_Period, false},
    NamedKey{191, "/", Qt::Key_Slash, false},
    NamedKey{192, "`", Qt::Key_QuoteLeft, false},
    NamedKey{219, "[", Qt::Key_BracketLeft, false},
    NamedKey{220, "\\", Qt::Key_Backslash, false},
    NamedKey{221, "]", Qt::Key_BracketRight, false},
    NamedKey{222, "'", Qt::Key_Apostrophe, false},
};

// Qt reports the symbol a shifted key types; the stored code names the key.
struct ShiftedSymbol {
    Qt::Key symbol;
    int virtualKey;
};

constexpr std::array ShiftedSymbols{
    ShiftedSymbol{Qt::Key_Exclam, '1'},     ShiftedSymbol{Qt::Key_At, '2'},
    ShiftedSymbol{Qt::Key_NumberSign, '3'}, ShiftedSymbol{Qt::Key_Dollar, '4'},
    ShiftedSymbol{Qt::Key_Percent, '5'},    ShiftedSymbol{Qt::Key_AsciiCircum, '6'},
    ShiftedSymbol{Qt::Key_Ampersand, '7'},  ShiftedSymbol{Qt::Key_Asterisk, '8'},
    ShiftedSymbol{Qt::Key_ParenLeft, '9'},  ShiftedSymbol{Qt::Key_ParenRight, '0'},
    ShiftedSymbol{Qt::Key_Colon, 186},      ShiftedSymbol{Qt::Key_Plus, 187},
    ShiftedSymbol{Qt::Key_Less, 188},       ShiftedSymbol{Qt::Key_Underscore, 189},
    ShiftedSymbol{Qt::Key_Greater, 190},    ShiftedSymbol{Qt::Key_Question, 191},
    ShiftedSymbol{Qt::Key_AsciiTilde, 192}, ShiftedSymbol{Qt::Key_BraceLeft, 219},
    ShiftedSymbol{Qt::Key_Bar, 220},        ShiftedSymbol{Qt::Key_BraceRight, 221},
    ShiftedSymbol{Qt::Key_QuoteDbl, 222},   ShiftedSymbol{Qt::Key_Backtab, 9},
};

constexpr int KeypadDigit0 = 96;
constexpr int FunctionKey1 = 112;
constexpr int FunctionKeyCount = 24;

const NamedKey* namedByVirtualKey(int virtualKey) {
    for (const NamedKey& key : NamedKeys)
        if (key.virtualKey == virtualKey)
            return &key;
    return nullptr;
}

} // namespace

QString virtualKeyName(int virtualKey) {
    if ((virtualKey >= '0' && virtualKey <= '9') || (virtualKey >= 'A' && virtualKey <= 'Z'))
        return QString(QChar(virtualKey));
    if (virtualKey >= KeypadDigit0 && virtualKey < KeypadDigit0 + 10)
        return QString(QChar('0' + virtualKey - KeypadDigit0));
    if (virtualKey >= FunctionKey1 && virtualKey < FunctionKey1 + FunctionKeyCount)
        return QStringLiteral("F%1").arg(virtualKey - FunctionKey1 + 1);
    if (const NamedKey* key = namedByVirtualKey(virtualKey))
        return QString::fromLatin1(key->name);
    return {};
}

QString shortCutToText(ShortCutCode code) {
    const QString name = virtualKeyName(code & ShortCutKeyMask);
    if (name.isEmpty())
        return {};
    QString text;
    if (code & ShortCutShift)
        text += QStringLiteral("Shift+");
    if (code & ShortCutCtrl)
        text += QStringLiteral("Ctrl+");
    if (code & ShortCutAlt)
        text += QStringLiteral("Alt+");
    return text + name;
}

int virtualKeyFromQtKey(int qtKey, bool keypad) {
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return qtKey - Qt::Key_A + 'A';
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return keypad ? qtKey - Qt::Key_0 + KeypadDigit0 : qtKey - Qt::Key_0 + '0';
    if (qtKey >= Qt::Key_F1 && qtKey < Qt::Key_F1 + FunctionKeyCount)
        return qtKey - Qt::Key_F1 + FunctionKey1;
    if (qtKey == Qt::Key_Enter)
        return 13;
    // Keypad twins first, so that keypad "*" is not read as Shift+8.
    for (const NamedKey& key : NamedKeys)
        if (key.qtKey == qtKey && key.keypad == keypad)
            return key.virtualKey;
    for (const ShiftedSymbol& symbol : ShiftedSymbols)
        if (symbol.symbol == qtKey)
            return symbol.virtualKey;
    for (const NamedKey& key : NamedKeys)
        if (key.qtKey == qtKey)
            return key.virtualKey;
    return 0;
}

ShortCutCode shortCutFromKeyEvent(int qtKey, Qt::KeyboardModifiers modifiers) {
    const int virtualKey = virtualKeyFromQtKey(qtKey, modifiers.testFlag(Qt::KeypadModifier));
    if (virtualKey == 0 || virtualKey == 16 || virtualKey == 17 || virtualKey == 18)
        return 0;
    ShortCutCode code = static_cast<ShortCutCode>(virtualKey);
    if (modifiers.testFlag(Qt::ShiftModifier) || qtKey == Qt::Key_Backtab)
        code |= ShortCutShift;
    if (modifiers.testFlag(Qt::ControlModifier))
        code |= ShortCutCtrl;
    if (modifiers.testFlag(Qt::AltModifier))
        code |= ShortCutAlt;
    return code;
}

QKeyCombination qtKeyFromShortCut(ShortCutCode code) {
    const int virtualKey = code & ShortCutKeyMask;
    Qt::KeyboardModifiers modifiers;
    if (code & ShortCutShift)
        modifiers |= Qt::ShiftModifier;
    if (code & ShortCutCtrl)
        modifiers |= Qt::ControlModifier;
    if (code & ShortCutAlt)
        modifiers |= Qt::AltModifier;

    Qt::Key key = Qt::Key_unknown;
    if ((virtualKey >= '0' && virtualKey <= '9') || (virtualKey >= 'A' && virtualKey <= 'Z')) {
        key = static_cast<Qt::Key>(virtualKey);
    } else if (virtualKey >= KeypadDigit0 && virtualKey < KeypadDigit0 + 10) {
        key = static_cast<Qt::Key>(Qt::Key_0 + virtualKey - KeypadDigit0);
        modifiers |= Qt::KeypadModifier;
    } else if (virtualKey >= FunctionKey1 && virtualKey < FunctionKey1 + FunctionKeyCount) {
        key = static_cast<Qt::Key>(Qt::Key_F1 + virtualKey - FunctionKey1);
    } else if (const NamedKey* named = namedByVirtualKey(virtualKey)) {
        key = named->qtKey;
        if (named->keypad)
            modifiers |= Qt::KeypadModifier;
    }
    return QKeyCombination(modifiers, key);
}

} // namespace sortello
