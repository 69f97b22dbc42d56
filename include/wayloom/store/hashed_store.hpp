// The best-first records (g, parent, open/closed) of the ids a search
// reaches: open/closed as two bits an id over the whole domain (a quarter of a
// byte a node, so the bits of a large graph stay in cache and most arcs are
// settled by one bit test), g and parent in an open-addressing table of the
// ids reached. For a search that touches a few scattered ids of a large graph
// (one pair of a random graph, searched from both ends) this costs a few
// bytes a reached node, where the paged store allocates a page per touched
// id. Nothing iterates over the table in a way a result could see.
#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "wayloom/core/memory_budget.hpp"
#include "wayloom/core/node.hpp"
#include "wayloom/store/node_store.hpp"

namespace wayloom {

class HashedStore {
 public:
  HashedStore(std::size_t capacity, MemoryBudget* budget) : budget_(budget) {
    const std::size_t words = (capacity + 63) / 64;
    detail::charge(budget_, 2 * words * sizeof(std::uint64_t), Use::NodeStore);
    reached_.assign(words, 0);
    closed_.assign(words, 0);
    grow();
  }

  NodeStatus status(NodeId id) const noexcept {
    if (!bit(reached_, id)) return NodeStatus::Unreached;
    return bit(closed_, id) ? NodeStatus::Closed : NodeStatus::Open;
  }
  double g(NodeId id) const noexcept { return slots_[probe(id)].g; }
  NodeId parent(NodeId id) const noexcept {
    return bit(reached_, id) ? slots_[probe(id)].parent : kNoNode;
  }

  // Insert or replace the node's record; a closed node becomes open again.
  void reach(NodeId id, NodeId parent, double g) {
    Slot* s = &slots_[probe(id)];
    if (s->id == kNoNode) {
      if (2 * (size_ + 1) > slots_.size()) {
        grow();
        s = &slots_[probe(id)];
      }
      s->id = id;
      ++size_;
      reached_[id >> 6] |= mask(id);
    }
    closed_[id >> 6] &= ~mask(id);
    s->parent = parent;
    s->g = g;
  }

  // Marks an open node closed and yields its g; nothing for a closed node.
  std::optional<double> close(NodeId id) noexcept {
    if (bit(closed_, id)) return std::nullopt;
    closed_[id >> 6] |= mask(id);
    return slots_[probe(id)].g;
  }

  std::size_t size() const noexcept { return size_; }
  template <class F>
  void for_each(F&& f) const {
    for (const Slot& s : slots_)
      if (s.id != kNoNode) f(s.id, s.parent, s.g, status(s.id));
  }

  // Ids from the root to `target` along recorded parents; bounded by the
  // number of records, a second line of defence against a cycle.
  std::vector<NodeId> path_to(NodeId target) const {
    std::vector<NodeId> path{target};
    while (path.size() <= size_) {
      const NodeId p = parent(path.back());
      if (p == kNoNode) break;
      path.push_back(p);
    }
    return {path.rbegin(), path.rend()};
  }

  // Bytes held, for handing back to the budget.
  std::size_t bytes() const noexcept {
    return slots_.size() * sizeof(Slot) + 2 * reached_.size() * sizeof(std::uint64_t);
  }

 private:
  struct Slot {
    NodeId id = kNoNode;
    NodeId parent = kNoNode;
    double g = 0.0;
  };

  static std::uint64_t mask(NodeId id) noexcept { return std::uint64_t(1) << (id & 63); }
  static bool bit(const std::vector<std::uint64_t>& bits, NodeId id) noexcept {
    return (bits[id >> 6] & mask(id)) != 0;
  }
  std::size_t home(NodeId id) const noexcept {
    return std::size_t((std::uint64_t(id) * 0x9E3779B97F4A7C15ULL) >> shift_);
  }
  // Where `id` is, or the empty slot where it would go.
  std::size_t probe(NodeId id) const noexcept {
    std::size_t i = home(id);
    while (slots_[i].id != id && slots_[i].id != kNoNode) i = (i + 1) & mask_;
    return i;
  }
  void grow() {
    const std::size_t cap = slots_.empty() ? 256 : 2 * slots_.size();
    detail::charge(budget_, (cap - slots_.size()) * sizeof(Slot), Use::NodeStore);
    std::vector<Slot> old(cap);
    old.swap(slots_);
    mask_ = cap - 1;
    shift_ = 64 - unsigned(std::countr_zero(cap));
    for (const Slot& s : old)
      if (s.id != kNoNode) slots_[probe(s.id)] = s;
  }

  std::vector<std::uint64_t> reached_, closed_;
  std::vector<Slot> slots_;
  std::size_t size_ = 0, mask_ = 0;
  unsigned shift_ = 64;
  MemoryBudget* budget_;
};

// Starts hashed and moves its records into the paged store once they are
// many for the domain's size (a sixteenth of its ids): a search that stays
// small pays per node reached, one that sweeps a grid gets the paged store's
// speed. A domain of unknown size starts paged.
class GrowingStore {
 public:
  GrowingStore(std::size_t capacity, MemoryBudget* budget)
      : capacity_(capacity), limit_(capacity / 16), budget_(budget) {
    if (limit_ == 0)
      paged_.emplace(capacity, budget);
    else
      hashed_.emplace(capacity, budget);
  }

  NodeStatus status(NodeId id) const noexcept {
    return paged_ ? paged_->status(id) : hashed_->status(id);
  }
  double g(NodeId id) const noexcept { return paged_ ? paged_->g(id) : hashed_->g(id); }
  void reach(NodeId id, NodeId parent, double g) {
    if (paged_) return paged_->reach(id, parent, g);
    hashed_->reach(id, parent, g);
    if (hashed_->size() > limit_) move_to_pages();
  }
  std::optional<double> close(NodeId id) noexcept {
    return paged_ ? paged_->close(id) : hashed_->close(id);
  }
  std::vector<NodeId> path_to(NodeId target) const {
    return paged_ ? paged_->path_to(target) : hashed_->path_to(target);
  }

 private:
  void move_to_pages() {
    paged_.emplace(capacity_, budget_);
    hashed_->for_each([&](NodeId id, NodeId parent, double g, NodeStatus status) {
      paged_->reach(id, parent, g);
      if (status == NodeStatus::Closed) paged_->close(id);
    });
    if (budget_) budget_->release(hashed_->bytes(), Use::NodeStore);
    hashed_.reset();
  }

  std::size_t capacity_, limit_;
  MemoryBudget* budget_;
  std::optional<HashedStore> hashed_;
  std::optional<NodeStore> paged_;
};

}  // namespace wayloom
