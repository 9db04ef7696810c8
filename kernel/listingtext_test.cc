// The listing's own text forms against the general ones (FormatReal and
// FormatExpansion), byte for byte: the digit and division helpers over
// their whole domain or every boundary, the steps from the expansion to the
// text over every pattern of digits that decides a rounding, and whole
// values at random, from real listings' ranges and next to decimal
// boundaries. EXACT_PROOF_SCALE=n runs n times as many random values.
#include "kernel/listingtext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/decimal.h"
#include "kernel/numeric.h"
#include "kernel/realtext.h"

namespace {

std::uint64_t ProofScale() {
  const char* scale = std::getenv("EXACT_PROOF_SCALE");
  return scale != nullptr && std::atoi(scale) > 0 ? static_cast<std::uint64_t>(std::atoi(scale)) : 1;
}

struct Random {
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  std::uint64_t Next() {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    return state;
  }
  std::uint64_t Below(std::uint64_t n) { return Next() % n; }
};

long double FromFields(int biased_exponent, std::uint64_t significand, bool negative = false) {
  long double x = 0;
  auto top = static_cast<std::uint16_t>((negative ? 0x8000 : 0) | biased_exponent);
  std::memcpy(&x, &significand, 8);
  std::memcpy(reinterpret_cast<char*>(&x) + 8, &top, 2);
  return x;
}

TEST(DecimalTest, EightDigitsOfEveryValue) {
  char expected[8] = {'0', '0', '0', '0', '0', '0', '0', '0'};
  for (std::uint32_t n = 0; n < 100000000; ++n) {
    std::uint64_t word;
    std::memcpy(&word, expected, 8);
    ASSERT_EQ(EightDigits(n), word) << n;
    int i = 7;
    while (i >= 0 && expected[i] == '9') expected[i--] = '0';
    if (i >= 0) ++expected[i];
  }
}

TEST(DecimalTest, DivisionByEveryPowerOfTenAtItsBoundaries) {
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 61;
  Random random;
  for (int j = 1; j <= 18; ++j) {
    std::uint64_t d = kPowerOfTen[j];
    auto check = [&](std::uint64_t n) {
      if (n < kLimit) {
        ASSERT_EQ(DivideByPowerOfTen(n, j), n / d) << n << " / 10^" << j;
      }
    };
    // Around the first multiples, the last ones below 2^61, and random ones.
    for (std::uint64_t m = 0; m < 3000; ++m) {
      for (std::uint64_t n : {m * d, m * d + d - 1, m * d + d / 2}) check(n);
    }
    std::uint64_t last = (kLimit - 1) / d;
    for (std::uint64_t m = last > 3000 ? last - 3000 : 0; m <= last; ++m) {
      check(m * d);
      check(m * d - 1);
      check(m * d + d - 1);
    }
    for (int i = 0; i < 20000; ++i) {
      std::uint64_t m = random.Below(last + 1);
      check(m * d);
      check(m * d - 1);
      check(random.Below(kLimit));
    }
    check(kLimit - 1);
  }
}

std::string ListingScientific(std::int64_t y, int scale, int width) {
  char out[kListingTextRoom];
  return std::string(out, ScientificText(y, scale, width, out));
}

std::string GeneralText(std::int64_t y, int scale, bool fixed, int width, int decimals) {
  char out[kMaxRealText];
  return std::string(out, FormatExpansion({y, scale}, false, fixed, width, decimals, out));
}

// Expansions whose digits decide a rounding at `unit` (a power of ten): each
// residue modulo unit near 0, near the half and near unit, above several
// heads (the smallest, runs of 9s that carry, random), and every residue
// when unit is small. y runs from 10^17 to 2 x 10^18.
template <typename Check>
void ForRoundingPatterns(std::uint64_t unit, Random& random, Check check) {
  constexpr std::uint64_t kLow = 100000000000000000u;
  constexpr std::uint64_t kHigh = 2000000000000000000u;
  std::uint64_t heads[12] = {kLow / unit,
                             kLow / unit + 1,
                             (kLow * 10 - 1) / unit,  // 99...9 followed by the residue
                             (kLow * 10) / unit,
                             (kHigh - 1) / unit,
                             1599999999999999999u / unit};
  for (int i = 6; i < 12; ++i) heads[i] = kLow / unit + random.Below((kHigh - kLow) / unit);
  std::uint64_t window = unit <= 10000 ? unit : 600;
  for (std::uint64_t head : heads) {
    std::uint64_t base = head * unit;
    auto at = [&](std::uint64_t residue) {
      std::uint64_t y = base + residue;
      if (y >= kLow && y < kHigh) check(static_cast<std::int64_t>(y));
    };
    for (std::uint64_t r = 0; r < window; ++r) at(r);
    if (window < unit) {
      for (std::uint64_t r = 0; r < window; ++r) {
        at(unit / 2 - window / 2 + r);
        at(unit - 1 - r);
      }
    }
  }
}

TEST(ListingTextTest, ScientificFormsOverEveryRoundingPattern) {
  Random random;
  for (int width : {23, 20}) {
    int digits = width - 8;
    // 18 digits round at 10^(18 - digits), 19 at 10^(19 - digits).
    for (int count : {18, 19}) {
      std::uint64_t unit = kPowerOfTen[count - digits];
      for (int scale : {-4951, -1754, -36, -1, 0, 1, 35, 4931}) {
        ForRoundingPatterns(unit, random, [&](std::int64_t y) {
          ASSERT_EQ(ListingScientific(y, scale, width), GeneralText(y, scale, false, width, -1))
              << "y " << y << " scale " << scale;
        });
      }
    }
    // Every scale, with the exponent's carry and sign.
    for (int scale = -4960; scale <= 4940; ++scale) {
      for (std::int64_t y : {100000000000000000, 999999999999999999, 999999999999950000, 1000000000000000000,
                             1599999999999999999, 1234567890123456789}) {
        ASSERT_EQ(ListingScientific(y, scale, width), GeneralText(y, scale, false, width, -1))
            << "y " << y << " scale " << scale;
      }
    }
  }
}

std::string ListingFixed(std::int64_t y, int scale, int decimals) {
  char out[kListingTextRoom];
  char* end = decimals == 4 ? FixedText10x4(y, scale, out) : FixedText20x17(y, scale, out);
  return end == nullptr ? "(general)" : std::string(out, end);
}

TEST(ListingTextTest, FixedFormsOverEveryRoundingPattern) {
  Random random;
  for (int decimals : {4, 17}) {
    int width = decimals == 4 ? 10 : 20;
    // t = E + decimals from below -1 (nothing shown) to 17 (all 18 digits);
    // the scale is E, or E - 1 for a 19-digit expansion.
    for (int scale = -decimals - 6; scale <= 17 - decimals; ++scale) {
      for (int count : {18, 19}) {
        int t = scale + (count == 19 ? 1 : 0) + decimals;
        if (t > 17) continue;
        // The rounding at t + 1 digits, and the one at 18 of a 19-digit
        // expansion, whose carry can reach it.
        int j = t >= -1 && t <= 16 ? 17 - t : 1;
        int digits = std::min(j + (count == 19 ? 1 : 0), 18);
        for (std::uint64_t unit : {kPowerOfTen[digits], std::uint64_t{10}}) {
          ForRoundingPatterns(unit, random, [&](std::int64_t y) {
            if ((y >= 1000000000000000000) != (count == 19)) return;
            ASSERT_EQ(ListingFixed(y, scale, decimals), GeneralText(y, scale, true, width, decimals))
                << "y " << y << " scale " << scale;
          });
        }
      }
    }
  }
  // Beyond 18 shown digits the general form takes over.
  EXPECT_EQ(ListingFixed(100000000000000000, 14, 4), "(general)");
  EXPECT_EQ(ListingFixed(100000000000000000, 1, 17), "(general)");
}

// The three forms of a whole value against FormatReal.
void ExpectSameTexts(const long double& x) {
  char fast[kListingTextRoom];
  char general[kMaxRealText];
  std::string a(fast, AppendDefaultForm(x, fast));
  std::string b(general, FormatReal(x, general));
  ASSERT_EQ(a, b) << "default form";
  a.assign(fast, AppendFixedForm10x4(x, fast));
  b.assign(general, FormatReal(x, 10, 4, general));
  ASSERT_EQ(a, b) << "width 10, 4 decimals";
  a.assign(fast, AppendFixedForm20x17(x, fast));
  b.assign(general, FormatReal(x, 20, 17, general));
  ASSERT_EQ(a, b) << "width 20, 17 decimals";
}

TEST(ListingTextTest, RandomValuesOverTheWholeRange) {
  Random random;
  std::uint64_t count = 400000 * ProofScale();
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint64_t significand = random.Next() | (std::uint64_t{1} << 63);
    // Half of them where the listings' values lie (below 10^5 and above
    // 10^-4951), the rest anywhere.
    int exponent = i % 2 == 0 ? static_cast<int>(random.Below(16383 + 17)) + 1
                              : static_cast<int>(random.Below(32766)) + 1;
    SCOPED_TRACE(i);
    ExpectSameTexts(FromFields(exponent, significand));
  }
}

// Values next to the decimal boundaries where a shown digit changes: each
// text of the form d.dddd5 x 10^e (and its 9s), and the ulps around it.
TEST(ListingTextTest, NeighboursOfDecimalBoundaries) {
  Random random;
  std::uint64_t rounds = 300 * ProofScale();
  for (std::uint64_t i = 0; i < rounds; ++i) {
    // A boundary of the chi-square (4 decimals), of the likelihood ratio (17
    // decimals), or of the 15th or 12th significant digit.
    char text[64];
    int e = static_cast<int>(random.Below(60)) - 45;
    switch (i % 4) {
      case 0:
        std::snprintf(text, sizeof text, "%llu.%04llu5", static_cast<unsigned long long>(random.Below(100000)),
                      static_cast<unsigned long long>(random.Below(10000)));
        break;
      case 1:
        std::snprintf(text, sizeof text, "0.%017llu5", static_cast<unsigned long long>(random.Below(100000000000000000)));
        break;
      case 2:
        std::snprintf(text, sizeof text, "%llu.%014lluE%d", static_cast<unsigned long long>(random.Below(9) + 1),
                      static_cast<unsigned long long>(random.Below(100000000000000)) * 10 + 5, e * 50);
        break;
      default:
        std::snprintf(text, sizeof text, "%llu.%010llu5E%d", static_cast<unsigned long long>(random.Below(9) + 1),
                      static_cast<unsigned long long>(random.Below(10000000000)), e);
        break;
    }
    long double x = WithExceptionsMasked([&] { return std::strtold(text, nullptr); });
    long double below = x;
    long double above = x;
    SCOPED_TRACE(text);
    ExpectSameTexts(x);
    for (int step = 0; step < 300; ++step) {
      below = std::nextafter(below, 0.0L);
      above = std::nextafter(above, 1e4000L);
      ExpectSameTexts(below);
      ExpectSameTexts(above);
    }
  }
  // Nines that carry into a new digit.
  for (const char* text : {"9.99995", "99999.99995", "0.999999999999999995", "0.99999999999999999",
                           "9.999999999999995", "9.99999999999995E-40", "9.999999999995E-300",
                           "0.000049999999999999", "0.00005", "0.000000000000000005"}) {
    long double x = WithExceptionsMasked([&] { return std::strtold(text, nullptr); });
    SCOPED_TRACE(text);
    for (int step = 0; step < 2000; ++step) {
      ExpectSameTexts(x);
      x = std::nextafter(x, 0.0L);
    }
  }
}

// x moved by offset units in the last place of its significand, within its
// binade.
long double MovedBy(long double x, std::int64_t offset) {
  ExtendedBits f = BitsOf(x);
  std::uint64_t significand = f.significand + static_cast<std::uint64_t>(offset);
  if ((significand >> 63) == 0) return x;
  return FromFields(f.sign_exponent & 0x7FFF, significand);
}

// The exact paths decide a rounding from the value itself and leave the
// values close to a half to the expansion: around each half (the decimal
// text ending in 5), from a few ulps to far beyond the margin, every text is
// the general one's, whichever path forms it.
TEST(ListingTextTest, ValuesAroundAHalfOnBothSidesOfTheExactPathsMargin) {
  Random random;
  std::vector<std::int64_t> offsets;
  for (std::int64_t o = 0; o <= 32; ++o) offsets.push_back(o);
  for (double o = 33; o < 4e7; o *= 1.04) offsets.push_back(static_cast<std::int64_t>(o));
  std::uint64_t rounds = 160 * ProofScale();
  std::uint64_t exact = 0, all = 0;
  for (std::uint64_t i = 0; i < rounds; ++i) {
    char text[64];
    auto digits = [&](int n) { return static_cast<unsigned long long>(random.Below(kPowerOfTen[n])); };
    switch (i % 5) {
      case 0:  // the chi-square's fourth decimal
        std::snprintf(text, sizeof text, "%llu.%04llu5", digits(4), digits(4));
        break;
      case 1:  // the likelihood ratio's 17th decimal, below 2^-7
        std::snprintf(text, sizeof text, "0.00%015llu5", digits(15));
        break;
      case 2:  // the same from 2^-7 to 2^-4, where the margin is wider
        std::snprintf(text, sizeof text, "0.0%016llu5", digits(16) / 2 + 10000000000000000u);
        break;
      case 3:  // the probability's 15th significant digit
        std::snprintf(text, sizeof text, "%llu.%013llu5E%d", digits(1) % 9 + 1, digits(13),
                      -static_cast<int>(random.Below(4930)));
        break;
      default:  // the small likelihood ratio's 12th significant digit
        std::snprintf(text, sizeof text, "%llu.%010llu5E%d", digits(1) % 9 + 1, digits(10),
                      -36 - static_cast<int>(random.Below(4890)));
        break;
    }
    const long double half = WithExceptionsMasked([&] { return std::strtold(text, nullptr); });
    SCOPED_TRACE(text);
    for (std::int64_t o : offsets) {
      for (std::int64_t signed_offset : {o, -o}) {
        const long double x = MovedBy(half, signed_offset);
        ExpectSameTexts(x);
        std::uint64_t units, q;
        int exponent;
        ExtendedBits f = BitsOf(x);
        exact += ExactShownUnits(f, 4, units) + ExactShownUnits(f, 17, units) +
                 ExactSignificantDigits(f, 15, q, exponent) + ExactSignificantDigits(f, 12, q, exponent);
        ++all;
      }
    }
  }
  // Most of them are decided exactly: the margin is narrow.
  EXPECT_GT(exact, all);
}

TEST(ListingTextTest, ExactPathsOverTheWholeRangeTheyCover) {
  // Both ends of the table of powers, around powers of ten (where the
  // first guess of the decimal exponent is mended) and the ends of the
  // ranges of the fixed forms' exact paths.
  for (int e = -16382; e <= 60; ++e) {
    for (std::uint64_t significand : {std::uint64_t{1} << 63, ~std::uint64_t{0}, 0xC000000000000001u}) {
      ExpectSameTexts(FromFields(16383 + e, significand));
    }
  }
  for (int n = -4931; n <= 16; ++n) {
    char text[16];
    std::snprintf(text, sizeof text, "1E%d", n);
    long double x = WithExceptionsMasked([&] { return std::strtold(text, nullptr); });
    for (std::int64_t o = -3; o <= 3; ++o) ExpectSameTexts(MovedBy(x, o));
  }
  for (long double x : {0x1p33L, 0x1p-4L, 0x1p-7L, 0x1p-116L, 1e15L, 999999999999999.5L, 1e12L}) {
    for (std::int64_t o = -3; o <= 3; ++o) ExpectSameTexts(MovedBy(x, o));
  }
}

TEST(ListingTextTest, ValuesOutsideTheFastCasesGoToTheGeneralForms) {
  SCOPED_TRACE("special values");
  for (long double x : {0.0L, -0.0L, -1.5L, -1e-40L, 1e13L, 99999999999999.99995L, 1e14L, 6.6e35L, 1e36L, 1e300L,
                        0x1p-116L, 0x1p-117L, 0x1p-16445L, 0x1p-16382L, std::numeric_limits<long double>::max(),
                        std::numeric_limits<long double>::infinity(), std::numeric_limits<long double>::quiet_NaN(),
                        664613997892457935983529168893640704.0L}) {
    ExpectSameTexts(x);
    ExpectSameTexts(std::nextafter(x, 0.0L));
    ExpectSameTexts(std::nextafter(x, 1e4000L));
  }
}

}  // namespace
