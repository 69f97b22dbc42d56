// Entry points over the two explicit domains: grids (ASCII map or cost
// matrix), edge-list graphs, and the sample mazes.
#include <string>
#include <string_view>
#include <vector>

#include "edges.hpp"
#include "search_common.hpp"
#include "wayloom/domains/csr_graph.hpp"
#include "wayloom/domains/grid.hpp"
#include "wayloom/store/node_store.hpp"

namespace wayloom::py {

namespace {

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
  const SearchParams p = convert_shared<kParams>(a, "astar");
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
  const SearchParams p = convert_shared<kParams>(a, "astar");
  const bool diagonal = a[10] ? to_bool("diagonal", a[10]) : false;

  if (rows.empty()) throw UsageError("costs must be a non-empty matrix");
  GridGraph grid = GridGraph::from_costs(rows);
  grid.diagonal = diagonal;
  if (!grid.is_open(start) || !grid.is_open(goal))
    throw UsageError("start and goal must be in-bounds, non-wall cells");
  return run_search(module, grid, start, goal, p, grid_heuristics()).release();
}

extern const char search_graph_doc[] =
    "search_graph(num_nodes, edges, start, goal, algorithm=\"bfs\", heuristic=None, "
    "undirected=True, record=True, weight=2.0, beam_width=None, depth_limit=None, "
    "max_nodes=None, reopen=False)\n--\n\n"
    "Search an explicit weighted graph given as an edge list over `0..num_nodes`.\n"
    "\n"
    "`heuristic` defaults to the zero heuristic (so the informed algorithms behave\n"
    "as their uninformed counterparts). Pass a custom callable\n"
    "`h(node, goal) -> float` (nodes are ints) to run a real A\\* / Greedy \xe2\x80\x94 e.g.\n"
    "straight-line distance when your nodes have coordinates. `weight` sets the\n"
    "`w` for `weighted_astar`.\n"
    "\n"
    "With a custom heuristic, consider `reopen=True`: a hand-written `h` that is\n"
    "admissible but not *consistent* can make A\\* close a node too early and return\n"
    "a sub-optimal path. `SearchResult.nodes_reopened` reports what it cost.";

PyObject* search_graph(PyObject* module, const Call& call) {
  static constexpr Params<13> kParams{
      "search_graph",
      {"num_nodes", "edges", "start", "goal", "algorithm", "heuristic", "undirected", "record",
       "weight", "beam_width", "depth_limit", "max_nodes", "reopen"},
      4};
  const auto a = bind(kParams, call);
  const std::size_t num_nodes = to_u64("num_nodes", a[0]);
  const std::vector<Edge> edges = to_edges(a[1]);
  const std::size_t start = to_u64("start", a[2]);
  const std::size_t goal = to_u64("goal", a[3]);
  const bool undirected = a[6] ? to_bool("undirected", a[6]) : true;
  const SearchParams p = convert_shared<kParams>(a, "bfs");

  if (start >= num_nodes || goal >= num_nodes)
    throw UsageError("start and goal must be < num_nodes");
  CsrGraph::check_edges(num_nodes, edges);
  require_csr(p.budget, num_nodes, edges, undirected);
  // The node store's page table comes with the search; refuse it here, before
  // the graph is built, if it cannot fit beside it.
  p.budget.check(NodeStore::bytes_for(num_nodes), "the node store");
  const CsrGraph graph = CsrGraph::from_edges(num_nodes, edges, undirected);

  return run_search(module, graph, start, goal, p, graph_heuristics()).release();
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
