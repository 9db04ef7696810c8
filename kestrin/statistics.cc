#include "kernel/numeric.h"
#include "kestrin/fourfold.h"

long double Chi2_0;
long double LR_0;
long double MinusTwoLogLR_0;

// The terms are formed one after the other in cell order, so that of two
// failing terms the first one is reported.
long double TableChiSquare(const std::int32_t (&cells)[4]) {
  long double t11 = ChiSquareTerm(cells[0], e11);
  long double t12 = ChiSquareTerm(cells[1], e12);
  long double t21 = ChiSquareTerm(cells[2], e21);
  long double t22 = ChiSquareTerm(cells[3], e22);
  return ((t11 + t12) + t21) + t22;
}

long double TableLikelihoodRatio(const std::int32_t (&cells)[4]) {
  long double f11 = PowerRatio(e11, cells[0], cells[0]);
  long double f12 = PowerRatio(e12, cells[1], cells[1]);
  long double f21 = PowerRatio(e21, cells[2], cells[2]);
  long double f22 = PowerRatio(e22, cells[3], cells[3]);
  return ((f11 * f12) * f21) * f22;
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
