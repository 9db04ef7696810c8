// Every table with the margins of an r x c table, one by one, for a
// listing or a picture of the null distribution.
#ifndef ENGINE_CONTINGENCY_TABLE_LISTING_H_
#define ENGINE_CONTINGENCY_TABLE_LISTING_H_

#include "engine/common/pace.h"
#include "engine/contingency/table_judge.h"

namespace engine::table {

/// Hands every table to sink in lexicographic order of its cells read row
/// by row (the first cell slowest), multiplicity 1, with its probability,
/// X^2 and G^2 and where it stands in each ordering. `tables` (the number
/// of them, or an estimate) paces the progress.
void ListTables(const TableProblem& problem, Judge& judge, double tables, const OutcomeSink& sink, Pace& pace);

}  // namespace engine::table

#endif  // ENGINE_CONTINGENCY_TABLE_LISTING_H_
