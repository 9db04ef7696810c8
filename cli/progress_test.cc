#include "cli/progress.h"

#include <gtest/gtest.h>

namespace cli {
namespace {

using namespace std::chrono_literals;

TEST(ProgressTest, TheLineShowsTheShareAndTheTimeLeftWithinTheWidth) {
  EXPECT_EQ(ProgressBar::Line("orvane", 0.45, 10, 50), "orvane [##########..............]  45%  0:12 left");
  for (int width : {40, 50, 80, 200}) EXPECT_EQ(ProgressBar::Line("orvane", 0.45, 10, width).size(), width - 1u);
  EXPECT_EQ(ProgressBar::Line("kestrin", 0.01, 40, 60),
            "kestrin [..............................]   1%  1:06:00 left");
  EXPECT_EQ(ProgressBar::Line("orvane", 0, 3, 40), "orvane [.........................]   0%");
  EXPECT_EQ(ProgressBar::Line("orvane", 1.5, 3, 40), "orvane [##############] 100%  0:00 left");
  EXPECT_EQ(ProgressBar::Line("orvane", 0.5, 3, 20), " 50%  0:03 left");
}

TEST(ProgressTest, QuietForASecondThenRedrawnNowAndThenAndCleared) {
  std::string screen;
  {
    ProgressBar bar("orvane", 40, &screen);
    auto start = ProgressBar::Clock::now();
    bar.Show(0.1, start + 500ms);
    EXPECT_EQ(screen, "");
    bar.Show(0.5, start + 2s);
    EXPECT_EQ(screen, "\r" + ProgressBar::Line("orvane", 0.5, 2, 40) + "\033[K");
    screen.clear();
    bar.Show(0.6, start + 2s + 50ms);
    EXPECT_EQ(screen, "");
    bar.Show(0.7, start + 3s);
    EXPECT_NE(screen, "");
    screen.clear();
    bar.Clear();
    EXPECT_EQ(screen, "\r\033[K");
    screen.clear();
    bar.Clear();
    EXPECT_EQ(screen, "");
    bar.Show(0.8, start + 4s);
    screen.clear();
  }
  EXPECT_EQ(screen, "\r\033[K");  // cleared when it goes
}

}  // namespace
}  // namespace cli
