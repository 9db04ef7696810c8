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
#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

#include "engine/multinomial_methods.h"

namespace engine::multinomial {

namespace {

constexpr std::uint32_t kCheckInterval = 1 << 14;

using Shares = std::array<double, kStatisticCount>;

Shares SharesOf(const Terms& t) { return Shares{t.chi, t.deviance, t.surprise}; }

struct NetworkWalk {
  const Setup& setup;
  // Level i fixes category category[i]; its shares, and the lump of the
  // categories from level i on (lump[k - 1] is the last category itself).
  std::vector<std::uint32_t> category;
  std::vector<const TermTable*> table;
  std::vector<TermTable> lump;
  // rest[i][j]: the shares at count 0 of the categories of levels i..k-1
  // other than level j, summed: a corner of level i puts everything in j.
  std::vector<std::vector<Shares>> rest;
  std::vector<std::uint32_t> y;  // by category
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

// Where the walk of the last two categories stands in one ordering. With
// r fixed, each statistic is a convex function of the count j of the first
// of them, so the outcomes at least as extreme as the observed one are two
// runs, from j = 0 up and from j = r down, around a run of outcomes that
// are not (any of the three may be empty). The outcomes of that middle run
// are never visited.
enum class Stretch : std::uint8_t { kLeft, kMiddle, kRight, kDone };

// The two last categories for the remaining total r: their outcomes from
// both ends inward, while some ordering still finds them extreme.
void WalkLeaves(NetworkWalk& walk, std::uint32_t r, const Shares& past, unsigned active) {
  const Setup& setup = walk.setup;
  const std::uint32_t k = setup.k;
  const TermTable& first = *walk.table[k - 2];
  const TermTable& second = *walk.table[k - 1];
  const std::uint32_t a = walk.category[k - 2];
  const std::uint32_t b = walk.category[k - 1];
  Stretch stretch[kStatisticCount];
  for (int o = 0; o < kStatisticCount; ++o)
    stretch[o] = (active & (1u << o)) != 0 ? Stretch::kLeft : Stretch::kDone;

  // Judges the outcome j, r - j in the orderings whose stretch asks for it,
  // counts it where extreme, and moves each stretch on.
  auto visit = [&](std::uint32_t j, bool from_left) {
    Terms s = TermsAt(first, j);
    Terms t = TermsAt(second, r - j);
    double value[kStatisticCount] = {past[kChi] + s.chi + t.chi,
                                     past[kDeviance] + s.deviance + t.deviance,
                                     past[kSurprise] + s.surprise + t.surprise};
    walk.y[a] = j;
    walk.y[b] = r - j;
    double probability = -1;
    for (int o = 0; o < kStatisticCount; ++o) {
      if (stretch[o] == Stretch::kDone) continue;
      Verdict verdict = Judge(value[o], setup.margin[o]);
      Mark mark = verdict == Verdict::kUndecided
                      ? JudgeOutcome(setup, static_cast<Statistic>(o), value[o], walk.y)
                      : MarkOf(verdict);
      bool extreme = mark != Mark::kNotExtreme;
      if (from_left) {
        if (stretch[o] == Stretch::kLeft && !extreme) stretch[o] = Stretch::kMiddle;
        if (stretch[o] == Stretch::kMiddle && extreme) stretch[o] = Stretch::kRight;
      } else if (stretch[o] == Stretch::kMiddle && !extreme) {
        stretch[o] = Stretch::kDone;
      }
      if (extreme) {
        if (probability < 0) probability = std::exp(setup.total_surprise - value[kSurprise]);
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
  walk.resolved.Add(
      std::exp(setup.total_surprise - (past[kSurprise] + TermsAt(walk.lump[k - 2], r).surprise)));
}

void WalkNode(NetworkWalk& walk, std::uint32_t i, std::uint32_t r, const Shares& past,
              unsigned active) {
  const Setup& setup = walk.setup;
  const std::uint32_t k = setup.k;
  if (i + 2 == k) {
    WalkLeaves(walk, r, past, active);
    return;
  }
  ++walk.result.nodes_visited;
  const TermTable& table = *walk.table[i];
  const TermTable& lump = walk.lump[i + 1];
  for (std::uint32_t v = 0; v <= r; ++v) {
    const std::uint32_t m = r - v;
    Shares own = SharesOf(TermsAt(table, v));
    Shares child;
    for (int o = 0; o < kStatisticCount; ++o) child[o] = past[o] + own[o];
    Shares low = SharesOf(TermsAt(lump, m));
    double mass = -1;  // the children's probability, formed when needed
    unsigned open = 0;
    for (int o = 0; o < kStatisticCount; ++o) {
      if ((active & (1u << o)) == 0) continue;
      if (child[o] + low[o] > setup.margin[o].above) {
        if (mass < 0) mass = std::exp(setup.total_surprise - (child[kSurprise] + low[kSurprise]));
        walk.result.tally[o].beyond.Add(mass);
        continue;
      }
      // The largest completion: all of m in one of the later categories.
      double high = 0;
      for (std::uint32_t j = i + 1; j < k; ++j) {
        double corner = child[o] + (SharesOf(TermsAt(*walk.table[j], m))[o] + walk.rest[i + 1][j][o]);
        high = std::max(high, corner);
      }
      if (high < setup.margin[o].below) continue;
      open |= 1u << o;
    }
    walk.y[walk.category[i]] = v;
    if (open != 0) {
      WalkNode(walk, i + 1, m, child, open);
    } else {
      if (mass < 0) mass = std::exp(setup.total_surprise - (child[kSurprise] + low[kSurprise]));
      walk.resolved.Add(mass);
      Tick(walk);
    }
  }
}

}  // namespace

Tallies WalkNetwork(const Setup& setup, Pace& pace) {
  const std::uint32_t k = setup.k;
  ShareTables shares = MakeShareTables(setup);
  NetworkWalk walk{setup, {}, {}, {}, {}, std::vector<std::uint32_t>(k, 0), {}, pace, {}};
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
