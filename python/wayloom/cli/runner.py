"""Running the searches: the checks made first, the table, the shown algorithm.

Searches run on a worker thread (the built-in ones release the interpreter
lock), so the main thread can show a live line on a terminal and end the
program at once on Ctrl-C.
"""

from __future__ import annotations

import argparse
import multiprocessing
import os
import pathlib
import re
import sys
import threading
import time
from collections.abc import Callable
from typing import Any, TextIO

import wayloom_native

from .. import _catalogue
from .._compare import ALGORITHMS, DEPTH_LIMITED, Comparison, bfs_depth, compare
from . import outputs
from .errors import EXIT_NO_PATH, EXIT_OK, EXIT_RESOURCE, ResourceError, UsageError
from .problems import Problem


def _memory_in_use() -> int | None:
    """Resident bytes of this process and its worker processes; None where
    the system has no /proc to read them from (Windows, macOS)."""
    if not sys.platform.startswith("linux"):
        return None
    total = 0
    for pid in ["self"] + [str(p.pid) for p in multiprocessing.active_children()]:
        try:
            total += int(pathlib.Path(f"/proc/{pid}/statm").read_text().split()[1])
        except (OSError, ValueError, IndexError):
            pass
    return total * os.sysconf("SC_PAGE_SIZE")


class Runner:
    """Runs each piece of work on a worker thread while the main thread waits.

    On a terminal, work that takes more than about a second gets a live line
    on stderr (what runs, seconds so far, memory in use); nothing of it is
    written when stderr is not a terminal. Waiting in short slices keeps the
    main thread free to take Ctrl-C at once.
    """

    def __init__(self, stream: TextIO | None = None) -> None:
        self.stream = stream if stream is not None else sys.stderr
        isatty = getattr(self.stream, "isatty", None)
        self.live = bool(isatty and isatty())
        self.label, self.since = "", time.monotonic()

    def started(self, label: str) -> None:
        """What runs now (called from the worker thread): the live line's subject."""
        self.label, self.since = label, time.monotonic()

    def run(
        self,
        label: str,
        fn: Callable[..., Any],
        *args: Any,
        run_for: float | None = None,
        **kwargs: Any,
    ) -> Any:
        self.started(label)
        box: dict[str, Any] = {}

        def work() -> None:
            try:
                box["value"] = fn(*args, **kwargs)
            except BaseException as exc:  # noqa: BLE001 - re-raised on the main thread
                box["error"] = exc

        thread = threading.Thread(target=work, name=f"wayloom {label}", daemon=True)
        t0 = time.monotonic()
        thread.start()
        drawn, last = False, ""
        try:
            while thread.is_alive():
                thread.join(0.1)
                if run_for and time.monotonic() - t0 > run_for and thread.is_alive():
                    raise ResourceError(
                        f"{label} did not finish within the time limit of {run_for:g} s "
                        "(--time-limit; bound the search with --max-nodes or --depth-limit)"
                    )
                label_now, seconds = self.label, time.monotonic() - self.since
                if self.live and seconds >= 1.0 and thread.is_alive():
                    text = f"{label_now}: {seconds:.0f} s"
                    in_use = _memory_in_use()
                    if in_use is not None:
                        text += f", {in_use / 2**20:.0f} MiB in use"
                    if text != last:
                        self.stream.write(f"\r{text}\033[K")
                        self.stream.flush()
                        drawn, last = True, text
        finally:
            if drawn:
                self.stream.write("\r\033[K")
                self.stream.flush()
        if "error" in box:
            raise box["error"]
        return box["value"]


# -------------------------------------------------------------------- checks

_MEMORY_LIMIT = re.compile(r"[0-9]+[KMGkmg]?")


def check(ns: argparse.Namespace) -> None:
    """Everything the command line can check before it searches."""
    if ns.workers < 1:
        raise UsageError("--workers must be >= 1")
    if ns.max_frames < 2:
        raise UsageError("--max-frames must be >= 2")
    if not ns.time_limit >= 0:
        raise UsageError("--time-limit must be >= 0 (0: no limit)")
    if ns.memory_limit is not None:
        if not _MEMORY_LIMIT.fullmatch(ns.memory_limit):
            raise UsageError(
                f"--memory-limit must be bytes with an optional K, M or G suffix "
                f"(e.g. 2G), not {ns.memory_limit!r}"
            )
        # Read by every native call.
        os.environ["WAYLOOM_MEMORY_LIMIT"] = ns.memory_limit
    check_names(ns)
    outputs.check_outputs(ns)


def check_names(ns: argparse.Namespace) -> list[str]:
    """The algorithms of the table; settles ``ns.algorithm``, the one shown, too.

    Shown by default: astar if the table has it (under any of its names),
    else the table's first algorithm.
    """
    names = list(ALGORITHMS)
    if ns.algorithms is not None:
        names = [n.strip() for n in ns.algorithms.split(",") if n.strip()]
        if not names:
            raise UsageError("--algorithms needs at least one name")
    for n in names + [ns.algorithm or "astar"]:
        if n not in _catalogue.ACCEPTED:
            raise UsageError(f"unknown algorithm: {n!r}. Available: {', '.join(ALGORITHMS)}")
    if ns.algorithm is None:
        ns.algorithm = next((n for n in names if _catalogue.ACCEPTED[n] == "astar"), names[0])
    return names


def limit_options(ns: argparse.Namespace) -> dict[str, Any]:
    """The search keywords, every value checked before anything runs."""
    out: dict[str, Any] = {}
    for key in ("heuristic", "weight", "beam_width", "depth_limit", "max_nodes"):
        value = getattr(ns, key, None)
        if value is not None:
            if key in ("beam_width", "depth_limit", "max_nodes") and value < 0:
                raise UsageError(f"--{key.replace('_', '-')} must be >= 0")
            out[key] = value
    return out


# ------------------------------------------------------------------- running


def _table(
    problem: Problem, ns: argparse.Namespace, options: dict[str, Any], runner: Runner
) -> Comparison:
    rows = runner.run(
        "compare",
        compare,
        problem.search,
        *problem.args,
        algorithms=check_names(ns),
        workers=ns.workers,
        progress=False,
        time_limit=ns.time_limit or None,
        _on_start=runner.started,
        **problem.kwargs,
        **options,
    )
    errors = {r.error for r in rows}
    if None not in errors and len(errors) == 1 and not rows[0].died:
        # Every row refused for the same reason: the input is at fault, not an algorithm.
        raise UsageError(errors.pop() or "")
    return rows


def _chosen(
    problem: Problem, ns: argparse.Namespace, options: dict[str, Any], record: bool, runner: Runner
) -> Any:
    """Run the --algorithm alone, under the time limit."""
    algorithm = ns.algorithm
    limit = ns.time_limit or None
    if algorithm in DEPTH_LIMITED and "depth_limit" not in options:
        # As in the table: the depth of the bfs path, never an unbounded deepening.
        depth = runner.run(
            "bfs",
            bfs_depth,
            problem.search,
            *problem.args,
            run_for=limit,
            **problem.kwargs,
            **options,
        )
        if depth is None:
            raise UsageError(
                f"{algorithm!r} needs --depth-limit here: bfs found no path to take one from"
            )
        options = {**options, "depth_limit": depth}
    return runner.run(
        algorithm,
        problem.search,
        *problem.args,
        algorithm=algorithm,
        record=record,
        run_for=limit,
        **problem.kwargs,
        **options,
    )


def run(problem: Problem, ns: argparse.Namespace, runner: Runner) -> int:
    """The table, then the shown algorithm's solution and pictures; the exit status."""
    options = limit_options(ns)
    pictures = outputs.wanted(ns)
    found = False
    if problem.note:
        print(problem.note)
    died: list[str] = []
    if not ns.no_table:
        rows = _table(problem, ns, options, runner)
        print(rows.table(markdown=ns.markdown), flush=True)
        found = any(r.found for r in rows)
        died = [f"{r.algorithm}: {r.error}" for r in rows if r.died]
        shown = next((r for r in rows if r.algorithm == ns.algorithm), None)
        if shown is not None and (shown.bounded or shown.died):
            why = shown.error if shown.died else f"stopped at the {shown.stop_reason}"
            raise ResourceError(f"no solution to show: {ns.algorithm} {why}")
    if pictures or ns.no_table or not ns.quiet:
        result = _chosen(problem, ns, options, record=pictures, runner=runner)
        if ns.no_table and not pictures:
            print(result)
        if not ns.quiet and not ns.no_table:
            print()
        if not ns.quiet and result.found:
            print(f"solution by {ns.algorithm}, " + "\n".join(problem.show(result.path)))
        elif not ns.quiet:
            print(f"{ns.algorithm} found no path")
        found = result.found or found
        if pictures:
            outputs.draw(problem, ns, result)
    if died:
        print(f"{ns.prog}: error: " + "; ".join(died), file=sys.stderr)
        return EXIT_RESOURCE
    return EXIT_OK if found else EXIT_NO_PATH


def demo(ns: argparse.Namespace | None = None) -> int:
    """Compare every algorithm on the two sample mazes.

    "dls" and "iddfs" get the depth of the bfs path, which keeps their
    depth-first passes to a few tens of thousands of visits on these mazes.
    """
    for name in ("open", "wall"):
        maze = wayloom_native.sample_maze(name)
        print(f"Sample maze {name!r}:")
        print("\n".join("    " + line for line in maze.splitlines()))
        print()
        print(compare(wayloom_native.search_grid, maze).table())
        print()
    return EXIT_OK
