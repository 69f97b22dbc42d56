// Bidirectional breadth-first search: one search forward from the start and
// one backward from the goal, each advanced a whole layer at a time, always
// the side with the smaller frontier, until a layer touches the other side.
// Step costs play no part in the search; they only choose the cheapest of the
// paths through the meetings of that last layer.
//
// The backward half walks the arcs entering a node. A domain that can build
// its transpose (a directed explicit graph) provides them from its transpose,
// built once per graph; every other domain is symmetric and walks back along
// its successors.
#pragma once

#include <algorithm>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "wayloom/core/concepts.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/search/helpers.hpp"
#include "wayloom/search/strategy_support.hpp"

namespace wayloom {

namespace detail {

// One direction: the nodes it reached with the node whose expansion reached
// each first (the root has none), and its newest layer.
template <class N>
struct BidirSide {
  NodeTable<N> reached;
  std::vector<NodeId> parent;
  std::vector<NodeId> frontier;

  BidirSide(const N& root, MemoryBudget* budget) {
    reached.set_budget(budget, Use::Bidirectional);
    reached.insert(root);
    parent.push_back(kNoNode);
    frontier.push_back(0);
  }
};

// The path start ... m ... goal through a node reached by both sides.
template <class N>
std::vector<N> join(const BidirSide<N>& forward, const BidirSide<N>& backward, const N& m) {
  std::vector<N> path;
  for (auto i = forward.reached.find(m); i != kNoNode; i = forward.parent[i])
    path.push_back(forward.reached.node(i));
  std::reverse(path.begin(), path.end());
  const auto at = backward.reached.find(m);
  for (auto i = backward.parent[at]; i != kNoNode; i = backward.parent[i])
    path.push_back(backward.reached.node(i));
  return path;
}

}  // namespace detail

// Bidirectional search over `graph`, walking back through `reverse` (the
// graph's transpose, or the graph itself when it is symmetric); untimed.
template <Graph G, Graph R>
SearchResult<node_t<G>> bidirectional_inner(const G& graph, const R& reverse,
                                            const node_t<G>& start, const node_t<G>& goal,
                                            bool record, MemoryBudget* budget = nullptr) {
  static_assert(std::same_as<node_t<G>, node_t<R>>, "a transpose has the graph's nodes");
  using N = node_t<G>;
  if (start == goal)
    return solved(graph, std::vector<N>{start},
                  Counters{.nodes_expanded = 0, .nodes_generated = 1, .max_frontier_size = 1}, {});

  detail::BidirSide<N> fwd(start, budget), bwd(goal, budget);
  Counters count{.nodes_generated = 2, .max_frontier_size = 2};
  std::vector<TraceStep<N>> trace;
  // Working buffers, rotated between iterations rather than reallocated.
  std::vector<NodeId> layer, next, meetings;
  Neighbors<N> successors;

  while (!fwd.frontier.empty() && !bwd.frontier.empty()) {
    const bool backward = bwd.frontier.size() < fwd.frontier.size();
    detail::BidirSide<N>& side = backward ? bwd : fwd;
    const detail::BidirSide<N>& other = backward ? fwd : bwd;
    layer.clear();
    layer.swap(side.frontier);  // the side's frontier is left empty
    next.clear();
    meetings.clear();
    count.nodes_expanded += layer.size();
    // The whole layer is expanded even when a meeting comes early in it.
    for (const NodeId u : layer) {
      if (record)
        detail::record_step(trace, budget, side.reached.node(u), std::nullopt, next.size());
      successors.clear();
      if (backward)
        reverse.neighbors_into(side.reached.node(u), successors);
      else
        graph.neighbors_into(side.reached.node(u), successors);
      for (const auto& [v, w] : successors) {
        const auto [id, fresh] = side.reached.insert(v);
        if (!fresh) continue;
        detail::make_room(side.parent, budget, Use::Bidirectional);
        side.parent.push_back(u);
        auto& into = other.reached.contains(v) ? meetings : next;
        detail::make_room(into, budget, Use::Bidirectional);
        into.push_back(id);
        ++count.nodes_generated;
      }
    }
    if (!meetings.empty()) {
      // The cheapest joined path wins; on equal cost the earlier meeting stays,
      // and a NaN cost gives way to any later candidate.
      std::optional<std::pair<std::vector<N>, double>> best;
      for (const NodeId m : meetings) {
        std::vector<N> path = detail::join(fwd, bwd, side.reached.node(m));
        const double cost = path_cost(graph, path);
        if (!best || std::isnan(best->second) || cost < best->second)
          best.emplace(std::move(path), cost);
      }
      // The meeting layer is never a frontier, so the peak stays as it is.
      return solved_at_cost(std::move(best->first), best->second, count, std::move(trace));
    }
    count.max_frontier_size = std::max<std::uint64_t>(count.max_frontier_size, next.size());
    side.frontier.swap(next);
  }
  return exhausted(count, std::move(trace));
}

template <Graph G>
SearchResult<node_t<G>> bidirectional(const G& graph, const node_t<G>& start, const node_t<G>& goal,
                                      bool record, MemoryBudget* budget = nullptr) {
  return timed([&] {
    if (start == goal) return bidirectional_inner(graph, graph, start, goal, record, budget);
    return detail::with_reverse(graph, budget, [&](const auto& reverse) {
      return bidirectional_inner(graph, reverse, start, goal, record, budget);
    });
  });
}

}  // namespace wayloom
