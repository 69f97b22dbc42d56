// wayloom._engine.TileDatabases: a sliding-tile board's pattern databases
// (one side, one goal, one partition) and the searches that use them. The
// companion package loads and saves the tables (through this object's buffer)
// and builds the missing ones; searches run the engine's catalogue with the
// tables as a built-in heuristic.
#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../budget.hpp"
#include "../search_common.hpp"
#include "wayloom/core/heuristic_table.hpp"
#include "wayloom/domains/npuzzle.hpp"
#include "wayloom/pdb/heuristic.hpp"

namespace wayloom::py {

namespace {

struct TileDatabasesObject {
  PyObject ob_base;
  pdb::PatternDatabases* tables;                         // owned
  std::shared_ptr<const pdb::PatternDatabases>* shared;  // owned; the same tables, for searches
  bool ready;                                            // every table filled
};

TileDatabasesObject* tdb_of(PyObject* o) { return reinterpret_cast<TileDatabasesObject*>(o); }

void tdb_dealloc(PyObject* o) {
  PyTypeObject* type = Py_TYPE(o);
  delete tdb_of(o)->shared;  // the last owner of the tables, searches being over
  type->tp_free(o);
  Py_DECREF(type);
}

// A board as the side x side cells of `side`, each check naming what is wrong.
ByteState to_tiles(const char* what, PyObject* o, std::size_t side) {
  const Sequence seq(what, o);
  const std::size_t n = side * side;
  if (std::size_t(seq.size()) != n)
    throw UsageError(std::string(what) + " has " + std::to_string(seq.size()) + " cells; a " +
                     std::to_string(side) + "\xc3\x97" + std::to_string(side) + " board has " +
                     std::to_string(n));
  ByteState board(n, 0);
  std::vector<int> seen(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const std::int64_t t = to_i64(what, seq[Py_ssize_t(i)]);
    if (t < 0 || std::uint64_t(t) >= n)
      throw UsageError(std::string(what) + ": tile " + std::to_string(t) + " is not in 0.." +
                       std::to_string(n - 1) + " (0 = blank)");
    ++seen[std::size_t(t)];
    board[i] = std::uint8_t(t);
  }
  // With n cells in range, a repeated tile means a missing one: name both.
  for (std::size_t t = 0; t < n; ++t)
    if (seen[t] > 1) {
      const std::size_t gone = std::size_t(std::find(seen.begin(), seen.end(), 0) - seen.begin());
      throw UsageError(std::string(what) + ": tile " + std::to_string(t) + " appears " +
                       std::to_string(seen[t]) + " times and tile " + std::to_string(gone) +
                       " is missing");
    }
  return board;
}

const pdb::PatternDatabases& ready_tables(PyObject* self) {
  if (!tdb_of(self)->ready)
    throw UsageError("the pattern databases are not loaded yet (call prepare())");
  return *tdb_of(self)->tables;
}

ByteState to_board(PyObject* self, const char* what, PyObject* o) {
  const pdb::PatternDatabases& t = *tdb_of(self)->tables;
  ByteState board = to_tiles(what, o, t.board().side);
  if (!NPuzzle(t.board().side).is_solvable(board, t.goal()))
    throw UsageError(std::string(what) + " is not solvable into the goal (parity)");
  return board;
}

auto pdb_heuristics(PyObject* self) {
  return HeuristicTable("pdb", "unknown heuristic: '", "'",
                        Named<PuzzlePatternDatabases>{"pdb", {*tdb_of(self)->shared}});
}

// ---- construction ------------------------------------------------------------

PyObject* tdb_create(PyObject* /*module*/, PyObject* cls, const Call& call) {
  static constexpr Params<3> kParams{"_create", {"side", "goal", "groups"}, 3};
  const auto a = bind(kParams, call);
  const std::size_t side = to_u64("side", a[0]);
  if (side < 2 || side > 8) throw UsageError("side must be 2 to 8");
  const ByteState goal = to_tiles("goal", a[1], side);
  std::vector<std::vector<std::uint8_t>> groups;
  const Sequence seq("groups", a[2]);
  for (Py_ssize_t i = 0; i < seq.size(); ++i) {
    const Sequence g("groups", seq[i]);
    std::vector<std::uint8_t> tiles;
    for (Py_ssize_t j = 0; j < g.size(); ++j) {
      const std::uint64_t t = to_u64("groups", g[j]);
      if (t == 0 || t >= side * side) throw UsageError("pattern groups must hold tiles 1..n-1");
      tiles.push_back(std::uint8_t(t));
    }
    groups.push_back(std::move(tiles));
  }
  auto tables = std::make_unique<pdb::PatternDatabases>(side, goal, groups);
  auto shared = std::make_unique<std::shared_ptr<const pdb::PatternDatabases>>();
  PyTypeObject* type = reinterpret_cast<PyTypeObject*>(cls);
  PyObject* o = type->tp_alloc(type, 0);
  if (!o) throw ErrorAlreadySet{};
  tdb_of(o)->tables = tables.get();
  *shared = std::shared_ptr<const pdb::PatternDatabases>(tables.release());
  tdb_of(o)->shared = shared.release();
  tdb_of(o)->ready = false;
  return o;
}

// [(offset, entries), ...] of the tables in the buffer.
PyObject* tdb_layout(PyObject* self, void*) {
  const pdb::PatternDatabases& t = *tdb_of(self)->tables;
  Ref out = check(PyList_New(Py_ssize_t(t.patterns().size())));
  for (std::size_t i = 0; i < t.patterns().size(); ++i)
    PyList_SET_ITEM(
        out.get(), Py_ssize_t(i),
        check(Py_BuildValue("(nn)", Py_ssize_t(t.offset(i)), Py_ssize_t(t.patterns()[i].entries)))
            .release());
  return out.release();
}

PyObject* tdb_is_ready(PyObject* self, void*) { return PyBool_FromLong(tdb_of(self)->ready); }
PyObject* tdb_reflects(PyObject* self, void*) {
  return PyBool_FromLong(tdb_of(self)->tables->reflects());
}

// Allocates the storage of every table, charged to this call's budget.
PyObject* tdb_allocate(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<0> kParams{"_allocate", {}, 0};
  bind(kParams, call);
  MemoryBudget budget = call_budget();
  tdb_of(self)->tables->allocate(&budget);
  Py_RETURN_NONE;
}

// Builds table i in place with the lock released; `progress(depth, reached,
// entries)` is called with the lock after each depth (an exception it raises,
// an interrupt among them, stops the build).
PyObject* tdb_build(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<2> kParams{"_build", {"index", "progress"}, 1};
  const auto a = bind(kParams, call);
  pdb::PatternDatabases& t = *tdb_of(self)->tables;
  const std::size_t i = to_u64("index", a[0]);
  if (i >= t.patterns().size()) throw UsageError("no such table");
  if (!t.data()) throw UsageError("the tables are not allocated");
  PyObject* progress = a[1] && !is_none(a[1]) ? a[1] : nullptr;
  MemoryBudget budget = call_budget();
  budget.charge(t.total_entries(), Use::Heuristic);  // the tables are held already
  tdb_of(self)->ready = false;
  pdb::Progress report = [progress](unsigned depth, std::size_t reached, std::size_t entries) {
    EnsureGil gil;
    if (PyErr_CheckSignals() < 0) throw ErrorAlreadySet{};
    if (!progress) return;
    Ref r = check(
        PyObject_CallFunction(progress, "Inn", depth, Py_ssize_t(reached), Py_ssize_t(entries)));
  };
  {
    ReleaseGil nogil;
    t.build(i, &budget, report);
  }
  Py_RETURN_NONE;
}

PyObject* tdb_set_ready(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<1> kParams{"_set_ready", {"ready"}, 1};
  const auto a = bind(kParams, call);
  const bool ready = to_bool("ready", a[0]);
  if (ready && !tdb_of(self)->tables->data()) throw UsageError("the tables are not allocated");
  tdb_of(self)->ready = ready;
  Py_RETURN_NONE;
}

// ---- buffer: every table, one after the other ----------------------------------

int tdb_getbuffer(PyObject* self, Py_buffer* view, int flags) {
  pdb::PatternDatabases& t = *tdb_of(self)->tables;
  if (!t.data()) {
    PyErr_SetString(PyExc_BufferError, "the tables are not allocated");
    view->obj = nullptr;
    return -1;
  }
  // The storage never moves or shrinks while the object lives, and a view
  // keeps the object alive.
  return PyBuffer_FillInfo(view, self, t.data(), Py_ssize_t(t.total_entries()), 0, flags);
}

// ---- searches ------------------------------------------------------------------

constexpr Params<8> kSearchParams{
    "search",
    {"tiles", "algorithm", "record", "weight", "beam_width", "depth_limit", "max_nodes", "reopen"},
    1};

PyObject* tdb_search(PyObject* module, PyObject* self, const Call& call) {
  const auto a = bind(kSearchParams, call);
  const pdb::PatternDatabases& t = ready_tables(self);
  const ByteState start = to_board(self, "tiles", a[0]);
  const SearchParams p = convert_shared<kSearchParams>(a, "ida_star");
  const NPuzzle puzzle(t.board().side);
  return run_search(module, puzzle, start, t.goal(), p, pdb_heuristics(self)).release();
}

constexpr Params<9> kBatchParams{"_search_batch",
                                 {"boards", "algorithm", "record", "weight", "beam_width",
                                  "depth_limit", "max_nodes", "reopen", "workers"},
                                 1};

// Many boards, spread over `workers` threads with the lock released; each
// search has its own memory budget.
PyObject* tdb_search_batch(PyObject* module, PyObject* self, const Call& call) {
  const auto a = bind(kBatchParams, call);
  const pdb::PatternDatabases& t = ready_tables(self);
  std::vector<ByteState> boards;
  {
    const Sequence seq("boards", a[0]);
    for (Py_ssize_t i = 0; i < seq.size(); ++i) boards.push_back(to_board(self, "boards", seq[i]));
  }
  const SearchParams p = convert_shared<kBatchParams>(a, "ida_star");
  const std::uint64_t workers = a[8] && !is_none(a[8]) ? to_u64("workers", a[8]) : 1;
  if (workers == 0) throw UsageError("workers must be at least 1");
  if (!find_algorithm(p.algorithm)) throw UsageError(unknown_algorithm_message(p.algorithm));
  const NPuzzle puzzle(t.board().side);
  const auto table = pdb_heuristics(self);
  std::vector<SearchResult<ByteState>> results(boards.size());
  std::vector<MemoryBudget> budgets(boards.size(), p.budget);
  std::vector<std::exception_ptr> failures(boards.size());
  {
    ReleaseGil nogil;
    std::atomic<std::size_t> next{0};
    auto work = [&] {
      for (std::size_t i; (i = next.fetch_add(1)) < boards.size();) {
        try {
          RunOptions options = p.options;
          options.budget = &budgets[i];
          table.with("pdb", [&](const auto& h) {
            results[i] = run_algo(puzzle, h, boards[i], t.goal(), p.algorithm, options);
          });
        } catch (...) {
          failures[i] = std::current_exception();
        }
      }
    };
    std::vector<std::thread> threads;
    const std::size_t extra = std::min<std::size_t>(workers, boards.size() ? boards.size() : 1) - 1;
    for (std::size_t w = 0; w < extra; ++w) threads.emplace_back(work);
    work();
    for (std::thread& th : threads) th.join();
  }
  for (const std::exception_ptr& e : failures)
    if (e) std::rethrow_exception(e);
  Ref out = check(PyList_New(Py_ssize_t(boards.size())));
  const ModuleState& state = state_of(module);
  for (std::size_t i = 0; i < boards.size(); ++i)
    PyList_SET_ITEM(out.get(), Py_ssize_t(i),
                    to_py_result(state, std::move(results[i]), budgets[i]).release());
  return out.release();
}

// Raises what a search would raise for the board, before any table is built.
PyObject* tdb_check(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<1> kParams{"_check", {"tiles"}, 1};
  to_board(self, "tiles", bind(kParams, call)[0]);
  Py_RETURN_NONE;
}

PyObject* tdb_estimate(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<1> kParams{"estimate", {"tiles"}, 1};
  const auto a = bind(kParams, call);
  const pdb::PatternDatabases& t = ready_tables(self);
  const ByteState board = to_tiles("tiles", a[0], t.board().side);
  return PyLong_FromUnsignedLong(t.estimate(board.data(), board.size()));
}

#define WAYLOOM_CALLABLE(fn) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(fn))
constexpr int kMethod = METH_METHOD | METH_FASTCALL | METH_KEYWORDS;

PyMethodDef tdb_methods[] = {
    {"_create", WAYLOOM_CALLABLE(method_entry<tdb_create>), kMethod | METH_CLASS, nullptr},
    {"_allocate", WAYLOOM_CALLABLE(method_entry<tdb_allocate>), kMethod, nullptr},
    {"_build", WAYLOOM_CALLABLE(method_entry<tdb_build>), kMethod, nullptr},
    {"_check", WAYLOOM_CALLABLE(method_entry<tdb_check>), kMethod, nullptr},
    {"_set_ready", WAYLOOM_CALLABLE(method_entry<tdb_set_ready>), kMethod, nullptr},
    {"search", WAYLOOM_CALLABLE(method_entry<tdb_search>), kMethod,
     "search($self, tiles, algorithm=\"ida_star\", record=True, weight=2.0, beam_width=None, "
     "depth_limit=None, max_nodes=None, reopen=False)\n--\n\n"
     "Search from the board `tiles` to the goal with the pattern databases as the\n"
     "heuristic."},
    {"_search_batch", WAYLOOM_CALLABLE(method_entry<tdb_search_batch>), kMethod, nullptr},
    {"estimate", WAYLOOM_CALLABLE(method_entry<tdb_estimate>), kMethod,
     "estimate($self, tiles)\n--\n\nThe heuristic's value on the board `tiles`."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef tdb_getset[] = {
    {"_layout", tdb_layout, nullptr, nullptr, nullptr},
    {"ready", tdb_is_ready, nullptr, "Whether every table is filled.", nullptr},
    {"reflects", tdb_reflects, nullptr, "Whether the mirrored lookup applies.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot tdb_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(tdb_dealloc)},
    {Py_tp_methods, tdb_methods},
    {Py_tp_getset, tdb_getset},
    {Py_bf_getbuffer, reinterpret_cast<void*>(tdb_getbuffer)},
    {0, nullptr},
};

PyType_Spec tdb_spec = {
    "wayloom._engine.TileDatabases", sizeof(TileDatabasesObject), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION, tdb_slots};

}  // namespace

int add_tile_databases_type(PyObject* module) {
  PyObject* type = PyType_FromModuleAndSpec(module, &tdb_spec, nullptr);
  if (!type) return -1;
  const int rc = PyModule_AddObjectRef(module, "TileDatabases", type);
  Py_DECREF(type);
  return rc;
}

}  // namespace wayloom::py
