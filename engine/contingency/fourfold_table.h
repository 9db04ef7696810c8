// The tables of a fourfold test: with the row sums r1, r2 and the column
// sums c1, c2 held, n11 = x fixes the table (x, r1 - x, c1 - x, r2 - c1 + x)
// for x from lo = max(0, r1 - c2) to hi = min(r1, c1). Their hypergeometric
// weights relative to one another, and the statistics of one table.
// Everything is in 64-bit integers: with a total below 2^31 every product
// of two margins or cells is exact.
#ifndef ENGINE_CONTINGENCY_FOURFOLD_TABLE_H_
#define ENGINE_CONTINGENCY_FOURFOLD_TABLE_H_

#include <array>
#include <cstdint>

namespace engine::fourfold {

using Cells = std::array<std::int64_t, 4>;  // n11 n12 n21 n22

struct Margins {
  std::int64_t r1, r2, c1, c2;
  std::int64_t total;
  std::int64_t lo, hi;  // the support of n11
};

/// The margins of the table n11 n12 n21 n22; the total must be below 2^31.
Margins MarginsOf(const std::array<std::uint32_t, 4>& cells);

/// True when a row or column sum is zero: then the support is one table.
bool IsDegenerate(const Margins& margins);

/// The table whose n11 is x (lo <= x <= hi).
inline Cells CellsAt(const Margins& m, std::int64_t x) {
  return {x, m.r1 - x, m.c1 - x, m.r2 - m.c1 + x};
}

/// The numerator and denominator of P(x + 1) / P(x), each exact below 2^62:
/// (r1 - x)(c1 - x) / ((x + 1)(n22 + 1)), for lo <= x < hi. Decreasing in
/// x (the distribution is log-concave).
struct Ratio {
  std::uint64_t numerator, denominator;
};
inline Ratio UpRatio(const Margins& m, std::int64_t x) {
  return {static_cast<std::uint64_t>((m.r1 - x) * (m.c1 - x)),
          static_cast<std::uint64_t>((x + 1) * (m.r2 - m.c1 + x + 1))};
}
/// P(x - 1) / P(x) = x n22 / ((r1 - x + 1)(c1 - x + 1)), for lo < x <= hi.
inline Ratio DownRatio(const Margins& m, std::int64_t x) {
  return {static_cast<std::uint64_t>(x * (m.r2 - m.c1 + x)),
          static_cast<std::uint64_t>((m.r1 - x + 1) * (m.c1 - x + 1))};
}
/// The ratio as an extended real: one rounding, the operands being exact.
/// Both lie below 2^62, so they convert as signed integers, which the x87
/// loads in one instruction (an unsigned one needs a correction).
inline long double ValueOf(Ratio ratio) {
  return static_cast<long double>(static_cast<std::int64_t>(ratio.numerator)) /
         static_cast<long double>(static_cast<std::int64_t>(ratio.denominator));
}

/// A most probable n11: floor((r1 + 1)(c1 + 1) / (total + 2)).
std::int64_t ModeOf(const Margins& margins);

/// D = N x - r1 c1 = N (n11 - e11) = n11 n22 - n12 n21: every cell of the
/// table differs from its expected count by D / N, n11 and n22 upwards, n12
/// and n21 downwards. Exact: |D| < 2^62.
inline std::int64_t Deviation(const Margins& m, std::int64_t x) { return m.total * x - m.r1 * m.c1; }

/// Pearson's X^2 = N D^2 / (r1 r2 c1 c2), D = Deviation; 0 when a margin is
/// zero (every expected count is then equal to the observed one or zero).
long double ChiSquareAt(const Margins& margins, std::int64_t x);

/// G^2 = 2 sum n ln(n / e), 0 ln 0 = 0, formed as 2 sum e h(d / e) with
/// d = n - e and h(t) = (1 + t) ln(1 + t) - t >= 0: four non-negative terms,
/// so no cancellation however close n is to e. 0 when a margin is zero.
long double LikelihoodRatioAt(const Margins& margins, std::int64_t x);
/// G^2 / 2, the sum of the four terms above; each within a few units in
/// the last place of itself.
long double HalfLikelihoodRatioAt(const Margins& margins, std::int64_t x);

}  // namespace engine::fourfold

#endif  // ENGINE_CONTINGENCY_FOURFOLD_TABLE_H_
