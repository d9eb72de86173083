// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// FileListBox: the picture files of the source folder, several selectable. A
// model-based view, so that a folder of 100,000 files lists in a blink: the
// model holds the listing itself, not one item object per file.
#include "fileops/FolderListing.h"

#include <QAbstractListModel>
#include <QListView>
#include <vector>

namespace sortello {

class FileListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void setFiles(std::vector<ListedFile> files);
    void removeFile(int row);
    void removeFiles(int first, int last);
    const ListedFile& file(int row) const { return entries[row]; }

private:
    std::vector<ListedFile> entries;
};

class FileListBox : public QListView {
    Q_OBJECT
public:
    explicit FileListBox(QWidget* parent = nullptr);

    // Shows a folder's listing in place of what the list showed.
    void showFiles(std::vector<ListedFile> files);

    int count() const;
    QString itemText(int row) const;
    const ListedFile& item(int row) const { return model->file(row); }
    int focusedRow() const; // -1 without a focused entry
    bool isSelected(int row) const;
    // The focused entry when it is also selected, else -1.
    int currentFileRow() const;
    QList<int> selectedRows() const; // ascending

    // Gives the focus mark to a row and makes it the only selected entry, as
    // Space on the list does; -1 clears both.
    void focusAndSelect(int row);
    void setRowSelected(int row, bool selected);
    void removeRow(int row);
    // Removes several rows at once, keeping the selection of the others.
    void removeRows(QList<int> rows);
    void clearSelection();

Q_SIGNALS:
    // The current entry changed, by mouse or keyboard: the list's click.
    void currentItemClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct State {
        int focused;
        bool selected;
    };
    State state() const;
    void notifyIfChanged(const State& before);

    FileListModel* model;
    bool pressOutsideEntries = false;
};

} // namespace sortello
