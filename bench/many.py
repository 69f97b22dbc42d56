"""Build once, query many times: reusable graphs and grids against the peers.

    PYTHONPATH=<build dir>:python python bench/many.py [--quick] [--reps 3]

Prints medians over `--reps` runs (the machine is shared) and ratios:
building a graph from numpy arrays against `search_graph` converting the same
arcs as tuples and against `scipy.sparse.csr_matrix`; one Dijkstra query on the
built graph against scipy.csgraph and rustworkx on their own prebuilt
structures; one-to-all `distances` against `scipy.sparse.csgraph.dijkstra`;
`search_many` on two threads against one; bidirectional Dijkstra against
Dijkstra, and a one-hop query from both ends before and after the reversed
graph is kept; and the MovingAI grid scenarios
(`$WAYLOOM_BENCH_DATA/grid`, default ../shared/data/grid beside the repository) through `Grid`,
checking every optimal length, against `search_grid` per query and networkx
`astar_path` on a prebuilt grid graph (samples).
"""

from __future__ import annotations

import argparse
import math
import os
import statistics
import time
from collections.abc import Callable
from pathlib import Path
from typing import Any

import numpy as np
import wayloom
import wayloom_native as wn


def median_time(fn: Callable[[], Any], reps: int) -> float:
    times = []
    for _ in range(reps):
        t = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t)
    return statistics.median(times)


def row(label: str, seconds: float, base: float | None = None) -> None:
    ratio = f"  {base / seconds:6.2f}x" if base else ""
    print(f"  {label:<48} {seconds * 1e3:10.2f} ms{ratio}")


def graph_section(n: int, m: int, reps: int) -> None:
    rng = np.random.default_rng(7)
    u = rng.integers(0, n, m, dtype=np.int64)
    v = rng.integers(0, n, m, dtype=np.int64)
    w = rng.uniform(1.0, 10.0, m)
    print(f"graph: {n:,} nodes, {m:,} arcs (directed)")
    t_arrays = median_time(
        lambda: wayloom.Graph.from_arrays(u, v, w, num_nodes=n, undirected=False), reps
    )
    edges = list(zip(u.tolist(), v.tolist(), w.tolist(), strict=True))
    t_tuples = median_time(
        lambda: wn.search_graph(n, edges, 0, 0, "dijkstra", undirected=False, record=False), reps
    )
    row("search_graph converting tuples (base)", t_tuples)
    row("Graph.from_arrays", t_arrays, t_tuples)
    row(
        "Graph(n, tuples)",
        median_time(lambda: wayloom.Graph(n, edges, undirected=False), reps),
        t_tuples,
    )
    try:
        import scipy.sparse as sp
        from scipy.sparse import csgraph
    except ImportError:
        sp = csgraph = None
        print("  scipy not installed: skipped")
    if sp is not None:
        row(
            "scipy csr_matrix((w, (u, v)))",
            median_time(lambda: sp.csr_matrix((w, (u, v)), shape=(n, n)), reps),
            t_tuples,
        )
    g = wayloom.Graph.from_arrays(u, v, w, num_nodes=n, undirected=False)
    print(
        f"  memory of the built graph: {(16 * g.num_arcs + 8 * (n + 1)) / 1e6:.0f} MB "
        "(16 bytes per stored arc, 8 per node)"
    )
    # Single-pair queries between random nodes, each timed end to end; scipy
    # has no early exit, so its one-source call is what a user would run.
    pairs = [(int(a), int(b)) for a, b in rng.integers(0, n, (5, 2))]
    t_query = sum(
        median_time(lambda: g.search(s, t, algorithm="dijkstra", record=False), reps)
        for s, t in pairs
    )
    print(f"{len(pairs)} single-pair Dijkstra queries between random nodes (summed medians)")
    row("Graph.search, end to end (base)", t_query)
    row(
        "  of which elapsed",
        sum(g.search(s, t, algorithm="dijkstra", record=False).elapsed for s, t in pairs),
    )
    mat = None
    if sp is not None:
        mat = sp.csr_matrix((w, (u, v)), shape=(n, n))
        t_sp = sum(median_time(lambda: csgraph.dijkstra(mat, indices=s), reps) for s, _ in pairs)
        row("scipy csgraph.dijkstra(indices=s)", t_sp, t_query)
    try:
        import rustworkx as rx

        rg = rx.PyDiGraph(multigraph=True)
        rg.add_nodes_from(range(n))
        rg.add_edges_from(edges)
        t_rx = sum(
            median_time(lambda: rx.dijkstra_shortest_paths(rg, s, t, lambda x: x), reps)
            for s, t in pairs
        )
        row("rustworkx dijkstra_shortest_paths(s, t)", t_rx, t_query)
    except ImportError:
        print("  rustworkx not installed: skipped")
    d0 = g.distances(0)
    far = int(np.argmax(np.where(np.isfinite(d0), d0, -1)))
    t_sp0 = median_time(lambda: csgraph.dijkstra(mat, indices=0), reps) if mat is not None else 0
    for title, label, fn in [
        (
            f"the worst single pair: 0 -> {far}, the farthest node (the whole graph is searched)",
            "Graph.search, end to end (base)",
            lambda: g.search(0, far, algorithm="dijkstra", record=False),
        ),
        ("one to all", "Graph.distances(0) (base)", lambda: g.distances(0)),
    ]:
        print(title)
        base = median_time(fn, reps)
        row(label, base)
        if mat is not None:
            row("scipy csgraph.dijkstra(indices=0)", t_sp0, base)
    batch = [(int(a), int(b)) for a, b in rng.integers(0, n, (16, 2))]
    many_section("graph, 16 Dijkstra queries", g, batch, reps, algorithm="dijkstra")
    bidirectional_section(u, v, w, n, pairs, reps)


def bidirectional_section(u: Any, v: Any, w: Any, n: int, pairs: list[Any], reps: int) -> None:
    """Searches from both ends on the directed graph: the reversed graph is built
    by the first query that needs it and kept, so a one-hop query costs its
    search alone afterwards."""
    g = wayloom.Graph.from_arrays(u, v, w, num_nodes=n, undirected=False)
    hop = (int(u[0]), int(v[0]))
    t = time.perf_counter()
    g.search(*hop, algorithm="bidirectional", record=False)
    first = time.perf_counter() - t
    print(f"one-hop query {hop[0]} -> {hop[1]}, searched from both ends")
    row("first query, builds the reversed graph (base)", first)
    for algo in ["bidirectional", "bidirectional_dijkstra"]:
        later = median_time(lambda: g.search(*hop, algorithm=algo, record=False), max(reps, 20))
        row(f"later queries, {algo}", later, first)
    print(f"{len(pairs)} random pairs, exact (summed medians)")
    base = sum(
        median_time(lambda: g.search(s, t, algorithm="dijkstra", record=False), reps)
        for s, t in pairs
    )
    row("Graph.search dijkstra (base)", base)
    both = 0.0
    for s, t in pairs:
        a = g.search(s, t, algorithm="dijkstra", record=False)
        b = g.search(s, t, algorithm="bidirectional_dijkstra", record=False)
        assert math.isclose(a.cost, b.cost) or a.cost == b.cost == math.inf, (s, t)
        both += median_time(
            lambda: g.search(s, t, algorithm="bidirectional_dijkstra", record=False), reps
        )
    row("Graph.search bidirectional_dijkstra", both, base)


def many_section(label: str, obj: Any, pairs: list[Any], reps: int, **options: Any) -> None:
    serial = obj.search_many(pairs, record=False, **options)
    threaded = obj.search_many(pairs, workers=2, record=False, **options)
    assert [r.path for r in serial] == [r.path for r in threaded]
    t1 = median_time(lambda: obj.search_many(pairs, record=False, **options), reps)
    t2 = median_time(lambda: obj.search_many(pairs, workers=2, record=False, **options), reps)
    print(f"search_many, {label}")
    row("serial (base)", t1)
    row("workers=2", t2, t1)


def read_map(path: Path) -> str:
    lines = path.read_text().splitlines()
    body = lines[lines.index("map") + 1 :]
    return "\n".join("".join("." if ch in ".G S" else "#" for ch in line) for line in body)


def movingai_section(data: Path, reps: int, quick: bool) -> None:
    if not data.is_dir():
        print(f"MovingAI maps: {data} absent, skipped")
        return
    total, worst, t_grid, t_two, count = 0, 0.0, 0.0, 0.0, 0
    sample_native = sample_grid = sample_nx = 0.0
    n_native = n_nx = 0
    arena_qps = 0.0
    for scen in sorted(data.glob("*.map.scen")):
        text = read_map(data / scen.name.removesuffix(".scen"))
        grid = wayloom.Grid(text, diagonal=True)
        rows = [line.split("\t") for line in scen.read_text().splitlines()[1:] if line]
        if quick:
            rows = rows[::20]
        pairs = [((int(r[5]), int(r[4])), (int(r[7]), int(r[6]))) for r in rows]
        t = time.perf_counter()
        results = grid.search_many(pairs, algorithm="astar", heuristic="octile", record=False)
        t_grid += time.perf_counter() - t
        count += len(pairs)
        for r, res in zip(rows, results, strict=True):
            worst = max(worst, abs(res.cost - float(r[8])))
            total += abs(res.cost - float(r[8])) < 1e-6
        t = time.perf_counter()
        two = grid.search_many(
            pairs, algorithm="astar", heuristic="octile", record=False, workers=2
        )
        t_two += time.perf_counter() - t
        assert [r.cost for r in two] == [r.cost for r in results]
        for s, g in pairs[:: max(1, len(pairs) // 20)]:
            lines = [list(line) for line in text.splitlines()]
            lines[s[0]][s[1]] = "S"
            lines[g[0]][g[1]] = "G" if s != g else "S"
            if s == g:
                continue
            marked = "\n".join("".join(line) for line in lines)
            t = time.perf_counter()
            wn.search_grid(marked, heuristic="octile", diagonal=True, record=False)
            sample_native += time.perf_counter() - t
            t = time.perf_counter()
            grid.search(s, g, algorithm="astar", heuristic="octile", record=False)
            sample_grid += time.perf_counter() - t
            n_native += 1
        if scen.name.startswith("arena"):
            sample = pairs[::5]
            t = time.perf_counter()
            grid.search_many(sample, algorithm="astar", heuristic="octile", record=False)
            arena_qps = len(sample) / (time.perf_counter() - t)
            sample_nx, n_nx = nx_sample(text, sample)
    print(
        f"MovingAI: {count:,} scenarios, {total:,} optimal lengths reproduced "
        f"(max error {worst:.2e})"
    )
    qps = count / t_grid
    print(f"  Grid.search_many (serial)        {qps:12,.0f} queries/s")
    print(
        f"  Grid.search_many (workers=2)     {count / t_two:12,.0f} queries/s  ({t_grid / t_two:.2f}x)"
    )
    if n_native:
        # The same sample both ways: the scenario mix differs per map.
        q, qg = n_native / sample_native, n_native / sample_grid
        print(f"  sample of {n_native}: Grid.search {qg:,.0f} queries/s, search_grid per query")
        print(f"    (the map parsed each time) {q:,.0f} queries/s ({qg / q:.2f}x)")
    if n_nx:
        q = n_nx / sample_nx
        print(
            f"  arena only: Grid {arena_qps:,.0f} queries/s, networkx astar_path on a prebuilt "
            f"graph {q:,.0f} queries/s ({arena_qps / q:.1f}x)"
        )


def nx_sample(text: str, pairs: list[Any]) -> tuple[float, int]:
    try:
        import networkx as nx
    except ImportError:
        return 0.0, 0
    lines = text.splitlines()
    g = nx.Graph()
    for r, line in enumerate(lines):
        for c, ch in enumerate(line):
            if ch == "#":
                continue
            g.add_node((r, c))
            for dr, dc, cost in [
                (0, 1, 1.0),
                (1, 0, 1.0),
                (1, 1, math.sqrt(2)),
                (1, -1, math.sqrt(2)),
            ]:
                rr, cc = r + dr, c + dc
                if not (0 <= rr < len(lines) and 0 <= cc < len(lines[rr])) or lines[rr][cc] == "#":
                    continue
                if dr and dc and (lines[r][cc] == "#" or lines[rr][c] == "#"):
                    continue
                g.add_edge((r, c), (rr, cc), weight=cost)

    def octile(a: Any, b: Any) -> float:
        dr, dc = abs(a[0] - b[0]), abs(a[1] - b[1])
        return max(dr, dc) - min(dr, dc) + min(dr, dc) * math.sqrt(2)

    t = time.perf_counter()
    for s, goal in pairs:
        nx.astar_path(g, s, goal, heuristic=octile, weight="weight")
    return time.perf_counter() - t, len(pairs)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--quick", action="store_true", help="100k nodes, sampled scenarios")
    parser.add_argument("--reps", type=int, default=3)
    args = parser.parse_args()
    n, m = (100_000, 400_000) if args.quick else (1_000_000, 4_000_000)
    graph_section(n, m, args.reps)
    text = wn.random_maze_ascii(400, 400, 0.25, 11)
    grid = wayloom.Grid(text)
    free = [
        (r, c) for r, line in enumerate(text.splitlines()) for c, ch in enumerate(line) if ch != "#"
    ][::997]
    many_section(
        "grid 400x400, 64 A* queries",
        grid,
        list(zip(free[:64], reversed(free[-64:]), strict=True)),
        args.reps,
    )
    beside = Path(__file__).resolve().parent.parent.parent / "shared" / "data"
    data = Path(os.environ.get("WAYLOOM_BENCH_DATA", beside)) / "grid"
    movingai_section(data, args.reps, args.quick)


if __name__ == "__main__":
    main()
