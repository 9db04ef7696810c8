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
long double SolutionChi2[kOutcomeLimit + 1];
long double SolutionLR[kOutcomeLimit + 1];
long double SolutionProbability[kOutcomeLimit + 1];
std::int32_t SolutionFrequencies[kOutcomeLimit + 1][kMaxCategories];

namespace {

// Frequencies add up in 32 bits and wrap, as signed totals always have here.
std::int32_t WrappingSum(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

bool limit_reached = false;

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

bool ExceedsTotal(std::int32_t j, std::int32_t c) {
  std::int32_t sum = 0;
  for (std::int32_t i = 1; i < j; ++i) sum = WrappingSum(sum, x[i]);
  return WrappingSum(sum, c) > T0;
}

bool MatchesTotal() {
  std::int32_t sum = 0;
  for (std::int32_t i = 1; i <= k; ++i) sum = WrappingSum(sum, x[i]);
  return sum == T0;
}

void RecordOutcome() {
  ++SolutionCount;
  if (SolutionCount >= kOutcomeLimit) {
    ErrorPause(u"too many solutions !");
    limit_reached = true;
    return;
  }
  std::int32_t c = SolutionCount;
  long double chi2 = 0;
  long double lr = 1;
  long double share_power = PowerRatio(1, k, T0);
  long double probability = Factorial(T0) * share_power;
  for (std::int32_t i = 1; i <= k; ++i) {
    SolutionFrequencies[c][i - 1] = x[i];
    chi2 = chi2 + ChiSquareTerm(x[i], e[i]);
    lr = lr * PowerRatio(e[i], x[i], x[i]);
    probability = probability / Factorial(x[i]);
  }
  SolutionChi2[c] = chi2;
  SolutionLR[c] = lr;
  SolutionProbability[c] = Settled(probability);
}

void EnumerateOutcomes(std::int32_t level, std::int32_t k) {
  if (level == k) {
    if (MatchesTotal()) RecordOutcome();
    return;
  }
  std::int32_t j = level + 1;
  if (UpperBound[j] < LowerBound[j]) return;
  for (std::int64_t c = LowerBound[j]; c <= UpperBound[j] && !limit_reached; ++c) {
    if (!ExceedsTotal(j, static_cast<std::int32_t>(c))) {
      x[j] = static_cast<std::int32_t>(c);
      EnumerateOutcomes(level + 1, k);
    }
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
    if (v == LowerBound[1]) Factorial(T0);
    EnumerateOutcomes(1, k);
  }
}
