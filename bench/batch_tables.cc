// Generates the workloads of bench/batch.sh, one table per line, from a
// seed, so that every run times the same input:
//
//   batch_tables enrichment|allelic COUNT SEED
//
// enrichment: a term's overlap with a drawn list, as gene-set enrichment
// tests it: a population of 20,000, 5 to 500 annotated, 20 to 2,000
// drawn; the overlap binomial about its expectation, one term in ten
// enriched threefold. Rows: annotated or not; columns: drawn or not.
// allelic: minor and major allele counts of 5,000 case and 5,000 control
// alleles, the minor allele's frequency up to 0.4 (counts up to about
// 2,000), one variant in a hundred with a shifted frequency in cases.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "enrichment") != 0 && std::strcmp(argv[1], "allelic") != 0)) {
    std::fprintf(stderr, "usage: batch_tables enrichment|allelic COUNT SEED\n");
    return 2;
  }
  const bool enrichment = std::strcmp(argv[1], "enrichment") == 0;
  const long long count = std::atoll(argv[2]);
  std::mt19937_64 random(std::strtoull(argv[3], nullptr, 10));
  std::string out;
  for (long long i = 0; i < count; ++i) {
    long long n11, n12, n21, n22;
    if (enrichment) {
      constexpr long long kPopulation = 20000;
      const long long annotated = std::uniform_int_distribution<long long>(5, 500)(random);
      const long long drawn = std::uniform_int_distribution<long long>(20, 2000)(random);
      const double share = static_cast<double>(annotated) / kPopulation * (random() % 10 == 0 ? 3 : 1);
      n11 = std::binomial_distribution<long long>(drawn, std::min(share, 1.0))(random);
      n11 = std::min({n11, annotated, drawn});
      n12 = annotated - n11;
      n21 = drawn - n11;
      n22 = kPopulation - annotated - drawn + n11;
    } else {
      constexpr long long kAlleles = 5000;
      const double frequency = std::uniform_real_distribution<double>(0, 0.4)(random);
      const double in_cases = random() % 100 == 0 ? std::min(frequency * 1.5 + 0.01, 1.0) : frequency;
      n11 = std::binomial_distribution<long long>(kAlleles, in_cases)(random);
      n21 = std::binomial_distribution<long long>(kAlleles, frequency)(random);
      n12 = kAlleles - n11;
      n22 = kAlleles - n21;
    }
    char line[96];
    const int length = std::snprintf(line, sizeof line, "%lld %lld %lld %lld\n", n11, n12, n21, n22);
    out.append(line, static_cast<std::size_t>(length));
    if (out.size() > (1 << 16)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
