// The grid adapter: cells and cost matrices read from Python, the Grid class
// of the companion module, and the one-shot search_grid / search_grid_costs.
#include "wayloom/domains/grid.hpp"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "../input.hpp"
#include "../jps.hpp"
#include "../shell.hpp"
#include "wayloom/paths/distances.hpp"

namespace wayloom::py {

template <>
struct Domain<GridGraph> {
  using G = GridGraph;
  using N = Cell;
  static constexpr const char* kDefault = "astar";
  static const G& graph(const GridGraph& g) { return g; }
  static N node(const char* name, PyObject* o) {
    check_tuple(name, o, 2);
    return Cell{to_i32(name, PyTuple_GET_ITEM(o, 0)), to_i32(name, PyTuple_GET_ITEM(o, 1))};
  }
  static void check_endpoints(const G& g, N s, N t) {
    if (!g.is_open(s) || !g.is_open(t))
      throw UsageError("start and goal must be in-bounds, non-wall cells");
  }
  template <class F>
  static void with_table(const GridGraph&, F&& f) {
    f(grid_heuristics());
  }
};

// A Grid object's value: the grid, its cheapest open cell's cost, which scales
// the default heuristic (kept: finding it scans every cell), and what jump
// point search keeps for it.
struct GridValue {
  GridGraph grid;
  double cheapest;
  std::unique_ptr<GridJumps> jumps;

  explicit GridValue(GridGraph g, std::unique_ptr<GridJumps> j = std::make_unique<GridJumps>())
      : grid(std::move(g)), cheapest(grid.cheapest_cost()), jumps(std::move(j)) {}
};

// The class searches as the one-shot functions do, and runs "jps" itself.
template <>
struct Domain<GridValue> : Domain<GridGraph> {
  static const GridGraph& graph(const GridValue& v) { return v.grid; }
  // The named heuristics count steps of cost 1, as search_grid's; the default
  // is admissible on this grid whatever its connectivity and terrain.
  template <class F>
  static void with_table(const GridValue& v, F&& f) {
    f(grid_object_heuristics(v.grid.diagonal, v.cheapest));
  }
  static PyObject* own_search(PyObject* module, const GridValue& v, Cell s, Cell t,
                              const SearchParams& p) {
    return p.algorithm == kJps ? jps_search(module, v.grid, *v.jumps, s, t, p).release() : nullptr;
  }
  static PyObject* own_batch(PyObject* module, const GridValue& v,
                             const std::vector<std::pair<Cell, Cell>>& pairs,
                             const SearchParams& p) {
    return p.algorithm == kJps ? jps_batch(module, v.grid, *v.jumps, pairs, p).release() : nullptr;
  }
};

namespace {

using GridDomain = Domain<GridValue>;

// A cost matrix: nested sequences, or (when `arrays`) a 2-D array read in place.
std::vector<std::vector<double>> cost_rows(PyObject* o, bool arrays) {
  std::vector<std::vector<double>> rows;
  if (arrays && is_array(o)) {
    const ArrayView a("costs", o);
    if (a.ndim() != 2) argument_error(PyExc_ValueError, "costs", "expected a 2-D array");
    rows.assign(a.shape(0), std::vector<double>(a.shape(1)));
    for (std::size_t r = 0; r < a.shape(0); ++r)
      for (std::size_t c = 0; c < a.shape(1); ++c) rows[r][c] = a.f64(r, c);
    return rows;
  }
  const Sequence outer("costs", o);
  rows.resize(std::size_t(outer.size()));
  for (Py_ssize_t r = 0; r < outer.size(); ++r) {
    const Sequence row("costs", outer[r]);
    rows[std::size_t(r)].reserve(std::size_t(row.size()));
    for (Py_ssize_t c = 0; c < row.size(); ++c)
      rows[std::size_t(r)].push_back(to_f64("costs", row[c]));
  }
  return rows;
}

GridGraph grid_of_rows(const std::vector<std::vector<double>>& rows, bool diagonal) {
  if (rows.empty()) throw UsageError("costs must be a non-empty matrix");
  GridGraph g = GridGraph::from_costs(rows);
  g.diagonal = diagonal;
  return g;
}

bool diagonal_arg(PyObject* o) { return o ? to_bool("diagonal", o) : false; }

const GridGraph& grid_value(PyObject* o) { return value_of<GridValue>(o).grid; }

// ---- the Grid class ------------------------------------------------------------

PyObject* grid_new(PyObject* /*module*/, PyObject* cls, const Call& call) {
  static constexpr Params<2> kParams{"Grid", {"map", "diagonal"}, 1};
  const auto a = bind(kParams, call);
  const std::string_view map = to_str("map", a[0]);
  if (map.find_first_not_of("\r\n") == std::string_view::npos)
    throw UsageError("map must have at least one row of cells");
  GridGraph g = GridGraph::read_map(map).grid;  // 'S' and 'G' are optional
  g.diagonal = diagonal_arg(a[1]);
  return new_object(cls, GridValue(std::move(g)));
}

PyObject* grid_from_costs(PyObject* /*module*/, PyObject* cls, const Call& call) {
  static constexpr Params<2> kParams{"from_costs", {"costs", "diagonal"}, 1};
  const auto a = bind(kParams, call);
  const std::vector<std::vector<double>> rows = cost_rows(a[0], true);
  // Rows without cells are as empty as no rows (search_grid_costs calls them
  // a broken precondition of the builder).
  if (std::all_of(rows.begin(), rows.end(), [](const auto& row) { return row.empty(); }))
    throw UsageError("costs must be a non-empty matrix");
  return new_object(cls, GridValue(grid_of_rows(rows, diagonal_arg(a[1]))));
}

// Cell costs row-major (0 for walls), the grid's shape and its jump table.
PyObject* grid_reduce(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<0> kParams{"__reduce__", {}, 0};
  bind(kParams, call);
  const GridGraph& g = grid_value(self);
  std::vector<double> costs(std::size_t(g.width()) * std::size_t(g.height()));
  for (std::int32_t r = 0; r < g.height(); ++r)
    for (std::int32_t c = 0; c < g.width(); ++c)
      costs[std::size_t(r) * std::size_t(g.width()) + std::size_t(c)] =
          g.is_wall({r, c}) ? 0.0 : g.cost({r, c});
  Ref restore = restore_of(self), data = bytes_of(costs);
  const jps::JumpTable* table = value_of<GridValue>(self).jumps->table();
  Ref jumps = table ? bytes_of(table->data()) : Ref::borrow(Py_None);
  return check(Py_BuildValue("(O(iOOO))", restore.get(), int(g.width()),
                             g.diagonal ? Py_True : Py_False, data.get(), jumps.get()))
      .release();
}

PyObject* grid_restore(PyObject* /*module*/, PyObject* cls, const Call& call) {
  static constexpr Params<4> kParams{"_restore", {"width", "diagonal", "costs", "jumps"}, 3};
  const auto a = bind(kParams, call);
  const std::size_t width = to_u64("width", a[0]);
  const std::vector<double> costs = vector_of<double>("costs", a[2]);
  if (width == 0 || costs.size() % width) throw UsageError("malformed grid state");
  std::vector<std::vector<double>> rows(costs.size() / width);
  for (std::size_t r = 0; r < rows.size(); ++r)
    rows[r].assign(costs.begin() + std::ptrdiff_t(r * width),
                   costs.begin() + std::ptrdiff_t((r + 1) * width));
  GridGraph g = GridGraph::from_costs(rows);
  g.diagonal = to_bool("diagonal", a[1]);
  if (!a[3] || is_none(a[3])) return new_object(cls, GridValue(std::move(g)));
  const double unit = g.uniform_cost();
  auto table = restore_jump_table(g, unit, vector_of<std::int16_t>("jumps", a[3]));
  return new_object(cls,
                    GridValue(std::move(g), std::make_unique<GridJumps>(std::move(table), unit)));
}

// A copy of the grid with its jump distance table: "jps" then reads jumps
// instead of scanning for them.
PyObject* grid_preprocess(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<0> kParams{"preprocess", {}, 0};
  bind(kParams, call);
  const GridGraph& g = grid_value(self);
  std::unique_ptr<const jps::JumpTable> table;
  double unit;
  {
    ReleaseGil nogil;
    unit = g.uniform_cost();
    table = make_jump_table(g, unit);
  }
  return new_object(Py_TYPE(self),
                    GridValue(g, std::make_unique<GridJumps>(std::move(table), unit)));
}

PyObject* grid_preprocessed(PyObject* o, void*) {
  return PyBool_FromLong(value_of<GridValue>(o).jumps->table() != nullptr);
}

PyObject* grid_distances(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<3> kParams{"distances", {"source", "limit", "return_predecessors"}, 1};
  const auto a = bind(kParams, call);
  const GridGraph& g = grid_value(self);
  const Cell source = GridDomain::node("source", a[0]);
  const double limit = to_limit(a[1]);
  const bool want_pred = a[2] ? to_bool("return_predecessors", a[2]) : false;
  if (!g.is_open(source)) throw UsageError("source must be an in-bounds, non-wall cell");
  const std::size_t cells = std::size_t(g.width()) * std::size_t(g.height());
  // Distances (and predecessors) by id while searching, then by cell.
  const std::size_t per_cell = want_pred ? 2 * (sizeof(double) + 2 * sizeof(std::int64_t)) : 16;
  call_budget().require(detail::sat_mul(std::max(cells, g.node_count()), per_cell), Use::Output,
                        "the distance array");
  Ref dist = new_array<double>(cells);
  Ref pred = want_pred ? new_array<std::int64_t>(2 * cells) : Ref::borrow(Py_None);
  {
    ReleaseGil nogil;
    grid_distances_from(g, source, limit, data_of<double>(dist),
                        want_pred ? data_of<std::int64_t>(pred) : nullptr);
  }
  return check(PyTuple_Pack(2, dist.get(), pred.get())).release();
}

PyObject* grid_height(PyObject* o, void*) { return PyLong_FromLong(grid_value(o).height()); }
PyObject* grid_width(PyObject* o, void*) { return PyLong_FromLong(grid_value(o).width()); }
PyObject* grid_diagonal(PyObject* o, void*) { return PyBool_FromLong(grid_value(o).diagonal); }
PyObject* grid_repr(PyObject* o) {
  const GridGraph& g = grid_value(o);
  return PyUnicode_FromFormat("%s(height=%d, width=%d, diagonal=%s)", Py_TYPE(o)->tp_name,
                              int(g.height()), int(g.width()), g.diagonal ? "True" : "False");
}

PyMethodDef grid_methods[] = {
    method_def<grid_from_costs>(
        "from_costs",
        "from_costs($cls, costs, diagonal=False)\n--\n\n"
        "A grid from a matrix of terrain costs (nested lists or a 2-D array), read as\n"
        "`search_grid_costs` reads it: a non-positive or non-finite cost is a wall.",
        METH_CLASS),
    method_def<grid_restore>("_restore", nullptr, METH_CLASS),
    method_def<grid_reduce>("__reduce__", nullptr),
    method_def<grid_preprocess>(
        "preprocess",
        "preprocess($self)\n--\n\n"
        "A copy of this grid holding the jump distance of every cell in the eight\n"
        "directions (16 bytes a cell, charged to the memory budget): algorithm=\"jps\"\n"
        "then reads jumps instead of scanning for them. Only for grids \"jps\" takes:\n"
        "8-connected, every open cell of one cost. The copy pickles with its table."),
    search_def<GridValue>(
        "search($self, start, goal, algorithm=\"astar\", heuristic=None, record=True, "
        "weight=2.0, beam_width=None, depth_limit=None, max_nodes=None, reopen=False)\n--\n\n"
        "Search between two `(row, col)` cells; the result, counters and errors are\n"
        "those of `search_grid_costs` on the same grid."),
    batch_def<GridValue>(),
    method_def<grid_distances>("_distances", nullptr),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef grid_getset[] = {
    {"height", grid_height, nullptr, "Number of rows.", nullptr},
    {"width", grid_width, nullptr, "Number of columns.", nullptr},
    {"diagonal", grid_diagonal, nullptr, "Whether moves are 8-connected.", nullptr},
    {"preprocessed", grid_preprocessed, nullptr,
     "Whether this grid holds a jump distance table (see preprocess).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

extern const ClassSpec grid_class = class_spec<GridValue>(
    "wayloom._engine.Grid", new_entry<grid_new>, grid_repr, grid_methods, grid_getset);

// ---- one-shot functions ----------------------------------------------------------

extern const char search_grid_doc[] =
    "search_grid(map, algorithm=\"astar\", heuristic=None, record=True, weight=2.0, "
    "beam_width=None, depth_limit=None, max_nodes=None, diagonal=False, reopen=False)\n--\n\n"
    "Search a 2-D maze given as an ASCII map (`#` wall, `S` start, `G` goal, a\n"
    "digit `1`\xe2\x80\x93`9` = a free cell with that terrain cost).\n"
    "\n"
    "`heuristic` is a built-in name (`\"zero\"`, `\"manhattan\"`, `\"euclidean\"`,\n"
    "`\"octile\"`) or a custom callable `h((row, col), (row, col)) -> float`.\n"
    "\n"
    "`reopen=True` puts a closed node back on the frontier when a cheaper path to it\n"
    "appears. Leave it off with the built-in heuristics (they are consistent, so it\n"
    "changes nothing); switch it on when you pass a **custom** callable that may be\n"
    "admissible without being consistent, or A\\* can return a sub-optimal path.\n"
    "It applies to the frontier algorithms (bfs/dfs/ucs/greedy/astar/weighted_astar);\n"
    "the iterative-deepening, beam and bidirectional drivers ignore it.";

PyObject* search_grid(PyObject* module, const Call& call) {
  static constexpr Params<10> kParams{
      "search_grid",
      {"map", "algorithm", "heuristic", "record", "weight", "beam_width", "depth_limit",
       "max_nodes", "diagonal", "reopen"},
      1};
  const auto a = bind(kParams, call);
  const std::string_view map = to_str("map", a[0]);
  const SearchParams p = convert_shared<kParams>(a, GridDomain::kDefault);
  const bool diagonal = diagonal_arg(a[8]);

  if (map.find('S') == std::string_view::npos || map.find('G') == std::string_view::npos)
    throw UsageError("the ASCII map must contain a start 'S' and a goal 'G'");
  // Large maps are parsed with the lock released, so other threads run
  // meanwhile: the text belongs to an immutable str that the call's arguments
  // keep alive, and parsing touches no Python object.
  GridGraph::Parsed parsed = [&] {
    if (map.size() < (std::size_t(1) << 16)) return GridGraph::from_ascii(map);
    ReleaseGil nogil;
    return GridGraph::from_ascii(map);
  }();
  parsed.grid.diagonal = diagonal;
  return run_search(module, parsed.grid, parsed.start, parsed.goal, p, grid_heuristics()).release();
}

extern const char search_grid_costs_doc[] =
    "search_grid_costs(costs, start, goal, algorithm=\"astar\", heuristic=None, record=True, "
    "weight=2.0, beam_width=None, depth_limit=None, max_nodes=None, diagonal=False, "
    "reopen=False)\n--\n\n"
    "Search a grid built from a matrix of **terrain costs**. `costs[r][c]` is the\n"
    "movement cost of entering cell `(r, c)`; a non-positive or non-finite value\n"
    "marks a wall. `start` and `goal` are `(row, col)` tuples. Same `heuristic`\n"
    "options as [`search_grid`].";

PyObject* search_grid_costs(PyObject* module, const Call& call) {
  static constexpr Params<12> kParams{
      "search_grid_costs",
      {"costs", "start", "goal", "algorithm", "heuristic", "record", "weight", "beam_width",
       "depth_limit", "max_nodes", "diagonal", "reopen"},
      3};
  const auto a = bind(kParams, call);
  const std::vector<std::vector<double>> rows = cost_rows(a[0], false);
  const Cell start = GridDomain::node("start", a[1]);
  const Cell goal = GridDomain::node("goal", a[2]);
  const SearchParams p = convert_shared<kParams>(a, GridDomain::kDefault);
  const GridGraph grid = grid_of_rows(rows, diagonal_arg(a[10]));
  GridDomain::check_endpoints(grid, start, goal);
  return run_search(module, grid, start, goal, p, grid_heuristics()).release();
}

extern const char sample_maze_doc[] =
    "sample_maze(name)\n--\n\n"
    "A named sample maze as an ASCII map. `name` is `\"open\"` or `\"wall\"`.";

PyObject* sample_maze(PyObject* /*module*/, const Call& call) {
  static constexpr Params<1> kParams{"sample_maze", {"name"}, 1};
  const auto a = bind(kParams, call);
  const std::string_view name = to_str("name", a[0]);
  const std::string_view text = sample_maze_text(name);
  return PyUnicode_FromStringAndSize(text.data(), Py_ssize_t(text.size()));
}

}  // namespace wayloom::py
