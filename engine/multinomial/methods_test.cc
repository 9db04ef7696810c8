// The methods past plain enumeration: classes of outcomes and the network
// method against enumerating every outcome, Monte Carlo against exact
// values, the automatic choice between them, and the binomial draws.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/common/binomial_sampler.h"
#include "engine/common/binomial_tail.h"
#include "engine/multinomial/methods.h"
#include "engine/multinomial/multinomial.h"
#include "engine/multinomial/plan.h"
#include "engine/multinomial/setup.h"

namespace engine {
namespace {

MultinomialResult Exact(const MultinomialProblem& problem) {
  MultinomialOptions options;
  options.method = Method::kExact;
  return TestMultinomial(problem, options, [](const OutcomeRow&) {});
}

std::string Describe(const MultinomialProblem& problem) {
  std::string text = "counts";
  for (std::uint32_t count : problem.counts) text += " " + std::to_string(count);
  for (const std::string& p : problem.proportions) text += " " + p;
  return text;
}

// One exact method run on its own, whatever the automatic choice would
// take, with p and mid-p from its tallies.
struct MethodRun {
  std::array<double, 3> p{}, mid_p{}, log10_p{};
  std::array<bool, 3> none_less{};  // known that no outcome is less extreme: p is 1
  std::uint64_t outcomes_visited = 0;
  std::uint64_t nodes_visited = 0;
};

MethodRun RunMethod(const MultinomialProblem& problem, multinomial::ExactMethod method) {
  multinomial::Setup setup = multinomial::MakeSetup(problem);
  Pace pace = StartPace(nullptr, 0);
  multinomial::Tallies tallies;
  switch (method) {
    case multinomial::ExactMethod::kEveryOutcome:
      tallies = multinomial::EnumerateOutcomes(setup, {}, pace);
      break;
    case multinomial::ExactMethod::kClasses:
      tallies = multinomial::EnumerateClasses(setup, {}, pace);
      break;
    case multinomial::ExactMethod::kNetwork:
      tallies = multinomial::WalkNetwork(setup, pace);
      break;
  }
  MethodRun run;
  for (int o = 0; o < 3; ++o) {
    multinomial::LogSum p = tallies.tally[o].beyond;
    p.Add(tallies.tally[o].tied);
    multinomial::LogSum mid_p = tallies.tally[o].beyond;
    mid_p.Add(tallies.tally[o].tied, 0.5L);
    run.p[o] = p.Value();
    run.mid_p[o] = mid_p.Value();
    run.log10_p[o] = static_cast<double>(p.Ln() / std::log(10.0L));
    run.none_less[o] = tallies.less_extreme_known && (tallies.less_extreme & (1u << o)) == 0;
  }
  run.outcomes_visited = tallies.outcomes_visited;
  run.nodes_visited = tallies.nodes_visited;
  return run;
}

constexpr auto kEveryOutcome = multinomial::ExactMethod::kEveryOutcome;
constexpr auto kClasses = multinomial::ExactMethod::kClasses;
constexpr auto kNetwork = multinomial::ExactMethod::kNetwork;

// Every ordering's p and mid-p of run agree with those of reference.
void ExpectSameP(const MethodRun& run, const MethodRun& reference, double tolerance = 1e-12) {
  for (int o = 0; o < 3; ++o) {
    EXPECT_NEAR(run.p[o], reference.p[o], tolerance * reference.p[o]) << "ordering " << o;
    EXPECT_NEAR(run.mid_p[o], reference.mid_p[o], tolerance * reference.mid_p[o]) << "ordering " << o;
    EXPECT_EQ(run.none_less[o], reference.none_less[o]) << "ordering " << o;
  }
}

TEST(ClassEnumerationTest, AgreesWithEveryOutcome) {
  std::mt19937 random(3);
  for (int trial = 0; trial < 120; ++trial) {
    std::size_t k = 2 + random() % 7;
    MultinomialProblem problem{std::vector<std::uint32_t>(k), {}};
    std::uint32_t spread = 1 + random() % (k < 5 ? 12 : 5);
    for (std::uint32_t& count : problem.counts) count = random() % (spread + 1);
    SCOPED_TRACE(Describe(problem));
    MethodRun classes = RunMethod(problem, kClasses);
    MethodRun every = RunMethod(problem, kEveryOutcome);
    EXPECT_LE(classes.outcomes_visited, every.outcomes_visited);
    EXPECT_EQ(classes.nodes_visited, 0u);
    ExpectSameP(classes, every);
    if (HasFailure()) return;
  }
}

TEST(ClassEnumerationTest, ClassesCoverEveryOutcomeOnce) {
  MultinomialProblem problem{{3, 0, 5, 1, 1}, {}};
  MultinomialOptions options;
  options.method = Method::kExact;
  options.whole_distribution = true;
  double outcomes = 0, mass = 0;
  std::map<std::vector<std::uint32_t>, int> seen;
  MultinomialResult result = TestMultinomial(problem, options, [&](const OutcomeRow& row) {
    std::vector<std::uint32_t> counts(row.counts.begin(), row.counts.end());
    EXPECT_TRUE(std::is_sorted(counts.rbegin(), counts.rend()));
    ++seen[counts];
    outcomes += row.multiplicity;
    mass += row.multiplicity * row.probability;
  });
  EXPECT_EQ(outcomes, result.outcomes);  // C(14, 4) = 1001
  EXPECT_EQ(outcomes, 1001);
  EXPECT_NEAR(mass, 1, 1e-14);
  EXPECT_EQ(seen.size(), 30u);  // partitions of 10 into at most 5 parts
  for (const auto& [counts, times] : seen) EXPECT_EQ(times, 1);
}

TEST(NetworkTest, AgreesWithEveryOutcome) {
  std::mt19937 random(5);
  for (int trial = 0; trial < 150; ++trial) {
    std::size_t k = 2 + random() % 5;
    MultinomialProblem problem{std::vector<std::uint32_t>(k), {}};
    // Weights from a small set (equal ones bring ties), not all equal.
    const char* weights[] = {"1", "2", "3", "0.5", "1.5"};
    for (std::size_t i = 0; i < k; ++i) problem.proportions.push_back(weights[random() % 5]);
    if (std::all_of(problem.proportions.begin(), problem.proportions.end(),
                    [&](const std::string& p) { return p == problem.proportions[0]; }))
      problem.proportions[0] = "7";
    // Counts near their expectations, or far out in a tail.
    std::uint32_t total = random() % 40;
    for (std::uint32_t& count : problem.counts) count = random() % (total / k + 2);
    if (random() % 3 == 0) problem.counts[random() % k] += total;
    SCOPED_TRACE(Describe(problem));
    MethodRun network = RunMethod(problem, kNetwork);
    MethodRun every = RunMethod(problem, kEveryOutcome);
    ExpectSameP(network, every);
    if (HasFailure()) return;
  }
}

TEST(NetworkTest, FindsNoOutcomeLessExtremeAsEnumerationDoes) {
  // Counts at or next to the mode, where p is 1 in some ordering or just
  // below it: the network must say so exactly where every outcome's marks do.
  std::mt19937 random(17);
  std::vector<MultinomialProblem> problems = {
      {{135, 0, 4, 0}, {"3e-1", "1e-3", "0.01", "1e-3"}},
      {{3, 1, 1}, {"3", "1", "1"}},
      {{6, 2, 2}, {"3", "1", "1"}},
      {{5, 3, 2}, {"3", "1", "1"}},
  };
  const char* weights[] = {"1", "2", "3", "0.5", "1e-3"};
  for (int trial = 0; trial < 120; ++trial) {
    std::size_t k = 2 + random() % 4;
    MultinomialProblem problem{std::vector<std::uint32_t>(k), {}};
    for (std::size_t i = 0; i < k; ++i) problem.proportions.push_back(weights[random() % 5]);
    if (std::all_of(problem.proportions.begin(), problem.proportions.end(),
                    [&](const std::string& p) { return p == problem.proportions[0]; }))
      problem.proportions[0] = "7";
    double sum = 0;
    for (const std::string& w : problem.proportions) sum += std::stod(w);
    const std::uint32_t n = 1 + random() % 60;
    std::uint32_t placed = 0;
    for (std::size_t i = 0; i + 1 < k; ++i) {
      problem.counts[i] = static_cast<std::uint32_t>(std::lround(n * std::stod(problem.proportions[i]) / sum));
      placed += problem.counts[i];
    }
    problem.counts[k - 1] = placed <= n ? n - placed : 0;
    if (random() % 2 == 0 && problem.counts[0] > 0) {
      --problem.counts[0];
      ++problem.counts[1 + random() % (k - 1)];
    }
    problems.push_back(problem);
  }
  int ones = 0;
  for (const MultinomialProblem& problem : problems) {
    SCOPED_TRACE(Describe(problem));
    MethodRun network = RunMethod(problem, kNetwork);
    MethodRun every = RunMethod(problem, kEveryOutcome);
    ExpectSameP(network, every);
    for (int o = 0; o < 3; ++o) ones += every.none_less[o];
    if (HasFailure()) return;
  }
  EXPECT_GT(ones, 20);  // the cases reach p = 1 often enough to tell
  // Through the whole test: exactly 1 where no outcome is less extreme.
  MultinomialOptions options;
  options.method = Method::kExact;
  const MultinomialResult r =
      TestMultinomial(problems[0], options, [](const OutcomeRow&) {});
  EXPECT_EQ(r.orderings[0].p, 1);
  EXPECT_EQ(r.orderings[2].p, 1);
  EXPECT_LT(r.orderings[1].p, 1);
}

TEST(NetworkTest, WideNodesAgreeWithEveryOutcome) {
  // Totals large enough for nodes with many children, whose middle alone
  // is visited and whose runs of extreme children are summed.
  std::mt19937 random(13);
  const char* weights[] = {"1", "2", "3", "0.5"};
  const std::uint32_t totals[] = {0, 0, 2500, 450, 130};  // by k: up to about 1e6 outcomes
  for (int trial = 0; trial < 24; ++trial) {
    std::size_t k = 2 + random() % 3;
    MultinomialProblem problem{std::vector<std::uint32_t>(k), {}};
    for (std::size_t i = 0; i < k; ++i) problem.proportions.push_back(weights[random() % 4]);
    if (k == 2 && problem.proportions[0] == problem.proportions[1]) problem.proportions[1] = "5";
    std::uint32_t n = totals[k] / 2 + random() % (totals[k] / 2);
    // Spread n by the weights, then push some of it around: an ordinary
    // fit, a poor one, or a far tail.
    double sum = 0;
    for (const std::string& w : problem.proportions) sum += std::stod(w);
    std::uint32_t placed = 0;
    for (std::size_t i = 0; i + 1 < k; ++i) {
      problem.counts[i] = static_cast<std::uint32_t>(n * std::stod(problem.proportions[i]) / sum);
      placed += problem.counts[i];
    }
    problem.counts[k - 1] = n - placed;
    std::uint32_t shift = std::min<std::uint32_t>(problem.counts[0],
                                                  static_cast<std::uint32_t>(
                                                      std::sqrt(n) * (trial % 3 == 2 ? 8 : 1 + trial % 3)));
    problem.counts[0] -= shift;
    problem.counts[1 + random() % (k - 1)] += shift;
    SCOPED_TRACE(Describe(problem));
    MethodRun network = RunMethod(problem, kNetwork);
    MethodRun every = RunMethod(problem, kEveryOutcome);
    EXPECT_LT(network.outcomes_visited, every.outcomes_visited);
    ExpectSameP(network, every, 1e-11);
    if (HasFailure()) return;
  }
}

TEST(NetworkTest, SkipsMostOutcomesOfALargeProblem) {
  MultinomialProblem problem{{315, 108, 101, 32}, {"9", "3", "3", "1"}};
  MethodRun network = RunMethod(problem, kNetwork);
  EXPECT_LT(network.outcomes_visited, 28956759 / 20);
  EXPECT_GT(network.nodes_visited, 0u);
  // From enumerating all 28956759 outcomes once.
  EXPECT_NEAR(network.p[0], 0.92719147252001, 1e-12);
  EXPECT_NEAR(network.p[1], 0.92613214267699251, 1e-12);
  EXPECT_NEAR(network.p[2], 0.93822202461545967, 1e-12);
  // The automatic choice takes it too: far fewer steps than enumerating.
  MultinomialResult chosen = Exact(problem);
  EXPECT_EQ(chosen.method, Method::kExact);
  EXPECT_EQ(chosen.outcomes, 28956759);
  EXPECT_GT(chosen.nodes_visited, 0u);
}

MultinomialResult MonteCarlo(const MultinomialProblem& problem, std::uint64_t samples,
                             std::uint64_t seed = kDefaultSeed) {
  MultinomialOptions options;
  options.method = Method::kMonteCarlo;
  options.samples = samples;
  options.seed = seed;
  return TestMultinomial(problem, options);
}

TEST(MonteCarloTest, WithinFourStandardErrorsOfExact) {
  const MultinomialProblem problems[] = {
      {{315, 108, 101, 32}, {"9", "3", "3", "1"}},
      {{14, 8, 12, 9, 10, 7, 11, 6, 13, 10}, {}},
      {{2, 0, 0, 0}, {}},
      {{30, 9, 2, 0, 1}, {"0.5", "0.2", "0.2", "0.05", "0.05"}},
      {{1500, 1620}, {"1", "1"}},
  };
  for (const MultinomialProblem& problem : problems) {
    SCOPED_TRACE(Describe(problem));
    MultinomialResult exact = Exact(problem);
    MultinomialResult estimate = MonteCarlo(problem, 200'000);
    EXPECT_EQ(estimate.method, Method::kMonteCarlo);
    EXPECT_EQ(estimate.samples, 200'000u);
    EXPECT_EQ(estimate.seed, kDefaultSeed);
    for (int o = 0; o < 3; ++o) {
      const OrderingResult& e = estimate.orderings[o];
      double p = exact.orderings[o].p;
      EXPECT_NEAR(e.standard_error, std::sqrt(p * (1 - p) / 200'000), 0.1 * e.standard_error + 1e-9);
      EXPECT_NEAR(e.p, p, 4 * e.standard_error + 1e-5) << "ordering " << o;
      EXPECT_NEAR(e.mid_p, exact.orderings[o].mid_p, 4 * e.standard_error + 1e-5);
      EXPECT_EQ(e.value, exact.orderings[o].value);
    }
  }
}

TEST(MonteCarloTest, RepeatsWithItsSeed) {
  MultinomialProblem problem{{20, 31, 9}, {"1", "2", "0.5"}};
  MultinomialResult a = MonteCarlo(problem, 50'000, 17);
  MultinomialResult b = MonteCarlo(problem, 50'000, 17);
  MultinomialResult c = MonteCarlo(problem, 50'000, 18);
  for (int o = 0; o < 3; ++o) {
    EXPECT_EQ(a.orderings[o].p, b.orderings[o].p);
    EXPECT_EQ(a.orderings[o].mid_p, b.orderings[o].mid_p);
  }
  EXPECT_NE(a.orderings[0].p, c.orderings[0].p);
}

TEST(MonteCarloTest, RefusesWhatNeedsEveryOutcome) {
  MultinomialOptions options;
  options.method = Method::kMonteCarlo;
  options.every_outcome = true;
  MultinomialProblem problem{{3, 4}, {}};
  EXPECT_THROW(TestMultinomial(problem, options, [](const OutcomeRow&) {}), TestFailure);
  options.every_outcome = false;
  options.whole_distribution = true;
  EXPECT_THROW(TestMultinomial(problem, options, [](const OutcomeRow&) {}), TestFailure);
}

TEST(AutomaticTest, ExactWhenItFits) {
  MultinomialProblem problem{{315, 108, 101, 32}, {"9", "3", "3", "1"}};
  MultinomialResult result = TestMultinomial(problem, MultinomialOptions{});
  EXPECT_EQ(result.method, Method::kExact);
  EXPECT_FALSE(result.fell_back);
}

TEST(AutomaticTest, MonteCarloWhenItDoesNot) {
  MultinomialProblem problem{std::vector<std::uint32_t>(12, 40), {}};
  problem.counts[0] = 70;
  MultinomialOptions options;
  options.max_seconds = 0.001;
  options.samples = 10'000;
  MultinomialResult result = TestMultinomial(problem, options);
  EXPECT_EQ(result.method, Method::kMonteCarlo);
  EXPECT_TRUE(result.fell_back);
  EXPECT_EQ(result.samples, 10'000u);
  EXPECT_FALSE(std::isnan(result.orderings[0].standard_error));
}

TEST(AutomaticTest, NeverFallsBackFromAListing) {
  MultinomialProblem problem{{6, 2, 3, 1}, {}};
  MultinomialOptions options;
  options.max_seconds = 1e-9;
  options.every_outcome = true;
  int rows = 0;
  MultinomialResult result = TestMultinomial(problem, options, [&](const OutcomeRow&) { ++rows; });
  EXPECT_EQ(result.method, Method::kExact);
  EXPECT_FALSE(result.fell_back);
  EXPECT_EQ(rows, 455);
}

TEST(AutomaticTest, ExactRefusesWhatWouldTakeForever) {
  MultinomialProblem problem{std::vector<std::uint32_t>(40, 100), {}};
  problem.counts[0] = 300;
  MultinomialOptions options;
  options.method = Method::kExact;
  EXPECT_THROW(TestMultinomial(problem, options), TestFailure);
}

TEST(PaceTest, ReportsProgressWhenDueAndStopsPastTheDeadline) {
  std::vector<double> shares;
  ProgressSink progress = [&](double share) { shares.push_back(share); };
  Pace pace = StartPace(&progress, 0);
  CheckPace(pace, 0.25);  // too soon after the start
  EXPECT_TRUE(shares.empty());
  pace.last_report -= std::chrono::milliseconds(60);
  CheckPace(pace, 0.5);
  pace.last_report -= std::chrono::milliseconds(60);
  CheckPace(pace, 1.2);
  EXPECT_EQ(shares, (std::vector<double>{0.5, 1.0}));
  Pace timed = StartPace(nullptr, 0.5);
  CheckPace(timed, 0.1);
  timed.start -= std::chrono::seconds(1);
  EXPECT_THROW(CheckPace(timed, 0.2), OutOfTime);
}

TEST(BinomialTailTest, RatioAgreesWithDirectSums) {
  struct Case {
    std::uint32_t r;
    double q;
  };
  for (Case c : {Case{40, 0.3}, Case{1000, 0.75}, Case{25000, 0.5}, Case{300, 0.01}, Case{77, 0.9}}) {
    const double complement = 1 - c.q;
    // Probabilities relative to the mode's, in extended precision.
    const auto mode = static_cast<std::uint32_t>((c.r + 1) * c.q);
    std::vector<long double> relative(c.r + 1);
    relative[mode] = 1;
    for (std::uint32_t j = mode; j < c.r; ++j)
      relative[j + 1] = relative[j] * (c.r - j) * c.q / ((j + 1.0L) * complement);
    for (std::uint32_t j = mode; j > 0; --j)
      relative[j - 1] = relative[j] * j * complement / ((c.r - j + 1.0L) * c.q);
    for (std::uint32_t v = 0; v <= c.r; v += 1 + c.r / 60) {
      if (relative[v] < 1e-4000L) continue;
      bool upward = v > c.r * c.q + 1;
      if (!upward && !(v < c.r * c.q - 1)) continue;
      long double sum = 0;
      for (std::uint32_t j = v;; j = upward ? j + 1 : j - 1) {
        sum += relative[j];
        if (j == (upward ? c.r : 0)) break;
      }
      double expected = static_cast<double>(sum / relative[v]);
      EXPECT_NEAR(BinomialTailRatio(c.r, v, c.q, complement, upward), expected, 1e-13 * expected)
          << "r " << c.r << " q " << c.q << " v " << v;
    }
  }
}

// Draws from law compared with its probabilities by Pearson's statistic over
// classes of expected count at least 50; with a fixed seed the statistic is
// fixed, and a sound sampler stays far below the bound.
void CheckBinomialDraws(const BinomialLaw& law, bool alias) {
  SCOPED_TRACE(testing::Message() << "m " << law.m << " q " << law.q << " alias " << alias);
  const int draws = 200'000;
  Random random = SeedRandom(99);
  AliasTable table;
  if (alias) table = MakeAliasTable(law);
  std::map<std::uint32_t, int> seen;
  for (int d = 0; d < draws; ++d) {
    std::uint32_t v = alias ? DrawFromAlias(table, random) : DrawBinomial(law, random);
    ASSERT_LE(v, law.m);
    ++seen[v];
  }
  double log_q = std::log(law.q), log_c = std::log(law.complement);
  auto expected = [&](std::uint32_t j) {
    return draws * std::exp(std::lgamma(law.m + 1.0) - std::lgamma(j + 1.0) -
                            std::lgamma(law.m - j + 1.0) + j * log_q + (law.m - j) * log_c);
  };
  // Counts beyond 12 standard deviations (and 10 more) go to the end bins.
  double mean = law.m * law.q;
  double reach = 12 * std::sqrt(mean * law.complement) + 10;
  auto lo = static_cast<std::uint32_t>(std::max(0.0, mean - reach));
  auto hi = static_cast<std::uint32_t>(std::min<double>(law.m, mean + reach));
  double statistic = 0, bin_expected = 0, bin_seen = 0;
  int bins = 0;
  for (auto [value, times] : seen) {
    if (value < lo) bin_seen += times;
  }
  for (std::uint32_t j = lo; j <= hi; ++j) {
    bin_expected += expected(j);
    bin_seen += seen.count(j) ? seen[j] : 0;
    if (j == hi) {
      for (auto [value, times] : seen) {
        if (value > hi) bin_seen += times;
      }
    }
    if (bin_expected >= 50 || j == hi) {
      statistic += (bin_seen - bin_expected) * (bin_seen - bin_expected) / bin_expected;
      bin_expected = bin_seen = 0;
      ++bins;
    }
  }
  // The 1e-6 quantile of chi-square with `bins` degrees of freedom is
  // below bins + 11 sqrt(bins) + 25 in this range.
  EXPECT_LT(statistic, bins + 11 * std::sqrt(bins) + 25) << bins << " bins";
}

TEST(BinomialSamplerTest, DrawsFollowTheBinomial) {
  const BinomialLaw laws[] = {
      {30, 0.3, 0.7},          {1000, 0.4, 0.6},         {1'000'000, 0.01, 0.99},
      {10'000'000, 0.5, 0.5},  {50, 0.999, 0.001},       {200, 0.97, 0.03},
      {12, 1.0 / 16, 15.0 / 16}, {2'000'000'000, 1e-9, 1 - 1e-9},
  };
  for (const BinomialLaw& law : laws) {
    CheckBinomialDraws(law, false);
    if (law.m <= 1'000'000) CheckBinomialDraws(law, true);
  }
}

TEST(BinomialSamplerTest, DegenerateLaws) {
  Random random = SeedRandom(1);
  EXPECT_EQ(DrawBinomial({0, 0.5, 0.5}, random), 0u);
  EXPECT_EQ(DrawBinomial({9, 1, 0}, random), 9u);
  EXPECT_EQ(DrawBinomial({9, 0, 1}, random), 0u);
  AliasTable all = MakeAliasTable({9, 1, 0});
  EXPECT_EQ(DrawFromAlias(all, random), 9u);
}

}  // namespace
}  // namespace engine
