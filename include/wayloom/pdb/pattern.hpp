// Additive pattern databases for sliding-tile boards: the layout of one
// pattern (its tiles and their goal cells) and the ranking of where its tiles
// stand.
//
// A pattern's entry is indexed by the cells of its tiles, in the pattern's
// tile order: the first tile has n choices, the next n - 1 among the cells
// left, and so on, so a table of k tiles on n cells has n! / (n - k)! entries
// and every entry is a placement. Cells are bits of a 64-bit set, so boards
// go up to 8x8.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "wayloom/core/error.hpp"

namespace wayloom::pdb {

inline constexpr std::size_t kMaxCells = 64;

inline constexpr std::uint64_t bit(std::size_t cell) noexcept { return std::uint64_t(1) << cell; }
inline constexpr std::uint64_t below(std::size_t cell) noexcept { return bit(cell) - 1; }

// The board's geometry as cell sets: the neighbours of each cell and the
// growth of a set by one step in every direction.
struct BoardCells {
  std::size_t side = 0, n = 0;
  std::uint64_t all = 0, not_first_col = 0, not_last_col = 0;
  std::uint64_t neighbours[kMaxCells] = {};

  explicit BoardCells(std::size_t side_) : side(side_), n(side_ * side_) {
    if (side < 2 || n > kMaxCells) throw UsageError("pattern databases need a side of 2 to 8");
    all = n == 64 ? ~std::uint64_t(0) : bit(n) - 1;
    for (std::size_t c = 0; c < n; ++c) {
      const std::size_t r = c / side, col = c % side;
      if (col != 0) not_first_col |= bit(c);
      if (col + 1 != side) not_last_col |= bit(c);
      std::uint64_t m = 0;
      if (r > 0) m |= bit(c - side);
      if (r + 1 < side) m |= bit(c + side);
      if (col > 0) m |= bit(c - 1);
      if (col + 1 < side) m |= bit(c + 1);
      neighbours[c] = m;
    }
  }

  std::uint64_t grow(std::uint64_t s) const noexcept {
    return (s | (s << side) | (s >> side) | ((s & not_last_col) << 1) |
            ((s & not_first_col) >> 1)) &
           all;
  }

  // The cells of `free` the blank reaches from `seed` (a free cell).
  std::uint64_t region(std::size_t seed, std::uint64_t free) const noexcept {
    std::uint64_t r = bit(seed);
    while (true) {
      const std::uint64_t next = grow(r) & free;
      if (next == r) return r;
      r = next;
    }
  }
};

// n! / (n - k)!, or the maximum size_t when it does not fit.
inline std::size_t placements(std::size_t n, std::size_t k) noexcept {
  std::size_t count = 1;
  for (std::size_t i = 0; i < k; ++i) {
    if (count > std::numeric_limits<std::size_t>::max() / (n - i))
      return std::numeric_limits<std::size_t>::max();
    count *= n - i;
  }
  return count;
}

// One pattern: k tiles, the goal cell of each, and the table size.
struct PatternLayout {
  std::size_t n = 0;                    // cells of the board
  std::vector<std::uint8_t> tiles;      // the pattern's tiles, in index order
  std::vector<std::uint8_t> goal_cell;  // goal cell of each tile, same order
  std::size_t entries = 0;

  PatternLayout() = default;
  PatternLayout(std::size_t cells, std::vector<std::uint8_t> tiles_,
                std::vector<std::uint8_t> goal_cells)
      : n(cells), tiles(std::move(tiles_)), goal_cell(std::move(goal_cells)) {
    entries = placements(n, tiles.size());
  }

  std::size_t size() const noexcept { return tiles.size(); }

  // The entry of the placement `cell[i]` of tile i.
  std::size_t rank(const std::uint8_t* cell) const noexcept {
    std::uint64_t used = 0;
    std::size_t r = 0;
    for (std::size_t i = 0; i < tiles.size(); ++i) {
      const std::size_t c = cell[i];
      r = r * (n - i) + (c - std::size_t(std::popcount(used & below(c))));
      used |= bit(c);
    }
    return r;
  }

  // The placement of entry r, written to cell[0 .. k).
  void unrank(std::size_t r, std::uint8_t* cell) const noexcept {
    const std::size_t k = tiles.size();
    std::uint8_t digit[kMaxCells];
    for (std::size_t i = k; i-- > 0;) {
      digit[i] = std::uint8_t(r % (n - i));
      r /= n - i;
    }
    std::uint64_t used = 0;
    for (std::size_t i = 0; i < k; ++i) {
      std::uint64_t free = ~used;
      for (std::size_t d = digit[i]; d > 0; --d) free &= free - 1;  // drop the lowest d
      const std::size_t c = std::size_t(std::countr_zero(free));
      cell[i] = std::uint8_t(c);
      used |= bit(c);
    }
  }
};

}  // namespace wayloom::pdb
