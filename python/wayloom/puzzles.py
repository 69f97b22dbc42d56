"""Sliding-tile puzzles with additive pattern databases.

``TilePuzzle(side, goal=None, patterns=None)`` describes a board, its goal and
a partition of its tiles into disjoint groups. ``search(..., heuristic="pdb")``
uses one table per group: the fewest moves of the group's own tiles that bring
them home, whatever the other tiles do. The tables are built once (breadth-first
from the goal) and kept in a cache directory, ``WAYLOOM_CACHE_DIR`` or else the
user's cache directory, one file per group; a file that is truncated or does
not match its checksum is rebuilt. The built-in heuristic names
(``"manhattan"``, ``"misplaced"``, ``"zero"``, or a callable) give exactly
``search_npuzzle``'s results.
"""

from __future__ import annotations

import os
import struct
import sys
import tempfile
import threading
import zlib
from collections.abc import Callable, Sequence
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path
from typing import Any

import wayloom_native as _native

from . import _engine

__all__ = ["PARTITIONS", "TilePuzzle", "cache_dir"]

# Named partitions by side, as tiles of the usual goal (1, 2, ..., blank last);
# the first is the side's default. With another goal, a group takes the tiles
# that goal puts in the same cells.
PARTITIONS: dict[int, dict[str, tuple[tuple[int, ...], ...]]] = {
    3: {
        "4-4": ((1, 2, 4, 5), (3, 6, 7, 8)),
        "8": ((1, 2, 3, 4, 5, 6, 7, 8),),
    },
    4: {
        "6-6-3": ((1, 2, 5, 6, 9, 10), (3, 4, 7, 8, 11, 12), (13, 14, 15)),
        "5-5-5": ((9, 10, 13, 14, 15), (4, 7, 8, 11, 12), (1, 2, 3, 5, 6)),
        "7-8": ((9, 10, 11, 12, 13, 14, 15), (1, 2, 3, 4, 5, 6, 7, 8)),
    },
    5: {
        "6-6-6-6": (
            (1, 2, 6, 7, 11, 12),
            (3, 4, 5, 8, 9, 10),
            (13, 14, 15, 19, 20, 24),
            (16, 17, 18, 21, 22, 23),
        ),
    },
}

_BUILT_IN = ("manhattan", "misplaced", "zero")
_MAGIC = b"WLPDB\x00\x01\n"
_HEADER = struct.Struct("<8sIIIQ")  # magic, side, goal length, tiles, entries
# Missing tables are built on threads at once when all but the largest need at
# most this much scratch memory together (6-6-3 yes; 7-8 and 6-6-6-6 no).
_PARALLEL_SCRATCH = 64 << 20


def cache_dir() -> Path:
    """Where tables are kept: ``WAYLOOM_CACHE_DIR``, else the user's cache directory."""
    env = os.environ.get("WAYLOOM_CACHE_DIR")
    if env:
        return Path(env)
    if sys.platform == "win32":
        base = os.environ.get("LOCALAPPDATA") or str(Path.home() / "AppData" / "Local")
        return Path(base) / "wayloom" / "Cache"
    if sys.platform == "darwin":
        return Path.home() / "Library" / "Caches" / "wayloom"
    return Path(os.environ.get("XDG_CACHE_HOME") or Path.home() / ".cache") / "wayloom"


def _tiles(what: str, values: Sequence[int]) -> tuple[int, ...]:
    try:
        return tuple(int(v) for v in values)
    except TypeError:
        raise TypeError(f"{what} must be a sequence of ints") from None


def _groups_for(
    side: int, goal: tuple[int, ...], patterns: str | Sequence[Sequence[int]] | None
) -> tuple[tuple[tuple[int, ...], ...], str | None]:
    """The tile groups of `patterns` against `goal`, checked; and the name if any."""
    n = side * side
    if patterns is None or isinstance(patterns, str):
        named = PARTITIONS.get(side, {})
        name = patterns if patterns is not None else next(iter(named), None)
        if name is None or name not in named:
            known = ", ".join(repr(k) for k in named) or "none"
            raise ValueError(
                f"unknown partition {name!r} for a {side}\u00d7{side} board "
                f"(named partitions: {known}); give the tile groups instead"
            )
        cell_of_canonical = {t: t - 1 for t in range(1, n)}
        # The cells of the canonical goal map onto the given goal's cells; the
        # blank's cell swaps with the cell the goal leaves the blank in.
        blank = goal.index(0)
        cells = [[cell_of_canonical[t] for t in g] for g in named[name]]
        cells = [[n - 1 if c == blank else c for c in g] for g in cells]
        return tuple(tuple(goal[c] for c in g) for g in cells), name
    groups = tuple(_tiles("patterns", g) for g in patterns)
    owner: dict[int, int] = {}
    for i, group in enumerate(groups):
        if not group:
            raise ValueError(f"pattern group {i} is empty")
        for t in group:
            if not 1 <= t < n:
                raise ValueError(
                    f"pattern group {i}: {t} is not a tile of a {side}\u00d7{side} board (1..{n - 1})"
                )
            if t in owner:
                where = "twice in" if owner[t] == i else f"in groups {owner[t]} and"
                raise ValueError(f"tile {t} is {where} group {i}")
            owner[t] = i
    missing = [t for t in range(1, n) if t not in owner]
    if missing:
        raise ValueError(f"tiles {', '.join(map(str, missing))} are in no pattern group")
    return groups, None


class TilePuzzle:
    """A ``side``×``side`` sliding-tile puzzle with additive pattern databases.

    ``patterns`` is a partition's name (``"6-6-3"``, ``"5-5-5"`` or ``"7-8"`` on
    4×4, ``"6-6-6-6"`` on 5×5, ``"4-4"`` or ``"8"`` on 3×3; the first is the
    default) or explicit groups of tiles that together hold every tile once.
    With a goal whose blank lies on the main diagonal (the usual one does), the
    heuristic is also the larger of the sum and the sum read on the board
    mirrored about that diagonal.
    """

    def __init__(
        self,
        side: int,
        goal: Sequence[int] | None = None,
        patterns: str | Sequence[Sequence[int]] | None = None,
    ) -> None:
        if isinstance(side, bool) or not isinstance(side, int):
            raise TypeError("side must be an int")
        if not 2 <= side <= 8:
            raise ValueError("side must be 2 to 8")
        n = side * side
        goal_tiles = tuple(range(1, n)) + (0,) if goal is None else _tiles("goal", goal)
        groups, name = (
            _groups_for(side, goal_tiles, patterns) if len(goal_tiles) == n else ((), None)
        )
        # The engine checks the goal (length, repeated or missing tiles).
        self._tables = _engine.TileDatabases._create(side, goal_tiles, groups)
        self._side = side
        self._goal = goal_tiles
        self._custom_goal = goal is not None
        self._groups = groups
        self._name = name
        self._lock = threading.Lock()  # one prepare() at a time

    side = property(lambda self: self._side, doc="Cells along an edge.")
    goal = property(lambda self: self._goal, doc="The goal board, row-major, 0 = blank.")
    groups = property(lambda self: self._groups, doc="The tile groups, one table each.")
    partition = property(lambda self: self._name, doc="The partition's name, or None.")

    @property
    def reflects(self) -> bool:
        """Whether the mirrored lookup is used (the goal's blank on the diagonal)."""
        return bool(self._tables.reflects)

    def __repr__(self) -> str:
        what = repr(self._name) if self._name else repr([list(g) for g in self._groups])
        goal = f", goal={list(self._goal)!r}" if self._custom_goal else ""
        return f"TilePuzzle({self._side}{goal}, patterns={what})"

    def __reduce__(self) -> tuple[Any, ...]:
        goal = list(self._goal) if self._custom_goal else None
        patterns: Any = self._name if self._name else [list(g) for g in self._groups]
        return (TilePuzzle, (self._side, goal, patterns))

    # ---- the tables -------------------------------------------------------------

    def _file_name(self, group: tuple[int, ...]) -> str:
        n = self._side * self._side
        goal = (
            "std"
            if self._goal == tuple(range(1, n)) + (0,)
            else "".join(f"{t:02x}" for t in self._goal)
        )
        tiles = "-".join(map(str, group))
        return f"pdb-{self._side}x{self._side}-goal-{goal}-tiles-{tiles}.bin"

    def _header(self, group: tuple[int, ...], entries: int) -> bytes:
        return (
            _HEADER.pack(_MAGIC, self._side, len(self._goal), len(group), entries)
            + bytes(self._goal)
            + bytes(group)
        )

    def cache_files(self) -> list[Path]:
        """The cache file of each group's table (present or not)."""
        d = cache_dir()
        return [d / self._file_name(g) for g in self._groups]

    def prepare(self, progress: bool | None = None) -> None:
        """Loads the tables from the cache, building (and saving) the missing ones.

        ``progress`` prints a progress line while building; by default when
        standard error is a terminal."""
        with self._lock:
            if self._tables.ready:
                return
            if progress is None:
                progress = sys.stderr.isatty()
            self._tables._allocate()
            view = memoryview(self._tables)  # type: ignore[arg-type]  # a C-level buffer
            try:
                self._fill(view, bool(progress))
            finally:
                view.release()
            self._tables._set_ready(True)

    def _fill(self, view: memoryview, progress: bool) -> None:
        """Loads what the cache has and builds the rest: side by side on threads
        when the smaller builds' scratch memory is small, else one at a time."""
        n = self._side * self._side
        todo = []
        for i, ((offset, entries), path) in enumerate(
            zip(self._tables._layout, self.cache_files(), strict=True)
        ):
            header = self._header(self._groups[i], entries)
            if not _load(path, header, view[offset : offset + entries]):
                masks = entries * next(w for w in (1, 2, 4, 8) if 8 * w >= n - len(self._groups[i]))
                todo.append((masks, i, offset, entries, path, header))
        todo.sort(reverse=True)

        def build(job: tuple[int, int, int, int, Path, bytes]) -> None:
            _, i, offset, entries, path, header = job
            self._build(i, entries, progress)
            _save(path, header, view[offset : offset + entries])

        workers = min(len(todo), os.cpu_count() or 1)
        if workers > 1 and sum(job[0] for job in todo[1:]) <= _PARALLEL_SCRATCH:
            with ThreadPoolExecutor(workers) as pool:
                list(pool.map(build, todo))
        else:
            for job in todo:
                build(job)

    def _build(self, i: int, entries: int, progress: bool) -> None:
        report: Callable[[int, int, int], None] | None = None
        if progress:
            count = len(self._groups)
            tiles = len(self._groups[i])

            def report(depth: int, reached: int, total: int) -> None:
                sys.stderr.write(
                    f"\rwayloom: building pattern database {i + 1}/{count} ({tiles} tiles, "
                    f"{total:,} entries): depth {depth}, {100.0 * reached / total:5.1f}% reached"
                )
                sys.stderr.flush()

        try:
            self._tables._build(i, report)
        finally:
            if progress:
                sys.stderr.write("\n")

    # ---- searching ----------------------------------------------------------------

    def estimate(self, tiles: Sequence[int]) -> int:
        """The pattern-database heuristic's value on a board (prepares first)."""
        self._tables._check(tiles)
        self.prepare()
        return int(self._tables.estimate(tiles))

    def search(
        self,
        tiles: Sequence[int],
        algorithm: str = "ida_star",
        heuristic: str | Callable[[Any, Any], float] | None = "pdb",
        record: bool = True,
        **options: Any,
    ) -> _native.SearchResult:
        """Solves the board `tiles` (row-major, 0 = blank) into the goal.

        ``heuristic="pdb"`` uses the pattern databases (built or loaded on first
        use); any other heuristic is ``search_npuzzle``'s, with the same result.
        ``options`` are the other search options (``weight``, ``beam_width``,
        ``depth_limit``, ``max_nodes``, ``reopen``)."""
        if heuristic != "pdb":
            return _native.search_npuzzle(
                tiles,
                algorithm=algorithm,
                heuristic=heuristic,
                goal=self._goal,
                record=record,
                **options,
            )
        self._tables._check(tiles)
        self.prepare()
        return self._tables.search(tiles, algorithm=algorithm, record=record, **options)

    def search_many(
        self,
        boards: Sequence[Sequence[int]],
        algorithm: str = "ida_star",
        heuristic: str | Callable[[Any, Any], float] | None = "pdb",
        record: bool = True,
        workers: int = 1,
        **options: Any,
    ) -> list[_native.SearchResult]:
        """Solves every board, on ``workers`` threads; results in the boards' order."""
        if isinstance(workers, bool) or not isinstance(workers, int) or workers < 1:
            raise ValueError("workers must be a positive int")
        if heuristic != "pdb":
            boards = list(boards)

            def one(b: Sequence[int]) -> _native.SearchResult:
                return self.search(b, algorithm, heuristic, record, **options)

            if workers == 1 or callable(heuristic):
                return [one(b) for b in boards]
            with ThreadPoolExecutor(workers) as pool:
                return list(pool.map(one, boards))
        boards = [list(b) for b in boards]
        for b in boards:
            self._tables._check(b)
        self.prepare()
        return self._tables._search_batch(
            boards, algorithm=algorithm, record=record, workers=workers, **options
        )


# ---- cache files ----------------------------------------------------------------------


def _load(path: Path, header: bytes, table: memoryview) -> bool:
    """Fills `table` from `path` when the file is whole and matches; else False."""
    trailer = struct.Struct("<II")  # the table's CRC-32, the header's
    try:
        with open(path, "rb") as f:
            head = f.read(len(header) + trailer.size)
            if len(head) != len(header) + trailer.size or head[: len(header)] != header:
                return False
            table_crc, header_crc = trailer.unpack(head[len(header) :])
            if zlib.crc32(head[: len(header) + 4]) != header_crc:
                return False
            if f.readinto(table) != len(table) or f.read(1):
                return False
    except OSError:
        return False
    return zlib.crc32(table) == table_crc


def _save(path: Path, header: bytes, table: memoryview) -> None:
    """Writes the table atomically (a temporary file renamed over the name), so a
    reader or a second builder never sees a partial file. A cache that cannot be
    written is skipped: the tables stay in memory for this process."""
    tmp: str | None = None
    try:
        path.parent.mkdir(parents=True, exist_ok=True)
        fd, tmp = tempfile.mkstemp(prefix=path.name + ".", suffix=".tmp", dir=path.parent)
        with os.fdopen(fd, "wb") as f:
            head = header + struct.pack("<I", zlib.crc32(table))
            f.write(head + struct.pack("<I", zlib.crc32(head)))
            f.write(table)
            f.flush()
            os.fsync(f.fileno())
        os.replace(tmp, path)
        tmp = None
    except OSError as e:
        sys.stderr.write(f"wayloom: could not save {path}: {e}\n")
    finally:
        if tmp is not None:
            try:
                os.unlink(tmp)
            except OSError:
                pass
