// Depth-first walks (IDA*, depth-limited passes) over sliding-tile boards with
// one board moved in place and moved back, instead of a copied successor list
// per node. It visits, counts and cuts exactly as the general walker in
// search/depth_first_walk.hpp does: successors in the domain's order
// (blank up, down, left, right), a successor skipped when it is a board of
// the current path, goal tested when a node is visited.
//
// The heuristic is a per-(tile, cell) cost summed over the tiles (Manhattan,
// misplaced tiles and zero all are), so a move changes it by the moved tile's
// two entries. The current path is a small open-addressing set of keys:
// boards of at most 16 cells are their own key (4 bits a cell); larger ones
// hash (Zobrist, updated by the move), and a hit is confirmed against the
// stored board, so a collision never changes what is visited.
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
#include "wayloom/core/concepts.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/domains/npuzzle.hpp"
#include "wayloom/search/helpers.hpp"
#include "wayloom/search/strategy_support.hpp"

namespace wayloom::detail {

// Boards up to 8x8 take the in-place walk; larger ones keep the general one.
inline constexpr std::size_t kWalkMaxCells = 64;
static_assert(kWalkMaxCells <= PuzzleManhattan::GoalCells::kTableCells);

// The per-(tile, cell) cost table of a heuristic against `goal`, rows
// `stride` cells apart; nothing for heuristics the walk does not know.
inline void tile_costs(const PuzzleManhattan& h, const ByteState& goal, std::size_t stride,
                       std::uint16_t* cost) {
  const PuzzleManhattan::GoalCells cells(goal, h.side, true);
  if (!cells.has_table) return;  // no side: the heuristic is zero
  const std::size_t n = goal.size();
  for (std::size_t t = 1; t < n; ++t)
    for (std::size_t p = 0; p < n; ++p)
      cost[t * stride + p] = cells.distance[p * PuzzleManhattan::GoalCells::kTableCells + t];
}
inline void tile_costs(const PuzzleMisplaced&, const ByteState& goal, std::size_t stride,
                       std::uint16_t* cost) {
  const std::size_t n = goal.size();
  for (std::size_t t = 1; t < n; ++t)
    for (std::size_t p = 0; p < n; ++p) cost[t * stride + p] = goal[p] != t;
}
inline void tile_costs(const Zero&, const ByteState&, std::size_t, std::uint16_t*) {}

template <class G, class H>
inline constexpr bool kBoardWalk =
    std::is_same_v<G, NPuzzle> && (std::is_same_v<H, PuzzleManhattan> ||
                                   std::is_same_v<H, PuzzleMisplaced> || std::is_same_v<H, Zero>);

// Whether the walk serves this search: a well-formed board (a permutation of
// 0..n-1, which the entry point guarantees) of at most kWalkMaxCells cells.
inline bool board_walk_fits(const NPuzzle& puzzle, const ByteState& start, const ByteState& goal) {
  const std::size_t n = start.size();
  if (puzzle.side == 0 || n != puzzle.side * puzzle.side || goal.size() != n || n > kWalkMaxCells ||
      n < 2)
    return false;
  std::uint64_t seen_start = 0, seen_goal = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (start[i] >= n || goal[i] >= n) return false;
    seen_start |= std::uint64_t(1) << start[i];
    seen_goal |= std::uint64_t(1) << goal[i];
  }
  const std::uint64_t all = n == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << n) - 1;
  return seen_start == all && seen_goal == all;
}

// Packed: boards of at most 16 cells, whose key is the board; the walk keeps
// no board arrays for them.
template <bool Packed>
class BoardWalk {
 public:
  template <class H>
  BoardWalk(const NPuzzle& puzzle, const H& heuristic, const ByteState& start,
            const ByteState& goal, MemoryBudget* budget)
      : budget_(budget),
        n_(start.size()),
        cost_(kStride * kStride, 0),
        zobrist_(Packed ? 0 : n_ * n_),
        moves_(n_) {
    tile_costs(heuristic, goal, kStride, cost_.data());
    // Where the blank can go from each cell, in the domain's order.
    const std::size_t side = puzzle.side;
    for (std::size_t b = 0; b < n_; ++b) {
      const std::size_t r = b / side, col = b % side;
      Moves& m = moves_[b];
      if (r > 0) m.to[m.count++] = std::uint8_t(b - side);
      if (r + 1 < side) m.to[m.count++] = std::uint8_t(b + side);
      if (col > 0) m.to[m.count++] = std::uint8_t(b - 1);
      if (col + 1 < side) m.to[m.count++] = std::uint8_t(b + 1);
    }
    std::uint64_t x = 0x9E3779B97F4A7C15ull;  // a fixed seed: hashes never reach a result
    for (std::uint64_t& z : zobrist_) {
      x += 0x9E3779B97F4A7C15ull;
      std::uint64_t y = x;
      y = (y ^ (y >> 30)) * 0xBF58476D1CE4E5B9ull;
      y = (y ^ (y >> 27)) * 0x94D049BB133111EBull;
      z = y ^ (y >> 31);
    }
    std::copy(start.begin(), start.end(), start_);
    std::copy(goal.begin(), goal.end(), goal_);
    goal_key_ = key_of(goal_);
    grow_slots(0);
  }

  // One IDA* pass under `threshold` (Ida) or one depth-limited pass of
  // `limit` edges (!Ida). Returns the path when the goal is visited;
  // otherwise `next_bound` receives the smallest f over the threshold (Ida).
  //
  // The walk's state (key, blank, heuristic, depth, table pointers) lives in
  // locals so that it stays in registers; the rare growth of the frame stack
  // and path set goes through members.
  template <bool Ida>
  std::optional<std::vector<ByteState>> pass(double threshold, std::uint64_t limit,
                                             Counters& counters, double& next_bound) {
    Counters c = counters;
    const std::size_t n = n_;
    const std::uint16_t* const cost = cost_.data();
    const Moves* const moves = moves_.data();
    std::copy(start_, start_ + n, board_);
    std::size_t blank = 0;
    std::int64_t h = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (board_[i] == 0) blank = i;
      h += cost[board_[i] * kStride + i];
    }
    std::uint64_t key = key_of(board_);
    std::size_t depth = 0;
    std::fill(slots_.begin(), slots_.end(), Slot{});
    Slot* slots = slots_.data();
    std::size_t mask = slots_.size() - 1;
    Frame* frames = frames_.data();
    std::size_t room = frames_.size();
    if (!Ida) {
      c.nodes_generated += 1;
      c.max_frontier_size = std::max<std::uint64_t>(c.max_frontier_size, 1);
    }
    // Moves the tile at `to` into the blank.
    auto slide = [&](std::size_t to) {
      const std::size_t b = blank;
      std::uint64_t t;
      if constexpr (Packed) {
        t = key >> (4 * to) & 15;
        key += (t << (4 * b)) - (t << (4 * to));
      } else {
        t = board_[to];
        board_[b] = std::uint32_t(t);
        board_[to] = 0;
        key = zobrist_key(key, b, to, t);
      }
      h += std::int64_t(cost[t * kStride + b]) - std::int64_t(cost[t * kStride + to]);
      blank = to;
    };
    auto step_back = [&] {  // to the parent of the node at `depth`
      --depth;
      slide(frames[depth].blank);
    };
    // Whether sliding the tile at `to` gives a board of the current path.
    auto on_path = [&](std::size_t to) {
      const std::size_t b = blank;
      if constexpr (Packed) {
        const std::uint64_t t = key >> (4 * to) & 15;
        const std::uint64_t k = key + (t << (4 * b)) - (t << (4 * to));
        for (std::size_t i = slot_of(k, mask); slots[i] != 0; i = (i + 1) & mask)
          if (slots[i] == k) return true;
        return false;
      } else {
        const std::uint32_t t = board_[to];
        const std::uint64_t k = zobrist_key(key, b, to, t);
        for (std::size_t i = slot_of(k, mask); slots[i].depth != kEmpty; i = (i + 1) & mask) {
          if (slots[i].key != k) continue;
          const std::uint32_t* old = &boards_[slots[i].depth * kWalkMaxCells];
          bool same = old[b] == t && old[to] == 0;
          for (std::size_t p = 0; same && p < n; ++p)
            same = p == b || p == to || old[p] == board_[p];
          if (same) return true;
        }
        return false;
      }
    };
    auto done = [&](std::optional<std::vector<ByteState>> out) {
      counters = c;
      return out;
    };
    while (true) {
      // Visit the node at `depth` (the board as it stands).
      bool open_frame = true;
      if (Ida) {
        const double f = double(std::int64_t(depth) + h);
        if (f > threshold) {
          if (depth == 0) {
            next_bound = f;
            return done(std::nullopt);
          }
          frames[depth - 1].bound = min_bound(frames[depth - 1].bound, f);
          open_frame = false;
        }
      }
      if (open_frame) {
        ++c.nodes_expanded;
        if (key == goal_key_ && (Packed || std::equal(board_, board_ + n, goal_))) {
          key_ = key;
          depth_ = depth;
          return done(path());
        }
        open_frame = Ida || depth < limit;
      }
      if (open_frame) {
        if (depth >= room) {
          charge(budget_, sizeof(Frame) + (Packed ? 0 : kWalkMaxCells * sizeof(std::uint32_t)),
                 Use::Stacks);
          frames_.resize(depth + 1);
          if (!Packed) boards_.resize((depth + 1) * kWalkMaxCells);
          frames = frames_.data();
          room = frames_.size();
        }
        if (2 * (depth + 1) > mask + 1) {
          grow_slots(depth);
          slots = slots_.data();
          mask = slots_.size() - 1;
        }
        if constexpr (!Packed)
          std::copy(board_, board_ + kWalkMaxCells, &boards_[depth * kWalkMaxCells]);
        std::size_t i = slot_of(key, mask);
        while (!empty(slots[i])) i = (i + 1) & mask;
        slots[i] = slot_for(key, depth);
        frames[depth] = Frame{key, blank, kInf, std::uint32_t(i), 0};
        c.max_frontier_size = std::max<std::uint64_t>(c.max_frontier_size, depth + 1);
      } else {
        if (depth == 0) return done(std::nullopt);  // a zero limit: the start alone
        step_back();
      }
      // Advance to the next untried successor, closing finished frames.
      while (true) {
        Frame& top = frames[depth];
        const Moves& m = moves[blank];  // the board is top's: its blank is top.blank
        if (top.next < m.count) {
          const std::size_t to = m.to[top.next++];
          if (on_path(to)) continue;
          ++c.nodes_generated;
          slide(to);
          ++depth;
          break;
        }
        const double bound = top.bound;
        slots[top.slot] = Slot{};  // the newest entry: no later probe runs through it
        if (depth == 0) {
          next_bound = bound;
          return done(std::nullopt);
        }
        step_back();
        if (Ida) frames[depth].bound = min_bound(frames[depth].bound, bound);
      }
    }
  }

 private:
  // Rows of the cost table: a shift, not a multiply, finds a tile's row.
  static constexpr std::size_t kStride = Packed ? 16 : kWalkMaxCells;

  // f is a whole number here, never NaN: a plain min is fmin.
  static double min_bound(double a, double b) noexcept { return b < a ? b : a; }
  static constexpr std::uint32_t kEmpty = ~std::uint32_t(0);

  struct Moves {
    std::uint8_t count = 0;
    std::uint8_t to[4] = {};
  };
  struct Frame {
    std::uint64_t key;
    std::size_t blank;  // where this node's blank is; undoing a child returns it here
    double bound;       // smallest f above the threshold in this subtree
    std::uint32_t slot;
    std::uint32_t next;  // next of the blank's moves to try
  };
  // Packed: the key alone (no board of two or more cells packs to 0). Else the
  // hash and the depth whose stored board confirms a hit.
  struct WideSlot {
    std::uint64_t key = 0;
    std::uint32_t depth = kEmpty;
  };
  using Slot = std::conditional_t<Packed, std::uint64_t, WideSlot>;
  static bool empty(const Slot& s) noexcept {
    if constexpr (Packed)
      return s == 0;
    else
      return s.depth == kEmpty;
  }
  static Slot slot_for(std::uint64_t key, std::size_t depth) noexcept {
    if constexpr (Packed)
      return key;
    else
      return WideSlot{key, std::uint32_t(depth)};
  }

  std::uint64_t key_of(const std::uint32_t* b) const noexcept {
    std::uint64_t k = 0;
    for (std::size_t i = 0; i < n_; ++i)
      k ^= Packed ? std::uint64_t(b[i]) << (4 * i) : zobrist_[i * n_ + b[i]];
    return k;
  }
  // The Zobrist key after sliding tile t from `to` into the blank at b.
  std::uint64_t zobrist_key(std::uint64_t key, std::size_t b, std::size_t to,
                            std::uint64_t t) const noexcept {
    return key ^ zobrist_[b * n_ + t] ^ zobrist_[to * n_ + t] ^ zobrist_[b * n_] ^
           zobrist_[to * n_];
  }
  static std::size_t slot_of(std::uint64_t k, std::size_t mask) noexcept {
    if (Packed) k = (k ^ (k >> 29)) * 0x9E3779B97F4A7C15ull >> 32;
    return k & mask;
  }

  // Sizes the path set for a path `depth` + 1 boards deep (at least 64
  // slots, at most half full); the open frames' entries are re-inserted
  // bottom up, so later deletions still take the newest entry.
  void grow_slots(std::size_t depth) {
    const std::size_t size = std::max<std::size_t>(64, slots_.size() * 2);
    charge(budget_, (size - slots_.size()) * sizeof(Slot), Use::Stacks);
    slots_.assign(size, Slot{});
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t d = 0; d < depth; ++d) {
      const std::uint64_t k = frames_[d].key;
      std::size_t i = slot_of(k, mask);
      while (!empty(slots_[i])) i = (i + 1) & mask;
      slots_[i] = slot_for(k, d);
      frames_[d].slot = std::uint32_t(i);
    }
  }

  // The open frames' boards, bottom to top, then the goal (the board now).
  std::vector<ByteState> path() const {
    std::vector<ByteState> out;
    out.reserve(depth_ + 1);
    auto unpack = [&](std::uint64_t key) {
      ByteState board(n_, 0);
      for (std::size_t i = 0; i < n_; ++i) board[i] = std::uint8_t(key >> (4 * i) & 15);
      out.push_back(std::move(board));
    };
    for (std::size_t d = 0; d < depth_; ++d) {
      if constexpr (Packed) {
        unpack(frames_[d].key);
      } else {
        out.emplace_back(n_, 0);
        std::copy_n(&boards_[d * kWalkMaxCells], n_, out.back().begin());
      }
    }
    if constexpr (Packed) {
      unpack(key_);
    } else {
      out.emplace_back(n_, 0);
      std::copy_n(board_, n_, out.back().begin());
    }
    return out;
  }

  MemoryBudget* budget_;
  std::size_t n_;
  std::vector<std::uint16_t> cost_;     // [tile * kStride + cell]
  std::vector<std::uint64_t> zobrist_;  // [cell * n + tile]
  std::vector<Moves> moves_;            // [cell]: the blank's moves in the domain's order
  // Cells are held wider than a byte: a byte store may alias any member, and
  // the compiler would then reload every field after each move.
  std::uint32_t start_[kWalkMaxCells] = {}, goal_[kWalkMaxCells] = {};
  std::uint32_t board_[kWalkMaxCells] = {};  // the board now; Packed walks keep it in the key
  std::uint64_t goal_key_ = 0, key_ = 0;
  std::size_t depth_ = 0;  // where the goal was found, for path()
  std::vector<Frame> frames_;
  std::vector<std::uint32_t> boards_;  // the open frames' boards, kWalkMaxCells cells apart
  std::vector<Slot> slots_;            // the open frames' boards by hash
};

// IDA* through the walk; the caller checked board_walk_fits.
template <class H>
SearchResult<ByteState> ida_star_board(const NPuzzle& puzzle, const H& heuristic,
                                       const ByteState& start, const ByteState& goal,
                                       MemoryBudget* budget) {
  auto run = [&](auto& walk) -> SearchResult<ByteState> {
    Counters c{.nodes_generated = 1, .max_frontier_size = 1};
    double threshold = heuristic.estimate(start, goal);
    while (true) {
      double next = kInf;
      if (auto path = walk.template pass<true>(threshold, 0, c, next))
        return solved(puzzle, std::move(*path), c, {});
      if (std::isinf(next)) return exhausted<ByteState>(c, {});
      threshold = next;
    }
  };
  if (start.size() <= 16) {
    BoardWalk<true> walk(puzzle, heuristic, start, goal, budget);
    return run(walk);
  }
  BoardWalk<false> walk(puzzle, heuristic, start, goal, budget);
  return run(walk);
}

// Depth-limited passes of limits `first`..`last` through the walk (dls: one
// pass; iddfs: every limit from 0), counters summed over the passes.
inline SearchResult<ByteState> deepening_board(const NPuzzle& puzzle, const ByteState& start,
                                               const ByteState& goal, std::uint64_t first,
                                               std::uint64_t last, MemoryBudget* budget) {
  auto run = [&](auto& walk) -> SearchResult<ByteState> {
    Counters c;
    for (std::uint64_t limit = first;; ++limit) {
      double unused = kInf;
      if (auto path = walk.template pass<false>(kInf, limit, c, unused))
        return solved(puzzle, std::move(*path), c, {});
      if (limit == last) break;
    }
    return exhausted<ByteState>(c, {});
  };
  if (start.size() <= 16) {
    BoardWalk<true> walk(puzzle, Zero{}, start, goal, budget);
    return run(walk);
  }
  BoardWalk<false> walk(puzzle, Zero{}, start, goal, budget);
  return run(walk);
}

}  // namespace wayloom::detail
