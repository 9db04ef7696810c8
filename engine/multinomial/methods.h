// The methods of the multinomial test, each from a Setup to the
// probabilities of the outcomes beyond and tied with the observed one.
#ifndef ENGINE_MULTINOMIAL_METHODS_H_
#define ENGINE_MULTINOMIAL_METHODS_H_

#include <array>
#include <cstdint>
#include <vector>

#include "engine/multinomial/setup.h"

namespace engine::multinomial {

struct Tallies {
  std::array<Tally, kStatisticCount> tally;
  std::uint64_t outcomes_visited = 0;  // outcomes (or classes) judged one by one
  std::uint64_t nodes_visited = 0;     // network method: partial outcomes expanded
  // The walks that judge every outcome (or class) tell whether some
  // outcome is less extreme than the observed one, bit s for statistic s:
  // where none is, p is 1 exactly.
  bool less_extreme_known = false;
  std::uint8_t less_extreme = 0;
};

/// The tables of the categories' shares, one per distinct weight (one for
/// every category under equal probabilities): over every count 0..n while
/// they fit kTableEntryLimit, else over a window around each expectation
/// wide enough for every count that matters.
struct ShareTables {
  std::vector<TermTable> tables;
  std::vector<const TermTable*> of_category;
};
ShareTables MakeShareTables(const Setup& setup);

/// Every outcome, in lexicographic order with the first count slowest;
/// each one handed to sink (when not empty) with multiplicity 1. Each
/// method checks the pace in its loops (progress, and OutOfTime past the
/// deadline).
Tallies EnumerateOutcomes(const Setup& setup, const OutcomeSink& sink, Pace& pace);

/// Equal probabilities only: every multiset of counts once, as a class of
/// outcomes with the number of its distinct orderings as multiplicity.
Tallies EnumerateClasses(const Setup& setup, const OutcomeSink& sink, Pace& pace);

/// The network method: partial outcomes, category by category, whose
/// completions are decided at once when bounds allow.
Tallies WalkNetwork(const Setup& setup, Pace& pace);

/// Monte Carlo: counts of the draws beyond and tied per statistic, of
/// `samples` draws made (fewer than asked for when the pace's deadline
/// passed first). sink (may be empty) receives each draw, its share 1 /
/// (the draws asked for).
struct DrawCounts {
  std::array<std::uint64_t, kStatisticCount> beyond{};
  std::array<std::uint64_t, kStatisticCount> tied{};
  std::uint64_t samples = 0;
};
DrawCounts DrawOutcomes(const Setup& setup, std::uint64_t samples, std::uint64_t seed, Pace& pace,
                        const OutcomeSink& sink = {});

/// The number of multisets of k counts with total n (partitions of n into
/// at most k parts), or an estimate from below when too large to count.
double ClassCount(std::uint64_t n, std::uint32_t k);

/// C(n + k - 1, k - 1), the number of outcomes.
double OutcomeCount(std::uint64_t n, std::uint32_t k);

}  // namespace engine::multinomial

#endif  // ENGINE_MULTINOMIAL_METHODS_H_
