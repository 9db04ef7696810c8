#include "engine/contingency/table.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <optional>
#include <stdexcept>

#include "engine/common/monte_carlo_p.h"
#include "engine/common/pace.h"
#include "engine/contingency/table_bounds.h"
#include "engine/contingency/table_count.h"
#include "engine/contingency/table_judge.h"
#include "engine/contingency/table_keys.h"
#include "engine/contingency/table_listing.h"
#include "engine/contingency/table_monte_carlo.h"
#include "engine/contingency/table_network.h"
#include "engine/contingency/table_shape.h"
#include "engine/contingency/table_statistics.h"

namespace engine {
namespace {

using table::Key;

// Steps of the network (partial columns expanded) per second, measured on
// one core with room to spare: the automatic choice estimates the time
// from them.
constexpr double kNetworkRate = 2e7;
// Beyond this estimated time the exact method is refused.
constexpr double kMaxExactSeconds = 86400;
// Seconds per cell of a Monte Carlo draw (a table drawn and judged), with
// room to spare: the automatic choice keeps this much of the time allowed
// for the draws, should the exact attempt run out of it.
constexpr double kDrawCellSeconds = 1e-7;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void CheckProblem(const TableProblem& problem) {
  if (problem.rows == 0 || problem.columns == 0) throw std::invalid_argument("a table needs a row and a column");
  if (problem.cells.size() != std::size_t{problem.rows} * problem.columns) {
    throw std::invalid_argument("the cells do not fill the rows and columns");
  }
  std::uint64_t total = 0;
  for (std::uint32_t n : problem.cells) total += n;
  if (total > 2147483647u) throw std::invalid_argument("the total of the table is above 2147483647");
}

Ordering OrderingOf(int key) {
  return key == table::kChi ? Ordering::kChiSquare
                            : key == table::kDeviance ? Ordering::kLikelihoodRatio : Ordering::kProbability;
}

double ValueOf(int key, const table::ObservedStatistics& s) {
  return key == table::kChi ? s.chi_square : key == table::kDeviance ? s.likelihood_ratio : s.probability;
}

double Log10(long double x) { return x > 0 ? static_cast<double>(std::log10(x)) : std::nan(""); }

OrderingResult ExactOrdering(int key, const table::ObservedStatistics& s, long double beyond, long double tied) {
  OrderingResult o{OrderingOf(key), ValueOf(key, s), 0, 0};
  const long double p = std::min(1.0L, beyond + tied);
  const long double mid_p = std::min(1.0L, beyond + tied / 2);
  o.p = static_cast<double>(p);
  o.mid_p = static_cast<double>(mid_p);
  o.log10_p = Log10(p);
  o.log10_mid_p = Log10(mid_p);
  if (key == table::kFactorial) o.log10_value = s.log10_probability;
  return o;
}

std::string CountText(const TableCount& count) {
  if (count.exact) return count.digits;
  char text[32];
  std::snprintf(text, sizeof text, "about %.2g", count.value);
  return text;
}

// One table only: it is tied with itself.
void SingleTable(const TableProblem& problem, const TableOptions& options, const OutcomeSink& sink,
                 TableResult& result) {
  table::ObservedStatistics s;
  s.probability = 1;
  for (int k = 0; k < table::kKeyCount; ++k) {
    result.orderings[static_cast<std::size_t>(k)] = ExactOrdering(k, s, 0, 1);
    if (result.method == Method::kMonteCarlo) {
      result.orderings[static_cast<std::size_t>(k)] =
          MonteCarloOrdering(OrderingOf(k), ValueOf(k, s), 0, options.samples, options.samples);
    }
  }
  if (result.method == Method::kMonteCarlo) return;
  result.outcomes = {true, "1", 1};
  if (sink && options.every_outcome) {
    sink(OutcomeRow{problem.cells, 1, 1, 0, 0, {Mark::kTied, Mark::kTied, Mark::kTied, Mark::kNotExtreme}});
  }
}

// The network's work, estimated from below: for each stage, the nodes it
// can hold (the ways to leave each row's remaining sum, all rows but the
// widest free) times the ways to fill its column (likewise). Past values
// multiply it, pruning divides it; it only rules out what cannot be done.
double NetworkWork(const table::Shape& shape) {
  double work = 0;
  std::int64_t placed = 0, remaining = shape.N;
  for (std::uint32_t k = 0; k + 1 < shape.c; ++k) {
    double nodes = 1, fills = 1, widest_node = 1, widest_fill = 1;
    for (std::uint32_t i = 0; i < shape.r; ++i) {
      const double node = static_cast<double>(std::min(shape.R[i], remaining) -
                                              std::max<std::int64_t>(0, shape.R[i] - placed) + 1);
      const double fill = static_cast<double>(std::min(shape.R[i], shape.C[k]) + 1);
      nodes *= node;
      fills *= fill;
      widest_node = std::max(widest_node, node);
      widest_fill = std::max(widest_fill, fill);
    }
    work += nodes / widest_node * (fills / widest_fill);
    placed += shape.C[k];
    remaining -= shape.C[k];
  }
  return work;
}

struct Keys {
  std::array<std::optional<table::KeyTables>, table::kKeyCount> tables;
  std::array<const table::KeyTables*, table::kKeyCount> pointers{};
  bool complete = true;
};

Keys MakeKeys(const table::Shape& shape, std::uint64_t budget) {
  Keys keys;
  for (int k = 0; k < table::kKeyCount; ++k) {
    keys.tables[static_cast<std::size_t>(k)] = table::MakeKeyTables(shape, static_cast<Key>(k), budget);
    keys.pointers[static_cast<std::size_t>(k)] = keys.tables[static_cast<std::size_t>(k)] ? &*keys.tables[static_cast<std::size_t>(k)] : nullptr;
    keys.complete = keys.complete && keys.tables[static_cast<std::size_t>(k)].has_value();
  }
  return keys;
}

void RunExact(const TableProblem& problem, const table::Shape& shape, const Keys& keys, const TableOptions& options,
              const OutcomeSink& sink, Pace& pace, TableResult& result) {
  const table::ObservedStatistics observed = table::StatisticsOf(shape);
  TableResult exact = result;
  for (int k = 0; k < table::kKeyCount; ++k) {
    const table::KeyTables& tables = *keys.tables[static_cast<std::size_t>(k)];
    const auto bounds = table::MakeStageBounds(shape, tables);
    table::NetworkTally tally = table::WalkNetwork(shape, tables, bounds, options.max_memory, pace);
    exact.nodes_visited += tally.nodes_visited;
    exact.paths_visited += tally.paths_visited;
    exact.orderings[static_cast<std::size_t>(k)] =
        ExactOrdering(k, observed, tally.beyond.Value(), tally.tied.Value());
  }
  exact.method = Method::kExact;
  exact.outcomes = table::CountTables(shape);
  if (sink && options.every_outcome) {
    table::Judge judge(shape, keys.pointers);
    table::ListTables(problem, judge, exact.outcomes.value, sink, pace);
  }
  result = std::move(exact);
}

void RunMonteCarlo(const table::Shape& shape, const Keys& keys, const TableOptions& options, Pace& pace,
                   TableResult& result) {
  if (options.samples == 0) throw TestFailure("Monte Carlo needs at least one sample");
  const table::ObservedStatistics observed = table::StatisticsOf(shape);
  const table::DrawCounts counts = table::DrawTables(shape, keys.pointers, options.samples, options.seed, pace);
  const std::uint64_t enough = std::min(options.samples, kMinimumDraws);
  if (counts.samples < enough) {
    throw TestFailure("the time allowed ran out after " + std::to_string(counts.samples) +
                      " Monte Carlo draws, fewer than the " + std::to_string(enough) +
                      " an estimate needs; allow more time");
  }
  result.method = Method::kMonteCarlo;
  result.samples = counts.samples;
  result.samples_requested = options.samples;
  result.seed = options.seed;
  result.outcomes = table::CountTables(shape, 0);  // an estimate
  result.nodes_visited = result.paths_visited = 0;
  for (int k = 0; k < table::kKeyCount; ++k) {
    const std::size_t i = static_cast<std::size_t>(k);
    result.orderings[i] =
        MonteCarloOrdering(OrderingOf(k), ValueOf(k, observed), counts.beyond[i], counts.tied[i], counts.samples);
    if (k == table::kFactorial) result.orderings[i].log10_value = observed.log10_probability;
  }
}

}  // namespace

TableResult TestTable(const TableProblem& problem, const TableOptions& options, const OutcomeSink& sink,
                      const ProgressSink& progress) {
  const auto start = std::chrono::steady_clock::now();
  CheckProblem(problem);
  if (options.method == Method::kMonteCarlo && options.every_outcome) {
    throw TestFailure("the Monte Carlo method draws only some tables, not every one a listing or a plot needs");
  }
  TableResult result;
  result.rows = problem.rows;
  result.columns = problem.columns;
  table::SumsOf(problem, result.row_sums, result.column_sums);
  for (std::uint64_t v : result.row_sums) result.total += v;
  result.method = options.method == Method::kMonteCarlo ? Method::kMonteCarlo : Method::kExact;
  if (result.method == Method::kMonteCarlo) {
    result.samples = result.samples_requested = options.samples;
    result.seed = options.seed;
  }
  const table::Shape shape = table::ShapeOf(problem);
  if (shape.degenerate) {
    SingleTable(problem, options, sink, result);
    return result;
  }
  // The keys' tables take a quarter of the memory allowed, and at least 16 MiB.
  const Keys keys = MakeKeys(shape, std::max<std::uint64_t>(options.max_memory / 4, std::uint64_t{1} << 24));
  if (options.method == Method::kMonteCarlo) {
    Pace pace = StartPace(&progress, 0);
    RunMonteCarlo(shape, keys, options, pace, result);
    return result;
  }
  if (options.every_outcome) {
    const TableCount count = table::CountTables(shape);
    if (count.value > kMaxListedTables) {
      throw TestFailure("there are " + CountText(count) +
                        " tables with these margins, more than the 100000000 a listing or a plot can take");
    }
  }
  const double seconds = 3 * NetworkWork(shape) / kNetworkRate;
  const bool feasible = keys.complete && seconds <= kMaxExactSeconds;
  if (options.method == Method::kExact || options.every_outcome) {
    if (!feasible) {
      throw TestFailure("the exact test of this table would take far more than a day; Monte Carlo can estimate "
                        "the p-values");
    }
    Pace pace = StartPace(&progress, 0);
    RunExact(problem, shape, keys, options, sink, pace, result);
    return result;
  }
  // Automatic: exact when the estimate fits the time allowed, less what
  // the draws would need (up to half of it), which Monte Carlo then has
  // should the exact attempt run out of its share; the whole run keeps to
  // the time allowed.
  const double allowed = options.max_seconds;
  const double draw_seconds = static_cast<double>(options.samples) * static_cast<double>(problem.cells.size()) *
                              kDrawCellSeconds;
  const double for_exact = allowed - std::min(allowed / 2, draw_seconds);
  if (feasible && seconds <= for_exact) {
    try {
      Pace pace = StartPace(&progress, std::max(1e-9, for_exact - SecondsSince(start)));
      RunExact(problem, shape, keys, options, sink, pace, result);
      return result;
    } catch (const OutOfTime&) {
    }
  }
  Pace pace = StartPace(&progress, std::max(1e-9, allowed - SecondsSince(start)));
  RunMonteCarlo(shape, keys, options, pace, result);
  result.fell_back = true;
  return result;
}

}  // namespace engine
