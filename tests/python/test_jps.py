"""Jump point search on grids, plain and preprocessed, and the MovingAI files."""

import math
import pickle
import random

import pytest
import wayloom
from conftest import DATA, SQRT2, needs_data, walk_cost
from wayloom.movingai import same_length


def _random_map(rng, h, w, density, kind):
    rows = [["#" if rng.random() < density else "." for _ in range(w)] for _ in range(h)]
    if kind == "traps":
        # Diagonal pairs of walls: every gap between them is a corner to cut.
        for _ in range(h * w // 6):
            r, c = rng.randrange(h - 1), rng.randrange(w - 1)
            rows[r][c], rows[r + 1][c + 1] = "#", "#"
            rows[r][c + 1], rows[r + 1][c] = ".", "."
    return "\n".join("".join(r) for r in rows)


def _corridors(rng, h, w):
    """A perfect maze of one-cell corridors (depth-first carving)."""
    rows = [["#"] * (2 * w + 1) for _ in range(2 * h + 1)]
    stack, rows[1][1] = [(0, 0)], "."
    while stack:
        r, c = stack[-1]
        nxt = [(r + a, c + b) for a, b in ((0, 1), (1, 0), (0, -1), (-1, 0))]
        nxt = [
            (y, x)
            for y, x in nxt
            if 0 <= y < h and 0 <= x < w and rows[2 * y + 1][2 * x + 1] == "#"
        ]
        if not nxt:
            stack.pop()
            continue
        y, x = rng.choice(nxt)
        rows[r + y + 1][c + x + 1] = rows[2 * y + 1][2 * x + 1] = "."
        stack.append((y, x))
    return "\n".join("".join(r) for r in rows)


def _maps():
    rng = random.Random(7)
    for i in range(60):
        kind = ("open", "traps", "maze")[i % 3]
        h, w = rng.randrange(2, 24), rng.randrange(2, 70)
        if kind == "maze":  # corridors one cell wide: no diagonal freedom
            yield _corridors(rng, h // 2 + 1, w // 3 + 1)
        else:
            yield _random_map(rng, h, w, rng.choice((0.0, 0.1, 0.3, 0.45)), kind)


def _open_cells(grid_text):
    lines = grid_text.split("\n")
    return [(r, c) for r, line in enumerate(lines) for c, ch in enumerate(line) if ch != "#"]


def test_optimal_against_astar_on_random_maps():
    import conftest

    rng = random.Random(1)
    for text in _maps():
        plain = wayloom.Grid(text, diagonal=True)
        fast = plain.preprocess()
        cells = _open_cells(text)
        if not cells:
            continue
        rows = [[math.inf if ch == "#" else 1.0 for ch in line] for line in text.split("\n")]
        oracle = conftest.grid_graph(rows, diagonal=True)
        pairs = [(rng.choice(cells), rng.choice(cells)) for _ in range(12)]
        for s, t in pairs:
            want = plain.search(s, t, algorithm="astar", heuristic="octile", record=False)
            for grid in (plain, fast):
                r = grid.search(s, t, algorithm="jps")
                assert r.found == want.found, (text, s, t)
                if not r.found:
                    assert (r.path, r.cost, r.stop_reason) == (None, math.inf, "exhausted")
                    continue
                assert r.path[0] == s and r.path[-1] == t
                assert r.cost == pytest.approx(want.cost, abs=1e-9), (text, s, t)
                # Every step a legal king move (no corner cut), summing to the cost.
                assert walk_cost(oracle, r.path) == pytest.approx(r.cost, abs=1e-9)
                # The trace holds jump points in expansion order; tree edges are
                # straight or diagonal segments between cells.
                assert r.trace[0] == (s, 0.0, 0) and r.trace[-1][0] == t
                assert r.nodes_expanded == len(r.trace) <= want.nodes_expanded
                for (a, b), (c, d) in r.tree:
                    assert a == c or b == d or abs(a - c) == abs(b - d)
        many = fast.search_many(pairs, algorithm="jps", workers=2, record=False)
        assert [m.cost for m in many] == [fast.search(s, t, algorithm="jps").cost for s, t in pairs]


def test_batches_equal_single_searches(monkeypatch):
    # Past one block of searches, so that the shared memory and cells carry over.
    text = _random_map(random.Random(5), 60, 120, 0.2, "open")
    cells = _open_cells(text)
    rng = random.Random(2)
    pairs = [(rng.choice(cells), rng.choice(cells)) for _ in range(75)]
    fields = ("path", "cost", "nodes_expanded", "nodes_generated", "max_frontier_size")
    for grid in (wayloom.Grid(text, diagonal=True), wayloom.Grid(text, diagonal=True).preprocess()):
        one = [[getattr(grid.search(s, t, algorithm="jps"), f) for f in fields] for s, t in pairs]
        for workers in (None, 2):
            many = grid.search_many(pairs, algorithm="jps", workers=workers, record=False)
            assert [[getattr(r, f) for f in fields] for r in many] == one
    # A budget too small to share the cells (8 bytes a cell): each made anew.
    big = wayloom.Grid("\n".join(["." * 300] * 300), diagonal=True)
    near = [((r, c), (r + 3, c + 5)) for r in range(0, 290, 7) for c in (0, 100, 200)]
    want = [big.search(s, t, algorithm="jps").path for s, t in near]
    monkeypatch.setenv("WAYLOOM_MEMORY_LIMIT", "200K")
    assert [r.path for r in big.search_many(near, algorithm="jps", record=False)] == want


def test_start_goal_limits_and_costs():
    g = wayloom.Grid("....\n.##.\n.#..\n.#.#", diagonal=True)
    r = g.search((2, 2), (2, 2), algorithm="jps")
    assert (r.path, r.cost, r.found) == ([(2, 2)], 0.0, True)
    # (0, 0) leads on only through a corner: no path.
    corner = wayloom.Grid(".#..\n#...", diagonal=True)
    for grid in (corner, corner.preprocess()):
        r = grid.search((0, 0), (1, 3), algorithm="jps")
        assert (r.found, r.stop_reason) == (False, "exhausted")
    r = g.search((3, 0), (0, 3), algorithm="jps", max_nodes=1)
    assert (r.found, r.stop_reason, r.nodes_expanded) == (False, "node_limit", 1)
    # One cost for every open cell: costs scale, the default heuristic with them.
    for unit in (0.25, 3.0):
        costs = [[unit, unit, 0, unit], [unit] * 4, [0, unit, unit, unit]]
        c = wayloom.Grid.from_costs(costs, diagonal=True)
        want = c.search((0, 0), (2, 3), algorithm="dijkstra")
        for grid in (c, c.preprocess()):
            got = grid.search((0, 0), (2, 3), algorithm="jps")
            assert got.cost == pytest.approx(want.cost)
            assert len(got.path) == len(want.path)
    # Callable and named heuristics are taken too.
    seen = []
    r = g.search((3, 0), (0, 3), algorithm="jps", heuristic=lambda a, b: seen.append(a) or 0.0)
    assert r.found and seen
    assert g.search((3, 0), (0, 3), algorithm="jps", heuristic="zero").cost == r.cost


def test_refusals():
    four = wayloom.Grid("S..\n...\n..G")
    mixed = wayloom.Grid.from_costs([[1, 2], [1, 1]], diagonal=True)
    for call in (
        lambda: four.search((0, 0), (2, 2), algorithm="jps"),
        lambda: four.search_many([((0, 0), (2, 2))], algorithm="jps"),
        four.preprocess,
    ):
        with pytest.raises(ValueError, match="8-connected.*diagonal=True.*'astar'"):
            call()
    for call in (lambda: mixed.search((0, 0), (1, 1), algorithm="jps"), mixed.preprocess):
        with pytest.raises(ValueError, match="cost the same.*'astar'"):
            call()
    # The specified module keeps its twelve names.
    with pytest.raises(ValueError) as e:
        wayloom.search_grid("S.\n.G", algorithm="jps", diagonal=True)
    assert "jps" not in str(e.value).split("Available:")[1]


def test_preprocessed_grid_pickles_with_its_table(monkeypatch):
    text = _random_map(random.Random(3), 30, 40, 0.25, "traps")
    fast = wayloom.Grid(text, diagonal=True).preprocess()
    assert fast.preprocessed and not wayloom.Grid(text).preprocessed
    blob = pickle.dumps(fast)
    assert len(blob) > 30 * 40 * (8 + 16)  # costs and the table
    back = pickle.loads(blob)
    assert back.preprocessed
    cells = _open_cells(text)
    for s, t in zip(cells[::7], cells[::-5]):
        a, b = fast.search(s, t, algorithm="jps"), back.search(s, t, algorithm="jps")
        assert (a.path, a.cost, a.trace) == (b.path, b.cost, b.trace)
    restore, (width, diagonal, costs, table) = fast.__reduce__()
    for bad in (table[:-2], bytes(len(table) - 2) + b"\xff\x7f"):
        with pytest.raises(ValueError, match="malformed grid state"):
            restore(width, diagonal, costs, bad)
    big = wayloom.Grid("\n".join(["." * 100] * 100), diagonal=True)
    monkeypatch.setenv("WAYLOOM_MEMORY_LIMIT", "100K")
    with pytest.raises(MemoryError, match="jump distance table"):
        big.preprocess()


MAP = "type octile\nheight 3\nwidth 5\nmap\n.G@T.\nS.O..\n....W\n"


def test_movingai_maps_and_scenarios(tmp_path, capsys):
    g = wayloom.Grid.from_movingai(MAP)
    assert (g.height, g.width, g.diagonal) == (3, 5, True)
    dist = wayloom.Grid.from_movingai(MAP, diagonal=False).distances((0, 0))
    assert [[math.isfinite(x) for x in row] for row in dist.tolist()] == [
        [True, True, False, False, True],
        [True, True, False, True, True],
        [True, True, True, True, False],
    ]
    path = tmp_path / "m.map"
    path.write_text(MAP)
    assert (
        wayloom.Grid.from_movingai(path).search((0, 0), (2, 1), algorithm="jps").cost == 1 + SQRT2
    )
    for bad, match in (
        (MAP.replace("height 3", "height 4"), "height 4, the map has 3 rows"),
        (MAP.replace(".G@T.", ".G@T"), "row 0 has 4 characters"),
        (MAP.replace("S.O", "S.#"), "unknown terrain '#' at row 1, column 2"),
        (MAP.replace("width 5\n", ""), "no 'width' line"),
    ):
        with pytest.raises(ValueError, match=match):
            wayloom.Grid.from_movingai(bad)
    with pytest.raises(ValueError, match="from_movingai"):
        wayloom.Grid(MAP)
    scen = tmp_path / "m.map.scen"
    scen.write_text(
        "version 1\n1\tm.map\t5\t3\t0\t1\t4\t0\t6.41421356\n0\tm.map\t5\t3\t0\t0\t3\t2\t0\n"
    )
    rows = wayloom.read_scenarios(scen)
    assert rows == [
        wayloom.Scenario(1, (1, 0), (0, 4), 6.41421356),
        wayloom.Scenario(0, (0, 0), (2, 3), 0.0),
    ]
    # Length 0 between different cells says "no path"; this pair has one.
    report = wayloom.run_scenarios(scen)
    assert (report.count, report.mismatches) == (2, 1)
    assert report.p99_time >= report.mean_time / 2 > 0
    from wayloom.cli import main

    assert main(["scenarios", str(scen), "--preprocess"]) == 1  # a mismatch
    assert capsys.readouterr().out.split("\n")[:2] == ["scenarios    2", "mismatches   1"]
    assert same_length(None, 0.0) and same_length(102.455844, 102.456)
    assert not same_length(4.0, 4.01)


@needs_data
def test_movingai_scenario_sample():
    for name in ("arena", "rmtst01", "8room_000", "random512-10-0", "maze512-1-0", "AcrosstheCape"):
        rows = wayloom.read_scenarios(DATA / "grid" / f"{name}.map.scen")
        grid = wayloom.Grid.from_movingai(DATA / "grid" / f"{name}.map")
        sample = rows[:: max(1, len(rows) // 40)]
        for preprocess in (False, True):
            report = wayloom.run_scenarios(sample, grid, preprocess=preprocess)
            assert (report.count, report.mismatches) == (len(sample), 0), name


def test_jumps_drawn_as_segments():
    from wayloom.viz.replay import has_jumps, segment

    assert segment((0, 0), (3, 3)) == [(1, 1), (2, 2), (3, 3)]
    assert segment((2, 5), (2, 2)) == [(2, 4), (2, 3), (2, 2)]
    assert segment((0, 0), (1, 2)) == [(1, 2)]
    r = wayloom.Grid("." * 12 + "\n" + "." * 12, diagonal=True).search(
        (0, 0), (1, 11), algorithm="jps"
    )
    assert has_jumps(r.tree) and not has_jumps([((0, 0), (1, 1))])
    html = wayloom.viz.to_html(r, "." * 12 + "\n" + "." * 12)
    assert '"seen"' in html
