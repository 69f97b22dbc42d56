"""Type stubs for the wayloom_native extension module."""

from collections.abc import Callable, Sequence
from typing import Any, Generic, final

from typing_extensions import TypeVar

_Cell = tuple[int, int]
_Edge = tuple[int, int, float]
_Heuristic = str | Callable[[Any, Any], float] | None
_State = int | Sequence[int]
_N = TypeVar("_N", default=Any)  # the node type of a result's path

class PanicException(BaseException):
    """An internal precondition of the engine failed; the argument is the text."""

@final
class SearchResult(Generic[_N]):
    """The outcome of a search."""

    @property
    def path(self) -> list[_N] | None: ...
    @property
    def cost(self) -> float: ...
    @property
    def found(self) -> bool: ...
    @property
    def nodes_expanded(self) -> int: ...
    @property
    def nodes_generated(self) -> int: ...
    @property
    def nodes_reopened(self) -> int: ...
    @property
    def max_frontier_size(self) -> int: ...
    @property
    def elapsed(self) -> float: ...
    @property
    def stop_reason(self) -> str: ...
    @property
    def trace(self) -> list[tuple[_N, float | None, int]]: ...
    @property
    def tree(self) -> list[tuple[_N, _N]]: ...

@final
class ShortestPaths:
    """Single-source shortest paths from bellman_ford."""

    @property
    def source(self) -> int: ...
    @property
    def dist(self) -> list[float]: ...
    @property
    def pred(self) -> list[int | None]: ...
    @property
    def negative_cycle(self) -> bool: ...
    def path_to(self, target: int) -> list[int] | None: ...

@final
class AllPairs:
    """All-pairs shortest paths from floyd_warshall."""

    @property
    def num_nodes(self) -> int: ...
    @property
    def negative_cycle(self) -> bool: ...
    def distance(self, from_: int, to: int) -> float: ...
    def matrix(self) -> list[list[float]]: ...
    def path(self, from_: int, to: int) -> list[int] | None: ...

def search_grid(
    map: str,
    algorithm: str = "astar",
    heuristic: _Heuristic = None,
    record: bool = True,
    weight: float = 2.0,
    beam_width: int | None = None,
    depth_limit: int | None = None,
    max_nodes: int | None = None,
    diagonal: bool = False,
    reopen: bool = False,
) -> SearchResult[_Cell]: ...
def search_grid_costs(
    costs: Sequence[Sequence[float]],
    start: _Cell,
    goal: _Cell,
    algorithm: str = "astar",
    heuristic: _Heuristic = None,
    record: bool = True,
    weight: float = 2.0,
    beam_width: int | None = None,
    depth_limit: int | None = None,
    max_nodes: int | None = None,
    diagonal: bool = False,
    reopen: bool = False,
) -> SearchResult[_Cell]: ...
def search_graph(
    num_nodes: int,
    edges: Sequence[_Edge],
    start: int,
    goal: int,
    algorithm: str = "bfs",
    heuristic: _Heuristic = None,
    undirected: bool = True,
    record: bool = True,
    weight: float = 2.0,
    beam_width: int | None = None,
    depth_limit: int | None = None,
    max_nodes: int | None = None,
    reopen: bool = False,
) -> SearchResult[int]: ...
def search_implicit(
    successors: Callable[[Any], Sequence[tuple[_State, float]]],
    start: _State,
    goal: _State,
    algorithm: str = "astar",
    heuristic: Callable[[Any, Any], float] | None = None,
    record: bool = True,
    weight: float = 2.0,
    beam_width: int | None = None,
    depth_limit: int | None = None,
    max_nodes: int | None = None,
    reopen: bool = False,
) -> SearchResult: ...
def gen_erdos_renyi(n: int, p: float, seed: int) -> list[_Edge]: ...
def gen_barabasi_albert(n: int, m: int, seed: int) -> list[_Edge]: ...
def gen_watts_strogatz(n: int, k: int, beta: float, seed: int) -> list[_Edge]: ...
def sample_maze(name: str) -> str: ...
def random_maze_ascii(width: int, height: int, obstacle_density: float, seed: int) -> str: ...
def bellman_ford(
    num_nodes: int, edges: Sequence[_Edge], source: int, undirected: bool = False
) -> ShortestPaths: ...
def floyd_warshall(
    num_nodes: int, edges: Sequence[_Edge], undirected: bool = False
) -> AllPairs: ...
def search_npuzzle(
    tiles: Sequence[int],
    algorithm: str = "astar",
    heuristic: _Heuristic = None,
    goal: Sequence[int] | None = None,
    record: bool = True,
    weight: float = 2.0,
    beam_width: int | None = None,
    depth_limit: int | None = None,
    max_nodes: int | None = None,
    reopen: bool = False,
) -> SearchResult: ...
def search_hanoi(
    disks: int,
    algorithm: str = "astar",
    heuristic: _Heuristic = None,
    pegs: int = 3,
    record: bool = True,
    weight: float = 2.0,
    beam_width: int | None = None,
    depth_limit: int | None = None,
    max_nodes: int | None = None,
    reopen: bool = False,
) -> SearchResult: ...
def search_wordladder(
    start: str,
    goal: str,
    words: Sequence[str],
    algorithm: str = "astar",
    heuristic: _Heuristic = None,
    record: bool = True,
    weight: float = 2.0,
    beam_width: int | None = None,
    depth_limit: int | None = None,
    max_nodes: int | None = None,
    reopen: bool = False,
) -> SearchResult[str]: ...
