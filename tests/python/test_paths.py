"""Bellman-Ford, Floyd-Warshall and the generators: worked cases, then
networkx as the oracle with negative arcs and negative cycles."""

import math
import random

import pytest
import wayloom_native as wn
from conftest import nx_graph, walk_cost

INF = math.inf
EXAMPLE = [(0, 1, 4.0), (0, 2, 1.0), (2, 1, -2.0)]


def test_bellman_ford_worked_cases():
    sp = wn.bellman_ford(3, EXAMPLE, 0)
    assert (sp.dist, sp.pred, sp.negative_cycle) == ([0.0, -1.0, 1.0], [None, 2, 0], False)
    assert (sp.path_to(1), sp.path_to(target=2), sp.path_to(0), sp.path_to(3)) == (
        [0, 2, 1],
        [0, 2],
        [0],
        None,
    )
    assert wn.bellman_ford(3, EXAMPLE, 0, undirected=True).negative_cycle is True
    sp = wn.bellman_ford(3, EXAMPLE, 1)
    assert (sp.dist, sp.pred, sp.path_to(0), sp.path_to(1)) == (
        [INF, 0.0, INF],
        [None] * 3,
        None,
        [1],
    )
    assert wn.bellman_ford(2, [(0, 1, 5.0), (0, 1, 2.0)], 0).dist == [0.0, 2.0]
    # 1 -> 2 -> 1 costs -2: chains through it loop, so no path comes back.
    sp = wn.bellman_ford(4, [(0, 1, 1.0), (1, 2, -1.0), (2, 1, -1.0), (0, 3, 1.0)], 0)
    assert (sp.negative_cycle, sp.dist, sp.pred) == (True, [0.0, -5.0, -4.0, 1.0], [None, 2, 1, 0])
    assert (sp.path_to(1), sp.path_to(2), sp.path_to(3)) == (None, None, [0, 3])
    # An unreachable negative cycle does not count; a lone negative self-loop does.
    assert wn.bellman_ford(3, [(1, 2, -1.0), (2, 1, -1.0)], 0).negative_cycle is False
    sp = wn.bellman_ford(1, [(0, 0, -3.0)], 0)
    assert (sp.dist, sp.pred, sp.negative_cycle) == ([0.0], [None], True)


def test_floyd_warshall_worked_cases():
    ap = wn.floyd_warshall(0, [])
    assert (ap.num_nodes, ap.negative_cycle, ap.matrix(), ap.path(0, 0)) == (0, False, [], None)
    ap = wn.floyd_warshall(4, EXAMPLE + [(0, 1, 9.0)])
    assert ap.matrix() == [
        [0.0, -1.0, 1.0, INF],
        [INF, 0.0, INF, INF],
        [INF, -2.0, 0.0, INF],
        [INF, INF, INF, 0.0],
    ]
    assert all(ap.distance(i, i) == 0.0 and ap.path(i, i) == [i] for i in range(4))
    assert (ap.path(0, 1), ap.path(from_=2, to=1), ap.path(1, 0)) == ([0, 2, 1], [2, 1], None)
    assert ap.distance(0, 4) == ap.distance(2**64 - 1, 0) == INF and ap.path(4, 0) is None
    for parallel in ([(0, 1, 5.0), (0, 1, 2.0)], [(0, 1, 2.0), (0, 1, 5.0)]):
        assert wn.floyd_warshall(2, parallel).distance(0, 1) == 2.0
    # An equally cheap detour never replaces the known route.
    assert wn.floyd_warshall(3, [(0, 1, 1.0), (1, 2, 1.0), (0, 2, 2.0)]).path(0, 2) == [0, 2]
    # A lone negative self-loop is relaxed through itself once more.
    for w in (-1.0, -2.5):
        ap = wn.floyd_warshall(1, [(0, 0, w)])
        assert (ap.distance(0, 0), ap.negative_cycle, ap.path(0, 0)) == (2 * w, True, [0])
    assert wn.floyd_warshall(1, [(0, 0, -0.5)]).negative_cycle is True
    ap = wn.floyd_warshall(2, [(0, 1, 2.0), (0, 0, -3.0)])
    assert (ap.matrix(), ap.path(0, 1)) == ([[-6.0, -4.0], [INF, 0.0]], None)
    # Any negative cycle counts, even one no other node reaches.
    ap = wn.floyd_warshall(4, [(0, 3, 1.0), (1, 2, -1.0), (2, 1, -1.0)])
    assert ap.negative_cycle is True and ap.path(0, 3) == [0, 3]


def test_generators():
    full = wn.gen_erdos_renyi(6, 1.0, 3)
    assert full == [(u, v, 1.0) for u in range(6) for v in range(u + 1, 6)]
    assert wn.gen_erdos_renyi(6, 7.0, 1) == full and wn.gen_erdos_renyi(1, 1.0, 0) == []
    assert all(wn.gen_erdos_renyi(20, p, 5) == [] for p in (0.0, -1.0, math.nan))
    a = wn.gen_erdos_renyi(60, 0.1, 42)
    assert a == wn.gen_erdos_renyi(60, 0.1, 42) != wn.gen_erdos_renyi(60, 0.1, 43)
    assert a == sorted(a) and 100 < len(a) < 250
    for n, m in ((2, 1), (30, 2), (12, 11)):
        edges = wn.gen_barabasi_albert(n, m, 7)
        assert len(edges) == len(set(edges)) == m * (m - 1) // 2 + (n - m) * m
        assert all(sum(v == node and u < node for u, v, _ in edges) == m for node in range(m, n))
    for n, k in ((10, 4), (5, 4), (3, 0)):
        ring = {
            (min(i, (i + j) % n), max(i, (i + j) % n))
            for i in range(n)
            for j in range(1, k // 2 + 1)
        }
        edges = wn.gen_watts_strogatz(n, k, 0.0, 1)
        assert [(u, v) for u, v, _ in edges] == sorted(ring)
    rewired = wn.gen_watts_strogatz(40, 4, 1.0, 11)
    assert len(set(rewired)) == 80 and rewired == wn.gen_watts_strogatz(40, 4, 1.0, 11)
    assert wn.random_maze_ascii(3, 2, 0.0, 99) == "S..\n..G"
    assert wn.random_maze_ascii(4, 3, 1.0, 5) == "S###\n####\n###G"
    maze = wn.random_maze_ascii(30, 20, 0.3, 8)
    assert maze == wn.random_maze_ascii(30, 20, 0.3, 8) != wn.random_maze_ascii(30, 20, 0.3, 9)
    assert 0.2 < maze.count("#") / 598 < 0.4 and maze.split("\n")[0][0] == "S"


nx = pytest.importorskip("networkx")


def test_distances_match_networkx_without_negative_cycles():
    rng = random.Random(314)
    for _ in range(40):
        n = rng.randrange(1, 25)
        p = [rng.randrange(-20, 21) for _ in range(n)]  # potentials: negative arcs, no cycles
        edges = [
            (u, v, float(rng.randrange(0, 10) + p[u] - p[v]))
            for u, v in ((rng.randrange(n), rng.randrange(n)) for _ in range(3 * n))
        ]
        undirected = rng.random() < 0.25
        if undirected:
            edges = [(u, v, abs(w) + 1) for u, v, w in edges]
        g = nx_graph(n, edges, not undirected)
        expected = dict(nx.floyd_warshall(g))
        ap = wn.floyd_warshall(n, edges, undirected=undirected)
        assert not ap.negative_cycle
        assert ap.matrix() == [[expected[i][j] for j in range(n)] for i in range(n)]
        s = rng.randrange(n)
        sp = wn.bellman_ford(n, edges, s, undirected=undirected)
        assert sp.dist == ap.matrix()[s] and not sp.negative_cycle
        for v in range(n):
            for path, start in ((sp.path_to(v), s), (ap.path(v, s), v)):
                end = v if start == s else s
                assert (path is None) == (expected[start][end] == INF)
                if path:
                    assert (path[0], path[-1]) == (start, end)
                    assert walk_cost(g, path) == expected[start][end]


def test_negative_cycle_flags_match_networkx():
    rng = random.Random(55)
    for _ in range(200):
        n = rng.randrange(1, 12)
        edges = [
            (rng.randrange(n), rng.randrange(n), float(rng.randrange(-4, 12)))
            for _ in range(rng.randrange(0, 2 * n))
        ]
        g = nx_graph(n, edges, True)
        ap = wn.floyd_warshall(n, edges)
        assert ap.negative_cycle == nx.negative_edge_cycle(g), edges
        s = rng.randrange(n)
        reach = g.subgraph(nx.descendants(g, s) | {s}).copy()
        sp = wn.bellman_ford(n, edges, s)
        assert sp.negative_cycle == nx.negative_edge_cycle(reach), (edges, s)
        assert [d < INF for d in sp.dist] == [v in reach for v in range(n)]
        for v in range(n):  # whatever comes back is a real, simple walk
            for path, a, b in ((sp.path_to(v), s, v), (ap.path(s, v), s, v)):
                if path is not None:
                    assert (path[0], path[-1]) == (a, b) and len(path) == len(set(path))
                    walk_cost(g, path)
