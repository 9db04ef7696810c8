// A picture of an exact test's null distribution: the probability mass of
// each value of one statistic over every outcome, the observed value marked,
// and the mass counted in p shaded. Written as a self-contained SVG file.
#ifndef PLOT_PLOT_H_
#define PLOT_PLOT_H_

#include <map>
#include <string>

#include "engine/exact_test.h"

namespace plot {

/// Gathers the null distribution of one ordering from the rows an engine
/// hands to its sink: feed it every row (Add), then draw it.
class DistributionCollector {
 public:
  explicit DistributionCollector(engine::Ordering ordering) : ordering_(ordering) {}
  /// Adds multiplicity x probability at the row's value of the ordering
  /// (counts[0] for kN11), remembering whether that value counts in p.
  void Add(const engine::OutcomeRow& row);

  struct Mass {
    double mass = 0;
    engine::Mark mark = engine::Mark::kNotExtreme;
  };
  engine::Ordering ordering() const { return ordering_; }
  /// Mass by statistic value, in increasing value.
  const std::map<double, Mass>& masses() const { return masses_; }

 private:
  engine::Ordering ordering_;
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
/// naming the file and the reason, when the file cannot be written.
void WritePlot(const PlotRequest& request, const DistributionCollector& distribution);

}  // namespace plot

#endif  // PLOT_PLOT_H_
