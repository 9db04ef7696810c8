#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "kernel/numeric.h"
#include "kernel/textstream.h"
#include "orvane/uniformity.h"

namespace {

// The enumeration of k categories summing to the total, with its progress
// lines going nowhere: range(0) = k, range(1) = total.
void BM_Enumeration(benchmark::State& state) {
  SetFloatingPointEnvironment();
  int null_output = open("/dev/null", O_WRONLY);
  for (auto _ : state) {
    ResetTextStreams(null_output, null_output);
    k = static_cast<std::int32_t>(state.range(0));
    for (std::int32_t i = 1; i <= k; ++i) x[i] = 0;
    x[1] = static_cast<std::int32_t>(state.range(1));
    Prepare();
    EnumerateAll();
    FinishConsoleOutput();
  }
  close(null_output);
  state.counters["outcomes"] = SolutionCount;
  state.counters["outcomes/s"] =
      benchmark::Counter(static_cast<double>(SolutionCount) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Enumeration)->Args({10, 13})->Args({3, 998})->Args({4, 20})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
