#include "engine/contingency/fourfold_exact.h"

#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <random>
#include <string>

#include "engine/contingency/fourfold_walk.h"

namespace engine::fourfold {
namespace {

std::string Show(const Cells& c) {
  return std::to_string(c[0]) + " " + std::to_string(c[1]) + " " + std::to_string(c[2]) + " " + std::to_string(c[3]);
}

int Sign(int c) { return (c > 0) - (c < 0); }

mpz_class FactorialProduct(const Cells& c) {
  mpz_class product = 1, f;
  for (std::int64_t n : c) {
    mpz_fac_ui(f.get_mpz_t(), static_cast<unsigned long>(n));
    product *= f;
  }
  return product;
}

mpz_class SelfPowerProduct(const Cells& c) {
  mpz_class product = 1, p;
  for (std::int64_t n : c) {
    mpz_ui_pow_ui(p.get_mpz_t(), static_cast<unsigned long>(n), static_cast<unsigned long>(n));
    product *= p;
  }
  return product;
}

// sign(sum a ln a - sum b ln b) at 1024 bits: for the near ties below, a
// difference above 1e-12 against totals below 1e12.
int ReferenceSelfPowerSign(const Cells& a, const Cells& b) {
  mpfr_t sum, term;
  mpfr_inits2(1024, sum, term, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_zero(sum, 1);
  for (int i = 0; i < 4; ++i) {
    for (int side = 0; side < 2; ++side) {
      const std::int64_t n = side == 0 ? a[i] : b[i];
      if (n < 2) continue;
      mpfr_set_ui(term, static_cast<unsigned long>(n), MPFR_RNDN);
      mpfr_log(term, term, MPFR_RNDN);
      mpfr_mul_ui(term, term, static_cast<unsigned long>(n), MPFR_RNDN);
      side == 0 ? mpfr_add(sum, sum, term, MPFR_RNDN) : mpfr_sub(sum, sum, term, MPFR_RNDN);
    }
  }
  const int sign = mpfr_sgn(sum);
  mpfr_clears(sum, term, static_cast<mpfr_ptr>(nullptr));
  return sign;
}

// Tables of equal probability whose cells differ as multisets: the ties a
// sorted comparison of the cells misses.
const Cells kFactorialTies[][2] = {
    {{0, 2, 2, 3}, {1, 1, 1, 4}},          // 0! 2! 2! 3! = 1! 1! 1! 4!
    {{0, 4, 4, 7}, {2, 2, 2, 9}},          // two tables apart
    {{0, 6, 7, 4}, {5, 1, 2, 9}},          // five apart
    {{3, 6, 10, 14}, {4, 5, 9, 15}},       // 6 10 = 4 15
    {{299999, 400000, 600000, 799999}, {300000, 399999, 599999, 800000}},
    {{299999999, 400000000, 600000000, 799999999}, {300000000, 399999999, 599999999, 800000000}},
};

TEST(FourfoldExactTest, FactorialProductsAgainstBigIntegers) {
  std::mt19937_64 random(3);
  std::uniform_int_distribution<std::int64_t> value(0, 60);
  for (int i = 0; i < 3000; ++i) {
    Cells a{value(random), value(random), value(random), value(random)};
    Cells b = a;
    // Mostly near pairs, as the tables compared are.
    for (int j = 0; j < 4; ++j) b[j] = std::max<std::int64_t>(0, b[j] + static_cast<std::int64_t>(random() % 7) - 3);
    const int want = Sign(cmp(FactorialProduct(a), FactorialProduct(b)));
    EXPECT_EQ(CompareFactorialProducts(a, b), want) << Show(a) << " against " << Show(b);
    EXPECT_EQ(CompareFactorialProductsByRanges(a, b), want) << Show(a) << " against " << Show(b);
    EXPECT_EQ(FactorialProductsEqualByPrimes(a, b), want == 0) << Show(a) << " against " << Show(b);
    const int by_logs = CompareFactorialProductsByLogs(a, b, 128);
    // Differences of logarithms here are far above 2^-100: 128 bits decide
    // every one, and say nothing of a tie.
    EXPECT_EQ(by_logs, want) << Show(a) << " against " << Show(b);
  }
}

TEST(FourfoldExactTest, FactorialTiesOfDifferentCells) {
  for (const auto& tie : kFactorialTies) {
    EXPECT_EQ(CompareFactorialProducts(tie[0], tie[1]), 0) << Show(tie[0]);
    EXPECT_EQ(CompareFactorialProductsByRanges(tie[0], tie[1]), 0) << Show(tie[0]);
    EXPECT_EQ(CompareFactorialProductsByLogs(tie[0], tie[1], 512), 0) << Show(tie[0]);
    EXPECT_TRUE(FactorialProductsEqualByPrimes(tie[0], tie[1])) << Show(tie[0]);
    // One more in a cell breaks the tie.
    Cells more = tie[1];
    ++more[3];
    EXPECT_EQ(CompareFactorialProducts(tie[0], more), -1) << Show(tie[0]);
    EXPECT_FALSE(FactorialProductsEqualByPrimes(tie[0], more)) << Show(tie[0]);
  }
}

TEST(FourfoldExactTest, FactorialProductsFarApart) {
  // Tables more than kRangeProductLimit apart go by logarithms and primes.
  const Cells a{100000, 1000000, 1200000, 300000};
  const Cells b{103000, 997000, 1197000, 303000};  // the same margins, 3000 tables on
  const int by_ranges = CompareFactorialProductsByRanges(a, b);
  EXPECT_NE(by_ranges, 0);
  EXPECT_EQ(CompareFactorialProducts(a, b), by_ranges);
  EXPECT_EQ(CompareFactorialProducts(b, a), -by_ranges);
  EXPECT_FALSE(FactorialProductsEqualByPrimes(a, b));
  // Products that differ by one large prime only: every small prime agrees.
  for (std::int64_t prime : {46349, 1000003, 2147483647}) {
    EXPECT_FALSE(FactorialProductsEqualByPrimes({0, 1, 1, prime}, {0, 1, 1, prime - 1})) << prime;
    EXPECT_TRUE(FactorialProductsEqualByPrimes({0, 1, 1, prime}, {1, 0, prime, 1})) << prime;
    EXPECT_FALSE(FactorialProductsEqualByPrimes({2, 1, 1, prime}, {0, 1, 1, prime})) << prime;
  }
  // A mirrored table ties however far.
  EXPECT_EQ(CompareFactorialProducts({100000, 1000000, 1200000, 300000}, {1200000, 300000, 100000, 1000000}), 0);
}

TEST(FourfoldExactTest, SelfPowerProductsAgainstBigIntegers) {
  std::mt19937_64 random(5);
  std::uniform_int_distribution<std::int64_t> value(0, 300);
  for (int i = 0; i < 2000; ++i) {
    const Cells a{value(random), value(random), value(random), value(random)};
    Cells b = a;
    for (int j = 0; j < 4; ++j) b[j] = std::max<std::int64_t>(0, b[j] + static_cast<std::int64_t>(random() % 5) - 2);
    const int want = Sign(cmp(SelfPowerProduct(a), SelfPowerProduct(b)));
    EXPECT_EQ(CompareSelfPowerProducts(a, b), want) << Show(a) << " against " << Show(b);
  }
}

TEST(FourfoldExactTest, SelfPowerTiesOfDifferentCells) {
  // 0^0 (3k)^3k (3k)^3k (4k)^4k = (2k)^2k k^k k^k (6k)^6k: the tables n11 = 0
  // and n11 = 2k of one fourfold table have the same G^2, for every k.
  for (std::int64_t k : {1, 2, 7, 1000, 123457, 214748364}) {
    const Cells a{0, 3 * k, 3 * k, 4 * k}, b{2 * k, k, k, 6 * k};
    EXPECT_EQ(CompareSelfPowerProducts(a, b), 0) << k;
    EXPECT_EQ(CompareSelfPowerProducts({1, 3 * k, 3 * k, 4 * k}, b), 0) << k;  // 0^0 = 1^1
    EXPECT_EQ(CompareSelfPowerProducts({2, 3 * k, 3 * k, 4 * k}, b), 1) << k;
  }
}

TEST(FourfoldExactTest, SelfPowerNearTiesOnBothSidesOfTheFilter) {
  // The neighbours of n n n n differ from it in sum n ln n by about 2 / n
  // against a total near 4 n ln n; the filter's margin of 2^-60 of the
  // totals passes 2 / n near n = 9e7: below, it decides; above, the exact
  // path does.
  for (std::int64_t n : {1000, 3000000, 30000000, 60000000, 90000000, 120000000, 300000000, 536870911}) {
    const Cells centre{n, n, n, n}, neighbour{n - 1, n + 1, n + 1, n - 1};
    EXPECT_EQ(ReferenceSelfPowerSign(neighbour, centre), 1) << n;
    EXPECT_EQ(CompareSelfPowerProducts(neighbour, centre), 1) << n;
    EXPECT_EQ(CompareSelfPowerProducts(centre, neighbour), -1) << n;
    // The same cells in another order.
    const Cells skew{n - 1, n + 1, n, n}, other{n, n, n + 1, n - 1};
    EXPECT_EQ(CompareSelfPowerProducts(skew, other), 0) << n;
  }
}

// w(x) = P(x) / P(mode) to 256 bits from log-factorials.
long double ReferenceWeight(const Margins& m, std::int64_t x, std::int64_t mode) {
  mpfr_t sum, term;
  mpfr_inits2(256, sum, term, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_zero(sum, 1);
  const Cells at = CellsAt(m, x), top = CellsAt(m, mode);
  for (int i = 0; i < 4; ++i) {
    mpfr_set_ui(term, static_cast<unsigned long>(top[i] + 1), MPFR_RNDN);
    mpfr_lngamma(term, term, MPFR_RNDN);
    mpfr_add(sum, sum, term, MPFR_RNDN);
    mpfr_set_ui(term, static_cast<unsigned long>(at[i] + 1), MPFR_RNDN);
    mpfr_lngamma(term, term, MPFR_RNDN);
    mpfr_sub(sum, sum, term, MPFR_RNDN);
  }
  mpfr_exp(sum, sum, MPFR_RNDN);
  const long double w = mpfr_get_ld(sum, MPFR_RNDN);
  mpfr_clears(sum, term, static_cast<mpfr_ptr>(nullptr));
  return w;
}

TEST(FourfoldExactTest, WalkedWeightsStayWithinTheirTolerance) {
  // The tolerance of a comparison rests on w(x) being within
  // 2 |x - mode| 2^-64 of itself (plus the rounding of the reference).
  const std::array<std::uint32_t, 4> tables[] = {
      {40, 30, 25, 60}, {125000, 125500, 124000, 125500}, {500000000, 500010000, 499990000, 500000000},
      {3, 1000000, 2000000, 7}, {10, 2147483000, 300, 337}};
  for (const auto& t : tables) {
    Walk walk = StartWalk(MarginsOf(t));
    const Margins& m = walk.margins;
    for (std::int64_t step = 1; step < m.hi - m.lo; step = step * 3 + 1) {
      for (std::int64_t x : {walk.mode - step, walk.mode + step}) {
        if (!Reach(walk, x)) continue;
        const long double want = ReferenceWeight(m, x, walk.mode);
        const long double error = std::fabs(WeightAt(walk, x) / want - 1);
        EXPECT_LE(error, (2 * StepsTo(walk, x) + 2) * 0x1p-64L) << t[0] << " " << t[1] << ", n11 = " << x;
      }
    }
  }
}

TEST(FourfoldExactTest, WeightFilterDecidesOnlyBeyondItsTolerance) {
  const long double tolerance = 1e-15L;
  for (long double b : {1e-300L, 0.37L, 1.0L}) {
    EXPECT_EQ(FilterWeights(b * (1 + 2 * tolerance), b, tolerance), 1);
    EXPECT_EQ(FilterWeights(b * (1 - 2 * tolerance), b, tolerance), -1);
    EXPECT_EQ(FilterWeights(b * (1 + tolerance / 2), b, tolerance), 0);
    EXPECT_EQ(FilterWeights(b * (1 - tolerance / 2), b, tolerance), 0);
    EXPECT_EQ(FilterWeights(b, b, tolerance), 0);
  }
}

TEST(FourfoldExactTest, ProbabilitiesOfNearTablesOnBothSidesOfTheFilter) {
  // a - 2, a, a, a and its neighbour differ in probability by a factor
  // a^2 / (a^2 - 1): 3.5e-18 near a = 2^29, the closest two neighbours
  // under 2^31 can be and a little beyond the filter's 1.1e-18, which
  // decides them; ties inside it go to the products of factorials.
  for (std::int64_t a : {1000, 1000000, 100000000, 536870000, 536870911}) {
    const std::array<std::uint32_t, 4> table{static_cast<std::uint32_t>(a - 2), static_cast<std::uint32_t>(a),
                                             static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(a)};
    Walk walk = StartWalk(MarginsOf(table));
    const std::int64_t x = a - 2;
    ASSERT_TRUE(Reach(walk, x) && Reach(walk, x + 1)) << a;
    const int exact = -CompareFactorialProductsByRanges(CellsAt(walk.margins, x + 1), CellsAt(walk.margins, x));
    EXPECT_EQ(exact, 1) << a;
    EXPECT_EQ(CompareProbabilities(walk, x + 1, x), exact) << a;
    EXPECT_EQ(CompareProbabilities(walk, x, x + 1), -exact) << a;
  }
  // Weights that agree within their rounding: a tie by the mirror, and one
  // between neighbours at the mode whose cells differ, each at totals near
  // 2^31.
  const std::array<std::uint32_t, 4> mirrored{600000000, 400000000, 400000000, 600000000};
  Walk walk = StartWalk(MarginsOf(mirrored));
  ASSERT_TRUE(Reach(walk, walk.mode + 40000) && Reach(walk, walk.mode - 40001));
  EXPECT_EQ(CompareProbabilities(walk, walk.mode + 3, walk.mode - 3), 0);
  EXPECT_EQ(CompareProbabilities(walk, walk.mode - 40000, walk.mode + 40000), 0);
  EXPECT_EQ(CompareProbabilities(walk, walk.mode + 3, walk.mode - 4), 1);
  EXPECT_EQ(CompareProbabilities(walk, walk.mode - 40001, walk.mode + 40000), -1);
  const std::array<std::uint32_t, 4> plateau{299999999, 400000000, 600000000, 799999999};
  Walk flat = StartWalk(MarginsOf(plateau));
  ASSERT_TRUE(Reach(flat, 300000000));
  EXPECT_EQ(CompareProbabilities(flat, 299999999, 300000000), 0);
  EXPECT_EQ(CompareProbabilities(flat, 300000000, 299999999), 0);
  EXPECT_EQ(CompareProbabilities(flat, 300000001, 299999999), -1);
  EXPECT_EQ(CompareProbabilities(flat, 299999998, 300000000), -1);
}

}  // namespace
}  // namespace engine::fourfold
