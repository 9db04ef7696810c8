// The network method: the categories are fixed one after another, each node
// of the tree a partial outcome y_1..y_i with the total m still to place
// among the categories after it. The completions of a node have together
// the probability of the partial outcome with those categories lumped into
// one (the multinomial of i + 1 cells), and every statistic of a completion
// lies between two bounds:
//   below: the node's shares plus the share of the lump, that is the
//     minimum over real completions ((m - E)^2 / E for X^2, the deviance of
//     m against E for G^2 / 2, E the lump's expectation) or, for the
//     surprise, -ln of the Poisson probability of m, which is at most the
//     largest probability of a single completion;
//   above: the statistics are convex in the counts, so over the simplex of
//     completions they are largest at a corner, all m in one category; the
//     corner of category j exceeds the all-zero shares by m^2 / e_j - 2 m,
//     m ln(m / e_j) - m and ln m! - m ln e_j, each falling as e_j grows, so
//     the largest corner is that of the category of least weight. The
//     categories go by decreasing weight, which puts it last: the bound
//     costs one share and a precomputed sum, whatever k.
// Where the lower bound is surely beyond the observed statistic, the node's
// whole probability counts at once; where the upper bound is surely below
// it, nothing does; otherwise the walk goes on into the node's children. A
// child with nothing left to place has one completion, judged at once. The
// last two categories are walked outcome by outcome. The open nodes are
// frames on a stack of their own (no recursion, whatever k).
//
// A node with many children visits only the middle ones. Its children's
// lower bounds (and, at the last level, the outcomes' statistics) are
// strictly convex in the count v of the category fixed there, least within
// a count or two of r q (r the node's total, q the share of that category
// in what is left): both for X^2 and G^2, whose least real value lies at v =
// r q, and for the surprise, least at the mode of the binomial split. Away
// from there they rise, so on each side the children surely beyond in an
// ordering form one run out to the end, whose first child a search finds.
// The children's probabilities are those of a binomial split of r times
// the node's, so a run is summed without being visited: from its first
// child's probability times the binomial tail relative to it (cached per
// total at the last level, else the continued fraction of the incomplete
// beta function, else term by term until a geometric bound makes the rest
// negligible). Children short of a run are visited above the last level;
// at the last level, outcomes short of every run are skipped, and each
// ordering's run is summed from its own first outcome, judged apart since
// it may be tied rather than beyond. Every probability is carried by its
// logarithm, so that tails far below the range of doubles keep their
// digits.
#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <optional>
#include <unordered_map>
#include <utility>

#include "engine/common/binomial_tail.h"
#include "engine/multinomial/methods.h"

namespace engine::multinomial {

namespace {

constexpr std::uint32_t kCheckInterval = 1 << 14;
// Nodes with at least this many children visit only the middle ones.
constexpr std::uint32_t kWideNode = 16;
// A sum of a run of children stops when the rest is below this share of it.
constexpr double kNegligibleShare = 0x1p-50;
// Entries of the last level's tail ratios kept (8 bytes each).
constexpr std::uint64_t kTailRatioBudget = std::uint64_t{1} << 23;

// The statistics of a partial outcome, indexed by Statistic, summed in
// doubles as the filter judges them.
struct Shares {
  double statistic[kStatisticCount] = {0, 0, 0};
  double operator[](int o) const { return statistic[o]; }
};

inline Shares SharesOf(const ShareSums& t) { return Shares{{t.chi, t.deviance, t.surprise}}; }

inline Shares Plus(const Shares& a, const Shares& b) {
  return Shares{{a[kChi] + b[kChi], a[kDeviance] + b[kDeviance], a[kSurprise] + b[kSurprise]}};
}

// What the probability of a partial outcome is formed from: its surprise
// in extended precision and its Poisson probabilities multiplied.
struct Mass {
  long double fine_surprise = 0;
  long double product = 1;
};

Mass MassAt(const TermTable& table, std::uint32_t v) {
  return Mass{FineSurpriseAt(table, v), PoissonAt(table, v)};
}

Mass Plus(const Mass& a, const Mass& b) {
  return Mass{a.fine_surprise + b.fine_surprise, a.product * b.product};
}

// A node: level i, total r still to place from category[i] on, the shares
// of the categories before it and their mass, and the orderings not yet
// decided.
struct Node {
  std::uint32_t i;
  std::uint32_t r;
  Shares past;
  Mass past_mass;
  unsigned active;
  bool last;                // its children are outcomes
  const TermTable* own;     // category[i]
  const TermTable* others;  // the lump after it, or the last category
};

// A run of a node's children to visit: count of them from start by step.
struct Segment {
  std::uint32_t start = 0;
  std::uint32_t count = 0;
  int step = 1;
};

// An open node on the stack: its children still to visit, and the child
// whose subtree is being walked (its count set in y).
struct Frame {
  Node node;
  std::array<Segment, 3> segments{};
  int segment_count = 0;
  int segment = 0;
  std::uint32_t visited = 0;  // in the current segment
  bool child_set = false;
  std::uint32_t child = 0;
};

struct NetworkWalk {
  const Setup& setup;
  // Level i fixes category category[i]; its shares, and the lump of the
  // categories from level i on (lump[k - 1] is the last category itself).
  std::vector<std::uint32_t> category;
  std::vector<const TermTable*> table;
  std::vector<TermTable> lump;
  // split[i]: the share of category[i] in the categories from level i on,
  // and its complement.
  std::vector<std::array<double, 2>> split;
  // zero_middle[i]: the shares at count 0 of levels i..k-2 summed (the
  // largest corner of a node before level i puts everything in level k-1);
  // zero_suffix[i]: those of levels i..k-1, and their mass.
  std::vector<Shares> zero_middle;
  std::vector<Shares> zero_suffix;
  std::vector<Mass> zero_suffix_mass;
  std::vector<std::uint32_t> y;  // by category
  // The categories on the path whose count is not 0, and scratch room.
  std::vector<std::uint32_t> support;
  std::vector<std::uint32_t> scratch;
  std::vector<std::uint32_t> differences;
  // Last level, by total r (made when first needed, within a budget):
  // for j up to the centre floor(r q), the probability of the outcomes from
  // j down to 0 over that of j; beyond it, from j up to r.
  std::unordered_map<std::uint32_t, std::vector<double>> tail_ratio;
  std::uint64_t tail_entries = 0;
  // The probability counted, by the marks in the three orderings (once for
  // an outcome or a run extreme in several); into result's tallies at the
  // end.
  MarkedSums marked;
  Tallies result;
  Pace& pace;
  CompensatedSum resolved;  // probability of the completions decided
  std::uint32_t countdown = kCheckInterval;
};

void Tick(NetworkWalk& walk) {
  if (--walk.countdown == 0) {
    walk.countdown = kCheckInterval;
    CheckPace(walk.pace, walk.resolved.Value());
  }
}

// Notes that some outcome is less extreme than the observed one in each
// active ordering whose mark is not extreme: where no outcome is, p is 1.
void NoteLessExtreme(NetworkWalk& walk, unsigned active, const Mark* marks) {
  for (int o = 0; o < kStatisticCount; ++o) {
    if ((active & (1u << o)) != 0 && marks[o] == Mark::kNotExtreme) walk.result.less_extreme |= 1u << o;
  }
}

void Resolve(NetworkWalk& walk, const Probability& mass) {
  walk.resolved.Add(DoubleOf(mass));
}

// Counts probability as beyond the observed outcome in the orderings of
// the set `orderings` (bit o for ordering o).
void CountBeyond(NetworkWalk& walk, unsigned orderings, const Probability& probability) {
  Mark marks[kOrderingCount] = {Mark::kNotExtreme, Mark::kNotExtreme, Mark::kNotExtreme,
                                Mark::kNotExtreme};
  for (int o = 0; o < kStatisticCount; ++o) {
    if ((orderings & (1u << o)) != 0) marks[o] = Mark::kBeyond;
  }
  walk.marked.Add(marks, probability);
}

// A child's shares: the statistics of an outcome at the last level, lower
// bounds of its completions' above it.
[[gnu::always_inline]] inline Shares ChildShares(const Node& node, std::uint32_t v) {
  return Plus(Plus(node.past, SharesOf(SharesAt(*node.own, v))),
              SharesOf(SharesAt(*node.others, node.r - v)));
}

Probability ProbabilityOf(const NetworkWalk& walk, const Mass& mass) {
  return ProbabilityOf(walk.setup, mass.product, [&] { return mass.fine_surprise; });
}

// The surprise in extended precision of a child: of an outcome at the last
// level, of all its completions above it.
[[gnu::noinline]] long double ChildFineSurprise(const Node& node, std::uint32_t v) {
  return (node.past_mass.fine_surprise + FineSurpriseAt(*node.own, v)) +
         FineSurpriseAt(*node.others, node.r - v);
}

// A child's probability (as its surprise).
[[gnu::always_inline]] inline Probability MassOf(const NetworkWalk& walk, const Node& node,
                                                 std::uint32_t v) {
  const long double product =
      node.past_mass.product * PoissonAt(*node.own, v) * PoissonAt(*node.others, node.r - v);
  return ProbabilityOf(walk.setup, product, [&] { return ChildFineSurprise(node, v); });
}

void SetCount(NetworkWalk& walk, std::uint32_t category, std::uint32_t v) {
  walk.y[category] = v;
  if (v != 0) walk.support.push_back(category);
}

void ClearCount(NetworkWalk& walk, std::uint32_t category) {
  if (walk.y[category] != 0) walk.support.pop_back();
  walk.y[category] = 0;
}

// The mark of an outcome whose counts are in walk.y, statistic o computed
// as value; extra: categories not on the path's support where y is not 0.
Mark JudgeWithCounts(NetworkWalk& walk, int o, double value,
                     std::initializer_list<std::uint32_t> extra) {
  Verdict verdict = Judge(value, walk.setup.margin[o]);
  if (verdict != Verdict::kUndecided) return MarkOf(verdict);
  walk.scratch = walk.support;
  for (std::uint32_t category : extra) {
    if (walk.y[category] != 0) walk.scratch.push_back(category);
  }
  Differences(walk.setup, walk.scratch, walk.differences);
  return JudgeOutcome(walk.setup, static_cast<Statistic>(o), value, walk.y, walk.differences);
}

// JudgeLeaf where the filter cannot decide.
[[gnu::noinline]] Mark JudgeLeafExactly(NetworkWalk& walk, const Node& node, std::uint32_t v,
                                        const Shares& value, int o) {
  const std::uint32_t k = walk.setup.k;
  const std::uint32_t first = walk.category[k - 2];
  const std::uint32_t second = walk.category[k - 1];
  walk.y[first] = v;
  walk.y[second] = node.r - v;
  Mark mark = JudgeWithCounts(walk, o, value[o], {first, second});
  walk.y[first] = 0;
  walk.y[second] = 0;
  return mark;
}

[[gnu::always_inline]] inline Mark JudgeLeaf(NetworkWalk& walk, const Node& node, std::uint32_t v,
                                             const Shares& value, int o) {
  Verdict verdict = Judge(value[o], walk.setup.margin[o]);
  if (verdict != Verdict::kUndecided) return MarkOf(verdict);
  return JudgeLeafExactly(walk, node, v, value, o);
}

void VisitLeaf(NetworkWalk& walk, const Node& node, std::uint32_t v) {
  Shares value = ChildShares(node, v);
  Mark marks[kOrderingCount] = {Mark::kNotExtreme, Mark::kNotExtreme, Mark::kNotExtreme,
                                Mark::kNotExtreme};
  bool extreme = false;
  for (int o = 0; o < kStatisticCount; ++o) {
    if ((node.active & (1u << o)) == 0) continue;
    marks[o] = JudgeLeaf(walk, node, v, value, o);
    extreme = extreme || marks[o] != Mark::kNotExtreme;
  }
  if (extreme) walk.marked.Add(marks, MassOf(walk, node, v));
  NoteLessExtreme(walk, node.active, marks);
  ++walk.result.outcomes_visited;
  Tick(walk);
}

// The child v of a node above the last level: decided at once, or opened
// (returned, to be walked).
std::optional<Node> VisitChild(NetworkWalk& walk, const Node& node, std::uint32_t v) {
  const Setup& setup = walk.setup;
  const std::uint32_t k = setup.k;
  const std::uint32_t m = node.r - v;
  const Shares child = Plus(node.past, SharesOf(SharesAt(*node.own, v)));
  const Mass child_mass = Plus(node.past_mass, MassAt(*node.own, v));
  if (m == 0) {
    // One completion: zeros after this level.
    const Shares value = Plus(child, walk.zero_suffix[node.i + 1]);
    const Probability probability =
        ProbabilityOf(walk, Plus(child_mass, walk.zero_suffix_mass[node.i + 1]));
    const std::uint32_t category = walk.category[node.i];
    walk.y[category] = v;
    Mark marks[kOrderingCount] = {Mark::kNotExtreme, Mark::kNotExtreme, Mark::kNotExtreme,
                                  Mark::kNotExtreme};
    for (int o = 0; o < kStatisticCount; ++o) {
      if ((node.active & (1u << o)) != 0) marks[o] = JudgeWithCounts(walk, o, value[o], {category});
    }
    walk.marked.Add(marks, probability);
    NoteLessExtreme(walk, node.active, marks);
    walk.y[category] = 0;
    Resolve(walk, probability);
    ++walk.result.outcomes_visited;
    Tick(walk);
    return std::nullopt;
  }
  const Shares low = SharesOf(SharesAt(*node.others, m));
  const Shares corner = Plus(Plus(child, SharesOf(SharesAt(*walk.table[k - 1], m))),
                             walk.zero_middle[node.i + 1]);
  std::optional<Probability> mass;  // the children's probability, formed when needed
  auto children_mass = [&] {
    if (!mass) mass = ProbabilityOf(walk, Plus(child_mass, MassAt(*node.others, m)));
    return *mass;
  };
  unsigned open = 0;
  unsigned beyond = 0;
  for (int o = 0; o < kStatisticCount; ++o) {
    if ((node.active & (1u << o)) == 0) continue;
    if (child[o] + low[o] > setup.margin[o].above) {
      beyond |= 1u << o;
      continue;
    }
    if (corner[o] < setup.margin[o].below) {
      walk.result.less_extreme |= 1u << o;  // every completion is less extreme
      continue;
    }
    open |= 1u << o;
  }
  if (beyond != 0) CountBeyond(walk, beyond, children_mass());
  if (open != 0) {
    const bool last = node.i + 3 == k;
    return Node{node.i + 1, m, child, child_mass, open, last, walk.table[node.i + 1],
                last ? walk.table[k - 1] : &walk.lump[node.i + 2]};
  }
  Resolve(walk, children_mass());
  Tick(walk);
  return std::nullopt;
}

// Whether the child v is surely beyond (at the last level: at least as
// extreme as) the observed outcome in ordering o.
bool SurelyExtreme(NetworkWalk& walk, const Node& node, std::uint32_t v, int o) {
  Shares value = ChildShares(node, v);
  if (node.last) return JudgeLeaf(walk, node, v, value, o) != Mark::kNotExtreme;
  return value[o] > walk.setup.margin[o].above;
}

// On a side of the node where the children's statistics rise outward, the
// distance from `inner` (going by step, -1 or +1) of the child nearest the
// middle that is surely extreme in ordering o, at most span; span + 1 if
// none. The search starts from a guess (the answer of another ordering,
// usually close): it gallops from there inward or outward to bracket the
// answer, then halves the bracket.
std::uint64_t FirstExtreme(NetworkWalk& walk, const Node& node, int o, std::uint32_t inner,
                           std::uint64_t span, int step, std::uint64_t guess) {
  auto extreme = [&](std::uint64_t distance) {
    return SurelyExtreme(walk, node,
                         static_cast<std::uint32_t>(static_cast<std::int64_t>(inner) +
                                                    step * static_cast<std::int64_t>(distance)),
                         o);
  };
  guess = std::min(guess, span);
  // Bracket: `near` not extreme (or below 0, as near_known false), `far`
  // extreme.
  std::uint64_t near = 0, far = 0;
  bool near_known = false;
  if (extreme(guess)) {
    far = guess;
    for (std::uint64_t stride = 1;; stride *= 2) {
      if (far == 0) return 0;
      std::uint64_t next = far > stride ? far - stride : 0;
      if (!extreme(next)) {
        near = next;
        near_known = true;
        break;
      }
      far = next;
    }
  } else {
    near = guess;
    near_known = true;
    for (std::uint64_t stride = 1;; stride *= 2) {
      if (near == span) return span + 1;
      std::uint64_t next = std::min(near + stride, span);
      if (extreme(next)) {
        far = next;
        break;
      }
      near = next;
    }
  }
  // Now near (when known) is not extreme and far is: halve the gap.
  std::uint64_t lo = near_known ? near + 1 : 0;
  while (lo < far) {
    std::uint64_t middle = lo + (far - lo) / 2;
    if (extreme(middle)) {
      far = middle;
    } else {
      lo = middle + 1;
    }
  }
  return far;
}

Probability SumOutward(NetworkWalk& walk, const Node& node, std::uint32_t start, int step);

// The centre of a node's children, floor(r q): within a count or two of
// the least child in every ordering.
std::uint32_t Centre(const NetworkWalk& walk, std::uint32_t i, std::uint32_t r) {
  return static_cast<std::uint32_t>(
      std::min<double>(r, std::floor(static_cast<double>(r) * walk.split[i][0])));
}

// The last level's tail ratios for total r (see NetworkWalk::tail_ratio),
// summed from each end: every addend is positive, each step adds one
// rounding.
const std::vector<double>* LastTailRatios(NetworkWalk& walk, std::uint32_t r) {
  auto found = walk.tail_ratio.find(r);
  if (found != walk.tail_ratio.end()) return &found->second;
  if (walk.tail_entries + r + 1 > kTailRatioBudget) return nullptr;
  std::vector<double>& ratios = walk.tail_ratio[r];
  {
    const std::uint32_t i = walk.setup.k - 2;
    const double q = walk.split[i][0];
    const double c = walk.split[i][1];
    const std::uint32_t centre = Centre(walk, i, r);
    ratios.resize(std::size_t{r} + 1);
    ratios[0] = 1;
    for (std::uint32_t j = 1; j <= centre; ++j)
      ratios[j] = 1 + j * c / ((r - j + 1.0) * q) * ratios[j - 1];
    ratios[r] = 1;
    for (std::uint32_t j = r; j-- > centre + 1;)
      ratios[j] = 1 + (r - j) * q / ((j + 1.0) * c) * ratios[j + 1];
    walk.tail_entries += std::uint64_t{r} + 1;
  }
  return &ratios;
}

// The probability of the children from `start` outward to the end: the
// first one's times the tail of the binomial split relative to it.
Probability SumTail(NetworkWalk& walk, const Node& node, std::uint32_t start, int step) {
  if (node.last) {
    if (const std::vector<double>* ratios = LastTailRatios(walk, node.r)) {
      ++walk.result.outcomes_visited;
      return ScaledProbability(MassOf(walk, node, start), (*ratios)[start]);
    }
  }
  double ratio =
      BinomialTailRatio(node.r, start, walk.split[node.i][0], walk.split[node.i][1], step > 0);
  if (std::isnan(ratio)) return SumOutward(walk, node, start, step);
  if (node.last) ++walk.result.outcomes_visited;
  Tick(walk);
  return ScaledProbability(MassOf(walk, node, start), ratio);
}

// The probability of the children from `start` outward to the end, summed
// while the rest is not negligible. The probabilities of consecutive
// children are in the ratio of a binomial split of r: each is the one
// before times that ratio, formed afresh every kAnchor children; they are
// summed relative to the first, in doubles (a relative 1e-13 at most,
// ratios being free of any scale).
Probability SumOutward(NetworkWalk& walk, const Node& node, std::uint32_t start, int step) {
  constexpr int kAnchor = 256;
  const double q = walk.split[node.i][0];
  const double c = walk.split[node.i][1];
  const long double first = ChildFineSurprise(node, start);
  double sum = 0;
  double mass = 1;
  int since_anchor = 0;
  for (std::uint32_t v = start;; v = static_cast<std::uint32_t>(static_cast<std::int64_t>(v) + step)) {
    if (since_anchor == kAnchor) {
      mass = static_cast<double>(ExpExtended(first - ChildFineSurprise(node, v)));
      since_anchor = 0;
    }
    sum += mass;
    if (node.last) ++walk.result.outcomes_visited;
    if (step < 0 ? v == 0 : v == node.r) break;
    // The next child's probability over this one's.
    double ratio = step < 0 ? v * c / ((node.r - v + 1.0) * q) : (node.r - v) * q / ((v + 1.0) * c);
    if (ratio < 1) {
      double rest = mass * ratio / (1 - ratio);
      if (rest <= kNegligibleShare * sum) break;
    }
    mass *= ratio;
    ++since_anchor;
  }
  Tick(walk);
  return ScaledProbability(MassOf(walk, node, start), sum);
}

// The probability of `count` children from `start` outward, all of them.
Probability SumRun(NetworkWalk& walk, const Node& node, std::uint32_t start, std::uint64_t count,
                   int step) {
  constexpr std::uint64_t kAnchor = 256;
  const double q = walk.split[node.i][0];
  const double c = walk.split[node.i][1];
  const long double first = ChildFineSurprise(node, start);
  double sum = 0;
  double mass = 1;
  std::uint32_t v = start;
  for (std::uint64_t j = 0; j < count; ++j) {
    if (j % kAnchor == 0) {
      if (j > 0) mass = static_cast<double>(ExpExtended(first - ChildFineSurprise(node, v)));
    } else {
      std::uint32_t before = step < 0 ? v + 1 : v - 1;
      mass *= step < 0 ? before * c / ((node.r - before + 1.0) * q)
                       : (node.r - before) * q / ((before + 1.0) * c);
    }
    sum += mass;
    v = static_cast<std::uint32_t>(static_cast<std::int64_t>(v) + step);
  }
  if (node.last) walk.result.outcomes_visited += count;
  return ScaledProbability(MassOf(walk, node, start), sum);
}

// Where the walk of the last two categories stands in one ordering. With
// r fixed, each statistic is a convex function of the count j of the first
// of them, so the outcomes at least as extreme as the observed one are two
// runs, from j = 0 up and from j = r down, around a run of outcomes that
// are not (any of the three may be empty). The outcomes of that middle run
// are never visited.
enum class Stretch : std::uint8_t { kLeft, kMiddle, kRight, kDone };

// The outcomes of a narrow last node, from both ends inward while some
// ordering still finds them extreme.
void WalkNarrowLeaves(NetworkWalk& walk, const Node& node) {
  const std::uint32_t r = node.r;
  Stretch stretch[kStatisticCount];
  for (int o = 0; o < kStatisticCount; ++o)
    stretch[o] = (node.active & (1u << o)) != 0 ? Stretch::kLeft : Stretch::kDone;

  // Judges the outcome j, r - j in the orderings whose stretch asks for it,
  // counts it where extreme, and moves each stretch on.
  auto visit = [&](std::uint32_t j, bool from_left) {
    Shares value = ChildShares(node, j);
    Mark marks[kOrderingCount] = {Mark::kNotExtreme, Mark::kNotExtreme, Mark::kNotExtreme,
                                  Mark::kNotExtreme};
    bool any_extreme = false;
    bool judged[kStatisticCount] = {};
    for (int o = 0; o < kStatisticCount; ++o) {
      if (stretch[o] == Stretch::kDone) continue;
      judged[o] = true;
      marks[o] = JudgeLeaf(walk, node, j, value, o);
      bool extreme = marks[o] != Mark::kNotExtreme;
      if (from_left) {
        if (stretch[o] == Stretch::kLeft && !extreme) stretch[o] = Stretch::kMiddle;
        if (stretch[o] == Stretch::kMiddle && extreme) stretch[o] = Stretch::kRight;
      } else if (stretch[o] == Stretch::kMiddle && !extreme) {
        stretch[o] = Stretch::kDone;
      }
      any_extreme = any_extreme || extreme;
    }
    if (any_extreme) walk.marked.Add(marks, MassOf(walk, node, j));
    for (int o = 0; o < kStatisticCount; ++o) {
      if (!judged[o]) continue;
      if (marks[o] == Mark::kNotExtreme) walk.result.less_extreme |= 1u << o;
    }
    ++walk.result.outcomes_visited;
    Tick(walk);
  };
  auto any = [&](Stretch which) {
    return stretch[0] == which || stretch[1] == which || stretch[2] == which;
  };

  std::uint32_t j = 0;
  for (; j <= r; ++j) {
    visit(j, true);
    if (!any(Stretch::kLeft)) {
      ++j;
      break;
    }
  }
  // The orderings in their right run need every outcome from here to r.
  for (std::uint32_t i = r + 1; i-- > j;) {
    if (!any(Stretch::kMiddle) && !any(Stretch::kRight)) break;
    visit(i, false);
  }
}

// The distances of each active ordering's first surely extreme child on a
// side, span + 1 for none, and the farthest of them.
struct SideStarts {
  std::array<std::uint64_t, kStatisticCount> first_distance;
  std::uint64_t farthest = 0;
};

SideStarts FindSideStarts(NetworkWalk& walk, const Node& node, std::uint32_t inner,
                          std::uint64_t span, int step) {
  SideStarts starts;
  std::uint64_t guess = 0;
  for (int o = 0; o < kStatisticCount; ++o) {
    starts.first_distance[o] = span + 1;
    if ((node.active & (1u << o)) == 0) continue;
    starts.first_distance[o] = FirstExtreme(walk, node, o, inner, span, step, guess);
    if (starts.first_distance[o] <= span) guess = starts.first_distance[o];
    starts.farthest = std::max(starts.farthest, starts.first_distance[o]);
  }
  return starts;
}

// One side of a wide last node, from `inner` (next to the middle window)
// out to `outer`: outcomes short of every run are extreme in no ordering
// and skipped; each run's first outcome is judged (it may be tied rather
// than beyond); the rest of each run is beyond, summed from the farthest
// start outward and extended inward start by start.
void WalkLeafSide(NetworkWalk& walk, const Node& node, std::uint32_t inner, std::uint32_t outer,
                  int step) {
  const std::uint64_t span = step < 0 ? inner - outer : outer - inner;
  auto at = [&](std::uint64_t distance) {
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(inner) +
                                      step * static_cast<std::int64_t>(distance));
  };
  const SideStarts found = FindSideStarts(walk, node, inner, span, step);
  std::array<std::pair<std::uint64_t, int>, kStatisticCount> starts;
  int runs = 0;
  for (int o = 0; o < kStatisticCount; ++o) {
    // The outcomes short of the run (inner itself at least) are skipped as
    // less extreme.
    if ((node.active & (1u << o)) != 0 && found.first_distance[o] > 0) walk.result.less_extreme |= 1u << o;
    if (found.first_distance[o] > span) continue;
    std::uint32_t v = at(found.first_distance[o]);
    Shares value = ChildShares(node, v);
    Mark marks[kOrderingCount] = {Mark::kNotExtreme, Mark::kNotExtreme, Mark::kNotExtreme,
                                  Mark::kNotExtreme};
    marks[o] = JudgeLeaf(walk, node, v, value, o);
    if (marks[o] != Mark::kNotExtreme) walk.marked.Add(marks, MassOf(walk, node, v));
    NoteLessExtreme(walk, 1u << o, marks);
    ++walk.result.outcomes_visited;
    starts[runs++] = {found.first_distance[o] + 1, o};
  }
  // Farthest start first (three at most: insertion).
  for (int j = 1; j < runs; ++j) {
    for (int i = j; i > 0 && starts[i - 1].first < starts[i].first; --i)
      std::swap(starts[i - 1], starts[i]);
  }
  // Each piece between two starts (the farthest one out to the end) is
  // beyond in the orderings of its run and of every run nearer the middle.
  unsigned orderings = 0;
  for (int j = 0; j < runs; ++j) orderings |= 1u << starts[j].second;
  std::uint64_t from = span + 1;  // the pieces summed cover the outcomes from here out
  for (int j = 0; j < runs; ++j) {
    const std::uint64_t start = starts[j].first;
    if (j == 0) {
      if (start <= span) CountBeyond(walk, orderings, SumTail(walk, node, at(start), step));
      from = start;
    } else if (start < from) {
      CountBeyond(walk, orderings, SumRun(walk, node, at(start), from - start, step));
      from = start;
    }
    orderings &= ~(1u << starts[j].second);
  }
}

// A node of the last level: its outcomes, none of them opened further.
void WalkLastNode(NetworkWalk& walk, const Node& node) {
  const std::uint32_t r = node.r;
  if (r < kWideNode) {
    WalkNarrowLeaves(walk, node);
  } else {
    // The middle window holds every least outcome of the three orderings.
    std::uint32_t centre = Centre(walk, node.i, r);
    std::uint32_t lo = centre >= 3 ? centre - 3 : 0;
    std::uint32_t hi = std::min(r, centre + 3);
    for (std::uint32_t v = lo; v <= hi; ++v) VisitLeaf(walk, node, v);
    if (lo > 0) WalkLeafSide(walk, node, lo - 1, 0, -1);
    if (hi < r) WalkLeafSide(walk, node, hi + 1, r, +1);
  }
  Resolve(walk, ProbabilityOf(walk, Plus(node.past_mass, MassAt(walk.lump[node.i], r))));
}

// A node above the last level as a frame: the children it visits, and
// what its sides add at once. On each side, children short of a run may
// hold extreme outcomes and are visited, as are the runs' first children;
// past the farthest of them every ordering finds every child beyond.
Frame OpenFrame(NetworkWalk& walk, const Node& node) {
  ++walk.result.nodes_visited;
  Frame frame{node};
  const std::uint32_t r = node.r;
  if (r < kWideNode) {
    frame.segments[frame.segment_count++] = Segment{0, r + 1, 1};
    return frame;
  }
  std::uint32_t centre = Centre(walk, node.i, r);
  std::uint32_t lo = centre >= 3 ? centre - 3 : 0;
  std::uint32_t hi = std::min(r, centre + 3);
  frame.segments[frame.segment_count++] = Segment{lo, hi - lo + 1, 1};
  auto side = [&](std::uint32_t inner, std::uint32_t outer, int step) {
    const std::uint64_t span = step < 0 ? inner - outer : outer - inner;
    const SideStarts found = FindSideStarts(walk, node, inner, span, step);
    frame.segments[frame.segment_count++] =
        Segment{inner, static_cast<std::uint32_t>(std::min(found.farthest, span) + 1), step};
    if (found.farthest >= span) return;
    const std::uint32_t start = static_cast<std::uint32_t>(
        static_cast<std::int64_t>(inner) + step * static_cast<std::int64_t>(found.farthest + 1));
    const Probability mass = SumTail(walk, node, start, step);
    CountBeyond(walk, node.active, mass);
    Resolve(walk, mass);
  };
  if (lo > 0) side(lo - 1, 0, -1);
  if (hi < r) side(hi + 1, r, +1);
  return frame;
}

// Every node from the root: frames on a stack, each visiting its children
// in turn; a child opened above the last level becomes the next frame.
void WalkTree(NetworkWalk& walk, const Node& root) {
  if (root.last) {
    WalkLastNode(walk, root);
    return;
  }
  std::vector<Frame> stack;
  stack.push_back(OpenFrame(walk, root));
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const std::uint32_t category = walk.category[frame.node.i];
    if (frame.child_set) {
      ClearCount(walk, category);
      frame.child_set = false;
    }
    while (frame.segment < frame.segment_count &&
           frame.visited == frame.segments[frame.segment].count) {
      ++frame.segment;
      frame.visited = 0;
    }
    if (frame.segment == frame.segment_count) {
      stack.pop_back();
      continue;
    }
    const Segment& segment = frame.segments[frame.segment];
    const std::uint32_t v = static_cast<std::uint32_t>(
        static_cast<std::int64_t>(segment.start) +
        segment.step * static_cast<std::int64_t>(frame.visited));
    ++frame.visited;
    std::optional<Node> child = VisitChild(walk, frame.node, v);
    if (!child) continue;
    SetCount(walk, category, v);
    if (child->last) {
      WalkLastNode(walk, *child);
      ClearCount(walk, category);
      continue;
    }
    frame.child_set = true;
    Frame opened = OpenFrame(walk, *child);
    stack.push_back(std::move(opened));  // frame is not used past this point
  }
}

}  // namespace

Tallies WalkNetwork(const Setup& setup, Pace& pace) {
  const std::uint32_t k = setup.k;
  ShareTables shares = MakeShareTables(setup);
  NetworkWalk walk{setup, {}, {}, {}, {}, {}, {}, {}, std::vector<std::uint32_t>(k, 0),
                   {}, {}, {}, {}, 0, {}, {}, pace, {}};
  // Categories with the largest weights first: the two walked outcome by
  // outcome then hold the fewest counts, and the least weight is last.
  walk.category.resize(k);
  std::iota(walk.category.begin(), walk.category.end(), 0u);
  std::stable_sort(walk.category.begin(), walk.category.end(), [&](std::uint32_t a, std::uint32_t b) {
    return setup.order.null.weights[a] > setup.order.null.weights[b];
  });
  for (std::uint32_t c : walk.category) walk.table.push_back(shares.of_category[c]);

  // Lumps: weights summed from each level on.
  const ExactNull& null = setup.order.null;
  walk.lump.resize(k);
  mpz_class tail = 0;
  for (std::uint32_t i = k; i-- > 1;) {
    tail += null.weights[walk.category[i]];
    Expectation e = MakeExpectation(setup.n, tail, null.total_weight);
    if (std::uint64_t{k} * (setup.n + 1) * 2 <= kTableEntryLimit) {
      walk.lump[i] = MakeTermTable(e, 0, static_cast<std::uint32_t>(setup.n));
    } else {
      walk.lump[i] = MakeTermTable(e, 1, 0);  // computed when asked for
    }
  }
  mpz_class remaining = null.total_weight;
  for (std::uint32_t i = 0; i < k; ++i) {
    const mpz_class& weight = null.weights[walk.category[i]];
    walk.split.push_back({mpq_class(weight, remaining).get_d(),
                          mpq_class(remaining - weight, remaining).get_d()});
    remaining -= weight;
  }
  // The level order differs from the categories', so the sums are formed
  // here, each carried as ZeroSuffix carries its own; the filter's surprise
  // is the extended one rounded, and the product e^-surprise.
  walk.zero_middle.assign(k + 1, Shares{});
  walk.zero_suffix.assign(k + 1, Shares{});
  walk.zero_suffix_mass.assign(k + 1, Mass{});
  double chi = 0, chi_carry = 0, deviance = 0, deviance_carry = 0;
  long double surprise = 0, surprise_carry = 0;
  std::vector<long double> middle_surprise(k + 1, 0);
  auto carried = [](auto& total, auto& error, auto x) {
    const auto t = total + x;
    error += std::fabs(total) >= std::fabs(x) ? (total - t) + x : (x - t) + total;
    total = t;
  };
  for (std::uint32_t i = k; i-- > 0;) {
    const Terms zero = TermsAt(*walk.table[i], 0);
    if (i + 1 < k) {
      carried(chi, chi_carry, zero.chi);
      carried(deviance, deviance_carry, zero.deviance);
      carried(surprise, surprise_carry, FineSurprise(zero));
      middle_surprise[i] = surprise + surprise_carry;
      walk.zero_middle[i] = Shares{{chi + chi_carry, deviance + deviance_carry,
                                    static_cast<double>(middle_surprise[i])}};
    }
    const Terms last = TermsAt(*walk.table[k - 1], 0);
    const long double suffix_surprise = middle_surprise[i] + FineSurprise(last);
    walk.zero_suffix[i] = Shares{{walk.zero_middle[i][kChi] + last.chi,
                                  walk.zero_middle[i][kDeviance] + last.deviance,
                                  static_cast<double>(suffix_surprise)}};
    walk.zero_suffix_mass[i] = Mass{suffix_surprise, ExpExtended(-suffix_surprise)};
  }
  const bool last = k == 2;
  WalkTree(walk, Node{0, static_cast<std::uint32_t>(setup.n), Shares{}, Mass{}, 0b111, last,
                      walk.table[0], last ? walk.table[k - 1] : &walk.lump[1]});
  walk.marked.AddTo(walk.result.tally);
  walk.result.less_extreme_known = true;
  return walk.result;
}

}  // namespace engine::multinomial
