// The word-ladder adapter: word lists read from Python, the WordLadder class
// of the companion module, and the one-shot search_wordladder.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../shell.hpp"
#include "wayloom/domains/wordladder.hpp"

namespace wayloom::py {

// An indexed word list and the list as given (a tuple of str), for pickling.
struct LadderValue {
  WordLadder ladder;
  Ref words;
};

namespace {
void same_length(const std::string& s, const std::string& t) {
  if (s.size() != t.size()) throw UsageError("start and goal must have the same length");
}
}  // namespace

template <>
struct Domain<LadderValue> {
  using G = WordLadder;
  using N = std::string;
  static constexpr const char* kDefault = "astar";
  static const G& graph(const LadderValue& v) { return v.ladder; }
  static N node(const char* name, PyObject* o) { return lowered(name, o); }
  static void check_endpoints(const G&, const N& s, const N& t) { same_length(s, t); }
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
  static void with_table(const LadderValue&, F&& f) {
    f(ladder_heuristics());
  }
};

namespace {

using LadderDomain = Domain<LadderValue>;

std::vector<std::string> word_list(const char* name, PyObject* o) {
  const Sequence seq(name, o);
  std::vector<std::string> words;
  words.reserve(std::size_t(seq.size()));
  for (Py_ssize_t i = 0; i < seq.size(); ++i) words.push_back(lowered(name, seq[i]));
  return words;
}

// ---- the WordLadder class ----------------------------------------------------------

PyObject* ladder_new(PyObject* /*module*/, PyObject* cls, const Call& call) {
  static constexpr Params<1> kParams{"WordLadder", {"word_list"}, 1};
  const auto a = bind(kParams, call);
  std::vector<std::string> words = word_list("word_list", a[0]);
  Ref kept = check(PySequence_Tuple(a[0]));
  return new_object(cls, LadderValue{WordLadder(std::move(words)), std::move(kept)});
}

PyObject* ladder_reduce(PyObject* /*module*/, PyObject* self, const Call& call) {
  static constexpr Params<0> kParams{"__reduce__", {}, 0};
  bind(kParams, call);
  return check(Py_BuildValue("(O(O))", Py_TYPE(self), value_of<LadderValue>(self).words.get()))
      .release();
}

PyObject* ladder_len(PyObject* o, void*) {
  return PyLong_FromSize_t(value_of<LadderValue>(o).ladder.size());
}

PyMethodDef ladder_methods[] = {
    method_def<ladder_reduce>("__reduce__", nullptr),
    search_def<LadderValue>(
        "search($self, start, goal, algorithm=\"astar\", heuristic=None, record=True, "
        "weight=2.0, beam_width=None, depth_limit=None, max_nodes=None, reopen=False)\n--\n\n"
        "Search a word ladder from `start` to `goal`; the result, counters and errors\n"
        "are those of `search_wordladder` with this word list. An endpoint missing\n"
        "from the list joins it for that query (at the cost of copying the index)."),
    batch_def<LadderValue>(),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef ladder_getset[] = {
    {"num_words", ladder_len, nullptr, "Number of distinct words indexed.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

extern const ClassSpec ladder_class = class_spec<LadderValue>(
    "wayloom._engine.WordLadder", new_entry<ladder_new>, nullptr, ladder_methods, ladder_getset);

// ---- one-shot functions ------------------------------------------------------------

extern const char search_wordladder_doc[] =
    "search_wordladder(start, goal, words, algorithm=\"astar\", heuristic=None, record=True, "
    "weight=2.0, beam_width=None, depth_limit=None, max_nodes=None, reopen=False)\n--\n\n"
    "Solve a **word ladder** from `start` to `goal` over a `words` dictionary\n"
    "(equal-length lowercase words; `start`/`goal` are added automatically so the\n"
    "endpoints are valid nodes). Each step changes exactly one letter. `heuristic`\n"
    "is `\"hamming\"` (default), `\"zero\"`, or a callable `h(word, goal) -> float`.";

PyObject* search_wordladder(PyObject* module, const Call& call) {
  static constexpr Params<11> kParams{
      "search_wordladder",
      {"start", "goal", "words", "algorithm", "heuristic", "record", "weight", "beam_width",
       "depth_limit", "max_nodes", "reopen"},
      3};
  const auto a = bind(kParams, call);
  const std::string start = LadderDomain::node("start", a[0]);
  const std::string goal = LadderDomain::node("goal", a[1]);
  std::vector<std::string> words = word_list("words", a[2]);
  const SearchParams p = convert_shared<kParams>(a, LadderDomain::kDefault);

  same_length(start, goal);
  WordLadder ladder(std::move(words));
  ladder.insert(start);
  ladder.insert(goal);
  return run_search(module, ladder, start, goal, p, ladder_heuristics()).release();
}

}  // namespace wayloom::py
