#include "engine/contingency/fourfold_tails.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "engine/contingency/fourfold_exact.h"

namespace engine::fourfold {
namespace {

// floor(a / b) and ceil(a / b) for b > 0, a of either sign.
std::int64_t FloorDivide(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && a < 0 ? 1 : 0); }
std::int64_t CeilDivide(std::int64_t a, std::int64_t b) { return a / b + (a % b != 0 && a > 0 ? 1 : 0); }

// 0^0 = 1^1: the key treats 0 as 1; sorted, so that equal multisets
// compare equal.
Cells Sorted(const Cells& cells) {
  Cells c = cells;
  for (auto& v : c) v = std::max<std::int64_t>(v, 1);
  std::sort(c.begin(), c.end());
  return c;
}

double Term(double n) { return n > 0 ? n * std::log(n) : 0; }

// ln n for the counts below 4096 that most cells hold, each formed once by
// std::log itself, so that a key is the same whichever way it is formed.
constexpr std::int64_t kLoggedCounts = 4096;
const std::array<double, kLoggedCounts>& CountLogs() {
  static const std::array<double, kLoggedCounts> logs = [] {
    std::array<double, kLoggedCounts> table{};
    for (std::int64_t n = 1; n < kLoggedCounts; ++n) table[n] = std::log(static_cast<double>(n));
    return table;
  }();
  return logs;
}

// Term(n) for a count.
double CountTerm(std::int64_t n, const std::array<double, kLoggedCounts>& logs) {
  if (n < kLoggedCounts) return n > 0 ? static_cast<double>(n) * logs[n] : 0;
  return Term(static_cast<double>(n));
}

// sum n ln n at a real n11 = x, and its slope ln(n11 n22 / (n12 n21)).
struct RealKey {
  double value, slope;
};
RealKey RealKeyAt(const Margins& m, double x) {
  const double n11 = x, n12 = static_cast<double>(m.r1) - x, n21 = static_cast<double>(m.c1) - x,
               n22 = static_cast<double>(m.r2 - m.c1) + x;
  return {Term(n11) + Term(n12) + Term(n21) + Term(n22),
          std::log(n11) + std::log(n22) - std::log(n12) - std::log(n21)};
}

// The real n11 between near and far (step +1 or -1 from near to far) where
// the key reaches key0: the key rises from near on, below key0 at near and
// at least key0 at far. Newton's steps while they stay inside the bracket,
// halving it otherwise.
double RootOfKey(const Margins& m, double key0, double near, double far, double x, int step) {
  for (int iteration = 0; iteration < 80 && std::fabs(far - near) > 0.5; ++iteration) {
    const RealKey k = RealKeyAt(m, x);
    if (k.value < key0) {
      near = x;
    } else {
      far = x;
    }
    double next = x - (k.value - key0) / k.slope;
    if (!std::isfinite(next) || (next - near) * step <= 0 || (far - next) * step <= 0) next = (near + far) / 2;
    if (std::fabs(next - x) < 0.25) return next;
    x = next;
  }
  return x;
}

// The sign of key(x) - key(x0), remembered for the last few tables asked
// about: the search asks about a table more than once, and each answer
// costs four logarithms.
class KeyComparison {
 public:
  KeyComparison(const Margins& m, std::int64_t x0) : m_(m), observed_(CellsAt(m, x0)), key0_(SelfPowerKey(observed_)) {}

  int operator()(std::int64_t x) {
    for (int i = 0; i < kKept; ++i) {
      if (known_[i] && tables_[i] == x) return signs_[i];
    }
    const int sign = CompareSelfPowerKeys(CellsAt(m_, x), observed_, key0_);
    known_[next_] = true, tables_[next_] = x, signs_[next_] = sign;
    next_ = (next_ + 1) % kKept;
    return sign;
  }
  double key0() const { return key0_; }

 private:
  static constexpr int kKept = 4;
  const Margins& m_;
  Cells observed_;
  double key0_;
  bool known_[kKept] = {};
  std::int64_t tables_[kKept] = {};
  int signs_[kKept] = {};
  int next_ = 0;
};

// The first table from `from` towards `to` (step +1 or -1) whose key is at
// least the observed one's, knowing that the key stays below it from
// `from` to the centre and rises from the centre on; to + step when none
// is. guess: a table near the answer (the X^2 mirror).
std::int64_t FirstAtLeast(const Margins& m, KeyComparison& compare, std::int64_t from, std::int64_t to, int step,
                          double centre, std::int64_t guess) {
  const double key0 = compare.key0();
  constexpr int kSteps = 3;  // tables tried one by one before Newton's method
  std::int64_t u = step > 0 ? std::clamp(guess, from, to) : std::clamp(guess, to, from);
  if (compare(u) < 0) {
    for (int i = 0; i < kSteps; ++i) {
      if (u == to) return to + step;
      u += step;
      if (compare(u) >= 0) return u;
    }
    if (compare(to) < 0) return to + step;
  } else {
    for (int i = 0; i < kSteps; ++i) {
      if (u == from || compare(u - step) < 0) return u;
      u -= step;
    }
  }
  // Far from the guess: the real root, then exactly its neighbours.
  const double near = step > 0 ? std::max(centre, static_cast<double>(from)) : std::min(centre, static_cast<double>(from));
  const double x = RootOfKey(m, key0, near, static_cast<double>(to), static_cast<double>(u), step);
  u = static_cast<std::int64_t>(step > 0 ? std::ceil(x) : std::floor(x));
  u = step > 0 ? std::clamp(u, from, to) : std::clamp(u, to, from);
  while (u != to && compare(u) < 0) u += step;
  while (u != from && compare(u - step) >= 0) u -= step;
  return u;
}

}  // namespace

double SelfPowerKey(const Cells& cells) {
  const auto& logs = CountLogs();
  double sum = 0;
  for (std::int64_t n : cells) sum += CountTerm(n, logs);
  return sum;
}

int CompareSelfPowerKeys(const Cells& a, const Cells& b, double key_b) {
  // Each n ln n within 3 units in the last place of a double (the
  // logarithm within one, the product half of one), each sum of four
  // within 3 more of itself: 6 units of each key, well inside 2^-49.
  const double key_a = SelfPowerKey(a);
  const double bound = 0x1p-49 * (key_a + key_b);
  if (key_a - key_b > bound) return 1;
  if (key_b - key_a > bound) return -1;
  if (Sorted(a) == Sorted(b)) return 0;
  return CompareSelfPowerProducts(a, b);
}

Tails ChiSquareTails(const Margins& m, std::int64_t x0) {
  // D(x) = N x - r1 c1 rises by N per table; the tables beyond the centre
  // with |D| at least |D0| start where D reaches -D0.
  const std::int64_t d0 = Deviation(m, x0);
  const std::int64_t rc = m.r1 * m.c1;
  if (d0 == 0) return {x0, x0 + 1, true, false};
  if (d0 < 0) {
    const std::int64_t u = CeilDivide(rc - d0, m.total);  // N u - rc >= -d0
    if (u > m.hi) return {x0, m.hi + 1, true, false};
    return {x0, u, true, Deviation(m, u) == -d0};
  }
  const std::int64_t l = FloorDivide(rc - d0, m.total);  // N l - rc <= -d0
  if (l < m.lo) return {m.lo - 1, x0, false, true};
  return {l, x0, Deviation(m, l) == -d0, true};
}

Tails LikelihoodRatioTails(const Margins& m, std::int64_t x0) {
  // The key's minimum over the reals is at D = 0, where n11 n22 = n12 n21;
  // the observed table lies on one side of it, its tail the tables beyond
  // it there, and the other tail starts across the minimum.
  const std::int64_t d0 = Deviation(m, x0);
  if (d0 == 0) return {x0, x0 + 1, true, false};
  KeyComparison compare(m, x0);
  const double centre = static_cast<double>(m.r1) * static_cast<double>(m.c1) / static_cast<double>(m.total);
  const Tails chi = ChiSquareTails(m, x0);  // its mirror is near
  if (d0 < 0) {
    const std::int64_t u = FirstAtLeast(m, compare, x0 + 1, m.hi, +1, centre, chi.upper);
    const bool tied = u <= m.hi && compare(u) == 0;
    return {x0, u, true, tied};
  }
  const std::int64_t l = FirstAtLeast(m, compare, x0 - 1, m.lo, -1, centre, chi.lower);
  const bool tied = l >= m.lo && compare(l) == 0;
  return {l, x0, tied, true};
}

}  // namespace engine::fourfold
