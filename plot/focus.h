// Where the picture looks: with many outcomes the values of a statistic
// span a range far wider than the one that holds nearly all the mass (X^2
// up to thousands while the mass lies below 20). The picture draws the
// range that holds all but a negligible share of the mass, and the
// observed value with room on both sides; what lies beyond is gathered
// into one bar at each end.
#ifndef PLOT_FOCUS_H_
#define PLOT_FOCUS_H_

#include <cstddef>
#include <optional>
#include <vector>

#include "plot/bars.h"

namespace plot {

/// The share of the mass a picture may leave to its gathered bars, on
/// both sides together: on a log scale of the mass, and on a linear one,
/// where far more than that is too small to see.
inline constexpr double kNegligibleMass = 1e-9;
inline constexpr double kNegligibleMassOnLinear = 1e-4;

/// The indices [first, last] of the points (increasing position, not
/// empty) left once the longest run from each end whose mass is at most
/// tail_mass is taken away. first <= last.
struct Core {
  std::size_t first;
  std::size_t last;
};
Core CoreOf(const std::vector<Point>& points, double tail_mass);

/// The points beyond one end of the drawn range, gathered into one bar.
struct Gathered {
  double edge;  // every gathered position lies beyond it (strictly), no drawn one does
  double from;  // the least and greatest position gathered
  double to;
  double mass;
  double in_p;
  std::size_t values;
};

struct Focus {
  std::vector<Point> shown;        // drawn on the axis, in increasing position, each of some mass
  std::optional<Gathered> below;   // positions below below->edge
  std::optional<Gathered> above;   // positions above above->edge
  std::size_t left_out = 0;        // points of mass 0 (below the range of doubles) in the drawn range
};

/// The points to draw: those of the range that holds all but the share
/// negligible of the mass, widened to hold the observed position
/// (when finite) with room on both sides. An end is gathered only when what
/// lies beyond it spans at least twice the drawn range; otherwise every
/// point there is drawn, so that a small support keeps its whole picture.
/// A gathered end is moved out to a round number.
Focus FocusOn(const std::vector<Point>& points, double observed_position, double negligible = kNegligibleMass);

}  // namespace plot

#endif  // PLOT_FOCUS_H_
