// Node bookkeeping of the best-first driver.
//
// Nodes are turned into small dense ids once: a dense domain (CSR node, grid
// cell) already numbers its nodes, any other domain's nodes are interned in
// first-seen order. The store then keeps g, parent and open/closed per id in a
// flat array. Ids never leak into results, so nothing depends on hashing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "wayloom/core/concepts.hpp"
#include "wayloom/core/node.hpp"
#include "wayloom/frontier/frontiers.hpp"
#include "wayloom/store/node_table.hpp"

namespace wayloom {

// Ids of a dense domain are its own node indices: the domain numbers nodes
// by std::size_t (a CSR graph's node is one), narrowed here to NodeId.
template <DenseGraph G>
class DenseIndex {
 public:
  using node_type = node_t<G>;
  explicit DenseIndex(const G& g, MemoryBudget* = nullptr) : g_(g) {
    if (g.node_count() >= kNoNode) throw std::bad_alloc();
  }
  [[gnu::always_inline]] NodeId intern(const node_type& n) { return NodeId(g_.index_of(n)); }
  [[gnu::always_inline]] node_type node(NodeId id) const { return g_.node_at(id); }
  std::size_t capacity() const noexcept { return g_.node_count(); }

 private:
  const G& g_;
};

// Ids of any other domain: nodes interned in first-seen order.
template <class N>
class InternIndex {
 public:
  using node_type = N;
  InternIndex() = default;
  template <class G>
  explicit InternIndex(const G&, MemoryBudget* budget = nullptr) {
    table_.set_budget(budget, Use::NodeStore);
  }

  NodeId intern(const N& n) { return table_.insert(n).first; }
  const N& node(NodeId id) const { return table_.node(id); }
  std::size_t capacity() const noexcept { return 0; }  // grows on demand

 private:
  detail::NodeTable<N> table_;
};

// The node <-> NodeId map a search over G uses.
template <Graph G>
struct IndexFor {
  using type = InternIndex<node_t<G>>;
};
template <DenseGraph G>
struct IndexFor<G> {
  using type = DenseIndex<G>;
};
template <Graph G>
using index_for_t = typename IndexFor<G>::type;

enum class NodeStatus : std::uint8_t { Unreached = 0, Open = 1, Closed = 2 };

// g, parent and status per id, in pages of 32 nodes allocated on first
// touch: a search that reaches a small part of a large dense domain (A* across
// a big grid) pays only for the pages it touches, and nothing is zeroed
// up front.
class NodeStore {
 public:
  static constexpr unsigned kPageBits = 5;
  static constexpr std::size_t kPageSize = std::size_t(1) << kPageBits;

  // Bytes of the page table for `capacity` nodes, before any page is touched.
  static std::size_t bytes_for(std::size_t capacity) noexcept {
    return ((capacity + kPageSize - 1) >> kPageBits) * sizeof(void*);
  }
  // Bytes of one page, as the allocator hands it out.
  static constexpr std::size_t kPageBytes = 13 * kPageSize + 16;

  explicit NodeStore(std::size_t capacity, MemoryBudget* budget = nullptr) : budget_(budget) {
    detail::charge(budget_, bytes_for(capacity), Use::NodeStore);
    pages_.resize((capacity + kPageSize - 1) >> kPageBits);
  }

  NodeStatus status(NodeId id) const noexcept {
    const Page* p = page(id);
    return p ? p->status[id & kMask] : NodeStatus::Unreached;
  }
  double g(NodeId id) const noexcept { return pages_[id >> kPageBits]->g[id & kMask]; }
  NodeId parent(NodeId id) const noexcept {
    const Page* p = page(id);
    return p && p->status[id & kMask] != NodeStatus::Unreached ? p->parent[id & kMask] : kNoNode;
  }

  // Insert or replace the node's record; a closed node becomes open again.
  void reach(NodeId id, NodeId parent, double g) {
    const std::size_t i = id >> kPageBits;
    if (i >= pages_.size()) {
      const std::size_t n = std::max(i + 1, pages_.size() * 2);
      detail::charge(budget_, (n - pages_.size()) * sizeof(void*), Use::NodeStore);
      pages_.resize(n);
    }
    if (!pages_[i]) {
      detail::charge(budget_, kPageBytes, Use::NodeStore);
      pages_[i].reset(new Page());
      ++touched_pages_;
    }
    Page& p = *pages_[i];
    p.g[id & kMask] = g;
    p.parent[id & kMask] = parent;
    p.status[id & kMask] = NodeStatus::Open;
  }

  // Marks an open node closed and yields its g; nothing for a closed node.
  std::optional<double> close(NodeId id) noexcept {
    Page& p = *pages_[id >> kPageBits];
    NodeStatus& s = p.status[id & kMask];
    if (s == NodeStatus::Closed) return std::nullopt;
    s = NodeStatus::Closed;
    return p.g[id & kMask];
  }

  // Ids from the root to `target` along recorded parents. The driver keeps
  // the parent links acyclic; the step bound is a second line of defence.
  std::vector<NodeId> path_to(NodeId target) const {
    std::vector<NodeId> path{target};
    const std::size_t bound = touched_pages_ * kPageSize;
    while (path.size() <= bound) {
      const NodeId p = parent(path.back());
      if (p == kNoNode) break;
      path.push_back(p);
    }
    return {path.rbegin(), path.rend()};
  }

  // Whether `ancestor` lies on the parent chain of `id` (id itself included).
  bool on_chain(NodeId ancestor, NodeId id) const noexcept {
    const std::size_t bound = touched_pages_ * kPageSize;
    for (std::size_t steps = 0; id != kNoNode && steps <= bound; ++steps) {
      if (id == ancestor) return true;
      id = parent(id);
    }
    return false;
  }

 private:
  static constexpr std::size_t kMask = kPageSize - 1;

  // Structure of arrays: 13 bytes a node, no padding.
  struct Page {
    double g[kPageSize] = {};
    NodeId parent[kPageSize] = {};
    NodeStatus status[kPageSize] = {};
  };
  static_assert(sizeof(Page) + 16 == kPageBytes);

  const Page* page(NodeId id) const noexcept {
    const std::size_t i = id >> kPageBits;
    return i < pages_.size() ? pages_[i].get() : nullptr;
  }

  std::vector<std::unique_ptr<Page>> pages_;
  std::size_t touched_pages_ = 0;
  MemoryBudget* budget_;
};

// The same records in three flat arrays over every id, for searches that
// sweep a dense domain (breadth-first, Dijkstra): one load per access instead
// of two. The arrays come zeroed from calloc, which for large sizes maps pages
// lazily, so memory still grows with the ids touched.
class FlatStore {
 public:
  // Past this many ids the paged store serves: its tables grow with the
  // search, not with the domain.
  static constexpr std::size_t kMaxIds = std::size_t(1) << 24;

  static std::size_t bytes_for(std::size_t capacity) noexcept {
    return detail::sat_mul(capacity, sizeof(double) + sizeof(NodeId) + sizeof(NodeStatus));
  }

  // Charged whole up front: the pages are mapped as the search touches them,
  // but nothing here tracks which.
  explicit FlatStore(std::size_t capacity, MemoryBudget* budget = nullptr)
      : n_((detail::charge(budget, bytes_for(capacity), Use::NodeStore), capacity)),
        g_(alloc<double>(capacity)),
        parent_(alloc<NodeId>(capacity)),
        status_(alloc<NodeStatus>(capacity)) {}

  [[gnu::always_inline]] NodeStatus status(NodeId id) const noexcept { return status_[id]; }
  [[gnu::always_inline]] double g(NodeId id) const noexcept { return g_[id]; }
  [[gnu::always_inline]] NodeId parent(NodeId id) const noexcept {
    return status_[id] != NodeStatus::Unreached ? parent_[id] : kNoNode;
  }
  [[gnu::always_inline]] void reach(NodeId id, NodeId parent, double g) noexcept {
    g_[id] = g;
    parent_[id] = parent;
    status_[id] = NodeStatus::Open;
  }
  [[gnu::always_inline]] std::optional<double> close(NodeId id) noexcept {
    if (status_[id] == NodeStatus::Closed) return std::nullopt;
    status_[id] = NodeStatus::Closed;
    return g_[id];
  }
  std::vector<NodeId> path_to(NodeId target) const {
    std::vector<NodeId> path{target};
    while (path.size() <= n_) {
      const NodeId p = parent(path.back());
      if (p == kNoNode) break;
      path.push_back(p);
    }
    return {path.rbegin(), path.rend()};
  }
  bool on_chain(NodeId ancestor, NodeId id) const noexcept {
    for (std::size_t steps = 0; id != kNoNode && steps <= n_; ++steps) {
      if (id == ancestor) return true;
      id = parent(id);
    }
    return false;
  }

 private:
  struct Free {
    void operator()(void* p) const noexcept { std::free(p); }
  };
  template <class T>
  static std::unique_ptr<T[], Free> alloc(std::size_t n) {
    void* p = std::calloc(n ? n : 1, sizeof(T));
    if (!p) throw std::bad_alloc();
    platform::advise_huge(p, n * sizeof(T));  // a sweep touches most of it
    return std::unique_ptr<T[], Free>(static_cast<T*>(p));
  }

  std::size_t n_;
  std::unique_ptr<double[], Free> g_;
  std::unique_ptr<NodeId[], Free> parent_;
  std::unique_ptr<NodeStatus[], Free> status_;
};

}  // namespace wayloom
