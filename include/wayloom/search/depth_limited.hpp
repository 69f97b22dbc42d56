// Depth-limited and iterative-deepening depth-first search.
//
// One engine runs a depth-bounded pass over an explicit stack of frames (no
// recursion, so deep limits cannot exhaust the call stack). Cycles are
// detected only along the current path: a node reached again through another
// branch is visited again, and memory grows with the path, not the graph.
#pragma once

#include <algorithm>
#include <cstddef>
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

// A node being expanded: its successor list and how far the walk through it
// has got. The node itself lives in the path set, at the frame's height.
template <class N>
struct DlsFrame {
  Neighbors<N> successors;
  double g = 0.0;
  std::uint64_t depth = 0;  // remaining depth budget
  std::size_t next = 0;     // next successor to try
};

// Stack, path set and counters of depth-limited passes. The buffers are kept
// between passes, so iterative deepening does not reallocate them each time.
template <Graph G>
class DlsEngine {
 public:
  using N = node_t<G>;

  DlsEngine(const G& graph, bool record, MemoryBudget* budget)
      : graph_(graph), record_(record), budget_(budget) {
    stack_.set_budget(budget);
    path_.set_budget(budget, Use::Stacks);
  }

  std::uint64_t expanded = 0;
  std::uint64_t generated = 0;
  std::uint64_t peak = 0;

  // Runs one pass, adding to the counters and appending to `trace`; returns
  // the path when the goal was reached.
  std::optional<std::vector<N>> pass(const N& start, const N& goal, std::uint64_t limit,
                                     std::vector<TraceStep<N>>& trace) {
    stack_.clear();
    path_.clear();
    generated += 1;
    peak = std::max<std::uint64_t>(peak, 1);
    // Points at the start or into a frame's successor list; that list stays
    // put until its frame is popped, which cannot happen before the visit.
    const N* current = &start;
    double g = 0.0;
    std::uint64_t depth = limit;
    while (true) {
      ++expanded;
      if (record_) record_step(trace, budget_, *current, g, path_.size());
      if (*current == goal) return path_to(goal);
      if (depth > 0) {
        // Successors are requested only for nodes that have depth left.
        const auto id = path_.insert(*current).first;
        DlsFrame<N>& frame = stack_.push();
        frame.successors.clear();
        successors_into(graph_, path_.node(id), frame.successors, budget_);
        frame.g = g;
        frame.depth = depth;
        frame.next = 0;
        peak = std::max<std::uint64_t>(peak, path_.size());
      }
      // Advance to the next untried successor of the deepest open frame.
      current = nullptr;
      while (!stack_.empty()) {
        DlsFrame<N>& top = stack_.top();
        if (top.next == top.successors.size()) {
          stack_.pop();
          path_.pop_back();
          continue;
        }
        const auto& [child, w] = top.successors[top.next++];
        if (path_.contains(child)) continue;  // a cycle along the current path
        current = &child;
        g = top.g + w;
        depth = top.depth - 1;
        ++generated;
        break;
      }
      if (current == nullptr) return std::nullopt;
    }
  }

 private:
  // The nodes of the open frames, bottom to top, then the goal.
  std::vector<N> path_to(const N& goal) const {
    std::vector<N> path;
    path.reserve(path_.size() + 1);
    path.assign(path_.nodes().begin(), path_.nodes().end());
    path.push_back(goal);
    return path;
  }

  const G& graph_;
  bool record_;
  MemoryBudget* budget_;
  FrameStack<DlsFrame<N>> stack_;
  NodeTable<N> path_;  // the nodes of the open frames, in stack order
};

}  // namespace detail

// One depth-bounded pass, untimed: the engine of `dls` and `iddfs`. The
// limit counts edges; the goal is tested before the depth check, so a goal
// exactly `limit` edges away is found.
template <Graph G>
SearchResult<node_t<G>> dls_inner(const G& graph, const node_t<G>& start, const node_t<G>& goal,
                                  std::uint64_t limit, bool record,
                                  MemoryBudget* budget = nullptr) {
  detail::DlsEngine<G> engine(graph, record, budget);
  std::vector<TraceStep<node_t<G>>> trace;
  auto path = engine.pass(start, goal, limit, trace);
  if (path)
    return solved(graph, std::move(*path), engine.expanded, engine.generated, engine.peak,
                  std::move(trace));
  return exhausted(engine.expanded, engine.generated, engine.peak, std::move(trace));
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
    detail::DlsEngine<G> engine(graph, record, budget);
    std::vector<TraceStep<node_t<G>>> trace;
    for (std::uint64_t d = 0;; ++d) {
      if (auto path = engine.pass(start, goal, d, trace)) {
        // The pass makes its own result, then the combined result is made
        // again from that pass's path: the graph is asked for the path's arc
        // costs twice, which a Python successor function can observe.
        auto pass_result = solved(graph, std::move(*path), 0, 0, 0, {});
        return solved(graph, std::move(*pass_result.path), engine.expanded, engine.generated,
                      engine.peak, std::move(trace));
      }
      if (d == depth_limit) break;
    }
    return exhausted(engine.expanded, engine.generated, engine.peak, std::move(trace));
  });
}

}  // namespace wayloom
