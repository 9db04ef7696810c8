// A cell's share of G^2: holding e (1 + t) where e is expected, a cell adds
// 2 e h(t) with h(t) = (1 + t) ln(1 + t) - t >= 0, a sum of non-negative
// terms however close the table is to its expectation.
#ifndef ENGINE_CONTINGENCY_EXCESS_ENTROPY_H_
#define ENGINE_CONTINGENCY_EXCESS_ENTROPY_H_

namespace engine {

/// h(t) for t >= -1 (h(-1) = 1, an empty cell), within a few units of
/// 2^-64 of itself, also for t near 0.
long double ExcessEntropy(long double t);

/// 1 + (1 + u) (u / 3 + u^3 / 5 + u^5 / 7 + ...) for |u| <= 1/15: with
/// u = t / (2 + t), h(t) = t u AtanhFactor(u) for |t| <= 1/8.
long double AtanhFactor(long double u);

}  // namespace engine

#endif  // ENGINE_CONTINGENCY_EXCESS_ENTROPY_H_
