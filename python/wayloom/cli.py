"""The ``wayloom`` command line: compare algorithms, show, draw and animate a search.

With no arguments it runs the demo (every algorithm on the two sample
mazes). Everything here parses arguments and calls :mod:`wayloom_native`,
:func:`wayloom.compare` and the public functions of :mod:`wayloom.viz`; no
searching happens in Python.

Every argument is checked before any search starts. Searches run on a worker
thread (the built-in ones release the interpreter lock), so the main thread
can show a live line on a terminal and end the program at once on Ctrl-C.
"""

from __future__ import annotations

import argparse
import dataclasses
import itertools
import math
import multiprocessing
import os
import pathlib
import re
import sys
import threading
import time
from collections.abc import Callable, Sequence
from typing import Any, NoReturn, TextIO

import wayloom_native

from . import __version__
from .compare import ALGORITHMS, DEPTH_LIMITED, Comparison, bfs_depth, compare

EXIT_OK, EXIT_NO_PATH, EXIT_USAGE, EXIT_OUTPUT, EXIT_RESOURCE = 0, 1, 2, 3, 4
EXIT_INTERRUPTED = 130

EXIT_CODES = """\
exit status:
  0    a path was found (by at least one algorithm run)
  1    no algorithm run found a path
  2    usage error or bad input (unknown option, unreadable or malformed file,
       invalid puzzle, unknown algorithm or heuristic name)
  3    the plot, animation or page could not be written (unknown file type;
       matplotlib missing: pip install "wayloom[viz]"; unwritable file)
  4    out of resources: a search ran out of memory (see --memory-limit,
       --max-nodes, --depth-limit), or the shown algorithm passed --time-limit
  130  interrupted (Ctrl-C)
errors are reported as one line on stderr; in the table, an algorithm that
passed --time-limit or the memory limit shows "time limit" or "memory limit"."""

#: Names accepted on the command line: the twelve algorithms and their aliases.
_ACCEPTED = set(ALGORITHMS) | {"a*", "wastar", "idastar", "bidir"}

#: A scrambled 8-puzzle 6 moves from the goal: every algorithm solves it quickly.
DEFAULT_TILES = (4, 1, 3, 7, 2, 6, 0, 5, 8)

#: File types of the pictures, checked before anything runs.
PLOT_TYPES = {
    ".png",
    ".pdf",
    ".svg",
    ".svgz",
    ".jpg",
    ".jpeg",
    ".tif",
    ".tiff",
    ".webp",
    ".eps",
    ".ps",
    ".pgf",
    ".raw",
    ".rgba",
}
ANIMATION_TYPES = {".gif", ".mp4", ".mov", ".avi", ".webm", ".mkv"}
PAGE_TYPES = {".html", ".htm"}

#: Seeds tried by --solvable before giving up.
SOLVABLE_TRIES = 1000


class UsageError(Exception):
    """Bad input: reported as one line, exit status 2."""


class OutputError(Exception):
    """The picture could not be written: reported as one line, exit status 3."""


class ResourceError(Exception):
    """Out of memory or time: reported as one line, exit status 4."""


class _Parser(argparse.ArgumentParser):
    def error(self, message: str) -> NoReturn:
        self.exit(EXIT_USAGE, f"{self.prog}: error: {message} (see '{self.prog} --help')\n")


# ------------------------------------------------------------------ problems


@dataclasses.dataclass
class Problem:
    """A search function, its arguments, and how to show and draw its results."""

    search: Callable[..., Any]
    args: tuple
    kwargs: dict[str, Any]
    show: Callable[[list], list[str]]
    maze: str | None = None
    note: str | None = None  # printed before the table (e.g. the seed --solvable used)


def _read_text(path: str) -> str:
    try:
        return sys.stdin.read() if path == "-" else pathlib.Path(path).read_text(encoding="utf-8")
    except (OSError, UnicodeDecodeError) as exc:
        raise UsageError(f"cannot read {path}: {getattr(exc, 'strerror', None) or exc}") from None


def _int(text: str, what: str) -> int:
    try:
        return int(text)
    except ValueError:
        raise UsageError(f"{what} must be an integer, not {text!r}") from None


def _tiles(tokens: Sequence[str], what: str) -> list[int]:
    values = [t for token in tokens for t in token.replace(",", " ").split()]
    return [_int(v, what) for v in values]


_MATRIX_FILES = (".npz", ".mtx", ".mtx.gz")


def _matrix_edges(path: str) -> tuple[list[tuple[int, int, float]], int]:
    """The arcs and size of a scipy.sparse .npz or a Matrix Market file."""
    try:
        import scipy.io
        import scipy.sparse
    except ImportError:
        raise UsageError(f"{path}: reading a matrix file needs scipy (pip install scipy)") from None
    try:
        m = scipy.sparse.load_npz(path) if path.lower().endswith(".npz") else scipy.io.mmread(path)
        coo = scipy.sparse.coo_matrix(m)
    except (OSError, ValueError) as e:
        raise UsageError(f"{path}: cannot read the matrix: {e}") from None
    edges = list(
        zip(coo.row.tolist(), coo.col.tolist(), coo.data.astype(float).tolist(), strict=True)
    )
    return edges, int(max(coo.shape))


def _graph_problem(ns: argparse.Namespace) -> Problem:
    edges: list[tuple[int, int, float]] = []
    matrix = ns.file.lower().endswith(_MATRIX_FILES)
    size = 0
    if matrix:
        edges, size = _matrix_edges(ns.file)
    for number, line in enumerate("" if matrix else _read_text(ns.file).splitlines(), 1):
        fields = line.split("#", 1)[0].split()
        if not fields:
            continue
        try:
            if len(fields) not in (2, 3):
                raise ValueError
            u, v = int(fields[0]), int(fields[1])
            w = float(fields[2]) if len(fields) == 3 else 1.0
            if u < 0 or v < 0:
                raise ValueError
        except ValueError:
            raise UsageError(
                f"{ns.file}:{number}: expected 'u v [w]' with node numbers "
                f">= 0, got {line.strip()!r}"
            ) from None
        edges.append((u, v, w))
    if ns.start < 0 or ns.goal < 0:
        raise UsageError("START and GOAL must be >= 0")
    nodes = ns.nodes
    if nodes is None:
        nodes = max([ns.start, ns.goal, size - 1] + [max(u, v) for u, v, _ in edges]) + 1
    if nodes < 0:
        raise UsageError("--nodes must be >= 0")
    return Problem(
        wayloom_native.search_graph,
        (nodes, edges, ns.start, ns.goal),
        {"undirected": not ns.directed},
        _show_chain,
    )


def _float(text: str, what: str) -> float:
    try:
        return float(text)
    except ValueError:
        raise UsageError(f"{what} must be a number, not {text!r}") from None


def _show_grid(maze: str) -> Callable[[list], list[str]]:
    def show(path: list) -> list[str]:
        rows = [list(line) for line in maze.splitlines()]
        for r, c in path[1:-1]:
            rows[r][c] = "*"
        return [f"path of {len(path) - 1} moves ('*'):"] + ["  " + "".join(r) for r in rows]

    return show


def _random_maze(ns: argparse.Namespace) -> tuple[str, str | None]:
    spec = ns.maze[1:]
    if len(spec) != 4:
        raise UsageError("--maze random takes W H DENSITY SEED, e.g. --maze random 30 20 0.25 7")
    width, height = _int(spec[0], "W"), _int(spec[1], "H")
    density, seed = _float(spec[2], "DENSITY"), _int(spec[3], "SEED")
    if width < 1 or height < 1:
        raise UsageError("W and H must be >= 1")
    if not 0.0 <= density <= 1.0:
        raise UsageError(f"DENSITY must be between 0 and 1, not {spec[2]}")
    if seed < 0:
        raise UsageError("SEED must be >= 0")
    if not ns.solvable:
        return wayloom_native.random_maze_ascii(width, height, density, seed), None
    for s in range(seed, seed + SOLVABLE_TRIES):
        text = wayloom_native.random_maze_ascii(width, height, density, s)
        if wayloom_native.search_grid(
            text, algorithm="bfs", record=False, diagonal=ns.diagonal
        ).found:
            skipped = f" (seeds {seed}-{s - 1} have no path)" if s > seed else ""
            return text, f"random maze {width}x{height}, density {density}: seed {s}{skipped}"
    raise UsageError(
        f"no maze with a path among seeds {seed}-{seed + SOLVABLE_TRIES - 1}; try a lower DENSITY"
    )


def _grid_problem(ns: argparse.Namespace) -> Problem:
    note = None
    if ns.maze[0] == "random":
        text, note = _random_maze(ns)
    elif len(ns.maze) != 1:
        raise UsageError("--maze takes one of: open, wall, FILE, random W H DENSITY SEED")
    elif ns.solvable:
        raise UsageError("--solvable goes with --maze random W H DENSITY SEED")
    elif ns.maze[0] in ("open", "wall"):
        text = wayloom_native.sample_maze(ns.maze[0])
    else:
        text = _read_text(ns.maze[0])
    return Problem(
        wayloom_native.search_grid,
        (text,),
        {"diagonal": ns.diagonal},
        _show_grid(text),
        maze=text,
        note=note,
    )


def _show_npuzzle(path: list) -> list[str]:
    width = math.isqrt(len(path[0]))
    names = {-width: "up", width: "down", -1: "left", 1: "right"}
    moves = [names.get(b.index(0) - a.index(0), "?") for a, b in itertools.pairwise(path)]
    return [f"moves of the blank ({len(moves)}): " + " ".join(moves)]


def _npuzzle_problem(ns: argparse.Namespace) -> Problem:
    tiles = _tiles(ns.tiles, "a tile") if ns.tiles else list(DEFAULT_TILES)
    kwargs: dict[str, Any] = {}
    if ns.goal is not None:
        kwargs["goal"] = _tiles([ns.goal], "a goal tile")
    return Problem(wayloom_native.search_npuzzle, (tiles,), kwargs, _show_npuzzle)


def _show_hanoi(path: list) -> list[str]:
    lines = [f"{len(path) - 1} moves (disk 1 is the smallest, pegs from 0):"]
    for a, b in itertools.pairwise(path):
        disk = next(d for d in range(len(a)) if a[d] != b[d])
        lines.append(f"  disk {disk + 1}: peg {a[disk]} -> peg {b[disk]}")
    return lines


def _hanoi_problem(ns: argparse.Namespace) -> Problem:
    if ns.disks < 0 or ns.pegs < 0:
        raise UsageError("disks and pegs must not be negative")
    return Problem(wayloom_native.search_hanoi, (ns.disks,), {"pegs": ns.pegs}, _show_hanoi)


def _show_chain(path: list) -> list[str]:
    return [f"path of {len(path) - 1} steps: " + " -> ".join(map(str, path))]


def _ladder_problem(ns: argparse.Namespace) -> Problem:
    words = _read_text(ns.words).split()
    return Problem(wayloom_native.search_wordladder, (ns.start, ns.goal, words), {}, _show_chain)


# ------------------------------------------------------------------- running


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


class _Runner:
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


def _limit_options(ns: argparse.Namespace) -> dict[str, Any]:
    """The search keywords, every value checked before anything runs."""
    out: dict[str, Any] = {}
    for key in ("heuristic", "weight", "beam_width", "depth_limit", "max_nodes"):
        value = getattr(ns, key, None)
        if value is not None:
            if key in ("beam_width", "depth_limit", "max_nodes") and value < 0:
                raise UsageError(f"--{key.replace('_', '-')} must be >= 0")
            out[key] = value
    return out


def _check_names(ns: argparse.Namespace) -> list[str]:
    names = list(ALGORITHMS)
    if ns.algorithms is not None:
        names = [n.strip() for n in ns.algorithms.split(",") if n.strip()]
        if not names:
            raise UsageError("--algorithms needs at least one name")
    for n in names + [ns.algorithm]:
        if n not in _ACCEPTED:
            raise UsageError(f"unknown algorithm: {n!r}. Available: {', '.join(ALGORITHMS)}")
    return names


def _check_outputs(ns: argparse.Namespace) -> None:
    for option, path, kinds in (
        ("--plot", ns.plot, PLOT_TYPES),
        ("--animate", ns.animate, ANIMATION_TYPES),
        ("--html", ns.html, PAGE_TYPES),
    ):
        if path is not None and pathlib.Path(path).suffix.lower() not in kinds:
            raise OutputError(
                f"{option} cannot write {pathlib.Path(path).suffix or 'a file without a type'}"
                f" files; use one of: {', '.join(sorted(kinds))}"
            )


_MEMORY_LIMIT = re.compile(r"[0-9]+[KMGkmg]?")


def _check(ns: argparse.Namespace) -> None:
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


def _table(
    problem: Problem, ns: argparse.Namespace, options: dict[str, Any], runner: _Runner
) -> Comparison:
    rows = runner.run(
        "compare",
        compare,
        problem.search,
        *problem.args,
        algorithms=_check_names(ns),
        workers=ns.workers,
        progress=False,
        time_limit=ns.time_limit or None,
        _on_start=runner.started,
        **problem.kwargs,
        **options,
    )
    errors = {r.error for r in rows}
    if None not in errors and len(errors) == 1:
        # Every row refused for the same reason: the input is at fault, not an algorithm.
        raise UsageError(errors.pop() or "")
    return rows


def _chosen(
    problem: Problem, ns: argparse.Namespace, options: dict[str, Any], record: bool, runner: _Runner
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


def _draw(problem: Problem, ns: argparse.Namespace, result: Any) -> None:
    """Write the plot, animation and page of the chosen algorithm's search."""
    try:
        from . import viz

        if ns.plot:
            if problem.maze is not None:
                ax = viz.plot_grid(
                    problem.maze, result, title=f"{ns.algorithm}: {viz.describe(result)}"
                )
            else:
                ax = viz.plot_search_tree(result, layout="layered")
            import matplotlib.pyplot as plt

            figure: Any = ax.figure
            try:
                figure.savefig(ns.plot)
            finally:
                plt.close(figure)
            print(f"wrote {ns.plot}")
        if ns.animate:
            style: dict[str, Any] = {"max_frames": ns.max_frames}
            if problem.maze is None:
                style["layout"] = "layered"
            viz.animate_search(result, ns.animate, maze=problem.maze, **style)
            print(f"wrote {ns.animate}")
        if ns.html:
            save_html = getattr(viz, "save_html", None)
            if save_html is None:
                raise OutputError("this version of wayloom.viz cannot write HTML pages")
            save_html(result, ns.html, maze=problem.maze)
            print(f"wrote {ns.html}")
    except ImportError as exc:
        raise OutputError(str(exc)) from None
    except OSError as exc:
        raise OutputError(f"cannot write: {exc}") from None


def _run(problem: Problem, ns: argparse.Namespace, runner: _Runner) -> int:
    options = _limit_options(ns)
    pictures = bool(ns.plot or ns.animate or ns.html)
    found = False
    if problem.note:
        print(problem.note)
    shown_row = None
    if not ns.no_table:
        rows = _table(problem, ns, options, runner)
        print(rows.table(markdown=ns.markdown), flush=True)
        found = any(r.found for r in rows)
        shown_row = next((r for r in rows if r.algorithm == ns.algorithm), None)
    if shown_row is not None and shown_row.bounded and not pictures:
        if not ns.quiet:
            print(f"no solution to show: {ns.algorithm} stopped at the {shown_row.stop_reason}")
        return EXIT_OK if found else EXIT_NO_PATH
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
            _draw(problem, ns, result)
    return EXIT_OK if found else EXIT_NO_PATH


def demo() -> int:
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


# -------------------------------------------------------------------- parser


def _arg(*flags: str, **kwargs: Any) -> tuple[tuple[str, ...], dict[str, Any]]:
    return flags, kwargs


@dataclasses.dataclass(frozen=True)
class Command:
    """One sub-command: its texts, its own arguments and the problem it builds."""

    name: str
    help: str
    description: str
    arguments: tuple[tuple[tuple[str, ...], dict[str, Any]], ...]
    make: Callable[[argparse.Namespace], Problem]


COMMANDS = (
    Command(
        "grid",
        "a grid maze",
        "Search a grid maze: an ASCII map ('#' wall, 'S' start, 'G' goal, '1'-'9' terrain "
        "cost, anything else open).",
        (
            _arg(
                "--maze",
                nargs="+",
                default=["wall"],
                metavar="MAZE",
                help="'open' or 'wall' (the samples; default wall), a map FILE ('-' = stdin), "
                "or 'random W H DENSITY SEED'",
            ),
            _arg(
                "--solvable",
                action="store_true",
                help="with --maze random: try seeds upwards from SEED until the maze has a "
                "path, and say which seed it used",
            ),
            _arg("--diagonal", action="store_true", help="allow diagonal moves (8-connected)"),
        ),
        _grid_problem,
    ),
    Command(
        "npuzzle",
        "a sliding-tile puzzle",
        "Solve a sliding-tile puzzle. TILES row by row, 0 = blank (spaces or commas). "
        "Default: " + " ".join(map(str, DEFAULT_TILES)) + ".",
        (
            _arg("tiles", nargs="*", metavar="TILES"),
            _arg("--goal", metavar="TILES", help="goal board, comma-separated (default 1..n-1, 0)"),
        ),
        _npuzzle_problem,
    ),
    Command(
        "hanoi",
        "the Towers of Hanoi",
        "Move DISKS disks from the first peg to the last.",
        (
            _arg("disks", nargs="?", type=int, default=3, help="number of disks (default 3)"),
            _arg("--pegs", type=int, default=3, help="number of pegs, 3 to 16 (default 3)"),
        ),
        _hanoi_problem,
    ),
    Command(
        "ladder",
        "a word ladder",
        "Change START into GOAL one letter at a time through words of the list.",
        (
            _arg("start"),
            _arg("goal"),
            _arg(
                "--words",
                required=True,
                metavar="FILE",
                help="word list, whitespace-separated ('-' = stdin)",
            ),
        ),
        _ladder_problem,
    ),
    Command(
        "graph",
        "a weighted graph from an edge list",
        "Search a graph given as an edge list: one 'u v [w]' per line (w defaults to 1; "
        "'#' starts a comment), or as a sparse matrix (.npz from scipy.sparse.save_npz, or "
        "Matrix Market .mtx): each stored entry (i, j) is an arc i -> j.",
        (
            _arg("file", metavar="FILE", help="the edge list ('-' = stdin), .npz or .mtx"),
            _arg("start", type=int, metavar="START"),
            _arg("goal", type=int, metavar="GOAL"),
            _arg(
                "--nodes",
                type=int,
                metavar="N",
                help="number of nodes (default: one more than the largest node number)",
            ),
            _arg("--directed", action="store_true", help="edges go from u to v only"),
        ),
        _graph_problem,
    ),
)

#: Options every sub-command shares, by group.
COMMON = (
    (
        "comparison",
        (
            _arg(
                "--algorithms",
                metavar="LIST",
                help="comma-separated algorithms to compare (default: all twelve: "
                + ", ".join(ALGORITHMS)
                + ")",
            ),
            _arg("--heuristic", metavar="NAME", help="heuristic name (default: the domain's own)"),
            _arg("--weight", type=float, help="w of weighted_astar (default 2.0)"),
            _arg("--beam-width", type=int, metavar="N", help="beam width (default unlimited)"),
            _arg(
                "--depth-limit",
                type=int,
                metavar="N",
                help="depth limit of dls/iddfs (default: the moves of the bfs path)",
            ),
            _arg(
                "--workers",
                type=int,
                default=1,
                metavar="N",
                help="run N searches at a time (default 1)",
            ),
            _arg(
                "--no-table",
                action="store_true",
                help="skip the comparison; without --plot/--animate/--html, print the result of "
                "--algorithm alone",
            ),
            _arg("--markdown", action="store_true", help="print the table as Markdown"),
            _arg(
                "--quiet",
                action="store_true",
                help="print no solution (by default the --algorithm's is shown)",
            ),
        ),
    ),
    (
        "limits",
        (
            _arg(
                "--time-limit",
                type=float,
                default=10.0,
                metavar="SECONDS",
                help="time of each algorithm (default 10; 0 for none): in the table a slower one "
                "shows 'time limit'; the shown algorithm exits with status 4",
            ),
            _arg(
                "--max-nodes",
                type=int,
                metavar="N",
                help="expansion limit of the best-first algorithms",
            ),
            _arg(
                "--memory-limit",
                metavar="BYTES",
                help="memory of each search, e.g. 500M or 2G (default: what the machine has "
                "free; sets WAYLOOM_MEMORY_LIMIT)",
            ),
        ),
    ),
    (
        'pictures (need matplotlib: pip install "wayloom[viz]")',
        (
            _arg(
                "--algorithm",
                default="astar",
                metavar="NAME",
                help="the algorithm whose solution is shown, drawn or animated (default astar)",
            ),
            _arg("--plot", metavar="OUT.png", help="draw the search (png, svg, pdf, ...)"),
            _arg(
                "--animate",
                metavar="OUT.gif",
                help="replay the search as an animation (.gif, or .mp4 with ffmpeg)",
            ),
            _arg("--html", metavar="OUT.html", help="write the search as an interactive HTML page"),
            _arg(
                "--max-frames",
                type=int,
                default=200,
                metavar="N",
                help="frame budget of the animation (default 200)",
            ),
        ),
    ),
)


def build_parser() -> argparse.ArgumentParser:
    formatter = argparse.RawDescriptionHelpFormatter
    parser = _Parser(
        prog="wayloom",
        description="Compare classical search algorithms, and show, draw or animate a search.\n"
        "Without a command: the demo (every algorithm on the sample mazes).",
        epilog="examples:\n"
        "  wayloom grid --maze wall --plot astar.png --animate astar.gif\n"
        "  wayloom grid --maze random 40 20 0.3 7 --solvable --diagonal --heuristic octile\n"
        "  wayloom npuzzle 1 2 3 4 5 6 0 7 8 --algorithms bfs,astar,ida_star\n"
        "  wayloom hanoi 4 --pegs 4\n"
        "  wayloom ladder cold warm --words words.txt\n"
        "  wayloom graph edges.txt 0 7 --directed\n\n" + EXIT_CODES,
        formatter_class=formatter,
    )
    parser.add_argument("--version", action="version", version=f"wayloom {__version__}")
    sub = parser.add_subparsers(dest="command", metavar="COMMAND")
    sub.add_parser(
        "demo",
        help="compare every algorithm on the sample mazes (the default)",
        epilog=EXIT_CODES,
        formatter_class=formatter,
    )
    for command in COMMANDS:
        p = sub.add_parser(
            command.name,
            help=command.help,
            description=command.description,
            epilog=EXIT_CODES,
            formatter_class=formatter,
        )
        for flags, kwargs in command.arguments:
            p.add_argument(*flags, **kwargs)
        for title, arguments in COMMON:
            group = p.add_argument_group(title)
            for flags, kwargs in arguments:
                group.add_argument(*flags, **kwargs)
        p.set_defaults(make=command.make)
    return parser


def _stop_workers() -> None:
    for child in multiprocessing.active_children():
        child.kill()


def main(argv: Sequence[str] | None = None) -> int:
    """Entry point of ``wayloom`` and ``python -m wayloom``; returns the exit status."""
    parser = build_parser()
    ns = parser.parse_args(sys.argv[1:] if argv is None else list(argv))
    prog = f"wayloom {ns.command}" if ns.command else "wayloom"
    try:
        if ns.command in (None, "demo"):
            return demo()
        _check(ns)
        _check_names(ns)
        _check_outputs(ns)
        runner = _Runner()
        return _run(ns.make(ns), ns, runner)
    except (UsageError, ValueError, OverflowError, wayloom_native.PanicException) as exc:
        print(f"{prog}: error: {exc}", file=sys.stderr)
        return EXIT_USAGE
    except (OutputError, RuntimeError) as exc:
        print(f"{prog}: error: {exc}", file=sys.stderr)
        return EXIT_OUTPUT
    except (ResourceError, MemoryError) as exc:
        # A search that cannot be stopped may still run on its thread: leave now.
        print(f"{prog}: error: {exc or 'out of memory'}", file=sys.stderr, flush=True)
        _stop_workers()
        sys.stdout.flush()
        os._exit(EXIT_RESOURCE)
    except KeyboardInterrupt:
        print(f"{prog}: interrupted", file=sys.stderr, flush=True)
        _stop_workers()
        try:
            sys.stdout.flush()
        finally:
            os._exit(EXIT_INTERRUPTED)
    except BrokenPipeError:
        # The reader went away (e.g. `| head`): stop quietly, and keep the
        # interpreter's final flush from complaining about the closed pipe.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return EXIT_OK
