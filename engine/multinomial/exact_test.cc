// The pieces that decide ties: the floating-point filter at its margin, the
// exact comparisons, the proportions read exactly, and the shares.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/multinomial/multinomial.h"
#include "engine/multinomial/classify.h"
#include "engine/multinomial/exact.h"
#include "engine/multinomial/null.h"
#include "engine/common/stirling.h"
#include "engine/multinomial/terms.h"

namespace engine::multinomial {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

TEST(FilterTest, DecidesOutsideTheMarginOnly) {
  for (int terms : {2, 5, 11}) {
    for (double observed : {1.0, 6.028322580102989, 1e-300, 3e200}) {
      Margin margin = MarginAround(observed, terms);
      EXPECT_EQ(Judge(std::nextafter(margin.above, kInfinity), margin), Verdict::kAbove);
      EXPECT_EQ(Judge(margin.above, margin), Verdict::kUndecided);
      EXPECT_EQ(Judge(std::nextafter(margin.below, -kInfinity), margin), Verdict::kBelow);
      EXPECT_EQ(Judge(margin.below, margin), Verdict::kUndecided);
      EXPECT_EQ(Judge(observed, margin), Verdict::kUndecided);
      // The margin holds every value the rounding of either sum allows.
      double delta = RelativeErrorBound(terms);
      EXPECT_GE(margin.above, observed * (1 + delta) / (1 - delta));
      EXPECT_LE(margin.below, observed * (1 - delta) / (1 + delta));
    }
  }
}

TEST(FilterTest, ZeroAndInfiniteStatistics) {
  Margin zero = MarginAround(0, 4);
  EXPECT_EQ(Judge(0, zero), Verdict::kUndecided);
  // Shares below the normal range err by up to half the least spacing each.
  EXPECT_EQ(Judge(4 * 4.9e-324, zero), Verdict::kUndecided);
  EXPECT_EQ(Judge(std::nextafter(zero.above, kInfinity), zero), Verdict::kAbove);
  EXPECT_EQ(Judge(1e-300, zero), Verdict::kAbove);
  Margin tiny = MarginAround(1e-320, 4);
  EXPECT_EQ(Judge(1e-320 + 8 * 4.9e-324, tiny), Verdict::kUndecided);
  EXPECT_EQ(Judge(2e-320, tiny), Verdict::kAbove);
  Margin infinite = MarginAround(kInfinity, 4);
  EXPECT_EQ(Judge(kInfinity, infinite), Verdict::kUndecided);
  EXPECT_EQ(Judge(1e308, infinite), Verdict::kBelow);
}

TEST(CompensatedSumTest, KeepsWhatPlainAdditionLoses) {
  CompensatedSum sum;
  sum.Add(1);
  for (int j = 0; j < 1000; ++j) sum.Add(1e-17);
  EXPECT_EQ(sum.Value(), 1 + 1e-14);
  CompensatedSum tiny;
  for (int j = 0; j < 10; ++j) tiny.Add(4.9e-324);
  EXPECT_EQ(tiny.Value(), 10 * 4.9e-324);
}

TEST(LogSumTest, ZeroExactlyWhenTheCoefficientsCancel) {
  auto sign = [](std::vector<long> numbers, std::vector<long> coefficients) {
    std::vector<mpz_class> a, c;
    for (long v : numbers) a.emplace_back(v);
    for (long v : coefficients) c.emplace_back(v);
    return SignOfLogSum(a, c);
  };
  EXPECT_EQ(sign({6, 2, 3}, {2, -2, -2}), 0);
  EXPECT_EQ(sign({8, 2}, {1, -3}), 0);
  EXPECT_EQ(sign({12, 18, 6}, {1, 1, -3}), 0);  // 12 x 18 = 6^3
  EXPECT_EQ(sign({12, 18, 6}, {1, 1, -2}), 1);
  EXPECT_EQ(sign({4, 2}, {4, -9}), -1);
  EXPECT_EQ(sign({1, 5}, {7, 0}), 0);
  // ln(2^64 + 1) - 64 ln 2 is 5.4e-20: beyond any double, not beyond MPFR.
  std::vector<mpz_class> big{mpz_class("18446744073709551617"), mpz_class(2)};
  EXPECT_EQ(SignOfLogSum(big, {mpz_class(1), mpz_class(-64)}), 1);
  EXPECT_EQ(SignOfLogSum(big, {mpz_class(-1), mpz_class(64)}), -1);
}

ExactOrder EqualOrder(std::size_t k) { return MakeExactOrder(MakeExactNull({}, k)); }

TEST(CompareExactlyTest, EqualProbabilities) {
  ExactOrder order = EqualOrder(5);
  std::vector<std::uint32_t> x{4, 1, 1, 1, 1};
  std::vector<std::uint32_t> y{2, 2, 2, 2, 0};
  EXPECT_EQ(CompareExactly(order, kChi, y, x), -1);       // 16 < 20
  EXPECT_EQ(CompareExactly(order, kDeviance, y, x), 0);   // 8 ln 2 both
  EXPECT_EQ(CompareExactly(order, kSurprise, y, x), -1);  // 2!^4 < 4!
  EXPECT_EQ(CompareExactly(order, kSurprise, x, y), 1);
  ExactOrder three = EqualOrder(3);
  std::vector<std::uint32_t> a{6, 1, 1};
  std::vector<std::uint32_t> b{0, 3, 5};
  EXPECT_EQ(CompareExactly(three, kSurprise, a, b), 0);  // 6! = 3! 5!
  EXPECT_EQ(CompareExactly(three, kChi, a, b), 1);       // 38 > 34
}

TEST(CompareExactlyTest, GivenProportions) {
  ExactOrder order = MakeExactOrder(MakeExactNull({"9", "3", "3", "1"}, 4));
  std::vector<std::uint32_t> x{315, 108, 101, 32};
  std::vector<std::uint32_t> swapped{315, 101, 108, 32};
  std::vector<std::uint32_t> other{315, 108, 100, 33};
  EXPECT_TRUE(IsPermutationWithinClasses(order.null, swapped, x));
  EXPECT_FALSE(IsPermutationWithinClasses(order.null, other, x));
  for (Statistic s : {kChi, kDeviance, kSurprise}) {
    EXPECT_EQ(CompareExactly(order, s, swapped, x), 0);
    EXPECT_EQ(CompareExactly(order, s, x, x), 0);
  }
  // One count moved from the category of weight 1, already below its
  // expectation of 34.75, to one of weight 3: more extreme on every ordering.
  std::vector<std::uint32_t> moved{315, 108, 102, 31};
  for (Statistic s : {kChi, kDeviance, kSurprise}) {
    EXPECT_EQ(CompareExactly(order, s, moved, x), 1);
    EXPECT_EQ(CompareExactly(order, s, x, moved), -1);
  }
}

TEST(CompareExactlyTest, WeightsBeyondMachineIntegers) {
  // Weights 10^21 and 10^21 + 1: the second category is the likelier by a
  // relative 1e-21, so putting both counts in the first is more extreme.
  ExactOrder order = MakeExactOrder(MakeExactNull({"1", "1.000000000000000000001"}, 2));
  EXPECT_FALSE(order.chi_factor_small);
  std::vector<std::uint32_t> first{2, 0};
  std::vector<std::uint32_t> second{0, 2};
  for (Statistic s : {kChi, kDeviance, kSurprise}) {
    EXPECT_EQ(CompareExactly(order, s, first, second), 1) << s;
    EXPECT_EQ(CompareExactly(order, s, second, first), -1) << s;
  }
}

TEST(ProportionTest, Grammar) {
  for (const char* text : {"9", "0.25", "1e-3", "2.5E+2", ".5", "5.", "007", "1e0", "0.1",
                           "1e-307", "9.99e307", "0.00001e-302"}) {
    EXPECT_TRUE(IsProportion(text)) << text;
  }
  for (const char* text : {"", "0", "0.000", "0e5", "-1", "+1", " 1", "1 ", "1,5", "0x10", "inf",
                           "nan", "1e", "1e+", "e5", ".", "1..2", "1.2.3", "1e5.5", "１",
                           "1e308", "1e-308", "1e99999999999999999999", "1e-99999999999999999999"}) {
    EXPECT_FALSE(IsProportion(text)) << text;
  }
}

TEST(ProportionTest, ExactScaling) {
  ExactNull null = MakeExactNull({"0.25", "7.5E-1"}, 2);
  EXPECT_EQ(null.weights[0], 1);
  EXPECT_EQ(null.weights[1], 3);
  EXPECT_FALSE(null.equal);
  ExactNull tenths = MakeExactNull({"0.1", "0.2", "0.3", "3e-1"}, 4);
  EXPECT_EQ(tenths.weights, (std::vector<mpz_class>{1, 2, 3, 3}));
  EXPECT_EQ(tenths.weight_class, (std::vector<std::uint32_t>{0, 1, 2, 2}));
  EXPECT_TRUE(MakeExactNull({"2", "2.0", "20e-1"}, 3).equal);
  std::vector<double> p = NormalisedProbabilities(MakeExactNull({"9", "3", "3", "1"}, 4));
  EXPECT_EQ(p, (std::vector<double>{9.0 / 16, 3.0 / 16, 3.0 / 16, 1.0 / 16}));
}

TEST(ExpectationTest, NearestIntegerAndOffset) {
  Expectation e = MakeExpectation(7, 1, 4);  // 1.75
  EXPECT_EQ(e.nearest, 2);
  EXPECT_EQ(e.offset, -0.25L);
  Expectation half = MakeExpectation(5, 1, 2);  // 2.5 rounds up
  EXPECT_EQ(half.nearest, 3);
  EXPECT_EQ(half.offset, -0.5L);
  Expectation whole = MakeExpectation(556, 9, 16);  // 312.75
  EXPECT_EQ(whole.nearest, 313);
  EXPECT_EQ(whole.value, 312.75L);
}

TEST(TermsTest, SharesOfKnownValue) {
  Expectation e = MakeExpectation(7, 1, 4);  // e = 1.75
  Terms zero = ComputeTerms(0, e);
  EXPECT_EQ(zero.chi, 1.75);
  EXPECT_EQ(zero.deviance, 1.75);
  EXPECT_EQ(zero.surprise, 1.75);
  Terms four = ComputeTerms(4, e);
  EXPECT_DOUBLE_EQ(four.chi, 2.25 * 2.25 / 1.75);
  EXPECT_DOUBLE_EQ(four.deviance, 4 * std::log(4 / 1.75) + 1.75 - 4);
  EXPECT_DOUBLE_EQ(four.surprise, std::log(24.0) - 4 * std::log(1.75) + 1.75);
  // At the expectation every share but the surprise vanishes exactly.
  Terms at = ComputeTerms(313, MakeExpectation(313, 1, 1));
  EXPECT_EQ(at.chi, 0);
  EXPECT_EQ(at.deviance, 0);
  EXPECT_DOUBLE_EQ(at.surprise, SurpriseOfTotal(313));
}

TEST(TermsTest, StirlingErrorBothSidesOfTheSeries) {
  for (std::uint64_t y : {1, 2, 10, 15, 16, 17, 100, 100000}) {
    long double direct = std::lgamma(static_cast<long double>(y) + 1) -
                         ((y + 0.5L) * std::log(static_cast<long double>(y)) - y +
                          0.918938533204672741780329736405617639861L);
    EXPECT_NEAR(static_cast<double>(StirlingError(y)), static_cast<double>(direct),
                2e-16 * static_cast<double>(y)) << y;
  }
}

}  // namespace
}  // namespace engine::multinomial
