#include "kernel/numeric.h"
#include "kestrin/fourfold.h"

long double Chi2_0;
long double LR_0;
long double MinusTwoLogLR_0;

// ((t11 + t12) + t21) + t22, each term formed just before it is added, in
// cell order, so that of two failing operations the first one is reported.
long double TableChiSquare(const std::int32_t (&cells)[4]) {
  long double chi2 = ChiSquareTerm(cells[0], e11);
  chi2 = Settled(chi2 + ChiSquareTerm(cells[1], e12));
  chi2 = Settled(chi2 + ChiSquareTerm(cells[2], e21));
  return Settled(chi2 + ChiSquareTerm(cells[3], e22));
}

// ((f11 x f12) x f21) x f22 in the same manner.
long double TableLikelihoodRatio(const std::int32_t (&cells)[4]) {
  long double lr = PowerRatio(e11, cells[0], cells[0]);
  lr = Settled(lr * PowerRatio(e12, cells[1], cells[1]));
  lr = Settled(lr * PowerRatio(e21, cells[2], cells[2]));
  return Settled(lr * PowerRatio(e22, cells[3], cells[3]));
}

// The same operations, on the same operands and in the same order, as
// RecordTable: the entry equal to the observed table carries these values
// to the bit.
void ComputeObservedStatistics() {
  const std::int32_t observed[4] = {n11, n12, n21, n22};
  Chi2_0 = TableChiSquare(observed);
  LR_0 = TableLikelihoodRatio(observed);
  MinusTwoLogLR_0 = NaturalLog(LR_0) * -2;
}
