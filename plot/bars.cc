#include "plot/bars.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "plot/axis.h"

namespace plot {

std::vector<Point> PointsOf(const DistributionCollector& distribution, std::size_t* left_out) {
  std::vector<Point> points;
  std::size_t dropped = 0;
  bool have_last = false;
  double last_value = 0;
  distribution.ForEachValue([&](double value, const DistributionCollector::Mass& mass) {
    const double position = AxisPosition(distribution.ordering(), value);
    if (!(mass.mass >= 0) || !std::isfinite(mass.mass) || !std::isfinite(position)) {
      ++dropped;
      return;
    }
    // The values come in increasing value: equal statistics split by rounding
    // are neighbours.
    if (have_last && value - last_value <= 1e-9 * std::max(std::fabs(value), std::fabs(last_value))) {
      points.back().mass += mass.mass;
      points.back().in_p += mass.in_p;
    } else {
      points.push_back({position, mass.mass, mass.in_p});
    }
    have_last = true;
    last_value = value;
  });
  std::sort(points.begin(), points.end(),
            [](const Point& a, const Point& b) { return a.position < b.position; });
  if (left_out != nullptr) *left_out = dropped;
  return points;
}

namespace {

enum class Kind { kOut, kIn, kBoth };

Kind KindOf(double mass, double in_p) {
  if (in_p <= 0) return Kind::kOut;
  return in_p >= mass ? Kind::kIn : Kind::kBoth;
}

// Where the points in p lie when they are all on one side of the others:
// the index of the first point of the right-hand group and which group is
// in p. Nothing when a point holds both kinds, the kinds interleave, or
// there is only one kind.
struct Split {
  std::size_t first_right;
  bool in_p_right;
};

std::optional<Split> FindSplit(const std::vector<Point>& points) {
  std::size_t changes = 0;
  std::size_t first_right = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Kind kind = KindOf(points[i].mass, points[i].in_p);
    if (kind == Kind::kBoth) return std::nullopt;
    if (i > 0 && kind != KindOf(points[i - 1].mass, points[i - 1].in_p)) {
      ++changes;
      first_right = i;
    }
  }
  if (changes != 1) return std::nullopt;
  return Split{first_right, KindOf(points[first_right].mass, points[first_right].in_p) == Kind::kIn};
}

// The lattice step of the points: their least gap when every gap is a
// whole multiple of it, to within rounding; nothing otherwise.
std::optional<double> LatticeStep(const std::vector<Point>& points) {
  double step = INFINITY;
  for (std::size_t i = 1; i < points.size(); ++i) {
    step = std::min(step, points[i].position - points[i - 1].position);
  }
  if (!(step > 0) || !std::isfinite(step)) return std::nullopt;
  if ((points.back().position - points.front().position) / step > 1e9) return std::nullopt;
  for (std::size_t i = 1; i < points.size(); ++i) {
    const double steps = (points[i].position - points[i - 1].position) / step;
    if (std::fabs(steps - std::round(steps)) > 1e-6) return std::nullopt;
  }
  return step;
}

void AddToBar(const Point& point, Bar* bar) {
  bar->mass += point.mass;
  bar->in_p += point.in_p;
  ++bar->values;
}

}  // namespace

BarSet MakeBars(const std::vector<Point>& points, double width, double min_gap) {
  BarSet set;
  if (points.empty()) return set;
  set.values = points.size();
  set.lo = points.front().position;
  set.hi = points.back().position;
  const double range = set.hi - set.lo;

  double least_gap = INFINITY;
  for (std::size_t i = 1; i < points.size(); ++i) {
    least_gap = std::min(least_gap, points[i].position - points[i - 1].position);
  }
  if (points.size() == 1 || !(range > 0) || (points.size() <= kMaxBarsPerValue && least_gap / range * width >= min_gap)) {
    for (const Point& point : points) {
      set.bars.push_back({point.position, point.position, point.mass, point.in_p, 1});
    }
  } else {
    set.binned = true;
    const std::optional<Split> split = FindSplit(points);
    const std::optional<double> lattice = LatticeStep(points);
    double anchor = 0;  // a bin edge
    if (lattice) {
      const double steps = std::max(1.0, std::round(NiceRound(range / *lattice / kTargetBins)));
      set.bin_width = steps * *lattice;
      // Edges halfway between lattice points; one beside the group in p.
      if (!split) {
        anchor = set.lo - *lattice / 2;
      } else if (split->in_p_right) {
        anchor = points[split->first_right].position - *lattice / 2;
      } else {
        anchor = points[split->first_right - 1].position + *lattice / 2;
      }
    } else {
      set.bin_width = NiceRound(range / kTargetBins);
      anchor = split ? (points[split->first_right - 1].position + points[split->first_right].position) / 2
                     : std::floor(set.lo / set.bin_width) * set.bin_width;
    }
    // The bin of each point, by position; rounding may not carry a point
    // across the edge between the groups (the edge of bin 0).
    const auto bin_of = [&](std::size_t i) {
      double bin = std::floor((points[i].position - anchor) / set.bin_width);
      if (split) bin = i >= split->first_right ? std::max(bin, 0.0) : std::min(bin, -1.0);
      return bin;
    };
    double current = bin_of(0);
    set.bars.push_back({anchor + current * set.bin_width, anchor + (current + 1) * set.bin_width, 0, 0, 0});
    for (std::size_t i = 0; i < points.size(); ++i) {
      const double bin = std::max(bin_of(i), current);  // positions increase
      if (bin != current) {
        current = bin;
        set.bars.push_back({anchor + bin * set.bin_width, anchor + (bin + 1) * set.bin_width, 0, 0, 0});
      }
      AddToBar(points[i], &set.bars.back());
    }
  }
  for (const Bar& bar : set.bars) {
    if (KindOf(bar.mass, bar.in_p) == Kind::kBoth) set.mixed = true;
  }
  return set;
}

}  // namespace plot
