"""What a user's script sees under ``mypy --strict`` (scripts/lint.sh checks this
file; it is never run): the build-once objects keep their class through their
constructors and class methods, and a result's path lists their node type."""

import wayloom
import wayloom_native as wn
from typing_extensions import assert_type

graph = wayloom.Graph(3, [(0, 1, 1.0), (1, 2, 2.0)])
assert_type(graph, wayloom.Graph)
assert_type(wayloom.Graph.from_arrays([0], [1]), wayloom.Graph)
assert_type(wayloom.Graph.from_scipy(None), wayloom.Graph)
assert_type(graph.search(0, 2).path, list[int] | None)
assert_type(graph.search_many([(0, 2)])[0].path, list[int] | None)

grid = wayloom.Grid("S.G")
assert_type(grid, wayloom.Grid)
assert_type(wayloom.Grid.from_costs([[1.0]]), wayloom.Grid)
assert_type(grid.search((0, 0), (0, 2)).path, list[tuple[int, int]] | None)
assert_type(grid.search_many([((0, 0), (0, 2))]), list[wn.SearchResult[tuple[int, int]]])

ladder = wayloom.WordLadder(["cold", "cord"])
assert_type(ladder, wayloom.WordLadder)
assert_type(ladder.search("cold", "cord").path, list[str] | None)
assert_type(wn.search_graph(2, [], 0, 1).path, list[int] | None)
