// The text forms of extended reals, held against exact arithmetic.
//
// Input: 10 bytes of an extended real (made canonical: the explicit integer
// bit set for normal numbers, clear for denormals), or, when the first
// byte's low bit is set, a short binary fraction n / 2^j that may sit
// exactly on a decimal tie; then the width and the decimals. The text must
// have the layout of its form, the form must be the one the value calls
// for, and the value shown must lie within half a unit of its last place of
// the exact value, give or take the rounding of the 18-digit expansion the
// digits come from (one unit of the value's 18th significant digit). The
// listing's own forms of the value must give the same bytes as the general
// ones.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/bignum.h"
#include "kernel/listingtext.h"
#include "kernel/numeric.h"
#include "kernel/realtext.h"

namespace {

std::string shown_text;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s: \"%s\"\n", what, shown_text.c_str());
  std::abort();
}

void Expect(bool holds, const char* what) {
  if (!holds) Fail(what);
}

// n x 2^two x 10^ten.
struct Exact {
  BigNum n;
  int two = 0;
  int ten = 0;
};

// a and b as integers over a common denominator.
void CommonScale(const Exact& a, const Exact& b, BigNum& a_scaled, BigNum& b_scaled) {
  int two = std::min(a.two, b.two);
  int ten = std::min(a.ten, b.ten);
  a_scaled = a.n;
  a_scaled.ShiftLeft(a.two - two).MultiplyByPowerOfTen(a.ten - ten);
  b_scaled = b.n;
  b_scaled.ShiftLeft(b.two - two).MultiplyByPowerOfTen(b.ten - ten);
}

int Compare(const Exact& a, const Exact& b) {
  BigNum x, y;
  CommonScale(a, b, x, y);
  return BigNum::Compare(x, y);
}

Exact PowerOfTen(int e) { return {BigNum(1), 0, e}; }

// floor(log10 |x|) for x = significand x 2^two, significand > 0.
int DecimalExponent(const Exact& x, std::uint64_t significand) {
  int e = static_cast<int>(std::floor(std::log10(static_cast<double>(significand)) + x.two * std::log10(2.0)));
  while (Compare(PowerOfTen(e + 1), x) <= 0) ++e;
  while (Compare(PowerOfTen(e), x) > 0) --e;
  return e;
}

struct Shown {
  bool negative = false;
  std::string digits;  // every digit shown, in order
  int exponent = 0;    // of the last digit shown
};

bool AllDigits(std::string_view s) {
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// blanks, "-"?, integer digits, then "." and exactly `decimals` digits.
Shown ParseFixed(std::string_view text, int width, int decimals) {
  std::size_t blanks = text.find_first_not_of(' ');
  Expect(blanks != std::string_view::npos, "fixed form: nothing but blanks");
  std::string_view body = text.substr(blanks);
  Expect(blanks == 0 || text.size() == static_cast<std::size_t>(width), "fixed form: padded past the width");
  Expect(static_cast<int>(text.size()) >= width, "fixed form: narrower than the width");
  Shown s;
  if (body[0] == '-') {
    s.negative = true;
    body.remove_prefix(1);
  }
  std::size_t point = body.find('.');
  std::string_view integer = body.substr(0, point);
  Expect(!integer.empty() && AllDigits(integer), "fixed form: integer part");
  Expect(integer.size() == 1 || integer[0] != '0', "fixed form: leading zero");
  if (decimals == 0) {
    Expect(point == std::string_view::npos, "fixed form: a point without decimals");
  } else {
    Expect(point != std::string_view::npos, "fixed form: no decimal point");
    std::string_view fraction = body.substr(point + 1);
    Expect(fraction.size() == static_cast<std::size_t>(decimals) && AllDigits(fraction),
           "fixed form: number of decimals");
  }
  s.digits = std::string(integer) + std::string(decimals > 0 ? body.substr(point + 1) : "");
  s.exponent = -decimals;
  return s;
}

// blanks (width - 26 of them when wider), " " or "-", d.ddd, "E", sign and
// four digits; exactly `width` characters.
Shown ParseScientific(std::string_view text, int width) {
  Expect(text.size() == static_cast<std::size_t>(width), "scientific form: length");
  std::size_t blanks = width > 26 ? static_cast<std::size_t>(width - 26) : 0;
  Expect(text.substr(0, blanks).find_first_not_of(' ') == std::string_view::npos, "scientific form: blanks");
  std::string_view body = text.substr(blanks);
  Expect(body[0] == ' ' || body[0] == '-', "scientific form: sign");
  Shown s;
  s.negative = body[0] == '-';
  std::size_t shown = static_cast<std::size_t>(std::min(width - 9, 17));
  Expect(body.size() == 3 + shown + 6 && AllDigits(body.substr(1, 1)) && body[2] == '.' &&
             AllDigits(body.substr(3, shown)) && body[3 + shown] == 'E' &&
             (body[4 + shown] == '+' || body[4 + shown] == '-') && AllDigits(body.substr(5 + shown)),
         "scientific form: layout");
  s.digits = std::string(body.substr(1, 1)) + std::string(body.substr(3, shown));
  int exponent = std::atoi(std::string(body.substr(5 + shown)).c_str());
  if (body[4 + shown] == '-') exponent = -exponent;
  s.exponent = exponent - static_cast<int>(shown);
  return s;
}

void CheckSpecial(std::string_view text, int width, const char* word) {
  std::string expected(width > static_cast<int>(std::strlen(word)) ? width - std::strlen(word) : 0, ' ');
  expected += word;
  Expect(text == expected, "special value");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetFloatingPointEnvironment();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 14) return 0;
  std::uint64_t significand;
  std::uint16_t sign_exponent;
  if (data[0] & 1) {
    // n / 2^j with n below 2^24 and j below 64, either sign.
    std::uint32_t n = data[1] | data[2] << 8 | (data[3] & 0x7F) << 16;
    int j = data[4] % 64;
    if (n == 0) {
      significand = 0;
      sign_exponent = 0;
    } else {
      int top = 63 - __builtin_clzll(n);
      significand = static_cast<std::uint64_t>(n) << (63 - top);
      sign_exponent = static_cast<std::uint16_t>(16383 + top - j);
    }
    if (data[5] & 1) sign_exponent |= 0x8000;
  } else {
    std::memcpy(&significand, data + 1, 8);
    std::memcpy(&sign_exponent, data + 9, 2);
    if ((sign_exponent & 0x7FFF) == 0) {
      significand &= ~(1ull << 63);
    } else if ((sign_exponent & 0x7FFF) != 0x7FFF) {
      significand |= 1ull << 63;
    }
  }
  long double x;
  std::memcpy(&x, &significand, 8);
  std::memcpy(reinterpret_cast<char*>(&x) + 8, &sign_exponent, 2);
  std::memset(reinterpret_cast<char*>(&x) + 10, 0, sizeof x - 10);

  // Mostly the widths and decimals the programs use, sometimes any.
  bool alone = (data[11] & 7) == 0;
  int width = static_cast<std::int8_t>(data[12]);
  int decimals = static_cast<std::int8_t>(data[13]);
  if (data[11] & 8) width = width * 3;
  if (data[11] & 16) decimals = decimals * 2;

  // The listing's own forms give the general forms' bytes.
  {
    char general[kMaxRealText];
    char listing[kListingTextRoom];
    std::string_view a(general, FormatReal(x, general));
    shown_text.assign(listing, AppendDefaultForm(x, listing));
    Expect(shown_text == a, "the listing's default form differs");
    a = std::string_view(general, FormatReal(x, 10, 4, general));
    shown_text.assign(listing, AppendFixedForm10x4(x, listing));
    Expect(shown_text == a, "the listing's form with width 10 and 4 decimals differs");
    a = std::string_view(general, FormatReal(x, 20, 17, general));
    shown_text.assign(listing, AppendFixedForm20x17(x, listing));
    Expect(shown_text == a, "the listing's form with width 20 and 17 decimals differs");
  }

  char out[kMaxRealText + 1];
  std::size_t length = alone ? FormatReal(x, out) : FormatReal(x, width, decimals, out);
  if (alone) width = 23, decimals = -1;
  Expect(length <= kMaxRealText, "text longer than its room");
  shown_text.assign(out, length);
  std::string_view text = shown_text;
  if (width > 255) width = 255;

  int biased = sign_exponent & 0x7FFF;
  bool sign = (sign_exponent & 0x8000) != 0;
  if (biased == 0x7FFF) {
    CheckSpecial(text, width, (significand << 1) != 0 ? "Nan" : sign ? "-Inf" : "+Inf");
    return 0;
  }
  bool zero = significand == 0;
  // x = significand x 2^two exactly.
  int two = (biased == 0 ? 1 : biased) - 16383 - 63;
  // 2^-116 <= |x| <= (2^64 - 13) x 2^55, from the bits alone.
  bool in_fixed_range = zero || (biased - 16383 >= -116 &&
                                 (two < 55 || (two == 55 && significand <= 0xFFFFFFFFFFFFFFF3ull)));
  bool fixed = decimals >= 0 && in_fixed_range;
  Expect((text.find('E') == std::string_view::npos) == fixed, "form chosen");

  Shown s = fixed ? ParseFixed(text, width, std::min(decimals, 216)) : ParseScientific(text, std::max(width, 10));
  Expect(s.negative == (sign && !zero), "sign");
  if (zero) {
    Expect(s.digits.find_first_not_of('0') == std::string::npos, "zero shows a digit");
    if (!fixed) Expect(text.substr(text.size() - 6) == "E+0000", "zero's exponent");
    return 0;
  }

  std::size_t first = s.digits.find_first_not_of('0');
  if (!fixed) Expect(first == 0, "scientific form: leading zero");
  // No more than 18 significant digits: the rest of a long fixed form is 0.
  if (first != std::string::npos && s.digits.size() > first + 18) {
    Expect(s.digits.find_first_not_of('0', first + 18) == std::string::npos, "digits beyond the 18th");
  }

  Exact exact{BigNum(significand), two, 0};
  int e = DecimalExponent(exact, significand);
  Exact shown{BigNum::FromDigits(s.digits), 0, s.exponent};
  // 2 |shown - x| <= unit + 2 x slack, over one denominator.
  int low_ten = std::min({s.exponent, e - 17, 0});
  int low_two = std::min(two, 0);
  auto scaled = [&](const Exact& v) {
    BigNum n = v.n;
    n.ShiftLeft(v.two - low_two).MultiplyByPowerOfTen(v.ten - low_ten);
    return n;
  };
  BigNum distance = BigNum::Distance(scaled(shown), scaled(exact));
  distance.MultiplyAdd(2);
  BigNum bound = scaled(Exact{BigNum(1), 0, s.exponent});
  // A scientific form wider than 26 characters shows the first 18 digits of
  // a 19-digit expansion without rounding them: one more unit there.
  int slack_units = !fixed && width > 26 ? 4 : 2;
  BigNum slack = scaled(Exact{BigNum(static_cast<std::uint64_t>(slack_units)), 0, e - 17});
  bound += slack;
  Expect(BigNum::Compare(distance, bound) <= 0, "value shown too far from the exact value");
  return 0;
}
