"""Searches in worker processes of their own, each ended when its time is up."""

from __future__ import annotations

import concurrent.futures
import multiprocessing
import time
from collections.abc import Callable
from typing import Any

from ._rows import TIME_LIMIT, WORKER_DIED, Row


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


class WorkerDied(RuntimeError):
    """A worker process ended without sending its answer back."""


class TimedExecutor(concurrent.futures.Executor):
    """Runs each job in a forked process, ended when its time is up.

    Forked, not spawned: the search function and its arguments (callables
    included) need not pickle; only the result comes back.
    """

    def __init__(
        self, time_limit: float, workers: int, on_start: Callable[[str], None] | None = None
    ) -> None:
        self.time_limit = time_limit
        self.on_start = on_start
        self.pool = concurrent.futures.ThreadPoolExecutor(max_workers=workers)

    def call(self, fn: Callable[..., Any], *args: Any, **kwargs: Any) -> Any:
        """``fn(*args, **kwargs)`` in a worker process; ``TimeoutError`` when time is up."""
        # Windows cannot fork: there the job is spawned, and the function and
        # its arguments must pickle (the native search functions do, by name).
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
                raise WorkerDied(f"{WORKER_DIED} {proc.exitcode}") from None
            if isinstance(out, BaseException):
                raise out
            return out
        finally:
            parent.close()
            if proc.is_alive():
                proc.kill()
            proc.join()

    def _run_one(
        self,
        fn: Callable[..., Row],
        search: Callable[..., Any],
        algorithm: str,
        args: tuple,
        kwargs: dict,
    ) -> Row:
        if self.on_start is not None:
            self.on_start(algorithm)
        t0 = time.monotonic()
        try:
            row: Row = self.call(fn, search, algorithm, args, kwargs)
            return row
        except TimeoutError:
            return Row.stopped(algorithm, TIME_LIMIT, time.monotonic() - t0)
        except WorkerDied as exc:
            # The other rows still count: this one says what happened to it.
            return Row.failed(algorithm, str(exc))

    def submit(self, fn: Callable[..., Any], /, *args: Any, **kwargs: Any) -> Any:
        """Run ``fn(search, algorithm, args, kwargs)`` -> :class:`Row` in a worker process."""
        return self.pool.submit(self._run_one, fn, *args, **kwargs)

    def shutdown(self, wait: bool = True, *, cancel_futures: bool = False) -> None:
        self.pool.shutdown(wait=wait, cancel_futures=cancel_futures)
