// From a null distribution to the bars drawn: one bar per value when the
// values are few and far enough apart to tell, otherwise bins of one width.
// Bins are aligned so that none holds both mass counted in p and mass not
// counted, whenever the values in p lie on one side of the others.
#ifndef PLOT_BARS_H_
#define PLOT_BARS_H_

#include <cstddef>
#include <vector>

#include "plot/plot.h"

namespace plot {

/// One value of the distribution on the axis.
struct Point {
  double position;  // AxisPosition of the value
  double mass;
  double in_p;  // the part of mass counted in p
};

/// The values of distribution that have a place on the axis, in
/// increasing position, values equal to within a relative 1e-9 merged into
/// one (rounding can split equal statistics). Values without a finite
/// position (a probability below the range of doubles) are left out and
/// counted in *left_out. A mass below the range of doubles is 0.
std::vector<Point> PointsOf(const DistributionCollector& distribution, std::size_t* left_out);

struct Bar {
  double from;  // the positions covered: one value (from == to), or a bin [from, to)
  double to;
  double mass;
  double in_p;
  std::size_t values;  // how many points it holds
};

struct BarSet {
  std::vector<Bar> bars;  // in increasing position, none empty
  bool binned = false;
  double bin_width = 0;  // binned only
  std::size_t values = 0;
  double lo = 0;  // the least and greatest position of a point
  double hi = 0;
  // Some bar holds both mass in p and mass not in p.
  bool mixed = false;
};

inline constexpr std::size_t kMaxBarsPerValue = 80;
inline constexpr double kTargetBins = 60;

/// The bars for points (increasing position, each of some mass) drawn
/// across width pixels:
/// one bar per point when there are at most kMaxBarsPerValue of them and
/// no two are closer than min_gap pixels (the positions' range spread over
/// width); otherwise bins of a nice width, about kTargetBins of them
/// (within a factor 1.6). When
/// the points lie on a lattice (every gap a whole multiple of the least,
/// as for n11 or for X^2 under equal probabilities) the bin width is a
/// whole number of lattice steps, so that every bin holds as many lattice
/// points.
BarSet MakeBars(const std::vector<Point>& points, double width, double min_gap);

}  // namespace plot

#endif  // PLOT_BARS_H_
