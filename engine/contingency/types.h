// The problem, options and result of the test of a 2 x 2 table: the types
// its entry point (engine/contingency/fourfold.h) and its parts share.
#ifndef ENGINE_CONTINGENCY_TYPES_H_
#define ENGINE_CONTINGENCY_TYPES_H_

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/common/exact_test.h"

namespace engine {

enum class Alternative : std::uint8_t { kTwoSided, kLess, kGreater };

struct FourfoldProblem {
  std::array<std::uint32_t, 4> cells;  // n11 n12 n21 n22; total at most 2^31 - 1
  Alternative alternative = Alternative::kTwoSided;
  double conf_level = 0.95;  // 0 < conf_level < 1
};

struct OddsRatio {
  // Conditional maximum-likelihood estimate: nullopt when undefined (a zero
  // margin); +inf or 0 at the ends of the support.
  std::optional<double> estimate;
  // n11 n22 / (n12 n21): nullopt for 0 / 0, +inf for x / 0.
  std::optional<double> sample;
  // nullopt bounds when the estimate is undefined.
  std::optional<double> lower;
  std::optional<double> upper;  // may be +inf
  double conf_level = 0.95;
};

/// The results of the orderings alone: chi_square, likelihood_ratio and
/// probability when two-sided, n11 alone when one-sided; count of them.
struct FourfoldOrderings {
  std::array<OrderingResult, 3> results{};
  int count = 0;
};

struct FourfoldResult {
  std::uint64_t total = 0;
  std::uint32_t n11_min = 0;  // the support of n11
  std::uint32_t n11_max = 0;
  std::uint64_t outcomes = 0;  // tables in the support
  Alternative alternative = Alternative::kTwoSided;
  // Two-sided: kChiSquare, kLikelihoodRatio, kProbability; one-sided: kN11.
  std::vector<OrderingResult> orderings;
  OddsRatio odds_ratio;
};

}  // namespace engine

#endif  // ENGINE_CONTINGENCY_TYPES_H_
