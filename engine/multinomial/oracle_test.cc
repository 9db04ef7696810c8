// The multinomial test against exact rational arithmetic: every outcome of
// many small random problems, with its probability, its statistics and its
// place against the observed outcome computed with GMP rationals only, and
// p and mid-p summed exactly.
#include <gmock/gmock.h>
#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "engine/multinomial/multinomial.h"

namespace engine {
namespace {

// A proportion written as text together with its exact value.
struct WrittenProportion {
  std::string text;
  mpq_class value;
};

// digits x 10^-scale written in one of the forms a user might type.
WrittenProportion Write(unsigned digits, int scale, int form) {
  std::string plain = std::to_string(digits);
  mpz_class power;
  mpz_ui_pow_ui(power.get_mpz_t(), 10, static_cast<unsigned long>(scale));
  WrittenProportion written{"", mpq_class(digits, 1) / mpq_class(power)};
  written.value.canonicalize();
  switch (form) {
    case 0: {  // positional: "0.025", "2.5", "25"
      if (scale == 0) {
        written.text = plain;
      } else {
        std::string padded = std::string(static_cast<std::size_t>(scale) + 1, '0') + plain;
        std::size_t point = padded.size() - static_cast<std::size_t>(scale);
        written.text = padded.substr(0, point) + "." + padded.substr(point);
        written.text.erase(0, std::min(written.text.find_first_not_of('0'), point - 1));
      }
      break;
    }
    case 1:  // "25e-3"
      written.text = plain + "e-" + std::to_string(scale);
      break;
    default:  // "2.5E-2" style, the point after the first digit
      written.text = plain.substr(0, 1) + "." + plain.substr(1) + "0E" +
                     std::to_string(static_cast<int>(plain.size()) - 1 - scale);
      break;
  }
  return written;
}

struct OracleRow {
  std::vector<std::uint32_t> y;
  mpq_class probability;
  mpq_class chi;       // X^2
  mpq_class exp_half;  // exp(G^2 / 2) = prod (y_i / e_i)^y_i
};

mpz_class Factorial(unsigned n) {
  mpz_class f;
  mpz_fac_ui(f.get_mpz_t(), n);
  return f;
}

// Each category's factors for every count 0..n: pi^y / y!, (y - e)^2 / e
// and (y / e)^y.
struct OracleShares {
  std::vector<std::vector<mpq_class>> probability, chi, exp_half;
};

OracleShares MakeShares(const std::vector<mpq_class>& pi, unsigned n) {
  OracleShares shares;
  for (const mpq_class& p : pi) {
    mpq_class e = p * n;
    std::vector<mpq_class> probability, chi, exp_half;
    mpq_class power = 1;
    for (unsigned y = 0; y <= n; ++y) {
      probability.push_back(power / mpq_class(Factorial(y)));
      power *= p;
      chi.push_back(n == 0 ? mpq_class(0) : mpq_class((y - e) * (y - e) / e));
      mpq_class ratio = 1;
      if (y > 0) {
        mpq_class base = mpq_class(y) / e;
        for (unsigned j = 0; j < y; ++j) ratio *= base;
      }
      exp_half.push_back(ratio);
    }
    shares.probability.push_back(probability);
    shares.chi.push_back(chi);
    shares.exp_half.push_back(exp_half);
  }
  return shares;
}

OracleRow Evaluate(const std::vector<std::uint32_t>& y, const OracleShares& shares, unsigned n) {
  OracleRow row{y, mpq_class(Factorial(n)), 0, 1};
  for (std::size_t i = 0; i < y.size(); ++i) {
    row.probability *= shares.probability[i][y[i]];
    row.chi += shares.chi[i][y[i]];
    row.exp_half *= shares.exp_half[i][y[i]];
  }
  return row;
}

void Outcomes(std::vector<std::uint32_t>& y, std::size_t i, unsigned left,
              std::vector<std::vector<std::uint32_t>>& all) {
  if (i + 1 == y.size()) {
    y[i] = left;
    all.push_back(y);
    return;
  }
  for (unsigned v = 0; v <= left; ++v) {
    y[i] = v;
    Outcomes(y, i + 1, left - v, all);
  }
}

// Where a stands against b: +1 more extreme.
int Extremeness(const OracleRow& a, const OracleRow& b, int ordering) {
  switch (ordering) {
    case 0:
      return cmp(a.chi, b.chi) > 0 ? 1 : (a.chi == b.chi ? 0 : -1);
    case 1:
      return cmp(a.exp_half, b.exp_half) > 0 ? 1 : (a.exp_half == b.exp_half ? 0 : -1);
    default:
      return cmp(a.probability, b.probability) < 0 ? 1
                                                   : (a.probability == b.probability ? 0 : -1);
  }
}

double LogOf(const mpq_class& q) {
  mpfr_t x;
  mpfr_init2(x, 64);
  mpfr_set_q(x, q.get_mpq_t(), MPFR_RNDN);
  mpfr_log(x, x, MPFR_RNDN);
  double result = mpfr_get_d(x, MPFR_RNDN);
  mpfr_clear(x);
  return result;
}

Mark MarkFor(int extremeness) {
  return extremeness > 0 ? Mark::kBeyond : (extremeness == 0 ? Mark::kTied : Mark::kNotExtreme);
}

// Runs one problem through the engine with every outcome listed and checks
// each row and the p-values against the oracle.
void CheckAgainstOracle(const std::vector<std::uint32_t>& observed,
                        const std::vector<WrittenProportion>& proportions) {
  const std::size_t k = observed.size();
  unsigned n = 0;
  for (std::uint32_t count : observed) n += count;
  std::vector<mpq_class> pi(k, mpq_class(1, static_cast<unsigned>(k)));
  MultinomialProblem problem{observed, {}};
  if (!proportions.empty()) {
    mpq_class total = 0;
    for (const WrittenProportion& p : proportions) total += p.value;
    for (std::size_t i = 0; i < k; ++i) {
      pi[i] = proportions[i].value / total;
      problem.proportions.push_back(proportions[i].text);
    }
  }
  std::string label = "counts";
  for (std::uint32_t count : observed) label += " " + std::to_string(count);
  for (const std::string& text : problem.proportions) label += " " + text;
  SCOPED_TRACE(label);

  std::vector<std::vector<std::uint32_t>> all;
  std::vector<std::uint32_t> y(k);
  Outcomes(y, 0, n, all);
  OracleShares shares = MakeShares(pi, n);
  OracleRow observed_row = Evaluate(observed, shares, n);

  std::vector<OutcomeRow> rows;
  std::vector<std::vector<std::uint32_t>> row_counts;
  MultinomialOptions options;
  options.method = Method::kExact;
  options.every_outcome = true;
  MultinomialResult result = TestMultinomial(problem, options, [&](const OutcomeRow& row) {
    rows.push_back(row);
    row_counts.emplace_back(row.counts.begin(), row.counts.end());
  });
  ASSERT_EQ(rows.size(), all.size());
  EXPECT_EQ(result.outcomes, static_cast<double>(all.size()));

  mpq_class beyond[3] = {0, 0, 0};
  mpq_class tied[3] = {0, 0, 0};
  for (std::size_t r = 0; r < all.size(); ++r) {
    OracleRow exact = Evaluate(all[r], shares, n);
    ASSERT_EQ(row_counts[r], all[r]) << "row " << r;
    EXPECT_EQ(rows[r].multiplicity, 1);
    EXPECT_NEAR(rows[r].probability, exact.probability.get_d(),
                1e-13 * exact.probability.get_d());
    EXPECT_NEAR(rows[r].chi_square, exact.chi.get_d(), 1e-13 * exact.chi.get_d() + 1e-300);
    double g2 = 2 * LogOf(exact.exp_half);
    EXPECT_NEAR(rows[r].likelihood_ratio, g2, 1e-12 * std::fabs(g2) + 1e-13);
    for (int o = 0; o < 3; ++o) {
      int extremeness = Extremeness(exact, observed_row, o);
      EXPECT_EQ(rows[r].marks[o], MarkFor(extremeness)) << "ordering " << o << " row " << r;
      if (extremeness > 0) beyond[o] += exact.probability;
      if (extremeness == 0) tied[o] += exact.probability;
    }
  }
  // Without a listing the fastest exact method runs (classes of outcomes,
  // in doubles where they suffice, or the network): the same p-values.
  options.every_outcome = false;
  const MultinomialResult quick = TestMultinomial(problem, options);
  for (int o = 0; o < 3; ++o) {
    double p = mpq_class(beyond[o] + tied[o]).get_d();
    double mid_p = mpq_class(beyond[o] + tied[o] / 2).get_d();
    EXPECT_NEAR(result.orderings[o].p, p, 1e-12 * p) << "ordering " << o;
    EXPECT_NEAR(result.orderings[o].mid_p, mid_p, 1e-12 * mid_p) << "ordering " << o;
    EXPECT_NEAR(quick.orderings[o].p, p, 1e-12 * p) << "ordering " << o << " without a listing";
    EXPECT_NEAR(quick.orderings[o].mid_p, mid_p, 1e-12 * mid_p)
        << "ordering " << o << " without a listing";
  }
}

TEST(MultinomialOracleTest, EqualProbabilities) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 100; ++trial) {
    std::size_t k = 2 + random() % 4;
    std::vector<std::uint32_t> observed(k);
    unsigned most = 1 + random() % (k < 4 ? 8 : 4);
    for (std::uint32_t& count : observed) count = static_cast<std::uint32_t>(random() % (most + 1));
    CheckAgainstOracle(observed, {});
    if (HasFailure()) return;
  }
}

TEST(MultinomialOracleTest, GivenProportions) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 150; ++trial) {
    std::size_t k = 2 + random() % 4;
    std::vector<std::uint32_t> observed(k);
    for (std::uint32_t& count : observed) count = static_cast<std::uint32_t>(random() % 5);
    // Few distinct weights, so that categories of equal weight (and the
    // ties they bring) are common; written at various scales and forms.
    std::vector<WrittenProportion> proportions;
    for (std::size_t i = 0; i < k; ++i) {
      unsigned digits = 1 + random() % 4;
      int scale = static_cast<int>(random() % 3);
      if (random() % 2 == 0) {
        digits *= 10;
        ++scale;
      }
      proportions.push_back(Write(digits, scale, static_cast<int>(random() % 3)));
    }
    CheckAgainstOracle(observed, proportions);
    if (HasFailure()) return;
  }
}

TEST(MultinomialOracleTest, TiesAcrossDifferentCounts) {
  // Equal G^2 without being permutations: 4 ln 4 = 4 (2 ln 2).
  CheckAgainstOracle({4, 1, 1, 1, 1}, {});
  CheckAgainstOracle({2, 2, 2, 2, 0}, {});
  // Equal probabilities without being permutations: 6! 1! 1! = 5! 3! 0!.
  CheckAgainstOracle({6, 1, 1}, {});
  CheckAgainstOracle({5, 0, 3}, {});
  // Proportions whose binary roundings would break ties: 0.1 + 0.2 is 0.3.
  CheckAgainstOracle({2, 1, 1}, {Write(1, 1, 0), Write(2, 1, 0), Write(3, 1, 0)});
  CheckAgainstOracle({1, 3, 0}, {Write(3, 1, 0), Write(7, 1, 0), Write(1, 0, 0)});
}

TEST(MultinomialOracleTest, ProportionsCloserThanDoublePrecision) {
  // 1 against 1 + 1e-21: no double tells them apart, yet the outcomes
  // that favour the first category are strictly more extreme.
  WrittenProportion one = Write(1, 0, 0);
  WrittenProportion near_one{"1.000000000000000000001",
                             mpq_class(mpz_class("1000000000000000000001"),
                                       mpz_class("1000000000000000000000"))};
  CheckAgainstOracle({0, 2}, {one, near_one});
  CheckAgainstOracle({2, 0}, {one, near_one});
  CheckAgainstOracle({1, 2, 1}, {one, near_one, one});
  // 1 against 1 + 1e-300: the shares of X^2 at the near-even outcomes are
  // about 1e-600, below every double.
  std::string digits = "1" + std::string(299, '0') + "1";
  WrittenProportion nearer{"1." + digits.substr(1),
                           mpq_class(mpz_class(digits), mpz_class("1" + std::string(300, '0')))};
  nearer.value.canonicalize();
  CheckAgainstOracle({1, 1}, {one, nearer});
  CheckAgainstOracle({2, 0}, {nearer, one});
  CheckAgainstOracle({2, 1, 1}, {one, nearer, one});
}

}  // namespace
}  // namespace engine
