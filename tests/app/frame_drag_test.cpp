#include "app/frame_drag.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace permscope::app {
namespace {

// A 1280 x 1024 pixel screen and the 710 x 593 pixel window, in twips.
DragGeometry window_at(float left, float top) {
    return DragGeometry{left, top, 10650.0f, 8895.0f, 19200.0f, 15360.0f};
}

TEST(DragStartCoordinate, RoundsHalvesToTheEvenNeighbourWithinSixteenBits) {
    EXPECT_EQ(drag_start_coordinate(2.5f), 2);
    EXPECT_EQ(drag_start_coordinate(3.5f), 4);
    EXPECT_EQ(drag_start_coordinate(-2.5f), -2);
    EXPECT_EQ(drag_start_coordinate(14.49f), 14);
    EXPECT_EQ(drag_start_coordinate(14.51f), 15);
    EXPECT_EQ(drag_start_coordinate(1500.0f), 1500);
    // It stays in the sixteen-bit range.
    EXPECT_EQ(drag_start_coordinate(40000.0f), INT16_MAX);
    EXPECT_EQ(drag_start_coordinate(-40000.0f), INT16_MIN);
}

TEST(DraggedWindowPosition, FollowsTheMouseByItsMoveSinceThePress) {
    const TwipPoint p = dragged_window_position(window_at(3000, 2000), {1000, 500}, 1600, 400);
    EXPECT_FLOAT_EQ(p.left, 3600);
    EXPECT_FLOAT_EQ(p.top, 1900);
}

TEST(DraggedWindowPosition, SnapsToTheLeftAndTopEdgesWithinTheSnapDistanceAndStopsThere) {
    // new left = 1000 + 0 - 651 = 349: inside 350 twips, so 0. 350 itself stays.
    EXPECT_FLOAT_EQ(dragged_window_position(window_at(1000, 1000), {651, 0}, 0, 0).left, 0);
    EXPECT_FLOAT_EQ(dragged_window_position(window_at(1000, 1000), {650, 0}, 0, 0).left, 350);
    EXPECT_FLOAT_EQ(dragged_window_position(window_at(1000, 1000), {0, 651}, 0, 0).top, 0);
    EXPECT_FLOAT_EQ(dragged_window_position(window_at(1000, 1000), {0, 650}, 0, 0).top, 350);
    // 349.5 in single precision is still below 350.
    EXPECT_FLOAT_EQ(dragged_window_position(window_at(1000, 1000), {651, 0}, 0.5f, 0).left, 0);
    // Beyond the near edges: at zero.
    const TwipPoint p = dragged_window_position(window_at(100, 100), {5000, 5000}, 0, 0);
    EXPECT_FLOAT_EQ(p.left, 0);
    EXPECT_FLOAT_EQ(p.top, 0);
}

TEST(DraggedWindowPosition, SnapsFlushToTheRightAndBottomEdgesAndStopsThere) {
    // Right: screen 19200 - 350 - window 10650 = 8200 is the last place that does not snap.
    EXPECT_FLOAT_EQ(dragged_window_position(window_at(8200, 1000), {0, 0}, 0, 0).left, 8200);
    EXPECT_FLOAT_EQ(dragged_window_position(window_at(8200, 1000), {0, 0}, 1, 0).left, 8550);
    EXPECT_FLOAT_EQ(dragged_window_position(window_at(8200, 1000), {0, 0}, 0.5f, 0).left, 8550);
    // Bottom: 15360 - 350 - 8895 = 6115.
    EXPECT_FLOAT_EQ(dragged_window_position(window_at(1000, 6115), {0, 0}, 0, 0).top, 6115);
    EXPECT_FLOAT_EQ(dragged_window_position(window_at(1000, 6115), {0, 0}, 0, 1).top, 6465);
    // Beyond the far edges: flush.
    const TwipPoint p = dragged_window_position(window_at(9000, 9000), {0, 0}, 30000, 30000);
    EXPECT_FLOAT_EQ(p.left, 19200 - 10650);
    EXPECT_FLOAT_EQ(p.top, 15360 - 8895);
}

TEST(DraggedWindowPosition, AWindowLargerThanTheScreenLessTheSnapEndsAtScreenMinusWindow) {
    // 720 x 600 pixels: 10800 - 350 - 10650 < 0, so the far test wins after the near one.
    DragGeometry tight{0, 0, 10650.0f, 8895.0f, 10800.0f, 9000.0f};
    TwipPoint p = dragged_window_position(tight, {0, 0}, 100, 100);
    EXPECT_FLOAT_EQ(p.left, 150);
    EXPECT_FLOAT_EQ(p.top, 105);
    // Larger than the screen itself: the window ends left of and above the screen's corner.
    DragGeometry small_screen{0, 0, 10650.0f, 8895.0f, 9000.0f, 6000.0f};
    p = dragged_window_position(small_screen, {0, 0}, 0, 0);
    EXPECT_FLOAT_EQ(p.left, -1650);
    EXPECT_FLOAT_EQ(p.top, -2895);
}

TEST(DraggedWindowPosition, ComputesInSinglePrecision) {
    // 2^24 + 1 has no single-precision value: the sum rounds to 2^24, as the window's twips do.
    DragGeometry far_away{16777216.0f, 1000.0f, 10650.0f, 8895.0f, 1.0e9f, 1.0e9f};
    const TwipPoint p = dragged_window_position(far_away, {0, 0}, 1, 0);
    EXPECT_EQ(p.left, 16777216.0f);
}

}  // namespace
}  // namespace permscope::app
