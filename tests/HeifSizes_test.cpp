// SPDX-License-Identifier: GPL-3.0-or-later
// The output size a HEIF grid item describes, read from hand-made boxes: the
// item table, the location table and the grid's bytes in 'idat' or the file.
#include "pictures/HeifSizes.h"

#include <gtest/gtest.h>

using namespace sortello;

namespace {

QByteArray box(const char* type, const QByteArray& payload) {
    QByteArray bytes;
    const quint32 size = quint32(8 + payload.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char(size >> shift));
    return bytes + type + payload;
}

// meta with one grid item (id 1) whose description sits at `offset`
// in 'idat' (method 1) or in the file (method 0).
QByteArray withGrid(const QByteArray& grid, int method, int offset) {
    const QByteArray infe = box("infe", QByteArray("\x02\0\0\0\0\x01\0\0grid", 12));
    const QByteArray iinf = box("iinf", QByteArray("\0\0\0\0\0\x01", 6) + infe);
    QByteArray iloc("\x01\0\0\0\x44\0\0\x01\0\x01\0", 11);
    iloc += char(method);
    iloc += QByteArray("\0\0\0\x01\0\0\0", 7) + char(offset) + QByteArray("\0\0\0", 3) +
            char(grid.size());
    const QByteArray idat = box("idat", method == 1 ? grid : QByteArray());
    return box("meta", QByteArray(4, '\0') + iinf + box("iloc", iloc) + idat) +
           (method == 0 ? grid : QByteArray());
}

} // namespace

TEST(HeifSizes, GridAreaComesFromItsOwnDescription) {
    // Version 0, 16-bit fields, one tile, 300 x 200.
    const QByteArray grid("\0\0\0\0\x01\x2C\0\xC8", 8);
    EXPECT_EQ(largestGridArea(withGrid(grid, 1, 0)), 60000);
    const QByteArray inIdat = withGrid(grid, 1, 0);
    // In the file itself, just after the meta box.
    const QByteArray inFile = withGrid(grid, 0, 0);
    EXPECT_EQ(largestGridArea(withGrid(grid, 0, char(inFile.size() - 8))), 60000);
    // Cut short or pointing past the end: nothing is read, nothing crashes.
    EXPECT_EQ(largestGridArea(inIdat.left(inIdat.size() - 4)), 0);
    EXPECT_EQ(largestGridArea(withGrid(grid, 0, 120)), 0);
    EXPECT_EQ(largestHevcCodedArea(inIdat), 0);
    // 32-bit sides of four billion: an area far past any picture, not an
    // overflow.
    const QByteArray huge("\0\x01\0\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 12);
    EXPECT_GT(largestGridArea(withGrid(huge, 1, 0)), 0);
}
