// Sums of probabilities of any size, also far below the range of doubles
// (a p of 1e-5000 and beyond). A probability comes as its value (an
// extended real) or, beyond the extended range, as its natural logarithm;
// the sum is held as a pair of doubles (the rounded sum and the rounding
// errors carried, about 106 bits) times 2^scale. While the terms lie well
// inside the range of doubles (2^-500 to 2^500) the scale is 0 and each
// term is added as it is: split into its double and the rest (exact), and
// summed without a loss (Knuth's two-sum), so that an exact value such as
// 3/8 comes out as its own double and the sum costs a few additions of
// doubles. Other terms set the scale: the first one to itself, a later one
// far above it moves it up (what was summed before is then below 2^-500 of
// it, and kept only as far as a double holds it); a term more than 2^1000
// below the scale is negligible and dropped.
#ifndef ENGINE_MULTINOMIAL_LOG_SUM_H_
#define ENGINE_MULTINOMIAL_LOG_SUM_H_

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/multinomial/exp_extended.h"

namespace engine::multinomial {

/// The logarithm below which a probability is not formed as an extended
/// real on its own: e^-11000 is about 1e-4777, well inside the normal
/// extended range (down to e^-11355).
inline constexpr long double kLowestPlainLog = -11000;

/// A probability by its natural logarithm, and its value when that lies
/// in the plain range (else 0). Where the value is there, the logarithm
/// may be left unformed (NaN) until it is needed.
struct Probability {
  long double ln = -std::numeric_limits<long double>::infinity();
  long double value = 0;

  long double Ln() const { return std::isnan(ln) ? std::log(value) : ln; }
};

inline Probability ProbabilityFromLog(long double ln) {
  return Probability{ln, ln >= kLowestPlainLog ? ExpExtended(ln) : 0.0L};
}

/// p times a factor of at least 1 (a tail relative to its first term):
/// without a logarithm while the value is plain.
inline Probability ScaledProbability(const Probability& p, long double factor) {
  if (p.value > 0) return Probability{std::numeric_limits<long double>::quiet_NaN(), p.value * factor};
  return ProbabilityFromLog(p.ln + std::log(factor));
}

/// The nearest double to a probability: 0 where it underflows.
inline double DoubleOf(const Probability& p) {
  return p.value > 0 ? static_cast<double>(p.value) : static_cast<double>(std::exp(p.ln));
}

class LogSum {
 public:
  void Add(const Probability& p) {
    if (p.value > 0) {
      AddValue(p.value);
    } else {
      AddLog(p.ln);
    }
  }

  /// Adds a probability given by its value, a normal extended real.
  void AddValue(long double value) {
    const double high = static_cast<double>(value);
    if (scale_ == 0 && high >= kLowestDirect && high <= kHighestDirect) {
      Accumulate(high, static_cast<double>(value - high));
    } else if (scale_ == 0 && value < 0x1p-1000L && !Empty()) {
      return;  // more than 2^1000 below the scale: dropped, as AddPair would
    } else {
      AddScaled(value);
    }
  }

  /// Adds a probability given by its natural logarithm (minus infinity:
  /// nothing).
  void AddLog(long double ln) {
    if (!(ln > -std::numeric_limits<long double>::infinity())) return;
    // ln = e ln 2 + r with 0 <= r < ln 2 (about), e ln 2 in two parts, the
    // first exact for |e| < 2^34.
    const long double e = std::floor(ln * kInverseLn2);
    const long double r = (ln - e * kLn2High) - e * kLn2Low;
    AddParts(ExpExtended(r), static_cast<std::int64_t>(e));
  }

  /// Adds factor (at most 1, such as 1/2) times another sum.
  void Add(const LogSum& other, long double factor = 1) {
    if (other.Empty()) return;
    if (factor != 1 && factor != 0.5L) {
      AddLog(other.Ln() + std::log(factor));
      return;
    }
    const double h = other.high_ * static_cast<double>(factor);  // exact: a power of two
    const double l = other.low_ * static_cast<double>(factor);
    if (Empty() || other.scale_ == scale_) {
      if (Empty()) scale_ = other.scale_;
      Accumulate(h, l);
    } else {
      int e = 0;
      const double m = std::frexp(h, &e);  // h = m 2^e, 1/2 <= m < 1
      AddPair(2 * m, std::ldexp(l, 1 - e), other.scale_ + e - 1);
    }
  }

  bool Empty() const { return high_ == 0 && low_ == 0; }

  /// The natural logarithm of the sum; minus infinity when nothing was added.
  long double Ln() const {
    if (Empty()) return -std::numeric_limits<long double>::infinity();
    const long double scale = static_cast<long double>(scale_);
    return scale * kLn2High + (std::log(static_cast<long double>(high_) + low_) + scale * kLn2Low);
  }

  /// The sum rounded to a double: 0 where it underflows.
  double Value() const {
    if (scale_ == 0) return high_ + low_;
    if (Empty() || scale_ < -20000) return 0;
    if (scale_ > 20000) return std::numeric_limits<double>::infinity();
    return static_cast<double>(
        std::ldexp(static_cast<long double>(high_) + low_, static_cast<int>(scale_)));
  }

 private:
  // The terms added as they are, while the scale is 0.
  static constexpr double kLowestDirect = 0x1p-500;
  static constexpr double kHighestDirect = 0x1p500;
  // ln 2 in two parts, the first with 30 significant bits, and 1 / ln 2.
  static constexpr long double kLn2High = 0x1.62e42fe8p-1L;
  static constexpr long double kLn2Low = 8.8931342388866766833317656807550013436025525e-10L;
  static constexpr long double kInverseLn2 = 1.4426950408889634073599246810018921374266L;

  // Adds h + l (l at most an ulp of h or so, both in the units of the
  // scale): the rounding error of high_ + h is exact (two-sum) and kept.
  void Accumulate(double h, double l) {
    const double sum = high_ + h;
    const double virtual_h = sum - high_;
    const double error = (high_ - (sum - virtual_h)) + (h - virtual_h);
    low_ += error + l;
    high_ = sum;
  }

  // The bits of an extended real: the significand with its leading 1,
  // then the sign and the biased exponent.
  struct ExtendedBits {
    std::uint64_t significand;
    std::uint16_t sign_exponent;
    unsigned char unused[6];
  };
  static_assert(sizeof(ExtendedBits) == sizeof(long double));

  // value = m 2^e with 1 <= m < 2, m exact: for a normal value, m is value
  // with the exponent of 1 (no call to frexp).
  void AddScaled(long double value) {
    ExtendedBits bits = std::bit_cast<ExtendedBits>(value);
    const int biased = bits.sign_exponent & 0x7fff;
    if (biased == 0 || biased == 0x7fff) {
      int e = 0;
      const long double m = 2 * std::frexp(value, &e);
      AddParts(m, static_cast<std::int64_t>(e) - 1);
      return;
    }
    bits.sign_exponent = static_cast<std::uint16_t>((bits.sign_exponent & 0x8000) | 16383);
    AddParts(std::bit_cast<long double>(bits), biased - 16383);
  }

  // 2^d for -1022 <= d <= 1023, exact: x * PowerOfTwo(d) is ldexp(x, d).
  static double PowerOfTwo(std::int64_t d) {
    return std::bit_cast<double>(static_cast<std::uint64_t>(d + 1023) << 52);
  }

  // Adds m 2^e, m an extended real between 1 and 2 (or so).
  void AddParts(long double m, std::int64_t e) {
    const double high = static_cast<double>(m);
    AddPair(high, static_cast<double>(m - high), e);
  }

  // Adds (h + l) 2^e, 1 <= h < 2 (or about) and |l| at most an ulp of it.
  void AddPair(double h, double l, std::int64_t e) {
    if (Empty()) scale_ = e >= -500 && e <= 500 ? 0 : e;
    std::int64_t d = e - scale_;  // the term's exponent in the units of the scale
    if (d > 500) {
      // Far above what was summed: the scale moves up to the term.
      const std::int64_t scale = e >= -500 && e <= 500 ? 0 : e;
      const std::int64_t shift = scale_ - scale;
      high_ = shift < -2000 ? 0 : std::ldexp(high_, static_cast<int>(shift));
      low_ = shift < -2000 ? 0 : std::ldexp(low_, static_cast<int>(shift));
      scale_ = scale;
      d = e - scale_;
    } else if (d < -1000) {
      return;  // below 2^-500 of the sum
    }
    // -1000 <= d <= 500 here.
    const double power = PowerOfTwo(d);
    Accumulate(h * power, l * power);
  }

  double high_ = 0;
  double low_ = 0;
  std::int64_t scale_ = 0;  // the sum is (high_ + low_) 2^scale_
};

}  // namespace engine::multinomial

#endif  // ENGINE_MULTINOMIAL_LOG_SUM_H_
