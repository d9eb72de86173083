// SPDX-License-Identifier: GPL-3.0-or-later
// The metafile converters in this process, without the helper's memory limit:
// a bitmap inside a WMF is read only when its header fits the bytes it came
// with, since libwmf allocates whatever pixel count a header declares.
#include "support/TempFiles.h"

#include <QtEndian>
#include <climits>
#include <gtest/gtest.h>

// libwmf's headers define U16 and friends as macros, which Qt's must not see.
#include "WmfSvgDevice.h"
#include "WmfToSvg.h"

using namespace sortello::metafile;

namespace {

// A bitmap: a 40-byte information header, or the 12-byte OS/2 one, then
// dataBytes bytes of pixels.
QByteArray bitmap(qint32 width, qint32 height, quint16 bits, quint32 compression, int dataBytes,
                  bool os2 = false) {
    QByteArray b(os2 ? 12 : 40, '\0');
    char* p = b.data();
    qToLittleEndian<quint32>(quint32(b.size()), p);
    if (os2) {
        qToLittleEndian<quint16>(quint16(width), p + 4);
        qToLittleEndian<quint16>(quint16(height), p + 6);
        qToLittleEndian<quint16>(1, p + 8);
        qToLittleEndian<quint16>(bits, p + 10);
    } else {
        qToLittleEndian<qint32>(width, p + 4);
        qToLittleEndian<qint32>(height, p + 8);
        qToLittleEndian<quint16>(1, p + 12);
        qToLittleEndian<quint16>(bits, p + 14);
        qToLittleEndian<quint32>(compression, p + 16);
    }
    return b + QByteArray(dataBytes, '\x7f');
}

bool fits(const QByteArray& b) {
    return bitmapFitsItsRecord(reinterpret_cast<const unsigned char*>(b.constData()), b.size());
}

constexpr quint32 Rgb = 0;
constexpr quint32 Rle8 = 1;

TEST(WmfBitmap, ReadOnlyWhenTheHeaderFitsTheBytes) {
    // 2 x 2 at 24 bits: rows of 6 bytes padded to 8.
    EXPECT_TRUE(fits(bitmap(2, 2, 24, Rgb, 16)));
    EXPECT_TRUE(fits(bitmap(2, -2, 24, Rgb, 16))) << "top-down rows";
    EXPECT_TRUE(fits(bitmap(2, 2, 24, Rgb, 16, true))) << "OS/2 header";
    EXPECT_FALSE(fits(bitmap(2, 2, 24, Rgb, 15))) << "a row cut short";
    EXPECT_FALSE(fits(bitmap(0, 2, 24, Rgb, 16)));
    EXPECT_FALSE(fits(bitmap(-1, 1, 24, Rgb, 16)));
    EXPECT_FALSE(fits(bitmap(2, 0, 24, Rgb, 16)));
    EXPECT_FALSE(fits(bitmap(2, 2, 0, Rgb, 16)));
    EXPECT_FALSE(fits(bitmap(1, INT_MIN, 1, Rgb, 16)));
    EXPECT_FALSE(fits(bitmap(65535, 65535, 32, Rgb, 64)));
    // Run-length data says nothing about the pixel count, which is held to the limit.
    EXPECT_TRUE(fits(bitmap(4000, 4000, 8, Rle8, 2)));
    EXPECT_FALSE(fits(bitmap(10000, 10000, 8, Rle8, 2)));
}

TEST(WmfBitmap, AHeaderCutShortOrUnknownIsRefused) {
    const QByteArray whole = bitmap(2, 2, 24, Rgb, 16);
    EXPECT_FALSE(fits(whole.left(30)));
    EXPECT_FALSE(fits(whole.left(8)));
    QByteArray odd = whole;
    qToLittleEndian<quint32>(7, odd.data());
    EXPECT_FALSE(fits(odd));
    EXPECT_FALSE(bitmapFitsItsRecord(nullptr, 100));
}

// Found by fuzzing: a 190-byte WMF whose bitmap record made libwmf ask for 12 GB.
TEST(WmfBitmap, AHugeDeclaredBitmapIsLeftOutOfTheDrawing) {
    const QByteArray file =
        sortello::test::readFile(QStringLiteral(SORTELLO_FIXTURES "/bitmap-bomb.wmf"));
    ASSERT_EQ(file.size(), 190);
    const Conversion drawing = convertWmf(std::string_view(file.constData(), file.size()));
    EXPECT_GT(drawing.size.width, 0);
    EXPECT_NE(drawing.svg.find("<path"), std::string::npos);
    EXPECT_EQ(drawing.svg.find("<image"), std::string::npos);
}

} // namespace
