// Module initialisation: the one ordered method table.
#include "docs.hpp"
#include "entry_points.hpp"
#include "module_state.hpp"
#include "result.hpp"

namespace wayloom::py {
namespace {

// PyCFunction is the declared slot type; METH_KEYWORDS tells the interpreter
// the real signature.
#define WAYLOOM_ENTRY(fn, doc)                                                      \
  {#fn, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(entry<fn>)), \
   METH_VARARGS | METH_KEYWORDS, doc}

PyMethodDef methods[] = {
    WAYLOOM_ENTRY(search_grid, docs::search_grid),
    WAYLOOM_ENTRY(search_grid_costs, docs::search_grid_costs),
    WAYLOOM_ENTRY(search_graph, docs::search_graph),
    WAYLOOM_ENTRY(search_implicit, docs::search_implicit),
    WAYLOOM_ENTRY(gen_erdos_renyi, docs::gen_erdos_renyi),
    WAYLOOM_ENTRY(gen_barabasi_albert, docs::gen_barabasi_albert),
    WAYLOOM_ENTRY(gen_watts_strogatz, docs::gen_watts_strogatz),
    WAYLOOM_ENTRY(sample_maze, docs::sample_maze),
    WAYLOOM_ENTRY(random_maze_ascii, docs::random_maze_ascii),
    WAYLOOM_ENTRY(bellman_ford, docs::bellman_ford),
    WAYLOOM_ENTRY(floyd_warshall, docs::floyd_warshall),
    WAYLOOM_ENTRY(search_npuzzle, docs::search_npuzzle),
    WAYLOOM_ENTRY(search_hanoi, docs::search_hanoi),
    WAYLOOM_ENTRY(search_wordladder, docs::search_wordladder),
    {nullptr, nullptr, 0, nullptr},
};

int traverse(PyObject* module, visitproc visit, void* arg) {
  ModuleState* s = static_cast<ModuleState*>(PyModule_GetState(module));
  if (!s) return 0;
  Py_VISIT(s->panic_exception);
  Py_VISIT(s->search_result_type);
  Py_VISIT(s->shortest_paths_type);
  Py_VISIT(s->all_pairs_type);
  return 0;
}

int clear(PyObject* module) {
  ModuleState* s = static_cast<ModuleState*>(PyModule_GetState(module));
  if (!s) return 0;
  Py_CLEAR(s->panic_exception);
  Py_CLEAR(s->search_result_type);
  Py_CLEAR(s->shortest_paths_type);
  Py_CLEAR(s->all_pairs_type);
  return 0;
}

void free_module(void* module) { clear(static_cast<PyObject*>(module)); }

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "wayloom_native",
    "",
    sizeof(ModuleState),
    methods,
    nullptr,
    traverse,
    clear,
    free_module,
};

}  // namespace
}  // namespace wayloom::py

PyMODINIT_FUNC PyInit_wayloom_native() {
  using namespace wayloom::py;
  PyObject* module = PyModule_Create(&module_def);
  if (!module) return nullptr;
  ModuleState& s = state_of(module);
  s = ModuleState{};
  s.panic_exception =
      PyErr_NewExceptionWithDoc("wayloom_native.PanicException",
                                "An internal precondition of the engine failed; the single "
                                "argument is the failure text.",
                                PyExc_BaseException, nullptr);
  if (!s.panic_exception ||
      PyModule_AddObjectRef(module, "PanicException", s.panic_exception) < 0 ||
      add_search_result_type(module) < 0 || add_path_types(module) < 0) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}
