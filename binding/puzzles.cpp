// Entry points of the puzzle domains: sliding tiles, Towers of Hanoi and
// word ladders.
#include <cmath>
#include <string>
#include <vector>

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

}  // namespace

extern const char search_npuzzle_doc[] =
    "search_npuzzle(tiles, algorithm=\"astar\", heuristic=None, goal=None, record=True, "
    "weight=2.0, beam_width=None, depth_limit=None, max_nodes=None, reopen=False)\n--\n\n"
    "Solve a sliding-tile **N-puzzle** (3\xc3\x97"
    "3 \xe2\x86\x92 8-puzzle, 4\xc3\x97"
    "4 \xe2\x86\x92 15-puzzle, \xe2\x80\xa6).\n"
    "\n"
    "`tiles` is the flat, row-major start state with `0` for the blank; its length\n"
    "must be a perfect square. `goal` defaults to the canonical `1, 2, \xe2\x80\xa6, n\xe2\x88\x92"
    "1, 0`.\n"
    "States in the result are tuples of ints. `heuristic` is `\"manhattan\"`\n"
    "(default), `\"misplaced\"`, `\"zero\"`, or a callable `h(state, goal) -> float`.\n"
    "Raises if the configuration is not solvable into the goal (parity).";

PyObject* search_npuzzle(PyObject* module, const Call& call) {
  static constexpr Params<10> kParams{
      "search_npuzzle",
      {"tiles", "algorithm", "heuristic", "goal", "record", "weight", "beam_width", "depth_limit",
       "max_nodes", "reopen"},
      1};
  const auto a = bind(kParams, call);
  const std::vector<std::int64_t> tiles = to_int_list("tiles", a[0]);
  std::optional<std::vector<std::int64_t>> goal_tiles;
  if (!is_none(a[3])) goal_tiles = to_int_list("goal", a[3]);
  const SearchParams p = convert_shared<kParams>(a, "astar");

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

  return run_search(module, puzzle, start, goal, p, puzzle_heuristics(side, goal)).release();
}

extern const char search_hanoi_doc[] =
    "search_hanoi(disks, algorithm=\"astar\", heuristic=None, pegs=3, record=True, weight=2.0, "
    "beam_width=None, depth_limit=None, max_nodes=None, reopen=False)\n--\n\n"
    "Solve the **Towers of Hanoi** with `disks` disks over `pegs` pegs (default 3).\n"
    "\n"
    "Start = every disk on peg 0; goal = every disk on the last peg. A state in the\n"
    "result is a tuple `peg_of_disk[d]` (disk 0 = smallest). `heuristic` is\n"
    "`\"misplaced\"` (default), `\"zero\"`, or a callable `h(state, goal) -> float`.\n"
    "The classic 3-peg optimum is `2^disks \xe2\x88\x92 1` moves.";

PyObject* search_hanoi(PyObject* module, const Call& call) {
  static constexpr Params<10> kParams{
      "search_hanoi",
      {"disks", "algorithm", "heuristic", "pegs", "record", "weight", "beam_width", "depth_limit",
       "max_nodes", "reopen"},
      1};
  const auto a = bind(kParams, call);
  const std::uint64_t disks = to_u64("disks", a[0]);
  const std::uint64_t pegs = a[3] ? to_u64("pegs", a[3]) : 3;
  const SearchParams p = convert_shared<kParams>(a, "astar");

  const Hanoi hanoi = Hanoi::for_search(disks, pegs);
  const ByteState start = hanoi.start(), goal = hanoi.goal();
  return run_search(module, hanoi, start, goal, p, hanoi_heuristics()).release();
}

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
  const std::string start = lowered("start", a[0]);
  const std::string goal = lowered("goal", a[1]);
  std::vector<std::string> words;
  {
    const Sequence seq("words", a[2]);
    words.reserve(std::size_t(seq.size()));
    for (Py_ssize_t i = 0; i < seq.size(); ++i) words.push_back(lowered("words", seq[i]));
  }
  const SearchParams p = convert_shared<kParams>(a, "astar");

  if (start.size() != goal.size()) throw UsageError("start and goal must have the same length");
  WordLadder ladder(std::move(words));
  ladder.insert(start);
  ladder.insert(goal);
  return run_search(module, ladder, start, goal, p, ladder_heuristics()).release();
}

}  // namespace wayloom::py
