// The exact multinomial goodness-of-fit test: k observed counts against
// null probabilities (equal, or proportional to given positive numbers).
// Every outcome y of k non-negative counts with the observed total n has the
// probability n! prod(pi_i^y_i / y_i!); the outcomes are ordered by Pearson's
// X^2, by G^2 and by their probability. Re-entrant: the state of a test is
// in its arguments and its result.
#ifndef ENGINE_MULTINOMIAL_MULTINOMIAL_H_
#define ENGINE_MULTINOMIAL_MULTINOMIAL_H_

#include <functional>

#include "engine/multinomial/types.h"

namespace engine {

/// True when text is a positive finite decimal number ("9", "0.25", "1e-3",
/// "2.5E+2"): digits with at most one point, an optional exponent; no sign,
/// no blanks, no hex, no inf or nan, not zero. Its value must lie between
/// 1e-307 and 1e308 (exclusive), as a normal double does. The proportions
/// are taken exactly as written: "0.1" is one tenth.
bool IsProportion(std::string_view text);

/// Runs the test. sink (may be empty) receives the outcomes: every one in
/// order when options.every_outcome; else, when options.whole_distribution,
/// every outcome or every class of outcomes with its multiplicity (under
/// equal probabilities, the permutations of a vector of counts, handed as
/// its counts in non-increasing order), or, when the automatic choice
/// turns to Monte Carlo, every draw with its share of the draws; else
/// nothing. restart (may be empty) is called when the automatic choice
/// turns to Monte Carlo after rows of an exact attempt were handed over:
/// those rows no longer count. progress (may be empty) is called about
/// every 50 ms of long work with the share done; it may start again from
/// 0 when the automatic choice turns to Monte Carlo. Throws TestFailure
/// when the work is beyond the method, its limits or its memory.
MultinomialResult TestMultinomial(const MultinomialProblem& problem,
                                  const MultinomialOptions& options,
                                  const OutcomeSink& sink = {},
                                  const ProgressSink& progress = {},
                                  const std::function<void()>& restart = {});

}  // namespace engine

#endif  // ENGINE_MULTINOMIAL_MULTINOMIAL_H_
