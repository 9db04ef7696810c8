#include "engine/contingency/fourfold_walk.h"

#include "engine/contingency/fourfold_exact.h"

namespace engine::fourfold {
namespace {

// Sums w from start towards end (step +1 or -1), on from where the terms
// are known to shrink geometrically: the ratio of neighbours decreases
// along x (log-concavity), so once the ratio q at x is below 1, every term
// after w(x) is at most w(x) q^j and all of them together at most
// w(x) q / (1 - q). The sum stops when that bound falls below kTailShare of
// base plus what it has summed. q is taken a little above its computed
// value, over the rounding of the ratio.
long double SumOutward(Walk& walk, std::int64_t start, std::int64_t end, int step, long double base) {
  long double partial = 0;
  for (std::int64_t x = start;; x += step) {
    if (!Reach(walk, x)) break;  // the rest lies below the floor
    const long double w = WeightAt(walk, x);
    partial += w;
    if (x == end) break;
    const Ratio ratio = step > 0 ? UpRatio(walk.margins, x) : DownRatio(walk.margins, x);
    const long double q = ValueOf(ratio) * (1 + 0x1p-60L);
    if (q < 1 && w * q / (1 - q) <= kTailShare * (base + partial)) break;
  }
  return partial;
}

}  // namespace

Walk StartWalk(const Margins& margins) {
  Walk walk;
  walk.margins = margins;
  walk.mode = ModeOf(margins);
  walk.up.push_back(1);
  walk.down.push_back(1);
  return walk;
}

bool Reach(Walk& walk, std::int64_t x) {
  const Margins& m = walk.margins;
  if (x < m.lo || x > m.hi) return false;
  if (x >= walk.mode) {
    while (static_cast<std::int64_t>(walk.up.size()) <= x - walk.mode) {
      if (walk.up_ended) return false;
      const std::int64_t from = walk.mode + static_cast<std::int64_t>(walk.up.size()) - 1;
      const long double w = walk.up.back() * ValueOf(UpRatio(m, from));
      if (w < kFloor) {
        walk.up_ended = true;
        return false;
      }
      walk.up.push_back(w);
    }
  } else {
    while (static_cast<std::int64_t>(walk.down.size()) <= walk.mode - x) {
      if (walk.down_ended) return false;
      const std::int64_t from = walk.mode - static_cast<std::int64_t>(walk.down.size()) + 1;
      const long double w = walk.down.back() * ValueOf(DownRatio(m, from));
      if (w < kFloor) {
        walk.down_ended = true;
        return false;
      }
      walk.down.push_back(w);
    }
  }
  return true;
}

long double WeightAt(const Walk& walk, std::int64_t x) {
  return x >= walk.mode ? walk.up[x - walk.mode] : walk.down[walk.mode - x];
}

long double WeightOrZero(Walk& walk, std::int64_t x) { return Reach(walk, x) ? WeightAt(walk, x) : 0; }

long double SumRange(Walk& walk, std::int64_t a, std::int64_t b) {
  if (b < a) return 0;
  const std::int64_t mode = walk.mode;
  if (b < mode) return SumOutward(walk, b, a, -1, 0);
  if (a > mode) return SumOutward(walk, a, b, +1, 0);
  const long double upper = SumOutward(walk, mode, b, +1, 0);
  return upper + (a < mode ? SumOutward(walk, mode - 1, a, -1, upper) : 0);
}

int FilterWeights(long double a, long double b, long double tolerance) {
  if (a > b * (1 + tolerance)) return 1;
  if (a < b * (1 - tolerance)) return -1;
  return 0;
}

int CompareProbabilities(Walk& walk, std::int64_t x, std::int64_t y) {
  // Beyond the walk w(x) < kFloor, 1e-10 of w(y) at the most.
  if (!Reach(walk, x)) return -1;
  const int sign = FilterWeights(WeightAt(walk, x), WeightAt(walk, y),
                                 WeightTolerance(StepsTo(walk, x), StepsTo(walk, y)));
  if (sign != 0) return sign;
  // A larger product of factorials is a smaller probability.
  return -CompareFactorialProducts(CellsAt(walk.margins, x), CellsAt(walk.margins, y));
}

}  // namespace engine::fourfold
