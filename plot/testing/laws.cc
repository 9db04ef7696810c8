#include "plot/testing/laws.h"

#include <cmath>
#include <functional>

namespace plot::testing {

namespace {

using engine::Mark;
using engine::Ordering;

constexpr int Index(Ordering ordering) { return static_cast<int>(ordering); }

// Larger is more extreme; equal within a relative 1e-12 is tied (the laws
// here keep distinct values much further apart).
Mark MarkLarger(long double value, long double observed) {
  if (std::fabs(value - observed) <= 1e-12L * std::fmax(std::fabs(value), std::fabs(observed))) return Mark::kTied;
  return value > observed ? Mark::kBeyond : Mark::kNotExtreme;
}

struct Statistics {
  long double probability;
  long double chi_square;
  long double likelihood_ratio;
};

// X^2 and G^2 of observed counts against expected ones; a cell expected 0
// holds 0 and adds nothing.
void AddTerms(const std::vector<long double>& observed, const std::vector<long double>& expected,
              Statistics* s) {
  s->chi_square = 0;
  s->likelihood_ratio = 0;
  for (std::size_t i = 0; i < observed.size(); ++i) {
    if (expected[i] <= 0) continue;
    const long double d = observed[i] - expected[i];
    s->chi_square += d * d / expected[i];
    if (observed[i] > 0) s->likelihood_ratio += 2 * observed[i] * std::log(observed[i] / expected[i]);
  }
}

}  // namespace

LawResult Hypergeometric(std::array<std::uint32_t, 4> cells, int one_sided, const engine::OutcomeSink& sink) {
  const long double r1 = cells[0] + cells[1], r2 = cells[2] + cells[3];
  const long double c1 = cells[0] + cells[2], c2 = cells[1] + cells[3];
  const long double n = r1 + r2;
  const long double lo = std::fmax(0.0L, c1 - r2);
  const long double hi = std::fmin(r1, c1);
  const auto log_choose = [](long double a, long double b) {
    return std::lgamma(a + 1) - std::lgamma(b + 1) - std::lgamma(a - b + 1);
  };
  const auto statistics = [&](long double x) {
    Statistics s;
    s.probability = std::exp(log_choose(r1, x) + log_choose(r2, c1 - x) - log_choose(n, c1));
    const std::vector<long double> observed = {x, r1 - x, c1 - x, r2 - c1 + x};
    const std::vector<long double> expected = {r1 * c1 / n, r1 * c2 / n, r2 * c1 / n, r2 * c2 / n};
    AddTerms(observed, expected, &s);
    return s;
  };
  const long double x0 = cells[0];
  const Statistics at = statistics(x0);
  // X^2 is N (n11 N - r1 c1)^2 / (r1 r2 c1 c2): ties by the integer key.
  const auto key = [&](long double x) { return std::fabs(x * n - r1 * c1); };

  LawResult result;
  result.observed = {static_cast<double>(at.chi_square), static_cast<double>(at.likelihood_ratio),
                     static_cast<double>(at.probability), static_cast<double>(x0)};
  for (long double x = lo; x <= hi; ++x) {
    const Statistics s = statistics(x);
    Mark marks[engine::kOrderingCount] = {};
    if (one_sided == 0) {
      marks[Index(Ordering::kChiSquare)] = key(x) == key(x0) ? Mark::kTied
                                           : key(x) > key(x0) ? Mark::kBeyond
                                                              : Mark::kNotExtreme;
      marks[Index(Ordering::kLikelihoodRatio)] = MarkLarger(s.likelihood_ratio, at.likelihood_ratio);
      marks[Index(Ordering::kProbability)] = MarkLarger(-s.probability, -at.probability);
    } else {
      marks[Index(Ordering::kN11)] = x == x0 ? Mark::kTied
                                     : (one_sided < 0 ? x < x0 : x > x0) ? Mark::kBeyond
                                                                         : Mark::kNotExtreme;
    }
    const std::uint32_t table[4] = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(r1 - x),
                                    static_cast<std::uint32_t>(c1 - x), static_cast<std::uint32_t>(r2 - c1 + x)};
    engine::OutcomeRow row{table,
                           1,
                           static_cast<double>(s.probability),
                           static_cast<double>(s.chi_square),
                           static_cast<double>(s.likelihood_ratio),
                           {marks[0], marks[1], marks[2], marks[3]}};
    for (int i = 0; i < engine::kOrderingCount; ++i) {
      if (marks[i] != Mark::kNotExtreme) result.p[i] += s.probability;
    }
    ++result.outcomes;
    if (sink) sink(row);
  }
  return result;
}

LawResult Multinomial(const std::vector<std::uint32_t>& counts, const std::vector<double>& proportions,
                      const engine::OutcomeSink& sink) {
  const std::size_t k = counts.size();
  std::uint32_t total = 0;
  for (const std::uint32_t c : counts) total += c;
  std::vector<long double> pi(k, 1.0L / k);
  if (!proportions.empty()) {
    long double sum = 0;
    for (const double q : proportions) sum += q;
    for (std::size_t i = 0; i < k; ++i) pi[i] = proportions[i] / sum;
  }
  std::vector<long double> expected(k);
  for (std::size_t i = 0; i < k; ++i) expected[i] = total * pi[i];
  const auto statistics = [&](const std::vector<std::uint32_t>& y) {
    Statistics s;
    long double log_p = std::lgamma(total + 1.0L);
    std::vector<long double> observed(k);
    for (std::size_t i = 0; i < k; ++i) {
      log_p += y[i] * std::log(pi[i]) - std::lgamma(y[i] + 1.0L);
      observed[i] = y[i];
    }
    s.probability = std::exp(log_p);
    AddTerms(observed, expected, &s);
    return s;
  };
  const Statistics at = statistics(counts);
  LawResult result;
  result.observed = {static_cast<double>(at.chi_square), static_cast<double>(at.likelihood_ratio),
                     static_cast<double>(at.probability), 0};

  std::vector<std::uint32_t> y(k, 0);
  const std::function<void(std::size_t, std::uint32_t)> visit = [&](std::size_t i, std::uint32_t left) {
    if (i + 1 == k) {
      y[i] = left;
      const Statistics s = statistics(y);
      const Mark marks[engine::kOrderingCount] = {MarkLarger(s.chi_square, at.chi_square),
                                                  MarkLarger(s.likelihood_ratio, at.likelihood_ratio),
                                                  MarkLarger(-s.probability, -at.probability), Mark::kNotExtreme};
      for (int j = 0; j < engine::kOrderingCount; ++j) {
        if (marks[j] != Mark::kNotExtreme) result.p[j] += s.probability;
      }
      ++result.outcomes;
      if (sink) {
        sink(engine::OutcomeRow{y,
                                1,
                                static_cast<double>(s.probability),
                                static_cast<double>(s.chi_square),
                                static_cast<double>(s.likelihood_ratio),
                                {marks[0], marks[1], marks[2], marks[3]}});
      }
      return;
    }
    for (std::uint32_t v = left + 1; v-- > 0;) {  // first count slowest, from its largest
      y[i] = left - v;
      visit(i + 1, v);
    }
  };
  visit(0, total);
  return result;
}

}  // namespace plot::testing
