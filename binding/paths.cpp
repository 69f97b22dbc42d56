// Classical shortest paths (Bellman-Ford, Floyd-Warshall) with their result
// classes, the seeded random-graph generators and the random maze.
#include <memory>
#include <string>
#include <vector>

#include "args.hpp"
#include "budget.hpp"
#include "edges.hpp"
#include "module_state.hpp"
#include "wayloom/core/error.hpp"
#include "wayloom/domains/generators.hpp"
#include "wayloom/paths/shortest_paths.hpp"

namespace wayloom::py {

namespace {

Ref int_list(const std::vector<std::size_t>& v) {
  Ref list = check(PyList_New(Py_ssize_t(v.size())));
  for (std::size_t i = 0; i < v.size(); ++i)
    PyList_SET_ITEM(list.get(), Py_ssize_t(i), check(PyLong_FromSize_t(v[i])).release());
  return list;
}

Ref float_list(const double* begin, std::size_t n) {
  Ref list = check(PyList_New(Py_ssize_t(n)));
  for (std::size_t i = 0; i < n; ++i)
    PyList_SET_ITEM(list.get(), Py_ssize_t(i), check(PyFloat_FromDouble(begin[i])).release());
  return list;
}

Ref optional_path(const std::optional<std::vector<std::size_t>>& path) {
  return path ? int_list(*path) : Ref::borrow(Py_None);
}

// Holds one immutable core record; not constructible from Python.
template <class Record>
struct RecordObject {
  PyObject_HEAD Record* record;
};

template <class Record>
Record& record_of(PyObject* o) {
  return *reinterpret_cast<RecordObject<Record>*>(o)->record;
}

template <class Record>
void record_dealloc(PyObject* o) {
  PyTypeObject* type = Py_TYPE(o);
  delete reinterpret_cast<RecordObject<Record>*>(o)->record;
  type->tp_free(o);
  Py_DECREF(type);
}

template <class Record>
Ref wrap_record(PyObject* type_object, Record&& record) {
  auto* type = reinterpret_cast<PyTypeObject*>(type_object);
  auto owned = std::make_unique<Record>(std::move(record));
  PyObject* o = type->tp_alloc(type, 0);
  if (!o) throw ErrorAlreadySet{};
  reinterpret_cast<RecordObject<Record>*>(o)->record = owned.release();
  return Ref::steal(o);
}

template <const char* Name>
PyObject* no_constructor(PyTypeObject*, PyObject*, PyObject*) {
  PyErr_SetString(PyExc_TypeError, Name);
  return nullptr;
}

// ---- ShortestPaths ----------------------------------------------------------

PyObject* sp_source(PyObject* o, void*) {
  return PyLong_FromSize_t(record_of<ShortestPaths>(o).source);
}
PyObject* sp_dist(PyObject* o, void*) {
  try {
    const auto& d = record_of<ShortestPaths>(o).dist;
    return float_list(d.data(), d.size()).release();
  } catch (...) {
    return translate_exception(nullptr);
  }
}
PyObject* sp_pred(PyObject* o, void*) {
  try {
    const auto& pred = record_of<ShortestPaths>(o).pred;
    Ref list = check(PyList_New(Py_ssize_t(pred.size())));
    for (std::size_t i = 0; i < pred.size(); ++i)
      PyList_SET_ITEM(list.get(), Py_ssize_t(i),
                      pred[i] ? check(PyLong_FromSize_t(*pred[i])).release() : Py_NewRef(Py_None));
    return list.release();
  } catch (...) {
    return translate_exception(nullptr);
  }
}
PyObject* sp_negative_cycle(PyObject* o, void*) {
  return PyBool_FromLong(record_of<ShortestPaths>(o).negative_cycle);
}

PyObject* sp_path_to(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<1> kParams{"path_to", {"target"}, 1};
  const auto a = bind(kParams, call);
  const std::size_t target = to_u64("target", a[0]);
  return optional_path(record_of<ShortestPaths>(self).path_to(target)).release();
}

PyObject* sp_repr(PyObject* o) {
  const ShortestPaths& r = record_of<ShortestPaths>(o);
  const std::string text = "ShortestPaths(source=" + std::to_string(r.source) +
                           ", nodes=" + std::to_string(r.dist.size()) +
                           ", negative_cycle=" + (r.negative_cycle ? "true" : "false") + ")";
  return PyUnicode_FromString(text.c_str());
}

PyGetSetDef sp_getset[] = {
    {"source", sp_source, nullptr, nullptr, nullptr},
    {"dist", sp_dist, nullptr, nullptr, nullptr},
    {"pred", sp_pred, nullptr, nullptr, nullptr},
    {"negative_cycle", sp_negative_cycle, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr char kPathToDoc[] =
    "path_to($self, target)\n--\n\n"
    "Rebuild the ``source -> target`` shortest path (inclusive), or ``None``\n"
    "if ``target`` is unreachable.";

PyMethodDef sp_methods[] = {
    {"path_to",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(method_entry<sp_path_to>)),
     METH_METHOD | METH_FASTCALL | METH_KEYWORDS, kPathToDoc},
    {nullptr, nullptr, 0, nullptr},
};

constexpr char kNoShortestPaths[] = "No constructor defined for ShortestPaths";

constexpr char kShortestPathsDoc[] =
    "Single-source shortest paths from [`bellman_ford_py`]. Thin wrapper over the\n"
    "core `ShortestPaths`.\n"
    "\n"
    "Attributes:\n"
    "    source (int): the node distances are measured from.\n"
    "    dist (list[float]): ``dist[v]`` is the cost of the cheapest\n"
    "        ``source -> v`` path (``inf`` if unreachable).\n"
    "    pred (list[int | None]): predecessor of each node on a shortest path\n"
    "        (``None`` for the source and unreachable nodes).\n"
    "    negative_cycle (bool): whether a negative-weight cycle is reachable from\n"
    "        ``source`` (then the affected distances are not well defined).";

PyType_Slot sp_slots[] = {
    {Py_tp_doc, const_cast<char*>(kShortestPathsDoc)},
    {Py_tp_new, reinterpret_cast<void*>(no_constructor<kNoShortestPaths>)},
    {Py_tp_dealloc, reinterpret_cast<void*>(record_dealloc<ShortestPaths>)},
    {Py_tp_repr, reinterpret_cast<void*>(sp_repr)},
    {Py_tp_getset, sp_getset},
    {Py_tp_methods, sp_methods},
    {0, nullptr},
};

PyType_Spec sp_spec = {"wayloom_native.ShortestPaths", sizeof(RecordObject<ShortestPaths>), 0,
                       Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, sp_slots};

// ---- AllPairs ---------------------------------------------------------------

PyObject* ap_num_nodes(PyObject* o, void*) {
  return PyLong_FromSize_t(record_of<AllPairs>(o).num_nodes);
}
PyObject* ap_negative_cycle(PyObject* o, void*) {
  return PyBool_FromLong(record_of<AllPairs>(o).negative_cycle);
}

PyObject* ap_distance(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<2> kParams{"distance", {"from_", "to"}, 2};
  const auto a = bind(kParams, call);
  const std::size_t from = to_u64("from_", a[0]);
  const std::size_t to = to_u64("to", a[1]);
  return PyFloat_FromDouble(record_of<AllPairs>(self).distance(from, to));
}

PyObject* ap_matrix(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<0> kParams{"matrix", {}, 0};
  bind(kParams, call);
  const AllPairs& r = record_of<AllPairs>(self);
  const std::size_t n = r.num_nodes;
  Ref rows = check(PyList_New(Py_ssize_t(n)));
  for (std::size_t i = 0; i < n; ++i)
    PyList_SET_ITEM(rows.get(), Py_ssize_t(i), float_list(r.dist.data() + i * n, n).release());
  return rows.release();
}

PyObject* ap_path(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<2> kParams{"path", {"from_", "to"}, 2};
  const auto a = bind(kParams, call);
  const std::size_t from = to_u64("from_", a[0]);
  const std::size_t to = to_u64("to", a[1]);
  return optional_path(record_of<AllPairs>(self).path(from, to)).release();
}

PyObject* ap_repr(PyObject* o) {
  const AllPairs& r = record_of<AllPairs>(o);
  const std::string text = "AllPairs(num_nodes=" + std::to_string(r.num_nodes) +
                           ", negative_cycle=" + (r.negative_cycle ? "true" : "false") + ")";
  return PyUnicode_FromString(text.c_str());
}

PyGetSetDef ap_getset[] = {
    {"num_nodes", ap_num_nodes, nullptr, nullptr, nullptr},
    {"negative_cycle", ap_negative_cycle, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr char kDistanceDoc[] =
    "distance($self, from_, to)\n--\n\n"
    "Cost of the cheapest ``from_ -> to`` path (``inf`` if none, ``0`` if\n"
    "``from_ == to``).";

constexpr char kMatrixDoc[] =
    "matrix($self)\n--\n\n"
    "The full ``n x n`` distance matrix as a list of rows.";

constexpr char kPathDoc[] =
    "path($self, from_, to)\n--\n\n"
    "Rebuild the cheapest ``from_ -> to`` path (inclusive), or ``None`` if\n"
    "there is none.";

PyMethodDef ap_methods[] = {
    {"distance",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(method_entry<ap_distance>)),
     METH_METHOD | METH_FASTCALL | METH_KEYWORDS, kDistanceDoc},
    {"matrix",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(method_entry<ap_matrix>)),
     METH_METHOD | METH_FASTCALL | METH_KEYWORDS, kMatrixDoc},
    {"path", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(method_entry<ap_path>)),
     METH_METHOD | METH_FASTCALL | METH_KEYWORDS, kPathDoc},
    {nullptr, nullptr, 0, nullptr},
};

constexpr char kNoAllPairs[] = "No constructor defined for AllPairs";

constexpr char kAllPairsDoc[] =
    "All-pairs shortest paths from [`floyd_warshall_py`]. Thin wrapper over the\n"
    "core `AllPairs`.\n"
    "\n"
    "Attributes:\n"
    "    num_nodes (int): number of nodes ``n``.\n"
    "    negative_cycle (bool): whether the graph has any negative-weight cycle.";

PyType_Slot ap_slots[] = {
    {Py_tp_doc, const_cast<char*>(kAllPairsDoc)},
    {Py_tp_new, reinterpret_cast<void*>(no_constructor<kNoAllPairs>)},
    {Py_tp_dealloc, reinterpret_cast<void*>(record_dealloc<AllPairs>)},
    {Py_tp_repr, reinterpret_cast<void*>(ap_repr)},
    {Py_tp_getset, ap_getset},
    {Py_tp_methods, ap_methods},
    {0, nullptr},
};

PyType_Spec ap_spec = {"wayloom_native.AllPairs", sizeof(RecordObject<AllPairs>), 0,
                       Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, ap_slots};

Ref edge_list(const std::vector<Edge>& edges, MemoryBudget& budget) {
  budget.require(detail::sat_mul(edges.size(), kPyEdgeBytes), Use::Output, "the Python edge list");
  Ref list = check(PyList_New(Py_ssize_t(edges.size())));
  for (std::size_t i = 0; i < edges.size(); ++i) {
    Ref u = check(PyLong_FromSize_t(edges[i].source));
    Ref v = check(PyLong_FromSize_t(edges[i].target));
    Ref w = check(PyFloat_FromDouble(edges[i].weight));
    PyList_SET_ITEM(list.get(), Py_ssize_t(i),
                    check(PyTuple_Pack(3, u.get(), v.get(), w.get())).release());
  }
  return list;
}

}  // namespace

int add_path_types(PyObject* module) {
  ModuleState& s = state_of(module);
  s.shortest_paths_type = PyType_FromModuleAndSpec(module, &sp_spec, nullptr);
  if (!s.shortest_paths_type ||
      PyModule_AddObjectRef(module, "ShortestPaths", s.shortest_paths_type) < 0)
    return -1;
  s.all_pairs_type = PyType_FromModuleAndSpec(module, &ap_spec, nullptr);
  if (!s.all_pairs_type || PyModule_AddObjectRef(module, "AllPairs", s.all_pairs_type) < 0)
    return -1;
  return 0;
}

extern const char bellman_ford_doc[] =
    "bellman_ford(num_nodes, edges, source, undirected=False)\n--\n\n"
    "**Bellman\xe2\x80\x93"
    "Ford** single-source shortest paths on an explicit weighted graph.\n"
    "\n"
    "Unlike Dijkstra/A\\*, this tolerates **negative edge weights** and reports a\n"
    "reachable negative cycle. Edges are ``(u, v, w)`` over ``0..num_nodes``.\n"
    "\n"
    "``undirected`` defaults to ``False``: negative weights are the whole point,\n"
    "and an undirected negative edge is itself a trivial negative cycle.";

PyObject* bellman_ford(PyObject* module, const Call& call) {
  static constexpr Params<4> kParams{
      "bellman_ford", {"num_nodes", "edges", "source", "undirected"}, 3};
  const auto a = bind(kParams, call);
  const std::size_t num_nodes = to_u64("num_nodes", a[0]);
  const std::vector<Edge> edges = convert_edges(a[1]);
  const std::size_t source = to_u64("source", a[2]);
  const bool undirected = a[3] ? to_bool("undirected", a[3]) : false;
  if (source >= num_nodes) throw UsageError("source must be < num_nodes");
  CsrGraph::check_edges(num_nodes, edges);
  MemoryBudget budget = call_budget();
  require_csr(budget, num_nodes, edges, undirected);
  // dist and pred, and the arc list each pass walks.
  budget.require(
      detail::sat_add(
          detail::sat_mul(num_nodes, sizeof(double) + sizeof(std::optional<std::size_t>)),
          detail::sat_mul(edges.size(), (undirected ? 2 : 1) * sizeof(Edge))),
      Use::Output, "the distances");
  ShortestPaths result;
  {
    ReleaseGil nogil;
    result = wayloom::bellman_ford(CsrGraph::from_edges(num_nodes, edges, undirected), source);
  }
  return wrap_record(state_of(module).shortest_paths_type, std::move(result)).release();
}

extern const char floyd_warshall_doc[] =
    "floyd_warshall(num_nodes, edges, undirected=False)\n--\n\n"
    "**Floyd\xe2\x80\x93"
    "Warshall** all-pairs shortest paths on an explicit weighted graph.\n"
    "\n"
    "``O(V\xc2\xb3)`` \xe2\x80\x94 for small/medium or dense graphs where you want *every* "
    "distance\n"
    "at once. Tolerates negative edges and flags any negative cycle. Edges are\n"
    "``(u, v, w)`` over ``0..num_nodes``; ``undirected`` defaults to ``False``.";

PyObject* floyd_warshall(PyObject* module, const Call& call) {
  static constexpr Params<3> kParams{"floyd_warshall", {"num_nodes", "edges", "undirected"}, 2};
  const auto a = bind(kParams, call);
  const std::size_t num_nodes = to_u64("num_nodes", a[0]);
  const std::vector<Edge> edges = convert_edges(a[1]);
  const bool undirected = a[2] ? to_bool("undirected", a[2]) : false;
  CsrGraph::check_edges(num_nodes, edges);
  MemoryBudget budget = call_budget();
  // The matrices first: they dwarf the graph, and refusing them must not wait for it.
  budget.check(AllPairs::bytes_for(num_nodes), "the all-pairs matrices");
  require_csr(budget, num_nodes, edges, undirected);
  AllPairs result;
  {
    ReleaseGil nogil;
    result = wayloom::floyd_warshall(CsrGraph::from_edges(num_nodes, edges, undirected), &budget);
  }
  return wrap_record(state_of(module).all_pairs_type, std::move(result)).release();
}

extern const char gen_erdos_renyi_doc[] =
    "gen_erdos_renyi(n, p, seed)\n--\n\n"
    "Erd\xc5\x91s\xe2\x80\x93R\xc3\xa9nyi `G(n, p)` random graph \xe2\x86\x92 edge list.";

PyObject* gen_erdos_renyi(PyObject* /*module*/, const Call& call) {
  static constexpr Params<3> kParams{"gen_erdos_renyi", {"n", "p", "seed"}, 3};
  const auto a = bind(kParams, call);
  const std::size_t n = to_u64("n", a[0]);
  const double p = to_f64("p", a[1]);
  const std::uint64_t seed = to_u64("seed", a[2]);
  MemoryBudget budget = call_budget();
  // The Python list is by far the larger part: refuse it before any draw.
  budget.check(detail::sat_mul(erdos_renyi_bytes(n, p) / sizeof(Edge), kPyEdgeBytes),
               "the Python edge list");
  return edge_list(erdos_renyi_edges(n, p, seed, budget), budget).release();
}

extern const char gen_barabasi_albert_doc[] =
    "gen_barabasi_albert(n, m, seed)\n--\n\n"
    "Barab\xc3\xa1si\xe2\x80\x93"
    "Albert scale-free graph \xe2\x86\x92 edge list.";

PyObject* gen_barabasi_albert(PyObject* /*module*/, const Call& call) {
  static constexpr Params<3> kParams{"gen_barabasi_albert", {"n", "m", "seed"}, 3};
  const auto a = bind(kParams, call);
  const std::size_t n = to_u64("n", a[0]);
  const std::size_t m = to_u64("m", a[1]);
  const std::uint64_t seed = to_u64("seed", a[2]);
  MemoryBudget budget = call_budget();
  return edge_list(barabasi_albert_edges(n, m, seed, budget), budget).release();
}

extern const char gen_watts_strogatz_doc[] =
    "gen_watts_strogatz(n, k, beta, seed)\n--\n\n"
    "Watts\xe2\x80\x93Strogatz small-world graph \xe2\x86\x92 edge list.";

PyObject* gen_watts_strogatz(PyObject* /*module*/, const Call& call) {
  static constexpr Params<4> kParams{"gen_watts_strogatz", {"n", "k", "beta", "seed"}, 4};
  const auto a = bind(kParams, call);
  const std::size_t n = to_u64("n", a[0]);
  const std::size_t k = to_u64("k", a[1]);
  const double beta = to_f64("beta", a[2]);
  const std::uint64_t seed = to_u64("seed", a[3]);
  MemoryBudget budget = call_budget();
  return edge_list(watts_strogatz_edges(n, k, beta, seed, budget), budget).release();
}

extern const char random_maze_ascii_doc[] =
    "random_maze_ascii(width, height, obstacle_density, seed)\n--\n\n"
    "A reproducible random maze rendered as an ASCII map (with `S`/`G`).";

PyObject* random_maze_ascii(PyObject* /*module*/, const Call& call) {
  static constexpr Params<4> kParams{
      "random_maze_ascii", {"width", "height", "obstacle_density", "seed"}, 4};
  const auto a = bind(kParams, call);
  const std::int32_t width = to_i32("width", a[0]);
  const std::int32_t height = to_i32("height", a[1]);
  const double density = to_f64("obstacle_density", a[2]);
  const std::uint64_t seed = to_u64("seed", a[3]);
  MemoryBudget budget = call_budget();
  const std::string text = wayloom::random_maze_ascii(width, height, density, seed, &budget);
  return PyUnicode_FromStringAndSize(text.data(), Py_ssize_t(text.size()));
}

}  // namespace wayloom::py
