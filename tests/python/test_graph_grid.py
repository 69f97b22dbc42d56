"""The graph and grid entry points: their validations in order, the search
semantics seen from Python, and cross-checks against networkx."""

import math
import pathlib
import random

import pytest

import wayloom_native as wn

SQRT2 = 1.4142135623730951
BEST_FIRST = ["bfs", "dfs", "ucs", "dijkstra", "greedy", "astar", "a*", "weighted_astar", "wastar"]
OPTIMAL = ["ucs", "dijkstra", "astar", "a*"]
ALGORITHM_LIST = (
    "bfs, dfs, ucs, dijkstra, greedy, astar, weighted_astar, iddfs, dls, ida_star, beam, "
    "bidirectional"
)
GRID_HEURISTIC_ERROR = (
    "unknown heuristic: '{}'. Available: zero, manhattan, euclidean, octile, "
    "or a callable h(node, goal) -> float"
)
GRAPH_HEURISTIC_ERROR = (
    "unknown graph heuristic: '{}'. Use 'zero' or a callable h(node, goal) -> float"
)
HEURISTIC_TYPE_ERROR = "heuristic must be a name (str) or a callable h(node, goal) -> float"
DATA = pathlib.Path(__file__).resolve().parents[3] / "shared" / "data" / "grid"

OPEN_MAZE = "S........\n.........\n....#....\n....#....\n....#....\n........G"
WALL_MAZE = "S.#......\n..#.####.\n..#.#..#.\n..#.#.##.\n....#...G\n#####.#.."


def counters(r):
    return (r.nodes_expanded, r.nodes_generated, r.nodes_reopened, r.max_frontier_size)


def value_error(call):
    with pytest.raises(ValueError) as info:
        call()
    return str(info.value)


# ------------------------------------------------------------ validations


def test_search_grid_needs_s_and_g_before_anything_else():
    msg = "the ASCII map must contain a start 'S' and a goal 'G'"
    for text in ("", "\n\n", "S..", "..G", "s.g", "...\n..."):
        assert value_error(lambda: wn.search_grid(text)) == msg
        # Checked before the heuristic name and the algorithm name.
        assert value_error(lambda: wn.search_grid(text, "nope", heuristic="nope")) == msg
    # 'S' and 'G' anywhere, even on different lines with walls all around.
    assert wn.search_grid("#S#\n###\n#G#").stop_reason == "exhausted"


def test_grid_heuristic_names_are_exact_and_checked_before_the_algorithm():
    for name in ("Manhattan", "MANHATTAN", " manhattan", "", "octile ", "hamming"):
        expected = GRID_HEURISTIC_ERROR.format(name)
        assert value_error(lambda: wn.search_grid("S.G", heuristic=name)) == expected
        assert value_error(
            lambda: wn.search_grid_costs([[1, 1]], (0, 0), (0, 1), "nope", heuristic=name)
        ) == expected
    assert value_error(lambda: wn.search_grid("S.G", "nope", heuristic=3)) == HEURISTIC_TYPE_ERROR
    for name in ("zero", "manhattan", "euclidean", "octile"):
        assert wn.search_grid("S.G", heuristic=name).cost == 2.0


def test_search_grid_costs_checks_in_order():
    empty = "costs must be a non-empty matrix"
    cell = "start and goal must be in-bounds, non-wall cells"
    assert value_error(lambda: wn.search_grid_costs([], (0, 0), (0, 1))) == empty
    assert value_error(lambda: wn.search_grid_costs((), (-1, 0), (9, 9), heuristic="x")) == empty
    for start, goal in [((0, 0), (0, 1)), ((-1, 0), (0, 0)), ((0, 0), (0, -1)), ((0, 0), (1, 0)),
                        ((0, 0), (0, 2)), ((0, 1), (0, 0))]:
        # Row [1.0, 0.0]: (0, 1) is a wall, everything else outside.
        call = lambda: wn.search_grid_costs([[1.0, 0.0]], start, goal, heuristic="x")  # noqa: E731
        assert value_error(call) == cell
    # A short row pads with walls; the padding is refused like a wall.
    assert value_error(lambda: wn.search_grid_costs([[1.0, 1.0], [1.0]], (0, 0), (1, 1))) == cell
    call = lambda: wn.search_grid_costs([[1.0, 1.0]], (0, 0), (0, 1), heuristic="x")  # noqa: E731
    assert value_error(call) == GRID_HEURISTIC_ERROR.format("x")
    with pytest.raises(wn.PanicException):
        wn.search_grid_costs([[]], (0, 0), (0, 0))


def test_search_graph_checks_in_order():
    nodes = "start and goal must be < num_nodes"
    # num_nodes 0 refuses every call, before edges, heuristic or algorithm.
    call = lambda: wn.search_graph(0, [(5, 5, 1.0)], 0, 0, "nope", heuristic="x")  # noqa: E731
    assert value_error(call) == nodes
    assert value_error(lambda: wn.search_graph(3, [], 0, 3)) == nodes
    assert value_error(lambda: wn.search_graph(3, [], 3, 0)) == nodes
    assert value_error(lambda: wn.search_graph(3, [(0, 5, 1.0)], 0, 2)) == (
        "edge (0, 5) is out of range for a 3-node graph"
    )
    # The first bad edge in list order, whichever endpoint is out.
    assert value_error(
        lambda: wn.search_graph(3, [(0, 1, 1.0), (7, 1, 1.0), (0, 9, 1.0)], 0, 2, heuristic="x")
    ) == "edge (7, 1) is out of range for a 3-node graph"
    assert value_error(lambda: wn.search_graph(3, [(0, 3, 1.0)], 0, 2)) == (
        "edge (0, 3) is out of range for a 3-node graph"
    )
    for name in ("manhattan", "Zero", "", "zero "):
        call = lambda: wn.search_graph(3, [(0, 1, 1.0)], 0, 2, "nope", heuristic=name)  # noqa: E731
        assert value_error(call) == GRAPH_HEURISTIC_ERROR.format(name)
    call = lambda: wn.search_graph(3, [], 0, 2, "nope", heuristic=1.5)  # noqa: E731
    assert value_error(call) == HEURISTIC_TYPE_ERROR
    # Weights are not checked at all.
    r = wn.search_graph(3, [(0, 1, math.nan), (1, 2, -math.inf)], 0, 2, heuristic="zero")
    assert r.path == [0, 1, 2] and math.isnan(r.cost)


@pytest.mark.parametrize("name", ["A*", "BFS", " bfs", "bfs ", "", "Dijkstra", "a_star", "bfs\0"])
def test_unknown_algorithm_names(name):
    expected = f"unknown algorithm: '{name}'. Available: {ALGORITHM_LIST}"
    assert value_error(lambda: wn.search_graph(2, [(0, 1, 1.0)], 0, 1, name)) == expected
    assert value_error(lambda: wn.search_grid("S.G", name)) == expected
    assert value_error(lambda: wn.search_grid_costs([[1, 1]], (0, 0), (0, 1), name)) == expected


def test_sample_mazes():
    assert wn.sample_maze("open") == OPEN_MAZE
    assert wn.sample_maze("wall") == WALL_MAZE
    for name in ("open", "wall"):
        text = wn.sample_maze(name)
        assert len(text) == 59 and text.count("\n") == 5 and not text.endswith("\n")
    for name in ("Open", "", "open ", "maze"):
        expected = f"unknown sample maze: '{name}'. Available: open, wall"
        assert value_error(lambda: wn.sample_maze(name)) == expected


# ---------------------------------------------------------------- searches


def test_one_line_map_with_the_defaults():
    r = wn.search_grid("S.G")
    assert r.path == [(0, 0), (0, 1), (0, 2)]
    assert r.cost == 2.0 and r.found and r.stop_reason == "goal"
    assert r.trace == [((0, 0), 0.0, 0), ((0, 1), 1.0, 0), ((0, 2), 2.0, 0)]
    assert r.tree == [((0, 0), (0, 1)), ((0, 1), (0, 2))]


def test_bfs_requeues_an_open_node_on_a_cheaper_path():
    # s=0, a=1, b=2, g=3: the cheaper three-step path wins over s, b, g.
    edges = [(0, 1, 1.0), (0, 2, 5.0), (1, 2, 1.0), (2, 3, 1.0)]
    r = wn.search_graph(4, edges, 0, 3, undirected=False)
    assert (r.path, r.cost) == ([0, 1, 2, 3], 3.0)
    assert counters(r) == (4, 5, 0, 2)
    assert r.trace == [(0, 0.0, 0), (1, 1.0, 1), (2, 2.0, 1), (3, 3.0, 0)]
    assert r.tree == [(0, 1), (1, 2), (2, 3)]


def test_callable_heuristic_that_is_not_consistent_needs_reopen():
    # s=0, a=1, b=2, g=3; h(a) = 3, else 0: admissible but inconsistent.
    edges = [(0, 1, 1.0), (0, 2, 3.0), (1, 2, 1.0), (2, 3, 5.0)]
    seen = []

    def h(node, goal):
        seen.append((node, goal))
        return 3.0 if node == 1 else 0.0

    r = wn.search_graph(4, edges, 0, 3, "astar", h, undirected=False, reopen=True)
    assert r.trace == [(0, 0.0, 0), (2, 3.0, 1), (1, 1.0, 1), (2, 2.0, 1), (3, 7.0, 1)]
    assert (r.path, r.cost) == ([0, 1, 2, 3], 7.0)
    assert counters(r) == (5, 6, 1, 2)
    assert r.tree == [(0, 1), (1, 2), (2, 3)]
    assert len(seen) == r.nodes_generated and all(type(n) is int and g == 3 for n, g in seen)

    r = wn.search_graph(4, edges, 0, 3, "astar", h, undirected=False)
    assert (r.path, r.cost, counters(r)[:3]) == ([0, 2, 3], 8.0, (4, 4, 0))


def test_start_equals_goal_and_node_limits():
    for algo in BEST_FIRST:
        r = wn.search_graph(3, [(0, 1, 1.0)], 1, 1, algo, max_nodes=0)
        assert (r.path, r.cost, r.trace, r.tree) == ([1], 0.0, [(1, 0.0, 0)], [])
        cut = wn.search_graph(3, [(0, 1, 1.0), (1, 2, 1.0)], 0, 2, algo, max_nodes=0)
        assert (cut.stop_reason, cut.path, cut.cost) == ("node_limit", None, math.inf)
        assert (cut.nodes_expanded, cut.nodes_generated, len(cut.trace)) == (1, 1, 1)
        two = wn.search_graph(3, [(0, 1, 1.0), (1, 2, 1.0)], 0, 2, algo, max_nodes=2)
        assert (two.stop_reason, two.nodes_expanded) == ("node_limit", 2)
        three = wn.search_graph(3, [(0, 1, 1.0), (1, 2, 1.0)], 0, 2, algo, max_nodes=3)
        assert (three.stop_reason, three.path) == ("goal", [0, 1, 2])


def test_every_best_first_name_runs():
    edges = [(0, 1, 4.0), (0, 2, 1.0), (2, 1, 1.0), (1, 3, 1.0), (2, 3, 7.0)]
    for algo in BEST_FIRST:
        r = wn.search_graph(4, edges, 0, 3, algo)
        assert r.found and r.path[0] == 0 and r.path[-1] == 3, algo
        if algo in OPTIMAL + ["weighted_astar", "wastar"]:  # zero heuristic: all order by g
            assert r.cost == 3.0 and r.path == [0, 2, 1, 3], algo
    base = wn.search_graph(4, edges, 0, 3, "astar")
    for alias in ("a*", "ucs", "dijkstra", "weighted_astar", "wastar"):
        assert wn.search_graph(4, edges, 0, 3, alias).trace == base.trace


def test_diagonal_moves_and_corner_cutting():
    r = wn.search_grid("S.\n.G", diagonal=True)
    assert r.path == [(0, 0), (1, 1)] and r.cost == SQRT2
    blocked = wn.search_grid("S#\n.G", diagonal=True)
    assert blocked.path == [(0, 0), (1, 0), (1, 1)] and blocked.cost == 2.0
    # A diagonal costs the entered cell's terrain times sqrt(2).
    terrain = wn.search_grid_costs([[1.0, 5.0], [5.0, 2.0]], (0, 0), (1, 1), diagonal=True)
    assert terrain.path == [(0, 0), (1, 1)] and terrain.cost == 2.0 * SQRT2


def test_sample_maze_costs():
    for algo in OPTIMAL + ["bfs"]:
        assert wn.search_grid(OPEN_MAZE, algo).cost == 13.0
        assert wn.search_grid(WALL_MAZE, algo).cost == 20.0
    dfs = wn.search_grid(WALL_MAZE, "dfs")
    assert dfs.found and dfs.cost >= 20.0


# ---------------------------------------------------- networkx cross-checks

nx = pytest.importorskip("networkx")

from _graphs import nx_graph, walk_cost  # noqa: E402  (needs networkx)


def random_edges(rng, n, m, unit=False):
    edges = []
    for _ in range(m):
        u, v = rng.randrange(n), rng.randrange(n)
        if u != v:
            edges.append((u, v, 1.0 if unit else round(rng.uniform(0.1, 10.0), 3)))
    return edges


@pytest.mark.parametrize("undirected", [False, True])
def test_graph_costs_match_networkx(undirected):
    rng = random.Random(1234 + undirected)
    for _ in range(40):
        n = rng.randrange(2, 30)
        edges = random_edges(rng, n, rng.randrange(0, 3 * n))
        g = nx_graph(n, edges, not undirected)
        start, goal = rng.randrange(n), rng.randrange(n)
        try:
            best = nx.dijkstra_path_length(g, start, goal)
        except nx.NetworkXNoPath:
            best = None
        for algo in OPTIMAL + ["weighted_astar", "bfs", "dfs", "greedy"]:
            r = wn.search_graph(n, edges, start, goal, algo, undirected=undirected)
            if best is None:
                assert (r.found, r.cost, r.stop_reason) == (False, math.inf, "exhausted")
                continue
            assert r.path[0] == start and r.path[-1] == goal
            if algo in OPTIMAL or algo == "weighted_astar":  # zero heuristic: by g alone
                assert r.cost == pytest.approx(best, rel=1e-12), algo
                assert walk_cost(g, r.path) == pytest.approx(r.cost, rel=1e-12)
            else:
                assert r.cost >= best - 1e-9


@pytest.mark.parametrize("undirected", [False, True])
def test_bfs_on_unit_weights_finds_fewest_steps(undirected):
    rng = random.Random(77)
    for _ in range(40):
        n = rng.randrange(2, 40)
        edges = random_edges(rng, n, rng.randrange(0, 3 * n), unit=True)
        g = nx_graph(n, edges, not undirected)
        start, goal = rng.randrange(n), rng.randrange(n)
        r = wn.search_graph(n, edges, start, goal, "bfs", undirected=undirected)
        if nx.has_path(g, start, goal):
            assert len(r.path) - 1 == nx.shortest_path_length(g, start, goal)
            assert r.cost == len(r.path) - 1
            # Equal costs never improve an open node: one push per reached node.
            assert r.nodes_generated == len(r.tree) + 1
        else:
            assert not r.found
            assert r.nodes_expanded == len(nx.descendants(g, start)) + 1


def grid_graph(rows, diagonal):
    """The grid's move rules as a networkx digraph (cost of the cell entered)."""
    h, w = len(rows), max(len(r) for r in rows)

    def open_(r, c):
        return 0 <= r < h and 0 <= c < w and c < len(rows[r]) and 0 < rows[r][c] < math.inf

    g = nx.DiGraph()
    for r in range(h):
        for c in range(w):
            if not open_(r, c):
                continue
            g.add_node((r, c))
            for dr, dc in ((-1, 0), (1, 0), (0, -1), (0, 1)):
                if open_(r + dr, c + dc):
                    g.add_edge((r, c), (r + dr, c + dc), weight=rows[r + dr][c + dc])
            if diagonal:
                for dr, dc in ((-1, -1), (-1, 1), (1, -1), (1, 1)):
                    if open_(r + dr, c + dc) and open_(r + dr, c) and open_(r, c + dc):
                        g.add_edge((r, c), (r + dr, c + dc), weight=rows[r + dr][c + dc] * SQRT2)
    return g


@pytest.mark.parametrize("diagonal", [False, True])
def test_grid_costs_match_networkx(diagonal):
    rng = random.Random(99 + diagonal)
    heuristics = ["zero", "euclidean", "octile"] + ([] if diagonal else ["manhattan"])
    for _ in range(25):
        h, w = rng.randrange(1, 12), rng.randrange(1, 12)
        rows = [
            [0.0 if rng.random() < 0.25 else float(rng.randrange(1, 10)) for _ in range(w)]
            for _ in range(h)
        ]
        start, goal = (rng.randrange(h), rng.randrange(w)), (rng.randrange(h), rng.randrange(w))
        rows[start[0]][start[1]] = rows[goal[0]][goal[1]] = 1.0
        g = grid_graph(rows, diagonal)
        try:
            best = nx.dijkstra_path_length(g, start, goal)
        except nx.NetworkXNoPath:
            best = None
        for heuristic in heuristics:  # all admissible: terrain costs are >= 1
            for algo in OPTIMAL:
                r = wn.search_grid_costs(rows, start, goal, algo, heuristic, diagonal=diagonal)
                if best is None:
                    assert not r.found
                    continue
                assert r.cost == pytest.approx(best, rel=1e-12), (algo, heuristic)
                assert walk_cost(g, r.path) == pytest.approx(r.cost, rel=1e-12)
        if best is not None:
            heuristic = "octile" if diagonal else "manhattan"  # consistent
            wa = wn.search_grid_costs(
                rows, start, goal, "weighted_astar", heuristic, weight=2.0, diagonal=diagonal
            )
            assert best - 1e-9 <= wa.cost <= 2.0 * best + 1e-9
            gr = wn.search_grid_costs(rows, start, goal, "greedy", heuristic, diagonal=diagonal)
            assert gr.cost >= best - 1e-9 and walk_cost(g, gr.path) == pytest.approx(gr.cost)


def test_ascii_maps_match_networkx():
    rng = random.Random(5)
    for _ in range(20):
        h, w = rng.randrange(2, 10), rng.randrange(2, 10)
        cells = [[rng.choice("..........#######123456789") for _ in range(w)] for _ in range(h)]
        cells[0][0], cells[h - 1][w - 1] = "S", "G"
        text = "\n".join("".join(row) for row in cells)
        rows = [
            [0.0 if ch == "#" else (float(ch) if ch.isdigit() else 1.0) for ch in row]
            for row in cells
        ]
        for diagonal in (False, True):
            g = grid_graph(rows, diagonal)
            r = wn.search_grid(text, "ucs", diagonal=diagonal)
            if nx.has_path(g, (0, 0), (h - 1, w - 1)):
                best = nx.dijkstra_path_length(g, (0, 0), (h - 1, w - 1))
                assert r.cost == pytest.approx(best, rel=1e-12)
            else:
                assert not r.found and r.stop_reason == "exhausted"


# ------------------------------------------------------ benchmark scenarios


def load_map(name):
    lines = (DATA / name).read_text().splitlines()
    assert lines[3] == "map"
    return lines[4:]


def scenarios(name):
    for line in (DATA / f"{name}.scen").read_text().splitlines()[1:]:
        f = line.split("\t")
        yield (int(f[5]), int(f[4])), (int(f[7]), int(f[6])), float(f[8])


@pytest.mark.skipif(not DATA.is_dir(), reason="benchmark data not available")
@pytest.mark.parametrize(
    "name, every",
    [("arena.map", 1), ("maze512-1-0.map", 120), ("random512-10-0.map", 18), ("8room_000.map", 20)],
)
def test_benchmark_scenarios_octile_optima(name, every):
    grid = load_map(name)
    costs = [[1.0 if ch == "." else 0.0 for ch in row] for row in grid]
    for i, (start, goal, optimal) in enumerate(scenarios(name)):
        if i % every:
            continue
        r = wn.search_grid_costs(costs, start, goal, "astar", "octile", record=False, diagonal=True)
        assert r.cost == pytest.approx(optimal, abs=1e-6), (start, goal)
        if name == "arena.map" and start != goal:
            # The same map as ASCII text gives the same answer.
            rows = [["." if ch == "." else "#" for ch in row] for row in grid]
            rows[start[0]][start[1]], rows[goal[0]][goal[1]] = "S", "G"
            text = "\n".join("".join(row) for row in rows)
            a = wn.search_grid(text, "astar", "octile", record=False, diagonal=True)
            assert (a.path, a.cost) == (r.path, r.cost)
