// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/SavePictureDialog.h"
#include "support/TempFiles.h"

#include <QImage>
#include <QLabel>
#include <gtest/gtest.h>

using namespace sortello;

namespace {

TEST(SavePictureDialog, PreviewsTheSelectedPicture) {
    test::TempFolder dir;
    QImage image(300, 100, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(dir.file(QStringLiteral("wide.bmp")), "BMP"));
    test::writeFile(dir.file(QStringLiteral("broken.jpg")), "not a picture");

    SavePictureDialog dialog(nullptr, QStringLiteral("Save wide.bmp as"), dir.path(), true);
    auto* preview = dialog.findChild<QLabel*>(QStringLiteral("Preview"));
    ASSERT_NE(preview, nullptr);
    Q_EMIT dialog.currentChanged(dir.file(QStringLiteral("wide.bmp")));
    EXPECT_EQ(preview->pixmap().size(), QSize(200, 66));
    Q_EMIT dialog.currentChanged(dir.file(QStringLiteral("broken.jpg")));
    EXPECT_TRUE(preview->pixmap().isNull());
    EXPECT_FALSE(preview->text().isEmpty());
    Q_EMIT dialog.currentChanged(dir.path());
    EXPECT_TRUE(preview->text().isEmpty());
}

} // namespace
