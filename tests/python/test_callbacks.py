"""Python callables inside searches: successor callables, callable
heuristics, the first-failure-wins protocol, state conversion, re-entrancy."""

import pytest
import wayloom_native as w
from conftest import BAD_H, BAD_STATE, PROBLEMS, Counted, chain, raiser


def test_one_successor_call_per_expansion_and_one_estimate_per_push():
    succ, h = Counted(chain), Counted(lambda s, g: 0.0)
    r = w.search_implicit(succ, 0, 3, "bfs", heuristic=h)
    assert (r.path, r.cost, r.stop_reason) == ([0, 1, 2, 3], 3.0, "goal")
    assert r.trace == [(0, 0.0, 0), (1, 1.0, 0), (2, 2.0, 0), (3, 3.0, 0)]
    assert r.tree == [(0, 1), (1, 2), (2, 3)]
    assert succ.calls == r.nodes_expanded - 1 == 3 and h.calls == r.nodes_generated == 4


def test_states_convert_both_ways():
    big, small = 2**63 - 1, -(2**63)
    seen = []

    def succ(s):
        seen.append(s)
        return {0: ((1, 1), (big, 2)), 1: [(True, 1), ([small, 0], 5)]}.get(s, [])

    r = w.search_implicit(succ, 0, (small, 0), "ucs")
    assert (r.path, r.cost) == ([0, 1, (small, 0)], 6.0) and (0, big) in r.tree
    # A one-element state is the bare int, both in results and in calls.
    seen.clear()
    r = w.search_implicit(lambda s: seen.append(s) or [((s + 1,), 1.0)], (7,), [9], "bfs")
    assert r.path == [7, 8, 9] and r.tree == [(7, 8), (8, 9)] and seen == [7, 8]
    assert all(type(s) is int for s in seen)
    r = w.search_implicit(lambda s: [((), 2.5)], 4, (), "bfs")
    assert (r.path, r.cost) == ([4, ()], 2.5)
    assert w.search_implicit(lambda s: [], [], (), "bfs").trace == [((), 0.0, 0)]


def test_exceptions_from_successors_surface_unchanged_with_their_traceback():
    err = KeyError("missing")
    with pytest.raises(KeyError) as e:
        w.search_implicit(raiser(err), 0, 3, "bfs")
    assert e.value is err and e.traceback[-1].name == "fn"
    for exc in (KeyboardInterrupt("stop"), SystemExit(3), GeneratorExit()):
        with pytest.raises(type(exc)) as e:
            w.search_implicit(raiser(exc), 0, 3, "astar")
        assert e.value is exc
    h = Counted(lambda s, g: 0.0)
    with pytest.raises(TypeError, match="not callable"):
        w.search_implicit(3, 0, 3, "astar", heuristic=h)
    assert h.calls == 1  # only the start was estimated


@pytest.mark.parametrize("exc", [KeyboardInterrupt(), SystemExit("bye")])
@pytest.mark.parametrize("domain", ["implicit", "graph", "grid", "grid_costs"])
def test_an_interrupt_in_a_heuristic_propagates_unchanged(exc, domain):
    calls = []

    def h(n, g):
        calls.append(n)
        if len(calls) == 2:  # a later call, not the start's
            raise exc
        return 0.0

    with pytest.raises(type(exc)) as e:
        PROBLEMS[domain][0]("astar", heuristic=h)
    assert e.value is exc and len(calls) == 2


@pytest.mark.parametrize("fail_in", ["successors", "heuristic"])
def test_python_is_never_called_after_the_first_failure(fail_in):
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
    # The frontier still held nodes, yet the failing call was the last one.
    assert log[-1] == (("succ", 2) if fail_in == "successors" else ("h", 3))
    assert log.count(log[-1]) == 1


@pytest.mark.parametrize("domain", PROBLEMS)
@pytest.mark.parametrize("algo", ["astar", "ida_star", "beam"])
def test_a_failing_heuristic_fails_every_domain_alike(domain, algo):
    call = PROBLEMS[domain][0]
    with pytest.raises(ValueError) as e:
        call(algo, heuristic=raiser(OverflowError()))
    assert str(e.value) == BAD_H and type(e.value) is ValueError
    h = Counted(lambda n, g: 0.0 if h.calls < 3 else "x")  # fails late
    with pytest.raises(ValueError, match=f"^{BAD_H}$"):
        call(algo, heuristic=h)
    assert h.calls == 3


def _puzzle_manhattan(n, g):
    where = {t: i for i, t in enumerate(g)}
    return sum(
        abs(i // 3 - where[t] // 3) + abs(i % 3 - where[t] % 3) for i, t in enumerate(n) if t
    )


# The built-in default of each domain, written in Python.
DEFAULTS = {
    "graph": lambda n, g: 0.0,
    "grid": lambda n, g: abs(n[0] - g[0]) + abs(n[1] - g[1]),
    "npuzzle": _puzzle_manhattan,
    "hanoi": lambda n, g: sum(a != b for a, b in zip(n, g)),
}
DEFAULTS.update(grid_costs=DEFAULTS["grid"], wordladder=DEFAULTS["hanoi"])


@pytest.mark.parametrize("domain", DEFAULTS)
def test_callable_heuristics_see_the_domain_nodes_and_order_like_the_builtin(domain):
    call, start, goal, _, _ = PROBLEMS[domain]
    seen = []
    mine = call(
        "astar", heuristic=lambda n, g: seen.append((n, g)) or float(DEFAULTS[domain](n, g))
    )
    builtin = call("astar")
    assert (mine.path, mine.trace, mine.nodes_generated) == (
        builtin.path,
        builtin.trace,
        builtin.nodes_generated,
    )
    assert len(seen) == mine.nodes_generated and {g for _, g in seen} == {goal}
    assert {type(n) for n, _ in seen} == {type(start)}


def test_reopen_repairs_an_inconsistent_heuristic():
    # h(1) = 3, else 0: admissible but inconsistent.
    edges = [(0, 1, 1.0), (0, 2, 3.0), (1, 2, 1.0), (2, 3, 5.0)]

    def run(reopen):
        return w.search_graph(
            4,
            edges,
            0,
            3,
            "astar",
            lambda n, g: 3.0 if n == 1 else 0.0,
            undirected=False,
            reopen=reopen,
        )

    r = run(True)
    assert r.trace == [(0, 0.0, 0), (2, 3.0, 1), (1, 1.0, 1), (2, 2.0, 1), (3, 7.0, 1)]
    assert (r.path, r.cost, r.tree) == ([0, 1, 2, 3], 7.0, [(0, 1), (1, 2), (2, 3)])
    assert (r.nodes_expanded, r.nodes_generated, r.nodes_reopened, r.max_frontier_size) == (
        5,
        6,
        1,
        2,
    )
    r = run(False)
    assert (r.path, r.cost, r.tree) == ([0, 2, 3], 8.0, [(0, 1), (0, 2), (2, 3)])
    assert (r.nodes_expanded, r.nodes_generated, r.nodes_reopened) == (4, 4, 0)
    assert r.trace == [(0, 0.0, 0), (2, 3.0, 1), (1, 1.0, 1), (3, 8.0, 0)]


def negative_cycle(s):
    # 1 -> 2 -> 1 costs -4 a lap; 3 hangs off 2, 9 is unreachable.
    return {0: [(1, 1.0)], 1: [(2, -5.0)], 2: [(1, 1.0), (3, 1.0)], 3: []}[s]


@pytest.mark.parametrize("algorithm", ["bfs", "dfs", "ucs", "astar", "greedy"])
@pytest.mark.parametrize("goal", [3, 9])
def test_a_negative_cycle_with_reopen_terminates_with_a_simple_path(algorithm, goal):
    r = w.search_implicit(negative_cycle, 0, goal, algorithm, reopen=True)
    assert r.stop_reason == ("goal" if goal == 3 else "exhausted")
    assert not r.found or (r.path[0] == 0 and r.path[-1] == 3 and len(set(r.path)) == len(r.path))
    limited = w.search_implicit(negative_cycle, 0, goal, algorithm, reopen=True, max_nodes=3)
    assert limited.nodes_expanded <= 3 and limited.stop_reason in ("goal", "node_limit")


def test_reentrant_searches_keep_their_own_failures():
    inner = []

    def h(n, g):
        inner.append(w.search_graph(3, [(0, 1, 1.0), (1, 2, 1.0)], 0, 2).cost)
        with pytest.raises(KeyError):
            w.search_implicit(raiser(KeyError(n)), 0, 1, "bfs")
        return float(abs(g[1] - n[1]))

    r = w.search_grid("S..G", heuristic=h)
    assert r.path == [(0, 0), (0, 1), (0, 2), (0, 3)] and inner == [2.0] * r.nodes_generated

    def succ(s):
        w.search_implicit(lambda t: [("bad", 1.0)], 0, 1, "bfs")  # raises inside
        return []

    with pytest.raises(ValueError, match=f"^{BAD_STATE}$"):
        w.search_implicit(succ, 0, 1, "bfs")
