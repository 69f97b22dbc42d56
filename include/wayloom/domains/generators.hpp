// Seeded random graphs (Erdos-Renyi, Watts-Strogatz, Barabasi-Albert) and the
// random grid maze. Each call owns one ChaCha8Rng seeded from its argument and
// draws everything from it, in a fixed order.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "wayloom/core/alloc_limit.hpp"
#include "wayloom/core/error.hpp"
#include "wayloom/core/node.hpp"
#include "wayloom/domains/csr_graph.hpp"
#include "wayloom/domains/grid.hpp"
#include "wayloom/random/chacha.hpp"

namespace wayloom {

namespace detail {

// Memory of an undirected CSR graph with `edges` input edges: the edge list
// handed to from_edges, two arcs per edge, and the offsets.
inline AllocBudget& add_undirected_graph(AllocBudget& budget, std::size_t nodes,
                                         std::size_t edges) {
  budget.add(edges, sizeof(Edge));
  budget.add(checked_mul(edges, 2), sizeof(std::size_t) + sizeof(double));
  budget.add(nodes, sizeof(std::size_t)).add(1, sizeof(std::size_t));
  return budget;
}

// n * (n - 1) / 2 without overflowing the intermediate product.
inline std::size_t pair_count(std::size_t n) {
  if (n < 2) return 0;
  return n % 2 == 0 ? checked_mul(n / 2, n - 1) : checked_mul(n, (n - 1) / 2);
}

struct NodePair {
  std::size_t lo;
  std::size_t hi;
  friend bool operator==(const NodePair&, const NodePair&) = default;
};

inline NodePair ordered_pair(std::size_t a, std::size_t b) noexcept {
  return a < b ? NodePair{a, b} : NodePair{b, a};
}

// Membership set of node pairs (lo < hi) with a capacity fixed at
// construction: linear probing over a power-of-two table, deletion by backward
// shift, no allocation after construction. Only membership is ever asked, so
// its layout never influences a result.
class PairSet {
 public:
  // Table size for up to `max_size` pairs at load factor at most 1/2.
  static std::size_t table_size(std::size_t max_size) {
    std::size_t cap = 16;
    while (cap / 2 < max_size) cap = checked_mul(cap, 2);
    return cap;
  }

  explicit PairSet(std::size_t max_size)
      : slots_(table_size(max_size), kEmpty), mask_(slots_.size() - 1) {}

  bool contains(const NodePair& p) const noexcept {
    for (std::size_t i = home(p);; i = (i + 1) & mask_) {
      if (slots_[i] == p) return true;
      if (slots_[i] == kEmpty) return false;
    }
  }

  // True if the pair was not present. The caller keeps within max_size.
  bool insert(const NodePair& p) noexcept {
    std::size_t i = home(p);
    for (; !(slots_[i] == kEmpty); i = (i + 1) & mask_)
      if (slots_[i] == p) return false;
    slots_[i] = p;
    return true;
  }

  void erase(const NodePair& p) noexcept {
    std::size_t hole = home(p);
    for (; !(slots_[hole] == p); hole = (hole + 1) & mask_)
      if (slots_[hole] == kEmpty) return;
    // Pull back every later entry of the run whose home does not lie
    // cyclically in (hole, j], so lookups never stop early at the hole.
    for (std::size_t j = (hole + 1) & mask_; !(slots_[j] == kEmpty); j = (j + 1) & mask_) {
      const std::size_t h = home(slots_[j]);
      const bool stays = hole <= j ? (hole < h && h <= j) : (hole < h || h <= j);
      if (!stays) {
        slots_[hole] = slots_[j];
        hole = j;
      }
    }
    slots_[hole] = kEmpty;
  }

 private:
  // lo == hi never occurs for a real pair.
  static constexpr NodePair kEmpty{0, 0};

  std::size_t home(const NodePair& p) const noexcept {
    return std::size_t(mix64(mix64(p.lo) ^ p.hi)) & mask_;
  }

  std::vector<NodePair> slots_;
  std::size_t mask_;
};

}  // namespace detail

// The edge count of G(n, p) is binomial(pairs, p); its mean is what callers
// budget for, so a request that could never fit is refused before any draw.
inline std::size_t erdos_renyi_mean_edges(std::size_t n, double p) {
  const std::size_t pairs = detail::pair_count(n);
  return p >= 1.0 ? pairs : p > 0.0 ? std::size_t(p * double(pairs)) : 0;
}

// G(n, p): every pair i < j, in row order, becomes an edge when a unit float
// drawn for it is below p. Undirected, weight 1.0.
inline CsrGraph erdos_renyi(std::size_t n, double p, std::uint64_t seed) {
  const std::size_t expected = erdos_renyi_mean_edges(n, p);
  detail::AllocBudget budget;
  detail::add_undirected_graph(budget, n, expected).check();

  std::vector<Edge> edges;
  if (p >= 1.0) {
    // Every draw would be below p, and the generator is private to this call,
    // so the draws can be skipped without changing the result (same for p <= 0
    // or NaN, where no draw can be below p).
    edges.reserve(expected);
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = i + 1; j < n; ++j) edges.push_back({i, j, 1.0});
  } else if (p > 0.0) {
    // Mean plus six standard deviations: one allocation, almost never regrown.
    edges.reserve(expected + std::size_t(6.0 * std::sqrt(double(expected))) + 16);
    // Pair k (row order) gets draw k of a fresh generator; its unit float
    // (top 53 bits times 2^-53, exact) is below p exactly when the draw is
    // below ceil(p * 2^53) * 2^11, an integer test the draws are scanned with.
    const auto key = ChaCha8Rng::key_from_seed(seed);
    const std::uint64_t bound = std::uint64_t(std::ceil(p * 0x1.0p53)) << 11;
    const std::uint64_t draws = detail::pair_count(n);
    std::vector<std::uint64_t> hits;
    std::size_t i = 0;
    std::uint64_t row_first = 0, row_end = n > 1 ? n - 1 : 0;  // draws of row i
    constexpr std::uint64_t kChunk = std::uint64_t(1) << 16;   // blocks a scan
    for (std::uint64_t block = 0; block * 8 < draws; block += kChunk) {
      hits.clear();
      const std::uint64_t blocks = std::min<std::uint64_t>(kChunk, (draws + 7) / 8 - block);
      detail::chacha8_draws_below(key, block, blocks, bound, hits);
      for (const std::uint64_t k : hits) {
        if (k >= draws) break;  // past the last pair, in the final block
        while (k >= row_end) {
          ++i;
          row_first = row_end;
          row_end += n - 1 - i;
        }
        edges.push_back({i, i + 1 + std::size_t(k - row_first), 1.0});
      }
    }
  }
  return CsrGraph::from_edges(n, edges, true);
}

// Small-world graph: the ring lattice joining each node to its k/2 following
// neighbours, then each lattice pair rewired with probability beta to a
// uniformly drawn new partner of its smaller endpoint.
//
// The pair set is kept as a vector (iteration order) plus a hash set used only
// for membership, so equal seeds give equal graphs. A rewired pair takes the
// slot of the pair it replaces: the order is lattice order with replacements
// in place.
inline CsrGraph watts_strogatz(std::size_t n, std::size_t k, double beta, std::uint64_t seed) {
  if (k % 2 != 0 || k >= n) throw CoreError("k must be even and < n");
  const std::size_t half = k / 2;
  const std::size_t max_pairs = detail::checked_mul(n, half);
  {
    detail::AllocBudget budget;
    budget.add(max_pairs, sizeof(detail::NodePair));  // ordered pairs
    budget.add(detail::PairSet::table_size(max_pairs), sizeof(detail::NodePair));
    detail::add_undirected_graph(budget, n, max_pairs).check();
  }

  std::vector<detail::NodePair> pairs;
  pairs.reserve(max_pairs);
  detail::PairSet present(max_pairs);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 1; j <= half; ++j) {
      const detail::NodePair pair = detail::ordered_pair(i, (i + j) % n);
      if (present.insert(pair)) pairs.push_back(pair);
    }
  }

  ChaCha8Rng rng(seed);
  for (detail::NodePair& slot : pairs) {
    if (!(rng.unit_float() < beta)) continue;
    const std::size_t u = slot.lo;
    present.erase(slot);
    detail::NodePair fresh;
    for (;;) {
      const auto w = std::size_t(rng.index_below(n));
      if (w == u) continue;
      fresh = detail::ordered_pair(u, w);
      if (!present.contains(fresh)) break;
    }
    present.insert(fresh);
    slot = fresh;
  }

  std::vector<Edge> edges;
  edges.reserve(pairs.size());
  for (const detail::NodePair& pair : pairs) edges.push_back({pair.lo, pair.hi, 1.0});
  return CsrGraph::from_edges(n, edges, true);
}

// Preferential attachment: a clique on nodes 0..m-1, then each new node joins
// m distinct targets picked from the list of edge endpoints (so with
// probability proportional to degree).
//
// Each node's target set keeps insertion order (a vector, with membership in a
// per-node stamp array), so equal seeds give equal graphs.
inline CsrGraph barabasi_albert(std::size_t n, std::size_t m, std::uint64_t seed) {
  if (m < 1 || m >= n) throw CoreError("need n > m >= 1");
  const std::size_t total_edges = detail::pair_count(m) + detail::checked_mul(n - m, m);
  {
    detail::AllocBudget budget;
    budget.add(detail::checked_mul(total_edges, 2), sizeof(std::size_t));  // endpoints
    budget.add(n, sizeof(std::size_t)).add(m, sizeof(std::size_t));        // stamps, targets
    detail::add_undirected_graph(budget, n, total_edges).check();
  }

  std::vector<Edge> edges;
  edges.reserve(total_edges);
  // Every edge endpoint in order of addition: a node occurs once per incident edge.
  std::vector<std::size_t> endpoints;
  endpoints.reserve(2 * total_edges);
  for (std::size_t i = 0; i < m; ++i) {
    for (std::size_t j = i + 1; j < m; ++j) {
      edges.push_back({i, j, 1.0});
      endpoints.push_back(i);
      endpoints.push_back(j);
    }
  }

  ChaCha8Rng rng(seed);
  constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::vector<std::size_t> chosen_by(n, kNone);  // chosen_by[t] == v: t is a target of v
  std::vector<std::size_t> targets;
  targets.reserve(m);
  for (std::size_t v = m; v < n; ++v) {
    targets.clear();
    while (targets.size() < m) {
      // Only for m = 1 at v = 1 is the list empty; the pick is then node 0.
      const auto at = rng.pick_index(endpoints.size());
      const std::size_t t = at ? endpoints[*at] : 0;
      if (chosen_by[t] == v) continue;
      chosen_by[t] = v;
      targets.push_back(t);
    }
    for (const std::size_t t : targets) {
      edges.push_back({v, t, 1.0});
      endpoints.push_back(v);
      endpoints.push_back(t);
    }
  }
  return CsrGraph::from_edges(n, edges, true);
}

// The arcs (u, v, w) of a graph's edges() with u < v, in that order: each
// undirected edge once (self-loops never).
inline std::vector<Edge> undirected_edge_list(const CsrGraph& graph) {
  std::vector<Edge> out;
  const std::vector<std::size_t>& offsets = graph.offsets();
  const std::vector<std::size_t>& targets = graph.targets();
  const std::vector<double>& weights = graph.weights();
  for (std::size_t u = 0; u < graph.num_nodes(); ++u)
    for (std::size_t i = offsets[u]; i < offsets[u + 1]; ++i)
      if (u < targets[i]) out.push_back({u, targets[i], weights[i]});
  return out;
}

struct GeneratedMaze {
  GridGraph grid;
  Cell start;  // top-left corner
  Cell goal;   // bottom-right corner
};

// A blank width x height grid whose cells, row-major, become walls when a unit
// float drawn for them is below obstacle_density. The two corners are always
// open and consume no draw. Nothing makes the goal reachable.
inline GeneratedMaze random_maze(std::int32_t width, std::int32_t height, double obstacle_density,
                                 std::uint64_t seed) {
  if (width >= 1 && height >= 1) {
    // Check the grid fits in memory; bad dimensions are refused by blank().
    const auto cells = std::uint64_t(width) * std::uint64_t(height);
    if (cells <= 2147483647ULL)
      detail::AllocBudget().add(std::size_t(cells), sizeof(std::uint8_t) + sizeof(double)).check();
  }
  GeneratedMaze maze{GridGraph::blank(width, height), Cell{0, 0}, Cell{height - 1, width - 1}};
  ChaCha8Rng rng(seed);
  for (std::int32_t r = 0; r < height; ++r) {
    for (std::int32_t c = 0; c < width; ++c) {
      const Cell cell{r, c};
      if (cell == maze.start || cell == maze.goal) continue;
      if (rng.unit_float() < obstacle_density) maze.grid.set_wall(cell, true);
    }
  }
  return maze;
}

// ASCII map of a maze: 'S' at the start, else 'G' at the goal, '#' walls,
// '.' open cells; rows joined by '\n' with none after the last.
inline std::string maze_to_ascii(const GridGraph& grid, Cell start, Cell goal) {
  const auto width = std::size_t(grid.width()), height = std::size_t(grid.height());
  std::string text;
  text.reserve(height * (width + 1));
  for (std::int32_t r = 0; r < grid.height(); ++r) {
    if (r > 0) text.push_back('\n');
    for (std::int32_t c = 0; c < grid.width(); ++c) {
      const Cell cell{r, c};
      if (cell == start)
        text.push_back('S');
      else if (cell == goal)
        text.push_back('G');
      else
        text.push_back(grid.is_wall(cell) ? '#' : '.');
    }
  }
  return text;
}

inline std::string random_maze_ascii(std::int32_t width, std::int32_t height,
                                     double obstacle_density, std::uint64_t seed) {
  const GeneratedMaze maze = random_maze(width, height, obstacle_density, seed);
  return maze_to_ascii(maze.grid, maze.start, maze.goal);
}

}  // namespace wayloom
