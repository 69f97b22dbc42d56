"""The rows of a comparison and their table (plain, picklable records)."""

from __future__ import annotations

import dataclasses
import math
from collections.abc import Iterable, Iterator, Sequence
from typing import Any, overload

#: Stop reasons of rows whose search was ended from outside.
TIME_LIMIT, MEMORY_LIMIT = "time limit", "memory limit"

#: How the error of a row whose worker process died begins.
WORKER_DIED = "the worker process ended with status"


@dataclasses.dataclass(frozen=True)
class Row:
    """One algorithm's outcome on the problem (a plain, picklable record).

    ``error`` holds the message when the search refused to run (for example
    an unknown algorithm name); the counters are then zero. ``depth_limit`` is
    the limit :func:`compare` chose for "dls"/"iddfs" when none was given.
    """

    algorithm: str
    found: bool
    cost: float
    expanded: int
    generated: int
    reopened: int
    peak_frontier: int
    elapsed: float
    stop_reason: str
    error: str | None = None
    depth_limit: int | None = None

    @classmethod
    def failed(cls, algorithm: str, message: str) -> Row:
        return cls(algorithm, False, math.inf, 0, 0, 0, 0, 0.0, "", error=message)

    @classmethod
    def stopped(cls, algorithm: str, reason: str, elapsed: float = 0.0) -> Row:
        """A search ended from outside: ``reason`` is "time limit" or "memory limit"."""
        return cls(algorithm, False, math.inf, 0, 0, 0, 0, elapsed, reason)

    @property
    def bounded(self) -> bool:
        """Whether the search was ended by a time or memory limit."""
        return self.stop_reason in (TIME_LIMIT, MEMORY_LIMIT)

    @property
    def died(self) -> bool:
        """Whether the search's worker process died (killed, crashed) before answering."""
        return self.error is not None and self.error.startswith(WORKER_DIED)


_COLUMNS = (
    ("algorithm", "algorithm"),
    ("found", "found"),
    ("cost", "cost"),
    ("expanded", "expanded"),
    ("generated", "generated"),
    ("reopened", "reopened"),
    ("peak_frontier", "peak frontier"),
    ("elapsed", "time (ms)"),
    ("stop_reason", "stop"),
)
_NUMERIC = {"cost", "expanded", "generated", "reopened", "peak_frontier", "elapsed"}


def _cell(row: Row, field: str) -> str:
    value = getattr(row, field)
    if field == "algorithm":
        return value if row.depth_limit is None else f"{value} (depth {row.depth_limit})"
    if field == "stop_reason" and row.error is not None:
        return "error: " + row.error
    if row.error is not None and field != "stop_reason":
        return "-"
    if row.bounded and field not in ("stop_reason", "elapsed"):
        return "-"
    if field == "cost":
        return "inf" if math.isinf(value) else f"{value:.6g}"
    if field == "elapsed":
        return f"{value * 1e3:.3f}"
    if field == "found":
        return "yes" if value else "no"
    return str(value)


class Comparison(Sequence[Row]):
    """The rows of a comparison: a sequence of :class:`Row` with a printable table.

    >>> import wayloom_native as wn
    >>> from wayloom import compare
    >>> c = compare(wn.search_grid, wn.sample_maze("open"), algorithms=["bfs", "astar"])
    >>> c.row("astar").cost
    13.0
    """

    def __init__(self, rows: Iterable[Row]) -> None:
        self._rows = list(rows)

    @overload
    def __getitem__(self, index: int) -> Row: ...
    @overload
    def __getitem__(self, index: slice) -> list[Row]: ...
    def __getitem__(self, index: int | slice) -> Row | list[Row]:
        return self._rows[index]

    def __len__(self) -> int:
        return len(self._rows)

    def __iter__(self) -> Iterator[Row]:
        return iter(self._rows)

    def __repr__(self) -> str:
        return self.table()

    def row(self, algorithm: str) -> Row:
        """The row of ``algorithm`` (``KeyError`` if it was not compared)."""
        for r in self._rows:
            if r.algorithm == algorithm:
                return r
        raise KeyError(algorithm)

    def table(self, markdown: bool = False) -> str:
        """The rows as an aligned text table, or a Markdown table.

        >>> print(Comparison([Row("bfs", True, 2.0, 3, 3, 0, 1, 0.0, "goal")]).table())
        algorithm  found  cost  expanded  generated  reopened  peak frontier  time (ms)  stop
        ---------  -----  ----  --------  ---------  --------  -------------  ---------  ----
        bfs        yes       2         3          3         0              1      0.000  goal
        """
        header = [title for _, title in _COLUMNS]
        body = [[_cell(r, f) for f, _ in _COLUMNS] for r in self._rows]
        if markdown:
            lines = [
                "| " + " | ".join(header) + " |",
                "|" + "|".join("---:" if f in _NUMERIC else "---" for f, _ in _COLUMNS) + "|",
            ]
            lines += [
                "| " + " | ".join(c.replace("|", "\\|") for c in cells) + " |" for cells in body
            ]
            return "\n".join(lines)
        widths = [max(len(x) for x in col) for col in zip(header, *body)]

        def line(cells: list[str]) -> str:
            out = []
            for (field, _), cell, width in zip(_COLUMNS, cells, widths):
                out.append(cell.rjust(width) if field in _NUMERIC else cell.ljust(width))
            return "  ".join(out).rstrip()

        rule = "  ".join("-" * w for w in widths)
        return "\n".join([line(header), rule, *(line(r) for r in body)])

    def to_pandas(self) -> Any:
        """The rows as a pandas DataFrame (needs pandas)."""
        try:
            import pandas as pd
        except ImportError as exc:
            raise ImportError("to_pandas() needs pandas: pip install pandas") from exc
        return pd.DataFrame([dataclasses.asdict(r) for r in self._rows])
