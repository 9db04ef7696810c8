// Where the tables stand against the observed one in an ordering. Each
// two-sided key of a table (|N n11 - r1 c1| for X^2, sum n ln n for G^2,
// the product of the factorials of the cells for the probability) is a
// strictly convex function of n11, so the tables at least as extreme as the
// observed one form two tails, lo..lower and upper..hi, and only their
// inner ends can tie with it: the observed table is one of them, and at
// most one other table ties. The one-sided orderings by n11 are single
// tails of the same form.
#ifndef ENGINE_CONTINGENCY_FOURFOLD_TAILS_H_
#define ENGINE_CONTINGENCY_FOURFOLD_TAILS_H_

#include <cstdint>

#include "engine/common/exact_test.h"
#include "engine/contingency/fourfold_table.h"
#include "engine/contingency/fourfold_walk.h"

namespace engine::fourfold {

struct Tails {
  std::int64_t lower = 0;  // lo..lower at least as extreme (none when lower < lo)
  std::int64_t upper = 0;  // upper..hi likewise (none when upper > hi); lower < upper
  bool lower_tied = false;
  bool upper_tied = false;
};

inline Mark MarkOf(const Tails& tails, std::int64_t x) {
  if (x <= tails.lower) return x == tails.lower && tails.lower_tied ? Mark::kTied : Mark::kBeyond;
  if (x >= tails.upper) return x == tails.upper && tails.upper_tied ? Mark::kTied : Mark::kBeyond;
  return Mark::kNotExtreme;
}

/// The tails of a two-sided ordering, given compare(x) = the sign of
/// key(x) - key(x0) for a key that is strictly convex in x (a larger key
/// more extreme). About 2 log2(hi - lo) comparisons.
template <typename Compare>
Tails FindTails(const Margins& m, std::int64_t x0, Compare compare) {
  const int right = x0 < m.hi ? compare(x0 + 1) : 1;
  if (right < 0) {
    // The keys dip to the right of x0 and rise again: the first table past
    // the dip whose key is at least the observed one starts the upper tail.
    std::int64_t first = x0 + 2, last = m.hi + 1;
    while (first < last) {
      const std::int64_t mid = first + (last - first) / 2;
      if (compare(mid) >= 0) {
        last = mid;
      } else {
        first = mid + 1;
      }
    }
    return {x0, first, true, first <= m.hi && compare(first) == 0};
  }
  const int left = x0 > m.lo ? compare(x0 - 1) : 1;
  if (left < 0) {
    std::int64_t first = m.lo - 1, last = x0 - 2;
    while (first < last) {
      const std::int64_t mid = last - (last - first) / 2;
      if (compare(mid) >= 0) {
        first = mid;
      } else {
        last = mid - 1;
      }
    }
    return {first, x0, first >= m.lo && compare(first) == 0, true};
  }
  // x0 has the least key: every table is at least as extreme.
  if (right == 0) return {x0, x0 + 1, true, true};
  if (left == 0) return {x0 - 1, x0, true, true};
  return {x0, x0 + 1, true, false};
}

/// The one-sided tail: n11 <= x0 (less) or n11 >= x0 (greater).
inline Tails OneSidedTails(const Margins& m, std::int64_t x0, bool less) {
  if (less) return {x0, m.hi + 1, true, false};
  return {m.lo - 1, x0, false, true};
}

struct TailSums {
  long double beyond = 0;  // of the weights w of the tables beyond
  long double tied = 0;
  bool everything = false;  // the tails cover the support
};

/// The weights summed over the tails, as far as they matter.
TailSums SumTails(Walk& walk, const Tails& tails);

/// The result of an ordering from its tails and the sum of every weight.
OrderingResult ResultOf(Ordering ordering, double value, const TailSums& sums, long double total_weight);

}  // namespace engine::fourfold

#endif  // ENGINE_CONTINGENCY_FOURFOLD_TAILS_H_
