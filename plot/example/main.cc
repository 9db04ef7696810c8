// Draws the null distribution of an exact multinomial test, counts 1 0 4 2
// against equal probabilities, ordered by Pearson's X^2: the picture the
// README shows. The distribution is computed here exactly, in a few lines:
// each of the 120 outcomes y has the probability 7! / (y1! y2! y3! y4!) / 4^7,
// a dyadic fraction a double holds exactly, and X^2 = (4/7) sum y^2 - 7, so
// an outcome is as extreme as the observed one when its sum of squares is
// at least 21.
//   plot_example FILE.svg
#include <cstdint>
#include <cstdio>
#include <exception>

#include "plot/plot.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: plot_example FILE.svg\n");
    return 2;
  }
  constexpr std::uint32_t kTotal = 7;
  constexpr std::uint32_t kObservedSquares = 1 + 0 + 16 + 4;
  const auto factorial = [](std::uint32_t n) {
    double f = 1;
    for (std::uint32_t i = 2; i <= n; ++i) f *= i;
    return f;
  };

  plot::DistributionCollector distribution(engine::Ordering::kChiSquare);
  double p = 0;
  double tied = 0;
  for (std::uint32_t a = 0; a <= kTotal; ++a) {
    for (std::uint32_t b = 0; a + b <= kTotal; ++b) {
      for (std::uint32_t c = 0; a + b + c <= kTotal; ++c) {
        const std::uint32_t y[4] = {a, b, c, kTotal - a - b - c};
        const double probability =
            factorial(kTotal) / (factorial(y[0]) * factorial(y[1]) * factorial(y[2]) * factorial(y[3])) / 16384;
        const std::uint32_t squares = y[0] * y[0] + y[1] * y[1] + y[2] * y[2] + y[3] * y[3];
        const engine::Mark mark = squares == kObservedSquares ? engine::Mark::kTied
                                  : squares > kObservedSquares ? engine::Mark::kBeyond
                                                               : engine::Mark::kNotExtreme;
        if (mark != engine::Mark::kNotExtreme) p += probability;
        if (mark == engine::Mark::kTied) tied += probability;
        // Only the ordering drawn matters here.
        const engine::OutcomeRow row{y, 1, probability, 4.0 * squares / kTotal - kTotal, 0,
                                     {mark, engine::Mark::kNotExtreme, engine::Mark::kNotExtreme,
                                      engine::Mark::kNotExtreme}};
        distribution.Add(row);
      }
    }
  }
  char caption[128];
  std::snprintf(caption, sizeof caption, "p = %.4g, mid-p = %.4g (X\u00B2 ordering, 120 outcomes)", p, p - tied / 2);

  plot::PlotRequest request;
  request.path = argv[1];
  request.title = "Exact multinomial goodness of fit: 1 0 4 2, equal probabilities";
  request.caption = caption;
  request.observed = 4.0 * kObservedSquares / kTotal - kTotal;
  try {
    plot::WritePlot(request, distribution);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "plot_example: %s\n", e.what());
    return 1;
  }
  return 0;
}
