#include "kernel/numeric.h"
#include "orvane/uniformity.h"

long double Chi2_0;
long double LR_0;
long double MinusTwoLogLR_0;

// The same operations, on the same operands and in the same order, as
// RecordOutcome: the outcome equal to the observed vector carries these
// values to the bit.
void ComputeObservedStatistics() {
  Chi2_0 = 0;
  LR_0 = 1;
  for (std::int32_t i = 1; i <= k; ++i) {
    Chi2_0 = Chi2_0 + ChiSquareTerm(x[i], e[i]);
    LR_0 = LR_0 * PowerRatio(e[i], x[i], x[i]);
  }
  MinusTwoLogLR_0 = NaturalLog(LR_0) * -2;
}
