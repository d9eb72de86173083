// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Window helpers shared by the program's forms: centring a dialog over the
// window it belongs to, and the short zoom that shows a window growing out of,
// or shrinking back into, that window.
class QWidget;

namespace sortello {

// Moves a form to the centre of its reference window (its parent, else the
// active window, else the main window) and keeps it on the primary screen.
void CenterOnOwner(QWidget* form);

// Plays the open (`opening`) or close animation of a form. Nothing happens on
// platforms without a real screen, so tests never wait for it.
void animateForm(QWidget* form, bool opening);

} // namespace sortello
