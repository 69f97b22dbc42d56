// IDA*: depth-first passes bounded by a threshold on f = g + h, the threshold
// rising each pass to the smallest f that exceeded it. The passes are the
// shared depth-first walk (search/depth_first_walk.hpp) cut by that threshold.
#pragma once

#include <cmath>
#include <utility>
#include <vector>

#include "wayloom/core/concepts.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/search/depth_first_walk.hpp"
#include "wayloom/search/helpers.hpp"

namespace wayloom {

template <Graph G, Heuristic<node_t<G>> H>
SearchResult<node_t<G>> ida_star(const G& graph, const H& heuristic, const node_t<G>& start,
                                 const node_t<G>& goal, bool record,
                                 MemoryBudget* budget = nullptr) {
  using N = node_t<G>;
  return timed([&]() -> SearchResult<N> {
    detail::DepthFirstWalk<G, detail::BoundCut<N, H>> walk(graph, record, budget);
    walk.count_start();  // once: later passes restart from it without generating it again
    std::vector<TraceStep<N>> trace;
    detail::BoundCut<N, H> cut{heuristic, goal, heuristic.estimate(start, goal)};
    while (true) {
      cut.next_threshold = kInf;
      if (auto path = walk.pass(start, goal, cut, trace))
        return solved(graph, std::move(*path), walk.count, std::move(trace));
      // Nothing was cut off (an infinite bound): every simple path was tried.
      if (std::isinf(cut.next_threshold)) return exhausted(walk.count, std::move(trace));
      cut.threshold = cut.next_threshold;
    }
  });
}

}  // namespace wayloom
