#include "kernel/pvalue.h"

#include <cmath>

int CompareStatistic(long double s, long double s0) {
  long double scale = std::fabs(s) > std::fabs(s0) ? std::fabs(s) : std::fabs(s0);
  if (std::fabs(s - s0) <= 1e-12L * scale) return 0;
  return s > s0 ? 1 : -1;
}

Extremeness ClassifyChiSquare(long double chi2, long double chi2_0) {
  int order = CompareStatistic(chi2, chi2_0);
  return order > 0 ? Extremeness::kBeyond : order == 0 ? Extremeness::kTied : Extremeness::kNotExtreme;
}

Extremeness ClassifyLikelihoodRatio(long double lr, long double lr_0) {
  int order = CompareStatistic(lr, lr_0);
  return order < 0 ? Extremeness::kBeyond : order == 0 ? Extremeness::kTied : Extremeness::kNotExtreme;
}

void AddOutcome(PValueSums& sums, Extremeness chi2, Extremeness lr, long double probability) {
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

PValues FormPValues(const PValueSums& sums) {
  return {sums.chi2_excess + sums.chi2_tie, sums.chi2_tie / 2 + sums.chi2_excess,
          sums.lr_excess + sums.lr_tie, sums.lr_tie / 2 + sums.lr_excess};
}
