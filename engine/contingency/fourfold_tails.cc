#include "engine/contingency/fourfold_tails.h"

#include <algorithm>

namespace engine::fourfold {

TailSums SumTails(Walk& walk, const Tails& tails) {
  const Margins& m = walk.margins;
  TailSums sums;
  sums.everything = tails.upper == tails.lower + 1;
  const std::int64_t lower_end = std::min(tails.lower, m.hi) - (tails.lower_tied ? 1 : 0);
  const std::int64_t upper_start = std::max(tails.upper, m.lo) + (tails.upper_tied ? 1 : 0);
  // Each tail summed on its own, from its inner end outward, never as the
  // complement of the rest.
  sums.beyond = SumRange(walk, m.lo, lower_end) + SumRange(walk, upper_start, m.hi);
  if (tails.lower_tied) sums.tied += WeightOrZero(walk, tails.lower);
  if (tails.upper_tied) sums.tied += WeightOrZero(walk, tails.upper);
  return sums;
}

OrderingResult ResultOf(Ordering ordering, double value, const TailSums& sums, long double total_weight) {
  OrderingResult result{};
  result.ordering = ordering;
  result.value = value;
  const long double p = sums.everything ? 1 : std::min<long double>((sums.beyond + sums.tied) / total_weight, 1);
  result.p = static_cast<double>(p);
  result.mid_p = static_cast<double>(std::min<long double>((sums.beyond + sums.tied / 2) / total_weight, p));
  return result;
}

}  // namespace engine::fourfold
