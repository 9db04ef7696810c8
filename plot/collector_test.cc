#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "plot/plot.h"

namespace plot {
namespace {

using engine::Mark;
using engine::Ordering;

engine::OutcomeRow Row(const std::uint32_t* counts, double multiplicity, double probability, double chi_square,
                       Mark mark) {
  return {std::span<const std::uint32_t>(counts, 4), multiplicity, probability, chi_square, 2 * chi_square,
          {mark, mark, mark, mark}};
}

TEST(DistributionCollectorTest, GathersMassByTheOrderingsValue) {
  const std::uint32_t a[4] = {3, 5, 2, 7};
  const std::uint32_t b[4] = {4, 4, 1, 8};
  DistributionCollector chi(Ordering::kChiSquare);
  DistributionCollector lr(Ordering::kLikelihoodRatio);
  DistributionCollector n11(Ordering::kN11);
  for (DistributionCollector* c : {&chi, &lr, &n11}) {
    c->Add(Row(a, 1, 0.25, 1.5, Mark::kTied));
    c->Add(Row(b, 3, 0.125, 1.5, Mark::kNotExtreme));  // a class of three outcomes
  }
  ASSERT_EQ(chi.masses().size(), 1u);
  EXPECT_EQ(chi.masses().at(1.5).mass, 0.625);
  EXPECT_EQ(chi.masses().at(1.5).in_p, 0.25);
  EXPECT_EQ(chi.masses().at(1.5).mark, Mark::kTied);  // the most extreme of the rows
  EXPECT_EQ(lr.masses().count(3.0), 1u);
  ASSERT_EQ(n11.masses().size(), 2u);
  EXPECT_EQ(n11.masses().at(3).mass, 0.25);
  EXPECT_EQ(n11.masses().at(4).mass, 0.375);
  EXPECT_FALSE(chi.pooled());
}

TEST(DistributionCollectorTest, AnUndefinedStatisticCountsAsZero) {
  const std::uint32_t zero_margin[4] = {0, 0, 3, 4};
  DistributionCollector chi(Ordering::kChiSquare);
  chi.Add(Row(zero_margin, 1, 1, std::nan(""), Mark::kTied));
  ASSERT_EQ(chi.masses().size(), 1u);
  EXPECT_EQ(chi.masses().begin()->first, 0);
}

TEST(DistributionCollectorTest, PoolsManyValuesKeepingEveryMassAndTheSideOfP) {
  constexpr std::size_t kMax = 64;
  constexpr int kRows = 10000;
  for (const Ordering ordering : {Ordering::kChiSquare, Ordering::kProbability}) {
    DistributionCollector collector(ordering, kMax);
    const std::uint32_t counts[4] = {};
    long double total = 0;
    long double in_p = 0;
    for (int i = 0; i < kRows; ++i) {
      // Distinct values spread over a range that keeps growing.
      const double value = ordering == Ordering::kProbability ? std::pow(10.0, -i * 0.03) : i * 0.37;
      const double mass = 1.0 / (i + 1);
      const bool extreme = i >= 7000;
      engine::OutcomeRow row{counts, 1, ordering == Ordering::kProbability ? value : mass, value, value, {}};
      row.multiplicity = ordering == Ordering::kProbability ? mass / value : 1;
      row.marks[static_cast<int>(ordering)] = extreme ? Mark::kBeyond : Mark::kNotExtreme;
      collector.Add(row);
      total += mass;
      if (extreme) in_p += mass;
      ASSERT_LE(collector.size(), kMax);
    }
    EXPECT_TRUE(collector.pooled());
    long double sum = 0;
    long double sum_in_p = 0;
    std::size_t mixed = 0;
    for (const auto& [value, mass] : collector.masses()) {
      sum += mass.mass;
      sum_in_p += mass.in_p;
      if (mass.in_p > 0 && mass.in_p < mass.mass) ++mixed;
    }
    EXPECT_NEAR(sum / total, 1, 1e-12);
    EXPECT_NEAR(sum_in_p / in_p, 1, 1e-12);
    EXPECT_LE(mixed, 1u);  // only the cell across the observed value
  }
}

TEST(DistributionCollectorTest, PoolsFinelyWhereTheMassLiesThoughAFarTailCameFirst) {
  // X^2 with two degrees of freedom on a fine grid up to 5000, its far
  // tail handed over first (as a lexicographic enumeration may), then the
  // rest; the mass lies below about 42.
  constexpr double kStep = 0.01;
  constexpr int kValues = 500000;
  constexpr double kObserved = 3;
  const std::uint32_t counts[4] = {};
  DistributionCollector collector(Ordering::kChiSquare, 4096);
  const double norm = 1 - std::exp(-kStep / 2);
  long double total = 0;
  long double in_p = 0;
  for (int j = 0; j < kValues; ++j) {
    const int i = (j + kValues / 2) % kValues;
    const double x = i * kStep;
    const double mass = std::exp(-x / 2) * norm;
    engine::OutcomeRow row{counts, 1, mass, x, x, {}};
    row.marks[0] = x >= kObserved ? Mark::kBeyond : Mark::kNotExtreme;
    collector.Add(row);
    ASSERT_LE(collector.size(), 4096u);
    total += mass;
    if (x >= kObserved) in_p += mass;
  }
  ASSERT_TRUE(collector.pooled());
  std::size_t within = 0;
  long double sum = 0;
  long double sum_in_p = 0;
  for (const auto& [value, mass] : collector.masses()) {
    if (value <= 42) ++within;
    sum += mass.mass;
    sum_in_p += mass.in_p;
    EXPECT_TRUE(mass.in_p == 0 || mass.in_p == mass.mass) << value;  // no cell across the observed value
    if (mass.mark != Mark::kNotExtreme) {
      EXPECT_GE(value, kObserved);
    } else {
      EXPECT_LT(value, kObserved);
    }
  }
  // Cells of a fortieth of a unit or so there: far finer than bins drawn
  // across it.
  EXPECT_GE(within, 100u);
  EXPECT_NEAR(sum / total, 1, 1e-12);
  EXPECT_NEAR(sum_in_p / in_p, 1, 1e-12);
}

}  // namespace
}  // namespace plot
