#include "plot/collector.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "plot/bars.h"
#include "plot/focus.h"

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
  const double mass = row.share >= 0 ? row.share : row.multiplicity * row.probability;
  const double position = AxisPosition(ordering_, value);
  Insert(position, value, mass, mark == engine::Mark::kNotExtreme ? 0 : mass,
         static_cast<long double>(mass) * position, mark);
  mass_ += mass;
  // Once pooled, the cells are fitted again whenever the mass gathered has
  // doubled: the first fit may have seen only a far tail.
  if (size() > max_values_ || (pooled() && mass_ >= refit_at_)) Pool();
}

void DistributionCollector::ScaleMasses(double factor) {
  for (auto* values : {&values_, &off_axis_}) {
    for (auto& [value, mass] : *values) {
      mass.mass *= factor;
      mass.in_p *= factor;
    }
  }
  for (auto& [key, cell] : cells_) {
    cell.mass *= factor;
    cell.in_p *= factor;
    cell.moment *= factor;
  }
  mass_ *= factor;
  refit_at_ *= factor;
}

std::int64_t DistributionCollector::Grid::Index(double position) const {
  const double hi = lo + width;
  double u = 0;
  if (position < lo) {
    u = -cells_per_core * std::log1p((lo - position) / width);
  } else if (position > hi) {
    u = cells_per_core * (1 + std::log1p((position - hi) / width));
  } else {
    u = cells_per_core * (position - lo) / width;
  }
  // Far enough for any data; keeps the conversion defined.
  return static_cast<std::int64_t>(std::floor(std::clamp(u, -1e15, 1e15)));
}

void DistributionCollector::Insert(double position, double value, double mass, double in_p, long double moment,
                                   engine::Mark mark) {
  if (!pooled() || !std::isfinite(position)) {
    auto& values = pooled() ? off_axis_ : values_;
    const auto [it, inserted] = values.try_emplace(value);
    Mass& entry = it->second;
    entry.mass += mass;
    entry.in_p += in_p;
    entry.mark = inserted ? mark : std::max(entry.mark, mark);
    return;
  }
  const bool counted = mark != engine::Mark::kNotExtreme;
  const auto [it, inserted] = cells_.try_emplace(grid_.Index(position) * 2 + (counted ? 1 : 0));
  Cell& cell = it->second;
  if (inserted) {
    cell.position = position;
    cell.mark = mark;
  }
  cell.mass += mass;
  cell.in_p += in_p;
  cell.moment += moment;
  cell.mark = std::max(cell.mark, mark);
}

// Pools every value or cell held into the cells of a grid fitted to the
// mass gathered so far, coarser and coarser until at most half of
// max_values_ remain, so that pooling again for want of room is rare.
void DistributionCollector::Pool() {
  struct Atom {
    double position;
    double value;
    double mass;
    double in_p;
    long double moment;
    engine::Mark mark;
  };
  std::vector<Atom> atoms;
  atoms.reserve(size());
  for (const auto& [value, mass] : values_) {
    const double position = AxisPosition(ordering_, value);
    atoms.push_back({position, value, mass.mass, mass.in_p, static_cast<long double>(mass.mass) * position, mass.mark});
  }
  for (const auto& [key, cell] : cells_) {
    const double position = cell.mass > 0 ? static_cast<double>(cell.moment / cell.mass) : cell.position;
    atoms.push_back({position, ValueAt(ordering_, position), cell.mass, cell.in_p, cell.moment, cell.mark});
  }
  values_.clear();
  cells_.clear();

  // The core: the range of the finite positions that holds all but a
  // negligible mass. Mass only grows, so the core of the final
  // distribution holds this one.
  std::vector<Point> points;
  for (const Atom& atom : atoms) {
    if (std::isfinite(atom.position)) points.push_back({atom.position, atom.mass, atom.in_p});
  }
  std::sort(points.begin(), points.end(), [](const Point& a, const Point& b) { return a.position < b.position; });
  if (!points.empty()) {
    const Core core = CoreOf(points, kNegligibleMass / 2);
    grid_.lo = points[core.first].position;
    grid_.width = points[core.last].position - grid_.lo;
    if (!(grid_.width > 0)) grid_.width = std::max(1e-9 * (points.back().position - points.front().position), 1e-300);
  }

  for (double cells = static_cast<double>(max_values_ / 4);; cells /= 2) {
    grid_.cells_per_core = cells;
    cells_.clear();
    off_axis_.clear();
    for (const Atom& atom : atoms) Insert(atom.position, atom.value, atom.mass, atom.in_p, atom.moment, atom.mark);
    if (size() <= max_values_ / 2 || cells < 1e-6) break;
  }
  // A fit to less mass than this says nothing of where the mass lies.
  refit_at_ = std::max(2 * mass_, 1e-12);
}

std::map<double, DistributionCollector::Mass> DistributionCollector::PooledMasses() const {
  std::map<double, Mass> masses = off_axis_;
  for (const auto& [key, cell] : cells_) {
    const double position = cell.mass > 0 ? static_cast<double>(cell.moment / cell.mass) : cell.position;
    const auto [it, inserted] = masses.try_emplace(ValueAt(ordering_, position));
    Mass& entry = it->second;
    entry.mass += cell.mass;
    entry.in_p += cell.in_p;
    entry.mark = inserted ? cell.mark : std::max(entry.mark, cell.mark);
  }
  return masses;
}

}  // namespace plot
