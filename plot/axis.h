// Axes of the picture: tick positions at nice numbers (1, 2 or 5 times a
// power of ten), their labels, and the text form of values shown.
#ifndef PLOT_AXIS_H_
#define PLOT_AXIS_H_

#include <string>
#include <vector>

namespace plot {

struct Tick {
  double value;
  std::string label;
};

/// The smallest number 1, 2 or 5 times a power of ten that is at least x
/// (x > 0 and finite).
double NiceCeiling(double x);

/// The number 1, 2 or 5 times a power of ten nearest to x on a log scale
/// (x > 0 and finite): within a factor 1.6 of x.
double NiceRound(double x);

/// Ticks at the multiples of one nice step within [lo, hi], the smallest
/// step (at least min_step) that gives at most max_ticks of them. Labels
/// carry as many decimals as the step needs, in exponent form when the
/// values are very large or the step very small.
std::vector<Tick> LinearTicks(double lo, double hi, int max_ticks, double min_step = 0);

/// Ticks at the powers of ten 10^e for lo <= e <= hi, every d decades, d
/// the smallest of 1, 2, 5, 10, 20, 50, ... that gives at most max_ticks.
/// Each tick's value is its exponent e (10^e may lie beyond a double).
std::vector<Tick> DecadeTicks(int lo, int hi, int max_ticks);

/// 10^e as a label: "1", "0.1", "0.01", "0.001", then "1e-04", "1e-300";
/// "10" to "1000", then "1e+04".
std::string DecadeLabel(int e);

/// value with at most digits significant digits, as printf's %g writes it,
/// never "-0".
std::string FormatSignificant(double value, int digits);

}  // namespace plot

#endif  // PLOT_AXIS_H_
