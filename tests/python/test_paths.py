"""Bellman-Ford, Floyd-Warshall, the graph generators and the random maze
through the module: worked cases, the two result classes, exact texts, and
cross-checks against networkx with negative arcs and negative cycles."""

import inspect
import math
import random

import pytest

import wayloom_native as wn

INF = math.inf
EXAMPLE = [(0, 1, 4.0), (0, 2, 1.0), (2, 1, -2.0)]


def value_error(call):
    with pytest.raises(ValueError) as info:
        call()
    return str(info.value)


def panic(call):
    with pytest.raises(wn.PanicException) as info:
        call()
    return info.value.args


# -------------------------------------------------------------- Bellman-Ford


def test_bellman_ford_worked_example():
    sp = wn.bellman_ford(3, EXAMPLE, 0)
    assert (sp.dist, sp.pred, sp.source, sp.negative_cycle) == ([0.0, -1.0, 1.0], [None, 2, 0],
                                                               0, False)
    assert sp.path_to(1) == [0, 2, 1] and sp.path_to(target=2) == [0, 2] and sp.path_to(0) == [0]
    assert repr(sp) == str(sp) == "ShortestPaths(source=0, nodes=3, negative_cycle=false)"
    assert all(type(d) is float for d in sp.dist) and type(sp.negative_cycle) is bool
    # Used both ways, the negative edge is a cycle of its own.
    und = wn.bellman_ford(3, EXAMPLE, 0, undirected=True)
    assert und.negative_cycle is True
    assert repr(und) == "ShortestPaths(source=0, nodes=3, negative_cycle=true)"
    # From another source: what is unreachable stays inf and has no path.
    sp = wn.bellman_ford(3, EXAMPLE, 1)
    assert (sp.dist, sp.pred) == ([INF, 0.0, INF], [None, None, None])
    assert sp.path_to(0) is None and sp.path_to(1) == [1]


def test_bellman_ford_refusals_and_out_of_range_targets():
    assert value_error(lambda: wn.bellman_ford(3, EXAMPLE, 3)) == "source must be < num_nodes"
    assert value_error(lambda: wn.bellman_ford(0, [], 0)) == "source must be < num_nodes"
    # The source is checked before the edges.
    assert value_error(lambda: wn.bellman_ford(3, [(0, 9, 1.0)], 5)) == "source must be < num_nodes"
    assert value_error(lambda: wn.bellman_ford(3, [(0, 1, 1.0), (3, 0, 1.0)], 0)) == (
        "edge (3, 0) is out of range for a 3-node graph"
    )
    sp = wn.bellman_ford(3, EXAMPLE, 0)
    assert sp.path_to(3) is None and sp.path_to(2**64 - 1) is None
    with pytest.raises(OverflowError):
        sp.path_to(-1)
    with pytest.raises(TypeError):
        sp.path_to(1.0)
    with pytest.raises(TypeError):
        wn.bellman_ford(3, [[0, 1, 1.0]], 0)


def test_bellman_ford_parallel_arcs_and_negative_cycles():
    sp = wn.bellman_ford(2, [(0, 1, 5.0), (0, 1, 2.0)], 0)
    assert sp.dist == [0.0, 2.0]
    # 1 -> 2 -> 1 costs -2: every chain through it loops, so no path comes back.
    sp = wn.bellman_ford(4, [(0, 1, 1.0), (1, 2, -1.0), (2, 1, -1.0), (0, 3, 1.0)], 0)
    assert sp.negative_cycle is True
    assert (sp.dist, sp.pred) == ([0.0, -5.0, -4.0, 1.0], [None, 2, 1, 0])
    assert sp.path_to(1) is None and sp.path_to(2) is None
    assert sp.path_to(3) == [0, 3] and sp.path_to(0) == [0]
    # A negative cycle that the source cannot reach does not count.
    sp = wn.bellman_ford(3, [(1, 2, -1.0), (2, 1, -1.0)], 0)
    assert (sp.negative_cycle, sp.dist) == (False, [0.0, INF, INF])
    # One node with a negative self-loop: no relaxation pass, but the check pass sees it.
    sp = wn.bellman_ford(1, [(0, 0, -3.0)], 0)
    assert (sp.dist, sp.pred, sp.negative_cycle) == ([0.0], [None], True)


# ------------------------------------------------------------ Floyd-Warshall


def test_floyd_warshall_worked_cases():
    ap = wn.floyd_warshall(0, [])
    assert (ap.num_nodes, ap.negative_cycle, ap.matrix()) == (0, False, [])
    assert repr(ap) == str(ap) == "AllPairs(num_nodes=0, negative_cycle=false)"
    assert ap.distance(0, 0) == INF and ap.path(0, 0) is None

    ap = wn.floyd_warshall(4, EXAMPLE + [(0, 1, 9.0)])
    assert ap.matrix() == [[0.0, -1.0, 1.0, INF], [INF, 0.0, INF, INF],
                           [INF, -2.0, 0.0, INF], [INF, INF, INF, 0.0]]
    for i in range(4):
        assert ap.distance(i, i) == 0.0 and ap.path(i, i) == [i]
    assert ap.path(0, 1) == [0, 2, 1] and ap.path(from_=2, to=1) == [2, 1]
    assert ap.path(1, 0) is None and ap.distance(1, 0) == INF
    assert ap.distance(0, 4) == INF and ap.path(4, 0) is None and ap.distance(2**64 - 1, 0) == INF
    assert repr(ap) == "AllPairs(num_nodes=4, negative_cycle=false)"
    assert wn.floyd_warshall(2, [(0, 1, 5.0), (0, 1, 2.0)]).distance(0, 1) == 2.0
    assert wn.floyd_warshall(3, EXAMPLE, undirected=True).negative_cycle is True
    assert value_error(lambda: wn.floyd_warshall(0, [(0, 0, 1.0)])) == (
        "edge (0, 0) is out of range for a 0-node graph"
    )


def test_floyd_warshall_negative_cycles():
    # The relaxation through the node itself doubles a lone negative self-loop.
    for w in (-1.0, -2.5):
        ap = wn.floyd_warshall(1, [(0, 0, w)])
        assert (ap.distance(0, 0), ap.negative_cycle) == (2 * w, True)
        assert ap.path(0, 0) == [0]
    # A positive self-loop changes nothing.
    assert wn.floyd_warshall(1, [(0, 0, 2.0)]).matrix() == [[0.0]]
    # Next hops that keep returning to the loop give no path.
    ap = wn.floyd_warshall(2, [(0, 1, 2.0), (0, 0, -3.0)])
    assert ap.matrix() == [[-6.0, -4.0], [INF, 0.0]]
    assert ap.path(0, 1) is None and ap.path(0, 0) == [0] and ap.path(1, 1) == [1]
    # Any negative cycle counts, even one that no other node reaches.
    ap = wn.floyd_warshall(4, [(0, 3, 1.0), (1, 2, -1.0), (2, 1, -1.0)])
    assert ap.negative_cycle is True and ap.path(0, 3) == [0, 3]


# ------------------------------------------------------------- class surface

SP_DOC = """Single-source shortest paths from [`bellman_ford_py`]. Thin wrapper over the
core `ShortestPaths`.

Attributes:
    source (int): the node distances are measured from.
    dist (list[float]): ``dist[v]`` is the cost of the cheapest
        ``source -> v`` path (``inf`` if unreachable).
    pred (list[int | None]): predecessor of each node on a shortest path
        (``None`` for the source and unreachable nodes).
    negative_cycle (bool): whether a negative-weight cycle is reachable from
        ``source`` (then the affected distances are not well defined)."""
AP_DOC = """All-pairs shortest paths from [`floyd_warshall_py`]. Thin wrapper over the
core `AllPairs`.

Attributes:
    num_nodes (int): number of nodes ``n``.
    negative_cycle (bool): whether the graph has any negative-weight cycle."""
METHODS = {
    ("ShortestPaths", "path_to"): (
        "($self, target)",
        "Rebuild the ``source -> target`` shortest path (inclusive), or ``None``\n"
        "if ``target`` is unreachable."),
    ("AllPairs", "distance"): (
        "($self, from_, to)",
        "Cost of the cheapest ``from_ -> to`` path (``inf`` if none, ``0`` if\n"
        "``from_ == to``)."),
    ("AllPairs", "matrix"): ("($self)", "The full ``n x n`` distance matrix as a list of rows."),
    ("AllPairs", "path"): (
        "($self, from_, to)",
        "Rebuild the cheapest ``from_ -> to`` path (inclusive), or ``None`` if\n"
        "there is none."),
}


def test_result_classes_surface():
    assert wn.ShortestPaths.__doc__ == SP_DOC
    assert wn.AllPairs.__doc__ == AP_DOC
    public = lambda cls: {n for n in vars(cls) if not n.startswith("_")}  # noqa: E731
    assert public(wn.ShortestPaths) == {"source", "dist", "pred", "negative_cycle", "path_to"}
    assert public(wn.AllPairs) == {"num_nodes", "negative_cycle", "distance", "matrix", "path"}
    for cls in (wn.ShortestPaths, wn.AllPairs):
        with pytest.raises(TypeError) as info:
            cls()
        assert str(info.value) == f"No constructor defined for {cls.__name__}"
    sp, ap = wn.bellman_ford(2, [(0, 1, 1.0)], 0), wn.floyd_warshall(2, [(0, 1, 1.0)])
    for (cls, name), (signature, doc) in METHODS.items():
        method = getattr(getattr(wn, cls), name)
        assert method.__doc__ == doc and method.__text_signature__ == signature
        bound = getattr(sp if cls == "ShortestPaths" else ap, name)
        assert str(inspect.signature(bound)) == signature.replace("$self, ", "").replace(
            "$self", "")
    for obj, names in ((sp, ["source", "dist", "pred", "negative_cycle"]),
                       (ap, ["num_nodes", "negative_cycle"])):
        for name in names:
            with pytest.raises(AttributeError):
                setattr(obj, name, getattr(obj, name))


def test_lists_are_new_on_every_read():
    sp = wn.bellman_ford(3, EXAMPLE, 0)
    dist, pred = sp.dist, sp.pred
    assert dist is not sp.dist and pred is not sp.pred
    dist[0], pred[1] = 99.0, None
    assert sp.dist == [0.0, -1.0, 1.0] and sp.pred == [None, 2, 0]
    ap = wn.floyd_warshall(2, [(0, 1, 1.0)])
    m = ap.matrix()
    m[0][1] = 5.0
    assert ap.matrix() == [[0.0, 1.0], [INF, 0.0]] and ap.matrix() is not ap.matrix()


SHORTEST_DOCS = {
    "bellman_ford": ("(num_nodes, edges, source, undirected=False)", """\
**Bellman–Ford** single-source shortest paths on an explicit weighted graph.

Unlike Dijkstra/A\\*, this tolerates **negative edge weights** and reports a
reachable negative cycle. Edges are ``(u, v, w)`` over ``0..num_nodes``.

``undirected`` defaults to ``False``: negative weights are the whole point,
and an undirected negative edge is itself a trivial negative cycle."""),
    "floyd_warshall": ("(num_nodes, edges, undirected=False)", """\
**Floyd–Warshall** all-pairs shortest paths on an explicit weighted graph.

``O(V³)`` — for small/medium or dense graphs where you want *every* distance
at once. Tolerates negative edges and flags any negative cycle. Edges are
``(u, v, w)`` over ``0..num_nodes``; ``undirected`` defaults to ``False``."""),
    "gen_erdos_renyi": ("(n, p, seed)", "Erdős–Rényi `G(n, p)` random graph → edge list."),
    "gen_barabasi_albert": ("(n, m, seed)", "Barabási–Albert scale-free graph → edge list."),
    "gen_watts_strogatz": ("(n, k, beta, seed)",
                           "Watts–Strogatz small-world graph → edge list."),
    "random_maze_ascii": ("(width, height, obstacle_density, seed)",
                          "A reproducible random maze rendered as an ASCII map (with `S`/`G`)."),
}


@pytest.mark.parametrize("name", SHORTEST_DOCS)
def test_function_docstrings_and_signatures(name):
    signature, doc = SHORTEST_DOCS[name]
    function = getattr(wn, name)
    assert function.__doc__ == doc and function.__text_signature__ == signature
    assert str(inspect.signature(function)) == signature


def test_module_registration_order():
    order = ["search_grid", "search_grid_costs", "search_graph", "search_implicit",
             "gen_erdos_renyi", "gen_barabasi_albert", "gen_watts_strogatz", "sample_maze",
             "random_maze_ascii", "bellman_ford", "floyd_warshall", "search_npuzzle",
             "search_hanoi", "search_wordladder", "SearchResult", "ShortestPaths", "AllPairs"]
    assert [n for n in vars(wn) if n in order] == order


# ---------------------------------------------------------------- generators


def test_erdos_renyi():
    full = wn.gen_erdos_renyi(6, 1.0, 3)
    assert full == [(u, v, 1.0) for u in range(6) for v in range(u + 1, 6)]
    assert all(type(u) is int and type(w) is float for u, _, w in full)
    for p in (0.0, -1.0, math.nan):
        assert wn.gen_erdos_renyi(20, p, 5) == []
    assert wn.gen_erdos_renyi(6, 7.0, 1) == full == wn.gen_erdos_renyi(6, 1, 1)
    assert wn.gen_erdos_renyi(0, 1.0, 0) == [] == wn.gen_erdos_renyi(1, 1.0, 0)
    a, b = wn.gen_erdos_renyi(60, 0.1, 42), wn.gen_erdos_renyi(60, 0.1, 42)
    assert a == b and a != wn.gen_erdos_renyi(60, 0.1, 43)
    assert a == sorted(a) and 0 < len(a) < 60 * 59 // 2
    assert wn.gen_erdos_renyi(3, 1.0, 2**64 - 1) == [(0, 1, 1.0), (0, 2, 1.0), (1, 2, 1.0)]
    with pytest.raises(OverflowError):
        wn.gen_erdos_renyi(3, 1.0, 2**64)


def test_barabasi_albert():
    for n, m in ((2, 1), (10, 1), (30, 2), (40, 3), (12, 11)):
        edges = wn.gen_barabasi_albert(n, m, 7)
        assert len(edges) == m * (m - 1) // 2 + (n - m) * m, (n, m)
        assert len({(u, v) for u, v, _ in edges}) == len(edges)
        assert all(u < v < n and w == 1.0 for u, v, w in edges)
        assert [u for u, _, _ in edges] == sorted(u for u, _, _ in edges)
        # Every node from m on attaches to exactly m earlier nodes.
        for node in range(m, n):
            assert sum(v == node and u < node for u, v, _ in edges) == m
    tree = wn.gen_barabasi_albert(50, 1, 9)
    assert tree == wn.gen_barabasi_albert(50, 1, 9) and len(tree) == 49
    for n, m in ((5, 0), (5, 5), (5, 6), (0, 0), (1, 1)):
        assert panic(lambda: wn.gen_barabasi_albert(n, m, 1)) == ("need n > m >= 1",)


def ring(n, k):
    return {(min(i, (i + j) % n), max(i, (i + j) % n)) for i in range(n)
            for j in range(1, k // 2 + 1)}


def test_watts_strogatz():
    for n, k in ((10, 4), (5, 4), (7, 2), (30, 6), (3, 0)):
        edges = wn.gen_watts_strogatz(n, k, 0.0, 1)
        assert {(u, v) for u, v, _ in edges} == ring(n, k) and len(edges) == len(ring(n, k))
        assert [u for u, _, _ in edges] == sorted(u for u, _, _ in edges)
    rewired = wn.gen_watts_strogatz(40, 4, 1.0, 11)
    pairs = {(u, v) for u, v, _ in rewired}
    assert len(pairs) == len(rewired) == 80 and pairs != ring(40, 4)
    assert all(u < v < 40 and w == 1.0 for u, v, w in rewired)
    for n, k in ((10, 3), (10, 10), (10, 12), (0, 0), (4, 5)):
        assert panic(lambda: wn.gen_watts_strogatz(n, k, 0.5, 1)) == ("k must be even and < n",)


def test_random_maze_ascii():
    for density in (0.0, 0.5, 1.0, 7.0):
        assert wn.random_maze_ascii(1, 1, density, 3) == "S"
    assert wn.random_maze_ascii(3, 2, 0.0, 99) == "S..\n..G"
    assert wn.random_maze_ascii(4, 3, 1.0, 5) == "S###\n####\n###G"
    assert wn.random_maze_ascii(1, 3, 1.0, 5) == "S\n#\nG"
    maze = wn.random_maze_ascii(30, 20, 0.3, 8)
    assert maze == wn.random_maze_ascii(30, 20, 0.3, 8) != wn.random_maze_ascii(30, 20, 0.3, 9)
    rows = maze.split("\n")
    assert len(rows) == 20 and all(len(r) == 30 and set(r) <= set(".#SG") for r in rows)
    assert rows[0][0] == "S" and rows[-1][-1] == "G"
    assert 0.2 < maze.count("#") / 598 < 0.4
    # The map is what search_grid reads.
    r = wn.search_grid(wn.random_maze_ascii(12, 9, 0.2, 4), "bfs")
    assert r.stop_reason in ("goal", "exhausted")
    for w, h in ((0, 5), (5, 0), (-1, 3), (3, -2)):
        assert panic(lambda: wn.random_maze_ascii(w, h, 0.1, 1)) == ("grid must be non-empty",)
    assert panic(lambda: wn.random_maze_ascii(50000, 50001, 0.0, 1)) == (
        "grid too large: 50000\u00d750001 = 2500050000 cells (max 2147483647)",)
    with pytest.raises(OverflowError):
        wn.random_maze_ascii(2**31, 1, 0.0, 1)


# ---------------------------------------------------- networkx cross-checks

nx = pytest.importorskip("networkx")

from _graphs import nx_graph, walk_cost  # noqa: E402  (needs networkx)


def potential_graph(rng, n, m):
    """Integer arcs, many negative, without negative cycles: w = base + p(u) - p(v)."""
    p = [rng.randrange(-20, 21) for _ in range(n)]
    edges = []
    for _ in range(m):
        u, v = rng.randrange(n), rng.randrange(n)
        edges.append((u, v, float(rng.randrange(0, 10) + p[u] - p[v])))
    return edges


def test_without_negative_cycles_distances_match_networkx():
    rng = random.Random(314)
    negatives = 0
    for trial in range(40):
        n = rng.randrange(1, 25)
        edges = potential_graph(rng, n, rng.randrange(0, 4 * n))
        negatives += sum(w < 0 for _, _, w in edges)
        g = nx_graph(n, edges, True)
        expected = dict(nx.floyd_warshall(g))
        ap = wn.floyd_warshall(n, edges)
        assert not ap.negative_cycle
        assert ap.matrix() == [[expected[i][j] for j in range(n)] for i in range(n)]
        for _ in range(5):
            i, j = rng.randrange(n), rng.randrange(n)
            path = ap.path(i, j)
            assert (path is None) == (expected[i][j] == INF)
            if path:
                assert path[0] == i and path[-1] == j and walk_cost(g, path) == expected[i][j]
        s = rng.randrange(n)
        sp = wn.bellman_ford(n, edges, s)
        lengths = nx.single_source_bellman_ford_path_length(g, s)
        assert not sp.negative_cycle
        assert sp.dist == [lengths.get(v, INF) for v in range(n)]
        for v in range(n):
            path = sp.path_to(v)
            assert (path is None) == (v not in lengths)
            if path:
                assert path[0] == s and path[-1] == v and walk_cost(g, path) == lengths[v]
                assert (sp.pred[v] is None) == (v == s)
    assert negatives > 100


def test_undirected_graphs_match_networkx():
    rng = random.Random(27)
    for _ in range(15):
        n = rng.randrange(1, 20)
        edges = [(rng.randrange(n), rng.randrange(n), float(rng.randrange(1, 9)))
                 for _ in range(rng.randrange(0, 3 * n))]
        g = nx.Graph()
        g.add_nodes_from(range(n))
        for u, v, w in edges:
            if not g.has_edge(u, v) or g[u][v]["weight"] > w:
                g.add_edge(u, v, weight=w)
        expected = dict(nx.floyd_warshall(g))
        ap = wn.floyd_warshall(n, edges, undirected=True)
        assert ap.matrix() == [[expected[i][j] for j in range(n)] for i in range(n)]
        sp = wn.bellman_ford(n, edges, 0, undirected=True)
        assert sp.dist == ap.matrix()[0]


def test_negative_cycle_flags_match_networkx():
    rng = random.Random(55)
    seen = {True: 0, False: 0}
    reachable_cycles = 0
    for _ in range(200):
        n = rng.randrange(1, 12)
        edges = [(rng.randrange(n), rng.randrange(n), float(rng.randrange(-4, 12)))
                 for _ in range(rng.randrange(0, 2 * n))]
        g = nx_graph(n, edges, True)
        anywhere = nx.negative_edge_cycle(g)
        seen[anywhere] += 1
        ap = wn.floyd_warshall(n, edges)
        assert ap.negative_cycle == anywhere, edges
        for i in range(n):
            for j in range(n):
                path = ap.path(i, j)
                if path is not None:  # whatever comes back is a real walk
                    assert path[0] == i and path[-1] == j and len(path) <= n
                    walk_cost(g, path)
        s = rng.randrange(n)
        reach = g.subgraph(nx.descendants(g, s) | {s}).copy()
        sp = wn.bellman_ford(n, edges, s)
        assert sp.negative_cycle == nx.negative_edge_cycle(reach), (edges, s)
        reachable_cycles += sp.negative_cycle
        assert [d < INF for d in sp.dist] == [v in reach for v in range(n)]
        for v in range(n):
            path = sp.path_to(v)
            if path is not None:
                assert path[0] == s and path[-1] == v and len(path) <= n
                walk_cost(g, path)
            elif not sp.negative_cycle:
                assert v not in reach
    assert min(seen.values()) > 30 and reachable_cycles > 15
