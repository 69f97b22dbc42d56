"""The puzzle entry points: validations in order with their texts, node shapes,
lowercasing of word-ladder words, and ground truth from the benchmark data
(8- and 15-puzzle optima, Hanoi move counts, word-ladder lengths)."""

import inspect
import math
import pathlib
import random
from collections import deque

import pytest

import wayloom_native as wn

DATA = pathlib.Path(__file__).resolve().parents[3] / "shared" / "data"
needs_data = pytest.mark.skipif(not DATA.is_dir(), reason="benchmark data not available")

SQUARE = "tiles length must be a non-zero perfect square (9, 16, 25, \u2026)"
TOO_BIG = "tiles length must be at most 256 (boards up to 16\u00d716)"
PARITY = "this configuration is not solvable into the goal (parity)"
GOAL_LEN = "goal must have the same length as tiles"
SAME_LEN = "start and goal must have the same length"
HEURISTIC_TYPE = "heuristic must be a name (str) or a callable h(node, goal) -> float"
GOAL8 = (1, 2, 3, 4, 5, 6, 7, 8, 0)
HARDEST8 = [(8, 6, 7, 2, 5, 4, 3, 0, 1), (6, 4, 7, 8, 5, 0, 3, 2, 1)]


def perm(what, n):
    return f"{what} must be a permutation of 0..{n - 1} (0 = blank)"


def npuzzle_h(name):
    return (f"unknown npuzzle heuristic: '{name}'. Use manhattan, misplaced, zero, or a callable "
            "h(state, goal) -> float")


def value_error(call):
    with pytest.raises(ValueError) as info:
        call()
    return str(info.value)


def legal_slide(a, b, side):
    diff = [i for i in range(len(a)) if a[i] != b[i]]
    if len(diff) != 2 or 0 not in (a[diff[0]], a[diff[1]]) or sorted(a) != sorted(b):
        return False
    (r1, c1), (r2, c2) = divmod(diff[0], side), divmod(diff[1], side)
    return abs(r1 - r2) + abs(c1 - c2) == 1


def legal_disk_move(a, b):
    moved = [d for d in range(len(a)) if a[d] != b[d]]
    return len(moved) == 1 and all(a[d] not in (a[moved[0]], b[moved[0]])
                                   for d in range(moved[0]))


# ----------------------------------------------------------- search_npuzzle


def test_npuzzle_checks_in_order():
    # Size first, whatever else is wrong.
    for tiles in ([], [0], [1, 0], list(range(8)), [5] * 8, list(range(10)), list(range(290))):
        if len(tiles) == 1:
            continue
        call = lambda: wn.search_npuzzle(tiles, "nope", "nope", goal=[1])  # noqa: E731
        assert value_error(call) == SQUARE, len(tiles)
    # Boards above 16x16 are refused before their tiles are looked at.
    assert value_error(lambda: wn.search_npuzzle(list(range(289)))) == TOO_BIG
    assert value_error(lambda: wn.search_npuzzle([7] * 324, goal=[1])) == TOO_BIG
    # The permutation check names L - 1 and stops at the first bad value.
    for tiles in ([1, 2, 3, 4, 5, 6, 7, 8, 8], [1, 2, 3, 4, 5, 6, 7, 8, 9],
                  [-1, 2, 3, 4, 5, 6, 7, 8, 0], [256, 1, 2, 3, 4, 5, 6, 7, 8],
                  [2**63 - 1, 1, 2, 3, 4, 5, 6, 7, 8]):
        assert value_error(lambda: wn.search_npuzzle(tiles, goal=[0])) == perm("tiles", 9)
    assert value_error(lambda: wn.search_npuzzle([0, 1, 2, 2])) == perm("tiles", 4)
    assert value_error(lambda: wn.search_npuzzle(list(range(1, 17)))) == perm("tiles", 16)
    # Then the goal: its length, then its permutation.
    start = list(GOAL8)
    for goal in ([], list(range(8)), list(range(16))):
        assert value_error(lambda: wn.search_npuzzle(start, goal=goal)) == GOAL_LEN
    assert value_error(lambda: wn.search_npuzzle(start, goal=[1] * 9)) == perm("goal", 9)
    # Then parity, before the heuristic and the algorithm are looked at.
    for tiles, goal in [([1, 2, 3, 4, 5, 6, 8, 7, 0], None),
                        (list(range(1, 14)) + [15, 14, 0], None),
                        ([1, 0, 2, 3], [0, 2, 1, 3])]:
        for extra in ({}, {"heuristic": "nope", "algorithm": "nope"}, {"heuristic": 3}):
            assert value_error(lambda: wn.search_npuzzle(tiles, goal=goal, **extra)) == PARITY
    # Heuristic names are exact and checked before the algorithm name.
    for name in ("Manhattan", "MANHATTAN", " manhattan", "", "hamming", "octile", "Zero"):
        assert value_error(lambda: wn.search_npuzzle(start, "nope", name)) == npuzzle_h(name)
        assert value_error(lambda: wn.search_npuzzle(start, "dls", name)) == npuzzle_h(name)
    assert value_error(lambda: wn.search_npuzzle(start, "nope", 3)) == HEURISTIC_TYPE
    assert value_error(lambda: wn.search_npuzzle(start, "dls")) == "'dls' requires depth_limit"


def test_npuzzle_small_boards_and_node_shapes():
    r = wn.search_npuzzle(list(GOAL8))
    assert (r.path, r.cost, r.nodes_expanded) == ([GOAL8], 0.0, 1)
    assert wn.search_npuzzle([0]).path == [(0,)]
    r = wn.search_npuzzle([1, 2, 3, 4, 5, 6, 7, 0, 8], record=True)
    assert r.path == [(1, 2, 3, 4, 5, 6, 7, 0, 8), GOAL8] and r.cost == 1.0
    for node in r.path + [n for n, _, _ in r.trace] + [x for e in r.tree for x in e]:
        assert type(node) is tuple and all(type(t) is int for t in node)
    # Any sequence of ints is a board.
    assert wn.search_npuzzle((1, 2, 0, 3), goal=[1, 2, 3, 0]).path == [
        (1, 2, 0, 3), (1, 2, 3, 0)]
    # The largest board: tiles up to 255 come back intact.
    big = list(range(1, 256)) + [0]
    r = wn.search_npuzzle(big)
    assert r.path == [tuple(big)]
    r = wn.search_npuzzle(big[:-2] + [0, 255], "bfs")
    assert r.path[-1] == tuple(big) and r.cost == 1.0


def test_npuzzle_non_canonical_goal():
    goal = [0, 1, 2, 3, 4, 5, 6, 7, 8]
    start = [1, 2, 0, 3, 4, 5, 6, 7, 8]
    for heuristic in ("manhattan", "misplaced", "zero"):
        r = wn.search_npuzzle(start, "astar", heuristic, goal=goal)
        assert (r.path[0], r.path[-1], r.cost) == (tuple(start), tuple(goal), 2.0), heuristic
    # The default goal applies only when goal is None.
    assert wn.search_npuzzle(start, goal=None, algorithm="bfs").path[-1] == GOAL8


def test_npuzzle_callable_heuristic_sees_tuples_and_matches_the_builtin():
    start = [1, 2, 3, 0, 4, 6, 7, 5, 8]
    seen = set()

    def manhattan(state, goal):
        seen.add((type(state), type(goal), goal))
        where = {t: i for i, t in enumerate(goal)}
        return float(sum(abs(i // 3 - where[t] // 3) + abs(i % 3 - where[t] % 3)
                         for i, t in enumerate(state) if t))

    for algo in ("astar", "ida_star", "beam", "greedy"):
        mine = wn.search_npuzzle(start, algo, manhattan)
        builtin = wn.search_npuzzle(start, algo, "manhattan")
        assert (mine.path, mine.trace, mine.nodes_generated) == (
            builtin.path, builtin.trace, builtin.nodes_generated), algo
    assert seen == {(tuple, tuple, GOAL8)}


def test_the_two_hardest_8_puzzle_boards_need_31_moves():
    for board in HARDEST8:
        for algo, heuristic in (("astar", "manhattan"), ("ida_star", "manhattan"),
                                ("astar", "misplaced"), ("bfs", "zero")):
            r = wn.search_npuzzle(board, algo, heuristic, record=False)
            assert r.cost == 31.0, (board, algo, heuristic)
            assert r.path[0] == board and r.path[-1] == GOAL8 and len(r.path) == 32
            assert all(legal_slide(a, b, 3) for a, b in zip(r.path, r.path[1:]))


def distances_to_goal():
    """Breadth-first distances of every 8-puzzle state to the canonical goal."""
    dist = {GOAL8: 0}
    queue = deque([GOAL8])
    while queue:
        s = queue.popleft()
        b = s.index(0)
        r, c = divmod(b, 3)
        for dr, dc in ((-1, 0), (1, 0), (0, -1), (0, 1)):
            if 0 <= r + dr < 3 and 0 <= c + dc < 3:
                t = list(s)
                j = (r + dr) * 3 + c + dc
                t[b], t[j] = t[j], t[b]
                t = tuple(t)
                if t not in dist:
                    dist[t] = dist[s] + 1
                    queue.append(t)
    return dist


@needs_data
def test_8_puzzle_optima_match_the_distance_table():
    dist = distances_to_goal()
    counts = {}
    for d in dist.values():
        counts[d] = counts.get(d, 0) + 1
    rows = [line.split() for line in (DATA / "puzzles" / "8puzzle_distance_counts.txt")
            .read_text().splitlines() if line.strip() and not line.startswith("#")]
    assert counts == {int(d): int(c) for d, c in rows}  # the table is the one the file gives
    rng = random.Random(8)
    states = rng.sample(sorted(dist), 40)
    for state in states:
        for algo, heuristic in (("ida_star", "manhattan"), ("astar", "misplaced"),
                                ("astar", "zero")):
            r = wn.search_npuzzle(state, algo, heuristic, record=False)
            assert r.cost == dist[state], (state, algo, heuristic)
        # Every unsolvable twin (two non-blank tiles swapped) is refused.
        i, j = [k for k, t in enumerate(state) if t][:2]
        twin = list(state)
        twin[i], twin[j] = twin[j], twin[i]
        assert value_error(lambda: wn.search_npuzzle(twin)) == PARITY


def korf_instances():
    path = DATA / "puzzles" / "korf100_canonical_goal.txt"
    for line in path.read_text().splitlines():
        if line.strip() and not line.startswith("#"):
            f = [int(x) for x in line.split()]
            yield f[0], f[1], f[2], f[3:]


@needs_data
def test_easy_korf_instances_with_ida_star():
    goal = tuple(range(1, 16)) + (0,)
    easy = {55, 79, 42}  # the least work for IDA* with Manhattan distance
    checked = 0
    for ident, optimal, manhattan, tiles in korf_instances():
        if ident not in easy:
            continue
        r = wn.search_npuzzle(tiles, "ida_star", record=False)
        assert r.cost == optimal and r.path[-1] == goal, ident
        assert r.max_frontier_size == optimal  # the path set holds all but the goal
        assert manhattan <= optimal
        checked += 1
    assert checked == len(easy)


# ------------------------------------------------------------- search_hanoi


def test_hanoi_checks_in_order():
    for pegs in (0, 1, 2, 3, 17, 2**64 - 1):
        call = lambda: wn.search_hanoi(0, "nope", "nope", pegs=pegs)  # noqa: E731
        assert value_error(call) == "disks must be \u2265 1"
    for pegs in (0, 1, 2):
        call = lambda: wn.search_hanoi(3, "nope", "nope", pegs=pegs)  # noqa: E731
        assert value_error(call) == "pegs must be \u2265 3"
    for pegs in (17, 1000):
        with pytest.raises(wn.PanicException) as info:
            wn.search_hanoi(3, "nope", "nope", pegs=pegs)
        assert info.value.args == (f"pegs must be between 1 and 16, got {pegs}",)
    for name in ("Misplaced", "manhattan", "hamming", ""):
        expected = f"unknown hanoi heuristic: '{name}'. Use misplaced, zero, or a callable"
        assert value_error(lambda: wn.search_hanoi(3, "nope", name)) == expected
    assert value_error(lambda: wn.search_hanoi(3, "nope", 2.5)) == HEURISTIC_TYPE
    r = wn.search_hanoi(2, pegs=16)
    assert (r.path[0], r.path[-1], r.cost) == ((0, 0), (15, 15), 3.0)


def test_hanoi_with_three_pegs_needs_two_to_the_n_minus_one_moves():
    for disks in range(1, 9):
        r = wn.search_hanoi(disks, "bfs", record=False)
        assert r.cost == 2**disks - 1, disks
        assert r.path[0] == (0,) * disks and r.path[-1] == (2,) * disks
        assert all(legal_disk_move(a, b) for a, b in zip(r.path, r.path[1:]))
    r = wn.search_hanoi(3, "bfs")
    assert r.path == [(0, 0, 0), (2, 0, 0), (2, 1, 0), (1, 1, 0), (1, 1, 2), (0, 1, 2),
                      (0, 2, 2), (2, 2, 2)]
    for node in r.path + [n for n, _, _ in r.trace]:
        assert type(node) is tuple and all(type(p) is int for p in node)


def test_hanoi_with_four_pegs():
    expected = [1, 3, 5, 9, 13, 17, 25, 33, 41]
    for disks, moves in enumerate(expected, 1):
        r = wn.search_hanoi(disks, "astar", pegs=4, record=False)
        assert r.cost == moves, disks
        assert r.path[-1] == (3,) * disks
        assert all(legal_disk_move(a, b) for a, b in zip(r.path, r.path[1:]))
    assert wn.search_hanoi(5, "ida_star", pegs=4, record=False).cost == 13


def test_hanoi_callable_heuristic_sees_tuples():
    seen = set()

    def misplaced(state, goal):
        seen.add((type(state), len(state), goal))
        return float(sum(a != b for a, b in zip(state, goal)))

    mine = wn.search_hanoi(4, "astar", misplaced, pegs=4)
    builtin = wn.search_hanoi(4, "astar", "misplaced", pegs=4)
    assert (mine.path, mine.trace) == (builtin.path, builtin.trace)
    assert seen == {(tuple, 4, (3, 3, 3, 3))}


# -------------------------------------------------------- search_wordladder

WORDS = ["cold", "cord", "card", "ward", "warm", "word", "worm"]


def test_wordladder_checks_and_heuristic_names():
    assert value_error(lambda: wn.search_wordladder("cold", "warmer", WORDS, "nope", "nope")) == (
        SAME_LEN
    )
    # Lengths are compared in bytes after lowercasing: "é" is two bytes.
    assert value_error(lambda: wn.search_wordladder("\u00e9", "e", [])) == SAME_LEN
    assert wn.search_wordladder("\u00e9", "ab", []).stop_reason == "exhausted"
    # U+1E9E is three bytes, but its lowercase is two.
    assert wn.search_wordladder("\u1e9e", "ab", []).stop_reason == "exhausted"
    for name in ("Hamming", "manhattan", "misplaced", ""):
        expected = f"unknown wordladder heuristic: '{name}'. Use hamming, zero, or a callable"
        assert value_error(lambda: wn.search_wordladder("cold", "warm", [], "nope", name)) == (
            expected
        )
    assert value_error(lambda: wn.search_wordladder("a", "b", [], "nope", [])) == HEURISTIC_TYPE


def test_wordladder_paths_are_lowercased_words():
    r = wn.search_wordladder("COLD", "Warm", ["CORD", "Card", "wARD"], "bfs")
    assert r.path == ["cold", "cord", "card", "ward", "warm"] and r.cost == 4.0
    assert all(type(w) is str for w in r.path + [n for n, _, _ in r.trace])
    # Only the two endpoints are known without a word list: not adjacent.
    for algo in ("bfs", "astar", "ucs", "greedy"):
        assert wn.search_wordladder("cold", "warm", [], algo).stop_reason == "exhausted"
    assert wn.search_wordladder("cold", "cord", []).path == ["cold", "cord"]
    assert wn.search_wordladder("", "", []).path == [""]


@pytest.mark.parametrize("word", ["\u039f\u0394\u039f\u03a3", "\u03a3\u0391\u03a3", "\u1e9e",
                                  "\u0130", "\u01c5", "\u2126", "\u00c5NGSTR\u00d6M", "STRASSE"])
def test_wordladder_lowercases_with_the_full_unicode_mapping(word):
    r = wn.search_wordladder(word, word.lower(), [])
    assert r.path == [word.lower()] and r.cost == 0.0


def test_lowercasing_is_the_str_mapping_even_for_subclasses():
    # Known bug: the binding calls the argument's own lower(), so a str subclass
    # that overrides it decides what the word becomes (here "zzzz" for all three).
    class Shouty(str):
        def lower(self):
            return "zzzz"

    r = wn.search_wordladder(Shouty("COLD"), Shouty("CORD"), [Shouty("CARD")], "bfs")
    assert r.path == ["cold", "cord"]


def test_word_list_is_lowercased_and_duplicates_collapse():
    # The Kelvin sign lowercases to ASCII k: the word list then holds "kat".
    r = wn.search_wordladder("cat", "kit", ["\u212aAT"], "bfs")
    assert r.path == ["cat", "kat", "kit"]
    # Words differing only in case are one node.
    many = ["cord", "CORD", "Cord", "cOrD", "card", "CARD"]
    once = wn.search_wordladder("cold", "ward", many, "bfs")
    twice = wn.search_wordladder("cold", "ward", ["cord", "card"], "bfs")
    assert (once.path, once.nodes_generated, once.trace) == (
        twice.path, twice.nodes_generated, twice.trace)


def test_wordladder_callable_heuristic_sees_lowercased_str():
    seen = set()

    def hamming(word, goal):
        seen.add((type(word), goal))
        return float(sum(a != b for a, b in zip(word, goal)))

    mine = wn.search_wordladder("COLD", "WARM", WORDS, "astar", hamming)
    builtin = wn.search_wordladder("COLD", "WARM", WORDS, "astar")
    assert (mine.path, mine.trace) == (builtin.path, builtin.trace)
    assert seen == {(str, "warm")}


def ladder_rows():
    for line in (DATA / "words" / "ladder_checks.txt").read_text().splitlines():
        if line.strip() and not line.startswith("#"):
            name, start, goal, steps = line.split()
            yield name, start, goal, int(steps)


@needs_data
def test_ladder_lengths_from_the_word_lists():
    lists = {}
    rows = list(ladder_rows())
    assert ("wamerican-3to5.txt", "cold", "warm", 4) in rows
    assert ("sgb-words.txt", "words", "graph", 7) in rows
    for name, start, goal, steps in rows:
        words = lists.setdefault(name, (DATA / "words" / name).read_text().split())
        for algo in ("bfs", "astar", "bidirectional"):
            r = wn.search_wordladder(start, goal, words, algo, record=False)
            if steps < 0:
                assert r.stop_reason == "exhausted", (start, goal, algo)
                continue
            assert r.cost == steps, (start, goal, algo)
            assert r.path[0] == start and r.path[-1] == goal
            assert all(sum(a != b for a, b in zip(x, y)) == 1 for x, y in zip(r.path, r.path[1:]))
            assert set(r.path) <= set(words) | {start, goal}
    cold = wn.search_wordladder("cold", "warm", lists["wamerican-3to5.txt"], "bfs")
    assert len(cold.path) == 5


# ------------------------------------------------------ docstrings and signatures

SHARED = ('algorithm="astar", heuristic=None{}, record=True, weight=2.0, beam_width=None, '
          "depth_limit=None, max_nodes=None, reopen=False")
NPUZZLE_DOC = """Solve a sliding-tile **N-puzzle** (3×3 → 8-puzzle, 4×4 → 15-puzzle, …).

`tiles` is the flat, row-major start state with `0` for the blank; its length
must be a perfect square. `goal` defaults to the canonical `1, 2, \u2026, n\u22121, 0`.
States in the result are tuples of ints. `heuristic` is `"manhattan"`
(default), `"misplaced"`, `"zero"`, or a callable `h(state, goal) -> float`.
Raises if the configuration is not solvable into the goal (parity)."""
HANOI_DOC = """Solve the **Towers of Hanoi** with `disks` disks over `pegs` pegs (default 3).

Start = every disk on peg 0; goal = every disk on the last peg. A state in the
result is a tuple `peg_of_disk[d]` (disk 0 = smallest). `heuristic` is
`"misplaced"` (default), `"zero"`, or a callable `h(state, goal) -> float`.
The classic 3-peg optimum is `2^disks \u2212 1` moves."""
LADDER_DOC = """Solve a **word ladder** from `start` to `goal` over a `words` dictionary
(equal-length lowercase words; `start`/`goal` are added automatically so the
endpoints are valid nodes). Each step changes exactly one letter. `heuristic`
is `"hamming"` (default), `"zero"`, or a callable `h(word, goal) -> float`."""


@pytest.mark.parametrize("function, signature, doc", [
    (wn.search_npuzzle, "(tiles, " + SHARED.format(", goal=None") + ")", NPUZZLE_DOC),
    (wn.search_hanoi, "(disks, " + SHARED.format(", pegs=3") + ")", HANOI_DOC),
    (wn.search_wordladder, "(start, goal, words, " + SHARED.format("") + ")", LADDER_DOC),
])
def test_docstrings_and_signatures(function, signature, doc):
    assert function.__doc__ == doc
    assert function.__text_signature__ == signature
    expected = inspect.signature(eval(f"lambda {signature[1:-1]}: None"))  # noqa: S307
    assert str(inspect.signature(function)) == str(expected)
