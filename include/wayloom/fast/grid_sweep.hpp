// Breadth-first search and Dijkstra on a 4-connected grid whose open cells all
// cost the same, when nothing is recorded: the map copied into one state byte
// a cell framed by a wall border (no bounds checks, and one load rejects a
// wall or a reached cell), the frontier a plain queue of cell indices, the
// parent kept as a direction in the state byte.
//
// Why a queue serves Dijkstra too: with equal positive step costs every push
// carries g(popped) + cost, and cells are popped in order of g, so pushes come
// in order of g. The driver's heap, ordered by (g, insertion number), then
// pops in insertion order; a reached cell is never improved (so `reopen`
// changes nothing) and no entry goes stale. The driver's visits, counters,
// path and cost are therefore exactly a queue's. Its memory charges are made
// here at the same points for the same amounts, so a budget runs out where it
// would there.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "wayloom/core/memory_budget.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/domains/grid.hpp"
#include "wayloom/frontier/frontiers.hpp"
#include "wayloom/search/helpers.hpp"
#include "wayloom/store/node_store.hpp"

namespace wayloom::detail {

// Whether the sweep gives exactly what the best-first driver gives for this
// search, given a grid of one positive cost: 4-connected, endpoints on it, a
// frontier that pops in insertion order (a queue, or a heap over g alone),
// and the flat node store the driver would pick (it charges the budget
// differently from the paged one).
inline bool grid_sweep_fits(const GridGraph& grid, Cell start, Cell goal, const BestFirstSpec& spec,
                            const SearchOptions& options) {
  if (grid.diagonal || options.record || spec.frontier == FrontierKind::Lifo) return false;
  if (spec.frontier == FrontierKind::PriorityQueue && (spec.h_weight != 0.0 || spec.g_weight <= 0.0))
    return false;
  if (!grid.in_bounds(start) || !grid.in_bounds(goal)) return false;
  const std::size_t ids = grid.node_count();
  return ids <= FlatStore::kMaxIds &&
         (!options.budget || options.budget->fits(FlatStore::bytes_for(ids)));
}

struct FreeBytes {
  void operator()(void* p) const noexcept { std::free(p); }
};

template <class T>
std::unique_ptr<T[], FreeBytes> raw_array(std::size_t n) {
  void* p = std::malloc(n ? n * sizeof(T) : 1);
  if (!p) throw std::bad_alloc();
  return std::unique_ptr<T[], FreeBytes>(static_cast<T*>(p));
}

// The sweep; the caller checked grid_sweep_fits. `entry_bytes` is what one
// entry of the driver's frontier is charged.
inline SearchResult<Cell> grid_sweep(const GridGraph& grid, Cell start, Cell goal,
                                     const SearchOptions& options, std::size_t entry_bytes,
                                     double unit) {
  MemoryBudget* const budget = options.budget;
  charge(budget, FlatStore::bytes_for(grid.node_count()), Use::NodeStore);

  // State bytes: 0 open and unreached, 1-4 reached by the move of that number
  // (up, down, left, right, the successor order), 5 the start, 6 a wall.
  constexpr std::uint8_t kStart = 5, kWall = 6;
  const std::size_t w = std::size_t(grid.width()), h = std::size_t(grid.height());
  const std::size_t stride = w + 2, cells = stride * (h + 2);
  const auto state = raw_array<std::uint8_t>(cells);
  std::memset(state.get(), kWall, stride);
  std::memset(state.get() + cells - stride, kWall, stride);
  for (std::size_t r = 0; r < h; ++r) {
    std::uint8_t* row = state.get() + (r + 1) * stride;
    const std::uint8_t* terrain = grid.terrain_row(std::int32_t(r));
    row[0] = row[w + 1] = kWall;
    for (std::size_t c = 0; c < w; ++c) row[c + 1] = terrain[c] == 0 ? kWall : 0;
  }
  auto framed = [stride](Cell c) {
    return std::uint32_t((std::size_t(c.row) + 1) * stride + std::size_t(c.col) + 1);
  };
  const std::uint32_t s = framed(start), t = framed(goal);
  const std::uint32_t step[4] = {std::uint32_t(0) - std::uint32_t(stride), std::uint32_t(stride),
                                 std::uint32_t(0) - 1u, 1u};

  // Every cell enters at most once, so the queue never wraps.
  const auto queue = raw_array<std::uint32_t>(w * h);
  std::size_t head = 0, tail = 0;
  queue[tail++] = s;
  state[s] = kStart;
  Counters count{.nodes_generated = 1, .max_frontier_size = 1};
  std::size_t frontier_room = 0;
  StopReason stop = StopReason::Exhausted;
  while (head < tail) {
    const std::uint32_t u = queue[head++];
    ++count.nodes_expanded;
    if (u == t) {
      stop = StopReason::Goal;
      break;
    }
    if (options.max_nodes && count.nodes_expanded >= *options.max_nodes) {
      stop = StopReason::NodeLimit;
      break;
    }
    for (std::uint8_t k = 0; k < 4; ++k) {
      const std::uint32_t v = u + step[k];
      if (state[v] != 0) continue;
      state[v] = std::uint8_t(k + 1);
      queue[tail++] = v;
    }
    // The frontier only grows while one cell's successors go in, so its peak
    // is read once a cell; the driver's room doubles at the same sizes.
    if (tail - head > count.max_frontier_size) {
      count.max_frontier_size = tail - head;
      while (count.max_frontier_size > frontier_room) {
        const std::size_t room = std::max<std::size_t>(2 * frontier_room, 1024);
        charge(budget, (room - frontier_room) * entry_bytes, Use::Frontier);
        frontier_room = room;
      }
    }
  }

  count.nodes_generated = tail;  // the start and every push
  SearchResult<Cell> result;
  if (stop == StopReason::Goal) {
    std::vector<Cell> path;
    for (std::uint32_t v = t;; v -= step[state[v] - 1]) {
      path.push_back(Cell{std::int32_t(v / stride) - 1, std::int32_t(v % stride) - 1});
      if (state[v] == kStart) break;
    }
    std::reverse(path.begin(), path.end());
    // Summed step by step, as the driver's g is.
    double cost = 0.0;
    for (std::size_t i = 1; i < path.size(); ++i) cost += unit;
    result.path = std::move(path);
    result.cost = cost;
  }
  static_cast<Counters&>(result) = count;
  result.stop_reason = stop;
  return result;
}

}  // namespace wayloom::detail
