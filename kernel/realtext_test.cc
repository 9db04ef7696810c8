#include "kernel/realtext.h"

#include "kernel/numeric.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Fixed(long double x, int width, int decimals) {
  char text[kMaxRealText];
  return std::string(text, FormatReal(x, width, decimals, text));
}

std::string Default(long double x) {
  char text[kMaxRealText];
  return std::string(text, FormatReal(x, text));
}

// An extended real from its fields: sign, biased exponent, significand
// with its explicit integer bit.
long double ExtendedFromParts(bool negative, int biased_exponent, std::uint64_t significand) {
  long double x = 0;
  std::uint16_t top = static_cast<std::uint16_t>((negative ? 0x8000 : 0) | biased_exponent);
  std::memcpy(&x, &significand, 8);
  std::memcpy(reinterpret_cast<char*>(&x) + 8, &top, 2);
  return x;
}

TEST(RealTextTest, FixedFormExamples) {
  EXPECT_EQ(Fixed(2.5L, 8, 1), "     2.5");
  EXPECT_EQ(Fixed(12.25L, 8, 2), "   12.25");
  EXPECT_EQ(Fixed(0.0078125L, 8, 2), "    0.01");
  EXPECT_EQ(Fixed(3, 10, 4), "    3.0000");
  EXPECT_EQ(Fixed(3, 10, 5), "   3.00000");
  EXPECT_EQ(Fixed(0.375L, 10, 6), "  0.375000");
  EXPECT_EQ(Fixed(0.0029296875L, 13, 10), " 0.0029296875");
  EXPECT_EQ(Fixed(0.5L, 20, 17), " 0.50000000000000000");
  EXPECT_EQ(Fixed(0x1p-20L, 20, 17), " 0.00000095367431641");
  EXPECT_EQ(Fixed(0x1p-70L, 20, 17), " 0.00000000000000000");
  EXPECT_EQ(Fixed(16.0L / 27, 13, 10), " 0.5925925926");
  EXPECT_EQ(Fixed(16.0L / 27, 20, 17), " 0.59259259259259259");
}

TEST(RealTextTest, HalfUpOnDecimalDigits) {
  EXPECT_EQ(Fixed(12.25L, 8, 1), "    12.3");
  EXPECT_EQ(Fixed(2.5L, 8, 0), "       3");
  EXPECT_EQ(Fixed(3.5L, 8, 0), "       4");
  EXPECT_EQ(Fixed(0.125L, 8, 2), "    0.13");
  // 2.675 is stored a little below; its 18-digit expansion is ...500.
  EXPECT_EQ(Fixed(2.675L, 8, 2), "    2.68");
  EXPECT_EQ(Fixed(2.665L, 8, 2), "    2.67");
  EXPECT_EQ(Fixed(2.6749L, 8, 2), "    2.67");
}

TEST(RealTextTest, RoundingBeforeTheFirstDigit) {
  // t = -1: a first digit of 5 or more becomes one unit of the last place.
  EXPECT_EQ(Fixed(0.5L, 8, 0), "       1");
  EXPECT_EQ(Fixed(0.4L, 8, 0), "       0");
  EXPECT_EQ(Fixed(0.005L, 8, 2), "    0.01");
  EXPECT_EQ(Fixed(0.0049L, 8, 2), "    0.00");
  EXPECT_EQ(Fixed(0.0009L, 8, 2), "    0.00");
}

TEST(RealTextTest, CarryWidensField) {
  EXPECT_EQ(Fixed(9.99L, 8, 1), "    10.0");
  EXPECT_EQ(Fixed(99.96L, 8, 1), "   100.0");
  EXPECT_EQ(Fixed(0.9999996L, 10, 6), "  1.000000");
  EXPECT_EQ(Fixed(999999.5L, 8, 0), " 1000000");
}

TEST(RealTextTest, NegativeRoundsToZero) {
  EXPECT_EQ(Fixed(-0.0009765625L, 8, 2), "   -0.00");
  EXPECT_EQ(Fixed(-0.0L, 8, 2), "    0.00");
  EXPECT_EQ(Fixed(-2.5L, 8, 1), "    -2.5");
  EXPECT_EQ(Fixed(-0.004L, 10, 2), "     -0.00");
  EXPECT_EQ(Fixed(-0.006L, 10, 2), "     -0.01");
}

TEST(RealTextTest, WiderThanField) {
  EXPECT_EQ(Fixed(100000, 8, 2), "100000.00");
  EXPECT_EQ(Fixed(1000, 10, 6), "1000.000000");
  EXPECT_EQ(Fixed(-12345.678L, 3, 1), "-12345.7");
  EXPECT_EQ(Fixed(7, 0, 0), "7");
}

TEST(RealTextTest, ZeroAndTinyValues) {
  EXPECT_EQ(Fixed(0, 10, 4), "    0.0000");
  EXPECT_EQ(Fixed(0, 1, 0), "0");
  EXPECT_EQ(Fixed(1e-30L, 10, 6), "  0.000000");
  // Between 10^-35 and 2^-116 the scale exponent is -36: scientific.
  EXPECT_EQ(Fixed(1.1e-35L, 20, 17), " 1.10000000000E-0035");
}

TEST(RealTextTest, FallsBackToScientific) {
  EXPECT_EQ(Fixed(0x1p-116L, 20, 17), " 0.00000000000000000");
  EXPECT_EQ(Fixed(0x1p-117L, 20, 17), " 6.01853107621E-0036");
  EXPECT_EQ(Fixed(std::nextafter(0x1p-116L, 0.0L), 10, 4), " 1.2E-0035");
  // The upper end, (2^64 - 13) x 2^55, still takes the fixed form.
  long double high = 0xFFFFFFFFFFFFFFF3p55L;
  EXPECT_EQ(Fixed(high, 10, 2), "664613997892457936000000000000000000.00");
  EXPECT_EQ(Fixed(std::nextafter(high, 1e40L), 10, 2), " 6.6E+0035");
  EXPECT_EQ(Fixed(-1e36L, 12, 2), "-1.000E+0036");
  EXPECT_EQ(Fixed(0.5L, 8, -1), " 5.0E-0001");
}

TEST(RealTextTest, LargeIntegerPartShowsEighteenDigits) {
  EXPECT_EQ(Fixed(1e20L, 4, 1), "100000000000000000000.0");
  EXPECT_EQ(Fixed(123456789012345678901.0L, 1, 0), "123456789012345679000");
  EXPECT_EQ(Fixed(12345678901234567.5L, 1, 2), "12345678901234567.50");
}

TEST(RealTextTest, DefaultForm) {
  EXPECT_EQ(Default(0.03125L), " 3.12500000000000E-0002");
  EXPECT_EQ(Default(0), " 0.00000000000000E+0000");
  EXPECT_EQ(Default(-0.0L), " 0.00000000000000E+0000");
  EXPECT_EQ(Default(-0.03125L), "-3.12500000000000E-0002");
  EXPECT_EQ(Default(0.25L), " 2.50000000000000E-0001");
  EXPECT_EQ(Default(1), " 1.00000000000000E+0000");
  EXPECT_EQ(Default(12), " 1.20000000000000E+0001");
  EXPECT_EQ(Default(9.999999999999995L), " 1.00000000000000E+0001");
  EXPECT_EQ(Default(126.0L / 6188), " 2.03619909502262E-0002");
}

TEST(RealTextTest, ScalingFloorsTowardMinusInfinity) {
  // b = -1, -3: truncation would leave 0.75 unscaled and lose a digit.
  EXPECT_EQ(Default(0.75L), " 7.50000000000000E-0001");
  EXPECT_EQ(Default(0.2L), " 2.00000000000000E-0001");
  // b = -16382 for the smallest normal and for every denormal.
  EXPECT_EQ(Default(0x1p-16382L), " 3.36210314311209E-4932");
  EXPECT_EQ(Default(0x1p-16445L), " 3.64519953188247E-4951");
  EXPECT_EQ(Default(ExtendedFromParts(false, 0, 0x4000000000000000)), " 1.68105157155605E-4932");
  // b = 16383.
  EXPECT_EQ(Default(std::numeric_limits<long double>::max()), " 1.18973149535723E+4932");
  EXPECT_EQ(Default(-std::numeric_limits<long double>::max()), "-1.18973149535723E+4932");
}

TEST(RealTextTest, ScientificWidths) {
  EXPECT_EQ(Fixed(1e-40L, 3, 2), " 1.0E-0040");  // raised to 10
  EXPECT_EQ(Fixed(1.0L / 3, 26, -1), " 3.33333333333333333E-0001");
  EXPECT_EQ(Fixed(1.0L / 3, 30, -1), "     3.33333333333333333E-0001");
  EXPECT_EQ(Fixed(2.0L / 3, 12, -1), " 6.667E-0001");
}

TEST(RealTextTest, SpecialValues) {
  EXPECT_EQ(Fixed(std::numeric_limits<long double>::quiet_NaN(), 8, 2), "     Nan");
  EXPECT_EQ(Fixed(std::numeric_limits<long double>::infinity(), 8, 2), "    +Inf");
  EXPECT_EQ(Fixed(-std::numeric_limits<long double>::infinity(), 2, 2), "-Inf");
}

TEST(RealTextTest, WidthAndDecimalsAreCapped) {
  EXPECT_EQ(Fixed(1, 1000, 0).size(), 255u);
  // At the caps themselves and one past them.
  EXPECT_EQ(Fixed(1, 254, 0).size(), 254u);
  EXPECT_EQ(Fixed(1, 255, 0).size(), 255u);
  EXPECT_EQ(Fixed(1, 256, 0).size(), 255u);
  EXPECT_EQ(Fixed(1, 256, -1).size(), 255u);
  EXPECT_EQ(Fixed(std::numeric_limits<long double>::infinity(), 256, 2).size(), 255u);
  EXPECT_EQ(Fixed(1, 0, 215).size(), 217u);
  EXPECT_EQ(Fixed(1, 0, 216).size(), 218u);
  EXPECT_EQ(Fixed(1, 0, 217).size(), 218u);
  std::string many = Fixed(1, 0, 1000);
  EXPECT_EQ(many.size(), 218u);
  EXPECT_EQ(many.substr(0, 4), "1.00");
}

}  // namespace

namespace {

// Texts are remembered by value, width and decimals: a value met again, or
// one that shares its slot with another, must still get its own text.
TEST(RealTextTest, RepeatedValuesGiveTheSameText) {
  std::vector<std::string> first;
  for (int i = 0; i < 20000; ++i) {
    long double v = (i % 2 ? -1.0L : 1.0L) / (1 + i % 4999) * (i % 3 == 0 ? 1e-50L : 1e3L);
    first.push_back(Fixed(v, 8 + i % 15, i % 19 - 1));
  }
  for (int i = 19999; i >= 0; --i) {
    long double v = (i % 2 ? -1.0L : 1.0L) / (1 + i % 4999) * (i % 3 == 0 ? 1e-50L : 1e3L);
    ASSERT_EQ(Fixed(v, 8 + i % 15, i % 19 - 1), first[i]) << i;
  }
  EXPECT_EQ(Fixed(2.5L, 8, 1), "     2.5");
  EXPECT_EQ(Fixed(2.5L, 8, 0), "       3");
  EXPECT_EQ(Fixed(2.5L, 9, 1), "      2.5");
  EXPECT_EQ(Fixed(-2.5L, 8, 1), "    -2.5");
}

}  // namespace

namespace {

// The scaling done on the x87 unit itself, operation by operation: the
// reference for the integer arithmetic that forms the expansion of normal
// values.
ScaledDecimal ScaleOnTheUnit(long double x) {
  int scale = 0;
  long double v = std::fabs(x);
  while (v != 0) {
    std::uint16_t top;
    std::memcpy(&top, reinterpret_cast<const char*>(&v) + 8, 2);
    int b = (top & 0x7FFF) == 0 ? -16382 : (top & 0x7FFF) - 16383;
    int k = (b * 19728) >> 16;
    if (k == 0) break;
    scale += k;
    char text[16];
    std::snprintf(text, sizeof text, "1e%d", -k);
    v = v * WithExceptionsMasked([&] { return std::strtold(text, nullptr); });
  }
  return {std::llrint(v * 1e17L), scale};
}

TEST(RealTextTest, IntegerScalingMatchesTheUnit) {
  std::uint64_t state = 0x243F6A8885A308D3u;
  auto next = [&] {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    return state;
  };
  auto check = [](long double x) {
    ScaledDecimal fast = ScaleToDecimal(x);
    ScaledDecimal reference = ScaleOnTheUnit(x);
    ASSERT_EQ(fast.y, reference.y) << static_cast<double>(x);
    ASSERT_EQ(fast.scale, reference.scale) << static_cast<double>(x);
  };
  for (int i = 0; i < 300000; ++i) {
    std::uint64_t significand = next() | (std::uint64_t{1} << 63);
    int exponent = i % 4 == 0 ? static_cast<int>(next() % 32766) + 1 : 16383 - 200 + static_cast<int>(next() % 400);
    check(ExtendedFromParts(i % 2 == 1, exponent, significand));
  }
  // Exact powers of ten and their neighbours, where the scaling lands on 1.
  for (int j = -300; j <= 300; ++j) {
    char text[16];
    std::snprintf(text, sizeof text, "1e%d", j);
    long double p = WithExceptionsMasked([&] { return std::strtold(text, nullptr); });
    check(p);
    check(std::nextafter(p, 0.0L));
    check(std::nextafter(p, 1e4000L));
  }
  check(std::numeric_limits<long double>::max());
  check(std::numeric_limits<long double>::min());
  check(0x1p-16445L);
  check(0);
}

}  // namespace
