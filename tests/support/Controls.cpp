// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Controls.h"

#include <QAbstractItemView>
#include <QTest>

namespace sortello::test {

QObject* findNamed(const QObject& root, const char* name, const QMetaObject& type) {
    const QString wanted = QString::fromLatin1(name);
    for (QObject* found : root.findChildren<QObject*>(wanted))
        if (type.cast(found))
            return found;
    throw MissingControl(std::string("no ") + type.className() + " named " + name);
}

void click(const QObject& root, const char* name) {
    child<QPushButton>(root, name)->click();
}

void clickRow(QAbstractItemView& list, int row, Qt::KeyboardModifiers keys) {
    const QModelIndex index = list.model()->index(row, 0);
    list.scrollTo(index);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, keys, list.visualRect(index).center());
}

} // namespace sortello::test
