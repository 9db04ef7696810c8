#include "engine/contingency/table_network.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>
#include <utility>

#include "engine/contingency/table_code.h"

namespace engine::table {
namespace {

constexpr std::uint32_t kCheckInterval = 1 << 12;
// Past values expanded at a time when the memory is short.
constexpr std::size_t kShortChunk = 64;

using NodeKey = std::vector<std::uint32_t>;  // the remaining sum of each row slot

struct NodeKeyHash {
  std::size_t operator()(const NodeKey& key) const {
    std::uint64_t h = 0x9e3779b97f4a7c15u;
    for (std::uint32_t v : key) {
      h ^= v + 0x9e3779b97f4a7c15u + (h << 6) + (h >> 2);
      h *= 0xbf58476d1ce4e5b9u;
    }
    return static_cast<std::size_t>(h ^ (h >> 31));
  }
};

// The past values waiting at a node: their keys as doubles and as codes,
// and the probability of all their completions; an open-addressing index
// by code merges equal keys.
struct Pending {
  std::vector<double> value;
  std::vector<long double> mass;
  std::vector<std::uint64_t> code;
  // The index by code: a hash tag in the high half, the number + 1 of a
  // past value in the low half; 0 when empty.
  std::vector<std::uint64_t> slots;
  std::size_t size() const { return value.size(); }
};

using Stage = std::unordered_map<NodeKey, Pending, NodeKeyHash>;

struct Frame;

struct Walk {
  Walk(const Shape& s, const KeyTables& k, const std::vector<StageBounds>& b, Pace& p)
      : shape(s), keys(k), bounds(b), pace(p) {}
  const Shape& shape;
  const KeyTables& keys;
  const std::vector<StageBounds>& bounds;
  Pace& pace;
  std::uint32_t R = 0;
  std::uint32_t W = 0;
  std::vector<std::uint32_t> slot_class;  // slots are the rows ordered by class
  std::vector<std::uint32_t> class_begin;  // slots of class q: class_begin[q] .. class_begin[q + 1]
  std::vector<Stage> stages;               // stage k holds the nodes before column k
  // Whether the batches of a stage walk their completions to the end (1)
  // or go on to the nodes of the next stage (0); -1 until the stage begins.
  std::vector<signed char> final_at;
  std::uint32_t final_stage = 0;  // from here on every stage is final
  // Two rows: ways[k][s], the completions from stage k of a node whose
  // smaller row holds s.
  std::vector<std::vector<double>> ways;
  std::vector<Frame> frames;
  NetworkTally tally;
  std::uint64_t bytes = 0;
  std::uint64_t max_memory = 0;
  long double settled = 0;  // of the whole probability, for progress
  std::uint32_t countdown = kCheckInterval;
};

void Tick(Walk& walk) {
  if (--walk.countdown == 0) {
    walk.countdown = kCheckInterval;
    CheckPace(walk.pace, static_cast<double>(walk.settled));
  }
}

// Adds a past value to a node, merging it with an equal key. The index
// keeps, beside each past value's number, the high bits of its code's hash:
// most probes of other codes end there.
void Insert(Walk& walk, Pending& node, double value, const std::uint64_t* code, long double mass) {
  const std::uint32_t W = walk.W;
  if (node.slots.size() < 2 * (node.size() + 1)) {
    std::size_t capacity = std::max<std::size_t>(16, node.slots.size() * 2);
    while (capacity < 2 * (node.size() + 1)) capacity *= 2;
    walk.bytes += 8 * (capacity - node.slots.size());
    node.slots.assign(capacity, 0);
    for (std::size_t i = 0; i < node.size(); ++i) {
      const std::uint64_t hash = HashCode(&node.code[i * W], W);
      std::size_t at = hash & (capacity - 1);
      while (node.slots[at] != 0) at = (at + 1) & (capacity - 1);
      node.slots[at] = (hash >> 32 << 32) | (i + 1);
    }
  }
  const std::size_t mask = node.slots.size() - 1;
  const std::uint64_t hash = HashCode(code, W);
  const std::uint64_t tag = hash >> 32 << 32;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const std::uint64_t slot = node.slots[at];
    if (slot == 0) {
      node.slots[at] = tag | (node.size() + 1);
      node.value.push_back(value);
      node.mass.push_back(mass);
      node.code.insert(node.code.end(), code, code + W);
      walk.bytes += 24 + 8 * std::uint64_t{W};
      return;
    }
    if ((slot >> 32 << 32) != tag) continue;
    const std::size_t index = static_cast<std::size_t>(slot & 0xffffffffu) - 1;
    if (EqualCodes(&node.code[index * W], code, W)) {
      node.mass[index] += mass;
      return;
    }
  }
}

// Sorts each class's slots in decreasing order: the node's key.
void Canonical(const Walk& walk, NodeKey& key) {
  for (std::size_t q = 0; q + 1 < walk.class_begin.size(); ++q) {
    std::sort(key.begin() + walk.class_begin[q], key.begin() + walk.class_begin[q + 1], std::greater<>());
  }
}

// A batch of past values of one node, sorted by key, with the suffix sums
// of their masses (from the most extreme down, so that a run at the top is
// summed to the precision of its own size) and the prefix sums (progress).
struct Batch {
  std::vector<double> value;
  std::vector<long double> mass;
  std::vector<std::uint64_t> code;
  std::vector<long double> above;  // above[i] = sum of mass[i..]
  std::vector<long double> below;  // below[i] = sum of mass[..i)
};

Batch SortedBatch(Pending& node, std::size_t begin, std::size_t end, std::uint32_t W) {
  std::vector<std::pair<double, std::uint32_t>> order(end - begin);
  for (std::size_t i = begin; i < end; ++i) order[i - begin] = {node.value[i], static_cast<std::uint32_t>(i)};
  std::sort(order.begin(), order.end());
  Batch batch;
  const std::size_t n = order.size();
  batch.value.resize(n);
  batch.mass.resize(n);
  batch.code.resize(n * W);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t from = order[i].second;
    batch.value[i] = order[i].first;
    batch.mass[i] = node.mass[from];
    std::copy_n(&node.code[from * W], W, &batch.code[i * W]);
  }
  batch.above.assign(n + 1, 0);
  ExtendedSum sum;
  for (std::size_t i = n; i-- > 0;) {
    sum.Add(batch.mass[i]);
    batch.above[i] = sum.Value();
  }
  batch.below.assign(n + 1, 0);
  for (std::size_t i = 0; i < n; ++i) batch.below[i + 1] = batch.below[i] + batch.mass[i];
  return batch;
}

// One level of the choice of a column's cells: the row slot it fills and
// its shares and bounds by count.
struct Level {
  std::uint32_t slot = 0;
  std::int64_t r = 0;     // the slot's remaining sum
  std::int64_t rest = 0;  // the remaining sums of the slots after it
  const CellRange* cell = nullptr;
  const CellRange* last_cell = nullptr;  // last stage: the slot's cell in the last column
  std::int64_t first = 0;                // the least count with bounds below
  std::vector<double> low, high;         // of the count's share and the row's completion, from first
  std::vector<double> d_low, d_high;     // over s = 0..: bounds of the levels from this one on
  // The state of the walk at this level.
  std::int64_t s = 0;  // the column's count still to place from here
  std::int64_t x_lo = 0, x_hi = 0, x = 0;
  std::vector<long double> weight;  // of each count, given the levels before
  long double mass = 0;             // of the sub-tree before this level
  double sum_low = 0, sum_high = 0, sum_value = 0;
  std::vector<std::uint64_t> code;  // of the cells before this level
  std::size_t lo = 0, hi = 0;       // past values still undecided
};

// The hypergeometric distribution of the count x of a slot holding r when
// the column places s among it and slots holding rest: C(r, x) C(rest,
// s - x) / C(r + rest, s), formed from the mode outward by the ratios of
// neighbours (each exact as a ratio of integers below 2^63) and normalised
// by its sum: no factorial is formed, and each weight is within a few
// hundred units in the last place of an extended real.
void SetWeights(Level& level) {
  const std::int64_t r = level.r, rest = level.rest, s = level.s;
  level.x_lo = std::max<std::int64_t>(0, s - rest);
  level.x_hi = std::min(r, s);
  const std::size_t size = static_cast<std::size_t>(level.x_hi - level.x_lo + 1);
  level.weight.resize(size);
  if (size == 1) {
    level.weight[0] = 1;
    return;
  }
  const std::int64_t mode =
      std::clamp<std::int64_t>((r + 1) * (s + 1) / (r + rest + 2), level.x_lo, level.x_hi);
  const std::size_t m = static_cast<std::size_t>(mode - level.x_lo);
  level.weight[m] = 1;
  long double total = 1;
  for (std::int64_t x = mode; x < level.x_hi; ++x) {
    const long double up = static_cast<long double>(static_cast<std::uint64_t>((r - x) * (s - x))) /
                           static_cast<long double>(static_cast<std::uint64_t>((x + 1) * (rest - s + x + 1)));
    const std::size_t i = static_cast<std::size_t>(x - level.x_lo);
    level.weight[i + 1] = level.weight[i] * up;
    if (level.weight[i + 1] == 0) break;
  }
  for (std::int64_t x = mode; x > level.x_lo; --x) {
    const long double down = static_cast<long double>(static_cast<std::uint64_t>(x * (rest - s + x))) /
                             static_cast<long double>(static_cast<std::uint64_t>((r - x + 1) * (s - x + 1)));
    const std::size_t i = static_cast<std::size_t>(x - level.x_lo);
    level.weight[i - 1] = level.weight[i] * down;
    if (level.weight[i - 1] == 0) break;
  }
  ExtendedSum sum;
  for (long double w : level.weight) sum.Add(w);
  total = sum.Value();
  for (long double& w : level.weight) w /= total;
}

// The choice of one column's cells, row slot by row slot, from the node
// whose remaining sums are `sums`: the levels with their shares and bounds.
struct Frame {
  std::uint32_t column = 0;
  NodeKey sums;
  std::vector<Level> levels;
};

// Sets up the levels of a frame: the slots from the largest remaining sum
// down (the later levels then place little, and their bounds are small
// tables), each count's share plus the bounds of its row's completion, and
// d_low[s], d_high[s]: the bounds of what the levels from t on add when
// they place s, by a pass from the last level up.
void SetUpFrame(const Walk& walk, Frame& frame) {
  const Shape& shape = walk.shape;
  const KeyTables& keys = walk.keys;
  const std::uint32_t R = walk.R, j = frame.column;
  const bool last = j + 2 == shape.c;
  const StageBounds& next = walk.bounds[j + 1];
  const std::int64_t C = shape.C[j];
  std::vector<std::uint32_t> order(R);
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return frame.sums[a] > frame.sums[b]; });
  frame.levels.resize(R);
  std::int64_t after = 0;
  for (std::uint32_t t = R; t-- > 0;) {
    Level& level = frame.levels[t];
    level.slot = order[t];
    level.r = frame.sums[level.slot];
    level.rest = after;
    after += level.r;
    const std::uint32_t q = walk.slot_class[level.slot];
    level.cell = &keys.Cell(q, j);
    level.last_cell = last ? &keys.Cell(q, j + 1) : nullptr;
    // The counts this slot can take with a completion: in its cell's range
    // and leaving what the row's later cells can hold.
    const std::int64_t rest_first = next.first[q];
    const std::int64_t rest_last = rest_first + static_cast<std::int64_t>(next.lower[q].size()) - 1;
    level.first = std::max({std::int64_t{0}, level.cell->lo, level.r - rest_last});
    const std::int64_t top = std::min({level.r, C, level.cell->hi, level.r - rest_first});
    const std::size_t size = top >= level.first ? static_cast<std::size_t>(top - level.first + 1) : 0;
    level.low.resize(size);
    level.high.resize(size);
    for (std::size_t i = 0; i < size; ++i) {
      const std::int64_t x = level.first + static_cast<std::int64_t>(i);
      const double share = keys.ValueAt(*level.cell, x);
      level.low[i] = share + next.Lower(q, level.r - x);
      level.high[i] = share + next.Upper(q, level.r - x);
    }
    level.code.resize(walk.W);
  }
  for (std::uint32_t t = R; t-- > 1;) {
    Level& level = frame.levels[t];
    const std::int64_t top = std::min(C, level.r + level.rest);
    level.d_low.assign(static_cast<std::size_t>(top + 1), INFINITY);
    level.d_high.assign(static_cast<std::size_t>(top + 1), -INFINITY);
    for (std::int64_t s = 0; s <= top; ++s) {
      const std::int64_t x_lo = std::max({std::int64_t{0}, s - level.rest, level.first});
      const std::int64_t x_hi =
          std::min({level.r, s, level.first + static_cast<std::int64_t>(level.low.size()) - 1});
      double lo = INFINITY, hi = -INFINITY;
      for (std::int64_t x = x_lo; x <= x_hi; ++x) {
        const std::size_t i = static_cast<std::size_t>(x - level.first);
        double a = level.low[i], b = level.high[i];
        if (t + 1 < R) {
          const Level& below = frame.levels[t + 1];
          const std::size_t rest = static_cast<std::size_t>(s - x);
          if (rest >= below.d_low.size()) continue;
          a += below.d_low[rest];
          b += below.d_high[rest];
        } else if (s != x) {
          continue;
        }
        lo = std::min(lo, a);
        hi = std::max(hi, b);
      }
      level.d_low[static_cast<std::size_t>(s)] = lo;
      level.d_high[static_cast<std::size_t>(s)] = hi;
    }
  }
}

// The past values of a batch at node `sums` of stage k, expanded over the
// cells of column k and, from the stage `final_stage` on, of every column
// after it, the batch going on together through the completions (no node
// is made past that stage: the few completions left are walked for the
// whole batch at once, which costs less than merging them).
void ExpandBatch(Walk& walk, std::uint32_t k, const NodeKey& sums, const Batch& batch) {
  const Shape& shape = walk.shape;
  const KeyTables& keys = walk.keys;
  const std::uint32_t R = walk.R, W = walk.W;
  const double K0 = keys.observed_value;
  const double mu = keys.margin;
  const std::size_t n = batch.value.size();
  auto first_above = [&](std::size_t lo, std::size_t hi, double threshold) {
    return static_cast<std::size_t>(std::upper_bound(batch.value.begin() + lo, batch.value.begin() + hi, threshold) -
                                    batch.value.begin());
  };
  auto first_at_least = [&](std::size_t lo, std::size_t hi, double threshold) {
    return static_cast<std::size_t>(std::lower_bound(batch.value.begin() + lo, batch.value.begin() + hi, threshold) -
                                    batch.value.begin());
  };
  std::vector<Frame>& frames = walk.frames;
  frames.resize(std::max<std::size_t>(frames.size(), shape.c - 1 - k));
  NodeKey child(R);
  std::vector<std::uint64_t> code(W), total(W);

  // Enters frame f for column j from the node `node_sums`, the batch's
  // values lo..hi undecided, with the mass, value and code of the cells
  // fixed since the batch's node.
  auto enter_frame = [&](std::size_t f, std::uint32_t j, const NodeKey& node_sums, long double mass, double value,
                         const std::uint64_t* fixed_code, std::size_t lo, std::size_t hi) {
    Frame& frame = frames[f];
    frame.column = j;
    frame.sums = node_sums;
    SetUpFrame(walk, frame);
    Level& top = frame.levels[0];
    top.s = shape.C[j];
    top.mass = mass;
    top.sum_low = top.sum_high = top.sum_value = value;
    std::copy_n(fixed_code, W, top.code.begin());
    top.lo = lo;
    top.hi = hi;
    SetWeights(top);
    top.x = top.x_lo - 1;
  };
  std::vector<std::uint64_t> zero(W, 0);
  enter_frame(0, k, sums, 1, 0, zero.data(), 0, n);
  std::int64_t f = 0, t = 0;
  while (f >= 0) {
    Frame& frame = frames[static_cast<std::size_t>(f)];
    if (t < 0) {  // the frame is done: back to the leaf of the one before
      --f;
      t = static_cast<std::int64_t>(R) - 1;
      continue;
    }
    Level& level = frame.levels[static_cast<std::size_t>(t)];
    if (++level.x > level.x_hi) {
      --t;
      continue;
    }
    Tick(walk);
    const std::uint32_t j = frame.column;
    const std::int64_t x = level.x;
    const long double mass = level.mass * level.weight[static_cast<std::size_t>(x - level.x_lo)];
    if (mass == 0) continue;
    if (x < level.first || x >= level.first + static_cast<std::int64_t>(level.low.size())) {
      throw TestFailure("a count lies outside the range of its cell");
    }
    const std::size_t i = static_cast<std::size_t>(x - level.first);
    const double sum_low = level.sum_low + level.low[i];
    const double sum_high = level.sum_high + level.high[i];
    const std::int64_t s = level.s - x;
    double a = walk.bounds[j + 1].offset + sum_low, b = sum_high;
    const bool leaf = t + 1 == static_cast<std::int64_t>(R);
    if (!leaf) {
      const Level& below = frame.levels[static_cast<std::size_t>(t + 1)];
      a += below.d_low[static_cast<std::size_t>(s)];
      b += below.d_high[static_cast<std::size_t>(s)];
    }
    // Past values beyond for the whole sub-tree, and those never extreme.
    const std::size_t beyond = first_above(level.lo, level.hi, K0 + mu - a);
    const std::size_t keep = first_at_least(level.lo, beyond, K0 - mu - b);
    if (beyond < level.hi) {
      const long double share = (batch.above[beyond] - batch.above[level.hi]) * mass;
      walk.tally.beyond.Add(share);
      walk.settled += share;
    }
    walk.settled += (batch.below[keep] - batch.below[level.lo]) * mass;
    if (keep >= beyond) continue;
    const bool last = j + 2 == shape.c;
    std::copy(level.code.begin(), level.code.end(), code.begin());
    AddCode(code.data(), keys.CodeAt(*level.cell, x), W);
    if (last) AddCode(code.data(), keys.CodeAt(*level.last_cell, level.r - x), W);
    const double value = level.sum_value + keys.ValueAt(*level.cell, x);
    if (!leaf) {
      Level& below = frame.levels[static_cast<std::size_t>(t + 1)];
      below.s = s;
      below.mass = mass;
      below.sum_low = sum_low;
      below.sum_high = sum_high;
      below.sum_value = value;
      std::copy(code.begin(), code.end(), below.code.begin());
      below.lo = keep;
      below.hi = beyond;
      ++t;
      SetWeights(below);
      below.x = below.x_lo - 1;
      continue;
    }
    if (last) {
      // Complete tables: each past value here is within rounding of the
      // observed key; the codes decide.
      for (std::size_t e = keep; e < beyond; ++e) {
        SumCodes(total.data(), &batch.code[e * W], code.data(), W);
        const int sign = CompareKeys(keys, total.data(), keys.observed_code.data());
        const long double share = batch.mass[e] * mass;
        if (sign > 0) walk.tally.beyond.Add(share);
        if (sign == 0) walk.tally.tied.Add(share);
        walk.settled += share;
      }
      continue;
    }
    for (const Level& u : frame.levels) child[u.slot] = static_cast<std::uint32_t>(u.r - u.x);
    if (walk.final_at[k] == 1) {
      enter_frame(static_cast<std::size_t>(f + 1), j + 1, child, mass, value, code.data(), keep, beyond);
      ++f;
      t = 0;
      continue;
    }
    Canonical(walk, child);
    Pending& target = walk.stages[j + 1][child];
    for (std::size_t e = keep; e < beyond; ++e) {
      const long double share = batch.mass[e] * mass;
      if (share == 0) continue;
      SumCodes(total.data(), &batch.code[e * W], code.data(), W);
      Insert(walk, target, batch.value[e] + value, total.data(), share);
    }
  }
}

// The first stage whose nodes walk their completions to the end for every
// batch: the earliest one whose completions over the columns left number
// at most kFinalPaths for the largest node, counted from above (two rows:
// the smaller row's counts with their sum bounded; more: the product over
// the columns of the ways to fill each).
std::uint32_t FinalStage(const Shape& shape) {
  constexpr double kFinalPaths = 1 << 14;
  std::uint32_t stage = shape.c - 2;
  if (shape.r == 2) {
    const std::int64_t small = std::min(shape.R[0], shape.R[1]);
    std::vector<double> ways(static_cast<std::size_t>(small + 1), 0);  // by the sum placed
    ways[0] = 1;
    for (std::uint32_t j = shape.c - 1; j-- > 0;) {
      const std::int64_t cap = std::min(small, shape.C[j]);
      std::vector<double> more(ways.size(), 0);
      for (std::size_t a = 0; a < ways.size(); ++a) {
        for (std::int64_t y = 0; y <= cap && a + static_cast<std::size_t>(y) < ways.size(); ++y) {
          more[a + static_cast<std::size_t>(y)] += ways[a];
        }
      }
      double paths = 0;
      for (double w : more) paths += w;
      if (paths > kFinalPaths) break;
      ways = std::move(more);
      stage = j;
    }
    return std::min(stage, shape.c - 2);
  }
  double paths = 1;
  for (std::uint32_t j = shape.c - 1; j-- > 0;) {
    // The ways to fill column j: vectors of r counts, each at most its row
    // sum, adding up to C_j.
    std::vector<double> ways(static_cast<std::size_t>(shape.C[j] + 1), 0);
    ways[0] = 1;
    for (std::uint32_t i = 0; i < shape.r; ++i) {
      std::vector<double> more(ways.size(), 0);
      const std::int64_t cap = std::min(shape.R[i], shape.C[j]);
      for (std::size_t a = 0; a < ways.size(); ++a) {
        if (ways[a] == 0) continue;
        for (std::int64_t y = 0; y <= cap && a + static_cast<std::size_t>(y) < ways.size(); ++y) {
          more[a + static_cast<std::size_t>(y)] += ways[a];
        }
      }
      ways = std::move(more);
    }
    paths *= ways.back();
    if (paths > kFinalPaths) break;
    stage = j;
  }
  return std::min(stage, shape.c - 2);
}

// The completions a batch of a node at stage k walks when the stage is
// final, counted from above: two rows, the smaller row's counts over the
// columns left; more, the product over the columns of the ways to fill
// each (the vectors of counts within the rows' sums, at most C(C_j + r - 1,
// r - 1)).
double FuturePaths(const Walk& walk, std::uint32_t k, const NodeKey& sums) {
  const Shape& shape = walk.shape;
  if (walk.R == 2) {
    const std::vector<double>& ways = walk.ways[k];
    const std::size_t s = std::min<std::size_t>(std::min(sums[0], sums[1]), ways.size() - 1);
    return ways[s];
  }
  double paths = 1;
  for (std::uint32_t j = k; j + 1 < shape.c; ++j) {
    double product = 1, widest = 1, choose = 1;
    for (std::uint32_t i = 0; i < walk.R; ++i) {
      const double ways = static_cast<double>(std::min<std::int64_t>(sums[i], shape.C[j]) + 1);
      product *= ways;
      widest = std::max(widest, ways);
    }
    for (std::uint32_t i = 1; i < walk.R; ++i) choose = choose * static_cast<double>(shape.C[j] + i) / i;
    paths *= std::min(product / widest, choose);
    if (paths > 1e18) break;
  }
  return paths;
}

// Two rows: ways[k][s] for every stage, by a pass from the last column
// back (the last column takes what is left).
void SetTwoRowWays(Walk& walk) {
  const Shape& shape = walk.shape;
  const std::int64_t small = std::min(shape.R[0], shape.R[1]);
  walk.ways.assign(shape.c, {});
  std::vector<double> exact(static_cast<std::size_t>(small + 1), 0);  // the sum placed exactly
  exact[0] = 1;
  for (std::uint32_t k = shape.c - 1; k-- > 0;) {
    const std::int64_t cap = std::min(small, shape.C[k]);
    std::vector<double> more(exact.size(), 0);
    for (std::size_t a = 0; a < exact.size(); ++a) {
      if (exact[a] == 0) continue;
      for (std::int64_t y = 0; y <= cap && a + static_cast<std::size_t>(y) < exact.size(); ++y) {
        more[a + static_cast<std::size_t>(y)] += exact[a];
      }
    }
    exact = std::move(more);
    // At most s placed before the last column.
    std::vector<double>& at_most = walk.ways[k];
    at_most.resize(exact.size());
    double sum = 0;
    for (std::size_t a = 0; a < exact.size(); ++a) at_most[a] = sum += exact[a];
  }
}

// Decides, as stage k begins, whether its batches walk their completions
// to the end: when those number at most a few times the past values held
// (a completion walked costs a step and a search, a past value carried to
// the next stage an insertion into a node for each of its children).
void DecideFinal(Walk& walk, std::uint32_t k) {
  constexpr double kFutureFactor = 256;
  if (walk.final_at[k] >= 0) return;
  if (k >= walk.final_stage) {
    walk.final_at[k] = 1;
    return;
  }
  double entries = 0, futures = 0;
  for (const auto& [sums, node] : walk.stages[k]) {
    entries += static_cast<double>(node.size());
    futures += FuturePaths(walk, k, sums);
  }
  walk.final_at[k] = futures <= kFutureFactor * entries ? 1 : 0;
}

}  // namespace

NetworkTally WalkNetwork(const Shape& shape, const KeyTables& keys, const std::vector<StageBounds>& bounds,
                         std::uint64_t max_memory, Pace& pace) {
  Walk walk(shape, keys, bounds, pace);
  walk.R = shape.r;
  walk.W = keys.words;
  walk.max_memory = max_memory;
  // Row slots in order of class.
  std::vector<std::uint32_t> rows(shape.r);
  std::iota(rows.begin(), rows.end(), 0u);
  std::stable_sort(rows.begin(), rows.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return keys.row_class[a] < keys.row_class[b]; });
  walk.class_begin.assign(keys.classes + 1, 0);
  for (std::uint32_t slot = 0; slot < shape.r; ++slot) {
    walk.slot_class.push_back(keys.row_class[rows[slot]]);
    ++walk.class_begin[keys.row_class[rows[slot]] + 1];
  }
  for (std::uint32_t q = 0; q < keys.classes; ++q) walk.class_begin[q + 1] += walk.class_begin[q];
  walk.final_stage = FinalStage(shape);
  walk.stages.resize(walk.final_stage + 1);
  walk.final_at.assign(walk.stages.size(), -1);
  if (shape.r == 2) SetTwoRowWays(walk);

  NodeKey root(shape.r);
  for (std::uint32_t slot = 0; slot < shape.r; ++slot) root[slot] = static_cast<std::uint32_t>(shape.R[rows[slot]]);
  Canonical(walk, root);
  std::vector<std::uint64_t> zero(walk.W, 0);
  Insert(walk, walk.stages[0][root], 0, zero.data(), 1);

  for (;;) {
    // Breadth first while the memory allows, else the deepest stage first.
    const bool short_of_memory = walk.bytes > max_memory / 2;
    std::int64_t k = -1;
    for (std::uint32_t s = 0; s < walk.stages.size(); ++s) {
      if (walk.stages[s].empty()) continue;
      k = s;
      if (!short_of_memory) break;
    }
    if (k < 0) break;
    DecideFinal(walk, static_cast<std::uint32_t>(k));
    Stage& stage = walk.stages[static_cast<std::size_t>(k)];
    auto handle = stage.extract(stage.begin());
    Pending& node = handle.mapped();
    const std::size_t count = node.size();
    walk.bytes -= count * (24 + 8 * std::uint64_t{walk.W}) + 8 * node.slots.size();
    const std::size_t take = short_of_memory ? std::min(count, kShortChunk) : count;
    Batch batch = SortedBatch(node, count - take, count, walk.W);
    if (take < count) {
      // The rest waits at the node, under an index of its own.
      Pending rest;
      for (std::size_t i = 0; i + take < count; ++i) {
        Insert(walk, rest, node.value[i], &node.code[i * walk.W], node.mass[i]);
      }
      stage.emplace(handle.key(), std::move(rest));
    }
    const NodeKey sums = handle.key();
    handle = {};
    ++walk.tally.nodes_visited;
    walk.tally.paths_visited += take;
    ExpandBatch(walk, static_cast<std::uint32_t>(k), sums, batch);
  }
  return walk.tally;
}

}  // namespace engine::table
