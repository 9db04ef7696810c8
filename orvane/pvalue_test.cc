// The outcome rows, their marks and the p and mid-p values of orvane, against
// exact arithmetic: under equal category probabilities an outcome x of total
// T in k categories has probability T! / (x_1! ... x_k!) / k^T and
// chi-square sum (k x_i - T)^2 / (k T), and its likelihood ratio falls as
// prod x_i^x_i grows.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

#include "orvane/uniformity.h"
#include "tests/exact.h"
#include "tests/listing_check.h"
#include "tests/phase_run.h"

namespace {

ExactOutcome Exact(const std::vector<int>& x) {
  int categories = static_cast<int>(x.size());
  int total = 0;
  for (int v : x) total += v;
  __int128 ways = ExactFactorial(total);
  Fraction chi2 = MakeFraction(0, 1);
  for (int v : x) {
    ways /= ExactFactorial(v);
    __int128 deviation = categories * v - total;
    chi2 = chi2 + MakeFraction(deviation * deviation, categories * total);
  }
  return {x, MakeFraction(ways, ExactPower(categories, total)), chi2, SelfPowerProduct(x)};
}

// Every vector of non-negative frequencies with the given total, the first
// category changing slowest.
void AddOutcomes(std::vector<int>& prefix, int categories, int remaining, std::vector<ExactOutcome>& out) {
  if (static_cast<int>(prefix.size()) == categories - 1) {
    prefix.push_back(remaining);
    out.push_back(Exact(prefix));
    prefix.pop_back();
    return;
  }
  for (int v = 0; v <= remaining; ++v) {
    prefix.push_back(v);
    AddOutcomes(prefix, categories, remaining - v, out);
    prefix.pop_back();
  }
}

std::vector<ExactOutcome> ExactOutcomes(const std::vector<int>& observed) {
  int total = 0;
  for (int v : observed) total += v;
  std::vector<ExactOutcome> outcomes;
  std::vector<int> prefix;
  AddOutcomes(prefix, static_cast<int>(observed.size()), total, outcomes);
  return outcomes;
}

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
  ExpectListingMatchesExact(ResultFileOf(observed), ExactOutcomes(observed), Exact(observed));
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
