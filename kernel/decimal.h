// Decimal digits in integer arithmetic, for the text of the listing: eight
// ASCII digits at a time in one 64-bit word, and division of a 61-bit value
// by a power of ten as a multiplication.
#ifndef KERNEL_DECIMAL_H_
#define KERNEL_DECIMAL_H_

#include <cstdint>
#include <cstring>

inline constexpr std::uint64_t kPowerOfTen[19] = {1u,
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
                                                  1000000000000000000u};

/// The eight decimal digits of n (below 10^8, with leading zeros) as ASCII,
/// the first digit in the lowest byte: stored little-endian, the word reads
/// as the text. The lanes split n into 4 + 4 digits, each of those into
/// 2 + 2, and each of those into 1 + 1; no lane overflows into the next.
inline std::uint64_t EightDigits(std::uint32_t n) {
  std::uint64_t high = n / 10000;
  std::uint64_t v = high | (static_cast<std::uint64_t>(n - high * 10000) << 32);
  // Each 32-bit lane (below 10^4) into its hundreds and the rest: x / 100
  // is (x x 10486) >> 20 for every x below 43699.
  std::uint64_t hundreds = ((v * 10486) >> 20) & 0x0000007F0000007Fu;
  v = hundreds | ((v - hundreds * 100) << 16);
  // Each 16-bit lane (below 100) into its tens and units: x / 10 is
  // (x x 103) >> 10 for every x below 179.
  std::uint64_t tens = ((v * 103) >> 10) & 0x000F000F000F000Fu;
  v = tens | ((v - tens * 10) << 8);
  return v + 0x3030303030303030u;
}

inline void StoreWord(char* out, std::uint64_t word) { std::memcpy(out, &word, 8); }

/// floor(n / 10^j) for n below 2^61 and j from 1 to 18, as a multiplication:
/// with l = ceil(log2 10^j), m = ceil(2^(61 + l) / 10^j) is below 2^62, and
/// floor(n m / 2^(61 + l)) is floor(n / 10^j) for every n below 2^61
/// (Granlund and Montgomery, theorem 4.2): the error of m adds less than
/// 1 / 10^j to n / 10^j. From j = 1 on, 61 + l is at least 64: the quotient
/// is the high word of n m shifted by 61 + l - 64.
struct PowerOfTenDivisor {
  std::uint64_t multiplier;
  int shift;  // 61 + l - 64
};

inline constexpr struct PowerOfTenDivisors {
  PowerOfTenDivisor of[19];
  constexpr PowerOfTenDivisors() : of() {
    for (int j = 1; j <= 18; ++j) {
      int l = 0;
      while ((std::uint64_t{1} << l) < kPowerOfTen[j]) ++l;
      unsigned __int128 numerator = static_cast<unsigned __int128>(1) << (61 + l);
      unsigned __int128 m = (numerator + kPowerOfTen[j] - 1) / kPowerOfTen[j];
      of[j] = {static_cast<std::uint64_t>(m), 61 + l - 64};
    }
  }
} kPowerOfTenDivisors;

inline std::uint64_t DivideByPowerOfTen(std::uint64_t n, int j) {
  const PowerOfTenDivisor& d = kPowerOfTenDivisors.of[j];
  auto high = static_cast<std::uint64_t>((static_cast<unsigned __int128>(n) * d.multiplier) >> 64);
  return high >> d.shift;
}

#endif  // KERNEL_DECIMAL_H_
