#include "cli/shortest.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

namespace cli {
namespace {

std::string Written(double value) {
  char buffer[kShortestRoom];
  return std::string(buffer, WriteShortest(buffer, value));
}

std::string Library(double value) {
  char buffer[64];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

std::string Count(std::uint32_t n) {
  char buffer[kShortestRoom];
  return std::string(buffer, WriteCount(buffer, n));
}

// Counts the values whose text differs from the library's, and shows the
// first few.
class Differences {
 public:
  void Check(double value) {
    const std::string written = Written(value), library = Library(value);
    if (written != library && count_++ < 5) {
      ADD_FAILURE() << std::hexfloat << value << ": " << written << " instead of " << library;
    }
  }
  int count() const { return count_; }

 private:
  int count_ = 0;
};

TEST(WriteShortest, ChoosesTheShorterFormAndTheFixedOneOnATie) {
  EXPECT_EQ(Written(0.0625), "0.0625");
  EXPECT_EQ(Written(0.1), "0.1");
  EXPECT_EQ(Written(0.001), "0.001");
  EXPECT_EQ(Written(0.0001), "1e-04");
  EXPECT_EQ(Written(0.00012), "0.00012");
  EXPECT_EQ(Written(0.00001), "1e-05");
  EXPECT_EQ(Written(2.1996e-06), "2.1996e-06");
  EXPECT_EQ(Written(6.028322580102989), "6.028322580102989");
  EXPECT_EQ(Written(123456.5), "123456.5");
  EXPECT_EQ(Written(10000.0), "10000");
  EXPECT_EQ(Written(100000.0), "1e+05");
  EXPECT_EQ(Written(120000.0), "120000");
  EXPECT_EQ(Written(1000000.0), "1e+06");
  EXPECT_EQ(Written(1234567.0), "1234567");
  EXPECT_EQ(Written(1e300), "1e+300");
  EXPECT_EQ(Written(1e-300), "1e-300");
  EXPECT_EQ(Written(-0.5), "-0.5");
  EXPECT_EQ(Written(1.0), "1");
  EXPECT_EQ(Written(0.9999999999999999), "0.9999999999999999");
}

TEST(WriteShortest, WritesTheEndsOfTheDoublesAsTheLibraryDoes) {
  EXPECT_EQ(Written(0.0), "0");
  EXPECT_EQ(Written(-0.0), "-0");
  EXPECT_EQ(Written(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(Written(-std::numeric_limits<double>::infinity()), "-inf");
  EXPECT_EQ(Written(std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(Written(std::numeric_limits<double>::denorm_min()), "5e-324");
  EXPECT_EQ(Written(-std::numeric_limits<double>::min()), "-2.2250738585072014e-308");
  EXPECT_EQ(Written(std::numeric_limits<double>::max()), "1.7976931348623157e+308");
  // Whole numbers from 2^53 on, where the fixed form shows the value's
  // own digits rather than the shortest ones.
  EXPECT_EQ(Written(0x1p53), "9007199254740992");
  EXPECT_EQ(Written(0x1p53 + 2), "9007199254740994");
  EXPECT_EQ(Written(1e16), "1e+16");
}

TEST(WriteShortest, MatchesTheLibraryOnPowersAndTheirNeighbours) {
  Differences differences;
  for (int e = -1074; e <= 1023; ++e) {
    const double power = std::ldexp(1.0, e);
    differences.Check(power);
    differences.Check(std::nextafter(power, 0.0));
    differences.Check(std::nextafter(power, 2 * power));
  }
  for (int e = -325; e <= 308; ++e) {
    const double power = std::strtod(("1e" + std::to_string(e)).c_str(), nullptr);
    differences.Check(power);
    differences.Check(-power);
    differences.Check(std::nextafter(power, 0.0));
    differences.Check(std::nextafter(power, std::numeric_limits<double>::infinity()));
  }
  EXPECT_EQ(differences.count(), 0);
}

TEST(WriteShortest, MatchesTheLibraryOnRandomDoubles) {
  std::mt19937_64 random(20261210);
  std::uniform_real_distribution<double> unit(0, 1);
  Differences differences;
  for (int i = 0; i < 100000; ++i) {
    differences.Check(unit(random));                                                   // p-values
    differences.Check(std::ldexp(unit(random), -static_cast<int>(random() % 1080)));   // down to subnormals
    differences.Check(std::bit_cast<double>(random()));                                // any bits
    differences.Check(std::bit_cast<double>(random() & 0x000FFFFFFFFFFFFFu));          // subnormals
    differences.Check(static_cast<double>(random() >> (random() % 64)));               // whole numbers
    differences.Check(static_cast<double>(random() % 20000) / 1024);                   // short fractions
  }
  // Short decimals and the doubles beside them, where the shortest digits
  // are fewest and a boundary is nearest.
  for (int i = 0; i < 50000; ++i) {
    const std::string text = std::to_string(random() % 100000) + "e" + std::to_string(static_cast<int>(random() % 630) - 320);
    const double value = std::strtod(text.c_str(), nullptr);
    differences.Check(value);
    differences.Check(std::nextafter(value, 0.0));
    differences.Check(std::nextafter(value, std::numeric_limits<double>::infinity()));
  }
  EXPECT_EQ(differences.count(), 0);
}

TEST(WriteCount, WritesEveryLengthOfDigits) {
  EXPECT_EQ(Count(0), "0");
  EXPECT_EQ(Count(7), "7");
  EXPECT_EQ(Count(10), "10");
  EXPECT_EQ(Count(99), "99");
  EXPECT_EQ(Count(100), "100");
  EXPECT_EQ(Count(20000), "20000");
  EXPECT_EQ(Count(99999999), "99999999");
  EXPECT_EQ(Count(100000000), "100000000");
  EXPECT_EQ(Count(2147483647), "2147483647");
  EXPECT_EQ(Count(4294967295u), "4294967295");
  std::uint32_t power = 1;
  for (int digits = 1; digits <= 9; ++digits, power *= 10) {
    EXPECT_EQ(Count(power - 1), std::to_string(power - 1));
    EXPECT_EQ(Count(power), std::to_string(power));
    EXPECT_EQ(Count(power + 1), std::to_string(power + 1));
  }
}

}  // namespace
}  // namespace cli
