// The Monte Carlo test of an r x c table: random tables with the observed
// margins (engine/contingency/table_sampler.h), each compared with the
// observed one in every ordering, exactly.
#ifndef ENGINE_CONTINGENCY_TABLE_MONTE_CARLO_H_
#define ENGINE_CONTINGENCY_TABLE_MONTE_CARLO_H_

#include <array>
#include <cstdint>

#include "engine/common/pace.h"
#include "engine/contingency/table_keys.h"

namespace engine::table {

struct DrawCounts {
  std::array<std::uint64_t, kKeyCount> beyond{};
  std::array<std::uint64_t, kKeyCount> tied{};
  std::uint64_t samples = 0;
};

/// Draws `samples` tables from xoshiro256** seeded by `seed`, or as many
/// as the pace's deadline allows (counts.samples). keys[k], when
/// not null, decides the ties of key k by its codes; else they are decided
/// from the cells (engine/contingency/table_exact.h).
DrawCounts DrawTables(const Shape& shape, const std::array<const KeyTables*, kKeyCount>& keys,
                      std::uint64_t samples, std::uint64_t seed, Pace& pace);

}  // namespace engine::table

#endif  // ENGINE_CONTINGENCY_TABLE_MONTE_CARLO_H_
