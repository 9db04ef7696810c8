// Stirling's approximation of ln y! and what it leaves out, for the
// log-probabilities of the tests and the binomial sampler.
#ifndef ENGINE_COMMON_STIRLING_H_
#define ENGINE_COMMON_STIRLING_H_

#include <cstdint>

namespace engine {

/// ln(2 pi), to the last place of an extended real.
inline constexpr long double kLnTwoPi = 1.837877066409345483560659472811235279723L;

/// ln(y!) - ((y + 1/2) ln y - y + ln(2 pi) / 2): Stirling's error, y >= 1.
/// StirlingError(1) is 1 - ln(2 pi) / 2, about 0.0811.
long double StirlingError(std::uint64_t y);

}  // namespace engine

#endif  // ENGINE_COMMON_STIRLING_H_
