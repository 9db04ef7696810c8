// What every method of the multinomial test starts from: the observed
// counts, the exact null, the expected counts, the observed statistics as
// computed sums with their margins, and the pace of the work (progress and
// the time allowed).
#ifndef ENGINE_MULTINOMIAL_SETUP_H_
#define ENGINE_MULTINOMIAL_SETUP_H_

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/common/exact_test.h"
#include "engine/common/pace.h"
#include "engine/multinomial/types.h"
#include "engine/multinomial/classify.h"
#include "engine/multinomial/exact.h"
#include "engine/multinomial/terms.h"

namespace engine::multinomial {

struct Setup {
  std::uint32_t k = 0;
  std::uint64_t n = 0;
  std::vector<std::uint32_t> observed;
  ExactOrder order;
  std::vector<Expectation> expected;  // n w_i / W, one per category
  double total_surprise = 0;          // L0: P(y) = exp(L0 - surprise(y))
  // The observed statistics as computed sums (chi, deviance, surprise) and
  // the margins the filter leaves around them.
  std::array<double, kStatisticCount> observed_sum{};
  std::array<Margin, kStatisticCount> margin{};
};

/// n >= 1 and k >= 2 (a single outcome needs no setup).
Setup MakeSetup(const MultinomialProblem& problem);

/// Where the outcome y, whose statistic was computed as value, stands
/// against the observed outcome: the filter, then exact arithmetic.
Mark JudgeOutcome(const Setup& setup, Statistic statistic, double value,
                  std::span<const std::uint32_t> y);

/// The mark of a verdict the filter reached.
inline Mark MarkOf(Verdict verdict) {
  return verdict == Verdict::kAbove ? Mark::kBeyond : Mark::kNotExtreme;
}

/// Adds probability to the tally of a mark.
inline void Count(Tally& tally, Mark mark, double probability) {
  if (mark == Mark::kBeyond) {
    tally.beyond.Add(probability);
  } else if (mark == Mark::kTied) {
    tally.tied.Add(probability);
  }
}

/// The rows of the tables kept in memory, over every method: beyond this
/// the shares of the far counts are computed when needed.
inline constexpr std::uint64_t kTableEntryLimit = std::uint64_t{1} << 21;

}  // namespace engine::multinomial

#endif  // ENGINE_MULTINOMIAL_SETUP_H_
