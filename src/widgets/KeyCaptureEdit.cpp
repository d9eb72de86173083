// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/KeyCaptureEdit.h"

#include <QKeyEvent>

namespace sortello {

namespace {

Qt::KeyboardModifier modifierOfKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
        return Qt::ShiftModifier;
    case Qt::Key_Control:
        return Qt::ControlModifier;
    case Qt::Key_Alt:
        return Qt::AltModifier;
    default:
        return Qt::NoModifier;
    }
}

// Keys no shortcut code can carry; pressing them must not wipe the value.
bool isIgnoredKey(int key) {
    return key == Qt::Key_Meta || key == Qt::Key_AltGr || key == Qt::Key_Super_L ||
           key == Qt::Key_Super_R || key == Qt::Key_Hyper_L || key == Qt::Key_Hyper_R ||
           key == Qt::Key_unknown;
}

bool isFocusNavigation(const QKeyEvent* event) {
    const bool tab = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    return tab && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

} // namespace

KeyCaptureEdit::KeyCaptureEdit(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    showValue();
}

QString KeyCaptureEdit::noneText() {
    return QStringLiteral("None");
}

void KeyCaptureEdit::setValue(ShortCutCode value) {
    const bool changed = value != code;
    code = value;
    showValue();
    if (changed)
        Q_EMIT valueChanged(code);
}

void KeyCaptureEdit::showValue() {
    const QString text = shortCutToText(code);
    setText(text.isEmpty() ? noneText() : text);
}

void KeyCaptureEdit::showHeldModifiers() {
    QString text;
    if (held & Qt::ShiftModifier)
        text += QStringLiteral("Shift+");
    if (held & Qt::ControlModifier)
        text += QStringLiteral("Ctrl+");
    if (held & Qt::AltModifier)
        text += QStringLiteral("Alt+");
    setText(text);
}

bool KeyCaptureEdit::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Claims every key first, so that neither a button's Alt letter nor the
        // dialog's Enter and Esc take a combination meant for the field.
        if (!isFocusNavigation(static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
        break;
    case QEvent::KeyPress:
        if (!isFocusNavigation(static_cast<QKeyEvent*>(event))) {
            keyPressEvent(static_cast<QKeyEvent*>(event));
            return true;
        }
        break;
    default:
        break;
    }
    return QLineEdit::event(event);
}

void KeyCaptureEdit::keyPressEvent(QKeyEvent* event) {
    event->accept();
    const int key = event->key();
    if (const Qt::KeyboardModifier modifier = modifierOfKey(key); modifier != Qt::NoModifier) {
        if (!held)
            keyWhileHeld = false;
        held |= modifier;
        if (!keyWhileHeld)
            showHeldModifiers();
        return;
    }
    if (isIgnoredKey(key))
        return;
    keyWhileHeld = true;
    setValue(shortCutFromKeyEvent(key, event->modifiers()));
}

void KeyCaptureEdit::keyReleaseEvent(QKeyEvent* event) {
    event->accept();
    const Qt::KeyboardModifier modifier = modifierOfKey(event->key());
    if (modifier == Qt::NoModifier || !(held & modifier))
        return;
    held &= ~modifier;
    if (keyWhileHeld)
        return;
    if (held)
        showHeldModifiers();
    else
        setValue(0);
}

void KeyCaptureEdit::focusOutEvent(QFocusEvent* event) {
    // A modifier still down when the focus leaves is no capture.
    held = {};
    keyWhileHeld = false;
    showValue();
    QLineEdit::focusOutEvent(event);
}

} // namespace sortello
