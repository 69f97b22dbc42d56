"""wayloom benchmarks against the libraries a user would otherwise pick.

    PYTHONPATH=<build dir>:python python bench/run.py [--quick] [--only grid,graph,...]

Each workload is built once; every timing of a workload is taken in the same
run, and the ratios are of medians measured in that run (the yardstick ratio
from interleaved rounds). See bench/README.md for what is measured and why.
"""

from __future__ import annotations

import argparse
import gc
import json
import math
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import time

import numpy as np

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import wayloom_native as wn  # noqa: E402
import workloads as W  # noqa: E402

SECTIONS = ("grid", "graph", "memory", "puzzles", "paths", "gen", "ladders")
# The shared data sets sit beside the repository.
DATA = pathlib.Path(os.environ.get("WAYLOOM_BENCH_DATA", HERE.parent.parent / "shared" / "data"))


# ---- timing and printing -------------------------------------------------------------------


def timed(fn, reps: int, warmup: int = 1):
    """Wall times of `reps` calls after `warmup` untimed ones, and the last result."""
    out = None
    for _ in range(warmup):
        out = fn()
    times = []
    for _ in range(reps):
        gc.collect()
        t = time.perf_counter()
        out = fn()
        times.append(time.perf_counter() - t)
    return times, out


def fmt_t(s: float) -> str:
    if s >= 1.0:
        return f"{s:8.3f} s "
    if s >= 1e-3:
        return f"{s * 1e3:8.2f} ms"
    return f"{s * 1e6:8.1f} us"


class Report:
    def __init__(self) -> None:
        self.rows: dict[str, list[float]] = {}
        self.targets: list[tuple[str, float, str, bool]] = []
        self.notes: list[str] = []
        # The limits table: workload, hand-written, wayloom, ratio, aim.
        self.limits: list[tuple[str, str, str, float, float]] = []

    def section(self, title: str) -> None:
        print(f"\n== {title}")

    def line(self, text: str) -> None:
        print(f"   {text}")

    def times(self, key: str, label: str, times: list[float]) -> float:
        self.rows[key] = times
        med = statistics.median(times)
        print(
            f"   {label:<54}{fmt_t(med)}  (min {fmt_t(min(times)).strip()}, "
            f"max {fmt_t(max(times)).strip()}, n={len(times)})"
        )
        return med

    def med(self, key: str) -> float:
        return statistics.median(self.rows[key])

    def ratio(self, label: str, value: float, goal: str, ok: bool | None) -> None:
        mark = "" if ok is None else ("  [target met]" if ok else "  [target MISSED]")
        print(f"   {label:<54}{value:8.2f}x  {goal}{mark}")
        if ok is not None:
            self.targets.append((label, value, goal, ok))

    def limit(self, workload: str, hand: str, ours: str, ratio: float, aim: float) -> None:
        self.limits.append((workload, hand, ours, ratio, aim))
        self.ratio(f"{workload}: wayloom / hand-written", ratio, f"target <= {aim:g}", ratio <= aim)

    def note(self, text: str) -> None:
        self.notes.append(text)
        print(f"   note: {text}")


def optional_import(name: str, rep: Report):
    try:
        return __import__(name)
    except ImportError as e:
        rep.note(f"{name} not importable ({e}); its rows are skipped")
        return None


def build_yardstick(work: pathlib.Path, rep: Report) -> pathlib.Path | None:
    cxx = shutil.which(os.environ.get("CXX", "g++"))
    if not cxx:
        rep.note("no g++ on PATH; yardstick rows skipped")
        return None
    exe = work / "yardstick"
    src = HERE / "yardstick.cpp"
    if not exe.exists() or exe.stat().st_mtime < src.stat().st_mtime:
        subprocess.run(
            [cxx, "-O3", "-march=native", "-std=c++20", "-o", str(exe), str(src)], check=True
        )
    return exe


def run_yardstick(exe: pathlib.Path, args: list[str], reps: int):
    """Seconds, expansions and cost per repetition, timed inside the process."""
    out = subprocess.run(
        [str(exe), *args, str(reps)], check=True, capture_output=True, text=True
    ).stdout.split("\n")
    rows = [line.split() for line in out if line.strip()]
    return [float(r[0]) for r in rows], int(rows[-1][1]), float(rows[-1][2])


def interleaved(wl_fn, ys_exe, ys_args, rounds: int, per_round: int, whole_call=False):
    """wayloom `elapsed` (or, with `whole_call`, the wall time of the call) and
    yardstick seconds in alternating blocks, so that a change of machine speed
    hits both; returns both lists and the per-round ratios of block medians."""

    def seconds():
        if not whole_call:
            return wl_fn().elapsed
        t = time.perf_counter()
        wl_fn()
        return time.perf_counter() - t

    wl_all, ys_all, ratios = [], [], []
    exp_ys = cost_ys = None
    for _ in range(rounds):
        # Both sides drop their first call: steady state, warm caches and heap.
        wl = [seconds() for _ in range(per_round + 1)][1:]
        ys, exp_ys, cost_ys = run_yardstick(ys_exe, ys_args, per_round + 1)
        ys = ys[1:]
        wl_all += wl
        ys_all += ys
        ratios.append(statistics.median(wl) / statistics.median(ys))
    return wl_all, ys_all, ratios, exp_ys, cost_ys


# How the yardstick's grid loops keep their frontier (all three: a framed
# state-byte map, integer g).
YS_GRID = {
    "astar": "packed (f, insertion) heap",
    "dijkstra": "packed (g, insertion) heap",
    "bfs": "queue",
}


def same_cost(a: float, b: float) -> bool:
    return math.isclose(a, b, rel_tol=1e-9, abs_tol=1e-9)


# ---- 1 and 3: grid A* ---------------------------------------------------------------------


def grid_section(cfg, work: pathlib.Path, rep: Report, ys_exe) -> pathlib.Path:
    side = cfg.side
    t = time.perf_counter()
    walls, seed, text = W.maze(side)
    mapfile = work / f"maze{side}_{seed}.txt"
    mapfile.write_text(text)
    h, w = walls.shape
    goal_idx = h * w - 1
    rep.section(
        f"1. Grid A*, Manhattan, 4-connected: {side}x{side} maze, "
        f"{walls.mean():.1%} walls, seed {seed}, corner to corner"
    )
    rep.line(f"(maze generated in {time.perf_counter() - t:.2f} s; map file {mapfile})")

    ref = wn.search_grid(text, record=False)
    rep.line(
        f"wayloom: cost {ref.cost:g}, expanded {ref.nodes_expanded}, "
        f"generated {ref.nodes_generated}, peak frontier {ref.max_frontier_size}"
    )

    # Each variant runs in consecutive blocks (first call of a block dropped), the
    # blocks rotated so a drift of machine speed hits every variant. Alternating
    # the variants call by call would instead measure allocator churn: a search
    # after a differently sized one gets its 16-byte-per-cell node table from
    # fresh pages, which on this kind of machine costs up to half as much again.
    calls = {
        "wl_false": lambda: wn.search_grid(text, record=False),
        "wl_true": lambda: wn.search_grid(text, record=True),
        "wl_setup": lambda: wn.search_grid(text, record=False, max_nodes=1),
    }
    e2e = {k: [] for k in calls}
    elapsed = {k: [] for k in calls}
    per_block = max(2, cfg.reps // 3)
    for _ in range(3):
        for k, fn in calls.items():
            for i in range(per_block + 1):
                gc.collect()
                t0 = time.perf_counter()
                r = fn()
                dt = time.perf_counter() - t0
                if i:
                    e2e[k].append(dt)
                    elapsed[k].append(r.elapsed)
    e2e["wl_read"] = []
    for _ in range(max(3, per_block)):
        r = wn.search_grid(text, record=True)
        gc.collect()
        t0 = time.perf_counter()
        tr, tree = r.trace, r.tree
        e2e["wl_read"].append(time.perf_counter() - t0)
        assert len(tr) == r.nodes_expanded and len(tree) > 0
        del tr, tree, r
    m_false = rep.times(
        "grid_wl_false", "wayloom search_grid record=False, end to end", e2e["wl_false"]
    )
    rep.times("grid_wl_false_el", "  of which result.elapsed (search only)", elapsed["wl_false"])
    m_true = rep.times(
        "grid_wl_true", "wayloom search_grid record=True, end to end", e2e["wl_true"]
    )
    rep.times("grid_wl_true_el", "  of which result.elapsed", elapsed["wl_true"])
    rep.times("grid_wl_read", "reading .trace and .tree afterwards (first read)", e2e["wl_read"])
    m_setup = rep.times(
        "grid_wl_setup", "map text -> engine grid (search_grid max_nodes=1)", e2e["wl_setup"]
    )
    rep.line(f"   = {m_setup / m_false:.0%} of the record=False end-to-end time")

    peers = {}
    # scipy: symmetric CSR matrix over all cells (walls are isolated rows).
    u, v = W.grid_edges(walls)
    sp = optional_import("scipy.sparse.csgraph", rep)
    if sp is not None:
        from scipy.sparse import csr_matrix
        from scipy.sparse.csgraph import dijkstra

        t = time.perf_counter()
        ones = np.ones(2 * len(u))
        mat = csr_matrix(
            (ones, (np.concatenate([u, v]), np.concatenate([v, u]))), shape=(h * w, h * w)
        )
        rep.line(f"(scipy matrix built in {time.perf_counter() - t:.2f} s, not timed below)")
        times, (dist, _) = timed(
            lambda: dijkstra(mat, directed=True, indices=0, return_predecessors=True), cfg.reps
        )
        assert same_cost(dist[goal_idx], ref.cost), (dist[goal_idx], ref.cost)
        peers["scipy"] = rep.times(
            "grid_scipy", "scipy csgraph.dijkstra, one source, no limit", times
        )
        times, (dist, _) = timed(
            lambda: dijkstra(
                mat, directed=True, indices=0, limit=ref.cost, return_predecessors=True
            ),
            cfg.reps,
        )
        assert same_cost(dist[goal_idx], ref.cost)
        rep.times("grid_scipy_limit", "scipy csgraph.dijkstra, limit=known cost (oracle)", times)
        del mat

    rx = optional_import("rustworkx", rep)
    if rx is not None:
        t = time.perf_counter()
        g = rx.PyGraph()
        g.add_nodes_from(range(h * w))
        g.add_edges_from_no_data(list(zip(u.tolist(), v.tolist())))
        rep.line(f"(rustworkx graph built in {time.perf_counter() - t:.2f} s, not timed below)")
        gr, gc_ = divmod(goal_idx, w)

        def rx_astar():
            return rx.astar_shortest_path(
                g,
                0,
                goal_fn=lambda n: n == goal_idx,
                edge_cost_fn=lambda _: 1.0,
                estimate_cost_fn=lambda n: float(abs(n // w - gr) + abs(n % w - gc_)),
            )

        times, path = timed(rx_astar, cfg.reps)
        assert len(path) - 1 == ref.cost
        peers["rustworkx"] = rep.times("grid_rx", "rustworkx astar_shortest_path", times)
        del g

    nx = optional_import("networkx", rep)
    if nx is not None:
        t = time.perf_counter()
        g = nx.Graph()
        ur, uc = (a.tolist() for a in divmod(u, w))
        vr, vc = (a.tolist() for a in divmod(v, w))
        g.add_edges_from(zip(zip(ur, uc), zip(vr, vc)))
        rep.line(f"(networkx graph built in {time.perf_counter() - t:.2f} s, not timed below)")
        s, t_ = (0, 0), (h - 1, w - 1)

        def manhattan(a, b):
            return abs(a[0] - b[0]) + abs(a[1] - b[1])

        times, path = timed(
            lambda: nx.astar_path(g, s, t_, heuristic=manhattan), cfg.nx_reps, warmup=0
        )
        assert len(path) - 1 == ref.cost
        peers["networkx"] = rep.times("grid_nx", "networkx astar_path on the prebuilt graph", times)
        del g

    if ys_exe is not None:
        for algo, aim in (("astar", 1.2), ("dijkstra", 1.2), ("bfs", 1.2)):
            r0 = wn.search_grid(text, algorithm=algo, record=False)
            wl, ys, ratios, exp_ys, cost_ys = interleaved(
                lambda a=algo: wn.search_grid(text, algorithm=a, record=False),
                ys_exe,
                ["grid", str(mapfile), algo],
                cfg.rounds,
                3,
            )
            # Same visits in the same order, or the ratio compares different work.
            assert exp_ys == r0.nodes_expanded and same_cost(cost_ys, r0.cost), (
                f"yardstick {algo} disagrees: expanded {exp_ys} vs {r0.nodes_expanded}, "
                f"cost {cost_ys} vs {r0.cost}"
            )
            med_wl = rep.times(
                f"grid_ys_wl_{algo}", f"wayloom {algo} result.elapsed ({r0.nodes_expanded} exp)", wl
            )
            med_ys = rep.times(f"grid_ys_{algo}", f"C++ yardstick {algo} ({YS_GRID[algo]})", ys)
            rep.limit(
                f"grid {algo} {side}x{side}, {r0.nodes_expanded:,} expanded",
                fmt_t(med_ys),
                fmt_t(med_wl),
                statistics.median(ratios),
                aim,
            )

    rep.line("ratios (medians of this run):")
    for name, med in peers.items():
        goal = {"networkx": 20.0}.get(name, 1.0)
        rep.ratio(
            f"{name} / wayloom end to end (record=False)",
            med / m_false,
            f"target >= {goal:g}",
            med / m_false >= goal,
        )
    rep.ratio(
        "record=True / record=False, end to end, trace unread",
        m_true / m_false,
        "target <= 1.5",
        m_true / m_false <= 1.5,
    )
    return mapfile


# ---- 2 and 3: graph Dijkstra --------------------------------------------------------------


def graph_section(cfg, work: pathlib.Path, rep: Report, ys_exe) -> None:
    n, m = cfg.nodes, cfg.arcs
    rep.section(
        f"2. Single-pair Dijkstra: random digraph, {n:,} nodes, {m:,} arcs, "
        f"weights U[1, 100), seed {W.GRAPH_SEED}"
    )
    t = time.perf_counter()
    u, v, w = W.random_digraph(n, m)
    du, dv, dw = W.dedupe_min(u, v, w)
    mat = W.sparse(n, du, dv, dw)
    start, goal = W.pick_pair(n, mat)
    csrfile = work / f"graph{n}_{m}_{W.GRAPH_SEED}.csr"
    if not csrfile.exists():
        W.write_csr(csrfile, n, u, v, w)
    edges = list(zip(u.tolist(), v.tolist(), w.tolist()))
    rep.line(
        f"(workload built in {time.perf_counter() - t:.1f} s; start {start}, goal {goal}, "
        f"{m - len(du)} parallel arcs collapsed for scipy/networkx)"
    )

    def full():
        return wn.search_graph(
            n, edges, start, goal, algorithm="dijkstra", undirected=False, record=False
        )

    def setup():
        return wn.search_graph(
            n, edges, start, start, algorithm="dijkstra", undirected=False, record=False
        )

    e2e, el, conv = [], [], []
    for i in range(cfg.graph_reps + 1):
        gc.collect()
        t0 = time.perf_counter()
        r = full()
        t1 = time.perf_counter()
        setup()
        t2 = time.perf_counter()
        if i:
            e2e.append(t1 - t0)
            el.append(r.elapsed)
            conv.append(t2 - t1)
    ref = r
    rep.line(
        f"wayloom: cost {ref.cost:.6f}, expanded {ref.nodes_expanded}, "
        f"generated {ref.nodes_generated}"
    )
    m_wl = rep.times("graph_wl", "wayloom search_graph dijkstra, end to end", e2e)
    rep.times("graph_wl_el", "  of which result.elapsed (search only)", el)
    m_conv = rep.times("graph_wl_conv", "edge list -> engine graph (start == goal)", conv)
    rep.line(f"   = {m_conv / m_wl:.0%} of the end-to-end time")
    t = time.perf_counter()
    list(zip(u.tolist(), v.tolist(), w.tolist()))
    rep.line(
        f"(for scale: making the Python edge list from numpy took "
        f"{time.perf_counter() - t:.2f} s, outside every timing)"
    )

    costs, peers = {}, {}
    from scipy.sparse.csgraph import dijkstra

    times, dist = timed(lambda: dijkstra(mat, directed=True, indices=start), cfg.graph_reps)
    costs["scipy"] = float(dist[goal])
    peers["scipy"] = rep.times("graph_scipy", "scipy csgraph.dijkstra, one source, no limit", times)
    times, dist = timed(
        lambda: dijkstra(mat, directed=True, indices=start, limit=ref.cost), cfg.graph_reps
    )
    costs["scipy (limit)"] = float(dist[goal])
    rep.times("graph_scipy_limit", "scipy csgraph.dijkstra, limit=known cost (oracle)", times)

    rx = optional_import("rustworkx", rep)
    if rx is not None:
        t = time.perf_counter()
        g = rx.PyDiGraph()
        g.add_nodes_from(range(n))
        g.add_edges_from(edges)
        rep.line(f"(rustworkx graph built in {time.perf_counter() - t:.1f} s, not timed below)")
        times, lengths = timed(
            lambda: rx.dijkstra_shortest_path_lengths(g, start, edge_cost_fn=float, goal=goal),
            cfg.graph_reps,
        )
        costs["rustworkx"] = lengths[goal]
        peers["rustworkx"] = rep.times(
            "graph_rx", "rustworkx dijkstra_shortest_path_lengths (goal=)", times
        )
        del g

    nx = optional_import("networkx", rep)
    if nx is not None and not cfg.skip_nx_graph:
        t = time.perf_counter()
        g = nx.DiGraph()
        g.add_weighted_edges_from(zip(du.tolist(), dv.tolist(), dw.tolist()))
        rep.line(f"(networkx DiGraph built in {time.perf_counter() - t:.1f} s, not timed below)")
        times, c = timed(lambda: nx.dijkstra_path_length(g, start, goal), cfg.nx_reps, warmup=0)
        costs["networkx"] = c
        peers["networkx"] = rep.times("graph_nx", "networkx dijkstra_path_length", times)
        del g
    elif cfg.skip_nx_graph:
        rep.note("networkx skipped on the graph (--skip-nx-graph)")

    bad = {k: c for k, c in costs.items() if not same_cost(c, ref.cost)}
    rep.line(
        "costs agree: "
        + ("yes, all " + str(len(costs) + 1) if not bad else f"NO: wayloom {ref.cost!r} vs {bad}")
    )

    ratios = None
    if ys_exe is not None:
        wl, ys, ratios, exp_ys, cost_ys = interleaved(
            full, ys_exe, ["graph", str(csrfile), str(start), str(goal)], cfg.graph_rounds, 2
        )
        if exp_ys != ref.nodes_expanded or not same_cost(cost_ys, ref.cost):
            rep.note(f"yardstick disagrees: expanded {exp_ys}, cost {cost_ys}")
        med_wl = rep.times("graph_ys_wl", "wayloom result.elapsed (interleaved with yardstick)", wl)
        med_ys = rep.times("graph_ys", "C++ yardstick Dijkstra (CSR, flat arrays, binary heap)", ys)

    rep.line("ratios (medians of this run):")
    if ratios:
        rep.limit(
            f"Dijkstra, {n:,} nodes / {m:,} arcs, single pair",
            fmt_t(med_ys),
            fmt_t(med_wl),
            statistics.median(ratios),
            1.2,
        )
    for name, med in peers.items():
        rep.ratio(f"{name} / wayloom end to end", med / m_wl, "(> 1: wayloom ahead)", None)
    rep.ratio(
        "scipy / wayloom search only (elapsed)",
        peers["scipy"] / rep.med("graph_wl_el"),
        "(> 1: wayloom ahead)",
        None,
    )


# ---- 5: memory -----------------------------------------------------------------------------


def memory_section(cfg, mapfile: pathlib.Path, rep: Report) -> None:
    rep.section(
        f"5. Peak memory of one grid search (VmHWM growth in a fresh process), {mapfile.name}"
    )
    text = mapfile.read_text()
    lines = text.split("\n")
    cells = len(lines) * max(map(len, lines))
    grid_bytes = cells  # one terrain byte per cell
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(
        [str(pathlib.Path(wn.__file__).parent), env.get("PYTHONPATH", "")]
    )
    for label, record, heur in (
        ("A* record=False", "0", "manhattan"),
        ("A* record=True", "1", "manhattan"),
        ("A* heuristic=zero record=False (sweeps the maze)", "0", "zero"),
    ):
        out = subprocess.run(
            [sys.executable, str(HERE / "memprobe.py"), str(mapfile), record, heur],
            check=True,
            capture_output=True,
            text=True,
            env=env,
        )
        d = json.loads(out.stdout)
        grown = (d["hwm_after_kib"] - d["rss_before_kib"]) * 1024
        per = grown / d["expanded"]
        net = (grown - grid_bytes) / d["expanded"]
        rep.line(
            f"{label}: +{grown / 2**20:.1f} MiB; {d['expanded']} expanded, {d['generated']} reached"
        )
        rep.line(
            f"   {per:6.1f} B per expanded cell ({net:.1f} net of the grid), "
            f"{grown / d['generated']:.1f} B per reached cell"
        )
        if record == "0" and heur == "manhattan":
            # The grid is the input, one byte per cell whatever is reached;
            # the aim is about what the search adds for each cell it reaches.
            reached_net = (grown - grid_bytes) / d["generated"]
            rep.ratio(
                "bytes per reached cell net of the grid, A* record=False",
                reached_net,
                "target < 40",
                reached_net < 40,
            )
    rep.line(
        f"(the grid itself is {grid_bytes / 2**20:.1f} MiB for {cells:,} cells, "
        f"whatever the search reaches)"
    )


# ---- extras: puzzles and word ladders -----------------------------------------------------


def puzzles_section(cfg, work: pathlib.Path, rep: Report, ys_exe) -> None:
    rep.section("Sliding-tile puzzles (nodes expanded per second of result.elapsed)")
    for board in ((8, 6, 7, 2, 5, 4, 3, 0, 1), (6, 4, 7, 8, 5, 0, 3, 2, 1)):
        name = "".join(map(str, board))
        r = wn.search_npuzzle(board, algorithm="astar", record=False)
        if r.cost != 31:
            rep.note(f"8-puzzle {name}: cost {r.cost}, expected 31")
        if ys_exe is None:
            continue
        wl, ys, ratios, exp_ys, _ = interleaved(
            lambda b=board: wn.search_npuzzle(b, algorithm="astar", record=False),
            ys_exe,
            ["p8", name],
            cfg.rounds,
            cfg.reps,
        )
        if exp_ys != r.nodes_expanded:
            rep.note(f"yardstick 8-puzzle {name} disagrees: expanded {exp_ys}")
        med_wl = rep.times(
            "p8_" + name, f"8-puzzle A* {name} result.elapsed ({r.nodes_expanded} exp)", wl
        )
        med_ys = rep.times("p8_ys_" + name, "  C++ yardstick", ys)
        rep.limit(
            f"8-puzzle A* {name}",
            f"{r.nodes_expanded / med_ys / 1e6:.1f} M exp/s",
            f"{r.nodes_expanded / med_wl / 1e6:.1f} M exp/s",
            statistics.median(ratios),
            2.0,
        )
    korf = DATA / "puzzles" / "korf100_canonical_goal.txt"
    if not korf.exists():
        rep.note(f"{korf} absent; 15-puzzle IDA* skipped")
        return
    rows = []
    for line in korf.read_text().splitlines():
        if line.strip() and not line.startswith("#"):
            f = list(map(int, line.split()))
            rows.append((f[1] - f[2], f[1], f[0], tuple(f[3:])))
    rows.sort()  # smallest gap between optimum and the Manhattan bound: the cheapest IDA* runs
    rows = rows[: cfg.korf]
    boards_file = work / f"korf{len(rows)}.txt"
    boards_file.write_text("".join(" ".join(map(str, b)) + "\n" for *_, b in rows))
    wl_rounds, expanded = [], 0
    for _ in range(cfg.ida_rounds):
        total, expanded = 0.0, 0
        for _, opt, num, board in rows:
            r = wn.search_npuzzle(board, algorithm="ida_star", record=False)
            if r.cost != opt:
                rep.note(f"15-puzzle Korf #{num}: stop {r.stop_reason}, cost {r.cost} vs {opt}")
            total += r.elapsed
            expanded += r.nodes_expanded
        wl_rounds.append(total)
    med_wl = rep.times(
        "ida_wl",
        f"15-puzzle IDA*, {len(rows)} Korf instances, {expanded:,} expanded (sum of elapsed)",
        wl_rounds,
    )
    rep.line(f"   {expanded / med_wl / 1e6:.2f} M expansions/s")
    if ys_exe is not None:
        ys, exp_ys, _ = run_yardstick(ys_exe, ["ida", str(boards_file)], cfg.ida_rounds)
        if exp_ys != expanded:
            rep.note(f"yardstick IDA* disagrees: expanded {exp_ys} vs {expanded}")
        med_ys = rep.times("ida_ys", "  C++ yardstick (in-place board, incremental Manhattan)", ys)
        rep.limit(
            f"15-puzzle IDA*, {len(rows)} Korf instances",
            f"{expanded / med_ys / 1e6:.1f} M exp/s",
            f"{expanded / med_wl / 1e6:.1f} M exp/s",
            med_wl / med_ys,
            2.0,
        )


def paths_section(cfg, work: pathlib.Path, rep: Report, ys_exe) -> None:
    n = cfg.fw_nodes
    rep.section(f"Floyd-Warshall with next hops, complete digraph on {n} nodes, weights U[1, 100)")
    rng = np.random.default_rng(W.GRAPH_SEED)
    u, v = (a.ravel() for a in np.indices((n, n)))
    off = u != v
    u, v = u[off], v[off]
    w = rng.uniform(1.0, 100.0, len(u))
    edges = list(zip(u.tolist(), v.tolist(), w.tolist()))
    ap = wn.floyd_warshall(n, edges)
    if ys_exe is None:
        times, _ = timed(lambda: wn.floyd_warshall(n, edges), cfg.fw_reps)
        rep.times("fw_wl", "wayloom floyd_warshall, whole call (edge list in)", times)
        return
    arcs = work / f"fw{n}.bin"
    rec = np.zeros(len(u), dtype=[("u", "<u4"), ("v", "<u4"), ("w", "<f8")])
    rec["u"], rec["v"], rec["w"] = u, v, w
    arcs.write_bytes(np.array([n, len(u)], dtype="<u8").tobytes() + rec.tobytes())
    # Alternating blocks, as for the searches: the whole call against the
    # yardstick's matrices-from-arcs time.
    wl, ys, _, finite, total = interleaved(
        lambda: wn.floyd_warshall(n, edges),
        ys_exe,
        ["fw", str(arcs)],
        cfg.fw_reps,
        3,
        whole_call=True,
    )
    got = sum(sum(row) for row in ap.matrix())
    if finite != n * n or not math.isclose(total, got, rel_tol=1e-12):
        rep.note(f"yardstick Floyd-Warshall disagrees: sum {total} vs {got}")
    med_wl = rep.times("fw_wl", "wayloom floyd_warshall, whole call (edge list in)", wl)
    med_ys = rep.times("fw_ys", "  C++ yardstick (matrices from the arc list on)", ys)
    rep.limit(
        f"Floyd-Warshall + next hop, n = {n} dense",
        fmt_t(med_ys),
        fmt_t(med_wl),
        med_wl / med_ys,
        1.3,
    )


def gen_section(cfg, rep: Report) -> None:
    n, p = cfg.er_nodes, 8e-5
    rep.section(f"gen_erdos_renyi({n:,}, {p:g}, seed): {n * (n - 1) / 2:.3g} draws")
    times, edges = timed(lambda: wn.gen_erdos_renyi(n, p, 1), 1, warmup=0)
    med = rep.times("er_wl", f"wayloom gen_erdos_renyi, {len(edges):,} edges", times)
    aim = 10.0 * (n / 100_000) ** 2
    rep.ratio("gen_erdos_renyi seconds", med, f"target <= {aim:g} s", med <= aim)
    rep.limits.append((f"gen_erdos_renyi({n:,}, {p:g})", "-", fmt_t(med), med / aim, 1.0))


def ladders_section(cfg, rep: Report) -> None:
    words_file = DATA / "words" / "sgb-words.txt"
    checks = DATA / "words" / "ladder_checks.txt"
    rep.section("Extra: word ladders over the 5,757 five-letter words")
    if not words_file.exists():
        rep.note(f"{words_file} absent; word ladders skipped")
        return
    words = words_file.read_text().split()
    pairs = [
        ("words", "graph", 7),
        ("black", "white", 7),
        ("chaos", "order", 12),
        ("first", "final", -1),
    ]
    if checks.exists():
        pairs = []
        for line in checks.read_text().splitlines():
            f = line.split()
            if f and not line.startswith("#") and f[0] == "sgb-words.txt":
                pairs.append((f[1], f[2], int(f[3])))
    nx = optional_import("networkx", rep)
    g = None
    if nx is not None:
        t = time.perf_counter()
        g = nx.Graph()
        g.add_nodes_from(words)
        buckets: dict[str, list[str]] = {}
        for wd in words:
            for i in range(len(wd)):
                buckets.setdefault(wd[:i] + "_" + wd[i + 1 :], []).append(wd)
        for group in buckets.values():
            g.add_edges_from((a, b) for i, a in enumerate(group) for b in group[i + 1 :])
        rep.line(
            f"(networkx word graph built in {time.perf_counter() - t:.2f} s, "
            f"{g.number_of_edges()} edges, not timed below; wayloom rows include "
            f"taking the word list)"
        )
    times, _ = timed(lambda: wn.search_wordladder("which", "which", words, record=False), cfg.reps)
    rep.times("ladder_setup", "wayloom: word list -> engine (start == goal)", times)
    for s, t_, steps in pairs:
        meds = {}
        for algo in ("bfs", "astar", "bidirectional"):
            times, r = timed(
                lambda: wn.search_wordladder(s, t_, words, algorithm=algo, record=False), cfg.reps
            )
            got = r.cost if r.found else -1
            if got != steps:
                rep.note(f"{algo} {s}->{t_}: {got} steps, expected {steps}")
            meds[algo] = rep.times(
                f"wl_{algo}_{s}",
                f"wayloom {algo[:5]:<5} {s}->{t_} ({steps}): {r.nodes_expanded} exp",
                times,
            )
        if g is not None:

            def nx_ladder():
                try:
                    return len(nx.shortest_path(g, s, t_)) - 1
                except nx.NetworkXNoPath:
                    return -1

            times, got = timed(nx_ladder, cfg.reps)
            if got != steps:
                rep.note(f"networkx {s}->{t_}: {got} steps, expected {steps}")
            mn = rep.times(
                f"nx_{s}", f"networkx shortest_path (bidirectional BFS) {s}->{t_}", times
            )
            rep.ratio(
                f"networkx / wayloom bidirectional, {s}->{t_}",
                mn / meds["bidirectional"],
                "(> 1: wayloom ahead)",
                None,
            )


# ---- main ----------------------------------------------------------------------------------


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument(
        "--quick",
        action="store_true",
        help="smaller workloads and fewer repetitions (under a minute)",
    )
    ap.add_argument(
        "--only",
        default=",".join(SECTIONS),
        help=f"comma-separated sections among {', '.join(SECTIONS)}",
    )
    ap.add_argument("--reps", type=int, help="repetitions of the fast timings")
    ap.add_argument(
        "--skip-nx-graph",
        action="store_true",
        help="leave networkx out of the 1M-node graph (slow, several GB)",
    )
    ap.add_argument(
        "--work",
        default=os.environ.get("WAYLOOM_BENCH_WORK", "/tmp/wayloom-bench"),
        help="directory for the map, graph and yardstick files",
    )
    ap.add_argument("--json", help="also write every timing list to this file")
    cfg = ap.parse_args(argv)
    only = set(cfg.only.split(","))
    unknown = only - set(SECTIONS)
    if unknown:
        ap.error(f"unknown sections: {', '.join(sorted(unknown))}")
    if cfg.quick:
        cfg.side, cfg.nodes, cfg.arcs = 400, 100_000, 400_000
        cfg.reps, cfg.nx_reps, cfg.graph_reps = cfg.reps or 5, 1, 3
        cfg.rounds, cfg.graph_rounds, cfg.korf, cfg.ida_rounds = 3, 3, 3, 1
        cfg.fw_nodes, cfg.fw_reps, cfg.er_nodes = 200, 3, 20_000
    else:
        cfg.side, cfg.nodes, cfg.arcs = 1000, 1_000_000, 4_000_000
        cfg.reps, cfg.nx_reps, cfg.graph_reps = cfg.reps or 15, 3, 5
        cfg.rounds, cfg.graph_rounds, cfg.korf, cfg.ida_rounds = 9, 7, 15, 3
        cfg.fw_nodes, cfg.fw_reps, cfg.er_nodes = 500, 7, 100_000

    work = pathlib.Path(cfg.work)
    work.mkdir(parents=True, exist_ok=True)
    rep = Report()
    print(
        f"wayloom benchmarks ({'quick' if cfg.quick else 'full'}): python "
        f"{sys.version.split()[0]}, {os.cpu_count()} CPUs, load "
        f"{', '.join(f'{x:.2f}' for x in os.getloadavg())}; module {wn.__file__}"
    )
    print(
        "Times are wall-clock medians of this run; the machine may be shared, so compare "
        "ratios, not absolute times."
    )
    ys_exe = build_yardstick(work, rep)

    t0 = time.perf_counter()
    mapfile = None
    if "grid" in only or "memory" in only:
        if "grid" in only:
            mapfile = grid_section(cfg, work, rep, ys_exe)
        else:
            _, seed, text = W.maze(cfg.side)
            mapfile = work / f"maze{cfg.side}_{seed}.txt"
            mapfile.write_text(text)
    # Floyd-Warshall's whole call reads its 249,500 edge tuples; once the
    # million-node sections have churned the interpreter's heap, fresh tuples
    # lie scattered and reading them costs as much as the all-pairs loop
    # (37 -> 67 ms for the same list shuffled), which is the bench's state,
    # not the call's. So it runs before them.
    if "paths" in only:
        paths_section(cfg, work, rep, ys_exe)
    if "graph" in only:
        graph_section(cfg, work, rep, ys_exe)
    if "memory" in only:
        memory_section(cfg, mapfile, rep)
    if "puzzles" in only:
        puzzles_section(cfg, work, rep, ys_exe)
    if "gen" in only:
        gen_section(cfg, rep)
    if "ladders" in only:
        ladders_section(cfg, rep)

    if rep.limits:
        print(
            "\n== At the hand-written limit (medians of this run; the gen row against its time aim)"
        )
        print(f"   {'workload':<52}{'hand-written':>16}{'wayloom':>16}{'ratio':>8}{'aim':>7}")
        for workload, hand, ours, ratio, aim in rep.limits:
            mark = "met" if ratio <= aim else "MISSED"
            print(
                f"   {workload:<52}{hand.strip():>16}{ours.strip():>16}{ratio:7.2f}x"
                f"{aim:6.2g}x  {mark}"
            )
    print(f"\n== Targets ({time.perf_counter() - t0:.0f} s in all)")
    for label, value, goal, ok in rep.targets:
        print(f"   {'met   ' if ok else 'MISSED'} {label}: {value:.2f} ({goal})")
    if cfg.json:
        pathlib.Path(cfg.json).write_text(
            json.dumps({"rows": rep.rows, "targets": rep.targets, "notes": rep.notes}, indent=1)
        )
    return 0


if __name__ == "__main__":
    sys.exit(main())
