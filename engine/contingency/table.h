// The exact test of an r x c table with fixed margins: every table with
// the observed row and column sums has the probability
// prod R_i! prod C_j! / (N! prod n_ij!) (the multiple hypergeometric law),
// and the tables are ordered by Pearson's X^2, by G^2 and by their
// probability (the Freeman-Halton extension of Fisher's test). The 2 x 2
// table is a case of it, with a test of its own (fourfold.h). Re-entrant.
#ifndef ENGINE_CONTINGENCY_TABLE_H_
#define ENGINE_CONTINGENCY_TABLE_H_

#include "engine/contingency/table_types.h"

namespace engine {

/// Runs the test. sink (may be empty) receives every table, in the order of
/// TableOptions::every_outcome, multiplicity 1, when asked for. progress
/// (may be empty) is called about every 50 ms of long work with the share
/// done; it may start again from 0 when the automatic choice turns to
/// Monte Carlo. Throws TestFailure when the work is beyond the method, and
/// std::invalid_argument for a malformed problem.
TableResult TestTable(const TableProblem& problem, const TableOptions& options, const OutcomeSink& sink = {},
                      const ProgressSink& progress = {});

}  // namespace engine

#endif  // ENGINE_CONTINGENCY_TABLE_H_
