#include "kernel/pvalue.h"

PValues FormPValues(const PValueSums& sums) {
  return {sums.chi2_excess + sums.chi2_tie, sums.chi2_tie / 2 + sums.chi2_excess,
          sums.lr_excess + sums.lr_tie, sums.lr_tie / 2 + sums.lr_excess};
}
