// Bidirectional Dijkstra: a uniform-cost search forward from the start and
// one backward from the goal along the arcs entering a node. Each step expands
// the side whose frontier holds fewer entries (the forward side on a tie): the
// cheaper side to grow, which on graphs of uneven degree expands a quarter
// fewer nodes than growing both to the same radius.
// Whenever a side lowers a node's cost and the other side has reached that
// node too, the sum is a path's cost; the cheapest such meeting is kept. The
// search stops when the two frontiers' tops add up to at least that cost: no
// path left to find can be cheaper. Exact on weighted directed graphs with
// non-negative arcs, which it checks as it relaxes them.
//
// Counters as the best-first driver keeps them, over both sides: expansions,
// pushes (the two roots included), and the peak of the two frontiers' summed
// length. A trace step carries the expanded node's cost from its own side's
// root and the two frontiers' summed length after the pop. The two halves are
// two trees that share nodes, so no tree is recorded.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "wayloom/core/compiler.hpp"
#include "wayloom/core/concepts.hpp"
#include "wayloom/core/error.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/frontier/frontiers.hpp"
#include "wayloom/search/helpers.hpp"
#include "wayloom/search/strategy_support.hpp"
#include "wayloom/store/hashed_store.hpp"
#include "wayloom/store/node_store.hpp"

namespace wayloom {

namespace detail {

// One direction: its frontier and its records, over the ids both sides share.
template <class Store>
struct DijkstraSide {
  PriorityFrontier frontier;
  Store store;

  DijkstraSide(NodeId root, std::size_t capacity, MemoryBudget* budget) : store(capacity, budget) {
    store.reach(root, kNoNode, 0.0);
    frontier.push(root, 0.0);
  }

  // Pops the entries of nodes already expanded (with non-negative arcs a
  // node's cheaper entry always leaves first) and gives the top's priority.
  double top() {
    while (const PriorityFrontier::Entry* e = frontier.top()) {
      if (store.status(e->id) != NodeStatus::Closed) return e->priority;
      frontier.pop();
    }
    return kInf;
  }
};

// Calls f(successor, weight) for each arc out of `node`, in place when the
// graph can walk them, else through the reused buffer.
template <class G, class N, class F>
void expand_each(const G& graph, const N& node, Neighbors<N>& buffer, F&& f) {
  if constexpr (requires { graph.for_each_successor(node, f); }) {
    graph.for_each_successor(node, f);
  } else {
    buffer.clear();
    graph.neighbors_into(node, buffer);
    for (const auto& [m, w] : buffer) f(m, w);
  }
}

}  // namespace detail

// Bidirectional Dijkstra over `graph`, walking back through `reverse` (the
// graph's transpose, or the graph itself when it is symmetric); untimed.
template <Graph G, Graph R>
SearchResult<node_t<G>> bidirectional_dijkstra_inner(const G& graph, const R& reverse,
                                                     const node_t<G>& start, const node_t<G>& goal,
                                                     const SearchOptions& options) {
  using N = node_t<G>;
  SearchResult<N> result;
  MemoryBudget* const budget = options.budget;
  if (start == goal) {
    if (options.record) detail::record_step(result.trace, budget, start, 0.0, 0);
    return solved_at_cost(
        std::vector<N>{start}, 0.0,
        Counters{.nodes_expanded = 1, .nodes_generated = 1, .max_frontier_size = 1},
        std::move(result.trace));
  }
  index_for_t<G> index(graph, budget);
  const NodeId start_id = index.intern(start), goal_id = index.intern(goal);
  using Side = detail::DijkstraSide<GrowingStore>;
  constexpr bool kHints = requires(const N& n) {
    graph.prefetch_arcs(n);
    reverse.prefetch_node(n);
  };
  Side fwd(start_id, index.capacity(), budget);
  Side bwd(goal_id, index.capacity(), budget);
  Counters count{.nodes_generated = 2, .max_frontier_size = 2};
  std::size_t frontier_room = 0;
  double best = kInf;
  NodeId meeting = kNoNode;
  StopReason stop = StopReason::Exhausted;
  Neighbors<N> buffer;

  while (true) {
    const double top_f = fwd.top(), top_b = bwd.top();
    if (top_f + top_b >= best) break;  // also when a side has run dry
    const bool backward = bwd.frontier.size() < fwd.frontier.size();
    Side& side = backward ? bwd : fwd;
    const Side& other = backward ? fwd : bwd;
    const NodeId u = *side.frontier.pop();
    const double gu = *side.store.close(u);
    ++count.nodes_expanded;
    if (options.record)
      detail::record_step(result.trace, budget, index.node(u), gu,
                          fwd.frontier.size() + bwd.frontier.size());
    if (options.max_nodes && count.nodes_expanded >= *options.max_nodes) {
      stop = StopReason::NodeLimit;
      break;
    }
    // What is likely expanded next: its arcs start coming in meanwhile.
    if constexpr (kHints) {
      if (const auto* e = fwd.frontier.top()) graph.prefetch_arcs(index.node(e->id));
      if (const auto* e = bwd.frontier.top()) reverse.prefetch_arcs(index.node(e->id));
    }
    // The other side's top bounds what is left of any path through a node it
    // has not closed: an entry that cannot beat the best meeting is not pushed.
    const double rest = backward ? top_f : top_b;
    auto relax = [&](const N& m, double w) WAYLOOM_LAMBDA_ALWAYS_INLINE {
      if (!(w >= 0.0)) throw UsageError("'bidirectional_dijkstra' needs arc weights >= 0");
      const double g2 = gu + w;
      const NodeId v = index.intern(m);
      const NodeStatus status = side.store.status(v);
      if (status == NodeStatus::Closed) return;
      if (status == NodeStatus::Open && !(g2 < side.store.g(v))) return;
      // Not closed on the other side: a path through v costs at least
      // g2 + rest, and a meeting there no less.
      const NodeStatus there = other.store.status(v);
      if (there != NodeStatus::Closed && !(g2 + rest < best)) return;
      side.store.reach(v, u, g2);
      side.frontier.push(v, g2);
      if constexpr (kHints) backward ? reverse.prefetch_node(m) : graph.prefetch_node(m);
      if (there != NodeStatus::Unreached && g2 + other.store.g(v) < best) {
        best = g2 + other.store.g(v);
        meeting = v;
      }
      ++count.nodes_generated;
    };
    // Interning a successor may move the interned nodes: expand a copy.
    const N node_u = index.node(u);
    if (backward)
      detail::expand_each(reverse, node_u, buffer, relax);
    else
      detail::expand_each(graph, node_u, buffer, relax);
    const std::uint64_t size = fwd.frontier.size() + bwd.frontier.size();
    if (size > count.max_frontier_size) {
      count.max_frontier_size = size;
      if (size > frontier_room) {
        const std::size_t room = std::max<std::size_t>(2 * frontier_room, 1024);
        detail::charge(budget, (room - frontier_room) * sizeof(PriorityFrontier::Entry),
                       Use::Frontier);
        frontier_room = room;
      }
    }
  }
  static_cast<Counters&>(result) = count;
  result.stop_reason = stop;
  if (stop != StopReason::NodeLimit && meeting != kNoNode) {
    // start ... meeting from the forward records, then on to the goal along
    // the backward ones.
    std::vector<N> path;
    for (const NodeId id : fwd.store.path_to(meeting)) path.push_back(index.node(id));
    const std::vector<NodeId> back = bwd.store.path_to(meeting);
    for (auto id = back.rbegin() + 1; id != back.rend(); ++id) path.push_back(index.node(*id));
    result.cost = path_cost(graph, path);
    result.path = std::move(path);
    result.stop_reason = StopReason::Goal;
  }
  return result;
}

template <Graph G>
SearchResult<node_t<G>> bidirectional_dijkstra(const G& graph, const node_t<G>& start,
                                               const node_t<G>& goal,
                                               const SearchOptions& options) {
  return timed([&] {
    return detail::with_reverse(graph, options.budget, [&](const auto& reverse) {
      return bidirectional_dijkstra_inner(graph, reverse, start, goal, options);
    });
  });
}

}  // namespace wayloom
