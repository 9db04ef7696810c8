// Exact keys of tables as fixed-width unsigned integers of a few 64-bit
// words, least significant first: a key is a sum over the cells, so the key
// of a partial table is the sum of its cells' keys, formed by additions
// that never overflow the width chosen for the problem.
#ifndef ENGINE_CONTINGENCY_TABLE_CODE_H_
#define ENGINE_CONTINGENCY_TABLE_CODE_H_

#include <cstdint>
#include <cstring>

namespace engine::table {

/// sum += addend, both `words` long.
inline void AddCode(std::uint64_t* sum, const std::uint64_t* addend, std::uint32_t words) {
  unsigned carry = 0;
  for (std::uint32_t w = 0; w < words; ++w) {
    const std::uint64_t a = sum[w];
    const std::uint64_t s = a + addend[w];
    const std::uint64_t t = s + carry;
    carry = (s < a) | (t < s);
    sum[w] = t;
  }
}

/// out = a + b.
inline void SumCodes(std::uint64_t* out, const std::uint64_t* a, const std::uint64_t* b, std::uint32_t words) {
  std::memcpy(out, a, words * sizeof(std::uint64_t));
  AddCode(out, b, words);
}

inline bool EqualCodes(const std::uint64_t* a, const std::uint64_t* b, std::uint32_t words) {
  for (std::uint32_t w = 0; w < words; ++w) {
    if (a[w] != b[w]) return false;
  }
  return true;
}

/// The sign of a - b as unsigned integers.
inline int CompareCodes(const std::uint64_t* a, const std::uint64_t* b, std::uint32_t words) {
  for (std::uint32_t w = words; w-- > 0;) {
    if (a[w] != b[w]) return a[w] > b[w] ? 1 : -1;
  }
  return 0;
}

/// sum += value x 2^bit, where the result still fits `words`.
inline void AddShifted(std::uint64_t* sum, std::uint64_t value, std::uint32_t bit, std::uint32_t words) {
  std::uint32_t w = bit / 64;
  const std::uint32_t shift = bit % 64;
  std::uint64_t low = value << shift;
  std::uint64_t high = shift == 0 ? 0 : value >> (64 - shift);
  unsigned carry = 0;
  for (; w < words; ++w) {
    const std::uint64_t a = sum[w];
    const std::uint64_t s = a + low;
    const std::uint64_t t = s + carry;
    carry = (s < a) | (t < s);
    sum[w] = t;
    low = high;
    high = 0;
    if (low == 0 && carry == 0) break;
  }
}

/// The `width` bits of code from `bit` on (width at most 64).
inline std::uint64_t FieldOf(const std::uint64_t* code, std::uint32_t bit, std::uint32_t width) {
  const std::uint32_t w = bit / 64;
  const std::uint32_t shift = bit % 64;
  std::uint64_t value = code[w] >> shift;
  if (shift != 0 && shift + width > 64) value |= code[w + 1] << (64 - shift);
  return width == 64 ? value : value & ((std::uint64_t{1} << width) - 1);
}

/// A hash of a code for open addressing.
inline std::uint64_t HashCode(const std::uint64_t* code, std::uint32_t words) {
  std::uint64_t h = 0x9e3779b97f4a7c15u;
  for (std::uint32_t w = 0; w < words; ++w) {
    h ^= code[w] + 0x9e3779b97f4a7c15u + (h << 6) + (h >> 2);
    h *= 0xbf58476d1ce4e5b9u;
  }
  return h ^ (h >> 31);
}

}  // namespace engine::table

#endif  // ENGINE_CONTINGENCY_TABLE_CODE_H_
