"""Run several algorithms on one problem and tabulate the results.

Depth limits: "dls" cannot run without one. When the caller gives no
``depth_limit``, :func:`compare` first runs "bfs" on the problem (without
recording) and gives "dls" and "iddfs" the number of moves of the path it
found. "dls" then finds a path; "iddfs" gives exactly the result it would give
unbounded (it stops at the first depth that reaches the goal, which is never
deeper than a path that exists) but cannot run away when the goal is far. If
bfs finds no path (goal unreachable, or ``max_nodes`` too small) both get an
error row instead of a search whose depth-first passes would multiply without
end. The depth chosen is kept in :attr:`Row.depth_limit`.

Bounded runs: with ``time_limit`` each algorithm runs in a worker process of
its own, which is ended when its time is up; its row then says "time limit"
and the other rows are exactly what a plain run gives. A search that runs out
of memory (``MemoryError``) becomes a row that says "memory limit".
"""

from __future__ import annotations

import concurrent.futures
import dataclasses
import math
import multiprocessing
import sys
import time
from collections.abc import Callable, Iterable, Iterator, Sequence
from typing import Any, TextIO, overload

from . import _catalogue

#: Every algorithm the engine offers (aliases excluded), in catalogue order.
ALGORITHMS = _catalogue.NAMES

#: The best-first algorithms, in catalogue order.
BEST_FIRST = tuple(a.name for a in _catalogue.ALGORITHMS if a.best_first)

#: The algorithms that get a bfs-derived depth limit when the caller gives none.
DEPTH_LIMITED = tuple(a.name for a in _catalogue.ALGORITHMS if "depth_limit" in a.options)

#: Stop reasons of rows whose search was ended from outside.
TIME_LIMIT, MEMORY_LIMIT = "time limit", "memory limit"


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


def run_one(search: Callable[..., Any], algorithm: str, args: tuple, kwargs: dict) -> Row:
    """Run one algorithm without recording; a ``ValueError`` becomes an error row.

    A module-level function, so that it can be sent to a process pool (the
    native search functions pickle by name).
    """
    try:
        r = search(*args, algorithm=algorithm, record=False, **kwargs)
    except ValueError as exc:
        return Row.failed(algorithm, str(exc))
    except MemoryError:
        return Row.stopped(algorithm, MEMORY_LIMIT)
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


def bfs_depth(search: Callable[..., Any], *args: Any, **kwargs: Any) -> int | None:
    """Moves on the path bfs finds, or ``None`` when it finds none.

    A ``ValueError`` (the problem itself is refused) propagates.

    >>> import wayloom_native as wn
    >>> bfs_depth(wn.search_grid, wn.sample_maze("wall"))
    20
    """
    kwargs = {k: v for k, v in kwargs.items() if k not in ("algorithm", "record", "depth_limit")}
    r = search(*args, algorithm="bfs", record=False, **kwargs)
    return len(r.path) - 1 if r.found else None


class _Progress:
    """A one-line progress bar on stderr, for terminals and long batches only."""

    def __init__(self, total: int, enabled: bool | None, stream: TextIO | None = None) -> None:
        self.stream = stream if stream is not None else sys.stderr
        if enabled is None:
            isatty = getattr(self.stream, "isatty", None)
            enabled = bool(isatty and isatty())
        self.enabled = enabled and total > 1
        self.total = total
        self.done = 0
        self.t0 = time.monotonic()
        self.drawn = False

    def step(self, name: str) -> None:
        self.done += 1
        # Quick batches never draw: a bar that flashes for 10 ms is noise.
        if not self.enabled or (not self.drawn and time.monotonic() - self.t0 < 0.5):
            return
        filled = 24 * self.done // self.total
        self.stream.write(
            f"\rcompare [{'#' * filled}{'.' * (24 - filled)}] "
            f"{self.done}/{self.total} {name[:20]:<20}"
        )
        self.stream.flush()
        self.drawn = True

    def close(self) -> None:
        if self.drawn:
            self.stream.write("\r" + " " * 64 + "\r")
            self.stream.flush()


def _child(conn: Any, fn: Callable[..., Any], args: tuple, kwargs: dict) -> None:
    try:
        conn.send(fn(*args, **kwargs))
    except BaseException as exc:  # noqa: BLE001 - everything goes back to the parent
        try:
            conn.send(exc)
        except Exception:  # noqa: BLE001 - an exception that does not pickle
            conn.send(RuntimeError(f"{type(exc).__name__}: {exc}"))
    finally:
        conn.close()


class _TimedExecutor(concurrent.futures.Executor):
    """Runs each job in a forked process, ended when its time is up.

    Forked, not spawned: the search function and its arguments (callables
    included) need not pickle; only the result comes back. Windows cannot
    fork: there the job is spawned, and the function and its arguments must
    pickle (the native search functions do, by name).
    """

    def __init__(
        self, time_limit: float, workers: int, on_start: Callable[[str], None] | None = None
    ) -> None:
        self.time_limit = time_limit
        self.on_start = on_start
        self.pool = concurrent.futures.ThreadPoolExecutor(max_workers=workers)

    def call(self, fn: Callable[..., Any], *args: Any, **kwargs: Any) -> Any:
        """``fn(*args, **kwargs)`` in a worker process; ``TimeoutError`` when time is up."""
        if "fork" in multiprocessing.get_all_start_methods():
            ctx: Any = multiprocessing.get_context("fork")
        else:
            ctx = multiprocessing.get_context("spawn")
        parent, child = ctx.Pipe(duplex=False)
        proc = ctx.Process(target=_child, args=(child, fn, args, kwargs), daemon=True)
        proc.start()
        child.close()
        try:
            if not parent.poll(self.time_limit):
                raise TimeoutError
            try:
                out = parent.recv()
            except EOFError:  # the worker died without a word (killed, crashed)
                proc.join()
                raise RuntimeError(
                    f"the worker process ended with status {proc.exitcode}"
                ) from None
            if isinstance(out, BaseException):
                raise out
            return out
        finally:
            parent.close()
            if proc.is_alive():
                proc.kill()
            proc.join()

    def _run_one(
        self, search: Callable[..., Any], algorithm: str, args: tuple, kwargs: dict
    ) -> Row:
        if self.on_start is not None:
            self.on_start(algorithm)
        t0 = time.monotonic()
        try:
            return self.call(run_one, search, algorithm, args, kwargs)
        except TimeoutError:
            return Row.stopped(algorithm, TIME_LIMIT, time.monotonic() - t0)

    def submit(self, fn: Callable[..., Any], /, *args: Any, **kwargs: Any) -> Any:
        return self.pool.submit(self._run_one, *args)

    def shutdown(self, wait: bool = True, *, cancel_futures: bool = False) -> None:
        self.pool.shutdown(wait=wait, cancel_futures=cancel_futures)


def compare(
    search: Callable[..., Any],
    *args: Any,
    algorithms: Sequence[str] | str | None = None,
    workers: int = 1,
    executor: concurrent.futures.Executor | None = None,
    progress: bool | None = None,
    time_limit: float | None = None,
    _on_start: Callable[[str], None] | None = None,
    **kwargs: Any,
) -> Comparison:
    """Run ``search(*args, algorithm=a, record=False, **kwargs)`` for every ``a``.

    ``algorithms`` defaults to all twelve (:data:`ALGORITHMS`); a single name
    may be given as a str. Rows come back in that order whatever the
    execution order. A search that refuses to run (``ValueError``) becomes a
    row with ``error`` set; other exceptions propagate.

    ``workers`` > 1 runs the searches on that many threads (built-in
    heuristics release the interpreter lock, so they run in parallel; Python
    callables serialise on it). ``executor`` takes any
    :class:`concurrent.futures.Executor` instead (a process pool, a Dask
    client's ``get_executor()``); the search function, ``args`` and
    ``kwargs`` must then pickle, which the native search functions do.
    ``progress`` draws a bar on stderr (default: only when stderr is a
    terminal and the batch takes more than half a second).

    "dls" and "iddfs" without a ``depth_limit`` get the depth of a bfs
    solution (see the module documentation).

    ``time_limit`` (seconds) runs each algorithm in a worker process of its
    own (``workers`` of them at a time) and ends it when its time is up; its
    row then says "time limit". A ``MemoryError`` becomes a "memory limit" row.

    >>> import wayloom_native as wn
    >>> rows = compare(wn.search_grid, wn.sample_maze("open"), algorithms=["bfs", "astar"])
    >>> [r.cost for r in rows]
    [13.0, 13.0]
    """
    for key in ("algorithm", "record"):
        if key in kwargs:
            raise TypeError(
                f"compare() sets {key!r} itself; choose the algorithms with algorithms=[...]"
            )
    if algorithms is None:
        names = list(ALGORITHMS)
    elif isinstance(algorithms, str):
        names = [algorithms]
    else:
        names = list(algorithms)
    if not isinstance(workers, int) or isinstance(workers, bool) or workers < 1:
        raise ValueError(f"workers must be an int >= 1, not {workers!r}")
    if executor is not None and workers != 1:
        raise ValueError("give workers or executor, not both")
    if time_limit is not None:
        if (
            isinstance(time_limit, bool)
            or not isinstance(time_limit, (int, float))
            or not time_limit > 0
        ):
            raise ValueError(f"time_limit must be a number of seconds > 0, not {time_limit!r}")
        if executor is not None:
            raise ValueError("give time_limit or executor, not both")
        executor = _TimedExecutor(float(time_limit), workers, _on_start)
        workers = 1

    jobs: list[tuple[str, dict[str, Any] | Row]] = []
    need_depth = kwargs.get("depth_limit") is None and any(a in DEPTH_LIMITED for a in names)
    depth = None
    no_depth = "not run: no depth_limit given and bfs found no path to take one from"
    if need_depth:
        try:
            if isinstance(executor, _TimedExecutor):
                depth = executor.call(bfs_depth, search, *args, **kwargs)
            else:
                depth = bfs_depth(search, *args, **kwargs)
        except ValueError:
            # The problem itself is refused: let every row report why.
            need_depth = False
        except (TimeoutError, MemoryError):
            no_depth = (
                "not run: no depth_limit given and bfs found no path within the "
                "limits to take one from"
            )
    for a in names:
        if need_depth and a in DEPTH_LIMITED:
            if depth is None:
                jobs.append((a, Row.failed(a, no_depth)))
                continue
            jobs.append((a, {**kwargs, "depth_limit": depth}))
        else:
            jobs.append((a, kwargs))

    bar = _Progress(len(jobs), progress)
    rows: list[Row | None] = [None] * len(jobs)
    try:
        if executor is None and workers == 1:
            for i, (a, job) in enumerate(jobs):
                if _on_start is not None:
                    _on_start(a)
                rows[i] = job if isinstance(job, Row) else run_one(search, a, args, job)
                bar.step(a)
        else:
            own: concurrent.futures.Executor | None = (
                executor if isinstance(executor, _TimedExecutor) else None
            )
            if executor is None:
                own = executor = concurrent.futures.ThreadPoolExecutor(max_workers=workers)
            try:
                pending = {}
                for i, (a, job) in enumerate(jobs):
                    if isinstance(job, Row):
                        rows[i] = job
                        bar.step(a)
                    else:
                        pending[executor.submit(run_one, search, a, args, job)] = i
                for fut in concurrent.futures.as_completed(pending):
                    i = pending[fut]
                    rows[i] = fut.result()
                    bar.step(jobs[i][0])
            finally:
                if own is not None:
                    own.shutdown(wait=True, cancel_futures=True)
    finally:
        bar.close()
    out = []
    for (a, _job), row in zip(jobs, rows):
        assert row is not None
        if need_depth and a in DEPTH_LIMITED and row.error is None:
            row = dataclasses.replace(row, depth_limit=depth)
        out.append(row)
    return Comparison(out)
