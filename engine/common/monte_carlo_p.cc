#include "engine/common/monte_carlo_p.h"

#include <cmath>

namespace engine {

OrderingResult MonteCarloOrdering(Ordering ordering, double value, std::uint64_t beyond, std::uint64_t tied,
                                  std::uint64_t samples) {
  // Counts below 2^64 are exact in an extended real.
  const long double draws = static_cast<long double>(samples) + 1;
  const long double at_least = static_cast<long double>(beyond) + static_cast<long double>(tied) + 1;
  const long double half_tied = (static_cast<long double>(tied) + 1) / 2;
  const long double p = at_least / draws;
  const long double mid_p = (static_cast<long double>(beyond) + half_tied) / draws;
  OrderingResult result{ordering, value, static_cast<double>(p), static_cast<double>(mid_p)};
  result.standard_error = static_cast<double>(std::sqrt(p * (1 - p) / draws));
  result.log10_p = static_cast<double>(std::log10(p));
  result.log10_mid_p = static_cast<double>(std::log10(mid_p));
  result.draws_extreme = beyond + tied;
  result.draws_tied = tied;
  return result;
}

double UpperBoundWhenNoneExtreme(std::uint64_t samples) {
  if (samples == 0) return 1;
  // -expm1(ln(0.05) / m) keeps its digits for large m.
  return -std::expm1(std::log(0.05) / static_cast<double>(samples));
}

}  // namespace engine
