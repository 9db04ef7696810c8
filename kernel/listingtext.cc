#include "kernel/listingtext.h"

#include <cstring>

#include "kernel/decimal.h"
#include "kernel/expansion.h"

namespace {

constexpr std::uint64_t kTenTo18 = kPowerOfTen[18];

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

// The scientific form of width kDigits + 8 (at most 26): the expansion has
// 18 digits, or 19 from 10^18 on (one more in the exponent), rounded half up
// to kDigits; a carry out of the first digit makes it 1 and raises the
// exponent. Then " d.ddd", "E", the exponent's sign and four digits.
template <int kDigits>
char* Scientific(std::uint64_t y, int scale, char* out) {
  static_assert(kDigits >= 9 && kDigits <= 16);
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
  // The first kDigits - 8 digits, then the last 8.
  std::uint64_t high = q / kPowerOfTen[8];
  std::uint64_t low = q - high * kPowerOfTen[8];
  std::uint64_t lead = EightDigits(static_cast<std::uint32_t>(high)) >> ((16 - kDigits) * 8);
  out[0] = ' ';
  StoreWord(out + 1, (lead & 0xFF) | (std::uint64_t{'.'} << 8) | ((lead >> 8) << 16));
  StoreWord(out + kDigits - 6, EightDigits(static_cast<std::uint32_t>(low)));
  std::uint64_t sign = exponent >= 0 ? '+' : '-';
  auto magnitude = static_cast<std::uint32_t>(exponent >= 0 ? exponent : -exponent);
  StoreWord(out + kDigits + 2, 'E' | (sign << 8) | ((EightDigits(magnitude) >> 32) << 16));
  return out + kDigits + 8;
}

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

// The count digits of value; returns their end.
char* WriteDigits(std::uint64_t value, int count, char* out) {
  if (count <= 8) {
    StoreWord(out, EightDigits(static_cast<std::uint32_t>(value)) >> ((8 - count) * 8));
  } else {
    std::uint64_t high = value / kPowerOfTen[8];
    StoreWord(out, EightDigits(static_cast<std::uint32_t>(high)) >> ((16 - count) * 8));
    StoreWord(out + count - 8, EightDigits(static_cast<std::uint32_t>(value - high * kPowerOfTen[8])));
  }
  return out + count;
}

constexpr std::uint64_t kBlanks = 0x2020202020202020u;

}  // namespace

char* ScientificText(std::int64_t y, int scale, int width, char* out) {
  return width == 20 ? Scientific<12>(static_cast<std::uint64_t>(y), scale, out)
                     : Scientific<15>(static_cast<std::uint64_t>(y), scale, out);
}

char* FixedText10x4(std::int64_t y, int scale, char* out) {
  std::uint64_t units;
  if (!ShownUnits<4>(static_cast<std::uint64_t>(y), scale, units)) return nullptr;
  // At most 14 integer digits (units below 10^18), then "." and 4 decimals;
  // blanks before a text shorter than 10.
  std::uint64_t integer = units / 10000;
  auto fraction = static_cast<std::uint32_t>(units - integer * 10000);
  int count = DigitCount(integer);
  StoreWord(out, kBlanks);
  char* o = WriteDigits(integer, count, out + (count < 5 ? 5 - count : 0));
  *o = '.';
  StoreWord(o + 1, EightDigits(fraction) >> 32);
  return o + 5;
}

char* FixedText20x17(std::int64_t y, int scale, char* out) {
  std::uint64_t units;
  if (!ShownUnits<17>(static_cast<std::uint64_t>(y), scale, units)) return nullptr;
  // Below 10^18: one integer digit, then 17 decimals (19 characters).
  std::uint64_t head = units / kPowerOfTen[16];  // the integer digit and the first decimal
  std::uint64_t rest = units - head * kPowerOfTen[16];
  std::uint64_t middle = rest / kPowerOfTen[8];
  out[0] = ' ';
  out[1] = static_cast<char>('0' + head / 10);
  out[2] = '.';
  out[3] = static_cast<char>('0' + head % 10);
  StoreWord(out + 4, EightDigits(static_cast<std::uint32_t>(middle)));
  StoreWord(out + 12, EightDigits(static_cast<std::uint32_t>(rest - middle * kPowerOfTen[8])));
  return out + 20;
}

namespace {

char* DefaultForm(const long double& x, ExtendedBits f, char* out) {
  if (!IsPositiveNormal(f)) [[unlikely]] return out + FormatReal(x, out);
  ScaledDecimal d = Expansion(f);
  return Scientific<15>(static_cast<std::uint64_t>(d.y), d.scale, out);
}

char* FixedForm10x4(const long double& x, ExtendedBits f, char* out) {
  if (IsPositiveNormal(f) && InFixedRange(f)) [[likely]] {
    ScaledDecimal d = Expansion(f);
    if (char* end = FixedText10x4(d.y, d.scale, out)) return end;
  }
  return out + FormatReal(x, 10, 4, out);
}

char* FixedForm20x17(const long double& x, ExtendedBits f, char* out) {
  if (!IsPositiveNormal(f)) [[unlikely]] return out + FormatReal(x, 20, 17, out);
  ScaledDecimal d = Expansion(f);
  if (!InFixedRange(f)) return Scientific<12>(static_cast<std::uint64_t>(d.y), d.scale, out);
  if (char* end = FixedText20x17(d.y, d.scale, out)) return end;
  return out + FormatReal(x, 20, 17, out);
}

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

template <char* (*kForm)(const long double&, ExtendedBits, char*)>
struct TextCache {
  static CachedKey keys[1 << kCacheBits];
  static CachedText texts[1 << kCacheBits];
};
template <char* (*kForm)(const long double&, ExtendedBits, char*)>
CachedKey TextCache<kForm>::keys[1 << kCacheBits];
template <char* (*kForm)(const long double&, ExtendedBits, char*)>
CachedText TextCache<kForm>::texts[1 << kCacheBits];

std::size_t SlotOf(ExtendedBits f) {
  std::uint64_t hash = (f.significand ^ (std::uint64_t{f.sign_exponent} << 48)) * 0x9E3779B97F4A7C15u;
  return hash >> (64 - kCacheBits);
}

template <char* (*kForm)(const long double&, ExtendedBits, char*)>
char* CachedForm(const long double& x, char* out) {
  using Cache = TextCache<kForm>;
  ExtendedBits f = BitsOf(x);
  std::size_t slot = SlotOf(f);
  CachedKey& key = Cache::keys[slot];
  if (key.significand == f.significand && key.sign_exponent == f.sign_exponent && key.length != 0) {
    std::memcpy(out, Cache::texts[slot].text, sizeof(CachedText));
    return out + key.length;
  }
  char* end = kForm(x, f, out);
  auto length = static_cast<std::size_t>(end - out);
  if (length <= sizeof(CachedText)) {
    key.significand = f.significand;
    key.sign_exponent = f.sign_exponent;
    key.length = static_cast<std::uint8_t>(length);
    std::memcpy(Cache::texts[slot].text, out, sizeof(CachedText));
  }
  return end;
}

template <char* (*kForm)(const long double&, ExtendedBits, char*)>
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
