// Tails of the binomial distribution relative to their first term: how
// much probability lies from a count outward, in units of that count's
// probability. The network method sums its runs of extreme children so.
#ifndef ENGINE_COMMON_BINOMIAL_TAIL_H_
#define ENGINE_COMMON_BINOMIAL_TAIL_H_

#include <cstdint>

namespace engine {

/// For Binomial(r, q) (complement c = 1 - q given apart):
/// sum over j >= v of P(j) / P(v) when upward, over j <= v when not. Needs
/// v beyond the mean on that side (v > r q + 1 upward, v < r q - 1
/// downward), where the continued fraction of the incomplete beta function
/// converges in a few steps; NaN if it does not settle.
double BinomialTailRatio(std::uint32_t r, std::uint32_t v, double q, double c, bool upward);

}  // namespace engine

#endif  // ENGINE_COMMON_BINOMIAL_TAIL_H_
