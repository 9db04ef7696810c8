// Work that stays bounded: a hundred thousand categories walked without
// recursion and in time proportional to the outcomes, the method chosen
// by its cost, Monte Carlo stopped by the clock (with the draws made
// counted, or a failure when too few), and p-values of Monte Carlo that are
// never 0.
#include <gmock/gmock.h>
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/common/pace.h"
#include "engine/multinomial/methods.h"
#include "engine/multinomial/multinomial.h"
#include "engine/multinomial/plan.h"
#include "engine/multinomial/setup.h"

namespace engine::multinomial {
namespace {

using ::testing::HasSubstr;

// k categories, all 0 but the last, which holds 1; weights cycling 1..7
// (or all 1).
MultinomialProblem OneInLast(std::uint32_t k, bool cycling) {
  MultinomialProblem problem{std::vector<std::uint32_t>(k, 0), {}};
  problem.counts.back() = 1;
  if (cycling) {
    for (std::uint32_t i = 0; i < k; ++i) problem.proportions.push_back(std::to_string(i % 7 + 1));
  }
  return problem;
}

// With one count, outcome j has probability w_j / W, and every ordering
// puts the outcomes of smaller weight beyond: p = (sum of weights at most
// the observed one) / W, mid-p counts the equal ones by half.
struct OneCountP {
  double p, mid_p;
};
OneCountP ExpectedForOneCount(const MultinomialProblem& problem) {
  const std::uint32_t k = static_cast<std::uint32_t>(problem.counts.size());
  auto weight = [&](std::uint32_t i) { return problem.proportions.empty() ? 1 : std::stoi(problem.proportions[i]); };
  const int observed = weight(k - 1);
  mpz_class below = 0, equal = 0, total = 0;
  for (std::uint32_t i = 0; i < k; ++i) {
    total += weight(i);
    if (weight(i) < observed) below += weight(i);
    if (weight(i) == observed) equal += weight(i);
  }
  return {mpq_class(below + equal, total).get_d(), mpq_class(2 * below + equal, 2 * total).get_d()};
}

Tallies RunAlone(const Setup& setup, ExactMethod method) {
  Pace pace = StartPace(nullptr, 0);
  switch (method) {
    case ExactMethod::kEveryOutcome:
      return EnumerateOutcomes(setup, {}, pace);
    case ExactMethod::kClasses:
      return EnumerateClasses(setup, {}, pace);
    case ExactMethod::kNetwork:
      break;
  }
  return WalkNetwork(setup, pace);
}

void ExpectP(const Tallies& tallies, const OneCountP& expected) {
  for (int o = 0; o < 3; ++o) {
    LogSum p = tallies.tally[o].beyond;
    p.Add(tallies.tally[o].tied);
    LogSum mid_p = tallies.tally[o].beyond;
    mid_p.Add(tallies.tally[o].tied, 0.5L);
    EXPECT_NEAR(p.Value(), expected.p, 1e-13 * expected.p) << "ordering " << o;
    EXPECT_NEAR(mid_p.Value(), expected.mid_p, 1e-13 * expected.mid_p) << "ordering " << o;
  }
}

TEST(ManyCategoriesTest, AHundredThousandCategoriesInEveryMethod) {
  constexpr std::uint32_t k = 100'000;
  for (bool cycling : {false, true}) {
    SCOPED_TRACE(cycling ? "weights 1..7" : "equal");
    const MultinomialProblem problem = OneInLast(k, cycling);
    const OneCountP expected = ExpectedForOneCount(problem);
    const multinomial::Setup setup = MakeSetup(problem);
    std::vector<ExactMethod> methods = {ExactMethod::kEveryOutcome, ExactMethod::kNetwork};
    if (!cycling) methods.push_back(ExactMethod::kClasses);
    for (ExactMethod method : methods) {
      SCOPED_TRACE(static_cast<int>(method));
      const Tallies tallies = RunAlone(setup, method);
      ExpectP(tallies, expected);
      // One step per outcome or so, not per outcome and category.
      EXPECT_LE(tallies.outcomes_visited, std::uint64_t{k} + 1);
      EXPECT_LE(tallies.nodes_visited, std::uint64_t{k});
    }
    // Through the interface, by the method the plan chooses (without a
    // deadline, which a loaded machine could reach).
    MultinomialOptions exact;
    exact.method = Method::kExact;
    const MultinomialResult result = TestMultinomial(problem, exact);
    EXPECT_EQ(result.method, Method::kExact);
    EXPECT_EQ(result.outcomes, k);
    EXPECT_NEAR(result.orderings[0].p, expected.p, 1e-13);
    EXPECT_NEAR(result.orderings[2].mid_p, expected.mid_p, 1e-13);
  }
}

TEST(ManyCategoriesTest, SmallTotalsOverManyCategoriesAgreeAcrossMethods) {
  // Two and three counts over a hundred categories of a few weights: the
  // zeros after the last count summed at once, ties judged on the
  // categories that hold counts.
  for (std::vector<std::uint32_t> placed : {std::vector<std::uint32_t>{3, 110}, {0, 1, 2}, {40, 41, 42}}) {
    MultinomialProblem problem{std::vector<std::uint32_t>(120, 0), {}};
    for (std::uint32_t i : placed) ++problem.counts[i];
    for (std::uint32_t i = 0; i < 120; ++i) problem.proportions.push_back(std::to_string(i % 3 + 1));
    const multinomial::Setup setup = MakeSetup(problem);
    const Tallies every = RunAlone(setup, ExactMethod::kEveryOutcome);
    const Tallies network = RunAlone(setup, ExactMethod::kNetwork);
    for (int o = 0; o < 3; ++o) {
      LogSum a = every.tally[o].beyond, b = network.tally[o].beyond;
      a.Add(every.tally[o].tied);
      b.Add(network.tally[o].tied);
      EXPECT_NEAR(b.Value(), a.Value(), 1e-12 * a.Value()) << "ordering " << o;
    }
    // Equal weights: the classes agree with every outcome too.
    problem.proportions.clear();
    const multinomial::Setup equal = MakeSetup(problem);
    const Tallies classes = RunAlone(equal, ExactMethod::kClasses);
    const Tallies all = RunAlone(equal, ExactMethod::kEveryOutcome);
    for (int o = 0; o < 3; ++o) {
      LogSum a = all.tally[o].beyond, b = classes.tally[o].beyond;
      a.Add(all.tally[o].tied);
      b.Add(classes.tally[o].tied);
      EXPECT_NEAR(b.Value(), a.Value(), 1e-12 * a.Value()) << "ordering " << o;
    }
  }
}

TEST(PlanTest, TheMethodFollowsTheWork) {
  // Four thousand categories, one count: k outcomes, enumerated.
  multinomial::Setup few = MakeSetup(OneInLast(4000, true));
  ExactPlan plan = PlanExact(few, OutcomeCount(few.n, few.k), false, false);
  ASSERT_TRUE(plan.possible);
  EXPECT_EQ(plan.method, ExactMethod::kEveryOutcome);
  EXPECT_EQ(plan.work, 4000);
  EXPECT_LT(plan.seconds, 0.01);
  // The dihybrid cross: 2.9e7 outcomes, a few thousand judged by the network.
  multinomial::Setup dihybrid = MakeSetup({{315, 108, 101, 32}, {"9", "3", "3", "1"}});
  plan = PlanExact(dihybrid, OutcomeCount(dihybrid.n, dihybrid.k), false, false);
  EXPECT_EQ(plan.method, ExactMethod::kNetwork);
  EXPECT_LT(plan.work, 1e5);
  // A listing enumerates, a picture under equal probabilities takes the
  // classes.
  EXPECT_EQ(PlanExact(dihybrid, 28956759, true, false).method, ExactMethod::kEveryOutcome);
  multinomial::Setup equal = MakeSetup({{14, 8, 12, 9, 10, 7, 11, 6, 13, 10}, {}});
  EXPECT_EQ(PlanExact(equal, OutcomeCount(equal.n, equal.k), false, true).method, ExactMethod::kClasses);
  EXPECT_EQ(PlanExact(equal, OutcomeCount(equal.n, equal.k), false, false).method, ExactMethod::kClasses);
}

TEST(PlanTest, BeyondEveryLimitTheRefusalSaysWhy) {
  // A listing of 4.3e12 outcomes.
  multinomial::Setup equal = MakeSetup({{14, 8, 12, 9, 10, 7, 11, 6, 13, 10}, {}});
  ExactPlan listing = PlanExact(equal, OutcomeCount(equal.n, equal.k), true, false);
  EXPECT_FALSE(listing.possible);
  EXPECT_THAT(listing.refusal, HasSubstr("would enumerate 4263421511271 outcomes, more than the 1000000000"));
  // Thirty unequal categories with a total of 1230: beyond the network.
  MultinomialProblem wide;
  for (int i = 0; i < 30; ++i) {
    wide.counts.push_back(static_cast<std::uint32_t>(20 + 2 * i));
    wide.proportions.push_back(std::to_string(i + 1));
  }
  multinomial::Setup setup = MakeSetup(wide);
  ExactPlan network = PlanExact(setup, OutcomeCount(setup.n, setup.k), false, false);
  EXPECT_FALSE(network.possible);
  EXPECT_THAT(network.refusal, HasSubstr("the exact test would"));
  MultinomialOptions exact;
  exact.method = Method::kExact;
  EXPECT_THROW(TestMultinomial(wide, exact), TestFailure);
  EXPECT_EQ(BytesText(3.5 * 1024 * 1024 * 1024), "3.5 GiB");
  EXPECT_EQ(BytesText(640.0 * 1024 * 1024), "640 MiB");
}

TEST(MonteCarloLimitTest, TheClockStopsTheDrawsAndTheDrawsMadeCount) {
  const multinomial::Setup setup = MakeSetup({{95, 108, 92, 110, 87, 108}, {}});
  Pace past = StartPace(nullptr, 0.5);
  past.start -= std::chrono::seconds(1);  // the deadline has passed
  const DrawCounts counts = DrawOutcomes(setup, 10'000'000, 7, past);
  // Stopped at the first look at the clock: whole batches, far fewer than
  // asked for.
  EXPECT_GT(counts.samples, 0u);
  EXPECT_LT(counts.samples, 100'000u);
  EXPECT_EQ(counts.samples % 4, 0u);
  for (int s = 0; s < 3; ++s) EXPECT_LE(counts.beyond[s] + counts.tied[s], counts.samples);
  // Without a deadline every draw is made, the same ones from the same seed.
  Pace none = StartPace(nullptr, 0);
  const DrawCounts all = DrawOutcomes(setup, 1001, 7, none);
  EXPECT_EQ(all.samples, 1001u);
  EXPECT_EQ(DrawOutcomes(setup, 1001, 7, none).beyond, all.beyond);
}

TEST(MonteCarloLimitTest, AutomaticHandsItsDrawsToAPictureAndFailsWhenTooFewFit) {
  // No exact method fits a thousandth of a second: the draws go to the
  // picture, each as 1 / 2000 of it.
  MultinomialProblem problem{{95, 108, 92, 110, 87, 108}, {}};
  MultinomialOptions options;
  options.max_seconds = 0.001;
  options.samples = 2000;
  options.whole_distribution = true;
  double shares = 0;
  std::uint64_t rows = 0;
  const MultinomialResult result = TestMultinomial(problem, options, [&](const OutcomeRow& row) {
    shares += row.share;
    ++rows;
    EXPECT_EQ(row.multiplicity, 1);
  });
  EXPECT_EQ(result.method, Method::kMonteCarlo);
  EXPECT_TRUE(result.fell_back);
  EXPECT_EQ(result.samples, 2000u);
  EXPECT_EQ(rows, 2000u);
  EXPECT_NEAR(shares, 1, 1e-12);

  // A hundred thousand categories: four draws fill the first stretch of
  // work, the deadline has passed by then, and four draws are too few.
  MultinomialProblem wide{std::vector<std::uint32_t>(131072, 1), {}};
  options.whole_distribution = false;
  options.max_seconds = 1e-9;
  options.samples = 1'000'000;
  try {
    TestMultinomial(wide, options);
    ADD_FAILURE() << "no failure";
  } catch (const TestFailure& failure) {
    EXPECT_THAT(failure.what(), HasSubstr("the time allowed ran out after 4 Monte Carlo draws"));
  }
}

TEST(MonteCarloLimitTest, NoDrawAsExtremeStillGivesAValidPValue) {
  // The exact p is about 1e-12: no draw of 20000 comes near it.
  MultinomialProblem dice{{170, 80, 100, 100, 80, 70}, {}};
  MultinomialOptions options;
  options.method = Method::kMonteCarlo;
  options.samples = 20000;
  const MultinomialResult result = TestMultinomial(dice, options);
  for (const OrderingResult& o : result.orderings) {
    EXPECT_EQ(o.draws_extreme, 0u);
    EXPECT_EQ(o.p, 1 / 20001.0);
    EXPECT_EQ(o.mid_p, 0.5 / 20001.0);
    EXPECT_GT(o.standard_error, 0);
    EXPECT_NEAR(o.log10_p, -std::log10(20001.0), 1e-12);
  }
  EXPECT_NEAR(result.orderings[2].log10_value, std::log10(result.orderings[2].value), 1e-12);
  // Too many draws asked for.
  options.samples = kMaxSamples + 1;
  EXPECT_THROW(TestMultinomial(dice, options), TestFailure);
}

}  // namespace
}  // namespace engine::multinomial
