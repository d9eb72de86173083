// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds a window's controls and menu items by their object names, the way a
// test reaches what a user sees, and works them as a user does. A name that
// finds nothing fails the test at once rather than crashing it.
#include <QAction>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <stdexcept>

class QAbstractItemView;
class QWidget;

namespace sortello::test {

struct MissingControl : std::runtime_error {
    using std::runtime_error::runtime_error;
};

QObject* findNamed(const QObject& root, const char* name, const QMetaObject& type);

template <typename T = QWidget> T* child(const QObject& root, const char* name) {
    return static_cast<T*>(findNamed(root, name, T::staticMetaObject));
}

inline QAction* menuItem(const QObject& root, const char* name) {
    return child<QAction>(root, name);
}

// Clicks a menu item, as choosing it from the menu does.
inline void trigger(const QObject& root, const char* name) {
    menuItem(root, name)->trigger();
}

// Clicks a button of a window; a disabled one does nothing, as for a user.
void click(const QObject& root, const char* name);

// A mouse click on a row of a list, with the given keys held.
void clickRow(QAbstractItemView& list, int row, Qt::KeyboardModifiers keys = Qt::NoModifier);

} // namespace sortello::test
