// The explicit weighted graph: nodes 0..n, arcs in compressed-sparse-row form.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "wayloom/core/compiler.hpp"
#include "wayloom/core/concepts.hpp"
#include "wayloom/core/error.hpp"
#include "wayloom/core/heuristic_table.hpp"
#include "wayloom/core/memory_budget.hpp"

namespace wayloom {

struct Edge {
  std::size_t source;
  std::size_t target;
  double weight;
};

inline std::string edge_out_of_range_message(std::size_t u, std::size_t v, std::size_t n) {
  return "edge (" + std::to_string(u) + ", " + std::to_string(v) + ") is out of range for a " +
         std::to_string(n) + "-node graph";
}

// The first edge with an endpoint not below num_nodes, or nullptr.
inline const Edge* first_out_of_range(std::size_t num_nodes, const std::vector<Edge>& edges) {
  for (const Edge& e : edges)
    if (e.source >= num_nodes || e.target >= num_nodes) return &e;
  return nullptr;
}

class CsrGraph {
 public:
  using node_type = std::size_t;

  CsrGraph() : offsets_(1, 0), transpose_(std::make_shared<TransposeSlot>()) {}

  // The caller's edges checked before building: an endpoint out of range is
  // the caller's mistake here, where from_edges treats it as a broken
  // precondition.
  static void check_edges(std::size_t num_nodes, const std::vector<Edge>& edges) {
    if (const Edge* e = first_out_of_range(num_nodes, edges))
      throw UsageError(edge_out_of_range_message(e->source, e->target, num_nodes));
  }
  // Bytes of building a graph of this size: offsets and the build cursor per
  // node, a target and a weight per arc, and the blocked placement's scratch
  // (a source id per arc, and at most a quarter of the arcs copied aside).
  static std::size_t bytes_for(std::size_t num_nodes, std::size_t num_arcs) noexcept {
    return detail::sat_add(detail::sat_mul(detail::sat_add(num_nodes, 1), 2 * sizeof(std::size_t)),
                           detail::sat_mul(num_arcs, sizeof(std::size_t) + sizeof(double) + 9));
  }
  std::size_t bytes() const noexcept { return bytes_for(num_nodes(), num_arcs()); }

  // Two-pass counting build; arcs of a node keep the order of the input edges.
  static CsrGraph from_edges(std::size_t num_nodes, const std::vector<Edge>& edges,
                             bool undirected) {
    if (const Edge* e = first_out_of_range(num_nodes, edges))
      throw CoreError(edge_out_of_range_message(e->source, e->target, num_nodes));
    const Edge* const at = edges.data();
    return from_arcs(
        num_nodes, edges.size(), [at](std::size_t i) { return at[i].source; },
        [at](std::size_t i) { return at[i].target; }, [at](std::size_t i) { return at[i].weight; },
        undirected);
  }

  // The counting build over m edges read through source(i), target(i) and
  // weight(i), so callers' arrays are read in place: arcs of a node keep the
  // input order, an undirected edge adding its reverse arc as it is met. An
  // endpoint not below num_nodes is the caller's mistake.
  template <class S, class T, class W>
  static CsrGraph from_arcs(std::size_t num_nodes, std::size_t m, const S& source, const T& target,
                            const W& weight, bool undirected) {
    if (num_nodes >= std::vector<std::size_t>().max_size()) throw std::bad_alloc();
    CsrGraph g;
    g.undirected_ = undirected;
    g.offsets_.assign(num_nodes + 1, 0);
    if (g.build_blocked(m, source, target, weight)) return g;
    std::size_t* const off = g.offsets_.data();
    g.each_endpoint(m, source, target, [off](std::size_t a) { ++off[a + 1]; });
    for (std::size_t i = 0; i < num_nodes; ++i) off[i + 1] += off[i];
    detail::resize_for_writing(g.targets_, off[num_nodes]);
    detail::resize_for_writing(g.weights_, off[num_nodes]);
    g.place_direct(m, source, target, weight);
    return g;
  }

  // A graph from arrays already in CSR form: offsets of num_nodes + 1
  // non-decreasing entries from 0 to targets.size(), every target below
  // num_nodes, one weight per target.
  static CsrGraph from_csr(std::vector<std::size_t> offsets, std::vector<std::size_t> targets,
                           std::vector<double> weights, bool undirected) {
    const std::size_t n = offsets.empty() ? 0 : offsets.size() - 1;
    bool ok = !offsets.empty() && offsets.front() == 0 && offsets.back() == targets.size() &&
              weights.size() == targets.size() && std::is_sorted(offsets.begin(), offsets.end());
    for (std::size_t i = 0; ok && i < targets.size(); ++i) ok = targets[i] < n;
    if (!ok) throw CoreError("malformed compressed-sparse-row arrays");
    CsrGraph g;
    g.undirected_ = undirected;
    g.offsets_ = std::move(offsets);
    g.targets_ = std::move(targets);
    g.weights_ = std::move(weights);
    return g;
  }

  std::size_t num_nodes() const noexcept { return offsets_.empty() ? 0 : offsets_.size() - 1; }
  std::size_t num_arcs() const noexcept { return targets_.size(); }
  bool undirected() const noexcept { return undirected_; }
  const std::vector<std::size_t>& offsets() const noexcept { return offsets_; }
  const std::vector<std::size_t>& targets() const noexcept { return targets_; }
  const std::vector<double>& weights() const noexcept { return weights_; }

  // Calls f(target, weight) for each arc of u, in stored order.
  template <class F>
  void for_each_successor(std::size_t u, F&& f) const {
    check_node(u);
    const std::size_t* const targets = targets_.data();
    const double* const weights = weights_.data();
    for (std::size_t i = offsets_[u], e = offsets_[u + 1]; i < e; ++i) f(targets[i], weights[i]);
  }

  // Cache hints for a search that knows what it expands next: first where a
  // node's arcs start, then (once that has come in) the arcs themselves.
  void prefetch_node(std::size_t u) const noexcept {
    if (u < num_nodes()) prefetch(offsets_.data() + u);
  }
  void prefetch_arcs(std::size_t u) const noexcept {
    if (u >= num_nodes()) return;
    const std::size_t b = offsets_[u];
    prefetch(targets_.data() + b);
    prefetch(weights_.data() + b);
  }

  void neighbors_into(std::size_t u, Neighbors<std::size_t>& out) const {
    check_node(u);
    const std::size_t b = offsets_[u], e = offsets_[u + 1];
    out.reserve(out.size() + (e - b));
    for (std::size_t i = b; i < e; ++i) out.emplace_back(targets_[i], weights_[i]);
  }

  Neighbors<std::size_t> neighbors(std::size_t u) const {
    Neighbors<std::size_t> out;
    neighbors_into(u, out);
    return out;
  }

  // Every stored arc once, grouped by source ascending, in stored order.
  std::vector<Edge> edges() const {
    std::vector<Edge> out;
    out.reserve(targets_.size());
    for (std::size_t u = 0; u + 1 < offsets_.size(); ++u)
      for (std::size_t i = offsets_[u]; i < offsets_[u + 1]; ++i)
        out.push_back({u, targets_[i], weights_[i]});
    return out;
  }

  // An undirected graph stores every edge both ways, so it is its own transpose.
  bool symmetric() const noexcept { return undirected_; }

  // The graph with every arc reversed (one counting pass, like the build). The
  // arcs entering a node are listed by source ascending, then in stored order.
  CsrGraph transposed() const {
    const std::size_t n = num_nodes();
    CsrGraph t;
    t.undirected_ = undirected_;
    t.offsets_.assign(n + 1, 0);
    for (const std::size_t v : targets_) ++t.offsets_[v + 1];
    for (std::size_t i = 0; i < n; ++i) t.offsets_[i + 1] += t.offsets_[i];
    t.targets_.assign(targets_.size(), 0);
    t.weights_.assign(weights_.size(), 0.0);
    std::vector<std::size_t> cursor(t.offsets_.begin(), t.offsets_.end() - 1);
    for (std::size_t u = 0; u < n; ++u) {
      for (std::size_t i = offsets_[u]; i < offsets_[u + 1]; ++i) {
        const std::size_t at = cursor[targets_[i]]++;
        t.targets_[at] = u;
        t.weights_[at] = weights_[i];
      }
    }
    return t;
  }

  // The transpose, built by the first caller (charged to its budget) and kept
  // for the graph's lifetime, so searches that walk back from the goal pay
  // for it once per graph rather than once per query. Safe to call from
  // several threads at once; a build that fails leaves the next caller to try.
  const CsrGraph& transpose(MemoryBudget* budget) const {
    TransposeSlot& slot = *transpose_;
    if (const CsrGraph* t = slot.ready.load(std::memory_order_acquire)) return *t;
    const std::lock_guard<std::mutex> hold(slot.lock);
    if (!slot.graph) {
      detail::charge(budget, bytes(), Use::Bidirectional);
      slot.graph = std::make_unique<CsrGraph>(transposed());
      slot.ready.store(slot.graph.get(), std::memory_order_release);
    }
    return *slot.graph;
  }

  // The first arc whose weight is NaN, as (source, target, weight), if any.
  std::optional<Edge> first_nan_arc() const {
    for (std::size_t i = 0; i < weights_.size(); ++i) {
      if (!std::isnan(weights_[i])) continue;
      const auto above = std::upper_bound(offsets_.begin(), offsets_.end(), i);
      return Edge{std::size_t(above - offsets_.begin()) - 1, targets_[i], weights_[i]};
    }
    return std::nullopt;
  }

  // Dense-node fast path for the engine's bookkeeping.
  std::size_t node_count() const noexcept { return num_nodes(); }
  std::size_t index_of(std::size_t u) const noexcept { return u; }
  std::size_t node_at(std::size_t i) const noexcept { return i; }

 private:
  // Calls put(source, target, weight) for each arc in input order, an
  // undirected edge's reverse arc right after the edge.
  template <class S, class T, class W, class Put>
  void each_arc(std::size_t m, const S& source, const T& target, const W& weight, Put& put) const {
    for (std::size_t i = 0; i < m; ++i) {
      const std::size_t a = source(i), b = target(i);
      const double w = weight(i);
      put(a, b, w);
      if (undirected_) put(b, a, w);
    }
  }

  // Each arc straight to its slot.
  template <class S, class T, class W>
  void place_direct(std::size_t m, const S& source, const T& target, const W& weight) {
    std::vector<std::size_t> cursor(offsets_.begin(), offsets_.end() - 1);
    auto put = [&](std::size_t a, std::size_t b, double w) {
      const std::size_t at = cursor[a]++;
      targets_[at] = b;
      weights_[at] = w;
    };
    each_arc(m, source, target, weight, put);
  }

  // Calls count(node) for each arc's source, in input order, after checking
  // the edge's endpoints.
  template <class S, class T, class Count>
  void each_endpoint(std::size_t m, const S& source, const T& target, Count&& count) const {
    const std::size_t n = num_nodes();
    for (std::size_t i = 0; i < m; ++i) {
      const std::size_t a = source(i), b = target(i);
      if (a >= n || b >= n) throw UsageError(edge_out_of_range_message(a, b, n));
      count(a);
      if (undirected_) count(b);
    }
  }

  // On a large graph the slots of consecutive edges lie far apart, and placing
  // arcs one by one waits on memory for each. Here arcs are counted and placed
  // by blocks of sources first (a few hundred counters and write heads, which
  // stay cached), then block by block counted and placed by node, within a
  // window that fits in cache. The order is the same: both steps keep the
  // input order. Declines (false, offsets untouched) for a small graph, which
  // is cached anyway, and for one whose arcs crowd into one block, where
  // placing directly stays local.
  static constexpr unsigned kBlockBits = 12;
  template <class S, class T, class W>
  bool build_blocked(std::size_t m, const S& source, const T& target, const W& weight) {
    const std::size_t n = num_nodes(), arcs = undirected_ ? detail::sat_mul(m, 2) : m;
    if (arcs < (std::size_t(1) << 18) || n <= (std::size_t(1) << kBlockBits) ||
        n > std::numeric_limits<std::uint32_t>::max())
      return false;
    const std::size_t blocks = ((n - 1) >> kBlockBits) + 1;
    std::vector<std::size_t> start(blocks + 1, 0);
    each_endpoint(m, source, target, [&](std::size_t a) { ++start[(a >> kBlockBits) + 1]; });
    std::size_t widest = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
      widest = std::max(widest, start[b + 1]);
      start[b + 1] += start[b];
    }
    if (widest > arcs / 4) return false;
    detail::resize_for_writing(targets_, arcs);
    detail::resize_for_writing(weights_, arcs);
    std::vector<std::size_t> head(start.begin(), start.end() - 1);
    std::vector<std::uint32_t> from;
    detail::resize_for_writing(from, arcs);
    auto put = [&](std::size_t a, std::size_t b, double w) {
      const std::size_t at = head[a >> kBlockBits]++;
      from[at] = std::uint32_t(a);
      targets_[at] = b;
      weights_[at] = w;
    };
    each_arc(m, source, target, weight, put);
    std::vector<std::size_t> cursor(std::size_t(1) << kBlockBits), to(widest);
    std::vector<double> by(widest);
    for (std::size_t b = 0; b < blocks; ++b) {
      const std::size_t lo = start[b], hi = start[b + 1];
      const std::size_t first = b << kBlockBits, last = std::min(first + cursor.size(), n);
      // The block's nodes counted and their offsets laid out from lo.
      std::fill(cursor.begin(), cursor.end(), 0);
      for (std::size_t k = lo; k < hi; ++k) ++cursor[from[k] - first];
      for (std::size_t v = first, at = lo; v < last; ++v) {
        offsets_[v] = at;
        at += std::exchange(cursor[v - first], at);
      }
      std::copy(targets_.begin() + lo, targets_.begin() + hi, to.begin());
      std::copy(weights_.begin() + lo, weights_.begin() + hi, by.begin());
      for (std::size_t k = lo; k < hi; ++k) {
        const std::size_t at = cursor[from[k] - first]++;
        targets_[at] = to[k - lo];
        weights_[at] = by[k - lo];
      }
    }
    offsets_[n] = arcs;
    return true;
  }

  void check_node(std::size_t u) const {
    if (u >= num_nodes())
      throw CoreError("node " + std::to_string(u) + " is out of range for a " +
                      std::to_string(num_nodes()) + "-node graph");
  }

  // Where transpose() keeps what it built. Copies of a graph share it: they
  // hold the same arcs, so they have the same transpose.
  struct TransposeSlot {
    std::mutex lock;
    std::atomic<const CsrGraph*> ready{nullptr};
    std::unique_ptr<const CsrGraph> graph;
  };

  std::vector<std::size_t> offsets_;
  std::vector<std::size_t> targets_;
  std::vector<double> weights_;
  bool undirected_ = false;
  std::shared_ptr<TransposeSlot> transpose_;
};

// An undirected edge is named by either of its arcs: both are the same edge.
inline std::string nan_arc_message(const Edge& arc) {
  return "edge (" + std::to_string(arc.source) + ", " + std::to_string(arc.target) +
         ") has a NaN weight";
}

// The built-in heuristics of explicit graphs, by name.
inline constexpr auto graph_heuristics() {
  return HeuristicTable("zero", "unknown graph heuristic: '",
                        "'. Use 'zero' or a callable h(node, goal) -> float",
                        Named<Zero>{"zero", {}});
}

}  // namespace wayloom
