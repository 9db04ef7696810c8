// The multinomial test of the command-line mode, side by side in one run:
// plain enumeration of every outcome, the exact methods past it on the
// workloads they are measured on, and Monte Carlo draws.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/multinomial/multinomial.h"

namespace {

using engine::Method;
using engine::MultinomialOptions;
using engine::MultinomialProblem;
using engine::MultinomialResult;

void ReportRate(benchmark::State& state, const MultinomialResult& result) {
  state.counters["outcomes"] = result.outcomes;
  state.counters["outcomes/s"] =
      benchmark::Counter(static_cast<double>(result.outcomes_visited) *
                             static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

// Every outcome one by one, handed to a sink that keeps nothing (the cost of
// a listing without its writing): range(0) = k, range(1) = total, equal
// probabilities, the counts spread as evenly as they go.
void BM_PlainEnumeration(benchmark::State& state) {
  const auto k = static_cast<std::size_t>(state.range(0));
  const auto n = static_cast<std::uint32_t>(state.range(1));
  MultinomialProblem problem{std::vector<std::uint32_t>(k, n / static_cast<std::uint32_t>(k)), {}};
  problem.counts[0] += n % static_cast<std::uint32_t>(k);
  MultinomialOptions options;
  options.method = Method::kExact;
  options.every_outcome = true;
  MultinomialResult result;
  double mass = 0;
  for (auto _ : state) {
    result = engine::TestMultinomial(problem, options,
                                     [&](const engine::OutcomeRow& row) { mass += row.probability; });
  }
  benchmark::DoNotOptimize(mass);
  ReportRate(state, result);
}
BENCHMARK(BM_PlainEnumeration)
    ->Args({10, 13})
    ->Args({4, 20})
    ->Args({3, 998})
    ->Args({4, 300})
    ->Unit(benchmark::kMillisecond);

// The exact test without a listing, as the automatic choice runs it:
// classes of outcomes under equal probabilities, the network method else.
void RunExact(benchmark::State& state, const MultinomialProblem& problem) {
  MultinomialOptions options;
  options.method = Method::kExact;
  MultinomialResult result;
  for (auto _ : state) result = engine::TestMultinomial(problem, options);
  state.counters["outcomes"] = result.outcomes;
  state.counters["visited"] = static_cast<double>(result.outcomes_visited);
  state.counters["nodes"] = static_cast<double>(result.nodes_visited);
  state.counters["p_chi2"] = result.orderings[0].p;
}

// 315 108 101 32 against 9:3:3:1 (2.9e7 outcomes).
void BM_Dihybrid(benchmark::State& state) {
  RunExact(state, {{315, 108, 101, 32}, {"9", "3", "3", "1"}});
}
BENCHMARK(BM_Dihybrid)->Unit(benchmark::kMillisecond);

// Ten categories, equal probabilities, a total of 100 (4.3e12 outcomes,
// 6.3e6 classes).
void BM_TenEqualCategories(benchmark::State& state) {
  RunExact(state, {{14, 8, 12, 9, 10, 7, 11, 6, 13, 10}, {}});
}
BENCHMARK(BM_TenEqualCategories)->Unit(benchmark::kMillisecond);

// Six categories against 5:4:3.5:3:2.5:2 with a total of 200 (2.9e9
// outcomes): range(0) = 0 for counts of an ordinary fit (p about 0.25),
// 1 for a poor one (p about 0.01), whose many outcomes short of the
// observed ones the method walks through.
void BM_SixUnequalCategories(benchmark::State& state) {
  std::vector<std::uint32_t> counts = state.range(0) == 0
                                          ? std::vector<std::uint32_t>{58, 33, 41, 24, 29, 15}
                                          : std::vector<std::uint32_t>{70, 30, 41, 24, 20, 15};
  RunExact(state, {counts, {"5", "4", "3.5", "3", "2.5", "2"}});
}
BENCHMARK(BM_SixUnequalCategories)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Thousands of categories with a total of 1 against proportions cycling
// 1..7 (range(0) categories): as many outcomes as categories.
void BM_ManyCategoriesOneCount(benchmark::State& state) {
  const auto k = static_cast<std::size_t>(state.range(0));
  MultinomialProblem problem{std::vector<std::uint32_t>(k, 0), {}};
  problem.counts.back() = 1;
  for (std::size_t i = 0; i < k; ++i) problem.proportions.push_back(std::to_string(i % 7 + 1));
  RunExact(state, problem);
}
BENCHMARK(BM_ManyCategoriesOneCount)->Arg(4000)->Arg(30000)->Unit(benchmark::kMillisecond);

// All of 1000 in one of four categories: p = 4^-999, far below the range
// of doubles, summed by logarithms.
void BM_DeepTail(benchmark::State& state) { RunExact(state, {{1000, 0, 0, 0}, {}}); }
BENCHMARK(BM_DeepTail)->Unit(benchmark::kMillisecond);

// Monte Carlo draws per second: range(0) = 0 for the dihybrid count, 1 for
// the ten equal categories.
void BM_MonteCarlo(benchmark::State& state) {
  MultinomialProblem problem = state.range(0) == 0
                                   ? MultinomialProblem{{315, 108, 101, 32}, {"9", "3", "3", "1"}}
                                   : MultinomialProblem{{14, 8, 12, 9, 10, 7, 11, 6, 13, 10}, {}};
  MultinomialOptions options;
  options.method = Method::kMonteCarlo;
  options.samples = 2'000'000;
  MultinomialResult result;
  for (auto _ : state) result = engine::TestMultinomial(problem, options);
  state.counters["draws/s"] =
      benchmark::Counter(static_cast<double>(options.samples) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MonteCarlo)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
