#include "plot/plot.h"

#include <stdexcept>

namespace plot {

void DistributionCollector::Add(const engine::OutcomeRow& row) {
  double value = 0;
  switch (ordering_) {
    case engine::Ordering::kChiSquare:
      value = row.chi_square;
      break;
    case engine::Ordering::kLikelihoodRatio:
      value = row.likelihood_ratio;
      break;
    case engine::Ordering::kProbability:
      value = row.probability;
      break;
    case engine::Ordering::kN11:
      value = row.counts[0];
      break;
  }
  Mass& mass = masses_[value];
  mass.mass += row.multiplicity * row.probability;
  mass.mark = row.marks[static_cast<int>(ordering_)];
}

void WritePlot(const PlotRequest& request, const DistributionCollector&) {
  throw std::runtime_error(request.path + ": plotting is not built yet");
}

}  // namespace plot
