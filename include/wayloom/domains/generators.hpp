// Seeded random graphs (Erdos-Renyi, Watts-Strogatz, Barabasi-Albert) and the
// random grid maze. Each call owns one ChaCha8Rng seeded from its argument and
// draws everything from it, in a fixed order.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "wayloom/core/error.hpp"
#include "wayloom/core/memory_budget.hpp"
#include "wayloom/core/node.hpp"
#include "wayloom/domains/csr_graph.hpp"
#include "wayloom/domains/grid.hpp"
#include "wayloom/random/chacha.hpp"

namespace wayloom {

namespace detail {

// n * (n - 1) / 2 without overflowing the intermediate product.
inline std::size_t pair_count(std::size_t n) {
  if (n < 2) return 0;
  return n % 2 == 0 ? sat_mul(n / 2, n - 1) : sat_mul(n, (n - 1) / 2);
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
    while (cap / 2 < max_size) {
      if (cap > std::numeric_limits<std::size_t>::max() / 2)
        return std::numeric_limits<std::size_t>::max();
      cap *= 2;
    }
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

// Edge lists come out as the caller sees them: each edge once as (u, v, w)
// with u < v, grouped by u ascending, then in generation order (what
// undirected_edge_list gives for the graph of the same edges). Each builder
// allocates only what its answer needs and checks it against the budget
// first: an edgeless graph on 2^31 nodes is an empty list, not an offsets
// array of 2^31 entries.

// Largest edge count G(n, p) can produce: the bytes_for of its working set
// are sized by it.
inline std::size_t erdos_renyi_max_edges(std::size_t n, double p) {
  return p > 0.0 ? detail::pair_count(n) : 0;  // NaN: no draw is below it
}
// Working bytes of G(n, p): the edges expected (mean plus six standard
// deviations), or all pairs at p >= 1.
inline std::size_t erdos_renyi_bytes(std::size_t n, double p) {
  const std::size_t pairs = erdos_renyi_max_edges(n, p);
  if (pairs == 0) return 0;
  if (p >= 1.0) return detail::sat_mul(pairs, sizeof(Edge));
  const double mean = p * double(pairs);
  return detail::sat_mul(std::size_t(std::min(mean + 6.0 * std::sqrt(mean) + 16, double(pairs))),
                         sizeof(Edge));
}

// G(n, p): every pair i < j, in row order, becomes an edge when a unit float
// drawn for it is below p. Undirected, weight 1.0.
inline std::vector<Edge> erdos_renyi_edges(std::size_t n, double p, std::uint64_t seed,
                                           MemoryBudget& budget) {
  std::vector<Edge> edges;
  if (!(p > 0.0) || n < 2) return edges;  // no draw can be below p: nothing depends on them
  budget.require(erdos_renyi_bytes(n, p), Use::Output, "the Erdos-Renyi edge list");
  if (p >= 1.0) {
    // Every draw would be below p, and the generator is private to this call,
    // so the draws can be skipped without changing the result.
    edges.reserve(detail::pair_count(n));
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = i + 1; j < n; ++j) edges.push_back({i, j, 1.0});
    return edges;
  }
  // Mean plus six standard deviations: one allocation, almost never regrown.
  edges.reserve(erdos_renyi_bytes(n, p) / sizeof(Edge));
  ChaCha8Rng rng(seed);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i + 1; j < n; ++j)
      if (rng.unit_float() < p) {
        if (edges.size() == edges.capacity())
          budget.charge(edges.capacity() * sizeof(Edge), Use::Output);
        edges.push_back({i, j, 1.0});
      }
  return edges;
}

namespace detail {
// Orders edges (lo, hi) by lo, keeping generation order among equal lo.
inline void group_by_lower(std::vector<Edge>& edges) {
  for (Edge& e : edges)
    if (e.target < e.source) std::swap(e.source, e.target);
  std::stable_sort(edges.begin(), edges.end(),
                   [](const Edge& a, const Edge& b) { return a.source < b.source; });
}
}  // namespace detail

// Working bytes of a Watts-Strogatz graph: the ordered pairs, their
// membership table and the edge list.
inline std::size_t watts_strogatz_bytes(std::size_t n, std::size_t k) {
  const std::size_t pairs = detail::sat_mul(n, k / 2);
  if (pairs == std::numeric_limits<std::size_t>::max()) return pairs;
  return detail::sat_add(
      detail::sat_mul(pairs, sizeof(detail::NodePair) + sizeof(Edge)),
      detail::sat_mul(detail::PairSet::table_size(pairs), sizeof(detail::NodePair)));
}

// Small-world graph: the ring lattice joining each node to its k/2 following
// neighbours, then each lattice pair rewired with probability beta to a
// uniformly drawn new partner of its smaller endpoint.
//
// The pair set is kept as a vector (iteration order) plus a hash set used only
// for membership, so equal seeds give equal graphs. A rewired pair takes the
// slot of the pair it replaces: the order is lattice order with replacements
// in place.
inline std::vector<Edge> watts_strogatz_edges(std::size_t n, std::size_t k, double beta,
                                              std::uint64_t seed, MemoryBudget& budget) {
  if (k % 2 != 0 || k >= n) throw CoreError("k must be even and < n");
  const std::size_t half = k / 2;
  budget.require(watts_strogatz_bytes(n, k), Use::Output, "the Watts-Strogatz graph");
  std::vector<Edge> edges;
  if (half == 0) return edges;
  const std::size_t max_pairs = n * half;

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

  edges.reserve(pairs.size());
  for (const detail::NodePair& pair : pairs) edges.push_back({pair.lo, pair.hi, 1.0});
  detail::group_by_lower(edges);
  return edges;
}

// Working bytes of a Barabasi-Albert graph: edges, the endpoint list, the
// per-node stamps and one node's targets.
inline std::size_t barabasi_albert_bytes(std::size_t n, std::size_t m) {
  if (m >= n) return 0;
  const std::size_t edges = detail::sat_add(detail::pair_count(m), detail::sat_mul(n - m, m));
  return detail::sat_add(detail::sat_mul(edges, sizeof(Edge) + 2 * sizeof(std::size_t)),
                         detail::sat_mul(detail::sat_add(n, m), sizeof(std::size_t)));
}

// Preferential attachment: a clique on nodes 0..m-1, then each new node joins
// m distinct targets picked from the list of edge endpoints (so with
// probability proportional to degree).
//
// Each node's target set keeps insertion order (a vector, with membership in a
// per-node stamp array), so equal seeds give equal graphs.
inline std::vector<Edge> barabasi_albert_edges(std::size_t n, std::size_t m, std::uint64_t seed,
                                               MemoryBudget& budget) {
  if (m < 1 || m >= n) throw CoreError("need n > m >= 1");
  budget.require(barabasi_albert_bytes(n, m), Use::Output, "the Barabasi-Albert graph");
  const std::size_t total_edges = detail::pair_count(m) + (n - m) * m;

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
  detail::group_by_lower(edges);
  return edges;
}

// The same generators as graphs, checked against what the system has free.
inline CsrGraph erdos_renyi(std::size_t n, double p, std::uint64_t seed) {
  MemoryBudget budget = MemoryBudget::from_system();
  std::vector<Edge> edges = erdos_renyi_edges(n, p, seed, budget);
  budget.require(CsrGraph::bytes_for(n, 2 * edges.size()), Use::Graph, "the graph");
  return CsrGraph::from_edges(n, edges, true);
}
inline CsrGraph watts_strogatz(std::size_t n, std::size_t k, double beta, std::uint64_t seed) {
  MemoryBudget budget = MemoryBudget::from_system();
  std::vector<Edge> edges = watts_strogatz_edges(n, k, beta, seed, budget);
  budget.require(CsrGraph::bytes_for(n, 2 * edges.size()), Use::Graph, "the graph");
  return CsrGraph::from_edges(n, edges, true);
}
inline CsrGraph barabasi_albert(std::size_t n, std::size_t m, std::uint64_t seed) {
  MemoryBudget budget = MemoryBudget::from_system();
  std::vector<Edge> edges = barabasi_albert_edges(n, m, seed, budget);
  budget.require(CsrGraph::bytes_for(n, 2 * edges.size()), Use::Graph, "the graph");
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
                                 std::uint64_t seed, MemoryBudget* budget = nullptr) {
  if (width >= 1 && height >= 1) {
    // Check the grid fits in memory; bad dimensions are refused by blank().
    const auto cells = std::uint64_t(width) * std::uint64_t(height);
    if (cells <= 2147483647ULL) {
      MemoryBudget system = budget ? MemoryBudget() : MemoryBudget::from_system();
      (budget ? *budget : system)
          .require(GridGraph::bytes_for(std::size_t(cells)) + 2 * cells, Use::Graph,
                   "the maze and its text");
    }
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
                                     double obstacle_density, std::uint64_t seed,
                                     MemoryBudget* budget = nullptr) {
  const GeneratedMaze maze = random_maze(width, height, obstacle_density, seed, budget);
  return maze_to_ascii(maze.grid, maze.start, maze.goal);
}

}  // namespace wayloom
