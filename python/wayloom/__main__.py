"""The ``wayloom`` command line: compare algorithms, draw and animate searches.

With no arguments it runs the demo (every algorithm on the two sample
mazes). Everything here parses arguments and calls :mod:`wayloom_native`,
:func:`wayloom.compare` and :mod:`wayloom.viz`; no searching happens in Python.
"""

from __future__ import annotations

import argparse
import os
import pathlib
import sys
from typing import Any, Callable, NoReturn, Sequence

import wayloom_native

from . import __version__
from .compare import ALGORITHMS, DEPTH_LIMITED, Comparison, bfs_depth, compare

EXIT_OK, EXIT_NO_PATH, EXIT_USAGE, EXIT_OUTPUT = 0, 1, 2, 3

EXIT_CODES = """\
exit status:
  0  a path was found (by at least one algorithm run)
  1  no algorithm run found a path
  2  usage error or bad input (unknown option, unreadable or malformed file,
     invalid puzzle, unknown algorithm or heuristic name)
  3  the plot or animation could not be written (matplotlib missing: pip
     install "wayloom[viz]"; unwritable file)
errors are reported as one line on stderr."""

#: Names accepted on the command line: the twelve algorithms and their aliases.
_ACCEPTED = set(ALGORITHMS) | {"a*", "wastar", "idastar", "bidir"}

#: A scrambled 8-puzzle 6 moves from the goal: every algorithm solves it quickly.
DEFAULT_TILES = (4, 1, 3, 7, 2, 6, 0, 5, 8)


class UsageError(Exception):
    """Bad input: reported as one line, exit status 2."""


class OutputError(Exception):
    """The picture could not be written: reported as one line, exit status 3."""


class _Parser(argparse.ArgumentParser):
    def error(self, message: str) -> NoReturn:
        self.exit(EXIT_USAGE, f"{self.prog}: error: {message} (see '{self.prog} --help')\n")


# ------------------------------------------------------------------ problems


class Problem:
    """A search function, its arguments, and how to draw its results."""

    def __init__(self, search: Callable[..., Any], args: tuple, kwargs: dict[str, Any],
                 maze: str | None = None) -> None:
        self.search, self.args, self.kwargs, self.maze = search, args, kwargs, maze


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


def _grid_problem(ns: argparse.Namespace) -> Problem:
    maze_arg = ns.maze
    if maze_arg[0] == "random":
        if len(maze_arg) != 5:
            raise UsageError("--maze random takes W H DENSITY SEED, e.g. --maze random 30 20 0.25 7")
        width, height = _int(maze_arg[1], "W"), _int(maze_arg[2], "H")
        try:
            density = float(maze_arg[3])
        except ValueError:
            raise UsageError(f"DENSITY must be a number, not {maze_arg[3]!r}") from None
        seed = _int(maze_arg[4], "SEED")
        if not hasattr(wayloom_native, "random_maze_ascii"):
            raise UsageError("this build of wayloom_native has no random_maze_ascii")
        if seed < 0:
            raise UsageError("SEED must be >= 0")
        text = wayloom_native.random_maze_ascii(width, height, density, seed)
    elif len(maze_arg) != 1:
        raise UsageError("--maze takes one of: open, wall, FILE, random W H DENSITY SEED")
    elif maze_arg[0] in ("open", "wall"):
        text = wayloom_native.sample_maze(maze_arg[0])
    else:
        text = _read_text(maze_arg[0])
    kwargs: dict[str, Any] = {"diagonal": ns.diagonal}
    return Problem(wayloom_native.search_grid, (text,), kwargs, maze=text)


def _tiles(tokens: Sequence[str], what: str) -> list[int]:
    values = [t for token in tokens for t in token.replace(",", " ").split()]
    return [_int(v, what) for v in values]


def _npuzzle_problem(ns: argparse.Namespace) -> Problem:
    tiles = _tiles(ns.tiles, "a tile") if ns.tiles else list(DEFAULT_TILES)
    kwargs: dict[str, Any] = {}
    if ns.goal is not None:
        kwargs["goal"] = _tiles([ns.goal], "a goal tile")
    return Problem(wayloom_native.search_npuzzle, (tiles,), kwargs)


def _hanoi_problem(ns: argparse.Namespace) -> Problem:
    if ns.disks < 0 or ns.pegs < 0:
        raise UsageError("disks and pegs must not be negative")
    return Problem(wayloom_native.search_hanoi, (ns.disks,), {"pegs": ns.pegs})


def _ladder_problem(ns: argparse.Namespace) -> Problem:
    words = _read_text(ns.words).split()
    return Problem(wayloom_native.search_wordladder, (ns.start, ns.goal, words), {})


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
    edges = list(zip(coo.row.tolist(), coo.col.tolist(), coo.data.astype(float).tolist(),
                     strict=True))
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
            raise UsageError(f"{ns.file}:{number}: expected 'u v [w]' with node numbers "
                             f">= 0, got {line.strip()!r}") from None
        edges.append((u, v, w))
    if ns.start < 0 or ns.goal < 0:
        raise UsageError("START and GOAL must be >= 0")
    nodes = ns.nodes
    if nodes is None:
        nodes = max([ns.start, ns.goal, size - 1] + [max(u, v) for u, v, _ in edges]) + 1
    if nodes < 0:
        raise UsageError("--nodes must be >= 0")
    return Problem(wayloom_native.search_graph, (nodes, edges, ns.start, ns.goal),
                   {"undirected": not ns.directed})


# ------------------------------------------------------------------- running


def _search_options(ns: argparse.Namespace) -> dict[str, Any]:
    out: dict[str, Any] = {}
    for key in ("heuristic", "weight", "beam_width", "depth_limit", "max_nodes"):
        value = getattr(ns, key, None)
        if value is not None:
            if key in ("beam_width", "depth_limit", "max_nodes") and value < 0:
                raise UsageError(f"--{key.replace('_', '-')} must be >= 0")
            out[key] = value
    return out


def _algorithms(text: str | None) -> list[str]:
    if text is None:
        return list(ALGORITHMS)
    names = [n.strip() for n in text.split(",") if n.strip()]
    if not names:
        raise UsageError("--algorithms needs at least one name")
    for n in names:
        if n not in _ACCEPTED:
            raise UsageError(f"unknown algorithm: {n!r}. Available: {', '.join(ALGORITHMS)}")
    return names


def _table(problem: Problem, ns: argparse.Namespace, options: dict[str, Any]) -> Comparison:
    rows = compare(problem.search, *problem.args, algorithms=_algorithms(ns.algorithms),
                   workers=ns.workers, **problem.kwargs, **options)
    errors = {r.error for r in rows}
    if None not in errors and len(errors) == 1:
        # Every row refused for the same reason: the input is at fault, not an algorithm.
        raise UsageError(errors.pop() or "")
    return rows


def _chosen(problem: Problem, ns: argparse.Namespace, options: dict[str, Any],
            record: bool) -> Any:
    """Run the --algorithm alone."""
    algorithm = ns.algorithm
    if algorithm not in _ACCEPTED:
        raise UsageError(f"unknown algorithm: {algorithm!r}. Available: {', '.join(ALGORITHMS)}")
    if algorithm in DEPTH_LIMITED and "depth_limit" not in options:
        # As in the table: the depth of the bfs path, never an unbounded deepening.
        depth = bfs_depth(problem.search, *problem.args, **problem.kwargs, **options)
        if depth is None:
            raise UsageError(f"{algorithm!r} needs --depth-limit here: bfs found no path "
                             "to take one from")
        options = {**options, "depth_limit": depth}
    return problem.search(*problem.args, algorithm=algorithm, record=record,
                          **problem.kwargs, **options)


def _draw(problem: Problem, ns: argparse.Namespace, options: dict[str, Any]) -> bool:
    """Run the chosen algorithm with recording and write the plot and/or animation."""
    algorithm = ns.algorithm
    result = _chosen(problem, ns, options, record=True)
    try:
        from . import viz

        if ns.plot:
            viz._require("plot_grid" if problem.maze is not None else "plot_search_tree")
            from matplotlib.figure import Figure

            fig = Figure(figsize=(7, 5), layout="tight")
            ax = fig.add_subplot()
            if problem.maze is not None:
                viz.plot_grid(problem.maze, result, ax=ax,
                              title=f"{algorithm}: {viz.describe(result)}")
            else:
                viz.plot_search_tree(result, ax=ax, layout="layered")
            fig.savefig(ns.plot)
            print(f"wrote {ns.plot}")
        if ns.animate:
            style: dict[str, Any] = {"max_frames": ns.max_frames}
            if problem.maze is None:
                style["layout"] = "layered"
            viz.animate_search(result, ns.animate, maze=problem.maze, **style)
            print(f"wrote {ns.animate}")
    except ImportError as exc:
        raise OutputError(str(exc)) from None
    except OSError as exc:
        raise OutputError(f"cannot write: {exc}") from None
    return result.found


def _run(problem: Problem, ns: argparse.Namespace) -> int:
    options = _search_options(ns)
    found = False
    if not ns.no_table:
        rows = _table(problem, ns, options)
        print(rows.table(markdown=ns.markdown))
        found = any(r.found for r in rows)
    if ns.plot or ns.animate:
        found = _draw(problem, ns, options) or found
    elif ns.no_table:
        result = _chosen(problem, ns, options, record=False)
        print(result)
        found = result.found
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


def _common(parser: argparse.ArgumentParser) -> None:
    g = parser.add_argument_group("comparison")
    g.add_argument("--algorithms", metavar="LIST",
                   help="comma-separated algorithms to compare (default: all twelve: "
                        + ", ".join(ALGORITHMS) + ")")
    g.add_argument("--heuristic", metavar="NAME", help="heuristic name (default: the domain's own)")
    g.add_argument("--weight", type=float, help="w of weighted_astar (default 2.0)")
    g.add_argument("--beam-width", type=int, metavar="N", help="beam width (default unlimited)")
    g.add_argument("--depth-limit", type=int, metavar="N",
                   help="depth limit of dls/iddfs (default: the moves of the bfs path)")
    g.add_argument("--max-nodes", type=int, metavar="N",
                   help="expansion limit of the best-first algorithms")
    g.add_argument("--workers", type=int, default=1, metavar="N",
                   help="run the searches on N threads (default 1)")
    g.add_argument("--no-table", action="store_true",
                   help="skip the comparison; without --plot/--animate, print the result "
                        "of --algorithm alone")
    g.add_argument("--markdown", action="store_true", help="print the table as Markdown")
    g = parser.add_argument_group("pictures (need matplotlib: pip install \"wayloom[viz]\")")
    g.add_argument("--algorithm", default="astar", metavar="NAME",
                   help="the algorithm to draw or animate (default astar)")
    g.add_argument("--plot", metavar="OUT.png", help="draw the search (any matplotlib format)")
    g.add_argument("--animate", metavar="OUT.gif",
                   help="replay the search as an animation (.gif, or .mp4 with ffmpeg)")
    g.add_argument("--max-frames", type=int, default=200, metavar="N",
                   help="frame budget of the animation (default 200)")


def build_parser() -> argparse.ArgumentParser:
    formatter = argparse.RawDescriptionHelpFormatter
    parser = _Parser(
        prog="wayloom",
        description="Compare classical search algorithms, and draw or animate a search.\n"
                    "Without a command: the demo (every algorithm on the sample mazes).",
        epilog="examples:\n"
               "  wayloom grid --maze wall --plot astar.png --animate astar.gif\n"
               "  wayloom grid --maze random 40 20 0.3 7 --diagonal --heuristic octile\n"
               "  wayloom npuzzle 1 2 3 4 5 6 0 7 8 --algorithms bfs,astar,ida_star\n"
               "  wayloom hanoi 4 --pegs 4\n"
               "  wayloom ladder cold warm --words words.txt\n"
               "  wayloom graph edges.txt 0 7 --directed\n\n" + EXIT_CODES,
        formatter_class=formatter)
    parser.add_argument("--version", action="version", version=f"wayloom {__version__}")
    sub = parser.add_subparsers(dest="command", metavar="COMMAND")

    p = sub.add_parser("demo", help="compare every algorithm on the sample mazes (the default)",
                       epilog=EXIT_CODES, formatter_class=formatter)

    p = sub.add_parser("grid", help="a grid maze", epilog=EXIT_CODES, formatter_class=formatter,
                       description="Search a grid maze: an ASCII map ('#' wall, 'S' start, "
                                   "'G' goal, '1'-'9' terrain cost, anything else open).")
    p.add_argument("--maze", nargs="+", default=["wall"], metavar="MAZE",
                   help="'open' or 'wall' (the samples; default wall), a map FILE ('-' = stdin), "
                        "or 'random W H DENSITY SEED'")
    p.add_argument("--diagonal", action="store_true", help="allow diagonal moves (8-connected)")
    _common(p)
    p.set_defaults(make=_grid_problem)

    p = sub.add_parser("npuzzle", help="a sliding-tile puzzle", epilog=EXIT_CODES,
                       formatter_class=formatter,
                       description="Solve a sliding-tile puzzle. TILES row by row, 0 = blank "
                                   "(spaces or commas). Default: "
                                   + " ".join(map(str, DEFAULT_TILES)) + ".")
    p.add_argument("tiles", nargs="*", metavar="TILES")
    p.add_argument("--goal", metavar="TILES", help="goal board, comma-separated (default 1..n-1, 0)")
    _common(p)
    p.set_defaults(make=_npuzzle_problem)

    p = sub.add_parser("hanoi", help="the Towers of Hanoi", epilog=EXIT_CODES,
                       formatter_class=formatter,
                       description="Move DISKS disks from the first peg to the last.")
    p.add_argument("disks", nargs="?", type=int, default=3, help="number of disks (default 3)")
    p.add_argument("--pegs", type=int, default=3, help="number of pegs, 3 to 16 (default 3)")
    _common(p)
    p.set_defaults(make=_hanoi_problem)

    p = sub.add_parser("ladder", help="a word ladder", epilog=EXIT_CODES,
                       formatter_class=formatter,
                       description="Change START into GOAL one letter at a time through words "
                                   "of the list.")
    p.add_argument("start")
    p.add_argument("goal")
    p.add_argument("--words", required=True, metavar="FILE",
                   help="word list, whitespace-separated ('-' = stdin)")
    _common(p)
    p.set_defaults(make=_ladder_problem)

    p = sub.add_parser("graph", help="a weighted graph from an edge list", epilog=EXIT_CODES,
                       formatter_class=formatter,
                       description="Search a graph given as an edge list: one 'u v [w]' per "
                                   "line (w defaults to 1; '#' starts a comment), or as a "
                                   "sparse matrix (.npz from scipy.sparse.save_npz, or Matrix "
                                   "Market .mtx): each stored entry (i, j) is an arc i -> j.")
    p.add_argument("file", metavar="FILE", help="the edge list ('-' = stdin), .npz or .mtx")
    p.add_argument("start", type=int, metavar="START")
    p.add_argument("goal", type=int, metavar="GOAL")
    p.add_argument("--nodes", type=int, metavar="N",
                   help="number of nodes (default: one more than the largest node number)")
    p.add_argument("--directed", action="store_true", help="edges go from u to v only")
    _common(p)
    p.set_defaults(make=_graph_problem)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    """Entry point of ``wayloom`` and ``python -m wayloom``; returns the exit status."""
    parser = build_parser()
    ns = parser.parse_args(sys.argv[1:] if argv is None else list(argv))
    prog = f"wayloom {ns.command}" if ns.command else "wayloom"
    try:
        if ns.command in (None, "demo"):
            return demo()
        if ns.workers < 1:
            raise UsageError("--workers must be >= 1")
        if ns.max_frames < 2:
            raise UsageError("--max-frames must be >= 2")
        return _run(ns.make(ns), ns)
    except (UsageError, ValueError, OverflowError, wayloom_native.PanicException) as exc:
        print(f"{prog}: error: {exc}", file=sys.stderr)
        return EXIT_USAGE
    except (OutputError, RuntimeError) as exc:
        print(f"{prog}: error: {exc}", file=sys.stderr)
        return EXIT_OUTPUT
    except KeyboardInterrupt:
        print(f"{prog}: interrupted", file=sys.stderr)
        return 130
    except BrokenPipeError:
        # The reader went away (e.g. `| head`): stop quietly, and keep the
        # interpreter's final flush from complaining about the closed pipe.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return EXIT_OK


if __name__ == "__main__":
    sys.exit(main())
