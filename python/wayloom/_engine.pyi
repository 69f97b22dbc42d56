from typing import Any, final

from typing_extensions import Self, disjoint_base
from wayloom_native import SearchResult

@disjoint_base
class Graph:
    def __new__(
        cls, num_nodes: int, edges: Any, undirected: bool = True, coordinates: Any = None
    ) -> Self: ...
    @classmethod
    def from_arrays(
        cls,
        u: Any,
        v: Any,
        w: Any = None,
        num_nodes: int | None = None,
        undirected: bool = True,
        coordinates: Any = None,
    ) -> Self: ...
    @classmethod
    def _from_csr(
        cls,
        indptr: Any,
        indices: Any,
        data: Any,
        num_nodes: int,
        coordinates: Any,
        undirected: bool = False,
    ) -> Self: ...
    @classmethod
    def _from_adjacency(
        cls, adj: Any, index: Any, weight: Any, undirected: bool
    ) -> tuple[Self, bool, bool, bool] | None: ...
    def _settled(
        self, source: int, limit: float | None, labels: list[Any], integral: bool
    ) -> dict[Any, Any]: ...
    @property
    def num_nodes(self) -> int: ...
    @property
    def num_edges(self) -> int: ...
    @property
    def num_arcs(self) -> int: ...
    @property
    def undirected(self) -> bool: ...
    def search(
        self,
        start: int,
        goal: int,
        algorithm: str = "dijkstra",
        heuristic: Any = None,
        record: bool = True,
        weight: float = 2.0,
        beam_width: int | None = None,
        depth_limit: int | None = None,
        max_nodes: int | None = None,
        reopen: bool = False,
    ) -> SearchResult[int]: ...
    def _search_batch(self, pairs: Any, **options: Any) -> list[SearchResult[int]]: ...
    def _distances(
        self, sources: Any, limit: float | None, return_predecessors: bool, min_only: bool
    ) -> tuple[bytearray, bytearray | None, bytearray | None]: ...

@disjoint_base
class Grid:
    def __new__(cls, map: str, diagonal: bool = False) -> Self: ...
    @classmethod
    def from_costs(cls, costs: Any, diagonal: bool = False) -> Self: ...
    @property
    def height(self) -> int: ...
    @property
    def width(self) -> int: ...
    @property
    def diagonal(self) -> bool: ...
    @property
    def preprocessed(self) -> bool: ...
    def preprocess(self) -> Self: ...
    def search(
        self,
        start: tuple[int, int],
        goal: tuple[int, int],
        algorithm: str = "astar",
        heuristic: Any = None,
        record: bool = True,
        weight: float = 2.0,
        beam_width: int | None = None,
        depth_limit: int | None = None,
        max_nodes: int | None = None,
        reopen: bool = False,
    ) -> SearchResult[tuple[int, int]]: ...
    def _search_batch(self, pairs: Any, **options: Any) -> list[SearchResult[tuple[int, int]]]: ...
    def _distances(
        self, source: tuple[int, int], limit: float | None, return_predecessors: bool
    ) -> tuple[bytearray, bytearray | None]: ...

@disjoint_base
class WordLadder:
    def __new__(cls, word_list: Any) -> Self: ...
    @property
    def num_words(self) -> int: ...
    def search(
        self,
        start: str,
        goal: str,
        algorithm: str = "astar",
        heuristic: Any = None,
        record: bool = True,
        weight: float = 2.0,
        beam_width: int | None = None,
        depth_limit: int | None = None,
        max_nodes: int | None = None,
        reopen: bool = False,
    ) -> SearchResult[str]: ...
    def _search_batch(self, pairs: Any, **options: Any) -> list[SearchResult[str]]: ...

@final
class TileDatabases:
    @classmethod
    def _create(cls, side: int, goal: Any, groups: Any) -> TileDatabases: ...
    @property
    def _layout(self) -> list[tuple[int, int]]: ...
    @property
    def ready(self) -> bool: ...
    @property
    def reflects(self) -> bool: ...
    def _allocate(self) -> None: ...
    def _build(self, index: int, progress: Any = None) -> None: ...
    def _check(self, tiles: Any) -> None: ...
    def _set_ready(self, ready: bool) -> None: ...
    def search(
        self,
        tiles: Any,
        algorithm: str = "ida_star",
        record: bool = True,
        weight: float = 2.0,
        beam_width: int | None = None,
        depth_limit: int | None = None,
        max_nodes: int | None = None,
        reopen: bool = False,
    ) -> SearchResult: ...
    def _search_batch(self, boards: Any, **options: Any) -> list[SearchResult]: ...
    def estimate(self, tiles: Any) -> int: ...
