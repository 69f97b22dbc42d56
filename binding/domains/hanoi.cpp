// The Towers of Hanoi adapter: the one-shot search_hanoi.
#include "wayloom/domains/hanoi.hpp"

#include <cstdint>

#include "../search_common.hpp"

namespace wayloom::py {

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

}  // namespace wayloom::py
