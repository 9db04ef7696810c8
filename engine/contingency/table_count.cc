#include "engine/contingency/table_count.h"

#include <gmpxx.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <unordered_map>
#include <vector>

namespace engine::table {
namespace {

// Counts beyond this estimate are not tried: they would not end.
constexpr double kLargestCounted = 1e30;

// A state of the pass, as one vector: the remaining sums of the rows still
// to receive a cell of the current column (largest first), a separator,
// those of the rows that have (largest first), and what the column has
// still to place.
using State = std::vector<std::uint32_t>;
constexpr std::uint32_t kSeparator = 0xffffffffu;

struct StateHash {
  std::size_t operator()(const State& state) const {
    std::uint64_t h = 0x9e3779b97f4a7c15u;
    for (std::uint32_t v : state) {
      h ^= v + 0x9e3779b97f4a7c15u + (h << 6) + (h >> 2);
      h *= 0xbf58476d1ce4e5b9u;
    }
    return static_cast<std::size_t>(h ^ (h >> 31));
  }
};

double LogChoose(double n, double k) { return std::lgamma(n + 1) - std::lgamma(k + 1) - std::lgamma(n - k + 1); }

double GoodEstimate(const Shape& shape) {
  const double r = shape.r, c = shape.c;
  double log = -LogChoose(static_cast<double>(shape.N) + r * c - 1, r * c - 1);
  for (std::int64_t v : shape.R) log += LogChoose(static_cast<double>(v) + c - 1, c - 1);
  for (std::int64_t v : shape.C) log += LogChoose(static_cast<double>(v) + r - 1, r - 1);
  return std::exp(log);
}

bool Add(unsigned __int128& sum, const unsigned __int128& x) {
  sum += x;
  return sum >= x;  // false on a wrap
}
bool Add(mpz_class& sum, const mpz_class& x) {
  sum += x;
  return true;
}

std::string Digits(unsigned __int128 n) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(n % 10)));
    n /= 10;
  } while (n > 0);
  return digits;
}
std::string Digits(const mpz_class& n) { return n.get_str(); }

// The pass with counts of type Count: nullopt when a count overflows Count
// or the pass takes more than budget steps (long_pass set).
template <typename Count>
std::optional<Count> Pass(const Shape& shape, std::uint64_t budget, bool& long_pass) {
  std::unordered_map<State, Count, StateHash> states, next;
  State start;
  for (std::int64_t v : shape.R) start.push_back(static_cast<std::uint32_t>(v));
  std::sort(start.begin(), start.end(), std::greater<>());
  start.push_back(kSeparator);
  start.push_back(static_cast<std::uint32_t>(shape.C[0]));
  states[start] = 1;
  std::uint64_t steps = 0;
  State after;
  for (std::uint32_t j = 0; j < shape.c; ++j) {
    for (std::uint32_t t = 0; t < shape.r; ++t) {
      next.clear();
      next.reserve(2 * states.size());
      for (const auto& [state, ways] : states) {
        // state: waiting (r - t values), separator, done (t values), s.
        const std::size_t waiting = shape.r - t;
        const std::int64_t r = state[0], s = state.back();
        std::int64_t rest = 0;
        for (std::size_t i = 1; i < waiting; ++i) rest += state[i];
        const std::int64_t lo = std::max<std::int64_t>(0, s - rest), hi = std::min(r, s);
        for (std::int64_t x = lo; x <= hi; ++x) {
          if (++steps > budget) {
            long_pass = true;
            return std::nullopt;
          }
          // The row's remaining sum joins those done, in its place.
          const std::uint32_t left = static_cast<std::uint32_t>(r - x);
          const auto done_begin = state.begin() + static_cast<std::ptrdiff_t>(waiting) + 1;
          const auto done_end = state.end() - 1;
          const auto at = std::upper_bound(done_begin, done_end, left, std::greater<>());
          after.clear();
          // Not yet full: the other rows still wait, the separator after them.
          if (waiting > 1) after.insert(after.end(), state.begin() + 1, done_begin);
          after.insert(after.end(), done_begin, at);
          after.push_back(left);
          after.insert(after.end(), at, done_end);
          if (waiting == 1) {
            // The column is full: every row waits for the next one.
            after.push_back(kSeparator);
            after.push_back(j + 1 < shape.c ? static_cast<std::uint32_t>(shape.C[j + 1]) : 0);
          } else {
            after.push_back(static_cast<std::uint32_t>(s - x));
          }
          if (!Add(next[after], ways)) return std::nullopt;
        }
      }
      std::swap(states, next);
    }
  }
  Count total = 0;
  for (const auto& [state, ways] : states) {
    if (!Add(total, ways)) return std::nullopt;
  }
  return total;
}

}  // namespace

TableCount CountTables(const Shape& shape, std::uint64_t budget) {
  if (shape.degenerate) return {true, "1", 1};
  TableCount count;
  count.value = GoodEstimate(shape);
  if (!(count.value <= kLargestCounted)) return count;
  bool long_pass = false;
  if (auto small = Pass<unsigned __int128>(shape, budget, long_pass)) {
    count.exact = true;
    count.digits = Digits(*small);
    count.value = static_cast<double>(*small);
  } else if (auto large = long_pass ? std::nullopt : Pass<mpz_class>(shape, budget, long_pass)) {
    count.exact = true;
    count.digits = Digits(*large);
    count.value = large->get_d();
  }
  return count;
}

}  // namespace engine::table
