#include "cli/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace cli {
namespace {

TEST(NumbersTest, CountsAreDecimalIntegersUpTo2147483647) {
  for (const char* text : {"0", "7", "007", "2147483647"}) EXPECT_EQ(CountProblem(text), std::nullopt) << text;
  EXPECT_EQ(CountValue("2147483647"), 2147483647u);
  EXPECT_EQ(CountValue("007"), 7u);
  EXPECT_EQ(CountProblem("2147483648"), "a count is at most 2147483647");
  EXPECT_EQ(CountProblem("99999999999999999999999"), "a count is at most 2147483647");
}

TEST(NumbersTest, CountProblemsSayWhatIsWrong) {
  EXPECT_EQ(CountProblem("-3"), "a count cannot be negative");
  EXPECT_EQ(CountProblem("-0"), "a count cannot be negative");
  EXPECT_EQ(CountProblem("+3"), "a count is written without a sign");
  EXPECT_EQ(CountProblem("3.0"), "a count is a whole number");
  EXPECT_EQ(CountProblem("1e3"), "a count is written in plain decimal digits");
  EXPECT_EQ(CountProblem(""), "an empty argument is not a count");
  const std::string generic = "a count is a whole number from 0 to 2147483647 in decimal digits";
  for (const char* text : {"\xEF\xBC\x93", " 3", "3 ", "0x10", "three", "-", "--", "3-"}) {
    EXPECT_EQ(CountProblem(text), generic) << text;
  }
}

TEST(NumbersTest, UnsignedAcceptsDigitsOnlyWithin64Bits) {
  EXPECT_EQ(ParseUnsigned("0"), 0u);
  EXPECT_EQ(ParseUnsigned("18446744073709551615"), std::numeric_limits<std::uint64_t>::max());
  for (const char* text : {"", "18446744073709551616", "-1", "+1", "1.0", " 1", "1e6"}) {
    EXPECT_EQ(ParseUnsigned(text), std::nullopt) << text;
  }
}

TEST(NumbersTest, DecimalsHaveNoSignHexOrInfinity) {
  EXPECT_EQ(ParseDecimal("0.95"), 0.95);
  EXPECT_EQ(ParseDecimal(".5"), 0.5);
  EXPECT_EQ(ParseDecimal("10."), 10.0);
  EXPECT_EQ(ParseDecimal("1e-3"), 1e-3);
  EXPECT_EQ(ParseDecimal("2.5E+2"), 250.0);
  for (const char* text : {"", ".", "-0.5", "+0.5", "0x1p-2", "inf", "nan", "1e", "1e+", "0.5 ", "1,5", "1e999"}) {
    EXPECT_EQ(ParseDecimal(text), std::nullopt) << text;
  }
}

TEST(NumbersTest, TheShortestFormThatReadsBack) {
  EXPECT_EQ(Shortest(5), "5");
  EXPECT_EQ(Shortest(0.0625), "0.0625");
  EXPECT_EQ(Shortest(0.1), "0.1");
  EXPECT_EQ(Shortest(0.375 + 0x1p-54), "0.37500000000000006");
  EXPECT_EQ(Shortest(2.1996e-06), "2.1996e-06");
  EXPECT_EQ(Shortest(1e300), "1e+300");
  EXPECT_EQ(Shortest(4.9e-324), "5e-324");
  EXPECT_EQ(Shortest(std::numeric_limits<double>::infinity()), "inf");
  for (double value : {1.0 / 3, 6.028322580102989, 4.9e-324, 1.7976931348623157e308, 0.1 + 0.2}) {
    EXPECT_EQ(std::strtod(Shortest(value).c_str(), nullptr), value);
  }
}

TEST(NumbersTest, PowersOfTenBeyondTheRangeOfDoubles) {
  EXPECT_EQ(PowerOfTenText(-1202.5, 5), "3.1623e-1203");
  EXPECT_EQ(PowerOfTenText(-1203, 5), "1e-1203");
  EXPECT_EQ(PowerOfTenText(std::log10(2.1996e-06), 5), "2.1996e-06");
  EXPECT_EQ(PowerOfTenText(-400 + std::log10(9.99996), 5), "1e-399");  // rounds up to the next power
  EXPECT_EQ(PowerOfTenText(2.5, 6), "3.16228e+02");
  EXPECT_EQ(PowerOfTenText(0, 5), "1e+00");
  EXPECT_EQ(PValueText(0, -1203.4), "3.9811e-1204");
  EXPECT_EQ(PValueText(1e-310, -310), "1e-310");
  EXPECT_EQ(PValueText(0.25, -0.60206), "0.25");  // a normal double prints as itself
  EXPECT_EQ(PValueText(0), "< 4.9e-324");          // no log10: only the floor is known
  EXPECT_EQ(ValueText(0, -5000.25), "5.62341e-5001");
}

TEST(NumbersTest, PValuesKeepFiveSignificantDigitsAndNeverRoundAway) {
  EXPECT_EQ(PValueText(0.23095703125), "0.23096");
  EXPECT_EQ(PValueText(0.001395), "0.001395");
  EXPECT_EQ(PValueText(0.00022730), "0.0002273");
  EXPECT_EQ(PValueText(2.1996e-06), "2.1996e-06");
  EXPECT_EQ(PValueText(4.6e-22), "4.6e-22");
  EXPECT_EQ(PValueText(1), "1");
  EXPECT_EQ(PValueText(0.5), "0.5");
  // Below 1, however close, never printed as 1.
  EXPECT_EQ(PValueText(0.999996), "0.999996");
  EXPECT_EQ(PValueText(1 - 1e-12), "0.999999999999");
  EXPECT_EQ(PValueText(std::nextafter(1.0, 0.0)), "0.9999999999999999");
  EXPECT_EQ(PValueText(4.9e-324), "4.9407e-324");
  EXPECT_EQ(PValueText(0), "< 4.9e-324");
}

TEST(NumbersTest, ValuesAndOutcomeCounts) {
  EXPECT_EQ(ValueText(5), "5");
  EXPECT_EQ(ValueText(6.028322580102989), "6.02832");
  EXPECT_EQ(ValueText(1.2e-30), "1.2e-30");
  EXPECT_EQ(ValueText(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(OutcomeCountText(120), "120");
  EXPECT_EQ(OutcomeCountText(4263421511271.0), "4263421511271");
  EXPECT_EQ(OutcomeCountText(0x1p53), "9.0072e+15");
  EXPECT_EQ(OutcomeCountText(1e30), "1e+30");
}

}  // namespace
}  // namespace cli
