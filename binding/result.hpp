// The Python SearchResult class and the conversion of a core result into it.
// Path and counters are converted at once; trace and tree stay native until
// first read (then converted once and cached), so record=True costs little
// when nobody looks at them.
#pragma once

#include <memory>
#include <utility>

#include "budget.hpp"
#include "module_state.hpp"
#include "nodes.hpp"
#include "wayloom/core/result.hpp"

namespace wayloom::py {

// Pauses the cyclic garbage collector while a large batch of tuples is built:
// none of them can form a cycle, and collections triggered by the allocations
// would otherwise dominate the conversion.
class PauseGc {
 public:
  PauseGc() noexcept : was_enabled_(PyGC_Disable()) {}
  ~PauseGc() {
    if (was_enabled_ == 1) PyGC_Enable();
  }
  PauseGc(const PauseGc&) = delete;
  PauseGc& operator=(const PauseGc&) = delete;

 private:
  int was_enabled_;
};

// Type-erased native trace and tree of one result.
class LazyRecord {
 public:
  virtual ~LazyRecord() = default;
  virtual Ref trace_list() = 0;
  virtual Ref tree_list() = 0;
};

template <class N>
class NativeRecord final : public LazyRecord {
 public:
  NativeRecord(std::vector<TraceStep<N>> trace, std::vector<std::pair<N, N>> tree)
      : trace_(std::move(trace)), tree_(std::move(tree)) {}

  Ref trace_list() override {
    std::size_t bytes = 0;
    if constexpr (kPlainNode<N>)  // every node converts to objects of one size
      bytes = trace_.empty()
                  ? 0
                  : trace_.size() * (py_tuple_bytes(3) + py_bytes(trace_[0].node) + 24 + 32);
    else
      for (const TraceStep<N>& s : trace_) bytes += py_tuple_bytes(3) + py_bytes(s.node) + 24 + 32;
    call_budget().require(bytes, Use::Output, "the trace list");
    PauseGc pause;
    Ref list = check(PyList_New(Py_ssize_t(trace_.size())));
    for (std::size_t i = 0; i < trace_.size(); ++i) {
      const TraceStep<N>& s = trace_[i];
      Ref node = to_py(s.node);
      Ref g = s.g ? check(PyFloat_FromDouble(*s.g)) : Ref::borrow(Py_None);
      Ref fs = check(PyLong_FromUnsignedLongLong(s.frontier_size));
      PyList_SET_ITEM(list.get(), Py_ssize_t(i),
                      check(PyTuple_Pack(3, node.get(), g.get(), fs.get())).release());
    }
    std::vector<TraceStep<N>>().swap(trace_);
    return list;
  }

  Ref tree_list() override {
    std::size_t bytes = 0;
    if constexpr (kPlainNode<N>)
      bytes = tree_.empty() ? 0 : tree_.size() * (py_tuple_bytes(2) + 2 * py_bytes(tree_[0].first));
    else
      for (const auto& [a, b] : tree_) bytes += py_tuple_bytes(2) + py_bytes(a) + py_bytes(b);
    call_budget().require(bytes, Use::Output, "the tree list");
    PauseGc pause;
    Ref list = check(PyList_New(Py_ssize_t(tree_.size())));
    for (std::size_t i = 0; i < tree_.size(); ++i) {
      Ref a = to_py(tree_[i].first), b = to_py(tree_[i].second);
      PyList_SET_ITEM(list.get(), Py_ssize_t(i),
                      check(PyTuple_Pack(2, a.get(), b.get())).release());
    }
    std::vector<std::pair<N, N>>().swap(tree_);
    return list;
  }

 private:
  std::vector<TraceStep<N>> trace_;
  std::vector<std::pair<N, N>> tree_;
};

struct ResultFields {
  Ref path;  // NULL when absent
  double cost;
  Counters counters;
  double elapsed;
  StopReason stop;
  std::unique_ptr<LazyRecord> record;
};

// Creates the Python object; takes the fields over.
Ref make_search_result(const ModuleState& state, ResultFields fields);

// wayloom_native._make_result(path, cost, ...): a result from its fields, the
// rebuilder its pickles name.
PyObject* make_result(PyObject* module, const Call& call);

// Registers the SearchResult class on the module (at import).
int add_search_result_type(PyObject* module);

// `node` converts the path's nodes (to_py unless a batch shares a converter).
template <class N, class Convert>
Ref to_py_result(const ModuleState& state, SearchResult<N>&& r, MemoryBudget& budget,
                 Convert&& node) {
  ResultFields f;
  if (r.path) {
    std::size_t bytes = 0;
    for (const N& n : *r.path) bytes += 8 + py_bytes(n);
    budget.charge(bytes, Use::Output);
    Ref list = check(PyList_New(Py_ssize_t(r.path->size())));
    for (std::size_t i = 0; i < r.path->size(); ++i)
      PyList_SET_ITEM(list.get(), Py_ssize_t(i), node((*r.path)[i]).release());
    f.path = std::move(list);
  }
  f.cost = r.cost;
  f.counters = static_cast<const Counters&>(r);
  f.elapsed = double(r.elapsed.count() % 1000000000) / 1e9 + double(r.elapsed.count() / 1000000000);
  f.stop = r.stop_reason;
  f.record = std::make_unique<NativeRecord<N>>(std::move(r.trace), std::move(r.tree));
  return make_search_result(state, std::move(f));
}

template <class N>
Ref to_py_result(const ModuleState& state, SearchResult<N>&& r, MemoryBudget& budget) {
  return to_py_result(state, std::move(r), budget, [](const N& n) { return to_py(n); });
}

}  // namespace wayloom::py
