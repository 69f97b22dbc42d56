"""Graphs and grids built once and searched many times.

The objects are immutable: build one, then query it from as many threads as
you like (searches with a built-in heuristic release the interpreter lock).
They pickle compactly, so a process pool or a Dask cluster receives a graph
once per chunk of queries rather than once per query.
"""

from __future__ import annotations

import os
from collections.abc import Iterable, Sequence
from concurrent.futures import Executor, ThreadPoolExecutor
from typing import Any, Generic, TypeVar

from wayloom_native import SearchResult

from . import _engine, _scatter

__all__ = ["Graph", "Grid", "WordLadder"]

_G = TypeVar("_G", bound="Graph")
_R = TypeVar("_R", bound="Grid")
_N = TypeVar("_N")  # the node type: what a result's path lists


def _chunks(pairs: list[Any], count: int) -> list[list[Any]]:
    # Dealt out in turn rather than cut into runs: a batch sorted by difficulty
    # (as benchmark scenario files are) then gives every worker a fair share.
    count = max(1, min(count, len(pairs)))
    return [pairs[k::count] for k in range(count)]


def _in_order(parts: list[list[SearchResult[_N]]]) -> list[SearchResult[_N]]:
    out: list[Any] = [None] * sum(map(len, parts))
    for k, part in enumerate(parts):
        out[k :: len(parts)] = part
    return out


def _run_chunk(target: Any, chunk: list[Any], options: dict[str, Any]) -> list[SearchResult[Any]]:
    return list(target._search_batch(chunk, **options))


def _worker_count(executor: Executor | None, workers: int | None) -> int:
    if workers is not None:
        if isinstance(workers, bool) or not isinstance(workers, int) or workers < 1:
            raise ValueError("workers must be a positive int or None")
        return workers
    known = getattr(executor, "_max_workers", None)
    return known if isinstance(known, int) and known > 0 else (os.cpu_count() or 1)


class _Batch(Generic[_N]):
    """search_many, shared by graphs and grids."""

    __slots__ = ()

    def search_many(
        self,
        pairs: Iterable[Sequence[_N]],
        algorithm: str = "dijkstra",
        workers: int | None = None,
        executor: Executor | None = None,
        **options: Any,
    ) -> list[SearchResult[_N]]:
        """Run ``search(start, goal, algorithm, **options)`` for every pair; results in order.

        ``workers=None`` without an executor runs serially; ``workers=k`` splits the
        pairs into ``k`` chunks searched on ``k`` threads (the interpreter lock is
        released while a chunk with a built-in heuristic searches, so threads use
        every core). ``executor=`` sends the chunks to any
        :class:`concurrent.futures.Executor` — a process pool, or a Dask
        ``Client.get_executor()`` — with the object pickled once per chunk; there
        are ``workers`` chunks, by default the executor's worker count. A Dask
        client's executor gets the object once per worker instead (scattered on
        the first call, reused by later ones for as long as object and client live).
        """
        todo = list(pairs)
        options["algorithm"] = algorithm
        if executor is None and workers is None:
            return _run_chunk(self, todo, options)
        count = _worker_count(executor, workers)
        chunks = _chunks(todo, count)
        if executor is None:
            with ThreadPoolExecutor(max_workers=len(chunks)) as pool:
                futures = [pool.submit(_run_chunk, self, c, options) for c in chunks]
                return _in_order([f.result() for f in futures])
        client = _scatter.dask_client(executor)
        target = self if client is None else _scatter.on_workers(self, client)
        futures = [executor.submit(_run_chunk, target, c, options) for c in chunks]
        return _in_order([f.result() for f in futures])


def _numpy() -> Any:
    try:
        import numpy
    except ImportError as e:  # pragma: no cover - depends on the environment
        raise ImportError("distances() returns numpy arrays: pip install numpy") from e
    return numpy


class Graph(_Batch[int], _engine.Graph):
    """An immutable weighted graph over nodes ``0 .. num_nodes - 1``, built once.

    ``Graph(num_nodes, edges, undirected=True)`` takes ``(u, v, w)`` or ``(u, v)``
    tuples (weight 1.0), or a numpy array of shape ``(m, 2)`` or ``(m, 3)`` (a float
    array, as ``np.array(edge_list)`` makes it, is accepted when its node ids are
    whole numbers). :meth:`search` runs Dijkstra unless told otherwise and
    equals ``search_graph`` on the same edges with the same algorithm and
    heuristic; ``"bidirectional_dijkstra"`` is exact too. A NaN weight is refused.

    ``coordinates=`` (here and on :meth:`from_arrays` / :meth:`from_scipy`), an
    ``(n, 2)`` array or ``(x, y)`` pairs, adds the built-in heuristics
    ``"euclidean"`` (then the default) and ``"manhattan"`` (distance between the
    nodes' points), so A* runs without a Python callback. They are admissible,
    and A* optimal, only if every arc weighs at least the straight-line
    (respectively city-block) distance between its endpoints.
    """

    __slots__ = ("__weakref__",)  # a copy scattered to Dask lives only as long

    @classmethod
    def from_scipy(
        cls: type[_G], matrix: Any, undirected: bool = False, coordinates: Any = None
    ) -> _G:
        """A graph from any scipy.sparse matrix or array: each stored entry ``(i, j)``
        is an arc ``i -> j`` weighted by its value (explicit zeros included)."""
        shape = getattr(matrix, "shape", None)
        if not hasattr(matrix, "tocoo") or shape is None or len(shape) != 2:
            raise TypeError(
                f"from_scipy expects a scipy.sparse matrix, got {type(matrix).__name__}"
            )
        if shape[0] != shape[1]:
            raise ValueError(f"from_scipy expects a square matrix, got shape {tuple(shape)}")
        if not undirected and getattr(matrix, "format", None) == "csr":
            # Already arcs by source in stored order: taken as they are.
            nnz = int(matrix.indptr[-1])
            return cls._from_csr(
                matrix.indptr, matrix.indices[:nnz], matrix.data[:nnz], int(shape[0]), coordinates
            )
        coo = matrix.tocoo()
        return cls.from_arrays(
            coo.row,
            coo.col,
            coo.data,
            num_nodes=int(shape[0]),
            undirected=undirected,
            coordinates=coordinates,
        )

    def distances(
        self,
        sources: Any,
        limit: float | None = None,
        return_predecessors: bool = False,
        min_only: bool = False,
    ) -> Any:
        """Dijkstra from ``sources`` (one node or a sequence of nodes) to every node.

        Returns a float64 numpy array of shape ``(num_nodes,)`` for one source or
        ``(len(sources), num_nodes)`` for a sequence, ``inf`` where a node is
        unreachable (or farther than ``limit``). With ``return_predecessors=True``
        also returns the int64 predecessor array of the same shape, ``-1`` for a
        source and for unreachable nodes (:func:`wayloom.path_from` walks it).

        ``min_only=True`` gives one row, the distance to the nearest source; with
        predecessors it returns ``(distances, predecessors, sources)``, where
        ``sources[i]`` is the source that reached node ``i`` (``-1`` for none),
        as scipy.sparse.csgraph.dijkstra does. Arc weights must be non-negative.
        """
        np = _numpy()
        single = not isinstance(sources, (Sequence, np.ndarray)) or isinstance(sources, str)
        if isinstance(sources, np.ndarray) and sources.ndim == 0:
            single = True
        listed = [sources] if single else sources
        dist, pred, origin = self._distances(listed, limit, return_predecessors, min_only)
        n = self.num_nodes
        shape = (n,) if single or min_only else (-1, n)
        d = np.frombuffer(dist, dtype=np.float64).reshape(shape)
        if not return_predecessors:
            return d
        p = np.frombuffer(pred, dtype=np.int64).reshape(shape)
        if not min_only:
            return d, p
        return d, p, np.frombuffer(origin, dtype=np.int64)


class Grid(_Batch[tuple[int, int]], _engine.Grid):
    """An immutable 2-D grid, built once from an ASCII map (``#`` wall, a digit
    ``1``-``9`` terrain cost, anything else an open cell of cost 1; ``S`` and ``G``
    are optional), with :meth:`from_costs` from a cost matrix, or with
    :meth:`from_movingai` from a benchmark map file.

    :meth:`search` runs A* with a heuristic admissible on this grid unless one is
    named (octile on an 8-connected grid, Manhattan on a 4-connected one, times
    the cheapest open cell's cost); with a named heuristic it equals
    ``search_grid_costs`` on the same grid.

    ``algorithm="jps"`` (in :meth:`search` and :meth:`search_many`) is jump point
    search, for 8-connected grids whose open cells all cost the same: the same
    optimal cost as A* with the octile heuristic (its default here), expanding only
    jump points. The path lists every cell; the counters, trace and tree count jump
    points. :meth:`preprocess` makes a copy on which it reads jumps from a table.
    """

    __slots__ = ("__weakref__",)  # a copy scattered to Dask lives only as long

    def __new__(cls: type[_R], map: str, diagonal: bool = False) -> _R:
        from .movingai import looks_like_movingai

        if isinstance(map, str) and looks_like_movingai(map):
            raise ValueError(
                "this is a MovingAI map file (it starts with a 'type' header); "
                "read it with Grid.from_movingai(path_or_text)"
            )
        grid: _R = super().__new__(cls, map, diagonal)
        return grid

    @classmethod
    def from_movingai(
        cls: type[_R], path_or_text: str | os.PathLike[str], diagonal: bool = True
    ) -> _R:
        """A grid from a MovingAI map: a path, or the file's text. ``.``, ``G`` and
        ``S`` are open cells of cost 1; ``@``, ``O``, ``T`` and ``W`` are walls. The
        header's height and width are checked against the rows."""
        from .movingai import read_map

        return cls(read_map(path_or_text), diagonal=diagonal)

    def preprocess(self: _R) -> _R:
        """A copy of this grid holding every cell's jump distance in the eight
        directions (16 bytes a cell, charged to the memory budget), from which
        ``algorithm="jps"`` reads its jumps instead of scanning for them. Only for
        grids that "jps" takes (8-connected, one cost for every open cell); the copy
        pickles with its table."""
        grid: _R = super().preprocess()
        return grid

    def distances(
        self,
        source: tuple[int, int],
        limit: float | None = None,
        return_predecessors: bool = False,
    ) -> Any:
        """Cheapest cost from the ``source`` cell to every cell: a float64 numpy array
        of shape ``(height, width)``, ``inf`` for walls and unreachable cells.

        With ``return_predecessors=True`` also returns each cell's predecessor on
        a cheapest path as an int64 array of shape ``(height, width, 2)`` holding
        ``(row, col)``, ``(-1, -1)`` for the source and unreached cells;
        :func:`wayloom.path_from` walks it.
        """
        np = _numpy()
        dist, pred = self._distances(source, limit, return_predecessors)
        d = np.frombuffer(dist, dtype=np.float64).reshape(self.height, self.width)
        if not return_predecessors:
            return d
        return d, np.frombuffer(pred, dtype=np.int64).reshape(self.height, self.width, 2)


class WordLadder(_Batch[str], _engine.WordLadder):
    """A word list indexed once for word-ladder searches (one letter changed a step).

    :meth:`search` equals ``search_wordladder(start, goal, word_list, ...)``: words
    are lowercased, and ``start``/``goal`` join the dictionary for that query.
    """

    __slots__ = ("__weakref__",)  # a copy scattered to Dask lives only as long
