"""Defaults that are safe without knowing the catalogue, the exact bidirectional
Dijkstra, and the routing pieces of the build-once objects (distances to the
nearest source, predecessors, path_from)."""

import inspect
import math
import random
import threading

import networkx as nx
import pytest
import wayloom_native as wn
from conftest import grid_graph, summary, walk_cost
from wayloom import Graph, Grid, WordLadder, path_from

np = pytest.importorskip("numpy")

BIDIJKSTRA = "bidirectional_dijkstra"


def random_digraph(n, m, seed, low=0.1, undirected=False):
    rng = random.Random(seed)
    edges = [(rng.randrange(n), rng.randrange(n), rng.uniform(low, 10.0)) for _ in range(m)]
    oracle = nx.MultiGraph() if undirected else nx.MultiDiGraph()
    oracle.add_nodes_from(range(n))
    oracle.add_weighted_edges_from(edges)
    return edges, oracle


def cost_grid(seed, size=12):
    rng = np.random.default_rng(seed)
    costs = rng.choice([0.2, 0.5, 1.0, 3.0, 0.0], size=(size, size))
    costs[0, 0] = costs[-1, -1] = 1.0
    return costs


# ---- every shared option's default is the one the signature shows -------------

XY = [(i % 7, i // 7) for i in range(35)]
EDGES = [(a, b, math.dist(XY[a], XY[b]) * w) for a, b, w in random_digraph(35, 120, 4, 1)[0]]
WORDS = ["cold", "cord", "card", "ward", "warm", "worm", "word", "wore", "core", "corm", "wold"]
MAP = wn.random_maze_ascii(14, 10, 0.25, 3)
COSTS = cost_grid(5, 10).tolist()
H_GRAPH = lambda u, t: (u * 7919 % 17) * 1.0  # inconsistent: reopening matters # noqa: E731
GRAPH = {"heuristic": H_GRAPH}

# Each function on one problem, with the values (other than the defaults) that
# change its answer; each option runs under the algorithm where it matters, so
# the test fails if a default moves to the other value.
FUNCTIONS = {
    "search_graph": (wn.search_graph, (35, EDGES, 0, 34), GRAPH),
    "search_grid": (wn.search_grid, (MAP,), {}),
    "search_grid_costs": (wn.search_grid_costs, (COSTS, (0, 0), (9, 9)), {}),
    "search_npuzzle": (wn.search_npuzzle, ([1, 2, 3, 5, 0, 7, 4, 8, 6],), {}),
    "search_hanoi": (wn.search_hanoi, (4,), {}),
    "search_wordladder": (wn.search_wordladder, ("cold", "warm", WORDS), {}),
    "Graph.search": (Graph(35, EDGES, coordinates=XY).search, (0, 34), GRAPH),
    "Grid.search": (Grid(MAP).search, ((0, 0), (9, 13)), {}),
    "Grid.from_costs.search": (Grid.from_costs(COSTS).search, ((0, 0), (9, 9)), {}),
    "WordLadder.search": (WordLadder(WORDS).search, ("cold", "warm"), {}),
}
# option: (the call's other arguments, the other value)
OPTIONS = {
    "algorithm": ({}, "dfs"),
    "heuristic": ({"algorithm": "astar"}, "zero"),
    "record": ({}, False),
    "weight": ({"algorithm": "weighted_astar"}, 1.0),
    "beam_width": ({"algorithm": "beam"}, 1),
    "depth_limit": ({"algorithm": "iddfs"}, 1),
    "max_nodes": ({}, 2),
    "reopen": ({"algorithm": "astar"}, True),
}
# A reopening search needs an inconsistent heuristic: only the graphs have one.
NO_REOPENING = set(FUNCTIONS) - {"search_graph", "Graph.search"}


@pytest.mark.parametrize("name", FUNCTIONS)
def test_each_default_is_the_signatures(name):
    func, args, heuristic = FUNCTIONS[name]
    params = inspect.signature(func).parameters
    for option, (context, other) in OPTIONS.items():
        if option == "reopen" and name in NO_REOPENING:
            continue
        if option == "heuristic" and heuristic:
            other = heuristic["heuristic"]  # the graphs' default is a built-in one
        kw = {**heuristic, **context} if option not in ("heuristic", "algorithm") else context
        default = params[option].default
        named = func(*args, **kw, **{option: default})
        assert summary(func(*args, **kw)) == summary(named), (name, option)
        assert summary(func(*args, **kw, **{option: other})) != summary(named), (name, option)
    owner = getattr(func, "__self__", None)
    if hasattr(owner, "search_many"):  # runs search's defaults except the algorithm's
        assert inspect.signature(owner.search_many).parameters["algorithm"].default == "dijkstra"
        ref = summary(func(*args, algorithm="dijkstra"))
        assert [summary(r) for r in owner.search_many([args, args])] == [ref, ref]


# ---- the defaults are exact ---------------------------------------------------


def test_default_searches_are_exact():
    g = Graph(4, [(0, 1, 1.0), (1, 2, 1.0), (2, 3, 1.0), (0, 3, 5.0)])
    assert (g.search(0, 3).path, g.search(0, 3).cost) == ([0, 1, 2, 3], 3.0)
    # Coordinates: A* guided by the straight line, as cheap as Dijkstra's path.
    rng = random.Random(2)
    xy = [(rng.uniform(0, 50), rng.uniform(0, 50)) for _ in range(400)]
    near = [(a, b) for a in range(400) for b in range(400) if 0 < math.dist(xy[a], xy[b]) < 6]
    roads = Graph(400, [(a, b, math.dist(xy[a], xy[b]) * 1.2) for a, b in near], coordinates=xy)
    for s, t in [(0, 399), (17, 250)]:
        astar, exact = roads.search(s, t, algorithm="astar"), roads.search(s, t)
        assert astar.cost == pytest.approx(exact.cost) and exact.found
        assert astar.nodes_expanded < exact.nodes_expanded / 2
        named = roads.search(s, t, algorithm="astar", heuristic="euclidean")
        assert summary(named) == summary(astar)
    # Grids: octile on 8-connected maps, scaled by the cheapest cell on cost grids.
    for seed in range(40):
        for diagonal in (False, True):
            grid = Grid.from_costs(cost_grid(seed), diagonal=diagonal)
            ends = (0, 0), (11, 11)
            exact = grid.search(*ends, algorithm="dijkstra").cost
            for algo in ["astar", BIDIJKSTRA]:
                assert grid.search(*ends, algorithm=algo).cost == pytest.approx(exact, abs=0)
    maze = wn.random_maze_ascii(40, 30, 0.3, 7)
    for diagonal, name in [(False, "manhattan"), (True, "octile")]:
        grid = Grid(maze, diagonal=diagonal)
        ref = wn.search_grid(maze, heuristic=name, diagonal=diagonal)  # a map's cells cost >= 1
        assert summary(grid.search(ref.path[0], ref.path[-1])) == summary(ref)


# ---- bidirectional Dijkstra ---------------------------------------------------


# Small graphs, and large ones where a search reaches few of the nodes.
@pytest.mark.parametrize("undirected", [False, True])
@pytest.mark.parametrize(("n", "m", "seeds"), [(30, 70, 40), (5000, 14000, 3)])
def test_bidirectional_dijkstra_equals_networkx(undirected, n, m, seeds):
    for seed in range(seeds):
        edges, oracle = random_digraph(n, m, seed, undirected=undirected)
        g = Graph(n, edges, undirected=undirected)
        rng = random.Random(seed)
        pairs = [(rng.randrange(n), rng.randrange(n)) for _ in range(5)] + [(3, 3)]
        for (s, t), r in zip(pairs, g.search_many(pairs, algorithm=BIDIJKSTRA)):
            to_goal = nx.single_source_dijkstra_path_length(
                oracle.reverse(copy=False) if oracle.is_directed() else oracle, t
            )
            from_start = nx.single_source_dijkstra_path_length(oracle, s)
            assert r.cost == pytest.approx(from_start.get(t, math.inf))
            assert r.found == (t in from_start) and r.stop_reason in ("goal", "exhausted")
            if r.found:
                assert (r.path[0], r.path[-1]) == (s, t)
                steps = [min(d["weight"] for d in oracle[a][b].values()) for a, b in zip(r.path, r.path[1:])]  # fmt: skip
                assert r.cost == sum(steps)  # the cost is summed along the path, as Dijkstra's
            # Each expansion is at its exact distance from its own side's root.
            assert len(r.trace) == r.nodes_expanded
            for node, g_node, _ in r.trace:
                assert g_node in (
                    pytest.approx(from_start.get(node)),
                    pytest.approx(to_goal.get(node)),
                )
            quiet = g.search(s, t, algorithm=BIDIJKSTRA, record=False)
            assert summary(quiet)[:7] == summary(r)[:7] and quiet.trace == []
    limited = g.search(0, 29, algorithm=BIDIJKSTRA, max_nodes=3)
    assert (limited.stop_reason, limited.nodes_expanded, limited.path) == ("node_limit", 3, None)


def test_reverse_graph_is_built_once_under_the_budget(monkeypatch):
    n = 200_000  # a directed chain: its reverse takes about 8 MB
    chain = lambda: Graph.from_arrays(np.arange(n - 1), np.arange(1, n), undirected=False)  # noqa: E731
    g = chain()
    monkeypatch.setenv("WAYLOOM_MEMORY_LIMIT", "4M")
    with pytest.raises(MemoryError, match="bidirectional"):
        g.search(0, 1, algorithm=BIDIJKSTRA)
    monkeypatch.setenv("WAYLOOM_MEMORY_LIMIT", "64M")
    assert g.search(n - 2, n - 1, algorithm=BIDIJKSTRA).path == [n - 2, n - 1]
    monkeypatch.setenv("WAYLOOM_MEMORY_LIMIT", "4M")  # kept: later queries pay nothing
    for algo in [BIDIJKSTRA, "bidirectional"]:
        assert g.search(5, 7, algorithm=algo).path == [5, 6, 7]
    with pytest.raises(MemoryError):  # per graph, not shared between graphs
        chain().search(0, 1, algorithm="bidirectional")
    # Threads racing to build it all get the same answers.
    monkeypatch.delenv("WAYLOOM_MEMORY_LIMIT")
    edges, _ = random_digraph(2000, 8000, 1)
    pairs = [(s, (s * 37) % 2000) for s in range(64)]
    serial = Graph(2000, edges, undirected=False).search_many(pairs, algorithm=BIDIJKSTRA)
    fresh = Graph(2000, edges, undirected=False)
    results = [None] * 4
    barrier = threading.Barrier(4)

    def run(k):
        barrier.wait()
        results[k] = fresh.search_many(pairs, algorithm=BIDIJKSTRA, record=False)

    threads = [threading.Thread(target=run, args=(k,)) for k in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for batch in results:
        assert [(r.path, r.cost) for r in batch] == [(r.path, r.cost) for r in serial]


# ---- distances, predecessors and paths ----------------------------------------


def test_nearest_source_distances_equal_scipy():
    sp = pytest.importorskip("scipy.sparse")
    csgraph = pytest.importorskip("scipy.sparse.csgraph")
    rng = np.random.default_rng(3)
    pairs = np.unique(rng.integers(0, 300, (900, 2)), axis=0)
    u, v, w = pairs[:, 0], pairs[:, 1], rng.uniform(0.5, 4.0, len(pairs))
    g = Graph.from_arrays(u, v, w, num_nodes=300, undirected=False)
    m = sp.csr_matrix((w, (u, v)), shape=(300, 300))
    sources = [0, 41, 200, 41]
    for limit in [None, 3.0]:
        d, p, src = g.distances(sources, limit, return_predecessors=True, min_only=True)
        rd, rp, rs = csgraph.dijkstra(
            m, indices=sources, limit=limit or np.inf, min_only=True, return_predecessors=True
        )
        assert np.array_equal(d, rd) and np.array_equal(
            g.distances(sources, limit, min_only=True), rd
        )
        assert np.array_equal(p, np.maximum(rp, -1)) and np.array_equal(src, np.maximum(rs, -1))
        for node in range(300):
            path = path_from(p, node, source=src[node])
            if np.isinf(d[node]):
                assert path == [] and src[node] == -1
            else:
                assert (path[0], path[-1]) == (src[node], node)
                assert d[node] == pytest.approx(sum(m[a, b] for a, b in zip(path, path[1:])))
    # One source per row without min_only; its rows walk the same way.
    hub = int(u[len(u) // 2])  # has an arc out
    d, p = g.distances([hub, 200], return_predecessors=True)
    far = int(np.flatnonzero(p[0] >= 0)[-1])
    assert path_from(p[1], 200) == [200] and path_from(p[0], far)[0] == hub != far
    lonely = Graph(3, [(1, 2, 1.0)])
    _, p = lonely.distances(0, return_predecessors=True)
    assert path_from(p, 0) == [] and path_from(p, 0, source=0) == [0]
    assert path_from(p, 2, source=0) == [] and path_from(p, 1) == []


def test_grid_predecessors_walk_cheapest_paths():
    grid = Grid.from_costs(cost_grid(3), diagonal=True)
    oracle = grid_graph(np.asarray(cost_grid(3)).tolist(), diagonal=True)
    d, p = grid.distances((0, 0), return_predecessors=True)
    assert p.shape == (12, 12, 2) and tuple(p[0, 0]) == (-1, -1)
    assert np.array_equal(grid.distances((0, 0)), d)
    for cell in np.ndindex(12, 12):
        path = path_from(p, cell)
        if np.isinf(d[cell]):
            assert path == [] and tuple(p[cell]) == (-1, -1)
            continue
        assert (path[0], path[-1]) == ((0, 0), cell)
        assert d[cell] == pytest.approx(grid.search((0, 0), cell, algorithm="dijkstra").cost)
        assert d[cell] == pytest.approx(walk_cost(oracle, path))  # every step a legal move
