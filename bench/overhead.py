"""Per-call overhead of the binding: tiny searches where conversion dominates.

python bench/overhead.py
"""

import statistics
import timeit

import wayloom_native as wn

MAZE = wn.sample_maze("open")
EDGES = [(0, 1, 1.0), (1, 2, 1.0)]
CALLS = {
    "search_grid(open, record=False)": lambda: wn.search_grid(MAZE, record=False),
    "search_graph(3 nodes, record=False)": lambda: wn.search_graph(3, EDGES, 0, 2, record=False),
    "search_graph(3 nodes, keywords)": lambda: wn.search_graph(
        num_nodes=3, edges=EDGES, start=0, goal=2, algorithm="dijkstra", record=False
    ),
    "search_hanoi(3)": lambda: wn.search_hanoi(3, record=False),
    "sample_maze('open')": lambda: wn.sample_maze("open"),
}


def main() -> None:
    for name, call in CALLS.items():
        runs = [min(timeit.repeat(call, number=2000, repeat=5)) / 2000 for _ in range(5)]
        print(f"{name:40s} {statistics.median(runs) * 1e6:7.2f} us a call")


if __name__ == "__main__":
    main()
