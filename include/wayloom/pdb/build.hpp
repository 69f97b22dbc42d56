// Building one pattern database: a breadth-first search of the abstract
// space, backwards from the goal.
//
// An abstract state is where the pattern's tiles stand plus the blank's
// region: the other tiles are indistinguishable, so the blank moves among the
// free cells at no cost, and only a pattern tile's move (into the blank's
// region) costs 1. Each entry ends up with the fewest pattern-tile moves from
// its placement to the goal placement, whatever the blank's region; sums of
// such tables over disjoint patterns never overestimate.
//
// Memory: besides the table (one byte an entry), one mask an entry records
// which free cells the blank has been seen in (a bit per free cell, counted
// in order), so each (placement, region) is generated once. A pattern-tile
// move changes that tile's Manhattan distance by one, so all regions of a
// placement are reached at depths of one parity, and during the pass over
// depth d only placements of the other parity gain regions. A placement first
// reached at depth d therefore holds only depth-d regions when its pass comes.
// A region reached later than its placement sets the entry's top bit instead
// (depths stay below 128): the pass of the next depth of the entry's parity
// expands all its regions again, the older ones only regenerating states
// already seen, and clears the bit.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "wayloom/core/compiler.hpp"
#include "wayloom/core/memory_budget.hpp"
#include "wayloom/core/platform.hpp"
#include "wayloom/pdb/pattern.hpp"

namespace wayloom::pdb {

inline constexpr std::uint8_t kUnreached = 0x7F;  // also the value of a placement never reached
inline constexpr std::uint8_t kLate = 0x80;       // during the build: regions pending

// Called after each depth: (depth, entries reached so far, entries in all).
// May throw to stop the build (an interrupt).
using Progress = std::function<void(unsigned, std::size_t, std::size_t)>;

namespace detail {

template <class Mask>
class Builder {
 public:
  Builder(const BoardCells& board, const PatternLayout& layout, std::uint8_t* table,
          MemoryBudget* budget)
      : board_(board), layout_(layout), table_(table), budget_(budget) {}

  void run(std::size_t blank_goal, const Progress& progress) {
    const std::size_t entries = layout_.entries;
    if (budget_)
      budget_->require(entries * sizeof(Mask), Use::Heuristic, "the pattern database's build");
    masks_.reserve(entries);
    wayloom::platform::advise_huge(masks_.data(), entries * sizeof(Mask));
    masks_.assign(entries, Mask(0));
    wayloom::platform::advise_huge(table_, entries);
    std::memset(table_, kUnreached, entries);

    const std::size_t k = layout_.size();
    std::uint64_t occupied = 0;
    for (std::size_t i = 0; i < k; ++i) occupied |= bit(layout_.goal_cell[i]);
    const std::uint64_t free = board_.all & ~occupied;
    const std::size_t start = layout_.rank(layout_.goal_cell.data());
    table_[start] = 0;
    masks_[start] = compact(board_.region(blank_goal, free), free);
    std::size_t reached = 1;

    std::uint8_t cell[kMaxCells];
    for (unsigned depth = 0;; ++depth) {
      if (depth >= kLate - 1) throw CoreError("pattern database depth overflow");
      const std::size_t before = reached;
      const std::uint8_t d = std::uint8_t(depth);
      late_ = 0;
      for (std::size_t p = next_at(0, d); p < entries; p = next_at(p + 1, d)) {
        const std::uint8_t v = table_[p];
        if (v & kLate) {
          if ((v & 1) != (d & 1)) continue;  // pending for a depth of the other parity
          table_[p] = std::uint8_t(v & ~kLate);
        }
        layout_.unrank(p, cell);
        expand_all(cell, masks_[p], d, reached);
      }
      if (progress) progress(depth + 1, reached, entries);
      if (reached == before && late_ == 0) break;
    }
    masks_ = {};
    if (budget_) budget_->release(entries * sizeof(Mask), Use::Heuristic);
  }

 private:
  // The next entry at or after p holding depth d or a pending region (eight
  // entries at a time).
  std::size_t next_at(std::size_t p, std::uint8_t d) const noexcept {
    const std::size_t end = layout_.entries;
    auto hit = [&](std::uint8_t v) { return v == d || (v & kLate); };
    while (p < end && (p & 7)) {
      if (hit(table_[p])) return p;
      ++p;
    }
    const std::uint64_t ones = 0x0101010101010101ull, high = ones << 7, pattern = ones * d;
    while (p + 8 <= end) {
      std::uint64_t w;
      std::memcpy(&w, table_ + p, 8);
      const std::uint64_t x = w ^ pattern;  // a zero byte where the depth matches
      if (((x - ones) & ~x & high) | (w & high)) break;
      p += 8;
    }
    while (p < end && !hit(table_[p])) ++p;
    return p;
  }

  // A region (a set of free cells) as bits counted over `free`.
  static Mask compact(std::uint64_t region, std::uint64_t free) noexcept {
    Mask m = 0;
    for (std::uint64_t r = region; r; r &= r - 1) {
      const std::size_t c = std::size_t(std::countr_zero(r));
      m |= Mask(Mask(1) << std::popcount(free & below(c)));
    }
    return m;
  }

  // Expands every region in `mask` of the placement `cell`.
  void expand_all(std::uint8_t* cell, Mask mask, std::uint8_t d, std::size_t& reached) {
    std::uint64_t occupied = 0;
    for (std::size_t i = 0; i < layout_.size(); ++i) occupied |= bit(cell[i]);
    const std::uint64_t free = board_.all & ~occupied;
    std::uint64_t pending = 0;  // the cells of `mask`
    {
      std::uint64_t f = free;
      for (std::size_t j = 0; f; ++j, f &= f - 1)
        if ((mask >> j) & 1) pending |= f & (~f + 1);
    }
    while (pending) {
      const std::uint64_t region = board_.region(std::size_t(std::countr_zero(pending)), free);
      pending &= ~region;
      expand(cell, free, region, std::uint8_t(d + 1), reached);
    }
  }

  // Every move of a pattern tile into the blank's region. The entries of all
  // moves are ranked and asked for first, then visited: the tables are far
  // larger than the caches, and the loads overlap.
  void expand(std::uint8_t* cell, std::uint64_t free, std::uint64_t region, std::uint8_t nd,
              std::size_t& reached) {
    struct Child {
      std::size_t entry;
      std::uint64_t free;
      std::size_t blank;
    };
    Child children[4 * kMaxCells];
    std::size_t count = 0;
    for (std::size_t i = 0; i < layout_.size(); ++i) {
      const std::size_t from = cell[i];
      for (std::uint64_t to = board_.neighbours[from] & region; to; to &= to - 1) {
        const std::size_t c = std::size_t(std::countr_zero(to));
        cell[i] = std::uint8_t(c);
        const std::size_t q = layout_.rank(cell);
        prefetch(&masks_[q]);
        prefetch(table_ + q);
        children[count++] = {q, (free & ~bit(c)) | bit(from), from};
        cell[i] = std::uint8_t(from);
      }
    }
    for (std::size_t j = 0; j < count; ++j) {
      const auto [q, nfree, from] = children[j];
      const Mask seen = masks_[q];
      if ((seen >> std::popcount(nfree & below(from))) & 1) continue;
      const Mask m = compact(board_.region(from, nfree), nfree);
      masks_[q] = Mask(seen | m);
      if (table_[q] == kUnreached) {
        table_[q] = nd;
        ++reached;
      } else if ((table_[q] & ~kLate) != nd) {
        table_[q] |= kLate;
        ++late_;
      }
    }
  }

  const BoardCells& board_;
  const PatternLayout& layout_;
  std::uint8_t* table_;
  MemoryBudget* budget_;
  std::vector<Mask> masks_;
  std::size_t late_ = 0;  // regions reached after their placement, this pass
};

}  // namespace detail

// Fills `table` (layout.entries bytes) with the pattern's distances to the
// goal placement with the blank at `blank_goal`. Charges its scratch memory
// to `budget` (the table itself is the caller's).
inline void build_table(const BoardCells& board, const PatternLayout& layout,
                        std::size_t blank_goal, std::uint8_t* table, MemoryBudget* budget,
                        const Progress& progress = {}) {
  const std::size_t free = layout.n - layout.size();
  if (free <= 8)
    detail::Builder<std::uint8_t>(board, layout, table, budget).run(blank_goal, progress);
  else if (free <= 16)
    detail::Builder<std::uint16_t>(board, layout, table, budget).run(blank_goal, progress);
  else if (free <= 32)
    detail::Builder<std::uint32_t>(board, layout, table, budget).run(blank_goal, progress);
  else
    detail::Builder<std::uint64_t>(board, layout, table, budget).run(blank_goal, progress);
}

}  // namespace wayloom::pdb
