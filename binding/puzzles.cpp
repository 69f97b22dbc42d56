// Entry points of the puzzle domains: sliding tiles, Towers of Hanoi and
// word ladders.
#include <cmath>
#include <string>
#include <vector>

#include "entry_points.hpp"
#include "search_common.hpp"
#include "wayloom/core/byte_state.hpp"
#include "wayloom/domains/hanoi.hpp"
#include "wayloom/domains/npuzzle.hpp"
#include "wayloom/domains/wordladder.hpp"

namespace wayloom::py {

namespace {

std::vector<std::int64_t> to_int_list(const char* name, PyObject* o) {
  const Sequence seq(name, o);
  std::vector<std::int64_t> out;
  out.reserve(std::size_t(seq.size()));
  for (Py_ssize_t i = 0; i < seq.size(); ++i) out.push_back(to_i64(name, seq[i]));
  return out;
}

// Checks a board is a permutation of 0..L-1 and turns it into bytes.
ByteState to_board(const char* what, const std::vector<std::int64_t>& tiles) {
  const std::size_t n = tiles.size();
  std::vector<bool> seen(n, false);
  for (const std::int64_t t : tiles) {
    if (t < 0 || std::uint64_t(t) >= n || seen[std::size_t(t)])
      throw UsageError(std::string(what) + " must be a permutation of 0.." + std::to_string(n - 1) +
                       " (0 = blank)");
    seen[std::size_t(t)] = true;
  }
  ByteState board(n, 0);
  for (std::size_t i = 0; i < n; ++i) board[i] = std::uint8_t(tiles[i]);
  return board;
}

// Lowercases with the interpreter's own full Unicode mapping.
std::string lowered(const char* name, PyObject* s) {
  if (!PyUnicode_Check(s))
    argument_error(PyExc_TypeError, name, "expected str, got " + type_name(s));
  if (PyUnicode_IS_ASCII(s)) {
    // For ASCII text the full mapping is just A-Z -> a-z; skip the method call.
    std::string out(to_str(name, s));
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
  }
  Ref low = Ref::steal(PyObject_CallMethod(s, "lower", nullptr));
  if (!low) prefix_pending_error(name);
  return std::string(to_str(name, low.get()));
}

}  // namespace

PyObject* search_npuzzle(PyObject* module, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 10> names{
      "tiles",  "algorithm",  "heuristic",   "goal",      "record",
      "weight", "beam_width", "depth_limit", "max_nodes", "reopen"};
  const auto a = bind_args("search_npuzzle", names, 1, args, kwargs);
  const std::vector<std::int64_t> tiles = to_int_list("tiles", a[0]);
  std::optional<std::vector<std::int64_t>> goal_tiles;
  if (!is_none(a[3])) goal_tiles = to_int_list("goal", a[3]);
  const SearchParams p = convert_shared({a[1], a[2], a[4], a[5], a[6], a[7], a[8], a[9]}, "astar");

  const std::size_t n = tiles.size();
  const std::size_t side = std::size_t(std::llround(std::sqrt(double(n))));
  if (n == 0 || side * side != n)
    throw UsageError("tiles length must be a non-zero perfect square (9, 16, 25, \xe2\x80\xa6)");
  // Tiles are stored in bytes: a larger board could not be represented.
  if (n > 256)
    throw UsageError(
        "tiles length must be at most 256 (boards up to 16\xc3\x97"
        "16)");
  const ByteState start = to_board("tiles", tiles);
  const NPuzzle puzzle(side);
  ByteState goal;
  if (goal_tiles) {
    if (goal_tiles->size() != n) throw UsageError("goal must have the same length as tiles");
    goal = to_board("goal", *goal_tiles);
  } else {
    goal = puzzle.goal();
  }
  if (!puzzle.is_solvable(start, goal))
    throw UsageError("this configuration is not solvable into the goal (parity)");

  return run_search(module, puzzle, start, goal, p, "manhattan",
                    [side, &goal](const std::string& name, auto&& run) {
                      if (name == "zero") return run(Zero{});
                      if (name == "manhattan") return run(PuzzleManhattan::for_goal(side, goal));
                      if (name == "misplaced") return run(PuzzleMisplaced{});
                      throw UsageError("unknown npuzzle heuristic: '" + name +
                                       "'. Use manhattan, misplaced, zero, or a callable h(state, "
                                       "goal) -> float");
                    })
      .release();
}

PyObject* search_hanoi(PyObject* module, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 10> names{
      "disks",  "algorithm",  "heuristic",   "pegs",      "record",
      "weight", "beam_width", "depth_limit", "max_nodes", "reopen"};
  const auto a = bind_args("search_hanoi", names, 1, args, kwargs);
  const std::uint64_t disks = to_u64("disks", a[0]);
  const std::uint64_t pegs = a[3] ? to_u64("pegs", a[3]) : 3;
  const SearchParams p = convert_shared({a[1], a[2], a[4], a[5], a[6], a[7], a[8], a[9]}, "astar");

  if (disks == 0) throw UsageError("disks must be \xe2\x89\xa5 1");
  if (pegs < 3) throw UsageError("pegs must be \xe2\x89\xa5 3");
  const Hanoi hanoi = Hanoi::with_pegs(disks, pegs);
  const ByteState start = hanoi.start(), goal = hanoi.goal();
  return run_search(module, hanoi, start, goal, p, "misplaced",
                    [](const std::string& name, auto&& run) {
                      if (name == "zero") return run(Zero{});
                      if (name == "misplaced") return run(HanoiMisplaced{});
                      throw UsageError("unknown hanoi heuristic: '" + name +
                                       "'. Use misplaced, zero, or a callable");
                    })
      .release();
}

PyObject* search_wordladder(PyObject* module, PyObject* args, PyObject* kwargs) {
  static constexpr std::array<const char*, 11> names{
      "start",  "goal",       "words",       "algorithm", "heuristic", "record",
      "weight", "beam_width", "depth_limit", "max_nodes", "reopen"};
  const auto a = bind_args("search_wordladder", names, 3, args, kwargs);
  const std::string start = lowered("start", a[0]);
  const std::string goal = lowered("goal", a[1]);
  std::vector<std::string> words;
  {
    const Sequence seq("words", a[2]);
    words.reserve(std::size_t(seq.size()));
    for (Py_ssize_t i = 0; i < seq.size(); ++i) words.push_back(lowered("words", seq[i]));
  }
  const SearchParams p = convert_shared({a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10]}, "astar");

  if (start.size() != goal.size()) throw UsageError("start and goal must have the same length");
  WordLadder ladder(std::move(words));
  ladder.insert(start);
  ladder.insert(goal);
  return run_search(module, ladder, start, goal, p, "hamming",
                    [](const std::string& name, auto&& run) {
                      if (name == "zero") return run(Zero{});
                      if (name == "hamming") return run(LadderHamming{});
                      throw UsageError("unknown wordladder heuristic: '" + name +
                                       "'. Use hamming, zero, or a callable");
                    })
      .release();
}

}  // namespace wayloom::py
