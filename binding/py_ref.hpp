// Owned Python references and interpreter-lock guards. The only headers that
// include Python.h live in binding/.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace wayloom::py {

// An owned (strong) reference; releases it on destruction.
class Ref {
 public:
  Ref() noexcept = default;
  static Ref steal(PyObject* o) noexcept { return Ref(o); }
  static Ref borrow(PyObject* o) noexcept {
    Py_XINCREF(o);
    return Ref(o);
  }
  Ref(const Ref& other) noexcept : p_(other.p_) { Py_XINCREF(p_); }
  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Ref& operator=(Ref other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~Ref() { Py_XDECREF(p_); }

  PyObject* get() const noexcept { return p_; }
  PyObject* release() noexcept { return std::exchange(p_, nullptr); }
  explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  explicit Ref(PyObject* o) noexcept : p_(o) {}
  PyObject* p_ = nullptr;
};

// A Python exception is already set; unwinds to the entry point, which
// returns NULL.
struct ErrorAlreadySet {};

// Throws ErrorAlreadySet when `o` is NULL, otherwise takes ownership.
inline Ref check(PyObject* o) {
  if (!o) throw ErrorAlreadySet{};
  return Ref::steal(o);
}

[[noreturn]] inline void raise(PyObject* type, const char* message) {
  PyErr_SetString(type, message);
  throw ErrorAlreadySet{};
}

// Lets other Python threads run for the lifetime of the guard. Nothing may
// touch a Python object meanwhile.
class ReleaseGil {
 public:
  ReleaseGil() noexcept : state_(PyEval_SaveThread()) {}
  ~ReleaseGil() { PyEval_RestoreThread(state_); }
  ReleaseGil(const ReleaseGil&) = delete;
  ReleaseGil& operator=(const ReleaseGil&) = delete;

 private:
  PyThreadState* state_;
};

// Re-entrant acquisition around a call into Python.
class EnsureGil {
 public:
  EnsureGil() noexcept : state_(PyGILState_Ensure()) {}
  ~EnsureGil() { PyGILState_Release(state_); }
  EnsureGil(const EnsureGil&) = delete;
  EnsureGil& operator=(const EnsureGil&) = delete;

 private:
  PyGILState_STATE state_;
};

}  // namespace wayloom::py
