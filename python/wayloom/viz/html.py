"""The search player: one self-contained HTML page that steps through traces.

Press play, pause, step on and back, scrub, and watch the frontier grow and
the path appear; several results play side by side in lockstep. The page
needs no server and no network: the player's script and style are inlined,
the trace is packed into compressed typed arrays, and every label from the
user's data reaches the page as JSON text that the script writes with
``textContent`` or onto a canvas, never as markup.
"""

from __future__ import annotations

import array
import base64
import dataclasses
import html
import importlib.resources
import json
import math
import os
import pathlib
import sys
import zlib
from collections.abc import Iterable, Mapping, Sequence
from typing import Any

from .._maze import MazeLike, is_cell, read_ascii, to_maze
from .labels import node_kind, text_of
from .replay import NEVER, SearchTree, check_cells, search_tree, tree_positions

Results = Any  # a result, a sequence of results or of (name, result) pairs, or a mapping


def to_html(
    result_or_results: Results, maze: MazeLike | None = None, *, title: str | None = None
) -> str:
    """One self-contained HTML page that replays the search(es) step by step.

    ``result_or_results`` is a result searched with ``record=True``, a list
    of them (played side by side in lockstep), a list of ``(name, result)``
    pairs or a mapping from name to result; the name (an algorithm, say)
    heads its panel. With ``maze`` (the ASCII map or cost matrix that was
    searched) grid results are drawn cell by cell; other results draw their
    search tree by depth. ``title`` heads the page.

    The controls have fixed element ids for scripts: ``play``, ``step``,
    ``back``, ``end``, ``scrub``, ``speed`` and ``step-label`` ("step K of
    N"); keys: space plays and pauses, the arrows step, Home and End jump.

    >>> import wayloom_native as wn
    >>> maze = wn.sample_maze("wall")
    >>> page = to_html({"bfs": wn.search_grid(maze, algorithm="bfs"),
    ...                 "astar": wn.search_grid(maze)}, maze)
    >>> page.startswith("<!DOCTYPE html>")
    True
    """
    panels = _panels(result_or_results)
    grid = None if maze is None else _cells(maze)
    if grid is None and all(_all_cells(r) for _, r in panels):
        grid = _bounding_grid([r for _, r in panels])
    data: dict[str, Any] = {"panels": [], "steps": max(len(r.trace) for _, r in panels)}
    if grid is not None:
        for _, r in panels:
            check_cells(r, grid, "to_html")
        data["maze"] = _pack_maze(grid)
        data["panels"] = [_grid_panel(name, r, grid) for name, r in panels]
    else:
        data["panels"] = [_tree_panel(name, r) for name, r in panels]
    names = [p["name"] for p in data["panels"] if p["name"]]
    heading = title if title is not None else (" vs ".join(names) or "search replay")
    return _page(heading, data)


def save_html(
    result_or_results: Results,
    filename: str | os.PathLike[str],
    maze: MazeLike | None = None,
    *,
    title: str | None = None,
) -> pathlib.Path:
    """Write :func:`to_html`'s page to ``filename`` (UTF-8); returns the path."""
    out = pathlib.Path(filename)
    out.write_text(to_html(result_or_results, maze, title=title), encoding="utf-8")
    return out


class Player:
    """A page made by :func:`to_html`; a notebook shows it as the player itself."""

    def __init__(self, page: str, height: int = 560) -> None:
        """``page`` is the HTML; ``height`` the notebook frame's, in pixels."""
        self.html = page
        self.height = height

    def _repr_html_(self) -> str:
        # An iframe keeps the page's element ids and script apart from the notebook's.
        return (
            f'<iframe srcdoc="{html.escape(self.html, quote=True)}" '
            f'style="width:100%;height:{self.height}px;border:0" '
            'title="search replay"></iframe>'
        )

    def save(self, filename: str | os.PathLike[str]) -> pathlib.Path:
        """Write the page to ``filename`` (UTF-8); returns the path."""
        out = pathlib.Path(filename)
        out.write_text(self.html, encoding="utf-8")
        return out

    def __repr__(self) -> str:
        return f"<wayloom.viz.Player: {len(self.html):,} characters of HTML>"


def show(
    result_or_results: Results, maze: MazeLike | None = None, *, title: str | None = None
) -> Player:
    """The player as an object a notebook cell displays (``_repr_html_``)."""
    return Player(to_html(result_or_results, maze, title=title))


# ----------------------------------------------------------------- inputs


def _panels(results: Results) -> list[tuple[str, Any]]:
    if hasattr(results, "trace"):
        pairs: list[tuple[str, Any]] = [("", results)]
    elif isinstance(results, Mapping):
        pairs = [(str(k), v) for k, v in results.items()]
    elif isinstance(results, Iterable) and not isinstance(results, (str, bytes)):
        pairs = [
            (str(item[0]), item[1]) if isinstance(item, tuple) and len(item) == 2 else ("", item)
            for item in results
        ]
    else:
        raise TypeError(f"expected a search result or a list of them, not {type(results).__name__}")
    if not pairs:
        raise ValueError("nothing to replay: no results given")
    for k, (_, r) in enumerate(pairs):
        if not hasattr(r, "trace") or not hasattr(r, "tree"):
            raise TypeError(f"expected a search result, not {type(r).__name__}")
        if not r.trace:
            which = f"result {k + 1} has" if len(pairs) > 1 else "the result has"
            raise ValueError(
                f"nothing to replay: {which} no trace; search again with record=True (the default)"
            )
    return pairs


def _all_cells(r: Any) -> bool:
    return all(is_cell(s[0]) for s in r.trace) and all(is_cell(n) for n in r.path or ())


def _bounding_grid(results: Sequence[Any]) -> _Cells:
    """An open grid just large enough for every cell the results touch."""
    cells = [s[0] for r in results for s in r.trace] + [n for r in results for n in r.path or ()]
    if any(r < 0 or c < 0 for r, c in cells):
        raise ValueError("to_html(): cells with negative coordinates need maze=")
    h = 1 + max(r for r, _ in cells)
    w = 1 + max(c for _, c in cells)
    return _Cells(h, w, b"\x01" * (h * w), 1)


# ---------------------------------------------------------------- packing


def _pack(values: Iterable[float], code: str = "i", delta: bool = False) -> str:
    """Numbers as base64 of zlib-deflated little-endian ``code`` values (delta-coded on request)."""
    if delta:
        out, prev = [], 0
        for v in values:
            out.append(int(v) - prev)
            prev = int(v)
        values = out
    arr = array.array(code, values)
    if sys.byteorder == "big":  # pragma: no cover
        arr.byteswap()
    return base64.b64encode(zlib.compress(arr.tobytes(), 6)).decode("ascii")


@dataclasses.dataclass(frozen=True)
class _Cells:
    """A maze as the page gets it: one byte a cell, 0 a wall, else 1 up to ``top``."""

    height: int
    width: int
    levels: bytes
    top: int
    start: tuple[int, int] | None = None
    goal: tuple[int, int] | None = None

    def contains(self, cell: tuple[int, int]) -> bool:
        return 0 <= cell[0] < self.height and 0 <= cell[1] < self.width

    def is_wall(self, cell: tuple[int, int]) -> bool:
        return self.levels[cell[0] * self.width + cell[1]] == 0


def _cells(maze: MazeLike) -> _Cells:
    if isinstance(maze, str):
        # A large map is read without building a Python float per cell.
        m = read_ascii(maze)
        return _Cells(m.height, m.width, m.terrain, max(m.terrain), m.start, m.goal)
    grid = to_maze(maze)
    finite = [v for row in grid.costs for v in row if not math.isinf(v)]
    lo, hi = (min(finite), max(finite)) if finite else (1.0, 1.0)
    scale = 254.0 / (hi - lo) if hi > lo else 0.0
    levels = bytes(
        0 if math.isinf(v) else 1 + round((v - lo) * scale) for row in grid.costs for v in row
    )
    return _Cells(grid.height, grid.width, levels, max(levels), grid.start, grid.goal)


def _pack_maze(grid: _Cells) -> dict[str, Any]:
    return {
        "width": grid.width,
        "height": grid.height,
        "levels": _pack(grid.levels, "B"),
        "top": grid.top,
        "start": _cell_id(grid.start, grid),
        "goal": _cell_id(grid.goal, grid),
    }


def _cell_id(cell: Any, grid: _Cells) -> int:
    return -1 if cell is None else cell[0] * grid.width + cell[1]


def _header(name: str, r: Any) -> dict[str, Any]:
    return {
        "name": name,
        "found": bool(r.found),
        "cost": None if math.isinf(r.cost) else r.cost,
        "expanded": r.nodes_expanded,
        "generated": r.nodes_generated,
        "reopened": r.nodes_reopened,
        "peak": r.max_frontier_size,
        "stop": str(r.stop_reason),
        "steps": len(r.trace),
        "g": _pack((math.nan if s[1] is None else s[1] for s in r.trace), "f"),
        "frontier": _pack((s[2] for s in r.trace), "i", delta=True),
    }


def _grid_panel(name: str, r: Any, grid: _Cells) -> dict[str, Any]:
    w = grid.width
    panel = _header(name, r)
    panel["cells"] = _pack((s[0][0] * w + s[0][1] for s in r.trace), delta=True)
    panel["path"] = _pack((c * w + col for c, col in r.path or ()), delta=True)
    if r.tree:
        tree = search_tree(r)
        reached = tree.reached()
        found = [(t, v) for v, t in enumerate(reached) if t != NEVER]
        panel["seen"] = _pack(
            (tree.labels[v][0] * w + tree.labels[v][1] for _, v in found), delta=True
        )
        panel["seenAt"] = _pack((t for t, _ in found), delta=True)
    return panel


def _tree_panel(name: str, r: Any) -> dict[str, Any]:
    tree = search_tree(r)
    if tree.kind == "expansions":
        raise ValueError(
            "to_html(): this result has no search tree (beam and bidirectional searches "
            "record none); replay it on its grid with maze=, or search with another algorithm"
        )
    pos = tree_positions(tree, "layered")
    panel = _header(name, r)
    panel.update(_tree_arrays(r, tree, pos))
    return panel


def _tree_arrays(r: Any, tree: SearchTree, pos: Sequence[tuple[float, float]]) -> dict[str, Any]:
    n = len(tree.labels)
    if tree.kind == "depth-first":
        first = tree.order[0] or 0
        vertex_of_step = [-1] * len(r.trace)
        vertex_of_step[first : first + n] = range(n)
    else:
        ids = {node: v for v, node in enumerate(tree.labels)}
        vertex_of_step = [ids.get(s[0], -1) for s in r.trace]
    kind = node_kind(tree.labels)
    labels: list[Any] = (
        [list(node) for node in tree.labels]
        if kind != "text"
        else [text_of(node) for node in tree.labels]
    )
    return {
        "nodes": n,
        "kind": kind,
        "labels": labels,
        "x": _pack((x for x, _ in pos), "f"),
        "depth": _pack((int(y) for _, y in pos), delta=True),
        "parent": _pack(tree.parent),
        "order": _pack(NEVER if o is None else o for o in tree.order),
        "reached": _pack(tree.reached()),
        "stepVertex": _pack(vertex_of_step),
        "pathVertices": tree.path,
        "pegs": max(3, 1 + max(max(node) for node in tree.labels)) if kind == "pegs" else 0,
    }


# ------------------------------------------------------------------- page


def _asset(name: str) -> str:
    return importlib.resources.files(__package__).joinpath(name).read_text(encoding="utf-8")


def _json_for_script(data: Any) -> str:
    """JSON that cannot end its <script> element or open a comment inside it."""
    text = json.dumps(data, ensure_ascii=False, separators=(",", ":"), allow_nan=False)
    return (
        text.replace("&", "\\u0026")
        .replace("<", "\\u003c")
        .replace(">", "\\u003e")
        .replace("\u2028", "\\u2028")
        .replace("\u2029", "\\u2029")
    )


def _page(title: str, data: dict[str, Any]) -> str:
    return f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'">
<title>{html.escape(title)}</title>
<style>{_asset("player.css")}</style>
</head>
<body>
<h1 id="wl-title">{html.escape(title)}</h1>
<div class="wl-controls">
<button id="back" type="button" title="one step back (←)">◀ back</button>
<button id="play" type="button" title="play / pause (space)">▶ play</button>
<button id="step" type="button" title="one step on (→)">step ▶</button>
<button id="end" type="button" title="the last step (End)">end ▶▶</button>
<input id="scrub" type="range" min="0" max="{data["steps"]}" value="0" step="1" aria-label="step">
<label>speed <select id="speed"></select></label>
<span id="step-label">step 0 of {data["steps"]}</span>
</div>
<div id="wl-panels"></div>
<script type="application/json" id="wl-data">{_json_for_script(data)}</script>
<script>{_asset("player.js")}</script>
</body>
</html>
"""
