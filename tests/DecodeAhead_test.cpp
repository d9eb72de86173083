// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/DecodeAhead.h"
#include "support/TempFiles.h"

#include <QBuffer>
#include <gtest/gtest.h>

using namespace sortello;
using namespace sortello::test;

namespace {

constexpr QRgb Red = 0xFFFF0000;
constexpr QRgb Blue = 0xFF0000FF;

void writeJpeg(const QString& path, int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "jpeg"));
    writeFile(path, bytes);
}

// A pane as large as the picture itself.
const TargetRule OwnSize = [](const QSize& picture) { return picture; };

std::optional<DecodedPicture> decodedNow(DecodeAhead& ahead, const QString& path) {
    ahead.want({{path, OwnSize}});
    ahead.waitIdle();
    return ahead.take(path, OwnSize);
}

bool reddish(QRgb pixel) {
    return qRed(pixel) > 200 && qBlue(pixel) < 60;
}

} // namespace

TEST(DecodeAhead, AFileChangedOnDiskIsDecodedAnewNotHandedOut) {
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("a.jpg"));
    writeJpeg(path, 64, 48, Red);
    setModificationTime(path, 1'600'000'000);
    DecodeAhead ahead;
    const auto first = decodedNow(ahead, path);
    ASSERT_TRUE(first);
    EXPECT_TRUE(reddish(first->image.pixel(10, 10)));
    // Same name, same size and time: only the inode tells it apart.
    const QString other = folder.file(QStringLiteral("b.jpg"));
    writeJpeg(other, 64, 48, Blue);
    setModificationTime(other, 1'600'000'000);
    ASSERT_TRUE(QFile::remove(path) && QFile::rename(other, path));
    EXPECT_FALSE(ahead.take(path, OwnSize)) << "the old picture of a rewritten file";
    const auto second = decodedNow(ahead, path);
    ASSERT_TRUE(second);
    EXPECT_FALSE(reddish(second->image.pixel(10, 10)));
}

TEST(DecodeAhead, ForgetsAnInvalidatedFileAndAnotherTargetSize) {
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("a.jpg"));
    writeJpeg(path, 64, 48, Red);
    DecodeAhead ahead;
    ASSERT_TRUE(decodedNow(ahead, path));
    EXPECT_FALSE(ahead.take(path, [](const QSize&) { return QSize(8, 6); }));
    ahead.invalidate(path);
    EXPECT_FALSE(ahead.take(path, OwnSize));
    EXPECT_EQ(ahead.bytesHeld(), 0);
}

TEST(DecodeAhead, NeverHoldsMoreThanItsByteLimit) {
    TempFolder folder;
    // Room for about two of them: a 200 x 200 image and its file.
    const qint64 limit = 2 * 200 * 200 * 4 + 20'000;
    DecodeAhead ahead(limit);
    QList<DecodeRequest> requests;
    for (int i = 0; i < 8; ++i) {
        const QString path = folder.file(QStringLiteral("p%1.jpg").arg(i));
        writeJpeg(path, 200, 200, Red);
        requests.append({path, OwnSize});
    }
    ahead.want(requests);
    ahead.waitIdle();
    EXPECT_GT(ahead.bytesHeld(), 0);
    EXPECT_LE(ahead.bytesHeld(), limit);
    EXPECT_LE(ahead.peakBytes(), limit);
}

TEST(DecodeAhead, QueuesABoundedNumberAndNoMetafiles) {
    DecodeAhead ahead;
    QList<DecodeRequest> many;
    for (int i = 0; i < 100'000; ++i)
        many.append({QStringLiteral("/nonexistent/%1.jpg").arg(i), OwnSize});
    ahead.want(many);
    EXPECT_LE(ahead.queued(), DecodeAhead::MaxQueued);
    ahead.want({{QStringLiteral("/nonexistent/a.wmf"), OwnSize},
                {QStringLiteral("/nonexistent/b.EMF"), OwnSize}});
    EXPECT_EQ(ahead.queued(), 0) << "metafiles are drawn by a helper the UI thread starts";
    ahead.waitIdle();
}
