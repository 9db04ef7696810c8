#include "engine/multinomial/setup.h"

#include <cmath>

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
  setup.total_scale = ExpExtended(setup.total_surprise);
  ShareSums observed;
  for (std::uint32_t i = 0; i < setup.k; ++i) {
    const Terms terms = ComputeTerms(setup.observed[i], setup.expected[i]);
    observed = observed + terms;
    setup.observed_surprise += FineSurprise(terms);
    if (setup.observed[i] != 0) setup.observed_support.push_back(i);
  }
  setup.observed_sum = {observed.chi, observed.deviance,
                        static_cast<double>(setup.observed_surprise)};
  setup.in_observed_support.assign(setup.k, 0);
  for (std::uint32_t i : setup.observed_support) setup.in_observed_support[i] = 1;
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

Mark JudgeOutcome(const Setup& setup, Statistic statistic, double value,
                  std::span<const std::uint32_t> y, std::span<const std::uint32_t> where) {
  Verdict verdict = Judge(value, setup.margin[statistic]);
  if (verdict != Verdict::kUndecided) return MarkOf(verdict);
  if (statistic != kChi &&
      IsPermutationWithinClasses(setup.order.null, y, setup.observed, where))
    return Mark::kTied;
  int sign = CompareExactly(setup.order, statistic, y, setup.observed, where);
  return sign > 0 ? Mark::kBeyond : (sign == 0 ? Mark::kTied : Mark::kNotExtreme);
}

void Differences(const Setup& setup, std::span<const std::uint32_t> y_support,
                 std::vector<std::uint32_t>& out) {
  out.assign(setup.observed_support.begin(), setup.observed_support.end());
  for (std::uint32_t i : y_support) {
    if (setup.in_observed_support[i] == 0) out.push_back(i);
  }
}

namespace {

// A sum with the rounding error of each addition carried along
// (Neumaier), in the precision of T.
template <typename T>
struct Carried {
  T sum = 0;
  T carry = 0;
  void Add(T x) {
    const T t = sum + x;
    carry += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
    sum = t;
  }
  T Value() const { return sum + carry; }
};

}  // namespace

ZeroShares ZeroSuffix(const std::vector<const TermTable*>& of_category) {
  // Thousands of categories of small expectation: carried sums keep the
  // digits that the probability of the outcomes ending in zeros needs.
  const std::size_t k = of_category.size();
  ZeroShares suffix{std::vector<ShareSums>(k + 1), std::vector<long double>(k + 1, 0),
                    std::vector<long double>(k + 1, 1)};
  Carried<double> chi, deviance;
  Carried<long double> surprise;
  for (std::size_t i = k; i-- > 0;) {
    const Terms zero = TermsAt(*of_category[i], 0);
    chi.Add(zero.chi);
    deviance.Add(zero.deviance);
    surprise.Add(FineSurprise(zero));
    suffix.fine_surprise[i] = surprise.Value();
    suffix.sums[i] = ShareSums{chi.Value(), deviance.Value(), static_cast<double>(surprise.Value())};
    suffix.poisson[i] = ExpExtended(-surprise.Value());
  }
  return suffix;
}

}  // namespace engine::multinomial
