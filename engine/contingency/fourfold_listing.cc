#include "engine/contingency/fourfold_listing.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "engine/contingency/fourfold_exact.h"

namespace engine::fourfold {
namespace {

// Exact in the power of two; the fraction rounds once.
void Multiply(Scaled& s, long double factor) {
  s.fraction *= factor;
  if (s.fraction < 0x1p-8000L || s.fraction > 0x1p8000L) s = Normalized(s);
}

std::int64_t KeptLow(const Walk& walk) { return walk.mode - static_cast<std::int64_t>(walk.down.size()) + 1; }
std::int64_t KeptHigh(const Walk& walk) { return walk.mode + static_cast<std::int64_t>(walk.up.size()) - 1; }

}  // namespace

Scaled ScaledWeight(Walk& walk, std::int64_t x) {
  if (Reach(walk, x)) return {WeightAt(walk, x), 0};
  const Margins& m = walk.margins;
  Scaled s{1, 0};
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
