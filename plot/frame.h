// The plot area of the picture and its mapping from axis positions and
// masses to the canvas.
#ifndef PLOT_FRAME_H_
#define PLOT_FRAME_H_

#include <algorithm>
#include <cmath>

#include "plot/bars.h"
#include "plot/focus.h"
#include "plot/plot.h"

namespace plot {

// The canvas, in user units (pixels at the default size).
inline constexpr double kWidth = 800;
inline constexpr double kHeight = 500;
inline constexpr double kLeft = 88;  // the plot area, gathered bars included
inline constexpr double kRight = 776;
inline constexpr double kBottom = 406;
inline constexpr double kTop = 100;  // below a one-line sub-title
inline constexpr double kTopBelowTwoLines = 112;
// The width a gathered bar takes at an end of the axis, apart from the rest.
inline constexpr double kSlot = 60;
inline constexpr double kGatheredBarWidth = 24;
// A log scale of the mass reaches at most this many decades below the
// decade of the largest bar; less mass is drawn as a stub at the floor.
inline constexpr int kMaxDecades = 20;
// The height of a bar whose mass lies below the floor, or too small for a
// pixel on a linear scale.
inline constexpr double kStub = 3;

struct Frame {
  double left, right;  // the pixels of the bars on the axis (between any gathered bars)
  double top;
  double x0, x1;  // the positions at left and right
  bool log = false;
  double y0, y1;  // the vertical domain at the bottom and top: mass, or log10 of mass
  // Where the gathered bars stand, when there are any.
  double below_centre = kLeft;
  double above_centre = kRight;

  double X(double position) const { return left + (position - x0) / (x1 - x0) * (right - left); }
  // The height of the mass axis at value v (a mass, or a log10 of one).
  double AtLevel(double v) const { return kBottom - (v - y0) / (y1 - y0) * (kBottom - top); }
  double Y(double mass) const {
    return std::clamp(AtLevel(log ? std::log10(mass) : mass), top, kBottom);
  }
  // The top of a bar of mass: never less than a stub, so that every bar
  // of some mass shows.
  double BarTop(double mass) const { return std::min(Y(mass), kBottom - kStub); }
  // A mass a log scale has no room for.
  bool BelowFloor(double mass) const { return log && mass > 0 && std::log10(mass) < y0; }
};

/// The frame for the bars of set between the gathered bars of focus: the
/// horizontal domain from the bars (bar_width pixels wide when each is a
/// value) and the observed position, the vertical from every mass drawn.
/// top: kTop, or kTopBelowTwoLines.
Frame MakeFrame(const BarSet& set, const Focus& focus, double observed, Scale scale, double bar_width, double top);

/// The pixels between the gathered bars.
double AxisLeft(const Focus& focus);
double AxisRight(const Focus& focus);

}  // namespace plot

#endif  // PLOT_FRAME_H_
