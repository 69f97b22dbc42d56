"""Searches on several threads: the same answers as one after another, and the
built-in ones really let other Python threads run meanwhile. Ctrl-C during a
long search."""

import os
import signal
import subprocess
import sys
import textwrap
import threading
import time


import wayloom_native as wn


def solvable_maze(side, density, seed):
    while True:
        text = wn.random_maze_ascii(side, side, density, seed)
        if wn.search_grid(text, algorithm="bfs", record=False).found:
            return text
        seed += 1


MAZE = solvable_maze(200, 0.3, 1)
GRAPH_N = 3000
GRAPH = [(u, v, 1.0 + (u * 31 + v * 17) % 10) for u, v, _ in wn.gen_erdos_renyi(GRAPH_N, 8 / GRAPH_N, 4)]
# Forward arcs only, some negative: no negative cycle, many relaxation passes.
DAG_N = 1500
DAG = [(u, (u * 13 + k) % DAG_N, float((u + k) % 7 - 2)) for u in range(DAG_N) for k in range(1, 4)]
DAG = [(u, v, w) for u, v, w in DAG if u < v]
FW_N = 150
FW = [(i, (i + 1) % FW_N, 1.0) for i in range(FW_N)] + [(i, (i * 7 + 3) % FW_N, 0.5) for i in range(FW_N)]


def result_fields(r):
    """Every field of a SearchResult except the elapsed time."""
    return (r.path, r.cost, r.found, r.nodes_expanded, r.nodes_generated, r.nodes_reopened,
            r.max_frontier_size, r.stop_reason, r.trace, r.tree)


JOBS = {
    "grid astar": lambda: result_fields(wn.search_grid(MAZE, algorithm="astar")),
    "grid bidirectional": lambda: result_fields(wn.search_grid(MAZE, algorithm="bidirectional")),
    "graph dijkstra": lambda: result_fields(
        wn.search_graph(GRAPH_N, GRAPH, 0, GRAPH_N - 1, algorithm="dijkstra")
    ),
    "npuzzle": lambda: result_fields(wn.search_npuzzle([8, 6, 7, 2, 5, 4, 3, 0, 1])),
    "npuzzle ida": lambda: result_fields(wn.search_npuzzle([0, 1, 3, 4, 2, 5, 7, 8, 6],
                                                           algorithm="ida_star")),
    "floyd_warshall": lambda: (lambda ap: (ap.num_nodes, ap.negative_cycle, ap.matrix(),
                                           [ap.path(i, (i * 37) % FW_N) for i in range(FW_N)]))(
        wn.floyd_warshall(FW_N, FW)
    ),
    "bellman_ford": lambda: (lambda sp: (sp.source, sp.dist, sp.pred, sp.negative_cycle,
                                         [sp.path_to(t) for t in range(0, DAG_N, 50)]))(
        wn.bellman_ford(DAG_N, DAG, 0)
    ),
}


def test_two_threads_give_the_serial_answers():
    serial = {name: job() for name, job in JOBS.items()}
    assert serial["grid astar"][2] and serial["graph dijkstra"][2] and serial["npuzzle"][1] == 31
    names = list(JOBS) * 3
    outcomes = [[], []]
    start = threading.Barrier(2)

    def worker(k):
        order = names if k == 0 else names[::-1]  # different searches side by side
        start.wait()
        for name in order:
            outcomes[k].append((name, JOBS[name]()))

    threads = [threading.Thread(target=worker, args=(k,)) for k in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert len(outcomes[0]) == len(outcomes[1]) == len(names)
    for name, got in outcomes[0] + outcomes[1]:
        assert got == serial[name], name


class Counter:
    """A Python thread that counts as fast as it can until stopped."""

    def __init__(self):
        self.count = 0
        self.stop = False
        self.thread = threading.Thread(target=self.run)

    def run(self):
        while not self.stop:
            self.count += 1

    def __enter__(self):
        self.thread.start()
        time.sleep(0.02)
        return self

    def __exit__(self, *exc):
        self.stop = True
        self.thread.join()

    def rate_during(self, call):
        c0, t0 = self.count, time.perf_counter()
        call()
        return (self.count - c0) / (time.perf_counter() - t0)


def test_builtin_search_lets_other_threads_run():
    side = 1500
    open_grid = "\n".join(["S" + "." * (side - 1)] + ["." * side] * (side - 2) + ["." * (side - 1) + "G"])
    with Counter() as c:
        time.sleep(0.05)
        alone = c.count / 0.07
        released = c.rate_during(lambda: wn.search_grid(open_grid, algorithm="bfs", record=False))
        fw = c.rate_during(lambda: wn.floyd_warshall(600, [(i, (i + 1) % 600, 1.0) for i in range(600)]))
        # Control: the generators hold the lock, so the counter must stall.
        held = c.rate_during(lambda: wn.gen_erdos_renyi(20000, 1e-5, 1))
    assert held < 0.1 * alone, "the control did not stall: the measurement is meaningless"
    assert released > 3 * held and released > 0.1 * alone
    assert fw > 3 * held and fw > 0.1 * alone


# The child reports where the KeyboardInterrupt surfaced: the line of the frame
# it was raised in, how far the code after the call got, and the time taken.
CHILD = textwrap.dedent("""
    import sys, time
    import wayloom_native as wn
    {setup}
    print("ready", flush=True)
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


def interrupt_child(setup, call, delay):
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    child = subprocess.Popen(
        [sys.executable, "-c", CHILD.format(setup=setup, call=call)],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env,
    )
    try:
        assert child.stdout.readline() == "ready\n"
        time.sleep(delay)
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=60)
    finally:
        child.kill()
        child.wait()
    assert child.returncode == 0, err
    line, after, elapsed = out.split()
    return int(line), int(after), float(elapsed)


def test_ctrl_c_during_a_builtin_search_lands_as_it_returns():
    # Floyd-Warshall on a 1600-node ring: about a second with the lock
    # released, no Python in between. The signal cannot stop it midway; the
    # KeyboardInterrupt is raised on the call's own line as soon as it
    # returns, before any later statement runs.
    delay = 0.2
    line, after, elapsed = interrupt_child(
        "ring = [(i, (i + 1) % 1600, 1.0) for i in range(1600)]", "wn.floyd_warshall(1600, ring)", delay
    )
    assert elapsed > delay + 0.05, "the search ended before the signal: make it longer"
    assert (line, after) == (CALL_LINE, 0)


def test_ctrl_c_stops_a_search_with_python_callbacks_midway():
    # An endless implicit graph: the interrupt surfaces inside a successor
    # call, which stops the search.
    line, after, elapsed = interrupt_child("", "wn.search_implicit(lambda s: [(s + 1, 1.0)], 0, -1)", 0.2)
    assert (line, after) == (CALL_LINE, 0) and elapsed < 10
