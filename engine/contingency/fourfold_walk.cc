#include "engine/contingency/fourfold_walk.h"

#include "engine/contingency/fourfold_exact.h"

namespace engine::fourfold {

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
