"""Bad input, one table: each row is a call, the exact exception type and its
exact text (a text ending in "…" is a prefix). Rows where several things are
wrong pin the order of the checks. Sizes beyond the machine must be refused at
once, before anything is allocated."""

import os
import time

import pytest
import wayloom_native as wn
from conftest import (
    ALGORITHM_LIST,
    BAD_H,
    BAD_PAIRS,
    BAD_STATE,
    HEURISTIC_TYPE,
    PROBLEMS,
    Counted,
    chain,
    raiser,
    raises,
)
from wayloom import TilePuzzle

V, T, O, M, P = ValueError, TypeError, OverflowError, MemoryError, wn.PanicException
SG, CHAIN = "S.G", [(0, 1, 1.0), (1, 2, 1.0)]
GOAL8 = [1, 2, 3, 4, 5, 6, 7, 8, 0]
PHYS = os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE")
TWICE_RAM = lambda per_node: 2 * PHYS // per_node + 1  # noqa: E731
GRID_H = (
    "unknown heuristic: '{}'. Available: zero, manhattan, euclidean, octile, or a callable "
    "h(node, goal) -> float"
)
NPUZZLE_H = (
    "unknown npuzzle heuristic: '{}'. Use manhattan, misplaced, zero, or a callable "
    "h(state, goal) -> float"
)
PERM9 = "tiles must be a permutation of 0..8 (0 = blank)"
SQUARE = "tiles length must be a non-zero perfect square (9, 16, 25, \u2026)"
TOO_BIG = "tiles length must be at most 256 (boards up to 16\u00d716)"
PARITY = "this configuration is not solvable into the goal (parity)"
CELLS = "start and goal must be in-bounds, non-wall cells"
NODES = "start and goal must be < num_nodes"
NO_SG = "the ASCII map must contain a start 'S' and a goal 'G'"
HUGE_MAP = "grid too large: 50001\u00d750001 = 2500100001 cells (max 2147483647)"


class Index:
    """An int-like object that is not an int (index protocol only)."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


def g(**kw):
    """search_graph on a 3-node chain, with some arguments replaced."""
    args = {"num_nodes": 3, "edges": CHAIN, "start": 0, "goal": 2, **kw}
    return lambda: wn.search_graph(**args)


def costs(c, start=(0, 0), goal=(0, 1), **kw):
    return lambda: wn.search_grid_costs(c, start, goal, **kw)


def imp(result=None, start=0, goal=3, **kw):
    return lambda: wn.search_implicit(lambda s: result, start, goal, "bfs", **kw)


CASES = [
    # argument binding, in the interpreter's words
    (lambda: wn.search_grid(), T, "search_grid() missing 1 required positional argument: 'map'"),
    (lambda: wn.search_grid(SG, x=1), T, "search_grid() got an unexpected keyword argument 'x'"),
    (lambda: wn.search_grid(SG, map=SG), T, "search_grid() got multiple values for argument 'map'"),
    (
        lambda: wn.search_grid(SG, "astar", None, True, 2.0, None, None, None, False, False, 1),
        T,
        "search_grid() takes from 1 to 10 positional arguments but 11 were given",
    ),
    (
        lambda: wn.search_graph(3, CHAIN),
        T,
        "search_graph() missing 2 required positional arguments: 'start' and 'goal'",
    ),
    (
        lambda: wn.search_graph(),
        T,
        "search_graph() missing 4 required positional arguments: "
        "'num_nodes', 'edges', 'start', and 'goal'",
    ),
    (
        lambda: wn.sample_maze("open", "wall"),
        T,
        "sample_maze() takes 1 positional argument but 2 were given",
    ),
    (
        lambda: wn.floyd_warshall(2, []).matrix(1),
        T,
        "matrix() takes 0 positional arguments but 1 was given",
    ),
    # conversions: bools are strict, ints go through __index__ and refuse floats
    *[
        (
            lambda n=n, v=v: wn.search_grid(SG, **{n: v}),
            T,
            f"argument '{n}': expected bool (True or False), got {type(v).__name__}",
        )
        for n in ("record", "reopen", "diagonal")
        for v in (1, None, "True", 1.0)
    ],
    (g(undirected=1), T, "argument 'undirected': expected bool (True or False), got int"),
    *[
        (g(**{k: 3.0}), T, f"argument '{k}': expected int, got float")
        for k in ("num_nodes", "start", "goal", "max_nodes", "depth_limit", "beam_width")
    ],
    (g(edges=[(0.0, 1, 1.0)]), T, "argument 'edges': expected int, got float"),
    *[
        (g(**{k: -1}), O, f"argument '{k}': can't convert negative int to unsigned")
        for k in ("num_nodes", "start", "max_nodes", "depth_limit", "beam_width")
    ],
    (g(goal=Index(-2)), O, "argument 'goal': can't convert negative int to unsigned"),
    (g(max_nodes=2**64), O, "argument 'max_nodes': int too big to convert"),
    (g(edges=[(0, -1, 1.0)]), O, "argument 'edges': can't convert negative int to unsigned"),
    (
        costs([[1.0, 1.0]], (2**31, 0)),
        O,
        "argument 'start': int out of range for a 32-bit signed integer",
    ),
    (
        costs([[1.0, 1.0]], (0, 0), (0, -(2**31) - 1)),
        O,
        "argument 'goal': int out of range for a 32-bit signed integer",
    ),
    (costs([[1.0, 1.0]], (0.0, 0)), T, "argument 'start': expected int, got float"),
    (lambda: wn.search_grid(SG, weight="2"), T, "argument 'weight': must be real number, not str"),
    (
        lambda: wn.search_grid(SG, weight=10**400),
        O,
        "argument 'weight': int too large to convert to float",
    ),
    (lambda: wn.search_grid(5), T, "argument 'map': expected str, got int"),
    (g(edges="abc"), T, "argument 'edges': expected a sequence, got str"),
    (g(edges=(e for e in CHAIN)), T, "argument 'edges': expected a sequence, got generator"),
    (g(edges=[[0, 1, 1.0]]), T, "argument 'edges': expected tuple, got list"),
    (g(edges=[(0, 1, 1.0), (1, 2)]), V, "expected tuple of length 3, but got tuple of length 2"),
    (costs(["11"]), T, "argument 'costs': expected a sequence, got str"),
    (costs([[1.0, "x"]]), T, "argument 'costs': must be real number, not str"),
    (costs([[1.0, 1.0]], [0, 0]), T, "argument 'start': expected tuple, got list"),
    (costs([[1.0, 1.0]], (0, 0, 0)), V, "expected tuple of length 2, but got tuple of length 3"),
    *[
        (lambda b=b: wn.search_grid(SG, heuristic=b), V, HEURISTIC_TYPE)
        for b in (3, 2.5, b"zero", ["zero"])
    ],
    # grid and graph validations, in order
    *[(lambda t=t: wn.search_grid(t, "nope", heuristic="nope"), V, NO_SG) for t in ("", "s.g")],
    *[
        (lambda n=n: wn.search_grid(SG, "nope", heuristic=n), V, GRID_H.format(n))
        for n in ("Manhattan", " manhattan", "", "hamming")
    ],
    (lambda: wn.search_grid(SG, "nope", heuristic=3), V, HEURISTIC_TYPE),
    (costs([], (-1, 0), (9, 9), heuristic="x"), V, "costs must be a non-empty matrix"),
    *[
        (costs([[1.0, 0.0]], s, t, heuristic="x"), V, CELLS)
        for s, t in [((0, 0), (0, 1)), ((-1, 0), (0, 0)), ((0, 0), (1, 0)), ((0, 1), (0, 0))]
    ],
    (costs([[1.0, 1.0], [1.0]], (0, 0), (1, 1)), V, CELLS),  # a short row pads with walls
    (costs([[1.0, 1.0]], heuristic="x"), V, GRID_H.format("x")),
    (costs([[], []]), P, "cost grid must be non-empty"),
    (g(num_nodes=0, edges=[(5, 5, 1.0)], goal=0, algorithm="nope", heuristic="x"), V, NODES),
    (g(goal=3), V, NODES),
    (g(start=3), V, NODES),
    (
        g(edges=[(0, 1, 1.0), (7, 1, 1.0), (0, 9, 1.0)], heuristic="x"),
        V,
        "edge (7, 1) is out of range for a 3-node graph",
    ),
    (g(edges=[(0, 3, 1.0)]), V, "edge (0, 3) is out of range for a 3-node graph"),
    *[
        (
            g(algorithm="nope", heuristic=n),
            V,
            f"unknown graph heuristic: '{n}'. Use 'zero' or a callable h(node, goal) -> float",
        )
        for n in ("manhattan", "Zero", "")
    ],
    (lambda: wn.sample_maze("Open"), V, "unknown sample maze: 'Open'. Available: open, wall"),
    *[
        (
            lambda a=a: wn.search_grid(SG, a),
            V,
            f"unknown algorithm: '{a}'. Available: {ALGORITHM_LIST}",
        )
        for a in ("A*", "BFS", " bfs", "", "bfs\0", "a\u2605")
    ],
    (lambda: wn.search_grid(SG, "dls"), V, "'dls' requires depth_limit"),
    (lambda: wn.search_grid(SG, "dls", depth_limit=None), V, "'dls' requires depth_limit"),
    (lambda: wn.search_grid(SG, "DLS"), V, "unknown algorithm: 'DLS'. …"),
    # puzzles: size, permutation, goal, parity, heuristic, algorithm
    *[
        (lambda t=t: wn.search_npuzzle(t, "nope", "nope", goal=[1]), V, SQUARE)
        for t in ([], [1, 0], list(range(8)), list(range(10)))
    ],
    (lambda: wn.search_npuzzle(list(range(289))), V, TOO_BIG),
    (lambda: wn.search_npuzzle([7] * 324, goal=[1]), V, TOO_BIG),
    *[
        (lambda t=t: wn.search_npuzzle(t, goal=[0]), V, PERM9)
        for t in ([1, 2, 3, 4, 5, 6, 7, 8, 8], [1, 2, 3, 4, 5, 6, 7, 8, 9], [-1] + GOAL8[1:])
    ],
    (lambda: wn.search_npuzzle([0, 1, 2, 2]), V, "tiles must be a permutation of 0..3 (0 = blank)"),
    (
        lambda: wn.search_npuzzle(GOAL8, goal=list(range(8))),
        V,
        "goal must have the same length as tiles",
    ),
    (
        lambda: wn.search_npuzzle(GOAL8, goal=[1] * 9),
        V,
        "goal must be a permutation of 0..8 (0 = blank)",
    ),
    (lambda: wn.search_npuzzle([1, 2, 3, 4, 5, 6, 8, 7, 0], "nope", "nope"), V, PARITY),
    (lambda: wn.search_npuzzle(list(range(1, 14)) + [15, 14, 0], heuristic=3), V, PARITY),
    (lambda: wn.search_npuzzle([1, 0, 2, 3], goal=[0, 2, 1, 3]), V, PARITY),
    *[
        (lambda n=n: wn.search_npuzzle(GOAL8, "nope", n), V, NPUZZLE_H.format(n))
        for n in ("Manhattan", "", "hamming")
    ],
    (lambda: wn.search_npuzzle(GOAL8, "nope", 3), V, HEURISTIC_TYPE),
    (lambda: wn.search_npuzzle([2**63, 0]), O, "argument 'tiles': int too big to convert"),
    # TilePuzzle: boards, goals and partitions are checked before any table is built
    *[
        (lambda t=t: TilePuzzle(3).search(t), V, text)
        for t, text in (
            (GOAL8[:8], "tiles has 8 cells; a 3\u00d73 board has 9"),
            ([1, 2, 3, 4, 5, 6, 7, 8, 8], "tiles: tile 8 appears 2 times and tile 0 is missing"),
            ([1, 2, 3, 4, 5, 6, 7, 8, 9], "tiles: tile 9 is not in 0..8 (0 = blank)"),
            ([1, 2, 3, 4, 5, 6, 8, 7, 0], "tiles is not solvable into the goal (parity)"),
        )
    ],
    (lambda: TilePuzzle(3, goal=[0] * 9), V, "goal: tile 0 appears 9 times and tile 1 is missing"),
    (
        lambda: TilePuzzle(4, patterns="6-6-2"),
        V,
        "unknown partition '6-6-2' for a 4\u00d74 board (named partitions: '6-6-3', '5-5-5', "
        "'7-8'); give the tile groups instead",
    ),
    (lambda: TilePuzzle(3, patterns=[[1, 2], [2, 3]]), V, "tile 2 is in groups 0 and group 1"),
    (lambda: TilePuzzle(3, patterns=[[1, 1]]), V, "tile 1 is twice in group 0"),
    (
        lambda: TilePuzzle(3, patterns=[[1, 2, 3, 4], [5, 6]]),
        V,
        "tiles 7, 8 are in no pattern group",
    ),
    (
        lambda: TilePuzzle(3, patterns=[[0, 1]]),
        V,
        "pattern group 0: 0 is not a tile of a 3\u00d73 board (1..8)",
    ),
    (lambda: TilePuzzle(3, patterns=[[]]), V, "pattern group 0 is empty"),
    (lambda: TilePuzzle(9), V, "side must be 2 to 8"),
    (lambda: wn.search_hanoi(0, "nope", "nope", pegs=2**64 - 1), V, "disks must be \u2265 1"),
    (lambda: wn.search_hanoi(3, "nope", "nope", pegs=2), V, "pegs must be \u2265 3"),
    (lambda: wn.search_hanoi(3, pegs=17), P, "pegs must be between 1 and 16, got 17"),
    (
        lambda: wn.search_hanoi(3, "nope", "Misplaced"),
        V,
        "unknown hanoi heuristic: 'Misplaced'. Use misplaced, zero, or a callable",
    ),
    (
        lambda: wn.search_wordladder("cold", "warmer", [], "nope", "nope"),
        V,
        "start and goal must have the same length",
    ),
    (
        lambda: wn.search_wordladder("\u00e9", "e", []),
        V,  # lengths in bytes: "é" is two
        "start and goal must have the same length",
    ),
    (
        lambda: wn.search_wordladder("cold", "warm", [], "nope", "Hamming"),
        V,
        "unknown wordladder heuristic: 'Hamming'. Use hamming, zero, or a callable",
    ),
    (
        lambda: wn.search_wordladder("cold", "warm", ["cord", 3]),
        T,
        "argument 'words': expected str, got int",
    ),
    # shortest paths and generators
    (lambda: wn.bellman_ford(3, [(0, 9, 1.0)], 5), V, "source must be < num_nodes"),
    (lambda: wn.bellman_ford(0, [], 0), V, "source must be < num_nodes"),
    (
        lambda: wn.bellman_ford(3, [(0, 1, 1.0), (3, 0, 1.0)], 0),
        V,
        "edge (3, 0) is out of range for a 3-node graph",
    ),
    (
        lambda: wn.floyd_warshall(0, [(0, 0, 1.0)]),
        V,
        "edge (0, 0) is out of range for a 0-node graph",
    ),
    (
        lambda: wn.bellman_ford(3, [], 0).path_to(-1),
        O,
        "argument 'target': can't convert negative int to unsigned",
    ),
    (
        lambda: wn.floyd_warshall(3, []).distance(0, 1.5),
        T,
        "argument 'to': expected int, got float",
    ),
    *[
        (lambda n=n, m=m: wn.gen_barabasi_albert(n, m, 1), P, "need n > m >= 1")
        for n, m in ((5, 0), (5, 5), (1, 1), (5, 10**15))
    ],
    *[
        (lambda n=n, k=k: wn.gen_watts_strogatz(n, k, 0.5, 1), P, "k must be even and < n")
        for n, k in ((10, 3), (10, 10), (0, 0), (10**12, 10**12))
    ],
    (lambda: wn.gen_erdos_renyi(3, 1.0, 2**64), O, "argument 'seed': int too big to convert"),
    *[
        (lambda w=w, h=h: wn.random_maze_ascii(w, h, 0.1, 1), P, "grid must be non-empty")
        for w, h in ((0, 5), (-1, 3))
    ],
    (
        lambda: wn.random_maze_ascii(100000, 100000, 0.1, 1),
        P,
        "grid too large: 100000\u00d7100000 = 10000000000 cells (max 2147483647)",
    ),
    (lambda: wn.search_grid("S" + "." * 50000 + "\n" * 50000 + "G"), P, HUGE_MAP),
    (
        costs([[1.0]] + [[]] * 10**6 + [[1.0] * 10**6], (0, 0), (0, 0)),
        P,
        "grid too large: 1000000\u00d71000002 = 1000002000000 cells (max 2147483647)",
    ),
    (
        lambda: wn.search_hanoi(2**64 - 1, pegs=2**64 - 1),
        P,
        "pegs must be between 1 and 16, got 18446744073709551615",
    ),
    # sizes beyond the machine: MemoryError at once
    *[
        (call, M, "")
        for call in [
            g(num_nodes=2**64 - 1, goal=1),
            g(num_nodes=TWICE_RAM(16), goal=1),  # offsets and build cursor: 16 bytes a node
            lambda: wn.bellman_ford(TWICE_RAM(40), [], 0),
            lambda: wn.floyd_warshall(10**6, []),
            lambda: wn.floyd_warshall(2**32, []),  # node ids no longer fit the next-hop matrix
            lambda: wn.gen_erdos_renyi(10**12, 0.5, 1),
            # small enough to build natively, too large as a list of Python tuples
            lambda: wn.gen_erdos_renyi(int((4 * PHYS / 200) ** 0.5) + 1, 1.0, 1),
            lambda: wn.gen_barabasi_albert(2**64 - 1, 2**63, 1),
            lambda: wn.gen_watts_strogatz(2**64 - 1, 2**64 - 2, 0.1, 1),
            lambda: wn.search_hanoi(10**12),
            lambda: wn.search_hanoi(2**24 + 1, algorithm="bfs"),
        ]
    ],
    # an ordinary mistake is still reported as such on a huge graph
    (lambda: wn.bellman_ford(10**15, [], 10**15), V, "source must be < num_nodes"),
    (lambda: wn.search_hanoi(0, pegs=10**12), V, "disks must be \u2265 1"),
    # callables: successor lists and states are checked, failures surface after the search
    *[
        (imp(r), V, BAD_PAIRS)
        for r in (
            [[1, 1.0]],
            "ab",
            [(1, 1.0, 0)],
            [(1,)],
            [(1, "1.0")],
            None,
            5,
            {1: 1.0},
            iter([(1, 1.0)]),
            b"\x01",
        )
    ],
    (lambda: wn.search_implicit(lambda s: [("ab", 1.0), [2, 1.0]], 0, 3), V, BAD_PAIRS),
    *[
        (lambda b=b: wn.search_implicit(lambda s: [(1, 1.0), (b, 1.0)], 0, 3), V, BAD_STATE)
        for b in ("ab", 1.5, None, [1, "x"], 2**63, [2**64], -(2**63) - 1)
    ],
    *[
        (imp([], **{w: b}), V, BAD_STATE)
        for w in ("start", "goal")
        for b in ("ab", "", 1.0, None, [[1]], object())
    ],
    (lambda: wn.search_implicit(3, 0, 3, "astar"), T, "'int' object is not callable"),
    *[
        (lambda h=h: wn.search_implicit(chain, 0, 3, "astar", heuristic=h), V, BAD_H)
        for h in (
            raiser(ZeroDivisionError()),
            lambda s, g: None,
            lambda s, g: "1.0",
            lambda s, g: 1j,
            lambda s: 0.0,
            raiser(StopIteration()),
            "zero",
            3,
        )
    ],
]


@pytest.mark.parametrize(
    "call, exc, text", CASES, ids=[f"{i}-{c[1].__name__}" for i, c in enumerate(CASES)]
)
def test_bad_input_raises_the_exact_exception_and_text(call, exc, text):
    t0 = time.perf_counter()
    got = raises(exc, call)
    assert time.perf_counter() - t0 < 2.0, "refused only after doing the work"
    if exc is not M:
        assert got == text if not text.endswith("…") else got.startswith(text[:-1])


def test_bad_names_fail_alike_on_every_entry_point_before_any_call():
    for name in ("A*", "bfs\0", "dls "):
        text = f"unknown algorithm: '{name}'. Available: {ALGORITHM_LIST}"
        for call, *_ in PROBLEMS.values():
            assert raises(V, lambda: call(name, depth_limit=3)) == text
    for call, *_ in PROBLEMS.values():
        assert raises(V, lambda: call("dls")) == "'dls' requires depth_limit"
    h = Counted(lambda n, g: 0.0)
    assert raises(V, lambda: wn.search_graph(2, [(0, 1, 1.0)], 0, 1, "A*", h)).startswith("unknown")
    assert h.calls == 0


def test_panic_is_a_base_exception_that_except_exception_misses():
    assert issubclass(P, BaseException) and not issubclass(P, Exception)
    try:
        wn.search_grid_costs([[]], (0, 0), (0, 0))
    except Exception:  # noqa: BLE001
        pytest.fail("PanicException caught as Exception")
    except BaseException as e:  # noqa: BLE001
        assert type(e) is P


def test_limits_and_none_that_are_valid():
    top = 2**64 - 1
    r = wn.search_graph(3, CHAIN, 0, 2, max_nodes=top, beam_width=top, depth_limit=top)
    assert r.stop_reason == "goal" and wn.search_grid(SG, "beam", beam_width=top).found
    a = wn.search_grid(wn.sample_maze("open"), max_nodes=None, beam_width=None, depth_limit=None)
    assert summary_eq(a, wn.search_grid(wn.sample_maze("open")))
    np = pytest.importorskip("numpy")
    off = wn.search_grid(SG, record=np.False_, diagonal=np.True_, reopen=np.bool_(False))
    assert off.trace == [] and off.found
    edges = [(Index(0), Index(1), 1.0), (np.int64(1), 2, 1.0)]
    assert wn.search_graph(Index(3), edges, np.uint8(0), np.int32(2)).path == [0, 1, 2]


def summary_eq(a, b):
    return (a.path, a.trace, a.tree, a.nodes_generated) == (
        b.path,
        b.trace,
        b.tree,
        b.nodes_generated,
    )
