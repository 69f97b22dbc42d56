"""Bellman-Ford and Floyd-Warshall against scipy.sparse.csgraph and networkx.

    PYTHONPATH=<build dir>:python python bench/paths.py [--quick] [--reps N] [--nx-pure]

Floyd-Warshall: dense random digraphs (n = 500 and 1000, every ordered pair an
arc with probability 1/2). Bellman-Ford: a sparse random digraph of 100,000
nodes and 400,000 arcs. Both use weights shifted by node potentials,
w(u, v) = base + p(u) - p(v), so about a third of the arcs are negative while
every cycle keeps its positive base cost (no negative cycle). Every library
gets the same instance; the run checks that all report the same distances.

wayloom is timed end to end (converting the Python edge list included); the
peers get prebuilt structures (a dense array for scipy's Floyd-Warshall, a CSR
matrix for its Bellman-Ford and Johnson, a DiGraph for networkx) and are timed
on the algorithm alone. Medians of the repetitions, min and max beside them.
"""

from __future__ import annotations

import argparse
import statistics

import numpy as np
import wayloom_native as wn
from run import timed  # bench/ is on sys.path when this runs as a script

SEED = 20240611


def show(label: str, times: list[float]) -> float:
    med = statistics.median(times)
    print(
        f"   {label:<50}{med * 1e3:10.1f} ms  (min {min(times) * 1e3:.1f}, "
        f"max {max(times) * 1e3:.1f}, n={len(times)})"
    )
    return med


def ratio(label: str, mine: float, theirs: float) -> None:
    print(f"   {label:<50}{theirs / mine:10.2f}x")


def nx_digraph(nx, n: int, edges):
    g = nx.DiGraph()
    g.add_nodes_from(range(n))
    g.add_weighted_edges_from(edges)
    return g


def optional(name: str):
    try:
        return __import__(name)
    except ImportError:
        print(f"   note: {name} not importable; its rows are skipped")
        return None


def potential_arcs(rng, n: int, u: np.ndarray, v: np.ndarray):
    """Weights base + p(u) - p(v): negative arcs, no negative cycle, never 0."""
    p = rng.uniform(0.0, 250.0, n)
    w = rng.uniform(1.0, 100.0, len(u)) + p[u] - p[v]
    w[w == 0.0] = 0.5  # a dense matrix would read an exact 0 as "no arc"
    return w


def dense_instance(n: int, seed: int):
    rng = np.random.default_rng(seed)
    mask = rng.random((n, n)) < 0.5
    np.fill_diagonal(mask, False)
    u, v = np.nonzero(mask)
    w = potential_arcs(rng, n, u, v)
    return u, v, w


def sparse_instance(n: int, m: int, seed: int):
    rng = np.random.default_rng(seed)
    # Distinct ordered pairs without self-loops, so every library sees the same arcs.
    keys = np.unique(rng.integers(0, n * n, int(m * 1.05)))
    rng.shuffle(keys)
    u, v = keys // n, keys % n
    keep = u != v
    u, v = u[keep][:m], v[keep][:m]
    return u, v, potential_arcs(rng, n, u, v)


def edge_list(u, v, w):
    return list(zip(u.tolist(), v.tolist(), w.tolist()))


def same(a: np.ndarray, b: np.ndarray) -> bool:
    return bool(
        np.allclose(a, b, rtol=1e-9, atol=1e-7, equal_nan=False)
        and np.array_equal(np.isinf(a), np.isinf(b))
    )


def floyd_warshall_section(n: int, reps: int, nx_pure: bool) -> None:
    u, v, w = dense_instance(n, SEED + n)
    edges = edge_list(u, v, w)
    print(f"\n== Floyd-Warshall, n = {n}: {len(edges):,} arcs, {(w < 0).mean():.0%} negative")
    med = {}
    t, ap = timed(lambda: wn.floyd_warshall(n, edges), reps)
    med["wl"] = show("wayloom floyd_warshall (edge list in)", t)
    t, rows = timed(ap.matrix, reps)
    show("  then .matrix() (n x n floats to Python)", t)
    assert not ap.negative_cycle
    ours = np.array(rows)

    scipy = optional("scipy")
    if scipy:
        from scipy.sparse import csgraph

        dense = np.zeros((n, n))
        dense[u, v] = w
        t, theirs = timed(lambda: csgraph.floyd_warshall(dense, directed=True), reps)
        med["scipy"] = show("scipy csgraph.floyd_warshall (dense array in)", t)
        assert same(ours, theirs), "scipy disagrees"

    nx = optional("networkx")
    if nx:
        g = nx_digraph(nx, n, edges)
        t, theirs = timed(lambda: nx.floyd_warshall_numpy(g, nodelist=range(n)), max(1, reps // 2))
        med["nx_numpy"] = show("networkx floyd_warshall_numpy (DiGraph in)", t)
        assert same(ours, theirs), "networkx disagrees"
        if nx_pure:
            t, d = timed(lambda: nx.floyd_warshall(g), 1, warmup=0)
            med["nx_pure"] = show("networkx floyd_warshall (pure Python)", t)
            assert same(ours, np.array([[d[i][j] for j in range(n)] for i in range(n)]))

    for key, label in (
        ("scipy", "scipy"),
        ("nx_numpy", "networkx numpy"),
        ("nx_pure", "networkx pure Python"),
    ):
        if key in med:
            ratio(f"{label} / wayloom", med["wl"], med[key])


def bellman_ford_section(n: int, m: int, reps: int) -> None:
    u, v, w = sparse_instance(n, m, SEED)
    edges = edge_list(u, v, w)
    # The source with the most out-arcs, so that most of the graph is reached.
    source = int(np.bincount(u, minlength=n).argmax())
    isolated = int(np.setdiff1d(np.arange(n), u)[0]) if len(np.unique(u)) < n else None
    print(
        f"\n== Bellman-Ford, n = {n:,}: {len(edges):,} arcs, {(w < 0).mean():.0%} negative, "
        f"source {source}"
    )
    med = {}
    t, sp = timed(lambda: wn.bellman_ford(n, edges, source), reps)
    med["wl"] = show("wayloom bellman_ford (edge list in)", t)
    assert not sp.negative_cycle
    ours = np.array(sp.dist)
    print(f"   reached {np.isfinite(ours).sum():,} nodes")
    if isolated is not None:
        t, _ = timed(lambda: wn.bellman_ford(n, edges, isolated), reps)
        show("  conversion and CSR build (source without arcs)", t)

    scipy = optional("scipy")
    if scipy:
        from scipy.sparse import csgraph, csr_array

        csr = csr_array((w, (u, v)), shape=(n, n))
        # Both run Bellman-Ford over every arc N - 1 times (no early exit): one
        # timed call each, no warm-up, on the large graph.
        slow = {"reps": 1, "warmup": 0} if n > 50_000 else {"reps": max(1, reps // 2)}
        t, theirs = timed(lambda: csgraph.bellman_ford(csr, directed=True, indices=source), **slow)
        med["scipy_bf"] = show("scipy csgraph.bellman_ford (CSR in)", t)
        assert same(ours, theirs), "scipy bellman_ford disagrees"
        t, theirs = timed(lambda: csgraph.johnson(csr, directed=True, indices=source), **slow)
        med["scipy_johnson"] = show("scipy csgraph.johnson (CSR in)", t)
        assert same(ours, theirs), "scipy johnson disagrees"

    nx = optional("networkx")
    if nx:
        g = nx_digraph(nx, n, edges)
        t, d = timed(
            lambda: nx.single_source_bellman_ford_path_length(g, source), max(1, reps // 2)
        )
        med["nx"] = show("networkx single_source_bellman_ford_path_length", t)
        theirs = np.full(n, np.inf)
        theirs[list(d)] = list(d.values())
        assert same(ours, theirs), "networkx disagrees"

    rx = optional("rustworkx")
    if rx:
        g = rx.PyDiGraph()
        g.add_nodes_from(range(n))
        g.add_edges_from(edges)
        t, d = timed(
            lambda: rx.digraph_bellman_ford_shortest_path_lengths(g, source, edge_cost_fn=float),
            max(1, reps // 2),
        )
        med["rx"] = show("rustworkx digraph_bellman_ford_shortest_path_lengths", t)
        theirs = np.full(n, np.inf)
        theirs[source] = 0.0
        for k, val in d.items():
            theirs[k] = val
        assert same(ours, theirs), "rustworkx disagrees"

    for key, label in (
        ("scipy_bf", "scipy bellman_ford"),
        ("scipy_johnson", "scipy johnson"),
        ("nx", "networkx"),
        ("rx", "rustworkx"),
    ):
        if key in med:
            ratio(f"{label} / wayloom", med["wl"], med[key])


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--quick", action="store_true", help="smaller graphs (n = 200/400, 20,000)")
    ap.add_argument("--reps", type=int, default=5, help="repetitions per timing (default 5)")
    ap.add_argument(
        "--nx-pure",
        action="store_true",
        help="also time networkx's pure-Python floyd_warshall on the smallest size",
    )
    args = ap.parse_args()
    sizes = (200, 400) if args.quick else (500, 1000)
    for i, n in enumerate(sizes):
        floyd_warshall_section(
            n, args.reps if n < 1000 else max(1, args.reps // 2 + 1), args.nx_pure and i == 0
        )
    n = 20_000 if args.quick else 100_000
    bellman_ford_section(n, 4 * n, args.reps)


if __name__ == "__main__":
    main()
