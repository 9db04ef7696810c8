// Classification of an outcome against the observed statistics, and the
// sums that give the exact p-value and the mid-p value.
//
// Statistics that agree to 1e-12 relative are tied: rounding noise between
// mathematically equal statistics stays below 4e-18 relative, while distinct
// statistics within the programs' limits differ by far more (the closest
// pair known is 7.6e-10 apart).
#ifndef KERNEL_PVALUE_H_
#define KERNEL_PVALUE_H_

enum class Extremeness { kBeyond, kTied, kNotExtreme };

/// 0 when s and s0 are tied (|s - s0| <= 1e-12 x max(|s|, |s0|)), otherwise
/// the sign of s - s0.
inline int CompareStatistic(long double s, long double s0) {
  long double a = s < 0 ? -s : s;
  long double a0 = s0 < 0 ? -s0 : s0;
  long double difference = s - s0;
  if (difference < 0) difference = -difference;
  if (difference <= 1e-12L * (a > a0 ? a : a0)) return 0;
  return s > s0 ? 1 : -1;
}

/// The class of an outcome from the order of its chi-square against the
/// observed one (as CompareStatistic gives it): a larger one is beyond.
inline Extremeness ChiSquareClass(int order) {
  return order > 0 ? Extremeness::kBeyond : order == 0 ? Extremeness::kTied : Extremeness::kNotExtreme;
}

/// Likewise for the likelihood ratio: a smaller one is beyond.
inline Extremeness LikelihoodRatioClass(int order) {
  return order < 0 ? Extremeness::kBeyond : order == 0 ? Extremeness::kTied : Extremeness::kNotExtreme;
}

struct PValueSums {
  long double chi2_excess;
  long double chi2_tie;
  long double lr_excess;
  long double lr_tie;
};

/// Adds probability to the excess or tie sum of each statistic.
inline void AddOutcome(PValueSums& sums, Extremeness chi2, Extremeness lr, long double probability) {
  if (chi2 == Extremeness::kBeyond) {
    sums.chi2_excess += probability;
  } else if (chi2 == Extremeness::kTied) {
    sums.chi2_tie += probability;
  }
  if (lr == Extremeness::kBeyond) {
    sums.lr_excess += probability;
  } else if (lr == Extremeness::kTied) {
    sums.lr_tie += probability;
  }
}

struct PValues {
  long double p_chi2;
  long double mid_p_chi2;
  long double p_lr;
  long double mid_p_lr;
};

/// p = excess + tie; mid-p = tie / 2 + excess.
PValues FormPValues(const PValueSums& sums);

#endif  // KERNEL_PVALUE_H_
