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

TEST(PlotTest, MassesFrom1To1e300AreAllDrawn) {
  const testing::Sample sample = testing::MakeSample("fourfold_wide_fisher");
  const std::string svg = Svg(sample);
  long double least = 1;
  for (const BarRead& bar : ReadBars(svg)) least = std::min(least, bar.mass);
  EXPECT_GT(least, 0);
  EXPECT_LT(least, 1e-298L);
  EXPECT_EQ(Attribute(svg, "data-scale"), "log");
  EXPECT_NE(svg.find(">1e-300<"), std::string::npos);  // a tick that low
  EXPECT_EQ(svg.find("values of mass below"), std::string::npos);
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
  EXPECT_NE(svg.find("hatched part is the mass in p"), std::string::npos);
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
