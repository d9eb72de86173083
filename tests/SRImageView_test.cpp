// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/SRImageView.h"

#include "base/Error.h"
#include "pictures/Picture.h"
#include "support/Controls.h"
#include "support/MetafileFixtures.h"
#include "support/Workspace.h"
#include "widgets/PictureBox.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace sortello;
using namespace sortello::test;

namespace {

QRect screen() {
    return QGuiApplication::primaryScreen()->geometry();
}

// The viewer over a main window stand-in away from the screen's centre, run
// through ImageClick with scripted prompts.
class Viewer : public ::testing::Test {
protected:
    void SetUp() override {
        owner.setGeometry(60, 50, 500, 400);
        owner.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    }

    QString picture(QSize size, QColor colour = Qt::darkCyan, const char* name = "p.bmp") {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        image.setPixel(9, 9, qRgb(10, 200, 30));
        const QString path = dir.file(QString::fromLatin1(name));
        EXPECT_TRUE(image.save(path));
        return path;
    }

    // `look` sees the viewer before it is shown and returns the modal result.
    void view(const QString& path, DisplayOptions& options,
              const std::function<int(TFrmSRImageView&)>& look) {
        bool looked = false;
        prompts.dialogScripts.push_back([&](QDialog& dialog) {
            looked = true;
            EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
            return look(static_cast<TFrmSRImageView&>(dialog));
        });
        ImageClick(&owner, prompts, Picture::open(path), options);
        EXPECT_TRUE(looked);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(prompts.dialogsRun.back(), QStringLiteral("FrmSRImageView"));
    }

    static void show(TFrmSRImageView& viewer, QSize size = {}) {
        viewer.show();
        viewer.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&viewer));
        if (size.isValid())
            viewer.resize(size);
        // The window system answers a maximised show or a resize with events.
        QTest::qWait(20);
    }

    TempFolder dir;
    QWidget owner;
    FakePrompts prompts;
};

TEST_F(Viewer, ASmallPictureOpensAtItsOwnSizeOverTheMainWindow) {
    DisplayOptions options;
    view(picture({200, 150}), options, [&](TFrmSRImageView& viewer) {
        const QRect main = owner.frameGeometry();
        EXPECT_EQ(viewer.pos(),
                  QPoint(main.x() + main.width() / 2 - 100, main.y() + main.height() / 2 - 75));
        show(viewer);
        EXPECT_EQ(viewer.windowTitle(), QStringLiteral("Sortello - Zoom"));
        EXPECT_FALSE(viewer.isMaximized());
        EXPECT_EQ(viewer.size(), QSize(200, 150));
        EXPECT_EQ(child<PictureBox>(viewer, "Image")->geometry(), QRect(0, 0, 200, 150));
        const QRect outer = viewer.frameGeometry();
        EXPECT_EQ(outer.topLeft(), QPoint(main.x() + (main.width() - outer.width()) / 2,
                                          main.y() + (main.height() - outer.height()) / 2));
        EXPECT_FALSE(child<QScrollArea>(viewer, "ScrollBox")->horizontalScrollBar()->isVisible());
        EXPECT_FALSE(child<QScrollArea>(viewer, "ScrollBox")->verticalScrollBar()->isVisible());
        EXPECT_EQ(viewer.checkedOptions(), DisplayOptions{});
        EXPECT_EQ(child<PictureBox>(viewer, "Image")->options(), DisplayOptions{});
        // The margins match the picture near its top-left corner.
        EXPECT_EQ(viewer.backgroundColour(), QColor(10, 200, 30));
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(options, DisplayOptions{});
}

struct Oversize {
    QSize picture;
    bool across;
    bool down;
};

class LargePicture : public Viewer, public ::testing::WithParamInterface<Oversize> {};

TEST_P(LargePicture, OpensMaximisedWithScrollBarsWhereItOverflows) {
    const Oversize o = GetParam();
    DisplayOptions options;
    view(picture(o.picture), options, [&](TFrmSRImageView& viewer) {
        EXPECT_TRUE(viewer.isMaximized());
        EXPECT_TRUE(menuItem(viewer, "MIImgAutoSize")->isChecked());
        show(viewer);
        EXPECT_LE(viewer.width(), screen().width());
        EXPECT_EQ(child<PictureBox>(viewer, "Image")->size(), o.picture);
        QScrollBar* across = child<QScrollArea>(viewer, "ScrollBox")->horizontalScrollBar();
        QScrollBar* down = child<QScrollArea>(viewer, "ScrollBox")->verticalScrollBar();
        EXPECT_EQ(across->isVisible(), o.across);
        EXPECT_EQ(down->isVisible(), o.down);
        const QSize seen = child<QScrollArea>(viewer, "ScrollBox")->viewport()->size();
        EXPECT_EQ(across->maximum(), o.across ? o.picture.width() - seen.width() : 0);
        EXPECT_EQ(down->maximum(), o.down ? o.picture.height() - seen.height() : 0);
        return int(QDialog::Accepted);
    });
    EXPECT_TRUE(options.autoSize);
}

INSTANTIATE_TEST_SUITE_P(Viewer, LargePicture,
                         ::testing::Values(Oversize{{1600, 1200}, true, true},
                                           Oversize{{1500, 100}, true, false},
                                           Oversize{{120, 1400}, false, true}));

TEST_F(Viewer, WithoutAutoSizeALargePictureIsScaledWithinTheWindow) {
    DisplayOptions options;
    options.autoSize = false;
    options.stretch = false;
    view(picture({1600, 1200}), options, [&](TFrmSRImageView& viewer) {
        show(viewer);
        EXPECT_FALSE(viewer.isMaximized());
        EXPECT_FALSE(viewer.autoSize());
        const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_LE(viewer.frameGeometry().height(), work.height());
        EXPECT_EQ(child<PictureBox>(viewer, "Image")->size(), viewer.size());
        EXPECT_FALSE(child<QScrollArea>(viewer, "ScrollBox")->horizontalScrollBar()->isVisible());
        // Shrunk to fit with its aspect kept, in the middle.
        const QRect drawn = child<PictureBox>(viewer, "Image")->pictureRect();
        EXPECT_TRUE(child<PictureBox>(viewer, "Image")->rect().contains(drawn));
        EXPECT_TRUE(drawn.width() == viewer.width() || drawn.height() == viewer.height());
        EXPECT_NEAR(double(drawn.width()) / drawn.height(), 4.0 / 3.0, 0.02);
        EXPECT_NEAR(drawn.center().x(), child<PictureBox>(viewer, "Image")->rect().center().x(), 1);

        // Auto-size on again: the picture's own size, maximised.
        menuItem(viewer, "MIImgAutoSize")->trigger();
        QTest::qWait(20);
        EXPECT_TRUE(viewer.isMaximized());
        EXPECT_EQ(child<PictureBox>(viewer, "Image")->size(), QSize(1600, 1200));
        return int(QDialog::Accepted);
    });
    EXPECT_TRUE(options.autoSize);
}

TEST_F(Viewer, TheAutoSizeItemCentresTheWindowOnTheScreen) {
    DisplayOptions options;
    view(picture({200, 150}), options, [&](TFrmSRImageView& viewer) {
        show(viewer, {400, 300});
        menuItem(viewer, "MIImgAutoSize")->trigger();
        QTest::qWait(20);
        EXPECT_EQ(child<PictureBox>(viewer, "Image")->size(), QSize(400, 300));
        menuItem(viewer, "MIImgAutoSize")->trigger();
        QTest::qWait(20);
        EXPECT_EQ(viewer.size(), QSize(200, 150));
        const QRect outer = viewer.frameGeometry();
        EXPECT_EQ(outer.topLeft(), QPoint(screen().width() / 2 - outer.width() / 2,
                                          screen().height() / 2 - outer.height() / 2));
        return int(QDialog::Accepted);
    });
}

struct Placing {
    QPoint owner;  // the main window's top-left corner
    QSize picture; // larger than the screen: opens maximised, AutoSize is then unchecked
};

void PrintTo(const Placing& p, std::ostream* out) {
    *out << "main window at " << p.owner.x() << "," << p.owner.y() << ", picture "
         << p.picture.width() << "x" << p.picture.height();
}

class ViewerPlacement : public Viewer, public ::testing::WithParamInterface<Placing> {};

// Wherever the main window stands and however large the picture, the viewer's
// frame, title bar included, stays within the screen's work area.
TEST_P(ViewerPlacement, TheFrameStaysOnTheScreen) {
    const Placing p = GetParam();
    owner.move(p.owner);
    DisplayOptions options;
    view(picture(p.picture), options, [&](TFrmSRImageView& viewer) {
        const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
        // Opened maximised, the place it returns to is the one it has now:
        // a window system restores that, whatever it was told since.
        if (viewer.isMaximized()) {
            EXPECT_TRUE(work.contains(QRect(viewer.pos(), viewer.outerSize())))
                << viewer.pos().x() << "," << viewer.pos().y();
        }
        show(viewer);
        if (viewer.isMaximized()) {
            menuItem(viewer, "MIImgAutoSize")->trigger();
            QTest::qWait(20);
            EXPECT_FALSE(viewer.isMaximized());
        }
        EXPECT_TRUE(work.contains(viewer.frameGeometry()))
            << viewer.frameGeometry().x() << "," << viewer.frameGeometry().y() << " "
            << viewer.frameGeometry().width() << "x" << viewer.frameGeometry().height();
        return int(QDialog::Accepted);
    });
}

INSTANTIATE_TEST_SUITE_P(Viewer, ViewerPlacement,
                         ::testing::Values(Placing{{60, 50}, {2000, 1500}},
                                           Placing{{60, 50}, {300, 1500}},
                                           Placing{{-400, -300}, {300, 200}},
                                           Placing{{700, 500}, {300, 200}}));

class OptionRoundTrip : public Viewer, public ::testing::WithParamInterface<int> {};

// Each option handed in flipped, seen in the viewer, flipped back through its
// menu item and handed out again.
TEST_P(OptionRoundTrip, GoesInAndComesBack) {
    bool DisplayOptions::*const fields[] = {&DisplayOptions::autoSize, &DisplayOptions::center,
                                            &DisplayOptions::proportional, &DisplayOptions::stretch,
                                            &DisplayOptions::transparent};
    DisplayOptions options;
    options.*fields[GetParam()] = !(options.*fields[GetParam()]);
    const DisplayOptions handedIn = options;
    view(picture({60, 40}), options, [&](TFrmSRImageView& viewer) {
        QAction* items[] = {menuItem(viewer, "MIImgAutoSize"), menuItem(viewer, "MIImgCenter"),
                            menuItem(viewer, "MIImgProportional"), menuItem(viewer, "MIImgStretch"),
                            menuItem(viewer, "MIImgTransparent")};
        EXPECT_EQ(viewer.checkedOptions(), handedIn);
        EXPECT_EQ(child<PictureBox>(viewer, "Image")->options(), handedIn);
        show(viewer);
        items[GetParam()]->trigger();
        EXPECT_EQ(child<PictureBox>(viewer, "Image")->options(), DisplayOptions{});
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(options, DisplayOptions{});
}

INSTANTIATE_TEST_SUITE_P(Viewer, OptionRoundTrip, ::testing::Range(0, 5));

class ViewerKeys : public Viewer, public ::testing::WithParamInterface<std::pair<Qt::Key, bool>> {};

TEST_P(ViewerKeys, OnlyKeysThatTypeACharacterClose) {
    const auto [key, closes] = GetParam();
    DisplayOptions options;
    view(picture({1200, 900}), options, [&](TFrmSRImageView& viewer) {
        show(viewer);
        if (key == Qt::Key_Delete) // typed as DEL on X11
            QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), key, QChar(0x7F), {});
        else
            QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_EQ(viewer.isVisible(), !closes);
        EXPECT_EQ(viewer.result(), closes ? QDialog::Accepted : QDialog::Rejected);
        return viewer.result();
    });
}

INSTANTIATE_TEST_SUITE_P(
    Viewer, ViewerKeys,
    ::testing::Values(std::pair{Qt::Key_Escape, true}, std::pair{Qt::Key_Return, true},
                      std::pair{Qt::Key_Enter, true}, std::pair{Qt::Key_X, true},
                      std::pair{Qt::Key_Space, true}, std::pair{Qt::Key_Backspace, true},
                      std::pair{Qt::Key_5, true}, std::pair{Qt::Key_Left, false},
                      std::pair{Qt::Key_Down, false}, std::pair{Qt::Key_F5, false},
                      std::pair{Qt::Key_Shift, false}, std::pair{Qt::Key_Delete, false}));

TEST_F(Viewer, ARightClickOpensTheMenuAndALeftClickCloses) {
    const QString path = picture({200, 150});
    for (bool onPicture : {true, false}) {
        DisplayOptions options;
        view(path, options, [&](TFrmSRImageView& viewer) {
            show(viewer, {400, 300}); // a margin beside the picture
            QWidget* target = onPicture ? static_cast<QWidget*>(child<PictureBox>(viewer, "Image"))
                                        : child<QScrollArea>(viewer, "ScrollBox")->viewport();
            const QPoint at = onPicture ? QPoint(100, 70) : QPoint(300, 250);
            // Through the window, which makes a context menu event of it.
            QTest::mouseClick(viewer.windowHandle(), Qt::RightButton, {},
                              target->mapTo(&viewer, at));
            EXPECT_TRUE(child<QMenu>(viewer, "PopupMenu1")->isVisible());
            child<QMenu>(viewer, "PopupMenu1")->close();
            EXPECT_TRUE(viewer.isVisible());
            QTest::mouseClick(target, Qt::LeftButton, {}, at);
            EXPECT_FALSE(viewer.isVisible());
            return viewer.result();
        });
    }
    QStringList items;
    TFrmSRImageView viewer;
    for (QAction* item : child<QMenu>(viewer, "PopupMenu1")->actions())
        items << item->objectName() + QLatin1Char('=') + item->text() +
                     (item->isChecked() ? QStringLiteral("+") : QString());
    EXPECT_EQ(items, QStringList({"MIImgAutoSize=AutoSize+", "MIImgCenter=Center+",
                                  "MIImgProportional=Proportional+", "MIImgStretch=Stretch+",
                                  "MIImgTransparent=Transparent"}));
}

TEST_F(Viewer, TheBackgroundFillsTheMarginsAroundThePicture) {
    DisplayOptions options;
    options.stretch = false;
    options.autoSize = false;
    view(picture({60, 40}, Qt::blue), options, [&](TFrmSRImageView& viewer) {
        show(viewer, {300, 200});
        const QImage shot = viewer.grab().toImage();
        EXPECT_EQ(shot.pixelColor(5, 5), QColor(10, 200, 30));
        EXPECT_EQ(shot.pixelColor(150, 100), QColor(Qt::blue));
        return int(QDialog::Accepted);
    });
    // Pixel (9, 9) beyond a small picture is the scratch bitmap's white.
    EXPECT_EQ(scratchBackground(QImage(5, 5, QImage::Format_RGB32)), QColor(Qt::white));
}

// Every other pair of columns black: a picture decoded at a reduced scale
// cannot show it.
TEST_F(Viewer, ShowsThePictureAtFullResolution) {
    QImage stripes(1600, 1200, QImage::Format_RGB32);
    for (int x = 0; x < stripes.width(); ++x)
        for (int y = 0; y < stripes.height(); ++y)
            stripes.setPixel(x, y, (x / 2) % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    const QString path = dir.file(QStringLiteral("stripes.jpg"));
    ASSERT_TRUE(stripes.save(path, "JPEG", 100));
    DisplayOptions options;
    view(path, options, [&](TFrmSRImageView& viewer) {
        show(viewer);
        const QImage shot = child<PictureBox>(viewer, "Image")->grab(QRect(0, 0, 64, 8)).toImage();
        const QImage full = Picture::open(path).fullImage();
        for (int x = 0; x < 64; ++x)
            EXPECT_NEAR(qGray(shot.pixel(x, 4)), qGray(full.pixel(x, 4)), 40) << x;
        EXPECT_LT(qGray(shot.pixel(2, 4)), 60);
        return int(QDialog::Accepted);
    });
}

// A metafile declaring a poster's size is shown at the largest size it is
// drawn at, not scaled up to hundreds of megapixels.
TEST_F(Viewer, AHugeMetafileIsShownAtABoundedSize) {
    // ctest names the helper program; started by hand, the test finds it
    // where the build puts it.
    if (qEnvironmentVariableIsEmpty("SORTELLO_METAFILE_HELPER"))
        qputenv(
            "SORTELLO_METAFILE_HELPER",
            QFile::encodeName(QCoreApplication::applicationDirPath() + "/../sortello-metafile"));
    MetafileSample poster;
    poster.size = {25000, 12500};
    poster.shape = {5000, 2500, 15000, 7500};
    const QString path = dir.file(QStringLiteral("poster.emf"));
    ASSERT_TRUE(writeEmf(path, poster));
    DisplayOptions options;
    view(path, options, [&](TFrmSRImageView& viewer) {
        const QSize shown = child<PictureBox>(viewer, "Image")->size();
        EXPECT_LE(qint64(shown.width()) * shown.height(), MaxMetafileImagePixels);
        EXPECT_NEAR(double(shown.width()) / shown.height(), 2.0, 0.01);
        return int(QDialog::Accepted);
    });
}

TEST_F(Viewer, APictureThatFailsInFullLeavesTheOptionsAndTheCursor) {
    DisplayOptions options;
    options.transparent = true;
    // Its header opens; the full decode finds the file cut short.
    const Picture truncated = Picture::open(QStringLiteral(SORTELLO_FIXTURES "/truncated.jpg"));
    EXPECT_THROW(ImageClick(&owner, prompts, truncated, options), Error);
    EXPECT_TRUE(options.transparent);
    EXPECT_TRUE(prompts.dialogsRun.empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(owner.findChildren<TFrmSRImageView*>().isEmpty());
}

// The main window carries the options from one viewing to the next and,
// through its settings file, across a restart.
TEST(ViewerInWorkspace, TransparentSurvivesARestart) {
    Workspace ws;
    ws.writeSettings();
    ws.picture(ws.source() + QStringLiteral("a.bmp"), QSize(120, 90), Qt::yellow);
    const std::pair<bool, bool> viewings[] = {
        {false, true}, {true, false}, {true, true}, {false, false}};
    for (const auto& [expected, toggle] : viewings) {
        ws.open();
        ws.select(0);
        ws.prompts.dialogScripts.push_back([&](QDialog& viewer) {
            EXPECT_EQ(menuItem(viewer, "MIImgTransparent")->isChecked(), expected);
            EXPECT_EQ(child<PictureBox>(viewer, "Image")->options().transparent, expected);
            EXPECT_EQ(child<PictureBox>(viewer, "Image")->picture().size(), QSize(120, 90));
            if (toggle)
                menuItem(viewer, "MIImgTransparent")->trigger();
            return int(QDialog::Accepted);
        });
        QTest::mouseClick(ws.imageNew(), Qt::LeftButton, {}, ws.imageNew()->rect().center());
        EXPECT_TRUE(ws.prompts.dialogScripts.empty());
        ws.close();
    }
}

} // namespace
