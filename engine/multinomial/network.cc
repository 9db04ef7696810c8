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
//     completions they are largest at a corner, all m in one category.
// Where the lower bound is surely beyond the observed statistic, the node's
// whole probability counts at once; where the upper bound is surely below
// it, nothing does; otherwise the walk goes on into the node's children.
// The last two categories are walked outcome by outcome.
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
// it may be tied rather than beyond.
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
// A sum of a run of children stops when the rest is below this share of
// it, or below kNegligibleMass.
constexpr double kNegligibleShare = 0x1p-50;
constexpr double kNegligibleMass = 1e-320;

using Shares = std::array<double, kStatisticCount>;

Shares SharesOf(const Terms& t) { return Shares{t.chi, t.deviance, t.surprise}; }

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
  // rest[i][j]: the shares at count 0 of the categories of levels i..k-1
  // other than level j, summed: a corner of level i puts everything in j.
  std::vector<std::vector<Shares>> rest;
  std::vector<std::uint32_t> y;  // by category
  // Last level, by total r (made when first needed, within a budget):
  // for j up to the centre floor(r q), the probability of the outcomes from
  // j down to 0 over that of j; beyond it, from j up to r.
  std::unordered_map<std::uint32_t, std::vector<double>> tail_ratio;
  std::uint64_t tail_entries = 0;
  Tallies result;
  Pace& pace;
  CompensatedSum resolved;  // probability of the completions decided
  std::uint32_t countdown = kCheckInterval;
};

// A node: level i, total r still to place from category[i] on, the shares
// of the categories before it, and the orderings not yet decided.
struct Node {
  std::uint32_t i;
  std::uint32_t r;
  Shares past;
  unsigned active;
  bool last;                // its children are outcomes
  const TermTable* own;     // category[i]
  const TermTable* others;  // the lump after it, or the last category
};

void Tick(NetworkWalk& walk) {
  if (--walk.countdown == 0) {
    walk.countdown = kCheckInterval;
    CheckPace(walk.pace, walk.resolved.Value());
  }
}

// A child's shares: the statistics of an outcome at the last level, lower
// bounds of its completions' above it.
Shares ChildShares(const Node& node, std::uint32_t v) {
  Shares own = SharesOf(TermsAt(*node.own, v));
  Shares others = SharesOf(TermsAt(*node.others, node.r - v));
  Shares sum;
  for (int o = 0; o < kStatisticCount; ++o) sum[o] = node.past[o] + own[o] + others[o];
  return sum;
}

double MassOf(const NetworkWalk& walk, const Shares& shares) {
  return std::exp(walk.setup.total_surprise - shares[kSurprise]);
}

void SetOutcome(NetworkWalk& walk, const Node& node, std::uint32_t v) {
  const std::uint32_t k = walk.setup.k;
  walk.y[walk.category[k - 2]] = v;
  walk.y[walk.category[k - 1]] = node.r - v;
}

Mark JudgeLeaf(NetworkWalk& walk, const Node& node, std::uint32_t v, const Shares& value, int o) {
  Verdict verdict = Judge(value[o], walk.setup.margin[o]);
  if (verdict != Verdict::kUndecided) return MarkOf(verdict);
  SetOutcome(walk, node, v);
  return JudgeOutcome(walk.setup, static_cast<Statistic>(o), value[o], walk.y);
}

void VisitLeaf(NetworkWalk& walk, const Node& node, std::uint32_t v) {
  Shares value = ChildShares(node, v);
  double probability = MassOf(walk, value);
  for (int o = 0; o < kStatisticCount; ++o) {
    if ((node.active & (1u << o)) == 0) continue;
    Count(walk.result.tally[o], JudgeLeaf(walk, node, v, value, o), probability);
  }
  ++walk.result.outcomes_visited;
  Tick(walk);
}

void WalkNode(NetworkWalk& walk, std::uint32_t i, std::uint32_t r, const Shares& past,
              unsigned active);

void VisitChild(NetworkWalk& walk, const Node& node, std::uint32_t v) {
  const Setup& setup = walk.setup;
  const std::uint32_t k = setup.k;
  const std::uint32_t m = node.r - v;
  Shares own = SharesOf(TermsAt(*node.own, v));
  Shares child;
  for (int o = 0; o < kStatisticCount; ++o) child[o] = node.past[o] + own[o];
  Shares low = SharesOf(TermsAt(*node.others, m));
  double mass = -1;  // the children's probability, formed when needed
  unsigned open = 0;
  for (int o = 0; o < kStatisticCount; ++o) {
    if ((node.active & (1u << o)) == 0) continue;
    if (child[o] + low[o] > setup.margin[o].above) {
      if (mass < 0) mass = std::exp(setup.total_surprise - (child[kSurprise] + low[kSurprise]));
      walk.result.tally[o].beyond.Add(mass);
      continue;
    }
    // The largest completion: all of m in one of the later categories.
    double high = 0;
    for (std::uint32_t j = node.i + 1; j < k; ++j) {
      double corner =
          child[o] + (SharesOf(TermsAt(*walk.table[j], m))[o] + walk.rest[node.i + 1][j][o]);
      high = std::max(high, corner);
    }
    if (high < setup.margin[o].below) continue;
    open |= 1u << o;
  }
  walk.y[walk.category[node.i]] = v;
  if (open != 0) {
    WalkNode(walk, node.i + 1, m, child, open);
  } else {
    if (mass < 0) mass = std::exp(setup.total_surprise - (child[kSurprise] + low[kSurprise]));
    walk.resolved.Add(mass);
    Tick(walk);
  }
}

void Visit(NetworkWalk& walk, const Node& node, std::uint32_t v) {
  if (node.last) {
    VisitLeaf(walk, node, v);
  } else {
    VisitChild(walk, node, v);
  }
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

double SumOutward(NetworkWalk& walk, const Node& node, std::uint32_t start, int step);

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
  constexpr std::uint64_t kBudget = std::uint64_t{1} << 23;
  auto found = walk.tail_ratio.find(r);
  if (found != walk.tail_ratio.end()) return &found->second;
  if (walk.tail_entries + r + 1 > kBudget) return nullptr;
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
double SumTail(NetworkWalk& walk, const Node& node, std::uint32_t start, int step) {
  if (node.last) {
    if (const std::vector<double>* ratios = LastTailRatios(walk, node.r)) {
      ++walk.result.outcomes_visited;
      return MassOf(walk, ChildShares(node, start)) * (*ratios)[start];
    }
  }
  double ratio =
      BinomialTailRatio(node.r, start, walk.split[node.i][0], walk.split[node.i][1], step > 0);
  if (std::isnan(ratio)) return SumOutward(walk, node, start, step);
  if (node.last) ++walk.result.outcomes_visited;
  Tick(walk);
  return MassOf(walk, ChildShares(node, start)) * ratio;
}

// The probability of the children from `start` outward to the end, summed
// while the rest is not negligible. The probabilities of consecutive
// children are in the ratio of a binomial split of r: each is the one
// before times that ratio, formed afresh every kAnchor children.
double SumOutward(NetworkWalk& walk, const Node& node, std::uint32_t start, int step) {
  constexpr int kAnchor = 256;
  const double q = walk.split[node.i][0];
  const double c = walk.split[node.i][1];
  CompensatedSum sum;
  double mass = 0;
  int since_anchor = kAnchor;
  for (std::uint32_t v = start;; v = static_cast<std::uint32_t>(static_cast<std::int64_t>(v) + step)) {
    if (since_anchor == kAnchor) {
      mass = MassOf(walk, ChildShares(node, v));
      since_anchor = 0;
    }
    sum.Add(mass);
    if (node.last) ++walk.result.outcomes_visited;
    if (step < 0 ? v == 0 : v == node.r) break;
    // The next child's probability over this one's.
    double ratio = step < 0 ? v * c / ((node.r - v + 1.0) * q) : (node.r - v) * q / ((v + 1.0) * c);
    if (ratio < 1) {
      double rest = mass * ratio / (1 - ratio);
      if (rest <= kNegligibleShare * sum.Value() || rest < kNegligibleMass) break;
    }
    mass *= ratio;
    ++since_anchor;
  }
  Tick(walk);
  return sum.Value();
}

// The probability of `count` children from `start` outward, all of them.
double SumRun(NetworkWalk& walk, const Node& node, std::uint32_t start, std::uint64_t count,
              int step) {
  constexpr std::uint64_t kAnchor = 256;
  const double q = walk.split[node.i][0];
  const double c = walk.split[node.i][1];
  CompensatedSum sum;
  double mass = 0;
  std::uint32_t v = start;
  for (std::uint64_t j = 0; j < count; ++j) {
    if (j % kAnchor == 0) {
      mass = MassOf(walk, ChildShares(node, v));
    } else {
      std::uint32_t before = step < 0 ? v + 1 : v - 1;
      mass *= step < 0 ? before * c / ((node.r - before + 1.0) * q)
                       : (node.r - before) * q / ((before + 1.0) * c);
    }
    sum.Add(mass);
    v = static_cast<std::uint32_t>(static_cast<std::int64_t>(v) + step);
  }
  if (node.last) walk.result.outcomes_visited += count;
  return sum.Value();
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
  const Setup& setup = walk.setup;
  const std::uint32_t r = node.r;
  Stretch stretch[kStatisticCount];
  for (int o = 0; o < kStatisticCount; ++o)
    stretch[o] = (node.active & (1u << o)) != 0 ? Stretch::kLeft : Stretch::kDone;

  // Judges the outcome j, r - j in the orderings whose stretch asks for it,
  // counts it where extreme, and moves each stretch on.
  auto visit = [&](std::uint32_t j, bool from_left) {
    Shares value = ChildShares(node, j);
    double probability = -1;
    for (int o = 0; o < kStatisticCount; ++o) {
      if (stretch[o] == Stretch::kDone) continue;
      Mark mark = JudgeLeaf(walk, node, j, value, o);
      bool extreme = mark != Mark::kNotExtreme;
      if (from_left) {
        if (stretch[o] == Stretch::kLeft && !extreme) stretch[o] = Stretch::kMiddle;
        if (stretch[o] == Stretch::kMiddle && extreme) stretch[o] = Stretch::kRight;
      } else if (stretch[o] == Stretch::kMiddle && !extreme) {
        stretch[o] = Stretch::kDone;
      }
      if (extreme) {
        if (probability < 0) probability = MassOf(walk, value);
        Count(walk.result.tally[o], mark, probability);
      }
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
  walk.resolved.Add(std::exp(setup.total_surprise -
                             (node.past[kSurprise] + TermsAt(walk.lump[node.i], r).surprise)));
}

// One side of a wide node, from `inner` (next to the middle window) out to
// `outer`: each ordering's run of surely extreme children is found, the
// children short of the first run are visited, the rest summed as beyond.
void WalkSide(NetworkWalk& walk, const Node& node, std::uint32_t inner, std::uint32_t outer,
              int step) {
  const std::uint64_t span = step < 0 ? inner - outer : outer - inner;
  auto at = [&](std::uint64_t distance) {
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(inner) +
                                      step * static_cast<std::int64_t>(distance));
  };
  // Each active ordering's first surely extreme child, as a distance from
  // inner (span + 1: none).
  std::array<std::uint64_t, kStatisticCount> first_distance;
  std::uint64_t farthest = 0;
  std::uint64_t guess = 0;
  for (int o = 0; o < kStatisticCount; ++o) {
    first_distance[o] = span + 1;
    if ((node.active & (1u << o)) == 0) continue;
    first_distance[o] = FirstExtreme(walk, node, o, inner, span, step, guess);
    if (first_distance[o] <= span) guess = first_distance[o];
    farthest = std::max(farthest, first_distance[o]);
  }
  if (node.last) {
    // Outcomes short of every run are extreme in no ordering: skipped.
    // Each run's first outcome is judged (it may be tied rather than
    // beyond); the rest of each run is beyond, summed from the farthest
    // start outward and extended inward start by start.
    std::array<std::pair<std::uint64_t, int>, kStatisticCount> starts;
    int runs = 0;
    for (int o = 0; o < kStatisticCount; ++o) {
      if (first_distance[o] > span) continue;
      std::uint32_t v = at(first_distance[o]);
      Shares value = ChildShares(node, v);
      Count(walk.result.tally[o], JudgeLeaf(walk, node, v, value, o), MassOf(walk, value));
      ++walk.result.outcomes_visited;
      starts[runs++] = {first_distance[o] + 1, o};
    }
    // Farthest start first (three at most: insertion).
    for (int j = 1; j < runs; ++j) {
      for (int i = j; i > 0 && starts[i - 1].first < starts[i].first; --i)
        std::swap(starts[i - 1], starts[i]);
    }
    double beyond = 0;
    std::uint64_t from = span + 1;  // beyond sums the outcomes from here out
    for (int j = 0; j < runs; ++j) {
      auto [start, o] = starts[j];
      if (j == 0) {
        if (start <= span) beyond = SumTail(walk, node, at(start), step);
        from = start;
      } else if (start < from) {
        beyond += SumRun(walk, node, at(start), from - start, step);
        from = start;
      }
      walk.result.tally[o].beyond.Add(beyond);
    }
    return;
  }
  // Children short of a run may hold extreme outcomes: visited, as are the
  // runs' first children; past the farthest of them every ordering finds
  // every child beyond.
  for (std::uint64_t d = 0; d <= std::min(farthest, span); ++d) Visit(walk, node, at(d));
  if (farthest >= span) return;
  double mass = SumTail(walk, node, at(farthest + 1), step);
  for (int o = 0; o < kStatisticCount; ++o) {
    if ((node.active & (1u << o)) != 0) walk.result.tally[o].beyond.Add(mass);
  }
  walk.resolved.Add(mass);
}

void WalkNode(NetworkWalk& walk, std::uint32_t i, std::uint32_t r, const Shares& past,
              unsigned active) {
  const std::uint32_t k = walk.setup.k;
  const bool last = i + 2 == k;
  Node node{i, r, past, active, last, walk.table[i], last ? walk.table[k - 1] : &walk.lump[i + 1]};
  if (!last) ++walk.result.nodes_visited;
  if (r < kWideNode) {
    if (last) {
      WalkNarrowLeaves(walk, node);
    } else {
      for (std::uint32_t v = 0; v <= r; ++v) VisitChild(walk, node, v);
    }
    return;
  }
  // The middle window holds every least child of the three orderings.
  std::uint32_t centre = Centre(walk, i, r);
  std::uint32_t lo = centre >= 3 ? centre - 3 : 0;
  std::uint32_t hi = std::min(r, centre + 3);
  for (std::uint32_t v = lo; v <= hi; ++v) Visit(walk, node, v);
  if (lo > 0) WalkSide(walk, node, lo - 1, 0, -1);
  if (hi < r) WalkSide(walk, node, hi + 1, r, +1);
  if (last) {
    walk.resolved.Add(std::exp(walk.setup.total_surprise -
                               (past[kSurprise] + TermsAt(walk.lump[i], r).surprise)));
  }
}

}  // namespace

Tallies WalkNetwork(const Setup& setup, Pace& pace) {
  const std::uint32_t k = setup.k;
  ShareTables shares = MakeShareTables(setup);
  NetworkWalk walk{setup, {}, {}, {}, {}, {}, std::vector<std::uint32_t>(k, 0), {}, 0, {}, pace, {}};
  // Categories with the largest expectations first: the two walked outcome
  // by outcome then hold the fewest counts.
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
  walk.rest.assign(k, std::vector<Shares>(k, Shares{0, 0, 0}));
  for (std::uint32_t i = 1; i < k; ++i) {
    for (std::uint32_t j = i; j < k; ++j) {
      for (std::uint32_t l = i; l < k; ++l) {
        if (l == j) continue;
        Shares zero = SharesOf(TermsAt(*walk.table[l], 0));
        for (int o = 0; o < kStatisticCount; ++o) walk.rest[i][j][o] += zero[o];
      }
    }
  }
  WalkNode(walk, 0, static_cast<std::uint32_t>(setup.n), Shares{0, 0, 0}, 0b111);
  return walk.result;
}

}  // namespace engine::multinomial
