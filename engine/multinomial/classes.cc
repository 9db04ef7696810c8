// Equal probabilities: outcomes that are permutations of one another share
// every statistic, so each multiset of counts is visited once, as its
// non-increasing arrangement y_1 >= y_2 >= ... >= y_k, and weighted by its
// number of distinct arrangements k! / (r_1! r_2! ...), r_j the lengths of
// its runs of equal counts: the product over the counts above 0, at
// positions i = 0, 1, ..., of (k - i) / L_i, L_i the place of position i in
// its run (the zeros at the end add nothing), formed as a number beside the
// product of the counts' Poisson probabilities (engine/multinomial/
// product.h) and also summed as logarithms of small numbers, so that it
// keeps its digits for any k. X^2 orders as the integer sum of y_i^2, decided
// exactly; G^2 and the probability by the filter and exact arithmetic. The
// levels of the walk are held in arrays (no recursion, whatever k), and a
// prefix that leaves nothing to place ends at once with a run of zeros.
// The products are extended reals, or doubles where nothing is listed and
// no p-value can be an exact binary fraction (QuickWalkFits): most classes
// are a few steps from their neighbours, so the walk's cost is that of its
// levels, and x87 arithmetic there costs half again what doubles do.
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "engine/multinomial/methods.h"

namespace engine::multinomial {

namespace {

constexpr std::uint64_t kCheckInterval = 1 << 16;
// Beyond this many steps the count of classes is estimated, not counted.
constexpr double kCountingWork = 2e7;

struct ClassWalk {
  const Setup& setup;
  const TermTable& table;
  const OutcomeSink& sink;
  Pace& pace;
  double class_count;
  std::uint64_t observed_squares;
  std::vector<std::uint32_t> observed_sorted;  // non-increasing
  std::uint32_t observed_parts;                // its counts above 0
  std::vector<long double> log_of;             // ln j for j = 1..k
  ZeroShares zeros;                            // the shares of the categories from i on at 0
  std::vector<std::uint32_t> y;
  MarkedSums sums;
  Tallies result;
  std::uint64_t steps = 0;
  bool less_in_all = false;  // some class less extreme in every ordering
};

void Step(ClassWalk& walk) {
  if (++walk.steps % kCheckInterval == 0) {
    CheckPace(walk.pace, static_cast<double>(walk.result.outcomes_visited) / walk.class_count);
  }
}

// What a class weighs, over its counts so far: the product of their
// Poisson probabilities, and the number of their arrangements among the k
// places (k! / ((k - i)! prod of the run lengths' factorials), an integer,
// exact while below 2^64).
template <typename Real>
struct Weight {
  Real poisson = 1;
  Real ways = 1;
};

// The weight after a count with Poisson probability poisson at position i,
// the length-th of its run.
template <typename Real>
inline Weight<Real> Extended(const Weight<Real>& weight, std::uint32_t k, std::uint32_t i,
                             std::uint32_t length, Real poisson) {
  Real ways = weight.ways * static_cast<Real>(k - i);
  if (length != 1) [[unlikely]] ways /= length;
  return Weight<Real>{weight.poisson * poisson, ways};
}

// The Poisson probability of the count y in the walk's arithmetic: in
// extended precision, or its nearest double.
template <typename Real>
inline Real PoissonOf(const TermTable& table, std::uint32_t y);
template <>
inline long double PoissonOf<long double>(const TermTable& table, std::uint32_t y) {
  return PoissonAt(table, y);
}
template <>
inline double PoissonOf<double>(const TermTable& table, std::uint32_t y) {
  const std::uint32_t offset = y - table.lo;
  if (offset < table.size) return table.values[offset].poisson[0];
  return ComputeTerms(y, table.e).poisson[0];
}

// ln of the number of arrangements of the class in walk.y, whose first
// `parts` counts are above 0: logarithms of small numbers summed, so that
// it keeps its digits for any k.
long double LogWays(const ClassWalk& walk, std::uint32_t parts) {
  const std::uint32_t k = walk.setup.k;
  long double log_ways = 0;
  std::uint32_t length = 0;
  for (std::uint32_t i = 0; i < parts; ++i) {
    length = i > 0 && walk.y[i] == walk.y[i - 1] ? length + 1 : 1;
    log_ways += walk.log_of[k - i] - walk.log_of[length];
  }
  return log_ways;
}

// The surprise in extended precision of the class in walk.y (its first
// `parts` counts above 0, zeros after them), summed in the order of the
// walk.
long double FineSurpriseOf(const ClassWalk& walk, std::uint32_t parts) {
  long double surprise = 0;
  for (std::uint32_t i = 0; i < parts; ++i) surprise += FineSurpriseAt(walk.table, walk.y[i]);
  return surprise + walk.zeros.fine_surprise[parts];
}

// The probability of every outcome of the class in walk.y (its first
// `parts` counts above 0) from its surprise, where its product does not
// keep its digits.
[[gnu::noinline]] Probability ClassProbabilityFromLog(const ClassWalk& walk, std::uint32_t parts) {
  const Setup& setup = walk.setup;
  return ProbabilityFromLog(setup.total_surprise - FineSurpriseOf(walk, parts) + LogWays(walk, parts));
}

// Whether a class's product, e^L0 times its counts' Poisson probabilities
// (scaled) times its number of arrangements (ways), keeps its digits.
inline bool IsPlainClass(long double scaled, long double ways) {
  return IsPlainProduct(scaled) && ways <= std::numeric_limits<long double>::max();
}
// In doubles: the walk in doubles is taken only where every class's
// probability and product of Poisson probabilities lie far inside their
// range (QuickWalkFits); the test stays for safety.
inline bool IsPlainClass(double scaled, double ways) {
  return scaled >= 0x1p-1000 && ways <= std::numeric_limits<double>::max();
}

// Whether every class after a prefix whose product (e^L0 included) is
// scaled and arrangements twice / 2 keeps its digits, as long as neither of
// its last two factors is 0 (kLowestPrefix).
inline bool IsPlainPrefix(long double scaled, long double twice) {
  return scaled >= kLowestPrefix && twice <= std::numeric_limits<long double>::max();
}
inline bool IsPlainPrefix(double scaled, double twice) {
  return scaled >= 0x1p-960 && twice <= std::numeric_limits<double>::max();
}

// Judges the class in walk.y, the first `parts` of its counts above 0, its
// sum of squares squares and its shares summed: the combination of its
// marks (MarkedSums), 0 when no ordering finds it extreme.
[[gnu::always_inline]] inline int JudgeClass(const ClassWalk& walk, std::uint32_t parts,
                                             std::uint64_t squares, const ShareSums& sums) {
  const Setup& setup = walk.setup;
  const double value[kStatisticCount] = {sums.chi, sums.deviance, sums.surprise};
  Mark marks[kOrderingCount] = {Mark::kNotExtreme, Mark::kNotExtreme, Mark::kNotExtreme,
                                Mark::kNotExtreme};
  marks[kChi] = squares > walk.observed_squares
                    ? Mark::kBeyond
                    : (squares == walk.observed_squares ? Mark::kTied : Mark::kNotExtreme);
  // Both arrangements non-increasing: under equal probabilities every
  // statistic is a symmetric function of the counts, so they compare
  // position by position up to the last count above 0 of either.
  const std::uint32_t length = std::max(parts, walk.observed_parts);
  const std::span<const std::uint32_t> y(walk.y.data(), length);
  const std::span<const std::uint32_t> x(walk.observed_sorted.data(), length);
  for (int s = kDeviance; s < kStatisticCount; ++s) {
    Verdict verdict = Judge(value[s], setup.margin[s]);
    if (verdict != Verdict::kUndecided) [[likely]] {
      marks[s] = MarkOf(verdict);
    } else if (IsPermutationWithinClasses(setup.order.null, y, x)) {
      marks[s] = Mark::kTied;
    } else {
      int sign = CompareExactly(setup.order, static_cast<Statistic>(s), y, x);
      marks[s] = sign > 0 ? Mark::kBeyond : (sign == 0 ? Mark::kTied : Mark::kNotExtreme);
    }
  }
  return MarkedSums::Combination(marks);
}

// Hands the class judged to the sink: its counts, its arrangements, the
// probability of one of its outcomes (whose counts' Poisson probabilities
// multiply to poisson) and its statistics.
[[gnu::noinline]] void HandOver(ClassWalk& walk, int combination, std::uint32_t parts,
                                const ShareSums& sums, long double poisson) {
  const Probability probability =
      ProbabilityOf(walk.setup, poisson, [&] { return FineSurpriseOf(walk, parts); });
  OutcomeRow row{walk.y, static_cast<double>(std::round(std::exp(LogWays(walk, parts)))),
                 DoubleOf(probability), sums.chi, 2 * sums.deviance, {}};
  MarkedSums::Marks(combination, row.marks);
  walk.sink(row);
}

// Counts the class judged, its probability scaled times ways where plain
// (IsPlainClass), else from its surprise; poisson as for HandOver.
template <typename Real>
[[gnu::always_inline]] inline void Record(ClassWalk& walk, int combination, std::uint32_t parts,
                                          const ShareSums& sums, bool plain, Real scaled, Real ways,
                                          Real poisson) {
  if (combination == 0) {
    walk.less_in_all = true;
  } else {
    if (plain) [[likely]] {
      walk.sums.AddValue(combination, scaled * ways);
    } else {
      walk.sums.Add(combination, ClassProbabilityFromLog(walk, parts));
    }
  }
  if (walk.sink) [[unlikely]] HandOver(walk, combination, parts, sums, poisson);
  ++walk.result.outcomes_visited;
  Step(walk);
}

// The state on entering level i: what is left to place, the largest count
// allowed there (the one before it), the run of equal counts ending before
// it, the sums over the counts before it, and their weight.
template <typename Real>
struct Level {
  std::uint32_t left = 0;
  std::uint32_t largest = 0;
  std::uint32_t run = 0;
  std::uint64_t squares = 0;
  ShareSums sums;
  Weight<Real> weight;
  std::uint32_t hi = 0;  // the largest count this level takes
};

// The combination of marks of a class beyond the observed outcome in every
// ordering.
constexpr int kAllBeyond = 26;
// The most probabilities summed in extended precision before they join the
// sums: each term and each addition err by at most 2^-64 of the run, so a
// run errs by far less than the rounding of the p-value to a double.
constexpr int kRunTerms = 64;

// The last two counts, v >= w = r - v, after a prefix (level `here`, at
// position i) whose product, scaled, keeps its digits, with nothing handed
// to a sink. Consecutive classes of the same marks are the rule: their
// counts' Poisson probabilities are multiplied and summed as a run in
// extended precision, and the run, times scaled and the arrangements
// (twice), joins the sums once. The classes whose arrangements differ (v
// continues the run before it, w equals v, or w is 0) and those whose
// product underflows in the tables go one by one. Every statistic of the
// class grows with v (each is prefix + f(v) + f(r - v), f strictly convex,
// which grows from v = r / 2 on), so past the first class beyond the
// observed one in every ordering the rest are too and go unjudged.
template <typename Real>
void LastTwoPlain(ClassWalk& walk, const Level<Real>& here, std::uint32_t i, std::uint32_t lo,
                  std::uint32_t hi, std::uint32_t previous, Real scaled, Real twice) {
  const std::uint32_t k = walk.setup.k;
  const std::uint32_t r = here.left;
  int pending = 0;
  int terms = 0;
  Real run = 0;
  auto flush = [&] {
    if (terms > 0) walk.sums.AddValue(pending, (scaled * run) * twice);
    run = 0;
    terms = 0;
  };
  bool settled = false;
  for (std::uint32_t v = lo; v <= hi; ++v) {
    const std::uint32_t w = r - v;
    walk.y[i] = v;
    walk.y[i + 1] = w;
    const std::uint64_t squares = here.squares + std::uint64_t{v} * v + std::uint64_t{w} * w;
    if (v == previous || w == v || w == 0) [[unlikely]] {
      const std::uint32_t length = v == previous ? here.run + 1 : 1;
      Real ways = twice;
      if (length != 1) ways /= length;
      if (w == v) ways /= length + 1;
      const Real at_v = PoissonOf<Real>(walk.table, v);
      const Real at_w = PoissonOf<Real>(walk.table, w);
      const std::uint32_t parts = w > 0 ? k : k - 1;
      const ShareSums sums = here.sums + SharesAt(walk.table, v) + SharesAt(walk.table, w);
      Record(walk, JudgeClass(walk, parts, squares, sums), parts, sums, at_v != 0 && at_w != 0,
             scaled * at_v * at_w, ways, here.weight.poisson * at_v * at_w);
      continue;
    }
    int combination = kAllBeyond;
    if (!settled) {
      combination = JudgeClass(walk, k, squares,
                               here.sums + SharesAt(walk.table, v) + SharesAt(walk.table, w));
      settled = combination == kAllBeyond;
    }
    if (combination == 0) {
      walk.less_in_all = true;
    } else {
      const Real product = PoissonOf<Real>(walk.table, v) * PoissonOf<Real>(walk.table, w);
      if (product == 0) [[unlikely]] {
        walk.sums.Add(combination, ClassProbabilityFromLog(walk, k));
      } else {
        if (combination != pending || terms == kRunTerms) {
          flush();
          pending = combination;
        }
        run += product;
        ++terms;
      }
    }
    ++walk.result.outcomes_visited;
    Step(walk);
  }
  flush();
}

}  // namespace

double ClassCount(std::uint64_t n, std::uint32_t k) {
  std::uint64_t parts = std::min<std::uint64_t>(k, n);
  if (static_cast<double>(n) * static_cast<double>(parts) <= kCountingWork) {
    // Partitions of n into parts of size at most `parts` (conjugate to at
    // most `parts` parts).
    std::vector<double> ways(n + 1, 0);
    ways[0] = 1;
    for (std::uint64_t part = 1; part <= parts; ++part)
      for (std::uint64_t s = part; s <= n; ++s) ways[s] += ways[s - part];
    return ways[n];
  }
  // n^(k-1) / (k! (k-1)!), the leading term for n large against k.
  double log_count = static_cast<double>(parts - 1) * std::log(static_cast<double>(n)) -
                     std::lgamma(static_cast<double>(parts) + 1) -
                     std::lgamma(static_cast<double>(parts));
  return std::exp(log_count);
}

namespace {

// The walk over the classes, its weights and probabilities in Real.
template <typename Real>
Tallies WalkClasses(const Setup& setup, const OutcomeSink& sink, Pace& pace) {
  const std::uint32_t k = setup.k;
  const Real total_scale = static_cast<Real>(setup.total_scale);
  ShareTables shares = MakeShareTables(setup);
  std::uint64_t observed_squares = 0;
  for (std::uint32_t x : setup.observed) observed_squares += std::uint64_t{x} * x;
  std::vector<std::uint32_t> observed_sorted = setup.observed;
  std::sort(observed_sorted.begin(), observed_sorted.end(), std::greater<>());
  std::vector<long double> log_of(k + 1, 0);
  for (std::uint32_t j = 2; j <= k; ++j) log_of[j] = std::log(static_cast<long double>(j));
  ClassWalk walk{setup,
                 shares.tables[0],
                 sink,
                 pace,
                 ClassCount(setup.n, setup.k),
                 observed_squares,
                 observed_sorted,
                 static_cast<std::uint32_t>(setup.observed_support.size()),
                 log_of,
                 ZeroSuffix(shares.of_category),
                 std::vector<std::uint32_t>(k, 0),
                 {},
                 {}};
  const ZeroShares& zeros = walk.zeros;

  std::vector<Level<Real>> level(k);
  level[0] = Level{static_cast<std::uint32_t>(setup.n), static_cast<std::uint32_t>(setup.n), 0, 0,
                   {}, Weight<Real>{}, 0};
  std::uint32_t i = 0;
  bool entering = true;
  for (;;) {
    Level<Real>& here = level[i];
    if (entering) {
      if (here.left == 0) {
        // Nothing left: zeros end the class.
        const Real poisson = here.weight.poisson * static_cast<Real>(zeros.poisson[i]);
        const Real scaled = total_scale * poisson;
        const ShareSums sums = here.sums + zeros.sums[i];
        Record(walk, JudgeClass(walk, i, here.squares, sums), i, sums,
               IsPlainClass(scaled, here.weight.ways), scaled, here.weight.ways, poisson);
      } else if (i + 2 == k) {
        // The last two counts, v and the rest w <= v, in one loop.
        const std::uint32_t r = here.left;
        const std::uint32_t previous = i == 0 ? UINT32_MAX : walk.y[i - 1];
        const std::uint32_t lo = r / 2 + r % 2;
        const std::uint32_t hi = std::min(here.largest, r);
        // Their arrangements: here.weight.ways times 2 / L for v, the L-th
        // of its run, and, when w is not 0, 1 / L' for w: times 2 but where
        // v continues the run before it, equals w, or w is 0.
        const Real scaled = total_scale * here.weight.poisson;
        const Real twice = here.weight.ways * 2;
        // Each class's product is plain when this prefix is and neither of
        // its last two factors is 0 (kLowestPrefix).
        const bool plain_prefix = IsPlainPrefix(scaled, twice);
        if (plain_prefix && !walk.sink) {
          LastTwoPlain(walk, here, i, lo, hi, previous, scaled, twice);
        } else {
          for (std::uint32_t v = lo; v <= hi; ++v) {
            const std::uint32_t w = r - v;
            Real ways = twice;
            if (v == previous || w == v || w == 0) [[unlikely]] {
              const std::uint32_t length = v == previous ? here.run + 1 : 1;
              if (length != 1) ways /= length;
              if (w == v) ways /= length + 1;
            }
            const Real at_v = PoissonOf<Real>(walk.table, v);
            const Real at_w = PoissonOf<Real>(walk.table, w);
            const std::uint32_t parts = w > 0 ? k : k - 1;
            walk.y[i] = v;
            walk.y[i + 1] = w;
            const ShareSums sums = here.sums + SharesAt(walk.table, v) + SharesAt(walk.table, w);
            Record(walk,
                   JudgeClass(walk, parts, here.squares + std::uint64_t{v} * v + std::uint64_t{w} * w,
                              sums),
                   parts, sums, plain_prefix && at_v != 0 && at_w != 0, scaled * at_v * at_w, ways,
                   here.weight.poisson * at_v * at_w);
          }
        }
        walk.y[i] = 0;
        walk.y[i + 1] = 0;
      } else {
        // The k - i counts left, none above v, must hold r: v >= r / (k - i).
        const std::uint32_t slots = k - i;
        walk.y[i] = here.left / slots + (here.left % slots != 0 ? 1 : 0);
        here.hi = std::min(here.largest, here.left);
        entering = false;
      }
      if (entering) {
        // Done with level i: back to the one before.
        if (i == 0) break;
        --i;
        entering = false;
        continue;
      }
    } else if (walk.y[i] < here.hi) {
      ++walk.y[i];
    } else {
      walk.y[i] = 0;
      if (i == 0) break;
      --i;
      continue;
    }
    // Into level i + 1 with the count y[i].
    const std::uint32_t v = walk.y[i];
    const std::uint32_t previous = i == 0 ? UINT32_MAX : walk.y[i - 1];
    const std::uint32_t length = v == previous ? here.run + 1 : 1;
    level[i + 1] = Level{here.left - v,
                         v,
                         length,
                         here.squares + std::uint64_t{v} * v,
                         here.sums + SharesAt(walk.table, v),
                         Extended(here.weight, k, i, length, PoissonOf<Real>(walk.table, v)),
                         0};
    ++i;
    entering = true;
    Step(walk);
  }
  walk.sums.AddTo(walk.result.tally);
  walk.result.less_extreme_known = true;
  walk.result.less_extreme = walk.sums.LessExtreme() | (walk.less_in_all ? 7 : 0);
  return walk.result;
}

// Whether the walk in doubles suits the test: nothing listed (a listing
// shows each class's probability as extended precision rounds it), k not a
// power of 2 (then no p-value below 1 is a binary fraction that must come
// out exact), k! (the most arrangements of a class) within the doubles'
// range, and k^-n (the least probability of an outcome) times e^-L0 (L0 <
// 17 ln 2) at least 2^-960: every product of Poisson probabilities, of a
// whole outcome or of a part of it, then lies in the normal range of
// doubles, and each class's probability, a product of at most 2k + 2
// doubles, errs by at most (2k + 4) 2^-53 of itself, far below 1e-9.
bool QuickWalkFits(const Setup& setup, const OutcomeSink& sink) {
  const std::uint32_t k = setup.k;
  if (sink || (k & (k - 1)) == 0 || k > 170) return false;
  return static_cast<double>(setup.n) * std::log2(static_cast<double>(k)) + 17 <= 960;
}

}  // namespace

Tallies EnumerateClasses(const Setup& setup, const OutcomeSink& sink, Pace& pace) {
  return QuickWalkFits(setup, sink) ? WalkClasses<double>(setup, sink, pace)
                                    : WalkClasses<long double>(setup, sink, pace);
}

}  // namespace engine::multinomial
