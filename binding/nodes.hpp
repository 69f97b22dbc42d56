// Node conversion to Python: one rule per node type.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "py_ref.hpp"
#include "wayloom/core/memory_budget.hpp"
#include "wayloom/core/node.hpp"

namespace wayloom::py {

inline Ref to_py(std::size_t v) { return check(PyLong_FromSize_t(v)); }

// A pair of ints can hold no cycle: the collector need never look at it, so
// paths of many cells leave its passes short.
inline Ref cell_tuple(Ref row, Ref col) {
  Ref t = check(PyTuple_New(2));
  PyTuple_SET_ITEM(t.get(), 0, row.release());
  PyTuple_SET_ITEM(t.get(), 1, col.release());
  PyObject_GC_UnTrack(t.get());
  return t;
}

inline Ref to_py(const Cell& c) {
  Ref row = check(PyLong_FromLong(c.row));
  return cell_tuple(std::move(row), check(PyLong_FromLong(c.col)));
}

// The cells of one grid as tuples for a batch of results: each made once and
// shared by every path through it (tuples are immutable), which saves most of
// the allocating and nearly all of the freeing. The table, a pointer a cell,
// is zero pages until touched; a grid it would not fit in the budget gets
// each tuple made anew.
class CellTuples {
 public:
  CellTuples(std::int32_t height, std::int32_t width, MemoryBudget& budget) : width_(width) {
    const std::size_t cells = std::size_t(height) * std::size_t(width);
    if (!budget.fits(cells * sizeof(PyObject*))) return;
    table_.reset(static_cast<PyObject**>(std::calloc(cells, sizeof(PyObject*))));
    if (table_) budget.charge(cells * sizeof(PyObject*), Use::Output);
    height_ = table_ ? height : 0;
  }
  ~CellTuples() {
    for (const std::size_t i : made_) Py_DECREF(table_.get()[i]);
  }
  CellTuples(const CellTuples&) = delete;
  CellTuples& operator=(const CellTuples&) = delete;

  Ref operator()(const Cell& c) {
    if (c.row < 0 || c.row >= height_ || c.col < 0 || c.col >= width_) return to_py(c);
    const std::size_t i = std::size_t(c.row) * std::size_t(width_) + std::size_t(c.col);
    PyObject*& t = table_.get()[i];
    if (!t) {
      Ref made = to_py(c);
      made_.push_back(i);
      t = made.release();
    }
    return Ref::borrow(t);
  }

 private:
  struct Free {
    void operator()(PyObject** p) const noexcept { std::free(p); }
  };
  std::int32_t height_ = 0, width_;
  std::unique_ptr<PyObject*, Free> table_;
  std::vector<std::size_t> made_;
};

inline Ref to_py(const std::string& s) {
  return check(PyUnicode_DecodeUTF8(s.data(), Py_ssize_t(s.size()), "surrogatepass"));
}

// A one-element state is shown as a bare int, any other as a tuple.
inline Ref to_py(const std::vector<std::int64_t>& v) {
  if (v.size() == 1) return check(PyLong_FromLongLong(v[0]));
  Ref t = check(PyTuple_New(Py_ssize_t(v.size())));
  for (std::size_t i = 0; i < v.size(); ++i)
    PyTuple_SET_ITEM(t.get(), Py_ssize_t(i), check(PyLong_FromLongLong(v[i])).release());
  return t;
}

// Byte states (puzzle boards, Hanoi pegs) become tuples of ints.
template <class Bytes>
  requires requires(const Bytes& b) {
    b.size();
    b[0];
  } && (!std::is_same_v<Bytes, std::string>) && (!std::is_same_v<Bytes, std::vector<std::int64_t>>)
Ref to_py(const Bytes& b) {
  Ref t = check(PyTuple_New(Py_ssize_t(b.size())));
  for (std::size_t i = 0; i < b.size(); ++i)
    PyTuple_SET_ITEM(t.get(), Py_ssize_t(i), check(PyLong_FromLong(long(b[i]))).release());
  return t;
}

}  // namespace wayloom::py
