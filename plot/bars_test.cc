#include "plot/bars.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace plot {
namespace {

using engine::Mark;
using engine::Ordering;

// A row of one value of each statistic, the given ordering's mark set.
void AddRow(DistributionCollector& collector, double value, double probability, Mark mark) {
  const std::uint32_t counts[1] = {static_cast<std::uint32_t>(value)};
  engine::OutcomeRow row{counts, 1, probability, value, value, {}};
  if (collector.ordering() == Ordering::kProbability) row.probability = value;
  row.marks[static_cast<int>(collector.ordering())] = mark;
  collector.Add(row);
}

double Sum(const std::vector<Bar>& bars, bool in_p) {
  double sum = 0;
  for (const Bar& bar : bars) sum += in_p ? bar.in_p : bar.mass;
  return sum;
}

TEST(PointsOfTest, MergesValuesSplitByRoundingAndLeavesOutWhatCannotBeDrawn) {
  DistributionCollector collector(Ordering::kChiSquare);
  AddRow(collector, 5.0, 0.25, Mark::kTied);
  AddRow(collector, 5.0 * (1 + 3e-16), 0.25, Mark::kTied);  // the same X^2, summed in another order
  AddRow(collector, 5.0 * (1 + 1e-6), 0.125, Mark::kBeyond);
  AddRow(collector, 1.0, 0.375, Mark::kNotExtreme);
  AddRow(collector, INFINITY, 0.0, Mark::kBeyond);
  std::size_t left_out = 0;
  const std::vector<Point> points = PointsOf(collector, &left_out);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(left_out, 1u);
  EXPECT_EQ(points[0].position, 1.0);
  EXPECT_EQ(points[1].mass, 0.5);
  EXPECT_EQ(points[1].in_p, 0.5);
  EXPECT_EQ(points[2].mass, 0.125);
}

TEST(PointsOfTest, ProbabilitiesStandAtMinusLog10AndTheLeastLieRight) {
  DistributionCollector collector(Ordering::kProbability);
  AddRow(collector, 1e-300, 1e-300, Mark::kBeyond);
  AddRow(collector, 0.5, 0.5, Mark::kNotExtreme);
  AddRow(collector, 0.0, 0.0, Mark::kBeyond);  // below the range of doubles
  AddRow(collector, 1.0, 1.0, Mark::kNotExtreme);
  std::size_t left_out = 0;
  const std::vector<Point> points = PointsOf(collector, &left_out);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(left_out, 1u);
  EXPECT_FALSE(std::signbit(points[0].position));  // P = 1 stands at 0, not -0
  EXPECT_EQ(points[0].position, 0);
  EXPECT_NEAR(points[1].position, std::log10(2.0), 1e-15);
  EXPECT_NEAR(points[2].position, 300, 1e-12);
}

// Points at 0, step, 2 step, ... with masses 1 / n each; those from first_in
// on (or up to it, when in_p_left) count in p.
std::vector<Point> Row(int n, double step, int first_in, bool in_p_left = false) {
  std::vector<Point> points;
  for (int i = 0; i < n; ++i) {
    const bool in = in_p_left ? i <= first_in : i >= first_in;
    points.push_back({i * step, 1.0 / n, in ? 1.0 / n : 0});
  }
  return points;
}

TEST(MakeBarsTest, FewValuesFarApartGetOneBarEach) {
  const BarSet set = MakeBars(Row(10, 1.0, 6), 700, 4);
  EXPECT_FALSE(set.binned);
  ASSERT_EQ(set.bars.size(), 10u);
  EXPECT_EQ(set.bars[3].from, 3.0);
  EXPECT_EQ(set.bars[3].to, 3.0);
  EXPECT_FALSE(set.mixed);

  const BarSet one = MakeBars({{2.5, 1, 1}}, 700, 4);
  EXPECT_FALSE(one.binned);
  ASSERT_EQ(one.bars.size(), 1u);
}

TEST(MakeBarsTest, ManyValuesAreBinnedWithoutLosingMass) {
  const std::vector<Point> points = Row(1000, 0.37, 613);
  const BarSet set = MakeBars(points, 700, 4);
  EXPECT_TRUE(set.binned);
  EXPECT_GE(set.bars.size(), kTargetBins / 1.6);
  EXPECT_LE(set.bars.size(), kTargetBins * 1.6 + 2);
  EXPECT_NEAR(Sum(set.bars, false), 1, 1e-12);
  EXPECT_NEAR(Sum(set.bars, true), 387.0 / 1000, 1e-12);
  std::size_t values = 0;
  for (const Bar& bar : set.bars) {
    values += bar.values;
    EXPECT_NEAR(bar.to - bar.from, set.bin_width, 1e-9);
  }
  EXPECT_EQ(values, 1000u);
}

TEST(MakeBarsTest, ValuesCloseTogetherAreBinnedEvenWhenFew) {
  std::vector<Point> points = Row(20, 1.0, 10);
  points[1].position = 0.001;  // 0.001 / 19 of 700 pixels apart
  EXPECT_TRUE(MakeBars(points, 700, 4).binned);
}

TEST(MakeBarsTest, NoBinHoldsMassInPAndMassNotInPWhenTheyLieApart) {
  // Irregular positions: bins of a nice width, one edge between the groups.
  std::vector<Point> points;
  for (int i = 0; i < 500; ++i) points.push_back({std::sqrt(i * 3.1), 0.002, i >= 377 ? 0.002 : 0});
  for (const bool reversed : {false, true}) {
    std::vector<Point> these = points;
    if (reversed) {
      for (Point& point : these) point.in_p = point.in_p > 0 ? 0 : point.mass;
    }
    const BarSet set = MakeBars(these, 700, 4);
    EXPECT_TRUE(set.binned);
    EXPECT_FALSE(set.mixed) << reversed;
    for (const Bar& bar : set.bars) EXPECT_TRUE(bar.in_p == 0 || bar.in_p == bar.mass);
  }
  // The group in p on the left, as for alternative less.
  const BarSet left = MakeBars(Row(400, 1.0, 123, true), 700, 4);
  EXPECT_FALSE(left.mixed);
}

TEST(MakeBarsTest, LatticeBinsHoldEqualNumbersOfLatticePoints) {
  // X^2 under equal probabilities moves in steps of 2k/n: here 0.1.
  const BarSet set = MakeBars(Row(2401, 0.1, 104), 700, 4);
  ASSERT_TRUE(set.binned);
  EXPECT_NEAR(set.bin_width / 0.1, std::round(set.bin_width / 0.1), 1e-9);
  EXPECT_FALSE(set.mixed);
  for (std::size_t i = 1; i + 1 < set.bars.size(); ++i) {
    EXPECT_EQ(set.bars[i].values, set.bars[1].values) << i;
  }
}

TEST(MakeBarsTest, APointHoldingBothKindsMakesAMixedBar) {
  std::vector<Point> points = Row(300, 1.0, 150);
  points[150].in_p = points[150].mass / 2;  // values pooled across the observed one
  const BarSet set = MakeBars(points, 700, 4);
  EXPECT_TRUE(set.mixed);
  EXPECT_NEAR(Sum(set.bars, true), 149.5 / 300, 1e-12);
}

}  // namespace
}  // namespace plot
