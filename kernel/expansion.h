// The decimal expansion of a normal extended real in integer arithmetic:
// the scaling of kernel/realtext (multiplications by correctly rounded
// powers of ten into [1, 16), then by 10^17) with the roundings the x87
// unit makes, inline for the listing's text forms.
#ifndef KERNEL_EXPANSION_H_
#define KERNEL_EXPANSION_H_

#include <cstdint>
#include <cstring>

/// |x| ~ y x 10^(scale - 17); y is below 1.6 x 10^18.
struct ScaledDecimal {
  std::int64_t y;
  int scale;
};

/// The two stored fields of an extended real: the 64-bit significand (its
/// integer bit included) and the sign with the biased exponent.
struct ExtendedBits {
  std::uint64_t significand;
  std::uint16_t sign_exponent;
};

inline ExtendedBits BitsOf(const long double& x) {
  ExtendedBits bits;
  std::memcpy(&bits.significand, &x, 8);
  std::memcpy(&bits.sign_exponent, reinterpret_cast<const char*>(&x) + 8, 2);
  return bits;
}

namespace expansion_internal {

// An extended real as its 64-bit significand and binary exponent b:
// significand x 2^(b - 63), the significand's top bit set.
struct Extended {
  std::uint64_t significand;
  int exponent;
};

// 10^j for j from -4931 to 4932, the range the scaling needs for every
// finite extended real, each the correctly rounded extended value (from
// strtold), formed on first use (kernel/realtext.cc).
inline constexpr int kLowestPower = -4931;
inline constexpr int kHighestPower = 4932;
extern Extended power_fields[kHighestPower - kLowestPower + 1];
extern bool power_known[kHighestPower - kLowestPower + 1];
void LearnPower(int i, int j);

inline int PowerIndex(int j) {
  int i = j - kLowestPower;
  if (!power_known[i]) [[unlikely]] LearnPower(i, j);
  return i;
}

// The product a x b rounded to a 64-bit significand, to nearest, ties to
// even: what the x87 multiply gives for normal operands and results.
inline Extended Multiply(Extended a, Extended b) {
  // Written without data-dependent branches: which way the rounding goes is
  // as good as random, and a mispredicted branch costs more than the sum.
  unsigned __int128 product = static_cast<unsigned __int128>(a.significand) * b.significand;
  auto high = static_cast<std::uint64_t>(product >> 64);
  auto low = static_cast<std::uint64_t>(product);
  std::uint64_t top = high >> 63;  // the product has 128 bits rather than 127
  std::uint64_t kept = top ? high : (high << 1) | (low >> 63);
  std::uint64_t rest = top ? low : low << 1;
  constexpr std::uint64_t kHalf = std::uint64_t{1} << 63;
  std::uint64_t up = (rest > kHalf) | ((rest == kHalf) & kept);
  int exponent = a.exponent + b.exponent + static_cast<int>(top);
  if (kept + up == 0) [[unlikely]] return {kHalf, exponent + 1};
  return {kept + up, exponent};
}

// 10^17 exactly, as an extended real.
inline constexpr Extended kTenTo17 = {0xB1A2BC2EC5000000u, 56};

}  // namespace expansion_internal

/// The expansion of a normal magnitude given by its fields: significand
/// (top bit set) x 2^(binary_exponent - 63). The scaling loop of the x87
/// unit in integer arithmetic: the same roundings, without its latencies.
inline ScaledDecimal ScaleNormalToDecimal(std::uint64_t significand, int binary_exponent) {
  using namespace expansion_internal;
  Extended v{significand, binary_exponent};
  int scale = 0;
  for (;;) {
    // floor(b x log10 2) with 19728 / 65536 for log10 2; the arithmetic
    // shift floors toward minus infinity, also for negative b.
    int k = (v.exponent * 19728) >> 16;
    if (k == 0) break;
    scale += k;
    v = Multiply(v, power_fields[PowerIndex(-k)]);
  }
  // v x 10^17 rounded to 64 bits, then to an integer, ties to even.
  Extended product = Multiply(v, kTenTo17);
  int shift = 63 - product.exponent;
  std::uint64_t y = product.significand >> shift;
  std::uint64_t rest = product.significand & ((std::uint64_t{1} << shift) - 1);
  std::uint64_t half = std::uint64_t{1} << (shift - 1);
  y += (rest > half) | ((rest == half) & y);
  return {static_cast<std::int64_t>(y), scale};
}

#endif  // KERNEL_EXPANSION_H_
