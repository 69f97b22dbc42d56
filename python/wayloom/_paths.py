"""Paths read back from the predecessor arrays of the distance tables."""

from __future__ import annotations

from typing import Any

from .graphs import _numpy

__all__ = ["path_from"]


def path_from(predecessors: Any, target: Any, source: Any = None) -> list[Any]:
    """The nodes from the source to ``target`` along ``predecessors``; ``[]`` when
    ``target`` was not reached.

    ``predecessors`` is one row of what ``Graph.distances(...,
    return_predecessors=True)`` returns (node ids, ``-1`` for none; ``target`` an
    int), or the ``(height, width, 2)`` array of ``Grid.distances`` (``target`` a
    ``(row, col)`` cell; the path is a list of cells).

    A source and an unreached node both have no predecessor. A source that
    reached some other node is told apart (the path is ``[target]``); one that
    reached nothing is taken for unreached unless named as ``source``. With
    ``source`` given, a path that does not start there is ``[]``; ``source``
    may be ``sources[target]`` of a ``min_only`` result, where ``-1`` (not
    reached) gives ``[]``.
    """
    np = _numpy()
    pred = np.asarray(predecessors)
    if pred.dtype.kind not in "iu":
        raise TypeError(f"predecessors must be an integer array, got dtype {pred.dtype}")
    if pred.ndim == 3 and pred.shape[2] == 2:
        height, width = pred.shape[:2]

        def index(cell: Any) -> int:
            row, col = (int(x) for x in cell)
            if not (0 <= row < height and 0 <= col < width):
                raise ValueError(f"cell {tuple(cell)!r} is outside the {height}x{width} grid")
            return row * width + col

        # Walked as flat indices: one array instead of a tuple a cell.
        flat = np.where(pred[..., 0] < 0, -1, pred[..., 0].astype(np.int64) * width + pred[..., 1])
        root = None if source is None else index(source)
        walked = _walk(flat.ravel(), index(target), root)
        return [(i // width, i % width) for i in walked]
    if pred.ndim != 1:
        raise ValueError(
            "predecessors must be one row of node ids (pick a row of a 2-D result) "
            "or a grid's (height, width, 2) array"
        )
    if source is not None and int(source) < 0:
        return []
    for name, node in (("target", target), ("source", source)):
        if node is not None and not 0 <= int(node) < len(pred):
            raise ValueError(f"{name} {int(node)} is out of range for {len(pred)} nodes")
    return _walk(pred, int(target), None if source is None else int(source))


def _walk(pred: Any, target: int, source: int | None) -> list[int]:
    path = [target]
    for _ in range(len(pred)):
        node = int(pred[path[-1]])
        if node < 0:
            break
        if node >= len(pred):
            raise ValueError(f"predecessor {node} is out of range for {len(pred)} nodes")
        path.append(node)
    else:
        raise ValueError("the predecessors loop: they are not a shortest-path tree")
    if source is not None:
        return path[::-1] if path[-1] == source else []
    if len(path) == 1 and not (pred == target).any():
        return []  # no predecessor, and none through it: not reached
    return path[::-1]
