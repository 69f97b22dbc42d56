"""The puzzle domains: node shapes, goals, lowercasing of words, and known
optima (hardest 8-puzzles, Hanoi move counts, the benchmark data's tables)."""

import pytest
import wayloom_native as wn
from conftest import DATA, needs_data

GOAL8 = (1, 2, 3, 4, 5, 6, 7, 8, 0)


def test_npuzzle_boards_goals_and_node_shapes():
    r = wn.search_npuzzle(list(GOAL8))
    assert (r.path, r.cost, r.nodes_expanded, wn.search_npuzzle([0]).path) == (
        [GOAL8],
        0.0,
        1,
        [(0,)],
    )
    r = wn.search_npuzzle([1, 2, 3, 4, 5, 6, 7, 0, 8])
    assert r.path == [(1, 2, 3, 4, 5, 6, 7, 0, 8), GOAL8] and r.cost == 1.0
    nodes = r.path + [n for n, _, _ in r.trace] + [x for e in r.tree for x in e]
    assert all(type(n) is tuple and all(type(t) is int for t in n) for n in nodes)
    assert wn.search_npuzzle((1, 2, 0, 3), goal=[1, 2, 3, 0]).path == [(1, 2, 0, 3), (1, 2, 3, 0)]
    big = list(range(1, 256)) + [0]  # the largest board: tiles up to 255 come back intact
    assert wn.search_npuzzle(big[:-2] + [0, 255], "bfs").path[-1] == tuple(big)
    # Any goal permutation of the right parity; the default applies only for None.
    start, goal = [1, 2, 0, 3, 4, 5, 6, 7, 8], [0, 1, 2, 3, 4, 5, 6, 7, 8]
    for heuristic in ("manhattan", "misplaced", "zero"):
        r = wn.search_npuzzle(start, "astar", heuristic, goal=goal)
        assert (r.path[0], r.path[-1], r.cost) == (tuple(start), tuple(goal), 2.0), heuristic
    assert wn.search_npuzzle(start, goal=None, algorithm="bfs").path[-1] == GOAL8
    # Successors move the blank up, down, left, right.
    r = wn.search_npuzzle([1, 2, 3, 4, 0, 5, 6, 7, 8], "bfs", goal=[1, 0, 3, 4, 2, 5, 6, 7, 8])
    assert r.trace[0][2] == 0 and r.nodes_generated == 5
    assert r.tree[:4] == [
        ((1, 2, 3, 4, 0, 5, 6, 7, 8), s)
        for s in (
            (1, 0, 3, 4, 2, 5, 6, 7, 8),
            (1, 2, 3, 4, 7, 5, 6, 0, 8),
            (1, 2, 3, 0, 4, 5, 6, 7, 8),
            (1, 2, 3, 4, 5, 0, 6, 7, 8),
        )
    ]


def test_the_hardest_8_puzzles_need_31_moves_and_their_twins_none():
    for board in ([8, 6, 7, 2, 5, 4, 3, 0, 1], [6, 4, 7, 8, 5, 0, 3, 2, 1]):
        for algo, heuristic in (
            ("astar", "manhattan"),
            ("ida_star", "manhattan"),
            ("astar", "misplaced"),
        ):
            r = wn.search_npuzzle(board, algo, heuristic, record=False)
            assert (r.cost, r.path[-1], len(r.path)) == (31.0, GOAL8, 32)
        board[0], board[1] = board[1], board[0]  # a swap of two tiles flips the parity
        with pytest.raises(ValueError, match=r"^this configuration is not solvable"):
            wn.search_npuzzle(board)
    # Parity counts the blank's distance as well as the tile transpositions.
    assert wn.search_npuzzle([1, 2, 0, 3], goal=[1, 2, 3, 0]).cost == 1.0


def test_hanoi_optima_and_states():
    for disks in range(1, 8):
        r = wn.search_hanoi(disks, "bfs", record=False)
        assert (r.cost, r.path[0], r.path[-1]) == (2**disks - 1, (0,) * disks, (2,) * disks)
    assert wn.search_hanoi(3, "bfs").path == [
        (0, 0, 0),
        (2, 0, 0),
        (2, 1, 0),
        (1, 1, 0),
        (1, 1, 2),
        (0, 1, 2),
        (0, 2, 2),
        (2, 2, 2),
    ]
    for disks, moves in enumerate([1, 3, 5, 9, 13, 17, 25], 1):  # four pegs
        r = wn.search_hanoi(disks, "astar", pegs=4, record=False)
        assert (r.cost, r.path[-1]) == (moves, (3,) * disks)
    assert wn.search_hanoi(2, pegs=16).path[-1] == (15, 15)
    # The smallest disk moves first, to every other peg in order.
    r = wn.search_hanoi(2, "bfs", pegs=4)
    assert [c for _, c in r.tree[:3]] == [(1, 0), (2, 0), (3, 0)]


def test_word_ladders_are_lowercased_words():
    words = ["CORD", "Card", "wARD"]
    r = wn.search_wordladder("COLD", "Warm", words, "bfs")
    assert (r.path, r.cost) == (["cold", "cord", "card", "ward", "warm"], 4.0)
    assert all(type(w) is str for w in r.path + [n for n, _, _ in r.trace])
    assert wn.search_wordladder("cold", "warm", [], "astar").stop_reason == "exhausted"
    assert wn.search_wordladder("cold", "cord", []).path == ["cold", "cord"]
    assert wn.search_wordladder("", "", []).path == [""]

    # Full Unicode lowercasing, whatever a str subclass's lower() says.
    class Shouty(str):
        def lower(self):
            return "zzzz"

    assert wn.search_wordladder(Shouty("COLD"), Shouty("CORD"), [], "bfs").path == ["cold", "cord"]
    for word in ("\u039f\u0394\u039f\u03a3", "\u1e9e", "\u0130"):
        assert wn.search_wordladder(word, word.lower(), []).path == [word.lower()]
    # The Kelvin sign lowercases to k; words differing only in case are one node.
    assert wn.search_wordladder("cat", "kit", ["\u212aAT"], "bfs").path == ["cat", "kat", "kit"]
    once = wn.search_wordladder("cold", "ward", ["cord", "CORD", "cOrD", "card", "CARD"], "bfs")
    twice = wn.search_wordladder("cold", "ward", ["cord", "card"], "bfs")
    assert (once.path, once.nodes_generated, once.trace) == (
        twice.path,
        twice.nodes_generated,
        twice.trace,
    )
    # Letters a..z replace each position in turn; 'z' included.
    r = wn.search_wordladder("zz", "az", ["bz", "az"], "bfs")
    assert r.tree == [("zz", "az"), ("zz", "bz")]
    assert wn.search_wordladder("aa", "az", [], "bfs").path == ["aa", "az"]


@needs_data
def test_ladder_lengths_from_the_word_lists():
    lists = {}
    for line in (DATA / "words" / "ladder_checks.txt").read_text().splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        name, start, goal, steps = line.split()
        words = lists.setdefault(name, (DATA / "words" / name).read_text().split())
        for algo in ("bfs", "astar", "bidirectional"):
            r = wn.search_wordladder(start, goal, words, algo, record=False)
            assert r.cost == int(steps) if int(steps) >= 0 else not r.found, (start, goal, algo)
