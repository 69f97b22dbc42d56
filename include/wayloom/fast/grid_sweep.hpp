// Breadth-first search, Dijkstra and A* on a 4-connected grid whose open
// cells all cost the same, recorded or not: the map copied into one
// state byte a cell framed by a wall border (no bounds checks, and one load
// rejects a wall or a closed cell), the parent kept as a direction in that
// byte, integer g.
//
// Breadth-first search and Dijkstra share a plain queue. With equal positive
// step costs every push carries g(popped) + cost and cells are popped in order
// of g, so pushes come in order of g: the driver's heap, ordered by (g,
// insertion number), pops in insertion order, a reached cell is never
// improved (`reopen` changes nothing) and no entry goes stale. A* keeps a
// heap of (f, insertion number) packed into one integer; with whole costs and
// a consistent whole-number estimate its f is exact, so it pops what the
// driver pops, re-pushes what the driver re-pushes and never reopens.
//
// Each charges the memory budget as the driver does (the same store, frontier
// and page charges, at the same points), so a budget runs out where it would
// there. Recorded, each keeps the driver's trace and tree: a step a cell
// expanded, and the cells in the order first reached, each under its final
// parent.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "wayloom/core/memory_budget.hpp"
#include "wayloom/core/platform.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/domains/grid.hpp"
#include "wayloom/frontier/frontiers.hpp"
#include "wayloom/search/helpers.hpp"
#include "wayloom/store/node_store.hpp"

namespace wayloom::detail {

// Past this many framed cells the sweeps leave the grid to the driver: the
// framed map is made per search, and cell numbers must fit 32 bits.
inline constexpr std::size_t kSweepMaxCells = std::size_t(1) << 26;

struct FreeBytes {
  void operator()(void* p) const noexcept { std::free(p); }
};

template <class T>
std::unique_ptr<T[], FreeBytes> raw_array(std::size_t n) {
  void* p = std::malloc(n ? n * sizeof(T) : 1);
  if (!p) throw std::bad_alloc();
  return std::unique_ptr<T[], FreeBytes>(static_cast<T*>(p));
}

// The grid as state bytes framed by walls, rows a power of two apart (a
// cell's row and column are a shift and a mask away). A state byte is 0 for
// an open cell not yet reached; 1-4 once reached by that move (up, down,
// left, right: the successor order), 5 for the start; kClosed added when
// expanded; kWall for a wall. Closed and wall compare above everything else.
// Bits 3-5 are free for a sweep's own use.
class FramedGrid {
 public:
  static constexpr std::uint8_t kStart = 5, kClosed = 0x40, kWall = 0xC0;

  static std::size_t cells_for(const GridGraph& g) noexcept {
    return std::bit_ceil(std::size_t(g.width()) + 2) * (std::size_t(g.height()) + 2);
  }

  explicit FramedGrid(const GridGraph& g)
      : shift_(unsigned(std::countr_zero(std::bit_ceil(std::size_t(g.width()) + 2)))),
        state_(static_cast<std::uint8_t*>(platform::populated(cells_for(g))),
               Release{cells_for(g)}) {
    if (!state_) throw std::bad_alloc();
    const std::size_t w = std::size_t(g.width()), h = std::size_t(g.height());
    const std::size_t stride = std::size_t(1) << shift_;
    std::memset(state_.get(), kWall, stride);
    std::memset(state_.get() + (h + 1) * stride, kWall, stride);
    for (std::size_t r = 0; r < h; ++r) {
      std::uint8_t* row = state_.get() + (r + 1) * stride;
      const std::uint8_t* terrain = g.terrain_row(std::int32_t(r));
      row[0] = kWall;
      for (std::size_t c = 0; c < w; ++c) row[c + 1] = terrain[c] == 0 ? kWall : 0;
      std::memset(row + w + 1, kWall, stride - w - 1);
    }
    step[0] = std::uint32_t(0) - std::uint32_t(stride);
    step[1] = std::uint32_t(stride);
    step[2] = std::uint32_t(0) - 1u;
    step[3] = 1u;
  }

  // The state bytes. The sweeps write through this pointer held in a local and
  // keep the steps in a local array: a byte store may alias anything the
  // compiler cannot see is local, which it would then reload.
  std::uint8_t* data() noexcept { return state_.get(); }
  std::uint32_t at(Cell c) const noexcept {
    return std::uint32_t(((std::size_t(c.row) + 1) << shift_) + std::size_t(c.col) + 1);
  }
  std::uint32_t row(std::uint32_t v) const noexcept { return v >> shift_; }
  std::uint32_t col(std::uint32_t v) const noexcept { return v & ((1u << shift_) - 1); }
  Cell cell(std::uint32_t v) const noexcept {
    return Cell{std::int32_t(row(v)) - 1, std::int32_t(col(v)) - 1};
  }

  // The cells from the start to `v` along the recorded moves.
  std::vector<Cell> path_to(std::uint32_t v) const {
    std::vector<Cell> path;
    for (;; v -= step[(state_[v] & 7) - 1]) {
      path.push_back(cell(v));
      if ((state_[v] & 7) == kStart) break;
    }
    std::reverse(path.begin(), path.end());
    return path;
  }

  std::uint32_t step[4];

 private:
  struct Release {
    std::size_t bytes;
    void operator()(std::uint8_t* p) const noexcept { platform::release_populated(p, bytes); }
  };
  unsigned shift_;
  std::unique_ptr<std::uint8_t[], Release> state_;
};

// The driver's frontier charge: its room doubles, from 1024 entries, each
// time the peak passes it.
inline void charge_frontier(MemoryBudget* budget, std::size_t peak, std::size_t& room,
                            std::size_t entry_bytes) {
  while (peak > room) {
    const std::size_t grown = std::max<std::size_t>(2 * room, 1024);
    charge(budget, (grown - room) * entry_bytes, Use::Frontier);
    room = grown;
  }
}

// Whether a sweep can stand in for the driver here, before looking at costs:
// 4-connected, endpoints on the grid, not too large.
inline bool grid_sweep_fits(const GridGraph& grid, Cell start, Cell goal) {
  return !grid.diagonal && grid.in_bounds(start) && grid.in_bounds(goal) &&
         FramedGrid::cells_for(grid) <= kSweepMaxCells;
}

// The driver's paged node store takes a page of 32 ids when it first reaches
// one; this charges the same.
class PageCharges {
 public:
  PageCharges(const GridGraph& grid, MemoryBudget* budget)
      : grid_(grid),
        budget_(budget),
        reached_((grid.node_count() >> NodeStore::kPageBits) + 1, 0) {}
  void reach(Cell c) {
    std::uint8_t& seen = reached_[grid_.index_of(c) >> NodeStore::kPageBits];
    if (seen) return;
    charge(budget_, NodeStore::kPageBytes, Use::NodeStore);
    seen = 1;
  }

 private:
  const GridGraph& grid_;
  MemoryBudget* budget_;
  std::vector<std::uint8_t> reached_;
};

// The driver's trace and tree, with its charges at its points: a step when a
// cell is expanded, a cell when first reached, the tree once the search ends.
// Without recording every call is empty.
template <bool Record>
class SweepRecord {
 public:
  explicit SweepRecord(MemoryBudget* budget) : budget_(budget) {}
  void reached(std::uint32_t v) {
    if constexpr (Record) {
      make_room(discovered_, budget_, Use::Record);
      discovered_.push_back(v);
    }
  }
  void expanded(SearchResult<Cell>& result, const FramedGrid& map, std::uint32_t v, double g,
                std::size_t frontier) {
    if constexpr (Record) {
      make_room(result.trace, budget_, Use::Record);
      result.trace.push_back({map.cell(v), g, frontier});
    }
  }
  // Each reached cell under the parent its state byte names at the end.
  void finish(SearchResult<Cell>& result, const FramedGrid& map, const std::uint8_t* st) {
    if constexpr (Record) {
      charge(budget_, discovered_.size() * sizeof(std::pair<Cell, Cell>), Use::Record);
      result.tree.reserve(discovered_.size());
      for (const std::uint32_t v : discovered_)
        result.tree.emplace_back(map.cell(v - map.step[(st[v] & 7) - 1]), map.cell(v));
    }
  }

 private:
  MemoryBudget* budget_;
  // Framed cell numbers, charged as the driver's node ids (the same size).
  std::vector<NodeId> discovered_;
};

// The whole multiple of the Manhattan distance a grid heuristic is (for A*
// over whole numbers), or nothing.
inline std::optional<double> manhattan_multiple(const Zero&) { return 0.0; }
inline std::optional<double> manhattan_multiple(const Manhattan&) { return 1.0; }
inline std::optional<double> manhattan_multiple(const GridDefault& h) {
  if (h.diagonal) return std::nullopt;
  return h.scale;
}
template <class H>
std::optional<double> manhattan_multiple(const H&) {
  return std::nullopt;
}

// Breadth-first search or Dijkstra; the caller checked that the driver would
// pop in insertion order and, unrecorded, keep its flat store (recorded, it
// keeps the paged one). `entry_bytes` is what one entry of the driver's
// frontier is charged.
template <bool Record>
SearchResult<Cell> grid_queue_sweep(const GridGraph& grid, Cell start, Cell goal,
                                    const SearchOptions& options, std::size_t entry_bytes,
                                    double unit) {
  MemoryBudget* const budget = options.budget;
  const std::size_t ids = grid.node_count();
  std::optional<PageCharges> pages;
  if constexpr (Record) {
    charge(budget, NodeStore::bytes_for(ids), Use::NodeStore);
    pages.emplace(grid, budget);
    pages->reach(start);
  } else {
    charge(budget, FlatStore::bytes_for(ids), Use::NodeStore);
  }
  SweepRecord<Record> record(budget);
  SearchResult<Cell> result;
  FramedGrid map(grid);
  const std::uint32_t s = map.at(start), t = map.at(goal);
  std::uint8_t* const st = map.data();
  const std::uint32_t step[4] = {map.step[0], map.step[1], map.step[2], map.step[3]};

  // Every cell enters at most once, so the queue never wraps.
  const auto queue = raw_array<std::uint32_t>(ids);
  std::size_t head = 0, tail = 0;
  queue[tail++] = s;
  st[s] = FramedGrid::kStart;
  Counters count{.nodes_generated = 1, .max_frontier_size = 1};
  std::size_t room = 0;
  // No limit is a count never reached (a local: byte stores would otherwise
  // make the loop reload it).
  const std::uint64_t limit = options.max_nodes.value_or(~std::uint64_t(0));
  StopReason stop = StopReason::Exhausted;
  // Cells leave layer by layer; a layer's g is the previous one's plus a step,
  // summed as the driver sums it.
  std::size_t layer_end = 1;
  double layer_g = 0.0;
  while (head < tail) {
    if constexpr (Record) {
      if (head == layer_end) {
        layer_end = tail;
        layer_g += unit;
      }
    }
    const std::uint32_t u = queue[head++];
    record.expanded(result, map, u, layer_g, tail - head);
    ++count.nodes_expanded;
    if (u == t) {
      stop = StopReason::Goal;
      break;
    }
    if (count.nodes_expanded >= limit) {
      stop = StopReason::NodeLimit;
      break;
    }
    for (std::uint32_t k = 0; k < 4; ++k) {
      const std::uint32_t v = u + step[k];
      if (st[v] != 0) continue;
      st[v] = std::uint8_t(k + 1);
      if constexpr (Record) {
        record.reached(v);
        pages->reach(map.cell(v));
      }
      queue[tail++] = v;
      // Recorded, other charges come between pushes, so the frontier is
      // charged push by push as the driver does.
      if constexpr (Record) {
        if (tail - head > count.max_frontier_size) {
          count.max_frontier_size = tail - head;
          charge_frontier(budget, count.max_frontier_size, room, entry_bytes);
        }
      }
    }
    // Else the frontier only grows while one cell's successors go in, and
    // nothing else is charged meanwhile, so its peak is read once a cell.
    if constexpr (!Record) {
      if (tail - head > count.max_frontier_size) {
        count.max_frontier_size = tail - head;
        charge_frontier(budget, count.max_frontier_size, room, entry_bytes);
      }
    }
  }
  count.nodes_generated = tail;  // the start and every push

  if (stop == StopReason::Goal) {
    std::vector<Cell> path = map.path_to(t);
    // Summed step by step, as the driver's g is.
    double cost = 0.0;
    for (std::size_t i = 1; i < path.size(); ++i) cost += unit;
    result.path = std::move(path);
    result.cost = cost;
  }
  record.finish(result, map, st);
  static_cast<Counters&>(result) = count;
  result.stop_reason = stop;
  return result;
}

// A* with f = unit * steps + scale * Manhattan distance, in whole numbers;
// the caller checked unit and scale are whole, 1 <= unit <= 9 and
// 0 <= scale <= unit (a consistent estimate: nothing is ever reopened).
template <bool Record>
SearchResult<Cell> grid_astar_sweep(const GridGraph& grid, Cell start, Cell goal,
                                    const SearchOptions& options, std::uint32_t unit,
                                    std::uint32_t scale) {
  MemoryBudget* const budget = options.budget;
  charge(budget, NodeStore::bytes_for(grid.node_count()), Use::NodeStore);
  PageCharges pages(grid, budget);
  SweepRecord<Record> record(budget);
  SearchResult<Cell> result;
  FramedGrid map(grid);
  const std::uint32_t s = map.at(start), t = map.at(goal);
  std::uint8_t* const st = map.data();
  const std::uint32_t step[4] = {map.step[0], map.step[1], map.step[2], map.step[3]};
  const std::uint32_t tr = map.row(t), tc = map.col(t);
  auto h = [=, &map](std::uint32_t v) {
    const std::uint32_t r = map.row(v), c = map.col(v);
    return scale * ((r > tr ? r - tr : tr - r) + (c > tc ? c - tc : tc - c));
  };
  // A frontier cell keeps its g in steps modulo 8 in bits 3-5 of its state
  // byte: the estimate is consistent, so the cell that set it and the cell
  // now expanded had their least g, and as both neighbour it those differ by
  // at most 2. The difference modulo 8, read as signed, is then exact.
  auto g_bits = [](std::uint32_t g) { return std::uint8_t((g & 7) << 3); };
  auto improves = [](std::uint32_t g2, std::uint8_t state) {
    return std::int8_t(std::uint8_t((g2 - (state >> 3)) << 5)) < 0;
  };
  // Keys are (f << 32 | insertion number); the cell of insertion k is cell_of[k].
  std::vector<std::uint64_t> heap;
  std::vector<std::uint32_t> cell_of;
  // Puts `key` into the hole at `i`, moving it up past greater parents.
  auto sift_up = [&](std::size_t i, std::uint64_t key) {
    while (i > 0) {
      const std::size_t p = (i - 1) / 2;
      if (heap[p] < key) break;
      heap[i] = heap[p];
      i = p;
    }
    heap[i] = key;
  };
  auto push = [&](std::uint32_t v, std::uint32_t f) {
    const std::uint64_t key = (std::uint64_t(f) << 32) | std::uint32_t(cell_of.size());
    cell_of.push_back(v);
    heap.push_back(key);
    sift_up(heap.size() - 1, key);
  };
  std::uint32_t top_f = 0;
  auto pop = [&] {
    // The hole goes down to the bottom along the lesser children, then the
    // last key goes in and up: one comparison a level on the way down.
    const std::uint64_t top = heap[0], last = heap.back();
    heap.pop_back();
    const std::size_t n = heap.size();
    if (n > 0) {
      std::size_t i = 0;
      std::size_t c = 1;
      for (; c + 1 < n; c = 2 * i + 1) {
        c += heap[c + 1] < heap[c];
        heap[i] = heap[c];
        i = c;
      }
      if (c < n) {
        heap[i] = heap[c];
        i = c;
      }
      sift_up(i, last);
    }
    top_f = std::uint32_t(top >> 32);
    return cell_of[std::uint32_t(top)];
  };

  pages.reach(start);
  st[s] = FramedGrid::kStart;  // g = 0
  push(s, h(s));
  Counters count{.nodes_generated = 1, .max_frontier_size = 1};
  std::size_t room = 0;
  // No limit is a count never reached (a local: byte stores would otherwise
  // make the loop reload it).
  const std::uint64_t limit = options.max_nodes.value_or(~std::uint64_t(0));
  StopReason stop = StopReason::Exhausted;
  std::uint32_t goal_steps = 0;
  while (!heap.empty()) {
    const std::uint32_t u = pop();
    if (st[u] & FramedGrid::kClosed) continue;  // stale: improved after it was pushed
    st[u] |= FramedGrid::kClosed;
    ++count.nodes_expanded;
    const std::uint32_t gu = unit == 1 ? top_f - h(u) : (top_f - h(u)) / unit;
    record.expanded(result, map, u, double(unit) * double(gu), heap.size());
    if (u == t) {
      stop = StopReason::Goal;
      goal_steps = gu;
      break;
    }
    if (count.nodes_expanded >= limit) {
      stop = StopReason::NodeLimit;
      break;
    }
    const std::uint32_t g2 = gu + 1;
    for (std::uint32_t k = 0; k < 4; ++k) {
      const std::uint32_t v = u + step[k];
      const std::uint8_t state = st[v];
      if (state >= FramedGrid::kClosed) continue;
      if (state != 0) {
        if (!improves(g2, state)) continue;
      } else {
        record.reached(v);
        pages.reach(map.cell(v));
      }
      st[v] = std::uint8_t(g_bits(g2) | (k + 1));
      push(v, unit * g2 + h(v));
      ++count.nodes_generated;
      if (heap.size() > count.max_frontier_size) {
        count.max_frontier_size = heap.size();
        charge_frontier(budget, count.max_frontier_size, room, sizeof(PriorityFrontier::Entry));
      }
    }
  }

  if (stop == StopReason::Goal) {
    result.path = map.path_to(t);
    result.cost = double(unit) * double(goal_steps);
  }
  record.finish(result, map, st);
  static_cast<Counters&>(result) = count;
  result.stop_reason = stop;
  return result;
}

}  // namespace wayloom::detail
