// The outcome rows, their marks and the p and mid-p values of orvane, against
// exact arithmetic.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

#include "orvane/uniformity.h"
#include "tests/exact.h"
#include "tests/listing_check.h"
#include "tests/phase_run.h"

namespace {

void RunPhases() {
  Prepare();
  ComputeObservedStatistics();
  WriteOpeningBlocks();
  BeginOutcomeListing();
  EnumerateAll();
  EndOutcomeListing();
}

std::string ResultFileOf(const std::vector<int>& observed) {
  ::k = static_cast<std::int32_t>(observed.size());
  for (std::size_t i = 0; i < observed.size(); ++i) ::x[i + 1] = observed[i];
  return ResultFileOfPhases(RunPhases);
}

void ExpectMatchesExact(const std::vector<int>& observed) {
  std::ostringstream name;
  for (int v : observed) name << v << " ";
  SCOPED_TRACE("frequencies " + name.str());
  ExpectResultFileMatchesExact(ResultFileOf(observed), UniformityTest(observed));
}

TEST(OrvanePValueTest, WorkedExamplesMatchExactArithmetic) {
  ExpectMatchesExact({3, 1});
  ExpectMatchesExact({9});
  ExpectMatchesExact({2, 2, 2});
  ExpectMatchesExact({0, 0, 7});
  ExpectMatchesExact({13, 0, 0, 0, 0, 0});
}

// A permutation of the observed vector sums its terms in another order; the
// rounding must not separate it from the observed statistics.
TEST(OrvanePValueTest, PermutationsOfTheObservedVectorAreTied) {
  ExpectMatchesExact({1, 0, 4, 2});
  ExpectMatchesExact({0, 5, 2, 0});
  ExpectMatchesExact({5, 1, 3, 0, 2});
  ExpectMatchesExact({0, 1, 2, 3, 4, 4});
}

TEST(OrvanePValueTest, RandomSmallInputsMatchExactArithmetic) {
  std::mt19937 random(20240611);
  for (int run = 0; run < 40; ++run) {
    int categories = std::uniform_int_distribution<int>(1, 6)(random);
    int total = std::uniform_int_distribution<int>(1, categories <= 4 ? 20 : 14)(random);
    // A random split of the total: each observation into a random category.
    std::vector<int> observed(categories, 0);
    for (int i = 0; i < total; ++i) ++observed[std::uniform_int_distribution<int>(0, categories - 1)(random)];
    ExpectMatchesExact(observed);
  }
}

}  // namespace
