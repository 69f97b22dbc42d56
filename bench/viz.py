"""Pictures and the browser player: how long they take and how large the page is.

    PYTHONPATH=python python3 bench/viz.py [--reps 5] [--out /tmp/wayloom-bench]

Workloads: A* corner to corner across the bench's 1000×1000 maze, saved as a
player page (file size, bytes per trace step, time to build it, time until the
page is ready in headless Chromium); a 400×300 maze plotted and saved as PNG;
GIF replays of A* on that maze and of BFS on the "wall" sample (per frame).
Medians of ``--reps`` runs. Needs matplotlib, playwright and a system
``chromium``; the browser part is skipped without them.
"""

from __future__ import annotations

import argparse
import pathlib
import shutil
import statistics
import sys
import time

import wayloom_native as wn
from wayloom import viz

sys.path.insert(0, str(pathlib.Path(__file__).parent))
import workloads  # noqa: E402  (beside this file)


def median_time(fn, reps: int) -> float:
    times = []
    for _ in range(reps):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return statistics.median(times)


def page_load(path: pathlib.Path, reps: int) -> float | None:
    exe = shutil.which("chromium") or shutil.which("chromium-browser")
    try:
        from playwright.sync_api import sync_playwright
    except ImportError:
        return None
    if exe is None:
        return None
    times = []
    with sync_playwright() as p:
        browser = p.chromium.launch(executable_path=exe, args=["--no-sandbox"])
        for _ in range(reps):
            page = browser.new_page(viewport={"width": 1200, "height": 900})
            t0 = time.perf_counter()
            page.goto(path.as_uri())
            page.wait_for_selector("body[data-ready='1']", state="attached", timeout=60000)
            times.append(time.perf_counter() - t0)
            page.close()
        browser.close()
    return statistics.median(times)


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--reps", type=int, default=5)
    ap.add_argument("--out", type=pathlib.Path, default=pathlib.Path("/tmp/wayloom-bench"))
    args = ap.parse_args()
    args.out.mkdir(parents=True, exist_ok=True)
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    _, _, text = workloads.maze(1000)
    r = wn.search_grid(text)
    page = args.out / "astar-1000.html"
    build = median_time(lambda: viz.save_html({"astar": r}, page, text), args.reps)
    size = page.stat().st_size
    print(
        f"player page, A* 1000x1000: {len(r.trace):,} steps, {size:,} bytes "
        f"({size / len(r.trace):.2f} bytes a step), built in {build:.2f} s"
    )
    load = page_load(page, args.reps)
    print(
        "  ready in headless Chromium: "
        + ("skipped (no playwright or chromium)" if load is None else f"{load:.2f} s")
    )

    small = wn.random_maze_ascii(400, 300, 0.3, 2)
    rs = wn.search_grid(small, algorithm="bfs")

    def plot() -> None:
        viz.plot_grid(small, rs, algorithm="bfs").figure.savefig(args.out / "grid-400x300.png")
        plt.close("all")

    print(
        f"plot_grid 400x300 with {len(rs.trace):,} expansions, saved as PNG: "
        f"{median_time(plot, args.reps):.2f} s"
    )
    wall = wn.sample_maze("wall")
    for name, maze, result in [
        ("A* 400x300", small, wn.search_grid(small)),
        ("bfs on 'wall'", wall, wn.search_grid(wall, algorithm="bfs")),
    ]:
        frames = len(viz.frame_plan(len(result.trace), 200, 10))
        t = median_time(
            lambda r=result, m=maze: viz.animate_search(r, args.out / "replay.gif", maze=m),
            max(1, args.reps // 2),
        )
        print(
            f"animate_search {name}: {frames} frames in {t:.2f} s, "
            f"{t / frames * 1e3:.1f} ms a frame"
        )


if __name__ == "__main__":
    main()
