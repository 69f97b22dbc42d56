// The sliding-tile puzzle on a side x side board, and its heuristics.
//
// A state is the board in row-major order, one byte per cell, 0 for the blank.
// The entry point validates boards (permutation, square size, solvability)
// before searching; the functions here only promise not to read out of bounds
// when handed something else.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "wayloom/core/byte_state.hpp"
#include "wayloom/core/concepts.hpp"
#include "wayloom/core/heuristic_table.hpp"

namespace wayloom {

namespace detail {
// Position of the first blank; 0 when there is none.
inline std::size_t blank_position(const ByteState& s) noexcept {
  for (std::size_t i = 0; i < s.size(); ++i)
    if (s[i] == 0) return i;
  return 0;
}
}  // namespace detail

class NPuzzle {
 public:
  using node_type = ByteState;

  std::size_t side = 0;

  NPuzzle() = default;
  explicit NPuzzle(std::size_t side_) : side(side_) {}

  // Tiles 1 .. side^2 - 1 in order, then the blank. Tile numbers are bytes, so
  // on boards above 256 cells they wrap.
  ByteState goal() const {
    if (side > 0xFFFF) throw std::bad_alloc();  // side^2 would not fit a state
    const std::size_t n = side * side;
    ByteState g(n, 0);
    for (std::size_t i = 0; i + 1 < n; ++i) g[i] = std::uint8_t(i + 1);
    return g;
  }

  // Every move is one transposition of the board and moves the blank by one
  // cell, so the permutation parity and the blank's distance parity change
  // together; the goal is reachable exactly when their sum is even.
  bool is_solvable(const ByteState& start, const ByteState& goal) const {
    if (start.size() != goal.size()) return false;
    if (side == 0) return false;
    const std::size_t n = start.size();
    // Sized for every byte value, so a malformed board cannot index past it.
    std::vector<std::size_t> where(n > 256 ? n : 256, 0);
    for (std::size_t i = 0; i < n; ++i) where[goal[i]] = i;
    std::vector<std::uint8_t> visited(n, 0);
    std::size_t transpositions = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (visited[i]) continue;
      std::size_t length = 0;
      for (std::size_t j = i; j < n && !visited[j]; j = where[start[j]]) {
        visited[j] = 1;
        ++length;
      }
      transpositions += length - 1;
    }
    const std::size_t a = detail::blank_position(start), b = detail::blank_position(goal);
    const std::size_t ar = a / side, ac = a % side, br = b / side, bc = b % side;
    const std::size_t distance = (ar > br ? ar - br : br - ar) + (ac > bc ? ac - bc : bc - ac);
    return (transpositions + distance) % 2 == 0;
  }

  // The blank moves up, down, left, right; each move costs 1. Calls
  // f(board, 1.0) for each.
  template <class F>
  void for_each_successor(const ByteState& state, F&& f) const {
    if (side == 0 || side > 0xFFFF || state.size() != side * side) return;
    const std::size_t b = detail::blank_position(state);
    const std::size_t r = b / side, c = b % side;
    ByteState next = state;
    auto slide = [&](std::size_t to) {
      next[b] = next[to];
      next[to] = state[b];
      f(std::as_const(next), 1.0);
      next[to] = next[b];  // back to the parent board for the next move
      next[b] = state[b];
    };
    if (r > 0) slide(b - side);
    if (r + 1 < side) slide(b + side);
    if (c > 0) slide(b - 1);
    if (c + 1 < side) slide(b + 1);
  }

  void neighbors_into(const ByteState& state, Neighbors<ByteState>& out) const {
    for_each_successor(state,
                       [&out](const ByteState& next, double w) { out.emplace_back(next, w); });
  }

  Neighbors<ByteState> neighbors(const ByteState& state) const {
    Neighbors<ByteState> out;
    out.reserve(4);
    neighbors_into(state, out);
    return out;
  }
};

// Sum over the tiles (blank excluded) of the rows plus columns between a
// tile's cell and its cell in the goal. Works against any goal board; one made
// with `for_goal` keeps that goal's cells, so the usual call (always the same
// goal) does not rebuild them.
struct PuzzleManhattan {
  static constexpr bool pure = true;

  // Goal row and column of each tile; a bit set marks the tiles the goal has.
  // Asked for (`with_table`), square boards of at most kTableCells cells also
  // get each (cell, tile) distance up front, so a board's sum is one load a
  // cell; the kept goal of `for_goal` has it, a one-off goal does not.
  struct GoalCells {
    static constexpr std::size_t kTableCells = 64;
    ByteState goal;
    std::uint16_t row[256], col[256];
    std::uint64_t present[4] = {0, 0, 0, 0};
    bool has_table = false;
    std::uint8_t distance[kTableCells * kTableCells];  // [cell * kTableCells + tile]

    GoalCells(const ByteState& g, std::size_t side, bool with_table = false) : goal(g) {
      for (std::size_t i = 0, r = 0, c = 0; i < g.size(); ++i) {
        row[g[i]] = std::uint16_t(r);
        col[g[i]] = std::uint16_t(c);
        present[g[i] >> 6] |= std::uint64_t(1) << (g[i] & 63);
        if (++c == side) c = 0, ++r;
      }
      if (!with_table || g.size() > kTableCells || side * side != g.size()) return;
      has_table = true;
      std::fill(std::begin(distance), std::end(distance), std::uint8_t(0));
      for (std::size_t i = 0; i < g.size(); ++i)
        for (std::size_t tile = 1; tile < kTableCells; ++tile)
          if ((present[tile >> 6] >> (tile & 63)) & 1) {
            const std::size_t r = i / side, c = i % side;
            distance[i * kTableCells + tile] =
                std::uint8_t((r > row[tile] ? r - row[tile] : row[tile] - r) +
                             (c > col[tile] ? c - col[tile] : col[tile] - c));
          }
    }
  };

  std::size_t side = 0;
  std::shared_ptr<const GoalCells> cells{};  // immutable once made, so safely shared

  static PuzzleManhattan for_goal(std::size_t side, const ByteState& goal) {
    return {side, side ? std::make_shared<const GoalCells>(goal, side, true) : nullptr};
  }

  double estimate(const ByteState& state, const ByteState& goal) const noexcept {
    if (side == 0) return 0.0;
    if (cells && cells->goal == goal) return sum(state, *cells);
    return sum(state, GoalCells(goal, side));
  }

 private:
  double sum(const ByteState& state, const GoalCells& cells_of) const noexcept {
    std::size_t total = 0;
    if (cells_of.has_table && state.size() == cells_of.goal.size()) {
      const std::uint8_t* tiles = state.data();
      bool large = false;  // a tile number past the table: not a board of 0..n-1
      for (std::size_t i = 0; i < state.size(); ++i) {
        large |= tiles[i] >= GoalCells::kTableCells;
        total += cells_of.distance[i * GoalCells::kTableCells + (tiles[i] & 63)];
      }
      if (!large) return double(total);
      total = 0;
    }
    for (std::size_t i = 0, r = 0, c = 0; i < state.size(); ++i) {
      const std::uint8_t tile = state[i];
      // A tile the goal lacks counts as in place.
      if (tile != 0 && ((cells_of.present[tile >> 6] >> (tile & 63)) & 1)) {
        const std::size_t pr = cells_of.row[tile], pc = cells_of.col[tile];
        total += (r > pr ? r - pr : pr - r) + (c > pc ? c - pc : pc - c);
      }
      if (++c == side) c = 0, ++r;
    }
    return double(total);
  }
};

// Tiles (blank excluded) not on their goal cell.
struct PuzzleMisplaced {
  static constexpr bool pure = true;
  double estimate(const ByteState& state, const ByteState& goal) const noexcept {
    const std::size_t n = state.size() < goal.size() ? state.size() : goal.size();
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; ++i) count += (state[i] != 0 && state[i] != goal[i]);
    return double(count);
  }
};

// The built-in heuristics of sliding-tile boards of a given side and goal, by
// name.
inline auto puzzle_heuristics(std::size_t side, const ByteState& goal) {
  return HeuristicTable("manhattan", "unknown npuzzle heuristic: '",
                        "'. Use manhattan, misplaced, zero, or a callable h(state, goal) -> float",
                        Named<Zero>{"zero", {}},
                        Named<PuzzleManhattan>{"manhattan", PuzzleManhattan::for_goal(side, goal)},
                        Named<PuzzleMisplaced>{"misplaced", {}});
}

}  // namespace wayloom
