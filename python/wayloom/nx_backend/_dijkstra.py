"""networkx's Dijkstra and A* functions on the engine."""

from __future__ import annotations

from collections.abc import Hashable, Iterator
from typing import Any

from ._common import (
    _cheapest,
    _dijkstra,
    _ids,
    _lengths,
    _number,
    _nx,
    _path_to,
    _paths,
    _swept_lengths,
    _tight_arcs,
)
from ._convert import Arcs, WayloomGraph, WeightSpec


def multi_source_dijkstra(
    G: WayloomGraph,
    sources: Any,
    target: Any = None,
    cutoff: Any = None,
    weight: WeightSpec = "weight",
) -> Any:
    nx = _nx()
    ids = _ids(G, sources)
    if target in sources:
        return (0, [target])
    goal = G.index.get(target) if target is not None and target in G else None
    if goal is not None and len(ids) == 1 and not (arcs := G.arcs(weight)).negative:
        r = _cheapest(arcs, ids[0], goal, cutoff)
        if r is None:
            raise nx.NetworkXNoPath(f"No path to {target}.")
        return _number(arcs)(r.cost), G.labels(r.path)
    settled, parents, arcs = _dijkstra(G, weight, ids, goal, cutoff)
    if target is None:
        return _lengths(G, arcs, settled, ids), _paths(G, settled, parents)
    if goal is None or not settled or settled[-1][0] != goal:
        raise nx.NetworkXNoPath(f"No path to {target}.")
    return _number(arcs)(settled[-1][1]), _path_to(G, parents, goal)


def multi_source_dijkstra_path(
    G: WayloomGraph, sources: Any, cutoff: Any = None, weight: WeightSpec = "weight"
) -> Any:
    return multi_source_dijkstra(G, sources, cutoff=cutoff, weight=weight)[1]


def multi_source_dijkstra_path_length(
    G: WayloomGraph, sources: Any, cutoff: Any = None, weight: WeightSpec = "weight"
) -> Any:
    ids = _ids(G, sources)
    if len(ids) == 1 and not (arcs := G.arcs(weight)).negative:
        return _swept_lengths(G, arcs, ids[0], cutoff)
    settled, _, arcs = _dijkstra(G, weight, ids, None, cutoff)
    return _lengths(G, arcs, settled, ids)


def single_source_dijkstra(
    G: WayloomGraph,
    source: Any,
    target: Any = None,
    cutoff: Any = None,
    weight: WeightSpec = "weight",
) -> Any:
    return multi_source_dijkstra(G, {source}, target=target, cutoff=cutoff, weight=weight)


def single_source_dijkstra_path(
    G: WayloomGraph, source: Any, cutoff: Any = None, weight: WeightSpec = "weight"
) -> Any:
    return multi_source_dijkstra(G, {source}, cutoff=cutoff, weight=weight)[1]


def single_source_dijkstra_path_length(
    G: WayloomGraph, source: Any, cutoff: Any = None, weight: WeightSpec = "weight"
) -> Any:
    return multi_source_dijkstra_path_length(G, {source}, cutoff=cutoff, weight=weight)


def dijkstra_path(G: WayloomGraph, source: Any, target: Any, weight: WeightSpec = "weight") -> Any:
    return single_source_dijkstra(G, source, target=target, weight=weight)[1]


def dijkstra_path_length(
    G: WayloomGraph, source: Any, target: Any, weight: WeightSpec = "weight"
) -> Any:
    nx = _nx()
    if source not in G:
        raise nx.NodeNotFound(f"Node {source} not found in graph")
    if source == target:
        return 0
    goal = G.index[target] if target in G else None
    if goal is not None and not (arcs := G.arcs(weight)).negative:
        r = _cheapest(arcs, G.index[source], goal)
        if r is None:
            raise nx.NetworkXNoPath(f"Node {target} not reachable from {source}")
        return _number(arcs)(r.cost)
    settled, _, arcs = _dijkstra(G, weight, [G.index[source]], goal)
    if goal is None or not settled or settled[-1][0] != goal:
        raise nx.NetworkXNoPath(f"Node {target} not reachable from {source}")
    return _number(arcs)(settled[-1][1])


def dijkstra_predecessor_and_distance(
    G: WayloomGraph, source: Any, cutoff: Any = None, weight: WeightSpec = "weight"
) -> Any:
    nx = _nx()
    if source not in G:
        raise nx.NodeNotFound(f"Node {source} is not found in the graph")
    s = G.index[source]
    settled, _, arcs = _dijkstra(G, weight, [s], None, cutoff)
    order = [u for u, _ in settled]

    def tight(tail: Any, w: Any, head: Any) -> Any:
        through = tail + w
        ok = through == head
        return ok if cutoff is None else ok & (through <= cutoff)

    # Every tail that reaches a node at its final cost is a predecessor, in
    # the order the search relaxed them (networkx keeps all of them).
    found = _tight_arcs(arcs, order, [g for _, g in settled], tight)
    nodes = G.nodes
    pred = {nodes[u]: G.labels(found[u]) for u in order}
    return pred, _lengths(G, arcs, settled, [s])


def _point_to_point(arcs: Arcs, s: int, t: int) -> Any:
    """One cheapest path, searched from both ends."""
    return arcs.graph.search(s, t, algorithm="bidirectional_dijkstra", record=False)


def bidirectional_dijkstra(
    G: WayloomGraph, source: Any, target: Any, weight: WeightSpec = "weight"
) -> Any:
    nx = _nx()
    if source not in G:
        raise nx.NodeNotFound(f"Source {source} is not in G")
    if target not in G:
        raise nx.NodeNotFound(f"Target {target} is not in G")
    if source == target:
        return (0, [source])
    arcs = G.arcs(weight)
    if arcs.negative:
        raise NotImplementedError("negative weights: networkx's own search says where it fails")
    r = _point_to_point(arcs, G.index[source], G.index[target])
    if not r.found:
        raise nx.NetworkXNoPath(f"No path between {source} and {target}.")
    return _number(arcs)(r.cost), G.labels(r.path)


def all_pairs_dijkstra(G: WayloomGraph, cutoff: Any = None, weight: WeightSpec = "weight") -> Any:
    for n in G.nodes:
        yield (n, single_source_dijkstra(G, n, cutoff=cutoff, weight=weight))


def all_pairs_dijkstra_path_length(
    G: WayloomGraph, cutoff: Any = None, weight: WeightSpec = "weight"
) -> Iterator[tuple[Hashable, dict[Hashable, Any]]]:
    for n in G.nodes:
        yield (n, single_source_dijkstra_path_length(G, n, cutoff=cutoff, weight=weight))


def all_pairs_dijkstra_path(
    G: WayloomGraph, cutoff: Any = None, weight: WeightSpec = "weight"
) -> Iterator[tuple[Hashable, dict[Hashable, Any]]]:
    for n in G.nodes:
        yield (n, single_source_dijkstra_path(G, n, cutoff=cutoff, weight=weight))


# ---- A* -------------------------------------------------------------------------


def _astar(G: WayloomGraph, source: Any, target: Any, heuristic: Any, weight: WeightSpec) -> Any:
    arcs = G.arcs(weight)
    if arcs.negative:
        raise NotImplementedError("negative weights: networkx's A* decides what they give")
    s, t = G.index[source], G.index[target]
    if heuristic is None:
        r = arcs.graph.search(s, t, algorithm="dijkstra", record=False)
    else:
        nodes = G.nodes
        r = arcs.graph.search(
            s,
            t,
            algorithm="astar",
            heuristic=lambda u, v: heuristic(nodes[u], nodes[v]),
            record=False,
            reopen=True,
        )
    if not r.found:
        raise _nx().NetworkXNoPath(f"Node {target} not reachable from {source}")
    return r, arcs


def astar_path(
    G: WayloomGraph,
    source: Any,
    target: Any,
    heuristic: Any = None,
    weight: WeightSpec = "weight",
    *,
    cutoff: Any = None,
) -> Any:
    nx = _nx()
    if source not in G:
        raise nx.NodeNotFound(f"Source {source} is not in G")
    if target not in G:
        raise nx.NodeNotFound(f"Target {target} is not in G")
    r, _ = _astar(G, source, target, heuristic, weight)
    return G.labels(r.path)


def astar_path_length(
    G: WayloomGraph,
    source: Any,
    target: Any,
    heuristic: Any = None,
    weight: WeightSpec = "weight",
    *,
    cutoff: Any = None,
) -> Any:
    nx = _nx()
    if source not in G or target not in G:
        raise nx.NodeNotFound(f"Either source {source} or target {target} is not in G")
    r, arcs = _astar(G, source, target, heuristic, weight)
    return _number(arcs)(r.cost)


# ---- Bellman-Ford, negative cycles, Floyd-Warshall ----------------------------
