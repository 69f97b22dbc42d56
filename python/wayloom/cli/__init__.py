"""The ``wayloom`` command line: compare algorithms, show, draw and animate a search.

With no arguments it runs the demo (every algorithm on the two sample
mazes). Everything here parses arguments and calls :mod:`wayloom_native`,
:func:`wayloom.compare` and the public functions of :mod:`wayloom.viz`; no
searching happens in Python. Every argument is checked before any search
starts.

The rooms: :mod:`.errors` (exit statuses and their errors), :mod:`.problems`
and :mod:`.graph` (each domain's reader, printer and sub-command row),
:mod:`.runner` (checks, the table, the shown algorithm), :mod:`.outputs`
(the pictures). A new sub-command is one :class:`Command` row in
:data:`COMMANDS`.
"""

from __future__ import annotations

import argparse
import multiprocessing
import os
import sys
from collections.abc import Sequence
from typing import Any

import wayloom_native

from .. import __version__
from .._compare import ALGORITHMS
from .errors import (
    EXIT_CODES,
    EXIT_INTERRUPTED,
    EXIT_OK,
    EXIT_OUTPUT,
    EXIT_RESOURCE,
    EXIT_USAGE,
    OutputError,
    Parser,
    ResourceError,
    UsageError,
)
from .graph import GRAPH
from .problems import GRID, HANOI, LADDER, NPUZZLE, Command, arg, switch
from .runner import Runner, check, demo, run

__all__ = ["COMMANDS", "Command", "build_parser", "main"]

#: Every sub-command, in the order --help lists them.
COMMANDS: tuple[Command, ...] = (
    Command("demo", "compare every algorithm on the sample mazes (the default)", "", run=demo),
    GRID,
    NPUZZLE,
    HANOI,
    LADDER,
    GRAPH,
)

#: Options every search sub-command shares, by group.
COMMON = (
    (
        "comparison",
        (
            arg(
                "--algorithms",
                metavar="LIST",
                help="comma-separated algorithms to compare (default: all twelve: "
                + ", ".join(ALGORITHMS)
                + ")",
            ),
            arg("--heuristic", metavar="NAME", help="heuristic name (default: the domain's own)"),
            arg("--weight", type=float, help="w of weighted_astar (default 2.0)"),
            arg("--beam-width", type=int, metavar="N", help="beam width (default unlimited)"),
            arg(
                "--depth-limit",
                type=int,
                metavar="N",
                help="depth limit of dls/iddfs (default: the moves of the bfs path)",
            ),
            arg(
                "--workers",
                type=int,
                default=1,
                metavar="N",
                help="run N searches at a time (default 1)",
            ),
            switch(
                "--no-table",
                "skip the comparison; without --plot/--animate/--html, print the result of "
                "--algorithm alone",
            ),
            switch("--markdown", "print the table as Markdown"),
            switch("--quiet", "print no solution (by default the --algorithm's is shown)"),
        ),
    ),
    (
        "limits",
        (
            arg(
                "--time-limit",
                type=float,
                default=10.0,
                metavar="SECONDS",
                help="time of each algorithm (default 10; 0 for none): in the table a slower one "
                "shows 'time limit'; the shown algorithm exits with status 4",
            ),
            arg(
                "--max-nodes",
                type=int,
                metavar="N",
                help="expansion limit of the best-first algorithms",
            ),
            arg(
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
            arg(
                "--algorithm",
                metavar="NAME",
                help="the algorithm whose solution is shown, drawn or animated (default astar, "
                "or the first of --algorithms if it has no astar)",
            ),
            arg("--plot", metavar="OUT.png", help="draw the search (png, svg, pdf, ...)"),
            arg(
                "--animate",
                metavar="OUT.gif",
                help="replay the search as an animation (.gif, or .mp4 with ffmpeg)",
            ),
            arg("--html", metavar="OUT.html", help="write the search as an interactive HTML page"),
            arg(
                "--max-frames",
                type=int,
                default=200,
                metavar="N",
                help="frame budget of the animation (default 200)",
            ),
        ),
    ),
)


def _add(parser: argparse.ArgumentParser | Any, arguments: Sequence[Any]) -> None:
    for flags, kwargs in arguments:
        parser.add_argument(*flags, **kwargs)


def build_parser() -> argparse.ArgumentParser:
    """The command line's argument parser (the reference documentation is made from it)."""
    formatter = argparse.RawDescriptionHelpFormatter
    parser = Parser(
        prog="wayloom",
        description="Compare classical search algorithms, and show, draw or animate a search.\n"
        "Without a command: the demo (every algorithm on the sample mazes).",
        epilog="examples:\n"
        "  wayloom grid --maze wall --plot astar.png --animate astar.gif\n"
        "  wayloom grid --maze random 40 20 0.3 7 --solvable --diagonal --heuristic octile\n"
        "  wayloom grid --maze map.txt --start 0,0 --goal 9,9\n"
        "  wayloom npuzzle 1 2 3 4 5 6 0 7 8 --algorithms bfs,astar,ida_star\n"
        "  wayloom hanoi 4 --pegs 4\n"
        "  wayloom ladder cold warm --words words.txt\n"
        "  wayloom graph edges.txt 0 7 --directed\n\n" + EXIT_CODES,
        formatter_class=formatter,
    )
    parser.add_argument("--version", action="version", version=f"wayloom {__version__}")
    sub = parser.add_subparsers(dest="command", metavar="COMMAND")
    for command in COMMANDS:
        p = sub.add_parser(
            command.name,
            help=command.help,
            description=command.description or None,
            epilog=EXIT_CODES,
            formatter_class=formatter,
        )
        _add(p, command.arguments)
        if command.make is not None:
            for title, arguments in COMMON:
                _add(p.add_argument_group(title), arguments)
        p.set_defaults(make=command.make, run=command.run)
    return parser


def _stop_workers() -> None:
    for child in multiprocessing.active_children():
        child.kill()


def main(argv: Sequence[str] | None = None) -> int:
    """Entry point of ``wayloom`` and ``python -m wayloom``; returns the exit status."""
    parser = build_parser()
    ns = parser.parse_args(sys.argv[1:] if argv is None else list(argv))
    ns.prog = prog = f"wayloom {ns.command}" if ns.command else "wayloom"
    try:
        if ns.command is None:
            return demo(ns)
        if ns.run is not None:
            return int(ns.run(ns))
        check(ns)
        return run(ns.make(ns), ns, Runner())
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
