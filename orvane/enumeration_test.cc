#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "kernel/numeric.h"
#include "kernel/textstream.h"
#include "orvane/uniformity.h"

namespace {

bool SameBits(long double a, long double b) { return std::memcmp(&a, &b, 10) == 0; }

// Runs the enumeration for k categories whose frequencies are `observed`,
// with the progress lines going nowhere.
void Enumerate(std::int32_t categories, std::initializer_list<std::int32_t> observed) {
  int null_output = open("/dev/null", O_WRONLY);
  ResetTextStreams(null_output, null_output);
  k = categories;
  std::int32_t i = 1;
  for (std::int32_t value : observed) x[i++] = value;
  Prepare();
  EnumerateAll();
  FinishConsoleOutput();
  close(null_output);
}

// Each recorded outcome must carry exactly the values of forming its
// statistics from scratch, category by category.
void ExpectStatisticsFormedFromScratch() {
  for (std::int32_t c = 1; c <= SolutionCount; ++c) {
    long double chi2 = 0;
    long double lr = 1;
    long double probability = Factorial(T0) * PowerRatio(1, k, T0);
    for (std::int32_t i = 0; i < k; ++i) {
      std::int32_t v = FrequenciesOf(c)[i];
      chi2 = chi2 + ChiSquareTerm(v, e[i + 1]);
      lr = lr * PowerRatio(e[i + 1], v, v);
      probability = probability / Factorial(v);
    }
    ASSERT_TRUE(SameBits(SolutionChi2[c], chi2)) << "entry " << c;
    ASSERT_TRUE(SameBits(SolutionLR[c], lr)) << "entry " << c;
    ASSERT_TRUE(SameBits(SolutionProbability[c], probability)) << "entry " << c;
  }
}

TEST(EnumerationTest, OutcomesInLexicographicOrder) {
  Enumerate(3, {1, 1, 0});
  ASSERT_EQ(SolutionCount, 6);
  const std::int32_t expected[6][3] = {{0, 0, 2}, {0, 1, 1}, {0, 2, 0}, {1, 0, 1}, {1, 1, 0}, {2, 0, 0}};
  for (int c = 1; c <= 6; ++c) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(FrequenciesOf(c)[i], expected[c - 1][i]);
  }
}

TEST(EnumerationTest, CountIsTheNumberOfCompositions) {
  Enumerate(1, {7});
  EXPECT_EQ(SolutionCount, 1);
  EXPECT_EQ(SolutionProbability[1], 1);
  EXPECT_EQ(SolutionChi2[1], 0);
  EXPECT_EQ(SolutionLR[1], 1);
  Enumerate(4, {3, -1, 0, 0});  // T0 = 2: C(5, 3)
  EXPECT_EQ(SolutionCount, 10);
  Enumerate(3, {-3, 1, 1});  // a negative total has no outcome
  EXPECT_EQ(SolutionCount, 0);
  Enumerate(10, {1, 1, 1, 1, 1, 2, 2, 2, 1, 1});
  EXPECT_EQ(SolutionCount, 497420);
}

TEST(EnumerationTest, RunningPrefixesGiveTheValuesFormedFromScratch) {
  Enumerate(2, {3, 1});
  ExpectStatisticsFormedFromScratch();
  Enumerate(5, {9, 0, 7, 3, 1});
  ExpectStatisticsFormedFromScratch();
  Enumerate(10, {1, 0, 2, 0, 1, 1, 0, 3, 0, 1});
  ExpectStatisticsFormedFromScratch();
  Enumerate(3, {300, 300, 398});
  ExpectStatisticsFormedFromScratch();
  Enumerate(2, {1000, 754});
  ExpectStatisticsFormedFromScratch();
}

}  // namespace
