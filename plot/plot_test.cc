#include "plot/plot.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "plot/axis.h"
#include "plot/testing/samples.h"

namespace plot {
namespace {

using engine::Mark;
using engine::Ordering;

struct BarRead {
  std::string kind;  // "bar", "bar in-p" or "bar mixed"
  long double mass;
  long double in_p;
};

// The bars as the file states them: each bar's group carries its exact
// mass and the part of it counted in p.
std::vector<BarRead> ReadBars(const std::string& svg) {
  static const std::regex bar(R"re(<g class="(bar[^"]*)"[^>]* data-mass="([^"]*)" data-mass-in-p="([^"]*)")re");
  std::vector<BarRead> bars;
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), bar); it != std::sregex_iterator(); ++it) {
    bars.push_back({(*it)[1], std::strtold((*it)[2].str().c_str(), nullptr),
                    std::strtold((*it)[3].str().c_str(), nullptr)});
  }
  return bars;
}

std::string Svg(const testing::Sample& sample) { return PlotSvg(sample.request, *sample.distribution); }

std::string Attribute(const std::string& svg, const std::string& name) {
  const std::size_t at = svg.find(" " + name + "=\"");
  if (at == std::string::npos) return "";
  const std::size_t from = at + name.size() + 3;
  return svg.substr(from, svg.find('"', from) - from);
}

TEST(PlotTest, TheBarsMassesSumToOneAndTheShadedOnesToP) {
  for (const std::string& name : testing::SampleNames()) {
    const testing::Sample sample = testing::MakeSample(name);
    const std::vector<BarRead> bars = ReadBars(Svg(sample));
    ASSERT_FALSE(bars.empty()) << name;
    long double mass = 0;
    long double in_p = 0;
    for (const BarRead& bar : bars) {
      mass += bar.mass;
      in_p += bar.in_p;
      EXPECT_EQ(bar.kind == "bar in-p", bar.in_p > 0 && bar.in_p == bar.mass) << name;
      EXPECT_EQ(bar.kind == "bar", bar.in_p == 0) << name;
    }
    EXPECT_NEAR(mass, 1, 1e-12) << name;
    EXPECT_NEAR(in_p / sample.p, 1, 1e-12) << name;
  }
}

double Number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// The value of an attribute of the first element that carries marker.
std::string AttributeAfter(const std::string& svg, const std::string& marker, const std::string& name) {
  const std::size_t at = svg.find(marker);
  return at == std::string::npos ? "" : Attribute(svg.substr(at), name);
}

// The drawn bars with the horizontal extent of their body.
struct DrawnBar {
  std::string gathered;    // "above", "below", or empty
  double from, to;         // positions covered (from == to for a value's own bar)
  double x, width, height;  // of the body
  double mass;
};

std::vector<DrawnBar> DrawnBars(const std::string& svg, engine::Ordering ordering) {
  static const std::regex group(R"re(<g class="bar[^"]*"([^>]*)>\s*<title>[^<]*</title>\s*<rect ([^>]*)/>)re");
  std::vector<DrawnBar> bars;
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), group); it != std::sregex_iterator(); ++it) {
    const std::string attributes = " " + (*it)[1].str();
    const std::string rect = " " + (*it)[2].str();
    DrawnBar bar{Attribute(attributes, "data-gathered"), 0, 0, Number(Attribute(rect, "x")),
                 Number(Attribute(rect, "width")), Number(Attribute(rect, "height")),
                 Number(Attribute(attributes, "data-mass"))};
    if (!Attribute(attributes, "data-value").empty()) {
      bar.from = bar.to = AxisPosition(ordering, Number(Attribute(attributes, "data-value")));
    } else {
      bar.from = Number(Attribute(attributes, "data-from"));
      bar.to = Number(Attribute(attributes, "data-to"));
    }
    bars.push_back(bar);
  }
  return bars;
}

TEST(PlotTest, AWideSupportIsDrawnWhereItsMassLiesAndTheRestGathered) {
  for (const char* name : {"fourfold_wide_fisher", "goodness_wide_chi_square", "fourfold_middle"}) {
    const testing::Sample sample = testing::MakeSample(name);
    const std::string svg = Svg(sample);
    const std::string marker = "data-gathered=\"above\"";
    ASSERT_NE(svg.find(marker), std::string::npos) << name;
    EXPECT_EQ(svg.find("data-gathered=\"below\""), std::string::npos) << name;
    const double edge = Number(AttributeAfter(svg, marker, "data-edge"));
    const double gathered = Number(AttributeAfter(svg, marker, "data-mass"));

    // The gathered mass is what the distribution holds beyond the edge,
    // and no more than a negligible share.
    long double beyond = 0;
    for (const auto& [value, mass] : sample.distribution->masses()) {
      if (AxisPosition(sample.distribution->ordering(), value) > edge) beyond += mass.mass;
    }
    EXPECT_GT(gathered, 0) << name;
    EXPECT_NEAR(gathered / beyond, 1, 1e-12) << name;
    EXPECT_LE(gathered, 1e-9) << name;
    // Said in words: under the axis and in the sub-title.
    const std::string edge_text = FormatSignificant(edge, 6);
    EXPECT_NE(svg.find(">beyond " + edge_text + "<"), std::string::npos) << name;
    EXPECT_NE(svg.find(" above " + edge_text + " gathered in the last bar, mass " + FormatSignificant(gathered, 2)),
              std::string::npos)
        << name;
    // The other bars lie within the edge, at tens of bins.
    std::size_t drawn = 0;
    for (const DrawnBar& bar : DrawnBars(svg, sample.distribution->ordering())) {
      if (!bar.gathered.empty()) continue;
      ++drawn;
      EXPECT_LE(bar.from, edge) << name;
    }
    EXPECT_GE(drawn, 25u) << name;
    EXPECT_LE(drawn, 100u) << name;
  }

  // On a linear scale a far larger share is too small to see: the drawn
  // range ends sooner.
  const auto edge_of = [](const char* name) {
    return Number(AttributeAfter(Svg(testing::MakeSample(name)), "data-gathered=\"above\"", "data-edge"));
  };
  EXPECT_LT(edge_of("forced_linear"), edge_of("fourfold_wide_chi_square") * 0.7);
  EXPECT_LE(Number(AttributeAfter(Svg(testing::MakeSample("forced_linear")), "data-gathered", "data-mass")), 1e-4);

  // A bump in the middle of its support: both ends gathered, the lower one
  // (alternative less) all in p.
  const std::string svg = Svg(testing::MakeSample("fourfold_wide_less"));
  EXPECT_NE(svg.find(">below 380<"), std::string::npos);
  EXPECT_NE(svg.find(">beyond 520<"), std::string::npos);
  EXPECT_NE(svg.find("<g class=\"bar in-p\" data-gathered=\"below\""), std::string::npos);
  EXPECT_NE(svg.find("<g class=\"bar\" data-gathered=\"above\""), std::string::npos);
  EXPECT_NE(svg.find("values below 380 and above 520 gathered in the end bars"), std::string::npos);
}

TEST(PlotTest, SmallSupportsAreDrawnWhole) {
  for (const char* name : {"goodness_chi_square", "goodness_probability", "fourfold_fisher", "fourfold_less",
                           "zero_margin", "observed_at_edge"}) {
    const std::string svg = Svg(testing::MakeSample(name));
    EXPECT_EQ(svg.find("data-gathered"), std::string::npos) << name;
    EXPECT_EQ(svg.find("gathered in"), std::string::npos) << name;
  }
}

TEST(PlotTest, TheObservedLineStandsAtItsValueWithinTheDrawnRange) {
  for (const std::string& name : testing::SampleNames()) {
    const testing::Sample sample = testing::MakeSample(name);
    const std::string svg = Svg(sample);
    const engine::Ordering ordering = sample.distribution->ordering();
    const double observed = AxisPosition(ordering, sample.request.observed);
    const double x = Number(AttributeAfter(svg, "<g class=\"observed\"", "x1"));
    // On the axis, and not in the place of a gathered bar.
    const bool below = svg.find("data-gathered=\"below\"") != std::string::npos;
    const bool above = svg.find("data-gathered=\"above\"") != std::string::npos;
    EXPECT_GT(x, 88 + (below ? 60 : 0)) << name;
    EXPECT_LT(x, 776 - (above ? 60 : 0)) << name;
    // Within the body of the bar that holds the observed value.
    bool found = false;
    for (const DrawnBar& bar : DrawnBars(svg, ordering)) {
      if (!bar.gathered.empty()) {
        EXPECT_TRUE(bar.gathered == "above" ? bar.from > observed : bar.to < observed) << name;
        continue;
      }
      const bool holds = bar.from == bar.to ? std::fabs(bar.from - observed) <= 1e-9 * std::max(1.0, observed)
                                            : bar.from <= observed && observed < bar.to;
      if (!holds) continue;
      found = true;
      EXPECT_GE(x, bar.x - 0.5) << name;
      EXPECT_LE(x, bar.x + bar.width + 0.5) << name;
    }
    EXPECT_TRUE(found) << name;
  }
}

TEST(PlotTest, TheLogScaleStopsTwentyDecadesBelowTheLargestBarAndShowsLessAsStubs) {
  for (const char* name : {"goodness_far_tail", "fourfold_far_tail"}) {
    const testing::Sample sample = testing::MakeSample(name);
    EXPECT_LT(sample.p, 1e-29) << name;  // the observed value far in the tail
    const std::string svg = Svg(sample);
    EXPECT_EQ(Attribute(svg, "data-scale"), "log") << name;
    EXPECT_EQ(Attribute(svg, "data-floor"), "1e-20") << name;
    EXPECT_NE(svg.find("masses below 1e-20 drawn as stubs"), std::string::npos) << name;
    std::size_t stubs = 0;
    double tallest = 0;
    for (const DrawnBar& bar : DrawnBars(svg, sample.distribution->ordering())) {
      tallest = std::max(tallest, bar.height);
      EXPECT_GT(bar.height, 0) << name;  // every mass shows
      if (bar.mass < 1e-20) {
        ++stubs;
        EXPECT_EQ(bar.height, 3) << name << " " << bar.mass;
      } else if (bar.mass > 1e-19) {
        EXPECT_GT(bar.height, 3) << name << " " << bar.mass;
      }
    }
    EXPECT_GT(stubs, 0u) << name;
    EXPECT_GT(tallest, 250) << name;  // the largest bar near the top: 1e-20 is not the least mass
  }
  // Masses from 1 to 1e-20 keep their whole scale.
  const std::string svg = Svg(testing::MakeSample("fourfold_fisher"));
  EXPECT_EQ(Attribute(svg, "data-floor"), "1e-20");
  EXPECT_EQ(svg.find("drawn as stubs"), std::string::npos);
}

TEST(PlotTest, SaysWhetherEachValueHasItsBarOrValuesAreBinned) {
  std::string svg = Svg(testing::MakeSample("goodness_chi_square"));
  EXPECT_NE(svg.find("one bar per value (10 values)"), std::string::npos);
  EXPECT_NE(svg.find(" data-value=\"5\""), std::string::npos);
  svg = Svg(testing::MakeSample("fourfold_wide_chi_square"));
  EXPECT_NE(svg.find("251 values in "), std::string::npos);
  EXPECT_NE(svg.find(" data-from="), std::string::npos);
  svg = Svg(testing::MakeSample("pooled"));
  EXPECT_NE(svg.find("more than 500 values (pooled) in "), std::string::npos);
}

TEST(PlotTest, TheMassScaleIsLogBeyondThreeDecadesUnlessForced) {
  const auto scale_of = [](const std::string& name) { return Attribute(Svg(testing::MakeSample(name)), "data-scale"); };
  EXPECT_EQ(scale_of("fourfold_less"), "linear");  // masses within a factor 43
  EXPECT_EQ(scale_of("goodness_chi_square"), "log");  // a factor 1250
  EXPECT_EQ(scale_of("forced_linear"), "linear");
  EXPECT_EQ(scale_of("forced_log"), "log");

  for (const double least : {1.0 / 900, 1.0 / 1100}) {
    DistributionCollector collector(Ordering::kN11);
    const std::uint32_t one[1] = {1};
    const std::uint32_t two[1] = {2};
    collector.Add({one, 1, 1 - least, 0, 0, {}});
    collector.Add({two, 1, least, 0, 0, {}});
    EXPECT_EQ(Attribute(PlotSvg({}, collector), "data-scale"), least > 1.0 / 1000 ? "linear" : "log");
  }
}

TEST(PlotTest, MarksAndLabelsTheObservedValue) {
  std::string svg = Svg(testing::MakeSample("goodness_chi_square"));
  EXPECT_NE(svg.find("<g class=\"observed\" data-value=\"5\">"), std::string::npos);
  EXPECT_NE(svg.find("observed X\u00B2 = 5<"), std::string::npos);
  svg = Svg(testing::MakeSample("fourfold_less"));
  EXPECT_NE(svg.find("observed n11 = 3<"), std::string::npos);
  EXPECT_NE(svg.find(">n11, the table"), std::string::npos);
  svg = Svg(testing::MakeSample("fourfold_fisher"));
  EXPECT_NE(svg.find(">\u2212log10 P"), std::string::npos);  // the axis says what it is

  // A probability below the range of doubles has no place on the axis.
  DistributionCollector collector(Ordering::kProbability);
  const std::uint32_t counts[1] = {0};
  collector.Add({counts, 1, 0.75, 0, 0, {}});
  collector.Add({counts, 1, 0.25, 0, 0, {}});
  collector.Add({counts, 1, 0.0, 0, 0, {Mark::kNotExtreme, Mark::kNotExtreme, Mark::kTied}});
  PlotRequest request;
  request.observed = 0;
  svg = PlotSvg(request, collector);
  EXPECT_NE(svg.find("(off the axis)"), std::string::npos);
  EXPECT_NE(svg.find("1 value of mass below 1e-308 not drawn"), std::string::npos);
}

TEST(PlotTest, OneTableOfMassOne) {
  for (const char* name : {"zero_margin", "zero_margin_fisher"}) {
    const std::string svg = Svg(testing::MakeSample(name));
    const std::vector<BarRead> bars = ReadBars(svg);
    ASSERT_EQ(bars.size(), 1u) << name;
    EXPECT_EQ(bars[0].mass, 1);
    EXPECT_EQ(bars[0].kind, "bar in-p");
    EXPECT_NE(svg.find("one value; mass on a linear scale"), std::string::npos);
  }
}

TEST(PlotTest, NothingToDrawStillMakesAPicture) {
  const std::string svg = PlotSvg({}, DistributionCollector(Ordering::kChiSquare));
  EXPECT_NE(svg.find("no value of positive mass to draw"), std::string::npos);
  EXPECT_TRUE(ReadBars(svg).empty());
}

TEST(PlotTest, UserTextIsEscapedAndMadeWellFormed) {
  const std::string svg = Svg(testing::MakeSample("hostile_text"));
  EXPECT_EQ(svg.find("<script"), std::string::npos);
  EXPECT_NE(svg.find("&lt;script&gt;alert(&apos;x&apos;)&lt;/script&gt; &amp; &quot;quotes&quot; ]]&gt; caf\xC3\xA9"),
            std::string::npos);
  EXPECT_NE(svg.find("p &lt; 0.05 &amp; &quot;mid-p&quot;"), std::string::npos);
  for (const char c : svg) {
    const unsigned char byte = static_cast<unsigned char>(c);
    EXPECT_TRUE(byte >= 0x20 || c == '\n') << static_cast<int>(byte);
    EXPECT_TRUE(byte != 0xFF && byte != 0xC0 && byte != 0xED) << static_cast<int>(byte);
  }

  // A title too long for the width is cut with an ellipsis, and kept whole
  // as the line's tooltip.
  const std::string long_svg = Svg(testing::MakeSample("long_title"));
  EXPECT_NE(long_svg.find("<title>" + std::string(400, 'W') + " \xE5\xAE\x9A</title>"), std::string::npos);
  EXPECT_NE(long_svg.find("WWW\u2026</text>"), std::string::npos);
}

TEST(PlotTest, SelfContained) {
  for (const std::string& name : testing::SampleNames()) {
    const std::string svg = Svg(testing::MakeSample(name));
    for (const char* banned : {"<script", "<image", "<foreignObject", "href", "@import", "@font-face", "<style",
                               "javascript:"}) {
      EXPECT_EQ(svg.find(banned), std::string::npos) << name << ": " << banned;
    }
    EXPECT_FALSE(std::regex_search(svg, std::regex(" on[a-z]+=\""))) << name;  // event handlers
    std::size_t at = 0;
    while ((at = svg.find("url(", at)) != std::string::npos) {
      EXPECT_EQ(svg.compare(at, 5, "url(#"), 0) << name;
      ++at;
    }
    EXPECT_EQ(Attribute(svg, "font-family"), "sans-serif");
    EXPECT_EQ(Attribute(svg, "viewBox"), "0 0 800 500");
  }
}

class WritePlotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/plot_test.XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string dir_;
};

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(WritePlotTest, ReplacesAnExistingFile) {
  testing::Sample sample = testing::MakeSample("goodness_chi_square");
  sample.request.path = dir_ + "/picture.svg";
  std::ofstream(sample.request.path) << std::string(100000, 'x');
  WritePlot(sample.request, *sample.distribution);
  EXPECT_EQ(Read(sample.request.path), Svg(sample));
}

TEST_F(WritePlotTest, FailuresNameTheFileAndTheReasonInOneLine) {
  testing::Sample sample = testing::MakeSample("goodness_chi_square");
  const auto failure = [&](const std::string& path) -> std::string {
    sample.request.path = path;
    try {
      WritePlot(sample.request, *sample.distribution);
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "no failure";
  };
  EXPECT_EQ(failure(dir_ + "/missing/picture.svg"), dir_ + "/missing/picture.svg: No such file or directory");
  EXPECT_EQ(failure(dir_), dir_ + ": Is a directory");
  EXPECT_EQ(failure(dir_ + "/missing\n/x.svg"), dir_ + "/missing?/x.svg: No such file or directory");
  if (access("/dev/full", W_OK) == 0) {
    EXPECT_EQ(failure("/dev/full"), "/dev/full: No space left on device");
  }
}

}  // namespace
}  // namespace plot
