"""Property-based fuzzing of every public function.

Each test throws generated arguments (valid ones mixed with wrong types, huge
and negative numbers, NaN/inf floats, ragged sequences, odd unicode, and
callables that raise or return junk) at one function and accepts exactly two
outcomes: a result that keeps the result invariants, or one of the documented
exception types. Anything else -- another exception, a crash, a hang -- fails.

Profiles (see conftest.py): "ci" is the default and runs a fixed, derandomised
set of examples; WAYLOOM_FUZZ=long runs many more random ones on demand.
"""

from __future__ import annotations

import math

from hypothesis import assume, event, given
from hypothesis import strategies as st

import wayloom_native as wn

ALLOWED = (TypeError, ValueError, OverflowError, MemoryError, wn.PanicException)
NAMES = ("bfs", "dfs", "ucs", "dijkstra", "greedy", "astar", "a*", "weighted_astar", "wastar",
         "dls", "iddfs", "ida_star", "idastar", "beam", "bidirectional", "bidir")
IDA = ("ida_star", "idastar")
BEST_FIRST = {"bfs", "dfs", "ucs", "dijkstra", "greedy", "astar", "a*", "weighted_astar", "wastar"}


class Junk:
    """An object no argument accepts."""


def _raise(*_):
    raise RuntimeError("boom")


junk = st.one_of(
    st.none(),
    st.booleans(),
    st.integers(min_value=-(2**70), max_value=2**70),
    st.sampled_from([2**63, 2**64, -(2**63) - 1, 10**30]),
    st.floats(allow_nan=True, allow_infinity=True),
    st.text(max_size=6),
    st.binary(max_size=4),
    st.lists(st.integers(-3, 3), max_size=3),
    st.builds(Junk),
    st.just(_raise),
)

floats = st.floats(allow_nan=True, allow_infinity=True, width=64)
weights = st.one_of(st.floats(-5, 5), st.sampled_from([0.0, 1.0, math.inf, -math.inf, math.nan]))
small = st.integers(0, 7)


def mostly(strategy, rare):
    """`strategy` most of the time, `rare` now and then. (A plain one_of would
    flatten a nested one_of into its own branches and pick `rare`'s many
    branches far more often than `strategy`.)"""
    return st.sampled_from(range(8)).flatmap(lambda k: rare if k == 7 else strategy)


def maybe(strategy):
    """A valid value most of the time, junk sometimes, so that most examples
    get past argument checking and reach a search."""
    return mostly(strategy, junk)


def not_big(*values, bound=64):
    """Skip sizes that are valid but merely large (a legitimately long run);
    sizes beyond any machine stay in, since those must be refused at once."""
    assume(not any(type(v) is int and bound < v < 2**48 for v in values))


@st.composite
def options(draw, dims_small=True):
    """The shared keyword arguments. Depth limits stay small (or invalid):
    depth-limited strategies enumerate paths, so a large valid limit on an
    unreachable goal is a legitimately long search, not a fault."""
    kw = {}
    kw["algorithm"] = draw(maybe(st.one_of(st.sampled_from(NAMES), st.sampled_from(NAMES),
                                           st.sampled_from(["", "BFS", "astar "]))))
    if draw(st.booleans()):
        kw["record"] = draw(maybe(st.booleans()))
    if draw(st.booleans()):
        kw["weight"] = draw(maybe(floats))
    if draw(st.booleans()):
        kw["beam_width"] = draw(maybe(st.one_of(st.none(), st.integers(0, 4))))
    limit = mostly(st.integers(0, 6), st.one_of(st.integers(-(2**65), -1), st.just(2**64),
                                                st.floats(0, 3), st.text(max_size=2)))
    if kw["algorithm"] in ("iddfs", "dls") or draw(st.booleans()):
        kw["depth_limit"] = draw(limit)
    if draw(st.booleans()):
        kw["max_nodes"] = draw(maybe(st.one_of(st.none(), st.integers(0, 50))))
    if draw(st.booleans()):
        kw["reopen"] = draw(maybe(st.booleans()))
    return kw


heuristic_callables = st.sampled_from([
    lambda n, g: 0.0,
    lambda n, g: 1,
    lambda n, g: math.nan,
    lambda n, g: -1.0,
    lambda n, g: "x",
    _raise,
])


def heuristics(names):
    return maybe(st.one_of(st.none(), st.sampled_from(names), heuristic_callables))


def check_result(r, kw, start=None, goal=None, cost_of=None):
    """The invariants every search result keeps."""
    assert isinstance(r, wn.SearchResult)
    assert r.stop_reason in ("goal", "exhausted", "node_limit")
    assert r.found == (r.path is not None) == (r.stop_reason == "goal")
    for n in (r.nodes_expanded, r.nodes_generated, r.nodes_reopened, r.max_frontier_size):
        assert isinstance(n, int) and n >= 0
    assert r.nodes_generated >= 1
    assert r.elapsed >= 0.0
    algorithm = kw.get("algorithm")
    if r.stop_reason == "node_limit":
        assert algorithm in BEST_FIRST and kw.get("max_nodes") is not None
    if algorithm in BEST_FIRST and kw.get("max_nodes") is not None:
        assert r.nodes_expanded <= max(kw["max_nodes"], 1)  # the start is always expanded
    if algorithm not in BEST_FIRST:
        assert r.tree == [] and r.nodes_reopened == 0
    if kw.get("record", True):
        assert len(r.trace) == r.nodes_expanded
    else:
        assert r.trace == [] and r.tree == []
    if r.found:
        assert len(r.path) >= 1
        if start is not None:
            assert r.path[0] == start and r.path[-1] == goal
        if cost_of is not None:
            low, high = cost_of(r.path)
            if math.isnan(low) or math.isnan(r.cost):
                assert math.isnan(r.cost) or math.isnan(low)
            else:
                assert low - 1e-9 * (1 + abs(low)) <= r.cost <= high + 1e-9 * (1 + abs(high))
    else:
        assert r.cost == math.inf
    assert repr(r).startswith("SearchResult(")


def call(fn, *args, **kw):
    """The call's result, or None when it raised an allowed exception."""
    try:
        out = fn(*args, **kw)
    except ALLOWED as e:
        event(type(e).__name__)  # shown by --hypothesis-show-statistics
        return None
    event("result")
    return out


# -- explicit graphs ---------------------------------------------------------

# Node counts lean to 8 (hypothesis leans to the low end of a range), so most
# starts, goals and edge ends drawn from `small` are in range.
node_counts = maybe(mostly(st.integers(0, 8).map(lambda k: 8 - k), st.just(-1)))

edge = st.tuples(st.integers(0, 7), st.integers(0, 7), weights)
edge_lists = maybe(st.one_of(
    st.lists(edge, max_size=14),
    st.lists(edge, max_size=14),
    st.lists(st.one_of(edge, st.lists(st.integers(0, 5), max_size=3),
                       st.tuples(st.integers(0, 5)), junk), max_size=4),
))


def arc_costs(edges, undirected):
    arcs = {}
    for u, v, w in edges:
        arcs.setdefault((u, v), []).append(w)
        if undirected:
            arcs.setdefault((v, u), []).append(w)
    return arcs


def path_cost_bounds(arcs):
    """(cheapest, dearest) total over the parallel arcs of every step."""

    def bounds(path):
        low = high = 0.0
        for a, b in zip(path, path[1:]):
            ws = [w for w in arcs.get((a, b), []) if not math.isnan(w)]
            assert (a, b) in arcs, f"{a}->{b} is not an arc"
            if not ws or not math.isfinite(min(ws)):
                return math.nan, math.nan
            low, high = low + min(ws), high + max(ws)
        return low, high

    return bounds


@given(n=node_counts, edges=edge_lists, start=maybe(small), goal=maybe(small),
       undirected=maybe(st.booleans()), heuristic=heuristics(["zero", "manhattan"]),
       kw=options())
def test_search_graph(n, edges, start, goal, undirected, heuristic, kw):
    not_big(n)
    r = call(wn.search_graph, n, edges, start, goal, heuristic=heuristic, undirected=undirected,
             **kw)
    if r is None:
        return
    arcs = arc_costs(edges, undirected)
    bounds = path_cost_bounds(arcs)
    exact = kw["algorithm"] not in BEST_FIRST

    def cost_of(path):
        low, high = bounds(path)
        return (low, low) if exact else (low, high)

    check_result(r, kw, start, goal, cost_of)


# -- grids -------------------------------------------------------------------

map_chars = st.sampled_from(list(".#SG") * 4 + ["\r\n", "\n", " ", "é", "€", "\U0001F600", "\t"])


@st.composite
def rectangular_maps(draw):
    """A well-formed map: rectangular, S and G somewhere (possibly the same
    cell, where G wins), LF or CRLF line ends, maybe a final newline."""
    h, w = draw(st.integers(1, 5)), draw(st.integers(1, 6))
    rows = [[draw(st.sampled_from("..#")) for _ in range(w)] for _ in range(h)]
    rows[draw(st.integers(0, h - 1))][draw(st.integers(0, w - 1))] = "S"
    rows[draw(st.integers(0, h - 1))][draw(st.integers(0, w - 1))] = "G"
    text = draw(st.sampled_from(["\n", "\r\n"])).join("".join(r) for r in rows)
    return text + draw(st.sampled_from(["", "\n"]))


maps = maybe(st.one_of(st.lists(map_chars, max_size=40).map("".join),
                       rectangular_maps(), rectangular_maps()))


@given(text=maps, diagonal=maybe(st.booleans()),
       heuristic=heuristics(["manhattan", "euclidean", "octile", "chebyshev", "zero", "Manhattan"]),
       kw=options())
def test_search_grid(text, diagonal, heuristic, kw):
    r = call(wn.search_grid, text, heuristic=heuristic, diagonal=diagonal, **kw)
    if r is None:
        return
    check_result(r, kw)
    if r.found:
        for (r0, c0), (r1, c1) in zip(r.path, r.path[1:]):
            assert max(abs(r0 - r1), abs(c0 - c1)) == 1
            if not diagonal:
                assert abs(r0 - r1) + abs(c0 - c1) == 1


cost_cells = st.one_of(st.floats(0.1, 9), st.sampled_from([0.0, -1.0, math.inf, math.nan]))
rectangles = st.integers(1, 4).flatmap(
    lambda w: st.lists(st.lists(cost_cells, min_size=w, max_size=w), min_size=1, max_size=4))
cost_rows = maybe(st.one_of(
    rectangles, rectangles, rectangles,
    st.lists(st.lists(cost_cells, max_size=4), max_size=4),
    st.lists(st.one_of(st.lists(cost_cells, max_size=3), junk), max_size=3),
))
cells = maybe(st.one_of(st.tuples(st.integers(0, 3), st.integers(0, 3)),
                        st.tuples(st.integers(0, 3), st.integers(0, 3)),
                        st.tuples(st.integers(-1, 4), st.integers(-1, 4))))


@given(costs=cost_rows, start=cells, goal=cells, diagonal=maybe(st.booleans()),
       heuristic=heuristics(["manhattan", "octile", "zero"]), kw=options())
def test_search_grid_costs(costs, start, goal, diagonal, heuristic, kw):
    r = call(wn.search_grid_costs, costs, start, goal, heuristic=heuristic, diagonal=diagonal,
             **kw)
    if r is None:
        return
    check_result(r, kw, tuple(start), tuple(goal))
    if r.found:
        assert all(0 < costs[a][b] < math.inf for a, b in r.path)


@given(name=st.one_of(st.sampled_from(["open", "wall", "Open", ""]), junk))
def test_sample_maze(name):
    text = call(wn.sample_maze, name)
    assert text is None or ("S" in text and "G" in text)


# -- implicit graphs ---------------------------------------------------------

states = st.one_of(st.integers(0, 5), st.tuples(st.integers(0, 2), st.integers(0, 2)),
                   st.tuples(st.integers(0, 5)))
succ_lists = st.dictionaries(
    st.integers(0, 5),
    maybe(st.one_of(st.lists(st.tuples(st.integers(0, 5), weights), max_size=4),
                    st.lists(st.tuples(st.integers(0, 5), weights), max_size=4),
                    st.lists(st.one_of(st.tuples(st.integers(0, 5)), junk), max_size=2))),
    max_size=6)


@given(table=succ_lists, start=maybe(states), goal=maybe(states),
       heuristic=maybe(st.one_of(st.none(), heuristic_callables)), kw=options())
def test_search_implicit(table, start, goal, heuristic, kw):
    def key(s):
        return s if isinstance(s, int) else sum(s) % 6

    def successors(s):
        return table.get(key(s), [])

    r = call(wn.search_implicit, successors, start, goal, heuristic=heuristic, **kw)
    if r is None:
        return
    def norm(s):
        if isinstance(s, int):
            return s
        s = tuple(s)
        return s[0] if len(s) == 1 else s

    check_result(r, kw, norm(start), norm(goal))


# -- puzzles -----------------------------------------------------------------

boards = maybe(st.one_of(
    st.permutations(range(4)).map(list),
    st.permutations(range(4)).map(list),
    st.permutations(range(9)).map(list),
    st.lists(st.integers(-1, 10), max_size=10),
    st.lists(st.integers(0, 3), min_size=4, max_size=4).map(tuple),
))


@given(tiles=boards, goal=st.one_of(st.none(), boards),
       heuristic=heuristics(["manhattan", "misplaced", "zero", "euclidean"]), kw=options())
def test_search_npuzzle(tiles, goal, heuristic, kw):
    if isinstance(tiles, list) and len(tiles) == 9:
        # Uninformed searches of the whole 8-puzzle are slow, not faulty;
        # IDA* takes no node limit, so it needs the Manhattan distance.
        assume(kw["algorithm"] not in ("dfs", "bfs", "ucs", "dijkstra", "beam")
               or kw.get("max_nodes") is not None)
        assume(kw["algorithm"] not in IDA or heuristic in (None, "manhattan"))
        kw.setdefault("max_nodes", 3000)
    r = call(wn.search_npuzzle, tiles, goal=goal, heuristic=heuristic, **kw)
    if r is None:
        return
    target = tuple(goal) if goal is not None else tuple(sorted(tiles)[1:]) + (0,)
    check_result(r, kw, tuple(tiles), target, lambda p: (len(p) - 1, len(p) - 1))


@given(disks=maybe(st.integers(-1, 4)), pegs=maybe(st.integers(-1, 18)),
       heuristic=heuristics(["zero", "manhattan", "disks"]), kw=options())
def test_search_hanoi(disks, pegs, heuristic, kw):
    # pegs ** disks states; IDA* (no node limit, weak heuristics) stays tiny.
    not_big(disks, bound=2 if kw["algorithm"] in IDA else 4)
    not_big(pegs, bound=5 if kw["algorithm"] in IDA else 64)
    r = call(wn.search_hanoi, disks, heuristic=heuristic, pegs=pegs, **kw)
    if r is None:
        return
    check_result(r, kw, cost_of=lambda p: (len(p) - 1, len(p) - 1))
    if r.found:
        assert all(x == 0 for x in r.path[0]) and len(set(r.path[-1])) <= 1


words = st.text(alphabet="abΣσςİẞÅ", min_size=0, max_size=3)


@given(start=maybe(words), goal=maybe(words),
       vocabulary=maybe(st.one_of(st.lists(words, max_size=12), st.lists(words, max_size=12),
                                  st.lists(st.one_of(words, junk), max_size=3))),
       heuristic=heuristics(["hamming", "zero", "manhattan"]), kw=options())
def test_search_wordladder(start, goal, vocabulary, heuristic, kw):
    r = call(wn.search_wordladder, start, goal, vocabulary, heuristic=heuristic, **kw)
    if r is None:
        return
    check_result(r, kw, start.lower(), goal.lower(), lambda p: (len(p) - 1, len(p) - 1))
    if r.found:
        for a, b in zip(r.path, r.path[1:]):
            assert len(a) == len(b) and sum(x != y for x, y in zip(a, b)) == 1


# -- shortest paths and generators -------------------------------------------

@given(n=node_counts, edges=edge_lists, source=maybe(small),
       undirected=maybe(st.booleans()), probe=junk)
def test_bellman_ford(n, edges, source, undirected, probe):
    not_big(n)
    sp = call(wn.bellman_ford, n, edges, source, undirected=undirected)
    if sp is None:
        return
    assert len(sp.dist) == len(sp.pred) == n and sp.source == source
    assert sp.dist[source] <= 0.0 or math.isnan(sp.dist[source])
    for t in range(n):
        path = sp.path_to(t)
        if path is not None:
            assert path[0] == source and path[-1] == t and len(set(path)) == len(path)
    assert call(sp.path_to, n) is None and repr(sp).startswith("ShortestPaths(")
    path = call(sp.path_to, probe)
    assert path is None or (path[0] == source and path[-1] == probe)


@given(n=node_counts, edges=edge_lists, undirected=maybe(st.booleans()),
       probe=st.tuples(maybe(small), maybe(small)))
def test_floyd_warshall(n, edges, undirected, probe):
    not_big(n)
    ap = call(wn.floyd_warshall, n, edges, undirected=undirected)
    if ap is None:
        return
    m = ap.matrix()
    assert ap.num_nodes == n and len(m) == n and all(len(row) == n for row in m)
    i, j = probe
    d = call(ap.distance, i, j)
    p = call(ap.path, i, j)
    if all(type(x) is int and 0 <= x < n for x in (i, j)):
        assert d == m[i][j] or (math.isnan(d) and math.isnan(m[i][j]))
        if p is not None:
            assert p[0] == i and p[-1] == j
    assert repr(ap).startswith("AllPairs(")


probabilities = maybe(st.one_of(st.floats(0, 1), st.floats(0, 1), floats))
seeds = maybe(st.integers(-(2**70), 2**70))


def check_edges(edges, n):
    assert isinstance(edges, list)
    for u, v, w in edges:
        assert 0 <= u < n and 0 <= v < n and u != v and w == 1.0


@given(n=maybe(st.integers(-1, 40)), p=probabilities, seed=seeds)
def test_gen_erdos_renyi(n, p, seed):
    not_big(n)
    edges = call(wn.gen_erdos_renyi, n, p, seed)
    if edges is not None:
        check_edges(edges, n)
        assert edges == sorted(set(edges)) and edges == wn.gen_erdos_renyi(n, p, seed)


@given(n=maybe(st.integers(-1, 40)), m=maybe(st.integers(-1, 8)), seed=seeds)
def test_gen_barabasi_albert(n, m, seed):
    not_big(n, m)
    edges = call(wn.gen_barabasi_albert, n, m, seed)
    if edges is not None:
        check_edges(edges, n)


@given(n=maybe(st.integers(-1, 40)), k=maybe(st.integers(-1, 8)), beta=probabilities, seed=seeds)
def test_gen_watts_strogatz(n, k, beta, seed):
    not_big(n, k)
    edges = call(wn.gen_watts_strogatz, n, k, beta, seed)
    if edges is not None:
        check_edges(edges, n)


@given(w=maybe(st.integers(-1, 30)), h=maybe(st.integers(-1, 30)), density=probabilities,
       seed=seeds)
def test_random_maze_ascii(w, h, density, seed):
    not_big(w, h)
    text = call(wn.random_maze_ascii, w, h, density, seed)
    if text is not None:
        rows = text.split("\n")
        assert len(rows) == h and all(len(row) == w for row in rows)
        assert rows[0][0] == "S" and (rows[-1][-1] == "G" or w * h == 1)
        assert set(text) <= set(".#SG\n")
