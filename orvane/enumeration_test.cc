#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "kernel/listing.h"
#include "kernel/numeric.h"
#include "kernel/resultfile.h"
#include "kernel/textstream.h"
#include "orvane/uniformity.h"

namespace {

bool SameBits(long double a, long double b) { return std::memcmp(&a, &b, 10) == 0; }

// Each outcome as the listing receives it: its frequencies (the working
// vector at that moment) and its three values.
struct Seen {
  std::array<std::int32_t, kMaxCategories> x;
  long double probability, chi2, lr;
};
std::vector<Seen> seen;

void Observe(const long double& probability, const long double& chi2, const long double& lr) {
  Seen s{};
  for (std::int32_t i = 0; i < k; ++i) s.x[i] = x[i + 1];
  s.probability = probability;
  s.chi2 = chi2;
  s.lr = lr;
  seen.push_back(s);
}

// Runs the enumeration for k categories whose frequencies are `observed`,
// with the progress lines and the pauses on /dev/null, counting the
// outcomes without rows.
void Enumerate(std::int32_t categories, std::initializer_list<std::int32_t> observed) {
  int null_input = open("/dev/null", O_RDONLY);
  int null_output = open("/dev/null", O_WRONLY);
  ResetTextStreams(null_input, null_output);
  WriteOutcomeRows = false;
  k = categories;
  std::int32_t i = 1;
  for (std::int32_t value : observed) x[i++] = value;
  Prepare();
  seen.clear();
  ObserveOutcome = Observe;
  EnumerateAll();
  ObserveOutcome = nullptr;
  FinishConsoleOutput();
  close(null_input);
  close(null_output);
}

// Each outcome must carry exactly the values of forming its statistics
// from scratch, category by category.
void ExpectStatisticsFormedFromScratch() {
  ASSERT_EQ(static_cast<std::int32_t>(seen.size()), SolutionCount);
  for (const Seen& s : seen) {
    long double chi2 = 0;
    long double lr = 1;
    long double probability = Factorial(T0) * PowerRatio(1, k, T0);
    for (std::int32_t i = 0; i < k; ++i) {
      std::int32_t v = s.x[i];
      chi2 = chi2 + ChiSquareTerm(v, e[i + 1]);
      lr = lr * PowerRatio(e[i + 1], v, v);
      probability = probability / Factorial(v);
    }
    ASSERT_TRUE(SameBits(s.chi2, chi2)) << "outcome " << &s - seen.data() + 1;
    ASSERT_TRUE(SameBits(s.lr, lr)) << "outcome " << &s - seen.data() + 1;
    ASSERT_TRUE(SameBits(s.probability, probability)) << "outcome " << &s - seen.data() + 1;
  }
}

TEST(EnumerationTest, OutcomesInLexicographicOrder) {
  Enumerate(3, {1, 1, 0});
  ASSERT_EQ(SolutionCount, 6);
  ASSERT_EQ(seen.size(), 6u);
  const std::int32_t expected[6][3] = {{0, 0, 2}, {0, 1, 1}, {0, 2, 0}, {1, 0, 1}, {1, 1, 0}, {2, 0, 0}};
  for (int c = 0; c < 6; ++c) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(seen[c].x[i], expected[c][i]);
  }
}

// The count announced before the enumeration is the number it finds.
TEST(EnumerationTest, CountIsTheNumberOfCompositions) {
  Enumerate(1, {7});
  EXPECT_EQ(SolutionCount, 1);
  EXPECT_EQ(seen.at(0).probability, 1);
  EXPECT_EQ(seen.at(0).chi2, 0);
  EXPECT_EQ(seen.at(0).lr, 1);
  Enumerate(4, {3, -1, 0, 0});  // T0 = 2: C(5, 3)
  EXPECT_EQ(SolutionCount, 10);
  EXPECT_EQ(OutcomeCount(), 10);
  Enumerate(3, {-3, 1, 1});  // a negative total has no outcome
  EXPECT_EQ(SolutionCount, 0);
  EXPECT_EQ(OutcomeCount(), 0);
  Enumerate(10, {1, 1, 1, 1, 1, 2, 2, 2, 1, 1});
  EXPECT_EQ(SolutionCount, 497420);
  EXPECT_EQ(OutcomeCount(), 497420);
  Enumerate(3, {0, 0, 998});
  EXPECT_EQ(OutcomeCount(), 499500);
  EXPECT_EQ(static_cast<std::int32_t>(seen.size()), 499500);
  for (std::int32_t categories = 1; categories <= 10; ++categories) {
    for (std::int32_t total : {1, 2, 5, 9}) {
      Enumerate(categories, {total});
      EXPECT_EQ(OutcomeCount(), SolutionCount) << categories << " categories, total " << total;
    }
  }
}

// From the limit on, nothing is listed: the 500,000th outcome is counted
// and the enumeration stops there.
TEST(EnumerationTest, TheLimitIsKnownBeforehandAndNothingIsListed) {
  Enumerate(10, {14});
  EXPECT_EQ(OutcomeCount(), kOutcomeLimit);
  EXPECT_EQ(SolutionCount, kOutcomeLimit);
  EXPECT_TRUE(seen.empty());
  Enumerate(3, {999});  // 500,500 outcomes
  EXPECT_EQ(OutcomeCount(), kOutcomeLimit);
  EXPECT_EQ(SolutionCount, kOutcomeLimit);
  EXPECT_TRUE(seen.empty());
  // Totals beyond what 64 bits of the count would hold on their own.
  k = 10;
  for (std::int32_t total : {1754, 100000, 2147483647}) {
    T0 = total;
    EXPECT_EQ(OutcomeCount(), kOutcomeLimit) << total;
  }
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
