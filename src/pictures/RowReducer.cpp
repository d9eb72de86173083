// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/RowReducer.h"

#include <algorithm>

namespace sortello {

RowReducer::RowReducer(const QSize& source, QImage& into, RowAlpha alpha)
    : target(into), alpha(alpha), sourceHeight(source.height()),
      firstColumn(size_t(into.width()) + 1), sums(size_t(into.width()) * 4) {
    const qint64 from = source.width();
    const qint64 to = into.width();
    for (qint64 t = 0; t <= to; ++t)
        firstColumn[size_t(t)] = int((t * from + to - 1) / to);
}

void RowReducer::addRow(const QRgb* row) {
    // One loop for each kind, so that the one over every pixel asks nothing.
    switch (alpha) {
    case RowAlpha::None:
        sumRow<RowAlpha::None>(row);
        break;
    case RowAlpha::Straight:
        sumRow<RowAlpha::Straight>(row);
        break;
    case RowAlpha::Premultiplied:
        sumRow<RowAlpha::Premultiplied>(row);
        break;
    }
    ++rowsSummed;
    const int targetRow = rowOf(sourceY);
    if (++sourceY == sourceHeight || rowOf(sourceY) != targetRow)
        flush(targetRow);
}

template <RowAlpha Kind> void RowReducer::sumRow(const QRgb* row) {
    quint64* sum = sums.data();
    for (size_t t = 0; t + 1 < firstColumn.size(); ++t, sum += 4) {
        quint64 r = 0, g = 0, b = 0, a = 0;
        for (int x = firstColumn[t]; x < firstColumn[t + 1]; ++x) {
            const QRgb p = row[x];
            const uint weight = Kind == RowAlpha::Straight ? uint(qAlpha(p)) : 1;
            r += uint(qRed(p)) * weight;
            g += uint(qGreen(p)) * weight;
            b += uint(qBlue(p)) * weight;
            if constexpr (Kind != RowAlpha::None)
                a += uint(qAlpha(p));
        }
        sum[0] += r;
        sum[1] += g;
        sum[2] += b;
        sum[3] += a;
    }
}

int RowReducer::rowOf(int y) const {
    return int(qint64(y) * target.height() / sourceHeight);
}

void RowReducer::flush(int targetRow) {
    auto* out = reinterpret_cast<QRgb*>(target.scanLine(targetRow));
    const quint64* sum = sums.data();
    for (size_t t = 0; t + 1 < firstColumn.size(); ++t, sum += 4) {
        const quint64 n = quint64(rowsSummed) * quint64(firstColumn[t + 1] - firstColumn[t]);
        // Straight, the sums are of colour times alpha, which divided by
        // 255 n is the premultiplied mean; else the sums are of the colours
        // as given, premultiplied or opaque.
        const quint64 d = alpha == RowAlpha::Straight ? n * 255 : n;
        const auto mean = [d](quint64 s) { return int((s + d / 2) / d); };
        out[t] = qRgba(mean(sum[0]), mean(sum[1]), mean(sum[2]),
                       alpha == RowAlpha::None ? 255 : int((sum[3] + n / 2) / n));
    }
    std::fill(sums.begin(), sums.end(), 0);
    rowsSummed = 0;
}

} // namespace sortello
