#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "engine/contingency/fourfold.h"

namespace {

// A table of the given total with balanced margins whose n11 lies a given
// number of standard deviations above its expectation (about sqrt(N) / 4).
engine::FourfoldProblem Balanced(std::int64_t total, double deviations,
                                 engine::Alternative alternative = engine::Alternative::kTwoSided) {
  const std::int64_t quarter = total / 4;
  const auto shift = static_cast<std::int64_t>(deviations * std::sqrt(static_cast<double>(total)) / 4);
  engine::FourfoldProblem problem;
  problem.cells = {static_cast<std::uint32_t>(quarter + shift), static_cast<std::uint32_t>(quarter - shift),
                   static_cast<std::uint32_t>(quarter - shift),
                   static_cast<std::uint32_t>(total - 3 * quarter + shift)};
  problem.alternative = alternative;
  return problem;
}

// The p-values and the odds ratio with its interval, no listing:
// range(0) = total, range(1) = standard deviations out (as tenths).
void BM_Fourfold(benchmark::State& state) {
  const engine::FourfoldProblem problem = Balanced(state.range(0), state.range(1) / 10.0);
  engine::FourfoldResult result;
  for (auto _ : state) {
    result = engine::TestFourfold(problem);
    benchmark::DoNotOptimize(result);
  }
  state.counters["tables"] = static_cast<double>(result.outcomes);
}
BENCHMARK(BM_Fourfold)
    ->Args({1000, 20})
    ->Args({500000, 20})
    ->Args({10000000, 20})
    ->Args({2000000000, 20})
    ->Args({2000000000, 300})
    ->Args({2147483647, 0})
    ->Unit(benchmark::kMillisecond);

void BM_FourfoldOneSided(benchmark::State& state) {
  const engine::FourfoldProblem problem = Balanced(state.range(0), 2.0, engine::Alternative::kGreater);
  for (auto _ : state) benchmark::DoNotOptimize(engine::TestFourfold(problem));
}
BENCHMARK(BM_FourfoldOneSided)->Arg(500000)->Arg(2000000000)->Unit(benchmark::kMillisecond);

// Every table to a sink that only counts them, as a listing needs.
void BM_FourfoldListing(benchmark::State& state) {
  const engine::FourfoldProblem problem = Balanced(state.range(0), 2.0);
  std::uint64_t rows = 0;
  for (auto _ : state) {
    rows = 0;
    engine::TestFourfold(problem, [&](const engine::OutcomeRow&) { ++rows; });
  }
  state.counters["tables/s"] = benchmark::Counter(static_cast<double>(rows) * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FourfoldListing)->Arg(1000)->Arg(500000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
