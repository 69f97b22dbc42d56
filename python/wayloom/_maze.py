"""Reading mazes for drawing: ASCII maps and cost matrices, in plain Python.

The engine parses maps itself when it searches; this copy of the format rules
exists only so that pictures show the same cells the search saw.
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


def parse_ascii(text: str) -> Maze:
    """Read an ASCII map: ``#`` wall, ``S`` start, ``G`` goal, ``1``-``9`` terrain.

    >>> m = parse_ascii("S.#\\n.9G")
    >>> (m.height, m.width, m.start, m.goal, m.costs[1][1])
    (2, 3, (0, 0), (1, 2), 9.0)
    """
    lines = [line[:-1] if line.endswith("\r") else line for line in text.split("\n")]
    while lines and lines[0] == "":
        lines.pop(0)
    while lines and lines[-1] == "":
        lines.pop()
    if not lines:
        raise ValueError("the maze has no rows")
    width = max(len(line) for line in lines)
    start: Cell | None = None
    goal: Cell | None = None
    rows = []
    for r, line in enumerate(lines):
        row = []
        for c, ch in enumerate(line.ljust(width, ".")):
            if ch == "#":
                row.append(math.inf)
                continue
            if ch == "S":
                start = (r, c)  # the last one wins, as in the engine
            elif ch == "G":
                goal = (r, c)
            row.append(float(ch) if "1" <= ch <= "9" else 1.0)
        rows.append(tuple(row))
    return Maze(len(rows), width, tuple(rows), start, goal)


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
