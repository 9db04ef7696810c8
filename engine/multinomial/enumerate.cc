// Plain enumeration: every outcome in lexicographic order, first count
// slowest, as a stream. The statistics of an outcome are the partial sums
// of the categories before the last two plus the last two shares, so the
// work per outcome is a few additions, one exponential and the filter.
#include <algorithm>
#include <cmath>

#include "engine/multinomial/methods.h"

namespace engine::multinomial {

namespace {

// Outcomes between two looks at the clock.
constexpr std::uint32_t kCheckInterval = 1 << 16;

struct OutcomeWalk {
  const Setup& setup;
  const std::vector<const TermTable*>& table;
  const OutcomeSink& sink;
  Pace& pace;
  double outcome_count;
  std::vector<std::uint32_t> y;
  Tallies result;
  std::uint32_t countdown = kCheckInterval;
};

void WalkLastTwo(OutcomeWalk& walk, std::uint32_t r, double chi, double deviance,
                 double surprise) {
  const Setup& setup = walk.setup;
  const std::uint32_t k = setup.k;
  const TermTable& first = *walk.table[k - 2];
  const TermTable& second = *walk.table[k - 1];
  for (std::uint32_t j = 0; j <= r; ++j) {
    Terms a = TermsAt(first, j);
    Terms b = TermsAt(second, r - j);
    double value[kStatisticCount] = {chi + a.chi + b.chi, deviance + a.deviance + b.deviance,
                                     surprise + a.surprise + b.surprise};
    double probability = std::exp(setup.total_surprise - value[kSurprise]);
    walk.y[k - 2] = j;
    walk.y[k - 1] = r - j;
    Mark marks[kOrderingCount] = {Mark::kNotExtreme, Mark::kNotExtreme, Mark::kNotExtreme,
                                  Mark::kNotExtreme};
    for (int s = 0; s < kStatisticCount; ++s) {
      Verdict verdict = Judge(value[s], setup.margin[s]);
      marks[s] = verdict == Verdict::kUndecided
                     ? JudgeOutcome(setup, static_cast<Statistic>(s), value[s], walk.y)
                     : MarkOf(verdict);
      Count(walk.result.tally[s], marks[s], probability);
    }
    if (walk.sink) {
      OutcomeRow row{walk.y, 1, probability, value[kChi], 2 * value[kDeviance], {}};
      std::copy(std::begin(marks), std::end(marks), row.marks);
      walk.sink(row);
    }
    if (--walk.countdown == 0) {
      walk.countdown = kCheckInterval;
      CheckPace(walk.pace,
                static_cast<double>(walk.result.outcomes_visited + j) / walk.outcome_count);
    }
  }
  walk.result.outcomes_visited += std::uint64_t{r} + 1;
}

void Walk(OutcomeWalk& walk, std::uint32_t i, std::uint32_t r, double chi, double deviance,
          double surprise) {
  if (i + 2 == walk.setup.k) {
    WalkLastTwo(walk, r, chi, deviance, surprise);
    return;
  }
  const TermTable& table = *walk.table[i];
  for (std::uint32_t v = 0; v <= r; ++v) {
    Terms t = TermsAt(table, v);
    walk.y[i] = v;
    Walk(walk, i + 1, r - v, chi + t.chi, deviance + t.deviance, surprise + t.surprise);
  }
}

TermTable WindowTable(const Expectation& e, std::uint64_t n, std::uint64_t half_width) {
  std::uint64_t centre = static_cast<std::uint64_t>(std::max<std::int64_t>(0, e.nearest));
  std::uint64_t lo = centre > half_width ? centre - half_width : 0;
  std::uint64_t hi = std::min(n, centre + half_width);
  return MakeTermTable(e, static_cast<std::uint32_t>(lo), static_cast<std::uint32_t>(hi));
}

}  // namespace

ShareTables MakeShareTables(const Setup& setup) {
  ShareTables shares;
  const bool equal = setup.order.null.equal;
  const std::uint64_t tables = equal ? 1 : setup.k;
  shares.tables.reserve(tables);
  for (std::uint64_t i = 0; i < tables; ++i) {
    const Expectation& e = setup.expected[i];
    if (tables * (setup.n + 1) <= kTableEntryLimit) {
      shares.tables.push_back(MakeTermTable(e, 0, static_cast<std::uint32_t>(setup.n)));
    } else {
      // Counts farther than 40 standard deviations from the expectation
      // are reached only by the enumeration's far corners.
      double width = 40 * std::sqrt(static_cast<double>(e.value)) + 64;
      double limit = static_cast<double>(kTableEntryLimit / tables / 2);
      shares.tables.push_back(
          WindowTable(e, setup.n, static_cast<std::uint64_t>(std::min(width, limit))));
    }
  }
  for (std::uint32_t i = 0; i < setup.k; ++i)
    shares.of_category.push_back(&shares.tables[equal ? 0 : i]);
  return shares;
}

double OutcomeCount(std::uint64_t n, std::uint32_t k) {
  // C(n + k - 1, m) with m the smaller of k - 1 and n.
  std::uint64_t m = std::min<std::uint64_t>(k - 1, n);
  double count = 1;
  for (std::uint64_t j = 1; j <= m; ++j)
    count = count * static_cast<double>(n + k - j) / static_cast<double>(j);
  return std::round(count);
}

Tallies EnumerateOutcomes(const Setup& setup, const OutcomeSink& sink, Pace& pace) {
  ShareTables shares = MakeShareTables(setup);
  OutcomeWalk walk{setup, shares.of_category, sink, pace, OutcomeCount(setup.n, setup.k),
                   std::vector<std::uint32_t>(setup.k, 0), {}};
  Walk(walk, 0, static_cast<std::uint32_t>(setup.n), 0, 0, 0);
  return walk.result;
}

}  // namespace engine::multinomial
