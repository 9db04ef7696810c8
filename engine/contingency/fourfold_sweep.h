// The weights w(x) = P(x) / P(mode) of the tables summed outward from the
// mode, each side in one pass: the right side from the mode up to hi, the
// left side from mode - 1 down to lo. The sums a test needs begin at given
// tables (cuts) and run to the end of their side, or from the mode to a
// cut; each side is cut into segments there, and every sum is a sum of
// whole segments, never a difference.
//
// A segment is summed until what lies beyond is provably below 1e-17 of
// it (the ratio of neighbouring weights falls along the side, so the rest
// is below a geometric series): the 17th digit of every sum is right, and
// the walk does what the answer needs. From there, when the next cut lies
// more than a few dozen tables on, the walk jumps to it, its weight in
// closed form (fourfold_logweight.h), so that a tail far from the mode costs
// what a tail near it does, and no weight underflows however far out.
//
// The probability ordering also needs, across the mode from the observed
// table, the first table no more probable than it: the walk of that side
// finds it as it goes (or, beyond the jump, by a search in logarithms),
// each doubtful comparison decided exactly.
#ifndef ENGINE_CONTINGENCY_FOURFOLD_SWEEP_H_
#define ENGINE_CONTINGENCY_FOURFOLD_SWEEP_H_

#include <cstdint>

#include "engine/contingency/fourfold_logweight.h"
#include "engine/contingency/fourfold_scaled.h"
#include "engine/contingency/fourfold_table.h"

namespace engine::fourfold {

inline constexpr int kMaxCuts = 12;

/// A sum stops when what it leaves is provably below this share of it.
inline constexpr long double kTailShare = 1e-17L;

/// The walk jumps over more than this many negligible tables.
inline constexpr std::int64_t kJumpSteps = 64;

/// What a sweep shares between its two sides: the margins, the mode and,
/// formed at the first jump, the mode's probability key.
struct SweepFrame {
  Margins margins;
  std::int64_t mode = 0;
  bool mode_key_known = false;
  ProbabilityKey mode_key;
};

SweepFrame StartSweep(const Margins& margins);

/// One side: its tables in walk order from start to end (an empty side
/// when start lies beyond end), the cuts in walk order, and, once swept,
/// the segments: segments[0] from start, segments[i] from cuts[i - 1],
/// each up to the next cut; cut_weights[i] is w(cuts[i]), within a
/// relative cut_tolerances[i]; outer[i] the sum of segments[i] and all
/// after it, inner[i] that of segments[0..i]. Only what the cuts use is
/// filled.
struct SweptSide {
  int direction = 1;
  std::int64_t start = 0;
  std::int64_t end = 0;
  int cut_count = 0;
  std::int64_t cuts[kMaxCuts];
  Scaled segments[kMaxCuts + 1];
  Scaled outer[kMaxCuts + 1];
  Scaled inner[kMaxCuts + 1];
  Scaled cut_weights[kMaxCuts];
  long double cut_tolerances[kMaxCuts];
};

/// Sets side to the right side (direction +1) or the left side (-1),
/// without cuts.
void StartSide(const SweepFrame& frame, int direction, SweptSide& side);

/// Adds a cut at x when x lies on the side and is not a cut yet; keeps the
/// cuts in walk order.
void AddCut(SweptSide& side, std::int64_t x);

/// The first table of a side, in walk order, whose weight is at most that
/// of the observed table x0: found by the side's sweep. hint: a table near
/// it (the G^2 mirror, say), or any value off the side.
struct MirrorSearch {
  std::int64_t x0 = 0;
  Scaled w0{};               // w(x0)
  long double tolerance = 0; // its relative error bound
  std::int64_t hint = 0;
  // The answer: end + direction when no table of the side is as
  // improbable; tied when its probability equals that of x0.
  bool found = false;
  std::int64_t mirror = 0;
  bool tied = false;
};

/// Sums the side's segments; with search, also finds the mirror and cuts
/// at it (and after it, when tied, so that its weight is a segment alone).
void Sweep(SweepFrame& frame, SweptSide& side, MirrorSearch* search = nullptr);

/// For margins symmetric about s / 2 (equal row sums and s = c1, or equal
/// column sums and s = r1), where w(s - x) = w(x): sweeps the left side
/// alone, the mirror images of the right side's cuts among its cuts, and
/// forms the right side's segments and cut weights from it: half the
/// work. The mode is then the centre table s / 2, or the right one of the
/// two central tables, which tie.
void SweepMirrored(SweepFrame& frame, SweptSide& left, SweptSide& right, std::int64_t s);

/// After the sweep, for cuts or tables of the side: the sum of the
/// segments from cut x on (0 when x lies beyond the side's end); of the
/// segments before cut x (the whole side when x lies beyond its end); of
/// the side; and of the segment from cut x alone.
Scaled SumFrom(const SweptSide& side, std::int64_t x);
Scaled SumBefore(const SweptSide& side, std::int64_t x);
Scaled SumOfSide(const SweptSide& side);
Scaled SegmentFrom(const SweptSide& side, std::int64_t x);

/// The weight at cut x and its relative error bound.
Scaled CutWeight(const SweptSide& side, std::int64_t x, long double* tolerance);

}  // namespace engine::fourfold

#endif  // ENGINE_CONTINGENCY_FOURFOLD_SWEEP_H_
