// Node conversion to Python: one rule per node type.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "py_ref.hpp"
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

// Cells of one grid for a batch of results: the ints 0 .. bound - 1 made once
// and shared, where most would be allocated one by one (only small ones are
// cached by the interpreter).
class CellInts {
 public:
  explicit CellInts(std::int32_t bound) : ints_(check(PyTuple_New(bound))) {
    for (std::int32_t i = 0; i < bound; ++i)
      PyTuple_SET_ITEM(ints_.get(), i, check(PyLong_FromLong(i)).release());
  }

  Ref operator()(const Cell& c) const {
    const Py_ssize_t n = PyTuple_GET_SIZE(ints_.get());
    if (c.row < 0 || c.col < 0 || c.row >= n || c.col >= n) return to_py(c);
    return cell_tuple(Ref::borrow(PyTuple_GET_ITEM(ints_.get(), c.row)),
                      Ref::borrow(PyTuple_GET_ITEM(ints_.get(), c.col)));
  }

 private:
  Ref ints_;
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
