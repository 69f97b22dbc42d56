"""wayloom: fast classical graph search with a Python face.

The engine lives in the extension module :mod:`wayloom_native`; this package
re-exports it and adds the demo, comparisons and command line.
"""

from wayloom_native import (
    AllPairs,
    PanicException,
    SearchResult,
    ShortestPaths,
    bellman_ford,
    floyd_warshall,
    gen_barabasi_albert,
    gen_erdos_renyi,
    gen_watts_strogatz,
    random_maze_ascii,
    sample_maze,
    search_graph,
    search_grid,
    search_grid_costs,
    search_hanoi,
    search_implicit,
    search_npuzzle,
    search_wordladder,
)

from . import viz  # matplotlib is imported only when drawing
from ._compare import ALGORITHMS, Comparison, Row, compare
from ._paths import path_from
from .graphs import Graph, Grid, WordLadder
from .movingai import Scenario, ScenarioReport, read_scenarios, run_scenarios
from .puzzles import TilePuzzle

__version__ = "0.1.0"

__all__ = [
    "ALGORITHMS",
    "AllPairs",
    "Comparison",
    "Graph",
    "Grid",
    "PanicException",
    "Row",
    "Scenario",
    "ScenarioReport",
    "SearchResult",
    "ShortestPaths",
    "TilePuzzle",
    "WordLadder",
    "bellman_ford",
    "compare",
    "floyd_warshall",
    "gen_barabasi_albert",
    "gen_erdos_renyi",
    "gen_watts_strogatz",
    "path_from",
    "random_maze_ascii",
    "read_scenarios",
    "run_scenarios",
    "sample_maze",
    "search_graph",
    "search_grid",
    "search_grid_costs",
    "search_hanoi",
    "search_implicit",
    "search_npuzzle",
    "search_wordladder",
    "viz",
]
