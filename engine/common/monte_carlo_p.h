// p-values from Monte Carlo draws that are valid p-values: the observed
// outcome counts as one more draw, tied with itself, so that with b of m
// draws at least as extreme p = (b + 1) / (m + 1), never 0, and
// P(p <= alpha) <= alpha under the null for every alpha.
#ifndef ENGINE_COMMON_MONTE_CARLO_P_H_
#define ENGINE_COMMON_MONTE_CARLO_P_H_

#include <cstdint>

#include "engine/common/exact_test.h"

namespace engine {

/// The result of an ordering from samples draws, of which beyond were more
/// extreme than the observed outcome and tied as extreme:
///   p     = (beyond + tied + 1) / (samples + 1),
///   mid-p = (beyond + (tied + 1) / 2) / (samples + 1),
///   standard error of p = sqrt(p (1 - p) / (samples + 1)),
/// with their log10, draws_extreme = beyond + tied and draws_tied = tied.
/// From 0 of 10^6 draws p is 1 / 1000001, its standard error about 1e-6.
OrderingResult MonteCarloOrdering(Ordering ordering, double value, std::uint64_t beyond, std::uint64_t tied,
                                  std::uint64_t samples);

/// The one-sided 95 percent upper confidence bound on the exact p when none
/// of samples draws was as extreme: 1 - 0.05^(1 / samples), about
/// 3 / samples (2.9957e-06 for 10^6 draws); 1 for no draw.
double UpperBoundWhenNoneExtreme(std::uint64_t samples);

}  // namespace engine

#endif  // ENGINE_COMMON_MONTE_CARLO_P_H_
