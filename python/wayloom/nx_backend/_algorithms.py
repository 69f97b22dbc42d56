"""networkx's shortest-path functions on the engine.

Each function takes a converted graph (:class:`WayloomGraph`) and networkx's
own arguments, and returns networkx's containers: labels, not ids. The
engine's Dijkstra and breadth-first search pop and relax in networkx's order
(arcs in adjacency order, ties by insertion), so settle orders, dictionary key
orders and the path chosen among equal ones are networkx's. Where a result
could differ, the function raises ``NotImplementedError`` and networkx runs it.
"""

from __future__ import annotations

from collections.abc import Callable
from typing import Any

from ._common import _nx, _paths, _sweep, _tight_arcs
from ._convert import WayloomGraph, WeightSpec
from ._dijkstra import (
    all_pairs_dijkstra,
    all_pairs_dijkstra_path,
    all_pairs_dijkstra_path_length,
    astar_path,
    astar_path_length,
    bidirectional_dijkstra,
    dijkstra_path,
    dijkstra_path_length,
    dijkstra_predecessor_and_distance,
    multi_source_dijkstra,
    multi_source_dijkstra_path,
    multi_source_dijkstra_path_length,
    single_source_dijkstra,
    single_source_dijkstra_path,
    single_source_dijkstra_path_length,
)
from ._negative import (
    all_pairs_bellman_ford_path,
    all_pairs_bellman_ford_path_length,
    bellman_ford_path,
    bellman_ford_path_length,
    floyd_warshall,
    floyd_warshall_numpy,
    floyd_warshall_predecessor_and_distance,
    negative_edge_cycle,
    single_source_bellman_ford,
    single_source_bellman_ford_path,
    single_source_bellman_ford_path_length,
)


def _bfs(
    G: WayloomGraph, source: int, target: int | None = None
) -> tuple[list[int], dict[int, int]]:
    """Nodes in breadth-first order (networkx's discovery order) and parents."""
    arcs = G.arcs(None)
    settled, parents = _sweep(G, arcs, [source], target, "bfs")
    return [u for u, _ in settled], parents


def _levels(order: list[int], parents: dict[int, int], cutoff: Any) -> list[tuple[int, int]]:
    level: dict[int, int] = {}
    out = []
    for u in order:
        p = parents.get(u)
        d = 0 if p is None else level[p] + 1
        level[u] = d
        if cutoff is None or d <= cutoff:
            out.append((u, d))
    return out


def single_source_shortest_path_length(G: WayloomGraph, source: Any, cutoff: Any = None) -> Any:
    nx = _nx()
    if source not in G:
        raise nx.NodeNotFound(f"Source {source} is not in G")
    order, parents = _bfs(G, G.index[source])
    nodes = G.nodes
    return {nodes[u]: d for u, d in _levels(order, parents, cutoff)}


def single_source_shortest_path(G: WayloomGraph, source: Any, cutoff: Any = None) -> Any:
    nx = _nx()
    if source not in G:
        raise nx.NodeNotFound(f"Source {source} not in G")
    order, parents = _bfs(G, G.index[source])
    kept = [(u, float(d)) for u, d in _levels(order, parents, cutoff)]
    return _paths(G, kept, parents)


def all_pairs_shortest_path_length(G: WayloomGraph, cutoff: Any = None) -> Any:
    for n in G.nodes:
        yield (n, single_source_shortest_path_length(G, n, cutoff=cutoff))


def all_pairs_shortest_path(G: WayloomGraph, cutoff: Any = None) -> Any:
    for n in G.nodes:
        yield (n, single_source_shortest_path(G, n, cutoff=cutoff))


def bidirectional_shortest_path(G: WayloomGraph, source: Any, target: Any) -> Any:
    nx = _nx()
    if source not in G:
        raise nx.NodeNotFound(f"Source {source} is not in G")
    if target not in G:
        raise nx.NodeNotFound(f"Target {target} is not in G")
    s, t = G.index[source], G.index[target]
    r = G.arcs(None).graph.search(s, t, algorithm="bfs", record=False)
    if not r.found:
        raise nx.NetworkXNoPath(f"No path between {source} and {target}.")
    return G.labels(r.path or [])


def predecessor(
    G: WayloomGraph,
    source: Any,
    target: Any = None,
    cutoff: Any = None,
    return_seen: Any = None,
) -> Any:
    nx = _nx()
    if source not in G:
        raise nx.NodeNotFound(f"Source {source} not in G")
    order, parents = _bfs(G, G.index[source])
    # networkx stops after the level equal to a truthy cutoff
    levels = _levels(order, parents, cutoff if cutoff else None)
    kept = [u for u, _ in levels]
    found = _tight_arcs(
        G.arcs(None), kept, [float(d) for _, d in levels], lambda t, w, h: t + 1 == h
    )
    nodes = G.nodes
    pred = {nodes[u]: G.labels(found[u]) for u in kept}
    seen = {nodes[u]: d for u, d in levels}
    if target is not None:
        if return_seen:
            return (pred[target], seen[target]) if target in pred else ([], -1)
        return pred.get(target, [])
    return (pred, seen) if return_seen else pred


def has_path(G: WayloomGraph, source: Any, target: Any) -> bool:
    nx = _nx()
    try:
        bidirectional_shortest_path(G, source, target)
    except nx.NetworkXNoPath:
        return False
    return True


# ---- the generic front doors ----------------------------------------------------------


def _reversed(G: WayloomGraph) -> WayloomGraph:
    if not G.directed:
        return G
    return WayloomGraph(G.nx_graph.reverse(copy=False), False)


def _one_pair_path(G: WayloomGraph, s: Any, t: Any, weight: WeightSpec) -> Any:
    return bidirectional_dijkstra(G, s, t, weight)[1]


def _one_pair_hops(G: WayloomGraph, s: Any, t: Any) -> Any:
    return len(bidirectional_shortest_path(G, s, t)) - 1


#: method -> (all pairs, one source, one pair), as networkx's front doors pick.
_FRONT: dict[str, dict[str, tuple[Callable[..., Any], ...]]] = {
    "path": {
        "unweighted": (
            all_pairs_shortest_path,
            single_source_shortest_path,
            bidirectional_shortest_path,
        ),
        "dijkstra": (all_pairs_dijkstra_path, single_source_dijkstra_path, _one_pair_path),
        "bellman-ford": (
            all_pairs_bellman_ford_path,
            single_source_bellman_ford_path,
            bellman_ford_path,
        ),
    },
    "length": {
        "unweighted": (
            all_pairs_shortest_path_length,
            single_source_shortest_path_length,
            _one_pair_hops,
        ),
        "dijkstra": (
            all_pairs_dijkstra_path_length,
            single_source_dijkstra_path_length,
            dijkstra_path_length,
        ),
        "bellman-ford": (
            all_pairs_bellman_ford_path_length,
            single_source_bellman_ford_path_length,
            bellman_ford_path_length,
        ),
    },
}


def _front_door(
    kind: str, G: WayloomGraph, source: Any, target: Any, weight: WeightSpec, method: str
) -> Any:
    if method not in ("dijkstra", "bellman-ford"):
        raise ValueError(f"method not supported: {method}")
    method = "unweighted" if weight is None else method
    every, one_source, one_pair = _FRONT[kind][method]
    w = {} if method == "unweighted" else {"weight": weight}
    if source is None:
        if target is None:
            return every(G, **w)
        # from every node that reaches the target: search the reversed graph
        found = one_source(_reversed(G), target, **w)
        return {n: p[::-1] for n, p in found.items()} if kind == "path" else found
    if target is None:
        return one_source(G, source, **w)
    return one_pair(G, source, target, **w)


def shortest_path(
    G: WayloomGraph,
    source: Any = None,
    target: Any = None,
    weight: WeightSpec = None,
    method: str = "dijkstra",
) -> Any:
    return _front_door("path", G, source, target, weight, method)


def shortest_path_length(
    G: WayloomGraph,
    source: Any = None,
    target: Any = None,
    weight: WeightSpec = None,
    method: str = "dijkstra",
) -> Any:
    return _front_door("length", G, source, target, weight, method)


#: Every function served, by networkx's dispatch name.
FUNCTIONS: dict[str, Callable[..., Any]] = {
    f.__name__: f
    for f in (
        shortest_path,
        shortest_path_length,
        has_path,
        dijkstra_path,
        dijkstra_path_length,
        single_source_dijkstra,
        single_source_dijkstra_path,
        single_source_dijkstra_path_length,
        multi_source_dijkstra,
        multi_source_dijkstra_path,
        multi_source_dijkstra_path_length,
        bidirectional_dijkstra,
        all_pairs_dijkstra,
        all_pairs_dijkstra_path,
        all_pairs_dijkstra_path_length,
        astar_path,
        astar_path_length,
        bellman_ford_path,
        bellman_ford_path_length,
        single_source_bellman_ford,
        single_source_bellman_ford_path,
        single_source_bellman_ford_path_length,
        all_pairs_bellman_ford_path,
        all_pairs_bellman_ford_path_length,
        dijkstra_predecessor_and_distance,
        predecessor,
        negative_edge_cycle,
        floyd_warshall,
        floyd_warshall_numpy,
        floyd_warshall_predecessor_and_distance,
        single_source_shortest_path_length,
        single_source_shortest_path,
        all_pairs_shortest_path,
        all_pairs_shortest_path_length,
        bidirectional_shortest_path,
    )
}
