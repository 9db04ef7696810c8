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
/// The most Monte Carlo draws a test makes: a billion take minutes with a
/// few categories, hours with thousands.
inline constexpr std::uint64_t kMaxSamples = 1'000'000'000;
/// Under kAuto, Monte Carlo stopped by the time allowed must have made at
/// least this many draws (or all it was asked for, if fewer).
inline constexpr std::uint64_t kMinimumDraws = 1'000;
/// The working memory a test may take: a method whose estimated need is
/// larger is not chosen (kAuto) or refused (kExact).
inline constexpr double kMemoryCap = 1024.0 * 1024 * 1024;

}  // namespace engine

#endif  // ENGINE_COMMON_METHOD_H_
