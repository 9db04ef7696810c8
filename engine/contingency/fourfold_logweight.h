// The weight of a table against the mode's, w(x) = P(x) / P(mode), in
// closed form and in logarithms, for tables too far from the mode to walk
// to. With H(n) = ln n! - n ln n + n (what n ln n - n leaves of ln n!),
//   ln P(x) = c - G^2(x) / 2 - sum over the cells of H(n),
// c depending on the margins alone; G^2 / 2 is a sum of four non-negative
// terms, each accurate to its last places, and H is small (ln n / 2 + 0.92
// at most), so ln w carries an error of a few units in the last place of
// G^2 / 2, whatever the total: no log-factorial near 4e10 loses its digits.
#ifndef ENGINE_CONTINGENCY_FOURFOLD_LOGWEIGHT_H_
#define ENGINE_CONTINGENCY_FOURFOLD_LOGWEIGHT_H_

#include <cstdint>

#include "engine/contingency/fourfold_scaled.h"
#include "engine/contingency/fourfold_table.h"

namespace engine::fourfold {

/// H(n) = ln n! - n ln n + n, 0 ln 0 = 0: 0 for n = 0, 1 for n = 1,
/// ln(2 pi n) / 2 + 1 / (12 n) - ... beyond.
long double FactorialExcess(std::int64_t n);

/// -ln P(x) up to a constant of the margins, G^2(x) / 2 + sum H(n), with a
/// bound of its absolute error.
struct ProbabilityKey {
  long double value = 0;
  long double error = 0;
};
ProbabilityKey ProbabilityKeyAt(const Margins& margins, std::int64_t x);

/// ln w(x) given the key of the mode, and the relative error bound of the
/// weight it stands for (as FromLog forms it).
struct LogWeight {
  long double value = 0;
  long double tolerance = 0;
};
LogWeight LogWeightAt(const Margins& margins, const ProbabilityKey& mode_key, std::int64_t x);

}  // namespace engine::fourfold

#endif  // ENGINE_CONTINGENCY_FOURFOLD_LOGWEIGHT_H_
