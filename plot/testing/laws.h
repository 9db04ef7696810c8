// Null distributions from known laws, computed here independently of the
// engine, to feed the picture in tests: every outcome handed to a sink as
// the engine hands it, with the observed values and the p-values.
#ifndef PLOT_TESTING_LAWS_H_
#define PLOT_TESTING_LAWS_H_

#include <array>
#include <cstdint>
#include <vector>

#include "engine/common/exact_test.h"

namespace plot::testing {

struct LawResult {
  std::array<double, engine::kOrderingCount> observed{};  // by Ordering
  std::array<long double, engine::kOrderingCount> p{};     // by Ordering
  std::size_t outcomes = 0;
};

/// Every 2 x 2 table with the margins of cells, in increasing n11, with its
/// hypergeometric probability, X^2, G^2 and marks. one_sided: 0 two-sided
/// (no kN11 marks), -1 less, +1 greater (kN11 marks only).
LawResult Hypergeometric(std::array<std::uint32_t, 4> cells, int one_sided, const engine::OutcomeSink& sink);

/// Every outcome of k counts with the total of counts, in lexicographic
/// order, with its multinomial probability under proportions (empty:
/// equal), X^2, G^2 and marks.
LawResult Multinomial(const std::vector<std::uint32_t>& counts, const std::vector<double>& proportions,
                      const engine::OutcomeSink& sink);

}  // namespace plot::testing

#endif  // PLOT_TESTING_LAWS_H_
