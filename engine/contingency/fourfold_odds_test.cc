#include <gtest/gtest.h>
#include <mpfr.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/contingency/fourfold.h"

namespace engine {
namespace {

using Table = std::array<std::uint32_t, 4>;
constexpr long kBits = 160;
constexpr double kInf = std::numeric_limits<double>::infinity();

// The noncentral hypergeometric distribution of n11 in multiple precision:
// the weights C(r1, x) C(r2, c1 - x) relative to the observed table's, over
// the support or, for a wide one, a window about the observed n11 far
// beyond where the distributions at the estimate and the bounds hold any
// mass that matters.
class Reference {
 public:
  explicit Reference(const Table& t) : x0_(t[0]) {
    const std::int64_t r1 = std::int64_t{t[0]} + t[1], r2 = std::int64_t{t[2]} + t[3];
    const std::int64_t c1 = std::int64_t{t[0]} + t[2], c2 = std::int64_t{t[1]} + t[3];
    lo_ = std::max<std::int64_t>(0, r1 - c2);
    hi_ = std::min(r1, c1);
    double inverse = 0;
    for (std::uint32_t n : t) inverse += 1 / (n + 0.5);
    const std::int64_t reach = static_cast<std::int64_t>(30 * std::sqrt(1 / inverse)) + 100;
    first_ = std::max(lo_, x0_ - reach);
    const std::int64_t last = std::min(hi_, x0_ + reach);
    weights_.resize(last - first_ + 1);
    for (auto& w : weights_) mpfr_init2(&w, kBits);
    mpfr_set_ui(&weights_[x0_ - first_], 1, MPFR_RNDN);
    for (std::int64_t x = x0_; x < last; ++x) {  // w(x + 1) = w(x) (r1 - x)(c1 - x) / ((x + 1)(n22 + 1))
      mpfr_ptr w = &weights_[x + 1 - first_];
      mpfr_mul_ui(w, &weights_[x - first_], (r1 - x) * (c1 - x), MPFR_RNDN);
      mpfr_div_ui(w, w, (x + 1) * (r2 - c1 + x + 1), MPFR_RNDN);
    }
    for (std::int64_t x = x0_; x > first_; --x) {  // w(x - 1) = w(x) x n22 / ((r1 - x + 1)(c1 - x + 1))
      mpfr_ptr w = &weights_[x - 1 - first_];
      mpfr_mul_ui(w, &weights_[x - first_], x * (r2 - c1 + x), MPFR_RNDN);
      mpfr_div_ui(w, w, (r1 - x + 1) * (c1 - x + 1), MPFR_RNDN);
    }
  }
  ~Reference() {
    for (auto& w : weights_) mpfr_clear(&w);
  }

  std::int64_t lo() const { return lo_; }
  std::int64_t hi() const { return hi_; }
  std::int64_t x0() const { return x0_; }

  enum class Quantity { kMeanMinusObserved, kUpperTail, kLowerTail };

  // E[N11] - n11, P(N11 >= n11) or P(N11 <= n11) at psi e^offset.
  double At(double psi, double offset, Quantity q) const {
    mpfr_t theta, step, power, term, total, wanted;
    mpfr_inits2(kBits, theta, step, power, term, total, wanted, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_d(theta, psi, MPFR_RNDN);
    mpfr_log(theta, theta, MPFR_RNDN);
    mpfr_set_d(step, offset, MPFR_RNDN);
    mpfr_add(theta, theta, step, MPFR_RNDN);
    mpfr_exp(step, theta, MPFR_RNDN);  // psi e^offset
    mpfr_set_zero(total, 1);
    mpfr_set_zero(wanted, 1);
    for (int direction : {1, -1}) {
      mpfr_set_ui(power, 1, MPFR_RNDN);
      if (direction < 0) mpfr_div(power, power, step, MPFR_RNDN);
      const std::int64_t last = first_ + static_cast<std::int64_t>(weights_.size()) - 1;
      for (std::int64_t x = direction > 0 ? x0_ : x0_ - 1; x >= first_ && x <= last; x += direction) {
        mpfr_mul(term, &weights_[x - first_], power, MPFR_RNDN);
        mpfr_add(total, total, term, MPFR_RNDN);
        if (q == Quantity::kMeanMinusObserved) {
          mpfr_mul_si(term, term, static_cast<long>(x - x0_), MPFR_RNDN);
          mpfr_add(wanted, wanted, term, MPFR_RNDN);
        } else if ((q == Quantity::kUpperTail && x >= x0_) || (q == Quantity::kLowerTail && x <= x0_)) {
          mpfr_add(wanted, wanted, term, MPFR_RNDN);
        }
        if (direction > 0) {
          mpfr_mul(power, power, step, MPFR_RNDN);
        } else {
          mpfr_div(power, power, step, MPFR_RNDN);
        }
      }
    }
    mpfr_div(wanted, wanted, total, MPFR_RNDN);
    const double value = mpfr_get_d(wanted, MPFR_RNDN);
    mpfr_clears(theta, step, power, term, total, wanted, static_cast<mpfr_ptr>(nullptr));
    return value;
  }

 private:
  std::int64_t x0_, lo_, hi_, first_;
  std::vector<__mpfr_struct> weights_;  // mpfr_t is an array of one of these
};

// The root of the reference's quantity minus target lies between psi
// (1 - 1e-9) and psi (1 + 1e-9): the quantity is monotone in psi, so its
// signs just below and above say so.
void ExpectRoot(const Reference& ref, double psi, Reference::Quantity q, double target, const std::string& what) {
  constexpr double kOffset = 1e-9;
  const double below = ref.At(psi, -kOffset, q) - target;
  const double above = ref.At(psi, kOffset, q) - target;
  if (q == Reference::Quantity::kLowerTail) {  // falls as psi rises
    EXPECT_GT(below, 0) << what << " at " << psi;
    EXPECT_LT(above, 0) << what << " at " << psi;
  } else {
    EXPECT_LT(below, 0) << what << " at " << psi;
    EXPECT_GT(above, 0) << what << " at " << psi;
  }
}

void ExpectOddsRatio(const Table& t, Alternative alternative, double level) {
  const std::string name = std::to_string(t[0]) + " " + std::to_string(t[1]) + " " + std::to_string(t[2]) + " " +
                           std::to_string(t[3]) + " alternative " + std::to_string(int(alternative)) + " level " +
                           std::to_string(level);
  const FourfoldResult result = TestFourfold({t, alternative, level});
  const OddsRatio& o = result.odds_ratio;
  EXPECT_EQ(o.conf_level, level);
  ASSERT_TRUE(o.estimate && o.lower && o.upper) << name;
  const Reference ref(t);
  using Q = Reference::Quantity;
  if (ref.x0() == ref.lo()) {
    EXPECT_EQ(*o.estimate, 0) << name;
  } else if (ref.x0() == ref.hi()) {
    EXPECT_EQ(*o.estimate, kInf) << name;
  } else {
    ExpectRoot(ref, *o.estimate, Q::kMeanMinusObserved, 0, name + " estimate");
  }
  const double share = alternative == Alternative::kTwoSided ? (1 - level) / 2 : 1 - level;
  if (alternative == Alternative::kLess || ref.x0() == ref.lo()) {
    EXPECT_EQ(*o.lower, 0) << name;
  } else {
    ExpectRoot(ref, *o.lower, Q::kUpperTail, share, name + " lower bound");
  }
  if (alternative == Alternative::kGreater || ref.x0() == ref.hi()) {
    EXPECT_EQ(*o.upper, kInf) << name;
  } else {
    ExpectRoot(ref, *o.upper, Q::kLowerTail, share, name + " upper bound");
  }
  EXPECT_LE(*o.lower, *o.estimate) << name;
  EXPECT_GE(*o.upper, *o.estimate) << name;
}

TEST(FourfoldOddsRatioTest, SmallTablesAgreeWithMultiplePrecision) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<std::uint32_t> cell(0, 20);
  const double levels[] = {0.95, 0.5, 0.99, 1 - 1e-9};
  for (int i = 0; i < 60; ++i) {
    const Table t{cell(random) + 1, cell(random), cell(random), cell(random) + 1};  // no zero margin
    for (Alternative a : {Alternative::kTwoSided, Alternative::kLess, Alternative::kGreater}) {
      ExpectOddsRatio(t, a, levels[i % 4]);
    }
  }
}

TEST(FourfoldOddsRatioTest, EndsOfTheSupport) {
  // n11 at its least (0, or r1 - c2) or its greatest (r1 or c1).
  const Table tables[] = {{0, 5, 3, 0}, {0, 7, 9, 4}, {4, 0, 3, 9}, {6, 4, 0, 2},
                          {3, 0, 0, 5}, {0, 1, 1, 0}, {0, 40, 700, 3}, {900, 0, 12, 1}};
  for (const Table& t : tables) {
    for (Alternative a : {Alternative::kTwoSided, Alternative::kLess, Alternative::kGreater}) {
      ExpectOddsRatio(t, a, 0.95);
    }
  }
}

TEST(FourfoldOddsRatioTest, LargeTablesAgreeWithMultiplePrecision) {
  const Table tables[] = {
      {600, 120, 95, 1400},
      {125000, 125500, 124000, 125500},
      {5000000, 5010000, 4990000, 5000000},
      {3, 1000000, 2000000, 7},
      {1, 1000000000, 1000000000, 1},
      {10, 2147483000, 300, 337},
      {2000000, 1, 3, 1500000},
  };
  for (const Table& t : tables) ExpectOddsRatio(t, Alternative::kTwoSided, 0.95);
  ExpectOddsRatio({125000, 125500, 124000, 125500}, Alternative::kLess, 0.99);
  ExpectOddsRatio({3, 1000000, 2000000, 7}, Alternative::kGreater, 0.9);
}

TEST(FourfoldOddsRatioTest, SampleOddsRatio) {
  EXPECT_DOUBLE_EQ(*TestFourfold({{2, 3, 4, 5}}).odds_ratio.sample, 10.0 / 12);
  EXPECT_EQ(*TestFourfold({{0, 3, 4, 5}}).odds_ratio.sample, 0);
  EXPECT_EQ(*TestFourfold({{2, 0, 4, 5}}).odds_ratio.sample, kInf);
  EXPECT_EQ(*TestFourfold({{65536, 1, 1, 65536}}).odds_ratio.sample, 4294967296.0);
  // Products beyond 2^53, the total at its greatest.
  const std::uint64_t product = std::uint64_t{1073741820} * 1073741819;
  EXPECT_EQ(*TestFourfold({{1073741820, 3, 5, 1073741819}}).odds_ratio.sample,
            static_cast<double>(static_cast<long double>(product) / 15));
}

}  // namespace
}  // namespace engine
