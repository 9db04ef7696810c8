// A picture of an exact test's null distribution: the probability mass of
// each value of one statistic over every outcome, the observed value marked,
// and the mass counted in p shaded. Written as a self-contained SVG file.
#ifndef PLOT_PLOT_H_
#define PLOT_PLOT_H_

#include <cstddef>
#include <map>
#include <string>

#include "engine/exact_test.h"

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
  /// More distinct values than this are pooled (see pool_width).
  static constexpr std::size_t kMaxValues = std::size_t{1} << 18;

  explicit DistributionCollector(engine::Ordering ordering, std::size_t max_values = kMaxValues)
      : ordering_(ordering), max_values_(max_values < 4 ? 4 : max_values) {}
  /// Adds multiplicity x probability at the row's value of the ordering
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
  /// Mass by statistic value, in increasing value.
  const std::map<double, Mass>& masses() const { return masses_; }
  /// 0 while every distinct value is kept apart. Once more than max_values
  /// distinct values arrived, values are pooled in cells of this width on
  /// the axis (AxisPosition), each held at its cell's centre, so that
  /// memory stays bounded; the cells are far narrower than the bins drawn.
  double pool_width() const { return pool_width_; }
  bool pooled() const { return pool_width_ > 0; }
  std::size_t max_values() const { return max_values_; }

 private:
  void Insert(double value, double mass, double in_p, engine::Mark mark);
  void Pool();

  engine::Ordering ordering_;
  std::size_t max_values_;
  double pool_width_ = 0;
  std::map<double, Mass> masses_;
};

enum class Scale { kAuto, kLinear, kLog };

struct PlotRequest {
  std::string path;      // the SVG file to write (replaced if it exists)
  std::string title;     // names the test and the data
  std::string caption;   // p and mid-p, as the text report prints them
  double observed = 0;   // the observed value of the ordering drawn
  Scale scale = Scale::kAuto;  // kAuto: log when the masses span more than three decades
};

/// Writes the picture. Throws std::runtime_error, whose what() is one line
/// naming the file and the reason, when the file cannot be written; a
/// partly written file is removed.
void WritePlot(const PlotRequest& request, const DistributionCollector& distribution);

/// The picture as text: what WritePlot writes.
std::string PlotSvg(const PlotRequest& request, const DistributionCollector& distribution);

}  // namespace plot

#endif  // PLOT_PLOT_H_
