// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Window helpers shared by the program's forms: centring a dialog over the
// window it belongs to, the short zoom that shows a window growing out of, or
// shrinking back into, that window, list rows that keep accents whole, and
// bringing the application forward when a second start asks for it.
#include <QFont>
#include <QStyledItemDelegate>

class QWidget;

namespace sortello {

// Moves a form to the centre of its reference window (its parent, else the
// active window, else the main window) and keeps it on the primary screen.
void CenterOnOwner(QWidget* form);

// Plays the open (`opening`) or close animation of a form. Nothing happens on
// platforms without a real screen, so tests never wait for it.
void animateForm(QWidget* form, bool opening);

// The dialogs' font: Arial (or the metric-compatible font the system puts in
// its place, so that their texts fit the places laid out for them), of the
// given point size, or of the given character height in pixels.
QFont dialogFont(int pointSize);
QFont dialogFontOfPixels(int pixelHeight);

// Rows tall enough for the accents of capitals such as "É", which in common
// fonts reach above the ascent that rows are sized by, and were cut off. With
// a line height, rows have that height plus the room the font needs.
class AccentRoomDelegate : public QStyledItemDelegate {
public:
    explicit AccentRoomDelegate(QObject* parent, int lineHeight = 0);
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int lineHeight;
};

// Closes the active modal window other than mainWindow; a dialog ends as if
// cancelled.
void closeActiveDialogAsCancelled(QWidget* mainWindow);
// Un-minimises the main window, or raises the window the user worked in last,
// but only when that one is visible and enabled.
void bringApplicationForward(QWidget* mainWindow);

} // namespace sortello
