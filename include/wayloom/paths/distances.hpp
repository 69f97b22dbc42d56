// One-to-all Dijkstra over a domain's dense node ids, for distance tables.
//
// Only distances come out (and a predecessor per node), never a search order,
// so the queue is free to be the fastest one for monotone keys: a radix heap
// over the bits of the non-negative doubles, whose order as unsigned integers
// is their numeric order. A pop moves a key only into lower buckets, each
// bucket a plain vector, so the work is near linear and stays in cache far
// better than a binary heap of millions of entries.
#pragma once

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
#include "wayloom/domains/csr_graph.hpp"

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

// Distances from `source` into dist (filled with +inf by the caller) and, when
// pred is not null, each reached node's predecessor (-1 left for the source).
// Arc weights must be non-negative; arcs whose tentative distance exceeds
// `limit` are not followed. Ids must fit 32 bits.
template <DenseGraph G>
void distances_from(const G& g, std::size_t source, double limit, double* dist,
                    std::int64_t* pred) {
  if (g.node_count() > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
  detail::RadixHeap heap;
  dist[source] = 0.0;
  heap.push(0.0, std::uint32_t(source));
  Neighbors<node_t<G>> out;
  while (!heap.empty()) {
    // Plain variables, not a structured binding: the lambda below captures
    // them, which Clang before 16 refuses for bindings.
    const auto top = heap.pop();
    const double d = top.first;
    const std::uint32_t u = top.second;
    if (d > dist[u]) continue;  // a stale entry: u was reached cheaper since
    auto relax = [&](std::size_t v, double w) {
      const double nd = d + w;
      if (nd < dist[v] && nd <= limit) {
        dist[v] = nd;
        if (pred) pred[v] = std::int64_t(u);
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

}  // namespace wayloom
