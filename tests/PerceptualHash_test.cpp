// SPDX-License-Identifier: GPL-3.0-or-later
// Looks the same: a picture resized and saved again as a rougher JPEG still
// looks like itself, another picture does not, and neither does a plain
// picture of another colour.
#include "pictures/PerceptualHash.h"

#include <QBuffer>
#include <QPainter>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace sortello;

namespace {

// A scene with a sky, a horizon and objects at places the seed chooses, with
// a photo's fine noise, so that two seeds give two different pictures.
QImage scene(quint32 seed) {
    QRandomGenerator random(seed);
    QImage image(900, 600, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 600);
    sky.setColorAt(0, QColor::fromHsv(int(random.bounded(360)), 120, 230));
    sky.setColorAt(1, QColor::fromHsv(int(random.bounded(360)), 160, 90));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 12; ++i) {
        painter.setBrush(QColor::fromHsv(int(random.bounded(360)), 200, int(random.bounded(256))));
        painter.drawEllipse(QPoint(int(random.bounded(900)), int(random.bounded(600))),
                            int(random.bounded(40, 160)), int(random.bounded(40, 160)));
    }
    painter.end();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); x += 3) {
            const QColor c = image.pixelColor(x, y);
            const int d = int(random.bounded(13)) - 6;
            image.setPixelColor(x, y,
                                QColor(qBound(0, c.red() + d, 255), qBound(0, c.green() + d, 255),
                                       qBound(0, c.blue() + d, 255)));
        }
    return image;
}

QImage reencoded(const QImage& image, int quality) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "JPG", quality));
    return QImage::fromData(buffer.data(), "JPG");
}

LookPrint print(const QImage& image) {
    const std::optional<LookPrint> found = lookPrintOf(image);
    EXPECT_TRUE(found.has_value());
    return found.value_or(LookPrint{});
}

} // namespace

TEST(PerceptualHash, AResizedRougherCopyLooksTheSameAnotherPictureDoesNot) {
    const QImage photo = scene(1);
    const QImage smaller = photo.scaled(300, 200, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const LookPrint original = print(photo);
    EXPECT_TRUE(looksTheSame(original, print(reencoded(smaller, 50))));
    EXPECT_TRUE(looksTheSame(original, print(reencoded(photo, 30))));
    for (const quint32 seed : {2u, 3u, 4u})
        EXPECT_FALSE(looksTheSame(original, print(scene(seed)))) << seed;

    QImage red(64, 48, QImage::Format_RGB32);
    red.fill(Qt::red);
    QImage blue(640, 480, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    EXPECT_TRUE(looksTheSame(print(red), print(red.scaled(640, 480))));
    EXPECT_FALSE(looksTheSame(print(red), print(blue)));
    EXPECT_FALSE(lookPrintOf(QImage()).has_value());
}
