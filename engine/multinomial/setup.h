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
#include "engine/multinomial/product.h"
#include "engine/multinomial/terms.h"

namespace engine::multinomial {

struct Setup {
  std::uint32_t k = 0;
  std::uint64_t n = 0;
  std::vector<std::uint32_t> observed;
  ExactOrder order;
  std::vector<Expectation> expected;  // n w_i / W, one per category
  long double total_surprise = 0;     // L0: P(y) = exp(L0 - surprise(y))
  long double total_scale = 0;        // e^L0: P(y) = e^L0 prod of the Poisson probabilities
  // The observed statistics as computed sums (chi, deviance, surprise) and
  // the margins the filter leaves around them; the observed surprise also
  // in extended precision, for its probability.
  std::array<double, kStatisticCount> observed_sum{};
  long double observed_surprise = 0;
  std::array<Margin, kStatisticCount> margin{};
  // The categories whose observed count is not 0, in order, and a flag per
  // category: an outcome differs from the observed one only where either
  // is not 0.
  std::vector<std::uint32_t> observed_support;
  std::vector<std::uint8_t> in_observed_support;
};

/// n >= 1 and k >= 2 (a single outcome needs no setup).
Setup MakeSetup(const MultinomialProblem& problem);

/// The probability of an outcome whose surprise is summed as surprise.
inline Probability ProbabilityOf(const Setup& setup, long double surprise) {
  return ProbabilityFromLog(setup.total_surprise - surprise);
}

/// The probability of an outcome whose Poisson probabilities multiply to
/// product: from the product where it keeps its digits, else from the
/// surprise in extended precision that fine_surprise() sums.
template <typename FineSurprise>
Probability ProbabilityOf(const Setup& setup, long double product, FineSurprise&& fine_surprise) {
  const long double value = setup.total_scale * product;
  return IsPlainProduct(value) ? ProbabilityOfValue(value) : ProbabilityOf(setup, fine_surprise());
}

/// Where the outcome y, whose statistic was computed as value, stands
/// against the observed outcome: the filter, then exact arithmetic over
/// every category.
Mark JudgeOutcome(const Setup& setup, Statistic statistic, double value,
                  std::span<const std::uint32_t> y);

/// The same when y and the observed counts can differ only in the
/// categories listed in where (each once): the exact arithmetic looks at
/// those alone, so that a judgement costs what the outcome holds, not k.
Mark JudgeOutcome(const Setup& setup, Statistic statistic, double value,
                  std::span<const std::uint32_t> y, std::span<const std::uint32_t> where);

/// The categories where y may differ from the observed counts: the
/// observed support, then those of y_support (the categories where y is not
/// 0, each once) outside it. out is replaced.
void Differences(const Setup& setup, std::span<const std::uint32_t> y_support,
                 std::vector<std::uint32_t>& out);

/// The mark of a verdict the filter reached.
inline Mark MarkOf(Verdict verdict) {
  return verdict == Verdict::kAbove ? Mark::kBeyond : Mark::kNotExtreme;
}

/// Adds probability to the tally of a mark.
inline void Count(Tally& tally, Mark mark, const Probability& probability) {
  if (mark == Mark::kBeyond) {
    tally.beyond.Add(probability);
  } else if (mark == Mark::kTied) {
    tally.tied.Add(probability);
  }
}

/// The probability of the outcomes by their marks in the three orderings:
/// one sum for each combination of marks, so that an outcome extreme in
/// several orderings is added once; spread into the tallies at the end.
class MarkedSums {
 public:
  /// The combination of marks: 0 when no ordering finds the outcome
  /// extreme.
  static int Combination(const Mark (&marks)[kOrderingCount]) {
    return static_cast<int>(marks[0]) + 3 * static_cast<int>(marks[1]) + 9 * static_cast<int>(marks[2]);
  }
  /// The statistics s (bit s) in which an outcome of a combination is less
  /// extreme than the observed one.
  static std::uint8_t LessExtreme(int combination) {
    std::uint8_t bits = 0;
    for (int s = 0; s < kStatisticCount; ++s, combination /= 3) {
      if (combination % 3 == 0) bits |= static_cast<std::uint8_t>(1 << s);
    }
    return bits;
  }
  /// The marks of a combination.
  static void Marks(int combination, Mark (&marks)[kOrderingCount]) {
    for (int s = 0; s < kStatisticCount; ++s, combination /= 3) marks[s] = static_cast<Mark>(combination % 3);
  }

  void Add(const Mark (&marks)[kOrderingCount], const Probability& probability) {
    sums_[Combination(marks)].Add(probability);
  }
  void Add(int combination, const Probability& probability) { sums_[combination].Add(probability); }
  /// Adds a probability given by its value, a normal extended real.
  void AddValue(int combination, long double value) { sums_[combination].AddValue(value); }
  /// The statistics (bit s) in which some outcome added is less extreme
  /// than the observed one.
  std::uint8_t LessExtreme() const {
    std::uint8_t bits = 0;
    for (int combination = 1; combination < 27; ++combination) {
      if (!sums_[combination].Empty()) bits |= LessExtreme(combination);
    }
    return bits;
  }
  void AddTo(std::array<Tally, kStatisticCount>& tally) const {
    for (int combination = 1; combination < 27; ++combination) {
      if (sums_[combination].Empty()) continue;
      for (int s = 0, rest = combination; s < kStatisticCount; ++s, rest /= 3) {
        const Mark mark = static_cast<Mark>(rest % 3);
        if (mark == Mark::kBeyond) tally[s].beyond.Add(sums_[combination]);
        if (mark == Mark::kTied) tally[s].tied.Add(sums_[combination]);
      }
    }
  }

 private:
  static_assert(static_cast<int>(Mark::kNotExtreme) == 0 && static_cast<int>(Mark::kTied) == 1 &&
                static_cast<int>(Mark::kBeyond) == 2);
  std::array<LogSum, 27> sums_;
};

/// The rows of the tables kept in memory, over every method: beyond this
/// the shares of the far counts are computed when needed.
inline constexpr std::uint64_t kTableEntryLimit = std::uint64_t{1} << 21;

/// For each i, the shares at count 0 of the categories from i on, summed
/// (k + 1 entries, the last 0): the statistics of completing a partial
/// outcome with nothing left to place, its surprise in extended precision,
/// and the product of its Poisson probabilities (e^-surprise, 0 where it
/// underflows). of_category: each category's table.
struct ZeroShares {
  std::vector<ShareSums> sums;
  std::vector<long double> fine_surprise;
  std::vector<long double> poisson;
};
ZeroShares ZeroSuffix(const std::vector<const TermTable*>& of_category);

}  // namespace engine::multinomial

#endif  // ENGINE_MULTINOMIAL_SETUP_H_
