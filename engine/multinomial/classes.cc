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
  std::vector<std::uint32_t> y;
  MarkedSums sums;
  Tallies result;
  std::uint64_t steps = 0;
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
struct Weight {
  long double poisson = 1;
  long double ways = 1;
};

// The weight after a count with Poisson probability poisson at position i,
// the length-th of its run.
Weight Extended(const Weight& weight, std::uint32_t k, std::uint32_t i, std::uint32_t length,
                long double poisson) {
  const long double ways = weight.ways * static_cast<long double>(k - i);
  return Weight{weight.poisson * poisson, length == 1 ? ways : ways / length};
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

// The probability of every outcome of the class in walk.y: its product
// where that keeps its digits (and its arrangements are a finite number),
// else from its surprise in extended precision, fine_surprise().
template <typename FineSurprise>
Probability ClassProbability(const ClassWalk& walk, std::uint32_t parts, const Weight& weight,
                             FineSurprise&& fine_surprise) {
  const Setup& setup = walk.setup;
  if (IsPlainProduct(weight.poisson) && weight.ways <= std::numeric_limits<long double>::max())
    return ProbabilityOfValue(setup.total_scale * weight.poisson * weight.ways);
  return ProbabilityFromLog(setup.total_surprise - fine_surprise() + LogWays(walk, parts));
}

// One class: its counts are walk.y, the first `parts` of them above 0, its
// sum of squares squares, its shares summed, its weight, and
// fine_surprise() its surprise in extended precision.
template <typename FineSurprise>
void Visit(ClassWalk& walk, std::uint32_t parts, std::uint64_t squares, const ShareSums& sums,
           const Weight& weight, FineSurprise&& fine_surprise) {
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
  bool extreme = marks[kChi] != Mark::kNotExtreme;
  for (int s = kDeviance; s < kStatisticCount; ++s) {
    Verdict verdict = Judge(value[s], setup.margin[s]);
    if (verdict != Verdict::kUndecided) {
      marks[s] = MarkOf(verdict);
    } else if (IsPermutationWithinClasses(setup.order.null, y, x)) {
      marks[s] = Mark::kTied;
    } else {
      int sign = CompareExactly(setup.order, static_cast<Statistic>(s), y, x);
      marks[s] = sign > 0 ? Mark::kBeyond : (sign == 0 ? Mark::kTied : Mark::kNotExtreme);
    }
    extreme = extreme || marks[s] != Mark::kNotExtreme;
  }
  if (extreme) walk.sums.Add(marks, ClassProbability(walk, parts, weight, fine_surprise));
  if (walk.sink) {
    const Probability probability = ProbabilityOf(setup, weight.poisson, fine_surprise);
    OutcomeRow row{walk.y, static_cast<double>(std::round(std::exp(LogWays(walk, parts)))),
                   DoubleOf(probability), value[kChi], 2 * value[kDeviance], {}};
    std::copy(std::begin(marks), std::end(marks), row.marks);
    walk.sink(row);
  }
  ++walk.result.outcomes_visited;
  Step(walk);
}

// The state on entering level i: what is left to place, the largest count
// allowed there (the one before it), the run of equal counts ending before
// it, the sums over the counts before it, their surprise in extended
// precision, and their weight.
struct Level {
  std::uint32_t left = 0;
  std::uint32_t largest = 0;
  std::uint32_t run = 0;
  std::uint64_t squares = 0;
  ShareSums sums;
  long double fine_surprise = 0;
  Weight weight;
  std::uint32_t hi = 0;  // the largest count this level takes
};

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

Tallies EnumerateClasses(const Setup& setup, const OutcomeSink& sink, Pace& pace) {
  const std::uint32_t k = setup.k;
  ShareTables shares = MakeShareTables(setup);
  const ZeroShares zeros = ZeroSuffix(shares.of_category);
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
                 std::vector<std::uint32_t>(k, 0),
                 {}};
  auto terms = [&](std::uint32_t v) { return TermsAt(walk.table, v); };

  std::vector<Level> level(k);
  level[0] = Level{static_cast<std::uint32_t>(setup.n), static_cast<std::uint32_t>(setup.n), 0, 0,
                   {}, 0, Weight{}, 0};
  std::uint32_t i = 0;
  bool entering = true;
  for (;;) {
    Level& here = level[i];
    if (entering) {
      if (here.left == 0) {
        // Nothing left: zeros end the class.
        Weight weight = here.weight;
        weight.poisson *= zeros.poisson[i];
        Visit(walk, i, here.squares, here.sums + zeros.sums[i], weight,
              [&] { return here.fine_surprise + zeros.fine_surprise[i]; });
      } else if (i + 2 == k) {
        // The last two counts, v and the rest w <= v, in one loop.
        const std::uint32_t r = here.left;
        const std::uint32_t previous = i == 0 ? UINT32_MAX : walk.y[i - 1];
        const std::uint32_t lo = r / 2 + r % 2;
        const std::uint32_t hi = std::min(here.largest, r);
        for (std::uint32_t v = lo; v <= hi; ++v) {
          const std::uint32_t w = r - v;
          const std::uint32_t length = v == previous ? here.run + 1 : 1;
          const Terms at_v = terms(v);
          const Terms at_w = terms(w);
          Weight weight = Extended(here.weight, k, i, length, Poisson(at_v));
          if (w != 0) {
            weight = Extended(weight, k, i + 1, w == v ? length + 1 : 1, Poisson(at_w));
          } else {
            weight.poisson *= Poisson(at_w);
          }
          walk.y[i] = v;
          walk.y[i + 1] = w;
          Visit(walk, w > 0 ? k : k - 1, here.squares + std::uint64_t{v} * v + std::uint64_t{w} * w,
                here.sums + at_v + at_w, weight,
                [&] { return here.fine_surprise + FineSurprise(at_v) + FineSurprise(at_w); });
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
    const Terms at_v = terms(v);
    level[i + 1] = Level{here.left - v,
                         v,
                         length,
                         here.squares + std::uint64_t{v} * v,
                         here.sums + at_v,
                         here.fine_surprise + FineSurprise(at_v),
                         Extended(here.weight, k, i, length, Poisson(at_v)),
                         0};
    ++i;
    entering = true;
    Step(walk);
  }
  walk.sums.AddTo(walk.result.tally);
  return walk.result;
}

}  // namespace engine::multinomial
