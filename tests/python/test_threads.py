"""Threads get the serial answers and run meanwhile; Ctrl-C in long searches."""

import os
import subprocess
import sys
import textwrap
import threading
import time

import wayloom_native as wn
from conftest import needs_sigint, summary

MAZE = next(
    m
    for m in (wn.random_maze_ascii(200, 200, 0.3, s) for s in range(1, 50))
    if wn.search_grid(m, "bfs", record=False).found
)
GRAPH = [(u, v, 1.0 + (u * 31 + v * 17) % 10) for u, v, _ in wn.gen_erdos_renyi(3000, 8 / 3000, 4)]
RING = [(i, (i + 1) % 150, 1.0) for i in range(150)] + [
    (i, (i * 7 + 3) % 150, 0.5) for i in range(150)
]


JOBS = {
    "grid astar": lambda: summary(wn.search_grid(MAZE)),
    "grid bidirectional": lambda: summary(wn.search_grid(MAZE, "bidirectional")),
    "graph dijkstra": lambda: summary(wn.search_graph(3000, GRAPH, 0, 2999, "dijkstra")),
    "npuzzle ida": lambda: summary(wn.search_npuzzle([8, 6, 7, 2, 5, 4, 3, 0, 1], "ida_star")),
    "floyd_warshall": lambda: (lambda ap: (ap.matrix(), ap.path(3, 140)))(
        wn.floyd_warshall(150, RING)
    ),
    "bellman_ford": lambda: (lambda sp: (sp.dist, sp.pred))(wn.bellman_ford(150, RING, 0)),
}


def test_two_threads_give_the_serial_answers():
    serial = {name: job() for name, job in JOBS.items()}
    names = list(JOBS) * 3
    outcomes = [[], []]
    start = threading.Barrier(2)

    def worker(k):
        start.wait()
        for name in names if k == 0 else names[::-1]:  # different searches side by side
            outcomes[k].append((name, JOBS[name]()))

    threads = [threading.Thread(target=worker, args=(k,)) for k in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert len(outcomes[0]) == len(outcomes[1]) == len(names)
    assert all(got == serial[name] for name, got in outcomes[0] + outcomes[1])


def test_builtin_searches_let_other_threads_run():
    count, stop = [0], [False]

    def counter():
        while not stop[0]:
            count[0] += 1

    def rate_during(call):
        c0, t0 = count[0], time.perf_counter()
        call()
        return (count[0] - c0) / (time.perf_counter() - t0)

    thread = threading.Thread(target=counter)
    thread.start()
    try:
        alone = rate_during(lambda: time.sleep(0.1))
        # A tiny input and a long search: nothing but the search can let go.
        released = rate_during(lambda: wn.search_hanoi(12, "bfs", record=False))
        fw = rate_during(
            lambda: wn.floyd_warshall(600, [(i, (i + 1) % 600, 1.0) for i in range(600)])
        )
        # Control: the generators hold the lock, so the counter must stall.
        held = rate_during(lambda: wn.gen_erdos_renyi(20000, 1e-5, 1))
    finally:
        stop[0] = True
        thread.join()
    assert released > max(3 * held, 0.2 * alone) and fw > max(3 * held, 0.2 * alone)


# The child reports where its KeyboardInterrupt surfaced: the line, how far the
# code after the call got, and the time taken. A timer thread sends the signal
# once the call is under way.
CHILD = textwrap.dedent("""
    import os, signal, sys, threading, time
    import wayloom_native as wn
    {setup}
    threading.Timer(0.2, os.kill, (os.getpid(), signal.SIGINT)).start()
    t0 = time.monotonic()
    after = 0
    try:
        result = {call}
        while True:
            after += 1
    except KeyboardInterrupt as e:
        tb = e.__traceback__
        while tb.tb_next:
            tb = tb.tb_next
        print(tb.tb_lineno, after, time.monotonic() - t0, flush=True)
""")
CALL_LINE = 1 + next(i for i, t in enumerate(CHILD.splitlines()) if "result = " in t)


def interrupt_child(setup, call):
    env = {**os.environ, "PYTHONPATH": os.pathsep.join(p for p in sys.path if p)}
    p = subprocess.run(
        [sys.executable, "-c", CHILD.format(setup=setup, call=call)],
        capture_output=True,
        text=True,
        env=env,
        timeout=120,
    )
    assert p.returncode == 0, p.stderr
    line, after, elapsed = p.stdout.split()
    return int(line), int(after), float(elapsed)


@needs_sigint
def test_ctrl_c_during_a_builtin_search_lands_as_it_returns():
    # Floyd-Warshall on a 1600-node ring runs about a second without the lock;
    # the interrupt is raised on the call's own line as soon as it returns.
    line, after, elapsed = interrupt_child(
        "ring = [(i, (i + 1) % 1600, 1.0) for i in range(1600)]", "wn.floyd_warshall(1600, ring)"
    )
    assert elapsed > 0.25, "the search ended before the signal: make it longer"
    assert (line, after) == (CALL_LINE, 0)


@needs_sigint
def test_ctrl_c_stops_a_search_with_python_callbacks_midway():
    line, after, elapsed = interrupt_child(
        "", "wn.search_implicit(lambda s: [(s + 1, 1.0)], 0, -1)"
    )
    assert (line, after) == (CALL_LINE, 0) and elapsed < 10
