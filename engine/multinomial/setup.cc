#include "engine/multinomial/setup.h"

namespace engine::multinomial {

Setup MakeSetup(const MultinomialProblem& problem) {
  Setup setup;
  setup.k = static_cast<std::uint32_t>(problem.counts.size());
  setup.observed = problem.counts;
  for (std::uint32_t count : problem.counts) setup.n += count;
  setup.order = MakeExactOrder(MakeExactNull(problem.proportions, setup.k));
  const ExactNull& null = setup.order.null;
  for (std::uint32_t i = 0; i < setup.k; ++i)
    setup.expected.push_back(MakeExpectation(setup.n, null.weights[i], null.total_weight));
  setup.total_surprise = SurpriseOfTotal(setup.n);
  for (std::uint32_t i = 0; i < setup.k; ++i) {
    Terms terms = ComputeTerms(setup.observed[i], setup.expected[i]);
    setup.observed_sum[kChi] += terms.chi;
    setup.observed_sum[kDeviance] += terms.deviance;
    setup.observed_sum[kSurprise] += terms.surprise;
  }
  // Every statistic is summed over the k categories; a bound of the network
  // method may add the share of the remaining categories taken together.
  int terms = static_cast<int>(setup.k) + 1;
  for (int s = 0; s < kStatisticCount; ++s)
    setup.margin[s] = MarginAround(setup.observed_sum[s], terms);
  return setup;
}

Mark JudgeOutcome(const Setup& setup, Statistic statistic, double value,
                  std::span<const std::uint32_t> y) {
  Verdict verdict = Judge(value, setup.margin[statistic]);
  if (verdict != Verdict::kUndecided) return MarkOf(verdict);
  if (statistic != kChi && IsPermutationWithinClasses(setup.order.null, y, setup.observed))
    return Mark::kTied;
  int sign = CompareExactly(setup.order, statistic, y, setup.observed);
  return sign > 0 ? Mark::kBeyond : (sign == 0 ? Mark::kTied : Mark::kNotExtreme);
}

}  // namespace engine::multinomial
