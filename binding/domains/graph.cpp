// The explicit-graph adapter: edge lists, arrays and coordinates read from
// Python, the Graph class of the companion module, and the one-shot
// search_graph (its edge reader also serves the shortest-path functions).
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../edges.hpp"
#include "../input.hpp"
#include "../shell.hpp"
#include "graph_value.hpp"
#include "wayloom/core/compiler.hpp"
#include "wayloom/domains/csr_graph.hpp"
#include "wayloom/paths/distances.hpp"
#include "wayloom/store/node_store.hpp"

namespace wayloom::py {

// Graph._from_adjacency, in adjacency.cpp.
PyObject* graph_from_adjacency(PyObject* module, PyObject* cls, const Call& call);

namespace {

// Straight-line and city-block distance between node coordinates.
struct CoordEuclidean {
  static constexpr bool pure = true;  // coordinates are finite
  const double* xy;
  double estimate(std::size_t u, std::size_t g) const noexcept {
    return std::hypot(xy[2 * u] - xy[2 * g], xy[2 * u + 1] - xy[2 * g + 1]);
  }
};
struct CoordManhattan {
  static constexpr bool pure = true;
  const double* xy;
  double estimate(std::size_t u, std::size_t g) const noexcept {
    return std::fabs(xy[2 * u] - xy[2 * g]) + std::fabs(xy[2 * u + 1] - xy[2 * g + 1]);
  }
};

void check_node_range(std::size_t num_nodes, std::size_t s, std::size_t t) {
  if (s >= num_nodes || t >= num_nodes) throw UsageError("start and goal must be < num_nodes");
}

}  // namespace

template <>
struct Domain<GraphValue> {
  using G = CsrGraph;
  using N = std::size_t;
  static constexpr const char* kDefault = "dijkstra";
  static const G& graph(const GraphValue& v) { return v.graph; }
  static N node(const char* name, PyObject* o) { return to_u64(name, o); }
  static void check_endpoints(const G& g, N s, N t) { check_node_range(g.num_nodes(), s, t); }
  // Calls f(table): a graph with coordinates adds its distance heuristics,
  // the straight line the default.
  template <class F>
  static void with_table(const GraphValue& v, F&& f) {
    if (!v.coords) return f(graph_heuristics());
    const double* xy = v.coords->data();
    f(HeuristicTable("euclidean", "unknown graph heuristic: '",
                     "'. Use 'zero', 'euclidean', 'manhattan' or a callable h(node, goal) -> float",
                     Named<Zero>{"zero", {}}, Named<CoordEuclidean>{"euclidean", {xy}},
                     Named<CoordManhattan>{"manhattan", {xy}}));
  }
};

namespace {

// (u, v, w) tuples; with `pairs`, (u, v) tuples of weight 1.0 as well.
std::vector<Edge> edge_tuples(PyObject* o, bool pairs) {
  const Sequence seq("edges", o);
  std::vector<Edge> edges;
  edges.reserve(std::size_t(seq.size()));
  for (Py_ssize_t i = 0; i < seq.size(); ++i) {
    PyObject* t = seq[i];
    const bool pair = pairs && PyTuple_Check(t) && PyTuple_GET_SIZE(t) == 2;
    check_tuple("edges", t, pair ? 2 : 3);
    edges.push_back(Edge{to_u64("edges", PyTuple_GET_ITEM(t, 0)),
                         to_u64("edges", PyTuple_GET_ITEM(t, 1)),
                         pair ? 1.0 : to_f64("edges", PyTuple_GET_ITEM(t, 2))});
  }
  return edges;
}

// Node coordinates: an (n, 2) array or a sequence of (x, y) pairs; None for none.
std::optional<std::vector<double>> to_coords(PyObject* o, std::size_t n) {
  if (!o || is_none(o)) return std::nullopt;
  std::vector<double> xy;
  if (is_array(o)) {
    const ArrayView a("coordinates", o);
    if (a.ndim() != 2 || a.shape(1) != 2)
      argument_error(PyExc_ValueError, "coordinates", "expected an array of shape (n, 2)");
    xy.resize(2 * a.shape(0));
    for (std::size_t i = 0; i < a.shape(0); ++i) {
      xy[2 * i] = a.f64(i, 0);
      xy[2 * i + 1] = a.f64(i, 1);
    }
  } else {
    const Sequence seq("coordinates", o);
    for (Py_ssize_t i = 0; i < seq.size(); ++i) {
      const Sequence pair("coordinates", seq[i]);
      if (pair.size() != 2)
        argument_error(PyExc_ValueError, "coordinates", "expected (x, y) pairs");
      xy.push_back(to_f64("coordinates", pair[0]));
      xy.push_back(to_f64("coordinates", pair[1]));
    }
  }
  if (xy.size() != 2 * n)
    throw UsageError("coordinates must give one (x, y) per node: " + std::to_string(xy.size() / 2) +
                     " for " + std::to_string(n) + " nodes");
  for (const double c : xy)
    if (!std::isfinite(c)) throw UsageError("coordinates must be finite numbers");
  return xy;
}

// The engine's counting build, under the call's memory budget, reading edge i
// through u(i), v(i), w(i) so arrays are read in place, not copied.
template <class U, class V, class W>
CsrGraph build_csr(std::size_t n, std::size_t m, const U& u, const V& v, const W& w,
                   bool undirected) {
  {
    MemoryBudget budget = call_budget();
    const std::size_t arcs = undirected ? detail::sat_mul(m, 2) : m;
    budget.require(CsrGraph::bytes_for(n, arcs), Use::Graph, "the graph");
  }
  return CsrGraph::from_arcs(n, m, u, v, w, undirected);
}

constexpr auto kUnitWeight = [](std::size_t) { return 1.0; };

// Edges as (u, v) / (u, v, w) tuples, or an (m, 2) / (m, 3) array.
CsrGraph graph_from_edges(std::size_t n, PyObject* o, bool undirected, std::size_t& m) {
  if (is_array(o)) {
    const ArrayView a("edges", o);
    if (a.ndim() != 2 || (a.shape(1) != 2 && a.shape(1) != 3))
      argument_error(PyExc_ValueError, "edges", "expected an array of shape (m, 2) or (m, 3)");
    m = a.shape(0);
    const auto u = [&](std::size_t i) { return a.id(i, 0); };
    const auto v = [&](std::size_t i) { return a.id(i, 1); };
    if (a.shape(1) == 2) return build_csr(n, m, u, v, kUnitWeight, undirected);
    return build_csr(n, m, u, v, [&](std::size_t i) { return a.f64(i, 2); }, undirected);
  }
  const std::vector<Edge> edges = edge_tuples(o, true);
  m = edges.size();
  return build_csr(
      n, m, [&](std::size_t i) { return edges[i].source; },
      [&](std::size_t i) { return edges[i].target; },
      [&](std::size_t i) { return edges[i].weight; }, undirected);
}

// ---- the Graph class -------------------------------------------------------------

PyObject* graph_new(PyObject* /*module*/, PyObject* cls, const Call& call) {
  static constexpr Params<4> kParams{
      "Graph", {"num_nodes", "edges", "undirected", "coordinates"}, 2};
  const auto a = bind(kParams, call);
  const std::size_t n = to_u64("num_nodes", a[0]);
  const bool undirected = a[2] ? to_bool("undirected", a[2]) : true;
  std::size_t m = 0;
  CsrGraph g = graph_from_edges(n, a[1], undirected, m);
  return new_object(cls, GraphValue(std::move(g), m, to_coords(a[3], n)));
}

PyObject* graph_from_arrays(PyObject* /*module*/, PyObject* cls, const Call& call) {
  static constexpr Params<6> kParams{
      "from_arrays", {"u", "v", "w", "num_nodes", "undirected", "coordinates"}, 2};
  const auto a = bind(kParams, call);
  const Column<true> u("u", a[0]), v("v", a[1]);
  std::optional<Column<false>> w;
  if (!is_none(a[2])) w.emplace("w", a[2]);
  const std::size_t m = u.size();
  if (v.size() != m || (w && w->size() != m))
    throw UsageError("u, v and w must have the same length");
  std::size_t n = 0;
  if (!is_none(a[3])) {
    n = to_u64("num_nodes", a[3]);
  } else {
    for (std::size_t i = 0; i < m; ++i) n = std::max({n, u(i) + 1, v(i) + 1});
  }
  const bool undirected = a[4] ? to_bool("undirected", a[4]) : true;
  auto build = [&](const auto& weight) { return build_csr(n, m, u, v, weight, undirected); };
  CsrGraph g = w ? build([&](std::size_t i) { return (*w)(i); }) : build(kUnitWeight);
  return new_object(cls, GraphValue(std::move(g), m, to_coords(a[5], n)));
}

// A matrix already in compressed-sparse-row form (scipy's CSR): its rows are
// the arcs in stored order, so no counting or placing is needed. `undirected`
// says the arcs already hold both directions of every edge, so a search from
// the goal walks these same arcs instead of a reversed copy.
PyObject* graph_from_csr(PyObject* /*module*/, PyObject* cls, const Call& call) {
  static constexpr Params<6> kParams{
      "_from_csr", {"indptr", "indices", "data", "num_nodes", "coordinates", "undirected"}, 4};
  const auto a = bind(kParams, call);
  const std::size_t n = to_u64("num_nodes", a[3]);
  std::vector<std::size_t> offsets, targets;
  std::vector<double> weights;
  column<true>("indptr", a[0], offsets);
  column<true>("indices", a[1], targets);
  column<false>("data", a[2], weights);
  const std::size_t m = targets.size();
  bool ok = offsets.size() == n + 1 && offsets.front() == 0 && offsets.back() == m &&
            weights.size() == m && std::is_sorted(offsets.begin(), offsets.end());
  for (std::size_t i = 0; ok && i < m; ++i) ok = targets[i] < n;
  if (!ok) throw UsageError("from_scipy: malformed compressed-sparse-row matrix");
  const bool undirected = a[5] && to_bool("undirected", a[5]);
  CsrGraph g =
      CsrGraph::from_csr(std::move(offsets), std::move(targets), std::move(weights), undirected);
  return new_object(cls, GraphValue(std::move(g), m, to_coords(a[4], n)));
}

PyObject* graph_reduce(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<0> kParams{"__reduce__", {}, 0};
  bind(kParams, call);
  const GraphValue& s = value_of<GraphValue>(self);
  Ref restore = restore_of(self);
  Ref off = bytes_of(s.graph.offsets()), tgt = bytes_of(s.graph.targets()),
      wts = bytes_of(s.graph.weights());
  Ref xy = s.coords ? bytes_of(*s.coords) : Ref::borrow(Py_None);
  return check(Py_BuildValue("(O(nOOOOO))", restore.get(), Py_ssize_t(s.num_edges),
                             s.graph.undirected() ? Py_True : Py_False, off.get(), tgt.get(),
                             wts.get(), xy.get()))
      .release();
}

PyObject* graph_restore(PyObject* /*module*/, PyObject* cls, const Call& call) {
  static constexpr Params<6> kParams{
      "_restore", {"num_edges", "undirected", "offsets", "targets", "weights", "coordinates"}, 6};
  const auto a = bind(kParams, call);
  const std::size_t num_edges = to_u64("num_edges", a[0]);
  CsrGraph g = CsrGraph::from_csr(vector_of<std::size_t>("offsets", a[2]),
                                  vector_of<std::size_t>("targets", a[3]),
                                  vector_of<double>("weights", a[4]), to_bool("undirected", a[1]));
  std::optional<std::vector<double>> xy;
  if (!is_none(a[5])) {
    xy = vector_of<double>("coordinates", a[5]);
    if (xy->size() != 2 * g.num_nodes()) throw UsageError("malformed graph state");
  }
  return new_object(cls, GraphValue(std::move(g), num_edges, std::move(xy)));
}

PyObject* graph_distances(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<4> kParams{
      "_distances", {"sources", "limit", "return_predecessors", "min_only"}, 1};
  const auto a = bind(kParams, call);
  const GraphValue& s = value_of<GraphValue>(self);
  const CsrGraph& g = s.graph;
  std::vector<std::size_t> sources;
  column<true>("sources", a[0], sources);
  const double limit = to_limit(a[1]);
  const bool want_pred = a[2] ? to_bool("return_predecessors", a[2]) : false;
  const bool min_only = a[3] ? to_bool("min_only", a[3]) : false;
  const std::size_t n = g.num_nodes();
  for (const std::size_t v : sources)
    if (v >= n)
      throw UsageError("source " + std::to_string(v) + " is out of range for a " +
                       std::to_string(n) + "-node graph");
  if (!s.nonnegative)
    throw UsageError("distances needs non-negative arc weights (bellman_ford takes negative ones)");
  // A row per source, or with min_only one row for all (and each node's source).
  const std::size_t total = detail::sat_mul(min_only ? 1 : sources.size(), n);
  const bool want_origin = min_only && want_pred;
  call_budget().require(detail::sat_mul(total, 8 * (1 + want_pred + want_origin)), Use::Output,
                        "the distance array");
  Ref dist = new_array<double>(total);
  Ref pred = want_pred ? new_array<std::int64_t>(total) : Ref::borrow(Py_None);
  Ref origin = want_origin ? new_array<std::int64_t>(n) : Ref::borrow(Py_None);
  {
    ReleaseGil nogil;
    double* d = data_of<double>(dist);
    std::int64_t* p = want_pred ? data_of<std::int64_t>(pred) : nullptr;
    std::int64_t* o = want_origin ? data_of<std::int64_t>(origin) : nullptr;
    std::fill(d, d + total, std::numeric_limits<double>::infinity());
    if (p) std::fill(p, p + total, std::int64_t(-1));
    if (o) std::fill(o, o + n, std::int64_t(-1));
    if (min_only)
      distances_from(g, sources.data(), sources.size(), limit, d, p, o);
    else
      for (std::size_t i = 0; i < sources.size(); ++i)
        distances_from(g, sources[i], limit, d + i * n, p ? p + i * n : nullptr);
  }
  return check(PyTuple_Pack(3, dist.get(), pred.get(), origin.get())).release();
}

// Graph._settled(source, limit, labels, integral) -> {labels[v]: distance}
// for the nodes reached, by distance and equal distances by id; distances
// as ints when `integral` (sums of int weights), else floats.
PyObject* graph_settled(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<4> kParams{"_settled", {"source", "limit", "labels", "integral"}, 4};
  const auto a = bind(kParams, call);
  const GraphValue& s = value_of<GraphValue>(self);
  const std::size_t source = to_u64("source", a[0]);
  const double limit = to_limit(a[1]);
  PyObject* const labels = a[2];
  const bool integral = to_bool("integral", a[3]);
  if (source >= s.graph.num_nodes()) throw UsageError("source is out of range");
  if (!s.nonnegative) throw UsageError("distances needs non-negative arc weights");
  if (!PyList_Check(labels)) throw UsageError("labels must be a list");
  call_budget().require(detail::sat_mul(s.graph.num_nodes(), 8 + 8 + 4), Use::Output,
                        "the distance arrays");
  std::vector<std::uint32_t> order;
  std::vector<double> at;
  {
    ReleaseGil nogil;
    settle_order(s.graph, source, limit, order, at);
  }
  const std::size_t known = std::size_t(PyList_GET_SIZE(labels));
  Ref out = check(PyDict_New());
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (order[i] >= known) throw UsageError("labels has fewer entries than the graph's nodes");
    // Labels are read in distance order, all over memory: fetch ahead.
    if (i + 8 < order.size() && order[i + 8] < known)
      prefetch(PyList_GET_ITEM(labels, order[i + 8]));
    Ref value = check(integral ? PyLong_FromDouble(at[i]) : PyFloat_FromDouble(at[i]));
    if (PyDict_SetItem(out.get(), PyList_GET_ITEM(labels, order[i]), value.get()) < 0)
      throw ErrorAlreadySet();
  }
  return out.release();
}

const GraphValue& graph_value(PyObject* o) { return value_of<GraphValue>(o); }
PyObject* graph_num_nodes(PyObject* o, void*) {
  return PyLong_FromSize_t(graph_value(o).graph.num_nodes());
}
PyObject* graph_num_edges(PyObject* o, void*) {
  return PyLong_FromSize_t(graph_value(o).num_edges);
}
PyObject* graph_num_arcs(PyObject* o, void*) {
  return PyLong_FromSize_t(graph_value(o).graph.num_arcs());
}
PyObject* graph_undirected(PyObject* o, void*) {
  return PyBool_FromLong(graph_value(o).graph.undirected());
}
PyObject* graph_repr(PyObject* o) {
  const GraphValue& s = graph_value(o);
  return PyUnicode_FromFormat("%s(num_nodes=%zu, num_edges=%zu, undirected=%s)",
                              Py_TYPE(o)->tp_name, s.graph.num_nodes(), s.num_edges,
                              s.graph.undirected() ? "True" : "False");
}

PyMethodDef graph_methods[] = {
    method_def<graph_from_arrays>(
        "from_arrays",
        "from_arrays($cls, u, v, w=None, num_nodes=None, undirected=True, coordinates=None)\n--\n\n"
        "A graph from 1-D arrays (or sequences) of arc sources `u`, targets `v` and\n"
        "weights `w` (1.0 when omitted). `num_nodes` defaults to the largest id + 1.\n"
        "Integer or float arrays are read directly, without a copy per item; float\n"
        "node ids must be whole numbers.",
        METH_CLASS),
    method_def<graph_restore>("_restore", nullptr, METH_CLASS),
    method_def<graph_from_csr>("_from_csr", nullptr, METH_CLASS),
    method_def<graph_from_adjacency>("_from_adjacency", nullptr, METH_CLASS),
    method_def<graph_reduce>("__reduce__", nullptr),
    search_def<GraphValue>(
        "search($self, start, goal, algorithm=\"dijkstra\", heuristic=None, record=True, "
        "weight=2.0, beam_width=None, depth_limit=None, max_nodes=None, reopen=False)\n--\n\n"
        "Search from `start` to `goal`; the result, counters and errors are those of\n"
        "`search_graph` on the same edges. A built-in heuristic runs with the\n"
        "interpreter lock released, so threads search one graph in parallel.\n\n"
        "The default, dijkstra, is exact on non-negative weights. So is\n"
        "\"bidirectional_dijkstra\", which searches from both ends and meets in the\n"
        "middle (on a directed graph the backward half walks the reversed graph,\n"
        "built by the first query that needs it and kept). \"bidirectional\" is\n"
        "breadth-first from both ends: its path is the shortest in steps only.\n\n"
        "On a graph built with coordinates the heuristic defaults to \"euclidean\"\n"
        "(else \"zero\"). \"euclidean\" and \"manhattan\" are admissible, and A*\n"
        "exact, only if every arc weighs at least the straight-line (respectively\n"
        "city-block) distance between its endpoints."),
    batch_def<GraphValue>(),
    method_def<graph_distances>("_distances", nullptr),
    method_def<graph_settled>("_settled", nullptr),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef graph_getset[] = {
    {"num_nodes", graph_num_nodes, nullptr, "Number of nodes (ids 0 .. num_nodes - 1).", nullptr},
    {"num_edges", graph_num_edges, nullptr, "Number of edges given.", nullptr},
    {"num_arcs", graph_num_arcs, nullptr,
     "Number of stored arcs (twice num_edges when undirected).", nullptr},
    {"undirected", graph_undirected, nullptr, "Whether each edge is stored both ways.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

extern const ClassSpec graph_class = class_spec<GraphValue>(
    "wayloom._engine.Graph", new_entry<graph_new>, graph_repr, graph_methods, graph_getset);

// ---- one-shot functions ------------------------------------------------------------

std::vector<Edge> convert_edges(PyObject* o) { return edge_tuples(o, false); }

// A node count the machine cannot hold must fail here, before anything is
// touched: with overcommit the arrays would be handed out and the process
// killed while filling them.
void require_csr(MemoryBudget& budget, std::size_t num_nodes, const std::vector<Edge>& edges,
                 bool undirected) {
  budget.charge(edges.size() * sizeof(Edge), Use::Graph);
  const std::size_t arcs = undirected ? detail::sat_mul(edges.size(), 2) : edges.size();
  budget.require(CsrGraph::bytes_for(num_nodes, arcs), Use::Graph, "the graph");
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
  using D = Domain<GraphValue>;
  static constexpr Params<13> kParams{
      "search_graph",
      {"num_nodes", "edges", "start", "goal", "algorithm", "heuristic", "undirected", "record",
       "weight", "beam_width", "depth_limit", "max_nodes", "reopen"},
      4};
  const auto a = bind(kParams, call);
  const std::size_t num_nodes = to_u64("num_nodes", a[0]);
  const std::vector<Edge> edges = convert_edges(a[1]);
  const std::size_t start = D::node("start", a[2]);
  const std::size_t goal = D::node("goal", a[3]);
  const bool undirected = a[6] ? to_bool("undirected", a[6]) : true;
  const SearchParams p = convert_shared<kParams>(a, "bfs");

  check_node_range(num_nodes, start, goal);
  CsrGraph::check_edges(num_nodes, edges);
  require_csr(p.budget, num_nodes, edges, undirected);
  // The node store's page table comes with the search; refuse it here, before
  // the graph is built, if it cannot fit beside it.
  p.budget.check(NodeStore::bytes_for(num_nodes), "the node store");
  const CsrGraph graph = CsrGraph::from_edges(num_nodes, edges, undirected);

  return run_search(module, graph, start, goal, p, graph_heuristics()).release();
}

}  // namespace wayloom::py
