// The hypergeometric weights of the tables, w(x) = P(x) / P(mode), formed
// from a mode outward by the ratios of neighbouring tables and kept, the
// walk going only as far as a caller asks: for a listing, which visits
// every table, and for exact comparisons of two tables' probabilities. Each step costs two roundings of
// an extended real (the ratio of two exact integers, then the product), so
// w(x) is within a relative 2 |x - mode| 2^-64 of itself, about 1e-10 at
// the most across a support of 2^31: far better than a log-space form,
// whose log-factorials near 4e10 lose 1e-9.
#ifndef ENGINE_CONTINGENCY_FOURFOLD_WALK_H_
#define ENGINE_CONTINGENCY_FOURFOLD_WALK_H_

#include <cstdint>
#include <vector>

#include "engine/contingency/fourfold_table.h"

namespace engine::fourfold {

/// The walk stops before the first weight below this: nothing that small
/// can show in a probability or p-value as a double (below 1e-340 over a
/// support of 2^31), while every weight kept is a normal extended real.
inline constexpr long double kFloor = 1e-350L;

struct Walk {
  Margins margins;
  std::int64_t mode = 0;
  std::vector<long double> up;    // up[i] = w(mode + i), up[0] = 1
  std::vector<long double> down;  // down[i] = w(mode - i), down[0] = 1
  bool up_ended = false;          // hi reached, or the floor
  bool down_ended = false;
};

Walk StartWalk(const Margins& margins);

/// Walks on until w(x) is kept; false when x lies beyond the floor (or
/// outside the support).
bool Reach(Walk& walk, std::int64_t x);

/// w(x) for x reached.
long double WeightAt(const Walk& walk, std::int64_t x);

/// The ratio steps behind w(x).
inline std::int64_t StepsTo(const Walk& walk, std::int64_t x) {
  return x >= walk.mode ? x - walk.mode : walk.mode - x;
}

/// The sign of P(x) - P(y), decided exactly: by the kept weights when their
/// rounding cannot reach it, otherwise by the tables' products of
/// factorials. y must be reached with a weight of at least kValidWeight.
int CompareProbabilities(Walk& walk, std::int64_t x, std::int64_t y);

/// The relative error bound of a comparison of two weights formed by
/// steps_x and steps_y ratio steps, with the rounding of the comparison
/// itself: (4 (steps_x + steps_y) + 16) 2^-64.
inline long double WeightTolerance(std::int64_t steps_x, std::int64_t steps_y) {
  return static_cast<long double>(4 * (steps_x + steps_y) + 16) * 0x1p-64L;
}

/// The sign of a - b for weights a and b known to within a relative
/// tolerance each, or 0 when the tolerance cannot tell.
int FilterWeights(long double a, long double b, long double tolerance);

}  // namespace engine::fourfold

#endif  // ENGINE_CONTINGENCY_FOURFOLD_WALK_H_
