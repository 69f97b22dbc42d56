// The sliding-tile adapter: boards read from Python and the one-shot
// search_npuzzle.
#include "wayloom/domains/npuzzle.hpp"

#include <cmath>
#include <string>
#include <vector>

#include "../search_common.hpp"
#include "wayloom/core/byte_state.hpp"

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

}  // namespace wayloom::py
