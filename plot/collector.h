// The null distribution of one ordering, gathered from the rows an exact
// test's engine hands over: the probability mass at each value of the
// statistic, and the part of it counted in p.
#ifndef PLOT_COLLECTOR_H_
#define PLOT_COLLECTOR_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <unordered_map>

#include "engine/common/exact_test.h"

namespace plot {

/// Where a value of an ordering stands on the picture's horizontal axis:
/// the value itself, or -log10 of it for kProbability, whose values span
/// hundreds of decades (so that, as for X^2 and G^2, the more extreme
/// outcomes lie to the right). Not finite for a probability of 0.
double AxisPosition(engine::Ordering ordering, double value);
/// The inverse of AxisPosition.
double ValueAt(engine::Ordering ordering, double position);

/// Gathers the null distribution of one ordering from the rows an engine
/// hands to its sink: feed it every row (Add), then draw it.
class DistributionCollector {
 public:
  /// More distinct values than this are pooled (see pooled).
  static constexpr std::size_t kMaxValues = std::size_t{1} << 18;

  explicit DistributionCollector(engine::Ordering ordering, std::size_t max_values = kMaxValues)
      : ordering_(ordering), max_values_(max_values < 16 ? 16 : max_values) {}
  /// Adds multiplicity x probability (or the row's share, for a draw of
  /// Monte Carlo) at the row's value of the ordering
  /// (counts[0] for kN11), remembering whether that value counts in p. An
  /// undefined statistic (NaN: every expected count 0, as when a margin is
  /// 0 and one outcome holds all the mass) counts as 0.
  void Add(const engine::OutcomeRow& row);

  struct Mass {
    double mass = 0;
    /// The rows' mark; when rows of one value differ (only where values
    /// were pooled), the most extreme of them.
    engine::Mark mark = engine::Mark::kNotExtreme;
    double in_p = 0;  // the part of mass from rows beyond or tied
  };
  engine::Ordering ordering() const { return ordering_; }
  /// Calls visit(value, mass) for each value held, in increasing value.
  /// Pooled values stand at the mean position of their cell's values,
  /// weighted by mass.
  template <typename Visitor>
  void ForEachValue(Visitor&& visit) const {
    if (!pooled()) {
      for (const auto& [value, mass] : values_) visit(value, mass);
    } else {
      for (const auto& [value, mass] : PooledMasses()) visit(value, mass);
    }
  }
  /// Multiplies every mass gathered by factor (> 0): the share of each
  /// value when Monte Carlo made fewer draws than their shares assumed.
  void ScaleMasses(double factor);

  /// Mass by statistic value, as ForEachValue gives it.
  std::map<double, Mass> masses() const { return pooled() ? PooledMasses() : values_; }
  /// How many values or cells are held: at most max_values.
  std::size_t size() const { return values_.size() + cells_.size() + off_axis_.size(); }
  std::size_t max_values() const { return max_values_; }

  /// Whether more than max_values distinct values arrived, so that values
  /// are pooled in cells on the axis (AxisPosition) to bound the memory.
  /// Cells are finest across the range that holds all but a negligible
  /// share of the mass gathered so far, and widen with the distance from
  /// it, each no wider than a small share of any range drawn that reaches
  /// it; values counted in p and values not counted share no cell.
  bool pooled() const { return grid_.cells_per_core > 0; }

 private:
  // The cells once values are pooled: cells_per_core cells of one width
  // across the core [lo, lo + width], and beyond it cells that widen in
  // proportion to their distance from it.
  struct Grid {
    double lo = 0;
    double width = 1;
    double cells_per_core = 0;
    std::int64_t Index(double position) const;
  };
  struct Cell {
    double mass = 0;
    double in_p = 0;
    long double moment = 0;  // sum of mass x position
    double position = 0;     // of the first value, for a cell of no mass
    engine::Mark mark = engine::Mark::kNotExtreme;
  };
  // A cell's key: its index, twice, and 1 for values counted in p.
  using CellKey = std::int64_t;

  std::map<double, Mass> PooledMasses() const;
  void Insert(double position, double value, double mass, double in_p, long double moment, engine::Mark mark);
  void Pool();

  engine::Ordering ordering_;
  std::size_t max_values_;
  std::map<double, Mass> values_;  // by value, until pooled
  std::unordered_map<CellKey, Cell> cells_;  // once pooled
  std::map<double, Mass> off_axis_;  // values without a finite position, once pooled
  Grid grid_;
  double mass_ = 0;      // gathered so far
  double refit_at_ = 0;  // the mass at which the grid is fitted again
};

}  // namespace plot

#endif  // PLOT_COLLECTOR_H_
