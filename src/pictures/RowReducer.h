// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Averages rows of 32-bit pixels, given top to bottom, into a smaller image as
// they come, so that a decoder that gives rows never holds a large picture
// whole: each pixel of the smaller image is the mean of the box of pixels it
// covers. Red and blue are summed alike, so rows with the two swapped give the
// smaller image with them swapped; alpha is the top byte either way.
#include <QImage>
#include <QSize>
#include <vector>

namespace sortello {

// What the top byte of the given pixels means.
enum class RowAlpha {
    None,          // nothing: the smaller image is opaque
    Straight,      // alpha, the colours not multiplied by it
    Premultiplied, // alpha, the colours already multiplied by it
};

class RowReducer {
public:
    // `into` is the smaller image, 32 bits a pixel (premultiplied when the
    // rows have alpha), and must outlive the reducer; `source` is the size of
    // the picture whose rows come.
    RowReducer(const QSize& source, QImage& into, RowAlpha alpha);

    // One row of `source`'s width; the rows of each target row are averaged
    // into it when its last one comes.
    void addRow(const QRgb* row);

private:
    template <RowAlpha Kind> void sumRow(const QRgb* row);
    int rowOf(int y) const;
    void flush(int targetRow);

    QImage& target;
    RowAlpha alpha;
    int sourceHeight;
    std::vector<int> firstColumn; // the first source column of each target one, and the end
    std::vector<quint64> sums;    // red, green, blue, alpha for each target pixel
    int sourceY = 0;
    int rowsSummed = 0;
};

} // namespace sortello
