#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kernel/listing.h"
#include "kernel/listingtext.h"
#include "kernel/numeric.h"
#include "kernel/realtext.h"
#include "kernel/resultfile.h"
#include "kernel/textstream.h"
#include "orvane/uniformity.h"
#include "tests/phase_run.h"

namespace {

bool SameBits(long double a, long double b) { return std::memcmp(&a, &b, 10) == 0; }

// Each outcome's values as the listing receives them.
struct Seen {
  long double probability, chi2, lr;
};
std::vector<Seen> seen;

void Observe(const long double& probability, const long double& chi2, const long double& lr) {
  seen.push_back({probability, chi2, lr});
}

// Runs the phases of a run for k categories whose frequencies are
// `observed`, as the program does, with the console and the result file on
// /dev/null, and notes what the listing receives.
void Enumerate(std::int32_t categories, std::initializer_list<std::int32_t> observed) {
  int null_input = open("/dev/null", O_RDONLY);
  int null_output = open("/dev/null", O_WRONLY);
  ResetTextStreams(null_input, null_output);
  CreateTextFile(u"/dev/null");
  WriteOutcomeRows = true;
  k = categories;
  for (std::int32_t i = 1; i <= kMaxCategories; ++i) x[i] = 0;
  std::int32_t i = 1;
  for (std::int32_t value : observed) x[i++] = value;
  Prepare();
  ComputeObservedStatistics();
  seen.clear();
  ObserveOutcome = Observe;
  if (OutcomeCount() < kOutcomeLimit) BeginOutcomeListing();
  EnumerateAll();
  if (SolutionCount < kOutcomeLimit) EndOutcomeListing();
  ObserveOutcome = nullptr;
  CloseTextFile(ResultFile);
  FinishConsoleOutput();
  ASSERT_EQ(PendingIoCode(), 0);
  close(null_input);
  close(null_output);
}

// Every vector of k non-negative frequencies with the total, the first
// category changing slowest.
void AddCompositions(std::vector<std::int32_t>& prefix, std::int32_t remaining,
                     std::vector<std::vector<std::int32_t>>& out) {
  if (static_cast<std::int32_t>(prefix.size()) == k - 1) {
    prefix.push_back(remaining);
    out.push_back(prefix);
    prefix.pop_back();
    return;
  }
  for (std::int32_t v = 0; v <= remaining; ++v) {
    prefix.push_back(v);
    AddCompositions(prefix, remaining - v, out);
    prefix.pop_back();
  }
}

// Each outcome must carry exactly the values of forming its statistics
// from scratch, category by category.
void ExpectStatisticsFormedFromScratch() {
  std::vector<std::vector<std::int32_t>> outcomes;
  std::vector<std::int32_t> prefix;
  AddCompositions(prefix, T0, outcomes);
  ASSERT_EQ(seen.size(), outcomes.size());
  ASSERT_EQ(static_cast<std::int32_t>(seen.size()), SolutionCount);
  for (std::size_t c = 0; c < outcomes.size(); ++c) {
    long double chi2 = 0;
    long double lr = 1;
    long double probability = Factorial(T0) * PowerRatio(1, k, T0);
    for (std::int32_t i = 0; i < k; ++i) {
      std::int32_t v = outcomes[c][i];
      chi2 = chi2 + ChiSquareTerm(v, e[i + 1]);
      lr = lr * PowerRatio(e[i + 1], v, v);
      probability = probability / Factorial(v);
    }
    ASSERT_TRUE(SameBits(seen[c].chi2, chi2)) << "outcome " << c + 1;
    ASSERT_TRUE(SameBits(seen[c].lr, lr)) << "outcome " << c + 1;
    ASSERT_TRUE(SameBits(seen[c].probability, probability)) << "outcome " << c + 1;
  }
}

TEST(EnumerationTest, OutcomesInLexicographicOrder) {
  ::k = 3;
  ::x[1] = 1, ::x[2] = 1, ::x[3] = 0;
  std::string file = ResultFileOfPhases([] {
    Prepare();
    ComputeObservedStatistics();
    WriteOpeningBlocks();
    BeginOutcomeListing();
    EnumerateAll();
    EndOutcomeListing();
  });
  const char* expected[6] = {"       0,       0,       2,,", "       0,       1,       1,,",
                             "       0,       2,       0,,", "       1,       0,       1,,",
                             "       1,       1,       0,,", "       2,       0,       0,,"};
  std::size_t at = file.find("x1,x2,x3,,p,chi2,chi2>chi2_0,LR<LR_0,LR\r\n");
  ASSERT_NE(at, std::string::npos);
  at = file.find("\r\n", at) + 2;
  for (const char* row : expected) {
    EXPECT_EQ(file.substr(at, std::strlen(row)), row);
    at = file.find("\r\n", at) + 2;
  }
  EXPECT_EQ(file.substr(at, 2), "\r\n");
}

// The count announced before the enumeration is the number it finds.
TEST(EnumerationTest, CountIsTheNumberOfCompositions) {
  Enumerate(1, {7});
  EXPECT_EQ(SolutionCount, 1);
  EXPECT_EQ(seen.at(0).probability, 1);
  EXPECT_EQ(seen.at(0).chi2, 0);
  EXPECT_EQ(seen.at(0).lr, 1);
  Enumerate(4, {2, 0, 0, 0});  // T0 = 2: C(5, 3)
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

// Every value of the largest listings, in the listing's own text forms and
// in the general ones: the same bytes.
void ExpectListingTextsOfEveryValueMatch() {
  ASSERT_FALSE(seen.empty());
  for (const Seen& s : seen) {
    char fast[kListingTextRoom];
    char general[kMaxRealText];
    ASSERT_EQ(std::string(fast, AppendDefaultForm(s.probability, fast)),
              std::string(general, FormatReal(s.probability, general)));
    ASSERT_EQ(std::string(fast, AppendFixedForm10x4(s.chi2, fast)), std::string(general, FormatReal(s.chi2, 10, 4, general)));
    ASSERT_EQ(std::string(fast, AppendFixedForm20x17(s.lr, fast)), std::string(general, FormatReal(s.lr, 20, 17, general)));
  }
}

TEST(EnumerationTest, ListingTextsOfWholeRunsMatchTheGeneralForms) {
  Enumerate(3, {300, 300, 398});
  ExpectListingTextsOfEveryValueMatch();
  Enumerate(10, {1, 1, 1, 1, 1, 2, 2, 2, 1, 1});
  ExpectListingTextsOfEveryValueMatch();
  Enumerate(2, {1000, 754});
  ExpectListingTextsOfEveryValueMatch();
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
