// A picture of an exact test's null distribution: the probability mass of
// each value of one statistic over every outcome, the observed value marked,
// and the mass counted in p shaded. Written as a self-contained SVG file.
#ifndef PLOT_PLOT_H_
#define PLOT_PLOT_H_

#include <cstdint>
#include <string>

#include "plot/collector.h"

namespace plot {

enum class Scale { kAuto, kLinear, kLog };

struct PlotRequest {
  std::string path;      // the SVG file to write (replaced if it exists)
  std::string title;     // names the test and the data
  std::string caption;   // p and mid-p, as the text report prints them
  double observed = 0;   // the observed value of the ordering drawn
  Scale scale = Scale::kAuto;  // kAuto: log when the masses span more than three decades
  // Not 0: the distribution is a histogram of this many Monte Carlo draws
  // (each mass the share of the draws at a value), which the picture says.
  std::uint64_t draws = 0;
};

/// Writes the picture. Throws std::runtime_error, whose what() is one line
/// naming the file and the reason, when the file cannot be written; a
/// partly written file is removed.
void WritePlot(const PlotRequest& request, const DistributionCollector& distribution);

/// The picture as text: what WritePlot writes.
std::string PlotSvg(const PlotRequest& request, const DistributionCollector& distribution);

}  // namespace plot

#endif  // PLOT_PLOT_H_
