#include "engine/common/pace.h"

namespace engine {

Pace StartPace(const ProgressSink* progress, double seconds_allowed) {
  Pace pace;
  pace.progress = progress != nullptr && *progress ? progress : nullptr;
  pace.start = std::chrono::steady_clock::now();
  pace.last_report = pace.start;
  pace.seconds_allowed = seconds_allowed;
  return pace;
}

void CheckPace(Pace& pace, double share_done) {
  auto now = std::chrono::steady_clock::now();
  if (pace.seconds_allowed > 0 &&
      std::chrono::duration<double>(now - pace.start).count() > pace.seconds_allowed)
    throw OutOfTime{};
  if (pace.progress != nullptr && now - pace.last_report >= std::chrono::milliseconds(50)) {
    pace.last_report = now;
    (*pace.progress)(share_done < 0 ? 0 : (share_done > 1 ? 1 : share_done));
  }
}

}  // namespace engine
