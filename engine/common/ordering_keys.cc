#include "engine/common/exact_test.h"

namespace engine {

std::string_view KeyOf(Ordering ordering) {
  switch (ordering) {
    case Ordering::kChiSquare:
      return "chi_square";
    case Ordering::kLikelihoodRatio:
      return "likelihood_ratio";
    case Ordering::kProbability:
      return "probability";
    case Ordering::kN11:
      return "n11";
  }
  return "";
}

}  // namespace engine
