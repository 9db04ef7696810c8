// How an exact test finds its p-values, for every test family: exactly,
// by Monte Carlo, or the one that fits the time allowed; and the defaults
// of the Monte Carlo draws.
#ifndef ENGINE_COMMON_METHOD_H_
#define ENGINE_COMMON_METHOD_H_

#include <cstdint>

namespace engine {

enum class Method : std::uint8_t { kAuto, kExact, kMonteCarlo };
inline constexpr std::uint64_t kDefaultSamples = 1'000'000;
inline constexpr std::uint64_t kDefaultSeed = 20'261'207;

}  // namespace engine

#endif  // ENGINE_COMMON_METHOD_H_
