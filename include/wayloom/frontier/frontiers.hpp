// The three frontiers of the best-first driver. They hold small node ids
// (the driver interns nodes), never look at them, and never shrink.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "wayloom/core/node.hpp"

namespace wayloom {

// First in, first out; the priority is ignored. A ring of ids whose capacity
// doubles when full.
class FifoFrontier {
 public:
  static constexpr bool kOrdered = false;
  [[gnu::always_inline]] void push(NodeId id, double /*priority*/) {
    if (size_ == ring_.size()) grow();
    ring_[(head_ + size_) & (ring_.size() - 1)] = id;
    ++size_;
  }
  [[gnu::always_inline]] std::optional<NodeId> pop() {
    if (size_ == 0) return std::nullopt;
    const NodeId id = ring_[head_];
    head_ = (head_ + 1) & (ring_.size() - 1);
    --size_;
    return id;
  }
  std::size_t size() const noexcept { return size_; }

 private:
  void grow() {
    std::vector<NodeId> bigger(ring_.empty() ? 64 : ring_.size() * 2);
    for (std::size_t i = 0; i < size_; ++i) bigger[i] = ring_[(head_ + i) & (ring_.size() - 1)];
    ring_.swap(bigger);
    head_ = 0;
  }

  std::vector<NodeId> ring_;  // a power of two long, or empty
  std::size_t head_ = 0;
  std::size_t size_ = 0;
};

// Last in, first out; the priority is ignored.
class LifoFrontier {
 public:
  static constexpr bool kOrdered = false;
  void push(NodeId id, double /*priority*/) { s_.push_back(id); }
  std::optional<NodeId> pop() {
    if (s_.empty()) return std::nullopt;
    const NodeId id = s_.back();
    s_.pop_back();
    return id;
  }
  std::size_t size() const noexcept { return s_.size(); }

 private:
  std::vector<NodeId> s_;
};

// Array binary min-heap ordered by (priority, insertion number). Equal
// priorities (+0.0 and -0.0 included) and NaN comparisons fall back to the
// insertion number, so with NaN the pop order depends on the exact sift
// procedure below, which is kept deliberately.
class PriorityFrontier {
 public:
  // Sixteen bytes an entry: the insertion number is 32 bits, and when it runs
  // out the held entries are renumbered 0..k-1 in their insertion order. Only
  // the relative order of insertion numbers is ever compared, so the heap stays
  // valid and every later pop is what 64-bit numbers would have given.
  struct Entry {
    double priority;
    std::uint32_t seq;
    NodeId id;
  };

  static constexpr bool kOrdered = true;

  PriorityFrontier() = default;
  // Tests lower the renumbering point to exercise it.
  explicit PriorityFrontier(std::uint32_t renumber_at) : renumber_at_(renumber_at) {}

  static bool before(const Entry& a, const Entry& b) noexcept {
    if (a.priority < b.priority) return true;
    if (b.priority < a.priority) return false;
    return a.seq < b.seq;
  }

  void push(NodeId id, double priority) {
    if (next_seq_ >= renumber_at_) renumber();
    heap_.push_back(Entry{priority, next_seq_++, id});
    sift_up(heap_.size() - 1);
  }

  // Take the last entry out; move the hole from the root to the bottom along
  // the earlier-out children, then drop the last entry in and sift it up.
  std::optional<NodeId> pop() {
    if (heap_.empty()) return std::nullopt;
    Entry last = heap_.back();
    heap_.pop_back();
    if (heap_.empty()) return last.id;
    const NodeId top = heap_[0].id;
    const std::size_t n = heap_.size();
    std::size_t hole = 0;
    std::size_t child = 1;
    while (child + 1 < n) {
      if (before(heap_[child + 1], heap_[child])) ++child;
      heap_[hole] = heap_[child];
      hole = child;
      child = 2 * hole + 1;
    }
    if (child + 1 == n) {
      heap_[hole] = heap_[child];
      hole = child;
    }
    heap_[hole] = last;
    sift_up(hole);
    return top;
  }

  std::size_t size() const noexcept { return heap_.size(); }

  // The entry pop would return next, or null when empty.
  const Entry* top() const noexcept { return heap_.empty() ? nullptr : &heap_.front(); }

 private:
  void sift_up(std::size_t i) noexcept {
    const Entry e = heap_[i];
    while (i > 0) {
      const std::size_t parent = (i - 1) / 2;
      if (!before(e, heap_[parent])) break;
      heap_[i] = heap_[parent];
      i = parent;
    }
    heap_[i] = e;
  }

  void renumber() {
    std::vector<std::uint32_t> order(heap_.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return heap_[a].seq < heap_[b].seq; });
    for (std::uint32_t rank = 0; rank < order.size(); ++rank) heap_[order[rank]].seq = rank;
    next_seq_ = std::uint32_t(order.size());
  }

  std::vector<Entry> heap_;
  std::uint32_t next_seq_ = 0;
  std::uint32_t renumber_at_ = std::numeric_limits<std::uint32_t>::max();
};

}  // namespace wayloom
