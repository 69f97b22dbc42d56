// Classical shortest paths over a CSR graph, tolerating negative arc weights:
// single-source Bellman-Ford and all-pairs Floyd-Warshall, both reporting
// negative cycles and rebuilding paths.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <vector>

#include "wayloom/core/compiler.hpp"
#include "wayloom/core/memory_budget.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/domains/csr_graph.hpp"

namespace wayloom {

// Single-source result. Immutable once built.
struct ShortestPaths {
  std::vector<double> dist;                      // +inf where unreachable
  std::vector<std::optional<std::size_t>> pred;  // absent for the source and unreachable nodes
  std::size_t source = 0;
  bool negative_cycle = false;  // a negative cycle is reachable from the source

  std::size_t num_nodes() const noexcept { return dist.size(); }

  // Source first, target last; absent if the target is out of range,
  // unreachable, or its predecessor chain loops (only with a negative cycle).
  std::optional<std::vector<std::size_t>> path_to(std::size_t target) const {
    const std::size_t n = dist.size();
    if (target >= n || !std::isfinite(dist[target])) return std::nullopt;
    std::vector<std::size_t> path{target};
    while (pred[path.back()].has_value()) {
      path.push_back(*pred[path.back()]);
      if (path.size() == n + 1) return std::nullopt;
    }
    std::reverse(path.begin(), path.end());
    return path;
  }
};

// All-pairs result, two flat row-major n*n matrices. Immutable once built.
//
// next_hop is stored as 32-bit node ids with kNoHop for "no path known":
// 12 bytes per pair instead of 24 for optional<size_t>. Any n whose matrices
// can be allocated is far below 2^32, so every node id fits.
struct AllPairs {
  static constexpr std::uint32_t kNoHop = std::numeric_limits<std::uint32_t>::max();

  std::vector<double> dist;             // entry i*n + j; +inf if no path
  std::vector<std::uint32_t> next_hop;  // entry i*n + j; kNoHop if no path
  std::size_t num_nodes = 0;
  bool negative_cycle = false;  // any negative cycle, reachable or not

  // Bytes of the matrices for n nodes; SIZE_MAX when they cannot exist (node
  // ids must fit the 32-bit hops below the sentinel).
  static std::size_t bytes_for(std::size_t n) noexcept {
    if (n >= kNoHop) return std::numeric_limits<std::size_t>::max();
    return detail::sat_mul(detail::sat_mul(n, n), sizeof(double) + sizeof(std::uint32_t));
  }

  // The node after `from` on the cheapest from -> to path, if one is known.
  std::optional<std::size_t> hop(std::size_t from, std::size_t to) const noexcept {
    if (from >= num_nodes || to >= num_nodes) return std::nullopt;
    const std::uint32_t h = next_hop[from * num_nodes + to];
    if (h == kNoHop) return std::nullopt;
    return std::size_t(h);
  }

  double distance(std::size_t from, std::size_t to) const noexcept {
    if (from >= num_nodes || to >= num_nodes) return kInf;
    return dist[from * num_nodes + to];
  }

  // `from` first, `to` last; absent if either is out of range, there is no
  // path, or the hops loop (only with a negative cycle).
  std::optional<std::vector<std::size_t>> path(std::size_t from, std::size_t to) const {
    const std::size_t n = num_nodes;
    if (from >= n || to >= n || !std::isfinite(dist[from * n + to])) return std::nullopt;
    std::vector<std::size_t> out{from};
    std::size_t current = from;
    while (current != to) {
      const std::uint32_t h = next_hop[current * n + to];
      if (h == kNoHop) return std::nullopt;
      out.push_back(h);
      current = h;
      if (out.size() == n + 1) return std::nullopt;
    }
    return out;
  }

  // Row i holds the distances from node i.
  std::vector<std::vector<double>> matrix() const {
    std::vector<std::vector<double>> rows;
    rows.reserve(num_nodes);
    for (std::size_t i = 0; i < num_nodes; ++i) {
      const auto first = dist.begin() + std::ptrdiff_t(i * num_nodes);
      rows.emplace_back(first, first + std::ptrdiff_t(num_nodes));
    }
    return rows;
  }
};

namespace detail {

// Bellman-Ford that also reports how many relaxation passes ran (tests check
// the early exit through it).
inline ShortestPaths bellman_ford_counted(const CsrGraph& graph, std::size_t source,
                                          std::size_t& passes) {
  passes = 0;
  const std::size_t n = graph.num_nodes();
  ShortestPaths sp;
  sp.dist.assign(n, kInf);
  sp.pred.assign(n, std::nullopt);
  sp.source = source;
  if (source >= n) return sp;

  std::vector<double>& dist = sp.dist;
  dist[source] = 0.0;
  const std::vector<Edge> arcs = graph.edges();
  auto improves = [&dist](const Edge& e) {
    return std::isfinite(dist[e.source]) && e.weight + dist[e.source] < dist[e.target];
  };

  if (n >= 2) {
    for (std::size_t round = 1;; ++round) {
      ++passes;
      bool changed = false;
      for (const Edge& e : arcs) {
        if (improves(e)) {
          dist[e.target] = e.weight + dist[e.source];
          sp.pred[e.target] = e.source;
          changed = true;
        }
      }
      if (!changed || round + 1 >= n) break;
    }
  }
  sp.negative_cycle = std::any_of(arcs.begin(), arcs.end(), improves);
  return sp;
}

// Checks the two all-pairs matrices for n nodes against `budget` (the
// system's free memory when none): MemoryLimitError, a std::bad_alloc, when
// they cannot fit (n*n overflowing included).
inline void check_all_pairs_size(std::size_t n, MemoryBudget* budget = nullptr) {
  MemoryBudget system = budget ? MemoryBudget() : MemoryBudget::from_system();
  (budget ? *budget : system)
      .require(AllPairs::bytes_for(n), Use::AllPairs, "the all-pairs matrices");
}

// Relaxes dist_i[j] through pivot row dist_k for j in [begin, end). dist_i
// and dist_k are the same row when i == k, which is still element-wise safe
// (each j reads its own cell before writing it).
//
// Written so that it vectorises on the baseline instruction set: both selects
// are computed unconditionally and both stores always happen. The hop moves
// as a float bit pattern (memcpy, never arithmetic, so every bit survives): a
// float select keyed by a double comparison compiles to a plain bitwise
// blend, where an integer one does not, and the char-typed memcpy access keeps
// the compiler from turning the unchanged-value stores into conditional ones.
[[gnu::always_inline]] inline void relax_span(double* dist_i, std::uint32_t* hop_i,
                                              const double* dist_k, double d_ik, std::uint32_t h_ik,
                                              std::size_t begin, std::size_t end) noexcept {
  static_assert(sizeof(float) == sizeof(std::uint32_t));
  const auto h_ik_bits = std::bit_cast<float>(h_ik);
  for (std::size_t j = begin; j < end; ++j) {
    const double through = d_ik + dist_k[j];
    const double current = dist_i[j];
    float hop;
    std::memcpy(&hop, hop_i + j, sizeof hop);
    const bool better = through < current;
    const double new_dist = better ? through : current;
    const float new_hop = better ? h_ik_bits : hop;
    dist_i[j] = new_dist;
    std::memcpy(hop_i + j, &new_hop, sizeof new_hop);
  }
}

// Every pivot's pass over the matrices, in the plain k, i, j order.
[[gnu::always_inline]] inline void sweeps_body(double* dist, std::uint32_t* hop,
                                               std::size_t n) noexcept {
  for (std::size_t k = 0; k < n; ++k) {
    const double* const dist_k = dist + k * n;
    for (std::size_t i = 0; i < n; ++i) {
      double* const dist_i = dist + i * n;
      std::uint32_t* const hop_i = hop + i * n;
      const double d_ik = dist_i[k];
      if (!std::isfinite(d_ik)) continue;
      // The entry (i, k) itself can improve at j == k when dist[k][k] < 0, and
      // later columns must then see the new value, exactly as a plain
      // element-by-element sweep would. Split the sweep around it.
      relax_span(dist_i, hop_i, dist_k, d_ik, hop_i[k], 0, k);
      relax_span(dist_i, hop_i, dist_k, d_ik, hop_i[k], k, k + 1);
      relax_span(dist_i, hop_i, dist_k, dist_i[k], hop_i[k], k + 1, n);
    }
  }
}

// The same sweeps compiled for wider vector units, picked at run time so that
// a wheel built for the baseline instruction set still uses them. Each lane
// does exactly the scalar comparison and selection, so results are
// bit-identical whichever copy runs.
#ifdef WAYLOOM_X86_DISPATCH
__attribute__((target("avx512f,avx512vl"))) inline void sweeps_avx512(double* dist,
                                                                      std::uint32_t* hop,
                                                                      std::size_t n) noexcept {
  sweeps_body(dist, hop, n);
}
__attribute__((target("avx2"))) inline void sweeps_avx2(double* dist, std::uint32_t* hop,
                                                        std::size_t n) noexcept {
  sweeps_body(dist, hop, n);
}
#endif

inline void floyd_warshall_sweeps(double* dist, std::uint32_t* hop, std::size_t n) noexcept {
#ifdef WAYLOOM_X86_DISPATCH
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl"))
    return sweeps_avx512(dist, hop, n);
  if (__builtin_cpu_supports("avx2")) return sweeps_avx2(dist, hop, n);
#endif
  sweeps_body(dist, hop, n);
}

}  // namespace detail

// Relaxation follows the arc order of graph.edges(); updates take effect
// within a pass; stops after the first pass that changes nothing (at most
// n - 1 passes). dist/pred are returned as they stand even when a negative
// cycle is found. An out-of-range source yields an all-unreachable result.
inline ShortestPaths bellman_ford(const CsrGraph& graph, std::size_t source) {
  std::size_t passes = 0;
  return detail::bellman_ford_counted(graph, source, passes);
}

namespace detail {

// O(n^3) time, O(n^2) memory. `for_each_arc(f)` calls f(source, target,
// weight) for every arc; for each pair of nodes only the order of its own
// parallel arcs matters (the smallest weight wins, the first of equal ones).
template <class ForEachArc>
AllPairs floyd_warshall_arcs(std::size_t n, MemoryBudget* budget, ForEachArc&& for_each_arc) {
  check_all_pairs_size(n, budget);
  AllPairs ap;
  ap.num_nodes = n;
  ap.dist.assign(n * n, kInf);
  ap.next_hop.assign(n * n, AllPairs::kNoHop);
  double* const dist = ap.dist.data();
  std::uint32_t* const hop = ap.next_hop.data();

  for (std::size_t i = 0; i < n; ++i) dist[i * n + i] = 0.0;
  // A self-loop only matters when negative.
  for_each_arc([&](std::size_t source, std::size_t target, double weight) {
    const std::size_t at = source * n + target;
    if (weight < dist[at]) {
      dist[at] = weight;
      hop[at] = std::uint32_t(target);
    }
  });

  floyd_warshall_sweeps(dist, hop, n);

  for (std::size_t i = 0; i < n; ++i) {
    if (dist[i * n + i] < 0.0) {
      ap.negative_cycle = true;
      break;
    }
  }
  return ap;
}

}  // namespace detail

// Throws std::bad_alloc before building anything if the matrices cannot be
// allocated.
inline AllPairs floyd_warshall(const CsrGraph& graph, MemoryBudget* budget = nullptr) {
  return detail::floyd_warshall_arcs(graph.num_nodes(), budget, [&](auto&& relax) {
    const auto& offsets = graph.offsets();
    for (std::size_t u = 0; u + 1 < offsets.size(); ++u)
      for (std::size_t i = offsets[u]; i < offsets[u + 1]; ++i)
        relax(u, graph.targets()[i], graph.weights()[i]);
  });
}

// The same from an edge list, without building the graph: each pair's
// parallel arcs come in the same order as through CsrGraph::from_edges (an
// undirected edge is an arc each way), so the result is identical.
inline AllPairs floyd_warshall(std::size_t num_nodes, const std::vector<Edge>& edges,
                               bool undirected, MemoryBudget* budget = nullptr) {
  if (const Edge* e = first_out_of_range(num_nodes, edges))
    throw CoreError(edge_out_of_range_message(e->source, e->target, num_nodes));
  return detail::floyd_warshall_arcs(num_nodes, budget, [&](auto&& relax) {
    for (const Edge& e : edges) {
      relax(e.source, e.target, e.weight);
      if (undirected) relax(e.target, e.source, e.weight);
    }
  });
}

}  // namespace wayloom
