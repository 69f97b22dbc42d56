"""Run several algorithms on one problem and tabulate the results."""

from __future__ import annotations

import dataclasses
import math
from typing import Any, Callable, Iterable, Iterator, Sequence

import wayloom_native

#: The best-first algorithms, in catalogue order.
BEST_FIRST = ("bfs", "dfs", "ucs", "dijkstra", "greedy", "astar", "weighted_astar")


#: Every algorithm the engine offers (aliases excluded), in catalogue order.
ALGORITHMS = (
    "bfs",
    "dfs",
    "ucs",
    "dijkstra",
    "greedy",
    "astar",
    "weighted_astar",
    "iddfs",
    "dls",
    "ida_star",
    "beam",
    "bidirectional",
)


@dataclasses.dataclass(frozen=True)
class Row:
    """One algorithm's outcome on the problem."""

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


def _cell(row: Row, field: str) -> str:
    value = getattr(row, field)
    if row.error is not None and field not in ("algorithm", "stop_reason"):
        return "-"
    if field == "stop_reason" and row.error is not None:
        return "error: " + row.error
    if field == "cost":
        return "inf" if math.isinf(value) else f"{value:.6g}"
    if field == "elapsed":
        return f"{value * 1e3:.3f}"
    if field == "found":
        return "yes" if value else "no"
    return str(value)


class Comparison(Sequence[Row]):
    """The rows of a comparison: a sequence of :class:`Row` with a printable table."""

    def __init__(self, rows: Iterable[Row]) -> None:
        self._rows = list(rows)

    def __getitem__(self, index):  # type: ignore[override]
        return self._rows[index]

    def __len__(self) -> int:
        return len(self._rows)

    def __iter__(self) -> Iterator[Row]:
        return iter(self._rows)

    def __repr__(self) -> str:
        return self.table()

    def table(self) -> str:
        """The rows as an aligned text table."""
        header = [title for _, title in _COLUMNS]
        body = [[_cell(r, f) for f, _ in _COLUMNS] for r in self._rows]
        widths = [max(len(x) for x in col) for col in zip(header, *body)]
        numeric = {"cost", "expanded", "generated", "reopened", "peak_frontier", "elapsed"}

        def line(cells: list[str]) -> str:
            out = []
            for (field, _), cell, width in zip(_COLUMNS, cells, widths):
                out.append(cell.rjust(width) if field in numeric else cell.ljust(width))
            return "  ".join(out).rstrip()

        rule = "  ".join("-" * w for w in widths)
        return "\n".join([line(header), rule, *(line(r) for r in body)])

    def to_pandas(self):
        """The rows as a pandas DataFrame (needs pandas)."""
        try:
            import pandas as pd
        except ImportError as exc:  # pragma: no cover - depends on environment
            raise ImportError("to_pandas() needs pandas: pip install pandas") from exc
        return pd.DataFrame([dataclasses.asdict(r) for r in self._rows])


def run_one(search: Callable[..., Any], algorithm: str, args: tuple, kwargs: dict) -> Row:
    """Run one algorithm; a ValueError (e.g. "'dls' requires depth_limit") becomes a row."""
    try:
        r = search(*args, algorithm=algorithm, record=False, **kwargs)
    except ValueError as exc:
        return Row(algorithm, False, math.inf, 0, 0, 0, 0, 0.0, "", error=str(exc))
    return Row(
        algorithm,
        r.found,
        r.cost,
        r.nodes_expanded,
        r.nodes_generated,
        r.nodes_reopened,
        r.max_frontier_size,
        r.elapsed,
        r.stop_reason,
    )


def compare(
    search: Callable[..., Any],
    *args: Any,
    algorithms: Sequence[str] | None = None,
    **kwargs: Any,
) -> Comparison:
    """Run ``search(*args, algorithm=a, **kwargs)`` for every algorithm ``a``.

    >>> import wayloom_native as wn
    >>> rows = compare(wn.search_grid, wn.sample_maze("open"), algorithms=["bfs", "astar"])
    >>> [r.cost for r in rows]
    [13.0, 13.0]
    """
    names = list(algorithms) if algorithms is not None else list(ALGORITHMS)
    return Comparison(run_one(search, a, args, kwargs) for a in names)
