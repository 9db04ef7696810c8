#include "engine/contingency/table_bounds.h"

#include <algorithm>
#include <cmath>
#include <queue>
#include <utility>

namespace engine::table {
namespace {

// The work of the exact maxima of one class over every stage, beyond which
// a looser bound stands in: each cell at most what it holds when it holds
// all it can of s.
constexpr std::uint64_t kUpperWork = std::uint64_t{1} << 26;

std::vector<double> Multipliers(const Shape& shape, const KeyTables& keys) {
  std::vector<double> lambda(shape.c, 0);
  if (keys.key == kChi) return lambda;
  // ln C_j shifted by a constant (which changes no bound) to be 0 at the
  // last column, whose bound is then its shares themselves.
  const double last = std::log(static_cast<double>(shape.C[shape.c - 1]));
  for (std::uint32_t j = 0; j + 1 < shape.c; ++j) lambda[j] = std::log(static_cast<double>(shape.C[j])) - last;
  return lambda;
}

// min over y of sum_j (f_j(y_j) - lambda_j y_j) for every s, columns k..c-1:
// the shares are convex in the count, so taking each next unit where it
// adds least is optimal (the marginal cost of a column never falls).
std::vector<double> LowerOfClass(const KeyTables& keys, const std::vector<double>& lambda, std::uint32_t q,
                                 std::uint32_t k, std::int64_t& first) {
  long double base = 0;
  std::int64_t lo_sum = 0, hi_sum = 0;
  std::vector<std::int64_t> y(keys.c);
  using Step = std::pair<long double, std::uint32_t>;  // marginal, column
  std::priority_queue<Step, std::vector<Step>, std::greater<Step>> next;
  auto marginal = [&](std::uint32_t j) {
    const CellRange& cell = keys.Cell(q, j);
    return static_cast<long double>(keys.ValueAt(cell, y[j] + 1)) - keys.ValueAt(cell, y[j]) - lambda[j];
  };
  for (std::uint32_t j = k; j < keys.c; ++j) {
    const CellRange& cell = keys.Cell(q, j);
    y[j] = cell.lo;
    lo_sum += cell.lo;
    hi_sum += cell.hi;
    base += static_cast<long double>(keys.ValueAt(cell, cell.lo)) - lambda[j] * static_cast<long double>(cell.lo);
    if (cell.lo < cell.hi) next.push({marginal(j), j});
  }
  first = lo_sum;
  std::vector<double> lower(static_cast<std::size_t>(hi_sum - lo_sum + 1));
  lower[0] = static_cast<double>(base);
  for (std::size_t s = 1; s < lower.size(); ++s) {
    const auto [step, j] = next.top();
    next.pop();
    base += step;
    lower[s] = static_cast<double>(base);
    ++y[j];
    if (y[j] < keys.Cell(q, j).hi) next.push({marginal(j), j});
  }
  return lower;
}

// Two rows: a completion is the smaller row's cells y_j alone, its key the
// separable sum_j f_sj(y_j) + f_bj(C_j - y_j) under sum_j y_j = what the
// row holds, and its least and largest values, for every stage, come
// exactly from one pass over the columns from the last: E_k(a) = min (max)
// over y of g_k(y) + E_(k+1)(a - y). They replace the relaxation: the
// smaller row's class carries them (half each when both rows are of one
// class, the problem being symmetric in them), the other class nothing.
// False when the pass would be too long.
bool SetTwoRowBounds(const Shape& shape, const KeyTables& keys, std::vector<StageBounds>& stages) {
  const std::uint32_t small = shape.R[0] <= shape.R[1] ? 0 : 1, big = 1 - small;
  const std::uint32_t qs = keys.row_class[small], qb = keys.row_class[big];
  std::vector<std::int64_t> y_lo(shape.c), y_hi(shape.c);
  std::uint64_t work = 0;
  std::int64_t span = 0;
  for (std::uint32_t j = 0; j < shape.c; ++j) {
    const CellRange& s = keys.Cell(qs, j);
    const CellRange& b = keys.Cell(qb, j);
    y_lo[j] = std::max(s.lo, shape.C[j] - b.hi);
    y_hi[j] = std::min(s.hi, shape.C[j] - b.lo);
    span += y_hi[j] - y_lo[j];
    work += static_cast<std::uint64_t>(span + 1) * static_cast<std::uint64_t>(y_hi[j] - y_lo[j] + 1);
  }
  if (work > kUpperWork) return false;
  constexpr double kNone = 1e300;  // no bound: outside the counts a row can hold
  std::vector<long double> low_after{0}, high_after{0};
  std::int64_t first_after = 0;
  for (std::uint32_t k = shape.c; k-- > 0;) {
    const CellRange& s = keys.Cell(qs, k);
    const CellRange& b = keys.Cell(qb, k);
    const std::int64_t first = first_after + y_lo[k];
    const std::size_t size = low_after.size() + static_cast<std::size_t>(y_hi[k] - y_lo[k]);
    std::vector<long double> low(size, INFINITY), high(size, -INFINITY);
    for (std::int64_t y = y_lo[k]; y <= y_hi[k]; ++y) {
      const long double g = static_cast<long double>(keys.ValueAt(s, y)) + keys.ValueAt(b, shape.C[k] - y);
      for (std::size_t a = 0; a < low_after.size(); ++a) {
        const std::size_t at = a + static_cast<std::size_t>(y - y_lo[k]);
        low[at] = std::min(low[at], g + low_after[a]);
        high[at] = std::max(high[at], g + high_after[a]);
      }
    }
    StageBounds& stage = stages[k];
    stage.offset = 0;
    const double share = qs == qb ? 0.5 : 1.0;
    for (std::uint32_t q = 0; q < keys.classes; ++q) {
      for (std::size_t i = 0; i < stage.lower[q].size(); ++i) {
        const std::int64_t a = stage.first[q] + static_cast<std::int64_t>(i);
        if (q != qs) {
          stage.lower[q][i] = stage.upper[q][i] = 0;
        } else if (a < first || a >= first + static_cast<std::int64_t>(size)) {
          stage.lower[q][i] = -kNone;
          stage.upper[q][i] = kNone;
        } else {
          stage.lower[q][i] = static_cast<double>(share * low[static_cast<std::size_t>(a - first)]);
          stage.upper[q][i] = static_cast<double>(share * high[static_cast<std::size_t>(a - first)]);
        }
      }
    }
    low_after = std::move(low);
    high_after = std::move(high);
    first_after = first;
  }
  return true;
}

}  // namespace

std::vector<StageBounds> MakeStageBounds(const Shape& shape, const KeyTables& keys) {
  const std::vector<double> lambda = Multipliers(shape, keys);
  std::vector<StageBounds> stages(shape.c);
  for (std::uint32_t k = 0; k < shape.c; ++k) {
    StageBounds& b = stages[k];
    long double offset = 0;
    for (std::uint32_t j = k; j < shape.c; ++j) offset += lambda[j] * static_cast<long double>(shape.C[j]);
    b.offset = static_cast<double>(offset);
    b.first.resize(keys.classes);
    b.lower.resize(keys.classes);
    b.upper.resize(keys.classes);
    for (std::uint32_t q = 0; q < keys.classes; ++q) b.lower[q] = LowerOfClass(keys, lambda, q, k, b.first[q]);
  }
  for (std::uint32_t q = 0; q < keys.classes; ++q) {
    std::uint64_t work = 0;
    std::int64_t span = 0;
    for (std::uint32_t j = shape.c; j-- > 0;) {
      const CellRange& cell = keys.Cell(q, j);
      span += cell.hi - cell.lo;
      work += static_cast<std::uint64_t>(span + 1) * static_cast<std::uint64_t>(cell.hi - cell.lo + 1);
    }
    const bool exact = work <= kUpperWork;
    // From the last column back: M_k(s) = max_y f_k(y) + M_(k+1)(s - y).
    for (std::uint32_t k = shape.c; k-- > 0;) {
      StageBounds& b = stages[k];
      const std::size_t size = b.lower[q].size();
      std::vector<double>& upper = b.upper[q];
      upper.assign(size, 0);
      const CellRange& cell = keys.Cell(q, k);
      if (k + 1 == shape.c) {
        for (std::size_t s = 0; s < size; ++s) upper[s] = keys.ValueAt(cell, cell.lo + static_cast<std::int64_t>(s));
        continue;
      }
      const StageBounds& after = stages[k + 1];
      for (std::size_t i = 0; i < size; ++i) {
        const std::int64_t s = b.first[q] + static_cast<std::int64_t>(i);
        long double best = 0;
        if (exact) {
          best = -INFINITY;
          const std::int64_t rest_lo = after.first[q];
          const std::int64_t rest_hi = rest_lo + static_cast<std::int64_t>(after.upper[q].size()) - 1;
          const std::int64_t y_lo = std::max(cell.lo, s - rest_hi), y_hi = std::min(cell.hi, s - rest_lo);
          for (std::int64_t y = y_lo; y <= y_hi; ++y) {
            best = std::max(best, static_cast<long double>(keys.ValueAt(cell, y)) + after.Upper(q, s - y));
          }
        } else {
          // Each cell holds at most min(hi, s): its share is at most that.
          for (std::uint32_t j = k; j < shape.c; ++j) {
            const CellRange& other = keys.Cell(q, j);
            best += keys.ValueAt(other, std::max(other.lo, std::min(other.hi, s)));
          }
        }
        upper[i] = static_cast<double>(best);
      }
    }
  }
  if (shape.r == 2) SetTwoRowBounds(shape, keys, stages);
  return stages;
}

}  // namespace engine::table
