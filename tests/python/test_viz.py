"""Pictures: what is drawn (cells, path, tree edges, markers), not only that a file appears."""

import shutil
import sys
from types import SimpleNamespace

import pytest
import wayloom_native as wn
from wayloom import viz

WALL = wn.sample_maze("wall")


@pytest.fixture
def ax():
    pytest.importorskip("matplotlib")
    pytest.importorskip("PIL")
    import matplotlib

    matplotlib.use("Agg")
    from matplotlib.figure import Figure

    return Figure(figsize=(4, 3)).add_subplot()


def gid(ax, name):
    return [a for a in ax.get_children() if a.get_gid() == name]


def one(ax, name):
    (artist,) = gid(ax, name)
    return artist


def marker_xy(ax, name):
    return xy_of(one(ax, name))[0]


def xy_of(line):
    return list(zip(map(float, line.get_xdata()), map(float, line.get_ydata())))


def fake(trace, path=None):
    """A result-shaped object; the drawing functions only read these attributes."""
    cost, stop = (len(path) - 1.0, "goal") if path else (float("inf"), "exhausted")
    r = SimpleNamespace(trace=trace, tree=[], path=path, found=bool(path), stop_reason=stop)
    r.cost, r.nodes_expanded = cost, len(trace)
    return r


def test_grid_draws_each_expanded_cell_in_its_order_and_the_path_cell_by_cell(ax):
    r = wn.search_grid(WALL, algorithm="bfs")
    viz.plot_grid(WALL, r, ax=ax)
    image = one(ax, "expanded").get_array()
    coloured = {(int(i), int(j)): float(image[i, j]) for i, j in zip(*(~image.mask).nonzero())}
    assert coloured == {node: float(i) for i, (node, _, _) in enumerate(r.trace)}
    assert xy_of(one(ax, "path")) == [(c, r_) for r_, c in r.path]
    assert marker_xy(ax, "start") == (0, 0) and marker_xy(ax, "goal") == (8, 4)
    walls = one(ax, "walls").get_array()
    assert int((~walls.mask).sum()) == WALL.count("#")
    assert ax.get_title() == "cost 20, 25 expanded"
    ax2 = viz.plot_grid(WALL, r, ax=ax.figure.add_subplot(212), algorithm="bfs")
    assert ax2.get_title() == "bfs: cost 20, 25 expanded"


def test_grid_reexpansions_keep_the_first_order_and_terrain_is_shaded(ax):
    # Cell (0, 1) is expanded twice in this trace; it keeps its first index.
    r = fake(
        [((0, 0), 0.0, 0), ((0, 1), 9.0, 1), ((1, 0), 1.0, 1), ((1, 1), 2.0, 0), ((0, 1), 3.0, 0)],
        path=[(0, 0), (1, 0), (1, 1)],
    )
    viz.plot_grid("S9\r\n.G\n\n", r, ax=ax, annotate=True)
    image = one(ax, "expanded").get_array()
    assert image[0, 1] == 1 and image[1, 1] == 3 and int((~image.mask).sum()) == 4
    terrain = one(ax, "terrain").get_array()
    assert terrain.shape == (2, 2) and terrain[0, 1] == 9 and terrain[1, 0] == 1
    assert sorted(t.get_text() for t in gid(ax, "order-label")) == ["0", "1", "2", "3"]


def test_cost_matrix_walls_and_endpoints_from_the_result(ax):
    costs = [[1, 1, 0], [1, -1, float("nan")], [2, 1]]  # short row padded with a wall
    r = wn.search_grid_costs([[1, 1, 0], [1, -1, 1], [2, 1, 1]], (0, 0), (1, 0))
    viz.plot_grid(costs, r, ax=ax)
    walls = one(ax, "walls").get_array()
    walled = {(int(i), int(j)) for i, j in zip(*(~walls.mask).nonzero())}
    assert walled == {(0, 2), (1, 1), (1, 2), (2, 2)}
    assert marker_xy(ax, "start") == (0, 0) and marker_xy(ax, "goal") == (0, 1)
    ax2 = ax.figure.add_subplot(2, 1, 2)
    viz.plot_grid(costs, None, ax=ax2, start=(2, 0))
    assert marker_xy(ax2, "start") == (0, 2) and not gid(ax2, "goal")


def test_grid_refuses_results_that_do_not_belong_to_the_maze(ax):
    with pytest.raises(ValueError, match=r"node 0 is not a cell of this 6x9 maze"):
        viz.plot_grid(WALL, wn.search_graph(2, [(0, 1, 1.0)], 0, 1), ax=ax)
    open_path = wn.search_grid(wn.sample_maze("open"))
    with pytest.raises(ValueError, match=r"crosses the wall at \(\d+, \d+\)"):
        viz.plot_grid(WALL, open_path, ax=ax)
    with pytest.raises(ValueError, match="non-empty"):
        viz.plot_grid([], ax=ax)
    with pytest.raises(TypeError, match="unexpected style option 'colour'"):
        viz.plot_grid(WALL, ax=ax, colour="red")


def test_tree_layers_follow_depth_and_every_edge_is_drawn(ax):
    edges = [(0, 1, 1.0), (0, 2, 1.0), (1, 3, 1.0), (2, 4, 1.0), (3, 5, 1.0), (4, 5, 1.0)]
    r = wn.search_graph(6, edges, 0, 5, algorithm="bfs")
    viz.plot_search_tree(r, ax=ax)
    segments = one(ax, "tree-edges").get_segments()
    assert len(segments) == len(r.tree)
    pos = {
        n: tuple(p)
        for n, p in zip(viz.search_tree(r).labels, one(ax, "expanded").get_offsets().tolist())
    }
    for (_px, py), (_cx, cy) in segments:
        assert cy == py + 1  # a child one layer below its parent
    assert pos[0][1] == 0 and marker_xy(ax, "start") == pos[0]
    assert xy_of(one(ax, "path")) == [pos[n] for n in r.path]
    assert marker_xy(ax, "goal") == pos[5]
    # Leaves on distinct slots; a parent centred over its children.
    assert pos[1][0] == (pos[3][0]) and pos[0][0] == (pos[1][0] + pos[2][0]) / 2


def test_tree_of_grid_nodes_sits_on_the_cells_and_marks_unexpanded_nodes(ax):
    r = wn.search_grid(WALL, algorithm="astar")
    viz.plot_search_tree(r, ax=ax, maze=WALL)
    expanded = {tuple(map(float, p)) for p in one(ax, "expanded").get_offsets()}
    waiting = {tuple(map(float, p)) for p in one(ax, "frontier").get_offsets()}
    assert expanded == {(float(c), float(r_)) for (r_, c), _, _ in r.trace}
    tree_nodes = {n for edge in r.tree for n in edge}
    assert waiting == {(float(c), float(r_)) for r_, c in tree_nodes} - expanded
    assert len(one(ax, "tree-edges").get_segments()) == len(r.tree)
    assert gid(ax, "walls")  # drawn over the maze


def test_depth_first_trace_is_rebuilt_into_the_last_pass_tree(ax):
    # Two passes of an iterative deepening: depth is the frontier size.
    trace = [
        (n, float(d), d) for n, d in [("s", 0), ("s", 0), ("a", 1), ("b", 1), ("a", 2), ("g", 2)]
    ]
    r = fake(trace, path=["s", "b", "g"])
    t = viz.search_tree(r)
    assert t.kind == "depth-first" and t.labels == ["s", "a", "b", "a", "g"]
    assert t.edges == [(0, 1), (0, 2), (2, 3), (2, 4)] and t.path == [0, 2, 4]
    assert viz.search_tree(r, iteration=0).labels == ["s"]
    viz.plot_search_tree(r, ax=ax)
    assert len(one(ax, "tree-edges").get_segments()) == 4
    assert "pass 2 of 2" in ax.get_title()
    with pytest.raises(ValueError, match="iteration 5 does not exist: the trace has 2 pass"):
        viz.search_tree(r, iteration=5)
    edges = [(0, 1, 1.0), (1, 2, 1.0), (2, 3, 1.0), (0, 4, 5.0), (4, 3, 1.0)]
    for algorithm in ("iddfs", "ida_star"):  # real ones: no tree, the path rebuilt
        real = wn.search_graph(5, edges, 0, 3, algorithm=algorithm)
        t = viz.search_tree(real)
        assert real.tree == [] and t.kind == "depth-first"
        assert [t.labels[v] for v in t.path] == real.path


def test_results_without_parents_are_drawn_on_grids_and_refused_elsewhere(ax):
    # Bidirectional-shaped: g absent, no tree.
    grid_like = fake([((0, 0), None, 0), ((0, 2), None, 0)], path=[(0, 0), (0, 1), (0, 2)])
    viz.plot_search_tree(grid_like, ax=ax)
    assert one(ax, "tree-edges").get_segments() == []
    assert len(one(ax, "expanded").get_offsets()) == 2
    assert len(one(ax, "frontier").get_offsets()) == 1  # (0, 1): on the path, never expanded
    for algorithm in ("beam", "bidirectional"):
        r = wn.search_graph(3, [(0, 1, 1.0), (1, 2, 1.0)], 0, 2, algorithm=algorithm)
        with pytest.raises(ValueError, match="no search tree"):
            viz.plot_search_tree(r, ax=ax)
    with pytest.raises(ValueError, match="record=False"):
        viz.plot_search_tree(wn.search_grid(WALL, record=False), ax=ax)


WORDS = ["abcdefghijklmnopqr" + c for c in "stuvwxyz"]


@pytest.mark.parametrize(
    "result, kind",
    [
        (wn.search_hanoi(3, algorithm="bfs"), "pegs"),
        (wn.search_npuzzle([1, 2, 3, 4, 0, 6, 7, 5, 8], algorithm="bfs"), "board"),
        (wn.search_wordladder(WORDS[0], WORDS[-1], WORDS, algorithm="bfs"), "text"),
    ],
)
def test_tree_labels_fit_inside_the_axes_without_overlap(result, kind):
    plt = pytest.importorskip("matplotlib.pyplot")
    ax = viz.plot_search_tree(result, algorithm="bfs")
    fig = ax.figure
    fig.canvas.draw()
    texts = [t for t in gid(ax, "node-label") if hasattr(t, "get_text")]
    extents = [t.get_window_extent() for t in texts]
    assert all(ax.get_window_extent().contains(*e.p0) and ax.bbox.contains(*e.p1) for e in extents)
    assert not any(a.overlaps(b) for i, a in enumerate(extents) for b in extents[i + 1 :])
    assert (kind == "pegs") == (len(gid(ax, "node-label")) == 2) == (not texts)  # pegs, disks
    if kind == "text":
        assert any(t.get_text().endswith("…") for t in texts)  # long words shortened
    bar = fig.axes[-1]
    assert all(float(t).is_integer() for t in bar.get_yticks())
    label = bar.yaxis.label.get_window_extent()
    assert fig.bbox.contains(*label.p0) and fig.bbox.contains(*label.p1)  # not clipped
    assert ax.get_title().startswith("search tree of") and "bfs: cost" in ax.get_title()
    plt.close(fig)


def test_animations_replay_the_trace_into_a_gif(ax, tmp_path):
    from PIL import Image, ImageChops

    r = wn.search_grid(WALL, algorithm="bfs")
    out = viz.animate_search(r, tmp_path / "bfs.gif", maze=WALL, max_frames=8, dpi=30)
    with Image.open(out) as gif:
        assert 2 <= gif.n_frames <= 8
        first = gif.convert("RGB")
        gif.seek(gif.n_frames - 1)
        assert ImageChops.difference(first, gif.convert("RGB")).getbbox() is not None
    hanoi = wn.search_hanoi(2, algorithm="bfs")
    assert viz.animate_search(hanoi, str(tmp_path / "h.gif"), max_frames=4, dpi=30).stat().st_size
    if shutil.which("ffmpeg"):  # odd frame sizes are padded for the encoder
        assert (
            viz.animate_search(r, tmp_path / "b.mp4", maze=WALL, max_frames=4, dpi=31)
            .stat()
            .st_size
        )
    with pytest.raises(ValueError, match=r"\.gif or \.mp4"):
        viz.animate_search(r, tmp_path / "x.avi", maze=WALL)
    with pytest.raises(ValueError, match="no trace"):
        viz.animate_search(wn.search_grid(WALL, record=False), tmp_path / "y.gif")


def test_without_matplotlib_drawing_says_what_to_install(monkeypatch):
    monkeypatch.setitem(sys.modules, "matplotlib", None)
    hint = r'needs matplotlib; install it with: pip install "wayloom\[viz\]"'
    step = fake([(0, 0.0, 0)])
    calls = [
        (viz.plot_grid, WALL),
        (viz.plot_search_tree, step),
        (viz.animate_search, step, "a.gif"),
    ]
    for call, *args in calls:
        with pytest.raises(ImportError, match=hint):
            call(*args)


def test_markers_labels_and_large_trees_stay_legible(ax):
    viz.plot_grid(WALL, wn.search_grid(WALL), ax=ax)
    assert not one(ax, "start").get_clip_on() and not one(ax, "goal").get_clip_on()
    words = viz.plot_search_tree(wn.search_graph(3, [(0, 1, 1.0), (1, 2, 1.0)], 0, 2))
    labels = gid(words, "node-label")
    assert labels and all(t.get_bbox_patch() is not None for t in labels)  # over the path
    hanoi = viz.plot_search_tree(wn.search_hanoi(3, algorithm="bfs"))
    assert 3 * len(one(hanoi, "label-card").get_paths()) == len(
        gid(hanoi, "node-label")[0].get_paths()
    )
    big = wn.search_npuzzle([8, 1, 3, 4, 0, 2, 7, 6, 5], algorithm="bfs")
    tree = viz.search_tree(big)
    drawn = viz.plot_search_tree(big)
    n = len(one(drawn, "expanded").get_offsets()) + len(one(drawn, "frontier").get_offsets())
    assert len(tree.labels) > 400 >= n > len(big.path)
    assert f"{len(tree.labels) - n} of {len(tree.labels)} nodes left out" in drawn.get_title()


def test_animation_frames_show_the_goal_and_a_heading(ax):
    import numpy as np
    from wayloom._maze import from_costs
    from wayloom.viz import animation

    costs = [[1.0] * 6 for _ in range(4)]  # no goal marked on the map
    r = wn.search_grid_costs(costs, (0, 0), (3, 5), algorithm="bfs")
    update = animation._grid_frames(ax, from_costs(costs), r, viz.Style(algorithm="bfs"), np)
    update(0, 1, False)
    assert marker_xy(ax, "goal") == (5.0, 3.0) and one(ax, "goal").get_visible()
    assert ax.get_title() == f"bfs: expanded 1/{len(r.trace)}"
