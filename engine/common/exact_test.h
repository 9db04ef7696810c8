// The vocabulary shared by the exact tests of the command-line mode: the
// orderings of the outcomes, where an outcome stands against the observed
// one, the result of one ordering, and the rows handed to a listing or a
// plot. Nothing here does input or output; the front ends format.
#ifndef ENGINE_COMMON_EXACT_TEST_H_
#define ENGINE_COMMON_EXACT_TEST_H_

#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <stdexcept>
#include <string_view>

namespace engine {

/// The orderings by which outcomes are compared with the observed one.
/// kChiSquare and kLikelihoodRatio: larger is more extreme; kProbability:
/// smaller is more extreme; kN11 (one-sided fourfold tests only): smaller
/// (alternative less) or larger (greater) n11 is more extreme.
enum class Ordering : std::uint8_t { kChiSquare, kLikelihoodRatio, kProbability, kN11 };
inline constexpr int kOrderingCount = 4;

/// The key of an ordering in reports: "chi_square", "likelihood_ratio",
/// "probability", "n11".
std::string_view KeyOf(Ordering ordering);

/// Where an outcome stands in one ordering against the observed outcome.
/// Ties are mathematical equality of the statistic, never closeness.
enum class Mark : std::uint8_t { kNotExtreme, kTied, kBeyond };

/// The result of one ordering. p sums the probability of the outcomes
/// beyond or tied; mid-p the ones beyond plus half the tied ones.
struct OrderingResult {
  Ordering ordering;
  double value;  // the observed statistic (P(observed) for kProbability, n11 for kN11)
  double p;      // as a double: 0 where it lies below the range of doubles
  double mid_p;
  // Monte Carlo only: the standard error of the estimate of p; NaN when exact.
  double standard_error = std::numeric_limits<double>::quiet_NaN();
  // log10 of p and of mid-p, also where they underflow a double (down to
  // about -1e9); NaN when the method did not give them.
  double log10_p = std::numeric_limits<double>::quiet_NaN();
  double log10_mid_p = std::numeric_limits<double>::quiet_NaN();
  // kProbability: log10 of the observed outcome's probability (value is 0
  // where that underflows); NaN for the other orderings.
  double log10_value = std::numeric_limits<double>::quiet_NaN();
  // Monte Carlo only: the draws at least as extreme as the observed outcome
  // (ties included) and those tied with it.
  std::uint64_t draws_extreme = 0;
  std::uint64_t draws_tied = 0;
};

/// One outcome (or, when multiplicity > 1, a class of outcomes sharing every
/// statistic, such as the permutations of a vector of counts under equal
/// probabilities) as handed to a listing or a plot.
struct OutcomeRow {
  std::span<const std::uint32_t> counts;  // x1..xk, or n11 n12 n21 n22
  double multiplicity;                    // outcomes this row stands for
  double probability;                     // of one of them
  double chi_square;
  double likelihood_ratio;
  Mark marks[kOrderingCount];  // indexed by Ordering; kN11 only when one-sided
  // The row's share of the distribution when it is not multiplicity x
  // probability: a Monte Carlo draw stands for 1 / draws of it. Negative
  // (the default): multiplicity x probability.
  double share = -1;
};

/// Receives rows; a listing needs every outcome once, in enumeration order
/// (multiplicity 1), a plot only the mass of each statistic value.
using OutcomeSink = std::function<void(const OutcomeRow&)>;

/// Progress of long work: called now and then with the share done (0 to 1).
using ProgressSink = std::function<void(double share_done)>;

/// The test could not be completed: too large for the method asked for,
/// and the like. what() is one line for the user, without the program name.
class TestFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace engine

#endif  // ENGINE_COMMON_EXACT_TEST_H_
