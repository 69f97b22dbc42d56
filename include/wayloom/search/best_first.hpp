// The one best-first driver behind bfs, dfs, ucs/dijkstra, greedy, A* and
// weighted A*: a graph search with a closed set, f = g_weight*g + h_weight*h,
// goal test at expansion, improved nodes re-pushed (no decrease-key).
#pragma once

#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

#include "wayloom/core/compiler.hpp"
#include "wayloom/core/concepts.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/frontier/frontiers.hpp"
#include "wayloom/search/helpers.hpp"
#include "wayloom/store/node_store.hpp"

namespace wayloom {

namespace detail {

// Bytes one frontier entry takes, for the memory budget.
template <class Frontier>
inline constexpr std::size_t kFrontierEntryBytes = sizeof(NodeId);
template <>
inline constexpr std::size_t kFrontierEntryBytes<PriorityFrontier> =
    sizeof(PriorityFrontier::Entry);

template <class Frontier, bool Record, class Store, Graph G, class H>
SearchResult<node_t<G>> best_first_run(const G& graph, const node_t<G>& start,
                                       const node_t<G>& goal, const BestFirstSpec& spec,
                                       const H& heuristic, const SearchOptions& options,
                                       Clock::time_point t0) {
  using N = node_t<G>;
  SearchResult<N> result;
  {
    using Index = index_for_t<G>;
    MemoryBudget* const budget = options.budget;
    Index index(graph, budget);
    Store store(index.capacity(), budget);
    Frontier frontier;
    Neighbors<N> buffer;
    std::vector<NodeId> discovered;

    const double gw = spec.g_weight, hw = spec.h_weight;
    const NodeId start_id = index.intern(start);
    const NodeId goal_id = index.intern(goal);
    Counters count{.nodes_generated = 1, .max_frontier_size = 1};
    // The frontier is charged in doublings as its peak grows (it never shrinks).
    std::size_t frontier_room = 0;
    // Only a negative arc can close a cycle of negative cost, and only such a
    // cycle can turn the parent links into a loop; checked lazily.
    bool seen_negative = false;

    // The priority of a node reached at cost g. A pure heuristic is not asked
    // where its value cannot matter: a FIFO or LIFO frontier ignores
    // priorities, and a zero h weight times a finite h >= 0 adds a zero of
    // the weight's sign, as below.
    auto priority = [&](const N& m, double g) {
      if constexpr (PureHeuristic<H>) {
        if constexpr (!Frontier::kOrdered) return 0.0;
        if (hw == 0.0) return gw * g + hw * 0.0;
      }
      return gw * g + hw * heuristic.estimate(m, goal);
    };

    store.reach(start_id, kNoNode, 0.0);
    frontier.push(start_id, priority(start, 0.0));

    StopReason stop = StopReason::Exhausted;
    double goal_cost = kInf;
    while (true) {
      const std::optional<NodeId> popped = frontier.pop();
      if (!popped) break;
      const NodeId u = *popped;
      const std::optional<double> closed = store.close(u);
      if (!closed) continue;  // stale entry
      const double gu = *closed;
      if constexpr (Record) {
        make_room(result.trace, budget, Use::Record);
        if constexpr (!kPlainNode<N>) charge(budget, heap_bytes(index.node(u)), Use::Record);
        result.trace.push_back({index.node(u), gu, frontier.size()});
      }
      ++count.nodes_expanded;
      if (u == goal_id) {
        stop = StopReason::Goal;
        goal_cost = gu;
        break;
      }
      if (options.max_nodes && count.nodes_expanded >= *options.max_nodes) {
        stop = StopReason::NodeLimit;
        break;
      }
      // Successors straight from the domain where it can hand them over one by
      // one, else through the reused buffer; the same ones in the same order.
      auto relax = [&](const N& m, double w) WAYLOOM_LAMBDA_ALWAYS_INLINE {
        const double g2 = gu + w;
        if (w < 0.0) seen_negative = true;
        const NodeId v = index.intern(m);
        switch (store.status(v)) {
          case NodeStatus::Unreached:
            if constexpr (Record) {
              make_room(discovered, budget, Use::Record);
              discovered.push_back(v);
            }
            break;
          case NodeStatus::Open:
            if (!(g2 < store.g(v))) return;
            if (options.reopen && seen_negative && store.on_chain(v, u)) return;
            break;
          case NodeStatus::Closed:
            if (!options.reopen || !(g2 < store.g(v))) return;
            // Re-parenting an ancestor under its own descendant would close a
            // negative cycle; refusing it keeps the search finite and the
            // parent links a tree.
            if (seen_negative && store.on_chain(v, u)) return;
            ++count.nodes_reopened;
            break;
        }
        store.reach(v, u, g2);
        frontier.push(v, priority(m, g2));
        ++count.nodes_generated;
        if (frontier.size() > count.max_frontier_size) {
          count.max_frontier_size = frontier.size();
          if (count.max_frontier_size > frontier_room) {
            const std::size_t room = std::max<std::size_t>(2 * frontier_room, 1024);
            charge(budget, (room - frontier_room) * kFrontierEntryBytes<Frontier>, Use::Frontier);
            frontier_room = room;
          }
        }
      };
      if constexpr (requires { graph.for_each_successor(index.node(u), relax); }) {
        // Interning a successor may move the interned nodes: walk from a copy.
        const N node_u = index.node(u);
        graph.for_each_successor(node_u, relax);
      } else {
        buffer.clear();
        graph.neighbors_into(index.node(u), buffer);
        for (auto& [m, w] : buffer) relax(m, w);
      }
    }

    if (stop == StopReason::Goal) {
      std::vector<N> path;
      for (const NodeId id : store.path_to(goal_id)) path.push_back(index.node(id));
      result.path = std::move(path);
      result.cost = goal_cost;
    }
    if constexpr (Record) {
      charge(budget, discovered.size() * sizeof(std::pair<N, N>), Use::Record);
      if constexpr (!kPlainNode<N>)
        for (const NodeId id : discovered)
          charge(budget, 2 * heap_bytes(index.node(id)), Use::Record);
      result.tree.reserve(discovered.size());
      for (const NodeId id : discovered) {
        const NodeId p = store.parent(id);
        if (p != kNoNode) result.tree.emplace_back(index.node(p), index.node(id));
      }
    }
    static_cast<Counters&>(result) = count;
    result.stop_reason = stop;
  }  // frontier, store and buffers are released before the clock is read
  result.elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0);
  return result;
}

// The driver over one frontier type, with recording compiled in or out.
template <class Frontier, Graph G, class H>
SearchResult<node_t<G>> best_first_for_frontier(const G& graph, const node_t<G>& start,
                                                const node_t<G>& goal, const BestFirstSpec& spec,
                                                const H& heuristic, const SearchOptions& options,
                                                Clock::time_point t0) {
  if (options.record)
    return best_first_run<Frontier, true, NodeStore>(graph, start, goal, spec, heuristic, options,
                                                     t0);
  if constexpr (DenseGraph<G>) {
    // A sweep (an unordered frontier, or no heuristic term) reaches most of
    // what lies within its radius: flat arrays then cost no more memory and
    // save the page lookups.
    const bool sweep = !Frontier::kOrdered || spec.h_weight == 0.0;
    // The flat arrays are charged whole, so under a tight budget the paged
    // store, which grows with the search, serves instead.
    if (sweep && graph.node_count() <= FlatStore::kMaxIds &&
        (!options.budget || options.budget->fits(FlatStore::bytes_for(graph.node_count()))))
      return best_first_run<Frontier, false, FlatStore>(graph, start, goal, spec, heuristic,
                                                        options, t0);
  }
  return best_first_run<Frontier, false, NodeStore>(graph, start, goal, spec, heuristic, options,
                                                    t0);
}

}  // namespace detail

template <Graph G, class H>
  requires Heuristic<H, node_t<G>>
SearchResult<node_t<G>> search_with_options(const G& graph, const node_t<G>& start,
                                            const node_t<G>& goal, const BestFirstSpec& spec,
                                            const H& heuristic, const SearchOptions& options) {
  const auto t0 = Clock::now();
  switch (spec.frontier) {
    case FrontierKind::Fifo:
      return detail::best_first_for_frontier<FifoFrontier>(graph, start, goal, spec, heuristic,
                                                           options, t0);
    case FrontierKind::Lifo:
      return detail::best_first_for_frontier<LifoFrontier>(graph, start, goal, spec, heuristic,
                                                           options, t0);
    case FrontierKind::PriorityQueue:
      break;
  }
  return detail::best_first_for_frontier<PriorityFrontier>(graph, start, goal, spec, heuristic,
                                                           options, t0);
}

}  // namespace wayloom
