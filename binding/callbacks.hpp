// Python taking part in a search: the pending-error slot and the
// Python-backed heuristic. A failing callable never aborts a search: the first
// failure is recorded, Python is not called again, and the entry point raises
// the recorded exception after the search has drained.
#pragma once

#include "nodes.hpp"
#include "py_ref.hpp"

namespace wayloom::py {

// Holds at most one Python exception; used by one thread, owned by the entry
// point for the duration of one call.
class PendingError {
 public:
  PendingError() = default;
  PendingError(const PendingError&) = delete;
  PendingError& operator=(const PendingError&) = delete;
  ~PendingError() { clear(); }

  bool has() const noexcept { return type_ != nullptr; }

  // Moves the interpreter's current exception into the slot (first one wins).
  void capture() noexcept {
    PyObject *t, *v, *tb;
    PyErr_Fetch(&t, &v, &tb);
    if (has() || !t) {
      Py_XDECREF(t);
      Py_XDECREF(v);
      Py_XDECREF(tb);
      return;
    }
    type_ = t;
    value_ = v;
    tb_ = tb;
  }

  // Records `type(message)` unless something is recorded already.
  void set(PyObject* type, const char* message) noexcept {
    if (has()) return;
    PyErr_SetString(type, message);
    capture();
  }

  // Re-raises the recorded exception (throws ErrorAlreadySet) if any.
  void raise_if_set() {
    if (!has()) return;
    PyErr_Restore(type_, value_, tb_);
    type_ = value_ = tb_ = nullptr;
    throw ErrorAlreadySet{};
  }

 private:
  void clear() noexcept {
    Py_XDECREF(type_);
    Py_XDECREF(value_);
    Py_XDECREF(tb_);
    type_ = value_ = tb_ = nullptr;
  }
  PyObject* type_ = nullptr;
  PyObject* value_ = nullptr;
  PyObject* tb_ = nullptr;
};

// Records the exception in flight as a heuristic failure: ordinary exceptions
// become the fixed ValueError, with the original kept as its __cause__ so the
// traceback still shows what went wrong; an interrupt or exit request
// (KeyboardInterrupt, SystemExit: not Exception subclasses) is kept unchanged
// so Ctrl-C still means Ctrl-C.
inline void record_heuristic_failure(PendingError& slot) noexcept {
  if (slot.has() || (PyErr_Occurred() && !PyErr_ExceptionMatches(PyExc_Exception))) {
    slot.capture();  // keeps the first failure, drops this one
    return;
  }
  PyObject *type, *cause, *tb;
  PyErr_Fetch(&type, &cause, &tb);
  PyErr_NormalizeException(&type, &cause, &tb);
  // The traceback goes on a fresh exception only: an instance raised again and
  // again would otherwise grow its chain of frames with every call.
  if (cause && tb) {
    PyObject* had = PyException_GetTraceback(cause);
    if (!had) PyException_SetTraceback(cause, tb);
    Py_XDECREF(had);
  }
  Py_XDECREF(type);
  Py_XDECREF(tb);
  PyErr_SetString(PyExc_ValueError, "the heuristic callable must return a float");
  if (cause) {
    PyObject* value;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    if (value)
      PyException_SetCause(value, cause);  // steals cause
    else
      Py_DECREF(cause);
    PyErr_Restore(type, value, tb);
  }
  slot.capture();
}

// A heuristic backed by a Python callable h(node, goal) -> float; absent
// callable means 0.0 everywhere.
template <class N>
class PyHeuristic {
 public:
  PyHeuristic(PyObject* callable, PendingError& slot) noexcept
      : callable_(callable), slot_(&slot) {}

  double estimate(const N& node, const N& goal) const noexcept {
    if (!callable_ || slot_->has()) return 0.0;
    EnsureGil gil;
    try {
      Ref a = to_py(node);
      Ref b = to_py(goal);
      Ref r = Ref::steal(PyObject_CallFunctionObjArgs(callable_, a.get(), b.get(), nullptr));
      if (r) {
        const double v = PyFloat_AsDouble(r.get());
        if (!(v == -1.0 && PyErr_Occurred())) return v;
      }
    } catch (const ErrorAlreadySet&) {
    } catch (...) {
      PyErr_NoMemory();
    }
    record_heuristic_failure(*slot_);
    return 0.0;
  }

 private:
  PyObject* callable_;  // borrowed: the entry point holds it for the call
  PendingError* slot_;
};

}  // namespace wayloom::py
