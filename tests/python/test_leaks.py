"""Reference and memory hygiene: every entry point, on success and on each
failure path, called thousands of times, must leave the reference counts of
its arguments, the number of live objects, Python-heap memory (tracemalloc)
and native heap memory (malloc statistics) where they were."""

import ctypes
import gc
import sys
import tracemalloc

import pytest

import wayloom_native as wn


class _Mallinfo2(ctypes.Structure):
    _fields_ = [
        (name, ctypes.c_size_t)
        for name in (
            "arena", "ordblks", "smblks", "hblks", "hblkhd",
            "usmblks", "fsmblks", "uordblks", "fordblks", "keepcost",
        )
    ]


_mallinfo2 = getattr(ctypes.CDLL(None), "mallinfo2", None)
if _mallinfo2 is not None:
    _mallinfo2.restype = _Mallinfo2


def native_bytes():
    """Bytes in use in the C heap (glibc); None where that cannot be asked."""
    if _mallinfo2 is None:
        return None
    m = _mallinfo2()
    return m.uordblks + m.hblkhd


# A leak of one small object per call over half the calls is far above these.
PY_SLACK = 48 * 1024
NATIVE_SLACK = 96 * 1024
OBJECT_SLACK = 20


def repeat(call, exc, count):
    if exc is None:
        for _ in range(count):
            call()
    else:
        for _ in range(count):
            try:
                call()
            except exc:
                pass
            else:
                raise AssertionError(f"expected {exc.__name__}")


def assert_flat(call, exc=None, count=10_000, watched=()):
    watched = list(watched) + [wn.SearchResult, wn.ShortestPaths, wn.AllPairs, wn.PanicException]
    repeat(call, exc, max(count // 10, 20))  # warm-up: caches, free lists, arenas
    gc.collect()
    refs = [sys.getrefcount(o) for o in watched]
    objects = len(gc.get_objects())
    half = max(count // 2, 1)
    tracemalloc.start()
    try:
        repeat(call, exc, half)
        gc.collect()
        py_a, native_a = tracemalloc.get_traced_memory()[0], native_bytes()
        repeat(call, exc, half)
        gc.collect()
        py_b, native_b = tracemalloc.get_traced_memory()[0], native_bytes()
    finally:
        tracemalloc.stop()
    gc.collect()
    assert [sys.getrefcount(o) for o in watched] == refs, "argument reference counts changed"
    assert len(gc.get_objects()) - objects <= OBJECT_SLACK, "live objects accumulate"
    assert py_b - py_a <= PY_SLACK, f"Python heap grew by {py_b - py_a} bytes"
    if native_a is not None:
        assert native_b - native_a <= NATIVE_SLACK, f"C heap grew by {native_b - native_a} bytes"


def touch(r):
    """Reads everything a result has, converting trace and tree."""
    return (r.path, r.cost, r.found, r.nodes_expanded, r.nodes_generated, r.nodes_reopened,
            r.max_frontier_size, r.elapsed, r.stop_reason, r.trace, r.tree, repr(r))


class Boom(Exception):
    pass


def h_ok(node, goal):
    return 0.0


def h_raises(node, goal):
    raise Boom("heuristic")


def h_junk(node, goal):
    return "junk"


def succ_ok(s):
    return [((s + 1) % 5, 1.0), ((s + 2) % 5, 3.0)]


def succ_raises(s):
    raise KeyError(s)


def succ_lists(s):
    return [[s + 1, 1.0]]


def succ_bad_state(s):
    return [("ab", 1.0)]


WALL = wn.sample_maze("wall")
NO_START = "..#\n..G"
COSTS = [[1.0, 2.5, 1.0], [1.0, 0.0, 1.5], [3.0, 1.0, 1.0]]
EDGES = [(0, 1, 1.0), (1, 2, 2.0), (0, 2, 5.0), (2, 3, 1.0), (3, 4, 0.5)]
EDGES_LIST_ITEM = [(0, 1, 1.0), [1, 2, 2.0]]
EDGES_BAD_RANGE = [(0, 1, 1.0), (1, 9, 1.0)]
NEG_CYCLE = [(0, 1, 1.0), (1, 2, -3.0), (2, 0, 1.0)]
TILES = [1, 2, 3, 4, 0, 6, 7, 5, 8]
UNSOLVABLE = [1, 2, 3, 4, 5, 6, 8, 7, 0]
NOT_PERM = [1, 1, 3, 4, 5, 6, 7, 8, 0]
WORDS = ["cold", "cord", "card", "ward", "warm", "word", "worm", "CORD"]
WORDS_UNICODE = ["ÇOLD", "çord", "cΣrd", "ward"]
START, GOAL, BAD_CELL, CELL_LIST = (0, 0), (2, 2), (1, 1), [0, 0]
LONG_LINES = "S" + "." * 50000 + "\n" * 50000 + "G"

PATHS = [
    # search_grid
    ("grid", lambda: touch(wn.search_grid(WALL)), None, 10_000, [WALL]),
    ("grid record off", lambda: wn.search_grid(WALL, algorithm="bfs", record=False), None, 10_000, [WALL]),
    ("grid strategies", lambda: [touch(wn.search_grid(WALL, algorithm=a, depth_limit=25))
                                 for a in ("dls", "ida_star", "beam", "bidirectional")],
     None, 1_000, [WALL]),
    ("grid callable", lambda: touch(wn.search_grid(WALL, heuristic=h_ok)), None, 3_000, [WALL, h_ok]),
    ("grid callable raises", lambda: wn.search_grid(WALL, heuristic=h_raises), ValueError, 10_000,
     [WALL, h_raises]),
    ("grid callable junk", lambda: wn.search_grid(WALL, heuristic=h_junk), ValueError, 10_000, [h_junk]),
    ("grid no start", lambda: wn.search_grid(NO_START), ValueError, 10_000, [NO_START]),
    ("grid heuristic name", lambda: wn.search_grid(WALL, heuristic="Manhattan"), ValueError, 10_000, [WALL]),
    ("grid algorithm", lambda: wn.search_grid(WALL, algorithm="A*"), ValueError, 10_000, [WALL]),
    ("grid dls no limit", lambda: wn.search_grid(WALL, algorithm="dls"), ValueError, 10_000, [WALL]),
    ("grid heuristic type", lambda: wn.search_grid(WALL, heuristic=3), ValueError, 10_000, [WALL]),
    ("grid record type", lambda: wn.search_grid(WALL, record=1), TypeError, 10_000, [WALL]),
    ("grid map type", lambda: wn.search_grid(COSTS), TypeError, 10_000, [COSTS]),
    ("grid max_nodes", lambda: wn.search_grid(WALL, max_nodes=-1), OverflowError, 10_000, [WALL]),
    ("grid binding", lambda: wn.search_grid(WALL, x=1), TypeError, 10_000, [WALL]),
    ("grid too large", lambda: wn.search_grid(LONG_LINES), wn.PanicException, 300, [LONG_LINES]),
    # search_grid_costs
    ("costs", lambda: touch(wn.search_grid_costs(COSTS, START, GOAL, diagonal=True)), None, 10_000,
     [COSTS, START, GOAL]),
    ("costs empty", lambda: wn.search_grid_costs([], START, GOAL), ValueError, 10_000, [START]),
    ("costs empty rows", lambda: wn.search_grid_costs([[], []], START, GOAL), wn.PanicException,
     10_000, [START]),
    ("costs wall start", lambda: wn.search_grid_costs(COSTS, BAD_CELL, GOAL), ValueError, 10_000,
     [COSTS, BAD_CELL]),
    ("costs list cell", lambda: wn.search_grid_costs(COSTS, CELL_LIST, GOAL), TypeError, 10_000,
     [COSTS, CELL_LIST]),
    ("costs cell length", lambda: wn.search_grid_costs(COSTS, (0, 0, 0), GOAL), ValueError, 10_000,
     [COSTS]),
    ("costs junk value", lambda: wn.search_grid_costs([[1.0, "x"]], START, GOAL), TypeError, 10_000, []),
    # search_graph
    ("graph", lambda: touch(wn.search_graph(5, EDGES, 0, 4, algorithm="dijkstra")), None, 10_000,
     [EDGES] + EDGES),
    ("graph callable", lambda: touch(wn.search_graph(5, EDGES, 0, 4, algorithm="astar", heuristic=h_ok)),
     None, 10_000, [EDGES, h_ok]),
    ("graph callable raises", lambda: wn.search_graph(5, EDGES, 0, 4, heuristic=h_raises), ValueError,
     10_000, [EDGES, h_raises]),
    ("graph start", lambda: wn.search_graph(5, EDGES, 0, 5), ValueError, 10_000, [EDGES]),
    ("graph edge range", lambda: wn.search_graph(5, EDGES_BAD_RANGE, 0, 1), ValueError, 10_000,
     [EDGES_BAD_RANGE]),
    ("graph edge list", lambda: wn.search_graph(5, EDGES_LIST_ITEM, 0, 1), TypeError, 10_000,
     [EDGES_LIST_ITEM] + EDGES_LIST_ITEM),
    ("graph negative", lambda: wn.search_graph(-5, EDGES, 0, 1), OverflowError, 10_000, [EDGES]),
    ("graph heuristic name", lambda: wn.search_graph(5, EDGES, 0, 1, heuristic="manhattan"), ValueError,
     10_000, [EDGES]),
    ("graph too large", lambda: wn.search_graph(10**15, EDGES, 0, 1), MemoryError, 10_000, [EDGES]),
    # search_implicit
    ("implicit", lambda: touch(wn.search_implicit(succ_ok, 0, 4, algorithm="bfs")), None, 10_000,
     [succ_ok]),
    ("implicit heuristic", lambda: touch(wn.search_implicit(succ_ok, (0,), 4, heuristic=h_ok)), None,
     10_000, [succ_ok, h_ok]),
    ("implicit raises", lambda: wn.search_implicit(succ_raises, 0, 4), KeyError, 10_000, [succ_raises]),
    ("implicit pairs", lambda: wn.search_implicit(succ_lists, 0, 4), ValueError, 10_000, [succ_lists]),
    ("implicit state", lambda: wn.search_implicit(succ_bad_state, 0, 4), ValueError, 10_000,
     [succ_bad_state]),
    ("implicit start", lambda: wn.search_implicit(succ_ok, "ab", 4), ValueError, 10_000, [succ_ok]),
    ("implicit heuristic raises", lambda: wn.search_implicit(succ_ok, 0, 4, heuristic=h_raises),
     ValueError, 10_000, [succ_ok, h_raises]),
    ("implicit not callable", lambda: wn.search_implicit(3, 0, 4), TypeError, 10_000, []),
    # search_npuzzle
    ("npuzzle", lambda: touch(wn.search_npuzzle(TILES)), None, 10_000, [TILES]),
    ("npuzzle callable", lambda: touch(wn.search_npuzzle(TILES, heuristic=h_ok, goal=TILES)), None,
     10_000, [TILES, h_ok]),
    ("npuzzle callable raises", lambda: wn.search_npuzzle(TILES, heuristic=h_raises), ValueError,
     10_000, [TILES, h_raises]),
    ("npuzzle unsolvable", lambda: wn.search_npuzzle(UNSOLVABLE), ValueError, 10_000, [UNSOLVABLE]),
    ("npuzzle permutation", lambda: wn.search_npuzzle(NOT_PERM), ValueError, 10_000, [NOT_PERM]),
    ("npuzzle length", lambda: wn.search_npuzzle(TILES[:8]), ValueError, 10_000, []),
    ("npuzzle str", lambda: wn.search_npuzzle("123"), TypeError, 10_000, []),
    ("npuzzle heuristic name", lambda: wn.search_npuzzle(TILES, heuristic="hamming"), ValueError,
     10_000, [TILES]),
    # search_hanoi
    ("hanoi", lambda: touch(wn.search_hanoi(3)), None, 10_000, []),
    ("hanoi callable", lambda: touch(wn.search_hanoi(2, heuristic=h_ok, pegs=4)), None, 10_000, [h_ok]),
    ("hanoi disks", lambda: wn.search_hanoi(0), ValueError, 10_000, []),
    ("hanoi pegs", lambda: wn.search_hanoi(3, pegs=2), ValueError, 10_000, []),
    ("hanoi too many pegs", lambda: wn.search_hanoi(3, pegs=17), wn.PanicException, 10_000, []),
    ("hanoi too many disks", lambda: wn.search_hanoi(10**12), MemoryError, 10_000, []),
    # search_wordladder
    ("ladder", lambda: touch(wn.search_wordladder("COLD", "warm", WORDS)), None, 10_000,
     [WORDS] + WORDS),
    ("ladder unicode", lambda: touch(wn.search_wordladder("ÇOLD", "çord", WORDS_UNICODE)), None, 10_000,
     [WORDS_UNICODE] + WORDS_UNICODE),
    ("ladder callable raises", lambda: wn.search_wordladder("cold", "warm", WORDS, heuristic=h_raises),
     ValueError, 10_000, [WORDS, h_raises]),
    ("ladder lengths", lambda: wn.search_wordladder("cold", "warmer", WORDS), ValueError, 10_000, [WORDS]),
    ("ladder heuristic name", lambda: wn.search_wordladder("cold", "warm", WORDS, heuristic="x"),
     ValueError, 10_000, [WORDS]),
    ("ladder word type", lambda: wn.search_wordladder("cold", "warm", ["cord", 3]), TypeError, 10_000, []),
    # generators, mazes
    ("erdos_renyi", lambda: wn.gen_erdos_renyi(30, 0.2, 7), None, 3_000, []),
    ("erdos_renyi too large", lambda: wn.gen_erdos_renyi(10**12, 1.0, 7), MemoryError, 10_000, []),
    ("erdos_renyi seed", lambda: wn.gen_erdos_renyi(30, 0.2, -1), OverflowError, 10_000, []),
    ("barabasi_albert", lambda: wn.gen_barabasi_albert(30, 3, 7), None, 3_000, []),
    ("barabasi_albert panic", lambda: wn.gen_barabasi_albert(3, 3, 7), wn.PanicException, 10_000, []),
    ("watts_strogatz", lambda: wn.gen_watts_strogatz(30, 4, 0.3, 7), None, 3_000, []),
    ("watts_strogatz panic", lambda: wn.gen_watts_strogatz(30, 3, 0.3, 7), wn.PanicException, 10_000, []),
    ("sample_maze", lambda: wn.sample_maze("open"), None, 10_000, []),
    ("sample_maze unknown", lambda: wn.sample_maze("Open"), ValueError, 10_000, []),
    ("random_maze", lambda: wn.random_maze_ascii(20, 10, 0.3, 7), None, 10_000, []),
    ("random_maze panic", lambda: wn.random_maze_ascii(0, 10, 0.3, 7), wn.PanicException, 10_000, []),
    ("random_maze too large", lambda: wn.random_maze_ascii(10**5, 10**5, 0.3, 7), wn.PanicException,
     10_000, []),
    # shortest paths
    ("bellman_ford", lambda: wn.bellman_ford(5, EDGES, 0), None, 10_000, [EDGES] + EDGES),
    ("bellman_ford source", lambda: wn.bellman_ford(5, EDGES, 5), ValueError, 10_000, [EDGES]),
    ("bellman_ford edges", lambda: wn.bellman_ford(5, EDGES_LIST_ITEM, 0), TypeError, 10_000,
     [EDGES_LIST_ITEM]),
    ("bellman_ford too large", lambda: wn.bellman_ford(10**15, EDGES, 0), MemoryError, 10_000, [EDGES]),
    ("floyd_warshall", lambda: wn.floyd_warshall(5, EDGES, undirected=True), None, 10_000, [EDGES]),
    ("floyd_warshall edges", lambda: wn.floyd_warshall(5, EDGES_BAD_RANGE), ValueError, 10_000,
     [EDGES_BAD_RANGE]),
    ("floyd_warshall too large", lambda: wn.floyd_warshall(10**6, EDGES), MemoryError, 10_000, [EDGES]),
]


@pytest.mark.parametrize("name, call, exc, count, watched", PATHS, ids=[p[0] for p in PATHS])
def test_entry_point_paths_do_not_leak(name, call, exc, count, watched):
    assert_flat(call, exc, count, watched)


SP = wn.bellman_ford(4, NEG_CYCLE + [(2, 3, 1.0)], 0)
AP = wn.floyd_warshall(5, EDGES)
TARGET = 10**30

CLASS_PATHS = [
    ("sp attributes", lambda: (SP.source, SP.dist, SP.pred, SP.negative_cycle, repr(SP)), None),
    ("sp path_to", lambda: (SP.path_to(3), SP.path_to(target=1), SP.path_to(99)), None),
    ("sp path_to type", lambda: SP.path_to("1"), TypeError),
    ("sp path_to overflow", lambda: SP.path_to(TARGET), OverflowError),
    ("sp path_to binding", lambda: SP.path_to(1, 2), TypeError),
    ("ap attributes", lambda: (AP.num_nodes, AP.negative_cycle, repr(AP), AP.matrix()), None),
    ("ap distance and path", lambda: (AP.distance(0, 4), AP.distance(9, 9), AP.path(0, 4),
                                      AP.path(from_=4, to=0)), None),
    ("ap distance type", lambda: AP.distance(0, 1.5), TypeError),
    ("ap path overflow", lambda: AP.path(-1, 0), OverflowError),
    ("ap matrix binding", lambda: AP.matrix(1), TypeError),
    ("sp constructor", lambda: wn.ShortestPaths(), TypeError),
    ("ap setattr", lambda: setattr(AP, "num_nodes", 3), AttributeError),
    ("result constructor", lambda: wn.SearchResult(), TypeError),
]


@pytest.mark.parametrize("name, call, exc", CLASS_PATHS, ids=[p[0] for p in CLASS_PATHS])
def test_result_classes_do_not_leak(name, call, exc):
    assert_flat(call, exc, 10_000, [SP, AP, TARGET])


def lazy_trace_only():
    return wn.search_grid(WALL).trace


def lazy_tree_only():
    return wn.search_grid(WALL).tree


def lazy_neither():
    return wn.search_grid(WALL).path


def lazy_cycle():
    # A list read from the result can be made to hold the result itself; the
    # collector must still be able to free both.
    r = wn.search_grid(WALL)
    r.trace.append(r)
    r.tree.append(r.trace)


def lazy_repeated_reads():
    r = wn.search_implicit(succ_ok, 0, 4)
    assert r.trace is r.trace and r.tree is r.tree


@pytest.mark.parametrize("call", [lazy_trace_only, lazy_tree_only, lazy_neither, lazy_cycle,
                                  lazy_repeated_reads])
def test_lazy_trace_and_tree_do_not_leak(call):
    assert_flat(call, None, 10_000, [WALL])


def test_cycle_through_a_result_is_collected():
    r = wn.search_grid(WALL)
    r.trace.append(r)
    gc.collect()
    objects = len(gc.get_objects())
    del r
    assert gc.collect() > 0
    assert len(gc.get_objects()) < objects
