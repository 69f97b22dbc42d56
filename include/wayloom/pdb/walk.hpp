// IDA* with pattern databases on one board moved in place. A move changes one
// tile's cell, so only that tile's table entry (and, mirrored, one entry of
// the mirrored board) is read again: two rankings a node instead of one per
// table and mirror. It visits, counts and cuts exactly as the general
// depth-first walk (search/depth_first_walk.hpp): successors in the domain's
// order (blank up, down, left, right), one equal to a board of the current
// path skipped before it is counted, the goal tested when a node is expanded.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <type_traits>
#include <vector>

#include "wayloom/core/byte_state.hpp"
#include "wayloom/core/memory_budget.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/domains/npuzzle.hpp"
#include "wayloom/pdb/databases.hpp"
#include "wayloom/search/helpers.hpp"

namespace wayloom::pdb {

class TableWalk {
 public:
  // Whether the walk serves this search: the tables' own board and goal, and
  // a start that is a permutation of the cells (the entry point checks it).
  static bool fits(const NPuzzle& puzzle, const PatternDatabases& t, const ByteState& start,
                   const ByteState& goal) noexcept {
    const std::size_t n = t.board().n;
    if (puzzle.side != t.board().side || start.size() != n || !(goal == t.goal()) || !t.data())
      return false;
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (start[i] >= n) return false;
      seen |= bit(start[i]);
    }
    return seen == t.board().all;
  }

  TableWalk(const PatternDatabases& t, const ByteState& start, MemoryBudget* budget)
      : t_(t), n_(t.board().n), budget_(budget) {
    std::fill(std::begin(pattern_of_), std::end(pattern_of_), kNone);
    for (std::size_t i = 0; i < t.patterns().size(); ++i)
      for (const std::uint8_t tile : t.patterns()[i].tiles) pattern_of_[tile] = std::uint8_t(i);
    std::uint64_t x = 0x9E3779B97F4A7C15ull;  // a fixed seed: keys never reach a result
    for (std::size_t c = 0; c < n_; ++c)
      for (std::size_t tile = 0; tile < n_; ++tile) {
        x += 0x9E3779B97F4A7C15ull;
        std::uint64_t y = x;
        y = (y ^ (y >> 30)) * 0xBF58476D1CE4E5B9ull;
        y = (y ^ (y >> 27)) * 0x94D049BB133111EBull;
        zobrist_[c][tile] = y ^ (y >> 31);
      }
    std::copy(start.begin(), start.end(), start_);
    std::copy(t.goal().begin(), t.goal().end(), goal_);
    goal_key_ = key_of(goal_);
    const std::size_t side = t.board().side;
    for (std::size_t b = 0; b < n_; ++b) {
      const std::size_t r = b / side, col = b % side;
      Moves& m = moves_[b];
      if (r > 0) m.to[m.count++] = std::uint8_t(b - side);
      if (r + 1 < side) m.to[m.count++] = std::uint8_t(b + side);
      if (col > 0) m.to[m.count++] = std::uint8_t(b - 1);
      if (col + 1 < side) m.to[m.count++] = std::uint8_t(b + 1);
    }
    undo_.resize(1);
  }

  SearchResult<ByteState> run(const NPuzzle& puzzle) {
    Counters c{.nodes_generated = 1, .max_frontier_size = 1};  // the start, counted once
    reset();
    double threshold = double(h());
    while (true) {
      double next = kInf;
      if (pass(threshold, c, next)) return solved(puzzle, path(), c, {});
      if (std::isinf(next)) return exhausted<ByteState>(c, {});
      threshold = next;
    }
  }

 private:
  static constexpr std::uint8_t kNone = 0xFF;
  static constexpr std::size_t kMaxPatterns = kMaxCells;

  struct Frame {
    std::uint64_t key;
    double bound;  // smallest f above the threshold in this subtree
    std::uint8_t board[kMaxCells];
    std::uint8_t blank;
    std::uint8_t next;  // next of the blank's moves to try
  };
  // The entries a move replaced, kept by the depth of the node it reached.
  struct Undo {
    std::uint8_t value, mirrored_value;
  };
  struct Moves {
    std::uint8_t count = 0;
    std::uint8_t to[4] = {};
  };

  void reset() {
    std::copy(start_, start_ + n_, board_);
    for (std::size_t c = 0; c < n_; ++c) {
      where_[board_[c]] = std::uint8_t(c);
      if (board_[c] == 0) blank_ = c;
    }
    for (std::size_t tile = 0; tile < n_; ++tile)
      mirrored_where_[t_.mirror_tile(tile)] = t_.mirror_cell(where_[tile]);
    sum_ = mirrored_sum_ = 0;
    for (std::size_t i = 0; i < t_.patterns().size(); ++i) {
      value_[i] = t_.entry(i, where_);
      sum_ += value_[i];
      if (t_.reflects()) {
        mirrored_value_[i] = t_.entry(i, mirrored_where_);
        mirrored_sum_ += mirrored_value_[i];
      }
    }
    key_ = key_of(board_);
  }

  unsigned h() const noexcept { return std::max(sum_, mirrored_sum_); }

  std::uint64_t key_of(const std::uint8_t* b) const noexcept {
    std::uint64_t k = 0;
    for (std::size_t c = 0; c < n_; ++c) k ^= zobrist_[c][b[c]];
    return k;
  }

  // The key once the tile at `from` and the blank at `to` swap.
  std::uint64_t swapped_key(std::size_t from, std::size_t to) const noexcept {
    const std::size_t tile = board_[from];
    return key_ ^ zobrist_[from][tile] ^ zobrist_[to][tile] ^ zobrist_[from][0] ^ zobrist_[to][0];
  }

  // The tile at `from` slides into the blank; the entries of its pattern (and
  // of its mirror's) are read again, the old ones kept in `undo`.
  void slide(std::size_t from, Undo& undo) noexcept {
    const std::size_t to = blank_, tile = board_[from];
    key_ = swapped_key(from, to);
    board_[to] = std::uint8_t(tile);
    board_[from] = 0;
    where_[tile] = std::uint8_t(to);
    where_[0] = std::uint8_t(from);
    blank_ = from;
    const std::uint8_t p = pattern_of_[tile];
    if (p != kNone) {
      undo.value = value_[p];
      value_[p] = t_.entry(p, where_);
      sum_ = sum_ - undo.value + value_[p];
    }
    if (t_.reflects()) {
      const std::size_t m = t_.mirror_tile(tile);
      mirrored_where_[m] = t_.mirror_cell(to);
      mirrored_where_[0] = t_.mirror_cell(from);
      const std::uint8_t q = pattern_of_[m];
      if (q != kNone) {
        undo.mirrored_value = mirrored_value_[q];
        mirrored_value_[q] = t_.entry(q, mirrored_where_);
        mirrored_sum_ = mirrored_sum_ - undo.mirrored_value + mirrored_value_[q];
      }
    }
  }

  // Takes back the slide that left the blank where it is, the tile returning
  // from `back` (the parent's blank cell).
  void unslide(std::size_t back, const Undo& undo) noexcept {
    const std::size_t from = blank_, tile = board_[back];
    key_ = swapped_key(back, from);
    board_[from] = std::uint8_t(tile);
    board_[back] = 0;
    where_[tile] = std::uint8_t(from);
    where_[0] = std::uint8_t(back);
    blank_ = back;
    const std::uint8_t p = pattern_of_[tile];
    if (p != kNone) {
      sum_ = sum_ - value_[p] + undo.value;
      value_[p] = undo.value;
    }
    if (t_.reflects()) {
      const std::size_t m = t_.mirror_tile(tile);
      mirrored_where_[m] = t_.mirror_cell(from);
      mirrored_where_[0] = t_.mirror_cell(back);
      const std::uint8_t q = pattern_of_[m];
      if (q != kNone) {
        mirrored_sum_ = mirrored_sum_ - mirrored_value_[q] + undo.mirrored_value;
        mirrored_value_[q] = undo.mirrored_value;
      }
    }
  }

  // Whether sliding the tile at `from` gives a board of the current path (the
  // open frames 0..depth); only boards an even number of moves up can match.
  bool on_path(std::size_t depth, std::size_t from) const noexcept {
    if (depth == 0) return false;
    const std::uint64_t k = swapped_key(from, blank_);
    for (std::size_t d = depth - 1;; d -= 2) {
      const Frame& f = frames_[d];
      if (f.key == k && f.blank == from) {
        bool same = f.board[blank_] == board_[from];
        for (std::size_t c = 0; same && c < n_; ++c)
          same = c == blank_ || c == from || f.board[c] == board_[c];
        if (same) return true;
      }
      if (d < 2) return false;
    }
  }

  bool at_goal() const noexcept {
    return key_ == goal_key_ && std::equal(board_, board_ + n_, goal_);
  }

  void open(std::size_t depth) {
    if (depth >= frames_.size()) {
      wayloom::detail::make_room(frames_, budget_, Use::Stacks);
      frames_.emplace_back();
      wayloom::detail::make_room(undo_, budget_, Use::Stacks);
      undo_.emplace_back();
      undo_.emplace_back();
    }
    Frame& f = frames_[depth];
    f.key = key_;
    f.bound = kInf;
    std::copy(board_, board_ + n_, f.board);
    f.blank = std::uint8_t(blank_);
    f.next = 0;
  }

  // One pass under `threshold`; true with the goal on the board at depth_.
  bool pass(double threshold, Counters& c, double& next) {
    reset();
    std::size_t depth = 0;
    while (true) {
      const double f = double(depth + h());
      if (f > threshold) {
        if (depth == 0) {
          next = f;
          return false;
        }
        frames_[depth - 1].bound = std::min(frames_[depth - 1].bound, f);
        unslide(frames_[depth - 1].blank, undo_[depth]);
        --depth;
      } else {
        ++c.nodes_expanded;
        if (at_goal()) {
          depth_ = depth;
          return true;
        }
        open(depth);
        c.max_frontier_size = std::max<std::uint64_t>(c.max_frontier_size, depth + 1);
      }
      while (true) {
        Frame& top = frames_[depth];
        const Moves& m = moves_[blank_];
        if (top.next < m.count) {
          const std::size_t from = m.to[top.next++];
          if (on_path(depth, from)) continue;
          ++c.nodes_generated;
          slide(from, undo_[depth + 1]);
          ++depth;
          break;
        }
        const double bound = top.bound;
        if (depth == 0) {
          next = bound;
          return false;
        }
        unslide(frames_[depth - 1].blank, undo_[depth]);
        --depth;
        frames_[depth].bound = std::min(frames_[depth].bound, bound);
      }
    }
  }

  std::vector<ByteState> path() const {
    std::vector<ByteState> out;
    out.reserve(depth_ + 1);
    for (std::size_t d = 0; d < depth_; ++d) out.emplace_back(frames_[d].board, n_);
    out.emplace_back(board_, n_);
    return out;
  }

  const PatternDatabases& t_;
  std::size_t n_;
  MemoryBudget* budget_;
  std::uint8_t pattern_of_[kMaxCells];
  std::uint64_t zobrist_[kMaxCells][kMaxCells];
  std::uint8_t start_[kMaxCells] = {}, goal_[kMaxCells] = {};
  std::uint64_t goal_key_ = 0;

  std::uint8_t board_[kMaxCells] = {}, where_[kMaxCells] = {}, mirrored_where_[kMaxCells] = {};
  std::size_t blank_ = 0;
  std::uint64_t key_ = 0;
  std::uint8_t value_[kMaxPatterns] = {}, mirrored_value_[kMaxPatterns] = {};
  unsigned sum_ = 0, mirrored_sum_ = 0;
  Moves moves_[kMaxCells];
  std::vector<Frame> frames_;  // the open nodes, by depth
  std::vector<Undo> undo_;     // by depth, one more than frames_
  std::size_t depth_ = 0;      // of the goal, once found
};

}  // namespace wayloom::pdb
