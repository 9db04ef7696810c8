#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "plot/plot.h"

namespace {

// Rows handed to the collector, each a value of its own (the worst case:
// orvane with given probabilities, where every outcome has its own X^2),
// range(0) of them; past DistributionCollector::kMaxValues the collector
// pools.
void BM_CollectorAdd(benchmark::State& state) {
  const std::int64_t rows = state.range(0);
  const std::uint32_t counts[4] = {};
  for (auto _ : state) {
    plot::DistributionCollector collector(engine::Ordering::kChiSquare);
    engine::OutcomeRow row{counts, 1, 0, 0, 0, {}};
    for (std::int64_t i = 0; i < rows; ++i) {
      row.probability = 1.0 / static_cast<double>(rows);
      row.chi_square = std::sqrt(static_cast<double>(i) * 7.3);
      collector.Add(row);
    }
    benchmark::DoNotOptimize(collector.size());
  }
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(rows) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CollectorAdd)->Arg(500'001)->Arg(10'000'000)->Unit(benchmark::kMillisecond);

// The picture of range(0) distinct values (binned), as text.
void BM_PlotSvg(benchmark::State& state) {
  const std::int64_t values = state.range(0);
  const std::uint32_t counts[4] = {};
  plot::DistributionCollector collector(engine::Ordering::kProbability);
  for (std::int64_t i = 0; i < values; ++i) {
    const double p = std::pow(10.0, -300.0 * static_cast<double>(i) / static_cast<double>(values));
    engine::OutcomeRow row{counts, 1, p, 0, 0, {}};
    row.marks[static_cast<int>(engine::Ordering::kProbability)] =
        i > values / 3 ? engine::Mark::kBeyond : engine::Mark::kNotExtreme;
    collector.Add(row);
  }
  plot::PlotRequest request;
  request.title = "benchmark";
  for (auto _ : state) benchmark::DoNotOptimize(plot::PlotSvg(request, collector).size());
}
BENCHMARK(BM_PlotSvg)->Arg(10)->Arg(250'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
