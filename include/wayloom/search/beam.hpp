// Beam search: breadth-first by layers, keeping only the `beam_width` children
// of each layer with the smallest heuristic estimate. A child is generated at
// most once per call, so a node pruned from one layer is never reconsidered.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "wayloom/core/concepts.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/search/helpers.hpp"
#include "wayloom/search/strategy_support.hpp"

namespace wayloom {

namespace detail {

struct BeamEntry {
  double key;  // heuristic estimate, computed once at generation
  NodeId id;   // the node, in the seen table
  double g;    // cost along the first parent chain (for the trace)
};

// Rank order of candidate keys: a before b when a < b, with NaN placed after
// every number and equal to any other NaN. Plain `<` is not a strict weak
// order once NaN appears (NaN would be "equal" to both 1 and 2), which
// std::stable_sort may not be given; this order agrees with `<` on numbers,
// so NaN keys only go last, in generation order like any other equal keys.
inline bool key_before(double a, double b) noexcept {
  if (std::isnan(a)) return false;
  return std::isnan(b) || a < b;
}

// The path from the root of the parent links to `id`.
template <class N>
std::vector<N> reconstruct(const NodeTable<N>& nodes, const std::vector<NodeId>& parent,
                           NodeId id) {
  std::vector<N> path;
  for (auto i = id; i != kNoNode; i = parent[i]) path.push_back(nodes.node(i));
  std::reverse(path.begin(), path.end());
  return path;
}

}  // namespace detail

// Beam search without timing.
template <Graph G, Heuristic<node_t<G>> H>
SearchResult<node_t<G>> beam_search_inner(const G& graph, const H& heuristic,
                                          const node_t<G>& start, const node_t<G>& goal,
                                          std::uint64_t beam_width, bool record,
                                          MemoryBudget* budget = nullptr) {
  using N = node_t<G>;
  using Table = detail::NodeTable<N>;
  Counters count{.nodes_generated = 1, .max_frontier_size = 1};
  std::vector<TraceStep<N>> trace;
  Table seen;  // every node ever generated, and the start
  seen.set_budget(budget, Use::Beam);
  std::vector<NodeId> parent;  // by id; the start has none
  seen.insert(start);
  parent.push_back(kNoNode);
  std::vector<detail::BeamEntry> layer{{0.0, 0, 0.0}}, candidates;
  Neighbors<N> successors;

  while (!layer.empty()) {
    count.max_frontier_size = std::max<std::uint64_t>(count.max_frontier_size, layer.size());
    candidates.clear();
    for (const detail::BeamEntry& e : layer) {
      if (record) detail::record_step(trace, budget, seen.node(e.id), e.g, candidates.size());
      ++count.nodes_expanded;
      // Tested at expansion: a goal must survive the pruning to be found.
      if (seen.node(e.id) == goal)
        return solved(graph, detail::reconstruct(seen, parent, e.id), count, std::move(trace));
      successors.clear();
      graph.neighbors_into(seen.node(e.id), successors);
      for (const auto& [child, w] : successors) {
        const auto [id, fresh] = seen.insert(child);
        if (!fresh) continue;
        detail::make_room(parent, budget, Use::Beam);
        parent.push_back(e.id);
        detail::make_room(candidates, budget, Use::Beam);
        candidates.push_back({heuristic.estimate(child, goal), id, e.g + w});
        ++count.nodes_generated;
      }
    }
    // Stable: equal keys keep generation order (layer order, then successor order).
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const detail::BeamEntry& a, const detail::BeamEntry& b) {
                       return detail::key_before(a.key, b.key);
                     });
    if (candidates.size() > beam_width) candidates.resize(std::size_t(beam_width));
    layer.swap(candidates);  // the kept prefix is the next layer, in rank order
  }
  return exhausted(count, std::move(trace));
}

template <Graph G, Heuristic<node_t<G>> H>
SearchResult<node_t<G>> beam_search(const G& graph, const H& heuristic, const node_t<G>& start,
                                    const node_t<G>& goal, std::uint64_t beam_width, bool record,
                                    MemoryBudget* budget = nullptr) {
  return timed(
      [&] { return beam_search_inner(graph, heuristic, start, goal, beam_width, record, budget); });
}

}  // namespace wayloom
