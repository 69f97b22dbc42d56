// Entry points over the two explicit domains: grids (ASCII map or cost
// matrix), edge-list graphs, and the sample mazes.
#include <string>
#include <string_view>
#include <vector>

#include "entry_points.hpp"
#include "search_common.hpp"
#include "wayloom/domains/csr_graph.hpp"
#include "wayloom/domains/grid.hpp"
#include "wayloom/store/node_store.hpp"

namespace wayloom::py {

namespace {

template <class Run>
void dispatch_grid_heuristic(const std::string& name, Run&& run) {
  if (name == "zero") return run(Zero{});
  if (name == "manhattan") return run(Manhattan{});
  if (name == "euclidean") return run(Euclidean{});
  if (name == "octile") return run(Octile{});
  throw UsageError("unknown heuristic: '" + name +
                   "'. Available: zero, manhattan, euclidean, octile, or a callable h(node, "
                   "goal) -> float");
}

Ref run_on_grid(PyObject* module, const GridGraph& grid, Cell start, Cell goal,
                const SearchParams& p) {
  return run_search(
      module, grid, start, goal, p, "manhattan",
      [](const std::string& name, auto&& run) { dispatch_grid_heuristic(name, run); });
}

Cell to_cell(const char* name, PyObject* o) {
  check_tuple(name, o, 2);
  return Cell{to_i32(name, PyTuple_GET_ITEM(o, 0)), to_i32(name, PyTuple_GET_ITEM(o, 1))};
}

std::vector<Edge> to_edges(PyObject* o) {
  const Sequence seq("edges", o);
  std::vector<Edge> edges;
  edges.reserve(std::size_t(seq.size()));
  for (Py_ssize_t i = 0; i < seq.size(); ++i) {
    PyObject* t = seq[i];
    check_tuple("edges", t, 3);
    edges.push_back(Edge{to_u64("edges", PyTuple_GET_ITEM(t, 0)),
                         to_u64("edges", PyTuple_GET_ITEM(t, 1)),
                         to_f64("edges", PyTuple_GET_ITEM(t, 2))});
  }
  return edges;
}

}  // namespace

void check_edges(std::size_t num_nodes, const std::vector<Edge>& edges) {
  for (const Edge& e : edges)
    if (e.source >= num_nodes || e.target >= num_nodes)
      throw UsageError(edge_out_of_range_message(e.source, e.target, num_nodes));
}

std::vector<Edge> convert_edges(PyObject* o) { return to_edges(o); }

// A node count the machine cannot hold must fail here, before anything is
// touched: with overcommit the arrays would be handed out and the process
// killed while filling them.
void require_csr(MemoryBudget& budget, std::size_t num_nodes, const std::vector<Edge>& edges,
                 bool undirected) {
  budget.charge(edges.size() * sizeof(Edge), Use::Graph);
  const std::size_t arcs = undirected ? detail::sat_mul(edges.size(), 2) : edges.size();
  budget.require(CsrGraph::bytes_for(num_nodes, arcs), Use::Graph, "the graph");
}

PyObject* search_grid(PyObject* module, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 10> names{
      "map",        "algorithm",   "heuristic", "record",   "weight",
      "beam_width", "depth_limit", "max_nodes", "diagonal", "reopen"};
  const auto a = bind_args("search_grid", names, 1, args, kwargs);
  const std::string_view map = to_str("map", a[0]);
  const SearchParams p = convert_shared({a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[9]}, "astar");
  const bool diagonal = a[8] ? to_bool("diagonal", a[8]) : false;

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
  return run_on_grid(module, parsed.grid, parsed.start, parsed.goal, p).release();
}

PyObject* search_grid_costs(PyObject* module, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 12> names{
      "costs",  "start",      "goal",        "algorithm", "heuristic", "record",
      "weight", "beam_width", "depth_limit", "max_nodes", "diagonal",  "reopen"};
  const auto a = bind_args("search_grid_costs", names, 3, args, kwargs);
  std::vector<std::vector<double>> rows;
  {
    const Sequence outer("costs", a[0]);
    rows.resize(std::size_t(outer.size()));
    for (Py_ssize_t r = 0; r < outer.size(); ++r) {
      const Sequence row("costs", outer[r]);
      rows[std::size_t(r)].reserve(std::size_t(row.size()));
      for (Py_ssize_t c = 0; c < row.size(); ++c)
        rows[std::size_t(r)].push_back(to_f64("costs", row[c]));
    }
  }
  const Cell start = to_cell("start", a[1]);
  const Cell goal = to_cell("goal", a[2]);
  const SearchParams p = convert_shared({a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[11]}, "astar");
  const bool diagonal = a[10] ? to_bool("diagonal", a[10]) : false;

  if (rows.empty()) throw UsageError("costs must be a non-empty matrix");
  GridGraph grid = GridGraph::from_costs(rows);
  grid.diagonal = diagonal;
  if (!grid.is_open(start) || !grid.is_open(goal))
    throw UsageError("start and goal must be in-bounds, non-wall cells");
  return run_on_grid(module, grid, start, goal, p).release();
}

PyObject* search_graph(PyObject* module, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 13> names{
      "num_nodes", "edges",  "start",      "goal",        "algorithm", "heuristic", "undirected",
      "record",    "weight", "beam_width", "depth_limit", "max_nodes", "reopen"};
  const auto a = bind_args("search_graph", names, 4, args, kwargs);
  const std::size_t num_nodes = to_u64("num_nodes", a[0]);
  const std::vector<Edge> edges = to_edges(a[1]);
  const std::size_t start = to_u64("start", a[2]);
  const std::size_t goal = to_u64("goal", a[3]);
  const bool undirected = a[6] ? to_bool("undirected", a[6]) : true;
  const SearchParams p = convert_shared({a[4], a[5], a[7], a[8], a[9], a[10], a[11], a[12]}, "bfs");

  if (start >= num_nodes || goal >= num_nodes)
    throw UsageError("start and goal must be < num_nodes");
  check_edges(num_nodes, edges);
  require_csr(p.budget, num_nodes, edges, undirected);
  // The node store's page table comes with the search; refuse it here, before
  // the graph is built, if it cannot fit beside it.
  p.budget.check(NodeStore::bytes_for(num_nodes), "the node store");
  const CsrGraph graph = CsrGraph::from_edges(num_nodes, edges, undirected);

  return run_search(module, graph, start, goal, p, "zero",
                    [](const std::string& name, auto&& run) {
                      if (name == "zero") return run(Zero{});
                      throw UsageError("unknown graph heuristic: '" + name +
                                       "'. Use 'zero' or a callable h(node, goal) -> float");
                    })
      .release();
}

PyObject* sample_maze(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 1> names{"name"};
  const auto a = bind_args("sample_maze", names, 1, args, kwargs);
  const std::string_view name = to_str("name", a[0]);
  const char* text = nullptr;
  if (name == "open")
    text = "S........\n.........\n....#....\n....#....\n....#....\n........G";
  else if (name == "wall")
    text = "S.#......\n..#.####.\n..#.#..#.\n..#.#.##.\n....#...G\n#####.#..";
  else
    throw UsageError("unknown sample maze: '" + std::string(name) + "'. Available: open, wall");
  return PyUnicode_FromString(text);
}

}  // namespace wayloom::py
