"""The grid and graph domains: how maps and cost matrices are read, moves and
their costs, the heuristics, the sample mazes."""

import math

import pytest
import wayloom_native as wn
from conftest import SQRT2
from hypothesis import given, settings
from hypothesis import strategies as st

OPEN_MAZE = "S........\n.........\n....#....\n....#....\n....#....\n........G"
WALL_MAZE = "S.#......\n..#.####.\n..#.#..#.\n..#.#.##.\n....#...G\n#####.#.."


@pytest.mark.parametrize(
    "text, start, goal, cost",
    [
        ("S.G", (0, 0), (0, 2), 2.0),
        ("\n\nS.\r\n.G\r\n\n", (0, 0), (1, 1), 2.0),  # blank edge lines dropped, CRLF read as LF
        ("S\n...\n..G", (0, 0), (2, 2), 4.0),  # short lines pad with open cells
        ("S.S\nG.G", (0, 2), (1, 2), 1.0),  # the last S and the last G of a line win
        ("é€S\nxyG", (0, 2), (1, 2), 1.0),  # columns count characters, not bytes
        ("S19\n##G", (0, 0), (1, 2), 11.0),  # digits are terrain costs, # a wall
        ("#S#\n###\n#G#", (0, 1), (2, 1), math.inf),
    ],
)
def test_ascii_maps(text, start, goal, cost):
    r = wn.search_grid(text, "ucs")
    assert r.cost == cost
    if r.found:
        assert (r.path[0], r.path[-1]) == (start, goal)


def test_moves_costs_and_corner_cutting():
    r = wn.search_grid("S.\n.G", diagonal=True)
    assert (r.path, r.cost) == ([(0, 0), (1, 1)], SQRT2)
    assert wn.search_grid("S#\n.G", diagonal=True).path == [(0, 0), (1, 0), (1, 1)]
    assert wn.search_grid("S.\n#G", diagonal=True).cost == 2.0
    # A move costs the entered cell's terrain, times sqrt 2 diagonally.
    r = wn.search_grid_costs([[1.0, 5.0], [5.0, 2.0]], (0, 0), (1, 1), diagonal=True)
    assert (r.path, r.cost) == ([(0, 0), (1, 1)], 2.0 * SQRT2)
    # Successors come up, down, left, right, then the diagonals in that order
    # (four-way maps have a path of their own).
    order = [(0, 1), (2, 1), (1, 0), (1, 2), (0, 0), (0, 2), (2, 0), (2, 2)]
    for diagonal, count in ((False, 4), (True, 8)):
        r = wn.search_grid("...\n.S.\n...\n..G", "bfs", diagonal=diagonal)
        assert [n for n, _, _ in r.trace[1 : 1 + count]] == order[:count]


def test_cost_matrices():
    # Non-positive and non-finite costs are walls, others any float.
    for wall in (0.0, -1.0, math.inf, math.nan):
        assert wn.search_grid_costs([[1.0, wall, 1.0]], (0, 0), (0, 2)).stop_reason == "exhausted"
    r = wn.search_grid_costs([[1, 2.5], [0.25, 1]], (0, 0), (1, 1), "ucs")
    assert (r.path, r.cost) == ([(0, 0), (1, 0), (1, 1)], 1.25)
    r = wn.search_grid_costs(((1, 2),), (0, 0), (0, 1))
    assert r.cost == 2.0 and r.path == [(0, 0), (0, 1)]


FORMULAS = {
    "zero": lambda dr, dc: 0.0,
    "manhattan": lambda dr, dc: dr + dc,
    "euclidean": lambda dr, dc: math.sqrt(dr * dr + dc * dc),
    "octile": lambda dr, dc: max(dr, dc) - min(dr, dc) + min(dr, dc) * SQRT2,
}


@pytest.mark.parametrize("name", FORMULAS)
def test_grid_heuristics_are_their_formulas_over_steps_not_terrain(name):
    def h(n, g):
        return float(FORMULAS[name](abs(n[0] - g[0]), abs(n[1] - g[1])))

    costs = [[1 + (r * 7 + c * 3) % 5 for c in range(9)] for r in range(7)]
    for algo in ("greedy", "astar"):
        a = wn.search_grid_costs(costs, (0, 0), (6, 8), algo, name, diagonal=True)
        assert a.trace == wn.search_grid_costs(costs, (0, 0), (6, 8), algo, h, diagonal=True).trace


def test_sample_mazes():
    assert wn.sample_maze("open") == OPEN_MAZE and wn.sample_maze("wall") == WALL_MAZE
    for algo in ("ucs", "astar", "bfs"):
        assert (wn.search_grid(OPEN_MAZE, algo).cost, wn.search_grid(WALL_MAZE, algo).cost) == (
            13,
            20,
        )


def test_search_graph_builds_undirected_graphs_by_default():
    edges = [(0, 1, 1.0), (1, 2, 1.0)]
    assert wn.search_graph(3, edges, 2, 0).path == [2, 1, 0]
    assert not wn.search_graph(3, edges, 2, 0, undirected=False).found
    # Parallel arcs: the cheapest one is the step's cost.
    assert wn.search_graph(2, [(0, 1, 5.0), (0, 1, 2.0)], 0, 1, "bfs").cost == 2.0


_MAP_TEXT = st.text(alphabet="#.#.0123456789 xé\t\r\n", max_size=40)


@settings(max_examples=150, deadline=None)
@given(_MAP_TEXT, _MAP_TEXT, _MAP_TEXT)
def test_the_python_map_reader_reads_as_the_engine(a, b, c):
    """The companion's one reader of ASCII maps (pictures, the command line) against the
    engine: shape, start and goal, and every cost the search can see."""
    csgraph = pytest.importorskip("scipy.sparse.csgraph")
    import numpy as np
    import scipy.sparse as sp
    import wayloom
    from wayloom._maze import read_ascii

    text = a + "S" + b + "G" + c
    m = read_ascii(text)
    grid = wayloom.Grid(text)
    assert (grid.height, grid.width) == (m.height, m.width)
    goals = []
    wn.search_grid(text, heuristic=lambda node, goal: goals.append(goal) or 0.0, max_nodes=1)
    assert goals[0] == m.goal
    # Distances over the reader's terrain (entering a cell costs its terrain) equal the engine's.
    t = np.frombuffer(m.terrain, dtype=np.uint8).reshape(m.height, m.width)
    ids = np.arange(t.size).reshape(t.shape)
    arcs = [
        (ids[:, :-1], ids[:, 1:]),
        (ids[:, 1:], ids[:, :-1]),
        (ids[:-1, :], ids[1:, :]),
        (ids[1:, :], ids[:-1, :]),
    ]
    u = np.concatenate([x.ravel() for x, _ in arcs])
    v = np.concatenate([y.ravel() for _, y in arcs])
    w = t.ravel()[v].astype(float)
    keep = (t.ravel()[u] > 0) & (w > 0)
    g = sp.csr_matrix((w[keep], (u[keep], v[keep])), shape=(t.size, t.size))
    source = m.start[0] * m.width + m.start[1]
    expect = csgraph.dijkstra(g, indices=source).reshape(t.shape)
    assert np.array_equal(grid.distances(m.start), expect)
