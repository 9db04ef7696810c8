// The exact test of a 2 x 2 table with fixed margins. With the row and
// column sums held, n11 fixes a table and has the hypergeometric
// distribution; the tables are ordered by Pearson's X^2, by G^2 and by their
// probability (Fisher's test), or, one-sided, by n11 itself. Also the
// conditional maximum-likelihood odds ratio with its exact confidence
// interval, and the sample odds ratio. Re-entrant.
#ifndef ENGINE_CONTINGENCY_FOURFOLD_H_
#define ENGINE_CONTINGENCY_FOURFOLD_H_

#include "engine/contingency/types.h"

namespace engine {

/// Runs the test. sink (may be empty) receives every table of the support
/// in increasing n11, multiplicity 1.
FourfoldResult TestFourfold(const FourfoldProblem& problem, const OutcomeSink& sink = {});

/// The p-values of the test alone, exactly as TestFourfold reports them,
/// without the odds ratio: for many tables in a row. Allocates nothing.
/// Without log10s the logarithms are left out (NaN) except where the
/// double is below the normal range (2.2e-308) and needs them; TestFourfold
/// fills them all.
FourfoldOrderings TestFourfoldOrderings(const FourfoldProblem& problem, bool log10s = true);

/// The odds ratio alone, as TestFourfold reports it.
OddsRatio FourfoldOddsRatio(const FourfoldProblem& problem);

}  // namespace engine

#endif  // ENGINE_CONTINGENCY_FOURFOLD_H_
