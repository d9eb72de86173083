// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/Placement.h"

#include <gtest/gtest.h>

using namespace sortello;

namespace {

struct PlacementCase {
    const char* title;
    QSize control;
    QSize picture;
    bool stretch;
    bool proportional;
    bool center;
    QRect expected;
};

void PrintTo(const PlacementCase& c, std::ostream* os) {
    *os << c.title;
}

class PicturePlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PicturePlacement, FollowsTheRule) {
    const PlacementCase& c = GetParam();
    DisplayOptions options;
    options.stretch = c.stretch;
    options.proportional = c.proportional;
    options.center = c.center;
    EXPECT_EQ(placePicture(c.control, c.picture, options), c.expected);
}

const QSize Pane(400, 300);

INSTANTIATE_TEST_SUITE_P(
    Cases, PicturePlacement,
    ::testing::Values(
        PlacementCase{
            "landscape fits the width", Pane, {800, 600}, true, true, true, {0, 0, 400, 300}},
        PlacementCase{"height truncated, offset truncated",
                      Pane,
                      {1000, 333},
                      true,
                      true,
                      true,
                      {0, 83, 400, 133}},
        PlacementCase{
            "portrait fits the height", Pane, {300, 1000}, true, true, true, {155, 0, 90, 300}},
        PlacementCase{"landscape too high falls back to the height",
                      {400, 100},
                      {500, 400},
                      true,
                      true,
                      true,
                      {137, 0, 125, 100}},
        PlacementCase{"portrait too wide falls back to the width",
                      {100, 400},
                      {300, 400},
                      true,
                      true,
                      true,
                      {0, 133, 100, 133}},
        PlacementCase{
            "square counts as portrait", Pane, {200, 200}, true, true, true, {50, 0, 300, 300}},
        PlacementCase{"small picture enlarged by stretch",
                      Pane,
                      {40, 30},
                      true,
                      true,
                      false,
                      {0, 0, 400, 300}},
        PlacementCase{"proportional alone keeps a small picture",
                      Pane,
                      {100, 50},
                      false,
                      true,
                      true,
                      {150, 125, 100, 50}},
        PlacementCase{"proportional alone shrinks a large one",
                      Pane,
                      {800, 200},
                      false,
                      true,
                      true,
                      {0, 100, 400, 100}},
        PlacementCase{"proportional alone, one side too large",
                      Pane,
                      {100, 600},
                      false,
                      true,
                      false,
                      {0, 0, 50, 300}},
        PlacementCase{"stretch alone fills the control",
                      Pane,
                      {100, 50},
                      true,
                      false,
                      true,
                      {0, 0, 400, 300}},
        PlacementCase{"stretch with an empty picture fills the control",
                      Pane,
                      {0, 0},
                      true,
                      true,
                      false,
                      {0, 0, 400, 300}},
        PlacementCase{"no options: own size at the corner",
                      Pane,
                      {800, 600},
                      false,
                      false,
                      false,
                      {0, 0, 800, 600}},
        PlacementCase{"centre of a larger picture truncates toward zero",
                      Pane,
                      {801, 601},
                      false,
                      false,
                      true,
                      {-200, -150, 801, 601}}));

} // namespace
