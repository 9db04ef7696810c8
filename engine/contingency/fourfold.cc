#include "engine/contingency/fourfold.h"

#include <cmath>
#include <stdexcept>

#include "engine/contingency/fourfold_listing.h"
#include "engine/contingency/fourfold_odds.h"
#include "engine/contingency/fourfold_pvalues.h"
#include "engine/contingency/fourfold_table.h"
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
FourfoldOrderings DegenerateOrderings(const FourfoldProblem& problem, bool log10s) {
  const double log10_half = std::log10(0.5);
  const auto one = [&](Ordering ordering, double value) {
    OrderingResult result{ordering, value, 1, 0.5};
    if (log10s) {
      result.log10_p = 0;
      result.log10_mid_p = log10_half;
    }
    return result;
  };
  FourfoldOrderings out;
  if (problem.alternative == Alternative::kTwoSided) {
    out.results = {one(Ordering::kChiSquare, 0), one(Ordering::kLikelihoodRatio, 0), one(Ordering::kProbability, 1)};
    if (log10s) out.results[2].log10_value = 0;
    out.count = 3;
  } else {
    out.results[0] = one(Ordering::kN11, static_cast<double>(problem.cells[0]));
    out.count = 1;
  }
  return out;
}

void ListDegenerate(const FourfoldProblem& problem, const OutcomeSink& sink) {
  OutcomeRow row{};
  row.counts = problem.cells;
  row.multiplicity = 1;
  row.probability = 1;
  row.chi_square = 0;
  row.likelihood_ratio = 0;
  for (Mark& mark : row.marks) mark = Mark::kTied;
  if (problem.alternative == Alternative::kTwoSided) row.marks[static_cast<int>(Ordering::kN11)] = Mark::kNotExtreme;
  sink(row);
}

}  // namespace

FourfoldOrderings TestFourfoldOrderings(const FourfoldProblem& problem, bool log10s) {
  CheckProblem(problem);
  const Margins m = fourfold::MarginsOf(problem.cells);
  if (fourfold::IsDegenerate(m)) return DegenerateOrderings(problem, log10s);
  return fourfold::SolveOrderings(m, problem.cells[0], problem.alternative, log10s);
}

OddsRatio FourfoldOddsRatio(const FourfoldProblem& problem) {
  CheckProblem(problem);
  const Margins m = fourfold::MarginsOf(problem.cells);
  OddsRatio odds;
  if (!fourfold::IsDegenerate(m)) {
    odds = fourfold::ConditionalOddsRatio(m, problem.cells[0], problem.alternative, problem.conf_level);
  }
  odds.conf_level = problem.conf_level;
  odds.sample = fourfold::SampleOddsRatio(problem.cells);
  return odds;
}

FourfoldResult TestFourfold(const FourfoldProblem& problem, const OutcomeSink& sink) {
  using namespace fourfold;
  CheckProblem(problem);
  const Margins m = MarginsOf(problem.cells);
  const std::int64_t x0 = problem.cells[0];

  FourfoldResult result;
  result.total = static_cast<std::uint64_t>(m.total);
  result.n11_min = static_cast<std::uint32_t>(m.lo);
  result.n11_max = static_cast<std::uint32_t>(m.hi);
  result.outcomes = static_cast<std::uint64_t>(m.hi - m.lo + 1);
  result.alternative = problem.alternative;
  result.odds_ratio = FourfoldOddsRatio(problem);

  FourfoldOrderings orderings;
  if (IsDegenerate(m)) {
    orderings = DegenerateOrderings(problem, true);
    if (sink) ListDegenerate(problem, sink);
  } else {
    OrderingTails tails;
    long double total_weight = 0;
    orderings = SolveOrderings(m, x0, problem.alternative, true, &tails, &total_weight);
    if (sink) {
      // A listing visits every table: its marks come from the tails of
      // all three two-sided orderings, found here even when one-sided.
      ListingMarks marks;
      if (problem.alternative == Alternative::kTwoSided) {
        marks.chi_square = tails.chi_square;
        marks.likelihood_ratio = tails.likelihood_ratio;
        marks.probability = tails.probability;
      } else {
        OrderingTails two_sided;
        SolveOrderings(m, x0, Alternative::kTwoSided, false, &two_sided);
        marks.chi_square = two_sided.chi_square;
        marks.likelihood_ratio = two_sided.likelihood_ratio;
        marks.probability = two_sided.probability;
        marks.n11 = tails.n11;
      }
      Walk walk = StartWalk(m);
      ListTables(walk, total_weight, marks, sink);
    }
  }
  result.orderings.assign(orderings.results.begin(), orderings.results.begin() + orderings.count);
  return result;
}

}  // namespace engine
