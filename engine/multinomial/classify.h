// Deciding where an outcome stands against the observed one from computed
// statistics, and summing probabilities accurately.
//
// Each statistic (X^2, G^2 / 2, and the surprise -ln P + L0) is computed as
// a sum of at most `terms` shares, each share at least 0 and within a
// relative 2^-52 of its value (or, below the normal range, within 2^-1075
// of it). Summed in any order in double precision, the computed sum s of
// true sum S then satisfies |s - S| <= delta S + terms 2^-1075 with
// delta = (terms + 2) 2^-53. Comparing the computed statistic of an outcome
// with the observed one is a filter in the manner of adaptive-precision
// predicates: beyond a margin the computed values decide; inside it they
// cannot, and exact arithmetic (engine/multinomial/exact.h) does.
#ifndef ENGINE_MULTINOMIAL_CLASSIFY_H_
#define ENGINE_MULTINOMIAL_CLASSIFY_H_

#include <cmath>
#include <cstdint>

#include "engine/multinomial/log_sum.h"

namespace engine::multinomial {

/// What the filter says of a computed statistic against the observed one.
enum class Verdict : std::uint8_t { kBelow, kUndecided, kAbove };

/// Bounds around the computed observed statistic: a computed statistic
/// below `below` is surely smaller, one above `above` surely larger.
struct Margin {
  double below;
  double above;
};

/// The relative error bound of a computed sum of `terms` shares.
inline double RelativeErrorBound(int terms) { return (terms + 2) * 0x1p-53; }

/// The margin around the computed observed statistic `observed`, each
/// statistic a sum of at most `terms` shares. With s_y > observed (1 + 4
/// delta), s_y / (1 + delta) > observed / (1 - delta): the true values are
/// ordered whatever the rounding (the factor 4 also covers the rounding of
/// the products). Shares too small for normal doubles err by an amount,
/// not a ratio: twice their worst sum widens the margin on both sides.
inline Margin MarginAround(double observed, int terms) {
  double delta = RelativeErrorBound(terms);
  double absolute = terms * 0x1p-1073;
  return Margin{observed * (1 - 4 * delta) - absolute, observed * (1 + 4 * delta) + absolute};
}

inline Verdict Judge(double value, const Margin& margin) {
  if (value > margin.above) return Verdict::kAbove;
  if (value < margin.below) return Verdict::kBelow;
  return Verdict::kUndecided;
}

/// A sum of many non-negative probabilities with the rounding error of each
/// addition carried along (Neumaier's variant of Kahan's summation): the
/// error of the result is within 2^-52 of the sum plus a term quadratic in
/// the unit roundoff, whatever the number of addends.
struct CompensatedSum {
  double sum = 0;
  double carry = 0;

  void Add(double x) {
    double t = sum + x;
    if (std::fabs(sum) >= std::fabs(x)) {
      carry += (sum - t) + x;
    } else {
      carry += (x - t) + sum;
    }
    sum = t;
  }
  void Add(const CompensatedSum& other) {
    Add(other.sum);
    Add(other.carry);
  }
  double Value() const { return sum + carry; }
};

/// The probability of the outcomes beyond the observed one and of those tied
/// with it, in one ordering, of any size.
struct Tally {
  LogSum beyond;
  LogSum tied;
};

}  // namespace engine::multinomial

#endif  // ENGINE_MULTINOMIAL_CLASSIFY_H_
