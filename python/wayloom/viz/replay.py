"""What a replay needs, rebuilt from a result in plain Python (no matplotlib).

The drawing modules and the HTML player share these: the search tree (from
the result's tree or, failing that, its trace), its layered layout, when each
node was first expanded and first reached, and how a long trace is cut into
frames.
"""

from __future__ import annotations

import dataclasses
import itertools
import math
from collections.abc import Sequence
from typing import TYPE_CHECKING, Any

from .._maze import Maze, is_cell

if TYPE_CHECKING:  # pragma: no cover
    from wayloom_native import SearchResult

#: The step index of something that never happens in a replay.
NEVER = 2**31 - 1


def describe(result: SearchResult, algorithm: str | None = None) -> str:
    """A short caption: the cost and expansions, or why no path was found.

    With ``algorithm`` the caption starts with its name.

    >>> import wayloom_native as wn
    >>> describe(wn.search_grid(wn.sample_maze("wall")))
    'cost 20, 25 expanded'
    >>> describe(wn.search_grid(wn.sample_maze("wall")), "astar")
    'astar: cost 20, 25 expanded'
    """
    if result.found:
        text = f"cost {result.cost:g}, {result.nodes_expanded} expanded"
    else:
        text = f"no path ({result.stop_reason}), {result.nodes_expanded} expanded"
    return f"{algorithm}: {text}" if algorithm else text


def first_expansions(trace: Sequence[tuple[Any, ...]]) -> dict[Any, int]:
    """Node -> index of its first expansion (re-expansions keep the first)."""
    order: dict[Any, int] = {}
    for i, step in enumerate(trace):
        order.setdefault(step[0], i)
    return order


def check_cells(result: SearchResult, maze: Maze | Any, func: str) -> None:
    """Refuse a result whose nodes are not cells of ``maze``, or whose path crosses a wall."""
    h, w = maze.height, maze.width
    for node in itertools.chain((s[0] for s in result.trace), result.path or ()):
        # Plain int pairs first: traces run to millions of steps.
        if type(node) is tuple and len(node) == 2:
            r, c = node
            if (type(r) is int and type(c) is int or is_cell(node)) and 0 <= r < h and 0 <= c < w:
                continue
        raise ValueError(
            f"{func}(): result node {node!r} is not a cell of this {maze.height}x{maze.width} maze"
        )
    for cell in result.path or ():
        if maze.is_wall(cell):
            raise ValueError(
                f"{func}(): the path crosses the wall at {cell!r}; "
                "was the result computed on another maze?"
            )


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

    def reached(self) -> list[int]:
        """Trace index at which each vertex was first reached (its parent's expansion).

        Roots count as reached before the first step (-1). A tree lists its
        nodes in discovery order with their final parents, so the time of a
        parent's expansion bounds the discovery from above; the running
        minimum from the end keeps the times in discovery order.
        """
        n = len(self.labels)
        out = [-1] * n
        if self.kind != "tree":
            # A depth-first vertex is one visit, made at its own step; without
            # parents nothing is known before the expansion itself.
            return [o if o is not None else NEVER for o in self.order]
        last = math.inf
        for v in range(n - 1, -1, -1):
            p = self.parent[v]
            when = self.order[p] if p >= 0 else -1
            last = min(last, when if when is not None else math.inf)
            out[v] = int(last) if last != math.inf else NEVER
        return out


def _looks_depth_first(trace: Sequence[tuple[Any, ...]]) -> bool:
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
        return _from_tree(trace, tree, path)
    if _looks_depth_first(trace):
        return _from_depths(trace, path, iteration)
    if trace:
        order_of = first_expansions(trace)
        labels = list(order_of)
        order: list[int | None] = list(order_of.values())
        ids = {n: i for i, n in enumerate(labels)}
        for n in path:
            if n not in ids:
                ids[n] = len(labels)
                labels.append(n)
                order.append(None)
        return SearchTree(
            labels,
            [-1] * len(labels),
            order,
            [ids[n] for n in path],
            "expansions",
            "no search tree recorded: expansions and path only",
        )
    raise ValueError(
        "nothing to draw: the result has neither a search tree nor a trace "
        "(searches run with record=False keep neither)"
    )


def _from_tree(
    trace: Sequence[tuple[Any, ...]], tree: Sequence[tuple[Any, Any]], path: Sequence[Any]
) -> SearchTree:
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


def _from_depths(
    trace: Sequence[tuple[Any, ...]], path: Sequence[Any], iteration: int
) -> SearchTree:
    starts = [i for i, step in enumerate(trace) if step[2] == 0]
    try:
        lo = starts[iteration]
    except IndexError:
        raise ValueError(
            f"iteration {iteration} does not exist: the trace has {len(starts)} pass(es)"
        ) from None
    k = starts.index(lo)
    hi = starts[k + 1] if k + 1 < len(starts) else len(trace)
    labels: list[Any] = []
    parent: list[int] = []
    order: list[int | None] = []
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
    note = (
        f"pass {k + 1} of {len(starts)}, rebuilt from the trace"
        if len(starts) > 1
        else "rebuilt from the trace"
    )
    return SearchTree(labels, parent, order, chain, "depth-first", note)


def around_path(tree: SearchTree, most: int) -> SearchTree:
    """A tree of more than ``most`` vertices cut down to its path and the vertices one
    step off it (at most ``most`` in all); its note says how much was left out.

    A large tree drawn whole is a hairball; the path's neighbourhood shows the
    choices the search made. Without a path, the first vertices reached stay.

    >>> t = SearchTree(list("abcde"), [-1, 0, 1, 0, 3], [0, 1, None, 2, None], [0, 1], "tree")
    >>> cut = around_path(t, 4)
    >>> cut.labels, cut.parent, cut.path, cut.note
    (['a', 'b', 'c', 'd'], [-1, 0, 1, 0], [0, 1], 'the path and its 2 neighbours: 1 of 5 nodes left out')
    """
    n = len(tree.labels)
    if n <= most:
        return tree
    on_path = set(tree.path)
    near = [v for v in range(n) if v not in on_path and (not on_path or tree.parent[v] in on_path)]
    keep = on_path | set(near[: max(most - len(on_path), 0)])
    for v in list(keep):  # every kept vertex hangs from its root
        p = tree.parent[v]
        while p >= 0 and p not in keep:
            keep.add(p)
            p = tree.parent[p]
    kept = sorted(keep)
    new = {v: i for i, v in enumerate(kept)}
    new[-1] = -1
    what = f"the path and its {len(kept) - len(on_path)} neighbours" if on_path else "first nodes"
    note = f"{what}: {n - len(kept)} of {n} nodes left out"
    return SearchTree(
        [tree.labels[v] for v in kept],
        [new[tree.parent[v]] for v in kept],
        [tree.order[v] for v in kept],
        [new[v] for v in tree.path],
        tree.kind,
        "; ".join(filter(None, [tree.note, note])),
    )


def tree_positions(tree: SearchTree, layout: str) -> list[tuple[float, float]]:
    """(x, y) of every vertex: its cell for "grid", slot and depth for "layered"."""
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
