// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/FileListBox.h"

#include "widgets/Utility.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>
#include <utility>

namespace sortello {

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries.size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(entries.size()))
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return entries[index.row()].name;
    return {};
}

void FileListModel::setFiles(std::vector<ListedFile> files) {
    beginResetModel();
    entries = std::move(files);
    endResetModel();
}

void FileListModel::removeFile(int row) {
    removeFiles(row, row);
}

void FileListModel::removeFiles(int first, int last) {
    beginRemoveRows({}, first, last);
    entries.erase(entries.begin() + first, entries.begin() + last + 1);
    endRemoveRows();
}

FileListBox::FileListBox(QWidget* parent) : QListView(parent), model(new FileListModel(this)) {
    setModel(model);
    setItemDelegate(new AccentRoomDelegate(this));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideMiddle);
}

void FileListBox::showFiles(std::vector<ListedFile> files) {
    model->setFiles(std::move(files));
}

int FileListBox::count() const {
    return model->rowCount();
}

QString FileListBox::itemText(int row) const {
    return model->file(row).name;
}

int FileListBox::focusedRow() const {
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.row() : -1;
}

bool FileListBox::isSelected(int row) const {
    return row >= 0 && row < count() && selectionModel()->isSelected(model->index(row));
}

int FileListBox::currentFileRow() const {
    const int row = focusedRow();
    return isSelected(row) ? row : -1;
}

QList<int> FileListBox::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void FileListBox::focusAndSelect(int row) {
    if (row < 0 || row >= count()) {
        selectionModel()->clear();
        return;
    }
    selectionModel()->setCurrentIndex(model->index(row), QItemSelectionModel::ClearAndSelect);
    scrollTo(model->index(row));
}

void FileListBox::setRowSelected(int row, bool selected) {
    selectionModel()->select(model->index(row), selected ? QItemSelectionModel::Select
                                                         : QItemSelectionModel::Deselect);
}

void FileListBox::removeRow(int row) {
    model->removeFile(row);
}

void FileListBox::removeRows(QList<int> rows) {
    // From the end, one contiguous run at a time: each run is one erase.
    std::sort(rows.begin(), rows.end());
    while (!rows.isEmpty()) {
        const int last = rows.takeLast();
        int first = last;
        while (!rows.isEmpty() && rows.last() == first - 1)
            first = rows.takeLast();
        model->removeFiles(first, last);
    }
}

void FileListBox::clearSelection() {
    selectionModel()->clearSelection();
}

FileListBox::State FileListBox::state() const {
    const int row = focusedRow();
    return {row, isSelected(row)};
}

// The click notification follows the real change, after Qt has moved both the
// focus mark and the selection, so the handler sees the finished state.
void FileListBox::notifyIfChanged(const State& before) {
    const State after = state();
    if (after.focused != before.focused || (after.selected && !before.selected))
        Q_EMIT currentItemClicked();
}

namespace {

// Keys that move the focus mark, or Space, without Shift or Ctrl: in a desktop
// list with extended selection they leave the entry they land on as the only
// selected one, even when the mark does not move (Home on the first entry).
bool selectsWhereItLands(const QKeyEvent* event) {
    if (event->modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (event->key()) {
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Space:
        return true;
    default:
        return false;
    }
}

} // namespace

void FileListBox::keyPressEvent(QKeyEvent* event) {
    const State before = state();
    QListView::keyPressEvent(event);
    const int row = focusedRow();
    if (row >= 0 && selectsWhereItLands(event) &&
        (!isSelected(row) || selectionModel()->selectedIndexes().size() != 1))
        focusAndSelect(row);
    notifyIfChanged(before);
}

void FileListBox::mousePressEvent(QMouseEvent* event) {
    // A press below the last entry would take every selection away while the
    // current file's pictures stay on screen, leaving commands that silently
    // do nothing; the current entry stays as it is instead.
    pressOutsideEntries = !indexAt(event->position().toPoint()).isValid();
    if (pressOutsideEntries) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    const State before = state();
    QListView::mousePressEvent(event);
    notifyIfChanged(before);
}

void FileListBox::mouseMoveEvent(QMouseEvent* event) {
    if (pressOutsideEntries && event->buttons() != Qt::NoButton) {
        event->accept();
        return;
    }
    const State before = state();
    QListView::mouseMoveEvent(event);
    notifyIfChanged(before);
}

void FileListBox::mouseReleaseEvent(QMouseEvent* event) {
    if (std::exchange(pressOutsideEntries, false)) {
        event->accept();
        return;
    }
    const State before = state();
    QListView::mouseReleaseEvent(event);
    notifyIfChanged(before);
}

} // namespace sortello
