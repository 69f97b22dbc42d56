"""wayloom as a networkx backend, checked against networkx itself.

networkx's own suite runs through the backend in scripts/test.sh; here: the
calls reach the engine, results equal networkx's (ties included) on graphs
made to have many equal paths, errors, caching and what is declined.
"""

from __future__ import annotations

import random

import pytest

nx = pytest.importorskip("networkx")
np = pytest.importorskip("numpy")

from wayloom import nx_backend  # noqa: E402
from wayloom.nx_backend import _algorithms  # noqa: E402


@pytest.fixture(autouse=True)
def quiet_cache():
    ignored = set(nx.config.warnings_to_ignore)
    nx.config.warnings_to_ignore.add("cache")
    yield
    nx.config.warnings_to_ignore = ignored


def random_graph(kind, n, m, seed, weights="int"):
    """Small integer weights (many ties), some edges without a weight."""
    rng = random.Random(seed)
    G = kind()
    G.add_nodes_from(f"n{i}" for i in rng.sample(range(n), n))  # labels out of order
    for _ in range(m):
        u, v = f"n{rng.randrange(n)}", f"n{rng.randrange(n)}"
        if rng.random() < 0.1:
            G.add_edge(u, v)
        elif weights == "int":
            G.add_edge(u, v, weight=rng.randint(0, 4))
        else:
            G.add_edge(u, v, weight=rng.choice([0.5, 1.25, 2.0]))
    return G


KINDS = [nx.Graph, nx.DiGraph, nx.MultiGraph, nx.MultiDiGraph]
GRAPHS = [(kind, seed, w) for kind in KINDS for seed in range(3) for w in ("int", "float")]


def both(name, G, *args, **kwargs):
    want = getattr(nx, name)(G, *args, **kwargs)
    got = getattr(nx, name)(G, *args, backend="wayloom", **kwargs)
    if name.startswith("all_pairs"):
        want, got = dict(want), dict(got)
    return want, got


# Functions whose whole result (keys, values, ties) is networkx's: name,
# arguments after G for a source S and a target T.
EXACT = [
    ("single_source_dijkstra", lambda S, T: ((S,), {})),
    ("single_source_dijkstra", lambda S, T: ((S,), {"cutoff": 3})),
    ("single_source_dijkstra_path", lambda S, T: ((S,), {"weight": None})),
    ("dijkstra_path", lambda S, T: ((S, T), {})),
    ("dijkstra_path_length", lambda S, T: ((S, T), {})),
    ("single_source_dijkstra", lambda S, T: ((S, T), {"cutoff": 4})),
    ("multi_source_dijkstra", lambda S, T: (({S, T},), {})),
    ("multi_source_dijkstra_path_length", lambda S, T: (([T, S],), {"cutoff": 2.5})),
    ("dijkstra_predecessor_and_distance", lambda S, T: ((S,), {})),
    ("all_pairs_dijkstra_path", lambda S, T: ((), {})),
    ("single_source_shortest_path", lambda S, T: ((S,), {})),
    ("single_source_shortest_path_length", lambda S, T: ((S,), {"cutoff": 2})),
    ("predecessor", lambda S, T: ((S,), {})),
    ("predecessor", lambda S, T: ((S,), {"cutoff": 1, "return_seen": True})),
    ("astar_path", lambda S, T: ((S, T), {"heuristic": lambda u, v: 0})),
    ("shortest_path", lambda S, T: ((), {"target": T, "weight": "weight"})),
    ("has_path", lambda S, T: ((S, T), {})),
]


@pytest.mark.parametrize(("kind", "seed", "w"), GRAPHS)
def test_results_equal_networkx(kind, seed, w):
    G = random_graph(kind, 30, 70, seed, w)
    nodes = sorted(G)
    for S, T in [(nodes[0], nodes[1]), (nodes[2], nodes[7])]:
        for name, make in EXACT:
            args, kwargs = make(S, T)
            try:
                want, got = both(name, G, *args, **kwargs)
            except nx.NetworkXNoPath:
                with pytest.raises(nx.NetworkXNoPath):
                    getattr(nx, name)(G, *args, backend="wayloom", **kwargs)
                continue
            assert got == want, (name, args, kwargs)
            if name.startswith(("single_source_shortest", "predecessor")):
                assert list(got) == list(want), (name, "key order")


def cost(G, path, weight):
    """A path's cost as networkx's shortest-path functions weigh edges."""
    if weight is None:
        return len(path) - 1
    w = nx.algorithms.shortest_paths.weighted._weight_function(G, weight)
    return sum(w(u, v, G[u][v]) for u, v in zip(path, path[1:]))


@pytest.mark.parametrize(("kind", "seed"), [(k, s) for k in KINDS for s in range(2)])
def test_paths_that_may_differ_are_shortest(kind, seed):
    """Bidirectional searches and Bellman-Ford may pick another of equal paths:
    a real path of the same cost. Their distances are networkx's."""
    G = random_graph(kind, 25, 60, seed)
    tables = {"weight": dict(nx.all_pairs_dijkstra_path_length(G))}
    tables[None] = dict(nx.all_pairs_shortest_path_length(G))
    cases = [
        ("bidirectional_dijkstra", "weight", lambda r: r[1]),
        ("bellman_ford_path", "weight", lambda r: r),
        ("bidirectional_shortest_path", None, lambda r: r),
    ]
    for s in list(G)[:6]:
        for t in G:
            for name, weight, path_of in cases:
                call = lambda: getattr(nx, name)(G, s, t, backend="wayloom")
                if t not in tables[weight][s]:
                    with pytest.raises(nx.NetworkXNoPath):
                        call()
                    continue
                path = path_of(call())
                assert path[0] == s and path[-1] == t and nx.is_path(G, path)
                assert cost(G, path, weight) == tables[weight][s][t], (name, s, t)
        want, got = both("single_source_bellman_ford_path_length", G, s)
        assert got == want
    want, got = both("floyd_warshall", G)
    assert got == want
    want, got = both("floyd_warshall_numpy", G, nodelist=sorted(G))
    assert np.array_equal(got, want)


def test_calls_reach_the_engine(monkeypatch):
    """With wayloom first in networkx's priorities, unchanged calls run here."""
    counts = {}
    for name, func in list(_algorithms.FUNCTIONS.items()):

        def spy(*args, _name=name, _func=func, **kwargs):
            counts[_name] = counts.get(_name, 0) + 1
            return _func(*args, **kwargs)

        monkeypatch.setitem(_algorithms.FUNCTIONS, name, spy)
    monkeypatch.setattr(nx.config.backend_priority, "algos", ["wayloom"])
    G = nx.grid_2d_graph(15, 15)  # big enough for should_run
    nx.set_edge_attributes(G, 2, "weight")
    calls = {
        "dijkstra_path": lambda: nx.dijkstra_path(G, (0, 0), (14, 14)),
        "single_source_dijkstra_path_length": lambda: nx.single_source_dijkstra_path_length(
            G, (0, 0)
        ),
        "astar_path_length": lambda: nx.astar_path_length(G, (0, 0), (3, 3)),
        "shortest_path": lambda: nx.shortest_path(G, (0, 0)),
        "bidirectional_dijkstra": lambda: nx.bidirectional_dijkstra(
            G, (0, 0), (3, 3), backend="wayloom"
        ),
        "negative_edge_cycle": lambda: nx.negative_edge_cycle(G),
    }
    for name, call in calls.items():
        call()
        assert counts == {name: 1}, name
        counts.clear()
    # one conversion, kept in networkx's cache of converted graphs
    assert len(G.__networkx_cache__["backends"]["wayloom"]) == 1
    small = nx.path_graph(5)
    assert nx.dijkstra_path(small, 0, 4) == [0, 1, 2, 3, 4]
    assert counts == {}  # left to networkx: too small to gain


def test_weights_and_containers():
    M = nx.MultiDiGraph()
    M.add_edge("a", "b", weight=5)
    M.add_edge("a", "b", weight=2)  # parallel edges count by their smallest weight
    M.add_edge("b", "c")  # missing weight: 1
    assert nx.single_source_dijkstra(M, "a", backend="wayloom") == (
        {"a": 0, "b": 2, "c": 3},
        {"a": ["a"], "b": ["a", "b"], "c": ["a", "b", "c"]},
    )
    got = nx.dijkstra_path_length(M, "a", "c", backend="wayloom")
    assert got == 3 and type(got) is int  # sums of ints stay ints
    hide = lambda u, v, d: None if v == "b" else 1  # a weight callable may hide edges
    assert nx.has_path(M, "a", "b")
    with pytest.raises(nx.NetworkXNoPath):
        nx.dijkstra_path(M, "a", "c", weight=hide, backend="wayloom")
    fw = nx.floyd_warshall(M, backend="wayloom")
    assert fw["c"]["a"] == float("inf")  # the same defaultdicts
    view = nx.subgraph_view(M, filter_edge=lambda u, v, k: k == 0)  # drops a->b of weight 2
    assert nx.dijkstra_path_length(view, "a", "c", backend="wayloom") == 6
    # neighbours only equal to their node's key (another str object, 1.0 for 1)
    G = nx.Graph()
    G.add_nodes_from(["ab", 1, "c"])
    G.add_edge("".join("ab"), 1.0, weight=2)
    G.add_edge(True, "c")
    assert nx.single_source_dijkstra(G, "ab", backend="wayloom") == nx.single_source_dijkstra(
        G, "ab"
    )


# The engine reads plain ints and floats in one pass; every other kind of
# weight takes the general reader. Both must read what networkx reads.
@pytest.mark.parametrize("kind", [nx.Graph, nx.DiGraph])
@pytest.mark.parametrize("value", [3, 2.5, None, True, np.int64(4), np.float32(1.5), -1, 2**40])
def test_weight_kinds_read_as_networkx_reads_them(kind, value):
    G = kind()
    G.add_weighted_edges_from([("a", "b", value), ("b", "c", 1), ("a", "d", 7), ("d", "c", 2)])
    G.add_edge("c", "e")  # no weight: 1
    negative = value == -1
    name = "single_source_bellman_ford_path_length" if negative else "dijkstra_path_length"
    args = ("a",) if negative else ("a", "e")

    def outcome(backend):
        try:  # an undirected negative edge is a negative cycle
            got = getattr(nx, name)(G, *args, backend=backend)
        except nx.NetworkXUnbounded as e:
            return type(e), None
        cost = got["e"] if negative else got
        return got, type(cost)

    (want, want_type), (got, got_type) = outcome(None), outcome("wayloom")
    assert got == want
    if not isinstance(value, np.generic):  # numpy sums come back as plain numbers
        assert got_type is want_type


ERRORS = [
    ("dijkstra_path", ("x", "a"), nx.NodeNotFound, "Node x not found in graph"),
    ("dijkstra_path", ("a", "zz"), nx.NetworkXNoPath, "No path to zz."),
    ("dijkstra_path_length", ("c", "a"), nx.NetworkXNoPath, "Node a not reachable from c"),
    ("bidirectional_dijkstra", ("a", "x"), nx.NodeNotFound, "Target x is not in G"),
    ("bidirectional_dijkstra", ("c", "a"), nx.NetworkXNoPath, "No path between c and a."),
    ("multi_source_dijkstra_path", ([],), ValueError, "sources must not be empty"),
    ("astar_path_length", ("a", "x"), nx.NodeNotFound, "Either source a or target x"),
    ("single_source_shortest_path_length", ("x",), nx.NodeNotFound, "Source x is not in G"),
    ("bellman_ford_path_length", ("c", "a"), nx.NetworkXNoPath, "node a not reachable from c"),
    ("shortest_path", ("a", "c"), ValueError, "method not supported: SPAM"),
    ("floyd_warshall_numpy", (["a"],), nx.NetworkXError, "nodelist must contain every node"),
]


@pytest.mark.parametrize(("name", "args", "error", "text"), ERRORS)
def test_errors_are_networkx_errors(name, args, error, text):
    G = nx.DiGraph([("a", "b", {"weight": 1}), ("b", "c", {"weight": 2})])
    G.add_node("zz")
    kwargs = {"method": "SPAM", "weight": "weight"} if "SPAM" in text else {}
    with pytest.raises(error, match=text):
        getattr(nx, name)(G, *args, backend="wayloom", **kwargs)


def test_negative_weights_as_networkx_reports_them():
    G = nx.DiGraph([(0, 1, {"weight": 4}), (0, 2, {"weight": 1}), (1, 2, {"weight": -5})])
    for name in ("single_source_dijkstra_path_length", "single_source_dijkstra"):
        with pytest.raises(ValueError, match="negative weights"):
            getattr(nx, name)(G, 0, backend="wayloom")
    # no contradiction met: networkx answers, so does the backend
    assert nx.single_source_dijkstra_path_length(G, 1, backend="wayloom") == {1: 0, 2: -5}
    assert nx.negative_edge_cycle(G, backend="wayloom") is False
    G.add_edge(2, 0, weight=0)  # 4 - 5 + 0 < 0
    assert nx.negative_edge_cycle(G, backend="wayloom") is True
    with pytest.raises(nx.NetworkXUnbounded, match="Negative cycle detected."):
        nx.bellman_ford_path(G, 0, 2, backend="wayloom")
    # declined, so networkx answers where priorities allow a fallback
    with pytest.raises(NotImplementedError):
        nx.bidirectional_dijkstra(G, 0, 2, backend="wayloom")


def test_declined_calls_and_info():
    G = nx.path_graph(4)
    iface = nx_backend.backend_interface
    assert iface.can_run("astar_path", (G, 0, 3), {"cutoff": 2}) == (
        "A* with a cutoff is left to networkx"
    )
    assert iface.can_run("pagerank", (G,), {}) is False
    assert "small" in iface.should_run("dijkstra_path", (G, 0, 3), {})
    cfg = nx.config.backends.wayloom
    cfg.small_graph, before = 3, cfg.small_graph
    try:
        assert iface.should_run("dijkstra_path", (G, 0, 3), {}) is True
    finally:
        cfg.small_graph = before

    class Uncounted(nx.Graph):  # counting edges walks every node: not for a large graph
        def size(self, weight=None):
            raise AssertionError("edges counted")

    big = nx.path_graph(300, create_using=Uncounted)
    assert iface.should_run("dijkstra_path", (big, 0, 3), {}) is True
    assert "callable" in iface.should_run("dijkstra_path", (big, 0, 3), {"weight": len})
    # one pair: networkx's bidirectional searches win over a search from one end
    for name, args in [("has_path", (big, 0, 3)), ("shortest_path", (big, 0, 3))]:
        assert "bidirectional" in iface.should_run(name, args, {})
    assert iface.should_run("shortest_path", (big, 0), {}) is True
    info = nx_backend.get_info()
    assert set(info["functions"]) == set(_algorithms.FUNCTIONS)
    assert nx.utils.backends.backend_info["wayloom"]["backend_name"] == "wayloom"
