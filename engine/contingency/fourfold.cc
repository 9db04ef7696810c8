#include "engine/contingency/fourfold.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "engine/contingency/fourfold_exact.h"
#include "engine/contingency/fourfold_listing.h"
#include "engine/contingency/fourfold_odds.h"
#include "engine/contingency/fourfold_table.h"
#include "engine/contingency/fourfold_tails.h"
#include "engine/contingency/fourfold_walk.h"

namespace engine {
namespace {

using fourfold::Margins;

void CheckProblem(const FourfoldProblem& problem) {
  std::uint64_t total = 0;
  for (std::uint32_t n : problem.cells) total += n;
  if (total > 2147483647u) throw std::invalid_argument("the total of the table is above 2147483647");
  if (!(problem.conf_level > 0 && problem.conf_level < 1)) {
    throw std::invalid_argument("the confidence level is not between 0 and 1");
  }
}

// A zero margin leaves the observed table alone in the support: every
// p-value is 1, the odds ratio has no estimate.
void SolveDegenerate(const FourfoldProblem& problem, const OutcomeSink& sink, FourfoldResult& result) {
  const bool two_sided = problem.alternative == Alternative::kTwoSided;
  if (two_sided) {
    result.orderings = {{Ordering::kChiSquare, 0, 1, 0.5},
                        {Ordering::kLikelihoodRatio, 0, 1, 0.5},
                        {Ordering::kProbability, 1, 1, 0.5}};
  } else {
    result.orderings = {{Ordering::kN11, static_cast<double>(problem.cells[0]), 1, 0.5}};
  }
  if (!sink) return;
  OutcomeRow row{};
  row.counts = problem.cells;
  row.multiplicity = 1;
  row.probability = 1;
  row.chi_square = 0;
  row.likelihood_ratio = 0;
  for (Mark& mark : row.marks) mark = Mark::kTied;
  if (two_sided) row.marks[static_cast<int>(Ordering::kN11)] = Mark::kNotExtreme;
  sink(row);
}

}  // namespace

FourfoldResult TestFourfold(const FourfoldProblem& problem, const OutcomeSink& sink) {
  using namespace fourfold;
  CheckProblem(problem);
  const Margins m = MarginsOf(problem.cells);
  const std::int64_t x0 = problem.cells[0];
  const bool two_sided = problem.alternative == Alternative::kTwoSided;

  FourfoldResult result;
  result.total = static_cast<std::uint64_t>(m.total);
  result.n11_min = static_cast<std::uint32_t>(m.lo);
  result.n11_max = static_cast<std::uint32_t>(m.hi);
  result.outcomes = static_cast<std::uint64_t>(m.hi - m.lo + 1);
  result.alternative = problem.alternative;
  result.odds_ratio.conf_level = problem.conf_level;
  result.odds_ratio.sample = SampleOddsRatio(problem.cells);
  if (IsDegenerate(m)) {
    SolveDegenerate(problem, sink, result);
    return result;
  }

  Walk walk = StartWalk(m);
  const long double total_weight = SumRange(walk, m.lo, m.hi);
  const long double observed_weight = WeightOrZero(walk, x0);
  // Below kValidWeight the observed table is too improbable for its
  // probability, or any p-value of the probability ordering, to show in a
  // double (at most 2^31 tables of at most 1e-340 each).
  const bool observed_kept = observed_weight >= kValidWeight;

  ListingMarks marks;
  if (two_sided || sink) {
    const std::int64_t d0 = std::llabs(Deviation(m, x0));
    marks.chi_square = FindTails(m, x0, [&](std::int64_t x) {
      const std::int64_t d = std::llabs(Deviation(m, x));
      return (d > d0) - (d < d0);
    });
    const Cells observed = CellsAt(m, x0);
    marks.likelihood_ratio =
        FindTails(m, x0, [&](std::int64_t x) { return CompareSelfPowerProducts(CellsAt(m, x), observed); });
    if (observed_kept) {
      marks.probability =
          FindTails(m, x0, [&](std::int64_t x) { return -CompareProbabilities(walk, x, x0); });
    } else if (sink) {
      marks.probability = ScanProbabilityTails(walk, x0);
    }
  }
  if (two_sided) {
    result.orderings.push_back(ResultOf(Ordering::kChiSquare, static_cast<double>(ChiSquareAt(m, x0)),
                                        SumTails(walk, marks.chi_square), total_weight));
    result.orderings.push_back(ResultOf(Ordering::kLikelihoodRatio,
                                        static_cast<double>(LikelihoodRatioAt(m, x0)),
                                        SumTails(walk, marks.likelihood_ratio), total_weight));
    const double probability = static_cast<double>(observed_weight / total_weight);
    if (observed_kept) {
      result.orderings.push_back(
          ResultOf(Ordering::kProbability, probability, SumTails(walk, marks.probability), total_weight));
    } else {
      result.orderings.push_back({Ordering::kProbability, probability, 0, 0});
    }
  } else {
    marks.n11 = OneSidedTails(m, x0, problem.alternative == Alternative::kLess);
    result.orderings.push_back(
        ResultOf(Ordering::kN11, static_cast<double>(x0), SumTails(walk, *marks.n11), total_weight));
  }

  const OddsRatio conditional = ConditionalOddsRatio(m, x0, problem.alternative, problem.conf_level);
  result.odds_ratio.estimate = conditional.estimate;
  result.odds_ratio.lower = conditional.lower;
  result.odds_ratio.upper = conditional.upper;

  if (sink) ListTables(walk, total_weight, marks, sink);
  return result;
}

}  // namespace engine
