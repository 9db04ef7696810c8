// A progress bar on standard error for long work: shown only when standard
// error is a terminal and the work has taken more than a second, redrawn
// a few times a second with the share done and the time left, and cleared
// at the end.
#ifndef CLI_PROGRESS_H_
#define CLI_PROGRESS_H_

#include <chrono>
#include <string>
#include <string_view>

namespace cli {

class ProgressBar {
 public:
  using Clock = std::chrono::steady_clock;

  /// Draws on standard error when it is a terminal.
  explicit ProgressBar(std::string_view program);
  /// Draws into a string instead (for tests): enabled, width columns.
  ProgressBar(std::string_view program, int width, std::string* screen);
  ~ProgressBar() { Clear(); }

  /// The work is share_done (0 to 1) done.
  void Show(double share_done) { Show(share_done, Clock::now()); }
  void Show(double share_done, Clock::time_point now);
  /// Removes the bar if it is shown.
  void Clear();

  /// The bar's line for share_done after elapsed seconds, width columns
  /// wide at most: "orvane [#####.....]  45%  0:12 left".
  static std::string Line(std::string_view program, double share_done, double elapsed, int width);

 private:
  void Put(std::string_view text);

  std::string program_;
  bool enabled_ = false;
  bool shown_ = false;
  int width_ = 80;
  std::string* screen_ = nullptr;
  Clock::time_point start_;
  Clock::time_point last_drawn_;
};

}  // namespace cli

#endif  // CLI_PROGRESS_H_
