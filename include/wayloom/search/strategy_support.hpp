// Bookkeeping shared by the special strategies: a node table with dense ids in
// insertion order, a frame stack that keeps its buffers between pushes, and
// the result of a run that did not reach the goal.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "wayloom/core/node.hpp"
#include "wayloom/core/result.hpp"

namespace wayloom::detail {

// Open-addressing table (linear probing) that numbers each distinct node
// 0, 1, 2, ... in insertion order. Nodes are stored once, densely, so a parent
// map is a plain vector of ids beside it, and a node is not allocated per
// insertion. Removal is only of the newest entry, which is all a depth-first
// path set needs and which never has to move other entries. Nothing iterates
// the slots, so no result depends on the hash.
template <class N, class Hash = NodeHash<N>>
class NodeTable {
 public:
  using Id = std::uint32_t;
  static constexpr Id kNone = 0xFFFFFFFFu;

  std::size_t size() const noexcept { return nodes_.size(); }
  bool empty() const noexcept { return nodes_.empty(); }
  const N& node(Id id) const noexcept { return nodes_[id]; }
  // Every node, in insertion (id) order.
  const std::vector<N>& nodes() const noexcept { return nodes_; }

  // The id of `n`, or kNone.
  Id find(const N& n) const {
    if (nodes_.empty()) return kNone;
    return slots_[probe(n, Hash{}(n))];
  }
  bool contains(const N& n) const { return find(n) != kNone; }

  // The id of `n`, inserting it when absent; `second` tells whether it was new.
  std::pair<Id, bool> insert(const N& n) {
    const std::uint64_t h = Hash{}(n);
    if (!slots_.empty()) {
      const std::size_t i = probe(n, h);
      if (slots_[i] != kNone) return {slots_[i], false};
    }
    if (nodes_.size() >= kNone - 1) throw std::bad_alloc();
    // Keep the load at most one half so that probes stay short.
    if ((nodes_.size() + 1) * 2 > slots_.size()) grow();
    const Id id = Id(nodes_.size());
    nodes_.push_back(n);
    hashes_.push_back(h);
    slots_[probe(n, h)] = id;
    return {id, true};
  }

  // Removes the newest entry (the table must not be empty). Emptying its slot
  // is enough: every entry further along its probe run was placed before it,
  // when its slot was free, so none of them has its home at or before it.
  // (Rehashing re-places entries in id order, which keeps that true.)
  void pop_back() {
    const Id id = Id(nodes_.size() - 1);
    std::size_t i = hashes_[id] & mask_;
    while (slots_[i] != id) i = (i + 1) & mask_;
    slots_[i] = kNone;
    nodes_.pop_back();
    hashes_.pop_back();
  }

  // Empties the table, keeping its capacity.
  void clear() noexcept {
    nodes_.clear();
    hashes_.clear();
    std::fill(slots_.begin(), slots_.end(), kNone);
  }

 private:
  // The slot holding `n`, or the empty slot where it would go.
  std::size_t probe(const N& n, std::uint64_t h) const {
    std::size_t i = h & mask_;
    while (true) {
      const Id id = slots_[i];
      if (id == kNone || (hashes_[id] == h && nodes_[id] == n)) return i;
      i = (i + 1) & mask_;
    }
  }

  void grow() {
    const std::size_t size = slots_.empty() ? 16 : slots_.size() * 2;
    if (size > slots_.max_size()) throw std::bad_alloc();
    slots_.assign(size, kNone);
    mask_ = size - 1;
    for (Id id = 0; id < nodes_.size(); ++id) {
      std::size_t i = hashes_[id] & mask_;
      while (slots_[i] != kNone) i = (i + 1) & mask_;
      slots_[i] = id;
    }
  }

  std::vector<N> nodes_;
  std::vector<std::uint64_t> hashes_;
  std::vector<Id> slots_;
  std::size_t mask_ = 0;
};

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

// The result of a strategy that ran out of nodes to try.
template <class N>
SearchResult<N> exhausted(std::uint64_t nodes_expanded, std::uint64_t nodes_generated,
                          std::uint64_t max_frontier_size, std::vector<TraceStep<N>> trace) {
  SearchResult<N> r;
  r.cost = kInf;
  r.nodes_expanded = nodes_expanded;
  r.nodes_generated = nodes_generated;
  r.nodes_reopened = 0;
  r.max_frontier_size = max_frontier_size;
  r.stop_reason = StopReason::Exhausted;
  r.trace = std::move(trace);
  return r;
}

}  // namespace wayloom::detail
