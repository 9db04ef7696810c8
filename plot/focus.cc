#include "plot/focus.h"

#include <algorithm>
#include <cmath>

#include "plot/axis.h"

namespace plot {

namespace {

// The room left on each side of the observed value, as a share of the
// drawn range.
constexpr double kRoom = 0.06;

// An end is gathered when what lies beyond it is at least this many times
// as wide as the drawn range.
constexpr double kGatherRatio = 2;

Gathered Gather(std::vector<Point>::const_iterator begin, std::vector<Point>::const_iterator end) {
  Gathered gathered{0, begin->position, (end - 1)->position, 0, 0, 0};
  for (auto it = begin; it != end; ++it) {
    gathered.mass += it->mass;
    gathered.in_p += it->in_p;
    ++gathered.values;
  }
  return gathered;
}

}  // namespace

Core CoreOf(const std::vector<Point>& points, double tail_mass) {
  const std::size_t n = points.size();
  std::size_t first = 0;
  for (double run = 0; first < n; ++first) {
    run += points[first].mass;
    if (run > tail_mass) break;
  }
  std::size_t last = n;
  for (double run = 0; last > 0; --last) {
    run += points[last - 1].mass;
    if (run > tail_mass) break;
  }
  // last is one past the core's end here.
  if (first >= last) return {0, n - 1};  // less mass in all than in a tail
  return {first, last - 1};
}

Focus FocusOn(const std::vector<Point>& points, double observed_position, double negligible) {
  Focus focus;
  if (points.empty()) return focus;
  double total = 0;
  for (const Point& point : points) total += point.mass;
  const Core core = CoreOf(points, negligible / 2 * total);
  double lo = points[core.first].position;
  double hi = points[core.last].position;
  if (std::isfinite(observed_position)) {
    lo = std::min(lo, observed_position);
    hi = std::max(hi, observed_position);
    const double room = kRoom * (hi - lo);
    lo = std::min(lo, observed_position - room);
    hi = std::max(hi, observed_position + room);
  }
  const double width = hi - lo;
  // A gathered end is cut at a round number, a step of about a twentieth
  // of the drawn range, so that its label is short.
  const double step = width > 0 ? NiceCeiling(width / 20) : 0;

  // The drawn points are [first, last).
  auto first = points.begin();
  auto last = points.end();
  if (points.front().position < lo && lo - points.front().position >= kGatherRatio * width) {
    if (step > 0) lo = std::floor(lo / step) * step;
    first = std::lower_bound(points.begin(), points.end(), lo,
                             [](const Point& point, double x) { return point.position < x; });
  }
  if (points.back().position > hi && points.back().position - hi >= kGatherRatio * width) {
    if (step > 0) hi = std::ceil(hi / step) * step;
    last = std::upper_bound(points.begin(), points.end(), hi,
                            [](double x, const Point& point) { return x < point.position; });
  }
  for (auto it = first; it != last; ++it) {
    if (it->mass > 0) {
      focus.shown.push_back(*it);
    } else {
      ++focus.left_out;
    }
  }
  if (first != points.begin()) {
    focus.below = Gather(points.begin(), first);
    focus.below->edge = lo;
  }
  if (last != points.end()) {
    focus.above = Gather(last, points.end());
    focus.above->edge = hi;
  }
  return focus;
}

}  // namespace plot
