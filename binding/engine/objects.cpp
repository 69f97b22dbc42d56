// The private module wayloom._engine: graphs and grids built once and searched
// many times. Results are wayloom_native.SearchResult instances, made by the
// same conversion code (the type is fetched from wayloom_native at import).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "../budget.hpp"
#include "../search_common.hpp"
#include "input.hpp"
#include "wayloom/domains/csr_graph.hpp"
#include "wayloom/domains/grid.hpp"
#include "wayloom/domains/wordladder.hpp"
#include "wayloom/paths/distances.hpp"

namespace wayloom::py {

namespace {

extern PyModuleDef engine_def;

// The module of a native class or of a Python subclass of one.
PyObject* module_of_type(PyTypeObject* type) {
  for (PyTypeObject* t = type; t; t = t->tp_base) {
    if (!PyType_HasFeature(t, Py_TPFLAGS_HEAPTYPE)) continue;
    PyObject* m = PyType_GetModule(t);
    if (m && PyModule_GetDef(m) == &engine_def) return m;
    PyErr_Clear();
  }
  return nullptr;
}

// ---- objects ---------------------------------------------------------------

struct GraphObject {
  PyObject ob_base;
  const CsrGraph* graph;  // owned; never changes after construction
  std::size_t num_edges;
  bool nonnegative;                   // every arc weight is >= 0 (Dijkstra applies)
  const std::vector<double>* coords;  // owned: x, y of each node, or null
};

struct GridObject {
  PyObject ob_base;
  const GridGraph* grid;  // owned; never changes after construction
  double cheapest;        // its cheapest open cell's cost, for the default heuristic
};

struct LadderObject {
  PyObject ob_base;
  const WordLadder* ladder;  // owned; never changes after construction
  PyObject* words;           // the word list as given (a tuple of str), for pickling
};

LadderObject* ladder_of(PyObject* o) { return reinterpret_cast<LadderObject*>(o); }

GraphObject* graph_of(PyObject* o) { return reinterpret_cast<GraphObject*>(o); }
GridObject* grid_of(PyObject* o) { return reinterpret_cast<GridObject*>(o); }

template <class O>
void dealloc(PyObject* o) {
  PyTypeObject* type = Py_TYPE(o);
  if constexpr (std::is_same_v<O, GraphObject>) {
    delete graph_of(o)->graph;
    delete graph_of(o)->coords;
  } else if constexpr (std::is_same_v<O, LadderObject>) {
    delete ladder_of(o)->ladder;
    Py_XDECREF(ladder_of(o)->words);
  } else {
    delete grid_of(o)->grid;
  }
  type->tp_free(o);
  Py_DECREF(type);
}

// Node coordinates: an (n, 2) array or a sequence of (x, y) pairs; None for none.
std::unique_ptr<std::vector<double>> to_coords(PyObject* o, std::size_t n) {
  if (!o || is_none(o)) return nullptr;
  auto xy = std::make_unique<std::vector<double>>();
  if (is_array(o)) {
    const ArrayView a("coordinates", o);
    if (a.ndim() != 2 || a.shape(1) != 2)
      argument_error(PyExc_ValueError, "coordinates", "expected an array of shape (n, 2)");
    xy->resize(2 * a.shape(0));
    for (std::size_t i = 0; i < a.shape(0); ++i) {
      (*xy)[2 * i] = a.f64(i, 0);
      (*xy)[2 * i + 1] = a.f64(i, 1);
    }
  } else {
    const Sequence seq("coordinates", o);
    for (Py_ssize_t i = 0; i < seq.size(); ++i) {
      const Sequence pair("coordinates", seq[i]);
      if (pair.size() != 2)
        argument_error(PyExc_ValueError, "coordinates", "expected (x, y) pairs");
      xy->push_back(to_f64("coordinates", pair[0]));
      xy->push_back(to_f64("coordinates", pair[1]));
    }
  }
  if (xy->size() != 2 * n)
    throw UsageError("coordinates must give one (x, y) per node: " +
                     std::to_string(xy->size() / 2) + " for " + std::to_string(n) + " nodes");
  for (const double c : *xy)
    if (!std::isfinite(c)) throw UsageError("coordinates must be finite numbers");
  return xy;
}

PyObject* new_graph(PyTypeObject* type, CsrGraph g, std::size_t num_edges,
                    std::unique_ptr<std::vector<double>> coords = nullptr) {
  if (const auto arc = g.first_nan_arc()) throw UsageError(nan_arc_message(*arc));
  bool nonnegative = true;
  for (const double w : g.weights()) nonnegative = nonnegative && w >= 0.0;
  auto owned = std::make_unique<CsrGraph>(std::move(g));
  PyObject* o = type->tp_alloc(type, 0);
  if (!o) throw ErrorAlreadySet{};
  graph_of(o)->coords = coords.release();
  graph_of(o)->graph = owned.release();
  graph_of(o)->num_edges = num_edges;
  graph_of(o)->nonnegative = nonnegative;
  return o;
}

PyObject* new_grid(PyTypeObject* type, GridGraph g) {
  auto owned = std::make_unique<GridGraph>(std::move(g));
  PyObject* o = type->tp_alloc(type, 0);
  if (!o) throw ErrorAlreadySet{};
  grid_of(o)->cheapest = owned->cheapest_cost();
  grid_of(o)->grid = owned.release();
  return o;
}

// ---- building a graph ------------------------------------------------------

// The engine's counting build, under the call's memory budget, reading edge i
// through u(i), v(i), w(i) so arrays are read in place, not copied.
template <class U, class V, class W>
CsrGraph build_csr(std::size_t n, std::size_t m, const U& u, const V& v, const W& w,
                   bool undirected) {
  {
    MemoryBudget budget = call_budget();
    const std::size_t arcs = undirected ? detail::sat_mul(m, 2) : m;
    budget.require(CsrGraph::bytes_for(n, arcs), Use::Graph, "the graph");
  }
  return CsrGraph::from_arcs(n, m, u, v, w, undirected);
}

constexpr auto kUnitWeight = [](std::size_t) { return 1.0; };

// Edges as (u, v) / (u, v, w) tuples, or an (m, 2) / (m, 3) array.
CsrGraph graph_from_edges(std::size_t n, PyObject* o, bool undirected, std::size_t& m) {
  if (is_array(o)) {
    const ArrayView a("edges", o);
    if (a.ndim() != 2 || (a.shape(1) != 2 && a.shape(1) != 3))
      argument_error(PyExc_ValueError, "edges", "expected an array of shape (m, 2) or (m, 3)");
    m = a.shape(0);
    const auto u = [&](std::size_t i) { return a.id(i, 0); };
    const auto v = [&](std::size_t i) { return a.id(i, 1); };
    if (a.shape(1) == 2) return build_csr(n, m, u, v, kUnitWeight, undirected);
    return build_csr(n, m, u, v, [&](std::size_t i) { return a.f64(i, 2); }, undirected);
  }
  const Sequence seq("edges", o);
  m = std::size_t(seq.size());
  std::vector<std::size_t> us(m), vs(m);
  std::vector<double> ws(m);
  for (std::size_t i = 0; i < m; ++i) {
    PyObject* t = seq[Py_ssize_t(i)];
    check_tuple("edges", t, PyTuple_Check(t) && PyTuple_GET_SIZE(t) == 2 ? 2 : 3);
    us[i] = to_u64("edges", PyTuple_GET_ITEM(t, 0));
    vs[i] = to_u64("edges", PyTuple_GET_ITEM(t, 1));
    ws[i] = PyTuple_GET_SIZE(t) == 3 ? to_f64("edges", PyTuple_GET_ITEM(t, 2)) : 1.0;
  }
  return build_csr(
      n, m, [&](std::size_t i) { return us[i]; }, [&](std::size_t i) { return vs[i]; },
      [&](std::size_t i) { return ws[i]; }, undirected);
}

// One 1-D column of node ids or weights: an array read in place, or a sequence
// converted up front.
template <bool Ids>
class Column {
 public:
  using T = std::conditional_t<Ids, std::size_t, double>;
  Column(const char* name, PyObject* o) {
    if (is_array(o)) {
      view_.emplace(name, o);
      if (view_->ndim() != 1) argument_error(PyExc_ValueError, name, "expected a 1-D array");
      size_ = view_->shape(0);
      if constexpr (Ids) {
        if (const std::int64_t* p = view_->template contiguous<std::int64_t>()) {
          for (std::size_t i = 0; i < size_; ++i)
            if (p[i] < 0) view_->id(i);  // raises the negative-id error
          fast_ = reinterpret_cast<const std::size_t*>(p);
          return;
        }
      } else if ((fast_ = view_->template contiguous<double>())) {
        return;
      }
      // Other plain element types (int32 indices, as scipy.sparse keeps them;
      // float32 weights) are widened once in a typed loop rather than
      // dispatched on per element.
      widen<std::int32_t>() || widen<std::uint32_t>() || widen<std::uint64_t>() || widen<float>() ||
          (!Ids && widen<std::int64_t>());
      return;
    }
    const Sequence seq(name, o);
    size_ = std::size_t(seq.size());
    values_.resize(size_);
    for (std::size_t i = 0; i < size_; ++i) {
      if constexpr (Ids)
        values_[i] = to_u64(name, seq[Py_ssize_t(i)]);
      else
        values_[i] = to_f64(name, seq[Py_ssize_t(i)]);
    }
  }
  std::size_t size() const noexcept { return size_; }
  T operator()(std::size_t i) const {
    if (fast_) return fast_[i];
    if (!view_) return values_[i];
    if constexpr (Ids)
      return view_->id(i);
    else
      return view_->f64(i);
  }

 private:
  template <class E>
  bool widen() {
    const E* p = view_->template contiguous<E>();
    if (!p) return false;
    if constexpr (Ids && std::is_floating_point_v<E>) {
      return false;  // float ids take the whole-number check per element
    } else {
      values_.resize(size_);
      for (std::size_t i = 0; i < size_; ++i) {
        if constexpr (Ids && std::is_signed_v<E>)
          if (p[i] < 0) view_->id(i);  // raises the negative-id error
        values_[i] = T(p[i]);
      }
      fast_ = values_.data();
      return true;
    }
  }

  std::optional<ArrayView> view_;
  const T* fast_ = nullptr;  // the data when it needs no conversion per element
  std::vector<T> values_;
  std::size_t size_ = 0;
};

template <bool Ids>
void column(const char* name, PyObject* o, std::vector<typename Column<Ids>::T>& out) {
  const Column<Ids> c(name, o);
  out.resize(c.size());
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = c(i);
}

PyObject* graph_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  PyObject* module = module_of_type(type);
  try {
    static constexpr Params<4> kParams{
        "Graph", {"num_nodes", "edges", "undirected", "coordinates"}, 2};
    std::vector<PyObject*> flat;
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    for (Py_ssize_t i = 0; i < nargs; ++i) flat.push_back(PyTuple_GET_ITEM(args, i));
    Ref kwnames;
    if (kwargs && PyDict_GET_SIZE(kwargs)) {
      kwnames = check(PyTuple_New(PyDict_GET_SIZE(kwargs)));
      Py_ssize_t pos = 0, k = 0;
      PyObject *key, *value;
      while (PyDict_Next(kwargs, &pos, &key, &value)) {
        PyTuple_SET_ITEM(kwnames.get(), k++, Py_NewRef(key));
        flat.push_back(value);
      }
    }
    const auto a = bind(kParams, Call{flat.data(), nargs, kwnames.get()});
    const std::size_t n = to_u64("num_nodes", a[0]);
    const bool undirected = a[2] ? to_bool("undirected", a[2]) : true;
    std::size_t m = 0;
    CsrGraph g = graph_from_edges(n, a[1], undirected, m);
    return new_graph(type, std::move(g), m, to_coords(a[3], n));
  } catch (...) {
    return translate_exception(module);
  }
}

PyObject* graph_from_arrays(PyObject* /*module*/, PyObject* cls, const Call& call) {
  static constexpr Params<6> kParams{
      "from_arrays", {"u", "v", "w", "num_nodes", "undirected", "coordinates"}, 2};
  const auto a = bind(kParams, call);
  const Column<true> u("u", a[0]), v("v", a[1]);
  std::optional<Column<false>> w;
  if (!is_none(a[2])) w.emplace("w", a[2]);
  const std::size_t m = u.size();
  if (v.size() != m || (w && w->size() != m))
    throw UsageError("u, v and w must have the same length");
  std::size_t n = 0;
  if (!is_none(a[3])) {
    n = to_u64("num_nodes", a[3]);
  } else {
    for (std::size_t i = 0; i < m; ++i) n = std::max({n, u(i) + 1, v(i) + 1});
  }
  const bool undirected = a[4] ? to_bool("undirected", a[4]) : true;
  auto build = [&](const auto& weight) { return build_csr(n, m, u, v, weight, undirected); };
  CsrGraph g = w ? build([&](std::size_t i) { return (*w)(i); }) : build(kUnitWeight);
  return new_graph(reinterpret_cast<PyTypeObject*>(cls), std::move(g), m, to_coords(a[5], n));
}

// A matrix already in compressed-sparse-row form (scipy's CSR, directed): its
// rows are the arcs in stored order, so no counting or placing is needed.
PyObject* graph_from_csr(PyObject* /*module*/, PyObject* cls, const Call& call) {
  static constexpr Params<5> kParams{
      "_from_csr", {"indptr", "indices", "data", "num_nodes", "coordinates"}, 4};
  const auto a = bind(kParams, call);
  const std::size_t n = to_u64("num_nodes", a[3]);
  std::vector<std::size_t> offsets, targets;
  std::vector<double> weights;
  column<true>("indptr", a[0], offsets);
  column<true>("indices", a[1], targets);
  column<false>("data", a[2], weights);
  const std::size_t m = targets.size();
  bool ok = offsets.size() == n + 1 && offsets.front() == 0 && offsets.back() == m &&
            weights.size() == m && std::is_sorted(offsets.begin(), offsets.end());
  for (std::size_t i = 0; ok && i < m; ++i) ok = targets[i] < n;
  if (!ok) throw UsageError("from_scipy: malformed compressed-sparse-row matrix");
  CsrGraph g =
      CsrGraph::from_csr(std::move(offsets), std::move(targets), std::move(weights), false);
  return new_graph(reinterpret_cast<PyTypeObject*>(cls), std::move(g), m, to_coords(a[4], n));
}

// ---- pickling ----------------------------------------------------------------

template <class T>
Ref bytes_of(const std::vector<T>& v) {
  return check(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(v.data()),
                                         Py_ssize_t(v.size() * sizeof(T))));
}

template <class T>
std::vector<T> vector_of(const char* name, PyObject* o) {
  if (!PyBytes_Check(o)) argument_error(PyExc_TypeError, name, "expected bytes");
  const std::size_t size = std::size_t(PyBytes_GET_SIZE(o));
  if (size % sizeof(T)) argument_error(PyExc_ValueError, name, "truncated array");
  std::vector<T> v(size / sizeof(T));
  std::memcpy(v.data(), PyBytes_AS_STRING(o), size);
  return v;
}

PyObject* graph_reduce(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<0> kParams{"__reduce__", {}, 0};
  bind(kParams, call);
  const GraphObject* s = graph_of(self);
  Ref restore =
      check(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(self)), "_restore"));
  Ref off = bytes_of(s->graph->offsets()), tgt = bytes_of(s->graph->targets()),
      wts = bytes_of(s->graph->weights());
  Ref xy = s->coords ? bytes_of(*s->coords) : Ref::borrow(Py_None);
  return check(Py_BuildValue("(O(nOOOOO))", restore.get(), Py_ssize_t(s->num_edges),
                             s->graph->undirected() ? Py_True : Py_False, off.get(), tgt.get(),
                             wts.get(), xy.get()))
      .release();
}

PyObject* graph_restore(PyObject* /*module*/, PyObject* cls, const Call& call) {
  static constexpr Params<6> kParams{
      "_restore", {"num_edges", "undirected", "offsets", "targets", "weights", "coordinates"}, 6};
  const auto a = bind(kParams, call);
  const std::size_t num_edges = to_u64("num_edges", a[0]);
  CsrGraph g = CsrGraph::from_csr(vector_of<std::size_t>("offsets", a[2]),
                                  vector_of<std::size_t>("targets", a[3]),
                                  vector_of<double>("weights", a[4]), to_bool("undirected", a[1]));
  std::unique_ptr<std::vector<double>> xy;
  if (!is_none(a[5])) {
    xy = std::make_unique<std::vector<double>>(vector_of<double>("coordinates", a[5]));
    if (xy->size() != 2 * g.num_nodes()) throw UsageError("malformed graph state");
  }
  return new_graph(reinterpret_cast<PyTypeObject*>(cls), std::move(g), num_edges, std::move(xy));
}

// ---- grids -----------------------------------------------------------------

// The map with a stand-in 'S' and 'G' where it has none (from_ascii wants
// both); the stand-ins' cells get their own terrain back afterwards.
GridGraph grid_from_text(std::string_view map) {
  std::string text(map);
  struct Patch {
    Cell cell;
    char original;
  };
  std::vector<Patch> patches;
  std::int32_t row = 0, col = 0;
  bool line_started = false;
  std::vector<char> missing;
  if (map.find('S') == std::string_view::npos) missing.push_back('S');
  if (map.find('G') == std::string_view::npos) missing.push_back('G');
  // Rows count from the first non-empty line, as the parser counts them.
  bool seen_char = false;
  for (std::size_t b = 0; b < text.size() && patches.size() < missing.size(); ++b) {
    const unsigned char ch = static_cast<unsigned char>(text[b]);
    if (ch == '\n' || (ch == '\r' && b + 1 < text.size() && text[b + 1] == '\n')) {
      if (ch == '\n') {
        if (seen_char) ++row;
        col = 0;
        line_started = false;
      }
      continue;
    }
    if ((ch & 0xC0) == 0x80) continue;  // a UTF-8 continuation byte
    seen_char = true;
    line_started = true;
    if (ch < 0x80) {
      patches.push_back({Cell{row, col}, char(ch)});
      text[b] = missing[patches.size() - 1];
    }
    ++col;
  }
  (void)line_started;
  if (patches.size() < missing.size()) {
    // Too few ASCII cells for stand-ins: let the parser report the map.
    return GridGraph::from_ascii(map).grid;
  }
  GridGraph g = GridGraph::from_ascii(text).grid;
  for (const Patch& p : patches) {
    if (p.original == '#')
      g.set_wall(p.cell, true);
    else if (p.original >= '1' && p.original <= '9')
      g.set_cost(p.cell, double(p.original - '0'));
  }
  return g;
}

GridGraph grid_from_costs(PyObject* o) {
  std::vector<std::vector<double>> rows;
  if (is_array(o)) {
    const ArrayView a("costs", o);
    if (a.ndim() != 2) argument_error(PyExc_ValueError, "costs", "expected a 2-D array");
    rows.assign(a.shape(0), std::vector<double>(a.shape(1)));
    for (std::size_t r = 0; r < a.shape(0); ++r)
      for (std::size_t c = 0; c < a.shape(1); ++c) rows[r][c] = a.f64(r, c);
  } else {
    const Sequence outer("costs", o);
    rows.resize(std::size_t(outer.size()));
    for (Py_ssize_t r = 0; r < outer.size(); ++r) {
      const Sequence row("costs", outer[r]);
      rows[std::size_t(r)].reserve(std::size_t(row.size()));
      for (Py_ssize_t c = 0; c < row.size(); ++c)
        rows[std::size_t(r)].push_back(to_f64("costs", row[c]));
    }
  }
  if (std::all_of(rows.begin(), rows.end(), [](const auto& row) { return row.empty(); }))
    throw UsageError("costs must be a non-empty matrix");
  return GridGraph::from_costs(rows);
}

PyObject* grid_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  PyObject* module = module_of_type(type);
  try {
    static const char* names[] = {"map", "diagonal", nullptr};
    PyObject *map = nullptr, *diagonal = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O:Grid", const_cast<char**>(names), &map,
                                     &diagonal))
      return nullptr;
    const std::string_view text = to_str("map", map);
    if (text.find_first_not_of("\r\n") == std::string_view::npos)
      throw UsageError("map must have at least one row of cells");
    GridGraph g = grid_from_text(text);
    g.diagonal = diagonal ? to_bool("diagonal", diagonal) : false;
    return new_grid(type, std::move(g));
  } catch (...) {
    return translate_exception(module);
  }
}

PyObject* grid_from_costs_method(PyObject* /*module*/, PyObject* cls, const Call& call) {
  static constexpr Params<2> kParams{"from_costs", {"costs", "diagonal"}, 1};
  const auto a = bind(kParams, call);
  GridGraph g = grid_from_costs(a[0]);
  g.diagonal = a[1] ? to_bool("diagonal", a[1]) : false;
  return new_grid(reinterpret_cast<PyTypeObject*>(cls), std::move(g));
}

// Cell costs row-major (0 for walls) and the grid's shape.
PyObject* grid_reduce(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<0> kParams{"__reduce__", {}, 0};
  bind(kParams, call);
  const GridGraph& g = *grid_of(self)->grid;
  std::vector<double> costs(std::size_t(g.width()) * std::size_t(g.height()));
  for (std::int32_t r = 0; r < g.height(); ++r)
    for (std::int32_t c = 0; c < g.width(); ++c)
      costs[std::size_t(r) * std::size_t(g.width()) + std::size_t(c)] =
          g.is_wall({r, c}) ? 0.0 : g.cost({r, c});
  Ref restore =
      check(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(self)), "_restore"));
  Ref data = bytes_of(costs);
  return check(Py_BuildValue("(O(iOO))", restore.get(), int(g.width()),
                             g.diagonal ? Py_True : Py_False, data.get()))
      .release();
}

PyObject* grid_restore(PyObject* /*module*/, PyObject* cls, const Call& call) {
  static constexpr Params<3> kParams{"_restore", {"width", "diagonal", "costs"}, 3};
  const auto a = bind(kParams, call);
  const std::size_t width = to_u64("width", a[0]);
  const std::vector<double> costs = vector_of<double>("costs", a[2]);
  if (width == 0 || costs.size() % width) throw UsageError("malformed grid state");
  std::vector<std::vector<double>> rows(costs.size() / width);
  for (std::size_t r = 0; r < rows.size(); ++r)
    rows[r].assign(costs.begin() + std::ptrdiff_t(r * width),
                   costs.begin() + std::ptrdiff_t((r + 1) * width));
  GridGraph g = GridGraph::from_costs(rows);
  g.diagonal = to_bool("diagonal", a[1]);
  return new_grid(reinterpret_cast<PyTypeObject*>(cls), std::move(g));
}

// ---- searching ---------------------------------------------------------------

// What differs between the domains: their nodes, endpoint rule and defaults.
template <class O>
struct Domain;

// Straight-line and city-block distance between node coordinates.
struct CoordEuclidean {
  static constexpr bool pure = true;  // coordinates are finite
  const double* xy;
  double estimate(std::size_t u, std::size_t g) const noexcept {
    return std::hypot(xy[2 * u] - xy[2 * g], xy[2 * u + 1] - xy[2 * g + 1]);
  }
};
struct CoordManhattan {
  static constexpr bool pure = true;
  const double* xy;
  double estimate(std::size_t u, std::size_t g) const noexcept {
    return std::fabs(xy[2 * u] - xy[2 * g]) + std::fabs(xy[2 * u + 1] - xy[2 * g + 1]);
  }
};

template <>
struct Domain<GraphObject> {
  using G = CsrGraph;
  using N = std::size_t;
  static constexpr const char* kDefault = "dijkstra";
  static const G& of(PyObject* self) { return *graph_of(self)->graph; }
  static N node(const char* name, PyObject* o) { return to_u64(name, o); }
  static const G& graph_for(const G& g, N, N, std::optional<G>&) { return g; }
  static void check_endpoints(const G& g, N s, N t) {
    if (s >= g.num_nodes() || t >= g.num_nodes())
      throw UsageError("start and goal must be < num_nodes");
  }
  // Calls f(table): a graph with coordinates adds its distance heuristics.
  template <class F>
  static void with_table(PyObject* self, F&& f) {
    const std::vector<double>* xy = graph_of(self)->coords;
    if (!xy) return f(graph_heuristics());
    f(HeuristicTable("euclidean", "unknown graph heuristic: '",
                     "'. Use 'zero', 'euclidean', 'manhattan' or a callable h(node, goal) -> float",
                     Named<Zero>{"zero", {}}, Named<CoordEuclidean>{"euclidean", {xy->data()}},
                     Named<CoordManhattan>{"manhattan", {xy->data()}}));
  }
};

template <>
struct Domain<GridObject> {
  using G = GridGraph;
  using N = Cell;
  static constexpr const char* kDefault = "astar";
  static const G& of(PyObject* self) { return *grid_of(self)->grid; }
  static N node(const char* name, PyObject* o) {
    check_tuple(name, o, 2);
    return Cell{to_i32(name, PyTuple_GET_ITEM(o, 0)), to_i32(name, PyTuple_GET_ITEM(o, 1))};
  }
  static const G& graph_for(const G& g, N, N, std::optional<G>&) { return g; }
  static void check_endpoints(const G& g, N s, N t) {
    if (!g.is_open(s) || !g.is_open(t))
      throw UsageError("start and goal must be in-bounds, non-wall cells");
  }
  template <class F>
  static void with_table(PyObject* self, F&& f) {
    const GridObject* s = grid_of(self);
    f(grid_object_heuristics(s->grid->diagonal, s->cheapest));
  }
};

template <>
struct Domain<LadderObject> {
  using G = WordLadder;
  using N = std::string;
  static constexpr const char* kDefault = "astar";
  static const G& of(PyObject* self) { return *ladder_of(self)->ladder; }
  static N node(const char* name, PyObject* o) { return lowered(name, o); }
  static void check_endpoints(const G&, const N& s, const N& t) {
    if (s.size() != t.size()) throw UsageError("start and goal must have the same length");
  }
  // Endpoints join the dictionary as in search_wordladder; one the list lacks
  // costs a copy of the index for that query.
  static const G& graph_for(const G& g, const N& s, const N& t, std::optional<G>& scratch) {
    if (g.contains(s) && g.contains(t)) return g;
    scratch.emplace(g);
    scratch->insert(s);
    scratch->insert(t);
    return *scratch;
  }
  template <class F>
  static void with_table(PyObject*, F&& f) {
    f(ladder_heuristics());
  }
};

PyObject* ladder_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  PyObject* module = module_of_type(type);
  try {
    static const char* names[] = {"word_list", nullptr};
    PyObject* list = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:WordLadder", const_cast<char**>(names),
                                     &list))
      return nullptr;
    std::vector<std::string> words;
    const Sequence seq("word_list", list);
    words.reserve(std::size_t(seq.size()));
    for (Py_ssize_t i = 0; i < seq.size(); ++i) words.push_back(lowered("word_list", seq[i]));
    Ref kept = check(PySequence_Tuple(list));
    auto ladder = std::make_unique<WordLadder>(std::move(words));
    PyObject* o = type->tp_alloc(type, 0);
    if (!o) return nullptr;
    ladder_of(o)->ladder = ladder.release();
    ladder_of(o)->words = kept.release();
    return o;
  } catch (...) {
    return translate_exception(module);
  }
}

PyObject* ladder_reduce(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<0> kParams{"__reduce__", {}, 0};
  bind(kParams, call);
  return check(Py_BuildValue("(O(O))", Py_TYPE(self), ladder_of(self)->words)).release();
}

PyObject* ladder_len(PyObject* o, void*) { return PyLong_FromSize_t(ladder_of(o)->ladder->size()); }

constexpr Params<10> kSearchParams{"search",
                                   {"start", "goal", "algorithm", "heuristic", "record", "weight",
                                    "beam_width", "depth_limit", "max_nodes", "reopen"},
                                   2};

template <class O>
PyObject* search_method(PyObject* module, PyObject* self, const Call& call) {
  using D = Domain<O>;
  constexpr const auto& kParams = kSearchParams;
  const auto a = bind(kParams, call);
  const auto& g = D::of(self);
  const typename D::N start = D::node("start", a[0]);
  const typename D::N goal = D::node("goal", a[1]);
  SearchParams p = convert_shared<kSearchParams>(a, D::kDefault);
  p.options.package_rows = true;
  D::check_endpoints(g, start, goal);
  std::optional<typename D::G> scratch;
  const auto& graph = D::graph_for(g, start, goal, scratch);
  Ref r;
  D::with_table(self,
                [&](const auto& table) { r = run_search(module, graph, start, goal, p, table); });
  return r.release();
}

// A batch of (start, goal) pairs: with a built-in heuristic the whole batch
// runs with the interpreter lock released, then the results are converted.
constexpr Params<9> kBatchParams{"search_many",
                                 {"pairs", "algorithm", "heuristic", "record", "weight",
                                  "beam_width", "depth_limit", "max_nodes", "reopen"},
                                 1};

template <class O>
PyObject* search_batch(PyObject* module, PyObject* self, const Call& call) {
  using D = Domain<O>;
  using N = typename D::N;
  constexpr const auto& kParams = kBatchParams;
  const auto a = bind(kParams, call);
  const auto& g = D::of(self);
  std::vector<std::pair<N, N>> pairs;
  {
    const Sequence seq("pairs", a[0]);
    pairs.reserve(std::size_t(seq.size()));
    for (Py_ssize_t i = 0; i < seq.size(); ++i) {
      const Sequence pair("pairs", seq[i]);
      if (pair.size() != 2) throw UsageError("each pair must be (start, goal)");
      pairs.emplace_back(D::node("start", pair[0]), D::node("goal", pair[1]));
    }
  }
  SearchParams p = convert_shared<kBatchParams>(a, "dijkstra");
  p.options.package_rows = true;
  for (const auto& [s, t] : pairs) D::check_endpoints(g, s, t);
  Ref out = check(PyList_New(Py_ssize_t(pairs.size())));
  std::vector<SearchResult<N>> results(pairs.size());
  std::vector<MemoryBudget> budgets(pairs.size(), p.budget);  // one per search
  bool converted = false;
  D::with_table(self, [&](const auto& table) {
    const ResolvedHeuristic h = resolve_heuristic(p.heuristic, table.default_name());
    if (h.callable) {
      for (std::size_t i = 0; i < pairs.size(); ++i) {
        PendingError pending;
        const SearchParams pi = p;  // each search has its own memory budget
        std::optional<typename D::G> scratch;
        const auto& gi = D::graph_for(g, pairs[i].first, pairs[i].second, scratch);
        Ref r =
            run_with_callable(module, gi, pairs[i].first, pairs[i].second, pi, h.callable, pending);
        PyList_SET_ITEM(out.get(), Py_ssize_t(i), r.release());
      }
      converted = true;
      return;
    }
    table.with(h.name, [&](const auto& heuristic) {
      ReleaseGil nogil;
      for (std::size_t i = 0; i < pairs.size(); ++i) {
        std::optional<typename D::G> scratch;
        const auto& gi = D::graph_for(g, pairs[i].first, pairs[i].second, scratch);
        RunOptions options = p.options;
        options.budget = &budgets[i];
        results[i] = run_algo(gi, heuristic, pairs[i].first, pairs[i].second, p.algorithm, options);
      }
    });
  });
  if (converted) return out.release();
  const ModuleState& state = state_of(module);
  for (std::size_t i = 0; i < pairs.size(); ++i)
    PyList_SET_ITEM(out.get(), Py_ssize_t(i),
                    to_py_result(state, std::move(results[i]), budgets[i]).release());
  return out.release();
}

// ---- one-to-all distances ----------------------------------------------------

double to_limit(PyObject* o) {
  if (is_none(o)) return std::numeric_limits<double>::infinity();
  const double limit = to_f64("limit", o);
  if (std::isnan(limit) || limit < 0.0) throw UsageError("limit must be a non-negative number");
  return limit;
}

// A bytearray of `count` elements of T, written to while the lock is released
// (nothing else can see it yet).
template <class T>
Ref new_array(std::size_t count) {
  if (count > std::size_t(PY_SSIZE_T_MAX) / sizeof(T)) throw std::bad_alloc();
  return check(PyByteArray_FromStringAndSize(nullptr, Py_ssize_t(count * sizeof(T))));
}
template <class T>
T* data_of(const Ref& a) {
  return reinterpret_cast<T*>(PyByteArray_AS_STRING(a.get()));
}

PyObject* graph_distances(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<4> kParams{
      "_distances", {"sources", "limit", "return_predecessors", "min_only"}, 1};
  const auto a = bind(kParams, call);
  const GraphObject* s = graph_of(self);
  const CsrGraph& g = *s->graph;
  std::vector<std::size_t> sources;
  column<true>("sources", a[0], sources);
  const double limit = to_limit(a[1]);
  const bool want_pred = a[2] ? to_bool("return_predecessors", a[2]) : false;
  const bool min_only = a[3] ? to_bool("min_only", a[3]) : false;
  const std::size_t n = g.num_nodes();
  for (const std::size_t v : sources)
    if (v >= n)
      throw UsageError("source " + std::to_string(v) + " is out of range for a " +
                       std::to_string(n) + "-node graph");
  if (!s->nonnegative)
    throw UsageError("distances needs non-negative arc weights (bellman_ford takes negative ones)");
  // One row per source, or one row for them all (with the source of each node).
  const std::size_t rows = min_only ? 1 : sources.size(), total = detail::sat_mul(rows, n);
  const bool want_origin = min_only && want_pred;
  call_budget().require(detail::sat_mul(total, 8 * (1 + want_pred + want_origin)), Use::Output,
                        "the distance array");
  Ref dist = new_array<double>(total);
  Ref pred = want_pred ? new_array<std::int64_t>(total) : Ref::borrow(Py_None);
  Ref origin = want_origin ? new_array<std::int64_t>(n) : Ref::borrow(Py_None);
  {
    ReleaseGil nogil;
    double* d = data_of<double>(dist);
    std::int64_t* p = want_pred ? data_of<std::int64_t>(pred) : nullptr;
    std::int64_t* o = want_origin ? data_of<std::int64_t>(origin) : nullptr;
    std::fill(d, d + total, std::numeric_limits<double>::infinity());
    if (p) std::fill(p, p + total, std::int64_t(-1));
    if (o) std::fill(o, o + n, std::int64_t(-1));
    if (min_only)
      distances_from(g, sources.data(), sources.size(), limit, d, p, o);
    else
      for (std::size_t i = 0; i < sources.size(); ++i)
        distances_from(g, sources[i], limit, d + i * n, p ? p + i * n : nullptr);
  }
  return check(PyTuple_Pack(3, dist.get(), pred.get(), origin.get())).release();
}

PyObject* grid_distances(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<3> kParams{"distances", {"source", "limit", "return_predecessors"}, 1};
  const auto a = bind(kParams, call);
  const GridGraph& g = *grid_of(self)->grid;
  const Cell source = Domain<GridObject>::node("source", a[0]);
  const double limit = to_limit(a[1]);
  const bool want_pred = a[2] ? to_bool("return_predecessors", a[2]) : false;
  if (!g.is_open(source)) throw UsageError("source must be an in-bounds, non-wall cell");
  const std::size_t cells = std::size_t(g.width()) * std::size_t(g.height());
  call_budget().require(detail::sat_mul(detail::sat_add(cells, g.node_count()), want_pred ? 32 : 8),
                        Use::Output, "the distance array");
  Ref dist = new_array<double>(cells);
  Ref pred = want_pred ? new_array<std::int64_t>(2 * cells) : Ref::borrow(Py_None);
  {
    ReleaseGil nogil;
    grid_distances_from(g, source, limit, data_of<double>(dist),
                        want_pred ? data_of<std::int64_t>(pred) : nullptr);
  }
  return check(PyTuple_Pack(2, dist.get(), pred.get())).release();
}

// ---- small accessors -----------------------------------------------------------

PyObject* graph_num_nodes(PyObject* o, void*) {
  return PyLong_FromSize_t(graph_of(o)->graph->num_nodes());
}
PyObject* graph_num_edges(PyObject* o, void*) { return PyLong_FromSize_t(graph_of(o)->num_edges); }
PyObject* graph_num_arcs(PyObject* o, void*) {
  return PyLong_FromSize_t(graph_of(o)->graph->num_arcs());
}
PyObject* graph_undirected(PyObject* o, void*) {
  return PyBool_FromLong(graph_of(o)->graph->undirected());
}
PyObject* graph_repr(PyObject* o) {
  const GraphObject* s = graph_of(o);
  return PyUnicode_FromFormat("%s(num_nodes=%zu, num_edges=%zu, undirected=%s)",
                              Py_TYPE(o)->tp_name, s->graph->num_nodes(), s->num_edges,
                              s->graph->undirected() ? "True" : "False");
}

PyObject* grid_height(PyObject* o, void*) { return PyLong_FromLong(grid_of(o)->grid->height()); }
PyObject* grid_width(PyObject* o, void*) { return PyLong_FromLong(grid_of(o)->grid->width()); }
PyObject* grid_diagonal(PyObject* o, void*) { return PyBool_FromLong(grid_of(o)->grid->diagonal); }
PyObject* grid_repr(PyObject* o) {
  const GridGraph& g = *grid_of(o)->grid;
  return PyUnicode_FromFormat("%s(height=%d, width=%d, diagonal=%s)", Py_TYPE(o)->tp_name,
                              int(g.height()), int(g.width()), g.diagonal ? "True" : "False");
}

// ---- results from their fields (unpickling) -------------------------------------

// Trace and tree already as lists.
class ListRecord final : public LazyRecord {
 public:
  ListRecord(Ref trace, Ref tree) : trace_(std::move(trace)), tree_(std::move(tree)) {}
  Ref trace_list() override { return std::move(trace_); }
  Ref tree_list() override { return std::move(tree_); }

 private:
  Ref trace_, tree_;
};

PyObject* make_result(PyObject* module, const Call& call) {
  static constexpr Params<10> kParams{
      "_make_result",
      {"path", "cost", "nodes_expanded", "nodes_generated", "nodes_reopened", "max_frontier_size",
       "elapsed", "stop_reason", "trace", "tree"},
      10};
  const auto a = bind(kParams, call);
  ResultFields f;
  if (!is_none(a[0])) {
    if (!PyList_Check(a[0])) argument_error(PyExc_TypeError, "path", "expected list or None");
    f.path = Ref::borrow(a[0]);
  }
  f.cost = to_f64("cost", a[1]);
  f.expanded = to_u64("nodes_expanded", a[2]);
  f.generated = to_u64("nodes_generated", a[3]);
  f.reopened = to_u64("nodes_reopened", a[4]);
  f.max_frontier = to_u64("max_frontier_size", a[5]);
  f.elapsed = to_f64("elapsed", a[6]);
  const std::string_view stop = to_str("stop_reason", a[7]);
  if (stop == "goal")
    f.stop = StopReason::Goal;
  else if (stop == "exhausted")
    f.stop = StopReason::Exhausted;
  else if (stop == "node_limit")
    f.stop = StopReason::NodeLimit;
  else
    throw UsageError("unknown stop reason: '" + std::string(stop) + "'");
  if (!PyList_Check(a[8]) || !PyList_Check(a[9]))
    raise(PyExc_TypeError, "trace and tree must be lists");
  f.record = std::make_unique<ListRecord>(Ref::borrow(a[8]), Ref::borrow(a[9]));
  return make_search_result(state_of(module), std::move(f)).release();
}

// ---- types and module -----------------------------------------------------------

#define WAYLOOM_CALLABLE(fn) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(fn))
constexpr int kMethod = METH_METHOD | METH_FASTCALL | METH_KEYWORDS;

PyMethodDef graph_methods[] = {
    {"from_arrays", WAYLOOM_CALLABLE(method_entry<graph_from_arrays>), kMethod | METH_CLASS,
     "from_arrays($cls, u, v, w=None, num_nodes=None, undirected=True, coordinates=None)\n--\n\n"
     "A graph from 1-D arrays (or sequences) of arc sources `u`, targets `v` and\n"
     "weights `w` (1.0 when omitted). `num_nodes` defaults to the largest id + 1.\n"
     "Integer or float arrays are read directly, without a copy per item; float\n"
     "node ids must be whole numbers."},
    {"_restore", WAYLOOM_CALLABLE(method_entry<graph_restore>), kMethod | METH_CLASS, nullptr},
    {"_from_csr", WAYLOOM_CALLABLE(method_entry<graph_from_csr>), kMethod | METH_CLASS, nullptr},
    {"__reduce__", WAYLOOM_CALLABLE(method_entry<graph_reduce>), kMethod, nullptr},
    {"search", WAYLOOM_CALLABLE(method_entry<search_method<GraphObject>>), kMethod,
     "search($self, start, goal, algorithm=\"dijkstra\", heuristic=None, record=True, "
     "weight=2.0, beam_width=None, depth_limit=None, max_nodes=None, reopen=False)\n--\n\n"
     "Search from `start` to `goal`; the result, counters and errors are those of\n"
     "`search_graph` on the same edges. A built-in heuristic runs with the\n"
     "interpreter lock released, so threads search one graph in parallel.\n\n"
     "The default, dijkstra, is exact on non-negative weights. So is\n"
     "\"bidirectional_dijkstra\", which searches from both ends and meets in the\n"
     "middle (on a directed graph the backward half walks the reversed graph,\n"
     "built on the first such query and kept). \"bidirectional\" is breadth-first\n"
     "from both ends: its path is the shortest in steps only, not in weight.\n\n"
     "On a graph built with coordinates the heuristic defaults to \"euclidean\"\n"
     "(else \"zero\"); \"euclidean\" and \"manhattan\" are admissible (A* then\n"
     "exact) only if every arc weighs at least the straight-line, respectively\n"
     "city-block, distance between its endpoints."},
    {"_search_batch", WAYLOOM_CALLABLE(method_entry<search_batch<GraphObject>>), kMethod, nullptr},
    {"_distances", WAYLOOM_CALLABLE(method_entry<graph_distances>), kMethod, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef graph_getset[] = {
    {"num_nodes", graph_num_nodes, nullptr, "Number of nodes (ids 0 .. num_nodes - 1).", nullptr},
    {"num_edges", graph_num_edges, nullptr, "Number of edges given.", nullptr},
    {"num_arcs", graph_num_arcs, nullptr,
     "Number of stored arcs (twice num_edges when undirected).", nullptr},
    {"undirected", graph_undirected, nullptr, "Whether each edge is stored both ways.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot graph_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(graph_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<GraphObject>)},
    {Py_tp_repr, reinterpret_cast<void*>(graph_repr)},
    {Py_tp_methods, graph_methods},
    {Py_tp_getset, graph_getset},
    {0, nullptr},
};

PyType_Spec graph_spec = {"wayloom._engine.Graph", sizeof(GraphObject), 0,
                          Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_IMMUTABLETYPE,
                          graph_slots};

PyMethodDef grid_methods[] = {
    {"from_costs", WAYLOOM_CALLABLE(method_entry<grid_from_costs_method>), kMethod | METH_CLASS,
     "from_costs($cls, costs, diagonal=False)\n--\n\n"
     "A grid from a matrix of terrain costs (nested lists or a 2-D array), read as\n"
     "`search_grid_costs` reads it: a non-positive or non-finite cost is a wall."},
    {"_restore", WAYLOOM_CALLABLE(method_entry<grid_restore>), kMethod | METH_CLASS, nullptr},
    {"__reduce__", WAYLOOM_CALLABLE(method_entry<grid_reduce>), kMethod, nullptr},
    {"search", WAYLOOM_CALLABLE(method_entry<search_method<GridObject>>), kMethod,
     "search($self, start, goal, algorithm=\"astar\", heuristic=None, record=True, weight=2.0, "
     "beam_width=None, depth_limit=None, max_nodes=None, reopen=False)\n--\n\n"
     "Search between two `(row, col)` cells; with a named heuristic the result,\n"
     "counters and errors are those of `search_grid_costs` on the same grid.\n\n"
     "Without one, the heuristic is octile distance on an 8-connected grid and\n"
     "Manhattan distance on a 4-connected one, times the cheapest open cell's\n"
     "cost: admissible on every grid, so the default A* is exact. The named\n"
     "heuristics count steps of cost 1: \"manhattan\" is admissible on\n"
     "4-connected grids whose open cells all cost at least 1, \"octile\" and\n"
     "\"euclidean\" on any grid whose open cells cost at least 1, \"zero\" always.\n\n"
     "\"bidirectional_dijkstra\" is exact too; \"bidirectional\" is breadth-first\n"
     "from both ends and shortest in steps only."},
    {"_search_batch", WAYLOOM_CALLABLE(method_entry<search_batch<GridObject>>), kMethod, nullptr},
    {"_distances", WAYLOOM_CALLABLE(method_entry<grid_distances>), kMethod, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef grid_getset[] = {
    {"height", grid_height, nullptr, "Number of rows.", nullptr},
    {"width", grid_width, nullptr, "Number of columns.", nullptr},
    {"diagonal", grid_diagonal, nullptr, "Whether moves are 8-connected.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot grid_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(grid_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<GridObject>)},
    {Py_tp_repr, reinterpret_cast<void*>(grid_repr)},
    {Py_tp_methods, grid_methods},
    {Py_tp_getset, grid_getset},
    {0, nullptr},
};

PyType_Spec grid_spec = {"wayloom._engine.Grid", sizeof(GridObject), 0,
                         Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_IMMUTABLETYPE,
                         grid_slots};

PyMethodDef ladder_methods[] = {
    {"__reduce__", WAYLOOM_CALLABLE(method_entry<ladder_reduce>), kMethod, nullptr},
    {"search", WAYLOOM_CALLABLE(method_entry<search_method<LadderObject>>), kMethod,
     "search($self, start, goal, algorithm=\"astar\", heuristic=None, record=True, weight=2.0, "
     "beam_width=None, depth_limit=None, max_nodes=None, reopen=False)\n--\n\n"
     "Search a word ladder from `start` to `goal`; the result, counters and errors\n"
     "are those of `search_wordladder` with this word list. An endpoint missing\n"
     "from the list joins it for that query (at the cost of copying the index)."},
    {"_search_batch", WAYLOOM_CALLABLE(method_entry<search_batch<LadderObject>>), kMethod, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef ladder_getset[] = {
    {"num_words", ladder_len, nullptr, "Number of distinct words indexed.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot ladder_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(ladder_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<LadderObject>)},
    {Py_tp_methods, ladder_methods},
    {Py_tp_getset, ladder_getset},
    {0, nullptr},
};

PyType_Spec ladder_spec = {"wayloom._engine.WordLadder", sizeof(LadderObject), 0,
                           Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_IMMUTABLETYPE,
                           ladder_slots};

PyMethodDef module_methods[] = {
    {"_make_result", WAYLOOM_CALLABLE(entry<make_result>), METH_FASTCALL | METH_KEYWORDS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef engine_def = {
    PyModuleDef_HEAD_INIT, "wayloom._engine", "",
    sizeof(ModuleState),   module_methods,    nullptr,
    traverse_state,        clear_state,       free_state,
};

int add_type(PyObject* module, PyType_Spec* spec, const char* name) {
  PyObject* type = PyType_FromModuleAndSpec(module, spec, nullptr);
  if (!type) return -1;
  const int rc = PyModule_AddObjectRef(module, name, type);
  Py_DECREF(type);
  return rc;
}

}  // namespace
}  // namespace wayloom::py

PyMODINIT_FUNC PyInit__engine() {
  using namespace wayloom::py;
  PyObject* module = PyModule_Create(&engine_def);
  if (!module) return nullptr;
  ModuleState& s = state_of(module);
  s = ModuleState{};
  // Results are wayloom_native's own SearchResult and failures its
  // PanicException, so both modules' results are one type.
  PyObject* native = PyImport_ImportModule("wayloom_native");
  if (native) {
    s.search_result_type = PyObject_GetAttrString(native, "SearchResult");
    s.panic_exception = PyObject_GetAttrString(native, "PanicException");
    Py_DECREF(native);
  }
  if (!s.search_result_type || !s.panic_exception || add_type(module, &graph_spec, "Graph") < 0 ||
      add_type(module, &grid_spec, "Grid") < 0 ||
      add_type(module, &ladder_spec, "WordLadder") < 0) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}
