// The best-first records (g, parent, open/closed) of the ids a search
// reaches, kept in one open-addressing table. For a search that touches a few
// scattered ids of a large graph (one pair of a random graph, searched from
// both ends) this costs a few bytes a reached node, where the paged store
// allocates a page per touched id. Nothing iterates over the table, so its
// order never shows in a result.
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
  explicit HashedStore(std::size_t /*capacity*/, MemoryBudget* budget = nullptr) : budget_(budget) {
    grow();
  }

  NodeStatus status(NodeId id) const noexcept {
    const Slot* s = find(id);
    return s ? s->status : NodeStatus::Unreached;
  }
  double g(NodeId id) const noexcept { return find(id)->g; }
  NodeId parent(NodeId id) const noexcept {
    const Slot* s = find(id);
    return s ? s->parent : kNoNode;
  }

  // Insert or replace the node's record; a closed node becomes open again.
  void reach(NodeId id, NodeId parent, double g) {
    Slot* s = slot_for(id);
    if (s->id == kNoNode) {
      if (2 * (size_ + 1) > slots_.size()) {
        grow();
        s = slot_for(id);
      }
      s->id = id;
      ++size_;
    }
    s->parent = parent;
    s->g = g;
    s->status = NodeStatus::Open;
  }

  // Marks an open node closed and yields its g; nothing for a closed node.
  std::optional<double> close(NodeId id) noexcept {
    Slot* s = slot_for(id);
    if (s->status == NodeStatus::Closed) return std::nullopt;
    s->status = NodeStatus::Closed;
    return s->g;
  }

  std::size_t size() const noexcept { return size_; }
  template <class F>
  void for_each(F&& f) const {
    for (const Slot& s : slots_)
      if (s.id != kNoNode) f(s.id, s.parent, s.g, s.status);
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

 private:
  struct Slot {
    NodeId id = kNoNode;
    NodeId parent = kNoNode;
    double g = 0.0;
    NodeStatus status = NodeStatus::Unreached;
  };

  std::size_t home(NodeId id) const noexcept {
    return std::size_t((std::uint64_t(id) * 0x9E3779B97F4A7C15ULL) >> shift_);
  }
  // Where `id` is, or the empty slot where it would go.
  std::size_t probe(NodeId id) const noexcept {
    std::size_t i = home(id);
    while (slots_[i].id != id && slots_[i].id != kNoNode) i = (i + 1) & mask_;
    return i;
  }
  Slot* slot_for(NodeId id) noexcept { return &slots_[probe(id)]; }
  const Slot* find(NodeId id) const noexcept {
    const Slot& s = slots_[probe(id)];
    return s.id == id ? &s : nullptr;
  }
  void grow() {
    const std::size_t cap = slots_.empty() ? 256 : 2 * slots_.size();
    detail::charge(budget_, (cap - slots_.size()) * sizeof(Slot), Use::NodeStore);
    std::vector<Slot> old(cap);
    old.swap(slots_);
    mask_ = cap - 1;
    shift_ = 64 - unsigned(std::countr_zero(cap));
    for (const Slot& s : old)
      if (s.id != kNoNode) *slot_for(s.id) = s;
  }

  std::vector<Slot> slots_;
  std::size_t size_ = 0, mask_ = 0;
  unsigned shift_ = 64;
  MemoryBudget* budget_;

  friend class GrowingStore;
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
    if (budget_)
      budget_->release(hashed_->slots_.size() * sizeof(HashedStore::Slot), Use::NodeStore);
    hashed_.reset();
  }

  std::size_t capacity_, limit_;
  MemoryBudget* budget_;
  std::optional<HashedStore> hashed_;
  std::optional<NodeStore> paged_;
};

}  // namespace wayloom
