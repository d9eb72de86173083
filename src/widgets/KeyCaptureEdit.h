// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The key-capture field of the setup dialog. While it has the focus, the
// combination pressed becomes its value, whatever the key and modifiers, and is
// shown as the same text the menus show. Only Tab and Shift+Tab are left to
// focus navigation, so that the keyboard can still leave the field.
#include "settings/ShortCutCode.h"

#include <QLineEdit>

namespace sortello {

class KeyCaptureEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit KeyCaptureEdit(QWidget* parent = nullptr);

    ShortCutCode value() const { return code; }
    void setValue(ShortCutCode value);

    // The text shown for a code that has no text form.
    static QString noneText();

Q_SIGNALS:
    void valueChanged(sortello::ShortCutCode value);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void showValue();
    void showHeldModifiers();

    ShortCutCode code = 0;
    // Modifier keys down right now, and whether a real key came while they were:
    // letting go of modifiers pressed alone leaves no shortcut at all.
    Qt::KeyboardModifiers held;
    bool keyWhileHeld = false;
};

} // namespace sortello
