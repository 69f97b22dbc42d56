"""compare(): rows, depth limits for the depth-first algorithms, threads and executors, tables."""

import concurrent.futures
import dataclasses
import math

import pytest
import wayloom_native as wn
from wayloom import ALGORITHMS, Comparison, Row, compare

WALL = wn.sample_maze("wall")
# 0-1-2-3 in a line, and 4 cut off.
LINE = (5, [(0, 1, 1.0), (1, 2, 1.0), (2, 3, 1.0)])


def test_rows_carry_the_engine_counters_in_the_requested_order():
    rows = compare(wn.search_grid, WALL, algorithms=["dfs", "bfs", "a*"], heuristic="zero")
    assert [r.algorithm for r in rows] == ["dfs", "bfs", "a*"]
    for row in rows:
        r = wn.search_grid(WALL, algorithm=row.algorithm, heuristic="zero")
        assert (
            row.found,
            row.cost,
            row.expanded,
            row.generated,
            row.reopened,
            row.peak_frontier,
            row.stop_reason,
            row.error,
        ) == (
            r.found,
            r.cost,
            r.nodes_expanded,
            r.nodes_generated,
            r.nodes_reopened,
            r.max_frontier_size,
            r.stop_reason,
            None,
        )
        assert row.elapsed >= 0
    assert [r.algorithm for r in compare(wn.search_grid, WALL)] == list(ALGORITHMS)
    assert [r.algorithm for r in compare(wn.search_grid, WALL, algorithms="ucs")] == ["ucs"]


def test_refusals_become_error_rows_and_other_rows_still_run():
    rows = compare(wn.search_grid, WALL, algorithms=["Astar", "bfs"])
    bad, good = rows
    assert bad.error == (
        "unknown algorithm: 'Astar'. Available: bfs, dfs, ucs, dijkstra, "
        "greedy, astar, weighted_astar, iddfs, dls, ida_star, beam, bidirectional"
    )
    assert (bad.found, bad.cost, bad.expanded) == (False, math.inf, 0)
    assert good.found and good.cost == 20.0
    # A problem the entry point refuses: every row says why, the depth-first ones too.
    rows = compare(wn.search_npuzzle, [1, 2, 3, 4, 5, 6, 8, 7, 0])
    assert {r.error for r in rows} == {"this configuration is not solvable into the goal (parity)"}


def test_dls_and_iddfs_without_a_limit_get_the_depth_of_the_bfs_path():
    rows = compare(wn.search_graph, *LINE, 0, 3, algorithms=["bfs", "dls", "iddfs"])
    assert [(r.found, r.cost, r.depth_limit) for r in rows] == [
        (True, 3.0, None),
        (True, 3.0, 3),
        (True, 3.0, 3),
    ]
    unbounded = wn.search_graph(*LINE, 0, 3, algorithm="iddfs", record=False)
    assert rows.row("iddfs").expanded == unbounded.nodes_expanded
    assert "dls (depth 3)" in rows.table()
    # The caller's limit is used as given, and not reported as chosen.
    short = compare(wn.search_graph, *LINE, 0, 3, algorithms=["dls"], depth_limit=2)[0]
    assert (short.found, short.stop_reason, short.depth_limit) == (False, "exhausted", None)


def test_unreachable_goal_skips_the_unbounded_depth_first_searches():
    rows = compare(wn.search_graph, *LINE, 0, 4, algorithms=["bfs", "dls", "iddfs"])
    assert rows[0].stop_reason == "exhausted" and rows[0].error is None
    for r in rows[1:]:
        assert r.error == "not run: no depth_limit given and bfs found no path to take one from"


def test_threads_give_the_serial_rows_and_workers_are_checked():
    serial = compare(wn.search_grid, WALL, heuristic="manhattan")
    threaded = compare(wn.search_grid, WALL, heuristic="manhattan", workers=4)
    assert [dataclasses.replace(r, elapsed=0.0) for r in threaded] == [
        dataclasses.replace(r, elapsed=0.0) for r in serial
    ]
    for workers in (0, True, 1.5):
        with pytest.raises(ValueError, match="workers must be an int >= 1"):
            compare(wn.search_grid, WALL, workers=workers)
    for key, value in (("algorithm", "bfs"), ("record", True)):
        with pytest.raises(TypeError, match=f"sets '{key}' itself"):
            compare(wn.search_grid, WALL, **{key: value})
    with pytest.raises(ValueError, match="not both"):
        compare(wn.search_grid, WALL, workers=2, executor=concurrent.futures.ThreadPoolExecutor(1))


def test_table_text_and_markdown():
    c = Comparison(
        [
            Row("bfs", True, 20.0, 25, 25, 0, 3, 0.0000123, "goal"),
            Row("dls", False, math.inf, 9, 9, 0, 4, 0.001, "exhausted", depth_limit=2),
            Row.failed("x", "unknown algorithm: 'x'"),
        ]
    )
    assert c.table().splitlines() == [
        "algorithm      found  cost  expanded  generated  reopened  peak frontier  time (ms)  stop",
        "-------------  -----  ----  --------  ---------  --------  -------------  ---------"
        "  -----------------------------",
        "bfs            yes      20        25         25         0              3      0.012  goal",
        "dls (depth 2)  no      inf         9          9         0              4      1.000"
        "  exhausted",
        "x              -         -         -          -         -              -          -"
        "  error: unknown algorithm: 'x'",
    ]
    md = c.table(markdown=True).splitlines()
    assert md[1] == "|---|---|---:|---:|---:|---:|---:|---:|---|"
    assert md[2] == "| bfs | yes | 20 | 25 | 25 | 0 | 3 | 0.012 | goal |"
    with pytest.raises(KeyError):
        c.row("astar")
