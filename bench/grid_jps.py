"""Jump point search on the MovingAI grid maps: every scenario, and the aims.

    PYTHONPATH=<build dir>:python python bench/grid_jps.py [--sample K]

Data: `$WAYLOOM_BENCH_DATA/grid` (default ../shared/data/grid beside the
repository). For each of the six maps, every scenario is solved by "jps"
plain and preprocessed and checked against the file's optimal length. Times
are the results' `elapsed` (search only), mean and median a query, all in one
run: A* with the octile heuristic against "jps" on AcrosstheCape and on the
512 maze (A* on every `--sample`-th scenario, "jps" on the same ones),
`search_many(..., workers=2)` against one thread, and preprocess() itself.
"""

from __future__ import annotations

import argparse
import os
import statistics
import time
from pathlib import Path

import wayloom
from wayloom.movingai import percentile, read_scenarios, same_length

MAPS = ["arena", "rmtst01", "8room_000", "random512-10-0", "maze512-1-0", "AcrosstheCape"]


def data_dir() -> Path:
    root = os.environ.get("WAYLOOM_BENCH_DATA")
    base = Path(root) if root else Path(__file__).resolve().parents[2] / "shared" / "data"
    return base / "grid"


def times(grid: wayloom.Grid, pairs: list, algorithm: str, **options: object) -> list[float]:
    results = grid.search_many(pairs, algorithm=algorithm, record=False, **options)
    return [r.elapsed for r in results]


def line(
    label: str, ts: list[float], base: tuple[float, float] | None = None, aim: str = ""
) -> tuple[float, float]:
    """Prints mean, median and p99 a query, and the base's mean and median over these."""
    mean, median = statistics.fmean(ts), statistics.median(ts)
    ratio = f"{base[0] / mean:7.1f}x {base[1] / median:7.1f}x" if base else " " * 17
    print(
        f"  {label:<20} mean {mean * 1e6:9.1f} us  median {median * 1e6:8.1f} us"
        f"  p99 {percentile(ts, 0.99) * 1e6:9.1f} us  {ratio}  {aim}"
    )
    return mean, median


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--sample", type=int, default=4, help="A* on every k-th scenario of the maze")
    args = ap.parse_args()
    grid_dir = data_dir()
    if not grid_dir.is_dir():
        raise SystemExit(f"no benchmark data at {grid_dir} (set WAYLOOM_BENCH_DATA)")

    print("every scenario at its optimal length (plain / preprocessed):")
    grids = {}
    for name in MAPS:
        rows = read_scenarios(grid_dir / f"{name}.map.scen")
        grid = wayloom.Grid.from_movingai(grid_dir / f"{name}.map")
        fast = grid.preprocess()
        grids[name] = (grid, fast, rows)
        pairs = [(s.start, s.goal) for s in rows]
        bad = []
        for g in (grid, fast):
            res = g.search_many(pairs, algorithm="jps", record=False)
            bad.append(
                sum(
                    not same_length(r.cost if r.found else None, s.length)
                    for r, s in zip(res, rows)
                )
            )
        print(f"  {name:<16} {len(rows):6d} scenarios, mismatches {bad[0]} / {bad[1]}")

    grid, fast, rows = grids["AcrosstheCape"]
    pairs = [(s.start, s.goal) for s in rows]
    t0 = time.perf_counter()
    grid.preprocess()
    pre = time.perf_counter() - t0
    print(f"\nAcrosstheCape ({len(pairs)} scenarios), elapsed a query (ratios: mean, median):")
    astar = line("astar (octile)", times(grid, pairs, "astar", heuristic="octile"))
    times(grid, pairs[:50], "jps")  # the bit map is made by the first search
    line("jps", times(grid, pairs, "jps"), astar, "aim >= 60x")
    line("jps preprocessed", times(fast, pairs, "jps"), astar, "aim >= 150x")
    print(f"  preprocess() {pre:.3f} s (aim <= 2 s), table 16 bytes a cell")

    grid, fast, rows = grids["maze512-1-0"]
    pairs = [(s.start, s.goal) for s in rows][:: args.sample]
    print(f"\nmaze512-1-0 (every {args.sample}th scenario, {len(pairs)}; ratios: mean, median):")
    astar = line("astar (octile)", times(grid, pairs, "astar", heuristic="octile"))
    line("jps", times(grid, pairs, "jps"), astar, "aim >= 1x")
    line("jps preprocessed", times(fast, pairs, "jps"), astar)

    print("\nsearch_many throughput, all six maps' scenarios (wall time):")
    for label, pick in (("jps", 0), ("jps preprocessed", 1)):
        walls = []
        for workers in (None, 2):
            t0 = time.perf_counter()
            for name in MAPS:
                g, rows = grids[name][pick], grids[name][2]
                g.search_many(
                    [(s.start, s.goal) for s in rows],
                    algorithm="jps",
                    workers=workers,
                    record=False,
                )
            walls.append(time.perf_counter() - t0)
        print(
            f"  {label:<34} serial {walls[0]:7.2f} s  workers=2 {walls[1]:7.2f} s"
            f"  {walls[0] / walls[1]:5.2f}x  aim >= 1.8x"
        )


if __name__ == "__main__":
    main()
