// Every table of the support handed to a sink in increasing n11, and what
// that needs beyond the kept walk: weights far out in the tails, kept as an
// extended real and a separate power of two (fourfold_scaled.h), so that
// none underflows however improbable the table.
#ifndef ENGINE_CONTINGENCY_FOURFOLD_LISTING_H_
#define ENGINE_CONTINGENCY_FOURFOLD_LISTING_H_

#include <cstdint>
#include <optional>

#include "engine/common/exact_test.h"
#include "engine/contingency/fourfold_scaled.h"
#include "engine/contingency/fourfold_tails.h"
#include "engine/contingency/fourfold_walk.h"

namespace engine::fourfold {

/// w(x) for any x of the support, from the kept walk and on beyond it.
Scaled ScaledWeight(Walk& walk, std::int64_t x);

/// Where each table stands in each ordering; n11 only when one-sided.
struct ListingMarks {
  Tails chi_square, likelihood_ratio, probability;
  std::optional<Tails> n11;
};

/// Hands every table to sink in increasing n11 with its probability
/// w / total_weight, its statistics and its marks.
void ListTables(Walk& walk, long double total_weight, const ListingMarks& marks, const OutcomeSink& sink);

}  // namespace engine::fourfold

#endif  // ENGINE_CONTINGENCY_FOURFOLD_LISTING_H_
