#include "plot/frame.h"

#include <gtest/gtest.h>

#include <cmath>

namespace plot {
namespace {

// Ten values 0..9 whose masses fall from 0.5 by a factor 10^-decades_each.
BarSet Falling(double decades_each) {
  std::vector<Point> points;
  for (int i = 0; i < 10; ++i) {
    const double mass = 0.5 * std::pow(10.0, -decades_each * i);
    points.push_back({static_cast<double>(i), mass, i >= 5 ? mass : 0});
  }
  return MakeBars(points, kRight - kLeft, 4);
}

TEST(FrameTest, TheLogScaleReachesTheLeastMassUpToTwentyDecades) {
  // Down to 5e-10: the axis from 1 to a little below the least bar.
  Frame frame = MakeFrame(Falling(1), {}, 3, Scale::kAuto, 20, kTop);
  EXPECT_TRUE(frame.log);
  EXPECT_EQ(frame.y1, 0);
  EXPECT_EQ(frame.y0, -10);
  EXPECT_FALSE(frame.BelowFloor(5e-10));

  // Down to 5e-91: the floor stops twenty decades below the top, and the
  // least bars are stubs there.
  frame = MakeFrame(Falling(10), {}, 3, Scale::kAuto, 20, kTop);
  EXPECT_EQ(frame.y1, 0);
  EXPECT_EQ(frame.y0, -kMaxDecades);
  EXPECT_TRUE(frame.BelowFloor(5e-21));
  EXPECT_FALSE(frame.BelowFloor(1e-20));
  EXPECT_FALSE(frame.BelowFloor(0));
  EXPECT_EQ(frame.BarTop(5e-91), kBottom - kStub);
  EXPECT_EQ(frame.BarTop(1e-300), kBottom - kStub);
  EXPECT_EQ(frame.BarTop(1), kTop);
  EXPECT_NEAR(frame.BarTop(1e-10), (kTop + kBottom) / 2, 1e-9);
}

TEST(FrameTest, AGatheredBarsMassCountsForTheScaleAndTakesRoomAtItsEnd) {
  const BarSet set = Falling(0.2);  // 0.5 down to 4e-3: linear alone
  EXPECT_FALSE(MakeFrame(set, {}, 3, Scale::kAuto, 20, kTop).log);
  Focus focus;
  focus.above = Gathered{12, 15, 400, 1e-10, 1e-10, 300};
  const Frame frame = MakeFrame(set, focus, 3, Scale::kAuto, 20, kTopBelowTwoLines);
  EXPECT_TRUE(frame.log);
  EXPECT_EQ(frame.y0, -11);
  EXPECT_EQ(frame.top, kTopBelowTwoLines);
  EXPECT_EQ(frame.left, kLeft);
  EXPECT_EQ(frame.right, kRight - kSlot);
  EXPECT_GT(frame.above_centre - kGatheredBarWidth / 2, frame.right);
  EXPECT_LT(frame.above_centre + kGatheredBarWidth / 2, kRight);
  // Every bar lies between the axis's ends.
  EXPECT_GE(frame.X(set.lo), frame.left);
  EXPECT_LE(frame.X(set.hi), frame.right);
}

TEST(FrameTest, TheObservedValueIsAlwaysOnTheAxis) {
  for (const double observed : {-4.0, 0.0, 4.5, 9.0, 250.0}) {
    const Frame frame = MakeFrame(Falling(1), {}, observed, Scale::kAuto, 20, kTop);
    EXPECT_GT(frame.X(observed), frame.left) << observed;
    EXPECT_LT(frame.X(observed), frame.right) << observed;
  }
}

}  // namespace
}  // namespace plot
