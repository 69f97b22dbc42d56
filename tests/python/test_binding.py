"""The module's surface against its stubs, the three result classes, repr
texts, and the lazily converted trace and tree."""

import ast
import gc
import inspect
import math
import pathlib
import re
from decimal import Decimal

import pytest
import wayloom_native as wn
from conftest import summary

STUBS = ast.parse(
    (
        pathlib.Path(__file__).resolve().parents[2]
        / "python"
        / "wayloom_native-stubs"
        / "__init__.pyi"
    ).read_text()
)
STUB = {n.name: n for n in STUBS.body if isinstance(n, (ast.FunctionDef, ast.ClassDef))}
ORDER = [
    "search_grid",
    "search_grid_costs",
    "search_graph",
    "search_implicit",
    "gen_erdos_renyi",
    "gen_barabasi_albert",
    "gen_watts_strogatz",
    "sample_maze",
    "random_maze_ascii",
    "bellman_ford",
    "floyd_warshall",
    "search_npuzzle",
    "search_hanoi",
    "search_wordladder",
    "SearchResult",
    "ShortestPaths",
    "AllPairs",
]
DOC_FIRST = {  # how every docstring begins
    "search_grid": "Search a 2-D maze given as an ASCII map",
    "search_grid_costs": "Search a grid built from a matrix of **terrain costs**",
    "search_graph": "Search an explicit weighted graph given as an edge list",
    "search_implicit": "Search an implicit graph defined by a Python successor callable",
    "sample_maze": "A named sample maze as an ASCII map.",
    "search_npuzzle": "Solve a sliding-tile **N-puzzle**",
    "search_hanoi": "Solve the **Towers of Hanoi**",
    "search_wordladder": "Solve a **word ladder**",
    "bellman_ford": "**Bellman–Ford** single-source",
    "floyd_warshall": "**Floyd–Warshall** all-pairs",
    "gen_erdos_renyi": "Erdős–Rényi `G(n, p)` random graph",
    "gen_barabasi_albert": "Barabási–Albert scale-free graph",
    "gen_watts_strogatz": "Watts–Strogatz small-world graph",
    "random_maze_ascii": "A reproducible random maze",
    "SearchResult": "The outcome of a search.",
    "ShortestPaths": "Single-source shortest paths from",
    "AllPairs": "All-pairs shortest paths from",
    "ShortestPaths.path_to": "Rebuild the ``source -> target`` shortest path",
    "AllPairs.distance": "Cost of the cheapest ``from_ -> to`` path",
    "AllPairs.matrix": "The full ``n x n`` distance",
    "AllPairs.path": "Rebuild the cheapest ``from_ -> to`` path",
}


def stub_parameters(fn):
    a = fn.args
    defaults = [None] * (len(a.args) - len(a.defaults)) + a.defaults
    return [
        (p.arg, inspect.Parameter.empty if d is None else ast.literal_eval(d))
        for p, d in zip(a.args, defaults)
        if p.arg != "self"
    ]


def test_the_module_holds_exactly_what_the_stubs_declare_in_registration_order():
    public = [n for n in vars(wn) if not n.startswith("_")]
    assert set(public) == set(STUB) and [n for n in public if n in ORDER] == ORDER
    assert wn.__doc__ == ""


@pytest.mark.parametrize(
    "name",
    [n for n in ORDER if not n[0].isupper()]
    + [
        f"{c}.{m}"
        for c in ("ShortestPaths", "AllPairs")
        for m in dir(getattr(wn, c))
        if not m.startswith("_") and callable(getattr(getattr(wn, c), m))
    ],
)
def test_signatures_match_the_stubs_and_docstrings_their_table(name):
    owner, _, member = name.rpartition(".")
    fn = getattr(getattr(wn, owner), member) if owner else getattr(wn, name)
    stub = (
        next(n for n in STUB[owner].body if getattr(n, "name", "") == member)
        if owner
        else STUB[name]
    )
    actual = inspect.signature(fn).parameters.values()
    assert [(p.name, p.default) for p in actual if p.name != "self"] == stub_parameters(stub)
    assert all(
        p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD for p in actual if p.name != "self"
    )
    assert fn.__doc__.startswith(DOC_FIRST[name])


@pytest.mark.parametrize(
    "cls, fields",
    [
        (
            wn.SearchResult,
            [
                "path",
                "cost",
                "found",
                "nodes_expanded",
                "nodes_generated",
                "nodes_reopened",
                "max_frontier_size",
                "elapsed",
                "stop_reason",
                "trace",
                "tree",
            ],
        ),
        (wn.ShortestPaths, ["source", "dist", "pred", "negative_cycle"]),
        (wn.AllPairs, ["num_nodes", "negative_cycle"]),
    ],
)
def test_result_classes_are_read_only_and_cannot_be_built(cls, fields):
    assert cls.__doc__.startswith(DOC_FIRST[cls.__name__])
    props = [
        n for n, v in vars(cls).items() if inspect.isdatadescriptor(v) and not n.startswith("_")
    ]
    assert props == fields and {
        p.name for p in STUB[cls.__name__].body if isinstance(p, ast.FunctionDef)
    } >= set(fields)
    with pytest.raises(TypeError) as info:
        cls()
    assert str(info.value) == f"No constructor defined for {cls.__name__}"
    obj = {
        wn.SearchResult: lambda: wn.search_grid("S.G"),
        wn.ShortestPaths: lambda: wn.bellman_ford(2, [(0, 1, 1.0)], 0),
        wn.AllPairs: lambda: wn.floyd_warshall(2, []),
    }[cls]()
    for name in fields:
        with pytest.raises(AttributeError):
            setattr(obj, name, getattr(obj, name))
    with pytest.raises(AttributeError):
        obj.extra = 1


def test_search_result_fields_and_types():
    r = wn.search_grid("S.G")
    assert (r.path, r.cost, r.found, r.stop_reason) == ([(0, 0), (0, 1), (0, 2)], 2.0, True, "goal")
    assert r.tree == [((0, 0), (0, 1)), ((0, 1), (0, 2))] and r.trace[-1] == ((0, 2), 2.0, 0)
    assert type(r.nodes_reopened) is type(r.max_frontier_size) is int
    assert type(r.elapsed) is float and 0.0 <= r.elapsed < 1.0


def test_trace_and_tree_are_converted_once_and_held():
    # Each list stands alone: reading one first must not lose the other.
    r = wn.search_grid(wn.sample_maze("wall"))
    trace = r.trace
    assert r.trace is trace and len(r.tree) == r.nodes_generated - 1 and r.tree is r.tree
    r = wn.search_grid(wn.sample_maze("wall"))
    tree = r.tree
    assert len(r.trace) == r.nodes_expanded and r.tree is tree
    trace.append(r)  # a cycle through the result is collectable
    del r, trace, tree
    gc.collect()
    assert gc.isenabled()  # converting large lists pauses the collector, then resumes it


def test_record_false_changes_nothing_but_trace_and_tree():
    on = wn.search_grid(wn.sample_maze("wall"), "bfs")
    off = wn.search_grid(wn.sample_maze("wall"), "bfs", record=False)
    assert off.trace == off.tree == [] and off.trace is off.trace
    assert summary(off)[:7] == summary(on)[:7]


REPR = re.compile(
    r"SearchResult\(found=(True|False), cost=([^,]+), expanded=(\d+), "
    r"frontier=(\d+), elapsed=(\d+\.\d{6}), stop=(goal|exhausted|node_limit)\)"
)


@pytest.mark.parametrize(
    "weights, text",
    [
        ([12.0], "12"),
        ([2.5], "2.5"),
        ([0.1, 0.2], "0.30000000000000004"),
        ([1e22], "10000000000000000000000"),
        ([2.0**60], "1152921504606847000"),
        ([1e300], "1" + "0" * 300),
        ([1e-7], "0.0000001"),
        ([0.5], "0.5"),
        ([-3.5], "-3.5"),
        ([0.0], "0"),
        ([math.nan], "NaN"),
        ([math.inf], "inf"),
        (None, "inf"),
    ],
)
def test_repr_prints_the_shortest_round_trip_cost_without_exponent(weights, text):
    if weights is None:
        r = wn.search_graph(3, [(0, 1, 1.0), (1, 2, 1.0)], 0, 2, max_nodes=0)
    else:
        edges = [(i, i + 1, w) for i, w in enumerate(weights)]
        r = wn.search_graph(len(weights) + 1, edges, 0, len(weights), undirected=False)
    m = REPR.fullmatch(repr(r))
    assert m and str(r) == repr(r)
    assert m.groups() == (
        str(r.found),
        text,
        str(r.nodes_expanded),
        str(r.max_frontier_size),
        f"{r.elapsed:.6f}",
        r.stop_reason,
    )
    if math.isfinite(r.cost) and r.found:
        decimal = format(Decimal(repr(r.cost)), "f")
        assert text == (decimal.rstrip("0").rstrip(".") if "." in decimal else decimal)


def test_shortest_path_record_reprs_and_fresh_lists():
    sp = wn.bellman_ford(3, [(0, 1, 4.0), (0, 2, 1.0), (2, 1, -2.0)], 0)
    assert repr(sp) == str(sp) == "ShortestPaths(source=0, nodes=3, negative_cycle=false)"
    assert repr(wn.bellman_ford(2, [(0, 1, -1.0)], 0, undirected=True)) == (
        "ShortestPaths(source=0, nodes=2, negative_cycle=true)"
    )
    assert repr(wn.floyd_warshall(4, [])) == "AllPairs(num_nodes=4, negative_cycle=false)"
    assert (
        repr(wn.floyd_warshall(1, [(0, 0, -1.0)])) == "AllPairs(num_nodes=1, negative_cycle=true)"
    )
    dist = sp.dist
    dist[0] = 99.0
    assert sp.dist == [0.0, -1.0, 1.0] and sp.dist is not sp.dist and sp.pred == [None, 2, 0]
    ap = wn.floyd_warshall(2, [(0, 1, 1.0)])
    ap.matrix()[0][1] = 5.0
    assert ap.matrix() == [[0.0, 1.0], [math.inf, 0.0]]
