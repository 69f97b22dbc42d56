// The depth-first walk behind dls, iddfs and IDA*.
//
// One pass runs over an explicit stack of frames (no recursion, so deep limits
// cannot exhaust the call stack), each frame holding its node's whole
// successor list. Cycles are detected only along the current path: a node
// reached again through another branch is visited again, and memory grows
// with the path, not the graph. What differs between the strategies is a
// small policy, the cut, and the mark each visit and frame carries:
//   root(), child(parent)  the mark of the start's visit and of a child's
//                          visit; a frame opened by a visit starts with it
//   cuts(node, g, parent)  whether a visit stops before expanding its node
//                          (IDA*'s f above the threshold); may note the node
//                          in its parent frame's mark
//   opens(mark)            whether an expanded node's successors are asked
//                          for (dls: only while depth is left)
//   closed(mark, parent)   a finished frame's mark handed to its parent
//                          (nullptr when the pass's root frame closes)
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "wayloom/core/concepts.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/search/strategy_support.hpp"

namespace wayloom::detail {

// dls: every visited node is expanded; its successors are requested only when
// depth is left. The mark is the remaining depth.
struct DepthCut {
  std::uint64_t limit;

  using Mark = std::uint64_t;
  Mark root() const noexcept { return limit; }
  static constexpr Mark child(Mark parent) noexcept { return parent - 1; }
  template <class N>
  static constexpr bool cuts(const N&, double, Mark*) noexcept {
    return false;
  }
  static constexpr bool opens(Mark depth) noexcept { return depth > 0; }
  static constexpr void closed(Mark, Mark*) noexcept {}
};

// IDA*: a visit with f = g + h above the threshold is cut off (a NaN f is
// not, so such a node is expanded). Each frame's mark is the smallest cut-off
// f in its subtree; the root's becomes the next pass's threshold.
template <class N, class H>
struct BoundCut {
  const H& heuristic;
  const N& goal;
  double threshold;
  double next_threshold = kInf;

  using Mark = double;
  static constexpr Mark root() noexcept { return kInf; }
  static constexpr Mark child(Mark) noexcept { return kInf; }
  bool cuts(const N& node, double g, Mark* parent) {
    const double f = g + heuristic.estimate(node, goal);
    if (!(f > threshold)) return false;
    fold(f, parent);
    return true;
  }
  static constexpr bool opens(Mark) noexcept { return true; }
  void closed(Mark bound, Mark* parent) noexcept { fold(bound, parent); }

 private:
  // fmin ignores a NaN operand, so a NaN never becomes a threshold.
  void fold(double bound, Mark* parent) noexcept {
    if (parent)
      *parent = std::fmin(*parent, bound);
    else
      next_threshold = bound;
  }
};

// Stack, path set and counters of depth-first passes. The buffers are kept
// between passes, so iterative deepening does not reallocate them each time.
template <Graph G, class Cut>
class DepthFirstWalk {
 public:
  using N = node_t<G>;
  using Mark = typename Cut::Mark;

  DepthFirstWalk(const G& graph, bool record, MemoryBudget* budget)
      : graph_(graph), record_(record), budget_(budget) {
    stack_.set_budget(budget);
    path_.set_budget(budget, Use::Stacks);
  }

  Counters count;  // over every pass

  // The start of a pass counts as generated; the caller says how often.
  void count_start() noexcept {
    ++count.nodes_generated;
    count.max_frontier_size = std::max<std::uint64_t>(count.max_frontier_size, 1);
  }

  // Runs one pass, adding to the counters and appending to `trace`; returns
  // the path when the goal was reached.
  std::optional<std::vector<N>> pass(const N& start, const N& goal, Cut& cut,
                                     std::vector<TraceStep<N>>& trace) {
    stack_.clear();
    path_.clear();
    // Points at the start or into a frame's successor list; that list stays
    // put until its frame is popped, which cannot happen before the visit.
    const N* current = &start;
    double g = 0.0;
    Mark mark = cut.root();
    while (true) {
      if (!cut.cuts(*current, g, stack_.empty() ? nullptr : &stack_.top().mark)) {
        ++count.nodes_expanded;
        if (record_) record_step(trace, budget_, *current, g, path_.size());
        if (*current == goal) return path_to(goal);
        if (cut.opens(mark)) {
          const auto id = path_.insert(*current).first;
          Frame& frame = stack_.push();
          frame.successors.clear();
          successors_into(graph_, path_.node(id), frame.successors, budget_);
          frame.g = g;
          frame.next = 0;
          frame.mark = mark;
          count.max_frontier_size = std::max<std::uint64_t>(count.max_frontier_size, path_.size());
        }
      }
      // Advance to the next untried successor of the deepest open frame.
      current = nullptr;
      while (!stack_.empty()) {
        Frame& top = stack_.top();
        if (top.next == top.successors.size()) {
          const Mark closed = top.mark;
          stack_.pop();
          path_.pop_back();
          cut.closed(closed, stack_.empty() ? nullptr : &stack_.top().mark);
          continue;
        }
        const auto& [child, w] = top.successors[top.next++];
        if (path_.contains(child)) continue;  // a cycle along the current path
        ++count.nodes_generated;              // counted even if the visit is then cut off
        current = &child;
        g = top.g + w;
        mark = cut.child(top.mark);
        break;
      }
      if (current == nullptr) return std::nullopt;
    }
  }

 private:
  // A node being expanded: its successor list and how far the walk through it
  // has got. The node itself lives in the path set, at the frame's height.
  struct Frame {
    Neighbors<N> successors;
    double g = 0.0;
    std::size_t next = 0;  // next successor to try
    Mark mark{};
  };

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
  FrameStack<Frame> stack_;
  NodeTable<N> path_;  // the nodes of the open frames, in stack order
};

}  // namespace wayloom::detail
