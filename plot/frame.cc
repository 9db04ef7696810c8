#include "plot/frame.h"

#include <vector>

#include "plot/axis.h"

namespace plot {

double AxisLeft(const Focus& focus) { return focus.below ? kLeft + kSlot : kLeft; }
double AxisRight(const Focus& focus) { return focus.above ? kRight - kSlot : kRight; }

Frame MakeFrame(const BarSet& set, const Focus& focus, double observed, Scale scale, double bar_width, double top) {
  Frame frame{};
  frame.left = AxisLeft(focus);
  frame.right = AxisRight(focus);
  frame.top = top;
  // The gathered bars stand a little apart from the axis break.
  frame.below_centre = kLeft + kSlot / 2 - 6;
  frame.above_centre = kRight - kSlot / 2 + 6;
  const double pixels = frame.right - frame.left;

  if (set.bars.empty()) {
    frame.x0 = std::isfinite(observed) ? observed - 1 : -1;
    frame.x1 = std::isfinite(observed) ? observed + 1 : 1;
  } else if (!set.binned) {
    const double range = set.hi - set.lo;
    if (range > 0) {
      const double pad = bar_width / 2 + 8;
      const double units_per_pixel = range / (pixels - 2 * pad);
      frame.x0 = set.lo - pad * units_per_pixel;
      frame.x1 = set.hi + pad * units_per_pixel;
    } else {
      frame.x0 = set.lo - 1;
      frame.x1 = set.lo + 1;
    }
  } else {
    const double pad = (set.bars.back().to - set.bars.front().from) * 0.01;
    frame.x0 = set.bars.front().from - pad;
    frame.x1 = set.bars.back().to + pad;
  }
  if (std::isfinite(observed) && (observed < frame.x0 || observed > frame.x1)) {
    const double pad = (std::max(frame.x1, observed) - std::min(frame.x0, observed)) * 0.02;
    frame.x0 = std::min(frame.x0, observed - pad);
    frame.x1 = std::max(frame.x1, observed + pad);
  }

  double least = INFINITY;
  double most = 0;
  const auto take = [&](double mass, double in_p) {
    most = std::max(most, mass);
    least = std::min(least, mass);
    if (in_p > 0) least = std::min(least, in_p);
  };
  for (const Bar& bar : set.bars) take(bar.mass, bar.in_p);
  if (focus.below) take(focus.below->mass, focus.below->in_p);
  if (focus.above) take(focus.above->mass, focus.above->in_p);
  if (!(most > 0)) {
    most = 1;
    least = 1;
  }
  frame.log = scale == Scale::kLog || (scale == Scale::kAuto && most > 1e3 * least);
  if (frame.log) {
    const double upper = std::ceil(std::log10(most) - 1e-9);
    const double depth = upper - std::log10(least);
    double bottom = std::floor(std::log10(least) - std::max(0.3, 0.03 * depth));
    if (upper - bottom < 1) bottom = upper - 1;
    frame.y0 = std::max(bottom, upper - kMaxDecades);
    frame.y1 = upper;
  } else {
    const std::vector<Tick> ticks = LinearTicks(0, most, 6);
    const double step = ticks.size() >= 2 ? ticks[1].value - ticks[0].value : most;
    frame.y0 = 0;
    frame.y1 = step * std::ceil(most / step - 1e-9);
  }
  return frame;
}

}  // namespace plot
