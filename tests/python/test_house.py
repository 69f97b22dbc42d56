"""The catalogue's single source of truth, iddfs's observable callback count, the map
grammar read once and results that pickle without the companion module."""

import subprocess
import sys

import pytest
import wayloom
import wayloom_native as wn
from wayloom import _catalogue


def _counting_line(n):
    """A path graph 0-1-...-n whose successor function counts its calls."""
    calls = []

    def successors(state):
        calls.append(state)
        return [(s, 1.0) for s in (state - 1, state + 1) if 0 <= s <= n]

    return successors, calls


def test_iddfs_rebuilds_its_result_from_the_pass_path():
    # iddfs must ask for the path's arc costs twice: once when the winning pass
    # makes its result, once more for the combined result.
    n = 4
    seen = {}
    for depth in range(n + 1):
        succ, calls = _counting_line(n)
        r = wn.search_implicit(succ, 0, n, algorithm="dls", depth_limit=depth, record=False)
        seen[depth] = len(calls)
    succ, calls = _counting_line(n)
    r = wn.search_implicit(succ, 0, n, algorithm="iddfs", record=False)
    assert r.path == list(range(n + 1))
    assert len(calls) == sum(seen.values()) + n


def test_companion_reads_the_engine_catalogue():
    names = [a.name for a in _catalogue.ALGORITHMS]
    with pytest.raises(ValueError, match="Available: " + ", ".join(names) + "$"):
        wn.search_grid(wn.sample_maze("open"), algorithm="nope")
    assert wayloom.compare.__module__ == "wayloom._compare"
    maze = wn.sample_maze("wall")
    for algo in _catalogue.ALGORITHMS:
        options = {"depth_limit": 30} if "depth_limit" in algo.options else {}
        base = wn.search_grid(maze, algorithm=algo.name, **options)
        for alias in algo.aliases:
            other = wn.search_grid(maze, algorithm=alias, **options)
            assert (other.path, other.nodes_expanded) == (base.path, base.nodes_expanded)


def test_heuristic_failure_keeps_its_cause():
    def h(node, goal):
        return 1 / 0

    with pytest.raises(ValueError, match="^the heuristic callable must return a float$") as info:
        wn.search_grid(wn.sample_maze("open"), heuristic=h)
    assert isinstance(info.value.__cause__, ZeroDivisionError)


@pytest.mark.parametrize("text", ["S.#\n.2G", "S.#\n.2.", "..#\nG2.", "S", "\n\nG\n"])
def test_grid_endpoints_are_optional_open_cells(text):
    # One map grammar: 'S' and 'G' are open cells of cost 1, wherever they stand.
    bare = text.replace("S", ".").replace("G", ".")
    assert wayloom.Grid(text).__reduce__()[1] == wayloom.Grid(bare).__reduce__()[1]


def test_results_pickle_through_the_public_module_alone():
    code = (
        "import pickle, sys, wayloom_native as wn\n"
        "r = wn.search_grid(wn.sample_maze('open'))\n"
        "back = pickle.loads(pickle.dumps(r))\n"
        "print(repr(back) == repr(r), 'wayloom' in sys.modules)"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.split() == ["True", "False"]
