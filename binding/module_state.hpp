// Per-module state: the exception and class objects created at import.
#pragma once

#include "py_ref.hpp"

namespace wayloom::py {

struct ModuleState {
  PyObject* panic_exception;  // PanicException, derived from BaseException
  PyObject* search_result_type;
  PyObject* shortest_paths_type;
  PyObject* all_pairs_type;
};

inline ModuleState& state_of(PyObject* module) {
  return *static_cast<ModuleState*>(PyModule_GetState(module));
}

// Converts the C++ exception in flight into the Python exception to raise;
// always returns NULL so entry points can `return translate_exception(...)`.
PyObject* translate_exception(PyObject* module) noexcept;

// Wraps an entry point body: any escaping C++ exception becomes a Python one.
template <PyObject* (*Body)(PyObject*, PyObject*, PyObject*)>
PyObject* entry(PyObject* module, PyObject* args, PyObject* kwargs) noexcept {
  try {
    return Body(module, args, kwargs);
  } catch (...) {
    return translate_exception(module);
  }
}

}  // namespace wayloom::py
