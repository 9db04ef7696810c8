#include "engine/contingency/fourfold_sweep.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "engine/contingency/fourfold_exact.h"

namespace engine::fourfold {
namespace {

constexpr long double kUnit = 0x1p-64L;

// Within this many tables of a known weight the search steps by ratios.
constexpr std::int64_t kLocalSteps = 8;

// How far x lies from the side's start, in walk order.
std::int64_t Distance(const SweptSide& side, std::int64_t x) { return (x - side.start) * side.direction; }

bool OnSide(const SweptSide& side, std::int64_t x) {
  const std::int64_t d = Distance(side, x);
  return d >= 0 && d <= Distance(side, side.end);
}

// w(x + direction) / w(x).
Ratio StepRatio(const Margins& m, std::int64_t x, int direction) {
  return direction > 0 ? UpRatio(m, x) : DownRatio(m, x);
}

int CutIndex(const SweptSide& side, std::int64_t x) {
  for (int i = 0; i < side.cut_count; ++i) {
    if (side.cuts[i] == x) return i;
  }
  return -1;
}

// A weight and its relative error bound.
struct Located {
  Scaled w{};
  long double tolerance = 0;
};

Located WeightByLog(SweepFrame& frame, std::int64_t x) {
  if (!frame.mode_key_known) {
    frame.mode_key = ProbabilityKeyAt(frame.margins, frame.mode);
    frame.mode_key_known = true;
  }
  const LogWeight lw = LogWeightAt(frame.margins, frame.mode_key, x);
  return {FromLog(lw.value), lw.tolerance};
}

// The sign of w(x) - w(x0), decided exactly: a larger product of
// factorials is a smaller probability.
int CompareWithObserved(const SweepFrame& frame, const MirrorSearch& search, std::int64_t x, const Located& at) {
  const int sign = FilterScaled(at.w, search.w0, at.tolerance + search.tolerance + 16 * kUnit);
  if (sign != 0) return sign;
  return -CompareFactorialProducts(CellsAt(frame.margins, x), CellsAt(frame.margins, search.x0));
}

struct Mirror {
  std::int64_t at = 0;
  bool tied = false;
  Located weight;  // meaningful when at lies on the side
};

// The mirror beyond x, which is more probable than x0, found in logarithms
// when the sweep has left everything past x behind as negligible.
Mirror SearchMirror(SweepFrame& frame, const SweptSide& side, const MirrorSearch& search, std::int64_t x) {
  const Margins& m = frame.margins;
  const int dir = side.direction;
  const Mirror none{side.end + dir, false, {}};
  const auto compare = [&](std::int64_t y, const Located& at) { return CompareWithObserved(frame, search, y, at); };
  // b: a table no more probable than x0, from the hint (which is near the
  // answer) or the side's end.
  std::int64_t b = OnSide(side, search.hint) && Distance(side, search.hint) > Distance(side, x) ? search.hint : side.end;
  Located wb = WeightByLog(frame, b);
  int cb = compare(b, wb);
  std::int64_t a = x;  // more probable than x0
  if (cb > 0) {
    // The answer lies beyond the hint: a few steps on, or bracketed by the end.
    a = b;
    Located wa = wb;
    for (int i = 0; i < kLocalSteps && a != side.end; ++i) {
      wa = {Scale(wa.w, ValueOf(StepRatio(m, a, dir))), wa.tolerance + 4 * kUnit};
      a += dir;
      const int c = compare(a, wa);
      if (c <= 0) return {a, c == 0, wa};
    }
    if (a == side.end) return none;
    b = side.end;
    wb = WeightByLog(frame, b);
    cb = compare(b, wb);
    if (cb > 0) return none;
  }
  // ln w is concave and falls along the side: stepping inward from b, each
  // table gains less than the one before, so k = (ln w0 - ln w(b)) / (the
  // gain of the first step) tables inward still hold w <= w0. Narrow
  // [a, b] that way until few tables are left.
  const long double log_w0 = LogOf(search.w0);
  for (int iteration = 0; iteration < 200 && Distance(side, b) - Distance(side, a) > kLocalSteps; ++iteration) {
    const long double gain = -std::log(ValueOf(StepRatio(m, b - dir, dir)));
    const long double need = log_w0 - LogOf(wb.w);
    if (!(gain > 0) || !(need >= 0)) break;
    const long double k = std::floor(need / gain);
    if (k < 1) break;
    const std::int64_t room = Distance(side, b) - Distance(side, a) - 1;
    const std::int64_t g = b - dir * static_cast<std::int64_t>(std::min<long double>(k, static_cast<long double>(room)));
    const Located wg = WeightByLog(frame, g);
    const int cg = compare(g, wg);
    if (cg > 0) {
      a = g;
      break;
    }
    b = g, wb = wg, cb = cg;
  }
  // Then inward from b by ratios, while the table before is no more
  // probable either.
  while (Distance(side, b) - Distance(side, a) > 1) {
    const Located before{Scale(wb.w, 1 / ValueOf(StepRatio(m, b - dir, dir))), wb.tolerance + 4 * kUnit};
    const int c = compare(b - dir, before);
    if (c > 0) break;
    b -= dir, wb = before, cb = c;
  }
  return {b, cb == 0, wb};
}

long double InScale(const Scaled& s, std::int64_t scale) {
  if (s.exponent == scale) return s.fraction;
  const std::int64_t shift = std::clamp<std::int64_t>(s.exponent - scale, -20000, 20000);
  return std::ldexp(s.fraction, static_cast<int>(shift));
}

}  // namespace

SweepFrame StartSweep(const Margins& margins) {
  SweepFrame frame;
  frame.margins = margins;
  frame.mode = ModeOf(margins);
  return frame;
}

void StartSide(const SweepFrame& frame, int direction, SweptSide& side) {
  side.direction = direction;
  side.start = direction > 0 ? frame.mode : frame.mode - 1;
  side.end = direction > 0 ? frame.margins.hi : frame.margins.lo;
  side.cut_count = 0;
}

void AddCut(SweptSide& side, std::int64_t x) {
  if (!OnSide(side, x) || CutIndex(side, x) >= 0) return;
  if (side.cut_count == kMaxCuts) throw std::logic_error("too many cuts in a sweep");
  int i = side.cut_count;
  while (i > 0 && Distance(side, side.cuts[i - 1]) > Distance(side, x)) {
    side.cuts[i] = side.cuts[i - 1];
    --i;
  }
  side.cuts[i] = x;
  ++side.cut_count;
}

namespace {

// The weights from x on, while nothing calls for attention: until the
// table `limit` (the next cut or the side's end), a weight within reach
// of w0_high (the observed one's, with room for rounding: the search), a
// table past which everything is negligible, or kRunSteps tables. Each
// table passed is added to seg; x, w, seg and steps are left at the first
// table not passed.
constexpr std::int64_t kRunSteps = std::int64_t{1} << 20;

template <int kDirection, bool kSearching>
void RunOn(const Margins& m, std::int64_t limit, long double w0_high, std::int64_t& x, long double& w,
           long double& seg, std::int64_t& steps) {
  // The run ends at limit or kRunSteps tables on, whichever comes first.
  const std::int64_t stop = (limit - x) * kDirection <= kRunSteps ? limit : x + kDirection * kRunSteps;
  std::int64_t at = x;
  long double weight = w, sum = seg;
  // A weight at most `floor` is negligible: floor is the bound of the test
  // below as it stood a few tables back, and the bound only rises outward
  // (the sum grows, the ratio falls), so it errs on the side of walking on.
  long double floor = -1;
  for (int until_floor = 0; at != stop && (!kSearching || weight > w0_high); --until_floor) {
    const long double next_sum = sum + weight;
    const long double ratio = ValueOf(kDirection > 0 ? UpRatio(m, at) : DownRatio(m, at));
    if (until_floor == 0) {
      const long double q = ratio * (1 + 0x1p-60L);
      if (q < 1 && weight * q <= kTailShare * next_sum * (1 - q)) break;
      floor = q < 1 ? kTailShare * next_sum * (1 - q) / q : -1;
      until_floor = 8;
    } else if (weight <= floor) {
      break;
    }
    sum = next_sum;
    weight *= ratio;
    at += kDirection;
  }
  steps += (at - x) * kDirection;
  x = at, w = weight, seg = sum;
}

}  // namespace

void Sweep(SweepFrame& frame, SweptSide& side, MirrorSearch* search) {
  const Margins& m = frame.margins;
  const int dir = side.direction;
  if (Distance(side, side.end) < 0) {  // no table on this side
    side.cut_count = 0;
    side.segments[0] = side.outer[0] = side.inner[0] = Scaled{};
    if (search != nullptr) *search = {search->x0, search->w0, search->tolerance, search->hint, true, side.end + dir, false};
    return;
  }
  // The weight at x is w 2^scale, within a relative anchor_tolerance plus
  // 4 units of 2^-64 for each ratio step since its anchor (the mode, or
  // the table jumped to).
  std::int64_t x = side.start;
  long double w = dir > 0 ? 1 : ValueOf(DownRatio(m, frame.mode));
  std::int64_t scale = 0;
  long double anchor_tolerance = dir > 0 ? 0 : 4 * kUnit;
  std::int64_t steps = 0;
  long double seg = 0;
  int next = 0;  // the first cut not passed
  bool pending = search != nullptr;
  long double w0_here = pending ? InScale(search->w0, scale) : 0;
  bool jumped = false;
  Located landed;
  Mirror found_far;
  bool far_known = false;

  for (;;) {
    // The tables that need no attention, in a tight loop: at or below
    // w0_high the search must look, w0_high holding the tolerance the
    // weights can reach within the run's steps.
    const std::int64_t limit = next < side.cut_count ? side.cuts[next] : side.end;
    const long double w0_high =
        pending ? w0_here * (1 + search->tolerance + anchor_tolerance +
                             static_cast<long double>(4 * (steps + kRunSteps) + 16) * kUnit)
                : -1;
    if (dir > 0 && pending) {
      RunOn<+1, true>(m, limit, w0_high, x, w, seg, steps);
    } else if (dir > 0) {
      RunOn<+1, false>(m, limit, w0_high, x, w, seg, steps);
    } else if (pending) {
      RunOn<-1, true>(m, limit, w0_high, x, w, seg, steps);
    } else {
      RunOn<-1, false>(m, limit, w0_high, x, w, seg, steps);
    }
    if (pending) {
      const long double tolerance = search->tolerance + anchor_tolerance + (4 * steps + 16) * kUnit;
      int sign;
      if (w > w0_here * (1 + tolerance)) {
        sign = 1;
      } else if (w < w0_here * (1 - tolerance)) {
        sign = -1;
      } else {
        sign = -CompareFactorialProducts(CellsAt(m, x), CellsAt(m, search->x0));
      }
      if (sign <= 0) {
        pending = false;
        search->found = true;
        search->mirror = x;
        search->tied = sign == 0;
        AddCut(side, x);
        if (search->tied) AddCut(side, x + dir);
      }
    }
    if (next < side.cut_count && side.cuts[next] == x) {
      side.segments[next] = {seg, scale};
      seg = 0;
      if (jumped) {
        w = landed.w.fraction;
        scale = landed.w.exponent;
        anchor_tolerance = landed.tolerance;
        steps = 0;
        jumped = false;
      } else if (w < 0x1p-4000L) {
        // Far down the side: a fresh scale, so that the weights to come
        // stay inside the range of extended reals.
        const Scaled n = Normalized({w, scale});
        w = n.fraction;
        scale = n.exponent;
      }
      side.cut_weights[next] = {w, scale};
      side.cut_tolerances[next] = anchor_tolerance + 4 * steps * kUnit;
      ++next;
      if (pending) w0_here = InScale(search->w0, scale);
    }
    seg += w;
    if (x == side.end) break;
    const long double ratio = ValueOf(StepRatio(m, x, dir));
    // Past here every weight is at most w q^j, q a bound of the ratio over
    // its rounding, and all of them together at most w q / (1 - q).
    const long double q = ratio * (1 + 0x1p-60L);
    if (q < 1 && w * q <= kTailShare * seg * (1 - q)) {
      if (pending) {
        found_far = SearchMirror(frame, side, *search, x);
        far_known = true;
        pending = false;
        search->found = true;
        search->mirror = found_far.at;
        search->tied = found_far.tied;
        AddCut(side, found_far.at);
        if (found_far.tied) AddCut(side, found_far.at + dir);
      }
      if (next == side.cut_count) break;
      const std::int64_t target = side.cuts[next];
      if (Distance(side, target) - Distance(side, x) > kJumpSteps) {
        landed = far_known && found_far.at == target ? found_far.weight : WeightByLog(frame, target);
        jumped = true;
        x = target;
        continue;
      }
    }
    w *= ratio;
    x += dir;
    ++steps;
  }
  side.segments[next] = {seg, scale};
  if (pending) {
    search->found = true;
    search->mirror = side.end + dir;
    search->tied = false;
  }
  // The sums of the segments from each outward, smallest terms first, and
  // from the start to each.
  side.outer[side.cut_count] = side.segments[side.cut_count];
  for (int j = side.cut_count - 1; j >= 0; --j) side.outer[j] = Add(side.segments[j], side.outer[j + 1]);
  side.inner[0] = side.segments[0];
  for (int j = 1; j <= side.cut_count; ++j) side.inner[j] = Add(side.inner[j - 1], side.segments[j]);
}

void SweepMirrored(SweepFrame& frame, SweptSide& left, SweptSide& right, std::int64_t s) {
  const std::int64_t mode = frame.mode;
  // With s even the centre table, the mode, is on the right side alone;
  // with s odd the two sides are mirror images table for table.
  const bool centre = s % 2 == 0;
  for (int i = 0; i < right.cut_count; ++i) AddCut(left, s - right.cuts[i]);  // the centre is no cut of the left
  Sweep(frame, left);
  // The left cut at the mirror of right cut c; -1 for the centre (before
  // the left side's first segment).
  const auto left_index = [&](std::int64_t c) {
    if (centre && c == mode) return -1;
    const int i = CutIndex(left, s - c);
    if (i < 0) throw std::logic_error("a mirrored cut is missing");
    return i;
  };
  const int n = right.cut_count;
  for (int i = 0; i <= n; ++i) {
    // Right segment i runs from the mode (or cut i - 1) to cut i - 1 (or
    // hi); its mirror is the left segments from the mirror of its start
    // to just past that of its end, and the centre when it starts there.
    const int from = i == 0 ? 0 : left_index(right.cuts[i - 1]) + 1;
    const int to = i == n ? left.cut_count : left_index(right.cuts[i]);
    Scaled sum{};
    for (int j = to; j >= from; --j) sum = Add(sum, left.segments[j]);
    const bool starts_at_mode = i == 0 ? n == 0 || right.cuts[0] != mode : right.cuts[i - 1] == mode;
    if (centre && starts_at_mode) sum = Add(sum, Scaled{1, 0});  // w(mode) = 1
    right.segments[i] = sum;
  }
  for (int i = 0; i < n; ++i) {
    if (centre && right.cuts[i] == mode) {
      right.cut_weights[i] = {1, 0};
      right.cut_tolerances[i] = 0;
    } else {
      const int j = left_index(right.cuts[i]);
      right.cut_weights[i] = left.cut_weights[j];
      right.cut_tolerances[i] = left.cut_tolerances[j];
    }
  }
  right.outer[n] = right.segments[n];
  for (int j = n - 1; j >= 0; --j) right.outer[j] = Add(right.segments[j], right.outer[j + 1]);
  right.inner[0] = right.segments[0];
  for (int j = 1; j <= n; ++j) right.inner[j] = Add(right.inner[j - 1], right.segments[j]);
}

Scaled SumFrom(const SweptSide& side, std::int64_t x) {
  const int i = CutIndex(side, x);
  if (i < 0) {
    if (Distance(side, x) > Distance(side, side.end)) return {};
    throw std::logic_error("a sum from a table that is not a cut");
  }
  return side.outer[i + 1];
}

Scaled SumBefore(const SweptSide& side, std::int64_t x) {
  const int i = CutIndex(side, x);
  if (i < 0) {
    if (Distance(side, x) > Distance(side, side.end)) return SumOfSide(side);
    throw std::logic_error("a sum up to a table that is not a cut");
  }
  return side.inner[i];
}

Scaled SumOfSide(const SweptSide& side) { return side.outer[0]; }

Scaled SegmentFrom(const SweptSide& side, std::int64_t x) {
  const int i = CutIndex(side, x);
  if (i < 0) throw std::logic_error("a segment from a table that is not a cut");
  return side.segments[i + 1];
}

Scaled CutWeight(const SweptSide& side, std::int64_t x, long double* tolerance) {
  const int i = CutIndex(side, x);
  if (i < 0) throw std::logic_error("the weight of a table that is not a cut");
  if (tolerance != nullptr) *tolerance = side.cut_tolerances[i];
  return side.cut_weights[i];
}

}  // namespace engine::fourfold
