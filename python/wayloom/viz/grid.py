"""Grid mazes: walls, terrain, expanded cells by order, the path."""

from __future__ import annotations

from typing import TYPE_CHECKING, Any

from .._maze import Maze, MazeLike, to_maze
from . import style as _style
from ._draw import colorbar, draw_maze, mark, new_axes, require
from .replay import check_cells, describe, first_expansions, has_jumps
from .style import Style

if TYPE_CHECKING:  # pragma: no cover
    from matplotlib.axes import Axes
    from wayloom_native import SearchResult


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
    centres, so diagonal moves show as diagonals. A jump point search's jumps
    are drawn as the segments they cross (``gid="tree-edges"``).

    Style options: ``cmap`` (expansion colours, default "viridis"), ``alpha``,
    ``path_color``, ``path_width``, ``start_color``, ``goal_color``,
    ``marker_size``, ``wall_color``, ``terrain_color``, ``colorbar`` (bool),
    ``annotate`` (write expansion numbers in the cells), ``grid_lines``
    (default: on up to 80 cells a side), ``title`` ("" for none),
    ``algorithm`` (its name leads the default title), and ``start`` / ``goal``
    cells for a cost matrix (otherwise taken from the result).

    >>> import wayloom_native as wn
    >>> maze = wn.sample_maze("wall")
    >>> ax = plot_grid(maze, wn.search_grid(maze, algorithm="astar"), algorithm="astar")
    >>> ax.figure.savefig("astar_wall.png")
    """
    st = Style.of("plot_grid", style, _style.GRID)
    np = require("plot_grid")
    grid = to_maze(maze)
    ax = new_axes(ax)
    draw_maze(ax, grid, st)
    start, goal = st.start or grid.start, st.goal or grid.goal
    if result is not None:
        check_cells(result, grid, "plot_grid")
        order = first_expansions(result.trace)
        if order:
            img = np.full((grid.height, grid.width), np.nan)
            cells = np.array(list(order), dtype=np.int64).reshape(-1, 2)
            img[cells[:, 0], cells[:, 1]] = np.fromiter(order.values(), float, len(order))
            n = len(result.trace)
            image = ax.imshow(
                np.ma.masked_invalid(img),
                cmap=st.cmap,
                vmin=0,
                vmax=max(n - 1, 1),
                alpha=st.alpha,
                interpolation="nearest",
                zorder=2,
                gid="expanded",
            )
            if st.annotate:
                for (r, c), i in order.items():
                    ax.text(
                        c,
                        r,
                        str(i),
                        ha="center",
                        va="center",
                        fontsize=7,
                        color="white",
                        zorder=7,
                        gid="order-label",
                    )
            if st.colorbar:
                colorbar(ax, image, n)
        if has_jumps(result.tree):
            # Jump point search: its tree's jumps drawn as the segments they cross.
            from matplotlib.collections import LineCollection

            ax.add_collection(
                LineCollection(
                    [[(a[1], a[0]), (b[1], b[0])] for a, b in result.tree],
                    colors=st.path_color,
                    linewidths=max(0.5, st.path_width / 3),
                    alpha=0.5,
                    zorder=4,
                    gid="tree-edges",
                )
            )
        path = result.path or []
        if path:
            ax.plot(
                [c for _, c in path],
                [r for r, _ in path],
                color=st.path_color,
                linewidth=st.path_width,
                solid_joinstyle="round",
                solid_capstyle="round",
                zorder=5,
                gid="path",
                label="path",
            )
            start = start or path[0]
            goal = goal or path[-1]
        elif result.trace:
            start = start or result.trace[0][0]
        if st.title is None:
            ax.set_title(describe(result, st.algorithm))
    mark(ax, None if start is None else (start[1], start[0]), "start", st)
    mark(ax, None if goal is None else (goal[1], goal[0]), "goal", st)
    if st.title:
        ax.set_title(st.title)
    elif st.title is None and result is None and st.algorithm:
        ax.set_title(st.algorithm)
    return ax
