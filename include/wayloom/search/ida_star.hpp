// IDA*: depth-first passes bounded by a threshold on f = g + h, the threshold
// rising each pass to the smallest f that exceeded it.
//
// The depth-first machinery is that of depth-limited search: an explicit stack
// of frames holding whole successor lists and a path set that excludes only
// the current path's nodes. Each frame also carries the smallest over-threshold
// f seen in its subtree, folded into its parent when it is popped.
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

template <class N>
struct IdaFrame {
  Neighbors<N> successors;
  double g = 0.0;
  std::size_t next = 0;
  double next_bound = kInf;  // smallest f above the threshold in this subtree
};

// min that ignores a NaN operand (a NaN f never becomes a threshold).
inline double min_ignoring_nan(double a, double b) noexcept { return std::fmin(a, b); }

}  // namespace detail

template <Graph G, Heuristic<node_t<G>> H>
SearchResult<node_t<G>> ida_star(const G& graph, const H& heuristic, const node_t<G>& start,
                                 const node_t<G>& goal, bool record,
                                 MemoryBudget* budget = nullptr) {
  using N = node_t<G>;
  return timed([&]() -> SearchResult<N> {
    std::uint64_t expanded = 0, generated = 1, peak = 1;
    std::vector<TraceStep<N>> trace;
    detail::FrameStack<detail::IdaFrame<N>> stack;
    detail::NodeTable<N> path;  // the nodes of the open frames, in stack order
    stack.set_budget(budget);
    path.set_budget(budget, Use::Stacks);
    double threshold = heuristic.estimate(start, goal);

    while (true) {
      stack.clear();
      path.clear();
      // Points at the start or into the top frame's successor list, which
      // stays put until that frame is popped.
      const N* current = &start;
      double g = 0.0;
      double next_threshold = kInf;
      while (current != nullptr) {
        const double f = g + heuristic.estimate(*current, goal);
        if (f > threshold) {  // false for a NaN f: such a node is expanded
          if (stack.empty()) {
            next_threshold = f;
            break;
          }
          auto& top = stack.top();
          top.next_bound = detail::min_ignoring_nan(top.next_bound, f);
        } else {
          ++expanded;
          if (record) detail::record_step(trace, budget, *current, g, path.size());
          if (*current == goal) {
            // The open frames' nodes, bottom to top, then the goal.
            std::vector<N> found;
            found.reserve(path.size() + 1);
            found.assign(path.nodes().begin(), path.nodes().end());
            found.push_back(goal);
            return solved(graph, std::move(found), expanded, generated, peak, std::move(trace));
          }
          const auto id = path.insert(*current).first;
          auto& frame = stack.push();
          frame.successors.clear();
          detail::successors_into(graph, path.node(id), frame.successors, budget);
          frame.g = g;
          frame.next = 0;
          frame.next_bound = kInf;
          peak = std::max<std::uint64_t>(peak, path.size());
        }
        // Advance to the next untried successor, closing finished frames.
        current = nullptr;
        while (!stack.empty()) {
          auto& top = stack.top();
          if (top.next == top.successors.size()) {
            const double bound = top.next_bound;
            stack.pop();
            path.pop_back();
            if (stack.empty()) {
              next_threshold = bound;
              break;
            }
            auto& parent = stack.top();
            parent.next_bound = detail::min_ignoring_nan(parent.next_bound, bound);
            continue;
          }
          const auto& [child, w] = top.successors[top.next++];
          if (path.contains(child)) continue;  // a cycle along the current path
          ++generated;                         // counted even if the visit is then cut off
          current = &child;
          g = top.g + w;
          break;
        }
      }
      // Nothing was cut off (an infinite bound): every simple path was tried.
      if (std::isinf(next_threshold)) return exhausted(expanded, generated, peak, std::move(trace));
      threshold = next_threshold;
    }
  });
}

}  // namespace wayloom
