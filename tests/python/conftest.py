"""Shared test setup: hypothesis profiles ("ci", the default, always tries the
same examples; WAYLOOM_FUZZ=long tries many more), networkx oracles, helpers,
and the one-problem-per-entry-point table the other files draw on."""

import math
import os
import pathlib
import shutil
import sys

import pytest
import wayloom_native as wn
from hypothesis import HealthCheck, settings

_quiet = [HealthCheck.too_slow, HealthCheck.filter_too_much, HealthCheck.data_too_large]
settings.register_profile(
    "ci",
    max_examples=150,
    deadline=None,
    derandomize=True,
    suppress_health_check=_quiet,
    print_blob=True,
)
settings.register_profile(
    "long", max_examples=5000, deadline=None, suppress_health_check=_quiet, print_blob=True
)
settings.load_profile(os.environ.get("WAYLOOM_FUZZ", "ci"))

# The benchmark data sits beside the checkout (WAYLOOM_DATA points elsewhere).
DATA = pathlib.Path(
    os.environ.get("WAYLOOM_DATA")
    or pathlib.Path(__file__).resolve().parents[3] / "shared" / "data"
)
needs_data = pytest.mark.skipif(not DATA.is_dir(), reason="benchmark data not available")
# Ctrl-C is sent as SIGINT, which Windows cannot deliver to a process (os.kill
# ends it instead).
needs_sigint = pytest.mark.skipif(sys.platform == "win32", reason="no SIGINT on Windows")
SQRT2 = 1.4142135623730951
ALGORITHM_LIST = (
    "bfs, dfs, ucs, dijkstra, greedy, astar, weighted_astar, iddfs, dls, ida_star, "
    "beam, bidirectional"
)
BAD_H = "the heuristic callable must return a float"
BAD_PAIRS = "successors must return a list of (state, cost) pairs"
BAD_STATE = "implicit-graph states must be an int or a sequence of ints"
HEURISTIC_TYPE = "heuristic must be a name (str) or a callable h(node, goal) -> float"
BEST_FIRST = ["bfs", "dfs", "ucs", "dijkstra", "greedy", "astar", "a*", "weighted_astar", "wastar"]
STRATEGIES = ["dls", "iddfs", "ida_star", "beam", "bidirectional"]


def raises(exc, call):
    """The text of the exception `call` raises, which must be exactly `exc`."""
    with pytest.raises(exc) as info:
        call()
    assert type(info.value) is exc
    return str(info.value) if exc is not wn.PanicException else info.value.args[0]


def counters(r):
    return (r.nodes_expanded, r.nodes_generated, r.max_frontier_size)


def summary(r):  # every field but the time
    return (
        r.path,
        r.cost,
        r.stop_reason,
        r.nodes_expanded,
        r.nodes_generated,
        r.nodes_reopened,
        r.max_frontier_size,
        r.trace,
        r.tree,
    )


class Counted:  # a callable that counts its calls
    def __init__(self, fn):
        self.fn, self.calls = fn, 0

    def __call__(self, *args):
        self.calls += 1
        return self.fn(*args)


def raiser(exc):
    def fn(*_):
        raise exc

    return fn


def chain(s):  # 0 -> 1 -> 2 -> ...
    return [(s + 1, 1.0)]


def nx_graph(n, edges, directed):
    """The graph of an edge list, keeping the cheapest of parallel edges."""
    import networkx as nx

    g = nx.DiGraph() if directed else nx.Graph()
    g.add_nodes_from(range(n))
    for u, v, w in edges:
        if not g.has_edge(u, v) or g[u][v]["weight"] > w:
            g.add_edge(u, v, weight=w)
    return g


def grid_graph(rows, diagonal):
    """The grid's move rules as a networkx digraph: entering a cell costs its
    terrain (times sqrt 2 diagonally); a diagonal never cuts a corner."""
    import networkx as nx

    h, w = len(rows), max(len(r) for r in rows)

    def open_(r, c):
        return 0 <= r < h and 0 <= c < len(rows[r]) and 0 < rows[r][c] < math.inf

    g = nx.DiGraph()
    g.add_nodes_from((r, c) for r in range(h) for c in range(w) if open_(r, c))
    for r, c in list(g):
        for dr, dc in ((-1, 0), (1, 0), (0, -1), (0, 1), (-1, -1), (-1, 1), (1, -1), (1, 1)):
            straight = not (dr and dc) or (diagonal and open_(r + dr, c) and open_(r, c + dc))
            if open_(r + dr, c + dc) and straight:
                g.add_edge(
                    (r, c),
                    (r + dr, c + dc),
                    weight=rows[r + dr][c + dc] * (SQRT2 if dr and dc else 1.0),
                )
    return g


def walk_cost(g, path):
    """The cost of walking `path` in `g`; every step must be an edge."""
    assert all(g.has_edge(a, b) for a, b in zip(path, path[1:])), path
    return sum(g[a][b]["weight"] for a, b in zip(path, path[1:]))


GRAPH_EDGES = [
    (0, 1, 1.0),
    (1, 2, 1.0),
    (2, 5, 1.0),
    (0, 3, 2.0),
    (3, 4, 0.5),
    (4, 5, 0.5),
    (1, 4, 4.0),
]
LADDER_WORDS = ["cold", "cord", "card", "ward", "warm", "word", "worm", "wore", "core"]


def _slide(a, b):
    diff = [i for i in range(len(a)) if a[i] != b[i]]
    return (
        len(diff) == 2
        and 0 in (a[diff[0]], a[diff[1]])
        and abs(diff[0] // 3 - diff[1] // 3) + abs(diff[0] % 3 - diff[1] % 3) == 1
    )


def _disk_move(a, b):
    moved = [d for d in range(len(a)) if a[d] != b[d]]
    # One disk moves, and it is the top of both pegs.
    return len(moved) == 1 and all(a[d] not in (a[moved[0]], b[moved[0]]) for d in range(moved[0]))


# name: (call(algorithm, **kw), start, goal, optimal cost, legal-step test)
PROBLEMS = {
    "graph": (
        lambda a, **kw: wn.search_graph(6, GRAPH_EDGES, 0, 5, a, **kw),
        0,
        5,
        3.0,
        lambda a, b: any({a, b} == {u, v} for u, v, _ in GRAPH_EDGES),
    ),
    "grid": (
        lambda a, **kw: wn.search_grid("S..#\n.#..\n...G", a, **kw),
        (0, 0),
        (2, 3),
        5.0,
        lambda a, b: abs(a[0] - b[0]) + abs(a[1] - b[1]) == 1,
    ),
    "grid_costs": (
        lambda a, **kw: wn.search_grid_costs(
            [[1, 9, 1], [1, 0, 1], [1, 1, 1]], (0, 0), (0, 2), a, **kw
        ),
        (0, 0),
        (0, 2),
        6.0,
        lambda a, b: abs(a[0] - b[0]) + abs(a[1] - b[1]) == 1,
    ),
    "implicit": (
        lambda a, **kw: wn.search_implicit(
            lambda s: [(t, 1.0) for t in (s - 3, s - 1, s + 1, s + 3) if 0 <= t <= 7], 0, 7, a, **kw
        ),
        0,
        7,
        3.0,
        lambda a, b: abs(b - a) in (1, 3),
    ),
    "npuzzle": (
        lambda a, **kw: wn.search_npuzzle([1, 2, 3, 0, 4, 6, 7, 5, 8], a, **kw),
        (1, 2, 3, 0, 4, 6, 7, 5, 8),
        (1, 2, 3, 4, 5, 6, 7, 8, 0),
        3.0,
        _slide,
    ),
    "hanoi": (lambda a, **kw: wn.search_hanoi(2, a, **kw), (0, 0), (2, 2), 3.0, _disk_move),
    "wordladder": (
        lambda a, **kw: wn.search_wordladder("COLD", "warm", LADDER_WORDS, a, **kw),
        "cold",
        "warm",
        4.0,
        lambda a, b: sum(x != y for x, y in zip(a, b)) == 1,
    ),
}


@pytest.fixture(scope="module")
def browser():
    """The system's headless Chromium (playwright never downloads a browser)."""
    sync_api = pytest.importorskip("playwright.sync_api", reason="playwright is not installed")
    exe = shutil.which("chromium") or shutil.which("chromium-browser")
    if exe is None:
        pytest.skip("no Chromium on this machine (scripts/test.sh installs Debian's chromium)")
    with sync_api.sync_playwright() as p:
        b = p.chromium.launch(executable_path=exe, args=["--no-sandbox"])
        yield b
        b.close()
