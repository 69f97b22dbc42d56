"""Sizes the machine cannot hold are refused up front, as MemoryError, before
anything is allocated or computed; sizes outside a domain's range are
PanicException or OverflowError. Every call here must return at once."""

import os
import time

import pytest

import wayloom_native as wn

PHYS = os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE")


def nodes_for(bytes_per_node):
    """A node count whose graph needs about twice the installed memory."""
    return 2 * PHYS // bytes_per_node + 1


def quick(call, exc):
    t0 = time.perf_counter()
    with pytest.raises(exc) as info:
        call()
    assert time.perf_counter() - t0 < 2.0, "refused only after doing the work"
    return str(info.value)


@pytest.mark.parametrize(
    "call",
    [
        lambda: wn.search_graph(10**15, [], 0, 1),
        lambda: wn.search_graph(2**64 - 1, [], 0, 1),
        # Offsets plus build cursor: 16 bytes a node.
        lambda: wn.search_graph(nodes_for(16), [(0, 1, 1.0)], 0, 1),
        lambda: wn.bellman_ford(10**15, [], 0),
        # The graph plus dist and pred: 40 bytes a node.
        lambda: wn.bellman_ford(nodes_for(40), [], 0),
        lambda: wn.floyd_warshall(10**6, []),
        lambda: wn.floyd_warshall(2**32, []),  # node ids no longer fit the next-hop matrix
        lambda: wn.floyd_warshall(2**40, []),
        lambda: wn.floyd_warshall(2**64 - 1, [(0, 1, 1.0)]),
        lambda: wn.floyd_warshall(nodes_for(16), []),
        lambda: wn.gen_erdos_renyi(10**12, 1.0, 1),
        # Small enough to build natively, too large as a list of Python tuples.
        lambda: wn.gen_erdos_renyi(int((4 * PHYS / 200) ** 0.5) + 1, 1.0, 1),
        lambda: wn.gen_erdos_renyi(10**12, 0.5, 1),
        lambda: wn.gen_barabasi_albert(10**12, 5, 1),
        lambda: wn.gen_barabasi_albert(2**64 - 1, 2**63, 1),
        lambda: wn.gen_watts_strogatz(10**12, 4, 0.1, 1),
        lambda: wn.gen_watts_strogatz(2**64 - 1, 2**64 - 2, 0.1, 1),
        lambda: wn.search_hanoi(10**12),
        lambda: wn.search_hanoi(2**24 + 1, algorithm="bfs"),
    ],
)
def test_sizes_beyond_memory_are_memory_errors(call):
    quick(call, MemoryError)


def test_validation_comes_before_the_size_check():
    # An ordinary mistake is still reported as such on a huge graph.
    with pytest.raises(ValueError, match="^source must be < num_nodes$"):
        wn.bellman_ford(10**15, [], 10**15)
    with pytest.raises(ValueError, match=r"^edge \(0, 5\) is out of range for a 3-node graph$"):
        wn.floyd_warshall(3, [(0, 5, 1.0)])
    with pytest.raises(ValueError, match="^start and goal must be < num_nodes$"):
        wn.search_graph(10**15, [], 0, 10**15)
    with pytest.raises(ValueError, match="^disks must be ≥ 1$"):
        wn.search_hanoi(0, pegs=10**12)


@pytest.mark.parametrize(
    "call, message",
    [
        (
            lambda: wn.random_maze_ascii(100000, 100000, 0.1, 1),
            "grid too large: 100000×100000 = 10000000000 cells (max 2147483647)",
        ),
        (lambda: wn.random_maze_ascii(0, 5, 0.1, 1), "grid must be non-empty"),
        (lambda: wn.random_maze_ascii(-3, -3, 0.1, 1), "grid must be non-empty"),
        (
            lambda: wn.search_grid("S" + "." * 50000 + "\n" * 50000 + "G"),
            "grid too large: 50001×50001 = 2500100001 cells (max 2147483647)",
        ),
        (
            # Ragged: a million empty rows and one long row (shared lists, cheap to build).
            lambda: wn.search_grid_costs([[1.0]] + [[]] * 10**6 + [[1.0] * 10**6], (0, 0), (0, 0)),
            "grid too large: 1000000×1000002 = 1000002000000 cells (max 2147483647)",
        ),
        (lambda: wn.search_grid_costs([[], [], []], (0, 0), (0, 0)), "cost grid must be non-empty"),
        (
            lambda: wn.search_hanoi(2**64 - 1, pegs=2**64 - 1),
            "pegs must be between 1 and 16, got 18446744073709551615",
        ),
        (lambda: wn.gen_watts_strogatz(10**12, 10**12, 0.1, 1), "k must be even and < n"),
        (lambda: wn.gen_barabasi_albert(5, 10**15, 1), "need n > m >= 1"),
    ],
)
def test_out_of_range_structures_panic(call, message):
    assert quick(call, wn.PanicException) == message


@pytest.mark.parametrize(
    "call",
    [
        lambda: wn.random_maze_ascii(2**31, 1, 0.1, 1),
        lambda: wn.random_maze_ascii(1, -(2**31) - 1, 0.1, 1),
        lambda: wn.search_grid_costs([[1.0]], (2**31, 0), (0, 0)),
        lambda: wn.search_grid("SG", max_nodes=2**64),
        lambda: wn.search_grid("SG", beam_width=-1),
        lambda: wn.search_graph(2**64, [], 0, 1),
        lambda: wn.search_graph(3, [(0, 2**64, 1.0)], 0, 1),
        lambda: wn.gen_erdos_renyi(5, 0.5, 2**64),
        lambda: wn.search_npuzzle([2**63, 0]),
        lambda: wn.search_grid("SG", weight=10**400),
    ],
)
def test_numbers_outside_their_type_are_overflow_errors(call):
    quick(call, OverflowError)


def test_largest_unsigned_values_are_accepted():
    r = wn.search_grid("S.G", max_nodes=2**64 - 1, beam_width=2**64 - 1, depth_limit=2**64 - 1)
    assert r.found and r.cost == 2
    r = wn.search_grid("S.G", algorithm="beam", beam_width=2**64 - 1)
    assert r.found


def test_oversized_boards_are_value_errors():
    assert quick(lambda: wn.search_npuzzle(list(range(289))), ValueError) == (
        "tiles length must be at most 256 (boards up to 16×16)"
    )
    assert quick(lambda: wn.search_npuzzle(list(range(65536))), ValueError) == (
        "tiles length must be at most 256 (boards up to 16×16)"
    )
    with pytest.raises(ValueError, match="^implicit-graph states must be an int or a sequence of ints$"):
        wn.search_implicit(lambda s: [], 2**63, 0)
