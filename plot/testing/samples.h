// Named pictures of known distributions, for the tests and for looking at.
#ifndef PLOT_TESTING_SAMPLES_H_
#define PLOT_TESTING_SAMPLES_H_

#include <memory>
#include <string>
#include <vector>

#include "plot/plot.h"
#include "plot/testing/laws.h"

namespace plot::testing {

struct Sample {
  std::string name;
  PlotRequest request;  // path left empty
  std::unique_ptr<DistributionCollector> distribution;
  long double p = 0;  // the p-value of the ordering drawn, from the law
};

/// Every sample's name.
std::vector<std::string> SampleNames();

/// The sample of that name; throws std::invalid_argument for another name.
Sample MakeSample(const std::string& name);

}  // namespace plot::testing

#endif  // PLOT_TESTING_SAMPLES_H_
