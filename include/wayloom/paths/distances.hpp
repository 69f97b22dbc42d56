// Dijkstra from one node (or the nearest of several) to all, over a domain's
// dense node ids, for distance tables.
//
// Only distances come out (and a predecessor per node), never a search order,
// so the queue is free to be the fastest one for monotone keys: a radix heap
// over the bits of the non-negative doubles, whose order as unsigned integers
// is their numeric order. A pop moves a key only into lower buckets, each
// bucket a plain vector, so the work is near linear and stays in cache far
// better than a binary heap of millions of entries.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "wayloom/core/concepts.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/domains/csr_graph.hpp"
#include "wayloom/domains/grid.hpp"

namespace wayloom {

namespace detail {

class RadixHeap {
 public:
  bool empty() const noexcept { return size_ == 0; }

  void push(double key, std::uint32_t id) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(key);
    buckets_[bucket_of(bits)].push_back({bits, id});
    ++size_;
  }

  // The entry with the smallest key (any of equal ones).
  std::pair<double, std::uint32_t> pop() {
    if (buckets_[0].empty()) {
      std::size_t b = 1;
      while (buckets_[b].empty()) ++b;
      auto& from = buckets_[b];
      std::uint64_t least = from[0].bits;
      for (const Entry& e : from) least = e.bits < least ? e.bits : least;
      last_ = least;
      for (const Entry& e : from) buckets_[bucket_of(e.bits)].push_back(e);
      from.clear();
    }
    const Entry e = buckets_[0].back();
    buckets_[0].pop_back();
    --size_;
    return {std::bit_cast<double>(e.bits), e.id};
  }

 private:
  struct Entry {
    std::uint64_t bits;
    std::uint32_t id;
  };
  std::size_t bucket_of(std::uint64_t bits) const noexcept {
    return bits == last_ ? 0 : std::size_t(64 - std::countl_zero(bits ^ last_));
  }

  std::array<std::vector<Entry>, 65> buckets_;
  std::uint64_t last_ = 0;
  std::size_t size_ = 0;
};

}  // namespace detail

// Distances from the nearest of `count` sources into dist (filled with +inf
// by the caller) and, when not null, each reached node's predecessor in pred
// (-1 left for the sources) and the source it was reached from in origin.
// Arc weights must be non-negative; arcs whose tentative distance exceeds
// `limit` are not followed. Ids must fit 32 bits.
//
// When `settled` is not null, each node is appended to it as it is settled:
// by distance, equal distances in no promised order.
template <DenseGraph G>
void distances_from(const G& g, const std::size_t* sources, std::size_t count, double limit,
                    double* dist, std::int64_t* pred, std::int64_t* origin = nullptr,
                    std::vector<std::uint32_t>* settled = nullptr) {
  if (g.node_count() > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
  detail::RadixHeap heap;
  for (std::size_t i = 0; i < count; ++i) {
    if (dist[sources[i]] == 0.0) continue;  // named twice
    dist[sources[i]] = 0.0;
    if (origin) origin[sources[i]] = std::int64_t(sources[i]);
    heap.push(0.0, std::uint32_t(sources[i]));
  }
  Neighbors<node_t<G>> out;
  while (!heap.empty()) {
    // Plain variables, not a structured binding: the lambda below captures
    // them, which Clang before 16 refuses for bindings.
    const auto top = heap.pop();
    const double d = top.first;
    const std::uint32_t u = top.second;
    if (d > dist[u]) continue;  // a stale entry: u was reached cheaper since
    if (settled) settled->push_back(u);
    auto relax = [&](std::size_t v, double w) {
      const double nd = d + w;
      if (nd < dist[v] && nd <= limit) {
        dist[v] = nd;
        if (pred) pred[v] = std::int64_t(u);
        if (origin) origin[v] = origin[u];
        heap.push(nd, std::uint32_t(v));
      }
    };
    if constexpr (std::is_same_v<G, CsrGraph>) {
      const std::size_t* const offsets = g.offsets().data();
      const std::size_t* const targets = g.targets().data();
      const double* const weights = g.weights().data();
      for (std::size_t i = offsets[u]; i < offsets[u + 1]; ++i) relax(targets[i], weights[i]);
    } else {
      out.clear();
      g.neighbors_into(g.node_at(u), out);
      for (const auto& [v, w] : out) relax(g.index_of(v), w);
    }
  }
}

template <DenseGraph G>
void distances_from(const G& g, std::size_t source, double limit, double* dist,
                    std::int64_t* pred) {
  distances_from(g, &source, 1, limit, dist, pred);
}

// The nodes reached from `source` (within `limit`) by distance, equal
// distances by id, and their distances in that order.
template <DenseGraph G>
void settle_order(const G& g, std::size_t source, double limit, std::vector<std::uint32_t>& order,
                  std::vector<double>& at) {
  std::vector<double> dist(g.node_count(), std::numeric_limits<double>::infinity());
  distances_from(g, &source, 1, limit, dist.data(), nullptr, nullptr, &order);
  at.resize(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) at[i] = dist[order[i]];
  for (std::size_t i = 0, j; i < order.size(); i = j) {
    for (j = i + 1; j < order.size() && at[j] == at[i];) ++j;
    if (j - i > 1) std::sort(order.begin() + std::ptrdiff_t(i), order.begin() + std::ptrdiff_t(j));
  }
}

// Distances over a grid from `source` into dist, row-major (height x width,
// +inf for walls and cells out of reach), and when pred is not null each
// reached cell's predecessor as (row, column) pairs, (-1, -1) for the source
// and for cells out of reach.
inline void grid_distances_from(const GridGraph& g, Cell source, double limit, double* dist,
                                std::int64_t* pred) {
  const std::size_t w = std::size_t(g.width()), cells = w * std::size_t(g.height());
  std::vector<double> by_id(g.node_count(), kInf);
  std::vector<std::int64_t> pred_id(pred ? g.node_count() : 0, -1);
  distances_from(g, g.index_of(source), limit, by_id.data(), pred ? pred_id.data() : nullptr);
  for (std::size_t i = 0; i < cells; ++i) {
    const Cell cell{std::int32_t(i / w), std::int32_t(i % w)};
    const std::size_t id = g.index_of(cell);
    dist[i] = by_id[id];
    if (!pred) continue;
    const std::int64_t p = pred_id[id];
    const Cell from = p < 0 ? Cell{-1, -1} : g.node_at(std::size_t(p));
    pred[2 * i] = from.row;
    pred[2 * i + 1] = from.col;
  }
}

}  // namespace wayloom
