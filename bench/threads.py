"""Throughput of built-in searches on two threads against one.

    PYTHONPATH=<build dir>:python python bench/threads.py [--rounds 7] [--jobs 8]

Built-in searches and the shortest-path functions run with the interpreter
lock released, so two Python threads should do close to twice the work of one.
Each round times the same batch of `--jobs` calls twice: one after another on
the main thread, then split over two threads started together. The ratio is
serial time / threaded time (2.0 is perfect scaling); medians over the rounds
are reported, since a shared machine is noisy. The last columns run the same
split over forked processes, which share no lock at all (they pay for the fork
and its copy-on-write faults, so they are a pessimistic reference): threads
doing as well shows the interpreter lock is not what limits the scaling.

Workloads: A* (Manhattan) corner to corner across a 1000×1000 maze from
`random_maze_ascii` (30 % walls, seeds tried upwards until solvable), timed
end to end (parsing the map and converting the path hold the lock), with
recording on and off; Floyd-Warshall on a 400-node directed ring with chords
(every distance finite, so no row is skipped); and Dijkstra on a 200,000-node
random graph.
"""

from __future__ import annotations

import argparse
import os
import statistics
import threading
import time

import wayloom_native as wn


def solvable_maze(side: int, density: float, seed: int) -> str:
    while True:
        text = wn.random_maze_ascii(side, side, density, seed)
        if wn.search_grid(text, algorithm="bfs", record=False).found:
            return text
        seed += 1


def workloads():
    maze = solvable_maze(1000, 0.3, 1)
    n = 400
    ring = [(i, (i + 1) % n, 1.0) for i in range(n)] + [(i, (i * 7 + 3) % n, 5.0) for i in range(n)]
    gn = 200_000
    graph = [(u, v, 1.0 + (u * 31 + v * 17) % 50) for u, v, _ in wn.gen_erdos_renyi(gn, 4 / gn, 3)]
    return {
        "grid A* 1000x1000, record on": lambda: wn.search_grid(maze),
        "grid A* 1000x1000, record off": lambda: wn.search_grid(maze, record=False),
        "floyd_warshall n=400": lambda: wn.floyd_warshall(n, ring),
        "dijkstra 200k nodes": lambda: wn.search_graph(
            gn, graph, 0, gn - 1, algorithm="dijkstra", record=False
        ),
    }


def run_serial(job, count: int) -> float:
    t0 = time.perf_counter()
    for _ in range(count):
        job()
    return time.perf_counter() - t0


def run_threaded(job, count: int, threads: int) -> float:
    start = threading.Barrier(threads + 1)

    def worker(share: int):
        start.wait()
        for _ in range(share):
            job()

    shares = [count // threads + (i < count % threads) for i in range(threads)]
    pool = [threading.Thread(target=worker, args=(s,)) for s in shares]
    for t in pool:
        t.start()
    start.wait()
    t0 = time.perf_counter()
    for t in pool:
        t.join()
    return time.perf_counter() - t0


def run_forked(job, count: int, procs: int) -> float:
    """The same split over forked processes: no shared lock at all, so this is
    the machine's own ceiling for the batch (cores, memory bandwidth,
    neighbours on a shared host)."""
    go_r, go_w = os.pipe()
    shares = [count // procs + (i < count % procs) for i in range(procs)]
    pids = []
    for share in shares:
        pid = os.fork()
        if pid == 0:
            os.close(go_w)
            os.read(go_r, 1)
            for _ in range(share):
                job()
            os._exit(0)
        pids.append(pid)
    os.close(go_r)
    time.sleep(0.05)  # let the children reach the pipe
    t0 = time.perf_counter()
    os.write(go_w, b"x" * procs)
    for pid in pids:
        os.waitpid(pid, 0)
    elapsed = time.perf_counter() - t0
    os.close(go_w)
    return elapsed


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--rounds", type=int, default=7)
    ap.add_argument("--jobs", type=int, default=8, help="calls per batch")
    ap.add_argument("--threads", type=int, default=2)
    args = ap.parse_args()

    print(
        f"{os.cpu_count()} CPUs, {args.threads} threads, {args.jobs} calls per batch, "
        f"{args.rounds} rounds (medians)"
    )
    print(
        f"{'workload':32} {'one call':>10} {'serial':>10} {'threaded':>10} {'ratio':>7}"
        f" {'processes':>10} {'ratio':>7}"
    )
    for name, job in workloads().items():
        job()  # warm-up
        one = min(run_serial(job, 1) for _ in range(3))
        serial, threaded, forked, ratios, ceilings = [], [], [], [], []
        for _ in range(args.rounds):
            s = run_serial(job, args.jobs)
            t = run_threaded(job, args.jobs, args.threads)
            f = run_forked(job, args.jobs, args.threads)
            serial.append(s)
            threaded.append(t)
            forked.append(f)
            ratios.append(s / t)
            ceilings.append(s / f)
        print(
            f"{name:32} {one * 1e3:8.1f}ms {statistics.median(serial):9.3f}s "
            f"{statistics.median(threaded):9.3f}s {statistics.median(ratios):6.2f}x"
            f" {statistics.median(forked):9.3f}s {statistics.median(ceilings):6.2f}x"
            f"   (thread ratios {min(ratios):.2f}..{max(ratios):.2f})"
        )


if __name__ == "__main__":
    main()
