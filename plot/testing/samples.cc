#include "plot/testing/samples.h"

#include <cstdio>
#include <functional>
#include <stdexcept>

namespace plot::testing {

namespace {

using engine::Ordering;

std::string Fixed(long double p) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.4Lg", p);
  return buffer;
}

std::string OrderingName(Ordering ordering) {
  switch (ordering) {
    case Ordering::kChiSquare:
      return "chi-square";
    case Ordering::kLikelihoodRatio:
      return "likelihood-ratio";
    case Ordering::kProbability:
      return "probability";
    case Ordering::kN11:
      return "n11";
  }
  return "";
}

Sample Fourfold(const std::string& name, std::array<std::uint32_t, 4> cells, Ordering ordering, int one_sided,
                std::size_t max_values = DistributionCollector::kMaxValues) {
  Sample sample;
  sample.name = name;
  sample.distribution = std::make_unique<DistributionCollector>(ordering, max_values);
  DistributionCollector& collector = *sample.distribution;
  const LawResult law = Hypergeometric(cells, one_sided, [&](const engine::OutcomeRow& row) { collector.Add(row); });
  const int i = static_cast<int>(ordering);
  sample.p = law.p[i];
  sample.request.title = "Exact test of a 2 x 2 table: " + std::to_string(cells[0]) + " " + std::to_string(cells[1]) +
                         " " + std::to_string(cells[2]) + " " + std::to_string(cells[3]);
  sample.request.caption = "p = " + Fixed(law.p[i]) + ", " + OrderingName(ordering) + " ordering" +
                           (one_sided < 0 ? ", alternative less" : one_sided > 0 ? ", alternative greater" : "");
  sample.request.observed = law.observed[i];
  return sample;
}

Sample Goodness(const std::string& name, const std::vector<std::uint32_t>& counts,
                const std::vector<double>& proportions, Ordering ordering,
                std::size_t max_values = DistributionCollector::kMaxValues) {
  Sample sample;
  sample.name = name;
  sample.distribution = std::make_unique<DistributionCollector>(ordering, max_values);
  DistributionCollector& collector = *sample.distribution;
  const LawResult law = Multinomial(counts, proportions, [&](const engine::OutcomeRow& row) { collector.Add(row); });
  const int i = static_cast<int>(ordering);
  sample.p = law.p[i];
  std::string data;
  for (const std::uint32_t c : counts) data += (data.empty() ? "" : " ") + std::to_string(c);
  std::string null = "equal probabilities";
  if (!proportions.empty()) {
    null = "probabilities";
    for (std::size_t j = 0; j < proportions.size(); ++j) null += (j ? ":" : " ") + Fixed(proportions[j]);
  }
  sample.request.title = "Exact multinomial goodness of fit: " + data + ", " + null;
  sample.request.caption = "p = " + Fixed(law.p[i]) + ", " + OrderingName(ordering) + " ordering, " +
                           std::to_string(law.outcomes) + " outcomes";
  sample.request.observed = law.observed[i];
  return sample;
}

struct Maker {
  const char* name;
  std::function<Sample(const std::string&)> make;
};

const std::vector<Maker>& Makers() {
  static const std::vector<Maker> makers = {
      // Few values, one bar each.
      {"fourfold_chi_square", [](const std::string& n) { return Fourfold(n, {3, 5, 2, 7}, Ordering::kChiSquare, 0); }},
      {"fourfold_fisher", [](const std::string& n) { return Fourfold(n, {47, 11, 10, 13}, Ordering::kProbability, 0); }},
      {"fourfold_less", [](const std::string& n) { return Fourfold(n, {3, 5, 2, 7}, Ordering::kN11, -1); }},
      {"goodness_chi_square", [](const std::string& n) { return Goodness(n, {1, 0, 4, 2}, {}, Ordering::kChiSquare); }},
      {"goodness_likelihood_ratio",
       [](const std::string& n) { return Goodness(n, {1, 0, 4, 2}, {}, Ordering::kLikelihoodRatio); }},
      {"goodness_probability", [](const std::string& n) { return Goodness(n, {1, 0, 4, 2}, {}, Ordering::kProbability); }},
      // Many values, binned; masses from 1 down to 1e-300.
      {"fourfold_wide_fisher",
       [](const std::string& n) { return Fourfold(n, {262, 238, 238, 262}, Ordering::kProbability, 0); }},
      {"fourfold_wide_chi_square",
       [](const std::string& n) { return Fourfold(n, {262, 238, 238, 262}, Ordering::kChiSquare, 0); }},
      {"fourfold_wide_greater",
       [](const std::string& n) { return Fourfold(n, {262, 238, 238, 262}, Ordering::kN11, +1); }},
      {"goodness_many_chi_square",
       [](const std::string& n) { return Goodness(n, {15, 7, 4, 2, 2}, {9, 3, 3, 1, 1}, Ordering::kChiSquare); }},
      {"goodness_many_probability",
       [](const std::string& n) { return Goodness(n, {15, 7, 4, 2, 2}, {9, 3, 3, 1, 1}, Ordering::kProbability); }},
      {"goodness_lattice", [](const std::string& n) { return Goodness(n, {30, 22, 18, 10}, {}, Ordering::kChiSquare); }},
      // Supports far wider than the range of their mass: focused on it, the
      // rest gathered at one end or both.
      {"goodness_wide_chi_square",
       [](const std::string& n) { return Goodness(n, {30, 50, 40}, {1, 2, 3}, Ordering::kChiSquare); }},
      {"fourfold_wide_less",
       [](const std::string& n) { return Fourfold(n, {400, 477, 500, 377}, Ordering::kN11, -1); }},
      {"fourfold_middle", [](const std::string& n) { return Fourfold(n, {100, 150, 120, 130}, Ordering::kChiSquare, 0); }},
      // The observed value far in the tail: p about 1e-30.
      {"goodness_far_tail", [](const std::string& n) { return Goodness(n, {63, 0, 0}, {}, Ordering::kChiSquare); }},
      {"fourfold_far_tail",
       [](const std::string& n) { return Fourfold(n, {90, 10, 10, 90}, Ordering::kLikelihoodRatio, 0); }},
      // Edges: one table of mass 1; the observed value at the far end.
      {"zero_margin", [](const std::string& n) { return Fourfold(n, {0, 0, 3, 4}, Ordering::kChiSquare, 0); }},
      {"zero_margin_fisher", [](const std::string& n) { return Fourfold(n, {0, 0, 3, 4}, Ordering::kProbability, 0); }},
      {"observed_at_edge", [](const std::string& n) { return Fourfold(n, {40, 0, 0, 40}, Ordering::kChiSquare, 0); }},
      {"observed_at_centre", [](const std::string& n) { return Goodness(n, {5, 5, 5, 5}, {}, Ordering::kChiSquare); }},
      // The scale forced either way.
      {"forced_linear",
       [](const std::string& n) {
         Sample s = Fourfold(n, {262, 238, 238, 262}, Ordering::kChiSquare, 0);
         s.request.scale = Scale::kLinear;
         return s;
       }},
      {"forced_log",
       [](const std::string& n) {
         Sample s = Fourfold(n, {3, 5, 2, 7}, Ordering::kChiSquare, 0);
         s.request.scale = Scale::kLog;
         return s;
       }},
      // Values pooled to bound the collector's memory.
      {"pooled",
       [](const std::string& n) { return Goodness(n, {15, 7, 4, 2, 2}, {9, 3, 3, 1, 1}, Ordering::kProbability, 500); }},
      // Text the user gave, any bytes.
      {"hostile_text",
       [](const std::string& n) {
         Sample s = Goodness(n, {1, 0, 4, 2}, {}, Ordering::kChiSquare);
         s.request.title = "<script>alert('x')</script> & \"quotes\" ]]> caf\xC3\xA9 \xE6\xA4\x9C\xE5\xAE\x9A \x01\x1b[31m"
                           " \xFF\xC0\xAF \xED\xA0\x80 end";
         s.request.caption = "p < 0.05 & \"mid-p\" 'quoted' \xF0\x9F\x93\x8A \xC2\x85";
         return s;
       }},
      {"long_title",
       [](const std::string& n) {
         Sample s = Goodness(n, {1, 0, 4, 2}, {}, Ordering::kChiSquare);
         s.request.title = std::string(400, 'W') + " \xE5\xAE\x9A";
         return s;
       }},
  };
  return makers;
}

}  // namespace

std::vector<std::string> SampleNames() {
  std::vector<std::string> names;
  for (const Maker& maker : Makers()) names.emplace_back(maker.name);
  return names;
}

Sample MakeSample(const std::string& name) {
  for (const Maker& maker : Makers()) {
    if (name == maker.name) return maker.make(name);
  }
  throw std::invalid_argument("no sample named " + name);
}

}  // namespace plot::testing
