// p-values far below the range of doubles, down to 1e-5000 and beyond,
// from every exact method against exact integer arithmetic (GMP): each
// outcome's probability as an integer over the common denominator W^n,
// the orderings decided on integers (X^2, the probability) or on 512-bit
// logarithms (G^2), p summed exactly and its log10 taken by MPFR.
#include <gmpxx.h>
#include <gtest/gtest.h>
#include <mpfr.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "engine/common/pace.h"
#include "engine/multinomial/methods.h"
#include "engine/multinomial/multinomial.h"
#include "engine/multinomial/plan.h"
#include "engine/multinomial/setup.h"

namespace engine::multinomial {
namespace {

// log10 of numerator / W^n.
double Log10Of(const mpz_class& numerator, const mpz_class& denominator_base, unsigned long n) {
  mpfr_t value, base;
  mpfr_inits2(512, value, base, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_z(value, numerator.get_mpz_t(), MPFR_RNDN);
  mpfr_log10(value, value, MPFR_RNDN);
  mpfr_set_z(base, denominator_base.get_mpz_t(), MPFR_RNDN);
  mpfr_log10(base, base, MPFR_RNDN);
  mpfr_mul_ui(base, base, n, MPFR_RNDN);
  mpfr_sub(value, value, base, MPFR_RNDN);
  double result = mpfr_get_d(value, MPFR_RNDN);
  mpfr_clears(value, base, static_cast<mpfr_ptr>(nullptr));
  return result;
}

// A 512-bit real, freed with its scope.
struct Real {
  mpfr_t value;
  Real() { mpfr_init2(value, 512); }
  ~Real() { mpfr_clear(value); }
  Real(const Real& other) : Real() { mpfr_set(value, other.value, MPFR_RNDN); }
};

struct ExactP {
  std::array<double, 3> log10_p, log10_mid_p;
};

// Every outcome of k = 2 or 3 categories with weights w and total n.
// Its probability numerator is C(n, y_1) C(n - y_1, y_2) prod w_i^y_i;
// X^2 orders as sum y_i^2 / w_i (times the product of the weights); G^2
// as sum y_i ln(y_i / w_i), at 512 bits, two values within 2^-400 of each
// other tied (permutations and the like sum the same terms in another
// order; distinct values lie far apart).
ExactP Oracle(const std::vector<std::uint32_t>& observed, const std::vector<unsigned>& w) {
  const std::size_t k = observed.size();
  unsigned n = 0, total_weight = 0;
  for (std::uint32_t x : observed) n += x;
  for (unsigned weight : w) total_weight += weight;
  unsigned long product = 1;
  for (unsigned weight : w) product *= weight;
  std::vector<std::vector<mpz_class>> power(k, std::vector<mpz_class>(n + 1));
  std::vector<std::vector<Real>> deviance(k, std::vector<Real>(n + 1));
  for (std::size_t i = 0; i < k; ++i) {
    for (unsigned y = 0; y <= n; ++y) {
      mpz_ui_pow_ui(power[i][y].get_mpz_t(), w[i], y);
      mpfr_t& d = deviance[i][y].value;
      mpfr_set_zero(d, 1);
      if (y == 0) continue;
      mpfr_set_ui(d, y, MPFR_RNDN);
      mpfr_div_ui(d, d, w[i], MPFR_RNDN);
      mpfr_log(d, d, MPFR_RNDN);
      mpfr_mul_ui(d, d, y, MPFR_RNDN);
    }
  }
  // C(n, j), row by row.
  std::vector<mpz_class> choose(n + 1);
  choose[0] = 1;
  for (unsigned j = 0; j < n; ++j) choose[j + 1] = choose[j] * (n - j) / (j + 1);
  struct Row {
    mpz_class chi, probability;
    Real deviance;
  };
  auto evaluate = [&](const std::vector<std::uint32_t>& y) {
    Row row;
    row.chi = 0;
    for (std::size_t i = 0; i < k; ++i)
      row.chi += mpz_class(static_cast<unsigned long>(y[i])) * y[i] * (product / w[i]);
    mpz_class ways = choose[y[0]];
    if (k == 3) {
      mpz_class more;
      mpz_bin_uiui(more.get_mpz_t(), n - y[0], y[1]);
      ways *= more;
    }
    row.probability = ways;
    for (std::size_t i = 0; i < k; ++i) row.probability *= power[i][y[i]];
    mpfr_set_zero(row.deviance.value, 1);
    for (std::size_t i = 0; i < k; ++i)
      mpfr_add(row.deviance.value, row.deviance.value, deviance[i][y[i]].value, MPFR_RNDN);
    return row;
  };
  const Row x = evaluate(observed);
  Real difference, bound;
  std::array<mpz_class, 3> beyond{0, 0, 0}, tied{0, 0, 0};
  std::vector<std::uint32_t> y(k, 0);
  for (unsigned first = 0; first <= n; ++first) {
    const unsigned rest = n - first;
    for (unsigned second = 0; second <= (k == 3 ? rest : 0); ++second) {
      y[0] = first;
      y[1] = k == 3 ? second : rest;
      if (k == 3) y[2] = rest - second;
      const Row row = evaluate(y);
      mpfr_sub(difference.value, row.deviance.value, x.deviance.value, MPFR_RNDN);
      mpfr_abs(bound.value, x.deviance.value, MPFR_RNDN);
      mpfr_add_ui(bound.value, bound.value, 1, MPFR_RNDN);
      mpfr_mul_2si(bound.value, bound.value, -400, MPFR_RNDN);
      const int by_deviance = mpfr_cmpabs(difference.value, bound.value) <= 0 ? 0 : mpfr_sgn(difference.value);
      const int sign[3] = {cmp(row.chi, x.chi), by_deviance, -cmp(row.probability, x.probability)};
      for (int o = 0; o < 3; ++o) {
        if (sign[o] > 0) beyond[o] += row.probability;
        if (sign[o] == 0) tied[o] += row.probability;
      }
    }
  }
  ExactP p;
  for (int o = 0; o < 3; ++o) {
    p.log10_p[o] = Log10Of(beyond[o] + tied[o], total_weight, n);
    p.log10_mid_p[o] = Log10Of(2 * beyond[o] + tied[o], total_weight, n) - std::log10(2.0);
  }
  return p;
}

MultinomialProblem Problem(const std::vector<std::uint32_t>& counts, const std::vector<unsigned>& w) {
  MultinomialProblem problem{counts, {}};
  for (unsigned weight : w) problem.proportions.push_back(std::to_string(weight));
  return problem;
}

// The engine's log10 p and mid-p from one method, run on its own.
ExactP RunMethod(const MultinomialProblem& problem, ExactMethod method);

void ExpectAgrees(const std::vector<std::uint32_t>& counts, const std::vector<unsigned>& w) {
  const MultinomialProblem problem = Problem(counts, w);
  const ExactP exact = Oracle(counts, w);
  std::string label = "counts";
  for (std::uint32_t c : counts) label += " " + std::to_string(c);
  SCOPED_TRACE(label);
  bool equal = true;
  for (unsigned weight : w) equal = equal && weight == w[0];
  std::vector<ExactMethod> methods = {ExactMethod::kEveryOutcome, ExactMethod::kNetwork};
  if (equal) methods.push_back(ExactMethod::kClasses);
  for (ExactMethod method : methods) {
    const ExactP got = RunMethod(problem, method);
    for (int o = 0; o < 3; ++o) {
      EXPECT_NEAR(got.log10_p[o], exact.log10_p[o], 1e-9) << "method " << static_cast<int>(method) << " ordering " << o;
      EXPECT_NEAR(got.log10_mid_p[o], exact.log10_mid_p[o], 1e-9)
          << "method " << static_cast<int>(method) << " ordering " << o;
    }
  }
  // Through the interface: the double is 0 where p underflows, its log10
  // is not.
  MultinomialOptions options;
  options.method = Method::kExact;
  const MultinomialResult result = TestMultinomial(problem, options);
  for (int o = 0; o < 3; ++o) {
    EXPECT_NEAR(result.orderings[o].log10_p, exact.log10_p[o], 1e-9) << "ordering " << o;
    EXPECT_NEAR(result.orderings[o].log10_mid_p, exact.log10_mid_p[o], 1e-9) << "ordering " << o;
    if (exact.log10_p[o] < -330) {
      EXPECT_EQ(result.orderings[o].p, 0) << "ordering " << o;
    }
    if (exact.log10_p[o] > -300) {
      EXPECT_NEAR(result.orderings[o].p, std::pow(10.0, exact.log10_p[o]), 1e-9 * result.orderings[o].p);
    }
  }
}

TEST(DeepTailTest, AllInOneCategoryOfTwoDownTo1e5117) {
  // 2^-16999: the two corners, every method.
  ExpectAgrees({17000, 0}, {1, 1});
  ExpectAgrees({0, 12000}, {1, 1});
}

TEST(DeepTailTest, BinomialTailsOfUnequalProportions) {
  // Deep in one tail of Binomial(9000, 1/4) and of Binomial(6000, 3/7):
  // the tails summed across thousands of outcomes.
  ExpectAgrees({8200, 800}, {1, 3});
  ExpectAgrees({20, 5980}, {3, 4});
  // Near the middle, p of ordinary size.
  ExpectAgrees({2310, 6690}, {1, 3});
}

TEST(DeepTailTest, ThreeCategoriesBelowTheRangeOfDoubles) {
  // (1/6)^420 and the like: p about 1e-327, summed by the network over
  // partial outcomes.
  ExpectAgrees({420, 0, 0}, {1, 2, 3});
  ExpectAgrees({0, 0, 450}, {2, 2, 1});
  ExpectAgrees({300, 0, 0}, {1, 1, 1});
  ExpectAgrees({10, 250, 40}, {1, 2, 3});
}

ExactP RunMethod(const MultinomialProblem& problem, ExactMethod method) {
  Setup setup = MakeSetup(problem);
  Pace pace = StartPace(nullptr, 0);
  Tallies tallies;
  switch (method) {
    case ExactMethod::kEveryOutcome:
      tallies = EnumerateOutcomes(setup, {}, pace);
      break;
    case ExactMethod::kClasses:
      tallies = EnumerateClasses(setup, {}, pace);
      break;
    case ExactMethod::kNetwork:
      tallies = WalkNetwork(setup, pace);
      break;
  }
  ExactP p;
  for (int o = 0; o < 3; ++o) {
    LogSum sum = tallies.tally[o].beyond;
    sum.Add(tallies.tally[o].tied);
    LogSum mid = tallies.tally[o].beyond;
    mid.Add(tallies.tally[o].tied, 0.5L);
    p.log10_p[o] = static_cast<double>(sum.Ln() / std::log(10.0L));
    p.log10_mid_p[o] = static_cast<double>(mid.Ln() / std::log(10.0L));
  }
  return p;
}

}  // namespace
}  // namespace engine::multinomial
