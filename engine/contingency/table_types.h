// The problem, options and result of the exact test of an r x c table with
// fixed margins: the types its entry point (engine/contingency/table.h)
// and its parts share.
#ifndef ENGINE_CONTINGENCY_TABLE_TYPES_H_
#define ENGINE_CONTINGENCY_TABLE_TYPES_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/common/exact_test.h"
#include "engine/common/method.h"

namespace engine {

struct TableProblem {
  std::uint32_t rows = 0;     // r >= 1
  std::uint32_t columns = 0;  // c >= 1
  // Row by row: cells[i * columns + j]; the total at most 2^31 - 1.
  std::vector<std::uint32_t> cells;
};

/// The memory the exact method may hold by default: 1 GiB.
inline constexpr std::uint64_t kDefaultMaxMemory = std::uint64_t{1} << 30;

/// Every table handed to a sink one by one (a listing, or a plot) is
/// refused beyond this many tables.
inline constexpr double kMaxListedTables = 1e8;

/// kExact: the network method (partial tables column by column, whole
/// sub-trees decided from bounds); it never falls back and throws
/// TestFailure only when the work is far beyond reach. kMonteCarlo:
/// `samples` random tables with the observed margins (Patefield's
/// algorithm, xoshiro256** seeded by splitmix64 from `seed`); it refuses
/// every_outcome and whole_distribution. kAuto: exact when the estimated
/// work fits max_seconds and the work then finishes within it, Monte Carlo
/// otherwise (fell_back); with every_outcome or whole_distribution it is
/// kExact.
struct TableOptions {
  Method method = Method::kAuto;
  std::uint64_t samples = kDefaultSamples;
  std::uint64_t seed = kDefaultSeed;
  double max_seconds = 10;
  // The memory the exact method holds at most; past it the work goes on
  // depth first, sharing less, and so more slowly, but never fails.
  std::uint64_t max_memory = kDefaultMaxMemory;
  // Every table handed to the sink, in lexicographic order of the cells
  // read row by row (the first cell slowest): a listing, or a plot.
  bool every_outcome = false;
};

/// The number of tables with the observed margins.
struct TableCount {
  bool exact = false;
  std::string digits;  // exact: the decimal digits
  double value = 0;    // exact (rounded to a double) or an estimate
};

struct TableResult {
  std::uint32_t rows = 0;
  std::uint32_t columns = 0;
  std::uint64_t total = 0;
  std::vector<std::uint64_t> row_sums;
  std::vector<std::uint64_t> column_sums;
  Method method = Method::kExact;  // kExact or kMonteCarlo, as computed
  bool fell_back = false;          // kAuto chose Monte Carlo
  TableCount outcomes;             // Monte Carlo: an estimate
  std::uint64_t samples = 0;       // Monte Carlo: the draws made
  std::uint64_t samples_requested = 0;  // Monte Carlo: the draws asked for
  std::uint64_t seed = 0;          // Monte Carlo
  // Partial tables the exact method expanded (one per node and batch of
  // past values) and the past values it carried; 0 otherwise.
  std::uint64_t nodes_visited = 0;
  std::uint64_t paths_visited = 0;
  // kChiSquare, kLikelihoodRatio, kProbability, in that order.
  std::array<OrderingResult, 3> orderings{};
};

}  // namespace engine

#endif  // ENGINE_CONTINGENCY_TABLE_TYPES_H_
