"""Grid benchmark files in the MovingAI format: maps, scenarios, and a runner
that checks every scenario's length the way the benchmark's validator does.

A map file is a four-line header (``type octile``, ``height H``, ``width W``,
``map``) and ``H`` rows of ``W`` characters: ``.``, ``G`` and ``S`` are open
ground, ``@``, ``O``, ``T`` and ``W`` are blocked. A scenario file is a
``version`` line and rows of nine tab-separated fields ``bucket map width
height start_x start_y goal_x goal_y optimal_length``, where ``x`` is the
column and ``y`` the row. Cells here are ``(row, column)``, as everywhere in
wayloom.
"""

from __future__ import annotations

import dataclasses
import math
import os
import statistics
from collections.abc import Sequence
from pathlib import Path
from typing import TYPE_CHECKING, NamedTuple

if TYPE_CHECKING:
    from .graphs import Grid

__all__ = ["Scenario", "ScenarioReport", "read_scenarios", "run_scenarios"]

_OPEN = ".GS"
_BLOCKED = "@OTW"
# Every character a map may hold, as the ASCII grid's open cell or wall.
_TO_ASCII = str.maketrans({**{c: "." for c in _OPEN}, **{c: "#" for c in _BLOCKED}})


class Scenario(NamedTuple):
    """One row of a scenario file: cells are ``(row, column)``; ``length`` is the
    optimal length the file gives (0 for start = goal, and for a pair that no path
    joins when start and goal differ)."""

    bucket: int
    start: tuple[int, int]
    goal: tuple[int, int]
    length: float


@dataclasses.dataclass(frozen=True)
class ScenarioReport:
    """What :func:`run_scenarios` found: how many scenarios ran, how many came out
    at a length other than the file's, and the mean and 99th-percentile search
    time a query in seconds (the results' ``elapsed``)."""

    count: int
    mismatches: int
    mean_time: float
    p99_time: float


def _read_text(path_or_text: str | os.PathLike[str]) -> str:
    if isinstance(path_or_text, os.PathLike) or "\n" not in path_or_text:
        return Path(path_or_text).read_text(encoding="ascii")
    return path_or_text


def looks_like_movingai(text: str) -> bool:
    """Whether ``text`` starts with a MovingAI map header (a ``type`` line then
    ``height``)."""
    head = text.lstrip().split("\n", 2)[:2]
    return len(head) == 2 and head[0].split()[:1] == ["type"] and head[1].split()[:1] == ["height"]


def map_to_ascii(text: str) -> str:
    """The map of a MovingAI file as a wayloom ASCII map (``.`` open, ``#`` wall),
    after checking its header against its rows."""
    lines = text.replace("\r\n", "\n").split("\n")
    header: dict[str, str] = {}
    i = 0
    while i < len(lines) and lines[i].strip() != "map":
        parts = lines[i].split()
        if parts:
            if len(parts) != 2 or parts[0] not in ("type", "height", "width"):
                raise ValueError(f"MovingAI map: unexpected header line {i + 1}: {lines[i]!r}")
            header[parts[0]] = parts[1]
        i += 1
    for key in ("type", "height", "width"):
        if key not in header:
            raise ValueError(f"MovingAI map: the header has no '{key}' line")
    if i == len(lines):
        raise ValueError("MovingAI map: the header has no 'map' line")
    try:
        height, width = int(header["height"]), int(header["width"])
    except ValueError:
        raise ValueError("MovingAI map: height and width must be whole numbers") from None
    if height < 1 or width < 1:
        raise ValueError(f"MovingAI map: the header gives an empty map ({height}x{width})")
    rows = lines[i + 1 :]
    while rows and rows[-1] == "":
        rows.pop()
    if len(rows) != height:
        raise ValueError(
            f"MovingAI map: the header gives height {height}, the map has {len(rows)} rows"
        )
    for r, row in enumerate(rows):
        if len(row) != width:
            raise ValueError(
                f"MovingAI map: row {r} has {len(row)} characters, the header gives width {width}"
            )
        bad = row.strip(_OPEN + _BLOCKED)
        if bad:
            c = next(k for k, ch in enumerate(row) if ch not in _OPEN + _BLOCKED)
            raise ValueError(
                f"MovingAI map: unknown terrain {row[c]!r} at row {r}, column {c} "
                f"(open: {' '.join(_OPEN)}; blocked: {' '.join(_BLOCKED)})"
            )
    return "\n".join(rows).translate(_TO_ASCII)


def read_map(path_or_text: str | os.PathLike[str]) -> str:
    """A MovingAI map (a path, or the file's text) as a wayloom ASCII map."""
    return map_to_ascii(_read_text(path_or_text))


def read_scenarios(path: str | os.PathLike[str]) -> list[Scenario]:
    """The rows of a MovingAI scenario file, in order."""
    out: list[Scenario] = []
    for n, line in enumerate(Path(path).read_text(encoding="utf-8").splitlines(), 1):
        if not line.strip() or (n == 1 and line.split()[:1] == ["version"]):
            continue
        fields = line.split("\t") if "\t" in line else line.split()
        if len(fields) != 9:
            raise ValueError(f"{path}: line {n} has {len(fields)} fields, expected 9")
        try:
            bucket, sx, sy, gx, gy = (int(fields[k]) for k in (0, 4, 5, 6, 7))
            length = float(fields[8])
        except ValueError:
            raise ValueError(f"{path}: line {n} is not a scenario row: {line!r}") from None
        out.append(Scenario(bucket, (sy, sx), (gy, gx), length))
    return out


def scenario_map_path(path: str | os.PathLike[str]) -> Path:
    """The map a scenario file names (its second field, beside the file), or the
    file's name without ``.scen``."""
    scen = Path(path)
    for line in scen.read_text(encoding="utf-8").splitlines()[:3]:
        fields = line.split("\t")
        if len(fields) == 9:
            named = scen.parent / Path(fields[1]).name
            if named.exists():
                return named
    return scen.with_suffix("") if scen.suffix == ".scen" else scen


def same_length(cost: float | None, length: float) -> bool:
    """Whether a search's cost matches a scenario's length (files print it with 8
    decimals, or with 5 significant digits; 0 between different cells means no
    path)."""
    if cost is None:
        return length == 0.0
    return math.isclose(cost, length, rel_tol=1e-5, abs_tol=1e-4)


def percentile(values: Sequence[float], q: float) -> float:
    """The ``q``-quantile (0..1) of ``values`` by nearest rank."""
    ordered = sorted(values)
    return ordered[max(0, math.ceil(q * len(ordered)) - 1)] if ordered else 0.0


def run_scenarios(
    scenarios: str | os.PathLike[str] | Sequence[Scenario],
    grid: Grid | str | os.PathLike[str] | None = None,
    algorithm: str = "jps",
    preprocess: bool = False,
    workers: int | None = None,
) -> ScenarioReport:
    """Solve every scenario and compare each cost with the file's length.

    ``scenarios`` is a scenario file or a list of :class:`Scenario`; ``grid`` a
    :class:`~wayloom.Grid`, a map file, or (for a file of scenarios) ``None`` for
    the map the file names. ``preprocess=True`` searches ``grid.preprocess()``.
    A* and the other informed searches use the octile heuristic.
    """
    from .graphs import Grid

    if isinstance(scenarios, (str, os.PathLike)):
        if grid is None:
            grid = scenario_map_path(scenarios)
        rows = read_scenarios(scenarios)
    else:
        rows = list(scenarios)
    if grid is None:
        raise ValueError("run_scenarios needs a grid (or a map file) for a list of scenarios")
    if not isinstance(grid, Grid):
        grid = Grid.from_movingai(grid)
    if preprocess:
        grid = grid.preprocess()
    # The grid's default heuristic is admissible on it (octile on a map's
    # 8-connected grid), so no algorithm needs one named.
    results = grid.search_many(
        [(s.start, s.goal) for s in rows], algorithm=algorithm, workers=workers, record=False
    )
    mismatches = sum(
        not same_length(r.cost if r.found else None, s.length) for r, s in zip(results, rows)
    )
    times = [r.elapsed for r in results]
    mean = statistics.fmean(times) if times else 0.0
    return ScenarioReport(len(rows), mismatches, mean, percentile(times, 0.99))
