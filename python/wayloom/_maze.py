"""Reading mazes for drawing: ASCII maps and cost matrices, in plain Python.

The engine parses maps itself when it searches; :func:`read_ascii` is the one
Python copy of its rules (the tests hold the two equal), so that pictures and
the command line see the same cells the search saw.
"""

from __future__ import annotations

import dataclasses
import math
from collections.abc import Sequence
from typing import Any

Cell = tuple[int, int]
#: What the drawing functions accept as a maze.
MazeLike = str | Sequence[Sequence[float]]


@dataclasses.dataclass(frozen=True)
class Maze:
    """A rectangular grid: walls, terrain costs, and the start and goal if marked.

    ``costs[r][c]`` is the cost of entering an open cell; it is ``math.inf`` for
    a wall, so ``walls`` and ``costs`` always agree.
    """

    height: int
    width: int
    costs: tuple[tuple[float, ...], ...]
    start: Cell | None = None
    goal: Cell | None = None

    def is_wall(self, cell: Cell) -> bool:
        return math.isinf(self.costs[cell[0]][cell[1]])

    def contains(self, cell: Cell) -> bool:
        return 0 <= cell[0] < self.height and 0 <= cell[1] < self.width

    @property
    def walls(self) -> list[Cell]:
        return [
            (r, c) for r, row in enumerate(self.costs) for c, v in enumerate(row) if math.isinf(v)
        ]


@dataclasses.dataclass(frozen=True)
class AsciiMap:
    """An ASCII map as the engine reads it: one terrain byte a cell, row by row.

    A terrain byte is 0 for a wall and the cell's cost (1 to 9) otherwise;
    ``start`` and ``goal`` are the last ``S`` and ``G`` in reading order.
    """

    height: int
    width: int
    terrain: bytes
    start: Cell | None
    goal: Cell | None


# Character code -> terrain byte: '#' a wall, '1'-'9' their cost, anything
# else (non-ASCII characters included) open ground of cost 1.
_TERRAIN = bytes(0 if b == ord("#") else b - 48 if 49 <= b <= 57 else 1 for b in range(256))
_COST = tuple(math.inf if t == 0 else float(t) for t in range(256))  # terrain byte -> cost


def read_ascii(text: str) -> AsciiMap:
    """Read an ASCII map with the engine's rules (the one Python copy of them).

    Lines end at ``\\n`` (a ``\\r`` before it is dropped); blank lines before
    and after the map are ignored; a short line is padded with open cells; a
    column is a character, not a byte.

    >>> m = read_ascii("S.#\\n.9G")
    >>> (m.height, m.width, m.terrain, m.start, m.goal)
    (2, 3, b'\\x01\\x01\\x00\\x01\\t\\x01', (0, 0), (1, 2))
    """
    lines = text.split("\n")
    lines = [line.removesuffix("\r") for line in lines[:-1]] + lines[-1:]
    first, last = 0, len(lines)
    while first < last and not lines[first]:
        first += 1
    while last > first and not lines[last - 1]:
        last -= 1
    if first == last:
        raise ValueError("the maze has no rows")
    rows = lines[first:last]
    width = max(map(len, rows))
    flat = "".join(row.ljust(width, ".") for row in rows)
    # One byte a character, so the flat index still counts cells.
    terrain = flat.encode("ascii", "replace").translate(_TERRAIN)
    start, goal = flat.rfind("S"), flat.rfind("G")
    return AsciiMap(
        len(rows),
        width,
        terrain,
        None if start < 0 else divmod(start, width),
        None if goal < 0 else divmod(goal, width),
    )


def parse_ascii(text: str) -> Maze:
    """Read an ASCII map: ``#`` wall, ``S`` start, ``G`` goal, ``1``-``9`` terrain.

    >>> m = parse_ascii("S.#\\n.9G")
    >>> (m.height, m.width, m.start, m.goal, m.costs[1][1])
    (2, 3, (0, 0), (1, 2), 9.0)
    """
    m = read_ascii(text)
    w = m.width
    rows = tuple(tuple(_COST[t] for t in m.terrain[r * w : (r + 1) * w]) for r in range(m.height))
    return Maze(m.height, w, rows, m.start, m.goal)


def from_costs(matrix: Any) -> Maze:
    """Read a matrix of terrain costs; a non-positive or non-finite value is a wall.

    Short rows are padded with walls.

    >>> from_costs([[1, 2], [0]]).walls
    [(1, 0), (1, 1)]
    """
    try:
        rows = [list(row) for row in matrix]
    except TypeError:
        raise TypeError("a maze must be an ASCII map (str) or a matrix of costs") from None
    width = max((len(row) for row in rows), default=0)
    if width == 0:
        raise ValueError("costs must be a non-empty matrix")
    out = []
    for row in rows:
        cells = []
        for value in row:
            try:
                v = float(value)
            except (TypeError, ValueError):
                raise TypeError(f"cost matrix entries must be numbers, got {value!r}") from None
            cells.append(v if math.isfinite(v) and v > 0 else math.inf)
        cells.extend([math.inf] * (width - len(cells)))
        out.append(tuple(cells))
    return Maze(len(out), width, tuple(out))


def to_maze(maze: MazeLike | Maze) -> Maze:
    """Any accepted maze form as a :class:`Maze`."""
    if isinstance(maze, Maze):
        return maze
    if isinstance(maze, str):
        return parse_ascii(maze)
    if isinstance(maze, (bytes, bytearray)):
        raise TypeError("an ASCII maze must be a str, not bytes")
    return from_costs(maze)


def is_cell(node: Any) -> bool:
    """Whether ``node`` looks like a grid cell: a ``(row, col)`` tuple of ints."""
    return (
        type(node) is tuple
        and len(node) == 2
        and all(isinstance(x, int) and not isinstance(x, bool) for x in node)
    )
