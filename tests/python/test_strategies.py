"""Search semantics, asserted once, through the module: every algorithm name
on every entry point, then worked cases whose counters, traces and trees can
be followed step by step (tie-breaks, limits, reopening, each strategy)."""

import math

import pytest
import wayloom_native as wn
from conftest import BEST_FIRST, PROBLEMS, STRATEGIES, Counted, chain, counters, summary

# Every accepted name; the value names the search it is an alias of.
NAMES = {
    "bfs": None,
    "dfs": None,
    "ucs": None,
    "dijkstra": "ucs",
    "greedy": None,
    "astar": None,
    "a*": "astar",
    "weighted_astar": None,
    "wastar": "weighted_astar",
    "dls": None,
    "iddfs": None,
    "ida_star": None,
    "idastar": "ida_star",
    "beam": None,
    "bidirectional": None,
    "bidir": "bidirectional",
}
OPTIMAL = {"ucs", "dijkstra", "astar", "a*", "ida_star", "idastar"}


@pytest.mark.parametrize("domain", PROBLEMS)
def test_every_name_runs_on_every_entry_point(domain):
    call, start, goal, best, legal = PROBLEMS[domain]
    results = {}
    for name, same_as in NAMES.items():
        r = results[name] = call(name, depth_limit=8)
        assert r.found and r.path[0] == start and r.path[-1] == goal, name
        assert all(legal(a, b) for a, b in zip(r.path, r.path[1:])), (name, r.path)
        unit = domain not in ("graph", "grid_costs")
        if unit:
            assert r.cost == len(r.path) - 1, name
        if name in OPTIMAL or (unit and name in ("iddfs", "bidirectional", "bfs")):
            assert r.cost == best, name
        if same_as:
            assert summary(r) == summary(results[same_as]), name
        if name in STRATEGIES or same_as in STRATEGIES:
            assert r.tree == [] and r.nodes_reopened == 0, name
        if name != "bidirectional" and same_as != "bidirectional":
            assert len(r.trace) == r.nodes_expanded, name


def test_an_open_node_is_requeued_on_a_cheaper_path_and_dfs_takes_the_last_successor():
    edges = [(0, 1, 1.0), (0, 2, 5.0), (1, 2, 1.0), (2, 3, 1.0)]
    r = wn.search_graph(4, edges, 0, 3, undirected=False)
    assert (r.path, r.cost, counters(r), r.nodes_reopened) == ([0, 1, 2, 3], 3.0, (4, 5, 2), 0)
    assert r.trace == [(0, 0.0, 0), (1, 1.0, 1), (2, 2.0, 1), (3, 3.0, 0)]
    assert r.tree == [(0, 1), (1, 2), (2, 3)]
    r = wn.search_graph(4, edges, 0, 3, "dfs", undirected=False)
    assert [n for n, _, _ in r.trace] == [0, 2, 3]
    # Equally cheap: the first parent stays, and nothing is pushed again.
    r = wn.search_graph(
        4, [(0, 1, 1.0), (0, 2, 1.0), (1, 3, 1.0), (2, 3, 1.0)], 0, 3, "ucs", undirected=False
    )
    assert (r.path, r.nodes_generated, r.tree[-1]) == ([0, 1, 3], 4, (1, 3))


@pytest.mark.parametrize("algo", BEST_FIRST)
def test_node_limits_and_start_equal_to_goal(algo):
    r = wn.search_graph(3, [(0, 1, 1.0)], 1, 1, algo, max_nodes=0)
    assert (r.path, r.cost, r.trace, r.tree, r.stop_reason) == ([1], 0.0, [(1, 0.0, 0)], [], "goal")
    for limit, expanded, stop in ((0, 1, "node_limit"), (2, 2, "node_limit"), (3, 3, "goal")):
        cut = wn.search_graph(3, [(0, 1, 1.0), (1, 2, 1.0)], 0, 2, algo, max_nodes=limit)
        assert (cut.stop_reason, cut.nodes_expanded, len(cut.trace)) == (stop, expanded, expanded)
        assert cut.found == (stop == "goal") and cut.cost == (2.0 if cut.found else math.inf)


def test_weights_scale_only_the_estimate_two_by_default():
    maze = wn.sample_maze("open")
    for w, ref in ((1.0, "astar"), (0.0, "ucs")):
        assert summary(wn.search_grid(maze, "weighted_astar", weight=w)) == summary(
            wn.search_grid(maze, ref)
        )
    assert summary(wn.search_grid(maze, "wastar")) == summary(
        wn.search_grid(maze, "wastar", weight=2)
    )
    assert wn.search_grid(maze, "wastar").nodes_expanded < wn.search_grid(maze).nodes_expanded


def test_nan_and_infinite_step_costs_neither_improve_nor_block():
    r = wn.search_graph(3, [(0, 1, math.nan), (1, 2, -math.inf)], 0, 2, heuristic="zero")
    assert r.path == [0, 1, 2] and math.isnan(r.cost)
    r = wn.search_graph(
        3, [(0, 1, math.nan), (0, 2, 1.0), (2, 1, 1.0)], 0, 1, "ucs", undirected=False
    )
    assert r.path == [0, 1] and math.isnan(r.cost)
    # A strategy prices its path by cheapest arcs: a step without a finite one is NaN.
    assert math.isnan(wn.search_graph(2, [(0, 1, math.inf)], 0, 1, "iddfs").cost)


def test_depth_limits_count_edges_and_the_goal_is_tested_first():
    for algo in ("dls", "iddfs"):
        succ = Counted(chain)
        r = wn.search_implicit(succ, 0, 1, algo, depth_limit=0)
        assert (r.path, r.stop_reason, counters(r), r.trace) == (
            None,
            "exhausted",
            (1, 1, 1),
            [(0, 0.0, 0)],
        )
        r = wn.search_implicit(succ, 4, 4, algo, depth_limit=0)
        assert (r.path, r.cost, counters(r)) == ([4], 0.0, (1, 1, 1)) and succ.calls == 0
    succ = Counted(chain)
    r = wn.search_implicit(succ, 0, 3, "dls", depth_limit=3)
    assert (r.path, r.cost, counters(r)) == ([0, 1, 2, 3], 3.0, (4, 4, 3))
    assert r.trace == [(0, 0.0, 0), (1, 1.0, 1), (2, 2.0, 2), (3, 3.0, 3)]
    assert succ.calls == 6  # three expansions, then the path cost asks again
    succ.calls = 0
    r = wn.search_implicit(succ, 0, 3, "dls", depth_limit=2)
    assert (r.path, counters(r), succ.calls) == (None, (3, 3, 2), 2)  # 2 sits at the limit


def test_dls_checks_cycles_only_along_the_current_path():
    edges = [(0, 1, 1.0), (0, 2, 1.0), (1, 3, 1.0), (2, 3, 1.0), (3, 4, 1.0)]
    r = wn.search_graph(5, edges, 0, 4, "dls", depth_limit=2)
    assert r.stop_reason == "exhausted" and r.trace == [
        (0, 0.0, 0),
        (1, 1.0, 1),
        (3, 2.0, 2),
        (2, 1.0, 1),
        (3, 2.0, 2),
    ]
    assert counters(r) == (5, 5, 2)


def test_iddfs_sums_passes_restarts_the_trace_and_finds_fewest_edges():
    r = wn.search_graph(3, [(0, 1, 2.5), (1, 2, 0.5)], 0, 2, "iddfs")
    assert (r.path, r.cost, counters(r), r.tree) == ([0, 1, 2], 3.0, (6, 6, 2), [])
    assert r.trace == [(0, 0.0, 0), (0, 0.0, 0), (1, 2.5, 1), (0, 0.0, 0), (1, 2.5, 1), (2, 3.0, 2)]
    r = wn.search_graph(3, [(0, 1, 1.0)], 0, 2, "iddfs", depth_limit=3)
    assert (r.stop_reason, counters(r)) == ("exhausted", (7, 7, 2))
    r = wn.search_graph(3, [(0, 1, 1.0)], 0, 2, "iddfs")  # the default limit is 1000
    assert counters(r) == (2001, 2001, 2)
    edges = [(0, 1, 1.0), (1, 2, 1.0), (2, 3, 1.0), (0, 3, 10.0)]
    assert wn.search_graph(4, edges, 0, 3, "iddfs").path == [0, 3]


def test_ida_star_thresholds_rise_through_path_costs():
    edges = [(0, 1, 1.0), (0, 2, 5.0), (1, 2, 2.0)]
    r = wn.search_graph(3, edges, 0, 2, "ida_star", undirected=False)
    assert (r.path, r.cost, counters(r), r.tree) == ([0, 1, 2], 3.0, (6, 8, 2), [])
    # Thresholds 0, 1, 3; cut-off children count as generated.
    assert r.trace == [(0, 0.0, 0), (0, 0.0, 0), (1, 1.0, 1), (0, 0.0, 0), (1, 1.0, 1), (2, 3.0, 2)]
    h = Counted(lambda n, g: 0.0)  # once for the first threshold, then once a visit
    assert summary(wn.search_graph(3, edges, 0, 2, "idastar", h, undirected=False)) == summary(r)
    assert h.calls == 11
    r = wn.search_graph(4, [(0, 1, 1.0), (1, 2, 1.0)], 0, 3, "ida_star")
    assert (r.stop_reason, [n for n, _, _ in r.trace]) == ("exhausted", [0, 0, 1, 0, 1, 2])
    # An overestimate hides the cheap route: IDA* is only as good as h.
    edges = [(0, 1, 1.0), (1, 3, 1.0), (0, 2, 3.0), (2, 3, 3.0)]
    r = wn.search_graph(4, edges, 0, 3, "ida_star", lambda n, g: 10.0 if n == 1 else 0.0)
    assert (r.path, r.cost) == ([0, 2, 3], 6.0)


def beam(width, h=None):
    edges = [(0, 1, 1.0), (0, 2, 1.0), (1, 3, 1.0), (2, 4, 1.0)]
    return wn.search_graph(5, edges, 0, 4, "beam", h, undirected=False, beam_width=width)


def test_beam_keeps_the_best_ranked_children_of_each_layer():
    r = beam(0)
    assert (r.path, counters(r), r.trace) == (None, (1, 3, 1), [(0, 0.0, 0)])
    r = beam(1)
    assert (r.path, counters(r)) == (None, (3, 4, 1))
    assert r.trace == [(0, 0.0, 0), (1, 1.0, 0), (3, 2.0, 0)]
    steered = beam(1, lambda n, g: 0.0 if n in (2, 4) else 1.0)
    assert (steered.path, counters(steered)) == ([0, 2, 4], (3, 4, 1))
    for width in (None, 2, 2**64 - 1):
        r = beam(width)
        assert (r.path, r.cost, counters(r), r.tree) == ([0, 2, 4], 2.0, (5, 5, 2), [])
        assert r.trace == [(0, 0.0, 0), (1, 1.0, 0), (2, 1.0, 1), (3, 2.0, 0), (4, 2.0, 0)]
    # A node is generated once per call: a duplicate child is not ranked again.
    r = wn.search_graph(4, [(0, 1, 1.0), (0, 2, 1.0), (1, 3, 1.0), (2, 3, 1.0)], 0, 3, "beam")
    assert counters(r) == (4, 4, 2)


def test_bidirectional_expands_the_smaller_side_and_has_no_g_or_tree():
    r = wn.search_grid(wn.sample_maze("wall"), "bidirectional")
    assert (r.cost, r.tree, r.trace[0]) == (20.0, [], ((0, 0), None, 0))
    assert all(g is None for _, g, _ in r.trace) and len(r.trace) == r.nodes_expanded
    # Directed: the backward half follows real arcs into a node (2 -> 3), never 3 -> 1.
    edges = [(0, 1, 1.0), (0, 5, 1.0), (1, 2, 1.0), (2, 3, 1.0), (3, 1, 1.0)]
    r = wn.search_graph(6, edges, 0, 3, "bidirectional", undirected=False)
    assert (r.path, r.cost, counters(r)) == ([0, 1, 2, 3], 3.0, (3, 6, 2))
    assert r.trace == [(0, None, 0), (3, None, 0), (2, None, 0)]
    r = wn.search_graph(4, [(0, 1, 1.0), (0, 3, 1.0), (2, 1, 1.0)], 0, 2, "bidir", undirected=False)
    assert (r.path, r.stop_reason, counters(r)) == (None, "exhausted", (2, 4, 2))
    r = wn.search_graph(3, [(0, 1, 1.0)], 2, 2, "bidirectional")
    assert (r.path, counters(r), r.trace) == ([2], (0, 1, 1), [])
    # The peak is the largest layer that was not the meeting one: 0's five children.
    star = [(0, i, 1.0) for i in range(1, 6)] + [(5, 6, 1.0)]
    assert counters(wn.search_graph(7, star, 0, 6, "bidirectional")) == (2, 8, 5)


def test_bidirectional_keeps_the_cheapest_meeting_and_the_first_on_ties():
    # Two meetings in one layer: via 1 (cost 10) first, via 2 (cost 2) second.
    edges = [(0, 1, 5.0), (0, 2, 1.0), (1, 3, 5.0), (2, 3, 1.0)]
    assert wn.search_graph(4, edges, 0, 3, "bidirectional").path == [0, 2, 3]
    edges = [(0, 1, 1.0), (0, 2, 1.0), (1, 3, 1.0), (2, 3, 1.0)]
    assert wn.search_graph(4, edges, 0, 3, "bidirectional").path == [0, 1, 3]


@pytest.mark.parametrize("algo", STRATEGIES)
def test_options_the_special_strategies_never_read(algo):
    maze = wn.sample_maze("wall")
    base = wn.search_grid(maze, algo, depth_limit=20)
    for extra in ({"max_nodes": 0}, {"max_nodes": 1, "reopen": True}, {"weight": 0.25}):
        assert summary(wn.search_grid(maze, algo, depth_limit=20, **extra)) == summary(base)
    assert wn.search_grid("S#G", algo, max_nodes=0, depth_limit=20).stop_reason == "exhausted"


def test_nan_estimates_are_expanded_never_thresholds_and_rank_last():
    nan = math.nan
    edges = [(0, 1, 5.0), (1, 2, 5.0)]
    for h, order in (({1: nan}, [0, 1, 0, 1, 2]), ({0: nan, 1: 100.0, 2: 100.0}, [0, 1, 2])):
        r = wn.search_graph(
            3, edges, 0, 2, "ida_star", lambda n, g, h=h: h.get(n, 0.0), undirected=False
        )
        assert (r.path, [n for n, _, _ in r.trace]) == ([0, 1, 2], order)
    # Beam: NaN keys go after every number, in generation order, however many.
    keys = {i: (1.0 if i % 3 else nan) for i in range(1, 201)}
    keys.update({0: 0.0, 1: nan, 2: 2.0, 3: nan, 4: 1.0})
    star = [(0, i, 1.0) for i in range(1, 201)]
    r = wn.search_graph(202, star, 0, 201, "beam", lambda n, g: keys[n], undirected=False)
    later = sorted(
        range(1, 201), key=lambda i: (math.isnan(keys[i]), keys[i] if keys[i] == keys[i] else 0, i)
    )
    assert [n for n, _, _ in r.trace] == [0] + later and counters(r) == (201, 201, 200)


def test_deep_paths_need_no_call_stack():
    depth = 100000
    edges = [(i, i + 1, 1.0) for i in range(depth)]
    for algo, h in (("dls", None), ("ida_star", lambda n, g: float(g - n))):
        r = wn.search_graph(
            depth + 1, edges, 0, depth, algo, h, depth_limit=depth, undirected=False, record=False
        )
        assert (len(r.path), r.cost, counters(r)) == (depth + 1, depth, (depth + 1,) * 2 + (depth,))
    assert not wn.search_graph(depth + 1, edges, 0, depth, "dls", depth_limit=depth - 1).found
    r = wn.search_graph(depth + 1, edges, 0, 2000, "iddfs", record=False, depth_limit=depth)
    assert r.nodes_expanded == 2001 * 2002 // 2
