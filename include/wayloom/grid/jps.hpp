// Jump point search on 8-connected grids whose open cells all cost the same,
// with no corner cutting: A* over jump points only. Two ways of finding the
// next jump point in a direction: scanning rows of open-cell bits 64 cells at
// a time (JumpMap, built once per grid), or reading the distance from a table
// made in advance (JumpTable, 16 bytes a cell).
//
// Pruning without corner cutting: a diagonal move never has forced
// neighbours (both cells it passes between are open), so a diagonal run stops
// only where a straight run from it finds something. A straight run stops at
// a cell with an open side cell whose cell behind it is blocked: that side
// cell (and the diagonal towards it) can only be reached optimally through
// this cell.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "wayloom/core/error.hpp"
#include "wayloom/core/memory_budget.hpp"
#include "wayloom/core/node.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/domains/grid.hpp"
#include "wayloom/search/helpers.hpp"
#include "wayloom/search/strategy_support.hpp"

namespace wayloom::jps {

// The eight directions in the grid's successor order: up, down, left, right,
// then up-left, up-right, down-left, down-right.
inline constexpr std::int8_t kDr[8] = {-1, 1, 0, 0, -1, -1, 1, 1};
inline constexpr std::int8_t kDc[8] = {0, 0, -1, 1, -1, 1, -1, 1};

constexpr int dir_index(int dr, int dc) noexcept {
  if (dr == 0) return dc < 0 ? 2 : 3;
  if (dc == 0) return dr < 0 ? 0 : 1;
  return 4 + (dr > 0 ? 2 : 0) + (dc > 0 ? 1 : 0);
}

// Open cells as bits: one row of 64-bit words per line, a word of blocked
// cells before position 0 and blocked words after the last, and a blocked
// line on either side, so a 64-cell window read anywhere next to the grid
// needs no bounds check.
class BitLines {
 public:
  BitLines() = default;
  BitLines(std::int32_t lines, std::int32_t length)
      : stride_((std::size_t(length) + 63) / 64 + 3),
        bits_((std::size_t(lines) + 2) * stride_, 0) {}

  static std::size_t bytes_for(std::int32_t lines, std::int32_t length) noexcept {
    return (std::size_t(lines) + 2) * ((std::size_t(length) + 63) / 64 + 3) * 8;
  }

  void set_open(std::int32_t line, std::int32_t pos) noexcept {
    const std::size_t x = std::size_t(pos) + 64;
    bits_[base(line) + (x >> 6)] |= std::uint64_t(1) << (x & 63);
  }
  bool open(std::int32_t line, std::int32_t pos) const noexcept {
    const std::size_t x = std::size_t(std::int64_t(pos) + 64);
    return (bits_[base(line) + (x >> 6)] >> (x & 63)) & 1;
  }
  // Positions pos .. pos + 63 of `line` as bits 0 .. 63.
  std::uint64_t ahead(std::int32_t line, std::int32_t pos) const noexcept {
    return window(base(line), std::size_t(std::int64_t(pos) + 64));
  }
  // Positions pos - 63 .. pos of `line` as bits 0 .. 63 (pos is bit 63).
  std::uint64_t behind(std::int32_t line, std::int32_t pos) const noexcept {
    return window(base(line), std::size_t(std::int64_t(pos) + 1));
  }

 private:
  std::size_t base(std::int32_t line) const noexcept {
    return std::size_t(std::int64_t(line) + 1) * stride_;
  }
  std::uint64_t window(std::size_t row, std::size_t x) const noexcept {
    const std::uint64_t* p = bits_.data() + row + (x >> 6);
    const unsigned s = unsigned(x & 63);
    return s ? (p[0] >> s) | (p[1] << (64 - s)) : p[0];
  }

  std::size_t stride_ = 0;  // words a line
  std::vector<std::uint64_t> bits_;
};

// A straight run along `line` from `pos` towards higher positions: where the
// next jump point is (a cell with a forced neighbour, or the goal when it lies
// on this line), or -1 when a blocked cell comes first.
inline std::int32_t run_ahead(const BitLines& b, std::int32_t line, std::int32_t pos,
                              std::int32_t goal_line, std::int32_t goal_pos) noexcept {
  const bool goal_here = line == goal_line && goal_pos > pos;
  for (std::int32_t x = pos + 1;; x += 64) {
    const std::uint64_t mid = b.ahead(line, x);
    const std::uint64_t side = (b.ahead(line - 1, x) & ~b.ahead(line - 1, x - 1)) |
                               (b.ahead(line + 1, x) & ~b.ahead(line + 1, x - 1));
    std::uint64_t stop = ~mid | side;
    if (goal_here && goal_pos - x < 64) stop |= std::uint64_t(1) << (goal_pos - x);
    if (stop) {
      const int i = std::countr_zero(stop);
      return (mid >> i) & 1 ? x + i : -1;
    }
  }
}

// The same towards lower positions.
inline std::int32_t run_behind(const BitLines& b, std::int32_t line, std::int32_t pos,
                               std::int32_t goal_line, std::int32_t goal_pos) noexcept {
  const bool goal_here = line == goal_line && goal_pos < pos;
  for (std::int32_t x = pos - 1;; x -= 64) {
    const std::uint64_t mid = b.behind(line, x);
    const std::uint64_t side = (b.behind(line - 1, x) & ~b.behind(line - 1, x + 1)) |
                               (b.behind(line + 1, x) & ~b.behind(line + 1, x + 1));
    std::uint64_t stop = ~mid | side;
    if (goal_here && x - goal_pos < 64) stop |= std::uint64_t(1) << (63 - (x - goal_pos));
    if (stop) {
      const int i = std::countl_zero(stop);
      return (mid >> (63 - i)) & 1 ? x - i : -1;
    }
  }
}

// The open cells of a grid as bits by rows and by columns: what the online
// search scans. About a quarter of a byte a cell.
class JumpMap {
 public:
  static std::size_t bytes_for(std::int32_t height, std::int32_t width) noexcept {
    return BitLines::bytes_for(height, width) + BitLines::bytes_for(width, height);
  }

  explicit JumpMap(const GridGraph& g)
      : rows_(g.height(), g.width()), cols_(g.width(), g.height()) {
    for (std::int32_t r = 0; r < g.height(); ++r)
      for (std::int32_t c = 0; c < g.width(); ++c)
        if (!g.is_wall({r, c})) {
          rows_.set_open(r, c);
          cols_.set_open(c, r);
        }
  }

  bool open(std::int32_t r, std::int32_t c) const noexcept { return rows_.open(r, c); }
  const BitLines& rows() const noexcept { return rows_; }
  const BitLines& cols() const noexcept { return cols_; }

 private:
  BitLines rows_, cols_;
};

// Candidate directions out of `n` reached moving (dr, dc) (both 0 at the
// start): the natural ones and, after a straight move, the forced ones.
template <class Open, class F>
inline void directions(Cell n, int dr, int dc, const Open& cells, F&& f) {
  const std::int32_t r = n.row, c = n.col;
  if (dr == 0 && dc == 0) {
    for (int d = 0; d < 8; ++d) f(d);
  } else if (dr == 0) {
    f(dir_index(0, dc));
    if (cells.open(r - 1, c) && !cells.open(r - 1, c - dc)) {
      f(dir_index(-1, 0));
      f(dir_index(-1, dc));
    }
    if (cells.open(r + 1, c) && !cells.open(r + 1, c - dc)) {
      f(dir_index(1, 0));
      f(dir_index(1, dc));
    }
  } else if (dc == 0) {
    f(dir_index(dr, 0));
    if (cells.open(r, c - 1) && !cells.open(r - dr, c - 1)) {
      f(dir_index(0, -1));
      f(dir_index(dr, -1));
    }
    if (cells.open(r, c + 1) && !cells.open(r - dr, c + 1)) {
      f(dir_index(0, 1));
      f(dir_index(dr, 1));
    }
  } else {
    f(dir_index(dr, 0));
    f(dir_index(0, dc));
    f(dir_index(dr, dc));
  }
}

// Where a diagonal run stops: `steps` away (0: it ends at a blocked cell or a
// corner), and the steps of the straight runs from there to their jump points
// along the run's column and row (0 when none).
struct DiagonalStop {
  std::int32_t steps, vertical, horizontal;
};

// Both kinds of jumps expand a node the same way: a straight direction gives
// the next jump point on that run; a diagonal direction is walked to its end,
// and at each diagonal jump point on the way (a cell from which a straight run
// finds something) the straight runs' jump points are handed over at once,
// reached via that cell, instead of queueing the diagonal cell to expand it
// later. f(cell, via, diagonal steps, straight steps): the path goes from the
// node diagonally to `via`, then straight on to `cell`.
template <class Jumps, class F>
void expand(const Jumps& jumps, Cell n, int dr, int dc, Cell goal, F&& f) {
  directions(n, dr, dc, jumps, [&](int d) {
    if (d < 4) {
      if (const std::int32_t s = jumps.straight(n, d))
        f(Cell{n.row + kDr[d] * s, n.col + kDc[d] * s}, n, 0, s);
      return;
    }
    Cell x = n;
    std::int32_t k = 0;
    for (;;) {
      const DiagonalStop stop = jumps.diagonal(x, d);
      if (!stop.steps) return;
      x = Cell{x.row + kDr[d] * stop.steps, x.col + kDc[d] * stop.steps};
      k += stop.steps;
      if (x == goal) return f(x, n, k, 0);
      if (const std::int32_t s = stop.vertical) f(Cell{x.row + kDr[d] * s, x.col}, x, k, s);
      if (const std::int32_t s = stop.horizontal) f(Cell{x.row, x.col + kDc[d] * s}, x, k, s);
    }
  });
}

// Jumps found by scanning (no preprocessing).
class OnlineJumps {
 public:
  OnlineJumps(const JumpMap& map, Cell goal) noexcept : map_(map), goal_(goal) {}

  bool open(std::int32_t r, std::int32_t c) const noexcept { return map_.open(r, c); }

  // Steps to the next jump point straight from n in direction d, 0 when none.
  std::int32_t straight(Cell n, int d) const noexcept {
    std::int32_t p;
    if (kDr[d] == 0) {
      p = kDc[d] > 0 ? run_ahead(map_.rows(), n.row, n.col, goal_.row, goal_.col)
                     : run_behind(map_.rows(), n.row, n.col, goal_.row, goal_.col);
      return p < 0 ? 0 : std::abs(p - n.col);
    }
    p = kDr[d] > 0 ? run_ahead(map_.cols(), n.col, n.row, goal_.col, goal_.row)
                   : run_behind(map_.cols(), n.col, n.row, goal_.col, goal_.row);
    return p < 0 ? 0 : std::abs(p - n.row);
  }

  // The next diagonal jump point or the goal from n, with the straight runs
  // found there (they are what makes it a jump point).
  DiagonalStop diagonal(Cell n, int d) const noexcept {
    const int dr = kDr[d], dc = kDc[d];
    const int sr = dir_index(dr, 0), sc = dir_index(0, dc);
    std::int32_t r = n.row, c = n.col;
    for (std::int32_t k = 1;; ++k) {
      if (!open(r + dr, c + dc) || !open(r, c + dc) || !open(r + dr, c)) return {0, 0, 0};
      r += dr;
      c += dc;
      if (r == goal_.row && c == goal_.col) return {k, 0, 0};
      const std::int32_t across = straight({r, c}, sc);
      const std::int32_t down = straight({r, c}, sr);
      if (across || down) return {k, down, across};
    }
  }

 private:
  const JumpMap& map_;
  Cell goal_;
};

// Jump distances of every cell in the eight directions, made in advance: a
// positive d is a jump point d steps away, 0 or a negative -d means d steps
// can be taken before a blocked cell and no jump point lies on the way.
class JumpTable {
 public:
  static constexpr std::size_t kBytesPerCell = 8 * sizeof(std::int16_t);
  static constexpr std::int32_t kMaxSide = 32767;

  static std::size_t bytes_for(std::int32_t height, std::int32_t width) noexcept {
    return std::size_t(height) * std::size_t(width) * kBytesPerCell;
  }

  JumpTable() = default;
  // From a table saved with data(); the caller has checked its size.
  JumpTable(std::int32_t width, std::vector<std::int16_t> data)
      : width_(width), d_(std::move(data)) {}

  explicit JumpTable(const GridGraph& g) : width_(g.width()) {
    if (g.width() > kMaxSide || g.height() > kMaxSide)
      throw UsageError("preprocess() handles grids of up to " + std::to_string(kMaxSide) +
                       " cells a side; this one is " + std::to_string(g.height()) + "\xC3\x97" +
                       std::to_string(g.width()) + " (search it with 'jps' unpreprocessed)");
    const std::int32_t h = g.height(), w = g.width();
    d_.assign(std::size_t(h) * std::size_t(w) * 8, 0);
    auto open = [&](std::int32_t r, std::int32_t c) { return g.is_open({r, c}); };
    auto next = [](std::int16_t v) { return std::int16_t(v > 0 ? v + 1 : v - 1); };
    // Straight runs: each cell from its neighbour in the run's direction, so
    // the sweep goes against it.
    for (int d = 0; d < 4; ++d) {
      const int dr = kDr[d], dc = kDc[d];
      const std::int32_t r0 = dr > 0 ? h - 1 : 0, r1 = dr > 0 ? -1 : h, rs = dr > 0 ? -1 : 1;
      const std::int32_t c0 = dc > 0 ? w - 1 : 0, c1 = dc > 0 ? -1 : w, cs = dc > 0 ? -1 : 1;
      for (std::int32_t r = r0; r != r1; r += rs)
        for (std::int32_t c = c0; c != c1; c += cs) {
          if (!open(r, c)) continue;
          const std::int32_t xr = r + dr, xc = c + dc;
          std::int16_t v = 0;
          if (open(xr, xc)) {
            // Side cells of x: open there, blocked beside the cell before it.
            const bool forced = dr == 0 ? (open(xr - 1, xc) && !open(r - 1, c)) ||
                                              (open(xr + 1, xc) && !open(r + 1, c))
                                        : (open(xr, xc - 1) && !open(r, c - 1)) ||
                                              (open(xr, xc + 1) && !open(r, c + 1));
            v = forced ? std::int16_t(1) : next(at({xr, xc}, d));
          }
          slot({r, c}, d) = v;
        }
    }
    // Diagonal runs: a cell is a jump point when a straight run from it finds one.
    for (int d = 4; d < 8; ++d) {
      const int dr = kDr[d], dc = kDc[d];
      const int sr = dir_index(dr, 0), sc = dir_index(0, dc);
      const std::int32_t r0 = dr > 0 ? h - 1 : 0, r1 = dr > 0 ? -1 : h, rs = dr > 0 ? -1 : 1;
      for (std::int32_t r = r0; r != r1; r += rs)
        for (std::int32_t c = 0; c < w; ++c) {
          if (!open(r, c)) continue;
          const std::int32_t xr = r + dr, xc = c + dc;
          std::int16_t v = 0;
          if (open(xr, xc) && open(r, xc) && open(xr, c))
            v = at({xr, xc}, sr) > 0 || at({xr, xc}, sc) > 0 ? std::int16_t(1)
                                                             : next(at({xr, xc}, d));
          slot({r, c}, d) = v;
        }
    }
  }

  std::int16_t at(Cell c, int d) const noexcept {
    return d_[(std::size_t(c.row) * std::size_t(width_) + std::size_t(c.col)) * 8 + std::size_t(d)];
  }
  const std::vector<std::int16_t>& data() const noexcept { return d_; }

 private:
  std::int16_t& slot(Cell c, int d) noexcept {
    return d_[(std::size_t(c.row) * std::size_t(width_) + std::size_t(c.col)) * 8 + std::size_t(d)];
  }

  std::int32_t width_ = 0;
  std::vector<std::int16_t> d_;
};

// Jumps read from a table; the goal is found where a run passes it.
class TableJumps {
 public:
  TableJumps(const GridGraph& g, const JumpTable& t, Cell goal) noexcept
      : g_(g), t_(t), goal_(goal) {}

  bool open(std::int32_t r, std::int32_t c) const noexcept { return g_.is_open({r, c}); }

  std::int32_t straight(Cell n, int d) const noexcept {
    const std::int32_t dist = t_.at(n, d);
    const std::int32_t ahead = kDr[d] == 0
                                   ? (goal_.row == n.row ? (goal_.col - n.col) * kDc[d] : 0)
                                   : (goal_.col == n.col ? (goal_.row - n.row) * kDr[d] : 0);
    if (ahead > 0 && ahead <= (dist < 0 ? -dist : dist)) return ahead;
    return dist > 0 ? dist : 0;
  }

  // A diagonal run stops at a jump point or level with the goal (from there a
  // straight run may meet it).
  DiagonalStop diagonal(Cell n, int d) const noexcept {
    const std::int32_t dist = t_.at(n, d), reach = dist < 0 ? -dist : dist;
    const std::int32_t rd = (goal_.row - n.row) * kDr[d], cd = (goal_.col - n.col) * kDc[d];
    std::int32_t k = dist > 0 ? dist : 0;
    if (rd > 0 && cd > 0 && (rd <= reach || cd <= reach)) k = std::min(rd, cd);
    if (!k) return {0, 0, 0};
    const Cell x{n.row + kDr[d] * k, n.col + kDc[d] * k};
    return {k, straight(x, dir_index(kDr[d], 0)), straight(x, dir_index(0, kDc[d]))};
  }

 private:
  const GridGraph& g_;
  const JumpTable& t_;
  Cell goal_;
};

// The search's own records: one per jump point reached, found by cell
// through an open-addressing index (only jump points are stored, so a query
// touches a few pages however large the grid).
struct JumpNode {
  Cell cell;
  Cell via;  // where the path from the parent turns (the parent's cell when straight)
  double g;
  std::uint32_t parent;
  bool closed;  // after parent: 32 bytes a node, not 40
};

class NodeIndex {
 public:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

  // The slot of `key`, and whether it was new (then the caller stores `next`).
  std::pair<std::uint32_t*, bool> find(std::uint32_t key, std::uint32_t next,
                                       MemoryBudget* budget) {
    if (2 * (size_ + 1) > keys_.size()) grow(budget);
    std::size_t i = hash(key);
    while (keys_[i] != kEmpty) {
      if (keys_[i] == key) return {&vals_[i], false};
      i = (i + 1) & mask_;
    }
    keys_[i] = key;
    vals_[i] = next;
    ++size_;
    return {&vals_[i], true};
  }

  // Empties the index, keeping its slots for the next search.
  void clear() noexcept {
    if (size_ == 0) return;
    std::fill(keys_.begin(), keys_.end(), kEmpty);
    size_ = 0;
  }

 private:
  std::size_t hash(std::uint32_t key) const noexcept {
    return std::size_t((std::uint64_t(key) * 0x9E3779B97F4A7C15ULL) >> shift_);
  }
  void grow(MemoryBudget* budget) {
    const std::size_t cap = keys_.empty() ? 1024 : 2 * keys_.size();
    if (budget) budget->charge(cap * 8, Use::NodeStore);
    std::vector<std::uint32_t> keys(cap, kEmpty), vals(cap);
    mask_ = cap - 1;
    shift_ = 64 - unsigned(std::countr_zero(cap));
    for (std::size_t j = 0; j < keys_.size(); ++j) {
      if (keys_[j] == kEmpty) continue;
      std::size_t i = hash(keys_[j]);
      while (keys[i] != kEmpty) i = (i + 1) & mask_;
      keys[i] = keys_[j];
      vals[i] = vals_[j];
    }
    if (budget) budget->release(keys_.size() * 8, Use::NodeStore);
    keys_ = std::move(keys);
    vals_ = std::move(vals);
  }

  std::vector<std::uint32_t> keys_, vals_;
  std::size_t size_ = 0, mask_ = 0;
  unsigned shift_ = 64;
};

// The open list: lowest f first; among equal f the newest entry (it tends to
// be nearer the goal). With a consistent heuristic most successors keep their
// parent's f, so entries of the f last taken out wait on a stack, newest on
// top, and only the others go into a 4-ary heap (half the levels of a binary
// one). Taking out compares the two tops, so the order is a heap's exactly.
class OpenList {
 public:
  struct Entry {
    double f;
    std::uint32_t seq, node;
  };

  bool empty() const noexcept { return heap_.empty() && ties_.empty(); }
  std::size_t size() const noexcept { return heap_.size() + ties_.size(); }
  void clear() noexcept {
    heap_.clear();
    ties_.clear();
    tie_f_ = -1.0;
  }

  void push(Entry e, MemoryBudget* budget) {
    if (e.f == tie_f_) {
      detail::make_room(ties_, budget, Use::Frontier);
      ties_.push_back(e);
      return;
    }
    detail::make_room(heap_, budget, Use::Frontier);
    std::size_t i = heap_.size();
    heap_.push_back(e);
    while (i > 0) {
      const std::size_t p = (i - 1) / 4;
      if (!before(e, heap_[p])) break;
      heap_[i] = heap_[p];
      i = p;
    }
    heap_[i] = e;
  }

  Entry pop() noexcept {
    Entry top;
    if (!ties_.empty() && (heap_.empty() || before(ties_.back(), heap_[0]))) {
      top = ties_.back();
      ties_.pop_back();
    } else {
      top = pop_heap();
    }
    if (ties_.empty()) tie_f_ = top.f;
    return top;
  }

 private:
  static bool before(const Entry& a, const Entry& b) noexcept {
    return a.f < b.f || (a.f == b.f && a.seq > b.seq);
  }

  Entry pop_heap() noexcept {
    const Entry top = heap_[0], last = heap_.back();
    heap_.pop_back();
    const std::size_t n = heap_.size();
    if (n == 0) return top;
    std::size_t i = 0;
    for (;;) {
      const std::size_t c = 4 * i + 1;
      if (c >= n) break;
      std::size_t best = c;
      const std::size_t end = c + 4 < n ? c + 4 : n;
      for (std::size_t k = c + 1; k < end; ++k)
        if (before(heap_[k], heap_[best])) best = k;
      if (!before(heap_[best], last)) break;
      heap_[i] = heap_[best];
      i = best;
    }
    heap_[i] = last;
    return top;
  }

  std::vector<Entry> heap_, ties_;
  double tie_f_ = -1.0;  // the f of every entry in ties_
};

// What a search allocates, kept between the searches of one batch so that
// each starts with warm memory. Growth is charged to the search that needs it.
struct Workspace {
  std::vector<JumpNode> nodes;
  OpenList open;
  NodeIndex index;

  void clear() noexcept {
    nodes.clear();
    open.clear();
    index.clear();
  }
};

inline int sign(std::int32_t v) noexcept { return (v > 0) - (v < 0); }

// A* over jump points. `unit` is the cost of a straight step (every open cell
// costs the same). The path lists every cell; the counters, trace and tree
// count jump points. Ties on f go to the newest entry.
template <bool Record, class Jumps, class H>
SearchResult<Cell> search(const Jumps& jumps, std::int32_t width, const H& heuristic, Cell start,
                          Cell goal, double unit, const SearchOptions& options, Workspace& ws) {
  return timed([&] {
    SearchResult<Cell> result;
    MemoryBudget* const budget = options.budget;
    // A node's g only falls, and its f with it, so the entry a node is
    // expanded from is its newest; the older ones meet it closed.
    ws.clear();
    std::vector<JumpNode>& nodes = ws.nodes;
    OpenList& open = ws.open;
    NodeIndex& index = ws.index;
    const double diag = unit * kSqrt2;
    auto key = [width](Cell c) {
      return std::uint32_t(std::size_t(c.row) * std::size_t(width) + std::size_t(c.col));
    };
    std::uint32_t seq = 0;
    std::uint64_t expanded = 0, generated = 1, peak = 1;

    detail::make_room(nodes, budget, Use::NodeStore);
    nodes.push_back({start, start, 0.0, NodeIndex::kEmpty, false});
    index.find(key(start), 0, budget);
    open.push({heuristic.estimate(start, goal), seq++, 0}, budget);

    StopReason stop = StopReason::Exhausted;
    std::uint32_t goal_node = 0;
    while (!open.empty()) {
      const OpenList::Entry top = open.pop();
      JumpNode& node = nodes[top.node];
      if (node.closed) continue;  // stale entry
      node.closed = true;
      const Cell n = node.cell;
      const double gn = node.g;
      if constexpr (Record) detail::record_step(result.trace, budget, n, gn, open.size());
      ++expanded;
      if (n == goal) {
        stop = StopReason::Goal;
        goal_node = top.node;
        break;
      }
      if (options.max_nodes && expanded >= *options.max_nodes) {
        stop = StopReason::NodeLimit;
        break;
      }
      int dr = 0, dc = 0;
      if (node.parent != NodeIndex::kEmpty) {
        dr = sign(n.row - node.via.row);
        dc = sign(n.col - node.via.col);
      }
      const std::uint32_t u = top.node;
      expand(jumps, n, dr, dc, goal,
             [&](Cell m, Cell via, std::int32_t diagonals, std::int32_t straights) {
               const double g2 = gn + double(diagonals) * diag + double(straights) * unit;
               auto [slot, fresh] = index.find(key(m), std::uint32_t(nodes.size()), budget);
               if (fresh) {
                 detail::make_room(nodes, budget, Use::NodeStore);
                 nodes.push_back({m, via, g2, u, false});
               } else {
                 JumpNode& old = nodes[*slot];
                 if (old.closed || !(g2 < old.g)) return;
                 old.g = g2;
                 old.via = via;
                 old.parent = u;
               }
               open.push({g2 + heuristic.estimate(m, goal), seq++, *slot}, budget);
               ++generated;
               if (open.size() > peak) peak = open.size();
             });
    }

    if (stop == StopReason::Goal) {
      // Jump points back to the start, then every cell between them.
      std::vector<Cell> points;
      for (std::uint32_t v = goal_node; v != NodeIndex::kEmpty; v = nodes[v].parent) {
        points.push_back(nodes[v].cell);
        if (nodes[v].parent != NodeIndex::kEmpty && nodes[v].via != nodes[nodes[v].parent].cell)
          points.push_back(nodes[v].via);
      }
      std::reverse(points.begin(), points.end());
      auto steps_between = [](Cell a, Cell b) {
        return std::max(std::abs(b.row - a.row), std::abs(b.col - a.col));
      };
      std::size_t length = 1;
      for (std::size_t i = 1; i < points.size(); ++i)
        length += std::size_t(steps_between(points[i - 1], points[i]));
      std::vector<Cell> path;
      path.reserve(length);
      path.push_back(points.front());
      double cost = 0.0;
      for (std::size_t i = 1; i < points.size(); ++i) {
        const Cell a = points[i - 1], b = points[i];
        const int sr = sign(b.row - a.row), sc = sign(b.col - a.col);
        const std::int32_t steps = steps_between(a, b);
        const double step = sr != 0 && sc != 0 ? diag : unit;
        detail::charge(budget, std::size_t(steps) * sizeof(Cell), Use::Record);
        for (std::int32_t k = 1; k <= steps; ++k) {
          path.push_back({a.row + sr * k, a.col + sc * k});
          cost += step;
        }
      }
      result.path = std::move(path);
      result.cost = cost;
    }
    if constexpr (Record) {
      // Nodes are numbered as discovered, so `nodes` is the tree's order.
      detail::charge(budget, 2 * nodes.size() * sizeof(std::pair<Cell, Cell>), Use::Record);
      result.tree.reserve(nodes.size());
      // A turn is drawn as its two straight segments.
      for (const JumpNode& m : nodes) {
        if (m.parent == NodeIndex::kEmpty) continue;
        const Cell p = nodes[m.parent].cell;
        if (m.via != p) result.tree.emplace_back(p, m.via);
        result.tree.emplace_back(m.via, m.cell);
      }
    }
    result.nodes_expanded = expanded;
    result.nodes_generated = generated;
    result.max_frontier_size = peak;
    result.stop_reason = stop;
    return result;
  });
}

}  // namespace wayloom::jps
