#include "engine/multinomial/multinomial.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

#include "engine/multinomial/methods.h"
#include "engine/multinomial/null.h"

namespace engine {

namespace {

using multinomial::kChi;
using multinomial::kDeviance;
using multinomial::kStatisticCount;
using multinomial::kSurprise;

std::string CountText(double value) {
  char text[64];
  if (value < 1e18) {
    std::snprintf(text, sizeof text, "%.0f", value);
  } else {
    std::snprintf(text, sizeof text, "%.3g", value);
  }
  return text;
}

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

OrderingResult Finish(Ordering ordering, double value, const multinomial::Tally& tally) {
  multinomial::CompensatedSum p = tally.beyond;
  p.Add(tally.tied);
  multinomial::CompensatedSum mid_p = tally.beyond;
  mid_p.Add(tally.tied.sum / 2);
  mid_p.Add(tally.tied.carry / 2);
  return OrderingResult{ordering, value, std::min(1.0, p.Value()), std::min(1.0, mid_p.Value())};
}

// One outcome only (no count to spread, or one category): it is tied with
// itself, p = 1 and mid-p = 1/2.
void SingleOutcome(const MultinomialProblem& problem, const OutcomeSink& sink,
                   MultinomialResult& result) {
  result.outcomes_visited = 1;
  for (int s = 0; s < kStatisticCount; ++s) {
    result.orderings[s] = OrderingResult{static_cast<Ordering>(s), s == kSurprise ? 1.0 : 0.0, 1,
                                         0.5};
    if (result.method == Method::kMonteCarlo) result.orderings[s].standard_error = 0;
  }
  if (sink && result.method != Method::kMonteCarlo) {
    sink(OutcomeRow{problem.counts, 1, 1, 0, 0,
                    {Mark::kTied, Mark::kTied, Mark::kTied, Mark::kNotExtreme}});
  }
}

std::array<double, kStatisticCount> ObservedValues(const multinomial::Setup& setup) {
  return {setup.observed_sum[kChi], 2 * setup.observed_sum[kDeviance],
          std::exp(setup.total_surprise - setup.observed_sum[kSurprise])};
}

void TakeTallies(const multinomial::Setup& setup, const multinomial::Tallies& tallies,
                 MultinomialResult& result) {
  result.method = Method::kExact;
  result.outcomes_visited = tallies.outcomes_visited;
  result.nodes_visited = tallies.nodes_visited;
  std::array<double, kStatisticCount> value = ObservedValues(setup);
  for (int s = 0; s < kStatisticCount; ++s)
    result.orderings[s] = Finish(static_cast<Ordering>(s), value[s], tallies.tally[s]);
}

void RunMonteCarlo(const multinomial::Setup& setup, const MultinomialOptions& options,
                   Pace& pace, MultinomialResult& result) {
  if (options.samples == 0) throw TestFailure("Monte Carlo needs at least one sample");
  multinomial::DrawCounts counts =
      multinomial::DrawOutcomes(setup, options.samples, options.seed, pace);
  result.method = Method::kMonteCarlo;
  result.samples = counts.samples;
  result.seed = options.seed;
  result.outcomes_visited = counts.samples;
  result.nodes_visited = 0;
  std::array<double, kStatisticCount> value = ObservedValues(setup);
  const double samples = static_cast<double>(counts.samples);
  for (int s = 0; s < kStatisticCount; ++s) {
    double beyond = static_cast<double>(counts.beyond[s]);
    double tied = static_cast<double>(counts.tied[s]);
    double p = (beyond + tied) / samples;
    result.orderings[s] = OrderingResult{static_cast<Ordering>(s), value[s], p,
                                         (beyond + tied / 2) / samples,
                                         std::sqrt(p * (1 - p) / samples)};
  }
}

// The exact methods, from the one that does the most work per outcome.
enum class Exact { kEveryOutcome, kClasses, kNetwork };

// Outcomes (or classes, or network steps) per second, measured on one core
// with room to spare: the automatic choice estimates the time from them.
constexpr double kClassRate = 2e7;
constexpr double kNetworkRate = 1e7;
// Beyond this estimated work the network method is refused.
constexpr double kMaxNetworkWork = 1e13;

// About how many outcomes the network method judges one by one: those of
// the ellipsoid X^2 <= c, c the widest of the three orderings' regions in
// X^2 terms, counted as its volume over the lattice's (c^((k-1)/2) V_(k-1)
// sqrt(e_1 ... e_k / n) with V_d the volume of the unit d-ball), at most
// every outcome.
double NetworkWork(const multinomial::Setup& setup, double outcomes) {
  const double k = setup.k;
  const double n = static_cast<double>(setup.n);
  double log_expectations = 0;
  double mode_surprise = 0;
  for (const multinomial::Expectation& e : setup.expected) {
    double value = std::max(1.0L, e.value);
    log_expectations += std::log(value);
    mode_surprise += 0.5 * std::log(2 * M_PI * value);
  }
  double c = std::max({setup.observed_sum[kChi], 2 * setup.observed_sum[kDeviance],
                       2 * (setup.observed_sum[kSurprise] - mode_surprise), 1.0});
  double d = k - 1;
  double log_volume = d / 2 * std::log(M_PI) - std::lgamma(d / 2 + 1) + d / 2 * std::log(c) +
                      (log_expectations - std::log(n)) / 2;
  return std::min(outcomes, 4 * std::exp(log_volume));
}

void RunExact(Exact exact, const multinomial::Setup& setup, const OutcomeSink& given_sink,
              bool rows_wanted, Pace& pace, MultinomialResult& result) {
  const OutcomeSink none;
  const OutcomeSink& sink = rows_wanted ? given_sink : none;
  switch (exact) {
    case Exact::kEveryOutcome:
      TakeTallies(setup, multinomial::EnumerateOutcomes(setup, sink, pace), result);
      break;
    case Exact::kClasses:
      TakeTallies(setup, multinomial::EnumerateClasses(setup, sink, pace), result);
      break;
    case Exact::kNetwork:
      TakeTallies(setup, multinomial::WalkNetwork(setup, pace), result);
      break;
  }
}

}  // namespace

MultinomialResult TestMultinomial(const MultinomialProblem& problem,
                                  const MultinomialOptions& options, const OutcomeSink& sink,
                                  const ProgressSink& progress) {
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
  if (options.method == Method::kMonteCarlo) {
    result.method = Method::kMonteCarlo;
    result.samples = options.samples;
    result.seed = options.seed;
  }
  if (result.total == 0 || k == 1) {
    SingleOutcome(problem, sink, result);
    return result;
  }

  multinomial::Setup setup = multinomial::MakeSetup(problem);
  const bool equal = setup.order.null.equal;
  if (options.method == Method::kMonteCarlo) {
    Pace pace = StartPace(&progress, 0);
    RunMonteCarlo(setup, options, pace, result);
    return result;
  }

  // The exact method: every outcome for a listing (or a plot under unequal
  // probabilities), classes of outcomes under equal probabilities, else the
  // network.
  Exact exact = Exact::kNetwork;
  double work = 0;
  if (options.every_outcome || (options.whole_distribution && !equal)) {
    exact = Exact::kEveryOutcome;
    work = result.outcomes;
  } else if (equal) {
    double classes = multinomial::ClassCount(result.total, k);
    if (classes <= kMaxEnumeratedOutcomes || options.whole_distribution) {
      exact = Exact::kClasses;
      work = classes;
    }
  }
  if (exact == Exact::kNetwork) work = NetworkWork(setup, result.outcomes);
  if (exact != Exact::kNetwork && work > kMaxEnumeratedOutcomes) {
    throw TestFailure("the exact test would enumerate " + CountText(work) +
                      (exact == Exact::kClasses ? " classes of outcomes" : " outcomes") +
                      ", more than the " + CountText(kMaxEnumeratedOutcomes) + " it can handle");
  }
  if (exact == Exact::kNetwork && work > kMaxNetworkWork && options.method == Method::kExact) {
    throw TestFailure("the exact test would visit about " + CountText(work) +
                      " outcomes, far beyond what it can do in a day; Monte Carlo can estimate "
                      "the p-values");
  }

  if (options.method == Method::kAuto && !whole) {
    // Exact when the work fits the time allowed: an estimate first, then
    // the clock; past it, Monte Carlo. The network's work is known only
    // roughly: it is tried unless the estimate is far beyond the time.
    double seconds = exact == Exact::kNetwork ? work / kNetworkRate / 10 : work / kClassRate;
    bool fits = seconds <= options.max_seconds;
    if (fits) {
      try {
        Pace pace = StartPace(&progress, options.max_seconds);
        RunExact(exact, setup, sink, whole, pace, result);
        return result;
      } catch (const OutOfTime&) {
      }
    }
    Pace pace = StartPace(&progress, 0);
    RunMonteCarlo(setup, options, pace, result);
    result.fell_back = true;
    return result;
  }
  Pace pace = StartPace(&progress, 0);
  RunExact(exact, setup, sink, whole, pace, result);
  return result;
}

bool IsProportion(std::string_view text) { return multinomial::ParseDecimal(text).has_value(); }

}  // namespace engine
