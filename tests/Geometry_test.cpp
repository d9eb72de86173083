// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Geometry.h"

#include <gtest/gtest.h>

using namespace sortello;

namespace {

const QRect Screen(0, 0, 1280, 1024);

TEST(CenterOnOwner, CentresOverTheReference) {
    EXPECT_EQ(centeredPosition(Screen, QSize(300, 200), QRect(100, 100, 600, 400)),
              QPoint(100 + 300 - 150, 100 + 200 - 100));
}

TEST(CenterOnOwner, WithoutReferenceStaysCentredOnTheScreen) {
    EXPECT_EQ(centeredPosition(Screen, QSize(301, 201), std::nullopt),
              QPoint(640 - 150, 512 - 100));
    // No clamping without a reference, even for a form larger than the screen.
    EXPECT_EQ(centeredPosition(Screen, QSize(2000, 100), std::nullopt), QPoint(640 - 1000, 462));
}

TEST(CenterOnOwner, ClampsAtTheRightEdge) {
    // 800 + 500 - 150 = 1150 would run off a 1280-pixel screen.
    EXPECT_EQ(centeredPosition(Screen, QSize(300, 100), QRect(800, 0, 1000, 400)).x(), 980);
}

TEST(CenterOnOwner, ClampsAtTheLeftAndTopEdges) {
    const QPoint at = centeredPosition(Screen, QSize(300, 300), QRect(-500, -400, 400, 300));
    EXPECT_EQ(at, QPoint(0, 0));
}

TEST(CenterOnOwner, ClampsAtTheBottomEdge) {
    EXPECT_EQ(centeredPosition(Screen, QSize(100, 300), QRect(0, 900, 100, 100)).y(), 1024 - 300);
}

TEST(CenterOnOwner, LeftEdgeWinsForAFormWiderThanTheScreen) {
    // Left is clamped to 0 first; the right-edge rule is then not applied.
    EXPECT_EQ(centeredPosition(Screen, QSize(1400, 100), QRect(0, 0, 100, 100)).x(), 0);
}

TEST(CenterOnOwner, DivisionTruncatesTowardZero) {
    // 101 div 2 is 50 and 3 div 2 is 1: 10 + 50 - 1 = 59.
    EXPECT_EQ(centeredPosition(Screen, QSize(3, 3), QRect(10, 10, 101, 101)), QPoint(59, 59));
}

TEST(AnimateForm, GrowsFromTheReferenceCentre) {
    EXPECT_EQ(animationOrigin(QRect(100, 50, 401, 301)), QRect(300, 200, 1, 1));
}

} // namespace
