"""The backend's description for networkx (read while networkx imports, so it
imports nothing of the engine)."""

from __future__ import annotations

from typing import Any

_TIES = "Ties between equal paths are broken as networkx breaks them."

#: Function -> note on how it differs from networkx (empty: it does not).
NOTES: dict[str, str] = {
    "shortest_path": "",
    "shortest_path_length": "",
    "has_path": "",
    "dijkstra_path": _TIES,
    "dijkstra_path_length": "",
    "single_source_dijkstra": _TIES,
    "single_source_dijkstra_path": _TIES,
    "single_source_dijkstra_path_length": "Keys in order of distance; among equal "
    "distances in node order (networkx: in the order reached).",
    "multi_source_dijkstra": _TIES,
    "multi_source_dijkstra_path": _TIES,
    "multi_source_dijkstra_path_length": "One source: keys as for "
    "single_source_dijkstra_path_length.",
    "bidirectional_dijkstra": (
        "Returns a shortest path, not always the one networkx's own "
        "bidirectional search meets first. Negative weights are left to networkx."
    ),
    "all_pairs_dijkstra": "",
    "all_pairs_dijkstra_path": "",
    "all_pairs_dijkstra_path_length": "",
    "astar_path": "The heuristic may be called more than once per node. "
    "A cutoff is left to networkx.",
    "astar_path_length": "A cutoff is left to networkx.",
    "bellman_ford_path": "Returns a shortest path, not always networkx's among equal ones.",
    "bellman_ford_path_length": "",
    "single_source_bellman_ford": "Paths as for bellman_ford_path.",
    "single_source_bellman_ford_path": "Paths as for bellman_ford_path.",
    "single_source_bellman_ford_path_length": "",
    "all_pairs_bellman_ford_path": "Paths as for bellman_ford_path.",
    "all_pairs_bellman_ford_path_length": "",
    "dijkstra_predecessor_and_distance": "",
    "predecessor": "",
    "negative_edge_cycle": "",
    "floyd_warshall": "",
    "floyd_warshall_numpy": "A negative self-loop is left to networkx.",
    "floyd_warshall_predecessor_and_distance": "",
    "single_source_shortest_path_length": "",
    "single_source_shortest_path": "",
    "all_pairs_shortest_path": "",
    "all_pairs_shortest_path_length": "",
    "bidirectional_shortest_path": "Returns a shortest path, not always the one networkx's "
    "own bidirectional search meets first.",
}


def get_info() -> dict[str, Any]:
    """networkx's ``networkx.backend_info`` entry point."""
    return {
        "backend_name": "wayloom",
        "project": "wayloom",
        "package": "wayloom",
        "url": "",
        "short_summary": "Shortest paths on wayloom's C++20 search engine.",
        "functions": {
            name: ({"additional_docs": note} if note else {}) for name, note in NOTES.items()
        },
        # nx.config.backends.wayloom.small_graph: below this many nodes plus
        # edges, calls on networkx graphs stay with networkx under priorities.
        "default_config": {"small_graph": 200},
    }
