// The generic half of the companion module's classes: an object that holds
// its domain's value by value (one dealloc for every class), construction
// through the binder, and the search / search_many / distances plumbing every
// domain shares. What differs between domains is a Domain<V> trait, written
// in the domain's adapter (binding/domains/<domain>.cpp):
//
//   using G = <the engine graph>; using N = <its node type>;
//   static constexpr const char* kDefault;          default algorithm of search()
//
// The classes also take the algorithms of kPackageAlgorithms, which the
// one-shot functions of wayloom_native do not.
//   static const G& graph(const V&);
//   static N node(const char* name, PyObject*);     an endpoint argument
//   static void check_endpoints(const G&, const N&, const N&);
//   static void with_table(const V&, F&& f);        calls f(heuristic table)
//   static const G& graph_for(const G&, const N&, const N&, std::optional<G>&);  optional
//   static PyObject* own_search(module, const V&, N, N, const SearchParams&);   optional:
//   static PyObject* own_batch(module, const V&, pairs, const SearchParams&);   an algorithm
//                                                   the class runs itself (else null)
#pragma once

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "search_common.hpp"

namespace wayloom::py {

// ---- objects -----------------------------------------------------------------

// A native class's instance: the object header, then the domain's value,
// immutable once built.
template <class V>
struct Object {
  PyObject ob_base;
  V value;
};

template <class V>
const V& value_of(PyObject* o) noexcept {
  return reinterpret_cast<const Object<V>*>(o)->value;
}

// An instance of `type` (a native class or a Python subclass) holding `value`.
template <class V>
PyObject* new_object(PyTypeObject* type, V value) {
  PyObject* o = type->tp_alloc(type, 0);
  if (!o) throw ErrorAlreadySet{};
  try {
    ::new (static_cast<void*>(&reinterpret_cast<Object<V>*>(o)->value)) V(std::move(value));
  } catch (...) {
    type->tp_free(o);  // undoes tp_alloc, which took a reference to a heap type
    Py_DECREF(type);
    throw;
  }
  return o;
}
template <class V>
PyObject* new_object(PyObject* cls, V value) {
  return new_object(reinterpret_cast<PyTypeObject*>(cls), std::move(value));
}

template <class V>
void dealloc(PyObject* o) {
  PyTypeObject* type = Py_TYPE(o);
  reinterpret_cast<Object<V>*>(o)->value.~V();
  type->tp_free(o);
  Py_DECREF(type);
}

// The module of a native class or of a Python subclass of one (only the
// native classes are made with a module).
inline PyObject* module_of_type(PyTypeObject* type) {
  for (PyTypeObject* t = type; t; t = t->tp_base) {
    if (!PyType_HasFeature(t, Py_TPFLAGS_HEAPTYPE)) continue;
    if (PyObject* m = PyType_GetModule(t)) return m;
    PyErr_Clear();
  }
  return nullptr;
}

// tp_new through the binder: the arguments laid out as a vectorcall, so
// constructors word their TypeErrors as every function does.
template <PyObject* (*Body)(PyObject* module, PyObject* cls, const Call&)>
PyObject* new_entry(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  PyObject* module = module_of_type(type);
  try {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    std::vector<PyObject*> flat;
    for (Py_ssize_t i = 0; i < nargs; ++i) flat.push_back(PyTuple_GET_ITEM(args, i));
    Ref kwnames;
    if (kwargs && PyDict_GET_SIZE(kwargs)) {
      kwnames = check(PyTuple_New(PyDict_GET_SIZE(kwargs)));
      Py_ssize_t pos = 0, k = 0;
      PyObject *key, *value;
      while (PyDict_Next(kwargs, &pos, &key, &value)) {
        PyTuple_SET_ITEM(kwnames.get(), k++, Py_NewRef(key));
        flat.push_back(value);
      }
    }
    return Body(module, reinterpret_cast<PyObject*>(type), Call{flat.data(), nargs, kwnames.get()});
  } catch (...) {
    return translate_exception(module);
  }
}

// ---- classes -----------------------------------------------------------------

// A method of a native class, entered through method_entry<Body>.
template <PyObject* (*Body)(PyObject* module, PyObject* self, const Call&)>
PyMethodDef method_def(const char* name, const char* doc, int flags = 0) {
  return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(method_entry<Body>)),
          METH_METHOD | METH_FASTCALL | METH_KEYWORDS | flags, doc};
}

// What the module's init needs to make one class.
struct ClassSpec {
  const char* name;  // "<module>.<Class>"; the attribute is what follows the last dot
  int basicsize;
  newfunc tp_new;
  destructor tp_dealloc;
  reprfunc tp_repr;  // null: object's
  PyMethodDef* methods;
  PyGetSetDef* getset;
};

template <class V>
constexpr ClassSpec class_spec(const char* name, newfunc tp_new, reprfunc tp_repr,
                               PyMethodDef* methods, PyGetSetDef* getset) {
  return {name, int(sizeof(Object<V>)), tp_new, dealloc<V>, tp_repr, methods, getset};
}

// Makes the class on `module` and adds it as an attribute.
inline int add_class(PyObject* module, const ClassSpec& c) {
  PyType_Slot slots[] = {
      {Py_tp_new, reinterpret_cast<void*>(c.tp_new)},
      {Py_tp_dealloc, reinterpret_cast<void*>(c.tp_dealloc)},
      {Py_tp_methods, c.methods},
      {Py_tp_getset, c.getset},
      {c.tp_repr ? Py_tp_repr : 0, reinterpret_cast<void*>(c.tp_repr)},
      {0, nullptr},
  };
  PyType_Spec spec = {c.name, c.basicsize, 0,
                      Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_IMMUTABLETYPE, slots};
  PyObject* type = PyType_FromModuleAndSpec(module, &spec, nullptr);
  if (!type) return -1;
  const int rc = PyModule_AddObjectRef(module, std::strrchr(c.name, '.') + 1, type);
  Py_DECREF(type);
  return rc;
}

// ---- pickling ----------------------------------------------------------------

template <class T>
Ref bytes_of(const std::vector<T>& v) {
  return check(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(v.data()),
                                         Py_ssize_t(v.size() * sizeof(T))));
}

template <class T>
std::vector<T> vector_of(const char* name, PyObject* o) {
  if (!PyBytes_Check(o)) argument_error(PyExc_TypeError, name, "expected bytes");
  const std::size_t size = std::size_t(PyBytes_GET_SIZE(o));
  if (size % sizeof(T)) argument_error(PyExc_ValueError, name, "truncated array");
  std::vector<T> v(size / sizeof(T));
  std::memcpy(v.data(), PyBytes_AS_STRING(o), size);
  return v;
}

// `type(self)._restore`, the rebuilder a class's __reduce__ names.
inline Ref restore_of(PyObject* self) {
  return check(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(self)), "_restore"));
}

// ---- searching -----------------------------------------------------------------

template <class V>
struct Domain;

// The graph one query searches: the object's own, or (for domains whose
// endpoints join the graph) a copy made for that query.
template <class D>
const typename D::G& graph_for(const typename D::G& g, const typename D::N& s,
                               const typename D::N& t, std::optional<typename D::G>& scratch) {
  if constexpr (requires { D::graph_for(g, s, t, scratch); })
    return D::graph_for(g, s, t, scratch);
  else
    return g;
}

inline constexpr Params<10> kSearchParams{
    "search",
    {"start", "goal", "algorithm", "heuristic", "record", "weight", "beam_width", "depth_limit",
     "max_nodes", "reopen"},
    2};

// search(start, goal, ...): one query on the object's graph.
template <class V>
PyObject* search_method(PyObject* module, PyObject* self, const Call& call) {
  using D = Domain<V>;
  const auto a = bind(kSearchParams, call);
  const V& v = value_of<V>(self);
  const auto& g = D::graph(v);
  const typename D::N start = D::node("start", a[0]);
  const typename D::N goal = D::node("goal", a[1]);
  SearchParams p = convert_shared<kSearchParams>(a, D::kDefault);
  p.options.package_rows = true;
  D::check_endpoints(g, start, goal);
  if constexpr (requires { D::own_search(module, v, start, goal, p); })
    if (PyObject* own = D::own_search(module, v, start, goal, p)) return own;
  std::optional<typename D::G> scratch;
  const auto& graph = graph_for<D>(g, start, goal, scratch);
  Ref r;
  D::with_table(v,
                [&](const auto& table) { r = run_search(module, graph, start, goal, p, table); });
  return r.release();
}

inline constexpr Params<9> kBatchParams{"search_many",
                                        {"pairs", "algorithm", "heuristic", "record", "weight",
                                         "beam_width", "depth_limit", "max_nodes", "reopen"},
                                        1};

// A batch of (start, goal) pairs: with a built-in heuristic the whole batch
// runs with the interpreter lock released, then the results are converted.
template <class V>
PyObject* search_batch(PyObject* module, PyObject* self, const Call& call) {
  using D = Domain<V>;
  using N = typename D::N;
  const auto a = bind(kBatchParams, call);
  const V& v = value_of<V>(self);
  const auto& g = D::graph(v);
  std::vector<std::pair<N, N>> pairs;
  {
    const Sequence seq("pairs", a[0]);
    pairs.reserve(std::size_t(seq.size()));
    for (Py_ssize_t i = 0; i < seq.size(); ++i) {
      const Sequence pair("pairs", seq[i]);
      if (pair.size() != 2) throw UsageError("each pair must be (start, goal)");
      pairs.emplace_back(D::node("start", pair[0]), D::node("goal", pair[1]));
    }
  }
  SearchParams p = convert_shared<kBatchParams>(a, "dijkstra");
  p.options.package_rows = true;
  for (const auto& [s, t] : pairs) D::check_endpoints(g, s, t);
  if constexpr (requires { D::own_batch(module, v, pairs, p); })
    if (PyObject* own = D::own_batch(module, v, pairs, p)) return own;
  Ref out = check(PyList_New(Py_ssize_t(pairs.size())));
  std::vector<SearchResult<N>> results(pairs.size());
  std::vector<MemoryBudget> budgets(pairs.size(), p.budget);  // one per search
  bool converted = false;
  D::with_table(v, [&](const auto& table) {
    const ResolvedHeuristic h = resolve_heuristic(p.heuristic, table.default_name());
    if (h.callable) {
      for (std::size_t i = 0; i < pairs.size(); ++i) {
        PendingError pending;
        const SearchParams pi = p;  // each search has its own memory budget
        std::optional<typename D::G> scratch;
        const auto& gi = graph_for<D>(g, pairs[i].first, pairs[i].second, scratch);
        Ref r =
            run_with_callable(module, gi, pairs[i].first, pairs[i].second, pi, h.callable, pending);
        PyList_SET_ITEM(out.get(), Py_ssize_t(i), r.release());
      }
      converted = true;
      return;
    }
    table.with(h.name, [&](const auto& heuristic) {
      ReleaseGil nogil;
      for (std::size_t i = 0; i < pairs.size(); ++i) {
        std::optional<typename D::G> scratch;
        const auto& gi = graph_for<D>(g, pairs[i].first, pairs[i].second, scratch);
        RunOptions options = p.options;
        options.budget = &budgets[i];
        results[i] = run_algo(gi, heuristic, pairs[i].first, pairs[i].second, p.algorithm, options);
      }
    });
  });
  if (converted) return out.release();
  const ModuleState& state = state_of(module);
  for (std::size_t i = 0; i < pairs.size(); ++i)
    PyList_SET_ITEM(out.get(), Py_ssize_t(i),
                    to_py_result(state, std::move(results[i]), budgets[i]).release());
  return out.release();
}

// The search() and _search_batch() methods of a domain's class.
template <class V>
PyMethodDef search_def(const char* doc) {
  return method_def<search_method<V>>("search", doc);
}
template <class V>
PyMethodDef batch_def() {
  return method_def<search_batch<V>>("_search_batch", nullptr);
}

// ---- one-to-all distances ------------------------------------------------------

inline double to_limit(PyObject* o) {
  if (is_none(o)) return std::numeric_limits<double>::infinity();
  const double limit = to_f64("limit", o);
  if (std::isnan(limit) || limit < 0.0) throw UsageError("limit must be a non-negative number");
  return limit;
}

// A bytearray of `count` elements of T, written to while the lock is released
// (nothing else can see it yet).
template <class T>
Ref new_array(std::size_t count) {
  if (count > std::size_t(PY_SSIZE_T_MAX) / sizeof(T)) throw std::bad_alloc();
  return check(PyByteArray_FromStringAndSize(nullptr, Py_ssize_t(count * sizeof(T))));
}
template <class T>
T* data_of(const Ref& a) {
  return reinterpret_cast<T*>(PyByteArray_AS_STRING(a.get()));
}

}  // namespace wayloom::py
