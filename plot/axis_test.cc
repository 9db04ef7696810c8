#include "plot/axis.h"

#include <gtest/gtest.h>

namespace plot {
namespace {

TEST(NiceNumberTest, CeilingAndNearest) {
  EXPECT_DOUBLE_EQ(NiceCeiling(0.7), 1);
  EXPECT_DOUBLE_EQ(NiceCeiling(1), 1);
  EXPECT_DOUBLE_EQ(NiceCeiling(1.01), 2);
  EXPECT_DOUBLE_EQ(NiceCeiling(2.0000000001), 2);  // rounding noise is not a step up
  EXPECT_DOUBLE_EQ(NiceCeiling(3), 5);
  EXPECT_DOUBLE_EQ(NiceCeiling(6e-7), 1e-6);
  EXPECT_DOUBLE_EQ(NiceCeiling(4.2e12), 5e12);
  EXPECT_DOUBLE_EQ(NiceRound(1.4), 1);
  EXPECT_DOUBLE_EQ(NiceRound(1.5), 2);
  EXPECT_DOUBLE_EQ(NiceRound(3.1), 2);
  EXPECT_DOUBLE_EQ(NiceRound(3.2), 5);
  EXPECT_DOUBLE_EQ(NiceRound(7.5), 10);
  EXPECT_DOUBLE_EQ(NiceRound(0.058), 0.05);
}

TEST(LinearTicksTest, NiceStepsWithinTheRange) {
  std::vector<Tick> ticks = LinearTicks(0, 0.31, 7);
  ASSERT_EQ(ticks.size(), 7u);
  EXPECT_EQ(ticks.front().label, "0");
  EXPECT_EQ(ticks[1].label, "0.05");
  EXPECT_EQ(ticks.back().label, "0.30");

  ticks = LinearTicks(-0.4, 21.7, 9);
  ASSERT_FALSE(ticks.empty());
  EXPECT_GE(ticks.front().value, -0.4);
  EXPECT_LE(ticks.back().value, 21.7);
  EXPECT_LE(ticks.size(), 9u);
  EXPECT_EQ(ticks[1].value - ticks[0].value, 5);

  // Integer values only: no half steps.
  ticks = LinearTicks(-0.2, 2.2, 9, 1);
  ASSERT_EQ(ticks.size(), 3u);
  EXPECT_EQ(ticks[2].label, "2");
}

TEST(LinearTicksTest, LabelsNeverShowNegativeZeroAndSwitchToExponents) {
  for (const Tick& tick : LinearTicks(-1e-17, 1, 6)) EXPECT_NE(tick.label[0], '-') << tick.label;
  const std::vector<Tick> big = LinearTicks(0, 2.2e10, 6);
  ASSERT_GE(big.size(), 2u);
  EXPECT_EQ(big[1].label, "5e+09");
  const std::vector<Tick> fine = LinearTicks(1, 1 + 4e-8, 5);
  ASSERT_GE(fine.size(), 2u);
  EXPECT_NE(fine[0].label, fine[1].label);
}

TEST(LinearTicksTest, DegenerateRanges) {
  EXPECT_TRUE(LinearTicks(1, 0, 5).empty());
  const std::vector<Tick> one = LinearTicks(3, 3, 5);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].label, "3");
}

TEST(DecadeTicksTest, EveryFewDecadesDownTo1e300) {
  std::vector<Tick> ticks = DecadeTicks(-4, 0, 7);
  ASSERT_EQ(ticks.size(), 5u);
  EXPECT_EQ(ticks[0].label, "1e-04");
  EXPECT_EQ(ticks[1].label, "0.001");
  EXPECT_EQ(ticks[4].label, "1");
  EXPECT_EQ(ticks[0].value, -4);

  ticks = DecadeTicks(-301, 0, 7);
  ASSERT_EQ(ticks.size(), 7u);
  EXPECT_EQ(ticks[0].label, "1e-300");
  EXPECT_EQ(ticks[1].label, "1e-250");

  ticks = DecadeTicks(-37, 0, 7);
  EXPECT_LE(ticks.size(), 7u);
  EXPECT_EQ(ticks.back().label, "1");
  EXPECT_EQ(DecadeLabel(4), "1e+04");
}

}  // namespace
}  // namespace plot
