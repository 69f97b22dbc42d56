// The implicit-graph adapter: search_implicit, over a graph whose successors
// come from a Python callable.
#include <cstdint>
#include <vector>

#include "../search_common.hpp"

namespace wayloom::py {

namespace {

using State = std::vector<std::int64_t>;

constexpr const char* kBadState = "implicit-graph states must be an int or a sequence of ints";
constexpr const char* kBadPairs = "successors must return a list of (state, cost) pairs";

bool int64_of(PyObject* o, std::int64_t& out) {
  if (!PyLong_Check(o) && !PyIndex_Check(o)) return false;
  Ref i = Ref::steal(PyNumber_Index(o));
  if (!i) return false;
  const long long v = PyLong_AsLongLong(i.get());
  if (v == -1 && PyErr_Occurred()) return false;
  out = v;
  return true;
}

// An int is a one-element state; a sequence of ints (not a str) its items.
// Sets ValueError and returns false on anything else.
bool py_to_state(PyObject* o, State& out) {
  out.clear();
  std::int64_t v = 0;
  bool ok = false;
  if (int64_of(o, v)) {
    out.push_back(v);
    ok = true;
  } else if (!PyUnicode_Check(o) && PySequence_Check(o)) {
    PyErr_Clear();
    Ref fast = Ref::steal(PySequence_Fast(o, kBadState));
    if (fast) {
      const Py_ssize_t n = PySequence_Fast_GET_SIZE(fast.get());
      out.reserve(std::size_t(n));
      ok = true;
      for (Py_ssize_t i = 0; i < n && ok; ++i) {
        ok = int64_of(PySequence_Fast_GET_ITEM(fast.get(), i), v);
        if (ok) out.push_back(v);
      }
    }
  }
  if (!ok) {
    // The underlying error is deliberately replaced by the fixed message.
    PyErr_Clear();
    PyErr_SetString(PyExc_ValueError, kBadState);
  }
  return ok;
}

// The graph interface over a successor callable. Failures go to the pending
// slot; after one, no more Python calls are made and every node has no
// successors, so the search drains by itself.
class PyImplicitGraph {
 public:
  using node_type = State;

  PyImplicitGraph(PyObject* successors, PendingError& slot)
      : successors_(successors), slot_(&slot) {}

  void neighbors_into(const State& state, Neighbors<State>& out) const {
    if (slot_->has()) return;
    EnsureGil gil;
    const std::size_t before = out.size();
    if (!try_neighbors(state, out)) {
      out.resize(before);
      slot_->capture();
    }
  }

 private:
  bool try_neighbors(const State& state, Neighbors<State>& out) const {
    try {
      Ref arg = to_py(state);
      Ref result = Ref::steal(PyObject_CallOneArg(successors_, arg.get()));
      if (!result) return false;
      PyObject* r = result.get();
      Ref fast;
      if (!PyUnicode_Check(r) && PySequence_Check(r))
        fast = Ref::steal(PySequence_Fast(r, kBadPairs));
      if (!fast) return bad_pairs();
      const Py_ssize_t n = PySequence_Fast_GET_SIZE(fast.get());
      // First every pair's shape and cost, then every state, as two passes.
      std::vector<double> costs(static_cast<std::size_t>(n));
      for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* pair = PySequence_Fast_GET_ITEM(fast.get(), i);
        if (!PyTuple_Check(pair) || PyTuple_GET_SIZE(pair) != 2) return bad_pairs();
        const double c = PyFloat_AsDouble(PyTuple_GET_ITEM(pair, 1));
        if (c == -1.0 && PyErr_Occurred()) return bad_pairs();
        costs[std::size_t(i)] = c;
      }
      out.reserve(out.size() + std::size_t(n));
      State s;
      for (Py_ssize_t i = 0; i < n; ++i) {
        if (!py_to_state(PyTuple_GET_ITEM(PySequence_Fast_GET_ITEM(fast.get(), i), 0), s))
          return false;
        out.emplace_back(s, costs[std::size_t(i)]);
      }
      return true;
    } catch (const ErrorAlreadySet&) {
      return false;
    } catch (const std::bad_alloc&) {
      PyErr_NoMemory();
      return false;
    }
  }

  static bool bad_pairs() {
    PyErr_Clear();
    PyErr_SetString(PyExc_ValueError, kBadPairs);
    return false;
  }

  PyObject* successors_;  // borrowed: the entry point holds it for the call
  PendingError* slot_;
};

}  // namespace

extern const char search_implicit_doc[] =
    "search_implicit(successors, start, goal, algorithm=\"astar\", heuristic=None, record=True, "
    "weight=2.0, beam_width=None, depth_limit=None, max_nodes=None, reopen=False)\n--\n\n"
    "Search an implicit graph defined by a Python successor callable\n"
    "`successors(state) -> [(state, cost), ...]`. States are ints or tuples of\n"
    "ints. `heuristic`, if given, is a callable `h(state, goal) -> float`.";

PyObject* search_implicit(PyObject* module, const Call& call) {
  static constexpr Params<11> kParams{
      "search_implicit",
      {"successors", "start", "goal", "algorithm", "heuristic", "record", "weight", "beam_width",
       "depth_limit", "max_nodes", "reopen"},
      3};
  const auto a = bind(kParams, call);
  const SearchParams p = convert_shared<kParams>(a, "astar");
  State start, goal;
  if (!py_to_state(a[1], start) || !py_to_state(a[2], goal)) throw ErrorAlreadySet{};

  // Held for the whole call so the callables outlive the search.
  const Ref successors = Ref::borrow(a[0]);
  const Ref heuristic = Ref::borrow(is_none(p.heuristic) ? nullptr : p.heuristic);
  PendingError pending;
  const PyImplicitGraph graph(successors.get(), pending);
  const PyHeuristic<State> h(heuristic.get(), pending);
  SearchResult<State> result = run_algo(graph, h, start, goal, p.algorithm, p.run_options());
  pending.raise_if_set();
  return to_py_result(state_of(module), std::move(result), p.budget).release();
}

}  // namespace wayloom::py
