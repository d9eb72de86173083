// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// StringGrid1: the grid that compares the new picture with the existing one,
// width, height, bytes, date and time, and when each was taken, the greater or
// later figure in bold.
// Each data row keeps the figures it shows as values, so the bold rule never
// depends on reading a formatted date back. A line under the rows says in
// words when the two are the same file's bytes or the same picture.
#include "base/Misc.h"

#include <QDateTime>
#include <QWidget>
#include <array>
#include <optional>

namespace sortello {

struct ComparisonFigures {
    qint64 width = 0;
    qint64 height = 0;
    qint64 bytes = 0;
    DateTimeValue date = 0;
    std::optional<QDateTime> taken = std::nullopt;
};

// Whether the cell in a data column (1 to 6) of one row is bold against the
// other row: greater numbers, the later date, the later time only when the
// two dates read the same, and the later capture time when both have one.
bool comparisonCellBold(int column, const ComparisonFigures& self, const ComparisonFigures& other);

class ComparisonGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr int ColumnCount = 7;
    static constexpr int TakenColumn = 6;
    static constexpr int RowCount = 3;
    static constexpr int RowHeight = 18;
    static constexpr int InitialColumnWidth = 30;

    explicit ComparisonGrid(QWidget* parent = nullptr);

    // The captions of row 0 and column 0 and the zero row in both data rows.
    void writeCaptions();
    // Fills row 1 (isNew) or row 2 with one picture's figures; opening a new
    // picture also zeroes row 2. Columns then widen to fit and never narrow.
    // `taken` is when the picture was taken; without one its cell is empty.
    void FillComparisonRow(int width, int height, bool isNew, DateTimeValue fileDate,
                           qint64 fileSize, const std::optional<QDateTime>& taken = {});
    // The words under the rows, such as "Identical"; filling a row clears
    // them, as they speak of the two rows together.
    void setLikeness(const QString& words);
    const QString& likeness() const { return likenessWords; }

    QString cell(int row, int column) const { return cells[row][column]; }
    int columnWidth(int column) const { return widths[column]; }
    bool isBold(int row, int column) const;
    QSize sizeHint() const override;

    static QString formatDate(DateTimeValue value);
    static QString formatTime(DateTimeValue value);
    // The capture time as the camera's clock read it, date and time.
    static QString formatTaken(const QDateTime& taken);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void widenColumns();

    std::array<std::array<QString, ColumnCount>, RowCount> cells;
    std::array<ComparisonFigures, RowCount> figures;
    std::array<int, ColumnCount> widths;
    QString likenessWords;
};

} // namespace sortello
