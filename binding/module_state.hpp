// Per-module state: the exception and class objects created at import.
#pragma once

#include "args.hpp"
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

// The module definition's m_traverse and m_clear over every object the state holds.
inline int traverse_state(PyObject* module, visitproc visit, void* arg) {
  ModuleState* s = static_cast<ModuleState*>(PyModule_GetState(module));
  if (!s) return 0;
  Py_VISIT(s->panic_exception);
  Py_VISIT(s->search_result_type);
  Py_VISIT(s->shortest_paths_type);
  Py_VISIT(s->all_pairs_type);
  return 0;
}
inline int clear_state(PyObject* module) {
  ModuleState* s = static_cast<ModuleState*>(PyModule_GetState(module));
  if (!s) return 0;
  Py_CLEAR(s->panic_exception);
  Py_CLEAR(s->search_result_type);
  Py_CLEAR(s->shortest_paths_type);
  Py_CLEAR(s->all_pairs_type);
  return 0;
}
inline void free_state(void* module) { clear_state(static_cast<PyObject*>(module)); }

// The definition of a module whose state is a ModuleState.
inline PyModuleDef module_def(const char* name, PyMethodDef* methods) {
  return {PyModuleDef_HEAD_INIT, name,        "",        sizeof(ModuleState), methods, nullptr,
          traverse_state,        clear_state, free_state};
}

// The module with its state cleared, or NULL; an init fills the state, then
// returns finish_module(module, ok).
inline PyObject* create_module(PyModuleDef& def) {
  PyObject* module = PyModule_Create(&def);
  if (module) state_of(module) = ModuleState{};
  return module;
}
inline PyObject* finish_module(PyObject* module, bool ok) {
  if (ok) return module;
  Py_DECREF(module);
  return nullptr;
}

// Converts the C++ exception in flight into the Python exception to raise;
// always returns NULL so entry points can `return translate_exception(...)`.
PyObject* translate_exception(PyObject* module) noexcept;

// Wraps an entry point body as a METH_FASTCALL | METH_KEYWORDS function: any
// escaping C++ exception becomes a Python one.
template <PyObject* (*Body)(PyObject*, const Call&)>
PyObject* entry(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) noexcept {
  try {
    return Body(module, Call{args, PyVectorcall_NARGS(nargs), kwnames});
  } catch (...) {
    return translate_exception(module);
  }
}

// The same for a method of one of the module's classes (METH_METHOD): the
// defining class leads to the module, so methods see its state as functions do.
template <PyObject* (*Body)(PyObject* module, PyObject* self, const Call&)>
PyObject* method_entry(PyObject* self, PyTypeObject* defining_class, PyObject* const* args,
                       Py_ssize_t nargs, PyObject* kwnames) noexcept {
  PyObject* module = PyType_GetModule(defining_class);
  if (!module) return nullptr;
  try {
    return Body(module, self, Call{args, PyVectorcall_NARGS(nargs), kwnames});
  } catch (...) {
    return translate_exception(module);
  }
}

}  // namespace wayloom::py
