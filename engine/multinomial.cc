#include "engine/multinomial.h"

namespace engine {

bool IsProportion(std::string_view) { return false; }

MultinomialResult TestMultinomial(const MultinomialProblem&, const MultinomialOptions&,
                                  const OutcomeSink&, const ProgressSink&) {
  throw TestFailure("the multinomial test is not built yet");
}

}  // namespace engine
