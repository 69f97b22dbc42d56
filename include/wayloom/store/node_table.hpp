// A node table: each distinct node gets a dense id in first-seen order. The
// best-first driver interns non-dense nodes through it; the special
// strategies use it as their seen sets, parent maps and path sets.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "wayloom/core/memory_budget.hpp"
#include "wayloom/core/node.hpp"

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
  // Charges what the table grows by (and the nodes' own heap blocks) to
  // `budget` under `use`.
  void set_budget(MemoryBudget* budget, Use use) noexcept {
    budget_ = budget;
    use_ = use;
  }

  std::size_t size() const noexcept { return nodes_.size(); }
  bool empty() const noexcept { return nodes_.empty(); }
  const N& node(NodeId id) const noexcept { return nodes_[id]; }
  // Every node, in insertion (id) order.
  const std::vector<N>& nodes() const noexcept { return nodes_; }

  // The id of `n`, or kNoNode.
  NodeId find(const N& n) const { return find_hashed(n, Hash{}(n)); }
  bool contains(const N& n) const { return find(n) != kNoNode; }

  // The id of the node equal to `key` (any type comparable with N) whose hash
  // is `h`, as Hash would give it; or kNoNode. For callers that can compute
  // hashes more cheaply than Hash does from scratch.
  template <class K>
  NodeId find_hashed(const K& key, std::uint64_t h) const {
    if (nodes_.empty()) return kNoNode;
    return slots_[probe(key, h)];
  }

  // The id of `n`, inserting it when absent; `second` tells whether it was new.
  std::pair<NodeId, bool> insert(const N& n) { return emplace(n); }
  std::pair<NodeId, bool> insert(N&& n) { return emplace(std::move(n)); }

  // Room for `n` nodes without rehashing.
  void reserve(std::size_t n) {
    std::size_t size = 16;
    while (size < 2 * (n + 1)) size *= 2;
    if (size > slots_.size()) rehash(size);
    if (n > nodes_.capacity())
      detail::charge(budget_, (n - nodes_.capacity()) * (sizeof(N) + sizeof(std::uint64_t)), use_);
    nodes_.reserve(n);
    hashes_.reserve(n);
  }

  // Removes the newest entry (the table must not be empty). Emptying its slot
  // is enough: every entry further along its probe run was placed before it,
  // when its slot was free, so none of them has its home at or before it.
  // (Rehashing re-places entries in id order, which keeps that true.)
  void pop_back() {
    const NodeId id = NodeId(nodes_.size() - 1);
    std::size_t i = hashes_[id] & mask_;
    while (slots_[i] != id) i = (i + 1) & mask_;
    slots_[i] = kNoNode;
    if constexpr (!kPlainNode<N>)
      if (budget_) budget_->release(heap_bytes(nodes_.back()), use_);
    nodes_.pop_back();
    hashes_.pop_back();
  }

  // Empties the table, keeping its capacity.
  void clear() noexcept {
    if constexpr (!kPlainNode<N>)
      if (budget_)
        for (const N& n : nodes_) budget_->release(heap_bytes(n), use_);
    nodes_.clear();
    hashes_.clear();
    std::fill(slots_.begin(), slots_.end(), kNoNode);
  }

 private:
  template <class M>
  std::pair<NodeId, bool> emplace(M&& n) {
    const std::uint64_t h = Hash{}(std::as_const(n));
    if (!slots_.empty()) {
      const std::size_t i = probe(n, h);
      if (slots_[i] != kNoNode) return {slots_[i], false};
    }
    if (nodes_.size() >= kNoNode - 1) throw std::bad_alloc();
    // Keep the load at most one half so that probes stay short.
    if ((nodes_.size() + 1) * 2 > slots_.size()) rehash(slots_.empty() ? 16 : slots_.size() * 2);
    const NodeId id = NodeId(nodes_.size());
    if (budget_) {
      make_room(nodes_, budget_, use_);
      make_room(hashes_, budget_, use_);
      if constexpr (!kPlainNode<N>) budget_->charge(heap_bytes(n), use_);
    }
    nodes_.push_back(std::forward<M>(n));
    hashes_.push_back(h);
    slots_[probe(nodes_.back(), h)] = id;
    return {id, true};
  }

  // The slot holding `n`, or the empty slot where it would go.
  template <class K>
  std::size_t probe(const K& n, std::uint64_t h) const {
    std::size_t i = h & mask_;
    while (true) {
      const NodeId id = slots_[i];
      if (id == kNoNode || (hashes_[id] == h && nodes_[id] == n)) return i;
      i = (i + 1) & mask_;
    }
  }

  void rehash(std::size_t size) {
    if (size > slots_.max_size()) throw std::bad_alloc();
    if (size > slots_.size())
      detail::charge(budget_, (size - slots_.size()) * sizeof(NodeId), use_);
    slots_.assign(size, kNoNode);
    mask_ = size - 1;
    for (NodeId id = 0; id < nodes_.size(); ++id) {
      std::size_t i = hashes_[id] & mask_;
      while (slots_[i] != kNoNode) i = (i + 1) & mask_;
      slots_[i] = id;
    }
  }

  std::vector<N> nodes_;
  std::vector<std::uint64_t> hashes_;
  std::vector<NodeId> slots_;
  std::size_t mask_ = 0;
  MemoryBudget* budget_ = nullptr;
  Use use_ = Use::Stacks;
};

}  // namespace wayloom::detail
