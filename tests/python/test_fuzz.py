"""Fuzzing: a valid call of each entry point with arguments swapped for junk
gives a result that keeps the invariants, or a documented exception type.
WAYLOOM_FUZZ=long (see conftest.py) runs many more examples on demand."""

import math

import wayloom_native as wn
from conftest import BEST_FIRST, raiser
from hypothesis import given
from hypothesis import strategies as st

ALLOWED = (TypeError, ValueError, OverflowError, MemoryError, wn.PanicException)
NAMES = BEST_FIRST + ["dls", "iddfs", "ida_star", "idastar", "beam", "bidirectional", "bidir"]


Junk = type("Junk", (), {})  # an object no argument accepts
junk = st.one_of(
    st.none(),
    st.booleans(),
    st.integers(-(2**70), 2**70),
    st.sampled_from([2**64, -1, 0, 2]),
    st.floats(allow_nan=True, allow_infinity=True),
    st.text(max_size=6),
    st.binary(max_size=4),
    st.lists(st.integers(-3, 9), max_size=9),
    st.tuples(st.integers(-1, 3), st.integers(-1, 3)),
    st.lists(st.tuples(st.integers(0, 5), st.integers(0, 5), st.floats(-2, 9)), max_size=6),
    st.builds(Junk),
    st.just(raiser(RuntimeError("boom"))),
    st.just(lambda *a: [(1, 1.0)]),
    st.sampled_from(NAMES + ["", "BFS", "zero", "manhattan", "octile", "misplaced"]),
)

# Valid calls: (function, positional arguments, keyword arguments).
EDGES = [(0, 1, 1.0), (1, 2, -0.5), (2, 0, 2.0), (0, 3, math.inf)]
CALLS = [
    (wn.search_grid, ["S.#\n..G"], {"diagonal": False}),
    (wn.search_grid_costs, [[[1.0, 2.0], [0.0, 1.0]], (0, 0), (1, 1)], {"diagonal": True}),
    (wn.search_graph, [4, EDGES, 0, 3], {"undirected": True}),
    (wn.search_implicit, [lambda s: [(s + 1, 1.0), (s - 1, 2.0)] if -3 < s < 4 else [], 0, 3], {}),
    (wn.search_npuzzle, [[1, 2, 0, 3]], {"goal": [1, 2, 3, 0]}),
    (wn.search_hanoi, [2], {"pegs": 3}),
    (wn.search_wordladder, ["cold", "warm", ["cord", "card", "ward"]], {}),
    (wn.bellman_ford, [4, EDGES, 0], {"undirected": False}),
    (wn.floyd_warshall, [4, EDGES], {"undirected": False}),
    (wn.gen_erdos_renyi, [9, 0.3, 1], {}),
    (wn.gen_barabasi_albert, [9, 2, 1], {}),
    (wn.gen_watts_strogatz, [9, 4, 0.3, 1], {}),
    (wn.random_maze_ascii, [9, 4, 0.3, 1], {}),
    (wn.sample_maze, ["open"], {}),
]
SHARED = [
    "algorithm",
    "heuristic",
    "record",
    "weight",
    "beam_width",
    "depth_limit",
    "max_nodes",
    "reopen",
]


def check_result(r, kw):
    """The invariants every search result keeps."""
    assert r.stop_reason in ("goal", "exhausted", "node_limit")
    assert r.found == (r.path is not None) == (r.stop_reason == "goal")
    assert min(r.nodes_expanded, r.nodes_reopened, r.max_frontier_size) >= 0
    assert r.nodes_generated >= 1 and r.elapsed >= 0.0
    algorithm, limit = kw.get("algorithm", "astar"), kw.get("max_nodes")
    if r.stop_reason == "node_limit" or algorithm not in BEST_FIRST:
        assert algorithm in BEST_FIRST or (r.tree == [] and r.nodes_reopened == 0)
    if algorithm in BEST_FIRST and isinstance(limit, int):
        assert r.nodes_expanded <= max(limit, 1)  # the start is always expanded
    if kw.get("record", True) is False:
        assert r.trace == [] and r.tree == []
    assert r.found or r.cost == math.inf
    assert repr(r).startswith("SearchResult(")


@st.composite
def mangled_calls(draw):
    fn, args, kw = draw(st.sampled_from(CALLS))
    args, kw = list(args), dict(kw)
    if fn.__name__.startswith("search_"):
        for name in draw(st.lists(st.sampled_from(SHARED), max_size=3, unique=True)):
            kw[name] = draw(
                st.one_of(st.sampled_from(NAMES), junk) if name == "algorithm" else junk
            )
        if kw.get("algorithm") in ("dls", "iddfs", "ida_star", "idastar") or "depth_limit" in kw:
            kw["depth_limit"] = draw(st.integers(0, 6))  # a deep valid limit is merely slow
    for _ in range(draw(st.integers(0, 2))):
        slot = draw(st.integers(0, len(args) + len(kw) - 1))
        if slot < len(args):
            args[slot] = draw(junk)
        else:
            kw[sorted(kw)[slot - len(args)]] = draw(junk)
    return fn, args, kw


@given(mangled_calls())
def test_any_argument_swapped_for_junk_gives_a_result_or_a_documented_error(case):
    fn, args, kw = case
    if any(type(a) is int and 64 < a < 2**48 for a in [*args, *kw.values()]):
        return  # a valid but large problem is slow, not faulty
    if fn in (wn.search_npuzzle, wn.search_hanoi):
        kw.setdefault("max_nodes", 2000)
        if kw.get("algorithm") in ("ida_star", "idastar", "iddfs", "dls", "beam"):
            return
    try:
        out = fn(*args, **kw)
    except ALLOWED:
        return
    if isinstance(out, wn.SearchResult):
        check_result(out, kw)
