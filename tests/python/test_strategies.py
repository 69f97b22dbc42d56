"""The depth-first, IDA*, beam and bidirectional strategies and the algorithm
names, seen through the module: every name on every entry point, worked
counter and trace cases, options these strategies ignore, and cross-checks of
path lengths and costs against networkx."""

import math
import random

import pytest

import wayloom_native as wn

ALGORITHM_LIST = (
    "bfs, dfs, ucs, dijkstra, greedy, astar, weighted_astar, iddfs, dls, ida_star, beam, "
    "bidirectional"
)
BAD_H = "the heuristic callable must return a float"
STRATEGIES = ["dls", "iddfs", "ida_star", "beam", "bidirectional"]
# Every accepted name; the values say which run the same search under another name.
NAMES = {
    "bfs": None, "dfs": None, "ucs": None, "dijkstra": "ucs", "greedy": None, "astar": None,
    "a*": "astar", "weighted_astar": None, "wastar": "weighted_astar", "dls": None,
    "iddfs": None, "ida_star": None, "idastar": "ida_star", "beam": None,
    "bidirectional": None, "bidir": "bidirectional",
}
OPTIMAL = {"ucs", "dijkstra", "astar", "a*", "ida_star", "idastar"}


class Counted:
    def __init__(self, fn):
        self.fn, self.calls = fn, 0

    def __call__(self, *args):
        self.calls += 1
        return self.fn(*args)


def value_error(call):
    with pytest.raises(ValueError) as info:
        call()
    return str(info.value)


def summary(r):
    return (r.path, r.cost, r.stop_reason, r.nodes_expanded, r.nodes_generated,
            r.nodes_reopened, r.max_frontier_size, r.trace, r.tree)


def counters(r):
    return (r.nodes_expanded, r.nodes_generated, r.max_frontier_size)


# --------------------------------------------------- one problem per entry point

GRAPH_EDGES = [(0, 1, 1.0), (1, 2, 1.0), (2, 5, 1.0), (0, 3, 2.0), (3, 4, 0.5), (4, 5, 0.5),
               (1, 4, 4.0)]
LADDER_WORDS = ["cold", "cord", "card", "ward", "warm", "word", "worm", "wore", "core"]


def step_graph(a, b):
    return any({a, b} == {u, v} for u, v, _ in GRAPH_EDGES)


def step_grid(a, b):
    return abs(a[0] - b[0]) + abs(a[1] - b[1]) == 1


def step_puzzle(a, b):
    diff = [i for i in range(len(a)) if a[i] != b[i]]
    if len(diff) != 2 or 0 not in (a[diff[0]], a[diff[1]]):
        return False
    (r1, c1), (r2, c2) = divmod(diff[0], 3), divmod(diff[1], 3)
    return abs(r1 - r2) + abs(c1 - c2) == 1


def step_hanoi(a, b):
    moved = [d for d in range(len(a)) if a[d] != b[d]]
    # Only one disk moves, and it is the top of both pegs.
    return len(moved) == 1 and all(a[d] not in (a[moved[0]], b[moved[0]])
                                   for d in range(moved[0]))


def step_word(a, b):
    return len(a) == len(b) and sum(x != y for x, y in zip(a, b)) == 1


# (call(algorithm, **kw), start, goal, optimal cost, legal-step test)
PROBLEMS = {
    "graph": (lambda a, **kw: wn.search_graph(6, GRAPH_EDGES, 0, 5, a, **kw), 0, 5, 3.0,
              step_graph),
    "grid": (lambda a, **kw: wn.search_grid("S..#\n.#..\n...G", a, **kw), (0, 0), (2, 3), 5.0,
             step_grid),
    "grid_costs": (
        lambda a, **kw: wn.search_grid_costs([[1, 9, 1], [1, 0, 1], [1, 1, 1]], (0, 0), (0, 2),
                                             a, **kw),
        (0, 0), (0, 2), 6.0, step_grid),
    "implicit": (
        lambda a, **kw: wn.search_implicit(
            lambda s: [(t, 1.0) for t in (s - 3, s - 1, s + 1, s + 3) if 0 <= t <= 7], 0, 7, a,
            **kw),
        0, 7, 3.0, lambda a, b: abs(b - a) in (1, 3)),
    "npuzzle": (lambda a, **kw: wn.search_npuzzle([1, 2, 3, 0, 4, 6, 7, 5, 8], a, **kw),
                (1, 2, 3, 0, 4, 6, 7, 5, 8), (1, 2, 3, 4, 5, 6, 7, 8, 0), 3.0, step_puzzle),
    "hanoi": (lambda a, **kw: wn.search_hanoi(2, a, **kw), (0, 0), (2, 2), 3.0, step_hanoi),
    "wordladder": (lambda a, **kw: wn.search_wordladder("COLD", "warm", LADDER_WORDS, a, **kw),
                   "cold", "warm", 4.0, step_word),
}


@pytest.mark.parametrize("domain", PROBLEMS)
def test_every_name_runs_on_every_entry_point(domain):
    call, start, goal, best, legal = PROBLEMS[domain]
    results = {}
    for name, same_as in NAMES.items():
        kw = {"depth_limit": 8} if name == "dls" else {}
        r = results[name] = call(name, **kw)
        assert r.found and r.stop_reason == "goal", name
        assert r.path[0] == start and r.path[-1] == goal, name
        assert all(legal(a, b) for a, b in zip(r.path, r.path[1:])), (name, r.path)
        if domain not in ("graph", "grid_costs"):  # unit steps: the cost counts the moves
            assert r.cost == len(r.path) - 1, name
        if name in OPTIMAL or name in ("iddfs", "bidirectional", "bfs") and domain not in (
            "graph", "grid_costs"
        ):
            assert r.cost == best, name
        if same_as:
            assert summary(r)[:7] == summary(results[same_as])[:7], name
            assert r.trace == results[same_as].trace, name
        if name in STRATEGIES or same_as in STRATEGIES:
            assert r.tree == [] and r.nodes_reopened == 0, name


@pytest.mark.parametrize("domain", PROBLEMS)
def test_dls_needs_a_depth_limit_everywhere(domain):
    call = PROBLEMS[domain][0]
    assert value_error(lambda: call("dls")) == "'dls' requires depth_limit"
    assert value_error(lambda: call("dls", depth_limit=None)) == "'dls' requires depth_limit"
    # Only the exact name needs one; other case is an unknown name.
    assert value_error(lambda: call("DLS")).startswith("unknown algorithm: 'DLS'. ")
    # iddfs has a default limit.
    assert call("iddfs").found


@pytest.mark.parametrize("name", ["A*", "BFS", " bfs", "IDA*", "ida-star", "Bidir", "dls ",
                                  "", "beam\0", "a\u2605"])
def test_names_are_compared_byte_for_byte(name):
    expected = f"unknown algorithm: '{name}'. Available: {ALGORITHM_LIST}"
    for domain, (call, *_rest) in PROBLEMS.items():
        assert value_error(lambda: call(name)) == expected, domain
        # Also with a depth limit and with a callable heuristic (the lock-held path).
        assert value_error(lambda: call(name, depth_limit=3)) == expected, domain
    h = Counted(lambda n, g: 0.0)
    assert value_error(lambda: wn.search_graph(2, [(0, 1, 1.0)], 0, 1, name, h)) == expected
    assert h.calls == 0


# ------------------------------------------------------- depth-limited search


def chain(s):
    return [(s + 1, 1.0)]


def test_depth_limit_zero_asks_for_no_successors():
    for algo in ("dls", "iddfs"):
        succ = Counted(chain)
        r = wn.search_implicit(succ, 0, 1, algo, depth_limit=0)
        assert (r.path, r.cost, r.stop_reason) == (None, math.inf, "exhausted")
        assert counters(r) == (1, 1, 1) and r.trace == [(0, 0.0, 0)] and r.tree == []
        assert succ.calls == 0
        # Start equal to goal: found on the first visit, and a one-node path costs no query.
        r = wn.search_implicit(succ, 4, 4, algo, depth_limit=0)
        assert (r.path, r.cost, counters(r), r.trace) == ([4], 0.0, (1, 1, 1), [(4, 0.0, 0)])
        assert succ.calls == 0


def test_goal_exactly_at_the_depth_limit():
    succ = Counted(chain)
    r = wn.search_implicit(succ, 0, 3, "dls", depth_limit=3)
    assert (r.path, r.cost, r.stop_reason) == ([0, 1, 2, 3], 3.0, "goal")
    assert counters(r) == (4, 4, 3)
    assert r.trace == [(0, 0.0, 0), (1, 1.0, 1), (2, 2.0, 2), (3, 3.0, 3)]
    # Three expansions, then the path cost asks again for every node but the last.
    assert succ.calls == 6

    succ.calls = 0
    r = wn.search_implicit(succ, 0, 3, "dls", depth_limit=2)
    assert (r.path, r.stop_reason, counters(r)) == (None, "exhausted", (3, 3, 2))
    assert succ.calls == 2  # node 2 sits at the limit: visited, not expanded


def test_dls_checks_cycles_only_along_the_current_path():
    # Diamond 0-1-3, 0-2-3 plus 3-4 (undirected): 3 is reached twice, never via an ancestor.
    edges = [(0, 1, 1.0), (0, 2, 1.0), (1, 3, 1.0), (2, 3, 1.0), (3, 4, 1.0)]
    r = wn.search_graph(5, edges, 0, 4, "dls", depth_limit=2)
    assert r.stop_reason == "exhausted"
    visits = [n for n, _, _ in r.trace]
    assert visits == [0, 1, 3, 2, 3]
    assert all(g == d for (_, g, d) in r.trace)  # unit weights: g equals the depth


def test_iddfs_sums_counters_over_passes_and_restarts_the_trace():
    r = wn.search_graph(3, [(0, 1, 2.5), (1, 2, 0.5)], 0, 2, "iddfs")
    assert (r.path, r.cost, r.stop_reason) == ([0, 1, 2], 3.0, "goal")
    assert counters(r) == (1 + 2 + 3, 1 + 2 + 3, 2)
    assert r.trace == [(0, 0.0, 0),
                       (0, 0.0, 0), (1, 2.5, 1),
                       (0, 0.0, 0), (1, 2.5, 1), (2, 3.0, 2)]
    assert r.tree == []


def test_iddfs_on_an_unreachable_goal_runs_every_pass():
    r = wn.search_graph(3, [(0, 1, 1.0)], 0, 2, "iddfs", depth_limit=3)
    assert (r.path, r.cost, r.stop_reason) == (None, math.inf, "exhausted")
    # Passes 0..3: one visit, then 0 and 1 in each of the other three.
    assert counters(r) == (7, 7, 2)
    assert [n for n, _, _ in r.trace] == [0, 0, 1, 0, 1, 0, 1]
    # Without a limit it tries depths 0..1000.
    r = wn.search_graph(3, [(0, 1, 1.0)], 0, 2, "iddfs")
    assert counters(r) == (1 + 2 * 1000, 1 + 2 * 1000, 2)
    assert sum(step == (0, 0.0, 0) for step in r.trace) == 1001


def test_iddfs_finds_fewest_edges_not_cheapest():
    # 0-3 directly costs 10; 0-1-2-3 costs 3.
    edges = [(0, 1, 1.0), (1, 2, 1.0), (2, 3, 1.0), (0, 3, 10.0)]
    r = wn.search_graph(4, edges, 0, 3, "iddfs")
    assert (r.path, r.cost) == ([0, 3], 10.0)
    assert wn.search_graph(4, edges, 0, 3, "ida_star").cost == 3.0


# ---------------------------------------------------------------------- IDA*


def test_ida_star_thresholds_run_through_path_costs_with_the_zero_heuristic():
    edges = [(0, 1, 1.0), (0, 2, 5.0), (1, 2, 2.0)]
    r = wn.search_graph(3, edges, 0, 2, "ida_star", undirected=False)
    assert (r.path, r.cost, r.stop_reason) == ([0, 1, 2], 3.0, "goal")
    # Thresholds 0, 1, 3: passes expand {0}, {0, 1}, {0, 1, 2}; cut-off children count
    # as generated.
    assert r.trace == [(0, 0.0, 0),
                       (0, 0.0, 0), (1, 1.0, 1),
                       (0, 0.0, 0), (1, 1.0, 1), (2, 3.0, 2)]
    assert counters(r) == (6, 8, 2) and r.tree == []
    # A callable is asked once for the first threshold, then once per visit,
    # cut-off visits included: 3 + 4 + 3.
    h = Counted(lambda n, g: 0.0)
    again = wn.search_graph(3, edges, 0, 2, "idastar", h, undirected=False)
    assert summary(again) == summary(r)
    assert h.calls == 1 + 10


def test_ida_star_exhausts_after_a_pass_without_cut_off():
    r = wn.search_graph(4, [(0, 1, 1.0), (1, 2, 1.0)], 0, 3, "ida_star")
    assert (r.path, r.stop_reason, r.cost) == (None, "exhausted", math.inf)
    # Thresholds 0 and 1 cut a node off; the pass at 2 cuts nothing off.
    assert [n for n, _, _ in r.trace] == [0, 0, 1, 0, 1, 2]


def test_ida_star_with_an_overestimating_heuristic_may_miss_the_optimum():
    # h(1) = 10 hides the cheap route until the threshold reaches it.
    edges = [(0, 1, 1.0), (1, 3, 1.0), (0, 2, 3.0), (2, 3, 3.0)]
    r = wn.search_graph(4, edges, 0, 3, "ida_star", lambda n, g: 10.0 if n == 1 else 0.0)
    assert (r.path, r.cost) == ([0, 2, 3], 6.0)


# ---------------------------------------------------------------------- beam

BEAM_EDGES = [(0, 1, 1.0), (0, 2, 1.0), (1, 3, 1.0), (2, 4, 1.0)]


def beam(width, h=None):
    return wn.search_graph(5, BEAM_EDGES, 0, 4, "beam", h, undirected=False, beam_width=width)


def test_beam_width_zero_prunes_everything():
    r = beam(0)
    assert (r.path, r.stop_reason) == (None, "exhausted")
    assert counters(r) == (1, 3, 1) and r.trace == [(0, 0.0, 0)]


def test_beam_width_one_follows_first_successors():
    r = beam(1)
    assert (r.path, r.stop_reason, counters(r)) == (None, "exhausted", (3, 4, 1))
    assert r.trace == [(0, 0.0, 0), (1, 1.0, 0), (3, 2.0, 0)]
    # Ranked by h alone: preferring 2 keeps the goal branch.
    steered = beam(1, lambda n, g: 0.0 if n in (2, 4) else 1.0)
    assert (steered.path, counters(steered)) == ([0, 2, 4], (3, 4, 1))


def test_unlimited_beam_is_layered_breadth_first():
    for width in (None, 2, 2**64 - 1):
        r = beam(width)
        assert (r.path, r.cost, counters(r)) == ([0, 2, 4], 2.0, (5, 5, 2))
        assert r.trace == [(0, 0.0, 0), (1, 1.0, 0), (2, 1.0, 1), (3, 2.0, 0), (4, 2.0, 0)]
        assert r.tree == []


# ------------------------------------------------------------- bidirectional


def test_bidirectional_trace_has_no_g_and_no_tree():
    r = wn.search_grid(wn.sample_maze("wall"), "bidirectional")
    assert r.found and r.cost == 20.0 and r.tree == []
    assert r.trace and all(g is None for _, g, _ in r.trace)
    assert len(r.trace) == r.nodes_expanded
    assert r.trace[0] == ((0, 0), None, 0)


def test_bidirectional_on_a_directed_graph_follows_real_arcs():
    # Backward from 3 the only real arc in is 2 -> 3; stepping against 3 -> 1 would
    # join 0, 1, 3 through an arc that does not exist.
    edges = [(0, 1, 1.0), (0, 5, 1.0), (1, 2, 1.0), (2, 3, 1.0), (3, 1, 1.0)]
    r = wn.search_graph(6, edges, 0, 3, "bidirectional", undirected=False)
    assert (r.path, r.cost, r.stop_reason) == ([0, 1, 2, 3], 3.0, "goal")
    assert counters(r) == (3, 6, 2)
    assert r.trace == [(0, None, 0), (3, None, 0), (2, None, 0)]
    # Nothing enters 2 here, so the backward half dies out at once.
    r = wn.search_graph(4, [(0, 1, 1.0), (0, 3, 1.0), (2, 1, 1.0)], 0, 2, "bidir",
                        undirected=False)
    assert (r.path, r.stop_reason, counters(r)) == (None, "exhausted", (2, 4, 2))


def test_bidirectional_keeps_the_cheapest_meeting():
    # Two meetings in one layer: via 1 (cost 10) found first, via 2 (cost 2) second.
    edges = [(0, 1, 5.0), (0, 2, 1.0), (1, 3, 5.0), (2, 3, 1.0)]
    r = wn.search_graph(4, edges, 0, 3, "bidirectional")
    assert (r.path, r.cost) == ([0, 2, 3], 2.0)


# ----------------------------------------- options these strategies never read


@pytest.mark.parametrize("algo", STRATEGIES)
def test_max_nodes_reopen_and_weight_change_nothing(algo):
    maze = wn.sample_maze("wall")
    kw = {"depth_limit": 20} if algo in ("dls", "iddfs") else {}
    base = wn.search_grid(maze, algo, **kw)
    assert base.found
    for extra in ({"max_nodes": 0}, {"max_nodes": 1, "reopen": True}, {"reopen": True},
                  {"weight": 0.25}):
        r = wn.search_grid(maze, algo, **kw, **extra)
        assert summary(r) == summary(base), extra
    # And never "node_limit", found or not.
    cut = wn.search_grid("S#G", algo, max_nodes=0, **kw)
    assert cut.stop_reason == "exhausted"


@pytest.mark.parametrize("algo", ["ida_star", "beam"])
def test_failing_callable_heuristic_raises_the_heuristic_error(algo):
    def boom(n, g):
        raise ZeroDivisionError

    calls = [
        lambda h: wn.search_graph(6, GRAPH_EDGES, 0, 5, algo, h),
        lambda h: wn.search_grid("S..\n...\n..G", algo, h),
        lambda h: wn.search_npuzzle([1, 2, 3, 4, 5, 6, 0, 7, 8], algo, h),
        lambda h: wn.search_hanoi(3, algo, h),
        lambda h: wn.search_wordladder("cold", "warm", LADDER_WORDS, algo, h),
        lambda h: wn.search_implicit(chain, 0, 5, algo, h),
    ]
    for call in calls:
        assert value_error(lambda: call(boom)) == BAD_H
        assert value_error(lambda: call(lambda n, g: None)) == BAD_H
        # The first failure stops every later call, even when it comes late.
        h = Counted(lambda n, g: 0.0 if h.calls < 3 else "x")
        assert value_error(lambda: call(h)) == BAD_H
        assert h.calls == 3


# ---------------------------------------------------- networkx cross-checks

nx = pytest.importorskip("networkx")

from _graphs import nx_graph, walk_cost  # noqa: E402  (needs networkx)


def random_graph(rng, n, m):
    edges = [(rng.randrange(n), rng.randrange(n), round(rng.uniform(0.5, 5.0), 2))
             for _ in range(m)]
    return [e for e in edges if e[0] != e[1]]


@pytest.mark.parametrize("directed", [False, True])
def test_iddfs_and_bidirectional_find_fewest_edges(directed):
    rng = random.Random(2024 + directed)
    for _ in range(60):
        n = rng.randrange(2, 12)
        edges = random_graph(rng, n, rng.randrange(0, 2 * n))
        g = nx_graph(n, edges, directed)
        s, t = rng.randrange(n), rng.randrange(n)
        reachable = nx.has_path(g, s, t)
        algos = ["bidirectional"] + ([] if directed else ["iddfs"])
        for algo in algos:
            r = wn.search_graph(n, edges, s, t, algo, depth_limit=n, undirected=not directed)
            assert r.found == reachable, (algo, n, edges, s, t)
            if reachable:
                assert len(r.path) - 1 == nx.shortest_path_length(g, s, t), algo
                assert r.path[0] == s and r.path[-1] == t
                assert r.cost == pytest.approx(walk_cost(g, r.path), rel=1e-12), algo


def grid_graph(rows, diagonal):
    h, w = len(rows), len(rows[0])
    g = nx.DiGraph()
    moves = [(-1, 0), (1, 0), (0, -1), (0, 1)]
    for r in range(h):
        for c in range(w):
            if rows[r][c] <= 0:
                continue
            g.add_node((r, c))
            for dr, dc in moves + ([(-1, -1), (-1, 1), (1, -1), (1, 1)] if diagonal else []):
                r2, c2 = r + dr, c + dc
                if not (0 <= r2 < h and 0 <= c2 < w) or rows[r2][c2] <= 0:
                    continue
                if dr and dc and (rows[r + dr][c] <= 0 or rows[r][c + dc] <= 0):
                    continue
                g.add_edge((r, c), (r2, c2), weight=rows[r2][c2] * (math.sqrt(2) if dr and dc
                                                                    else 1.0))
    return g


@pytest.mark.parametrize("diagonal, heuristic", [(False, "manhattan"), (True, "octile")])
def test_ida_star_is_optimal_on_grids_with_an_admissible_heuristic(diagonal, heuristic):
    rng = random.Random(31 + diagonal)
    for _ in range(40):
        h, w = rng.randrange(2, 10), rng.randrange(2, 10)
        rows = [[0.0 if rng.random() < 0.25 else float(rng.choice([1, 1, 1, 2]))
                 for _ in range(w)] for _ in range(h)]
        start, goal = (rng.randrange(h), rng.randrange(w)), (rng.randrange(h), rng.randrange(w))
        rows[start[0]][start[1]] = rows[goal[0]][goal[1]] = 1.0
        g = grid_graph(rows, diagonal)
        r = wn.search_grid_costs(rows, start, goal, "ida_star", heuristic, record=False,
                                 diagonal=diagonal)
        if not nx.has_path(g, start, goal):
            assert r.stop_reason == "exhausted"
            continue
        best = nx.dijkstra_path_length(g, start, goal)
        assert r.cost == pytest.approx(best, rel=1e-9), (rows, start, goal)
        assert walk_cost(g, r.path) == pytest.approx(r.cost, rel=1e-12)
