#include "engine/multinomial.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "engine/multinomial_methods.h"

namespace engine {

namespace {

using multinomial::kChi;
using multinomial::kDeviance;
using multinomial::kStatisticCount;
using multinomial::kSurprise;

std::string Count(double value) {
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
  }
  if (sink) {
    sink(OutcomeRow{problem.counts, 1, 1, 0, 0,
                    {Mark::kTied, Mark::kTied, Mark::kTied, Mark::kNotExtreme}});
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
  result.method = Method::kExact;

  if (options.method == Method::kMonteCarlo)
    throw TestFailure("the Monte Carlo method is not available");
  if (result.total == 0 || k == 1) {
    SingleOutcome(problem, sink, result);
    return result;
  }
  if (result.outcomes > kMaxEnumeratedOutcomes) {
    throw TestFailure("the exact test would enumerate " + Count(result.outcomes) +
                      " outcomes, more than the " + Count(kMaxEnumeratedOutcomes) +
                      " it can handle");
  }
  multinomial::Setup setup = multinomial::MakeSetup(problem);
  multinomial::Pace pace = multinomial::StartPace(&progress, 0);
  multinomial::Tallies tallies = multinomial::EnumerateOutcomes(setup, sink, pace);
  result.outcomes_visited = tallies.outcomes_visited;
  result.orderings[kChi] = Finish(Ordering::kChiSquare, setup.observed_sum[kChi], tallies.tally[kChi]);
  result.orderings[kDeviance] = Finish(Ordering::kLikelihoodRatio,
                                       2 * setup.observed_sum[kDeviance], tallies.tally[kDeviance]);
  result.orderings[kSurprise] =
      Finish(Ordering::kProbability,
             std::exp(setup.total_surprise - setup.observed_sum[kSurprise]),
             tallies.tally[kSurprise]);
  return result;
}

}  // namespace engine
