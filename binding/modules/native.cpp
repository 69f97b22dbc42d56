// The public module wayloom_native: the one ordered method table. Each function
// lives with its domain (binding/domains/) or its family (binding/paths.cpp);
// this file only registers them.
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "../module_state.hpp"
#include "../result.hpp"
#include "wayloom/catalogue.hpp"
#include "wayloom/domains/csr_graph.hpp"
#include "wayloom/domains/grid.hpp"
#include "wayloom/domains/hanoi.hpp"
#include "wayloom/domains/npuzzle.hpp"
#include "wayloom/domains/wordladder.hpp"

namespace wayloom::py {

// Every module function, in registration order. Each is defined, with its
// docstring `<name>_doc`, in its family's file; adding one is a line here.
// clang-format off
#define WAYLOOM_FUNCTIONS(X) \
  X(search_grid) \
  X(search_grid_costs) \
  X(search_graph) \
  X(search_implicit) \
  X(gen_erdos_renyi) \
  X(gen_barabasi_albert) \
  X(gen_watts_strogatz) \
  X(sample_maze) \
  X(random_maze_ascii) \
  X(bellman_ford) \
  X(floyd_warshall) \
  X(search_npuzzle) \
  X(search_hanoi) \
  X(search_wordladder)
// clang-format on

#define WAYLOOM_DECLARE(fn)                         \
  PyObject* fn(PyObject* module, const Call& call); \
  extern const char fn##_doc[];
WAYLOOM_FUNCTIONS(WAYLOOM_DECLARE)

// Registers ShortestPaths and AllPairs (paths.cpp).
int add_path_types(PyObject* module);

namespace {

// PyCFunction is the declared slot type; the flags tell the interpreter the
// real signature.
#define WAYLOOM_FUNCTION_DEF(name, fn, doc)                                          \
  {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(entry<fn>)), \
   METH_FASTCALL | METH_KEYWORDS, doc},
#define WAYLOOM_METHOD(fn) WAYLOOM_FUNCTION_DEF(#fn, fn, fn##_doc)

// The functions, then the private rebuilder that pickled results name.
PyMethodDef methods[] = {WAYLOOM_FUNCTIONS(WAYLOOM_METHOD) WAYLOOM_FUNCTION_DEF(
    "_make_result", make_result, nullptr){nullptr, nullptr, 0, nullptr}};

// The engine's algorithm catalogue and heuristic tables as plain tuples, for
// the companion package (a private attribute: the public surface is unchanged).
Ref str_tuple(std::span<const std::string_view> items) {
  Ref t = Ref::steal(PyTuple_New(Py_ssize_t(items.size())));
  for (std::size_t i = 0; t && i < items.size(); ++i) {
    PyObject* s = PyUnicode_FromStringAndSize(items[i].data(), Py_ssize_t(items[i].size()));
    if (!s) return Ref();
    PyTuple_SET_ITEM(t.get(), Py_ssize_t(i), s);
  }
  return t;
}

template <class Table>
Ref heuristic_row(const Table& table) {
  Ref names = str_tuple(table.names());
  if (!names) return names;
  const std::string_view d = table.default_name();
  return Ref::steal(Py_BuildValue("(s#O)", d.data(), Py_ssize_t(d.size()), names.get()));
}

Ref catalogue_object() {
  static constexpr std::pair<unsigned, std::string_view> kOptionNames[] = {
      {kTakesHeuristic, "heuristic"},
      {kTakesMaxNodes, "max_nodes"},
      {kTakesReopen, "reopen"},
      {kTakesWeight, "weight"},
      {kTakesBeamWidth, "beam_width"},
      {kTakesDepthLimit, "depth_limit"},
      {kNeedsDepthLimit, "requires_depth_limit"}};
  Ref algorithms = Ref::steal(PyTuple_New(Py_ssize_t(kAlgorithms.size())));
  for (std::size_t i = 0; algorithms && i < kAlgorithms.size(); ++i) {
    const AlgorithmRow& row = kAlgorithms[i];
    std::vector<std::string_view> options;
    for (const auto& [bit, name] : kOptionNames)
      if (row.options & bit) options.push_back(name);
    Ref aliases = str_tuple(std::span(&row.alias, row.alias.empty() ? 0 : 1));
    Ref option_names = str_tuple(options);
    if (!aliases || !option_names) return Ref();
    PyObject* entry = Py_BuildValue("(s#OO)", row.name.data(), Py_ssize_t(row.name.size()),
                                    aliases.get(), option_names.get());
    if (!entry) return Ref();
    PyTuple_SET_ITEM(algorithms.get(), Py_ssize_t(i), entry);
  }
  if (!algorithms) return algorithms;
  Ref grid = heuristic_row(grid_heuristics()), graph = heuristic_row(graph_heuristics()),
      npuzzle = heuristic_row(puzzle_heuristics(0, ByteState())),
      hanoi = heuristic_row(hanoi_heuristics()), ladder = heuristic_row(ladder_heuristics());
  if (!grid || !graph || !npuzzle || !hanoi || !ladder) return Ref();
  return Ref::steal(Py_BuildValue("{sOs{sOsOsOsOsO}}", "algorithms", algorithms.get(), "heuristics",
                                  "grid", grid.get(), "graph", graph.get(), "npuzzle",
                                  npuzzle.get(), "hanoi", hanoi.get(), "wordladder", ladder.get()));
}

PyModuleDef native_def = module_def("wayloom_native", methods);

}  // namespace
}  // namespace wayloom::py

PyMODINIT_FUNC PyInit_wayloom_native() {
  using namespace wayloom::py;
  PyObject* module = create_module(native_def);
  if (!module) return nullptr;
  ModuleState& s = state_of(module);
  s.panic_exception =
      PyErr_NewExceptionWithDoc("wayloom_native.PanicException",
                                "An internal precondition of the engine failed; the single "
                                "argument is the failure text.",
                                PyExc_BaseException, nullptr);
  const bool ok = s.panic_exception &&
                  PyModule_AddObjectRef(module, "PanicException", s.panic_exception) == 0 &&
                  add_search_result_type(module) == 0 && add_path_types(module) == 0;
  const Ref catalogue = ok ? catalogue_object() : Ref();
  return finish_module(
      module, catalogue && PyModule_AddObjectRef(module, "_catalogue", catalogue.get()) == 0);
}
