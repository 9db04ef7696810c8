// The outcomes of both tests in exact arithmetic, independent of the
// extended reals the programs compute with (GMP's integers and fractions).
//
// Within one run every outcome's probability has the same denominator, and
// so has its chi-square; an outcome carries the numerators. Its likelihood
// ratio is prod (e_i / x_i)^x_i, and prod e_i^x_i is the same for every
// outcome of a run (both programs fix the total, kestrin the margins too):
// a larger prod x_i^x_i is a smaller, more extreme likelihood ratio.
#ifndef TESTS_EXACT_H_
#define TESTS_EXACT_H_

#include <gmpxx.h>

#include <functional>
#include <vector>

struct ExactOutcome {
  std::vector<int> cells;  // the frequencies, or n11 n12 n21 n22
  mpz_class weight;        // probability x probability_denominator
  mpz_class chi2;          // chi-square x chi2_denominator
};

using OutcomeVisitor = std::function<void(const ExactOutcome&)>;

struct ExactTest {
  mpz_class probability_denominator;
  mpz_class chi2_denominator;
  ExactOutcome observed;
  /// Visits every outcome in the order the program lists them.
  std::function<void(const OutcomeVisitor&)> for_each;
};

/// orvane: every vector of non-negative frequencies with the observed total,
/// the first category changing slowest; probability T0! / (x_1! ... x_k!) /
/// k^T0, chi-square sum (k x_i - T0)^2 / (k T0). The total must be positive.
ExactTest UniformityTest(const std::vector<int>& observed);

/// kestrin: every table of non-negative cells with the observed margins, in
/// increasing n11; probability C(r1, n11) C(r2, n21) / C(N, c1), chi-square
/// N (n11 n22 - n12 n21)^2 / (r1 r2 c1 c2). No margin may be 0.
ExactTest FourfoldTest(const std::vector<int>& observed);

/// The sign of prod a_i^a_i - prod b_i^b_i (0^0 is 1).
int CompareSelfPowers(const std::vector<int>& a, const std::vector<int>& b);

/// The mark of an outcome against the observed one: "*" beyond, "=" tied,
/// "" neither.
const char* ChiSquareMark(const ExactOutcome& outcome, const ExactOutcome& observed);
const char* LikelihoodRatioMark(const ExactOutcome& outcome, const ExactOutcome& observed);

/// The number of outcomes, and the four results: p and mid-p of the
/// chi-square, then of the likelihood ratio.
struct ExactResults {
  long count;
  mpq_class values[4];
};
ExactResults Results(const ExactTest& test);

#endif  // TESTS_EXACT_H_
