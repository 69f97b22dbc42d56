"""The problems the command line searches: each domain's reader, its solution
printer and its sub-command row side by side."""

from __future__ import annotations

import argparse
import dataclasses
import itertools
import math
import pathlib
import sys
from collections.abc import Callable, Sequence
from typing import Any

import wayloom_native

from .._maze import read_ascii
from .errors import UsageError

Argument = tuple[tuple[str, ...], dict[str, Any]]

#: A scrambled 8-puzzle 6 moves from the goal: every algorithm solves it quickly.
DEFAULT_TILES = (4, 1, 3, 7, 2, 6, 0, 5, 8)

#: Seeds tried by --solvable before giving up.
SOLVABLE_TRIES = 1000


@dataclasses.dataclass
class Problem:
    """A search function, its arguments, and how to show and draw its results."""

    search: Callable[..., Any]
    args: tuple
    kwargs: dict[str, Any]
    show: Callable[[list], list[str]]
    maze: str | None = None
    note: str | None = None  # printed before the table (e.g. the seed --solvable used)
    # Cells given on the command line instead of the map's S and G (for pictures).
    ends: dict[str, tuple[int, int]] = dataclasses.field(default_factory=dict)


@dataclasses.dataclass(frozen=True)
class Command:
    """One sub-command: its texts, its own arguments, and what it does.

    A search command builds a :class:`Problem` (``make``) and takes the shared
    options too; a command with a flow of its own (``run``, returning the exit
    status) takes only its own arguments.
    """

    name: str
    help: str
    description: str
    arguments: tuple[Argument, ...] = ()
    make: Callable[[argparse.Namespace], Problem] | None = None
    run: Callable[[argparse.Namespace], int] | None = None


def arg(*flags: str, **kwargs: Any) -> Argument:
    return flags, kwargs


def switch(flag: str, help: str) -> Argument:
    """An option that is off unless given."""
    return (flag,), {"action": "store_true", "help": help}


def read_text(path: str) -> str:
    try:
        return sys.stdin.read() if path == "-" else pathlib.Path(path).read_text(encoding="utf-8")
    except (OSError, UnicodeDecodeError) as exc:
        raise UsageError(f"cannot read {path}: {getattr(exc, 'strerror', None) or exc}") from None


def number(text: str, what: str, kind: Callable[[str], Any] = int) -> Any:
    try:
        return kind(text)
    except ValueError:
        noun = "an integer" if kind is int else "a number"
        raise UsageError(f"{what} must be {noun}, not {text!r}") from None


def show_chain(path: list) -> list[str]:
    return [f"path of {len(path) - 1} steps: " + " -> ".join(map(str, path))]


# ---------------------------------------------------------------- grid mazes


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
    width, height = number(spec[0], "W"), number(spec[1], "H")
    density, seed = number(spec[2], "DENSITY", float), number(spec[3], "SEED")
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


def _cell(text: str | None, option: str) -> tuple[int, int] | None:
    if text is None:
        return None
    parts = text.split(",")
    if len(parts) != 2:
        raise UsageError(f"{option} takes a cell as ROW,COLUMN, not {text!r}")
    return number(parts[0], f"{option}'s row"), number(parts[1], f"{option}'s column")


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
        text = read_text(ns.maze[0])
    show = _show_grid(text)
    given = {"start": _cell(ns.start, "--start"), "goal": _cell(ns.goal, "--goal")}
    if not any(given.values()):
        return Problem(
            wayloom_native.search_grid, (text,), {"diagonal": ns.diagonal}, show, text, note
        )
    # Cells named on the command line stand in for the map's own S and G.
    try:
        read = read_ascii(text)
    except ValueError as exc:
        raise UsageError(str(exc)) from None
    ends = {k: v for k, v in given.items() if v is not None}
    start, goal = ends.get("start", read.start), ends.get("goal", read.goal)
    for option, cell in (("--start", start), ("--goal", goal)):
        if cell is None:
            raise UsageError(f"the map has no '{option[2].upper()}': give {option} ROW,COLUMN")
        if not (0 <= cell[0] < read.height and 0 <= cell[1] < read.width):
            raise UsageError(
                f"{option} {cell[0]},{cell[1]} is outside the {read.height}x{read.width} map"
            )
    from ..graphs import Grid

    grid = Grid(text, diagonal=ns.diagonal)
    return Problem(grid.search, (start, goal), {}, show, text, note, ends)


GRID = Command(
    "grid",
    "a grid maze",
    "Search a grid maze: an ASCII map ('#' wall, 'S' start, 'G' goal, '1'-'9' terrain "
    "cost, anything else open).",
    (
        arg(
            "--maze",
            nargs="+",
            default=["wall"],
            metavar="MAZE",
            help="'open' or 'wall' (the samples; default wall), a map FILE ('-' = stdin), "
            "or 'random W H DENSITY SEED'",
        ),
        switch(
            "--solvable",
            "with --maze random: try seeds upwards from SEED until the maze has a "
            "path, and say which seed it used",
        ),
        switch("--diagonal", "allow diagonal moves (8-connected)"),
        arg("--start", metavar="R,C", help="the start cell (default: the map's 'S')"),
        arg("--goal", metavar="R,C", help="the goal cell (default: the map's 'G')"),
    ),
    _grid_problem,
)


# ------------------------------------------------------------------- puzzles


def _tiles(tokens: Sequence[str], what: str) -> list[int]:
    return [number(t, what) for token in tokens for t in token.replace(",", " ").split()]


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


NPUZZLE = Command(
    "npuzzle",
    "a sliding-tile puzzle",
    "Solve a sliding-tile puzzle. TILES row by row, 0 = blank (spaces or commas). "
    "Default: " + " ".join(map(str, DEFAULT_TILES)) + ".",
    (
        arg("tiles", nargs="*", metavar="TILES"),
        arg("--goal", metavar="TILES", help="goal board, comma-separated (default 1..n-1, 0)"),
    ),
    _npuzzle_problem,
)


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


HANOI = Command(
    "hanoi",
    "the Towers of Hanoi",
    "Move DISKS disks from the first peg to the last.",
    (
        arg("disks", nargs="?", type=int, default=3, help="number of disks (default 3)"),
        arg("--pegs", type=int, default=3, help="number of pegs, 3 to 16 (default 3)"),
    ),
    _hanoi_problem,
)


def _ladder_problem(ns: argparse.Namespace) -> Problem:
    words = read_text(ns.words).split()
    return Problem(wayloom_native.search_wordladder, (ns.start, ns.goal, words), {}, show_chain)


LADDER = Command(
    "ladder",
    "a word ladder",
    "Change START into GOAL one letter at a time through words of the list.",
    (
        arg("start"),
        arg("goal"),
        arg(
            "--words",
            required=True,
            metavar="FILE",
            help="word list, whitespace-separated ('-' = stdin)",
        ),
    ),
    _ladder_problem,
)
