// Bookkeeping shared by the special strategies (with store/node_table.hpp):
// a frame stack that keeps its buffers between pushes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "wayloom/core/concepts.hpp"
#include "wayloom/core/memory_budget.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/store/node_table.hpp"

namespace wayloom::detail {

// The explicit stack of a depth-first strategy. A popped frame keeps its
// buffers, so the next push at that height refills them without allocating.
template <class Frame>
class FrameStack {
 public:
  // Frames move when the vector grows; a frame's successor list must keep its
  // element addresses (the strategies hold a pointer to the child they visit).
  static_assert(std::is_nothrow_move_constructible_v<Frame>);

  // New frames are charged to `budget` (their successor lists by the caller).
  void set_budget(MemoryBudget* budget) noexcept { budget_ = budget; }

  bool empty() const noexcept { return height_ == 0; }
  std::size_t size() const noexcept { return height_; }
  Frame& top() noexcept { return frames_[height_ - 1]; }

  // A frame on top of the stack, possibly holding stale contents that the
  // caller overwrites.
  Frame& push() {
    if (height_ == frames_.size()) {
      make_room(frames_, budget_, Use::Stacks);
      frames_.emplace_back();
    }
    return frames_[height_++];
  }
  void pop() noexcept { --height_; }
  void clear() noexcept { height_ = 0; }

 private:
  std::vector<Frame> frames_;
  std::size_t height_ = 0;
  MemoryBudget* budget_ = nullptr;
};

// Records one trace step, charging its growth to the budget. `g` is a double
// or std::nullopt: the step is built in place from it, since a step (or an
// optional) made first and copied in costs a store-forwarding stall a visit.
template <class N, class G>
void record_step(std::vector<TraceStep<N>>& trace, MemoryBudget* budget, const N& node, G g,
                 std::uint64_t frontier_size) {
  if (budget) {
    make_room(trace, budget, Use::Record);
    if constexpr (!kPlainNode<N>) budget->charge(heap_bytes(node), Use::Record);
  }
#ifdef __cpp_aggregate_paren_init
  trace.emplace_back(node, g, frontier_size);
#else  // Clang before 16 cannot build an aggregate from parentheses
  trace.push_back(TraceStep<N>{node, g, frontier_size});
#endif
}

// Fills a frame's successor list, charging what the list grew by.
template <class G>
void successors_into(const G& graph, const node_t<G>& node, Neighbors<node_t<G>>& out,
                     MemoryBudget* budget) {
  const std::size_t before = out.capacity();
  graph.neighbors_into(node, out);
  charge_growth(out, before, budget, Use::Stacks);
}

// Calls f(reverse), where reverse walks the arcs entering a node: the view a
// domain offers for it (reversed()), else the graph itself when it is
// symmetric (domains without a transpose are), else its transpose, the one
// the graph keeps when it offers one, or a copy built for this call.
template <Graph G, class F>
decltype(auto) with_reverse(const G& graph, MemoryBudget* budget, F&& f) {
  if constexpr (requires { graph.reversed(); }) {
    return f(graph.reversed());
  } else if constexpr (TransposableGraph<G>) {
    if (!graph.symmetric()) {
      if constexpr (requires { graph.transpose(budget); }) {
        return f(graph.transpose(budget));
      } else {
        if constexpr (requires { graph.bytes(); })
          charge(budget, graph.bytes(), Use::Bidirectional);
        const G reverse = graph.transposed();
        return f(reverse);
      }
    }
  }
  return f(graph);
}

}  // namespace wayloom::detail
