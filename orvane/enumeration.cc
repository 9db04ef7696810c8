#include <cstring>

#include "kernel/listing.h"
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
// Whether the outcomes are listed: false when their number reaches the
// limit, and they are only counted.
bool listing = false;

// The cells of the current outcome as its row shows them: each frequency
// in a field of 8 and a comma. Field j is laid down when x_j takes a value;
// the rest of the array is room for copying it in whole words.
constexpr std::size_t kField = 9;
char cell_text[kMaxCategories * kField + 6];
// The 8 characters of the field of each frequency (all have at most 4
// digits).
std::uint64_t field_text[kLargestTotal + 1];

void SetField(std::int32_t j, std::int32_t v) {
  std::memcpy(cell_text + (j - 1) * kField, &field_text[v], 8);
}

// The outcomes found and not listed yet: their values and, when rows are
// written, their cells. They are listed (kernel/listing) in runs, long
// after their values were stored.
long double run_chi2[kMaxRun];
long double run_lr[kMaxRun];
long double run_probability[kMaxRun];
char run_cells[kMaxRun][sizeof cell_text];
int run_length = 0;

void ListPendingOutcomes() {
  if (run_length == 0) return;
  ListRun(run_length, run_probability, run_chi2, run_lr, [](int i, char* out) {
    std::memcpy(out, run_cells[i], sizeof cell_text);
    return out + k * kField;
  });
  run_length = 0;
}

// Adds the outcome whose cells are in cell_text to the run.
void AddToRun(long double chi2, long double lr, long double probability) {
  run_chi2[run_length] = chi2;
  run_lr[run_length] = lr;
  run_probability[run_length] = probability;
  if (WriteOutcomeRows) std::memcpy(run_cells[run_length], cell_text, sizeof cell_text);
  if (++run_length == kMaxRun) ListPendingOutcomes();
}

void PrepareEnumeration() {
  for (std::int32_t v = 0; v <= T0; ++v) {
    chi2_term[v] = ChiSquareTerm(v, e[1]);
    lr_factor[v] = PowerRatio(e[1], v, v);
    factorial[v] = Factorial(v);
    char field[kField + 8];
    AppendCellField(v, field);
    std::memcpy(&field_text[v], field, 8);
  }
  for (std::int32_t j = 1; j <= kMaxCategories; ++j) cell_text[j * kField - 1] = ',';
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
  SetField(j, v);
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

std::int32_t OutcomeCount() {
  if (T0 < 0) return 0;
  // C(T0 + i, i) for i = 1 .. k - 1, each from the one before.
  std::uint64_t count = 1;
  for (std::int32_t i = 1; i < k; ++i) {
    count = count * (static_cast<std::uint64_t>(T0) + static_cast<std::uint64_t>(i)) / static_cast<std::uint64_t>(i);
    if (count >= kOutcomeLimit) return kOutcomeLimit;
  }
  return static_cast<std::int32_t>(count);
}

void RecordOutcome() {
  ++SolutionCount;
  if (SolutionCount >= kOutcomeLimit) {
    // Counted, not listed; the enumeration stops here.
    ErrorPause(u"too many solutions !");
    limit_reached = true;
    return;
  }
  if (!listing) return;
  std::int32_t v = x[k];
  SetField(k, v);
  AddToRun(partial_chi2[k - 1] + chi2_term[v], partial_lr[k - 1] * lr_factor[v],
           partial_probability[k - 1] / factorial[v]);
}

namespace {

// Every outcome below the prefix x_1 .. x_(k-2), when the outcomes are
// listed: x_(k-1) from 0 up to what the total leaves and x_k the rest. The
// steps of ExtendPrefix(k - 1) and RecordOutcome, on the same operands in
// the same order, in one loop.
void ListLastTwoCategories() {
  const std::int32_t rest = T0 - partial_sum[k - 2];
  const long double chi2_prefix = partial_chi2[k - 2];
  const long double lr_prefix = partial_lr[k - 2];
  const long double probability_prefix = partial_probability[k - 2];
  for (std::int32_t c = 0; c <= rest; ++c) {
    std::int32_t v = rest - c;
    SetField(k - 1, c);
    SetField(k, v);
    AddToRun((chi2_prefix + chi2_term[c]) + chi2_term[v], (lr_prefix * lr_factor[c]) * lr_factor[v],
             (probability_prefix / factorial[c]) / factorial[v]);
  }
  // The working vector holds the last outcome.
  x[k - 1] = rest;
  x[k] = 0;
  SolutionCount += rest + 1;
}

}  // namespace

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
  if (j == k - 1 && listing) {
    // Below the limit: every candidate is listed, none stops the run.
    ListLastTwoCategories();
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

namespace {

void Enumerate(bool show_progress) {
  for (std::int32_t j = 1; j <= k; ++j) LowerBound[j] = 0;
  for (std::int32_t j = 1; j <= k; ++j) UpperBound[j] = T0;
  SolutionCount = 0;
  run_length = 0;
  limit_reached = false;
  listing = OutcomeCount() < kOutcomeLimit;
  if (UpperBound[1] < LowerBound[1]) return;
  for (std::int64_t v = LowerBound[1]; v <= UpperBound[1] && !limit_reached; ++v) {
    x[1] = static_cast<std::int32_t>(v);
    if (show_progress) {
      WriteText(ConsoleOutput, u"level 1:");
      WriteInteger(ConsoleOutput, x[1], 6);
      WriteLineEnd(ConsoleOutput);
      IoCheck();
    }
    // A total beyond the factorial range fails here, after one progress line,
    // rather than when the first outcome is recorded.
    if (v == LowerBound[1]) {
      Factorial(T0);
      PrepareEnumeration();
    }
    if (k > 1) ExtendPrefix(1);
    EnumerateOutcomes(1, k);
  }
  ListPendingOutcomes();
}

}  // namespace

void EnumerateAll() { Enumerate(true); }

void EnumerateAgain() { Enumerate(false); }
