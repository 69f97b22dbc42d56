// The private module wayloom._engine: the domains' classes, built once and
// searched many times. Each class lives with its domain in
// binding/domains/<domain>.cpp; this file only registers them.
#include "../module_state.hpp"
#include "../shell.hpp"

namespace wayloom::py {

// Every class of the module, in registration order; adding one is a line here.
// clang-format off
#define WAYLOOM_CLASSES(X) \
  X(graph_class) \
  X(grid_class) \
  X(ladder_class)
// clang-format on

#define WAYLOOM_DECLARE_CLASS(spec) extern const ClassSpec spec;
WAYLOOM_CLASSES(WAYLOOM_DECLARE_CLASS)

namespace {

#define WAYLOOM_CLASS_ROW(spec) &spec,
const ClassSpec* const classes[] = {WAYLOOM_CLASSES(WAYLOOM_CLASS_ROW)};

PyModuleDef engine_def = module_def("wayloom._engine", nullptr);

}  // namespace
}  // namespace wayloom::py

PyMODINIT_FUNC PyInit__engine() {
  using namespace wayloom::py;
  PyObject* module = create_module(engine_def);
  if (!module) return nullptr;
  ModuleState& s = state_of(module);
  // Results are wayloom_native's own SearchResult and failures its
  // PanicException, so both modules' results are one type.
  PyObject* native = PyImport_ImportModule("wayloom_native");
  if (native) {
    s.search_result_type = PyObject_GetAttrString(native, "SearchResult");
    s.panic_exception = PyObject_GetAttrString(native, "PanicException");
    Py_DECREF(native);
  }
  bool ok = s.search_result_type && s.panic_exception;
  for (const ClassSpec* c : classes) ok = ok && add_class(module, *c) == 0;
  return finish_module(module, ok);
}
