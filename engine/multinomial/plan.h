// The choice of a method before any work: each exact method's work, time
// and memory estimated from the problem, the cheapest one the options
// allow, and what Monte Carlo would take. The estimates are rough (within
// a small factor for the enumerations, an order of magnitude for the
// network method); the clock, checked inside every method's loops, has
// the last word.
#ifndef ENGINE_MULTINOMIAL_PLAN_H_
#define ENGINE_MULTINOMIAL_PLAN_H_

#include <cstdint>
#include <string>

#include "engine/multinomial/setup.h"

namespace engine::multinomial {

/// The exact methods, from the one that does the most work per outcome.
enum class ExactMethod : std::uint8_t { kEveryOutcome, kClasses, kNetwork };

struct ExactPlan {
  bool possible = false;
  ExactMethod method = ExactMethod::kEveryOutcome;
  double work = 0;     // outcomes, classes, or outcomes the network judges
  double seconds = 0;  // estimated on one core
  // What kAuto compares with the time allowed: seconds, or a tenth of it
  // for the network method, whose estimate is known only roughly and
  // which is tried unless far beyond the time.
  double hopeful_seconds = 0;
  double bytes = 0;
  std::string refusal;  // why not possible: one line for the user
};

/// The exact method to run: plain enumeration for every_outcome (and for
/// whole_distribution under unequal probabilities); under equal
/// probabilities the classes of outcomes while they are within their
/// limits; else the cheaper of plain enumeration and the network method
/// (not for whole_distribution), among those within their limits (at
/// most kMaxEnumeratedOutcomes visited one by one, about 1e13 outcomes
/// judged by the network) and within kMemoryCap.
ExactPlan PlanExact(const Setup& setup, double outcomes, bool every_outcome, bool whole_distribution);

/// Estimated seconds and bytes of Monte Carlo with `samples` draws.
double MonteCarloSeconds(const Setup& setup, std::uint64_t samples);
double MonteCarloBytes(const Setup& setup);

/// A count for a message: "4263421511271", or "4.26e+22" when large.
std::string CountText(double value);

/// Bytes for a message: "3.2 GiB", "640 MiB".
std::string BytesText(double bytes);

}  // namespace engine::multinomial

#endif  // ENGINE_MULTINOMIAL_PLAN_H_
