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
of memory (``MemoryError``) becomes a row that says "memory limit"; a worker
that dies (killed, crashed) becomes an error row (:attr:`Row.died`).
"""

from __future__ import annotations

import concurrent.futures
import dataclasses
import sys
import time
from collections.abc import Callable, Sequence
from typing import Any, TextIO

from . import _catalogue
from ._rows import MEMORY_LIMIT, TIME_LIMIT, WORKER_DIED, Comparison, Row
from ._timed import TimedExecutor, WorkerDied

__all__ = [
    "ALGORITHMS",
    "MEMORY_LIMIT",
    "TIME_LIMIT",
    "WORKER_DIED",
    "Comparison",
    "Row",
    "WorkerDied",
    "bfs_depth",
    "compare",
    "run_one",
]

#: Every algorithm the engine offers (aliases excluded), in catalogue order.
ALGORITHMS = _catalogue.NAMES

#: The best-first algorithms, in catalogue order.
BEST_FIRST = tuple(a.name for a in _catalogue.ALGORITHMS if a.best_first)

#: The algorithms that get a bfs-derived depth limit when the caller gives none.
DEPTH_LIMITED = tuple(a.name for a in _catalogue.ALGORITHMS if "depth_limit" in a.options)


#: The result's attributes that make a row, in the row's field order.
_FROM_RESULT = (
    "found cost nodes_expanded nodes_generated nodes_reopened max_frontier_size elapsed stop_reason"
).split()


def run_one(search: Callable[..., Any], algorithm: str, args: tuple, kwargs: dict) -> Row:
    """Run one algorithm without recording; a ``ValueError`` becomes an error row.

    A module-level function, so that it can be sent to a process pool (the
    native search functions pickle by name).
    """
    t0 = time.perf_counter()
    try:
        r = search(*args, algorithm=algorithm, record=False, **kwargs)
    except ValueError as exc:
        return Row.failed(algorithm, str(exc))
    except MemoryError:
        return Row.stopped(algorithm, MEMORY_LIMIT, time.perf_counter() - t0)
    return Row(algorithm, *(getattr(r, name) for name in _FROM_RESULT))


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
        executor = TimedExecutor(float(time_limit), workers, _on_start)
        workers = 1

    jobs: list[tuple[str, dict[str, Any] | Row]] = []
    need_depth = kwargs.get("depth_limit") is None and any(a in DEPTH_LIMITED for a in names)
    depth = None
    no_depth = "not run: no depth_limit given and bfs found no path to take one from"
    if need_depth:
        try:
            if isinstance(executor, TimedExecutor):
                depth = executor.call(bfs_depth, search, *args, **kwargs)
            else:
                depth = bfs_depth(search, *args, **kwargs)
        except ValueError:
            # The problem itself is refused: let every row report why.
            need_depth = False
        except (TimeoutError, MemoryError, WorkerDied):
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
                executor if isinstance(executor, TimedExecutor) else None
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
