// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ComparisonGrid.h"

#include <QDateTime>
#include <QLocale>
#include <QPainter>
#include <QStyleOptionHeader>
#include <cmath>

namespace sortello {

namespace {

constexpr int TextInset = 2;
constexpr int WidthPadding = 14;

// Day 0 of the date-time count is 30 December 1899.
QDateTime toDateTime(DateTimeValue value) {
    const double days = std::floor(value);
    const qint64 millis = std::llround((value - days) * 86400000.0);
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(days));
    return QDateTime(date, QTime(0, 0)).addMSecs(millis);
}

qint64 dayOf(DateTimeValue value) {
    return static_cast<qint64>(std::floor(value));
}

// Milliseconds into the day, so that equal clock times compare equal.
qint64 timeOf(DateTimeValue value) {
    return std::llround((value - std::floor(value)) * 86400000.0);
}

// The long time format shows seconds; Qt's adds the time zone, which the grid
// has no room for.
QString withSeconds(const QTime& time) {
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return time.toString(format.trimmed());
}

// Two capture times are compared as instants when both say their offset from
// UTC; otherwise as the clocks read, the best there is.
bool takenLater(const std::optional<QDateTime>& self, const std::optional<QDateTime>& other) {
    if (!self || !other)
        return false;
    if (self->timeSpec() != Qt::LocalTime && other->timeSpec() != Qt::LocalTime)
        return *self > *other;
    const auto clock = [](const QDateTime& t) { return QDateTime(t.date(), t.time(), Qt::UTC); };
    return clock(*self) > clock(*other);
}

} // namespace

bool comparisonCellBold(int column, const ComparisonFigures& self, const ComparisonFigures& other) {
    switch (column) {
    case 1:
        return self.width > other.width;
    case 2:
        return self.height > other.height;
    case 3:
        return self.bytes > other.bytes;
    case 4:
        return dayOf(self.date) > dayOf(other.date);
    case 5:
        return dayOf(self.date) == dayOf(other.date) && timeOf(self.date) > timeOf(other.date);
    case ComparisonGrid::TakenColumn:
        return takenLater(self.taken, other.taken);
    default:
        return false;
    }
}

QString ComparisonGrid::formatDate(DateTimeValue value) {
    return QLocale::system().toString(toDateTime(value).date(), QLocale::ShortFormat);
}

QString ComparisonGrid::formatTime(DateTimeValue value) {
    return withSeconds(toDateTime(value).time());
}

QString ComparisonGrid::formatTaken(const QDateTime& taken) {
    // Shown in the clock's own terms, not turned to this computer's zone: that
    // is the time the photographer saw.
    return QLocale::system().toString(taken.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           withSeconds(taken.time());
}

ComparisonGrid::ComparisonGrid(QWidget* parent) : QWidget(parent) {
    widths.fill(InitialColumnWidth);
    setFocusPolicy(Qt::NoFocus);
    // Clicks, right clicks included, belong to the grid's pane.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ComparisonGrid::writeCaptions() {
    const char* top[ColumnCount] = {"Image", "Width", "Height", "Bytes", "Date", "Time", "Taken"};
    for (int c = 0; c < ColumnCount; ++c)
        cells[0][c] = QString::fromLatin1(top[c]);
    cells[1][0] = QStringLiteral("New");
    cells[2][0] = QStringLiteral("Existing");
    FillComparisonRow(0, 0, true, 0, 0);
}

void ComparisonGrid::FillComparisonRow(int width, int height, bool isNew, DateTimeValue fileDate,
                                       qint64 fileSize, const std::optional<QDateTime>& taken) {
    const auto write = [this](int row, const ComparisonFigures& f) {
        figures[row] = f;
        cells[row][1] = QString::number(f.width);
        cells[row][2] = QString::number(f.height);
        cells[row][3] = QString::number(f.bytes);
        cells[row][4] = formatDate(f.date);
        cells[row][5] = formatTime(f.date);
        cells[row][TakenColumn] = f.taken ? formatTaken(*f.taken) : QString();
    };
    write(isNew ? 1 : 2, ComparisonFigures{width, height, fileSize, fileDate, taken});
    if (isNew)
        write(2, ComparisonFigures{});
    likenessWords.clear();
    widenColumns();
    update();
}

void ComparisonGrid::setLikeness(const QString& words) {
    likenessWords = words;
    update();
}

void ComparisonGrid::widenColumns() {
    const QFontMetrics metrics(font());
    // Any figure may turn bold, which is wider; it must still fit.
    QFont boldFont = font();
    boldFont.setBold(true);
    const QFontMetrics boldMetrics(boldFont);
    bool grew = false;
    for (int r = 0; r < RowCount; ++r) {
        for (int c = 0; c < ColumnCount; ++c) {
            const bool figure = r > 0 && c > 0;
            const int t =
                (figure ? boldMetrics : metrics).horizontalAdvance(cells[r][c]) + WidthPadding;
            if (t > widths[c]) {
                widths[c] = t;
                grew = true;
            }
        }
    }
    if (grew)
        updateGeometry();
}

bool ComparisonGrid::isBold(int row, int column) const {
    if (row < 1 || row > 2 || column < 1 || column >= ColumnCount)
        return false;
    return comparisonCellBold(column, figures[row], figures[row == 1 ? 2 : 1]);
}

QSize ComparisonGrid::sizeHint() const {
    int width = 1;
    for (int w : widths)
        width += w + 1;
    // The likeness line below the rows.
    return QSize(width, (RowCount + 1) * (RowHeight + 1) + 1);
}

void ComparisonGrid::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& colours = palette();
    QFont regular = font();
    QFont bold = font();
    bold.setBold(true);
    int y = 0;
    for (int r = 0; r < RowCount; ++r) {
        int x = 0;
        for (int c = 0; c < ColumnCount; ++c) {
            const QRect cellRect(x, y, widths[c], RowHeight);
            const bool header = r == 0 || c == 0;
            if (header) {
                QStyleOptionHeader option;
                option.initFrom(this);
                option.state = QStyle::State_Enabled | QStyle::State_Raised;
                option.rect = cellRect;
                style()->drawControl(QStyle::CE_HeaderSection, &option, &painter, this);
                painter.setPen(colours.color(QPalette::Active, QPalette::ButtonText));
                painter.setFont(regular);
            } else {
                painter.fillRect(cellRect, colours.color(QPalette::Active, QPalette::Base));
                painter.setPen(colours.color(QPalette::Active, QPalette::Text));
                painter.setFont(isBold(r, c) ? bold : regular);
            }
            const QRect textRect = cellRect.adjusted(TextInset, TextInset, 0, 0);
            painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                             cells[r][c]);
            x += widths[c];
            painter.setPen(colours.color(QPalette::Active, QPalette::Mid));
            painter.drawLine(x, y, x, y + RowHeight);
            x += 1;
        }
        y += RowHeight;
        painter.setPen(colours.color(QPalette::Active, QPalette::Mid));
        painter.drawLine(0, y, x, y);
        y += 1;
    }
    if (!likenessWords.isEmpty()) {
        painter.setPen(colours.color(QPalette::Active, QPalette::WindowText));
        painter.setFont(bold);
        painter.drawText(QRect(TextInset, y + TextInset, width() - TextInset, RowHeight),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, likenessWords);
    }
}

} // namespace sortello
