// Classical shortest paths (Bellman-Ford, Floyd-Warshall) with their result
// classes, the seeded random-graph generators and the random maze.
#include <memory>
#include <string>
#include <vector>

#include "args.hpp"
#include "docs.hpp"
#include "entry_points.hpp"
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

// Methods receive the instance, not the module; failures here are only
// argument errors and MemoryError.
template <PyObject* (*Body)(PyObject*, PyObject*, PyObject*)>
PyObject* method(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  try {
    return Body(self, args, kwargs);
  } catch (...) {
    return translate_exception(nullptr);
  }
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

PyObject* sp_path_to(PyObject* self, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 1> names{"target"};
  const auto a = bind_args("path_to", names, 1, args, kwargs);
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

PyMethodDef sp_methods[] = {
    {"path_to", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(method<sp_path_to>)),
     METH_VARARGS | METH_KEYWORDS, docs::path_to},
    {nullptr, nullptr, 0, nullptr},
};

constexpr char kNoShortestPaths[] = "No constructor defined for ShortestPaths";

PyType_Slot sp_slots[] = {
    {Py_tp_doc, const_cast<char*>(docs::shortest_paths)},
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

PyObject* ap_distance(PyObject* self, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 2> names{"from_", "to"};
  const auto a = bind_args("distance", names, 2, args, kwargs);
  const std::size_t from = to_u64("from_", a[0]);
  const std::size_t to = to_u64("to", a[1]);
  return PyFloat_FromDouble(record_of<AllPairs>(self).distance(from, to));
}

PyObject* ap_matrix(PyObject* self, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 0> names{};
  bind_args("matrix", names, 0, args, kwargs);
  const AllPairs& r = record_of<AllPairs>(self);
  const std::size_t n = r.num_nodes;
  Ref rows = check(PyList_New(Py_ssize_t(n)));
  for (std::size_t i = 0; i < n; ++i)
    PyList_SET_ITEM(rows.get(), Py_ssize_t(i), float_list(r.dist.data() + i * n, n).release());
  return rows.release();
}

PyObject* ap_path(PyObject* self, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 2> names{"from_", "to"};
  const auto a = bind_args("path", names, 2, args, kwargs);
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

PyMethodDef ap_methods[] = {
    {"distance",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(method<ap_distance>)),
     METH_VARARGS | METH_KEYWORDS, docs::distance},
    {"matrix", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(method<ap_matrix>)),
     METH_VARARGS | METH_KEYWORDS, docs::matrix},
    {"path", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(method<ap_path>)),
     METH_VARARGS | METH_KEYWORDS, docs::path},
    {nullptr, nullptr, 0, nullptr},
};

constexpr char kNoAllPairs[] = "No constructor defined for AllPairs";

PyType_Slot ap_slots[] = {
    {Py_tp_doc, const_cast<char*>(docs::all_pairs)},
    {Py_tp_new, reinterpret_cast<void*>(no_constructor<kNoAllPairs>)},
    {Py_tp_dealloc, reinterpret_cast<void*>(record_dealloc<AllPairs>)},
    {Py_tp_repr, reinterpret_cast<void*>(ap_repr)},
    {Py_tp_getset, ap_getset},
    {Py_tp_methods, ap_methods},
    {0, nullptr},
};

PyType_Spec ap_spec = {"wayloom_native.AllPairs", sizeof(RecordObject<AllPairs>), 0,
                       Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, ap_slots};

// What one (u, v, w) tuple costs in Python: the tuple with its GC header,
// two ints, a float and the list slot.
constexpr std::size_t kPyEdgeBytes = 80 + 2 * 32 + 24 + 8;

void check_edge_list_fits(std::size_t edges) {
  detail::AllocBudget budget;
  budget.add(edges, kPyEdgeBytes + sizeof(Edge)).check();
}

Ref edge_list(const CsrGraph& graph) {
  check_edge_list_fits(graph.num_arcs() / 2);
  const std::vector<Edge> edges = undirected_edge_list(graph);
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

PyObject* bellman_ford(PyObject* module, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 4> names{"num_nodes", "edges", "source", "undirected"};
  const auto a = bind_args("bellman_ford", names, 3, args, kwargs);
  const std::size_t num_nodes = to_u64("num_nodes", a[0]);
  const std::vector<Edge> edges = convert_edges(a[1]);
  const std::size_t source = to_u64("source", a[2]);
  const bool undirected = a[3] ? to_bool("undirected", a[3]) : false;
  if (source >= num_nodes) throw UsageError("source must be < num_nodes");
  check_edges(num_nodes, edges);
  {
    detail::AllocBudget budget;
    add_csr_build(budget, num_nodes, edges.size(), undirected)
        .add(num_nodes, sizeof(double) + sizeof(std::optional<std::size_t>))  // dist, pred
        .add(undirected ? detail::checked_mul(edges.size(), 2) : edges.size(), sizeof(Edge))
        .check();
  }
  ShortestPaths result;
  {
    ReleaseGil nogil;
    result = wayloom::bellman_ford(CsrGraph::from_edges(num_nodes, edges, undirected), source);
  }
  return wrap_record(state_of(module).shortest_paths_type, std::move(result)).release();
}

PyObject* floyd_warshall(PyObject* module, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 3> names{"num_nodes", "edges", "undirected"};
  const auto a = bind_args("floyd_warshall", names, 2, args, kwargs);
  const std::size_t num_nodes = to_u64("num_nodes", a[0]);
  const std::vector<Edge> edges = convert_edges(a[1]);
  const bool undirected = a[2] ? to_bool("undirected", a[2]) : false;
  check_edges(num_nodes, edges);
  detail::check_all_pairs_size(num_nodes);
  AllPairs result;
  {
    ReleaseGil nogil;
    result = wayloom::floyd_warshall(num_nodes, edges, undirected);
  }
  return wrap_record(state_of(module).all_pairs_type, std::move(result)).release();
}

PyObject* gen_erdos_renyi(PyObject*, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 3> names{"n", "p", "seed"};
  const auto a = bind_args("gen_erdos_renyi", names, 3, args, kwargs);
  const std::size_t n = to_u64("n", a[0]);
  const double p = to_f64("p", a[1]);
  const std::uint64_t seed = to_u64("seed", a[2]);
  check_edge_list_fits(erdos_renyi_mean_edges(n, p));
  return edge_list(erdos_renyi(n, p, seed)).release();
}

PyObject* gen_barabasi_albert(PyObject*, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 3> names{"n", "m", "seed"};
  const auto a = bind_args("gen_barabasi_albert", names, 3, args, kwargs);
  const std::size_t n = to_u64("n", a[0]);
  const std::size_t m = to_u64("m", a[1]);
  const std::uint64_t seed = to_u64("seed", a[2]);
  return edge_list(barabasi_albert(n, m, seed)).release();
}

PyObject* gen_watts_strogatz(PyObject*, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 4> names{"n", "k", "beta", "seed"};
  const auto a = bind_args("gen_watts_strogatz", names, 4, args, kwargs);
  const std::size_t n = to_u64("n", a[0]);
  const std::size_t k = to_u64("k", a[1]);
  const double beta = to_f64("beta", a[2]);
  const std::uint64_t seed = to_u64("seed", a[3]);
  return edge_list(watts_strogatz(n, k, beta, seed)).release();
}

PyObject* random_maze_ascii(PyObject*, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 4> names{"width", "height", "obstacle_density", "seed"};
  const auto a = bind_args("random_maze_ascii", names, 4, args, kwargs);
  const std::int32_t width = to_i32("width", a[0]);
  const std::int32_t height = to_i32("height", a[1]);
  const double density = to_f64("obstacle_density", a[2]);
  const std::uint64_t seed = to_u64("seed", a[3]);
  const std::string text = wayloom::random_maze_ascii(width, height, density, seed);
  return PyUnicode_FromStringAndSize(text.data(), Py_ssize_t(text.size()));
}

}  // namespace wayloom::py
