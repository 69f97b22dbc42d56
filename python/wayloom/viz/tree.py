"""Search trees: nodes by expansion order, edges, the path, labels that fit."""

from __future__ import annotations

from collections.abc import Sequence
from typing import TYPE_CHECKING, Any

from .._maze import is_cell, to_maze
from . import style as _style
from ._draw import colorbar, draw_maze, mark, new_axes, require
from .labels import abbreviate, board_text, node_kind, pegs_of, text_of
from .replay import around_path, describe, search_tree, tree_positions
from .style import Style

if TYPE_CHECKING:  # pragma: no cover
    from matplotlib.axes import Axes
    from wayloom_native import SearchResult

_SMALLEST_FONT = 4.5  # points; below this a label is abbreviated or left out
_LABEL_HEIGHT = 0.42  # of a layer: labels hang under their node, clear of the next layer
_MOST_DRAWN = 400  # vertices of a layered tree; a larger one is drawn around its path
# Labels sit on a pale card, so that edges and the path passing behind them leave them legible.
_CARD = {"boxstyle": "round,pad=0.15", "facecolor": "white", "edgecolor": "none", "alpha": 0.85}


def plot_search_tree(result: SearchResult, ax: Axes | None = None, **style: Any) -> Axes:
    """Draw the search tree of a result: nodes coloured by expansion order.

    Grid nodes (``(row, col)`` tuples) are drawn at their cells; other nodes in
    layers by tree depth (the start on top). The found path is highlighted and
    the start and goal are marked. Results of the iterative-deepening
    strategies ("dls", "iddfs", "ida_star") have no recorded tree; one pass is
    rebuilt from the depths in their trace (``iteration``, default the last).
    "beam" and "bidirectional" record no parents at all: on grids their
    expanded cells and path are drawn, otherwise ``ValueError`` is raised.

    Labels are written under the nodes where they fit, never overlapping and
    never outside the axes: sliding-tile states as small boards, Hanoi states
    as pegs with their disks, anything else as text, shortened with "…" when
    it is too long for its room; each on a pale card over the edges and the
    path. A layered tree of more than 400 nodes is drawn around its path (the
    path and the nodes one step off it); the title says how many were left out.

    Style options: ``layout`` ("auto", "grid" or "layered"), ``labels``
    (False for none; default wherever they fit), ``maze`` (draw a grid tree
    over this maze), ``iteration``, ``goal`` (node to mark when no path was
    found), ``node_size``, ``edge_color``, ``cmap``, ``path_color``,
    ``path_width``, ``start_color``, ``goal_color``, ``marker_size``,
    ``colorbar``, ``title``, ``algorithm`` (its name leads the default title).

    >>> import wayloom_native as wn
    >>> r = wn.search_hanoi(3, algorithm="bfs")
    >>> ax = plot_search_tree(r, algorithm="bfs")
    >>> len(ax.collections[0].get_segments()) == len(r.tree)
    True
    """
    st = Style.of("plot_search_tree", style, _style.TREE)
    np = require("plot_search_tree")
    from matplotlib.collections import LineCollection
    from matplotlib.ticker import MaxNLocator

    tree = search_tree(result, st.iteration)
    layout = st.layout
    if st.maze is not None and layout == "auto":
        layout = "grid"
    is_grid = layout == "grid" or (layout == "auto" and all(is_cell(n) for n in tree.labels))
    total = len(tree.labels)
    if not is_grid:
        tree = around_path(tree, _MOST_DRAWN)
    pos = tree_positions(tree, layout)
    ax = new_axes(ax, None if is_grid or st.labels is False else _room_for(tree.labels, pos))
    if st.maze is not None:
        if not is_grid:
            raise ValueError("maze= applies to grid results only")
        maze = to_maze(st.maze)
        for cell in tree.labels:
            if not maze.contains(cell):
                raise ValueError(f"plot_search_tree(): node {cell!r} is outside the maze")
        draw_maze(ax, maze, st)

    n = len(tree.labels)
    xy = np.array(pos, dtype=float).reshape(n, 2)
    ax.add_collection(
        LineCollection(
            [(pos[p], pos[v]) for p, v in tree.edges],
            colors=st.edge_color,
            linewidths=0.9 if n < 500 else 0.5,
            zorder=1,
            gid="tree-edges",
        )
    )
    size = st.node_size or max(6.0, min(120.0, 6000.0 / max(n, 1)))
    when = {v: o for v, o in enumerate(tree.order) if o is not None}
    expanded = list(when)
    waiting = [v for v in range(n) if v not in when]
    ax.scatter(
        xy[waiting, 0],
        xy[waiting, 1],
        s=size,
        facecolors="white",
        edgecolors="#777777",
        linewidths=0.8,
        zorder=2,
        gid="frontier",
    )
    # One pass of a depth-first trace sits at its end: scale the colours to it.
    first = min(when.values(), default=0)
    last = max(when.values(), default=0)
    dots = ax.scatter(
        xy[expanded, 0],
        xy[expanded, 1],
        s=size,
        c=list(when.values()),
        cmap=st.cmap,
        vmin=first,
        vmax=max(last, first + 1),
        zorder=3,
        gid="expanded",
    )
    if tree.path:
        ax.plot(
            xy[tree.path, 0],
            xy[tree.path, 1],
            color=st.path_color,
            linewidth=st.path_width,
            zorder=4,
            gid="path",
            label="path",
        )
    start_v = tree.path[0] if tree.path else (0 if n else None)
    goal_v = tree.path[-1] if tree.path and result.found else None
    if goal_v is None and st.goal is not None:
        goal_v = next((v for v in range(n) if tree.labels[v] == st.goal), None)
    mark(ax, None if start_v is None else pos[start_v], "start", st)
    mark(ax, None if goal_v is None else pos[goal_v], "goal", st)
    if st.colorbar and expanded:
        colorbar(ax, dots, last - first + 1)

    if is_grid:
        if st.maze is None:
            xs, ys = xy[:, 0], xy[:, 1]
            ax.set_xlim(xs.min() - 0.5, xs.max() + 0.5)
            ax.set_ylim(ys.max() + 0.5, ys.min() - 0.5)
            ax.set_aspect("equal")
    else:
        pad = 0.5
        ax.set_xlim(xy[:, 0].min() - pad, xy[:, 0].max() + pad)
        # Labels hang under the nodes: the last layer needs their room too.
        bottom = pad + (_LABEL_HEIGHT if st.labels is not False else 0.0)
        ax.set_ylim(xy[:, 1].max() + bottom, xy[:, 1].min() - pad)
        ax.set_ylabel("depth")
        ax.set_xticks([])
        ax.yaxis.set_major_locator(MaxNLocator(integer=True))
    if st.labels is not False and n:
        _draw_labels(ax, tree.labels, pos, is_grid)
    title = st.title
    if title is None:
        what = {
            "tree": "search tree",
            "depth-first": "depth-first tree",
            "expansions": "expansions",
        }[tree.kind]
        title = f"{what} of {total} nodes; {describe(result, st.algorithm)}"
        if tree.note:
            title += f"\n({tree.note})"
    if title:
        ax.set_title(title, fontsize=9)
    return ax


def _room_for(nodes: Sequence[Any], pos: Sequence[tuple[float, float]]) -> tuple[float, float]:
    """A figure size (inches) that gives a layered tree's labels room to be read.

    Boards and pegs need more room per node than words; the default size is
    the least, a screen's worth the most.
    """
    per_node, per_layer = {"board": (0.75, 1.3), "pegs": (1.0, 1.4)}.get(
        node_kind(nodes), (0.5, 0.7)
    )
    slots = 1 + max((x for x, _ in pos), default=0.0)
    layers = 1 + max((y for _, y in pos), default=0.0)
    return (
        min(16.0, max(6.4, 1.5 + per_node * slots)),
        min(10.0, max(4.8, 1.0 + per_layer * layers)),
    )


def _room(ax: Axes, pos: Sequence[tuple[float, float]]) -> tuple[list[float], float, float]:
    """Width of each node's label box in data units, and points per data unit (x, y).

    A label may take the distance to its nearest neighbour on its row (at
    most one unit, the margin kept at the ends), so neighbours never meet.
    """
    bbox = ax.get_position()
    fig_w, fig_h = ax.figure.get_size_inches()  # type: ignore[union-attr]
    # Constrained layout takes some room for titles and the colour bar later.
    w_pt, h_pt = bbox.width * fig_w * 72 * 0.8, bbox.height * fig_h * 72 * 0.8
    x0, x1 = sorted(ax.get_xlim())
    y0, y1 = sorted(ax.get_ylim())
    rows: dict[float, list[tuple[float, int]]] = {}
    for v, (x, y) in enumerate(pos):
        rows.setdefault(y, []).append((x, v))
    width = [1.0] * len(pos)
    for row in rows.values():
        row.sort()
        for k, (x, v) in enumerate(row):
            if k:
                width[v] = min(width[v], x - row[k - 1][0])
            if k + 1 < len(row):
                width[v] = min(width[v], row[k + 1][0] - x)
    return width, w_pt / max(x1 - x0, 1e-9), h_pt / max(y1 - y0, 1e-9)


def _draw_labels(
    ax: Axes, nodes: Sequence[Any], pos: Sequence[tuple[float, float]], on_grid: bool
) -> None:
    from matplotlib.collections import LineCollection

    width, ppx, ppy = _room(ax, pos)
    kind = "text" if on_grid else node_kind(nodes)
    box_h = _LABEL_HEIGHT * ppy
    pegs = max(3, 1 + max((max(n) for n in nodes), default=0)) if kind == "pegs" else 0
    peg_lines: list[Any] = []
    disk_lines: list[Any] = []
    disk_widths: list[float] = []
    cards: list[Any] = []
    for v, node in enumerate(nodes):
        x, y = pos[v]
        box_w = width[v] * ppx * 0.9
        if kind == "pegs":
            disks = len(node)
            if box_w < 5 * pegs or box_h < 2 * (disks + 1):
                continue
            w, h = width[v] * 0.9, _LABEL_HEIGHT * 0.9
            top, bottom = y + 0.12, y + 0.12 + h
            thick = h / (disks + 1)
            cards.append(((x - w / 2, top - 0.03), w, h + 0.06))
            for j, stack in enumerate(pegs_of(node, pegs)):
                px = x - w / 2 + (j + 0.5) * w / pegs
                peg_lines.append([(px, bottom), (px, top)])
                for level, disk in enumerate(stack):
                    half = (disk + 1) / disks * w / pegs * 0.45
                    dy = bottom - (level + 0.5) * thick
                    disk_lines.append([(px - half, dy), (px + half, dy)])
                    disk_widths.append(thick * ppy * 0.8)
            continue
        text = board_text(node) if kind == "board" else text_of(node)
        lines = text.split("\n")
        chars = max(len(line) for line in lines)
        font = min(9.0, box_h / (1.25 * len(lines)), box_w / (0.62 * chars))
        if font < _SMALLEST_FONT:
            if kind == "board" or box_h < 1.25 * _SMALLEST_FONT:
                continue
            text = abbreviate(text, int(box_w / (0.62 * _SMALLEST_FONT)))
            if not text:
                continue
            font = _SMALLEST_FONT
        ax.text(
            x,
            y + (0.12 if not on_grid else 0.0),
            text,
            fontsize=font,
            ha="center",
            va="top" if not on_grid else "center",
            family="monospace" if kind == "board" else None,
            clip_on=True,
            bbox=_CARD,
            zorder=7,
            gid="node-label",
        )
    if peg_lines:
        from matplotlib.collections import PatchCollection
        from matplotlib.patches import Rectangle

        ax.add_collection(
            PatchCollection(
                [Rectangle(*card) for card in cards],
                facecolor=_CARD["facecolor"],
                edgecolor="none",
                alpha=_CARD["alpha"],
                zorder=6.5,
                gid="label-card",
            )
        )
        ax.add_collection(
            LineCollection(peg_lines, colors="#555555", linewidths=1.2, zorder=7, gid="node-label")
        )
        ax.add_collection(
            LineCollection(
                disk_lines, colors="#4c72b0", linewidths=disk_widths, zorder=8, gid="node-label"
            )
        )
