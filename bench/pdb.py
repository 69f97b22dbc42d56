"""Pattern databases on Korf's 100 15-puzzle instances, beside the published figures.

    PYTHONPATH=<build dir>:python python bench/pdb.py [--partitions 6-6-3,7-8] [--fresh]
        [--manhattan 0] [--five 0] [--workers 1]

For each partition: the tables are prepared in a child process (built, or
loaded when the cache has them; `--fresh` uses an empty cache directory so
they are built), which reports its wall and CPU time and its peak memory;
then IDA* with `heuristic="pdb"` solves every instance on one core, each
checked against its known optimal length. Reported: mean expansions per
instance, the search time in all (the results' `elapsed`, and this process's
CPU time, since the machine is shared), and the published averages (Korf &
Felner 2002; Felner, Korf & Hanan 2004). `--manhattan N` also runs the board
walk with Manhattan on the first N instances (all 100 take hours); `--five N`
builds the 5x5 "6-6-6-6" tables and solves N boards a few dozen random moves
from the goal, checked against Manhattan IDA*.

Data: `$WAYLOOM_BENCH_DATA/puzzles` (default ../shared/data beside the
repository). Cache: `$WAYLOOM_CACHE_DIR`, else the user's cache directory.
"""

from __future__ import annotations

import argparse
import json
import os
import random
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import wayloom
import wayloom_native as wn

PUBLISHED = {  # nodes per instance, memory
    "manhattan": (401_189_630, "-"),
    "5-5-5": (3_090_405, "3 MB"),
    "6-6-3": (617_555, "33 MB"),
    "7-8": (36_710, "575 MB"),  # with the mirrored lookup (136,288 without)
}

AIMS = {  # search seconds in all, mean expansions, build seconds, build GB
    "6-6-3": (30.0, 700_000, 30.0, None),
    "7-8": (10.0, 60_000, 900.0, 1.2),
}

PREPARE = """
import json, resource, sys, time
import wayloom
t, c = time.perf_counter(), time.process_time()
p = wayloom.TilePuzzle(4, patterns=sys.argv[1])
p.prepare()
print(json.dumps({"wall": time.perf_counter() - t, "cpu": time.process_time() - c,
                  "rss_mb": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024}))
"""


def korf100(data: Path) -> list[tuple[int, int, list[int]]]:
    rows = []
    for line in (data / "puzzles" / "korf100_canonical_goal.txt").read_text().splitlines():
        if line.startswith("#") or not line.strip():
            continue
        f = list(map(int, line.split()))
        rows.append((f[0], f[1], f[3:]))
    return rows


def prepare_in_child(partition: str, env: dict[str, str]) -> dict[str, float]:
    out = subprocess.run(
        [sys.executable, "-c", PREPARE, partition],
        env=env,
        check=True,
        capture_output=True,
        text=True,
    )
    return dict(json.loads(out.stdout.strip().splitlines()[-1]))


def run_partition(
    partition: str, instances: list[tuple[int, int, list[int]]], env: dict[str, str]
) -> dict[str, float]:
    prep = prepare_in_child(partition, env)
    print(
        f"  {partition}: tables ready in {prep['wall']:.1f} s wall, {prep['cpu']:.1f} s CPU, "
        f"peak {prep['rss_mb']:.0f} MB",
        flush=True,
    )
    p = wayloom.TilePuzzle(4, patterns=partition)
    t = time.perf_counter()
    p.prepare()
    load = time.perf_counter() - t
    expanded, generated, elapsed = [], [], []
    cpu0 = time.process_time()
    for ident, optimal, board in instances:
        r = p.search(board, algorithm="ida_star", heuristic="pdb", record=False)
        if r.cost != optimal:
            raise SystemExit(
                f"{partition}: instance {ident} solved at {r.cost}, optimal is {optimal}"
            )
        expanded.append(r.nodes_expanded)
        generated.append(r.nodes_generated)
        elapsed.append(r.elapsed)
    cpu = time.process_time() - cpu0
    mb = sum(e for _, e in p._tables._layout) / 2**20
    return {
        "mean": sum(expanded) / len(expanded),
        "median": sorted(expanded)[len(expanded) // 2],
        "generated": sum(generated) / len(generated),
        "search_s": sum(elapsed),
        "cpu_s": cpu,
        "load_s": load,
        "build_s": prep["wall"],
        "build_cpu_s": prep["cpu"],
        "build_mb": prep["rss_mb"],
        "mb": mb,
    }


def five(count: int, moves: int, seed: int = 5) -> None:
    t = time.perf_counter()
    p = wayloom.TilePuzzle(5)
    p.prepare()
    print(f"  5x5 6-6-6-6: tables ready in {time.perf_counter() - t:.1f} s")
    rng = random.Random(seed)
    for _ in range(count):
        board = list(p.goal)
        blank = board.index(0)
        for _ in range(moves):
            r, c = divmod(blank, 5)
            steps = [(r + dr, c + dc) for dr, dc in ((1, 0), (-1, 0), (0, 1), (0, -1))]
            nr, nc = rng.choice([(a, b) for a, b in steps if 0 <= a < 5 and 0 <= b < 5])
            to = nr * 5 + nc
            board[blank], board[to] = board[to], board[blank]
            blank = to
        r = p.search(board, record=False)
        m = wn.search_npuzzle(board, algorithm="ida_star", record=False)
        assert r.cost == m.cost, (board, r.cost, m.cost)
        print(
            f"    cost {r.cost:3.0f}: pdb {r.nodes_expanded:>9,} expanded, manhattan {m.nodes_expanded:>11,}"
        )


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--partitions", default="6-6-3,7-8")
    ap.add_argument("--instances", type=int, default=100)
    ap.add_argument("--fresh", action="store_true", help="build into an empty cache directory")
    ap.add_argument("--manhattan", type=int, default=0)
    ap.add_argument("--five", type=int, default=0)
    ap.add_argument("--five-moves", type=int, default=40)
    args = ap.parse_args()

    root = Path(__file__).resolve().parent.parent
    near = [d / "shared" / "data" for d in root.parents if (d / "shared" / "data").is_dir()]
    data = Path(
        os.environ.get("WAYLOOM_BENCH_DATA")
        or (near[0] if near else root.parent / "shared" / "data")
    )
    instances = korf100(data)[: args.instances]
    env = dict(os.environ)
    if args.fresh:
        env["WAYLOOM_CACHE_DIR"] = tempfile.mkdtemp(prefix="wayloom-pdb-")
        os.environ["WAYLOOM_CACHE_DIR"] = env["WAYLOOM_CACHE_DIR"]
    print(
        f"Korf's {len(instances)} instances, IDA*, record=False, one core; cache {wayloom.puzzles.cache_dir()}"
    )
    results = {}
    for partition in args.partitions.split(","):
        results[partition] = run_partition(partition, instances, env)

    if args.manhattan:
        cpu0 = time.process_time()
        nodes = [
            wn.search_npuzzle(
                b, algorithm="ida_star", heuristic="manhattan", record=False
            ).nodes_expanded
            for _, _, b in instances[: args.manhattan]
        ]
        print(
            f"  manhattan on {len(nodes)} instances: mean {sum(nodes) / len(nodes):,.0f} expanded, "
            f"{time.process_time() - cpu0:.1f} s CPU"
        )

    print()
    print(
        "| heuristic | nodes per instance (published) | ours per instance: expanded (mean / median), generated (mean) "
        "| search, all instances (elapsed / CPU) | tables | build (wall / CPU, peak memory) |"
    )
    print("|---|---:|---:|---:|---:|---:|")
    print(f"| Manhattan | {PUBLISHED['manhattan'][0]:,} | | | | |")
    for name, r in results.items():
        pub, mem = PUBLISHED.get(name, (None, "?"))
        label = f"{name} additive" + (", with its mirror" if name == "7-8" else "")
        print(
            f"| {label} | {pub:,} ({mem}) | {r['mean']:,.0f} / {r['median']:,}, {r['generated']:,.0f} | "
            f"{r['search_s']:.2f} s / {r['cpu_s']:.2f} s | {r['mb']:.0f} MiB | "
            f"{r['build_s']:.0f} s / {r['build_cpu_s']:.0f} s, {r['build_mb']:.0f} MB |"
        )
    print()
    for name, r in results.items():
        if name not in AIMS:
            continue
        search, mean, build, gb = AIMS[name]
        checks = [
            (f"search {r['search_s']:.1f} s <= {search:.0f} s", r["search_s"] <= search),
            (f"mean {r['mean']:,.0f} <= {mean:,}", r["mean"] <= mean),
        ]
        if args.fresh:
            checks.append((f"build {r['build_s']:.0f} s <= {build:.0f} s", r["build_s"] <= build))
            if gb:
                checks.append(
                    (
                        f"build memory {r['build_mb']:.0f} MB <= {gb * 1000:.0f} MB",
                        r["build_mb"] <= gb * 1000,
                    )
                )
        print(
            f"  aims {name}: "
            + "; ".join(f"{text} {'ok' if ok else 'MISSED'}" for text, ok in checks)
        )
    if args.five:
        five(args.five, args.five_moves)


if __name__ == "__main__":
    main()
