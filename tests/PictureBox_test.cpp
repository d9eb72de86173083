// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Error.h"
#include "support/TempFiles.h"
#include "widgets/PictureBox.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace sortello;
using sortello::test::TempFolder;

namespace {

QImage paint(PictureBox& box) {
    QImage shot(box.size(), QImage::Format_ARGB32);
    shot.fill(Qt::magenta);
    box.render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);
    return shot;
}

// A bitmap with a blue border one pixel wide around red, and a green
// bottom-left corner pixel, the colour Transparent keys out.
QString writeBitmap(const TempFolder& dir, const QString& name, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.setPixel(0, size.height() - 1, qRgb(0, 255, 0));
    image.setPixel(size.width() - 1, 0, qRgb(0, 255, 0));
    const QString path = dir.file(name);
    EXPECT_TRUE(image.save(path, "BMP"));
    return path;
}

// Auto size is off where a test needs the control to keep its size: a
// control placed by hand takes its picture's size.
TEST(PictureBox, DrawsByThePlacementRule) {
    TempFolder dir;
    PictureBox box;
    box.setAutoSize(false);
    box.resize(400, 300);
    box.load(writeBitmap(dir, QStringLiteral("wide.bmp"), QSize(200, 50)));
    EXPECT_EQ(box.picture().size(), QSize(200, 50));
    EXPECT_EQ(box.pictureRect(), QRect(0, 100, 400, 100));
    const QImage shot = paint(box);
    EXPECT_EQ(shot.pixel(200, 150), qRgb(255, 0, 0));
    EXPECT_EQ(shot.pixel(200, 50), QColor(Qt::magenta).rgb()); // background shows above
}

TEST(PictureBox, OptionsChangeThePlacementAtOnce) {
    TempFolder dir;
    PictureBox box;
    box.setAutoSize(false);
    box.resize(400, 300);
    box.load(writeBitmap(dir, QStringLiteral("small.bmp"), QSize(40, 30)));
    box.setStretch(false);
    EXPECT_EQ(box.pictureRect(), QRect(180, 135, 40, 30));
    box.setCenter(false);
    EXPECT_EQ(box.pictureRect(), QRect(0, 0, 40, 30));
    const QImage shot = paint(box);
    EXPECT_EQ(shot.pixel(20, 15), qRgb(255, 0, 0));
    EXPECT_EQ(shot.pixel(100, 100), QColor(Qt::magenta).rgb());
}

TEST(PictureBox, TransparentKeysOutTheBottomLeftColourOfBitmaps) {
    TempFolder dir;
    PictureBox box;
    box.resize(40, 30);
    DisplayOptions options;
    options.stretch = false;
    options.center = false;
    options.transparent = true;
    box.setOptions(options);
    box.load(writeBitmap(dir, QStringLiteral("keyed.bmp"), QSize(40, 30)));
    QImage shot = paint(box);
    EXPECT_EQ(shot.pixel(0, 29), QColor(Qt::magenta).rgb()); // keyed out
    EXPECT_EQ(shot.pixel(39, 0), QColor(Qt::magenta).rgb()); // same colour elsewhere too
    EXPECT_EQ(shot.pixel(20, 15), qRgb(255, 0, 0));
    box.setTransparent(false);
    shot = paint(box);
    EXPECT_EQ(shot.pixel(0, 29), qRgb(0, 255, 0));
}

TEST(PictureBox, AFailedLoadKeepsThePreviousPicture) {
    TempFolder dir;
    PictureBox box;
    box.setAutoSize(false);
    box.resize(100, 100);
    const QString good = writeBitmap(dir, QStringLiteral("good.bmp"), QSize(10, 10));
    box.load(good);
    sortello::test::writeFile(dir.file(QStringLiteral("bad.bmp")), "not a bitmap at all");
    EXPECT_THROW(box.load(dir.file(QStringLiteral("bad.bmp"))), Error);
    EXPECT_THROW(box.load(dir.file(QStringLiteral("x.png"))), Error);
    EXPECT_EQ(box.picture().path(), good);
    EXPECT_EQ(paint(box).pixel(50, 50), qRgb(255, 0, 0));
}

TEST(PictureBox, AutoSizeFollowsThePictureOutsideALayout) {
    TempFolder dir;
    QWidget parent;
    parent.resize(500, 500);
    auto* box = new PictureBox(&parent);
    box->resize(10, 10);
    box->load(writeBitmap(dir, QStringLiteral("a.bmp"), QSize(120, 80)));
    EXPECT_EQ(box->size(), QSize(120, 80));
    EXPECT_EQ(box->sizeHint(), QSize(120, 80));
    box->load(writeBitmap(dir, QStringLiteral("b.bmp"), QSize(900, 80)));
    EXPECT_EQ(box->size(), QSize(500, 80)); // as far as its parent allows
}

TEST(PictureBox, ALeftClickIsReported) {
    PictureBox box;
    box.resize(50, 50);
    QSignalSpy clicks(&box, &PictureBox::clicked);
    QTest::mouseClick(&box, Qt::LeftButton);
    QTest::mouseClick(&box, Qt::RightButton);
    EXPECT_EQ(clicks.count(), 1);
}

} // namespace
