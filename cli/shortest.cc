#include "cli/shortest.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

// The library's code compiled in here, so that the programs load no
// library of their own at start-up.
#define FMT_HEADER_ONLY
#include <fmt/format.h>

namespace cli {
namespace {

constexpr char kPairs[] =
    "0001020304050607080910111213141516171819"
    "2021222324252627282930313233343536373839"
    "4041424344454647484950515253545556575859"
    "6061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

constexpr std::uint64_t kPowersOfTen[20] = {
    1u,
    10u,
    100u,
    1000u,
    10000u,
    100000u,
    1000000u,
    10000000u,
    100000000u,
    1000000000u,
    10000000000u,
    100000000000u,
    1000000000000u,
    10000000000000u,
    100000000000000u,
    1000000000000000u,
    10000000000000000u,
    100000000000000000u,
    1000000000000000000u,
    10000000000000000000u,
};

// The number of decimal digits of v, 1 for 0: 1233 / 4096 is just below
// log10 2, so t is the number of digits of 2^(bits - 1) or one less, and a
// power of ten decides (0 rather than 1 for t = 0, where v has one digit).
int DigitCount(std::uint64_t v) {
  const int bits = std::bit_width(v | 1);
  const int t = (bits * 1233) >> 12;
  return t + (v >= (t == 0 ? 0 : kPowersOfTen[t]) ? 1 : 0);
}

// The last `count` digits of v, ending at end; returns what is left of v
// before them. Eight digits at a time in 32-bit arithmetic, which divides
// by constants faster than 64-bit arithmetic does.
std::uint64_t WriteLowDigits(char* end, std::uint64_t v, int count) {
  for (; count >= 8; count -= 8) {
    const auto eight = static_cast<std::uint32_t>(v % 100000000);
    v /= 100000000;
    const std::uint32_t high = eight / 10000, low = eight % 10000;
    end -= 8;
    std::memcpy(end, kPairs + 2 * (high / 100), 2);
    std::memcpy(end + 2, kPairs + 2 * (high % 100), 2);
    std::memcpy(end + 4, kPairs + 2 * (low / 100), 2);
    std::memcpy(end + 6, kPairs + 2 * (low % 100), 2);
  }
  if (count == 0) return v;
  // Mostly v has no more digits than are asked for, and nothing is left.
  const std::uint64_t rest = v < kPowersOfTen[count] ? 0 : v / kPowersOfTen[count];
  auto w = static_cast<std::uint32_t>(v - rest * kPowersOfTen[count]);
  for (; count >= 2; count -= 2) {
    end -= 2;
    std::memcpy(end, kPairs + 2 * (w % 100), 2);
    w /= 100;
  }
  if (count == 1) end[-1] = static_cast<char>('0' + w);
  return rest;
}

}  // namespace

char* WriteCount(char* at, std::uint32_t n) {
  const int count = DigitCount(n);
  WriteLowDigits(at + count, n, count);
  return at + count;
}

char* WriteShortest(char* at, double value) {
  // Whole numbers below 10000 (p = 1 among them) are their digits.
  if (value >= 0 && value < 10000 && !std::signbit(value)) {
    const auto whole = static_cast<std::uint32_t>(value);
    if (whole == value) return WriteCount(at, whole);
  }
  if (!std::isfinite(value) || value == 0) return std::to_chars(at, at + kShortestRoom, value).ptr;
  if (std::signbit(value)) {
    *at++ = '-';
    value = -value;
  }
  // value = significand 10^exponent, the significand as short as can be
  // and, among the shortest, nearest to value.
  const auto decimal = fmt::detail::dragonbox::to_decimal(value);
  const std::uint64_t significand = decimal.significand;
  const int exponent = decimal.exponent;
  const int n = DigitCount(significand);
  const int power = exponent + n - 1;  // the exponent form's d.ddd e power
  const int exponent_form = n + (n > 1 ? 1 : 0) + 4 + (power <= -100 || power >= 100 ? 1 : 0);
  const int fixed_form = exponent >= 0 ? n + exponent : power >= 0 ? n + 1 : n + 1 - power;
  if (fixed_form <= exponent_form) {  // a tie goes to the fixed form
    if (exponent >= 0) {
      // Beyond 2^53 the fixed form shows the value's own digits.
      if (value >= 0x1p53) return std::to_chars(at, at + kShortestRoom, value).ptr;
      WriteLowDigits(at + n, significand, n);
      std::memset(at + n, '0', static_cast<std::size_t>(exponent));
      return at + n + exponent;
    }
    if (power >= 0) {
      // The fraction's digits, the point, the whole part's.
      const std::uint64_t whole = WriteLowDigits(at + n + 1, significand, -exponent);
      at[power + 1] = '.';
      WriteLowDigits(at + power + 1, whole, power + 1);
      return at + n + 1;
    }
    at[0] = '0';
    at[1] = '.';
    // At most four zeros here: more make the exponent form shorter.
    std::memcpy(at + 2, "00000000", 8);
    char* digits = at + 2 + (-power - 1);
    WriteLowDigits(digits + n, significand, n);
    return digits + n;
  }
  WriteLowDigits(at + 1 + n, significand, n);
  at[0] = at[1];
  char* end = at + 1;
  if (n > 1) {
    at[1] = '.';
    end = at + n + 1;
  }
  *end++ = 'e';
  *end++ = power < 0 ? '-' : '+';
  unsigned magnitude = static_cast<unsigned>(power < 0 ? -power : power);
  if (magnitude >= 100) {
    *end++ = static_cast<char>('0' + magnitude / 100);
    magnitude %= 100;
  }
  std::memcpy(end, kPairs + 2 * magnitude, 2);
  return end + 2;
}

}  // namespace cli
