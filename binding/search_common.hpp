// What every search_* entry point shares: the shared parameters, heuristic
// resolution, running the catalogue with or without the interpreter lock, and
// raising a recorded callback failure instead of the result.
#pragma once

#include <string>
#include <string_view>

#include "args.hpp"
#include "budget.hpp"
#include "callbacks.hpp"
#include "module_state.hpp"
#include "result.hpp"
#include "wayloom/catalogue.hpp"

namespace wayloom::py {

struct SearchParams {
  std::string algorithm;
  PyObject* heuristic = nullptr;  // borrowed; NULL or None when absent
  RunOptions options;
  // The call's memory budget; charged by the search and the result
  // conversion, which see the parameters as const.
  mutable MemoryBudget budget;

  // The options with the budget attached.
  RunOptions run_options() const {
    RunOptions o = options;
    o.budget = &budget;
    return o;
  }
};

// Converts the options every search entry point shares, found by name in the
// entry point's parameter table (at compile time).
template <const auto& P, std::size_t K>
SearchParams convert_shared(const Bound<K>& a, const char* default_algorithm) {
  constexpr std::size_t algorithm = P.index("algorithm"), heuristic = P.index("heuristic"),
                        record = P.index("record"), weight = P.index("weight"),
                        beam_width = P.index("beam_width"), depth_limit = P.index("depth_limit"),
                        max_nodes = P.index("max_nodes"), reopen = P.index("reopen");
  SearchParams p;
  p.algorithm = a[algorithm] ? std::string(to_str("algorithm", a[algorithm])) : default_algorithm;
  p.heuristic = a[heuristic];
  p.options.record = a[record] ? to_bool("record", a[record]) : true;
  p.options.weight = a[weight] ? to_f64("weight", a[weight]) : 2.0;
  const auto width = to_opt_u64("beam_width", a[beam_width]);
  p.options.beam_width = width ? *width : RunOptions{}.beam_width;
  p.options.depth_limit = to_opt_u64("depth_limit", a[depth_limit]);
  p.options.max_nodes = to_opt_u64("max_nodes", a[max_nodes]);
  p.options.reopen = a[reopen] ? to_bool("reopen", a[reopen]) : false;
  p.budget = call_budget("max_nodes or depth_limit");
  return p;
}

// A heuristic argument: a name (not yet checked) or a callable.
struct ResolvedHeuristic {
  std::string name;
  PyObject* callable = nullptr;  // borrowed
};

inline ResolvedHeuristic resolve_heuristic(PyObject* h, std::string_view default_name) {
  if (is_none(h)) return {std::string(default_name), nullptr};
  if (PyUnicode_Check(h)) return {std::string(to_str("heuristic", h)), nullptr};
  if (PyCallable_Check(h)) return {{}, h};
  raise(PyExc_ValueError, "heuristic must be a name (str) or a callable h(node, goal) -> float");
}

// Runs a built-in (native) heuristic with the interpreter lock released.
// `table.with(name, run)` (the domain's heuristic table) calls run(heuristic)
// or throws the domain's unknown-heuristic error before anything is searched.
template <class G, class Table>
Ref run_native(PyObject* module, const G& graph, const node_t<G>& start, const node_t<G>& goal,
               const SearchParams& p, const std::string& heuristic_name, const Table& table) {
  SearchResult<node_t<G>> result;
  {
    ReleaseGil nogil;
    table.with(heuristic_name, [&](const auto& h) {
      result = run_algo(graph, h, start, goal, p.algorithm, p.run_options());
    });
  }
  return to_py_result(state_of(module), std::move(result), p.budget);
}

// Runs with a Python-backed heuristic, holding the lock; a recorded failure
// replaces the result.
template <class G>
Ref run_with_callable(PyObject* module, const G& graph, const node_t<G>& start,
                      const node_t<G>& goal, const SearchParams& p, PyObject* callable,
                      PendingError& pending) {
  Ref keep = Ref::borrow(callable);
  PyHeuristic<node_t<G>> h(callable, pending);
  SearchResult<node_t<G>> result = run_algo(graph, h, start, goal, p.algorithm, p.run_options());
  pending.raise_if_set();
  return to_py_result(state_of(module), std::move(result), p.budget);
}

// The whole search step of an entry point: a callable heuristic runs with the
// lock held, a name is looked up in the domain's table and runs without it.
template <class G, class Table>
Ref run_search(PyObject* module, const G& graph, const node_t<G>& start, const node_t<G>& goal,
               const SearchParams& p, const Table& table) {
  PendingError pending;
  const ResolvedHeuristic h = resolve_heuristic(p.heuristic, table.default_name());
  if (h.callable) return run_with_callable(module, graph, start, goal, p, h.callable, pending);
  return run_native(module, graph, start, goal, p, h.name, table);
}

}  // namespace wayloom::py
