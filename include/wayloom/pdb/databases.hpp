// A partition's pattern databases for one board side and goal, and their
// lookup: the sum of the tables' entries (each table counts
// only its own tiles' moves, and the patterns are disjoint, so the sum never
// overestimates). When the goal's blank lies on the main diagonal, the board
// mirrored about that diagonal, its tiles renamed after the goal's mirrored
// cells, is as far from the goal as the board itself: the same tables read on
// it give a second bound, and the heuristic is the larger of the two.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "wayloom/core/byte_state.hpp"
#include "wayloom/core/memory_budget.hpp"
#include "wayloom/pdb/build.hpp"
#include "wayloom/pdb/pattern.hpp"

namespace wayloom::pdb {

class PatternDatabases {
 public:
  // `groups` partition some of the goal's tiles (checked by the caller and
  // again here); the blank belongs to none.
  PatternDatabases(std::size_t side, const ByteState& goal,
                   const std::vector<std::vector<std::uint8_t>>& groups)
      : board_(side), goal_(goal) {
    const std::size_t n = board_.n;
    if (goal.size() != n) throw UsageError("goal has the wrong number of cells");
    std::vector<int> cell_of(n, -1);
    for (std::size_t c = 0; c < n; ++c) {
      if (goal[c] >= n || cell_of[goal[c]] >= 0) throw UsageError("goal is not a permutation");
      cell_of[goal[c]] = int(c);
    }
    blank_ = std::size_t(cell_of[0]);
    std::vector<bool> taken(n, false);
    std::size_t offset = 0;
    for (const auto& group : groups) {
      std::vector<std::uint8_t> cells;
      for (const std::uint8_t t : group) {
        if (t == 0 || t >= n || taken[t]) throw UsageError("pattern groups must be disjoint tiles");
        taken[t] = true;
        cells.push_back(std::uint8_t(cell_of[t]));
      }
      patterns_.emplace_back(n, group, std::move(cells));
      const std::size_t entries = patterns_.back().entries;
      if (entries == std::numeric_limits<std::size_t>::max() ||
          offset > std::numeric_limits<std::size_t>::max() - entries)
        throw std::bad_alloc();
      offsets_.push_back(offset);
      offset += entries;
    }
    total_ = offset;
    // The mirror about the main diagonal, when it keeps the goal's blank.
    const std::size_t br = blank_ / side, bc = blank_ % side;
    reflects_ = br == bc;
    for (std::size_t c = 0; c < n; ++c) {
      mirror_cell_[c] = std::uint8_t((c % side) * side + c / side);
      mirror_tile_[goal[c]] = goal[mirror_cell_[c]];
    }
  }

  const BoardCells& board() const noexcept { return board_; }
  const ByteState& goal() const noexcept { return goal_; }
  std::size_t blank_goal() const noexcept { return blank_; }
  const std::vector<PatternLayout>& patterns() const noexcept { return patterns_; }
  std::size_t offset(std::size_t i) const noexcept { return offsets_[i]; }
  std::size_t total_entries() const noexcept { return total_; }
  bool reflects() const noexcept { return reflects_; }

  // The storage of every table, one after the other; null until allocated.
  std::uint8_t* data() noexcept { return storage_.get(); }
  const std::uint8_t* data() const noexcept { return storage_.get(); }
  std::uint8_t* table(std::size_t i) noexcept { return storage_.get() + offsets_[i]; }

  // Allocates every table (charged to `budget`); once.
  void allocate(MemoryBudget* budget) {
    if (storage_) return;
    if (budget) budget->require(total_, Use::Heuristic, "the pattern databases");
    storage_.reset(new std::uint8_t[total_ ? total_ : 1]);
  }

  // Builds table i in place.
  void build(std::size_t i, MemoryBudget* budget, const Progress& progress = {}) {
    build_table(board_, patterns_[i], blank_, table(i), budget, progress);
  }

  std::uint8_t mirror_tile(std::size_t tile) const noexcept { return mirror_tile_[tile]; }
  std::uint8_t mirror_cell(std::size_t cell) const noexcept { return mirror_cell_[cell]; }

  // Table i's entry for the board whose tile t stands on cell where[t].
  std::uint8_t entry(std::size_t i, const std::uint8_t* where) const noexcept {
    const PatternLayout& p = patterns_[i];
    std::uint64_t used = 0;
    std::size_t r = 0;
    for (std::size_t j = 0; j < p.tiles.size(); ++j) {
      const std::size_t c = where[p.tiles[j]];
      r = r * (p.n - j) + (c - std::size_t(std::popcount(used & below(c))));
      used |= bit(c);
    }
    return storage_[offsets_[i] + r];
  }

  // The sum over the tables for the board `state` (one value per tile cell;
  // an ill-formed board gets 0), and its mirror's sum when that applies.
  unsigned estimate(const std::uint8_t* state, std::size_t size) const noexcept {
    const std::size_t n = board_.n;
    if (size != n || !storage_) return 0;
    std::uint8_t where[kMaxCells];
    for (std::size_t c = 0; c < n; ++c) {
      if (state[c] >= n) return 0;
      where[state[c]] = std::uint8_t(c);
    }
    unsigned h = sum(where);
    if (reflects_) {
      std::uint8_t mirrored[kMaxCells];
      for (std::size_t t = 0; t < n; ++t) mirrored[mirror_tile_[t]] = mirror_cell_[where[t]];
      h = std::max(h, sum(mirrored));
    }
    return h;
  }

 private:
  unsigned sum(const std::uint8_t* where) const noexcept {
    unsigned total = 0;
    for (std::size_t i = 0; i < patterns_.size(); ++i) total += entry(i, where);
    return total;
  }

  BoardCells board_;
  ByteState goal_;
  std::size_t blank_ = 0;
  std::vector<PatternLayout> patterns_;
  std::vector<std::size_t> offsets_;
  std::size_t total_ = 0;
  bool reflects_ = false;
  std::uint8_t mirror_cell_[kMaxCells] = {};
  std::uint8_t mirror_tile_[kMaxCells] = {};
  std::unique_ptr<std::uint8_t[]> storage_;
};

}  // namespace wayloom::pdb
