// The odds ratio of a fourfold table. Under the odds ratio psi, n11 has the
// noncentral hypergeometric distribution P(x) proportional to
// C(r1, x) C(r2, c1 - x) psi^x; the conditional maximum-likelihood
// estimate is the psi whose mean is the observed n11, and the exact
// confidence bounds are the psi at which the observed table's tail has the
// probability the level leaves to it.
#ifndef ENGINE_CONTINGENCY_FOURFOLD_ODDS_H_
#define ENGINE_CONTINGENCY_FOURFOLD_ODDS_H_

#include <array>
#include <cstdint>
#include <optional>

#include "engine/contingency/types.h"
#include "engine/contingency/fourfold_table.h"

namespace engine::fourfold {

/// The estimate and the interval, for margins with no zero among them
/// (the interval of the given level: two-sided, or one-sided as
/// alternative says). Within a relative 1e-10 or so.
OddsRatio ConditionalOddsRatio(const Margins& margins, std::int64_t x0, Alternative alternative,
                               double conf_level);

/// n11 n22 / (n12 n21): nullopt for 0 / 0, +inf for x / 0.
std::optional<double> SampleOddsRatio(const std::array<std::uint32_t, 4>& cells);

}  // namespace engine::fourfold

#endif  // ENGINE_CONTINGENCY_FOURFOLD_ODDS_H_
