#include "engine/contingency/fourfold_pvalues.h"

#include <algorithm>
#include <cmath>

#include "engine/contingency/fourfold_sweep.h"

namespace engine::fourfold {
namespace {

constexpr long double kLn10 = 2.302585092994045684017991454684364208L;

// The two sides of the support and the sums over them: lo..c (a left sum),
// c..hi (a right sum), the weight of one table, each cut where the sweep
// must start a segment for it.
struct Sides {
  SweepFrame frame;
  SweptSide right, left;

  std::int64_t mode() const { return frame.mode; }
  const Margins& m() const { return frame.margins; }

  void NeedLeftSum(std::int64_t c) {
    if (c < m().lo || c >= m().hi) return;
    if (c < mode()) {
      AddCut(left, c);
    } else {
      AddCut(right, c + 1);
    }
  }
  void NeedRightSum(std::int64_t c) {
    if (c > m().hi || c <= m().lo) return;
    if (c >= mode()) {
      AddCut(right, c);
    } else {
      AddCut(left, c - 1);
    }
  }
  void NeedWeight(std::int64_t t) {
    if (t >= mode()) {
      AddCut(right, t);
      AddCut(right, t + 1);
    } else {
      AddCut(left, t);
      AddCut(left, t - 1);
    }
  }
  void Need(const Tails& t) {
    NeedLeftSum(t.lower_tied ? t.lower - 1 : t.lower);
    NeedRightSum(t.upper_tied ? t.upper + 1 : t.upper);
    if (t.lower_tied) NeedWeight(t.lower);
    if (t.upper_tied) NeedWeight(t.upper);
  }

  Scaled total{};  // once both sides are swept
  Scaled Total() const { return Add(SumOfSide(left), SumOfSide(right)); }
  Scaled LeftSum(std::int64_t c) const {
    if (c < m().lo) return {};
    if (c >= m().hi) return total;
    if (c < mode()) return SumFrom(left, c);
    return Add(SumOfSide(left), SumBefore(right, c + 1));
  }
  Scaled RightSum(std::int64_t c) const {
    if (c > m().hi) return {};
    if (c <= m().lo) return total;
    if (c >= mode()) return SumFrom(right, c);
    return Add(SumOfSide(right), SumBefore(left, c - 1));
  }
  Scaled WeightOf(std::int64_t t) const { return t >= mode() ? SegmentFrom(right, t) : SegmentFrom(left, t); }
};

double Log10Of(Scaled s) { return static_cast<double>(LogOf(s) / kLn10); }

constexpr double kSmallestNormal = 0x1p-1022;

// A value and, when asked for or when the double cannot show it, its
// logarithm: at most 1.
void Fill(Scaled value, bool log10s, double& out, double& out_log10) {
  out = static_cast<double>(std::min<long double>(ToLongDouble(value), 1));
  if (log10s || out < kSmallestNormal) out_log10 = std::min(Log10Of(value), 0.0);
}

OrderingResult ResultOf(Ordering ordering, double value, const Tails& tails, const Sides& sides, bool log10s) {
  const Scaled total = sides.total;
  OrderingResult result{};
  result.ordering = ordering;
  result.value = value;
  const Scaled beyond = Add(sides.LeftSum(tails.lower_tied ? tails.lower - 1 : tails.lower),
                            sides.RightSum(tails.upper_tied ? tails.upper + 1 : tails.upper));
  Scaled tied{};
  if (tails.lower_tied) tied = sides.WeightOf(tails.lower);
  if (tails.upper_tied) tied = Add(tied, sides.WeightOf(tails.upper));
  if (CoversSupport(tails)) {
    result.p = 1;
    if (log10s) result.log10_p = 0;
  } else {
    Fill(Divide(Add(beyond, tied), total), log10s, result.p, result.log10_p);
  }
  Fill(Divide(Add(beyond, Scale(tied, 0.5L)), total), log10s, result.mid_p, result.log10_mid_p);
  // mid-p is at most p, also where their last digits round apart.
  result.mid_p = std::min(result.mid_p, result.p);
  if (!std::isnan(result.log10_mid_p) && !std::isnan(result.log10_p)) {
    result.log10_mid_p = std::min(result.log10_mid_p, result.log10_p);
  }
  return result;
}

// The tails of the probability ordering when the observed table is a
// mode: every table is at least as extreme; a neighbour of equal weight
// ties (the ratio of neighbours is 1 exactly, in integers).
Tails ModeTails(const Margins& m, std::int64_t x0) {
  if (x0 > m.lo) {
    const Ratio r = UpRatio(m, x0 - 1);
    if (r.numerator == r.denominator) return {x0 - 1, x0, true, true};
  }
  if (x0 < m.hi) {
    const Ratio r = UpRatio(m, x0);
    if (r.numerator == r.denominator) return {x0, x0 + 1, true, true};
  }
  return {x0, x0 + 1, true, false};
}

// Equal row sums (or column sums) make the weights symmetric about s / 2:
// w(s - x) = w(x), with s = c1 (or r1).
bool Symmetric(const Margins& m, std::int64_t& s) {
  if (m.r1 == m.r2) {
    s = m.c1;
    return true;
  }
  if (m.c1 == m.c2) {
    s = m.r1;
    return true;
  }
  return false;
}

}  // namespace

FourfoldOrderings SolveOrderings(const Margins& m, std::int64_t x0, Alternative alternative, bool log10s,
                                 OrderingTails* tails, long double* total_weight) {
  Sides sides;  // the sides' arrays are filled as the sweeps reach them
  sides.frame = StartSweep(m);
  StartSide(sides.frame, +1, sides.right);
  StartSide(sides.frame, -1, sides.left);
  const std::int64_t mode = sides.mode();
  FourfoldOrderings out;
  std::int64_t s = 0;
  const bool symmetric = Symmetric(m, s);

  if (alternative != Alternative::kTwoSided) {
    const Tails n11 = OneSidedTails(m, x0, alternative == Alternative::kLess);
    sides.Need(n11);
    if (symmetric) {
      SweepMirrored(sides.frame, sides.left, sides.right, s);
    } else {
      Sweep(sides.frame, sides.right);
      Sweep(sides.frame, sides.left);
    }
    sides.total = sides.Total();
    out.results[0] = ResultOf(Ordering::kN11, static_cast<double>(x0), n11, sides, log10s);
    out.count = 1;
    if (tails != nullptr) tails->n11 = n11;
    if (total_weight != nullptr) *total_weight = ToLongDouble(sides.total);
    return out;
  }

  const Tails chi = ChiSquareTails(m, x0);
  // Symmetric margins: the G^2 key of a table is that of its mirror image
  // (the same cells), so its tails end there too.
  const Tails lr = !symmetric  ? LikelihoodRatioTails(m, x0)
                   : 2 * x0 == s ? Tails{x0, x0 + 1, true, false}
                                 : Tails{std::min(x0, s - x0), std::max(x0, s - x0), true, true};
  sides.Need(chi);
  sides.Need(lr);
  Tails probability;
  if (symmetric) {
    // Every table ties with its mirror image, which is more extreme in no
    // ordering: the tails end there.
    probability = x0 == mode ? ModeTails(m, x0) : Tails{std::min(x0, s - x0), std::max(x0, s - x0), true, true};
    sides.Need(probability);
    sides.NeedWeight(x0);
    SweepMirrored(sides.frame, sides.left, sides.right, s);
  } else if (x0 == mode) {
    probability = ModeTails(m, x0);
    sides.Need(probability);
    Sweep(sides.frame, sides.right);
    Sweep(sides.frame, sides.left);
  } else {
    // The observed table's side first, for its weight; then the other
    // side, where the sweep finds the first table no more probable.
    const bool left_first = x0 < mode;
    SweptSide& near = left_first ? sides.left : sides.right;
    SweptSide& far = left_first ? sides.right : sides.left;
    sides.NeedWeight(x0);
    if (left_first) {
      sides.NeedLeftSum(x0 - 1);
    } else {
      sides.NeedRightSum(x0 + 1);
    }
    Sweep(sides.frame, near);
    MirrorSearch search;
    search.x0 = x0;
    search.w0 = CutWeight(near, x0, &search.tolerance);
    search.hint = left_first ? lr.upper : lr.lower;
    Sweep(sides.frame, far, &search);
    probability = left_first ? Tails{x0, search.mirror, true, search.tied}
                             : Tails{search.mirror, x0, search.tied, true};
  }
  sides.total = sides.Total();
  // The orderings often put the same tables in their tails (X^2 and G^2
  // in most tables): the sums are then those already formed.
  const auto result_of = [&](Ordering ordering, double value, const Tails& t, int formed) {
    for (int i = 0; i < formed; ++i) {
      const Tails& other = i == 0 ? chi : lr;
      if (t.lower == other.lower && t.upper == other.upper && t.lower_tied == other.lower_tied &&
          t.upper_tied == other.upper_tied) {
        OrderingResult same = out.results[i];
        same.ordering = ordering;
        same.value = value;
        return same;
      }
    }
    return ResultOf(ordering, value, t, sides, log10s);
  };
  out.results[0] = result_of(Ordering::kChiSquare, static_cast<double>(ChiSquareAt(m, x0)), chi, 0);
  out.results[1] = result_of(Ordering::kLikelihoodRatio, static_cast<double>(LikelihoodRatioAt(m, x0)), lr, 1);
  out.results[2] = result_of(Ordering::kProbability, 0, probability, 2);
  Fill(Divide(sides.WeightOf(x0), sides.total), log10s, out.results[2].value, out.results[2].log10_value);
  out.count = 3;
  if (tails != nullptr) {
    tails->chi_square = chi;
    tails->likelihood_ratio = lr;
    tails->probability = probability;
  }
  if (total_weight != nullptr) *total_weight = ToLongDouble(sides.total);
  return out;
}

}  // namespace engine::fourfold
