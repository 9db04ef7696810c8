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

/// True when the tails hold every table of the support: p is 1.
inline bool CoversSupport(const Tails& tails) { return tails.upper <= tails.lower + 1; }

/// The tails of X^2, in closed form: the key |D| is linear on each side of
/// D = 0, so the mirror of the observed table is a quotient of integers.
Tails ChiSquareTails(const Margins& margins, std::int64_t x0);

/// The tails of G^2: the mirror of the observed table found by Newton's
/// method on the real function sum n ln n, then each candidate decided
/// exactly (a multiset test, a filter in doubles, one in extended reals,
/// and exact arithmetic where both are in doubt).
Tails LikelihoodRatioTails(const Margins& margins, std::int64_t x0);

/// The sign of sum a ln a - sum b ln b over the cells of two tables with
/// the same margins, decided exactly; key_b is that sum for b in doubles.
int CompareSelfPowerKeys(const Cells& a, const Cells& b, double key_b);

/// sum n ln n over the cells, in doubles (0 ln 0 = 0).
double SelfPowerKey(const Cells& cells);

/// The one-sided tail: n11 <= x0 (less) or n11 >= x0 (greater).
inline Tails OneSidedTails(const Margins& m, std::int64_t x0, bool less) {
  if (less) return {x0, m.hi + 1, true, false};
  return {m.lo - 1, x0, false, true};
}

}  // namespace engine::fourfold

#endif  // ENGINE_CONTINGENCY_FOURFOLD_TAILS_H_
