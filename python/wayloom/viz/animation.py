"""Replays of a trace as GIF or MP4: the picture is drawn once, then updated in place."""

from __future__ import annotations

import bisect
import itertools
import os
import pathlib
import subprocess
from collections.abc import Callable
from typing import TYPE_CHECKING, Any

from .._maze import Maze, MazeLike, to_maze
from . import style as _style
from ._draw import by_gid, colorbar, mark, require
from .files import FILE_TYPES, check_ffmpeg, ffmpeg
from .grid import plot_grid
from .replay import SearchTree, check_cells, describe, frame_plan, search_tree, tree_positions
from .style import Style
from .tree import plot_search_tree

if TYPE_CHECKING:  # pragma: no cover
    from matplotlib.axes import Axes
    from wayloom_native import SearchResult

#: Sets the picture to the trace prefix [0, hi) given [0, lo) is shown; returns
#: the artists that changed.
Update = Callable[[int, int, bool], list[Any]]


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
    st = Style.of("animate_search", style, _style.ANIMATION)
    np = require("animate_search")
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    from matplotlib.figure import Figure

    out = pathlib.Path(filename)
    suffix = out.suffix.lower()
    if suffix not in FILE_TYPES["animation"]:
        raise ValueError(
            f"animation filename must end in {' or '.join(FILE_TYPES['animation'])}, "
            f"not {out.name!r}"
        )
    check_ffmpeg(out)
    trace = result.trace
    if not trace:
        raise ValueError("nothing to animate: the result has no trace (search with record=True)")
    fig = Figure(figsize=st.figsize or (6.4, 4.8), dpi=st.dpi, layout="constrained")
    canvas = FigureCanvasAgg(fig)
    ax = fig.add_subplot()
    begin, end = 0, len(trace)
    if maze is not None:
        grid = to_maze(maze)
        check_cells(result, grid, "animate_search")
        update = _grid_frames(ax, grid, result, st, np)
    else:
        tree = search_tree(result, st.iteration)
        if tree.kind == "depth-first":
            # Replay only the pass that is drawn.
            begin, end = tree.order[0] or 0, (tree.order[-1] or 0) + 1
        update = _tree_frames(ax, result, tree, st, np)
    plan = [begin + k for k in frame_plan(end - begin, st.max_frames, round(st.hold * st.fps))]

    # Draw everything that never changes once, keep it as the background of
    # every frame, and from then on draw only what a frame changes.
    moving = update(begin, begin, False)
    for artist in moving:
        artist.set_animated(True)
    canvas.draw()
    fig.set_layout_engine("none")
    background = canvas.copy_from_bbox(fig.bbox)
    frames = []
    done = begin
    for upto in plan:
        moving = update(done, upto, upto == end)
        done = upto
        canvas.restore_region(background)
        for artist in moving:
            if isinstance(artist, _CellPainter):
                artist.paint(canvas)
            elif artist.get_visible():
                fig.draw_artist(artist)
        frames.append(np.asarray(canvas.buffer_rgba()).copy())
    _write(out, frames, st.fps)
    return out


def _write(out: pathlib.Path, frames: list[Any], fps: float) -> None:
    """The frames (RGBA arrays of one size) as a looping GIF or an H.264 MP4."""
    if out.suffix.lower() == ".gif":
        images = _paletted(frames)
        images[0].save(
            out,
            save_all=True,
            append_images=images[1:],
            loop=0,
            duration=round(1000 / fps),
            optimize=False,
        )
        return
    h, w = frames[0].shape[:2]
    args = (
        f"-y -loglevel error -f rawvideo -pix_fmt rgba -s {w}x{h} -r {fps} -i - "
        "-vf pad=ceil(iw/2)*2:ceil(ih/2)*2 -pix_fmt yuv420p"
    )
    cmd = [str(ffmpeg()), *args.split(), str(out)]
    subprocess.run(cmd, input=b"".join(f.tobytes() for f in frames), check=True)


def _paletted(frames: list[Any]) -> list[Any]:
    """The frames as palette images sharing the last frame's palette.

    Quantising each frame on its own is most of the cost of a GIF; every
    colour of a replay is in its last frame, so its palette serves them all.
    """
    from PIL import Image

    last = Image.fromarray(frames[-1][:, :, :3]).quantize(256, dither=Image.Dither.NONE)
    return [
        Image.fromarray(f[:, :, :3]).quantize(palette=last, dither=Image.Dither.NONE)
        for f in frames
    ]


class _CellPainter:
    """The expanded cells, painted straight into the canvas's pixels.

    An image artist would colour-map and resample the whole grid on every
    frame; this maps each pixel of the axes to its cell once, keeps the
    painted pixels, and a frame blends only the pixels of the cells it adds.
    """

    def __init__(self, ax: Axes, shape: tuple[int, int], np: Any) -> None:
        self.ax, self.np = ax, np
        self.rgba = np.zeros((*shape, 4), dtype=np.uint8)
        self.changed = np.zeros(shape, dtype=bool)
        self.at: tuple[Any, Any, Any, Any, Any] | None = None

    def set_animated(self, _: bool) -> None:
        pass  # never part of the background

    def set_cells(self, rows: Any, cols: Any, colours: Any) -> None:
        self.rgba[rows, cols] = colours
        self.changed[rows, cols] = True

    def paint(self, canvas: Any) -> None:
        np = self.np
        buf = np.asarray(canvas.buffer_rgba())
        if self.at is None:  # the layout is final by the first frame
            box, (h, w) = self.ax.get_window_extent(), self.rgba.shape[:2]
            top = buf.shape[0] - box.y1
            xs = np.arange(max(0, int(box.x0)), min(buf.shape[1], int(np.ceil(box.x1))))
            ys = np.arange(max(0, int(top)), min(buf.shape[0], int(np.ceil(top + box.height))))
            cols = ((xs + 0.5 - box.x0) * w / box.width).astype(int).clip(0, w - 1)
            rows = ((ys + 0.5 - top) * h / box.height).astype(int).clip(0, h - 1)
            region = (slice(ys[0], ys[-1] + 1), slice(xs[0], xs[-1] + 1))
            under = buf[region][..., :3].astype(np.float32)
            self.at = (rows, cols, region, under, under.astype(np.uint8))
        rows, cols, region, under, shown = self.at
        ys, xs = np.nonzero(self.changed[rows[:, None], cols[None, :]])
        if len(ys):
            layer = self.rgba[rows[ys], cols[xs]].astype(np.float32)
            below = under[ys, xs]
            shown[ys, xs] = below + (layer[:, :3] - below) * (layer[:, 3:] * (1 / 255))
            self.changed[:] = False
        buf[region][..., :3] = shown


def _caption(st: Style, result: SearchResult, upto: int, final: bool) -> str:
    """A frame's title: its heading (``title``, else the algorithm), the expansions so far,
    and the outcome on the last frame."""
    head = st.title or st.algorithm
    text = f"expanded {upto}/{len(result.trace)}" + (f"; {describe(result)}" if final else "")
    return f"{head}: {text}" if head else text


def _grid_frames(ax: Axes, grid: Maze, result: SearchResult, st: Style, np: Any) -> Update:
    plot_grid(
        grid,
        None,
        ax=ax,
        **{
            **st.pick(_style.SHARED),
            "colorbar": False,
            "title": "",
            "start": st.start,
            "grid_lines": st.grid_lines,
        },
    )
    trace, n = result.trace, len(result.trace)
    if not (st.start or grid.start):
        mark(ax, (trace[0][0][1], trace[0][0][0]), "start", st)
    if not (st.goal or grid.goal) and result.path:
        # Where the search is headed is shown from the first frame on.
        mark(ax, (result.path[-1][1], result.path[-1][0]), "goal", st)
    # The expansions are kept as an RGBA image and painted into the frame: no colour
    # mapping or masking per frame, only the cells a frame adds.
    from matplotlib.cm import ScalarMappable
    from matplotlib.colors import Normalize

    scale = ScalarMappable(Normalize(0, max(n - 1, 1)), st.cmap)
    palette = scale.to_rgba(np.arange(n), alpha=st.alpha, bytes=True)
    image = _CellPainter(ax, (grid.height, grid.width), np)
    if st.colorbar:
        colorbar(ax, scale, n)
    current = ax.scatter(
        [],
        [],
        s=st.marker_size * 8,
        marker="s",
        facecolors="none",
        edgecolors="white",
        linewidths=1.5,
        zorder=4,
        gid="current",
    )
    (path_line,) = ax.plot(
        [],
        [],
        color=st.path_color,
        linewidth=st.path_width,
        solid_joinstyle="round",
        zorder=5,
        gid="path",
    )
    ax.set_title(" ")
    cells = np.array([step[0] for step in trace], dtype=np.int64).reshape(-1, 2)
    dynamic = [image, current, path_line, *by_gid(ax, "start"), *by_gid(ax, "goal"), ax.title]

    def update(lo: int, hi: int, final: bool) -> list[Any]:
        batch = cells[lo:hi]
        # Re-expansions keep their first colour: the first step of a cell wins.
        ids = batch[:, 0] * grid.width + batch[:, 1]
        _, first = np.unique(ids, return_index=True)
        first = first[image.rgba[batch[first, 0], batch[first, 1], 3] == 0]
        image.set_cells(batch[first, 0], batch[first, 1], palette[lo + first])
        # A few cells a frame are outlined; a crowd would only hide the colours.
        shown = batch if not final and len(batch) <= 32 else batch[:0]
        current.set_offsets(shown[:, ::-1].astype(float))
        if final and result.path:
            path_line.set_data([c for _, c in result.path], [r for r, _ in result.path])
        ax.set_title(_caption(st, result, hi, final))
        return dynamic

    return update


def _tree_frames(ax: Axes, result: SearchResult, tree: SearchTree, st: Style, np: Any) -> Update:
    pos = tree_positions(tree, st.layout)
    plot_search_tree(
        result,
        ax=ax,
        **{
            **st.pick(_style.SHARED),
            "layout": st.layout,
            "iteration": st.iteration,
            "labels": st.labels,
            "node_size": st.node_size,
            "edge_color": st.edge_color,
            "title": " ",
        },
    )
    # Start from the finished picture and hide what has not happened yet.
    edges_art = by_gid(ax, "tree-edges")[0]
    dots = by_gid(ax, "expanded")[0]
    late = [
        *by_gid(ax, "frontier"),
        *by_gid(ax, "path"),
        *by_gid(ax, "label-card"),
        *by_gid(ax, "node-label"),
    ]
    for artist in late:
        artist.set_visible(False)
    by_time = sorted((o, v) for v, o in enumerate(tree.order) if o is not None)
    times = [o for o, _ in by_time]
    xy = np.array([pos[v] for _, v in by_time], dtype=float).reshape(-1, 2)
    colours = np.array(times, dtype=float)
    edge_of = {v: (pos[p], pos[v]) for p, v in tree.edges}
    segments = [edge_of[v] for _, v in by_time if v in edge_of]
    edge_count = list(itertools.accumulate(int(v in edge_of) for _, v in by_time))
    dynamic = [edges_art, dots, *late, *by_gid(ax, "start"), *by_gid(ax, "goal"), ax.title]

    def update(lo: int, hi: int, final: bool) -> list[Any]:
        k = bisect.bisect_left(times, hi)  # vertices first expanded before step hi
        dots.set_offsets(xy[:k])
        dots.set_array(colours[:k])
        edges_art.set_segments(segments[: edge_count[k - 1]] if k else [])
        if final:
            edges_art.set_segments([edge_of[v] for v in range(len(tree.labels)) if v in edge_of])
            for artist in late:
                artist.set_visible(True)
        ax.set_title(_caption(st, result, hi, final), fontsize=9)
        return dynamic

    return update
