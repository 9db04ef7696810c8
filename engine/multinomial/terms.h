// Each category's share of the three statistics. With expected count e and
// count y, category i adds
//   chi      = (y - e)^2 / e                  to Pearson's X^2,
//   deviance = y ln(y / e) + e - y            to G^2 / 2,
//   surprise = -ln(e^y exp(-e) / y!)          to -ln P(outcome) + L0,
// where L0 = -ln(n^n exp(-n) / n!): the multinomial probability is a product
// of Poisson probabilities divided by that of the total, so P(y) =
// exp(L0 - sum of surprises). (The deviances sum to G^2 / 2 because the
// counts and the expected counts have the same total.) Every share is at
// least 0, and each statistic is a sum of shares, so a computed sum carries
// a relative error bound (engine/multinomial/classify.h). Each share is
// formed in extended precision and rounded once to a double (within 2^-52
// of its value) for the filter, which judges sums of doubles. The
// probability needs more: the surprise is also kept extended, and with it
// e^-surprise, the Poisson probability of the count (at most 1), so that
// the probability of an outcome is e^L0 times the product of its
// categories' Poisson probabilities, a few multiplications in extended
// precision (engine/multinomial/product.h), formed to about 1e-18 and
// rounded to the nearest double (1/16 as 0.0625) wherever it is in range;
// where that product underflows, exp(L0 - the extended surprise summed)
// reaches any depth.
#ifndef ENGINE_MULTINOMIAL_TERMS_H_
#define ENGINE_MULTINOMIAL_TERMS_H_

#include <cstdint>
#include <vector>

#include "engine/multinomial/null.h"

namespace engine::multinomial {

/// The extended values are held as pairs of doubles whose sum is exact (a
/// double and the rest), which the walks read far faster than extended
/// reals from memory.
struct Terms {
  double chi;
  double deviance;
  double surprise;       // rounded to the nearest double
  double surprise_rest;  // the extended surprise less surprise
  double poisson[2];     // e^-surprise as its double and the rest; 0, 0 below kLowestPoisson
};

/// The least Poisson probability a table holds (about 1e-301): both of its
/// parts are then doubles with every bit of the extended value. Below it the
/// table holds 0, and the probability is formed from the surprise.
inline constexpr long double kLowestPoisson = 0x1p-1000L;

/// The surprise in extended precision.
inline long double FineSurprise(const Terms& t) {
  return static_cast<long double>(t.surprise) + t.surprise_rest;
}

/// e^-surprise in extended precision (0 below kLowestPoisson).
inline long double Poisson(const Terms& t) {
  return static_cast<long double>(t.poisson[0]) + t.poisson[1];
}

/// The statistics of a partial or whole outcome, as the filter judges them:
/// its shares summed in doubles.
struct ShareSums {
  double chi = 0;
  double deviance = 0;
  double surprise = 0;
};

inline ShareSums operator+(const ShareSums& a, const Terms& t) {
  return ShareSums{a.chi + t.chi, a.deviance + t.deviance, a.surprise + t.surprise};
}
inline ShareSums operator+(const ShareSums& a, const ShareSums& b) {
  return ShareSums{a.chi + b.chi, a.deviance + b.deviance, a.surprise + b.surprise};
}

/// The statistic s (kChi, kDeviance or kSurprise) of sums.
inline double StatisticOf(const ShareSums& sums, int s) {
  return s == 0 ? sums.chi : (s == 1 ? sums.deviance : sums.surprise);
}

/// The shares of a category with count y and expected count e > 0.
Terms ComputeTerms(std::uint32_t y, const Expectation& e);

/// L0 = -ln(n^n exp(-n) / n!) for the total n (0 when n = 0).
long double SurpriseOfTotal(std::uint64_t n);

/// The shares of one category for the counts lo..lo+size-1, kept; counts
/// outside that window are computed when asked for.
struct TermTable {
  Expectation e;
  std::uint32_t lo = 0;
  std::uint32_t size = 0;  // of values
  std::vector<Terms> values;
};

/// A table over counts [lo, hi].
TermTable MakeTermTable(const Expectation& e, std::uint32_t lo, std::uint32_t hi);

inline Terms TermsAt(const TermTable& table, std::uint32_t y) {
  std::uint32_t offset = y - table.lo;  // wraps below lo: outside the window
  if (offset < table.size) return table.values[offset];
  return ComputeTerms(y, table.e);
}

/// The parts of TermsAt that the walks read in their inner loops, each on
/// its own: the filter's shares, the Poisson probability, the extended
/// surprise.
inline ShareSums SharesAt(const TermTable& table, std::uint32_t y) {
  std::uint32_t offset = y - table.lo;
  if (offset < table.size) {
    const Terms& t = table.values[offset];
    return ShareSums{t.chi, t.deviance, t.surprise};
  }
  const Terms t = ComputeTerms(y, table.e);
  return ShareSums{t.chi, t.deviance, t.surprise};
}
inline long double PoissonAt(const TermTable& table, std::uint32_t y) {
  std::uint32_t offset = y - table.lo;
  if (offset < table.size) return Poisson(table.values[offset]);
  return Poisson(ComputeTerms(y, table.e));
}
inline long double FineSurpriseAt(const TermTable& table, std::uint32_t y) {
  std::uint32_t offset = y - table.lo;
  if (offset < table.size) return FineSurprise(table.values[offset]);
  return FineSurprise(ComputeTerms(y, table.e));
}

}  // namespace engine::multinomial

#endif  // ENGINE_MULTINOMIAL_TERMS_H_
