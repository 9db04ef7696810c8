// Checks a result file written by either program against exact arithmetic.
#ifndef TESTS_LISTING_CHECK_H_
#define TESTS_LISTING_CHECK_H_

#include <string>

#include "tests/exact.h"

/// Expects the bytes of a whole result file to agree with `test`: the
/// observed chi-square, the count of outcomes, each listed outcome (when the
/// file lists them) with its cells, its probability, its chi-square and the
/// marks the exact statistics give, and the four results. A number must show
/// the exact value rounded half up to its last digit, except that a value
/// within its rounding noise (a relative 1e-15 for the probabilities, 1e-12
/// for the rest) of the middle between two texts may show either.
void ExpectResultFileMatchesExact(const std::string& result_file, const ExactTest& test);

#endif  // TESTS_LISTING_CHECK_H_
