"""Python callables inside searches: successor callables, callable heuristics,
the pending-error protocol, state conversion and reference hygiene."""

import gc
import math
import sys
import tracemalloc

import pytest

import wayloom_native as w

BAD_PAIRS = "successors must return a list of (state, cost) pairs"
BAD_STATE = "implicit-graph states must be an int or a sequence of ints"
BAD_H = "the heuristic callable must return a float"


def chain(s):
    return [(s + 1, 1.0)]


def line(s):
    """Undirected path 0 - 1 - ... - 5 with unit steps."""
    return [(t, 1.0) for t in (s - 1, s + 1) if 0 <= t <= 5]


class Counted:
    """Wraps a callable and counts its calls."""

    def __init__(self, fn):
        self.fn = fn
        self.calls = 0

    def __call__(self, *args):
        self.calls += 1
        return self.fn(*args)


def raiser(exc):
    def fn(*_):
        raise exc

    return fn


# --- search_implicit: the basic contract ----------------------------------


def test_chain_bfs_and_call_counts():
    succ = Counted(chain)
    h = Counted(lambda s, g: 0.0)
    r = w.search_implicit(succ, 0, 3, "bfs", heuristic=h)
    assert r.path == [0, 1, 2, 3]
    assert r.cost == 3.0 and isinstance(r.cost, float)
    assert r.stop_reason == "goal"
    assert r.trace == [(0, 0.0, 0), (1, 1.0, 0), (2, 2.0, 0), (3, 3.0, 0)]
    assert r.tree == [(0, 1), (1, 2), (2, 3)]
    # One successor call per expansion except the goal's; one estimate per push,
    # even for bfs whose frontier ignores the priority.
    assert succ.calls == r.nodes_expanded - 1 == 3
    assert h.calls == r.nodes_generated == 4


@pytest.mark.parametrize(
    "result",
    [
        [[1, 1.0]],  # pairs as lists
        "ab",  # a str is a sequence but never a successor list
        [(1, 1.0, 0)],  # three-item tuple
        [(1,)],
        [(1, "1.0")],  # cost not a number
        [(1, None)],
        None,
        5,
        {1: 1.0},
        iter([(1, 1.0)]),  # an iterator is not a sequence
        b"\x01\x02",
    ],
    ids=repr,
)
def test_malformed_successor_lists(result):
    with pytest.raises(ValueError) as e:
        w.search_implicit(lambda s: result, 0, 3, "bfs")
    assert str(e.value) == BAD_PAIRS


def test_pair_shapes_are_checked_before_any_state():
    # The bad state comes first, but the malformed pair after it wins.
    with pytest.raises(ValueError, match=r"^successors must return"):
        w.search_implicit(lambda s: [("ab", 1.0), [2, 1.0]], 0, 3, "bfs")


@pytest.mark.parametrize("bad", ["ab", 1.5, None, [1, "x"], 2**63, [2**64], -(2**63) - 1])
def test_bad_successor_state(bad):
    with pytest.raises(ValueError) as e:
        w.search_implicit(lambda s: [(1, 1.0), (bad, 1.0)], 0, 3, "bfs")
    assert str(e.value) == BAD_STATE


def test_accepted_successor_shapes():
    # A tuple of pairs, int costs, bools as ints and the int64 extremes all pass.
    big, small = 2**63 - 1, -(2**63)

    def succ(s):
        if s == 0:
            return ((1, 1), (big, 2))
        if s == 1:
            return [(True, 1), ([small, 0], 5)]
        return []

    r = w.search_implicit(succ, 0, (small, 0), "ucs")
    assert r.path == [0, 1, (small, 0)]
    assert r.cost == 6.0
    assert (0, big) in r.tree


def test_successor_exception_is_raised_unchanged():
    err = KeyError("missing")
    with pytest.raises(KeyError) as e:
        w.search_implicit(raiser(err), 0, 3, "bfs")
    assert e.value is err
    # The traceback still reaches into the callable that raised.
    assert e.traceback[-1].name == "fn"


@pytest.mark.parametrize("exc", [KeyboardInterrupt("stop"), SystemExit(3), GeneratorExit()])
def test_successor_base_exception_is_raised_unchanged(exc):
    with pytest.raises(type(exc)) as e:
        w.search_implicit(raiser(exc), 0, 3, "astar")
    assert e.value is exc


def test_non_callable_successors_raise_after_draining():
    h = Counted(lambda s, g: 0.0)
    with pytest.raises(TypeError, match="not callable"):
        w.search_implicit(3, 0, 3, "astar", heuristic=h)
    # Only the start was estimated; the failed expansion produced nothing.
    assert h.calls == 1


# --- state conversion --------------------------------------------------------


def test_one_tuple_state_is_the_int():
    seen = []

    def succ(s):
        seen.append(s)
        return [((s + 1,), 1.0)]  # successors as 1-tuples too

    r = w.search_implicit(succ, (7,), [9], "bfs")
    assert r.path == [7, 8, 9]
    assert [t[0] for t in r.trace] == [7, 8, 9]
    assert r.tree == [(7, 8), (8, 9)]
    assert seen == [7, 8]
    assert all(type(s) is int for s in seen)


def test_list_state_shown_as_tuple():
    calls = []

    def succ(s):
        calls.append(s)
        return [([1, 2], 1.0)] if s == 0 else []

    def h(s, g):
        calls.append((s, g))
        return 0.0

    r = w.search_implicit(succ, 0, (1, 2), "astar", heuristic=h)
    assert r.path == [0, (1, 2)]
    assert r.tree == [(0, (1, 2))]
    assert calls == [(0, (1, 2)), 0, ((1, 2), (1, 2))]


def test_empty_tuple_state():
    r = w.search_implicit(lambda s: [((), 2.5)], 4, (), "bfs")
    assert r.path == [4, ()]
    assert r.cost == 2.5
    r = w.search_implicit(lambda s: [], [], (), "bfs")
    assert r.path == [()]
    assert r.trace == [((), 0.0, 0)]


@pytest.mark.parametrize("bad", ["ab", "", 1.0, None, [1, "x"], [[1]], 2**63, object()])
@pytest.mark.parametrize("where", ["start", "goal"])
def test_bad_start_or_goal_raises_before_any_call(bad, where):
    succ = Counted(chain)
    h = Counted(lambda s, g: 0.0)
    start, goal = (bad, 3) if where == "start" else (0, bad)
    with pytest.raises(ValueError) as e:
        w.search_implicit(succ, start, goal, "bfs", heuristic=h)
    assert str(e.value) == BAD_STATE
    assert succ.calls == 0 and h.calls == 0


# --- callable heuristics: results and failures -------------------------------


def test_heuristic_results_accepted_as_floats():
    class F:
        def __float__(self):
            return 2.0

    def tr(h):
        return w.search_implicit(line, 0, 5, "greedy", heuristic=h).trace

    # int and __float__ results order the search exactly as the float would.
    ref = tr(lambda s, g: float(abs(g - s)))
    assert tr(lambda s, g: abs(g - s)) == ref
    assert tr(lambda s, g: F()) == tr(lambda s, g: 2.0)
    # Sign and finiteness are not checked.
    for v in (-1.0, math.inf, math.nan):
        assert w.search_implicit(line, 0, 5, "astar", heuristic=lambda s, g, v=v: v).found


@pytest.mark.parametrize(
    "h",
    [
        raiser(ZeroDivisionError("x")),
        lambda s, g: None,
        lambda s, g: "1.0",
        lambda s, g: [1.0],
        lambda s, g: 1j,
        lambda s: 0.0,  # wrong arity: the TypeError is replaced as well
        raiser(StopIteration()),
    ],
    ids=["raises", "None", "str", "list", "complex", "arity", "StopIteration"],
)
def test_heuristic_failures_become_value_error(h):
    with pytest.raises(ValueError) as e:
        w.search_implicit(chain, 0, 3, "astar", heuristic=h)
    assert str(e.value) == BAD_H
    assert type(e.value) is ValueError


@pytest.mark.parametrize("h", ["zero", "manhattan", 3, 2.5])
def test_implicit_heuristic_is_never_a_name(h):
    # No name lookup here: anything given is called, and a str or an int fails.
    with pytest.raises(ValueError) as e:
        w.search_implicit(chain, 0, 3, "astar", heuristic=h)
    assert str(e.value) == BAD_H


def test_heuristic_failure_after_successes():
    def h(s, g):
        if s == 2:
            raise RuntimeError("late")
        return 0.0

    with pytest.raises(ValueError, match=r"^the heuristic callable must return a float$"):
        w.search_implicit(chain, 0, 5, "ucs", heuristic=h)


@pytest.mark.parametrize("exc", [KeyboardInterrupt(), SystemExit("bye")])
@pytest.mark.parametrize("domain", ["implicit", "graph", "grid", "grid_costs"])
def test_heuristic_interrupt_propagates_unchanged(exc, domain):
    calls = []

    def h(n, g):
        calls.append(n)
        if len(calls) == 2:  # fail on a later call, not the start's
            raise exc
        return 0.0

    run = {
        "implicit": lambda: w.search_implicit(chain, 0, 3, "astar", heuristic=h),
        "graph": lambda: w.search_graph(3, [(0, 1, 1.0), (1, 2, 1.0)], 0, 2, heuristic=h),
        "grid": lambda: w.search_grid("S..G", heuristic=h),
        "grid_costs": lambda: w.search_grid_costs([[1.0, 1.0, 1.0]], (0, 0), (0, 2), heuristic=h),
    }[domain]
    with pytest.raises(type(exc)) as e:
        run()
    assert e.value is exc
    assert len(calls) == 2


@pytest.mark.parametrize("fail_in", ["successors", "heuristic"])
def test_python_never_called_after_first_failure(fail_in):
    log = []

    def succ(s):
        log.append(("succ", s))
        if fail_in == "successors" and s == 2:
            raise LookupError(s)
        return [(s + 1, 1.0), (s + 2, 1.0), (s - 1, 1.0)]

    def h(s, g):
        log.append(("h", s))
        if fail_in == "heuristic" and s == 3:
            raise ArithmeticError(s)
        return 0.0

    with pytest.raises(LookupError if fail_in == "successors" else ValueError):
        w.search_implicit(succ, 0, 50, "bfs", heuristic=h)
    # The frontier still held nodes when the failing call was made, yet that
    # call is the last one: the search drained without touching Python.
    assert log[-1] == (("succ", 2) if fail_in == "successors" else ("h", 3))
    assert log.count(log[-1]) == 1


# --- callable heuristics on the explicit domains -----------------------------


def test_grid_heuristic_receives_cells():
    seen = []

    def h(n, g):
        seen.append((n, g))
        return abs(n[0] - g[0]) + abs(n[1] - g[1])

    r = w.search_grid("S.#\n..G", heuristic=h)
    assert r.path[0] == (0, 0) and r.path[-1] == (1, 2) and r.cost == 3.0
    assert all(type(n) is tuple and len(n) == 2 and g == (1, 2) for n, g in seen)
    assert len(seen) == r.nodes_generated
    # Same ordering as the built-in Manhattan heuristic.
    assert r.trace == w.search_grid("S.#\n..G").trace


def test_grid_costs_heuristic_and_failure():
    seen = []
    r = w.search_grid_costs(
        [[1.0, 2.0], [1.0, 1.0]], (0, 0), (1, 1), heuristic=lambda n, g: seen.append(n) or 0
    )
    assert r.found and seen[0] == (0, 0)
    with pytest.raises(ValueError, match=r"^the heuristic callable must return a float$"):
        w.search_grid_costs([[1.0, 1.0]], (0, 0), (0, 1), heuristic=lambda n, g: None)


def test_graph_heuristic_receives_ints_and_steers_greedy():
    edges = [(0, 1, 1.0), (0, 2, 1.0), (1, 3, 1.0), (2, 3, 1.0)]
    seen = []

    def h(n, g):
        seen.append((n, g))
        return {0: 2.0, 1: 5.0, 2: 1.0, 3: 0.0}[n]

    r = w.search_graph(4, edges, 0, 3, "greedy", heuristic=h, undirected=False)
    assert [t[0] for t in r.trace] == [0, 2, 3]
    assert r.path == [0, 2, 3]
    assert all(type(n) is int and g == 3 for n, g in seen)
    assert len(seen) == r.nodes_generated


@pytest.mark.parametrize("algorithm", ["bfs", "dfs", "ucs"])
def test_graph_heuristic_called_once_per_push(algorithm):
    h = Counted(lambda n, g: 0.0)
    edges = [(0, 1, 1.0), (1, 2, 1.0), (0, 2, 5.0), (2, 3, 1.0)]
    r = w.search_graph(4, edges, 0, 3, algorithm, heuristic=h)
    assert h.calls == r.nodes_generated


def test_graph_heuristic_failure():
    with pytest.raises(ValueError) as e:
        w.search_graph(2, [(0, 1, 1.0)], 0, 1, "astar", heuristic=raiser(OverflowError()))
    assert str(e.value) == BAD_H and type(e.value) is ValueError


# --- reopening with an inconsistent heuristic --------------------------------

REOPEN_EDGES = [(0, 1, 1.0), (0, 2, 3.0), (1, 2, 1.0), (2, 3, 5.0)]


def reopen_run(reopen):
    return w.search_graph(
        4,
        REOPEN_EDGES,
        0,
        3,
        "astar",
        heuristic=lambda n, g: 3.0 if n == 1 else 0.0,
        undirected=False,
        reopen=reopen,
    )


def test_reopen_on():
    r = reopen_run(True)
    assert r.trace == [(0, 0.0, 0), (2, 3.0, 1), (1, 1.0, 1), (2, 2.0, 1), (3, 7.0, 1)]
    assert r.path == [0, 1, 2, 3] and r.cost == 7.0
    assert (r.nodes_expanded, r.nodes_generated, r.nodes_reopened, r.max_frontier_size) == (
        5,
        6,
        1,
        2,
    )
    assert r.tree == [(0, 1), (1, 2), (2, 3)]


def test_reopen_off():
    r = reopen_run(False)
    assert r.path == [0, 2, 3] and r.cost == 8.0
    assert (r.nodes_expanded, r.nodes_generated, r.nodes_reopened) == (4, 4, 0)
    assert r.trace == [(0, 0.0, 0), (2, 3.0, 1), (1, 1.0, 1), (3, 8.0, 0)]
    assert r.tree == [(0, 1), (0, 2), (2, 3)]


def negative_cycle(s):
    # 1 -> 2 -> 1 costs -4 per lap; 3 hangs off 2, 9 is unreachable.
    return {0: [(1, 1.0)], 1: [(2, -5.0)], 2: [(1, 1.0), (3, 1.0)], 3: []}[s]


@pytest.mark.parametrize("algorithm", ["bfs", "dfs", "ucs", "astar", "greedy"])
@pytest.mark.parametrize("goal", [3, 9])
def test_negative_cycle_with_reopen_terminates(algorithm, goal):
    r = w.search_implicit(negative_cycle, 0, goal, algorithm, reopen=True)
    assert r.stop_reason == ("goal" if goal == 3 else "exhausted")
    if r.found:
        # The path is a simple chain from the start.
        assert r.path[0] == 0 and r.path[-1] == 3
        assert len(set(r.path)) == len(r.path)
    limited = w.search_implicit(negative_cycle, 0, goal, algorithm, reopen=True, max_nodes=3)
    assert limited.nodes_expanded <= 3
    assert limited.stop_reason in ("goal", "node_limit")


# --- every algorithm over a successor callable --------------------------------

BEST_FIRST = ["bfs", "dfs", "ucs", "dijkstra", "greedy", "astar", "a*", "weighted_astar", "wastar"]
STRATEGIES = [
    ("dls", {"depth_limit": 5}),
    ("iddfs", {}),
    ("ida_star", {}),
    ("idastar", {}),
    ("beam", {}),
    ("beam", {"beam_width": 1}),
    ("bidirectional", {}),
    ("bidir", {}),
]


@pytest.mark.parametrize(
    "algorithm,extra",
    [(a, {}) for a in BEST_FIRST] + STRATEGIES,
    ids=lambda x: x if isinstance(x, str) else "-".join(f"{k}={v}" for k, v in x.items()),
)
def test_every_algorithm_on_implicit(algorithm, extra):
    h = Counted(lambda s, g: float(abs(g - s)))
    try:
        r = w.search_implicit(line, 0, 3, algorithm, heuristic=h, **extra)
    except ValueError as e:
        if str(e).startswith("unknown algorithm"):
            pytest.skip(f"{algorithm} is not in the catalogue yet")
        raise
    assert r.path == [0, 1, 2, 3]
    assert r.cost == 3.0
    assert r.stop_reason == "goal"
    # A failing successor fails every algorithm the same way.
    err = IndexError("boom")
    with pytest.raises(IndexError) as e:
        w.search_implicit(raiser(err), 0, 3, algorithm, heuristic=h, **extra)
    assert e.value is err


# --- re-entrancy -------------------------------------------------------------


def test_reentrant_heuristic():
    inner = []

    def h(n, g):
        # A built-in search (which drops the lock) and a nested callback search
        # whose own failure stays inside it.
        r = w.search_graph(3, [(0, 1, 1.0), (1, 2, 1.0)], 0, 2)
        inner.append(r.cost)
        with pytest.raises(KeyError):
            w.search_implicit(raiser(KeyError(n)), 0, 1, "bfs")
        return float(abs(g[1] - n[1]))

    r = w.search_grid("S..G", heuristic=h)
    assert r.path == [(0, 0), (0, 1), (0, 2), (0, 3)]
    assert inner == [2.0] * r.nodes_generated


def test_reentrant_successor_failure_inside_is_outer_failure():
    def succ(s):
        w.search_implicit(lambda t: [("bad", 1.0)], 0, 1, "bfs")  # raises ValueError
        return []

    with pytest.raises(ValueError) as e:
        w.search_implicit(succ, 0, 1, "bfs")
    assert str(e.value) == BAD_STATE


# --- reference and memory hygiene -------------------------------------------


def test_no_leaks_over_many_searches():
    def succ_ok(s):
        return [(s + 1, 1.0), ((s, s), 2.0)] if isinstance(s, int) and s < 6 else []

    def succ_raise(s):
        raise KeyError(s)

    def succ_bad_list(s):
        return [(s + 1, 1.0), [s + 2, 1.0]]

    def succ_bad_state(s):
        return [(s + 1, 1.0), ("x", 1.0)]

    def h_ok(s, g):
        return 0.5

    def h_raise(s, g):
        raise ZeroDivisionError

    def h_none(s, g):
        return None

    start, goal = (0,), (6,)
    cases = [
        (succ_ok, h_ok, None),
        (succ_ok, None, None),
        (succ_raise, h_ok, KeyError),
        (succ_bad_list, h_ok, ValueError),
        (succ_bad_state, None, ValueError),
        (succ_ok, h_raise, ValueError),
        (succ_ok, h_none, ValueError),
    ]
    watched = [succ_ok, succ_raise, succ_bad_list, succ_bad_state, h_ok, h_raise, h_none, start]
    edges = [(0, 1, 1.0), (1, 2, 1.0)]

    def batch(n):
        for i in range(n):
            succ, h, exc = cases[i % len(cases)]
            try:
                w.search_implicit(succ, start, goal, "astar", heuristic=h)
            except BaseException as e:  # the expected kind is checked right here
                assert type(e) is exc
            else:
                assert exc is None
            try:
                w.search_graph(3, edges, 0, 2, heuristic=h if i % 2 else h_raise)
            except ValueError:
                pass

    batch(200)
    gc.collect()
    before = [sys.getrefcount(o) for o in watched]
    tracemalloc.start()
    try:
        batch(2000)  # warm-up window
        gc.collect()
        warm, _ = tracemalloc.get_traced_memory()
        batch(3000)
        gc.collect()
        later, _ = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    gc.collect()
    assert [sys.getrefcount(o) for o in watched] == before
    # One leaked object per search would be well over 100 kB here.
    assert later - warm < 32 * 1024
