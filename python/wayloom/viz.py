"""Pictures of searches: grid mazes, search trees and replays of the trace.

Needs matplotlib (``pip install "wayloom[viz]"``); importing this module does
not, only calling its functions does.

Every artist drawn carries a ``gid`` so that it can be found and restyled
afterwards (``[a for a in ax.get_children() if a.get_gid() == "path"]``):

========================  ====================================================
``"terrain"``             image of the terrain costs (open cells)
``"walls"``               image of the walls
``"expanded"``            expanded cells (image) or expanded tree nodes (scatter),
                          coloured by expansion order
``"frontier"``            tree nodes generated but never expanded (scatter)
``"tree-edges"``          the search tree's edges (LineCollection)
``"path"``                the found path (Line2D through cell centres / nodes)
``"start"``, ``"goal"``   their markers
``"current"``             the cells of the current frame (animations only)
========================  ====================================================

Cell ``(row, col)`` is drawn centred at ``x = col``, ``y = row`` with the row
axis pointing down, as the map reads.
"""

from __future__ import annotations

import bisect
import dataclasses
import itertools
import math
import os
import pathlib
from typing import TYPE_CHECKING, Any, Callable, Mapping, Sequence

from ._maze import Maze, MazeLike, is_cell, to_maze

if TYPE_CHECKING:  # pragma: no cover
    from matplotlib.axes import Axes
    from matplotlib.figure import Figure

    from wayloom_native import SearchResult

__all__ = ["plot_grid", "plot_search_tree", "animate_search", "search_tree", "describe"]

INSTALL_HINT = 'pip install "wayloom[viz]"'

_DEFAULTS: dict[str, Any] = {
    # shared
    "cmap": "viridis",
    "path_color": "crimson",
    "path_width": 2.5,
    "start_color": "limegreen",
    "goal_color": "gold",
    "marker_size": 12.0,
    "colorbar": True,
    "title": None,
    "wall_color": "#2b2b2b",
    "terrain_color": "#8c6d46",
    "goal": None,
    # grids
    "start": None,
    "alpha": 0.85,
    "annotate": False,
    "grid_lines": None,
    # trees
    "layout": "auto",
    "labels": None,
    "iteration": -1,
    "maze": None,
    "node_size": None,
    "edge_color": "#9e9e9e",
    # animations
    "max_frames": 200,
    "fps": 10,
    "hold": 1.0,
    "dpi": 80,
    "figsize": None,
}
_SHARED = {"cmap", "path_color", "path_width", "start_color", "goal_color", "marker_size",
           "colorbar", "title", "wall_color", "terrain_color", "goal"}
_GRID = _SHARED | {"start", "alpha", "annotate", "grid_lines"}
_TREE = _SHARED | {"layout", "labels", "iteration", "maze", "node_size", "edge_color", "grid_lines"}
_ANIM = (_GRID | _TREE | {"max_frames", "fps", "hold", "dpi", "figsize"}) - {"maze", "annotate"}


def _style(func: str, given: Mapping[str, Any], allowed: set[str]) -> dict[str, Any]:
    unknown = sorted(set(given) - allowed)
    if unknown:
        raise TypeError(
            f"{func}() got an unexpected style option {unknown[0]!r} "
            f"(accepted: {', '.join(sorted(allowed))})"
        )
    style = {k: _DEFAULTS[k] for k in allowed}
    style.update(given)
    return style


def _require(func: str) -> Any:
    """Import numpy and matplotlib, or explain what to install."""
    try:
        import matplotlib  # noqa: F401
        import numpy
    except ImportError as exc:
        raise ImportError(f"{func}() needs matplotlib; install it with: {INSTALL_HINT}") from exc
    return numpy


def _new_axes(ax: Axes | None, figsize: Any = None) -> Axes:
    if ax is not None:
        return ax
    import matplotlib.pyplot as plt

    _, ax = plt.subplots(figsize=figsize)
    return ax


def _by_gid(ax: Axes, gid: str) -> list[Any]:
    return [a for a in ax.get_children() if a.get_gid() == gid]


# --------------------------------------------------------------------- grids


def _first_expansions(trace: Sequence[tuple]) -> dict[Any, int]:
    """Node -> index of its first expansion (re-expansions keep the first)."""
    order: dict[Any, int] = {}
    for i, step in enumerate(trace):
        order.setdefault(step[0], i)
    return order


def _check_cells(result: SearchResult, maze: Maze, func: str) -> None:
    for node in [s[0] for s in result.trace] + list(result.path or ()):
        if not is_cell(node) or not maze.contains(node):
            raise ValueError(
                f"{func}(): result node {node!r} is not a cell of this "
                f"{maze.height}x{maze.width} maze"
            )
    for cell in result.path or ():
        if maze.is_wall(cell):
            raise ValueError(
                f"{func}(): the path crosses the wall at {cell!r}; "
                "was the result computed on another maze?"
            )


def _draw_maze(ax: Axes, maze: Maze, style: dict[str, Any]) -> None:
    """Terrain shades, walls, cell borders and axes set up for a grid."""
    np = _require("plot_grid")
    from matplotlib.colors import LinearSegmentedColormap, ListedColormap
    from matplotlib.ticker import MaxNLocator

    costs = np.array(maze.costs, dtype=float)
    wall = np.isinf(costs)
    open_costs = np.ma.masked_array(np.where(wall, 1.0, costs), mask=wall)
    top = max(float(open_costs.max()) if open_costs.count() else 1.0, 2.0)
    terrain = LinearSegmentedColormap.from_list("terrain", ["#ffffff", style["terrain_color"]])
    ax.imshow(open_costs, cmap=terrain, vmin=1.0, vmax=top, interpolation="nearest",
              zorder=0, gid="terrain")
    ax.imshow(np.ma.masked_array(np.ones_like(costs), mask=~wall),
              cmap=ListedColormap([style["wall_color"]]), vmin=0, vmax=1,
              interpolation="nearest", zorder=3, gid="walls")
    grid_lines = style["grid_lines"]
    if grid_lines is None:
        grid_lines = max(maze.height, maze.width) <= 80
    if grid_lines:
        ax.set_xticks(np.arange(-0.5, maze.width, 1), minor=True)
        ax.set_yticks(np.arange(-0.5, maze.height, 1), minor=True)
        ax.grid(which="minor", color="#d0d0d0", linewidth=0.5)
        ax.tick_params(which="minor", length=0)
        ax.set_axisbelow(False)  # cell borders over the expansion colours, under walls
    ax.xaxis.set_major_locator(MaxNLocator(integer=True))
    ax.yaxis.set_major_locator(MaxNLocator(integer=True))
    ax.set_xlim(-0.5, maze.width - 0.5)
    ax.set_ylim(maze.height - 0.5, -0.5)
    ax.set_aspect("equal")


def _mark(ax: Axes, xy: tuple[float, float] | None, which: str, style: dict[str, Any]) -> None:
    if xy is None:
        return
    marker, size = ("o", style["marker_size"]) if which == "start" else ("*", style["marker_size"] * 1.6)
    ax.plot([xy[0]], [xy[1]], linestyle="none", marker=marker, markersize=size,
            markerfacecolor=style[f"{which}_color"], markeredgecolor="black",
            markeredgewidth=1.0, zorder=6, gid=which, label=which)


def _colorbar(ax: Axes, mappable: Any, count: int) -> None:
    bar = ax.figure.colorbar(mappable, ax=ax, fraction=0.046, pad=0.04)
    bar.set_label("expansion order")
    if count <= 1:
        bar.set_ticks([mappable.norm.vmin])


def describe(result: SearchResult) -> str:
    """A short caption: the cost and expansions, or why no path was found.

    >>> import wayloom_native as wn
    >>> describe(wn.search_grid(wn.sample_maze("wall")))
    'cost 20, 25 expanded'
    """
    if result.found:
        return f"cost {result.cost:g}, {result.nodes_expanded} expanded"
    return f"no path ({result.stop_reason}), {result.nodes_expanded} expanded"


def plot_grid(
    maze: MazeLike | Maze,
    result: SearchResult | None = None,
    ax: Axes | None = None,
    **style: Any,
) -> Axes:
    """Draw a grid maze and, if given, the cells a search expanded and its path.

    ``maze`` is an ASCII map (``#`` wall, ``S`` start, ``G`` goal, ``1``-``9``
    terrain cost) or a matrix of costs (non-positive or non-finite = wall).
    Terrain costs are shaded, walls dark; expanded cells are coloured by the
    order of their first expansion; the path is a polyline through the cell
    centres, so diagonal moves show as diagonals.

    Style options: ``cmap`` (expansion colours, default "viridis"), ``alpha``,
    ``path_color``, ``path_width``, ``start_color``, ``goal_color``,
    ``marker_size``, ``wall_color``, ``terrain_color``, ``colorbar`` (bool),
    ``annotate`` (write expansion numbers in the cells), ``grid_lines``
    (default: on up to 80 cells a side), ``title`` ("" for none), and ``start``
    / ``goal`` cells for a cost matrix (otherwise taken from the result).

    >>> import wayloom_native as wn
    >>> maze = wn.sample_maze("wall")
    >>> ax = plot_grid(maze, wn.search_grid(maze, algorithm="astar"))
    >>> ax.figure.savefig("astar_wall.png")
    """
    st = _style("plot_grid", style, _GRID)
    np = _require("plot_grid")
    grid = to_maze(maze)
    ax = _new_axes(ax)
    _draw_maze(ax, grid, st)
    start, goal = st["start"] or grid.start, st["goal"] or grid.goal
    if result is not None:
        _check_cells(result, grid, "plot_grid")
        order = _first_expansions(result.trace)
        if order:
            img = np.full((grid.height, grid.width), np.nan)
            for (r, c), i in order.items():
                img[r, c] = i
            n = len(result.trace)
            image = ax.imshow(np.ma.masked_invalid(img), cmap=st["cmap"], vmin=0,
                              vmax=max(n - 1, 1), alpha=st["alpha"],
                              interpolation="nearest", zorder=2, gid="expanded")
            if st["annotate"]:
                for (r, c), i in order.items():
                    ax.text(c, r, str(i), ha="center", va="center", fontsize=7,
                            color="white", zorder=7, gid="order-label")
            if st["colorbar"]:
                _colorbar(ax, image, n)
        path = result.path or []
        if path:
            ax.plot([c for _, c in path], [r for r, _ in path], color=st["path_color"],
                    linewidth=st["path_width"], solid_joinstyle="round",
                    solid_capstyle="round", zorder=5, gid="path", label="path")
            start = start or path[0]
            goal = goal or path[-1]
        elif result.trace:
            start = start or result.trace[0][0]
        if st["title"] is None:
            ax.set_title(describe(result))
    _mark(ax, None if start is None else (start[1], start[0]), "start", st)
    _mark(ax, None if goal is None else (goal[1], goal[0]), "goal", st)
    if st["title"]:
        ax.set_title(st["title"])
    return ax


# --------------------------------------------------------------------- trees


@dataclasses.dataclass
class SearchTree:
    """A search tree ready to draw, rebuilt from a result.

    ``labels[v]`` is the node of vertex ``v``; ``parent[v]`` its parent vertex
    (-1 for a root); ``order[v]`` the trace index of its first expansion, or
    ``None`` if it was generated but never expanded; ``path`` the vertices of
    the found path. ``kind`` is "tree" (the result's own tree), "depth-first"
    (one pass of a depth-first search, rebuilt from the depths in its trace; a
    node reached along two paths is two vertices) or "expansions" (no tree can
    be rebuilt: the expanded nodes and the path only).
    """

    labels: list[Any]
    parent: list[int]
    order: list[int | None]
    path: list[int]
    kind: str
    note: str = ""

    @property
    def edges(self) -> list[tuple[int, int]]:
        return [(p, v) for v, p in enumerate(self.parent) if p >= 0]


def _looks_depth_first(trace: Sequence[tuple]) -> bool:
    """A trace whose frontier sizes are depths along one depth-first path.

    The depth-first strategies record the depth of the current path as the
    frontier size and restart each pass at the start; no other strategy
    produces a trace of that shape beyond its first step.
    """
    if not trace:
        return False
    start, prev = trace[0][0], -1
    for node, g, depth in trace:
        if g is None or depth > prev + 1 or (depth == 0 and node != start):
            return False
        prev = depth
    return True


def search_tree(result: SearchResult, iteration: int = -1) -> SearchTree:
    """The search tree of ``result``, from its tree or, failing that, its trace.

    ``iteration`` picks the pass of an iterative-deepening or IDA* trace
    (default: the last one, which found the goal if any did).

    >>> import wayloom_native as wn
    >>> t = search_tree(wn.search_graph(3, [(0, 1, 1.0), (1, 2, 1.0)], 0, 2))
    >>> t.labels, t.edges, t.path
    ([0, 1, 2], [(0, 1), (1, 2)], [0, 1, 2])
    """
    trace, tree, path = result.trace, result.tree, result.path or []
    if tree:
        ids: dict[Any, int] = {}
        labels: list[Any] = []
        parent: list[int] = []

        def vertex(node: Any) -> int:
            v = ids.get(node)
            if v is None:
                v = ids[node] = len(labels)
                labels.append(node)
                parent.append(-1)
            return v

        vertex(trace[0][0] if trace else path[0] if path else tree[0][0])
        for p, c in tree:
            pv = vertex(p)
            parent[vertex(c)] = pv
        order: list[int | None] = [None] * len(labels)
        for i, step in enumerate(trace):
            v = ids.get(step[0])
            if v is not None and order[v] is None:
                order[v] = i
        return SearchTree(labels, parent, order, [vertex(n) for n in path], "tree")

    if _looks_depth_first(trace):
        starts = [i for i, step in enumerate(trace) if step[2] == 0]
        try:
            lo = starts[iteration]
        except IndexError:
            raise ValueError(
                f"iteration {iteration} does not exist: the trace has {len(starts)} pass(es)"
            ) from None
        k = starts.index(lo)
        hi = starts[k + 1] if k + 1 < len(starts) else len(trace)
        labels, parent, order = [], [], []
        stack: list[int] = []
        for i in range(lo, hi):
            node, _, depth = trace[i]
            del stack[depth:]
            parent.append(stack[-1] if stack else -1)
            stack.append(len(labels))
            labels.append(node)
            order.append(i)
        chain: list[int] = []
        if path and hi == len(trace) and labels[-1] == path[-1]:
            v = len(labels) - 1
            while v >= 0:
                chain.append(v)
                v = parent[v]
            chain.reverse()
            if [labels[v] for v in chain] != list(path):
                chain = []
        note = f"pass {k + 1} of {len(starts)}, rebuilt from the trace" if len(starts) > 1 else \
            "rebuilt from the trace"
        return SearchTree(labels, parent, order, chain, "depth-first", note)

    if trace:
        order_of = _first_expansions(trace)
        labels = list(order_of)
        order = list(order_of.values())
        ids = {n: i for i, n in enumerate(labels)}
        for n in path:
            if n not in ids:
                ids[n] = len(labels)
                labels.append(n)
                order.append(None)
        return SearchTree(labels, [-1] * len(labels), order, [ids[n] for n in path],
                          "expansions", "no search tree recorded: expansions and path only")

    raise ValueError(
        "nothing to draw: the result has neither a search tree nor a trace "
        "(searches run with record=False keep neither)"
    )


def _tree_positions(tree: SearchTree, layout: str) -> list[tuple[float, float]]:
    if layout == "auto":
        layout = "grid" if all(is_cell(n) for n in tree.labels) else "layered"
    if layout == "grid":
        bad = next((n for n in tree.labels if not is_cell(n)), None)
        if bad is not None:
            raise ValueError(f"layout='grid' needs (row, col) nodes, got {bad!r}")
        return [(float(c), float(r)) for r, c in tree.labels]
    if layout != "layered":
        raise ValueError(f"layout must be 'auto', 'grid' or 'layered', not {layout!r}")
    if tree.kind == "expansions":
        raise ValueError(
            "this result has no search tree (beam and bidirectional searches record "
            "none, and their trace does not say who is whose parent); a layered "
            "picture is impossible. Grid results can be drawn with layout='grid' "
            "or plot_grid()."
        )
    # Tidy layering: leaves on consecutive slots in discovery order, each parent
    # centred over its children, rows by depth. Iterative: trees can be deep.
    n = len(tree.labels)
    children: list[list[int]] = [[] for _ in range(n)]
    roots: list[int] = []
    for v, p in enumerate(tree.parent):
        (children[p] if p >= 0 else roots).append(v)
    x = [0.0] * n
    depth = [0] * n
    seen = [False] * n
    slot = 0
    for root in roots + list(range(n)):
        if seen[root]:
            continue
        seen[root] = True
        stack = [(root, False)]
        while stack:
            v, done = stack.pop()
            if done:
                kids = [c for c in children[v] if depth[c] == depth[v] + 1]
                if kids:
                    x[v] = (x[kids[0]] + x[kids[-1]]) / 2
                else:
                    x[v] = float(slot)
                    slot += 1
                continue
            stack.append((v, True))
            for c in reversed(children[v]):
                if not seen[c]:
                    seen[c] = True
                    depth[c] = depth[v] + 1
                    stack.append((c, False))
    return [(x[v], float(depth[v])) for v in range(n)]


def plot_search_tree(result: SearchResult, ax: Axes | None = None, **style: Any) -> Axes:
    """Draw the search tree of a result: nodes coloured by expansion order.

    Grid nodes (``(row, col)`` tuples) are drawn at their cells; other nodes in
    layers by tree depth (the start on top). The found path is highlighted and
    the start and goal are marked. Results of the iterative-deepening
    strategies ("dls", "iddfs", "ida_star") have no recorded tree; one pass is
    rebuilt from the depths in their trace (``iteration``, default the last).
    "beam" and "bidirectional" record no parents at all: on grids their
    expanded cells and path are drawn, otherwise ``ValueError`` is raised.

    Style options: ``layout`` ("auto", "grid" or "layered"), ``labels`` (write
    the nodes; default up to 30 nodes), ``maze`` (draw a grid tree over this
    maze), ``iteration``, ``goal`` (node to mark when no path was found),
    ``node_size``, ``edge_color``, ``cmap``, ``path_color``, ``path_width``,
    ``start_color``, ``goal_color``, ``marker_size``, ``colorbar``, ``title``.

    >>> import wayloom_native as wn
    >>> r = wn.search_hanoi(3, algorithm="bfs")
    >>> ax = plot_search_tree(r)
    >>> len(ax.collections[0].get_segments()) == len(r.tree)
    True
    """
    st = _style("plot_search_tree", style, _TREE)
    np = _require("plot_search_tree")
    from matplotlib.collections import LineCollection
    from matplotlib.ticker import MaxNLocator

    tree = search_tree(result, st["iteration"])
    layout = st["layout"]
    if st["maze"] is not None and layout == "auto":
        layout = "grid"
    pos = _tree_positions(tree, layout)
    is_grid = layout == "grid" or (layout == "auto" and all(is_cell(n) for n in tree.labels))
    ax = _new_axes(ax)
    if st["maze"] is not None:
        if not is_grid:
            raise ValueError("maze= applies to grid results only")
        maze = to_maze(st["maze"])
        for cell in tree.labels:
            if not maze.contains(cell):
                raise ValueError(f"plot_search_tree(): node {cell!r} is outside the maze")
        _draw_maze(ax, maze, st)

    n = len(tree.labels)
    xy = np.array(pos, dtype=float).reshape(n, 2)
    edges = tree.edges
    ax.add_collection(LineCollection(
        [(pos[p], pos[v]) for p, v in edges], colors=st["edge_color"],
        linewidths=0.9 if n < 500 else 0.5, zorder=1, gid="tree-edges"))
    size = st["node_size"] or max(6.0, min(120.0, 6000.0 / max(n, 1)))
    when = {v: o for v, o in enumerate(tree.order) if o is not None}
    expanded = list(when)
    waiting = [v for v in range(n) if v not in when]
    ax.scatter(xy[waiting, 0], xy[waiting, 1], s=size, facecolors="white",
               edgecolors="#777777", linewidths=0.8, zorder=2, gid="frontier")
    # One pass of a depth-first trace sits at its end: scale the colours to it.
    first = min(when.values(), default=0)
    last = max(when.values(), default=0)
    dots = ax.scatter(xy[expanded, 0], xy[expanded, 1], s=size,
                      c=list(when.values()), cmap=st["cmap"],
                      vmin=first, vmax=max(last, first + 1), zorder=3, gid="expanded")
    if tree.path:
        ax.plot(xy[tree.path, 0], xy[tree.path, 1], color=st["path_color"],
                linewidth=st["path_width"], zorder=4, gid="path", label="path")
    labels = st["labels"]
    if labels is None:
        labels = n <= 30
    if labels:
        for v in range(n):
            ax.annotate(str(tree.labels[v]), pos[v], xytext=(4, 4), textcoords="offset points",
                        fontsize=7, zorder=7)
    start_v = tree.path[0] if tree.path else (0 if n else None)
    goal_v = tree.path[-1] if tree.path and result.found else None
    if goal_v is None and st["goal"] is not None:
        goal_v = next((v for v in range(n) if tree.labels[v] == st["goal"]), None)
    _mark(ax, None if start_v is None else pos[start_v], "start", st)
    _mark(ax, None if goal_v is None else pos[goal_v], "goal", st)
    if st["colorbar"] and expanded:
        _colorbar(ax, dots, last - first + 1)

    if is_grid:
        if st["maze"] is None:
            xs, ys = xy[:, 0], xy[:, 1]
            ax.set_xlim(xs.min() - 0.5, xs.max() + 0.5)
            ax.set_ylim(ys.max() + 0.5, ys.min() - 0.5)
            ax.set_aspect("equal")
    else:
        pad = 0.5
        ax.set_xlim(xy[:, 0].min() - pad, xy[:, 0].max() + pad)
        ax.set_ylim(xy[:, 1].max() + pad, xy[:, 1].min() - pad)
        ax.set_ylabel("depth")
        ax.set_xticks([])
        ax.yaxis.set_major_locator(MaxNLocator(integer=True))
    title = st["title"]
    if title is None:
        what = {"tree": "search tree", "depth-first": "depth-first tree",
                "expansions": "expansions"}[tree.kind]
        title = f"{what} of {n} nodes; {describe(result)}"
        if tree.note:
            title += f"\n({tree.note})"
    if title:
        ax.set_title(title, fontsize=9)
    return ax


# ---------------------------------------------------------------- animations


def frame_plan(steps: int, max_frames: int = 200, hold_frames: int = 10) -> list[int]:
    """Trace prefix lengths shown by each frame of a replay.

    At most ``max_frames`` frames in all: the replay spreads the ``steps``
    expansions evenly (several per frame when there are many), then the last
    frame is held ``hold_frames`` times (fewer if the budget is small).

    >>> frame_plan(5, max_frames=20, hold_frames=2)
    [1, 2, 3, 4, 5, 5, 5]
    >>> frame_plan(1000, max_frames=12, hold_frames=2)[:3], len(frame_plan(1000, 12, 2))
    ([100, 200, 300], 12)
    """
    if max_frames < 2:
        raise ValueError("max_frames must be at least 2")
    hold = max(0, min(hold_frames, max_frames // 5))
    budget = max_frames - hold
    per = max(1, math.ceil(steps / budget))
    shown = list(range(per, steps, per)) + [steps]
    return shown + [steps] * hold


def animate_search(
    result: SearchResult,
    filename: str | os.PathLike[str],
    maze: MazeLike | None = None,
    **style: Any,
) -> pathlib.Path:
    """Replay a search's trace frame by frame and save it as a GIF or an MP4.

    With ``maze`` the expansions fill the grid's cells; without it the search
    tree grows node by node (as :func:`plot_search_tree` lays it out). The
    last frame shows the path and is held for ``hold`` seconds. Long traces
    are replayed several expansions per frame so that the whole animation has
    at most ``max_frames`` frames (default 200). ``.gif`` is written with
    Pillow; ``.mp4`` needs ffmpeg on the PATH.

    Style options: ``max_frames``, ``fps`` (default 10), ``hold``, ``dpi``,
    ``figsize`` and the options of :func:`plot_grid` / :func:`plot_search_tree`.

    >>> import wayloom_native as wn
    >>> maze = wn.sample_maze("wall")
    >>> animate_search(wn.search_grid(maze), "astar.gif", maze=maze)
    PosixPath('astar.gif')
    """
    st = _style("animate_search", style, _ANIM)
    np = _require("animate_search")
    from matplotlib.animation import FFMpegWriter, PillowWriter
    from matplotlib.figure import Figure

    out = pathlib.Path(filename)
    suffix = out.suffix.lower()
    if suffix == ".gif":
        writer: Any = PillowWriter(fps=st["fps"])
    elif suffix == ".mp4":
        if not FFMpegWriter.isAvailable():
            raise RuntimeError("writing .mp4 needs ffmpeg on the PATH; write a .gif instead")
        writer = FFMpegWriter(fps=st["fps"])
    else:
        raise ValueError(f"animation filename must end in .gif or .mp4, not {out.name!r}")
    trace = result.trace
    if not trace:
        raise ValueError("nothing to animate: the result has no trace (search with record=True)")
    fig = Figure(figsize=st["figsize"] or (6.4, 4.8), layout="tight")
    ax = fig.add_subplot()
    common = {k: st[k] for k in _SHARED if k in st}
    begin, end = 0, len(trace)
    if maze is not None:
        grid = to_maze(maze)
        _check_cells(result, grid, "animate_search")
        update = _grid_frames(ax, grid, result, st, common, np)
    else:
        tree = search_tree(result, st["iteration"])
        if tree.kind == "depth-first":
            # Replay only the pass that is drawn.
            begin, end = tree.order[0] or 0, (tree.order[-1] or 0) + 1
        update = _tree_frames(ax, result, tree, st, common, np)
    hold = round(st["hold"] * st["fps"])
    plan = [begin + k for k in frame_plan(end - begin, st["max_frames"], hold)]
    with writer.saving(fig, str(out), st["dpi"]):
        done = begin
        for upto in plan:
            update(done, upto, final=upto == end)
            done = upto
            writer.grab_frame()
    return out


def _grid_frames(ax: Axes, grid: Maze, result: SearchResult, st: dict[str, Any],
                 common: dict[str, Any], np: Any) -> Callable[..., None]:
    plot_grid(grid, None, ax=ax, **{**common, "colorbar": False, "title": "",
                                    "start": st["start"], "goal": st["goal"],
                                    "grid_lines": st["grid_lines"]})
    trace, n = result.trace, len(result.trace)
    if not (st["start"] or grid.start):
        _mark(ax, (trace[0][0][1], trace[0][0][0]), "start", st)
    mark_goal = not (st["goal"] or grid.goal) and result.path
    img = np.full((grid.height, grid.width), np.nan)
    image = ax.imshow(np.ma.masked_invalid(img), cmap=st["cmap"], vmin=0, vmax=max(n - 1, 1),
                      alpha=st["alpha"], interpolation="nearest", zorder=2, gid="expanded")
    if st["colorbar"]:
        _colorbar(ax, image, n)
    current = ax.scatter([], [], s=st["marker_size"] * 8, marker="s", facecolors="none",
                         edgecolors="white", linewidths=1.5, zorder=4, gid="current")
    (path_line,) = ax.plot([], [], color=st["path_color"], linewidth=st["path_width"],
                           solid_joinstyle="round", zorder=5, gid="path")

    def update(lo: int, hi: int, final: bool) -> None:
        for i in range(lo, hi):
            node = trace[i][0]
            if np.isnan(img[node]):
                img[node] = i
        image.set_data(np.ma.masked_invalid(img))
        batch = [(c, r) for (r, c), _, _ in trace[lo:hi]]
        current.set_offsets(np.array(batch, dtype=float).reshape(-1, 2) if not final
                            else np.empty((0, 2)))
        if final and result.path:
            path_line.set_data([c for _, c in result.path], [r for r, _ in result.path])
            if mark_goal and not _by_gid(ax, "goal"):
                _mark(ax, (result.path[-1][1], result.path[-1][0]), "goal", st)
        ax.set_title(f"expanded {hi}/{n}" + (f"; {describe(result)}" if final else ""))

    return update


def _tree_frames(ax: Axes, result: SearchResult, tree: SearchTree, st: dict[str, Any],
                 common: dict[str, Any], np: Any) -> Callable[..., None]:
    from matplotlib.collections import LineCollection

    pos = _tree_positions(tree, st["layout"])
    plot_search_tree(result, ax=ax, **{**common, "layout": st["layout"],
                                       "iteration": st["iteration"], "labels": st["labels"],
                                       "node_size": st["node_size"],
                                       "edge_color": st["edge_color"], "title": ""})
    # Start from the finished picture and hide what has not happened yet.
    edges_art = _by_gid(ax, "tree-edges")[0]
    dots = _by_gid(ax, "expanded")[0]
    waiting = _by_gid(ax, "frontier")[0]
    path_art = _by_gid(ax, "path")
    goal_art = _by_gid(ax, "goal")
    for artist in [waiting, *path_art, *goal_art]:
        artist.set_visible(False)
    for text in list(ax.texts):
        text.set_visible(False)
    by_time = sorted((o, v) for v, o in enumerate(tree.order) if o is not None)
    times = [o for o, _ in by_time]
    xy = np.array([pos[v] for _, v in by_time], dtype=float).reshape(-1, 2)
    colours = np.array(times, dtype=float)
    edge_of = {v: (pos[p], pos[v]) for p, v in tree.edges}
    segments = [edge_of[v] for _, v in by_time if v in edge_of]
    edge_count = list(itertools.accumulate(int(v in edge_of) for _, v in by_time))
    n = len(result.trace)
    assert isinstance(edges_art, LineCollection)

    def update(lo: int, hi: int, final: bool) -> None:
        k = bisect.bisect_left(times, hi)  # vertices first expanded before step hi
        dots.set_offsets(xy[:k])
        dots.set_array(colours[:k])
        edges_art.set_segments(segments[:edge_count[k - 1]] if k else [])
        if final:
            edges_art.set_segments([edge_of[v] for v in range(len(tree.labels)) if v in edge_of])
            for artist in [waiting, *path_art, *goal_art, *ax.texts]:
                artist.set_visible(True)
        ax.set_title(f"expanded {hi}/{n}" + (f"; {describe(result)}" if final else ""),
                     fontsize=9)

    return update

