"""wayloom.TilePuzzle: pattern databases against exact distances (3x3 breadth-first
distances, 4x4 boards solved exactly), the cache's handling of bad files and of
two builders at once, and equality with search_npuzzle for the built-in
heuristics. Only small tables are built (3x3, and 4x4 patterns of 3 tiles)."""

import multiprocessing
import pickle
import random

import pytest
import wayloom
import wayloom_native as wn

GOAL8 = (1, 2, 3, 4, 5, 6, 7, 8, 0)
# Four 4x4 patterns of at most 4 tiles: 43,680 entries at most, built in a blink.
SMALL16 = [[1, 2, 5], [3, 4, 8], [6, 7, 10, 11], [9, 13, 14], [12, 15]]


@pytest.fixture(autouse=True)
def cache(tmp_path, monkeypatch):
    monkeypatch.setenv("WAYLOOM_CACHE_DIR", str(tmp_path))
    return tmp_path


def walk(goal, side, moves, rng):
    """A board `moves` random blank moves from `goal`."""
    board = list(goal)
    blank = board.index(0)
    for _ in range(moves):
        r, c = divmod(blank, side)
        options = [
            (r + dr) * side + c + dc
            for dr, dc in ((1, 0), (-1, 0), (0, 1), (0, -1))
            if 0 <= r + dr < side and 0 <= c + dc < side
        ]
        to = rng.choice(options)
        board[blank], board[to] = board[to], board[blank]
        blank = to
    return board


def bfs_distances(goal):
    """Every 3x3 board reachable from `goal`, with its distance."""
    dist = {tuple(goal): 0}
    layer = [tuple(goal)]
    while layer:
        nxt = []
        for b in layer:
            z = b.index(0)
            r, c = divmod(z, 3)
            for dr, dc in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                if 0 <= r + dr < 3 and 0 <= c + dc < 3:
                    s = list(b)
                    to = (r + dr) * 3 + c + dc
                    s[z], s[to] = s[to], s[z]
                    t = tuple(s)
                    if t not in dist:
                        dist[t] = dist[b] + 1
                        nxt.append(t)
        layer = nxt
    return dist


@pytest.mark.parametrize(
    "goal, patterns",
    [
        (None, "4-4"),
        (None, [[1], [2, 3], [4, 5, 6], [7, 8]]),
        ((0, 1, 2, 3, 4, 5, 6, 7, 8), "4-4"),  # blank in the other corner
        ((1, 2, 3, 4, 0, 5, 6, 7, 8), "4-4"),  # blank in the middle, still on the diagonal
        ((1, 0, 2, 3, 4, 5, 6, 7, 8), [[1, 2, 3, 4], [5, 6, 7, 8]]),  # off the diagonal
    ],
)
def test_3x3_optimal_and_admissible_against_breadth_first_distances(goal, patterns):
    p = wayloom.TilePuzzle(3, goal=goal, patterns=patterns)
    dist = bfs_distances(p.goal)
    assert len(dist) == 181440
    assert p.reflects == (p.goal.index(0) % 4 == 0)
    sample = random.Random(3).sample(sorted(dist), 150)
    for b in sample:
        h = p.estimate(b)
        assert h <= dist[b], (b, h)
    for b in sample[:40]:
        for algorithm in ("ida_star", "astar"):
            r = p.search(b, algorithm=algorithm, record=False)
            assert r.cost == dist[b], (b, algorithm)
    # One group of every tile is the exact distance.
    exact = wayloom.TilePuzzle(3, goal=goal, patterns=[[t for t in range(1, 9)]])
    assert all(exact.estimate(b) == dist[b] for b in sample)


SMALL25 = [
    [1, 2, 6],
    [3, 4, 5],
    [7, 8, 12],
    [9, 10, 14],
    [11, 16, 17],
    [13, 18, 19],
    [15, 20, 24],
    [21, 22, 23],
]


@pytest.mark.parametrize("side, groups", [(4, SMALL16), (5, SMALL25)])
def test_sum_lies_between_manhattan_and_the_true_distance(side, groups):
    p = wayloom.TilePuzzle(side, patterns=groups)
    rng = random.Random(side)
    for _ in range(25 if side == 4 else 8):
        b = walk(p.goal, side, 40, rng)
        exact = wn.search_npuzzle(b, "ida_star", record=False)
        md = sum(
            abs(i // side - (t - 1) // side) + abs(i % side - (t - 1) % side)
            for i, t in enumerate(b)
            if t
        )
        assert md <= p.estimate(b) <= exact.cost
        r = p.search(b, record=False)  # the in-place walk
        assert (r.cost, len(r.path)) == (exact.cost, exact.cost + 1)
        assert r.nodes_expanded <= exact.nodes_expanded
        general = p.search(b, record=True)
        assert (r.path, r.nodes_expanded, r.nodes_generated, r.max_frontier_size) == (
            general.path,
            general.nodes_expanded,
            general.nodes_generated,
            general.max_frontier_size,
        )


def test_results_match_search_npuzzle_for_the_built_in_heuristics():
    p = wayloom.TilePuzzle(3, goal=(0, 1, 2, 3, 4, 5, 6, 7, 8))
    b = walk(p.goal, 3, 30, random.Random(1))
    for algorithm, heuristic in (("astar", "manhattan"), ("ida_star", "misplaced"), ("bfs", None)):
        ours = p.search(b, algorithm=algorithm, heuristic=heuristic, record=True)
        theirs = wn.search_npuzzle(b, algorithm=algorithm, heuristic=heuristic, goal=list(p.goal))
        for field in ("path", "cost", "nodes_expanded", "nodes_generated", "trace", "tree"):
            assert getattr(ours, field) == getattr(theirs, field), field


def test_pdb_results_carry_counters_trace_and_tree_and_batches_match():
    p = wayloom.TilePuzzle(3)
    boards = [walk(GOAL8, 3, 25, random.Random(s)) for s in range(6)]
    recorded = p.search(boards[0], record=True)
    bare = p.search(boards[0], record=False)
    assert (recorded.path, recorded.nodes_expanded, recorded.nodes_generated) == (
        bare.path,
        bare.nodes_expanded,
        bare.nodes_generated,
    )
    assert len(recorded.trace) == recorded.nodes_expanded
    assert p.search(boards[0], algorithm="astar").tree  # best-first searches keep a tree
    assert tuple(recorded.path[-1]) == GOAL8
    singles = [p.search(b, algorithm="astar", record=False) for b in boards]
    batch = p.search_many(boards, algorithm="astar", record=False, workers=2)
    assert [(r.path, r.nodes_expanded) for r in batch] == [
        (r.path, r.nodes_expanded) for r in singles
    ]
    builtin = p.search_many(boards, algorithm="astar", heuristic="manhattan", workers=2)
    assert [r.cost for r in builtin] == [r.cost for r in singles]


def test_pickles_by_description_and_the_copy_loads_from_the_cache(cache):
    p = wayloom.TilePuzzle(3, patterns=[[1, 2, 3], [4, 5, 6], [7, 8]])
    p.prepare()
    stamps = {f: f.stat().st_mtime_ns for f in cache.iterdir()}
    assert len(stamps) == 3
    q = pickle.loads(pickle.dumps(p))
    assert repr(q) == repr(p) == "TilePuzzle(3, patterns=[[1, 2, 3], [4, 5, 6], [7, 8]])"
    b = walk(GOAL8, 3, 20, random.Random(2))
    assert q.search(b).path == p.search(b).path
    assert {f: f.stat().st_mtime_ns for f in cache.iterdir()} == stamps


@pytest.mark.parametrize(
    "damage",
    [
        lambda data: data[:-1],  # truncated
        lambda data: data + b"\0",  # trailing bytes
        lambda data: data[:40] + bytes([data[40] ^ 1]) + data[41:],  # a header byte
        lambda data: data[:-5] + bytes([data[-5] ^ 0x10]) + data[-4:],  # a table byte
        lambda data: b"",
    ],
)
def test_a_damaged_cache_file_is_rebuilt_not_trusted(cache, damage):
    p = wayloom.TilePuzzle(3)
    p.prepare()
    files = sorted(cache.iterdir())
    good = [f.read_bytes() for f in files]
    files[1].write_bytes(damage(good[1]))
    q = wayloom.TilePuzzle(3)
    q.prepare()
    assert [f.read_bytes() for f in files] == good
    assert sorted(cache.iterdir()) == files  # no temporary file left behind


def _prepare(cache_dir):
    import os

    os.environ["WAYLOOM_CACHE_DIR"] = cache_dir
    wayloom.TilePuzzle(4, patterns=SMALL16).prepare()


def test_concurrent_builder_processes_leave_one_whole_file_each(cache):
    ctx = multiprocessing.get_context("spawn")
    procs = [ctx.Process(target=_prepare, args=(str(cache),)) for _ in range(3)]
    for proc in procs:
        proc.start()
    for proc in procs:
        proc.join(120)
        assert proc.exitcode == 0
    assert len(list(cache.iterdir())) == len(SMALL16)
    built = [f.read_bytes() for f in sorted(cache.iterdir())]
    for f in cache.iterdir():
        f.unlink()
    wayloom.TilePuzzle(4, patterns=SMALL16).prepare()
    assert [f.read_bytes() for f in sorted(cache.iterdir())] == built


def test_tables_are_charged_to_the_call_budget(monkeypatch):
    monkeypatch.setenv("WAYLOOM_MEMORY_LIMIT", "4M")
    p = wayloom.TilePuzzle(4, patterns="6-6-3")
    with pytest.raises(
        MemoryError, match=r"^the pattern databases would need 11\.0 MiB, more than"
    ):
        p.prepare()
    small = wayloom.TilePuzzle(3)  # 6 KiB of tables and their build fit
    assert small.search(list(GOAL8)).cost == 0
