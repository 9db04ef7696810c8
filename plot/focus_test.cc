#include "plot/focus.h"

#include <gtest/gtest.h>

#include <cmath>

namespace plot {
namespace {

// Points at 0, 1, 2, ..., n - 1 with masses proportional to exp(-x / 2),
// as X^2 has with two degrees of freedom; those from first_in on in p.
std::vector<Point> Decaying(int n, int first_in) {
  std::vector<Point> points;
  double total = 0;
  for (int i = 0; i < n; ++i) total += std::exp(-i / 2.0);
  for (int i = 0; i < n; ++i) {
    const double mass = std::exp(-i / 2.0) / total;
    points.push_back({static_cast<double>(i), mass, i >= first_in ? mass : 0});
  }
  return points;
}

// A bump: n11 of a large table, mass around the centre only.
std::vector<Point> Bump(int n, double centre, double spread, int last_in) {
  std::vector<Point> points;
  double total = 0;
  for (int i = 0; i < n; ++i) total += std::exp(-std::pow((i - centre) / spread, 2) / 2);
  for (int i = 0; i < n; ++i) {
    const double mass = std::exp(-std::pow((i - centre) / spread, 2) / 2) / total;
    points.push_back({static_cast<double>(i), mass, i <= last_in ? mass : 0});
  }
  return points;
}

long double Sum(const std::vector<Point>& points, bool in_p) {
  long double sum = 0;
  for (const Point& point : points) sum += in_p ? point.in_p : point.mass;
  return sum;
}

TEST(CoreOfTest, TakesAwayTheLongestLightRunAtEachEnd) {
  const std::vector<Point> points = {{0, 1e-12, 0}, {1, 1e-11, 0}, {2, 0.5, 0}, {3, 0.5, 0}, {4, 3e-11, 0}};
  Core core = CoreOf(points, 5e-11);
  EXPECT_EQ(core.first, 2u);
  EXPECT_EQ(core.last, 3u);
  core = CoreOf(points, 2e-11);  // the last point alone is too heavy
  EXPECT_EQ(core.first, 2u);
  EXPECT_EQ(core.last, 4u);
  core = CoreOf(points, 0);
  EXPECT_EQ(core.first, 0u);
  EXPECT_EQ(core.last, 4u);
  // Less mass in all than a tail may hold: everything.
  core = CoreOf({{0, 1e-20, 0}, {1, 1e-20, 0}}, 1e-9);
  EXPECT_EQ(core.first, 0u);
  EXPECT_EQ(core.last, 1u);
}

TEST(FocusOnTest, ASmallSupportIsDrawnWhole) {
  // Ten values: what lies beyond the range of the mass is narrower than
  // twice that range.
  const std::vector<Point> points = Decaying(10, 4);
  const Focus focus = FocusOn(points, 4);
  EXPECT_FALSE(focus.below);
  EXPECT_FALSE(focus.above);
  EXPECT_EQ(focus.shown.size(), 10u);
}

TEST(FocusOnTest, AWideSupportGathersItsTailAtARoundEdgeKeepingEveryMass) {
  const std::vector<Point> points = Decaying(4000, 3);
  const Focus focus = FocusOn(points, 3);
  ASSERT_TRUE(focus.above);
  EXPECT_FALSE(focus.below);
  // exp(-x / 2) leaves 1e-9 beyond about x = 41.
  EXPECT_GE(focus.above->edge, 38);
  EXPECT_LE(focus.above->edge, 50);
  EXPECT_EQ(focus.above->edge, std::round(focus.above->edge));  // a round number
  EXPECT_LE(focus.above->mass, kNegligibleMass);
  EXPECT_EQ(focus.shown.size() + focus.above->values, points.size());
  EXPECT_LE(focus.shown.back().position, focus.above->edge);
  EXPECT_GT(focus.above->from, focus.above->edge);
  EXPECT_EQ(focus.above->to, 3999);
  // Nothing is lost: the drawn and the gathered add up to the whole.
  EXPECT_NEAR(Sum(focus.shown, false) + focus.above->mass, 1, 1e-15);
  EXPECT_NEAR(Sum(focus.shown, true) + focus.above->in_p, Sum(points, true), 1e-15);
  EXPECT_EQ(focus.above->in_p, focus.above->mass);
}

TEST(FocusOnTest, TheObservedValueIsDrawnWithRoomHoweverFarInTheTail) {
  // Masses down to 1e-300: none below the range of doubles.
  const std::vector<Point> points = Decaying(1380, 300);
  for (const double observed : {300.0, 1379.0, 120.5}) {
    const Focus focus = FocusOn(points, observed);
    ASSERT_FALSE(focus.shown.empty());
    const double lo = focus.shown.front().position;
    const double hi = focus.shown.back().position;
    EXPECT_LE(lo, observed);
    EXPECT_GE(hi, std::min(observed + 0.05 * (observed - lo), 1379.0)) << observed;
    if (focus.above) {
      EXPECT_GT(focus.above->edge, observed);
    }
    EXPECT_NEAR(Sum(focus.shown, false) + (focus.above ? focus.above->mass : 0), 1, 1e-15);
  }
  // Below the mass: room on the left as well.
  const std::vector<Point> bump = Bump(5000, 2500, 10, 2100);
  const Focus focus = FocusOn(bump, 2100);
  ASSERT_TRUE(focus.below);
  EXPECT_LT(focus.below->edge, 2100 - 0.05 * (focus.shown.back().position - 2100));
  EXPECT_EQ(focus.below->in_p, focus.below->mass);  // all of it in p
}

TEST(FocusOnTest, ABumpGathersBothEnds) {
  const std::vector<Point> points = Bump(5000, 2500, 30, 2480);
  const Focus focus = FocusOn(points, 2480);
  ASSERT_TRUE(focus.below);
  ASSERT_TRUE(focus.above);
  EXPECT_LE(focus.below->mass + focus.above->mass, kNegligibleMass);
  EXPECT_LT(focus.below->to, focus.below->edge);
  EXPECT_LE(focus.below->edge, focus.shown.front().position);
  EXPECT_EQ(focus.below->from, 0);
  EXPECT_EQ(focus.below->values + focus.shown.size() + focus.above->values, points.size());
  // Six or so spreads each way: the mass of 1e-9 leaves no more.
  EXPECT_GT(focus.shown.front().position, 2500 - 8 * 30);
  EXPECT_LT(focus.shown.back().position, 2500 + 8 * 30);
}

TEST(FocusOnTest, PointsOfNoMassAreCountedNotDrawn) {
  std::vector<Point> points = Decaying(4000, 3);
  points[5].mass = 0;  // within the drawn range
  points[5].in_p = 0;
  points[3000].mass = 0;  // beyond it
  points[3000].in_p = 0;
  const Focus focus = FocusOn(points, 3);
  EXPECT_EQ(focus.left_out, 1u);
  for (const Point& point : focus.shown) EXPECT_GT(point.mass, 0);
  ASSERT_TRUE(focus.above);
  EXPECT_EQ(focus.shown.size() + focus.above->values + focus.left_out, points.size());
}

TEST(FocusOnTest, ASingleValueOrNothing) {
  EXPECT_TRUE(FocusOn({}, 0).shown.empty());
  const Focus one = FocusOn({{2.5, 1, 1}}, 2.5);
  EXPECT_EQ(one.shown.size(), 1u);
  EXPECT_FALSE(one.above);
  // All the mass at one value, a trace far away: the trace is gathered.
  const Focus lone = FocusOn({{0, 1, 0}, {1000, 1e-300, 1e-300}}, 0);
  EXPECT_EQ(lone.shown.size(), 1u);
  ASSERT_TRUE(lone.above);
  EXPECT_EQ(lone.above->mass, 1e-300);
}

}  // namespace
}  // namespace plot
