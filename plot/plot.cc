#include "plot/plot.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "plot/axis.h"
#include "plot/bars.h"
#include "plot/focus.h"
#include "plot/frame.h"
#include "plot/text_fit.h"
#include "plot/write_file.h"
#include "plot/xml_writer.h"

namespace plot {

namespace {

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

std::string Mass(double mass) { return FormatSignificant(mass, 6); }

// The name of the axis's quantity in words: the statistic, or -log10 P.
std::string AxisName(engine::Ordering ordering) {
  return ordering == engine::Ordering::kProbability ? "\u2212log10 P" : StatisticOf(ordering).symbol;
}

std::string InP(double mass, double in_p) {
  if (in_p <= 0) return ", not in p";
  if (in_p >= mass) return ", in p";
  return ", of which " + Mass(in_p) + " in p";
}

std::string ValuesCount(std::size_t values) { return Grouped(values) + (values == 1 ? " value" : " values"); }

// The tooltip of a bar, in words.
std::string BarTitle(const Bar& bar, bool binned, engine::Ordering ordering) {
  std::string title;
  if (!binned) {
    title = std::string(StatisticOf(ordering).symbol) + " = " + FormatSignificant(ValueAt(ordering, bar.from), 8);
  } else {
    title = AxisName(ordering) + " from " + FormatSignificant(bar.from, 6) + " to " + FormatSignificant(bar.to, 6) +
            " (" + ValuesCount(bar.values) + ")";
  }
  return title + ": mass " + Mass(bar.mass) + InP(bar.mass, bar.in_p);
}

const char* BarClass(double mass, double in_p) {
  return in_p <= 0 ? "bar" : in_p >= mass ? "bar in-p" : "bar mixed";
}

// A bar's body, and over it the part in p when it holds both kinds.
void BarBody(XmlWriter& svg, const Frame& frame, double left, double right, double mass, double in_p,
             bool gathered) {
  const bool whole_in_p = in_p >= mass;
  double top = frame.BarTop(mass);
  Rect(svg, left, top, right - left, kBottom - top);
  svg.Attribute("fill", whole_in_p ? "url(#in-p-hatch)" : kOutFill);
  svg.Attribute("stroke", whole_in_p ? kInEdge : kOutEdge);
  if (gathered) svg.Attribute("stroke-dasharray", "3 2");
  svg.Close();
  if (in_p > 0 && !whole_in_p) {
    top = frame.BarTop(in_p);
    Rect(svg, left, top, right - left, kBottom - top);
    svg.Attribute("fill", "url(#in-p-hatch)");
    svg.Attribute("stroke", kInEdge);
    if (gathered) svg.Attribute("stroke-dasharray", "3 2");
    svg.Close();
  }
}

// The bar that gathers what lies beyond one end of the axis, in its place
// apart from the others.
void DrawGathered(XmlWriter& svg, const Frame& frame, const Gathered& gathered, bool above,
                  engine::Ordering ordering) {
  const double centre = above ? frame.above_centre : frame.below_centre;
  svg.Open("g");
  svg.Attribute("class", BarClass(gathered.mass, gathered.in_p));
  svg.Attribute("data-gathered", above ? "above" : "below");
  svg.Attribute("data-edge", FormatExact(gathered.edge));
  svg.Attribute("data-from", FormatExact(gathered.from));
  svg.Attribute("data-to", FormatExact(gathered.to));
  svg.Attribute("data-mass", FormatExact(gathered.mass));
  svg.Attribute("data-mass-in-p", FormatExact(gathered.in_p));
  svg.Element("title", AxisName(ordering) + (above ? " above " : " below ") + FormatSignificant(gathered.edge, 6) +
                           ", from " + FormatSignificant(gathered.from, 6) + " to " +
                           FormatSignificant(gathered.to, 6) + " (" + ValuesCount(gathered.values) +
                           ", gathered in one bar): mass " + Mass(gathered.mass) +
                           InP(gathered.mass, gathered.in_p));
  BarBody(svg, frame, centre - kGatheredBarWidth / 2, centre + kGatheredBarWidth / 2, gathered.mass, gathered.in_p,
          true);
  svg.Close();
}

void DrawBars(XmlWriter& svg, const BarSet& set, const Focus& focus, const Frame& frame, double bar_width,
              engine::Ordering ordering) {
  svg.Open("g");
  svg.Attribute("class", "bars");
  svg.Attribute("stroke-width", 0.8);
  if (focus.below) DrawGathered(svg, frame, *focus.below, false, ordering);
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
    svg.Open("g");
    svg.Attribute("class", BarClass(bar.mass, bar.in_p));
    if (set.binned) {
      svg.Attribute("data-from", FormatExact(bar.from));
      svg.Attribute("data-to", FormatExact(bar.to));
    } else {
      svg.Attribute("data-value", FormatExact(ValueAt(ordering, bar.from)));
    }
    svg.Attribute("data-mass", FormatExact(bar.mass));
    svg.Attribute("data-mass-in-p", FormatExact(bar.in_p));
    svg.Element("title", BarTitle(bar, set.binned, ordering));
    BarBody(svg, frame, left, right, bar.mass, bar.in_p, false);
    svg.Close();
  }
  if (focus.above) DrawGathered(svg, frame, *focus.above, true, ordering);
  svg.Close();
}

std::vector<Tick> MassTicks(const Frame& frame) {
  return frame.log ? DecadeTicks(static_cast<int>(frame.y0), static_cast<int>(frame.y1), 7)
                   : LinearTicks(frame.y0, frame.y1, 7);
}

void TickLabel(XmlWriter& svg, double x, const std::string& text, const char* anchor) {
  svg.Open("text");
  svg.Attribute("x", x);
  svg.Attribute("y", kBottom + 20);
  svg.Attribute("text-anchor", anchor);
  svg.Attribute("stroke", "none");
  svg.Text(text);
  svg.Close();
}

// Two short slanted strokes across the horizontal axis at x: the axis is
// broken there.
void AxisBreak(XmlWriter& svg, double x) {
  for (const double dx : {-3.0, 3.0}) {
    Line(svg, x + dx - 3, kBottom + 5, x + dx + 3, kBottom - 5);
    svg.Close();
  }
}

void DrawAxes(XmlWriter& svg, const Frame& frame, const BarSet& set, const Focus& focus,
              engine::Ordering ordering, bool sampled) {
  constexpr double kTickFont = 13;
  svg.Open("g");
  svg.Attribute("class", "axes");
  svg.Attribute("stroke", kInk);
  svg.Attribute("font-size", kTickFont);
  svg.Attribute("fill", kInk);
  for (const Tick& tick : MassTicks(frame)) {
    const double y = frame.log ? frame.AtLevel(tick.value) : frame.Y(tick.value);
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

  // The labels of the gathered bars, kept within the canvas; the axis's
  // ticks keep clear of them.
  double free_from = kLeft - 40;
  double free_to = kWidth;
  if (focus.below) {
    const std::string label = "below " + FormatSignificant(focus.below->edge, 6);
    const double half = EstimateWidth(label, kTickFont) / 2;
    const double x = std::max(frame.below_centre, kLeft - 40 + half);
    Line(svg, frame.below_centre, kBottom, frame.below_centre, kBottom + 5);
    svg.Close();
    TickLabel(svg, x, label, "middle");
    free_from = x + half + 6;
    AxisBreak(svg, frame.left - 10);
  }
  if (focus.above) {
    const std::string label = "beyond " + FormatSignificant(focus.above->edge, 6);
    const double half = EstimateWidth(label, kTickFont) / 2;
    const double x = std::min(frame.above_centre, kWidth - 4 - half);
    Line(svg, frame.above_centre, kBottom, frame.above_centre, kBottom + 5);
    svg.Close();
    TickLabel(svg, x, label, "middle");
    free_to = x - half - 6;
    AxisBreak(svg, frame.right + 10);
  }

  // The horizontal axis: ticks at nice numbers; none below 0 when no
  // value is, as no statistic here can be.
  const int max_ticks = focus.below || focus.above ? 8 : 9;
  std::vector<Tick> x_ticks =
      LinearTicks(frame.x0, frame.x1, max_ticks, ordering == engine::Ordering::kN11 ? 1 : 0);
  if (set.values == 1) {
    x_ticks = {{set.lo, FormatSignificant(set.lo, 6)}};
  } else if (set.lo >= 0) {
    std::erase_if(x_ticks, [](const Tick& tick) { return tick.value < 0; });
  }
  for (const Tick& tick : x_ticks) {
    const double x = frame.X(tick.value);
    const double half = EstimateWidth(tick.label, kTickFont) / 2;
    if (x - half < free_from || x + half > free_to) continue;
    Line(svg, x, kBottom, x, kBottom + 5);
    svg.Close();
    TickLabel(svg, x, tick.label, "middle");
  }
  Line(svg, kLeft, frame.top, kLeft, kBottom);
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
  svg.Attribute("transform", "translate(20 " + FormatCoordinate((frame.top + kBottom) / 2) + ") rotate(-90)");
  svg.Attribute("text-anchor", "middle");
  svg.Attribute("font-size", 14.0);
  svg.Attribute("fill", kInk);
  const char* mass = sampled ? "share of the draws" : "probability mass";
  svg.Text(std::string(mass) + (frame.log ? " (log scale)" : ""));
  svg.Close();
}

void DrawGrid(XmlWriter& svg, const Frame& frame) {
  svg.Open("g");
  svg.Attribute("class", "grid");
  svg.Attribute("stroke", kGrid);
  for (const Tick& tick : MassTicks(frame)) {
    const double y = frame.log ? frame.AtLevel(tick.value) : frame.Y(tick.value);
    Line(svg, kLeft, y, kRight, y);
    svg.Close();
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
  Line(svg, x, frame.top - 17, x, kBottom);
  svg.Attribute("stroke", "#000000");
  svg.Attribute("stroke-width", 1.8);
  svg.Attribute("stroke-dasharray", "7 4");
  svg.Close();
  const bool right_side = x > kLeft + 0.62 * (kRight - kLeft);
  svg.Open("text");
  svg.Attribute("x", right_side ? x - 6 : x + 6);
  svg.Attribute("y", frame.top - 6);  // above the bars
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

void DrawLegend(XmlWriter& svg, double y) {
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
std::string Note(const BarSet& set, const Focus& focus, const DistributionCollector& distribution, bool log_scale) {
  std::string note;
  const std::size_t gathered = (focus.below ? focus.below->values : 0) + (focus.above ? focus.above->values : 0);
  const std::string all = Grouped(set.values + gathered);
  const std::string drawn = gathered > 0 ? Grouped(set.values) + " of " + all : all;
  const std::string bins =
      set.binned ? Grouped(set.bars.size()) + " bins of width " + FormatSignificant(set.bin_width, 6)
                 : Grouped(set.bars.size()) + " bars";
  if (set.bars.empty()) {
    note = "no value of positive mass to draw";
  } else if (distribution.pooled()) {
    note = "more than " + Grouped(distribution.max_values()) + " values (pooled) in " + bins;
  } else if (!set.binned) {
    note = set.values == 1 && gathered == 0
               ? "one value"
               : "one bar per value (" + drawn + (gathered > 0 ? " values drawn)" : " values)");
  } else {
    note = drawn + " values in " + bins;
  }
  note += log_scale ? "; mass on a log scale" : "; mass on a linear scale";
  if (set.mixed) note += "; a bar holding both: its hatched part is the mass in p";
  return note;
}

// What was gathered at the ends, what is drawn as a stub and what not at
// all, in a second line; empty when there is nothing to say.
std::string SecondNote(const Focus& focus, const BarSet& set, const Frame& frame, engine::Ordering ordering,
                       std::size_t left_out) {
  std::vector<std::string> parts;
  const std::string values = ordering == engine::Ordering::kProbability ? "values of \u2212log10 P" : "values";
  const auto edge = [](const Gathered& gathered) { return FormatSignificant(gathered.edge, 6); };
  const auto mass = [](const Gathered& gathered) { return FormatSignificant(gathered.mass, 2); };
  if (focus.below && focus.above) {
    parts.push_back(values + " below " + edge(*focus.below) + " and above " + edge(*focus.above) +
                    " gathered in the end bars, masses " + mass(*focus.below) + " and " + mass(*focus.above));
  } else if (focus.below) {
    parts.push_back(values + " below " + edge(*focus.below) + " gathered in the first bar, mass " + mass(*focus.below));
  } else if (focus.above) {
    parts.push_back(values + " above " + edge(*focus.above) + " gathered in the last bar, mass " + mass(*focus.above));
  }
  bool stubs = false;
  const auto check = [&](double mass, double in_p) {
    stubs = stubs || frame.BelowFloor(mass) || frame.BelowFloor(in_p);
  };
  for (const Bar& bar : set.bars) check(bar.mass, bar.in_p);
  if (focus.below) check(focus.below->mass, focus.below->in_p);
  if (focus.above) check(focus.above->mass, focus.above->in_p);
  if (stubs) parts.push_back("masses below " + DecadeLabel(static_cast<int>(frame.y0)) + " drawn as stubs");
  if (left_out > 0) parts.push_back(ValuesCount(left_out) + " of mass below 1e-308 not drawn");
  std::string note;
  for (const std::string& part : parts) note += (note.empty() ? "" : "; ") + part;
  return note;
}

}  // namespace

std::string PlotSvg(const PlotRequest& request, const DistributionCollector& distribution) {
  const engine::Ordering ordering = distribution.ordering();
  const double observed = std::isnan(request.observed) ? 0 : request.observed;
  const double observed_position = AxisPosition(ordering, observed);
  std::size_t off_axis = 0;
  Focus focus = FocusOn(PointsOf(distribution, &off_axis), observed_position,
                        request.scale == Scale::kLinear ? kNegligibleMassOnLinear : kNegligibleMass);
  // A probability below the range of doubles lies beyond every other.
  if (focus.above) {
    focus.above->values += off_axis;
    off_axis = 0;
  }
  const std::size_t left_out = off_axis + focus.left_out;
  const double pixels = AxisRight(focus) - AxisLeft(focus);
  const BarSet set = MakeBars(focus.shown, pixels, 4);

  double bar_width = 0;
  if (!set.binned) {
    const double range = set.hi - set.lo;
    double least_gap = INFINITY;
    for (std::size_t i = 1; i < set.bars.size(); ++i) {
      least_gap = std::min(least_gap, set.bars[i].from - set.bars[i - 1].from);
    }
    bar_width = range > 0 ? std::clamp(0.7 * least_gap / range * pixels, 2.0, 36.0) : 36;
  }
  // The frame's top depends on the lines above it, the second of which
  // depends on the frame's floor: try one line first.
  Frame frame = MakeFrame(set, focus, observed_position, request.scale, bar_width, kTop);
  const std::string second_note = SecondNote(focus, set, frame, ordering, left_out);
  if (!second_note.empty()) {
    frame = MakeFrame(set, focus, observed_position, request.scale, bar_width, kTopBelowTwoLines);
  }
  const std::string note =
      (request.draws > 0 ? "Monte Carlo: the share of " + Grouped(request.draws) + " draws at each value; " : "") +
      Note(set, focus, distribution, frame.log);

  XmlWriter svg;
  svg.Open("svg");
  svg.Attribute("xmlns", "http://www.w3.org/2000/svg");
  svg.Attribute("version", "1.1");
  svg.Attribute("width", kWidth);
  svg.Attribute("height", kHeight);
  svg.Attribute("viewBox", "0 0 800 500");
  svg.Attribute("font-family", "sans-serif");
  svg.Attribute("data-statistic", StatisticOf(ordering).key);
  svg.Attribute("data-scale", frame.log ? "log" : "linear");
  if (frame.log) svg.Attribute("data-floor", DecadeLabel(static_cast<int>(frame.y0)));
  svg.Element("title", request.title);
  svg.Element("desc", request.caption + ". " + note + (second_note.empty() ? "" : "; " + second_note) + ".");
  Defs(svg);
  Rect(svg, 0, 0, kWidth, kHeight);
  svg.Attribute("fill", "#ffffff");
  svg.Close();

  CentredLine(svg, request.title, 30, 18, "bold", kInk);
  CentredLine(svg, note, 51, 13, nullptr, kQuiet);
  if (!second_note.empty()) CentredLine(svg, second_note, 67, 13, nullptr, kQuiet);
  DrawLegend(svg, second_note.empty() ? 72 : 86);
  DrawGrid(svg, frame);
  DrawBars(svg, set, focus, frame, bar_width, ordering);
  DrawAxes(svg, frame, set, focus, ordering, request.draws > 0);
  DrawObserved(svg, frame, observed, observed_position, ordering);
  CentredLine(svg, request.caption, 481, 15, nullptr, kInk);
  svg.Close();
  return svg.Finish();
}

void WritePlot(const PlotRequest& request, const DistributionCollector& distribution) {
  WriteWholeFile(request.path, PlotSvg(request, distribution));
}

}  // namespace plot
