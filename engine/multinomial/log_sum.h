// Sums of probabilities of any size, also far below the range of doubles
// (a p of 1e-5000 and beyond): each probability comes as its natural
// logarithm, and the sum is held as an extended real times e^offset. While
// the terms lie within the extended range (above e^-11000, about 1e-4777)
// the offset is 0 and the sum is plainly the probability, summed with a
// carry (Neumaier), so that an exact value such as 3/8 rounds to the nearest
// double; terms below that range move the offset down to them, a later
// term far above it moves the offset up again (what was summed before is
// then below 1e-2000 of it, and dropped).
#ifndef ENGINE_MULTINOMIAL_LOG_SUM_H_
#define ENGINE_MULTINOMIAL_LOG_SUM_H_

#include <cmath>
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
    if (p.value > 0 && offset_ == 0) {
      Accumulate(p.value);
    } else {
      AddLog(p.Ln());
    }
  }

  void AddLog(long double ln) {
    if (ln == -std::numeric_limits<long double>::infinity()) return;
    if (Empty()) {
      offset_ = ln < kLowestPlainLog ? ln : 0;
    } else if (ln - offset_ > kRescale) {
      const long double offset = ln < kLowestPlainLog ? ln : 0;
      const long double factor = ExpExtended(offset_ - offset);
      sum_ *= factor;
      carry_ *= factor;
      offset_ = offset;
    }
    Accumulate(ExpExtended(ln - offset_));
  }

  /// Adds factor (at most 1, such as 1/2) times another sum.
  void Add(const LogSum& other, long double factor = 1) {
    if (other.Empty()) return;
    if (other.offset_ == offset_ || Empty()) {
      offset_ = other.offset_;
      Accumulate(other.sum_ * factor);
      Accumulate(other.carry_ * factor);
    } else {
      AddLog(other.Ln() + std::log(factor));
    }
  }

  bool Empty() const { return sum_ == 0 && carry_ == 0; }

  /// The natural logarithm of the sum; minus infinity when nothing was added.
  long double Ln() const {
    if (Empty()) return -std::numeric_limits<long double>::infinity();
    return offset_ + std::log(sum_ + carry_);
  }

  /// The sum rounded to a double: 0 where it underflows.
  double Value() const {
    if (offset_ == 0) return static_cast<double>(sum_ + carry_);
    return static_cast<double>(std::exp(Ln()));
  }

 private:
  // A term this far (in nats) above the offset moves it.
  static constexpr long double kRescale = 5000;

  void Accumulate(long double x) {
    const long double t = sum_ + x;
    if (std::fabs(sum_) >= std::fabs(x)) {
      carry_ += (sum_ - t) + x;
    } else {
      carry_ += (x - t) + sum_;
    }
    sum_ = t;
  }

  long double sum_ = 0;
  long double carry_ = 0;
  long double offset_ = 0;
};

}  // namespace engine::multinomial

#endif  // ENGINE_MULTINOMIAL_LOG_SUM_H_
