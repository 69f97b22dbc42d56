// A Graph straight from a dict of dicts {node: {neighbour: attributes}}, the
// adjacency networkx keeps: one pass over the arcs in their stored order, each
// head found through the label -> id dict and each weight read from its
// attribute dict. Only the common shape is read here; anything else (a weight
// that is not an int or a float, an int beyond 2**53, a head missing from the
// index) answers None, and the caller reads the graph its slower, general way.
#include <algorithm>
#include <cmath>
#include <vector>

#include "../input.hpp"
#include "../shell.hpp"
#include "graph_value.hpp"
#include "wayloom/core/compiler.hpp"
#include "wayloom/domains/csr_graph.hpp"

namespace wayloom::py {

namespace {

constexpr double kExact = 9007199254740992.0;  // 2**53: ints above lose precision

// The weight in one attribute dict, 1 when absent; false when the value is
// not a plain number (or is an int past 2**53).
bool read_weight(PyObject* attrs, PyObject* key, double& w, bool& integral) {
  if (!PyDict_Check(attrs)) return false;
  PyObject* v = PyDict_GetItemWithError(attrs, key);
  if (!v) {
    if (PyErr_Occurred()) throw ErrorAlreadySet();
    return (w = 1.0), true;
  }
  if (PyFloat_Check(v)) {
    w = PyFloat_AS_DOUBLE(v);
    integral = false;
    return true;
  }
  if (!PyLong_Check(v)) return false;
  int overflow = 0;
  const long long x = PyLong_AsLongLongAndOverflow(v, &overflow);
  if (overflow || (x == -1 && PyErr_Occurred())) {
    PyErr_Clear();
    return false;
  }
  w = double(x);
  return std::fabs(w) <= kExact;
}

}  // namespace

// Graph._from_adjacency(adj, index, weight, undirected) -> (graph, integral,
// negative, negative_loop) or None. `weight` None weighs every arc 1.
PyObject* graph_from_adjacency(PyObject* /*module*/, PyObject* cls, const Call& call) {
  static constexpr Params<4> kParams{
      "_from_adjacency", {"adj", "index", "weight", "undirected"}, 4};
  const auto a = bind(kParams, call);
  PyObject* const adj = a[0];
  PyObject* const index = a[1];
  PyObject* const key = a[2] == Py_None ? nullptr : a[2];
  const bool undirected = to_bool("undirected", a[3]);
  if (!PyDict_Check(adj) || !PyDict_Check(index)) Py_RETURN_NONE;
  const std::size_t n = std::size_t(PyDict_GET_SIZE(adj));
  if (std::size_t(PyDict_GET_SIZE(index)) != n) Py_RETURN_NONE;

  // First the arcs' heads and attribute dicts as stored, then the lookups:
  // those objects lie all over memory, and walking them from a list lets the
  // next ones be fetched while one is read.
  std::vector<std::size_t> offsets(n + 2, 0);
  std::vector<PyObject*> heads, attrs;
  Py_ssize_t pos = 0;
  PyObject *u = nullptr, *nbrs = nullptr;
  for (std::size_t i = 0; PyDict_Next(adj, &pos, &u, &nbrs); ++i) {
    if (!PyDict_Check(nbrs)) Py_RETURN_NONE;
    Py_ssize_t at = 0;
    PyObject *v = nullptr, *d = nullptr;
    while (PyDict_Next(nbrs, &at, &v, &d)) {
      heads.push_back(v);
      attrs.push_back(d);
    }
    offsets[i + 1] = heads.size();
  }
  const std::size_t m = heads.size();
  constexpr std::size_t kAhead = 16;
  // The arrays a search walks: in huge pages where the system has them, as
  // a graph built from arrays gets (one pair searched reads them all over).
  std::vector<std::size_t> targets;
  detail::resize_for_writing(targets, m);
  for (std::size_t k = 0; k < m; ++k) {
    if (k + kAhead < m) prefetch(heads[k + kAhead]);
    PyObject* id = PyDict_GetItemWithError(index, heads[k]);
    if (!id) {
      if (PyErr_Occurred()) throw ErrorAlreadySet();
      Py_RETURN_NONE;
    }
    const std::size_t t = PyLong_AsSize_t(id);
    if (t == std::size_t(-1) && PyErr_Occurred()) throw ErrorAlreadySet();
    if (t >= n) Py_RETURN_NONE;
    targets[k] = t;
  }
  std::vector<double> weights;
  detail::resize_for_writing(weights, m);
  if (!key) std::fill(weights.begin(), weights.end(), 1.0);  // else each is read below
  bool integral = true, negative = false, negative_loop = false;
  if (key) {
    std::size_t tail = 0;
    for (std::size_t k = 0; k < m; ++k) {
      if (k + kAhead < m) prefetch(attrs[k + kAhead]);
      // Half as far ahead the dict itself has come in: fetch its table.
      if (k + kAhead / 2 < m && PyDict_Check(attrs[k + kAhead / 2]))
        prefetch(reinterpret_cast<PyDictObject*>(attrs[k + kAhead / 2])->ma_keys);
      if (!read_weight(attrs[k], key, weights[k], integral)) Py_RETURN_NONE;
      if (weights[k] < 0.0) {
        while (offsets[tail + 1] <= k) ++tail;
        negative = true;
        negative_loop = negative_loop || targets[k] == tail;
      }
    }
  }
  // One node more, with no arcs, for searches that need a spare root.
  offsets[n + 1] = targets.size();
  CsrGraph g =
      CsrGraph::from_csr(std::move(offsets), std::move(targets), std::move(weights), undirected);
  Ref graph = Ref::steal(new_object(cls, GraphValue(std::move(g), m, std::nullopt)));
  if (!graph) return nullptr;
  return check(Py_BuildValue("(OOOO)", graph.get(), integral ? Py_True : Py_False,
                             negative ? Py_True : Py_False, negative_loop ? Py_True : Py_False))
      .release();
}

}  // namespace wayloom::py
