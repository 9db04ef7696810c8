#include "tests/exact.h"

#include <cmath>
#include <cstdint>

namespace {

mpz_class Binomial(int n, int k) {
  mpz_class result;
  if (k < 0 || k > n) return 0;
  mpz_bin_uiui(result.get_mpz_t(), static_cast<unsigned long>(n), static_cast<unsigned long>(k));
  return result;
}

mpz_class Power(int base, int exponent) {
  mpz_class result;
  mpz_ui_pow_ui(result.get_mpz_t(), static_cast<unsigned long>(base), static_cast<unsigned long>(exponent));
  return result;
}

std::int64_t Square(std::int64_t v) { return v * v; }

// Places the frequency of category j (0-based) and those after it, with
// `remaining` observations left and `weight` = T0! / (x_0! .. x_(j-1)!
// remaining!). Over the values v of x_j the weight times C(remaining, v) is
// carried from one v to the next, exactly.
void PlaceCategory(std::vector<int>& x, std::size_t j, int remaining, const mpz_class& weight,
                   std::int64_t chi2_so_far, int categories, int total, const OutcomeVisitor& visit) {
  if (j + 1 == x.size()) {
    x[j] = remaining;
    ExactOutcome outcome{x, weight, mpz_class(0)};
    mpz_set_si(outcome.chi2.get_mpz_t(), chi2_so_far + Square(std::int64_t{categories} * remaining - total));
    visit(outcome);
    return;
  }
  mpz_class w = weight;
  for (int v = 0; v <= remaining; ++v) {
    if (v > 0) {
      w *= remaining - v + 1;
      mpz_divexact_ui(w.get_mpz_t(), w.get_mpz_t(), static_cast<unsigned long>(v));
    }
    x[j] = v;
    PlaceCategory(x, j + 1, remaining - v, w, chi2_so_far + Square(std::int64_t{categories} * v - total),
                  categories, total, visit);
  }
}

struct Margins {
  int row1, row2, column1, column2, total;
};

Margins MarginsOf(const std::vector<int>& t) {
  return {t[0] + t[1], t[2] + t[3], t[0] + t[2], t[1] + t[3], t[0] + t[1] + t[2] + t[3]};
}

ExactOutcome FourfoldOutcome(const Margins& m, int n11) {
  std::vector<int> cells = {n11, m.row1 - n11, m.column1 - n11, m.row2 - m.column1 + n11};
  mpz_class determinant = mpz_class(cells[0]) * cells[3] - mpz_class(cells[1]) * cells[2];
  return {cells, Binomial(m.row1, cells[0]) * Binomial(m.row2, cells[2]),
          mpz_class(m.total) * determinant * determinant};
}

long double SelfPowerLog(const std::vector<int>& values) {
  long double sum = 0;
  for (int v : values) sum += v > 0 ? v * std::log(static_cast<long double>(v)) : 0;
  return sum;
}

mpz_class SelfPowerProduct(const std::vector<int>& values) {
  mpz_class product = 1;
  for (int v : values) product *= Power(v, v);
  return product;
}

const char* Mark(int order) { return order > 0 ? "*" : order == 0 ? "=" : ""; }

}  // namespace

ExactTest UniformityTest(const std::vector<int>& observed) {
  const int categories = static_cast<int>(observed.size());
  int total = 0;
  for (int v : observed) total += v;
  ExactTest test;
  test.probability_denominator = Power(categories, total);
  test.chi2_denominator = mpz_class(categories) * total;
  mpz_class factorial;
  mpz_fac_ui(factorial.get_mpz_t(), static_cast<unsigned long>(total));
  test.observed.cells = observed;
  test.observed.weight = factorial;
  std::int64_t chi2 = 0;
  for (int v : observed) {
    mpz_class f;
    mpz_fac_ui(f.get_mpz_t(), static_cast<unsigned long>(v));
    test.observed.weight /= f;
    chi2 += Square(std::int64_t{categories} * v - total);
  }
  mpz_set_si(test.observed.chi2.get_mpz_t(), chi2);
  test.for_each = [categories, total](const OutcomeVisitor& visit) {
    std::vector<int> x(static_cast<std::size_t>(categories), 0);
    PlaceCategory(x, 0, total, 1, 0, categories, total, visit);
  };
  return test;
}

ExactTest FourfoldTest(const std::vector<int>& observed) {
  const Margins m = MarginsOf(observed);
  ExactTest test;
  test.probability_denominator = Binomial(m.total, m.column1);
  test.chi2_denominator = mpz_class(m.row1) * m.row2 * m.column1 * m.column2;
  test.observed = FourfoldOutcome(m, observed[0]);
  test.for_each = [m](const OutcomeVisitor& visit) {
    int low = m.column1 - m.row2 > 0 ? m.column1 - m.row2 : 0;
    int high = m.column1 < m.row1 ? m.column1 : m.row1;
    for (int n11 = low; n11 <= high; ++n11) visit(FourfoldOutcome(m, n11));
  };
  return test;
}

int CompareSelfPowers(const std::vector<int>& a, const std::vector<int>& b) {
  // The logarithms decide where they differ clearly (their error is far
  // below 1e-12 for the totals of the programs); the products decide the
  // rest.
  long double difference = SelfPowerLog(a) - SelfPowerLog(b);
  if (difference > 1e-9L) return 1;
  if (difference < -1e-9L) return -1;
  return cmp(SelfPowerProduct(a), SelfPowerProduct(b));
}

const char* ChiSquareMark(const ExactOutcome& outcome, const ExactOutcome& observed) {
  return Mark(cmp(outcome.chi2, observed.chi2));
}

const char* LikelihoodRatioMark(const ExactOutcome& outcome, const ExactOutcome& observed) {
  return Mark(CompareSelfPowers(outcome.cells, observed.cells));
}

ExactResults Results(const ExactTest& test) {
  mpz_class chi2_excess, chi2_tie, lr_excess, lr_tie;
  long count = 0;
  test.for_each([&](const ExactOutcome& outcome) {
    ++count;
    int chi2_order = cmp(outcome.chi2, test.observed.chi2);
    int lr_order = CompareSelfPowers(outcome.cells, test.observed.cells);
    if (chi2_order > 0) chi2_excess += outcome.weight;
    if (chi2_order == 0) chi2_tie += outcome.weight;
    if (lr_order > 0) lr_excess += outcome.weight;
    if (lr_order == 0) lr_tie += outcome.weight;
  });
  auto fraction = [&](const mpz_class& twice) {
    mpq_class value(twice, 2 * test.probability_denominator);
    value.canonicalize();
    return value;
  };
  return {count,
          {fraction(2 * (chi2_excess + chi2_tie)), fraction(2 * chi2_excess + chi2_tie),
           fraction(2 * (lr_excess + lr_tie)), fraction(2 * lr_excess + lr_tie)}};
}
