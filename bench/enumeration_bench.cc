#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "kernel/numeric.h"
#include "kernel/resultfile.h"
#include "kernel/textstream.h"
#include "orvane/uniformity.h"

namespace {

// One run's phases from the observed statistics to the summary, with the
// console and the result file on /dev/null: k categories summing to the
// total, all of it in the first category.
void RunPhases(benchmark::State& state, bool rows) {
  SetFloatingPointEnvironment();
  int null_input = open("/dev/null", O_RDONLY);
  int null_output = open("/dev/null", O_WRONLY);
  for (auto _ : state) {
    ResetTextStreams(null_input, null_output);
    CreateTextFile(u"/dev/null");
    WriteOutcomeRows = rows;
    k = static_cast<std::int32_t>(state.range(0));
    for (std::int32_t i = 1; i <= k; ++i) x[i] = 0;
    x[1] = static_cast<std::int32_t>(state.range(1));
    Prepare();
    ComputeObservedStatistics();
    if (OutcomeCount() < kOutcomeLimit) BeginOutcomeListing();
    EnumerateAll();
    if (SolutionCount < kOutcomeLimit) EndOutcomeListing();
    CloseTextFile(ResultFile);
    FinishConsoleOutput();
  }
  close(null_input);
  close(null_output);
  state.counters["outcomes"] = SolutionCount;
  state.counters["outcomes/s"] =
      benchmark::Counter(static_cast<double>(SolutionCount) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

// The outcomes classified and summed, without rows (the default file):
// range(0) = k, range(1) = total.
void BM_Enumeration(benchmark::State& state) { RunPhases(state, false); }
BENCHMARK(BM_Enumeration)->Args({10, 13})->Args({3, 998})->Args({4, 20})->Unit(benchmark::kMillisecond);

// The same with every outcome's row.
void BM_Listing(benchmark::State& state) { RunPhases(state, true); }
BENCHMARK(BM_Listing)->Args({10, 13})->Args({3, 998})->Args({4, 20})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
