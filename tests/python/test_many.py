"""Reusable graphs and grids: every result equals the one-shot function's on the same input."""

import math
import multiprocessing
import pickle
import random
import subprocess
import sys
from concurrent.futures import ProcessPoolExecutor

import pytest
import wayloom_native as wn
from conftest import ALGORITHM_LIST
from wayloom import Graph, Grid, WordLadder, path_from

ALGOS = [
    "bfs",
    "dfs",
    "ucs",
    "dijkstra",
    "greedy",
    "astar",
    "weighted_astar",
    "beam",
    "bidirectional",
    ("iddfs", {}),
    ("dls", {"depth_limit": 3}),
    ("ida_star", {}),
]
MAZE = wn.sample_maze("open")
BIDI, NAN = "bidirectional_dijkstra", float("nan")
FIELDS = [
    "path",
    "cost",
    "found",
    "nodes_expanded",
    "nodes_generated",
    "nodes_reopened",
    "max_frontier_size",
    "stop_reason",
    "trace",
    "tree",
]


def same(a, b):
    assert type(a) is type(b) is wn.SearchResult
    assert [getattr(a, f) for f in FIELDS] == [getattr(b, f) for f in FIELDS]


def random_edges(n, m, seed):
    rng = random.Random(seed)
    return [(rng.randrange(n), rng.randrange(n), float(rng.randint(1, 9))) for _ in range(m)]


@pytest.mark.parametrize("undirected", [True, False])
@pytest.mark.parametrize("seed", range(3))
def test_graph_search_equals_search_graph(undirected, seed):
    edges = random_edges(30, 70, seed)
    g = Graph(30, edges, undirected=undirected)
    assert (g.num_nodes, g.num_edges, g.undirected) == (30, 70, undirected)
    for algo in ALGOS:
        name, extra = algo if isinstance(algo, tuple) else (algo, {"max_nodes": 25})
        for s, t in [(0, 29), (3, 3), (7, 12)]:
            same(
                g.search(s, t, algorithm=name, **extra),
                wn.search_graph(30, edges, s, t, algorithm=name, undirected=undirected, **extra),
            )
    h = lambda u, v: abs(u - v) * 0.1  # noqa: E731
    same(
        g.search(1, 20, algorithm="astar", heuristic=h, reopen=True),
        wn.search_graph(
            30, edges, 1, 20, algorithm="astar", heuristic=h, reopen=True, undirected=undirected
        ),
    )
    assert (
        g.search_many([(0, 29), (7, 12)], algorithm="astar", heuristic=h)[1].path
        == g.search(7, 12, algorithm="astar", heuristic=h).path
    )


def test_coordinate_heuristics_equal_callables():
    rng = random.Random(9)
    xy = [(rng.uniform(0, 10), rng.uniform(0, 10)) for _ in range(30)]
    edges = [(a, b, math.dist(xy[a], xy[b]) * 1.5) for a, b, _ in random_edges(30, 80, 9)]
    g = pickle.loads(pickle.dumps(Graph(30, edges, coordinates=xy)))
    named = {
        "euclidean": lambda u, t: math.hypot(xy[u][0] - xy[t][0], xy[u][1] - xy[t][1]),
        "manhattan": lambda u, t: abs(xy[u][0] - xy[t][0]) + abs(xy[u][1] - xy[t][1]),
    }
    for name, h in named.items():
        for algo in ["astar", "greedy", "ida_star"]:
            same(
                g.search(0, 29, algorithm=algo, heuristic=name),
                wn.search_graph(30, edges, 0, 29, algorithm=algo, heuristic=h),
            )
    with pytest.raises(ValueError, match="one \\(x, y\\) per node: 2 for 30 nodes"):
        Graph(30, edges, coordinates=xy[:2])
    with pytest.raises(ValueError, match="unknown graph heuristic: 'euclidean'"):
        Graph(30, edges).search(0, 1, heuristic="euclidean")


def test_word_ladder_equals_search_wordladder():
    words = ["cold", "cord", "card", "ward", "warm", "Worm", "word", "wore", "core"]
    ladder = pickle.loads(pickle.dumps(WordLadder(words)))
    assert ladder.num_words == 9
    for start, goal, algo in [
        ("cold", "warm", "astar"),
        ("COLD", "worm", "bfs"),
        ("bold", "ward", "astar"),
        ("cold", "zzzz", "bidirectional"),
    ]:
        same(
            ladder.search(start, goal, algorithm=algo),
            wn.search_wordladder(start, goal, words, algorithm=algo),
        )
    batch = ladder.search_many([("cold", "warm"), ("bold", "wore")])
    assert [r.path for r in batch] == [
        wn.search_wordladder(*p, words).path for p in [("cold", "warm"), ("bold", "wore")]
    ]
    with pytest.raises(ValueError, match="start and goal must have the same length"):
        ladder.search("cold", "warmer")


def test_grid_search_equals_one_shot():
    text, start, goal = wn.sample_maze("wall"), (0, 0), (4, 8)
    for diagonal in (False, True):
        grid = Grid(text, diagonal=diagonal)
        ref = wn.search_grid(text, diagonal=diagonal, heuristic="octile" if diagonal else None)
        same(grid.search(start, goal), ref)  # the default is admissible: octile when 8-connected
        rows = [[0.0 if ch == "#" else 1.0 for ch in line] for line in text.splitlines()]
        costs = Grid.from_costs(rows, diagonal=diagonal)
        for algo in ["bfs", "astar", "greedy", "bidirectional"]:
            same(
                costs.search(start, goal, algorithm=algo, heuristic="octile"),
                wn.search_grid_costs(
                    rows, start, goal, algorithm=algo, heuristic="octile", diagonal=diagonal
                ),
            )
    # S and G are optional; a stand-in never changes a cell's terrain.
    bare = Grid("#3\n..")
    assert bare.search((1, 0), (0, 1)).path == [(1, 0), (1, 1), (0, 1)]
    assert bare.search((1, 0), (0, 1)).cost == 4
    assert (bare.height, bare.width, bare.diagonal) == (2, 2, False)


@pytest.mark.parametrize(
    "call, exc, text",
    [
        (lambda g: g.search(0, 9), ValueError, "start and goal must be < num_nodes"),
        (lambda g: g.search(0, 1, algorithm="nope"), ValueError, "unknown algorithm: 'nope'"),
        (lambda g: g.search(0, 1, heuristic="euclid"), ValueError, "unknown graph heuristic"),
        (lambda g: g.search(-1, 1), OverflowError, "argument 'start'"),
        (lambda g: g.search(0, 1, algorithm="dls"), ValueError, "depth_limit"),
        (lambda g: g.search_many([(0, 1, 2)]), ValueError, "each pair must be (start, goal)"),
        (lambda g: g.search_many([(0, 9)]), ValueError, "start and goal must be < num_nodes"),
        (lambda g: g.search_many([(0, 1)], workers=0), ValueError, "workers must be"),
        (lambda g: Graph(2, [(0, 5, 1.0)]), ValueError, "edge (0, 5) is out of range for a 2-node"),
        (lambda g: Graph(2, [(0, 1, 1.0, 4)]), ValueError, "expected tuple of length 3"),
        (lambda g: Graph(2, "01"), TypeError, "argument 'edges': expected a sequence, got str"),
        (lambda g: Graph(2, [[0, 1]]), TypeError, "expected tuple, got list"),
        (lambda g: Graph.from_arrays([0, 1], [1]), ValueError, "same length"),
        (lambda g: Grid("S#\n#G").search((0, 0), (0, 1)), ValueError, "non-wall cells"),
        (lambda g: Grid.from_costs([]), ValueError, "costs must be a non-empty matrix"),
        (lambda g: Grid.from_costs([[]]), ValueError, "costs must be a non-empty matrix"),
        (lambda g: Grid("\r\n\n"), ValueError, "map must have at least one row of cells"),
        (lambda g: Grid("..").distances((0, 5)), ValueError, "source must be"),
        (
            lambda g: Graph(2, [(0, 1, 2.0), (1, 0, NAN)]),
            ValueError,
            "edge (0, 1) has a NaN weight",
        ),
        (lambda g: Graph.from_arrays([0], [1], [NAN], undirected=False), ValueError, "(0, 1)"),
        (lambda g: g.search(0, 2, algorithm=BIDI), ValueError, f"'{BIDI}' needs arc weights >= 0"),
        (
            lambda g: g.search(0, 1, algorithm="x"),
            ValueError,
            f"ida_star, beam, bidirectional, {BIDI}",
        ),  # fmt: skip
        (
            lambda g: wn.search_graph(2, [], 0, 1, BIDI),
            ValueError,
            f"{BIDI}'. Available: {ALGORITHM_LIST}",
        ),  # fmt: skip
        (lambda g: path_from([[0]], 0), ValueError, "one row of node ids"),
        (lambda g: path_from([1, 0], 0), ValueError, "the predecessors loop"),
        (lambda g: path_from([-1.0], 0), TypeError, "integer array, got dtype float64"),
        (lambda g: path_from([-1], 3), ValueError, "target 3 is out of range for 1 nodes"),
        (lambda g: path_from([[[-1, -1]]], (0, 2)), ValueError, "cell (0, 2) is outside the 1x1"),
    ],
)
def test_bad_input(call, exc, text):
    g = Graph(3, [(0, 1, 1.0), (1, 2, -1.0)])
    with pytest.raises(exc, match=text.replace("(", r"\(").replace(")", r"\)")):
        call(g)
    with pytest.raises(ValueError, match="non-negative arc weights"):
        g.distances(0)


def test_objects_are_immutable_and_pickle():
    edges = random_edges(20, 40, 1)
    g = Graph(20, edges, undirected=False)
    with pytest.raises(AttributeError):
        g.extra = 1  # type: ignore[attr-defined]
    with pytest.raises(AttributeError):
        g.num_nodes = 3  # type: ignore[misc]
    for obj, query in [(g, (0, 19)), (Grid(wn.sample_maze("wall"), True), ((0, 0), (4, 8)))]:
        back = pickle.loads(pickle.dumps(obj))
        assert type(back) is type(obj) and repr(back) == repr(obj)
        same(back.search(*query), obj.search(*query))
    r = wn.search_grid(wn.sample_maze("open"))
    back = pickle.loads(pickle.dumps(r))
    same(back, r)
    assert repr(back) == repr(r)


np = pytest.importorskip("numpy")


def test_array_input_equals_tuples():
    edges = random_edges(25, 60, 2)
    ref = Graph(25, edges)
    arr = np.array(edges)  # float (m, 3), as np.array(edge_list) makes it
    u, v, w = arr[:, 0].astype(np.int32), arr[:, 1].astype(np.uint64), arr[:, 2]
    unit = Graph(25, [e[:2] for e in edges])
    for g, oracle in [
        (Graph(25, arr), ref),
        (Graph(25, arr[:, :2].astype(np.int64)), unit),
        (Graph.from_arrays(u, v, w), ref),
        (Graph.from_arrays(u, v), unit),
        (Graph(25, np.asfortranarray(arr)), ref),
    ]:
        same(g.search(0, 24, algorithm="ucs"), oracle.search(0, 24, algorithm="ucs"))
    for bad, exc in [
        (np.zeros((3, 4)), ValueError),
        (np.array([[0, 1.5, 1.0]]), ValueError),
        (np.array([[0, -1]]), ValueError),
        (np.array(["a", "b"]), TypeError),
    ]:
        with pytest.raises(exc, match="argument 'edges'"):
            Graph(4, bad)
    costs = np.array([[1, 2, 0], [1, 1, 1]], dtype=np.int16)
    same(
        Grid.from_costs(costs).search((0, 0), (1, 2)),
        wn.search_grid_costs(costs.tolist(), (0, 0), (1, 2)),
    )


@pytest.mark.parametrize(
    "n, m, undirected",
    # large enough for the blocked placement; the last crowds into one block
    [(100_000, 150_000, True), (70_000, 300_000, False), (5_000, 300_000, True)],
)
def test_large_builds_keep_arc_order(n, m, undirected):
    rng = np.random.default_rng(n)
    u, v, w = rng.integers(0, n, m), rng.integers(0, n, m), rng.uniform(0, 5, m)
    _, (_, _, offsets, targets, weights, _) = Graph.from_arrays(u, v, w, n, undirected).__reduce__()
    src, dst, wt = (np.concatenate([a, b]) for a, b in [(u, v), (v, u), (w, w)])
    order = np.concatenate([2 * np.arange(m), 2 * np.arange(m) + 1])  # reverse arc right after
    if not undirected:
        src, dst, wt, order = src[:m], dst[:m], wt[:m], order[:m]
    by_source = np.lexsort((order, src))
    assert np.array_equal(np.frombuffer(targets, np.uint64), dst[by_source])
    assert np.array_equal(np.frombuffer(weights, np.float64), wt[by_source])
    assert np.array_equal(
        np.frombuffer(offsets, np.uint64)[1:], np.cumsum(np.bincount(src, minlength=n))
    )


def test_distances_equal_scipy():
    sp = pytest.importorskip("scipy.sparse")
    csgraph = pytest.importorskip("scipy.sparse.csgraph")
    edges = random_edges(40, 90, 3)
    g = Graph(40, edges, undirected=False)
    lightest = {}
    for a, b, w in edges:  # the matrix keeps one arc per pair: the lightest
        lightest[a, b] = min(w, lightest.get((a, b), np.inf))
    keys = list(lightest)
    m = sp.csr_matrix(
        ([lightest[k] for k in keys], ([k[0] for k in keys], [k[1] for k in keys])), shape=(40, 40)
    )
    for kw in [{}, {"limit": 6.0}]:
        d, p = g.distances([0, 5], return_predecessors=True, **kw)
        ref = csgraph.dijkstra(m, directed=True, indices=[0, 5], **kw)
        assert np.array_equal(d, ref)
        for row, src in enumerate([0, 5]):
            for v in np.flatnonzero(p[row] >= 0):
                assert d[row, p[row, v]] + m[p[row, v], v] == d[row, v]
            assert p[row, src] == -1 and all(p[row][np.isinf(d[row])] == -1)
    assert np.array_equal(Graph.from_scipy(m).distances(0), csgraph.dijkstra(m, indices=0))
    m.data[3] = 0.0  # an explicit zero stays an arc
    rows = [Graph.from_scipy(f).__reduce__()[1][2:5] for f in [m, m.tocoo(), m.astype(np.float32)]]
    assert rows[0] == rows[1] == rows[2] and len(rows[0][1]) == 8 * m.nnz  # as is == via COO
    with pytest.raises(TypeError, match="scipy.sparse"):
        Graph.from_scipy([[0, 1]])
    grid = Grid(wn.sample_maze("wall"), diagonal=True)
    dist = grid.distances((0, 0))
    for cell in [(4, 8), (2, 6), (5, 5)]:
        assert dist[cell] == pytest.approx(grid.search((0, 0), cell, algorithm="dijkstra").cost)
    assert np.isinf(dist[0, 2])


@pytest.mark.parametrize("workers", [None, 2, 3])
def test_search_many_threads_and_processes(workers):
    edges = random_edges(60, 150, 5)
    g = Graph(60, edges)
    pairs = [(s, (s * 7) % 60) for s in range(60)]
    serial = [g.search(s, t, algorithm="dijkstra", record=False) for s, t in pairs]
    for r, ref in zip(g.search_many(pairs, workers=workers, record=False), serial, strict=True):
        same(r, ref)
    if workers == 2:
        # Spawned workers import only what unpickling needs: results must
        # pickle without the companion package imported first.
        with ProcessPoolExecutor(2, mp_context=multiprocessing.get_context("spawn")) as pool:
            spread = g.search_many(pairs, executor=pool, record=False)
            for r, ref in zip(spread, serial, strict=True):
                same(r, ref)
            same(pool.submit(wn.search_grid, MAZE).result(), wn.search_grid(MAZE))


def test_search_many_on_dask_processes():
    distributed = pytest.importorskip("distributed")
    import dask
    from wayloom import _scatter

    g = Graph(60, random_edges(60, 150, 6))
    pairs = [(s, (s * 11) % 60) for s in range(60)]
    serial = g.search_many(pairs, record=False)
    with (
        # A graph pickled into the tasks would now warn (an error here).
        dask.config.set({"distributed.admin.large-graph-warning-threshold": "1kB"}),
        distributed.LocalCluster(
            n_workers=2, threads_per_worker=1, processes=True, dashboard_address=":0"
        ) as cluster,
        distributed.Client(cluster) as client,
    ):
        for _ in range(2):
            spread = g.search_many(pairs, executor=client.get_executor(), record=False)
            for r, ref in zip(spread, serial, strict=True):
                same(r, ref)
        assert len(_scatter._sent[g]) == 1  # sent once, reused by the second call
        same(client.submit(wn.search_grid, MAZE).result(), wn.search_grid(MAZE))


def test_cli_graph_reads_matrix_files(tmp_path):
    sp = pytest.importorskip("scipy.sparse")
    sio = pytest.importorskip("scipy.io")
    m = sp.csr_matrix(([1.0, 2.0, 7.0], ([0, 1, 0], [1, 2, 2])), shape=(3, 3))
    sp.save_npz(tmp_path / "g.npz", m)
    sio.mmwrite(tmp_path / "g.mtx", m)
    for name in ["g.npz", "g.mtx"]:
        out = subprocess.run(
            [
                sys.executable,
                "-m",
                "wayloom",
                "graph",
                str(tmp_path / name),
                "0",
                "2",
                "--directed",
                "--algorithms",
                "dijkstra",
                "--markdown",
            ],
            capture_output=True,
            text=True,
            timeout=120,
        )
        assert out.returncode == 0, out.stderr
        assert "| 3 " in out.stdout  # cost 1 + 2, not the direct 7
