#include "engine/multinomial/plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/multinomial/methods.h"

namespace engine::multinomial {

namespace {

// Outcomes (or classes, or outcomes judged by the network) per second, and
// categories entered per second by the walks, measured on one core.
constexpr double kOutcomeRate = 1.5e7;
constexpr double kClassRate = 1e7;
constexpr double kNetworkRate = 3e6;
constexpr double kLevelRate = 5e7;
// Monte Carlo: seconds per category drawn, and per draw.
constexpr double kDrawCategorySeconds = 3e-8;
constexpr double kDrawSeconds = 5e-8;
// Beyond this estimated work the network method is refused.
constexpr double kMaxNetworkWork = 1e13;

// Bytes: per category of what every method keeps (the null, the
// expectations, the exact order's factors, the observed counts), of each
// walk, and per row of a table of shares.
constexpr double kSetupBytesPerCategory = 256;
constexpr double kTermBytes = sizeof(Terms);

double DistinctWeights(const Setup& setup) {
  double distinct = 0;
  for (std::uint32_t i = 0; i < setup.k; ++i) distinct += setup.order.null.weight_class[i] == i;
  return distinct;
}

// The shares tables of every method (see MakeShareTables).
double TableBytes(const Setup& setup) {
  const double tables = DistinctWeights(setup);
  const double rows = std::min(tables * (static_cast<double>(setup.n) + 1),
                               static_cast<double>(kTableEntryLimit) + tables);
  return rows * kTermBytes + tables * 64;
}

double BaseBytes(const Setup& setup) {
  return setup.k * kSetupBytesPerCategory + TableBytes(setup);
}

// About how many outcomes the network method judges one by one: those of
// the ellipsoid X^2 <= c, c the widest of the three orderings' regions in
// X^2 terms, counted as its volume over the lattice's (c^((k-1)/2) V_(k-1)
// sqrt(e_1 ... e_k / n) with V_d the volume of the unit d-ball), at most
// every outcome.
double NetworkWork(const Setup& setup, double outcomes) {
  const double k = setup.k;
  const double n = static_cast<double>(setup.n);
  double log_expectations = 0;
  double mode_surprise = 0;
  for (const Expectation& e : setup.expected) {
    double value = std::max(1.0L, e.value);
    log_expectations += std::log(value);
    mode_surprise += 0.5 * std::log(2 * M_PI * value);
  }
  double c = std::max({setup.observed_sum[kChi], 2 * setup.observed_sum[kDeviance],
                       2 * (setup.observed_sum[kSurprise] - mode_surprise), 1.0});
  double d = k - 1;
  double log_volume = d / 2 * std::log(M_PI) - std::lgamma(d / 2 + 1) + d / 2 * std::log(c) +
                      (log_expectations - std::log(n)) / 2;
  return std::min(outcomes, 4 * std::exp(log_volume));
}

ExactPlan Plan(ExactMethod method, double work, double seconds, double bytes) {
  ExactPlan plan;
  plan.possible = true;
  plan.method = method;
  plan.work = work;
  plan.seconds = seconds;
  plan.hopeful_seconds = method == ExactMethod::kNetwork ? seconds / 10 : seconds;
  plan.bytes = bytes;
  return plan;
}

}  // namespace

std::string CountText(double value) {
  char text[64];
  if (value < 1e18) {
    std::snprintf(text, sizeof text, "%.0f", value);
  } else {
    std::snprintf(text, sizeof text, "%.3g", value);
  }
  return text;
}

std::string BytesText(double bytes) {
  char text[64];
  const double mib = bytes / (1024.0 * 1024);
  if (mib >= 1024) {
    std::snprintf(text, sizeof text, "%.1f GiB", mib / 1024);
  } else {
    std::snprintf(text, sizeof text, "%.0f MiB", std::max(1.0, mib));
  }
  return text;
}

ExactPlan PlanExact(const Setup& setup, double outcomes, bool every_outcome, bool whole_distribution) {
  const double k = setup.k;
  const double levels = k / kLevelRate;
  std::vector<ExactPlan> candidates;
  std::string refusal;
  auto consider = [&](ExactPlan plan, const std::string& too_much) {
    if (!too_much.empty()) {
      if (refusal.empty()) refusal = too_much;
      return;
    }
    if (plan.bytes > kMemoryCap) {
      if (refusal.empty()) {
        refusal = "the exact test would need about " + BytesText(plan.bytes) + " of memory, more than the " +
                  BytesText(kMemoryCap) + " it may use";
      }
      return;
    }
    candidates.push_back(plan);
  };
  auto beyond_enumeration = [&](double work, const char* what) {
    return work > kMaxEnumeratedOutcomes
               ? "the exact test would enumerate " + CountText(work) + what + ", more than the " +
                     CountText(kMaxEnumeratedOutcomes) + " it can handle"
               : std::string();
  };

  const bool equal = setup.order.null.equal;
  // Equal probabilities and a whole distribution: the classes alone, as
  // they carry it with far fewer rows.
  if (every_outcome || !(equal && whole_distribution)) {
    consider(Plan(ExactMethod::kEveryOutcome, outcomes, outcomes / kOutcomeRate + levels,
                  BaseBytes(setup) + k * 64),
             beyond_enumeration(outcomes, " outcomes"));
  }
  if (!every_outcome && equal) {
    const double classes = ClassCount(setup.n, setup.k);
    consider(Plan(ExactMethod::kClasses, classes, classes / kClassRate + levels, BaseBytes(setup) + k * 96),
             beyond_enumeration(classes, " classes of outcomes"));
  }
  if (!every_outcome && !whole_distribution) {
    const double work = NetworkWork(setup, outcomes);
    const double lump_rows =
        k * (static_cast<double>(setup.n) + 1) * 2 <= static_cast<double>(kTableEntryLimit)
            ? static_cast<double>(setup.n) + 1
            : 0;
    const double bytes = BaseBytes(setup) + k * (320 + lump_rows * kTermBytes) + 64.0 * 1024 * 1024;
    consider(Plan(ExactMethod::kNetwork, work, (work + k) / kNetworkRate + levels, bytes),
             work > kMaxNetworkWork ? "the exact test would visit about " + CountText(work) +
                                          " outcomes, far beyond what it can do in a day; Monte Carlo "
                                          "can estimate the p-values"
                                    : std::string());
  }
  if (candidates.empty()) {
    ExactPlan none;
    none.refusal = refusal;
    return none;
  }
  // Under equal probabilities the network's estimate falls far short as k
  // grows (ten categories with a total of 100: 30 times as many outcomes
  // judged as estimated, minutes against a second for the classes), so the
  // classes are taken whenever they are within their limits.
  for (const ExactPlan& plan : candidates) {
    if (plan.method == ExactMethod::kClasses) return plan;
  }
  return *std::min_element(candidates.begin(), candidates.end(), [](const ExactPlan& a, const ExactPlan& b) {
    return a.seconds < b.seconds;
  });
}

double MonteCarloSeconds(const Setup& setup, std::uint64_t samples) {
  return static_cast<double>(samples) * (setup.k * kDrawCategorySeconds + kDrawSeconds);
}

double MonteCarloBytes(const Setup& setup) {
  const double k = setup.k;
  const double n = static_cast<double>(setup.n);
  const double slots = k * (n + 1) <= 4194304.0 ? (k - 1) * (n + 1) * 12 : 0;
  return BaseBytes(setup) + k * 64 + slots + 64.0 * 1024 * 1024;
}

}  // namespace engine::multinomial
