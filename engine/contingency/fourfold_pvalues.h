// The p-values of a 2 x 2 table from one sweep of its weights: the tails
// of each ordering, the cuts their sums need, the sums, and for each
// ordering p, mid-p and their logarithms. The one-table report and the
// batch mode both come here, so a table has the same numbers in both.
#ifndef ENGINE_CONTINGENCY_FOURFOLD_PVALUES_H_
#define ENGINE_CONTINGENCY_FOURFOLD_PVALUES_H_

#include <cstdint>

#include "engine/contingency/fourfold_table.h"
#include "engine/contingency/fourfold_tails.h"
#include "engine/contingency/types.h"

namespace engine::fourfold {

/// Where the tables stand in each ordering, for a listing: the three
/// two-sided orderings always, n11 when one-sided.
struct OrderingTails {
  Tails chi_square, likelihood_ratio, probability, n11;
};

/// The results of the orderings of the table n11 = x0 (margins without a
/// zero): chi_square, likelihood_ratio, probability when two-sided, n11
/// alone when one-sided. With log10s the logarithms of every p, mid-p and
/// observed probability are filled; without, only those of values below
/// the normal doubles (2.2e-308), which need them. tails (when given)
/// receives every ordering's tails; total_weight (when given) the sum of
/// the weights w(x) = P(x) / P(mode) over the support.
FourfoldOrderings SolveOrderings(const Margins& margins, std::int64_t x0, Alternative alternative, bool log10s,
                                 OrderingTails* tails = nullptr, long double* total_weight = nullptr);

}  // namespace engine::fourfold

#endif  // ENGINE_CONTINGENCY_FOURFOLD_PVALUES_H_
