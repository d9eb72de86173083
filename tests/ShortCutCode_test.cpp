// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsTables.h"
#include "settings/ShortCutCode.h"

#include <gtest/gtest.h>

using namespace sortello;

namespace {

struct TextCase {
    int code;
    const char* text;
};

class ShortCutText : public ::testing::TestWithParam<TextCase> {};

TEST_P(ShortCutText, ShowsModifiersThenTheKeyName) {
    EXPECT_EQ(shortCutToText(static_cast<ShortCutCode>(GetParam().code)).toStdString(),
              GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShortCutText,
    ::testing::Values(TextCase{32851, "Alt+S"}, TextCase{40999, "Shift+Alt+Right"},
                      TextCase{116, "F5"}, TextCase{16423, "Ctrl+Right"},
                      TextCase{49191, "Ctrl+Alt+Right"}, TextCase{32801, "Alt+PgUp"},
                      TextCase{32802, "Alt+PgDn"}, TextCase{8304, "Shift+F1"},
                      TextCase{0x2000 | 0x4000 | 0x8000 | 'X', "Shift+Ctrl+Alt+X"},
                      TextCase{135, "F24"}, TextCase{96 + 7, "7"}, TextCase{8, "BkSp"},
                      TextCase{13, "Enter"}, TextCase{27, "Esc"}, TextCase{32, "Space"},
                      TextCase{45, "Ins"}, TextCase{46, "Del"}, TextCase{36, "Home"},
                      TextCase{35, "End"}, TextCase{106, "Num *"}, TextCase{186, ";"},
                      // No name, no text, whatever the modifiers.
                      TextCase{0, ""}, TextCase{0x2000 | 0x8000, ""}, TextCase{7, ""},
                      TextCase{0x4000 | 255, ""}));

TEST(ShortCutCode, OnlyTheLowSixteenBitsCount) {
    EXPECT_EQ(shortCutFromNumber(65536 + 83), 83);
    EXPECT_EQ(shortCutToText(shortCutFromNumber(65536 + 83)), QStringLiteral("S"));
    EXPECT_EQ(shortCutFromNumber(-1), 0xFFFF);
}

TEST(ShortCutCode, EveryDefaultHasTheTextOfItsTable) {
    const std::map<std::string, std::string> expected{{"SRISetup", "Alt+S"},
                                                      {"SRFUpdateFileList", "F5"},
                                                      {"SRFReplaceExisting", "Ctrl+Right"},
                                                      {"SRFRemoveNew", "Ctrl+Left"},
                                                      {"SRFMoveAs", "Alt+Right"},
                                                      {"SRFAutoMoveMultipleAs", "Shift+Alt+Right"},
                                                      {"SRFMoveNonExisting", "Ctrl+Alt+Right"},
                                                      {"SRFRemoveIdentical", "Ctrl+Alt+Left"},
                                                      {"SRFShowFilesMoved", "Alt+PgUp"},
                                                      {"SRINShow", "Alt+N"},
                                                      {"SRINStretch", "Shift+Left"},
                                                      {"SRIEShow", "Alt+E"},
                                                      {"SRIEStretch", "Shift+Right"},
                                                      {"SRIBInverseSplit", "Alt+PgDn"},
                                                      {"SRIShowAbout", "Shift+F1"}};
    for (const ShortcutSetting& s : ShortcutSettings) {
        const auto it = expected.find(s.key);
        const std::string text = shortCutToText(s.defaultCode).toStdString();
        EXPECT_EQ(text, it == expected.end() ? std::string() : it->second) << s.key;
    }
}

struct KeyCase {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int code;
};

class KeyEvents : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyEvents, MapToTheStoredCodes) {
    EXPECT_EQ(shortCutFromKeyEvent(GetParam().key, GetParam().modifiers), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeyEvents,
    ::testing::Values(
        KeyCase{Qt::Key_S, Qt::AltModifier, 32851},
        KeyCase{Qt::Key_Right, Qt::ShiftModifier | Qt::AltModifier, 40999},
        KeyCase{Qt::Key_Right, Qt::ControlModifier | Qt::KeypadModifier, 16423},
        KeyCase{Qt::Key_F5, Qt::NoModifier, 116}, KeyCase{Qt::Key_PageDown, Qt::AltModifier, 32802},
        KeyCase{Qt::Key_5, Qt::NoModifier, '5'}, KeyCase{Qt::Key_5, Qt::KeypadModifier, 101},
        KeyCase{Qt::Key_Asterisk, Qt::KeypadModifier, 106},
        // Shifted symbols name the key that carries them.
        KeyCase{Qt::Key_Asterisk, Qt::ShiftModifier, 0x2000 | '8'},
        KeyCase{Qt::Key_Colon, Qt::ShiftModifier, 0x2000 | 186},
        KeyCase{Qt::Key_Minus, Qt::NoModifier, 189},
        KeyCase{Qt::Key_Minus, Qt::KeypadModifier, 109},
        KeyCase{Qt::Key_Enter, Qt::KeypadModifier, 13},
        KeyCase{Qt::Key_Backtab, Qt::ShiftModifier, 0x2000 | 9},
        // A lone modifier or an unknown key is no shortcut.
        KeyCase{Qt::Key_Shift, Qt::ShiftModifier, 0}, KeyCase{Qt::Key_Alt, Qt::AltModifier, 0},
        KeyCase{Qt::Key_VolumeUp, Qt::NoModifier, 0}));

TEST(ShortCutCode, EveryNamedKeyRoundTripsThroughQt) {
    for (int virtualKey = 1; virtualKey < 256; ++virtualKey) {
        if (virtualKey >= 16 && virtualKey <= 18)
            continue; // modifier keys are never shortcuts of their own
        const ShortCutCode code = static_cast<ShortCutCode>(virtualKey | ShortCutCtrl);
        const QKeyCombination qt = qtKeyFromShortCut(code);
        if (virtualKeyName(virtualKey).isEmpty()) {
            EXPECT_EQ(qt.key(), Qt::Key_unknown) << virtualKey;
            continue;
        }
        ASSERT_NE(qt.key(), Qt::Key_unknown) << virtualKey;
        EXPECT_EQ(shortCutFromKeyEvent(qt.key(), qt.keyboardModifiers()), code) << virtualKey;
    }
}

} // namespace
