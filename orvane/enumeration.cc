#include <sys/mman.h>

#include <cstring>

#include "kernel/numeric.h"
#include "kernel/resultfile.h"
#include "kernel/textstream.h"
#include "orvane/uniformity.h"

std::int32_t k;
std::int32_t x[kMaxCategories + 1];
std::int32_t T0;
double e[kMaxCategories + 1];
long double ExpectedSum;
std::int32_t LowerBound[kMaxCategories + 1];
std::int32_t UpperBound[kMaxCategories + 1];

std::int32_t SolutionCount;
alignas(kHugePage) long double SolutionChi2[kTableEntries<long double>];
alignas(kHugePage) long double SolutionLR[kTableEntries<long double>];
alignas(kHugePage) long double SolutionProbability[kTableEntries<long double>];
alignas(kHugePage) std::int16_t
    SolutionFrequencies[kTableEntries<std::int16_t[kMaxCategories]> * kMaxCategories];

namespace {

// Frequencies add up in 32 bits and wrap, as signed totals always have here.
std::int32_t WrappingSum(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

// Every enumerated total is below 1755: a larger one has overflowed in
// Factorial(T0) before the first outcome.
constexpr std::int32_t kLargestTotal = 1754;

// The terms of one category by its frequency v: all categories share the
// same expected value, so ChiSquareTerm(v, e), PowerRatio(e, v, v) and v!
// are formed once per value instead of once per outcome.
long double chi2_term[kLargestTotal + 1];
long double lr_factor[kLargestTotal + 1];
long double factorial[kLargestTotal + 1];

// The running sums and products after categories 1 .. j, in the order the
// statistics of an outcome are formed: chi-square from 0 adding term by
// term, likelihood ratio from 1 multiplying, probability from T0! (1/k)^T0
// dividing by each x_i!. An outcome's values are those of its prefix plus
// the last category, to the bit the same as forming them from scratch.
std::int32_t partial_sum[kMaxCategories + 1];
long double partial_chi2[kMaxCategories + 1];
long double partial_lr[kMaxCategories + 1];
long double partial_probability[kMaxCategories + 1];

bool limit_reached = false;

// Asks for huge pages over the solution table: tens of megabytes touched
// once, where 4 KiB pages would cost ten thousand page faults.
void AdviseHugePages(void* start, std::size_t length) {
  auto first = (reinterpret_cast<std::uintptr_t>(start) + kHugePage - 1) & ~(kHugePage - 1);
  auto last = (reinterpret_cast<std::uintptr_t>(start) + length) & ~(kHugePage - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

void PrepareEnumeration() {
  AdviseHugePages(SolutionChi2, sizeof SolutionChi2);
  AdviseHugePages(SolutionLR, sizeof SolutionLR);
  AdviseHugePages(SolutionProbability, sizeof SolutionProbability);
  AdviseHugePages(SolutionFrequencies, sizeof SolutionFrequencies);
  for (std::int32_t v = 0; v <= T0; ++v) {
    chi2_term[v] = ChiSquareTerm(v, e[1]);
    lr_factor[v] = PowerRatio(e[1], v, v);
    factorial[v] = Factorial(v);
  }
  long double share_power = PowerRatio(1, k, T0);
  partial_sum[0] = 0;
  partial_chi2[0] = 0;
  partial_lr[0] = 1;
  partial_probability[0] = Factorial(T0) * share_power;
}

// Category j has taken the value x[j].
void ExtendPrefix(std::int32_t j) {
  std::int32_t v = x[j];
  partial_sum[j] = WrappingSum(partial_sum[j - 1], v);
  partial_chi2[j] = partial_chi2[j - 1] + chi2_term[v];
  partial_lr[j] = partial_lr[j - 1] * lr_factor[v];
  partial_probability[j] = partial_probability[j - 1] / factorial[v];
}

}  // namespace

void Prepare() {
  T0 = 0;
  for (std::int32_t i = 1; i <= k; ++i) T0 = WrappingSum(T0, x[i]);
  for (std::int32_t i = 1; i <= k; ++i) {
    e[i] = static_cast<double>(static_cast<long double>(T0) / static_cast<long double>(k));
  }
  ExpectedSum = 0;
  for (std::int32_t i = 1; i <= k; ++i) ExpectedSum += static_cast<long double>(e[i]);
}

bool ExceedsTotal(std::int32_t j, std::int32_t c) { return WrappingSum(partial_sum[j - 1], c) > T0; }

bool MatchesTotal() { return WrappingSum(partial_sum[k - 1], x[k]) == T0; }

void RecordOutcome() {
  ++SolutionCount;
  if (SolutionCount >= kOutcomeLimit) {
    // Counted, not stored; the enumeration stops here.
    ErrorPause(u"too many solutions !");
    limit_reached = true;
    return;
  }
  std::int32_t c = SolutionCount;
  std::int32_t v = x[k];
  SolutionChi2[c] = partial_chi2[k - 1] + chi2_term[v];
  SolutionLR[c] = partial_lr[k - 1] * lr_factor[v];
  SolutionProbability[c] = partial_probability[k - 1] / factorial[v];
  std::int16_t* frequencies = FrequenciesOf(c);
  for (std::int32_t i = 0; i < k; ++i) frequencies[i] = static_cast<std::int16_t>(x[i + 1]);
}

void EnumerateOutcomes(std::int32_t level, std::int32_t k) {
  if (level == k) {
    if (MatchesTotal()) RecordOutcome();
    return;
  }
  std::int32_t j = level + 1;
  if (UpperBound[j] < LowerBound[j]) return;
  if (j == k) {
    // Of the candidates within the total only one makes it exactly T0.
    x[k] = T0 - partial_sum[k - 1];
    RecordOutcome();
    return;
  }
  for (std::int32_t c = LowerBound[j]; c <= UpperBound[j] && !limit_reached; ++c) {
    // The candidates only grow: once one exceeds the total, all the rest do.
    if (ExceedsTotal(j, c)) break;
    x[j] = c;
    ExtendPrefix(j);
    EnumerateOutcomes(j, k);
  }
}

void EnumerateAll() {
  for (std::int32_t j = 1; j <= k; ++j) LowerBound[j] = 0;
  for (std::int32_t j = 1; j <= k; ++j) UpperBound[j] = T0;
  SolutionCount = 0;
  if (UpperBound[1] < LowerBound[1]) return;
  for (std::int64_t v = LowerBound[1]; v <= UpperBound[1] && !limit_reached; ++v) {
    x[1] = static_cast<std::int32_t>(v);
    WriteText(ConsoleOutput, u"level 1:");
    WriteInteger(ConsoleOutput, x[1], 6);
    WriteLineEnd(ConsoleOutput);
    IoCheck();
    // A total beyond the factorial range fails here, after one progress line,
    // rather than when the first outcome is recorded.
    if (v == LowerBound[1]) {
      Factorial(T0);
      PrepareEnumeration();
    }
    if (k > 1) ExtendPrefix(1);
    EnumerateOutcomes(1, k);
  }
}
