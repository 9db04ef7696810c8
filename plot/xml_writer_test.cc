#include "plot/xml_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace plot {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(EscapeXmlTest, MarkupCharactersBecomeReferences) {
  EXPECT_EQ(EscapeXml("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
  EXPECT_EQ(EscapeXml("]]>"), "]]&gt;");
  EXPECT_EQ(EscapeXml("&amp;"), "&amp;amp;");  // text, not a reference
}

TEST(EscapeXmlTest, WellFormedUtf8PassesUnchanged) {
  const std::string text = "caf\xC3\xA9 \xE6\xA4\x9C\xE5\xAE\x9A \xF0\x9F\x93\x8A \xF4\x8F\xBF\xBD";
  EXPECT_EQ(EscapeXml(text), text);
}

TEST(EscapeXmlTest, EachMaximalIllFormedSubsequenceBecomesOneReplacement) {
  EXPECT_EQ(EscapeXml("\xFF"), kFffd);
  EXPECT_EQ(EscapeXml("\x80\x80"), kFffd + kFffd);            // lone continuation bytes
  EXPECT_EQ(EscapeXml("\xE6\xA4"), kFffd);                    // cut short at the end
  EXPECT_EQ(EscapeXml("\xE6\xA4z"), kFffd + "z");             // cut short before ASCII
  EXPECT_EQ(EscapeXml("\xC0\xAF"), kFffd + kFffd);            // overlong: C0 never leads
  EXPECT_EQ(EscapeXml("\xE0\x80\xAF"), kFffd + kFffd + kFffd);  // overlong three bytes
  EXPECT_EQ(EscapeXml("\xED\xA0\x80"), kFffd + kFffd + kFffd);  // a surrogate
  EXPECT_EQ(EscapeXml("\xF4\x90\x80\x80"), kFffd + kFffd + kFffd + kFffd);  // beyond U+10FFFF
  EXPECT_EQ(EscapeXml("\xF0\x9F\x93"), kFffd);
  EXPECT_EQ(EscapeXml("a\xC3"), "a" + kFffd);
}

TEST(EscapeXmlTest, ControlsAndNonCharactersAreReplaced) {
  // XML 1.0 cannot hold C0 controls even as references.
  EXPECT_EQ(EscapeXml(std::string("a\0b", 3)), "a" + kFffd + "b");
  EXPECT_EQ(EscapeXml("\x01\x1B[31m"), kFffd + kFffd + "[31m");
  EXPECT_EQ(EscapeXml("\x7F"), kFffd);
  EXPECT_EQ(EscapeXml("\xC2\x85"), kFffd);          // C1: NEL
  EXPECT_EQ(EscapeXml("\xEF\xBF\xBE"), kFffd);      // U+FFFE
  EXPECT_EQ(EscapeXml("a\tb\nc\r\nd"), "a b c  d");  // one line
}

TEST(FormatTest, CoordinatesHaveAtMostTwoDecimalsAndNoNegativeZero) {
  EXPECT_EQ(FormatCoordinate(3), "3");
  EXPECT_EQ(FormatCoordinate(12.5), "12.5");
  EXPECT_EQ(FormatCoordinate(0.125), "0.12");
  EXPECT_EQ(FormatCoordinate(99.999), "100");
  EXPECT_EQ(FormatCoordinate(-0.001), "0");
  EXPECT_EQ(FormatCoordinate(-0.0), "0");
  EXPECT_EQ(FormatCoordinate(-7.25), "-7.25");
  EXPECT_THROW(FormatCoordinate(std::numeric_limits<double>::infinity()), std::invalid_argument);
  EXPECT_THROW(FormatCoordinate(std::nan("")), std::invalid_argument);
}

TEST(FormatTest, ExactNumbersReadBackUnchanged) {
  for (const double x : {0.1, 1.0 / 3, 6.028322580102989, 3.7e-300, 4.9e-324, 1.7976931348623157e308}) {
    EXPECT_EQ(std::strtod(FormatExact(x).c_str(), nullptr), x) << FormatExact(x);
  }
}

TEST(XmlWriterTest, WritesNestedElementsAttributesAndText) {
  XmlWriter xml;
  xml.Open("svg");
  xml.Attribute("width", 800.0);
  xml.Attribute("data-title", "a \"b\" & <c>");
  xml.Open("g");
  xml.Open("rect");
  xml.Close();
  xml.Close();
  xml.Open("text");
  xml.Text("x < y");
  xml.Open("tspan");
  xml.Text("z");
  xml.Close();
  xml.Close();
  xml.Close();
  EXPECT_EQ(xml.Finish(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<svg width=\"800\" data-title=\"a &quot;b&quot; &amp; &lt;c&gt;\">\n<g>\n<rect/></g>\n"
            "<text>x &lt; y<tspan>z</tspan></text></svg>\n");
}

TEST(XmlWriterTest, RefusesWhatWouldNotBeWellFormed) {
  {
    XmlWriter xml;
    xml.Open("a");
    xml.Text("t");
    EXPECT_THROW(xml.Attribute("late", "x"), std::logic_error);
    EXPECT_THROW(xml.Finish(), std::logic_error);  // a still open
  }
  {
    XmlWriter xml;
    EXPECT_THROW(xml.Close(), std::logic_error);
    EXPECT_THROW(xml.Text("outside"), std::logic_error);
    EXPECT_THROW(xml.Open("1a"), std::logic_error);
    EXPECT_THROW(xml.Open("a b"), std::logic_error);
    xml.Open("a");
    EXPECT_THROW(xml.Attribute("x=\"1\" y", "2"), std::logic_error);
    xml.Close();
    EXPECT_THROW(xml.Open("second"), std::logic_error);
  }
}

}  // namespace
}  // namespace plot
