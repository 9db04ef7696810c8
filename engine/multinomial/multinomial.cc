#include "engine/multinomial/multinomial.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <limits>

#include "engine/common/monte_carlo_p.h"
#include "engine/multinomial/methods.h"
#include "engine/multinomial/null.h"
#include "engine/multinomial/plan.h"

namespace engine {

namespace {

using multinomial::kChi;
using multinomial::kDeviance;
using multinomial::kStatisticCount;
using multinomial::kSurprise;

constexpr long double kLn10 = 2.302585092994045684017991454684364208L;

void CheckProblem(const MultinomialProblem& problem) {
  if (problem.counts.empty()) throw TestFailure("no categories");
  if (!problem.proportions.empty() && problem.proportions.size() != problem.counts.size())
    throw TestFailure("the number of proportions differs from the number of categories");
  std::uint64_t total = 0;
  for (std::uint32_t count : problem.counts) total += count;
  if (total > std::numeric_limits<std::int32_t>::max())
    throw TestFailure("the total of the counts is above 2147483647");
  for (const std::string& text : problem.proportions) {
    if (!IsProportion(text)) throw TestFailure("invalid proportion '" + text + "'");
  }
}

// p and mid-p from the tallies, with their log10 (exact also where they
// lie below the range of doubles); none_less: no outcome is less extreme
// than the observed one, so that p is 1 exactly (the sum of every
// probability, whatever its rounding).
OrderingResult Finish(Ordering ordering, double value, const multinomial::Tally& tally,
                      bool none_less) {
  multinomial::LogSum p = tally.beyond;
  p.Add(tally.tied);
  multinomial::LogSum mid_p = tally.beyond;
  mid_p.Add(tally.tied, 0.5L);
  OrderingResult result{ordering, value, std::min(1.0, p.Value()), std::min(1.0, mid_p.Value())};
  result.log10_p = static_cast<double>(std::min(0.0L, p.Ln() / kLn10));
  result.log10_mid_p = static_cast<double>(std::min(0.0L, mid_p.Ln() / kLn10));
  if (none_less) {
    result.p = 1;
    result.log10_p = 0;
  }
  return result;
}

// The observed statistics as the reports give them, and the log10 of the
// observed outcome's probability.
struct Observed {
  std::array<double, kStatisticCount> value;
  double log10_probability;
};

Observed ObservedValues(const multinomial::Setup& setup) {
  const multinomial::Probability probability =
      multinomial::ProbabilityOf(setup, setup.observed_surprise);
  return Observed{{multinomial::RoundedChiSquare(setup.order, setup.observed, setup.n),
                   2 * setup.observed_sum[kDeviance],
                   multinomial::DoubleOf(probability)},
                  static_cast<double>(probability.Ln() / kLn10)};
}

// One outcome only (no count to spread, or one category): it is tied with
// itself, p = 1 and mid-p = 1/2.
void SingleOutcome(const MultinomialProblem& problem, const MultinomialOptions& options,
                   const OutcomeSink& sink, MultinomialResult& result) {
  result.outcomes_visited = 1;
  for (int s = 0; s < kStatisticCount; ++s) {
    const Ordering ordering = static_cast<Ordering>(s);
    const double value = s == kSurprise ? 1.0 : 0.0;
    if (result.method == Method::kMonteCarlo) {
      // Every draw is the observed outcome.
      result.orderings[s] = MonteCarloOrdering(ordering, value, 0, options.samples, options.samples);
    } else {
      result.orderings[s] = OrderingResult{ordering, value, 1, 0.5};
      result.orderings[s].log10_p = 0;
      result.orderings[s].log10_mid_p = -0.30102999566398120;
    }
    if (s == kSurprise) result.orderings[s].log10_value = 0;
  }
  if (sink && result.method != Method::kMonteCarlo) {
    sink(OutcomeRow{problem.counts, 1, 1, 0, 0,
                    {Mark::kTied, Mark::kTied, Mark::kTied, Mark::kNotExtreme}});
  }
}

void TakeTallies(const multinomial::Setup& setup, const multinomial::Tallies& tallies,
                 MultinomialResult& result) {
  result.method = Method::kExact;
  result.outcomes_visited = tallies.outcomes_visited;
  result.nodes_visited = tallies.nodes_visited;
  const Observed observed = ObservedValues(setup);
  for (int s = 0; s < kStatisticCount; ++s)
    result.orderings[s] =
        Finish(static_cast<Ordering>(s), observed.value[s], tallies.tally[s],
               tallies.less_extreme_known && (tallies.less_extreme & (1 << s)) == 0);
  result.orderings[kSurprise].log10_value = observed.log10_probability;
}

// Monte Carlo with the time pace allows (none: every draw asked for).
void RunMonteCarlo(const multinomial::Setup& setup, const MultinomialOptions& options,
                   const OutcomeSink& sink, Pace& pace, MultinomialResult& result) {
  if (options.samples == 0) throw TestFailure("Monte Carlo needs at least one sample");
  if (options.samples > kMaxSamples) {
    throw TestFailure("Monte Carlo draws at most " + multinomial::CountText(kMaxSamples) + " samples");
  }
  if (multinomial::MonteCarloBytes(setup) > kMemoryCap) {
    throw TestFailure("Monte Carlo would need about " +
                      multinomial::BytesText(multinomial::MonteCarloBytes(setup)) +
                      " of memory, more than the " + multinomial::BytesText(kMemoryCap) + " it may use");
  }
  multinomial::DrawCounts counts =
      multinomial::DrawOutcomes(setup, options.samples, options.seed, pace, sink);
  const std::uint64_t enough = std::min(options.samples, kMinimumDraws);
  if (counts.samples < enough) {
    throw TestFailure("the time allowed ran out after " + std::to_string(counts.samples) +
                      " Monte Carlo draws, fewer than the " + std::to_string(enough) +
                      " an estimate needs; allow more time");
  }
  result.method = Method::kMonteCarlo;
  result.samples = counts.samples;
  result.samples_requested = options.samples;
  result.seed = options.seed;
  result.outcomes_visited = counts.samples;
  result.nodes_visited = 0;
  const Observed observed = ObservedValues(setup);
  for (int s = 0; s < kStatisticCount; ++s) {
    result.orderings[s] = MonteCarloOrdering(static_cast<Ordering>(s), observed.value[s],
                                             counts.beyond[s], counts.tied[s], counts.samples);
  }
  result.orderings[kSurprise].log10_value = observed.log10_probability;
}

void RunExact(multinomial::ExactMethod method, const multinomial::Setup& setup,
              const OutcomeSink& given_sink, bool rows_wanted, Pace& pace, MultinomialResult& result) {
  const OutcomeSink none;
  const OutcomeSink& sink = rows_wanted ? given_sink : none;
  switch (method) {
    case multinomial::ExactMethod::kEveryOutcome:
      TakeTallies(setup, multinomial::EnumerateOutcomes(setup, sink, pace), result);
      break;
    case multinomial::ExactMethod::kClasses:
      TakeTallies(setup, multinomial::EnumerateClasses(setup, sink, pace), result);
      break;
    case multinomial::ExactMethod::kNetwork:
      TakeTallies(setup, multinomial::WalkNetwork(setup, pace), result);
      break;
  }
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

MultinomialResult TestMultinomial(const MultinomialProblem& problem,
                                  const MultinomialOptions& options, const OutcomeSink& sink,
                                  const ProgressSink& progress, const std::function<void()>& restart) {
  const auto start = std::chrono::steady_clock::now();
  CheckProblem(problem);
  MultinomialResult result;
  const std::uint32_t k = static_cast<std::uint32_t>(problem.counts.size());
  for (std::uint32_t count : problem.counts) result.total += count;
  result.probabilities =
      multinomial::NormalisedProbabilities(multinomial::MakeExactNull(problem.proportions, k));
  result.outcomes = multinomial::OutcomeCount(result.total, k);
  const bool whole = options.every_outcome || options.whole_distribution;
  if (options.method == Method::kMonteCarlo && whole) {
    throw TestFailure(
        "the Monte Carlo method draws only some outcomes, not every one a listing or a plot "
        "needs");
  }
  if (options.method != Method::kExact &&
      (options.samples == 0 || options.samples > kMaxSamples)) {
    throw TestFailure("Monte Carlo draws from 1 to " + multinomial::CountText(kMaxSamples) + " samples");
  }
  if (options.method == Method::kMonteCarlo) {
    result.method = Method::kMonteCarlo;
    result.samples = options.samples;
    result.samples_requested = options.samples;
    result.seed = options.seed;
  }
  if (result.total == 0 || k == 1) {
    SingleOutcome(problem, options, sink, result);
    return result;
  }

  multinomial::Setup setup = multinomial::MakeSetup(problem);
  if (options.method == Method::kMonteCarlo) {
    Pace pace = StartPace(&progress, 0);
    RunMonteCarlo(setup, options, {}, pace, result);
    return result;
  }

  const multinomial::ExactPlan plan =
      multinomial::PlanExact(setup, result.outcomes, options.every_outcome, options.whole_distribution);
  if (options.method == Method::kExact || options.every_outcome) {
    // Exact asked for, or a listing (which only the exact methods give):
    // no deadline, no fallback.
    if (!plan.possible) throw TestFailure(plan.refusal);
    Pace pace = StartPace(&progress, 0);
    RunExact(plan.method, setup, sink, whole, pace, result);
    return result;
  }

  // Automatic: exact when the work fits the time allowed, an estimate
  // first, then the clock; past it, Monte Carlo in what time remains. The
  // exact attempt leaves Monte Carlo room for its draws (up to half the
  // time allowed).
  const double allowed = options.max_seconds;
  const double reserve = std::min(allowed / 2, multinomial::MonteCarloSeconds(setup, options.samples));
  const double for_exact = allowed - reserve;
  if (plan.possible && plan.hopeful_seconds <= for_exact) {
    try {
      Pace pace = StartPace(&progress, std::max(1e-9, for_exact - SecondsSince(start)));
      RunExact(plan.method, setup, sink, whole, pace, result);
      return result;
    } catch (const OutOfTime&) {
      // The rows handed over so far were of the exact attempt.
      if (whole && restart) restart();
    }
  }
  Pace pace = StartPace(&progress, std::max(1e-9, allowed - SecondsSince(start)));
  RunMonteCarlo(setup, options, whole ? sink : OutcomeSink{}, pace, result);
  result.fell_back = true;
  return result;
}

bool IsProportion(std::string_view text) { return multinomial::ParseDecimal(text).has_value(); }

}  // namespace engine
