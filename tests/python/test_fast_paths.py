"""The fast paths give exactly what the general ones give.

record=False takes a fast path where one exists (boards moved in place, flat
queues, grid sweeps); record=True runs the general code, except on grids, where a
heuristic given as a callable keeps it there (the sweeps take built-in ones, recorded or
not). Both must agree on every result field on random instances.
"""

import random

import pytest
import wayloom_native as wn

FIELDS = (
    "path",
    "cost",
    "nodes_expanded",
    "nodes_generated",
    "nodes_reopened",
    "max_frontier_size",
    "stop_reason",
)


def same(fn, general_kw=None, **kw):
    fast, general = fn(record=False, **kw), fn(record=True, **kw, **(general_kw or {}))
    assert [getattr(fast, f) for f in FIELDS] == [getattr(general, f) for f in FIELDS]


def scrambled(side, moves, rng, goal=None):
    """A board `moves` random blank moves away from `goal` (solvable by construction)."""
    b = list(goal or [*range(1, side * side), 0])
    z = b.index(0)
    for _ in range(moves):
        r, c = divmod(z, side)
        nxt = [
            z + d
            for d, ok in ((-side, r > 0), (side, r < side - 1), (-1, c > 0), (1, c < side - 1))
            if ok
        ]
        t = rng.choice(nxt)
        b[z], b[t], z = b[t], 0, t
    return b


@pytest.mark.parametrize("side, moves", [(2, 5), (3, 14), (3, 30), (4, 22), (5, 14), (9, 6)])
@pytest.mark.parametrize("heuristic", ["manhattan", "misplaced", "zero"])
def test_puzzle_depth_first(side, moves, heuristic):
    rng = random.Random(side * 100 + moves)
    for _ in range(3):
        goal = scrambled(side, 40, rng) if rng.random() < 0.3 else None
        tiles = scrambled(side, moves, rng, goal)
        kw = dict(tiles=tiles, goal=goal, heuristic=heuristic)
        if heuristic != "zero" or moves <= 14:
            same(wn.search_npuzzle, algorithm="ida_star", **kw)
        if heuristic == "manhattan":
            limit = rng.choice([0, 1, 3, min(moves, 8)])
            same(wn.search_npuzzle, algorithm="dls", depth_limit=limit, **kw)
            same(wn.search_npuzzle, algorithm="iddfs", depth_limit=min(moves, 8), **kw)


def maze(rng):
    w, h = rng.randint(1, 24), rng.randint(1, 24)
    # Half the maps cost the same everywhere (the grid sweep's case).
    terrain = rng.choice(["....#19", "...#", "7#"])
    cells = [[rng.choice(terrain) for _ in range(w)] for _ in range(h)]
    cells[rng.randrange(h)][rng.randrange(w)] = "S"
    cells[rng.randrange(h)][rng.randrange(w)] = "G"
    return "\n".join("".join(row) for row in cells)


def manhattan(a, b):
    return abs(a[0] - b[0]) + abs(a[1] - b[1])


def zero(a, b):
    return 0.0


@pytest.mark.parametrize(
    "algorithm", ["bfs", "dfs", "dijkstra", "astar", "greedy", "weighted_astar"]
)
def test_grid_and_graph_sweeps(algorithm):
    rng = random.Random(algorithm)
    for _ in range(8):
        text = maze(rng)
        if "S" not in text or "G" not in text:
            continue
        # The built-in heuristic may go unasked where it cannot matter; a
        # callable with the same values is asked every time, same result.
        same(wn.search_grid, {"heuristic": manhattan}, map=text, algorithm=algorithm)
        same(wn.search_grid, map=text, algorithm=algorithm, diagonal=True)
        n = rng.randint(1, 40)
        edges = [
            (rng.randrange(n), rng.randrange(n), rng.choice([1, 2, 0.5, rng.random()]))
            for _ in range(rng.randint(0, 4 * n))
        ]
        for undirected in (False, True):
            same(
                wn.search_graph,
                num_nodes=n,
                edges=edges,
                start=0,
                goal=n - 1,
                algorithm=algorithm,
                undirected=undirected,
            )


@pytest.mark.parametrize("algorithm", ["bfs", "dijkstra"])
def test_grid_sweep_through_the_grid_object(algorithm):
    """Grid.search and search_many take the sweep too: one cost that is not a
    whole number (the cost is summed step by step), node limits, start = goal."""
    import wayloom

    rng = random.Random(algorithm)
    for _ in range(10):
        w, h = rng.randint(1, 15), rng.randint(1, 15)
        costs = [[0.0 if rng.random() < 0.35 else 0.1 for _ in range(w)] for _ in range(h)]
        cells = [(r, c) for r in range(h) for c in range(w) if costs[r][c]]
        if not cells:
            continue
        grid = wayloom.Grid.from_costs(costs)
        pairs = [(rng.choice(cells), rng.choice(cells)) for _ in range(3)]
        pairs.append((pairs[0][0], pairs[0][0]))
        for s, t in pairs:
            limit = rng.choice([None, 3])
            same(
                grid.search,
                {"heuristic": zero},
                start=s,
                goal=t,
                algorithm=algorithm,
                max_nodes=limit,
            )
        many = grid.search_many(pairs, algorithm=algorithm, record=False)
        for (s, t), r in zip(pairs, many):
            general = grid.search(s, t, algorithm=algorithm, heuristic=zero)
            assert [getattr(r, f) for f in FIELDS] == [getattr(general, f) for f in FIELDS]
