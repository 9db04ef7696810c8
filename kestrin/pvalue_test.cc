// The outcome rows, their marks and the p and mid-p values of kestrin,
// against exact arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <vector>

#include "kernel/listing.h"
#include "kestrin/fourfold.h"
#include "tests/exact.h"
#include "tests/listing_check.h"
#include "tests/phase_run.h"

namespace {

using Table = std::vector<int>;  // n11, n12, n21, n22

void RunPhases() {
  Prepare();
  ComputeObservedStatistics();
  WriteOpeningBlocks();
  BeginOutcomeListing();
  EnumerateTables();
  EndOutcomeListing();
}

std::string ResultFileOf(const Table& t) {
  n11 = t[0];
  n12 = t[1];
  n21 = t[2];
  n22 = t[3];
  return ResultFileOfPhases(RunPhases);
}

std::string Name(const Table& t) {
  std::ostringstream name;
  name << "table " << t[0] << " " << t[1] << " " << t[2] << " " << t[3];
  return name.str();
}

void ExpectMatchesExact(const Table& t) {
  SCOPED_TRACE(Name(t));
  ExpectResultFileMatchesExact(ResultFileOf(t), FourfoldTest(t));
}

TEST(KestrinPValueTest, WorkedExamplesMatchExactArithmetic) {
  ExpectMatchesExact({3, 5, 2, 7});
  ExpectMatchesExact({2, 8, 8, 2});
  ExpectMatchesExact({0, 5, 5, 0});
  ExpectMatchesExact({1, 0, 2, 5});
  ExpectMatchesExact({20, 0, 0, 20});
  ExpectMatchesExact({1, 2, 2, 4});
}

// In these tables another outcome's statistic equals the observed one
// exactly, yet its extended value differs in the last bits: (2, 1, 1, 5) has
// the chi-square 9/4 of the observed (0, 3, 3, 3), and (2, 3, 1, 4) the
// likelihood ratio of the observed (1, 4, 2, 3) (prod n^n is 27648 for
// both). Compared bit for bit, p (chi2) of the first would be 21/84 instead
// of 39/84, and p (LR) of the second 0.583333 instead of 1.
TEST(KestrinPValueTest, StatisticsEqualUpToRoundingAreTied) {
  struct Case {
    Table table;
    bool chi2;  // which statistic carries the rounding noise
  };
  for (const Case& c : {Case{{0, 3, 3, 3}, true}, Case{{1, 4, 2, 3}, false}}) {
    SCOPED_TRACE(Name(c.table));
    const ExactTest exact = FourfoldTest(c.table);
    // Each outcome's statistics as the listing classifies them.
    static std::vector<long double> chi2s, lrs;
    chi2s.clear();
    lrs.clear();
    ObserveOutcome = [](const long double&, const long double& chi2, const long double& lr) {
      chi2s.push_back(chi2);
      lrs.push_back(lr);
    };
    ExpectResultFileMatchesExact(ResultFileOf(c.table), exact);
    ObserveOutcome = nullptr;
    // An outcome that is tied in exact arithmetic but not bit for bit.
    int noisy = 0;
    std::size_t entry = 0;
    exact.for_each([&](const ExactOutcome& outcome) {
      std::size_t i = entry++;
      ASSERT_LT(i, chi2s.size());
      if (outcome.cells == exact.observed.cells) return;
      long double value = c.chi2 ? chi2s[i] : lrs[i];
      long double observed_value = c.chi2 ? Chi2_0 : LR_0;
      const char* mark = c.chi2 ? ChiSquareMark(outcome, exact.observed)
                                : LikelihoodRatioMark(outcome, exact.observed);
      if (std::string(mark) == "=" && value != observed_value) ++noisy;
    });
    EXPECT_GT(noisy, 0);
  }
}

TEST(KestrinPValueTest, RandomSmallTablesMatchExactArithmetic) {
  std::mt19937 random(19937);
  for (int run = 0; run < 60; ++run) {
    int total = std::uniform_int_distribution<int>(2, 40)(random);
    Table t(4, 0);
    for (int i = 0; i < total; ++i) ++t[std::uniform_int_distribution<int>(0, 3)(random)];
    if (t[0] + t[1] == 0 || t[2] + t[3] == 0 || t[0] + t[2] == 0 || t[1] + t[3] == 0) continue;
    ExpectMatchesExact(t);
  }
}

}  // namespace
