"""Pieces shared by the matplotlib drawings: imports, axes, maze, markers, colour bar."""

from __future__ import annotations

from typing import TYPE_CHECKING, Any

from .._maze import Maze
from .style import Style

if TYPE_CHECKING:  # pragma: no cover
    from matplotlib.axes import Axes

INSTALL_HINT = 'pip install "wayloom[viz]"'


def require(func: str) -> Any:
    """Import numpy and matplotlib, or explain what to install; returns numpy."""
    try:
        import matplotlib  # noqa: F401
        import numpy
    except ImportError as exc:
        raise ImportError(f"{func}() needs matplotlib; install it with: {INSTALL_HINT}") from exc
    return numpy


def new_axes(ax: Axes | None, figsize: Any = None) -> Axes:
    """The caller's axes, or new ones on a figure whose layout keeps every label inside."""
    if ax is not None:
        fig: Any = ax.figure
        # A bare figure holding just these axes gets the same layout as ours;
        # a figure the caller laid out is left as it is.
        if getattr(fig, "get_layout_engine", lambda: 0)() is None and len(fig.axes) == 1:
            fig.set_layout_engine("constrained")
        return ax
    import matplotlib.pyplot as plt

    _, ax = plt.subplots(figsize=figsize, layout="constrained")
    return ax


def by_gid(ax: Axes, gid: str) -> list[Any]:
    return [a for a in ax.get_children() if a.get_gid() == gid]


def draw_maze(ax: Axes, maze: Maze, st: Style) -> None:
    """Terrain shades, walls, cell borders and axes set up for a grid."""
    np = require("plot_grid")
    from matplotlib.colors import LinearSegmentedColormap, ListedColormap
    from matplotlib.ticker import MaxNLocator

    costs = np.array(maze.costs, dtype=float)
    wall = np.isinf(costs)
    open_costs = np.ma.masked_array(np.where(wall, 1.0, costs), mask=wall)
    top = max(float(open_costs.max()) if open_costs.count() else 1.0, 2.0)
    terrain = LinearSegmentedColormap.from_list("terrain", ["#ffffff", st.terrain_color])
    ax.imshow(
        open_costs,
        cmap=terrain,
        vmin=1.0,
        vmax=top,
        interpolation="nearest",
        zorder=0,
        gid="terrain",
    )
    ax.imshow(
        np.ma.masked_array(np.ones_like(costs), mask=~wall),
        cmap=ListedColormap([st.wall_color]),
        vmin=0,
        vmax=1,
        interpolation="nearest",
        zorder=3,
        gid="walls",
    )
    grid_lines = st.grid_lines
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


def mark(ax: Axes, xy: tuple[float, float] | None, which: str, st: Style) -> None:
    """The start (a disc) or goal (a star) marker at ``xy``."""
    if xy is None:
        return
    marker, size = ("o", st.marker_size) if which == "start" else ("*", st.marker_size * 1.6)
    ax.plot(
        [xy[0]],
        [xy[1]],
        linestyle="none",
        marker=marker,
        markersize=size,
        markerfacecolor=getattr(st, f"{which}_color"),
        markeredgecolor="black",
        markeredgewidth=1.0,
        zorder=6,
        clip_on=False,  # whole at the map's edge, not halved by the axes
        gid=which,
        label=which,
    )


def colorbar(ax: Axes, mappable: Any, count: int) -> Any:
    """The expansion-order colour bar: whole step numbers only."""
    from matplotlib.ticker import MaxNLocator

    bar = ax.figure.colorbar(mappable, ax=ax, fraction=0.046, pad=0.04)
    bar.set_label("expansion order")
    if count <= 1:
        bar.set_ticks([mappable.norm.vmin])
    else:
        bar.locator = MaxNLocator(integer=True)
        bar.update_ticks()
    return bar
