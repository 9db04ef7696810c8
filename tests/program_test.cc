// Whole runs of the programs with redirected streams, compared with each
// other where a single golden case cannot say what must hold.
#include <gtest/gtest.h>

#include <string>

#include "tests/program_run.h"

namespace {

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
