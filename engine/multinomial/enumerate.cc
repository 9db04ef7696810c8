// Plain enumeration: every outcome in lexicographic order, first count
// slowest, as a stream. The counts are an odometer over the categories
// before the last two, its levels held in arrays (no recursion, whatever
// k); the statistics of an outcome are the partial sums of those categories
// plus the last two shares, and its probability their Poisson probabilities
// multiplied times the last two, so the work per outcome is a few additions,
// two multiplications and the filter. A prefix that leaves nothing to place has one completion,
// zeros, whose shares are summed once for all: k categories with a small
// total cost about the outcomes, not k times as much.
#include <algorithm>
#include <cmath>

#include "engine/multinomial/methods.h"

namespace engine::multinomial {

namespace {

// Steps (outcomes or levels entered) between two looks at the clock.
constexpr std::uint64_t kCheckInterval = 1 << 16;

struct OutcomeWalk {
  const Setup& setup;
  const std::vector<const TermTable*>& table;
  const OutcomeSink& sink;
  Pace& pace;
  double outcome_count;
  std::vector<std::uint32_t> y;
  // The categories before the last two whose count is not 0, in order.
  std::vector<std::uint32_t> support;
  std::vector<std::uint32_t> scratch;  // support with the last two
  std::vector<std::uint32_t> differences;
  MarkedSums sums;
  bool less_in_all = false;  // some outcome less extreme in every ordering
  Tallies result;
  std::uint64_t steps = 0;
};

void Step(OutcomeWalk& walk) {
  if (++walk.steps % kCheckInterval == 0) {
    CheckPace(walk.pace, static_cast<double>(walk.result.outcomes_visited) / walk.outcome_count);
  }
}

// The outcome walk.y, its shares summed as value; probability() gives its
// probability, asked for only when some ordering counts it or a listing
// needs it.
template <typename ProbabilityOfOutcome>
void VisitOutcome(OutcomeWalk& walk, const ShareSums& sums, ProbabilityOfOutcome&& probability_of) {
  const Setup& setup = walk.setup;
  const std::uint32_t k = setup.k;
  const double value[kStatisticCount] = {sums.chi, sums.deviance, sums.surprise};
  Mark marks[kOrderingCount] = {Mark::kNotExtreme, Mark::kNotExtreme, Mark::kNotExtreme,
                                Mark::kNotExtreme};
  bool differences_known = false;
  bool extreme = false;
  for (int s = 0; s < kStatisticCount; ++s) {
    Verdict verdict = Judge(value[s], setup.margin[s]);
    if (verdict == Verdict::kUndecided) {
      if (!differences_known) {
        walk.scratch = walk.support;
        for (std::uint32_t i : {k - 2, k - 1}) {
          if (walk.y[i] != 0) walk.scratch.push_back(i);
        }
        Differences(setup, walk.scratch, walk.differences);
        differences_known = true;
      }
      marks[s] = JudgeOutcome(setup, static_cast<Statistic>(s), value[s], walk.y, walk.differences);
    } else {
      marks[s] = MarkOf(verdict);
    }
    extreme = extreme || marks[s] != Mark::kNotExtreme;
  }
  if (!extreme) walk.less_in_all = true;
  if (extreme || walk.sink) {
    const Probability probability = probability_of();
    if (extreme) walk.sums.Add(marks, probability);
    if (walk.sink) {
      OutcomeRow row{walk.y, 1, DoubleOf(probability), value[kChi], 2 * value[kDeviance], {}};
      std::copy(std::begin(marks), std::end(marks), row.marks);
      walk.sink(row);
    }
  }
  ++walk.result.outcomes_visited;
  Step(walk);
}


// The last two categories share r, the first of them from 0 up; before
// holds the categories before them: their shares summed, their surprise in
// extended precision and their Poisson probabilities multiplied.
void WalkLastTwo(OutcomeWalk& walk, std::uint32_t r, const ShareSums& sums,
                 long double fine_surprise, long double product) {
  const Setup& setup = walk.setup;
  const std::uint32_t k = setup.k;
  const TermTable& first = *walk.table[k - 2];
  const TermTable& second = *walk.table[k - 1];
  const long double scaled = setup.total_scale * product;
  for (std::uint32_t j = 0; j <= r; ++j) {
    walk.y[k - 2] = j;
    walk.y[k - 1] = r - j;
    const Terms a = TermsAt(first, j);
    const Terms b = TermsAt(second, r - j);
    VisitOutcome(walk, sums + a + b, [&] {
      const long double value = scaled * Poisson(a) * Poisson(b);
      if (IsPlainProduct(value)) return ProbabilityOfValue(value);
      return ProbabilityOf(setup, fine_surprise + FineSurprise(a) + FineSurprise(b));
    });
  }
  walk.y[k - 2] = 0;
  walk.y[k - 1] = 0;
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
  // One table per distinct weight: categories of equal weight have the
  // same expectation and so the same shares.
  const ExactNull& null = setup.order.null;
  std::vector<std::uint32_t> table_of_class(setup.k, UINT32_MAX);
  std::vector<std::uint32_t> first_of_table;
  for (std::uint32_t i = 0; i < setup.k; ++i) {
    std::uint32_t& index = table_of_class[null.weight_class[i]];
    if (index == UINT32_MAX) {
      index = static_cast<std::uint32_t>(first_of_table.size());
      first_of_table.push_back(i);
    }
  }
  const std::uint64_t tables = first_of_table.size();
  shares.tables.reserve(tables);
  for (std::uint32_t first : first_of_table) {
    const Expectation& e = setup.expected[first];
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
    shares.of_category.push_back(&shares.tables[table_of_class[null.weight_class[i]]]);
  return shares;
}

double OutcomeCount(std::uint64_t n, std::uint32_t k) {
  // C(n + k - 1, m) with m the smaller of k - 1 and n.
  std::uint64_t m = std::min<std::uint64_t>(k - 1, n);
  double count = 1;
  for (std::uint64_t j = 1; j <= m && std::isfinite(count); ++j)
    count = count * static_cast<double>(n + k - j) / static_cast<double>(j);
  return std::round(count);
}

Tallies EnumerateOutcomes(const Setup& setup, const OutcomeSink& sink, Pace& pace) {
  const std::uint32_t k = setup.k;
  ShareTables shares = MakeShareTables(setup);
  const ZeroShares zeros = ZeroSuffix(shares.of_category);
  OutcomeWalk walk{setup, shares.of_category, sink, pace, OutcomeCount(setup.n, setup.k),
                   std::vector<std::uint32_t>(k, 0), {}, {}, {}, {}, false, {}};
  // Level i < k - 2 holds the sums of the categories before it, their
  // surprise in extended precision, their Poisson probabilities
  // multiplied, and the total left for it and those after it; y[i] is its
  // count.
  const std::uint32_t levels = k - 2;
  std::vector<ShareSums> before(levels + 1);
  std::vector<long double> fine(levels + 1, 0);
  std::vector<long double> product(levels + 1, 1);
  std::vector<std::uint32_t> left(levels + 1);
  left[0] = static_cast<std::uint32_t>(setup.n);
  std::uint32_t i = 0;
  for (;;) {
    // Down from level i, the counts after it from 0.
    while (i < levels && left[i] > 0) {
      const Terms terms = TermsAt(*walk.table[i], walk.y[i]);
      before[i + 1] = before[i] + terms;
      fine[i + 1] = fine[i] + FineSurprise(terms);
      product[i + 1] = product[i] * Poisson(terms);
      left[i + 1] = left[i] - walk.y[i];
      ++i;
      Step(walk);
    }
    if (i < levels) {
      // Nothing left: zeros from i on.
      VisitOutcome(walk, before[i] + zeros.sums[i], [&] {
        return ProbabilityOf(setup, product[i] * zeros.poisson[i],
                             [&] { return fine[i] + zeros.fine_surprise[i]; });
      });
    } else {
      WalkLastTwo(walk, left[levels], before[levels], fine[levels], product[levels]);
    }
    // The next prefix: the deepest level above whose count can still grow.
    for (;;) {
      if (i == 0) {
        walk.sums.AddTo(walk.result.tally);
        walk.result.less_extreme_known = true;
        walk.result.less_extreme = walk.sums.LessExtreme() | (walk.less_in_all ? 7 : 0);
        return walk.result;
      }
      --i;
      if (walk.y[i] < left[i]) {
        if (walk.y[i] == 0) walk.support.push_back(i);
        ++walk.y[i];
        break;
      }
      if (walk.y[i] != 0) walk.support.pop_back();
      walk.y[i] = 0;
    }
  }
}

}  // namespace engine::multinomial
