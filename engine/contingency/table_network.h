// The network method for one ordering of the tables with fixed margins.
//
// The columns are fixed one after another. A node of stage k is what the
// rows still hold once columns 0..k-1 are filled: the remaining row sums,
// those of exchangeable rows sorted, so that every partial table leaving
// the same sums meets at one node (Mehta and Patel's network). A node keeps
// the past values that reach it: each distinct key of a partial table,
// with the probability of all its completions; partial tables with equal
// keys are merged, equality decided on the exact codes, never on rounded
// values.
//
// A node's past values are expanded together, column cell by column cell:
// the cells of the next column are chosen row by row, and every partial
// column is a sub-tree of completions whose keys lie between bounds that
// are sums over the rows (engine/contingency/table_bounds.h), exact in the
// cells chosen and in the last column. Sorted by their keys, the past values
// for which the whole sub-tree is beyond the observed key form a run at the
// top, summed at once from suffix sums times the sub-tree's probability (a
// product of hypergeometric terms); those for which none of it is at least
// as extreme form a run at the bottom, dropped; only the others go on. At
// the last column the completions are single tables, and a past value
// within rounding of the observed key is decided by the exact codes.
//
// The ideas, from the published improvements on the network algorithm:
// nodes shared by sorted row sums and past values merged on equal keys
// (Mehta and Patel 1983); bounds by the shortest and longest remaining
// paths deciding whole sub-trees (Mehta and Patel; Joe 1988 on the most
// probable table, whose Lagrangian relaxation gives the shortest path here);
// the last column fixed by the others, the largest column taken last, and
// the next to last enumerated as a sub-network over the rows with exact
// bounds, in the spirit of Requena and Martin Ciudad's recurrences for
// 2 x c tables; and bounds shared by all past values of a node, sorted, in
// place of one test per past value (Clarkson, Fan and Joe's remark on the
// cost of the path bounds).
//
// The work is breadth first, stage by stage, for the most merging; when the
// past values held exceed the memory allowed, it turns depth first (the
// deepest stage first, a few past values at a time), which bounds what is
// held at any time, at the cost of merging less.
#ifndef ENGINE_CONTINGENCY_TABLE_NETWORK_H_
#define ENGINE_CONTINGENCY_TABLE_NETWORK_H_

#include <cstdint>
#include <vector>

#include "engine/common/pace.h"
#include "engine/contingency/table_bounds.h"
#include "engine/contingency/table_keys.h"

namespace engine::table {

/// A sum of non-negative extended reals with the rounding of each addition
/// carried along (Neumaier's variant of Kahan's summation).
struct ExtendedSum {
  long double sum = 0;
  long double carry = 0;
  void Add(long double x) {
    const long double t = sum + x;
    if (sum >= x) {
      carry += (sum - t) + x;
    } else {
      carry += (x - t) + sum;
    }
    sum = t;
  }
  long double Value() const { return sum + carry; }
};

struct NetworkTally {
  ExtendedSum beyond;  // probability of the tables beyond the observed one
  ExtendedSum tied;
  std::uint64_t nodes_visited = 0;  // batches of past values expanded
  std::uint64_t paths_visited = 0;  // past values expanded
};

/// The probabilities of the tables beyond and tied with the observed one
/// in the ordering of keys. Needs a shape of at least 2 x 2.
NetworkTally WalkNetwork(const Shape& shape, const KeyTables& keys, const std::vector<StageBounds>& bounds,
                         std::uint64_t max_memory, Pace& pace);

}  // namespace engine::table

#endif  // ENGINE_CONTINGENCY_TABLE_NETWORK_H_
