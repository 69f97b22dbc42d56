"""Every success path, and every failure path of the bad-input table, called
many times over leaves reference counts, live objects, the Python heap
(tracemalloc) and the C heap where they were."""

import ctypes
import gc
import sys
import time
import tracemalloc

import wayloom_native as wn
from conftest import PROBLEMS, Counted
from test_errors import CASES


class _Mallinfo2(ctypes.Structure):  # glibc's; the C heap in use is uordblks + hblkhd
    _fields_ = [(n, ctypes.c_size_t) for n in "a o s h hblkhd u f uordblks fo k".split()]


try:
    _mallinfo2 = getattr(ctypes.CDLL(None), "mallinfo2", None)
except (OSError, TypeError):  # Windows has no handle for the process's own symbols
    _mallinfo2 = None
if _mallinfo2 is not None:
    _mallinfo2.restype = _Mallinfo2


def native_bytes():
    return 0 if _mallinfo2 is None else _mallinfo2().uordblks + _mallinfo2().hblkhd


def repeat(call, exc, count):
    for _ in range(count):
        try:
            call()
        except BaseException as e:  # the expected kind is checked right here
            assert exc is not None and type(e) is exc, e
        else:
            assert exc is None


def assert_flat(cases, watched=(), budget=0.008):
    """Runs every (call, expected exception) case as often as `budget` seconds
    allow (at most 2000 times), twice over; leaking one small object a call in
    any case is far above the slack."""
    plan = []
    for call, exc in cases:
        t0 = time.perf_counter()
        repeat(call, exc, 3)  # warm-up: caches, free lists, arenas
        plan.append((call, exc, int(min(2000, max(10, budget * 3 / (time.perf_counter() - t0))))))
    watched = [*watched, wn.SearchResult, wn.ShortestPaths, wn.AllPairs, wn.PanicException]
    gc.collect()
    refs, objects = [sys.getrefcount(o) for o in watched], len(gc.get_objects())
    tracemalloc.start()
    try:
        heaps = []
        for _ in range(2):
            for call, exc, count in plan:
                repeat(call, exc, count)
            gc.collect()
            heaps.append((tracemalloc.get_traced_memory()[0], native_bytes()))
    finally:
        tracemalloc.stop()
    gc.collect()
    (py_a, native_a), (py_b, native_b) = heaps
    assert [sys.getrefcount(o) for o in watched] == refs, "reference counts changed"
    assert len(gc.get_objects()) - objects <= 20, "live objects accumulate"
    assert py_b - py_a <= 64 * 1024, f"Python heap grew by {py_b - py_a} bytes"
    assert native_b - native_a <= 256 * 1024, f"C heap grew by {native_b - native_a} bytes"


def touch(r):
    """Reads everything a result has, converting trace and tree."""
    return (
        r.path,
        r.cost,
        r.found,
        r.nodes_expanded,
        r.nodes_generated,
        r.nodes_reopened,
        r.max_frontier_size,
        r.elapsed,
        r.stop_reason,
        r.trace,
        r.tree,
        repr(r),
    )


def h_ok(node, goal):
    return 0.0


def lazy_cycle():
    # A list read from the result can hold the result; the collector frees both.
    r = wn.search_grid(wn.sample_maze("wall"))
    r.trace.append(r)
    r.tree.append(r.trace)


SP = wn.bellman_ford(4, [(0, 1, 1.0), (1, 2, -3.0), (2, 0, 1.0), (2, 3, 1.0)], 0)
AP = wn.floyd_warshall(5, [(0, 1, 1.0), (1, 2, 2.0), (0, 2, 5.0), (2, 3, 1.0)])
SUCCESS = [
    *[
        (f"{d} {a}", lambda d=d, a=a: touch(PROBLEMS[d][0](a, depth_limit=8)))
        for d in PROBLEMS
        for a in ("astar", "dls", "ida_star", "beam", "bidirectional")
    ],
    *[
        (f"{d} callable", lambda d=d: touch(PROBLEMS[d][0]("astar", heuristic=h_ok)))
        for d in PROBLEMS
    ],
    ("record off", lambda: wn.search_grid(wn.sample_maze("wall"), "bfs", record=False)),
    ("trace only", lambda: wn.search_grid(wn.sample_maze("wall")).trace),
    ("tree only", lambda: wn.search_grid(wn.sample_maze("wall")).tree),
    ("lazy cycle", lazy_cycle),
    (
        "shortest paths",
        lambda: (
            SP.source,
            SP.dist,
            SP.pred,
            repr(SP),
            SP.path_to(3),
            SP.path_to(target=1),
            SP.path_to(99),
        ),
    ),
    (
        "all pairs",
        lambda: (
            AP.num_nodes,
            repr(AP),
            AP.matrix(),
            AP.distance(0, 4),
            AP.path(0, 3),
            AP.path(from_=4, to=0),
            wn.floyd_warshall(3, []),
        ),
    ),
    (
        "generators",
        lambda: (
            wn.gen_erdos_renyi(30, 0.2, 7),
            wn.gen_barabasi_albert(30, 3, 7),
            wn.gen_watts_strogatz(30, 4, 0.3, 7),
            wn.random_maze_ascii(9, 5, 0.3, 1),
            wn.sample_maze("open"),
            wn.bellman_ford(3, [(0, 1, 1.0)], 0),
        ),
    ),
]


def test_success_paths_do_not_leak():
    assert_flat([(call, None) for _, call in SUCCESS], [SP, AP, h_ok], budget=0.02)


def test_failure_paths_of_the_bad_input_table_do_not_leak():
    # Not the sizes beyond the machine: some of those build natively first.
    assert_flat([(call, exc) for call, exc, _ in CASES if exc is not MemoryError], [wn.search_grid])


def test_callables_are_released_after_success_and_failure():
    succ, bad = Counted(lambda s: [(s + 1, 1.0)] if s < 5 else []), Counted(lambda s, g: None)
    assert_flat(
        [
            (lambda: wn.search_implicit(succ, 0, 5, heuristic=h_ok), None),
            (lambda: wn.search_implicit(succ, 0, 5, heuristic=bad), ValueError),
        ],
        [succ, bad, h_ok],
    )


def test_grid_batches_release_their_shared_cells():
    import wayloom

    grid = wayloom.Grid("\n".join(["." * 30] * 20), diagonal=True).preprocess()
    pairs = [((r, 0), (19 - r, 29)) for r in range(20)] * 3
    assert_flat([(lambda: grid.search_many(pairs, algorithm="jps"), None)])
