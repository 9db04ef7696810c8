// Whole runs of the programs with redirected streams, compared with each
// other where a single golden case cannot say what must hold.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tests/program_run.h"

namespace {

std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

const std::string kNegativeRefused = Utf8(u8"Error!:   　度数は0以上を入力して下さい\r\n");

// A negative frequency is refused right after its own prompt, wherever it
// stands: no later prompt, no file, and a normal end.
TEST(WholeRunTest, OrvaneRefusesANegativeFrequencyInAnyCategory) {
  const char* const inputs[] = {"3\n-1\n4\n5\nr\n", "3\n4\n-1\n5\nr\n", "3\n4\n5\n-1\nr\n"};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(inputs[i]);
    ProgramRun run = RunProgram(ORVANE_PATH, inputs[i]);
    EXPECT_EQ(run.status, 0);
    const std::string prompt = Utf8(u8"　　") + std::to_string(i + 1) + Utf8(u8"番目の度数 =>  ");
    EXPECT_TRUE(run.screen.ends_with(prompt + kNegativeRefused)) << run.screen;
    EXPECT_TRUE(run.files.empty());
  }
}

// kestrin refuses a negative cell in any of the four places, once all four
// are read: nothing after the data prompt but the refusal.
TEST(WholeRunTest, KestrinRefusesANegativeCellInAnyPlace) {
  const char* const inputs[] = {"-1 5 2 7\nr\n", "3 -1 2 7\nr\n", "3 5 -1 7\nr\n", "3 5 2 -1\nr\n"};
  for (const char* input : inputs) {
    SCOPED_TRACE(input);
    ProgramRun run = RunProgram(KESTRIN_PATH, input);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.screen.ends_with(Utf8(u8"区切りで入れて下さい -->> ") + kNegativeRefused)) << run.screen;
    EXPECT_TRUE(run.files.empty());
  }
}

// A total beyond the factorial range is the overflow of the factorial of
// the total, formed before anything else of the enumeration: whatever the
// total and the categories, the run fails at one place. (Were the terms of
// the outcomes formed first, a total of 2147483647 in one category would
// overflow in its likelihood-ratio factors instead.)
TEST(WholeRunTest, EveryTotalBeyondTheFactorialRangeFailsAtOnePlace) {
  const char* const inputs[] = {
      "1\n1755\nr\n",
      "1\n2147483647\nr\n",
      "2\n1000\n755\nr\n",
      "3\n700\n700\n700\nr\n",
      "10\n200\n200\n200\n200\n200\n200\n200\n200\n200\n200\nr\n",
  };
  std::string first_location;
  for (const char* input : inputs) {
    SCOPED_TRACE(input);
    ProgramRun run = RunProgram(ORVANE_PATH, input);
    EXPECT_EQ(run.status, 1);
    const std::string location = ReportedLocation(run.screen);
    ASSERT_EQ(location.size(), 8u) << run.screen;
    EXPECT_NE(run.screen.find("EOverflow"), std::string::npos) << run.screen;
    if (first_location.empty()) first_location = location;
    EXPECT_EQ(location, first_location);
  }
}

}  // namespace
