#include "kernel/listing.h"
#include "kernel/numeric.h"
#include "kestrin/fourfold.h"

std::int32_t n11, n12, n21, n22;
std::int32_t N, row1, row2, col1;
long double share;
long double e11, e12, e21, e22;
long double ExpectedSum;
std::int32_t lo, hi;

std::int32_t SolutionCount;

namespace {

// Cells and margins add up in 32 bits and wrap.
std::int32_t Plus(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

std::int32_t Minus(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

}  // namespace

void Prepare() {
  N = Plus(Plus(Plus(n11, n12), n21), n22);
  row1 = Plus(n11, n12);
  row2 = Plus(n21, n22);
  col1 = Plus(n11, n21);
  lo = Larger(0, Minus(col1, row2));
  hi = Smaller(col1, row1);
  share = Settled(static_cast<long double>(col1) / static_cast<long double>(N));
  e11 = static_cast<long double>(row1) * share;
  e12 = static_cast<long double>(row1) * (1 - share);
  e21 = static_cast<long double>(row2) * share;
  e22 = static_cast<long double>(row2) * (1 - share);
  ExpectedSum = ((e11 + e12) + e21) + e22;
}

std::int64_t TableCount() { return hi < lo ? 0 : std::int64_t{hi} - lo + 1; }

namespace {

// A run of tables, their values formed before the run is listed
// (kernel/listing).
std::int32_t run_cells[kMaxRun][4];
long double run_chi2[kMaxRun];
long double run_lr[kMaxRun];
long double run_probability[kMaxRun];
int run_length = 0;

void ListTheRun() {
  ListRun(run_length, run_probability, run_chi2, run_lr, [](int i, char* out) {
    for (int cell = 0; cell < 4; ++cell) out = AppendCellField(run_cells[i][cell], out);
    return out;
  });
  run_length = 0;
}

}  // namespace

void RecordTable(const std::int32_t (&table)[4]) {
  ++SolutionCount;
  long double chi2 = TableChiSquare(table);
  long double lr = TableLikelihoodRatio(table);
  long double ways = BinomialCoefficient(row1, table[0]);
  ways = Settled(ways * BinomialCoefficient(row2, table[2]));
  run_probability[run_length] = Settled(ways / BinomialCoefficient(N, col1));
  run_chi2[run_length] = chi2;
  run_lr[run_length] = lr;
  for (int i = 0; i < 4; ++i) run_cells[run_length][i] = table[i];
  if (++run_length == kMaxRun) ListTheRun();
}

void EnumerateTables() {
  SolutionCount = 0;
  run_length = 0;
  for (std::int64_t v = lo; v <= hi; ++v) {
    std::int32_t table[4];
    table[0] = static_cast<std::int32_t>(v);
    table[1] = Minus(row1, table[0]);
    table[2] = Minus(col1, table[0]);
    table[3] = Minus(row2, table[2]);
    RecordTable(table);
  }
  if (run_length > 0) ListTheRun();
}
