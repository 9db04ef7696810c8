#include "engine/contingency/fourfold_listing.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "engine/contingency/fourfold_exact.h"

namespace engine::fourfold {
namespace {

void Normalize(Scaled& s) {
  int e = 0;
  s.fraction = std::frexp(s.fraction, &e);
  s.exponent += e;
}

// Exact in the power of two; the fraction rounds once.
void Multiply(Scaled& s, long double factor) {
  s.fraction *= factor;
  if (s.fraction < 0x1p-8000L || s.fraction > 0x1p8000L) Normalize(s);
}

long double ToLongDouble(Scaled s) {
  Normalize(s);
  if (s.exponent < -20000) return 0;
  return std::ldexp(s.fraction, static_cast<int>(s.exponent));
}

std::int64_t KeptLow(const Walk& walk) { return walk.mode - static_cast<std::int64_t>(walk.down.size()) + 1; }
std::int64_t KeptHigh(const Walk& walk) { return walk.mode + static_cast<std::int64_t>(walk.up.size()) - 1; }

// The sign of P(x) - P(x0), the first weight formed in StepsTo(x) steps.
int CompareScaledProbabilities(Walk& walk, std::int64_t x, Scaled wx, std::int64_t x0, Scaled w0) {
  const int sign = FilterScaled(wx, w0, WeightTolerance(StepsTo(walk, x), StepsTo(walk, x0)));
  if (sign != 0) return sign;
  return -CompareFactorialProducts(CellsAt(walk.margins, x), CellsAt(walk.margins, x0));
}

}  // namespace

int FilterScaled(Scaled a, Scaled b, long double tolerance) {
  Normalize(a);
  Normalize(b);
  // Fractions in [1/2, 1): two powers of two apart is a factor of 2 at least.
  if (a.exponent > b.exponent + 1) return 1;
  if (b.exponent > a.exponent + 1) return -1;
  return FilterWeights(std::ldexp(a.fraction, static_cast<int>(a.exponent - b.exponent)), b.fraction, tolerance);
}

Scaled ScaledWeight(Walk& walk, std::int64_t x) {
  if (Reach(walk, x)) return {WeightAt(walk, x), 0};
  const Margins& m = walk.margins;
  Scaled s;
  if (x > walk.mode) {
    const std::int64_t from = KeptHigh(walk);
    s.fraction = WeightAt(walk, from);
    for (std::int64_t y = from; y < x; ++y) Multiply(s, ValueOf(UpRatio(m, y)));
  } else {
    const std::int64_t from = KeptLow(walk);
    s.fraction = WeightAt(walk, from);
    for (std::int64_t y = from; y > x; --y) Multiply(s, ValueOf(DownRatio(m, y)));
  }
  return s;
}

Tails ScanProbabilityTails(Walk& walk, std::int64_t x0) {
  // The observed table is far out on one side; the weights rise from it to
  // the mode (w(mode) = 1 against w(x0) < 1e-340), so the less probable
  // tables are its own side beyond it and the other side's far end.
  const Margins& m = walk.margins;
  const Scaled w0 = ScaledWeight(walk, x0);
  Scaled s;
  if (x0 < walk.mode) {
    for (std::int64_t x = walk.mode + 1; x <= m.hi; ++x) {
      Multiply(s, ValueOf(UpRatio(m, x - 1)));
      const int sign = CompareScaledProbabilities(walk, x, s, x0, w0);
      if (sign <= 0) return {x0, x, true, sign == 0};
    }
    return {x0, m.hi + 1, true, false};
  }
  for (std::int64_t x = walk.mode - 1; x >= m.lo; --x) {
    Multiply(s, ValueOf(DownRatio(m, x + 1)));
    const int sign = CompareScaledProbabilities(walk, x, s, x0, w0);
    if (sign <= 0) return {x, x0, sign == 0, true};
  }
  return {m.lo - 1, x0, false, true};
}

void ListTables(Walk& walk, long double total_weight, const ListingMarks& marks, const OutcomeSink& sink) {
  const Margins& m = walk.margins;
  std::array<std::uint32_t, 4> counts{};
  OutcomeRow row{};
  row.counts = counts;
  row.multiplicity = 1;
  const auto emit = [&](std::int64_t x, long double weight) {
    const Cells cells = CellsAt(m, x);
    for (int i = 0; i < 4; ++i) counts[i] = static_cast<std::uint32_t>(cells[i]);
    row.probability = static_cast<double>(weight / total_weight);
    row.chi_square = static_cast<double>(ChiSquareAt(m, x));
    row.likelihood_ratio = static_cast<double>(LikelihoodRatioAt(m, x));
    row.marks[static_cast<int>(Ordering::kChiSquare)] = MarkOf(marks.chi_square, x);
    row.marks[static_cast<int>(Ordering::kLikelihoodRatio)] = MarkOf(marks.likelihood_ratio, x);
    row.marks[static_cast<int>(Ordering::kProbability)] = MarkOf(marks.probability, x);
    row.marks[static_cast<int>(Ordering::kN11)] = marks.n11 ? MarkOf(*marks.n11, x) : Mark::kNotExtreme;
    sink(row);
  };
  // Below the kept weights: from w(lo), itself walked down from the lowest
  // kept one, upward; then the kept ones; then on above them.
  const std::int64_t kept_low = std::max(KeptLow(walk), m.lo);
  const std::int64_t kept_high = std::min(KeptHigh(walk), m.hi);
  if (m.lo < kept_low) {
    Scaled s = ScaledWeight(walk, m.lo);
    for (std::int64_t x = m.lo; x < kept_low; ++x) {
      emit(x, ToLongDouble(s));
      Multiply(s, ValueOf(UpRatio(m, x)));
    }
  }
  for (std::int64_t x = kept_low; x <= kept_high; ++x) emit(x, WeightAt(walk, x));
  Scaled s{WeightAt(walk, kept_high), 0};
  for (std::int64_t x = kept_high + 1; x <= m.hi; ++x) {
    Multiply(s, ValueOf(UpRatio(m, x - 1)));
    emit(x, ToLongDouble(s));
  }
}

}  // namespace engine::fourfold
