#include "result.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>

namespace wayloom::py {

namespace {

struct SearchResultObject {
  PyObject ob_base;  // what PyObject_HEAD stands for
  PyObject* path;    // list or NULL
  PyObject* trace;   // list, or NULL until first read
  PyObject* tree;    // list, or NULL until first read
  LazyRecord* record;
  double cost;
  double elapsed;
  Counters counters;
  StopReason stop;
};

SearchResultObject* self_of(PyObject* o) { return reinterpret_cast<SearchResultObject*>(o); }

// What a result pickles as, in _make_result's parameter order.
constexpr Params<10> kMakeParams{
    "_make_result",
    {"path", "cost", "nodes_expanded", "nodes_generated", "nodes_reopened", "max_frontier_size",
     "elapsed", "stop_reason", "trace", "tree"},
    10};
constexpr const auto& kFields = kMakeParams.names;

void drop_record_if_done(SearchResultObject* s) {
  if (s->record && s->trace && s->tree) {
    delete s->record;
    s->record = nullptr;
  }
}

// Converts one lazily kept list on first read; later reads return the same list.
PyObject* lazy_list(SearchResultObject* s, PyObject** slot, Ref (LazyRecord::*convert)()) {
  if (!*slot) {
    try {
      Ref list = s->record ? (s->record->*convert)() : check(PyList_New(0));
      if (!*slot) *slot = list.release();  // a re-entrant read may have filled it
    } catch (...) {
      return translate_exception(nullptr);
    }
    drop_record_if_done(s);
  }
  return Py_NewRef(*slot);
}

PyObject* get_path(PyObject* o, void*) {
  PyObject* p = self_of(o)->path;
  return Py_NewRef(p ? p : Py_None);
}
PyObject* get_cost(PyObject* o, void*) { return PyFloat_FromDouble(self_of(o)->cost); }
PyObject* get_found(PyObject* o, void*) { return PyBool_FromLong(self_of(o)->path != nullptr); }
template <std::uint64_t Counters::* Field>
PyObject* get_counter(PyObject* o, void*) {
  return PyLong_FromUnsignedLongLong(self_of(o)->counters.*Field);
}
PyObject* get_elapsed(PyObject* o, void*) { return PyFloat_FromDouble(self_of(o)->elapsed); }
PyObject* get_stop(PyObject* o, void*) {
  const std::string_view t = stop_reason_text(self_of(o)->stop);
  return PyUnicode_FromStringAndSize(t.data(), Py_ssize_t(t.size()));
}
PyObject* get_trace(PyObject* o, void*) {
  SearchResultObject* s = self_of(o);
  return lazy_list(s, &s->trace, &LazyRecord::trace_list);
}
PyObject* get_tree(PyObject* o, void*) {
  SearchResultObject* s = self_of(o);
  return lazy_list(s, &s->tree, &LazyRecord::tree_list);
}

PyGetSetDef getset[] = {
    {"path", get_path, nullptr, nullptr, nullptr},
    {"cost", get_cost, nullptr, nullptr, nullptr},
    {"found", get_found, nullptr, nullptr, nullptr},
    {"nodes_expanded", get_counter<&Counters::nodes_expanded>, nullptr, nullptr, nullptr},
    {"nodes_generated", get_counter<&Counters::nodes_generated>, nullptr, nullptr, nullptr},
    {"nodes_reopened", get_counter<&Counters::nodes_reopened>, nullptr, nullptr, nullptr},
    {"max_frontier_size", get_counter<&Counters::max_frontier_size>, nullptr, nullptr, nullptr},
    {"elapsed", get_elapsed, nullptr, nullptr, nullptr},
    {"stop_reason", get_stop, nullptr, nullptr, nullptr},
    {"trace", get_trace, nullptr, nullptr, nullptr},
    {"tree", get_tree, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Shortest round-trip decimal, never an exponent, no ".0" for integral values:
// take the shortest digits in scientific form, then place the point by hand
// (fixed-format output would print every digit of a large binary value).
std::string format_cost(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  const char* e = std::find(buf, r.ptr, 'e');
  int exponent = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), r.ptr, exponent);
  std::string out;
  char digits[32];
  int n = 0;
  for (const char* c = buf; c != e; ++c) {
    if (*c == '-')
      out.push_back('-');
    else if (*c != '.')
      digits[n++] = *c;
  }
  // The value is 0.d1d2...dn x 10^(exponent + 1).
  const int point = exponent + 1;
  if (point <= 0) {
    out.append("0.");
    out.append(std::size_t(-point), '0');
    out.append(digits, std::size_t(n));
  } else if (point >= n) {
    out.append(digits, std::size_t(n));
    out.append(std::size_t(point - n), '0');
  } else {
    out.append(digits, std::size_t(point));
    out.push_back('.');
    out.append(digits + point, std::size_t(n - point));
  }
  return out;
}

PyObject* repr(PyObject* o) {
  const SearchResultObject* s = self_of(o);
  const bool found = s->path != nullptr;
  char elapsed[64];
  std::snprintf(elapsed, sizeof elapsed, "%.6f", s->elapsed);
  const std::string text = std::string("SearchResult(found=") + (found ? "True" : "False") +
                           ", cost=" + (found ? format_cost(s->cost) : "inf") +
                           ", expanded=" + std::to_string(s->counters.nodes_expanded) +
                           ", frontier=" + std::to_string(s->counters.max_frontier_size) +
                           ", elapsed=" + elapsed +
                           ", stop=" + std::string(stop_reason_text(s->stop)) + ")";
  return PyUnicode_FromStringAndSize(text.data(), Py_ssize_t(text.size()));
}

PyObject* no_constructor(PyTypeObject*, PyObject*, PyObject*) {
  PyErr_SetString(PyExc_TypeError, "No constructor defined for SearchResult");
  return nullptr;
}

// The lists are mutable and handed out, so a caller can build a cycle through
// them: take part in garbage collection.
int traverse(PyObject* o, visitproc visit, void* arg) {
  SearchResultObject* s = self_of(o);
  Py_VISIT(Py_TYPE(o));
  Py_VISIT(s->path);
  Py_VISIT(s->trace);
  Py_VISIT(s->tree);
  return 0;
}

int clear(PyObject* o) {
  SearchResultObject* s = self_of(o);
  Py_CLEAR(s->path);
  Py_CLEAR(s->trace);
  Py_CLEAR(s->tree);
  return 0;
}

void dealloc(PyObject* o) {
  PyTypeObject* type = Py_TYPE(o);
  PyObject_GC_UnTrack(o);
  clear(o);
  delete self_of(o)->record;
  type->tp_free(o);
  Py_DECREF(type);
}

constexpr char kSearchResultDoc[] =
    "The outcome of a search.\n"
    "\n"
    "Attributes:\n"
    "    path (list | None): nodes from start to goal, or ``None`` if unreachable.\n"
    "        Grid nodes are ``(row, col)`` tuples; graph nodes are ints; implicit\n"
    "        nodes are ints or tuples (as your successor function returns them).\n"
    "    cost (float): total cost of ``path`` (``inf`` if none).\n"
    "    found (bool): whether a path was found.\n"
    "    nodes_expanded (int): nodes taken off the frontier and expanded. A node\n"
    "        re-expanded after being reopened counts again.\n"
    "    nodes_generated (int): nodes ever pushed onto the frontier.\n"
    "    nodes_reopened (int): how many times a closed node was reopened because a\n"
    "        cheaper path to it turned up. Always ``0`` unless ``reopen=True``; a\n"
    "        non-zero count is the signature of an inconsistent heuristic.\n"
    "    max_frontier_size (int): peak frontier size (a memory proxy).\n"
    "    elapsed (float): seconds the search itself took (excluding building the\n"
    "        graph and converting the result). The companion to\n"
    "        ``nodes_expanded``, which is machine-independent.\n"
    "    stop_reason (str): ``\"goal\"``, ``\"exhausted\"`` or ``\"node_limit\"``.\n"
    "    trace (list): per-expansion ``(node, g, frontier_size)`` tuples; empty if\n"
    "        ``record=False``. Replaying ``node`` reproduces the search order\n"
    "        (this drives the visualization in Phase 4). ``g`` is the cost from the\n"
    "        start when the node was expanded, or ``None`` where that is not a\n"
    "        meaningful question \xe2\x80\x94 ``bidirectional`` expands half of its nodes in a\n"
    "        frontier growing backwards from the goal.\n"
    "    tree (list): edges ``(parent, child)`` of the search tree (each node's\n"
    "        best-known parent); empty if ``record=False``. Drives\n"
    "        ``viz.plot_search_tree``. Empty for the iterative-deepening and\n"
    "        bidirectional algorithms.";

// Pickles by value through wayloom_native._make_result, so a worker process
// that imported only this module can send its results back.
PyObject* reduce(PyObject* o, PyObject*) {
  PyObject* module = PyType_GetModule(Py_TYPE(o));
  if (!module) return nullptr;
  Ref make = Ref::steal(PyObject_GetAttrString(module, "_make_result"));
  if (!make) return nullptr;
  Ref fields = Ref::steal(PyTuple_New(std::size(kFields)));
  if (!fields) return nullptr;
  for (std::size_t i = 0; i < std::size(kFields); ++i) {
    PyObject* value = PyObject_GetAttrString(o, kFields[i]);
    if (!value) return nullptr;
    PyTuple_SET_ITEM(fields.get(), Py_ssize_t(i), value);
  }
  return PyTuple_Pack(2, make.get(), fields.get());
}

PyMethodDef methods[] = {
    {"__reduce__", reduce, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>(kSearchResultDoc)},
    {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(clear)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_getset, getset},
    {Py_tp_methods, methods},
    {0, nullptr},
};

PyType_Spec spec = {
    "wayloom_native.SearchResult",
    sizeof(SearchResultObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

}  // namespace

Ref make_search_result(const ModuleState& state, ResultFields f) {
  auto* type = reinterpret_cast<PyTypeObject*>(state.search_result_type);
  PyObject* o = type->tp_alloc(type, 0);
  if (!o) throw ErrorAlreadySet{};
  SearchResultObject* s = self_of(o);
  s->path = f.path.release();
  s->trace = nullptr;
  s->tree = nullptr;
  s->record = f.record.release();
  s->cost = f.cost;
  s->elapsed = f.elapsed;
  s->counters = f.counters;
  s->stop = f.stop;
  return Ref::steal(o);
}

namespace {

// Trace and tree already as lists.
class ListRecord final : public LazyRecord {
 public:
  ListRecord(Ref trace, Ref tree) : trace_(std::move(trace)), tree_(std::move(tree)) {}
  Ref trace_list() override { return std::move(trace_); }
  Ref tree_list() override { return std::move(tree_); }

 private:
  Ref trace_, tree_;
};

}  // namespace

PyObject* make_result(PyObject* module, const Call& call) {
  const auto a = bind(kMakeParams, call);
  ResultFields f;
  if (!is_none(a[0])) {
    if (!PyList_Check(a[0])) argument_error(PyExc_TypeError, "path", "expected list or None");
    f.path = Ref::borrow(a[0]);
  }
  f.cost = to_f64("cost", a[1]);
  f.counters = Counters{to_u64("nodes_expanded", a[2]), to_u64("nodes_generated", a[3]),
                        to_u64("nodes_reopened", a[4]), to_u64("max_frontier_size", a[5])};
  f.elapsed = to_f64("elapsed", a[6]);
  const std::string_view stop = to_str("stop_reason", a[7]);
  if (stop == "goal")
    f.stop = StopReason::Goal;
  else if (stop == "exhausted")
    f.stop = StopReason::Exhausted;
  else if (stop == "node_limit")
    f.stop = StopReason::NodeLimit;
  else
    throw UsageError("unknown stop reason: '" + std::string(stop) + "'");
  if (!PyList_Check(a[8]) || !PyList_Check(a[9]))
    raise(PyExc_TypeError, "trace and tree must be lists");
  f.record = std::make_unique<ListRecord>(Ref::borrow(a[8]), Ref::borrow(a[9]));
  return make_search_result(state_of(module), std::move(f)).release();
}

int add_search_result_type(PyObject* module) {
  PyObject* type = PyType_FromModuleAndSpec(module, &spec, nullptr);
  if (!type) return -1;
  state_of(module).search_result_type = type;
  return PyModule_AddObjectRef(module, "SearchResult", type);
}

}  // namespace wayloom::py
