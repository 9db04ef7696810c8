// Monte Carlo: outcomes drawn from the null, category by category, each
// count binomial given those before it (y_i ~ Binomial(m, w_i / (w_i + ... +
// w_k)) with m the total still to place), and judged against the observed
// outcome as every exact method judges them. The clock is looked at after
// a fixed amount of work (categories drawn), not of draws, so that a draw
// of many categories is bounded in time as well; past the deadline the
// draws stop and those made are counted.
#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

#include "engine/common/binomial_sampler.h"
#include "engine/multinomial/methods.h"
#include "engine/common/random.h"

namespace engine::multinomial {

namespace {

// Categories drawn between two looks at the clock.
constexpr std::uint64_t kCheckInterval = 1 << 18;
// Alias tables are kept for the binomials met, one per level and remaining
// total, up to this many entries in all (8 bytes each) ...
constexpr std::uint64_t kAliasEntryBudget = std::uint64_t{1} << 23;
// ... when the total is small enough for a slot per level and total.
constexpr std::uint64_t kSlotLimit = std::uint64_t{1} << 22;

// The alias table of one level and remaining total, within Sampler::entry
// (width 0: not made).
struct AliasSlot {
  std::uint32_t offset = 0;
  std::uint32_t width = 0;
  std::uint32_t lo = 0;
};

struct Sampler {
  std::vector<BinomialLaw> law;  // per level, m filled per draw
  std::uint64_t stride = 0;      // totals per level: n + 1, or 0 without tables
  std::vector<AliasSlot> slot;   // level x stride + total
  // Every table's columns: threshold in the low half, alias in the high.
  std::vector<std::uint64_t> entry;
};

// The draw of a level and total without a table yet: makes one while the
// budget allows, else draws directly. The generator goes in and out by
// value, so that the caller's stays in registers.
struct SlowDraw {
  Random random;
  std::uint32_t v;
};
[[gnu::noinline]] SlowDraw DrawWithoutTable(Sampler& sampler, std::uint32_t level,
                                            std::uint32_t m, Random random);

inline std::uint32_t DrawFromTable(const Sampler& sampler, const AliasSlot& slot, Random& random) {
  std::uint64_t bits = NextBits(random);
  auto column = static_cast<std::uint32_t>(((bits >> 32) * slot.width) >> 32);
  std::uint64_t entry = sampler.entry[slot.offset + column];
  return slot.lo + AliasColumn(bits, static_cast<std::uint32_t>(entry),
                               static_cast<std::uint32_t>(entry >> 32), column);
}

inline std::uint32_t Draw(Sampler& sampler, std::uint32_t level, std::uint32_t m, Random& random) {
  if (sampler.stride != 0) {
    const AliasSlot& slot = sampler.slot[level * sampler.stride + m];
    if (slot.width != 0) return DrawFromTable(sampler, slot, random);
  }
  SlowDraw slow = DrawWithoutTable(sampler, level, m, random);
  random = slow.random;
  return slow.v;
}

SlowDraw DrawWithoutTable(Sampler& sampler, std::uint32_t level, std::uint32_t m, Random random) {
  BinomialLaw law = sampler.law[level];
  law.m = m;
  if (sampler.stride == 0 || sampler.entry.size() >= kAliasEntryBudget) {
    std::uint32_t v = DrawBinomial(law, random);
    return SlowDraw{random, v};
  }
  AliasTable table = MakeAliasTable(law);
  AliasSlot& slot = sampler.slot[level * sampler.stride + m];
  slot.offset = static_cast<std::uint32_t>(sampler.entry.size());
  slot.width = static_cast<std::uint32_t>(table.threshold.size());
  slot.lo = table.lo;
  for (std::size_t j = 0; j < table.threshold.size(); ++j)
    sampler.entry.push_back(table.threshold[j] | (std::uint64_t{table.alias[j]} << 32));
  std::uint32_t v = DrawFromTable(sampler, slot, random);
  return SlowDraw{random, v};
}

// The statistics of the counts y, and its surprise in extended precision.
// With whole tables (every count 0..n kept) the shares are read without a
// check. Not inlined: on its own the loop keeps its sums in registers.
template <bool kWholeTables>
[[gnu::noinline]] long double SumShares(const ShareTables& shares, const std::uint32_t* y,
                                        std::uint32_t k, double (&value)[kStatisticCount]) {
  double chi = 0, deviance = 0;
  long double surprise = 0;
  for (std::uint32_t i = 0; i < k; ++i) {
    const TermTable& table = *shares.of_category[i];
    const Terms& t = kWholeTables ? table.values[y[i]] : TermsAt(table, y[i]);
    chi += t.chi;
    deviance += t.deviance;
    surprise += FineSurprise(t);
  }
  value[kChi] = chi;
  value[kDeviance] = deviance;
  value[kSurprise] = static_cast<double>(surprise);
  return surprise;
}

}  // namespace

DrawCounts DrawOutcomes(const Setup& setup, std::uint64_t samples, std::uint64_t seed, Pace& pace,
                        const OutcomeSink& sink) {
  const std::uint32_t k = setup.k;
  const ExactNull& null = setup.order.null;
  ShareTables shares = MakeShareTables(setup);
  Sampler sampler;
  mpz_class tail = null.total_weight;
  for (std::uint32_t i = 0; i + 1 < k; ++i) {
    mpz_class rest = tail - null.weights[i];
    sampler.law.push_back(BinomialLaw{0, mpq_class(null.weights[i], tail).get_d(),
                                      mpq_class(rest, tail).get_d()});
    tail = rest;
  }
  if (std::uint64_t{k} * (setup.n + 1) <= kSlotLimit) {
    sampler.stride = setup.n + 1;
    sampler.slot.resize((k - 1) * sampler.stride);
  }

  Random random = SeedRandom(seed);
  DrawCounts counts;
  const bool whole_tables = shares.tables.front().lo == 0 &&
                            shares.tables.front().values.size() == setup.n + 1;
  const double share = 1 / static_cast<double>(samples);
  std::vector<std::uint32_t> support;
  std::vector<std::uint32_t> differences;
  // Draws go in batches whose levels are drawn side by side: each level's
  // draw waits for the one before it, so independent draws interleaved
  // keep the processor busy. The random numbers are taken level by level
  // across the batch, in a fixed order.
  constexpr std::uint32_t kBatch = 4;
  std::vector<std::uint32_t> y(std::size_t{kBatch} * k);
  std::uint64_t work = 0;
  std::uint64_t draw = 0;
  try {
    while (draw < samples) {
      const auto batch = static_cast<std::uint32_t>(std::min<std::uint64_t>(kBatch, samples - draw));
      std::uint32_t m[kBatch];
      for (std::uint32_t b = 0; b < kBatch; ++b) m[b] = static_cast<std::uint32_t>(setup.n);
      for (std::uint32_t i = 0; i + 1 < k; ++i) {
        for (std::uint32_t b = 0; b < batch; ++b) {
          std::uint32_t v = m[b] == 0 ? 0 : Draw(sampler, i, m[b], random);
          y[b * k + i] = v;
          m[b] -= v;
        }
      }
      for (std::uint32_t b = 0; b < batch; ++b) {
        std::uint32_t* outcome = &y[b * k];
        outcome[k - 1] = m[b];
        const std::span<const std::uint32_t> drawn(outcome, k);
        double value[kStatisticCount];
        const long double surprise = whole_tables ? SumShares<true>(shares, outcome, k, value)
                                                  : SumShares<false>(shares, outcome, k, value);
        Mark marks[kOrderingCount] = {Mark::kNotExtreme, Mark::kNotExtreme, Mark::kNotExtreme,
                                      Mark::kNotExtreme};
        bool differences_known = false;
        for (int s = 0; s < kStatisticCount; ++s) {
          Verdict verdict = Judge(value[s], setup.margin[s]);
          if (verdict == Verdict::kUndecided) {
            if (!differences_known) {
              support.clear();
              for (std::uint32_t i = 0; i < k; ++i) {
                if (outcome[i] != 0) support.push_back(i);
              }
              Differences(setup, support, differences);
              differences_known = true;
            }
            marks[s] = JudgeOutcome(setup, static_cast<Statistic>(s), value[s], drawn, differences);
          } else {
            marks[s] = MarkOf(verdict);
          }
          counts.beyond[s] += marks[s] == Mark::kBeyond;
          counts.tied[s] += marks[s] == Mark::kTied;
        }
        if (sink) {
          OutcomeRow row{drawn, 1, DoubleOf(ProbabilityOf(setup, surprise)), value[kChi],
                         2 * value[kDeviance], {}};
          std::copy(std::begin(marks), std::end(marks), row.marks);
          row.share = share;
          sink(row);
        }
      }
      draw += batch;
      work += std::uint64_t{batch} * k;
      if (work >= kCheckInterval) {
        work = 0;
        CheckPace(pace, static_cast<double>(draw) / static_cast<double>(samples));
      }
    }
  } catch (const OutOfTime&) {
    // The draws made so far are whole: counted, and no more.
  }
  counts.samples = draw;
  return counts;
}

}  // namespace engine::multinomial
