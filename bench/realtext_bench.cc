#include <benchmark/benchmark.h>

#include "kernel/listingtext.h"
#include "kernel/numeric.h"
#include "kernel/realtext.h"

namespace {

// Values like the ones a listing writes: probabilities, chi-squares and
// likelihood ratios over many decades.
struct Values {
  long double value[1024];
  Values() {
    for (int i = 0; i < 1024; ++i) value[i] = 1.0L / (3 + i % 977) * (i % 7 == 0 ? 1e-40L : 1.0L);
  }
};
const Values values;
long double Value(int i) { return values.value[i & 1023]; }

void BM_DefaultForm(benchmark::State& state) {
  SetFloatingPointEnvironment();
  char text[kMaxRealText];
  int i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(FormatReal(Value(i++), text));
}
BENCHMARK(BM_DefaultForm);

void BM_FixedForm(benchmark::State& state) {
  SetFloatingPointEnvironment();
  char text[kMaxRealText];
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FormatReal(Value(i++) * 1000, static_cast<int>(state.range(0)),
                                        static_cast<int>(state.range(1)), text));
  }
}
BENCHMARK(BM_FixedForm)->Args({10, 4})->Args({20, 17})->Args({10, 6});

// Values that never repeat within the text cache's reach, as in a listing
// of three categories where each value comes back only with its mirror.
void BM_DistinctValues(benchmark::State& state) {
  SetFloatingPointEnvironment();
  static long double distinct[1 << 20];
  for (int i = 0; i < (1 << 20); ++i) distinct[i] = (i + 0.5L) / 7.0L * (i % 3 == 0 ? 1e-300L : 1e-3L);
  char text[kMaxRealText];
  int i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(FormatReal(distinct[i++ & ((1 << 20) - 1)], 20, 17, text));
}
BENCHMARK(BM_DistinctValues);

// The listing's own forms of the same distinct values: range(0) selects
// the default form, the chi-square's (10, 4) or the likelihood ratio's
// (20, 17).
void BM_ListingForms(benchmark::State& state) {
  SetFloatingPointEnvironment();
  static long double distinct[1 << 20];
  for (int i = 0; i < (1 << 20); ++i) distinct[i] = (i + 0.5L) / 7.0L * (i % 3 == 0 ? 1e-300L : 1e-3L);
  char text[kListingTextRoom];
  int i = 0;
  for (auto _ : state) {
    const long double& x = distinct[i++ & ((1 << 20) - 1)];
    char* end = state.range(0) == 0   ? AppendDefaultForm(x, text)
                : state.range(0) == 1 ? AppendFixedForm10x4(x, text)
                                      : AppendFixedForm20x17(x, text);
    benchmark::DoNotOptimize(end);
  }
}
BENCHMARK(BM_ListingForms)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
