#include "kernel/listingtext.h"

#include <cstring>

#include "kernel/decimal.h"
#include "kernel/expansion.h"

namespace {

constexpr std::uint64_t kTenTo18 = kPowerOfTen[18];

// Where a text is laid down: the row, and the same bytes in a second place
// (the slot of the text cache, or the row again), so that the cache never
// reads back bytes just stored in pieces, which would wait for the stores.
struct Text {
  char* out;
  char* copy;
};

void PutWord(Text text, std::size_t at, std::uint64_t word) {
  StoreWord(text.out + at, word);
  StoreWord(text.copy + at, word);
}

void PutByte(Text text, std::size_t at, char c) {
  text.out[at] = c;
  text.copy[at] = c;
}

// Positive, normal and with its integer bit: the values whose expansion
// ScaleNormalToDecimal forms.
bool IsPositiveNormal(ExtendedBits f) {
  return f.sign_exponent != 0 && f.sign_exponent < 0x7FFF && (f.significand >> 63) != 0;
}

// 2^-116 <= x <= (2^64 - 13) x 2^55, from the fields of a positive value:
// where the fixed form is used (kernel/realtext.cc).
bool InFixedRange(ExtendedBits f) {
  constexpr int kLowExponent = 16383 - 116;
  constexpr int kHighExponent = 16383 + 118;
  constexpr std::uint64_t kHighSignificand = 0xFFFFFFFFFFFFFFF3u;
  return f.sign_exponent >= kLowExponent &&
         (f.sign_exponent < kHighExponent || (f.sign_exponent == kHighExponent && f.significand <= kHighSignificand));
}

ScaledDecimal Expansion(ExtendedBits f) { return ScaleNormalToDecimal(f.significand, f.sign_exponent - 16383); }

// The scientific form of width kDigits + 8 (at most 26) of the digits q
// (10^(kDigits - 1) <= q < 10^kDigits) and the decimal exponent:
// " d.ddd", "E", the exponent's sign and four digits.
template <int kDigits>
std::size_t ScientificDigits(std::uint64_t q, int exponent, Text text) {
  static_assert(kDigits >= 9 && kDigits <= 16);
  // The first kDigits - 8 digits, then the last 8.
  std::uint64_t high = q / kPowerOfTen[8];
  std::uint64_t low = q - high * kPowerOfTen[8];
  std::uint64_t lead = EightDigits(static_cast<std::uint32_t>(high)) >> ((16 - kDigits) * 8);
  PutByte(text, 0, ' ');
  PutWord(text, 1, (lead & 0xFF) | (std::uint64_t{'.'} << 8) | ((lead >> 8) << 16));
  PutWord(text, kDigits - 6, EightDigits(static_cast<std::uint32_t>(low)));
  std::uint64_t sign = exponent >= 0 ? '+' : '-';
  auto magnitude = static_cast<std::uint32_t>(exponent >= 0 ? exponent : -exponent);
  PutWord(text, kDigits + 2, 'E' | (sign << 8) | ((EightDigits(magnitude) >> 32) << 16));
  return kDigits + 8;
}

// The scientific form from the expansion: it has 18 digits, or 19 from
// 10^18 on (one more in the exponent), rounded half up to kDigits; a carry
// out of the first digit makes it 1 and raises the exponent.
template <int kDigits>
std::size_t Scientific(std::uint64_t y, int scale, Text text) {
  std::uint64_t q;
  int exponent;
  if (y < kTenTo18) {
    constexpr std::uint64_t kUnit = kPowerOfTen[18 - kDigits];
    q = y / kUnit;
    q += y - q * kUnit >= kUnit / 2;
    exponent = scale;
  } else {
    constexpr std::uint64_t kUnit = kPowerOfTen[19 - kDigits];
    q = y / kUnit;
    q += y - q * kUnit >= kUnit / 2;
    exponent = scale + 1;
  }
  if (q == kPowerOfTen[kDigits]) {
    q = kPowerOfTen[kDigits - 1];
    ++exponent;
  }
  return ScientificDigits<kDigits>(q, exponent, text);
}

// 10^n for n from 0 to kMostWidePower as a 128-bit significand (top bit
// set) and a binary exponent: 10^n = significand x 2^(exponent - 127),
// each formed from the one before by a multiplication by 10 rounded down,
// so that its relative error grows by less than 2^-127 a step: below
// 2^-114 at the end of the table (10^0 to 10^55 are exact).
constexpr int kMostWidePower = 4970;
struct WidePower {
  std::uint64_t high;  // the significand's upper 64 bits
  std::uint64_t low;
};
WidePower wide_powers[kMostWidePower + 1];
std::int16_t wide_power_exponents[kMostWidePower + 1];
bool wide_powers_known = false;

void LearnWidePowers() {
  unsigned __int128 t = static_cast<unsigned __int128>(1) << 127;
  int b = 0;
  for (int n = 0; n <= kMostWidePower; ++n) {
    wide_powers[n] = {static_cast<std::uint64_t>(t >> 64), static_cast<std::uint64_t>(t)};
    wide_power_exponents[n] = static_cast<std::int16_t>(b);
    // t x 10, 131 or 132 bits, as high (the bits from 64 on) and low.
    unsigned __int128 low = static_cast<unsigned __int128>(static_cast<std::uint64_t>(t)) * 10;
    unsigned __int128 high = (t >> 64) * 10 + (low >> 64);
    int shift = (high >> 67) != 0 ? 4 : 3;
    t = (high << (64 - shift)) | (static_cast<std::uint64_t>(low) >> shift);
    b += shift;
  }
  wide_powers_known = true;
}

}  // namespace

bool ExactSignificantDigits(ExtendedBits f, int digits, std::uint64_t& q, int& exponent) {
  if (f.sign_exponent == 0 || f.sign_exponent >= 0x7FFF || (f.significand >> 63) == 0) return false;
  if (!wide_powers_known) [[unlikely]] LearnWidePowers();
  const int e = f.sign_exponent - 16383;  // 2^e <= x < 2^(e + 1)
  // floor(log10 x), guessed from log2 x taken as e + f + 0.043 for
  // x = 2^e (1 + f), within 0.044 of it: the guess is off by one only for
  // values within 0.014 of a power of ten in log10, and is mended below.
  const std::int64_t log2_x = std::int64_t{e} * 65536 + static_cast<std::int64_t>((f.significand >> 47) & 0xFFFF) + 2818;
  int guess = static_cast<int>((log2_x * 1292913986) >> 48);
  const std::uint64_t lowest = kPowerOfTen[digits - 1];
  const std::uint64_t highest = kPowerOfTen[digits];
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int n = digits - 1 - guess;
    if (n < 0 || n > kMostWidePower) return false;
    // u = x x 10^n = floor(significand x power / 2^64) / 2^shift, short of
    // the exact value by less than 2^-113 relative.
    const WidePower& power = wide_powers[n];
    unsigned __int128 low = static_cast<unsigned __int128>(f.significand) * power.low;
    unsigned __int128 p = static_cast<unsigned __int128>(f.significand) * power.high + (low >> 64);
    const int shift = 126 - e - wide_power_exponents[n];
    if (shift < 70 || shift > 127) return false;
    const std::uint64_t integer = static_cast<std::uint64_t>(p >> shift);
    if (integer < lowest) {
      --guess;
      continue;
    }
    if (integer >= highest) {
      ++guess;
      continue;
    }
    // The expansion is off the exact value by less than 1.5 units of its
    // 18th digit, at least three digits after the last one kept: a value
    // clear of the half by 2^-8 of a unit rounds the same either way. The
    // part beyond the unit is taken to 64 bits, which moves it by less
    // than 2^-64 of a unit.
    const auto beyond = static_cast<std::uint64_t>(p >> (shift - 64));
    constexpr std::uint64_t kHalf = std::uint64_t{1} << 63;
    const std::uint64_t distance = beyond >= kHalf ? beyond - kHalf : kHalf - beyond;
    if (distance <= (std::uint64_t{1} << 56)) return false;
    q = integer + (beyond > kHalf ? 1 : 0);
    exponent = guess;
    if (q == highest) {
      q = lowest;
      ++exponent;
    }
    return true;
  }
  return false;
}

namespace {

// The shown value of a fixed form with kDecimals decimals, in units of its
// last place: the expansion rounded at 18 digits (a 19-digit one loses its
// last), then at t + 1 = E + kDecimals + 1 digits, which leaves exactly the
// units shown. Below t = -1 nothing is rounded and the value shows as zero;
// at t = 17 the 18 digits are shown as they are. False beyond t = 17.
template <int kDecimals>
bool ShownUnits(std::uint64_t y, int scale, std::uint64_t& units) {
  std::uint64_t z = y;
  int exponent = scale;
  if (y >= kTenTo18) {
    z = y / 10 + (y % 10 >= 5);
    exponent = scale + 1;
  }
  int t = exponent + kDecimals;
  if (t < -1) {
    units = 0;
  } else if (t <= 16) {
    int j = 17 - t;
    std::uint64_t q = DivideByPowerOfTen(z, j);
    units = q + (z - q * kPowerOfTen[j] >= kPowerOfTen[j] / 2);
  } else if (t == 17) {
    units = z;
  } else {
    return false;
  }
  return true;
}

// The number of digits of value (below 10^16) without leading zeros, at
// least one.
int DigitCount(std::uint64_t value) {
  int count = 1;
  while (count < 16 && value >= kPowerOfTen[count]) ++count;
  return count;
}

// The count digits of value at offset at; returns their end.
std::size_t WriteDigits(std::uint64_t value, int count, Text text, std::size_t at) {
  if (count <= 8) {
    PutWord(text, at, EightDigits(static_cast<std::uint32_t>(value)) >> ((8 - count) * 8));
  } else {
    std::uint64_t high = value / kPowerOfTen[8];
    PutWord(text, at, EightDigits(static_cast<std::uint32_t>(high)) >> ((16 - count) * 8));
    PutWord(text, at + static_cast<std::size_t>(count) - 8,
              EightDigits(static_cast<std::uint32_t>(value - high * kPowerOfTen[8])));
  }
  return at + static_cast<std::size_t>(count);
}

constexpr std::uint64_t kBlanks = 0x2020202020202020u;

// The text of a fixed form of width 10 with 4 decimals from its units: at
// most 14 integer digits (units below 10^18), then "." and 4 decimals;
// blanks before a text shorter than 10.
std::size_t UnitsText10x4(std::uint64_t units, Text text) {
  if (units < kPowerOfTen[8]) [[likely]] {
    // Four integer places and four decimals from one word of digits, the
    // integer's leading zeros (all but its last place) made blanks:
    // " iiii.dddd".
    std::uint64_t digits = EightDigits(static_cast<std::uint32_t>(units));
    std::uint64_t integer = units / 10000;
    int blanks = (integer < 10) + (integer < 100) + (integer < 1000);
    std::uint64_t blanked = (std::uint64_t{1} << (8 * blanks)) - 1;
    std::uint64_t places = ((digits & 0xFFFFFFFFu) & ~blanked) | (kBlanks & blanked);
    PutWord(text, 0, ' ' | (places << 8) | (std::uint64_t{'.'} << 40) | ((digits >> 32) << 48));
    PutWord(text, 8, digits >> 48);
    return 10;
  }
  std::uint64_t integer = units / 10000;
  auto fraction = static_cast<std::uint32_t>(units - integer * 10000);
  int count = DigitCount(integer);
  PutWord(text, 0, kBlanks);
  std::size_t at = WriteDigits(integer, count, text, count < 5 ? static_cast<std::size_t>(5 - count) : 0);
  PutByte(text, at, '.');
  PutWord(text, at + 1, EightDigits(fraction) >> 32);
  return at + 5;
}

// The text of a fixed form of width 20 with 17 decimals from its units,
// below 10^18: one integer digit, then 17 decimals (19 characters).
std::size_t UnitsText20x17(std::uint64_t units, Text text) {
  std::uint64_t head = units / kPowerOfTen[16];  // the integer digit and the first decimal
  std::uint64_t rest = units - head * kPowerOfTen[16];
  std::uint64_t middle = rest / kPowerOfTen[8];
  PutWord(text, 0, ' ' | (std::uint64_t{'0' + head / 10} << 8) | (std::uint64_t{'.'} << 16) |
                   (std::uint64_t{'0' + head % 10} << 24));
  PutWord(text, 4, EightDigits(static_cast<std::uint32_t>(middle)));
  PutWord(text, 12, EightDigits(static_cast<std::uint32_t>(rest - middle * kPowerOfTen[8])));
  return 20;
}

}  // namespace

bool ExactShownUnits(ExtendedBits f, int decimals, std::uint64_t& units) {
  // The value is significand x 2^-shift, and x x 10^decimals is the
  // 128-bit product p over 2^shift, exactly.
  const int binary_exponent = f.sign_exponent - 16383;
  const int most = decimals == 4 ? 32 : -5;
  if (f.sign_exponent == 0 || f.sign_exponent >= 0x7FFF || (f.significand >> 63) == 0 || binary_exponent > most) {
    return false;
  }
  // The expansion's roundings move the value by less than 1.5 units of its
  // 18th digit, at least three digits after the last one shown here (two
  // for a likelihood ratio from 2^-7 to 2^-4): a value whose part beyond
  // the last shown digit lies clear of the half by 2^-8 of a unit (2^-5 in
  // that range) rounds the same either way.
  const int margin_bits = decimals == 17 && binary_exponent > -8 ? 5 : 8;
  const int shift = 63 - binary_exponent;
  const unsigned __int128 p = static_cast<unsigned __int128>(f.significand) * kPowerOfTen[decimals];
  if (shift >= 128) {
    // Below 2^-7 units (p has at most 121 bits): shown as zero.
    units = 0;
    return true;
  }
  // The part beyond the unit, to 64 bits (shift is at least 31): short of
  // it by less than 2^-64 of a unit, which the margin covers.
  const auto beyond = shift >= 64 ? static_cast<std::uint64_t>(p >> (shift - 64))
                                  : static_cast<std::uint64_t>(p << (64 - shift));
  constexpr std::uint64_t kHalf = std::uint64_t{1} << 63;
  const std::uint64_t distance = beyond >= kHalf ? beyond - kHalf : kHalf - beyond;
  if (distance <= (std::uint64_t{1} << (64 - margin_bits))) return false;
  units = static_cast<std::uint64_t>(p >> shift) + (beyond > kHalf ? 1 : 0);
  return true;
}

char* ScientificText(std::int64_t y, int scale, int width, char* out) {
  Text text{out, out};
  return out + (width == 20 ? Scientific<12>(static_cast<std::uint64_t>(y), scale, text)
                            : Scientific<15>(static_cast<std::uint64_t>(y), scale, text));
}

char* FixedText10x4(std::int64_t y, int scale, char* out) {
  std::uint64_t units;
  if (!ShownUnits<4>(static_cast<std::uint64_t>(y), scale, units)) return nullptr;
  return out + UnitsText10x4(units, {out, out});
}

char* FixedText20x17(std::int64_t y, int scale, char* out) {
  std::uint64_t units;
  if (!ShownUnits<17>(static_cast<std::uint64_t>(y), scale, units)) return nullptr;
  return out + UnitsText20x17(units, {out, out});
}

namespace {

// The general form's text, in the row and copied for the cache: the rare
// case where a read back is no matter.
std::size_t General(std::size_t length, Text text) {
  if (length <= 32) std::memcpy(text.copy, text.out, 32);
  return length;
}

// Each form lays its text down at text.out and text.copy (32 bytes) and
// returns its length; a text longer than 32 bytes is at text.out alone.
std::size_t DefaultForm(const long double& x, ExtendedBits f, Text text) {
  if (!IsPositiveNormal(f)) [[unlikely]] return General(FormatReal(x, text.out), text);
  std::uint64_t q;
  int exponent;
  if (ExactSignificantDigits(f, 15, q, exponent)) [[likely]] return ScientificDigits<15>(q, exponent, text);
  ScaledDecimal d = Expansion(f);
  return Scientific<15>(static_cast<std::uint64_t>(d.y), d.scale, text);
}

std::size_t FixedForm10x4(const long double& x, ExtendedBits f, Text text) {
  if (IsPositiveNormal(f) && InFixedRange(f)) [[likely]] {
    std::uint64_t units;
    if (ExactShownUnits(f, 4, units)) [[likely]] return UnitsText10x4(units, text);
    ScaledDecimal d = Expansion(f);
    if (ShownUnits<4>(static_cast<std::uint64_t>(d.y), d.scale, units)) return UnitsText10x4(units, text);
  }
  return General(FormatReal(x, 10, 4, text.out), text);
}

std::size_t FixedForm20x17(const long double& x, ExtendedBits f, Text text) {
  if (!IsPositiveNormal(f)) [[unlikely]] return General(FormatReal(x, 20, 17, text.out), text);
  std::uint64_t units;
  const bool fixed = InFixedRange(f);
  if (fixed && ExactShownUnits(f, 17, units)) return UnitsText20x17(units, text);
  std::uint64_t q;
  int exponent;
  if (!fixed && ExactSignificantDigits(f, 12, q, exponent)) return ScientificDigits<12>(q, exponent, text);
  ScaledDecimal d = Expansion(f);
  if (!fixed) return Scientific<12>(static_cast<std::uint64_t>(d.y), d.scale, text);
  if (ShownUnits<17>(static_cast<std::uint64_t>(d.y), d.scale, units)) return UnitsText20x17(units, text);
  return General(FormatReal(x, 20, 17, text.out), text);
}

using Form = std::size_t (*)(const long double&, ExtendedBits, Text);

// The texts of recent values, by value, one cache per form. A listing
// writes the same few values over and over (the permutations of an outcome
// mostly have the same probability, chi-square and likelihood ratio to the
// bit), so many texts are found here instead of being formed again.
// The key of a slot (a value's fields and its text's length, 0 for an empty
// slot) and its text lie apart, each aligned, so that neither straddles two
// lines of the processor's cache.
struct alignas(16) CachedKey {
  std::uint64_t significand;
  std::uint16_t sign_exponent;
  std::uint8_t length;
};
struct alignas(32) CachedText {
  char text[32];
};
constexpr int kCacheBits = 11;

template <Form kForm>
struct TextCache {
  static CachedKey keys[1 << kCacheBits];
  static CachedText texts[1 << kCacheBits];
};
template <Form kForm>
CachedKey TextCache<kForm>::keys[1 << kCacheBits];
template <Form kForm>
CachedText TextCache<kForm>::texts[1 << kCacheBits];

std::size_t SlotOf(ExtendedBits f) {
  std::uint64_t hash = (f.significand ^ (std::uint64_t{f.sign_exponent} << 48)) * 0x9E3779B97F4A7C15u;
  return hash >> (64 - kCacheBits);
}

template <Form kForm>
char* CachedForm(const long double& x, char* out) {
  using Cache = TextCache<kForm>;
  ExtendedBits f = BitsOf(x);
  std::size_t slot = SlotOf(f);
  CachedKey& key = Cache::keys[slot];
  if (key.significand == f.significand && key.sign_exponent == f.sign_exponent && key.length != 0) {
    std::memcpy(out, Cache::texts[slot].text, sizeof(CachedText));
    return out + key.length;
  }
  std::size_t length = kForm(x, f, {out, Cache::texts[slot].text});
  // The slot now holds the new text, or, for a longer one, no whole text.
  key.significand = f.significand;
  key.sign_exponent = f.sign_exponent;
  key.length = length <= sizeof(CachedText) ? static_cast<std::uint8_t>(length) : 0;
  return out + length;
}

template <Form kForm>
void PrefetchSlot(const long double& x) {
  std::size_t slot = SlotOf(BitsOf(x));
  __builtin_prefetch(&TextCache<kForm>::keys[slot]);
}

}  // namespace

char* AppendDefaultForm(const long double& x, char* out) { return CachedForm<DefaultForm>(x, out); }

char* AppendFixedForm10x4(const long double& x, char* out) { return CachedForm<FixedForm10x4>(x, out); }

char* AppendFixedForm20x17(const long double& x, char* out) { return CachedForm<FixedForm20x17>(x, out); }

void PrefetchListingTexts(const long double& probability, const long double& chi2, const long double& lr) {
  PrefetchSlot<DefaultForm>(probability);
  PrefetchSlot<FixedForm10x4>(chi2);
  PrefetchSlot<FixedForm20x17>(lr);
}
