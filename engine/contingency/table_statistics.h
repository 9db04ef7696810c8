// The statistics of one r x c table with its margins: the observed values
// the reports show, correctly rounded, and the fast forms a listing of
// every table uses.
#ifndef ENGINE_CONTINGENCY_TABLE_STATISTICS_H_
#define ENGINE_CONTINGENCY_TABLE_STATISTICS_H_

#include <cstdint>
#include <span>
#include <vector>

#include "engine/contingency/table_shape.h"

namespace engine::table {

struct ObservedStatistics {
  double chi_square = 0;        // X^2 = sum (n - e)^2 / e, e = R_i C_j / N
  double likelihood_ratio = 0;  // G^2 = 2 sum n ln(n / e)
  double probability = 0;       // P = prod R_i! prod C_j! / (N! prod n_ij!)
  double log10_probability = 0;
};

/// The statistics of the shape's observed table, each the double nearest
/// its exact value (X^2 from rationals, G^2 and P at 256 bits).
ObservedStatistics StatisticsOf(const Shape& shape);

/// The statistics of any table with the margins of a shape, in extended
/// reals (for listings): X^2 and G^2 as sums of non-negative terms, P from
/// logarithms of factorials.
struct TableStatistics {
  explicit TableStatistics(const Shape& shape);
  double ChiSquare(std::span<const std::uint32_t> cells) const;
  double LikelihoodRatio(std::span<const std::uint32_t> cells) const;
  double Probability(std::span<const std::uint32_t> cells) const;

  const Shape& shape;
  std::vector<long double> expected;  // R_i C_j / N
  long double log_constant = 0;       // ln(prod R_i! prod C_j! / N!)
};

}  // namespace engine::table

#endif  // ENGINE_CONTINGENCY_TABLE_STATISTICS_H_
