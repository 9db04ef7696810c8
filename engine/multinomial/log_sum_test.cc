// The pieces that carry probabilities of any size: e^x in extended
// precision against MPFR, and sums by their logarithms far below the range
// of doubles, across changes of scale, rounding exact values to the nearest
// double.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <random>

#include "engine/multinomial/exp_extended.h"
#include "engine/multinomial/log_sum.h"

namespace engine::multinomial {
namespace {

// e^x rounded from 256 bits, and x's own value: x as an extended real.
long double ExactExp(long double x) {
  mpfr_t value;
  mpfr_init2(value, 256);
  mpfr_set_ld(value, x, MPFR_RNDN);
  mpfr_exp(value, value, MPFR_RNDN);
  long double result = mpfr_get_ld(value, MPFR_RNDN);
  mpfr_clear(value);
  return result;
}

TEST(ExpExtendedTest, WithinTwoUnitsInTheLastPlace) {
  std::mt19937_64 random(5);
  std::uniform_real_distribution<double> spread(-11300, 700);
  for (int trial = 0; trial < 20000; ++trial) {
    long double x = spread(random) + static_cast<long double>(random() % 1000) * 0x1p-70L;
    if (trial % 4 == 0) x /= 1000;  // near 0, where the series does the work
    const long double exact = ExactExp(x);
    EXPECT_LE(std::fabs(ExpExtended(x) - exact), 2 * 0x1p-63L * exact) << static_cast<double>(x);
    if (HasFailure()) return;
  }
}

TEST(ExpExtendedTest, ExactPowersAndTheEnds) {
  EXPECT_EQ(ExpExtended(0), 1);
  EXPECT_EQ(ExpExtended(-std::log(16.0L)), ExactExp(-std::log(16.0L)));
  EXPECT_EQ(static_cast<double>(ExpExtended(-std::log(16.0L))), 0.0625);
  EXPECT_EQ(static_cast<double>(ExpExtended(std::log(0.375L))), 0.375);
  // Below the normal extended range: subnormal, then 0; far above: infinite.
  EXPECT_GT(ExpExtended(-11380), 0);
  EXPECT_LT(ExpExtended(-11380), 0x1p-16382L);
  EXPECT_EQ(ExpExtended(-20000), 0);
  EXPECT_EQ(ExpExtended(-std::numeric_limits<long double>::infinity()), 0);
  EXPECT_TRUE(std::isinf(ExpExtended(12000)));
  EXPECT_TRUE(std::isnan(ExpExtended(std::numeric_limits<long double>::quiet_NaN())));
}

TEST(LogSumTest, ExactValuesRoundToTheNearestDouble) {
  // Six outcomes of 1/16, as a walk forms them from their logarithms: 3/8.
  LogSum sum;
  for (int j = 0; j < 6; ++j) sum.Add(ProbabilityFromLog(-std::log(16.0L)));
  EXPECT_EQ(sum.Value(), 0.375);
  LogSum half;
  half.Add(sum, 0.5L);
  EXPECT_EQ(half.Value(), 0.1875);
  // A million tenths of a millionth: the carry keeps what plain sums lose.
  LogSum many;
  for (int j = 0; j < 1000000; ++j) many.Add(ProbabilityFromLog(std::log(1e-7L)));
  EXPECT_NEAR(many.Value(), 0.1, 1e-17);
}

TEST(LogSumTest, FarBelowTheRangeOfDoubles) {
  // Two terms of e^-20000 (about 1e-8686), then one of e^-19990.
  LogSum sum;
  sum.AddLog(-20000);
  sum.Add(ProbabilityFromLog(-20000));
  EXPECT_NEAR(static_cast<double>(sum.Ln()), -20000 + std::log(2.0), 1e-12);
  EXPECT_EQ(sum.Value(), 0);
  sum.AddLog(-19990);
  EXPECT_NEAR(static_cast<double>(sum.Ln()), -19990 + std::log1p(2 * std::exp(-10.0)), 1e-12);
  // Halved and added to a sum at another scale.
  LogSum other;
  other.AddLog(-19000);
  other.Add(sum, 0.5L);
  EXPECT_NEAR(static_cast<double>(other.Ln()), -19000 + std::log1p((1 + 2 * std::exp(-10.0)) / 2 * std::exp(-990.0)),
              1e-12);
}

TEST(LogSumTest, ALargerTermMovesTheScaleUp) {
  // From 1e-6000 up to ordinary sizes: what was summed before is dropped
  // only when negligible, and the sum is plain again.
  LogSum sum;
  sum.AddLog(-13815.5);
  sum.AddLog(-13000);
  EXPECT_NEAR(static_cast<double>(sum.Ln()), -13000 + std::log1p(std::exp(-815.5)), 1e-12);
  sum.AddLog(std::log(0.25L));
  sum.AddLog(std::log(0.125L));
  EXPECT_EQ(sum.Value(), 0.375);
  EXPECT_NEAR(static_cast<double>(sum.Ln()), std::log(0.375), 1e-15);
  // Terms within the extended range but not a double's add plainly.
  LogSum mid;
  mid.AddLog(-5000);
  mid.AddLog(-5000);
  EXPECT_NEAR(static_cast<double>(mid.Ln()), -5000 + std::log(2.0), 1e-12);
  EXPECT_TRUE(LogSum().Empty());
  EXPECT_EQ(LogSum().Ln(), -std::numeric_limits<long double>::infinity());
  EXPECT_EQ(LogSum().Value(), 0);
}

}  // namespace
}  // namespace engine::multinomial
