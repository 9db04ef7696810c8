// A pseudo-random generator with a fixed definition, so that a seed gives
// the same draws on every machine: xoshiro256** (Blackman and Vigna), its
// state filled from the seed by splitmix64.
#ifndef ENGINE_COMMON_RANDOM_H_
#define ENGINE_COMMON_RANDOM_H_

#include <cstdint>

namespace engine {

struct Random {
  std::uint64_t s[4];
};

inline std::uint64_t SplitMix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
  z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
  return z ^ (z >> 31);
}

inline Random SeedRandom(std::uint64_t seed) {
  Random random;
  std::uint64_t state = seed;
  for (std::uint64_t& word : random.s) word = SplitMix64(state);
  return random;
}

inline std::uint64_t RotateLeft(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

inline std::uint64_t NextBits(Random& random) {
  std::uint64_t* s = random.s;
  std::uint64_t result = RotateLeft(s[1] * 5, 7) * 9;
  std::uint64_t t = s[1] << 17;
  s[2] ^= s[0];
  s[3] ^= s[1];
  s[1] ^= s[2];
  s[0] ^= s[3];
  s[2] ^= t;
  s[3] = RotateLeft(s[3], 45);
  return result;
}

/// Uniform on [0, 1) in steps of 2^-53.
inline double NextUniform(Random& random) {
  return static_cast<double>(NextBits(random) >> 11) * 0x1p-53;
}

}  // namespace engine

#endif  // ENGINE_COMMON_RANDOM_H_
