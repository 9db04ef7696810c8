// The problem, options and result of the multinomial test: the types its
// entry point (engine/multinomial/multinomial.h) and its parts share.
#ifndef ENGINE_MULTINOMIAL_TYPES_H_
#define ENGINE_MULTINOMIAL_TYPES_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/common/exact_test.h"
#include "engine/common/method.h"

namespace engine {

/// Plain enumeration (every outcome one by one, as a listing needs) handles
/// at most this many outcomes; beyond it the test throws TestFailure.
inline constexpr double kMaxEnumeratedOutcomes = 1e9;

struct MultinomialProblem {
  std::vector<std::uint32_t> counts;    // k >= 1, total at most 2^31 - 1
  std::vector<std::string> proportions;  // empty: equal; else k texts, IsProportion
};

/// The methods: kExact is exact by the fastest method the options allow:
/// plain enumeration of every outcome for every_outcome (and for
/// whole_distribution under unequal probabilities), one visit per class of
/// permuted outcomes under equal probabilities, else the network method
/// (partial outcomes category by category, whole subtrees decided from
/// bounds); it never falls back, and throws TestFailure beyond its limits.
/// kMonteCarlo draws `samples` outcomes from the null (xoshiro256** seeded
/// by splitmix64 from `seed`, so a run repeats); it refuses every_outcome
/// and whole_distribution. kAuto is kExact when the estimated work fits
/// max_seconds and the work then finishes within it, Monte Carlo otherwise
/// (fell_back); max_seconds bounds the whole test, Monte Carlo included,
/// which then stops early (samples below samples_requested) or, with
/// fewer than kMinimumDraws made, fails. With every_outcome kAuto is
/// kExact; with whole_distribution its Monte Carlo hands each draw to the
/// sink (OutcomeRow::share 1 / samples asked for).
struct MultinomialOptions {
  Method method = Method::kAuto;
  std::uint64_t samples = kDefaultSamples;
  std::uint64_t seed = kDefaultSeed;
  double max_seconds = 10;  // kAuto: exact only when the work fits
  // Every outcome must be handed to the sink in enumeration order
  // (lexicographic, first count slowest), one row each: a listing.
  bool every_outcome = false;
  // The sink must see the whole null distribution (every outcome, or every
  // class of outcomes with its multiplicity), as a plot needs: rules out
  // the methods that sum subtrees unvisited; under kAuto, Monte Carlo then
  // hands over its draws instead.
  bool whole_distribution = false;
};

struct MultinomialResult {
  std::uint64_t total = 0;
  std::vector<double> probabilities;  // the null, normalised to sum 1
  Method method = Method::kExact;     // kExact or kMonteCarlo, as computed
  bool fell_back = false;             // kAuto chose Monte Carlo
  double outcomes = 0;                // C(n + k - 1, k - 1)
  // Outcomes (or classes of outcomes) whose probability was formed one by
  // one: all for plain enumeration, the classes for equal probabilities,
  // the ones the network judged or summed singly, the draws of Monte Carlo.
  std::uint64_t outcomes_visited = 0;
  std::uint64_t nodes_visited = 0;    // network method: partial outcomes expanded; 0 otherwise
  std::uint64_t samples = 0;          // Monte Carlo: the draws made
  std::uint64_t samples_requested = 0;  // Monte Carlo: the draws asked for
  std::uint64_t seed = 0;             // Monte Carlo
  // kChiSquare, kLikelihoodRatio, kProbability, in that order.
  std::array<OrderingResult, 3> orderings{};
};

}  // namespace engine

#endif  // ENGINE_MULTINOMIAL_TYPES_H_
