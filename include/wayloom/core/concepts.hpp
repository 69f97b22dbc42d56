// The contracts through which a search sees its problem.
#pragma once

#include <concepts>
#include <cstddef>
#include <utility>
#include <vector>

namespace wayloom {

template <class N>
using Neighbors = std::vector<std::pair<N, double>>;

// A graph appends (successor, step cost) pairs for a node, in its fixed order,
// to a caller-owned buffer without clearing it.
template <class G>
concept Graph = requires { typename G::node_type; } && std::copyable<typename G::node_type> &&
                std::equality_comparable<typename G::node_type> &&
                requires(const G& g, const typename G::node_type& n,
                         Neighbors<typename G::node_type>& out) { g.neighbors_into(n, out); };

template <Graph G>
using node_t = typename G::node_type;

// A graph whose nodes are dense indices 0..node_count(): the engine may keep
// its bookkeeping in flat arrays instead of hash tables.
template <class G>
concept DenseGraph = Graph<G> && requires(const G& g, const node_t<G>& n, std::size_t i) {
  { g.node_count() } -> std::convertible_to<std::size_t>;
  { g.index_of(n) } -> std::convertible_to<std::size_t>;
  { g.node_at(i) } -> std::same_as<node_t<G>>;
};

// A graph that can build its transpose: the same nodes with every arc turned
// around, so that the successors of a node in the transpose are its
// predecessors here, with the same costs. Searches that walk back from the
// goal use it to follow real arcs; `symmetric()` says when every arc already
// has its twin, so the graph can serve as its own transpose and none is built.
// Domains without it are symmetric by construction (puzzles, ladders), or
// offer reversed(), a view walking their arcs backwards (a grid, whose moves
// both ways cost what they enter); see detail::with_reverse.
template <class G>
concept TransposableGraph = Graph<G> && requires(const G& g) {
  { g.symmetric() } -> std::convertible_to<bool>;
  { g.transposed() } -> std::same_as<G>;
};

template <class H, class N>
concept Heuristic = requires(const H& h, const N& n, const N& goal) {
  { h.estimate(n, goal) } -> std::convertible_to<double>;
};

// A built-in heuristic that declares itself a pure function with finite,
// non-negative values: the engine may skip calls whose value cannot matter.
// Every other heuristic (a user's callable above all) gets every call its
// algorithm describes.
template <class H>
concept PureHeuristic = requires { requires H::pure; };

// The zero heuristic, shared by every domain.
struct Zero {
  static constexpr bool pure = true;
  template <class N>
  double estimate(const N&, const N&) const noexcept {
    return 0.0;
  }
};

// Successors of a node in a new vector (the strategies use this; the best-first
// driver reuses one buffer through neighbors_into).
template <Graph G>
Neighbors<node_t<G>> neighbors(const G& g, const node_t<G>& n) {
  Neighbors<node_t<G>> out;
  g.neighbors_into(n, out);
  return out;
}

}  // namespace wayloom
