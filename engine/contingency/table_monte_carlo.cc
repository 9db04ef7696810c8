#include "engine/contingency/table_monte_carlo.h"

#include <vector>

#include "engine/common/random.h"
#include "engine/contingency/table_judge.h"
#include "engine/contingency/table_sampler.h"

namespace engine::table {
namespace {

constexpr std::uint32_t kCheckInterval = 1 << 10;

}  // namespace

DrawCounts DrawTables(const Shape& shape, const std::array<const KeyTables*, kKeyCount>& keys,
                      std::uint64_t samples, std::uint64_t seed, Pace& pace) {
  Judge judge(shape, keys);
  const LogFactorials log_factorial(shape.N);
  std::vector<std::uint32_t> cells(shape.observed.size());
  std::vector<std::int64_t> left;
  std::array<int, kKeyCount> sign{};
  Random random = SeedRandom(seed);
  DrawCounts counts;
  std::uint64_t draw = 0;
  try {
    for (; draw < samples; ++draw) {
      if (draw % kCheckInterval == 0) CheckPace(pace, static_cast<double>(draw) / static_cast<double>(samples));
      DrawTable(log_factorial, shape.R, shape.C, random, left, cells);
      judge.Compare(cells.data(), sign);
      for (int k = 0; k < kKeyCount; ++k) {
        if (sign[k] > 0) ++counts.beyond[k];
        if (sign[k] == 0) ++counts.tied[k];
      }
    }
  } catch (const OutOfTime&) {
    // Past the deadline: the draws made are the estimate.
  }
  counts.samples = draw;
  return counts;
}

}  // namespace engine::table
