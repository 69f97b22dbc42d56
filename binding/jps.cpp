// Jump point search on the companion module's grids (see jps.hpp).
#include "jps.hpp"

#include <algorithm>
#include <string>

namespace wayloom::py {

void check_jps_grid(const GridGraph& g, double unit) {
  if (!g.diagonal)
    throw UsageError(
        "algorithm 'jps' needs an 8-connected grid and this one is 4-connected: build it with "
        "diagonal=True, or use 'astar' on this one");
  if (unit == 0.0)
    throw UsageError(
        "algorithm 'jps' needs every open cell to cost the same and this grid's costs differ: "
        "use 'astar' (or 'dijkstra') on it");
}

const JumpMapOf& GridJumps::map(const GridGraph& g, MemoryBudget& budget) const {
  if (const JumpMapOf* m = map_.load(std::memory_order_acquire)) return *m;
  const double unit = g.uniform_cost();
  check_jps_grid(g, unit);
  budget.require(jps::JumpMap::bytes_for(g.height(), g.width()), Use::Graph,
                 "the grid's bit map for 'jps'");
  auto made = std::make_unique<JumpMapOf>(JumpMapOf{jps::JumpMap(g), unit});
  const JumpMapOf* expected = nullptr;
  if (map_.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel))
    return *made.release();
  return *expected;  // another search made it first
}

std::unique_ptr<const jps::JumpTable> make_jump_table(const GridGraph& g, double unit) {
  check_jps_grid(g, unit);
  call_budget().require(jps::JumpTable::bytes_for(g.height(), g.width()), Use::Graph,
                        "the jump distance table");
  return std::make_unique<const jps::JumpTable>(g);
}

std::unique_ptr<const jps::JumpTable> restore_jump_table(const GridGraph& g, double unit,
                                                         std::vector<std::int16_t> data) {
  check_jps_grid(g, unit);
  const std::int32_t h = g.height(), w = g.width();
  bool ok = data.size() == std::size_t(h) * std::size_t(w) * 8;
  for (std::int32_t r = 0; ok && r < h; ++r)
    for (std::int32_t c = 0; ok && c < w; ++c) {
      if (g.is_wall({r, c})) continue;
      for (int d = 0; ok && d < 8; ++d) {
        const std::int32_t v = data[(std::size_t(r) * std::size_t(w) + std::size_t(c)) * 8 + d];
        const std::int32_t k = v < 0 ? -v : v;
        const Cell to{r + jps::kDr[d] * k, c + jps::kDc[d] * k};
        ok = v > 0 ? g.is_open(to) : g.in_bounds(to);
      }
    }
  if (!ok) throw UsageError("malformed grid state");
  return std::make_unique<const jps::JumpTable>(w, std::move(data));
}

namespace {

// Octile distance in units of the grid's one cell cost: admissible whatever it is.
struct UnitOctile {
  double unit;
  double estimate(Cell c, Cell goal) const noexcept { return unit * Octile{}.estimate(c, goal); }
};

// Runs one search with the table when the grid has one, else with the bit map;
// a batch's searches share one workspace.
template <class H>
SearchResult<Cell> run_one(const GridGraph& g, const GridJumps& jumps, const JumpMapOf* map,
                           const H& h, Cell start, Cell goal, const RunOptions& options,
                           jps::Workspace& ws) {
  const auto go = [&](const auto& jumper, double unit) {
    return options.record
               ? jps::search<true>(jumper, g.width(), h, start, goal, unit, options, ws)
               : jps::search<false>(jumper, g.width(), h, start, goal, unit, options, ws);
  };
  if (const jps::JumpTable* t = jumps.table())
    return go(jps::TableJumps(g, *t, goal), jumps.table_unit());
  return go(jps::OnlineJumps(map->map, goal), map->unit);
}

// Calls f(heuristic) with the named or default built-in heuristic, or
// f_callable(callable) for a Python callable.
template <class F, class FC>
void with_heuristic(const SearchParams& p, double unit, F&& f, FC&& f_callable) {
  const ResolvedHeuristic h = resolve_heuristic(p.heuristic, "");
  if (h.callable) return f_callable(h.callable);
  if (h.name.empty()) return f(UnitOctile{unit});
  grid_heuristics().with(h.name, f);
}

// The map when the grid has no table (made now if need be); checks the grid.
const JumpMapOf* prepare(const GridGraph& g, const GridJumps& jumps, const SearchParams& p) {
  if (jumps.table()) return nullptr;
  return &jumps.map(g, p.budget);
}

double unit_of(const GridJumps& jumps, const JumpMapOf* map) {
  return map ? map->unit : jumps.table_unit();
}

}  // namespace

Ref jps_search(PyObject* module, const GridGraph& g, const GridJumps& jumps, Cell start, Cell goal,
               const SearchParams& p) {
  const JumpMapOf* map = prepare(g, jumps, p);
  SearchResult<Cell> result;
  PendingError pending;
  jps::Workspace ws;
  with_heuristic(
      p, unit_of(jumps, map),
      [&](const auto& h) {
        ReleaseGil nogil;
        result = run_one(g, jumps, map, h, start, goal, p.run_options(), ws);
      },
      [&](PyObject* callable) {
        PyHeuristic<Cell> h(callable, pending);
        result = run_one(g, jumps, map, h, start, goal, p.run_options(), ws);
        pending.raise_if_set();
      });
  return to_py_result(state_of(module), std::move(result), p.budget);
}

Ref jps_batch(PyObject* module, const GridGraph& g, const GridJumps& jumps,
              const std::vector<std::pair<Cell, Cell>>& pairs, const SearchParams& p) {
  const JumpMapOf* map = prepare(g, jumps, p);
  const ModuleState& state = state_of(module);
  Ref out = check(PyList_New(Py_ssize_t(pairs.size())));
  jps::Workspace ws;
  CellTuples cells(g.height(), g.width(), p.budget);
  // Searches go in blocks, each converted as soon as it is done: while one
  // thread holds the interpreter lock to build its results, another searches.
  constexpr std::size_t kBlock = 32;
  std::vector<SearchResult<Cell>> results(std::min(kBlock, pairs.size()));
  std::vector<MemoryBudget> budgets(results.size(), p.budget);  // one per search
  const auto search_one = [&](std::size_t i, const auto& h) {
    MemoryBudget& budget = budgets[i % kBlock] = p.budget;
    RunOptions options = p.options;
    options.budget = &budget;
    results[i % kBlock] = run_one(g, jumps, map, h, pairs[i].first, pairs[i].second, options, ws);
  };
  std::size_t lo = 0;
  do {  // once at least: an unknown heuristic is refused even for no pairs
    const std::size_t hi = std::min(pairs.size(), lo + kBlock);
    with_heuristic(
        p, unit_of(jumps, map),
        [&](const auto& h) {
          ReleaseGil nogil;
          for (std::size_t i = lo; i < hi; ++i) search_one(i, h);
        },
        [&](PyObject* callable) {
          for (std::size_t i = lo; i < hi; ++i) {
            PendingError pending;
            PyHeuristic<Cell> h(callable, pending);
            search_one(i, h);
            pending.raise_if_set();
          }
        });
    for (std::size_t i = lo; i < hi; ++i)
      PyList_SET_ITEM(
          out.get(), Py_ssize_t(i),
          to_py_result(state, std::move(results[i % kBlock]), budgets[i % kBlock], cells)
              .release());
    lo = hi;
  } while (lo < pairs.size());
  return out;
}

}  // namespace wayloom::py
