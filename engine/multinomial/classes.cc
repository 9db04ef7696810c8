// Equal probabilities: outcomes that are permutations of one another share
// every statistic, so each multiset of counts is visited once, as its
// non-increasing arrangement y_1 >= y_2 >= ... >= y_k, and weighted by its
// number of distinct arrangements k! / (r_1! r_2! ...), r_j the lengths of
// its runs of equal counts. X^2 orders as the integer sum of y_i^2, decided
// exactly; G^2 and the probability by the filter and exact arithmetic.
#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/multinomial/methods.h"

namespace engine::multinomial {

namespace {

constexpr std::uint32_t kCheckInterval = 1 << 16;
// Beyond this many steps the count of classes is estimated, not counted.
constexpr double kCountingWork = 2e7;

struct ClassWalk {
  const Setup& setup;
  const TermTable& table;
  const OutcomeSink& sink;
  Pace& pace;
  double class_count;
  std::uint64_t observed_squares;
  std::vector<double> log_factorial;  // ln j! for j = 0..k
  std::vector<std::uint32_t> y;
  Tallies result;
  std::uint32_t countdown = kCheckInterval;
};

// One class: its counts are walk.y, its sum of squares squares, its
// shares summed, and ln of its number of arrangements log_multiplicity.
void Visit(ClassWalk& walk, std::uint64_t squares, const double (&value)[kStatisticCount],
           double log_multiplicity) {
  const Setup& setup = walk.setup;
  double class_probability =
      std::exp(setup.total_surprise - value[kSurprise] + log_multiplicity);
  Mark marks[kOrderingCount] = {Mark::kNotExtreme, Mark::kNotExtreme, Mark::kNotExtreme,
                                Mark::kNotExtreme};
  marks[kChi] = squares > walk.observed_squares
                    ? Mark::kBeyond
                    : (squares == walk.observed_squares ? Mark::kTied : Mark::kNotExtreme);
  for (int s = kDeviance; s < kStatisticCount; ++s)
    marks[s] = JudgeOutcome(setup, static_cast<Statistic>(s), value[s], walk.y);
  for (int s = 0; s < kStatisticCount; ++s)
    Count(walk.result.tally[s], marks[s], class_probability);
  if (walk.sink) {
    double probability = std::exp(setup.total_surprise - value[kSurprise]);
    OutcomeRow row{walk.y, std::round(std::exp(log_multiplicity)), probability, value[kChi],
                   2 * value[kDeviance], {}};
    std::copy(std::begin(marks), std::end(marks), row.marks);
    walk.sink(row);
  }
  ++walk.result.outcomes_visited;
  if (--walk.countdown == 0) {
    walk.countdown = kCheckInterval;
    CheckPace(walk.pace, static_cast<double>(walk.result.outcomes_visited) / walk.class_count);
  }
}

// Chooses y_i <= largest for the remaining total r (k >= 2, i <= k - 2);
// run is the length of the run of equal counts that ends at y_(i-1).
void Walk(ClassWalk& walk, std::uint32_t i, std::uint32_t r, std::uint32_t largest,
          std::uint32_t run, std::uint64_t squares, double chi, double deviance, double surprise,
          double log_multiplicity) {
  const std::uint32_t k = walk.setup.k;
  const std::uint32_t previous = i == 0 ? UINT32_MAX : walk.y[i - 1];
  // The k - i counts left, none above v, must hold r: v >= r / (k - i).
  std::uint32_t slots = k - i;
  std::uint32_t lo = r / slots + (r % slots != 0 ? 1 : 0);
  std::uint32_t hi = std::min(largest, r);
  if (i + 2 == k) {
    // The last two counts, v and the rest w <= v, in one loop.
    for (std::uint32_t v = lo; v <= hi; ++v) {
      const std::uint32_t w = r - v;
      std::uint32_t length = v == previous ? run + 1 : 1;
      double log_arrangements =
          log_multiplicity - walk.log_factorial[length] + walk.log_factorial[length - 1];
      if (w == v) {
        log_arrangements -= walk.log_factorial[length + 1] - walk.log_factorial[length];
      }
      Terms a = TermsAt(walk.table, v);
      Terms b = TermsAt(walk.table, w);
      walk.y[i] = v;
      walk.y[i + 1] = w;
      double value[kStatisticCount] = {chi + a.chi + b.chi, deviance + a.deviance + b.deviance,
                                       surprise + a.surprise + b.surprise};
      Visit(walk, squares + std::uint64_t{v} * v + std::uint64_t{w} * w, value, log_arrangements);
    }
    return;
  }
  for (std::uint32_t v = lo; v <= hi; ++v) {
    std::uint32_t length = v == previous ? run + 1 : 1;
    Terms t = TermsAt(walk.table, v);
    walk.y[i] = v;
    Walk(walk, i + 1, r - v, v, length, squares + std::uint64_t{v} * v, chi + t.chi,
         deviance + t.deviance, surprise + t.surprise,
         log_multiplicity - walk.log_factorial[length] + walk.log_factorial[length - 1]);
  }
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

Tallies EnumerateClasses(const Setup& setup, const OutcomeSink& sink, Pace& pace) {
  ShareTables shares = MakeShareTables(setup);
  std::uint64_t observed_squares = 0;
  for (std::uint32_t x : setup.observed) observed_squares += std::uint64_t{x} * x;
  std::vector<double> log_factorial(setup.k + 2, 0);
  for (std::uint32_t j = 2; j < log_factorial.size(); ++j)
    log_factorial[j] = log_factorial[j - 1] + std::log(static_cast<double>(j));
  ClassWalk walk{setup,
                 shares.tables[0],
                 sink,
                 pace,
                 ClassCount(setup.n, setup.k),
                 observed_squares,
                 log_factorial,
                 std::vector<std::uint32_t>(setup.k, 0),
                 {}};
  Walk(walk, 0, static_cast<std::uint32_t>(setup.n), static_cast<std::uint32_t>(setup.n), 0, 0, 0,
       0, 0, log_factorial[setup.k]);
  return walk.result;
}

}  // namespace engine::multinomial
