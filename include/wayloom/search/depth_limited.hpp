// Depth-limited and iterative-deepening depth-first search, on the shared
// depth-first walk (search/depth_first_walk.hpp) cut by remaining depth.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "wayloom/core/concepts.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/search/depth_first_walk.hpp"
#include "wayloom/search/helpers.hpp"

namespace wayloom {

namespace detail {

template <Graph G>
using DlsWalk = DepthFirstWalk<G, DepthCut>;

// One depth-bounded pass; each pass counts the start as generated again.
template <Graph G>
auto dls_pass(DlsWalk<G>& walk, const node_t<G>& start, const node_t<G>& goal, std::uint64_t limit,
              std::vector<TraceStep<node_t<G>>>& trace) {
  walk.count_start();
  DepthCut cut{limit};
  return walk.pass(start, goal, cut, trace);
}

}  // namespace detail

// One depth-bounded pass, untimed: the engine of `dls` and `iddfs`. The
// limit counts edges; the goal is tested before the depth check, so a goal
// exactly `limit` edges away is found.
template <Graph G>
SearchResult<node_t<G>> dls_inner(const G& graph, const node_t<G>& start, const node_t<G>& goal,
                                  std::uint64_t limit, bool record,
                                  MemoryBudget* budget = nullptr) {
  detail::DlsWalk<G> walk(graph, record, budget);
  std::vector<TraceStep<node_t<G>>> trace;
  auto path = detail::dls_pass(walk, start, goal, limit, trace);
  if (path) return solved(graph, std::move(*path), walk.count, std::move(trace));
  return exhausted(walk.count, std::move(trace));
}

// Depth-limited search.
template <Graph G>
SearchResult<node_t<G>> dls(const G& graph, const node_t<G>& start, const node_t<G>& goal,
                            std::uint64_t depth_limit, bool record,
                            MemoryBudget* budget = nullptr) {
  return timed([&] { return dls_inner(graph, start, goal, depth_limit, record, budget); });
}

// Iterative deepening: passes with limits 0, 1, ..., depth_limit, each from
// scratch, until one reaches the goal. Counters are summed over the passes
// (each counts the start as generated again), the peak is the largest of any
// pass, and the trace is the passes' traces one after another. There is no
// early exit when a pass was not cut off: an unreachable goal costs all
// depth_limit + 1 passes.
template <Graph G>
SearchResult<node_t<G>> iddfs(const G& graph, const node_t<G>& start, const node_t<G>& goal,
                              std::uint64_t depth_limit, bool record,
                              MemoryBudget* budget = nullptr) {
  return timed([&]() -> SearchResult<node_t<G>> {
    detail::DlsWalk<G> walk(graph, record, budget);
    std::vector<TraceStep<node_t<G>>> trace;
    for (std::uint64_t d = 0;; ++d) {
      if (auto path = detail::dls_pass(walk, start, goal, d, trace)) {
        // The pass makes its own result, then the combined result is made
        // again from that pass's path: the graph is asked for the path's arc
        // costs twice, which a Python successor function can observe.
        auto pass_result = solved(graph, std::move(*path), Counters{}, {});
        return solved(graph, std::move(*pass_result.path), walk.count, std::move(trace));
      }
      if (d == depth_limit) break;
    }
    return exhausted(walk.count, std::move(trace));
  });
}

}  // namespace wayloom
