#include "cli/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/interrupt.h"
#include "cli/output.h"

namespace cli {
namespace {

constexpr std::chrono::seconds kQuietStart{1};
constexpr std::chrono::milliseconds kRedrawEvery{200};

std::string Duration(double seconds) {
  long whole = std::lround(std::max(seconds, 0.0));
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  }
  return text;
}

}  // namespace

ProgressBar::ProgressBar(std::string_view program)
    : program_(program), start_(Clock::now()), last_drawn_(start_) {
  enabled_ = isatty(STDERR_FILENO) == 1;
  winsize size{};
  if (enabled_ && ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    width_ = size.ws_col;
  }
}

ProgressBar::ProgressBar(std::string_view program, int width, std::string* screen)
    : program_(program), enabled_(true), width_(width), screen_(screen), start_(Clock::now()),
      last_drawn_(start_) {}

std::string ProgressBar::Line(std::string_view program, double share_done, double elapsed, int width) {
  share_done = std::clamp(share_done, 0.0, 1.0);
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(share_done * 100));
  std::string left = share_done > 0 ? "  " + Duration(elapsed * (1 - share_done) / share_done) + " left" : "";
  std::string tail = "] " + std::string(percent) + left;
  std::string head = std::string(program) + " [";
  // The line stays one column short of the width, so the terminal never wraps.
  int bar = width - 1 - static_cast<int>(head.size() + tail.size());
  if (bar < 10) return std::string(percent) + left;
  int filled = static_cast<int>(share_done * bar);
  return head + std::string(filled, '#') + std::string(bar - filled, '.') + tail;
}

void ProgressBar::Show(double share_done, Clock::time_point now) {
  if (!enabled_ || now - start_ < kQuietStart) return;
  if (shown_ && now - last_drawn_ < kRedrawEvery) return;
  last_drawn_ = now;
  double elapsed = std::chrono::duration<double>(now - start_).count();
  shown_ = true;
  SetProgressLineShown(screen_ == nullptr);
  Put("\r" + Line(program_, share_done, elapsed, width_) + "\033[K");
}

void ProgressBar::Clear() {
  if (!shown_) return;
  Put("\r\033[K");
  shown_ = false;
  if (screen_ == nullptr) SetProgressLineShown(false);
}

void ProgressBar::Put(std::string_view text) {
  if (screen_ != nullptr) {
    screen_->append(text);
  } else {
    WriteAll(STDERR_FILENO, text);  // a terminal that refuses the bar is no failure of the test
  }
}

}  // namespace cli
