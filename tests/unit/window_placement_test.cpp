#include "app/portable/window_placement.h"

#include <gtest/gtest.h>

namespace {

::testing::AssertionResult LandsAt(const WindowOrigin& origin, int x, int y) {
  if (origin.x == x && origin.y == y) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "lands at " << origin.x << ", " << origin.y;
}

// The sizes are the primary monitor's full rectangle: its origin is 0,0 and
// its work area (less a taskbar on the left or top) is not consulted.
TEST(CentredOrigin, EachSizeIsHalvedOnItsOwn) {
  EXPECT_TRUE(LandsAt(CentredOrigin(1920, 1080, 400, 120), 760, 480));
  // Odd windows on an even monitor: 960 - 200 and 540 - 60, where halving
  // the difference would give 759 and 479.
  EXPECT_TRUE(LandsAt(CentredOrigin(1920, 1080, 401, 121), 760, 480));
  // Odd monitor and odd window: 683 - 200 and 383 - 60.
  EXPECT_TRUE(LandsAt(CentredOrigin(1367, 767, 401, 121), 483, 323));
  // A window larger than the monitor starts left of and above it.
  EXPECT_TRUE(LandsAt(CentredOrigin(800, 600, 1001, 703), -100, -51));
}

}  // namespace
