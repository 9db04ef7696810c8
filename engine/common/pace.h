// The pace of long work: progress reported now and then, and an end past
// the time allowed, checked by the work itself inside its loops.
#ifndef ENGINE_COMMON_PACE_H_
#define ENGINE_COMMON_PACE_H_

#include <chrono>

#include "engine/common/exact_test.h"

namespace engine {

/// Thrown when the work runs past the time allowed (the automatic choice
/// then turns to Monte Carlo).
struct OutOfTime {};

/// The pace of long work: calls the progress sink about every 50 ms and
/// ends the work past a deadline.
struct Pace {
  const ProgressSink* progress = nullptr;
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point last_report;
  double seconds_allowed = 0;  // 0: no deadline
};

Pace StartPace(const ProgressSink* progress, double seconds_allowed);

/// Called now and then by the work with the share done: reports progress
/// when due, throws OutOfTime past the deadline.
void CheckPace(Pace& pace, double share_done);

}  // namespace engine

#endif  // ENGINE_COMMON_PACE_H_
