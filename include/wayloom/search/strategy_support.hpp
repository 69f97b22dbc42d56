// Bookkeeping shared by the special strategies (with store/node_table.hpp):
// a frame stack that keeps its buffers between pushes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

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

  bool empty() const noexcept { return height_ == 0; }
  std::size_t size() const noexcept { return height_; }
  Frame& top() noexcept { return frames_[height_ - 1]; }

  // A frame on top of the stack, possibly holding stale contents that the
  // caller overwrites.
  Frame& push() {
    if (height_ == frames_.size()) frames_.emplace_back();
    return frames_[height_++];
  }
  void pop() noexcept { --height_; }
  void clear() noexcept { height_ = 0; }

 private:
  std::vector<Frame> frames_;
  std::size_t height_ = 0;
};

}  // namespace wayloom::detail
