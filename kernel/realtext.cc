#include "kernel/realtext.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernel/numeric.h"

namespace {

using expansion_internal::Extended;
using expansion_internal::kHighestPower;
using expansion_internal::kLowestPower;
using expansion_internal::PowerIndex;

// The powers of ten as extended reals, beside their fields.
long double power_of_ten[kHighestPower - kLowestPower + 1];

long double PowerOfTen(int j) { return power_of_ten[PowerIndex(j)]; }

// The base-2 exponent b with v in [2^b, 2^(b+1)); -16382 for a denormal.
int BinaryExponent(long double v) {
  int biased = BitsOf(v).sign_exponent & 0x7FFF;
  return biased == 0 ? -16382 : biased - 16383;
}

// |x| ~ D1.D2D3... x 10^exponent, digits as characters.
// The digit array has room beyond the 19 or 20 digits in use, so that
// digits are copied in fixed-size blocks; the texts likewise leave room
// (kMaxRealText) past their end.
struct Expansion {
  char digit[40];
  int count;
  int exponent;
};

constexpr std::int64_t kTenTo18 = 1000000000000000000;

// "00" to "99", for two digits per division.
constexpr struct DigitPairs {
  char text[200];
  constexpr DigitPairs() : text() {
    for (int i = 0; i < 100; ++i) {
      text[2 * i] = static_cast<char>('0' + i / 10);
      text[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
  }
} kDigitPairs;

// The count (at most 10) last decimal digits of value, with leading zeros.
void WriteDigits(std::uint32_t value, int count, char* out) {
  int i = count;
  while (i >= 2) {
    std::memcpy(out + i - 2, kDigitPairs.text + 2 * (value % 100), 2);
    value /= 100;
    i -= 2;
  }
  if (i == 1) out[0] = static_cast<char>('0' + value % 10);
}

// The 18 digits of a value below 10^18, with leading zeros.
void WriteEighteenDigits(std::int64_t value, char* out) {
  auto high = static_cast<std::uint32_t>(value / 1000000000);
  auto low = static_cast<std::uint32_t>(value % 1000000000);
  WriteDigits(high, 9, out);
  WriteDigits(low, 9, out + 9);
}

// Rounds to an integer in the current rounding mode (to nearest, ties to
// even), as llrintl does, without the library call.
std::int64_t RoundToInteger(long double value) {
  std::int64_t result;
  asm("fistpll %0" : "=m"(result) : "t"(value) : "st");
  return result;
}

}  // namespace

namespace expansion_internal {

Extended power_fields[kHighestPower - kLowestPower + 1];
bool power_known[kHighestPower - kLowestPower + 1];

[[gnu::noinline, gnu::cold]] void LearnPower(int i, int j) {
  char text[16];
  std::snprintf(text, sizeof text, "1e%d", j);
  long double power = WithExceptionsMasked([&] { return std::strtold(text, nullptr); });
  ExtendedBits bits = BitsOf(power);
  power_of_ten[i] = power;
  power_fields[i] = {bits.significand, (bits.sign_exponent & 0x7FFF) - 16383};
  power_known[i] = true;
}

}  // namespace expansion_internal

ScaledDecimal ScaleToDecimal(const long double& x) {
  ExtendedBits bits = BitsOf(x);
  int biased_exponent = bits.sign_exponent & 0x7FFF;
  if (biased_exponent != 0 && (bits.significand >> 63) != 0) {
    return ScaleNormalToDecimal(bits.significand, biased_exponent - 16383);
  }
  // Zero and denormals on the x87 unit itself.
  int scale = 0;
  long double v = std::fabs(x);
  while (v != 0) {
    // floor(b x log10 2) with 19728 / 65536 for log10 2; the arithmetic
    // shift floors toward minus infinity, also for negative b. A denormal
    // counts as b = -16382.
    int k = (BinaryExponent(v) * 19728) >> 16;
    if (k == 0) break;
    scale += k;
    v = v * PowerOfTen(-k);
  }
  return {RoundToInteger(v * 1e17L), scale};
}

namespace {

Expansion Expand(ScaledDecimal scaled) {
  Expansion e;
  std::int64_t y = scaled.y;
  if (y < kTenTo18) {
    WriteEighteenDigits(y, e.digit);
    e.count = 18;
    e.exponent = scaled.scale;
  } else {
    e.digit[0] = '1';
    WriteEighteenDigits(y - kTenTo18, e.digit + 1);
    e.count = 19;
    e.exponent = scaled.scale + 1;
  }
  return e;
}

// Rounds half up at n digits: the digit at n + 1 decides; 9s carry to the
// left, and a carry out of the first digit puts a 1 in front. The digits
// after n stay but are never shown.
void RoundDigits(Expansion& e, int n) {
  if (n > 18 || n + 1 > e.count || e.digit[n] < '5') return;
  int i = n - 1;
  while (i >= 0 && e.digit[i] == '9') e.digit[i--] = '0';
  if (i >= 0) {
    ++e.digit[i];
    return;
  }
  std::memmove(e.digit + 1, e.digit, static_cast<std::size_t>(e.count));
  e.digit[0] = '1';
  ++e.count;
  ++e.exponent;
}

// Writes the digits at positions first .. last counted from 1: those before
// the first digit and beyond the 18th are 0.
char* WritePositions(const Expansion& e, int first, int last, char* out) {
  int p = first;
  while (p <= last && p < 1) *out++ = '0', ++p;
  if (p <= last && p <= 18) {
    int through = last < 18 ? last : 18;
    std::memcpy(out, e.digit + p - 1, 18);
    out += through - p + 1;
    p = through + 1;
  }
  while (p <= last) *out++ = '0', ++p;
  return out;
}

std::size_t Pad(char* out, int count) {
  if (count <= 0) return 0;
  for (int i = 0; i < count; ++i) out[i] = ' ';
  return static_cast<std::size_t>(count);
}

std::size_t SpecialValue(bool negative, bool nan, int width, char* out) {
  const char* text = nan ? "Nan" : negative ? "-Inf" : "+Inf";
  std::size_t length = std::strlen(text);
  std::size_t n = Pad(out, width - static_cast<int>(length));
  std::memcpy(out + n, text, length);
  return n + length;
}

std::size_t FixedForm(ScaledDecimal scaled, bool negative, int width, int decimals, char* out) {
  if (decimals > 216) decimals = 216;
  Expansion e = Expand(scaled);
  RoundDigits(e, 18);
  int t = e.exponent + decimals;
  // At t = 17 the rounding to 18 digits above has already been made.
  if (t >= -1 && t <= 16) RoundDigits(e, t + 1);
  int length = (decimals > 0 ? decimals + 1 : 0) + (e.exponent > 0 ? e.exponent + 1 : 1) +
               (negative ? 1 : 0);
  char* o = out + Pad(out, width - length);
  if (negative) *o++ = '-';
  if (e.exponent < 0) {
    *o++ = '0';
  } else {
    o = WritePositions(e, 1, e.exponent + 1, o);
  }
  if (decimals > 0) {
    *o++ = '.';
    o = WritePositions(e, e.exponent + 2, e.exponent + 1 + decimals, o);
  }
  return static_cast<std::size_t>(o - out);
}

std::size_t ScientificForm(ScaledDecimal scaled, bool negative, int width, char* out) {
  if (width < 10) width = 10;
  Expansion e = Expand(scaled);
  RoundDigits(e, width - 8);
  std::size_t n = Pad(out, width - 26);
  out[n++] = negative ? '-' : ' ';
  out[n++] = e.digit[0];
  out[n++] = '.';
  int shown = width - 9 < 17 ? width - 9 : 17;
  std::memcpy(out + n, e.digit + 1, 17);
  n += static_cast<std::size_t>(shown);
  out[n++] = 'E';
  out[n++] = e.exponent >= 0 ? '+' : '-';
  WriteDigits(static_cast<std::uint32_t>(std::abs(e.exponent)), 4, out + n);
  return n + 4;
}

// The range of the fixed form, 2^-116 up to (2^64 - 13) x 2^55, as biased
// exponents and significands.
constexpr int kFixedLowExponent = 16383 - 116;
constexpr std::uint64_t kFixedLowSignificand = 0x8000000000000000u;
constexpr int kFixedHighExponent = 16383 + 118;
constexpr std::uint64_t kFixedHighSignificand = 0xFFFFFFFFFFFFFFF3u;


std::size_t FormatWithBits(const long double& x, const ExtendedBits& bits, std::int32_t width, std::int32_t decimals,
                           char* out) {
  if (width > 255) width = 255;
  bool sign = (bits.sign_exponent & 0x8000) != 0;
  if ((bits.sign_exponent & 0x7FFF) == 0x7FFF) {
    bool nan = (bits.significand << 1) != 0;
    return SpecialValue(sign, nan, width, out);
  }
  // Compared by their fields, which order the magnitudes as the values do.
  int exponent = bits.sign_exponent & 0x7FFF;
  bool zero = exponent == 0 && bits.significand == 0;
  bool negative = sign && !zero;
  bool above_low = exponent > kFixedLowExponent ||
                   (exponent == kFixedLowExponent && bits.significand >= kFixedLowSignificand);
  bool below_high = exponent < kFixedHighExponent ||
                    (exponent == kFixedHighExponent && bits.significand <= kFixedHighSignificand);
  bool fixed = decimals >= 0 && (zero || (above_low && below_high));
  return FormatExpansion(ScaleToDecimal(x), negative, fixed, width, decimals, out);
}

}  // namespace

std::size_t FormatExpansion(ScaledDecimal expansion, bool negative, bool fixed, std::int32_t width,
                            std::int32_t decimals, char* out) {
  if (width > 255) width = 255;
  return fixed ? FixedForm(expansion, negative, width, decimals, out)
               : ScientificForm(expansion, negative, width, out);
}

std::size_t FormatReal(const long double& x, std::int32_t width, std::int32_t decimals, char* out) {
  return FormatWithBits(x, BitsOf(x), width, decimals, out);
}

std::size_t FormatReal(const long double& x, char* out) { return FormatReal(x, 23, -1, out); }
