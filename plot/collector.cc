#include <algorithm>
#include <cmath>
#include <limits>

#include "plot/axis.h"
#include "plot/plot.h"

namespace plot {

double AxisPosition(engine::Ordering ordering, double value) {
  if (ordering != engine::Ordering::kProbability) return value;
  if (value == 1) return 0;  // not -0
  return value > 0 ? -std::log10(value) : std::numeric_limits<double>::infinity();
}

double ValueAt(engine::Ordering ordering, double position) {
  return ordering == engine::Ordering::kProbability ? std::pow(10.0, -position) : position;
}

void DistributionCollector::Add(const engine::OutcomeRow& row) {
  double value = 0;
  switch (ordering_) {
    case engine::Ordering::kChiSquare:
      value = row.chi_square;
      break;
    case engine::Ordering::kLikelihoodRatio:
      value = row.likelihood_ratio;
      break;
    case engine::Ordering::kProbability:
      value = row.probability;
      break;
    case engine::Ordering::kN11:
      value = row.counts.empty() ? 0 : row.counts[0];
      break;
  }
  if (std::isnan(value)) value = 0;
  const engine::Mark mark = row.marks[static_cast<int>(ordering_)];
  const double mass = row.multiplicity * row.probability;
  Insert(value, mass, mark == engine::Mark::kNotExtreme ? 0 : mass, mark);
  if (masses_.size() > max_values_) Pool();
}

void DistributionCollector::Insert(double value, double mass, double in_p, engine::Mark mark) {
  if (pool_width_ > 0) {
    const double position = AxisPosition(ordering_, value);
    if (std::isfinite(position)) {
      value = ValueAt(ordering_, (std::floor(position / pool_width_) + 0.5) * pool_width_);
    }
  }
  const auto [it, inserted] = masses_.try_emplace(value);
  Mass& entry = it->second;
  entry.mass += mass;
  entry.in_p += in_p;
  entry.mark = inserted ? mark : std::max(entry.mark, mark);
}

// Merges the values into cells of pool_width_ on the axis, widening the
// cells until at most half of max_values_ remain, so that pooling again
// is rare.
void DistributionCollector::Pool() {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  for (const auto& [value, mass] : masses_) {
    const double position = AxisPosition(ordering_, value);
    if (std::isfinite(position)) {
      lo = std::min(lo, position);
      hi = std::max(hi, position);
    }
  }
  if (!(hi > lo)) return;  // nothing to pool: at most one finite position
  double width = pool_width_ > 0 ? 2 * pool_width_
                                 : NiceCeiling((hi - lo) / static_cast<double>(max_values_ / 4 + 1));
  for (;;) {
    pool_width_ = width;
    std::map<double, Mass> old;
    old.swap(masses_);
    for (const auto& [value, mass] : old) Insert(value, mass.mass, mass.in_p, mass.mark);
    if (masses_.size() <= max_values_ / 2) return;
    width *= 2;
  }
}

}  // namespace plot
