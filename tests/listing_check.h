// Checks a result file written by either program against an exact
// recomputation of its outcomes: the count, every row's cells, probability,
// chi-square and marks, and the four results as printed with six decimals.
#ifndef TESTS_LISTING_CHECK_H_
#define TESTS_LISTING_CHECK_H_

#include <string>
#include <vector>

#include "tests/exact.h"

/// One outcome as exact arithmetic sees it. The likelihood ratio is
/// prod (e_i / x_i)^x_i; within one run prod e_i^x_i is the same for every
/// outcome (both programs fix the total, and kestrin the margins too), so a
/// larger prod x_i^x_i is a smaller, more extreme likelihood ratio.
struct ExactOutcome {
  std::vector<int> cells;
  Fraction probability;
  Fraction chi2;
  Natural self_powers;  // prod x_i^x_i
};

/// Expects result_file (the bytes of a whole result file listing every
/// outcome) to hold the outcomes of `exact` in order, each with its
/// probability to 14 digits, its chi-square rounded half up to 4 decimals and
/// the marks that the exact statistics give against `observed`, and p and
/// mid-p of both statistics rounded half up to six decimals (where the exact
/// value lies within 1e-12 of a rounding boundary, either neighbour).
void ExpectListingMatchesExact(const std::string& result_file, const std::vector<ExactOutcome>& exact,
                               const ExactOutcome& observed);

#endif  // TESTS_LISTING_CHECK_H_
