// The multinomial test through its interface: known values, degenerate
// data, the listing, the limit of plain enumeration, far tails.
#include <gmock/gmock.h>
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/multinomial/multinomial.h"

namespace engine {
namespace {

using ::testing::HasSubstr;

MultinomialResult RunTest(std::vector<std::uint32_t> counts, std::vector<std::string> proportions = {},
                      Method method = Method::kExact) {
  MultinomialOptions options;
  options.method = method;
  return TestMultinomial(MultinomialProblem{std::move(counts), std::move(proportions)}, options);
}

void ExpectRelative(double actual, double expected, double tolerance = 1e-12) {
  EXPECT_NEAR(actual, expected, tolerance * std::fabs(expected)) << "expected " << expected;
}

TEST(MultinomialTest, ReportExample) {
  MultinomialResult r = RunTest({1, 0, 4, 2});
  EXPECT_EQ(r.total, 7u);
  EXPECT_EQ(r.outcomes, 120);
  EXPECT_EQ(r.method, Method::kExact);
  EXPECT_EQ(r.probabilities, (std::vector<double>{0.25, 0.25, 0.25, 0.25}));
  EXPECT_EQ(r.orderings[0].ordering, Ordering::kChiSquare);
  EXPECT_EQ(r.orderings[1].ordering, Ordering::kLikelihoodRatio);
  EXPECT_EQ(r.orderings[2].ordering, Ordering::kProbability);
  ExpectRelative(r.orderings[0].value, 5);
  ExpectRelative(r.orderings[1].value, 6.028322580102989, 1e-15);
  ExpectRelative(r.orderings[2].value, 0.00640869140625);
  for (const OrderingResult& o : r.orderings) {
    ExpectRelative(o.p, 0.23095703125);
    ExpectRelative(o.mid_p, 0.154052734375);
    EXPECT_TRUE(std::isnan(o.standard_error));
  }
}

TEST(MultinomialTest, FewerCountsThanCategories) {
  // Four outcomes like 2 0 0 0 (1/16 each), six like 1 1 0 0 (1/8 each).
  MultinomialResult r = RunTest({2, 0, 0, 0});
  for (const OrderingResult& o : r.orderings) {
    ExpectRelative(o.p, 0.25);
    ExpectRelative(o.mid_p, 0.125);
  }
}

TEST(MultinomialTest, NearTiesAreNotTies) {
  // Outcomes whose G^2 or probability come within 1e-8 of the observed
  // ones are still strictly less extreme (values from exact arithmetic).
  MultinomialResult r = RunTest({151, 124, 112});
  ExpectRelative(r.orderings[0].p, 0.04707254066031597);
  ExpectRelative(r.orderings[0].mid_p, 0.04590841988019309);
  ExpectRelative(r.orderings[1].p, 0.046954478997042436);
  ExpectRelative(r.orderings[1].mid_p, 0.04664742219067027);
  ExpectRelative(r.orderings[2].p, 0.04756851805784372);
  ExpectRelative(r.orderings[2].mid_p, 0.047261461251471557);
}

TEST(MultinomialTest, SingleOutcome) {
  for (auto counts : {std::vector<std::uint32_t>{5}, std::vector<std::uint32_t>{0, 0, 0}}) {
    std::vector<OutcomeRow> rows;
    MultinomialOptions options;
    options.every_outcome = true;
    MultinomialResult r = TestMultinomial(MultinomialProblem{counts, {}}, options,
                                          [&](const OutcomeRow& row) { rows.push_back(row); });
    EXPECT_EQ(r.outcomes, 1);
    for (const OrderingResult& o : r.orderings) {
      EXPECT_EQ(o.p, 1);
      EXPECT_EQ(o.mid_p, 0.5);
    }
    EXPECT_EQ(r.orderings[0].value, 0);
    EXPECT_EQ(r.orderings[1].value, 0);
    EXPECT_EQ(r.orderings[2].value, 1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].probability, 1);
    EXPECT_EQ(rows[0].marks[0], Mark::kTied);
    EXPECT_EQ(rows[0].marks[2], Mark::kTied);
  }
}

TEST(MultinomialTest, ListingInOrder) {
  std::vector<std::vector<std::uint32_t>> seen;
  double total_probability = 0;
  int observed_rows = 0;
  MultinomialOptions options;
  options.every_outcome = true;
  MultinomialProblem problem{{2, 0, 1}, {"0.5", "0.25", "0.25"}};
  MultinomialResult r = TestMultinomial(problem, options, [&](const OutcomeRow& row) {
    seen.emplace_back(row.counts.begin(), row.counts.end());
    total_probability += row.probability;
    if (seen.back() == problem.counts) {
      ++observed_rows;
      for (int o = 0; o < 3; ++o) EXPECT_EQ(row.marks[o], Mark::kTied);
    }
    EXPECT_EQ(row.marks[3], Mark::kNotExtreme);
  });
  std::vector<std::vector<std::uint32_t>> expected{{0, 0, 3}, {0, 1, 2}, {0, 2, 1}, {0, 3, 0},
                                                   {1, 0, 2}, {1, 1, 1}, {1, 2, 0}, {2, 0, 1},
                                                   {2, 1, 0}, {3, 0, 0}};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(observed_rows, 1);
  EXPECT_NEAR(total_probability, 1, 1e-15);
  EXPECT_EQ(r.outcomes_visited, 10u);
}

TEST(MultinomialTest, PlainEnumerationHasALimit) {
  MultinomialOptions options;
  options.every_outcome = true;
  std::vector<std::uint32_t> counts(10, 10);
  try {
    TestMultinomial(MultinomialProblem{counts, {}}, options, [](const OutcomeRow&) {});
    ADD_FAILURE() << "no failure";
  } catch (const TestFailure& failure) {
    EXPECT_THAT(failure.what(), HasSubstr("4263421511271"));
    EXPECT_THAT(failure.what(), HasSubstr("1000000000"));
  }
}

TEST(MultinomialTest, MalformedProblems) {
  EXPECT_THROW(RunTest({}), TestFailure);
  EXPECT_THROW(RunTest({1, 2}, {"1"}), TestFailure);
  EXPECT_THROW(RunTest({1, 2}, {"1", "0"}), TestFailure);
  EXPECT_THROW(RunTest({2147483647u, 1}), TestFailure);
}

TEST(MultinomialTest, FarTailsKeepTheirRelativeAccuracy) {
  // 990 0: the two extreme outcomes, each 2^-990.
  MultinomialResult corner = RunTest({990, 0});
  for (const OrderingResult& o : corner.orderings) {
    ExpectRelative(o.p, std::ldexp(1.0, -989));
    ExpectRelative(o.mid_p, std::ldexp(1.0, -990));
  }
  // 1500 500: both tails of the binomial beyond 1500 of 2000.
  MultinomialResult tail = RunTest({1500, 500});
  for (const OrderingResult& o : tail.orderings) {
    ExpectRelative(o.p, 1.474397522976895e-115);
    ExpectRelative(o.mid_p, 9.824426506853973e-116);
  }
}

// The outcome's probability n! / prod y_i! prod (w_i / W)^y_i as a rational.
mpq_class ExactProbability(const std::vector<std::uint32_t>& y, const std::vector<unsigned>& w) {
  unsigned n = 0, total = 0;
  for (std::uint32_t count : y) n += count;
  for (unsigned weight : w) total += weight;
  mpz_class numerator, denominator;
  mpz_fac_ui(numerator.get_mpz_t(), n);
  mpz_ui_pow_ui(denominator.get_mpz_t(), total, n);
  for (std::size_t i = 0; i < y.size(); ++i) {
    mpz_class factorial, power;
    mpz_fac_ui(factorial.get_mpz_t(), y[i]);
    mpz_ui_pow_ui(power.get_mpz_t(), w[i], y[i]);
    numerator *= power;
    denominator *= factorial;
  }
  mpq_class q(numerator, denominator);
  q.canonicalize();
  return q;
}

TEST(MultinomialTest, ExactValuesPrintAsTheirOwnDoubles) {
  // Weights summing to a power of two: every probability, p and mid-p is
  // a dyadic fraction, exact in a double, and must come out as that very
  // double (1/16 as 0.0625, not 0.06250000000000003), in the listing and
  // in the sums, by every method.
  struct Case {
    std::vector<std::uint32_t> counts;
    std::vector<unsigned> weights;
    double p, mid_p;  // chi-square
  };
  const Case cases[] = {
      {{3, 1}, {1, 1}, 0.625, 0.375},
      {{1, 0, 4, 2}, {1, 1, 1, 1}, 0.23095703125, 0.154052734375},
      {{2, 1, 1}, {1, 1, 2}, 0, 0},
      {{0, 6, 1, 1}, {1, 3, 2, 2}, 0, 0},
  };
  for (const Case& c : cases) {
    MultinomialProblem problem{c.counts, {}};
    for (unsigned weight : c.weights) problem.proportions.push_back(std::to_string(weight));
    SCOPED_TRACE(problem.counts.size());
    MultinomialOptions options;
    options.method = Method::kExact;
    options.every_outcome = true;
    mpq_class beyond = 0, tied = 0;
    MultinomialResult listed = TestMultinomial(problem, options, [&](const OutcomeRow& row) {
      const mpq_class exact = ExactProbability({row.counts.begin(), row.counts.end()}, c.weights);
      EXPECT_EQ(row.probability, exact.get_d());
      if (row.marks[0] == Mark::kBeyond) beyond += exact;
      if (row.marks[0] == Mark::kTied) tied += exact;
    });
    const double p = mpq_class(beyond + tied).get_d();
    const double mid_p = mpq_class(beyond + tied / 2).get_d();
    if (c.p > 0) {
      EXPECT_EQ(p, c.p);
    }
    if (c.mid_p > 0) {
      EXPECT_EQ(mid_p, c.mid_p);
    }
    options.every_outcome = false;
    for (const MultinomialResult& result : {listed, TestMultinomial(problem, options)}) {
      EXPECT_EQ(result.orderings[0].p, p);
      EXPECT_EQ(result.orderings[0].mid_p, mid_p);
      EXPECT_EQ(result.orderings[2].value, ExactProbability(c.counts, c.weights).get_d());
    }
  }
}

TEST(MultinomialTest, PIsOneWhereNoOutcomeIsLessExtreme) {
  // The observed counts at the mode: every outcome is at least as extreme
  // in X^2, G^2 and P; the sum of the probabilities may round below 1.
  MultinomialOptions options;
  options.method = Method::kExact;
  const std::vector<std::vector<std::uint32_t>> modes = {
      {10, 10, 10, 10, 10, 10, 10}, {75, 75, 75, 75}, {2, 2, 2}, {4, 3, 3}, {5, 5, 5, 5, 5}, {40, 40, 40}};
  for (const std::vector<std::uint32_t>& counts : modes) {
    for (bool listed : {false, true}) {
      if (listed && counts.size() * counts[0] > 60) continue;  // every outcome one by one
      options.every_outcome = listed;
      const MultinomialResult r = TestMultinomial(MultinomialProblem{counts, {}}, options,
                                                  [](const engine::OutcomeRow&) {});
      for (int o = 0; o < 3; ++o) {
        EXPECT_EQ(r.orderings[o].p, 1) << counts.size() << " categories, ordering " << o;
        EXPECT_EQ(r.orderings[o].log10_p, 0) << counts.size() << " categories, ordering " << o;
        EXPECT_LT(r.orderings[o].mid_p, 1);
      }
    }
  }
  // One outcome less extreme than 1 3 in X^2 and P (2 2): p below 1.
  const MultinomialResult r = RunTest({1, 3});
  EXPECT_EQ(r.orderings[0].p, 0.625);
  EXPECT_EQ(r.orderings[2].p, 0.625);
}

TEST(MultinomialTest, ChiSquareIsRoundedOnce) {
  // X^2 exactly a double comes out as itself; a sum of rounded shares
  // would give 4.499999999999999, 1.9999999999999998 or 76.99999999999994.
  EXPECT_EQ(RunTest({4, 1, 1, 1, 1}).orderings[0].value, 4.5);
  EXPECT_EQ(RunTest({1, 0, 0}).orderings[0].value, 2);
  EXPECT_EQ(RunTest({7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).orderings[0].value, 77);
  EXPECT_EQ(RunTest({5, 0, 0}).orderings[0].value, 10);
  EXPECT_EQ(RunTest({3, 1}, {"3", "1"}).orderings[0].value, 0);
  EXPECT_EQ(RunTest({2, 3}, {"0.2", "0.8"}).orderings[0].value, 1.25);  // e = 1, 4
  // Otherwise the nearest double: 1/3 + 1/7 = 10/21 under 3:7 with n = 10
  // (e = 3, 7), whatever the method.
  EXPECT_EQ(RunTest({4, 6}, {"3", "7"}).orderings[0].value, 10.0 / 21);
  EXPECT_EQ(RunTest({4, 6}, {"3", "7"}, Method::kMonteCarlo).orderings[0].value, 10.0 / 21);
}

TEST(MultinomialTest, LargeBinomialAgainstRationals) {
  // 0.3 : 0.7 with a total of 700; every outcome's probability and X^2
  // from rationals, p summed exactly.
  const unsigned n = 700;
  const unsigned observed = 180;  // expectation 210
  auto probability = [&](unsigned j) {
    mpz_class ways;
    mpz_bin_uiui(ways.get_mpz_t(), n, j);
    mpz_class three, seven, ten;
    mpz_ui_pow_ui(three.get_mpz_t(), 3, j);
    mpz_ui_pow_ui(seven.get_mpz_t(), 7, n - j);
    mpz_ui_pow_ui(ten.get_mpz_t(), 10, n);
    return mpq_class(ways * three * seven, ten);
  };
  // X^2 = (j - 210)^2 / 210 + (j - 210)^2 / 490: orders as |j - 210|.
  mpq_class beyond = 0, tied = 0;
  for (unsigned j = 0; j <= n; ++j) {
    int distance = std::abs(static_cast<int>(j) - 210);
    if (distance > 30) beyond += probability(j);
    if (distance == 30) tied += probability(j);
  }
  beyond.canonicalize();
  tied.canonicalize();
  MultinomialResult r = RunTest({observed, n - observed}, {"0.3", "0.7"});
  ExpectRelative(r.orderings[0].p, mpq_class(beyond + tied).get_d());
  ExpectRelative(r.orderings[0].mid_p, mpq_class(beyond + tied / 2).get_d());
}

}  // namespace
}  // namespace engine
