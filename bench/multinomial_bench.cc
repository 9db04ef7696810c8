// The multinomial test of the command-line mode: plain enumeration of every
// outcome, and (side by side, one run) the workloads it is measured on.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/multinomial.h"

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

}  // namespace

BENCHMARK_MAIN();
