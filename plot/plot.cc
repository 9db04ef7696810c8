#include "plot/plot.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "plot/axis.h"
#include "plot/bars.h"
#include "plot/text_fit.h"
#include "plot/write_file.h"
#include "plot/xml_writer.h"

namespace plot {

namespace {

// The canvas, in user units (pixels at the default size).
constexpr double kWidth = 800;
constexpr double kHeight = 500;
constexpr double kLeft = 88;  // the plot area
constexpr double kRight = 776;
constexpr double kTop = 100;
constexpr double kBottom = 406;
constexpr double kMargin = 20;  // of the lines of text

// Colours told apart by lightness as well as hue (blue and vermilion stay
// apart for the common colour-vision deficiencies); the bars in p also
// carry a hatch, so that grey print keeps them apart.
constexpr const char* kInFill = "#c2450f";
constexpr const char* kInEdge = "#5e2106";
constexpr const char* kInHatch = "#f4c9a8";
constexpr const char* kOutFill = "#a8cbe6";
constexpr const char* kOutEdge = "#3c6f99";
constexpr const char* kInk = "#222222";
constexpr const char* kQuiet = "#555555";
constexpr const char* kGrid = "#e2e2e2";

struct Statistic {
  const char* key;     // as in reports
  const char* symbol;  // in labels: "observed X² = 5"
  const char* axis;    // the horizontal axis's label
};

Statistic StatisticOf(engine::Ordering ordering) {
  switch (ordering) {
    case engine::Ordering::kChiSquare:
      return {"chi_square", "X\u00B2", "Pearson X\u00B2"};
    case engine::Ordering::kLikelihoodRatio:
      return {"likelihood_ratio", "G\u00B2", "likelihood ratio G\u00B2"};
    case engine::Ordering::kProbability:
      return {"probability", "P", "\u2212log10 P, P the probability of one outcome (further right: less probable)"};
    case engine::Ordering::kN11:
      return {"n11", "n11", "n11, the table's upper left cell"};
  }
  return {"", "", ""};
}

// The mapping of the plot area.
struct Frame {
  double x0, x1;  // the horizontal domain, axis positions
  bool log = false;
  double y0, y1;  // the vertical domain: mass, or log10 of mass

  double X(double position) const { return kLeft + (position - x0) / (x1 - x0) * (kRight - kLeft); }
  double Y(double mass) const {
    const double v = log ? std::log10(mass) : mass;
    const double y = kBottom - (v - y0) / (y1 - y0) * (kBottom - kTop);
    return std::clamp(y, kTop, kBottom);
  }
};

std::string Grouped(std::size_t n) {
  std::string digits = std::to_string(n);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<std::size_t>(i), ",");
  return digits;
}

void Line(XmlWriter& svg, double x1, double y1, double x2, double y2) {
  svg.Open("line");
  svg.Attribute("x1", x1);
  svg.Attribute("y1", y1);
  svg.Attribute("x2", x2);
  svg.Attribute("y2", y2);
}

void Rect(XmlWriter& svg, double x, double y, double width, double height) {
  svg.Open("rect");
  svg.Attribute("x", x);
  svg.Attribute("y", y);
  svg.Attribute("width", width);
  svg.Attribute("height", height);
}

// One line of text centred at x, shrunk or cut to fit the canvas. A cut
// line keeps the whole text as its tooltip.
void CentredLine(XmlWriter& svg, std::string_view text, double y, double size, const char* weight,
                 const char* fill) {
  const FittedLine line = FitLine(text, kWidth - 2 * kMargin, size, 10, weight != nullptr);
  svg.Open("text");
  svg.Attribute("x", kWidth / 2);
  svg.Attribute("y", y);
  svg.Attribute("text-anchor", "middle");
  svg.Attribute("font-size", line.font_size);
  if (weight != nullptr) svg.Attribute("font-weight", weight);
  svg.Attribute("fill", fill);
  if (line.shortened) svg.Element("title", text);
  svg.Text(line.text);
  svg.Close();
}

void Defs(XmlWriter& svg) {
  svg.Open("defs");
  svg.Open("pattern");
  svg.Attribute("id", "in-p-hatch");
  svg.Attribute("patternUnits", "userSpaceOnUse");
  svg.Attribute("width", 6.0);
  svg.Attribute("height", 6.0);
  svg.Attribute("patternTransform", "rotate(45)");
  Rect(svg, 0, 0, 6, 6);
  svg.Attribute("fill", kInFill);
  svg.Close();
  Line(svg, 0, 0, 0, 6);
  svg.Attribute("stroke", kInHatch);
  svg.Attribute("stroke-width", 1.6);
  svg.Close();
  svg.Close();
  svg.Close();
}

// The frame: the horizontal domain from the bars (and the observed value),
// the vertical from their masses.
Frame MakeFrame(const BarSet& set, double observed, Scale scale, double bar_width, bool* log_scale) {
  Frame frame{};
  if (set.bars.empty()) {
    frame.x0 = std::isfinite(observed) ? observed - 1 : -1;
    frame.x1 = std::isfinite(observed) ? observed + 1 : 1;
  } else if (!set.binned) {
    const double range = set.hi - set.lo;
    if (range > 0) {
      const double pad = bar_width / 2 + 8;
      const double units_per_pixel = range / (kRight - kLeft - 2 * pad);
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
    const double pad = (frame.x1 - frame.x0) * 0.02;
    frame.x0 = std::min(frame.x0, observed - pad);
    frame.x1 = std::max(frame.x1, observed + pad);
  }

  double least = INFINITY;
  double most = 0;
  for (const Bar& bar : set.bars) {
    most = std::max(most, bar.mass);
    least = std::min(least, bar.mass);
    if (bar.in_p > 0) least = std::min(least, bar.in_p);
  }
  if (!(most > 0)) {
    most = 1;
    least = 1;
  }
  frame.log = scale == Scale::kLog || (scale == Scale::kAuto && most > 1e3 * least);
  if (frame.log) {
    const double top = std::ceil(std::log10(most) - 1e-9);
    const double depth = top - std::log10(least);
    double bottom = std::floor(std::log10(least) - std::max(0.3, 0.03 * depth));
    if (top - bottom < 1) bottom = top - 1;
    frame.y0 = bottom;
    frame.y1 = top;
  } else {
    const std::vector<Tick> ticks = LinearTicks(0, most, 6);
    const double step = ticks.size() >= 2 ? ticks[1].value - ticks[0].value : most;
    frame.y0 = 0;
    frame.y1 = step * std::ceil(most / step - 1e-9);
  }
  *log_scale = frame.log;
  return frame;
}

std::string Mass(double mass) { return FormatSignificant(mass, 6); }

// The tooltip of a bar, in words.
std::string BarTitle(const Bar& bar, bool binned, engine::Ordering ordering) {
  const Statistic statistic = StatisticOf(ordering);
  std::string title;
  if (!binned) {
    title = std::string(statistic.symbol) + " = " + FormatSignificant(ValueAt(ordering, bar.from), 8);
  } else {
    const std::string name = ordering == engine::Ordering::kProbability ? "\u2212log10 P" : statistic.symbol;
    title = name + " from " + FormatSignificant(bar.from, 6) + " to " + FormatSignificant(bar.to, 6) + " (" +
            Grouped(bar.values) + (bar.values == 1 ? " value" : " values") + ")";
  }
  title += ": mass " + Mass(bar.mass);
  if (bar.in_p <= 0) {
    title += ", not in p";
  } else if (bar.in_p >= bar.mass) {
    title += ", in p";
  } else {
    title += ", of which " + Mass(bar.in_p) + " in p";
  }
  return title;
}

void DrawBars(XmlWriter& svg, const BarSet& set, const Frame& frame, double bar_width,
              engine::Ordering ordering) {
  svg.Open("g");
  svg.Attribute("class", "bars");
  svg.Attribute("stroke-width", 0.8);
  const double base = frame.Y(frame.log ? std::pow(10.0, frame.y0) : 0);
  for (const Bar& bar : set.bars) {
    double left = 0;
    double right = 0;
    if (set.binned) {
      left = frame.X(bar.from);
      right = frame.X(bar.to);
      const double gap = right - left >= 5 ? 1 : 0;
      left += gap / 2;
      right -= gap / 2;
    } else {
      left = frame.X(bar.from) - bar_width / 2;
      right = left + bar_width;
    }
    // Every bar of some mass shows, however small.
    const auto top_of = [&](double mass) { return std::min(frame.Y(mass), base - 1.5); };

    svg.Open("g");
    svg.Attribute("class", bar.in_p <= 0 ? "bar" : bar.in_p >= bar.mass ? "bar in-p" : "bar mixed");
    if (set.binned) {
      svg.Attribute("data-from", FormatExact(bar.from));
      svg.Attribute("data-to", FormatExact(bar.to));
    } else {
      svg.Attribute("data-value", FormatExact(ValueAt(ordering, bar.from)));
    }
    svg.Attribute("data-mass", FormatExact(bar.mass));
    svg.Attribute("data-mass-in-p", FormatExact(bar.in_p));
    svg.Element("title", BarTitle(bar, set.binned, ordering));
    const bool whole_in_p = bar.in_p >= bar.mass;
    double top = top_of(bar.mass);
    Rect(svg, left, top, right - left, base - top);
    svg.Attribute("fill", whole_in_p ? "url(#in-p-hatch)" : kOutFill);
    svg.Attribute("stroke", whole_in_p ? kInEdge : kOutEdge);
    svg.Close();
    if (bar.in_p > 0 && !whole_in_p) {
      top = top_of(bar.in_p);
      Rect(svg, left, top, right - left, base - top);
      svg.Attribute("fill", "url(#in-p-hatch)");
      svg.Attribute("stroke", kInEdge);
      svg.Close();
    }
    svg.Close();
  }
  svg.Close();
}

void DrawAxes(XmlWriter& svg, const Frame& frame, const BarSet& set, engine::Ordering ordering) {
  // The vertical axis: grid lines first, under the bars' outlines.
  std::vector<Tick> y_ticks;
  if (frame.log) {
    y_ticks = DecadeTicks(static_cast<int>(frame.y0), static_cast<int>(frame.y1), 7);
  } else {
    y_ticks = LinearTicks(frame.y0, frame.y1, 7);
  }
  const auto y_of = [&](const Tick& tick) {
    return frame.log ? kBottom - (tick.value - frame.y0) / (frame.y1 - frame.y0) * (kBottom - kTop)
                     : frame.Y(tick.value);
  };
  svg.Open("g");
  svg.Attribute("class", "axes");
  svg.Attribute("stroke", kInk);
  svg.Attribute("font-size", 13.0);
  svg.Attribute("fill", kInk);
  for (const Tick& tick : y_ticks) {
    const double y = y_of(tick);
    Line(svg, kLeft - 5, y, kLeft, y);
    svg.Close();
    svg.Open("text");
    svg.Attribute("x", kLeft - 8);
    svg.Attribute("y", y + 4.5);
    svg.Attribute("text-anchor", "end");
    svg.Attribute("stroke", "none");
    svg.Text(tick.label);
    svg.Close();
  }

  // The horizontal axis: ticks at nice numbers; none below 0 when no
  // value is, as no statistic here can be.
  std::vector<Tick> x_ticks = LinearTicks(frame.x0, frame.x1, 9, ordering == engine::Ordering::kN11 ? 1 : 0);
  if (set.values == 1) {
    x_ticks = {{set.lo, FormatSignificant(set.lo, 6)}};
  } else if (set.lo >= 0) {
    std::erase_if(x_ticks, [](const Tick& tick) { return tick.value < 0; });
  }
  for (const Tick& tick : x_ticks) {
    const double x = frame.X(tick.value);
    Line(svg, x, kBottom, x, kBottom + 5);
    svg.Close();
    svg.Open("text");
    svg.Attribute("x", x);
    svg.Attribute("y", kBottom + 20);
    svg.Attribute("text-anchor", "middle");
    svg.Attribute("stroke", "none");
    svg.Text(tick.label);
    svg.Close();
  }
  Line(svg, kLeft, kTop, kLeft, kBottom);
  svg.Close();
  Line(svg, kLeft, kBottom, kRight, kBottom);
  svg.Close();
  svg.Close();

  // Axis labels.
  const FittedLine x_label = FitLine(StatisticOf(ordering).axis, kRight - kLeft, 14, 10);
  svg.Open("text");
  svg.Attribute("x", (kLeft + kRight) / 2);
  svg.Attribute("y", kBottom + 42);
  svg.Attribute("text-anchor", "middle");
  svg.Attribute("font-size", x_label.font_size);
  svg.Attribute("fill", kInk);
  svg.Text(x_label.text);
  svg.Close();
  svg.Open("text");
  svg.Attribute("transform", "translate(20 " + FormatCoordinate((kTop + kBottom) / 2) + ") rotate(-90)");
  svg.Attribute("text-anchor", "middle");
  svg.Attribute("font-size", 14.0);
  svg.Attribute("fill", kInk);
  svg.Text(frame.log ? "probability mass (log scale)" : "probability mass");
  svg.Close();
}

void DrawGrid(XmlWriter& svg, const Frame& frame) {
  svg.Open("g");
  svg.Attribute("class", "grid");
  svg.Attribute("stroke", kGrid);
  if (frame.log) {
    for (const Tick& tick : DecadeTicks(static_cast<int>(frame.y0), static_cast<int>(frame.y1), 7)) {
      const double y = kBottom - (tick.value - frame.y0) / (frame.y1 - frame.y0) * (kBottom - kTop);
      Line(svg, kLeft, y, kRight, y);
      svg.Close();
    }
  } else {
    for (const Tick& tick : LinearTicks(frame.y0, frame.y1, 7)) {
      Line(svg, kLeft, frame.Y(tick.value), kRight, frame.Y(tick.value));
      svg.Close();
    }
  }
  svg.Close();
}

void DrawObserved(XmlWriter& svg, const Frame& frame, double value, double position, engine::Ordering ordering) {
  std::string label = std::string("observed ") + StatisticOf(ordering).symbol + " = " + FormatSignificant(value, 6);
  double x = 0;
  if (std::isfinite(position)) {
    x = frame.X(position);
  } else {
    x = position > 0 ? kRight : kLeft;
    label += " (off the axis)";
  }
  svg.Open("g");
  svg.Attribute("class", "observed");
  svg.Attribute("data-value", FormatExact(value));
  Line(svg, x, kTop - 17, x, kBottom);
  svg.Attribute("stroke", "#000000");
  svg.Attribute("stroke-width", 1.8);
  svg.Attribute("stroke-dasharray", "7 4");
  svg.Close();
  const bool right_side = x > kLeft + 0.62 * (kRight - kLeft);
  svg.Open("text");
  svg.Attribute("x", right_side ? x - 6 : x + 6);
  svg.Attribute("y", kTop - 6);  // above the bars
  svg.Attribute("text-anchor", right_side ? "end" : "start");
  svg.Attribute("font-size", 14.0);
  svg.Attribute("font-weight", "bold");
  svg.Attribute("fill", "#000000");
  // A white halo keeps the label readable over bars and grid.
  svg.Attribute("stroke", "#ffffff");
  svg.Attribute("stroke-width", 4.0);
  svg.Attribute("stroke-linejoin", "round");
  svg.Attribute("paint-order", "stroke");
  svg.Text(label);
  svg.Close();
  svg.Close();
}

void DrawLegend(XmlWriter& svg) {
  struct Item {
    const char* text;
    int kind;  // 0 in p, 1 not in p, 2 observed
  };
  const Item items[] = {{"in p: as or more extreme than observed", 0}, {"not in p", 1}, {"observed value", 2}};
  constexpr double kSize = 13;
  constexpr double kSwatch = 14;
  constexpr double kSpace = 22;
  double total = 0;
  for (const Item& item : items) total += kSwatch + 5 + EstimateWidth(item.text, kSize) + kSpace;
  total -= kSpace;
  double x = (kWidth - total) / 2;
  const double y = 72;
  svg.Open("g");
  svg.Attribute("class", "legend");
  svg.Attribute("font-size", kSize);
  svg.Attribute("fill", kInk);
  for (const Item& item : items) {
    if (item.kind == 2) {
      Line(svg, x + kSwatch / 2, y - 12, x + kSwatch / 2, y + 3);
      svg.Attribute("stroke", "#000000");
      svg.Attribute("stroke-width", 1.8);
      svg.Attribute("stroke-dasharray", "4 2");
      svg.Close();
    } else {
      Rect(svg, x, y - 10.5, kSwatch, 11);
      svg.Attribute("fill", item.kind == 0 ? "url(#in-p-hatch)" : kOutFill);
      svg.Attribute("stroke", item.kind == 0 ? kInEdge : kOutEdge);
      svg.Close();
    }
    svg.Open("text");
    svg.Attribute("x", x + kSwatch + 5);
    svg.Attribute("y", y);
    svg.Text(item.text);
    svg.Close();
    x += kSwatch + 5 + EstimateWidth(item.text, kSize) + kSpace;
  }
  svg.Close();
}

// What the bars are, in a line under the title.
std::string Note(const BarSet& set, const DistributionCollector& distribution, bool log_scale,
                 std::size_t left_out) {
  std::string note;
  if (set.bars.empty()) {
    note = "no value of positive mass to draw";
  } else if (!set.binned) {
    note = set.values == 1 ? "one value" : "one bar per value (" + Grouped(set.values) + " values)";
  } else {
    note = (distribution.pool_width() > 0 ? "more than " + Grouped(distribution.max_values()) + " values (pooled)"
                                          : Grouped(set.values) + " values") +
           " in " + Grouped(set.bars.size()) + " bins of width " + FormatSignificant(set.bin_width, 6);
  }
  note += log_scale ? "; mass on a log scale" : "; mass on a linear scale";
  if (set.mixed) note += "; a bar holding both: its hatched part is the mass in p";
  if (left_out > 0) {
    note += "; " + Grouped(left_out) + (left_out == 1 ? " value" : " values") + " of mass below 1e-308 not drawn";
  }
  return note;
}

}  // namespace

std::string PlotSvg(const PlotRequest& request, const DistributionCollector& distribution) {
  const engine::Ordering ordering = distribution.ordering();
  std::size_t left_out = 0;
  const std::vector<Point> points = PointsOf(distribution, &left_out);
  const BarSet set = MakeBars(points, kRight - kLeft, 4);

  double bar_width = 0;
  if (!set.binned) {
    const double range = set.hi - set.lo;
    double least_gap = INFINITY;
    for (std::size_t i = 1; i < set.bars.size(); ++i) {
      least_gap = std::min(least_gap, set.bars[i].from - set.bars[i - 1].from);
    }
    bar_width = range > 0 ? std::clamp(0.7 * least_gap / range * (kRight - kLeft), 2.0, 36.0) : 36;
  }
  const double observed = std::isnan(request.observed) ? 0 : request.observed;
  const double observed_position = AxisPosition(ordering, observed);
  bool log_scale = false;
  const Frame frame = MakeFrame(set, observed_position, request.scale, bar_width, &log_scale);
  const std::string note = Note(set, distribution, log_scale, left_out);

  XmlWriter svg;
  svg.Open("svg");
  svg.Attribute("xmlns", "http://www.w3.org/2000/svg");
  svg.Attribute("version", "1.1");
  svg.Attribute("width", kWidth);
  svg.Attribute("height", kHeight);
  svg.Attribute("viewBox", "0 0 800 500");
  svg.Attribute("font-family", "sans-serif");
  svg.Attribute("data-statistic", StatisticOf(ordering).key);
  svg.Attribute("data-scale", log_scale ? "log" : "linear");
  svg.Element("title", request.title);
  svg.Element("desc", request.caption + ". " + note + ".");
  Defs(svg);
  Rect(svg, 0, 0, kWidth, kHeight);
  svg.Attribute("fill", "#ffffff");
  svg.Close();

  CentredLine(svg, request.title, 30, 18, "bold", kInk);
  CentredLine(svg, note, 51, 13, nullptr, kQuiet);
  DrawLegend(svg);
  DrawGrid(svg, frame);
  DrawBars(svg, set, frame, bar_width, ordering);
  DrawAxes(svg, frame, set, ordering);
  DrawObserved(svg, frame, observed, observed_position, ordering);
  CentredLine(svg, request.caption, 481, 15, nullptr, kInk);
  svg.Close();
  return svg.Finish();
}

void WritePlot(const PlotRequest& request, const DistributionCollector& distribution) {
  WriteWholeFile(request.path, PlotSvg(request, distribution));
}

}  // namespace plot
