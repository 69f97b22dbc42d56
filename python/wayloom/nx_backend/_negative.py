"""networkx's Bellman-Ford and Floyd-Warshall functions on the engine."""

from __future__ import annotations

from collections import defaultdict
from collections.abc import Hashable
from typing import Any

import numpy as np
import wayloom_native as wn

from ._common import INF, _number, _nx
from ._convert import Arcs, WayloomGraph, WeightSpec


def _edge_list(arcs: Arcs, extra: list[tuple[int, int, float]] = ()) -> list[Any]:  # type: ignore[assignment]
    _, targets, weights, sources = arcs.csr()
    return list(zip(sources.tolist(), targets.tolist(), weights.tolist())) + list(extra)


def _bellman_ford(G: WayloomGraph, source: Any, weight: WeightSpec) -> tuple[Any, Arcs]:
    nx = _nx()
    if source not in G:
        raise nx.NodeNotFound(f"Source {source} not in G")
    arcs = G.arcs(weight)
    r = wn.bellman_ford(len(G) + 1, _edge_list(arcs), G.index[source])
    if r.negative_cycle:
        raise nx.NetworkXUnbounded("Negative cycle detected.")
    return r, arcs


def _bf_lengths(G: WayloomGraph, r: Any, arcs: Arcs, source: Any) -> dict[Hashable, Any]:
    number, nodes = _number(arcs), G.nodes
    out = {nodes[i]: number(d) for i, d in enumerate(r.dist[: len(nodes)]) if d != INF}
    out[source] = 0
    return out


def single_source_bellman_ford_path_length(
    G: WayloomGraph, source: Any, weight: WeightSpec = "weight"
) -> Any:
    r, arcs = _bellman_ford(G, source, weight)
    return _bf_lengths(G, r, arcs, source)


def single_source_bellman_ford(
    G: WayloomGraph, source: Any, target: Any = None, weight: WeightSpec = "weight"
) -> Any:
    nx = _nx()
    if source == target:
        if source not in G:
            raise nx.NodeNotFound(f"Node {source} is not found in the graph")
        return (0, [source])
    r, arcs = _bellman_ford(G, source, weight)
    if target is None:
        paths = {
            G.nodes[i]: G.labels(r.path_to(i)) for i, d in enumerate(r.dist[: len(G)]) if d != INF
        }
        return _bf_lengths(G, r, arcs, source), paths
    t = G.index.get(target) if target in G else None
    if t is None or r.dist[t] == INF:
        raise nx.NetworkXNoPath(f"Node {target} not reachable from {source}")
    return _number(arcs)(r.dist[t]), G.labels(r.path_to(t))


def single_source_bellman_ford_path(
    G: WayloomGraph, source: Any, weight: WeightSpec = "weight"
) -> Any:
    return single_source_bellman_ford(G, source, weight=weight)[1]


def bellman_ford_path(
    G: WayloomGraph, source: Any, target: Any, weight: WeightSpec = "weight"
) -> Any:
    return single_source_bellman_ford(G, source, target=target, weight=weight)[1]


def bellman_ford_path_length(
    G: WayloomGraph, source: Any, target: Any, weight: WeightSpec = "weight"
) -> Any:
    nx = _nx()
    if source == target:
        if source not in G:
            raise nx.NodeNotFound(f"Node {source} not found in graph")
        return 0
    r, arcs = _bellman_ford(G, source, weight)
    t = G.index.get(target) if target in G else None
    if t is None or r.dist[t] == INF:
        raise nx.NetworkXNoPath(f"node {target} not reachable from {source}")
    return _number(arcs)(r.dist[t])


def all_pairs_bellman_ford_path_length(G: WayloomGraph, weight: WeightSpec = "weight") -> Any:
    for n in G.nodes:
        yield (n, single_source_bellman_ford_path_length(G, n, weight=weight))


def all_pairs_bellman_ford_path(G: WayloomGraph, weight: WeightSpec = "weight") -> Any:
    for n in G.nodes:
        yield (n, single_source_bellman_ford_path(G, n, weight=weight))


def negative_edge_cycle(
    G: WayloomGraph, weight: WeightSpec = "weight", heuristic: bool = True
) -> bool:
    if G.nx_graph.size() == 0:
        return False
    arcs = G.arcs(weight)
    if not arcs.negative:
        return False
    # Bellman-Ford from one extra node with an arc to every node reaches every
    # cycle, as networkx's temporary node does.
    n = len(G)
    r = wn.bellman_ford(n + 2, _edge_list(arcs, [(n + 1, i, 0.0) for i in range(n)]), n + 1)
    return bool(r.negative_cycle)


def _all_pairs(G: WayloomGraph, weight: WeightSpec) -> tuple[Any, Arcs]:
    arcs = G.arcs(weight)
    return wn.floyd_warshall(len(G) + 1, _edge_list(arcs)), arcs


def floyd_warshall_predecessor_and_distance(G: WayloomGraph, weight: WeightSpec = "weight") -> Any:
    if callable(weight):
        raise NotImplementedError("networkx's Floyd-Warshall reads weights by attribute only")
    ap, arcs = _all_pairs(G, weight)
    nodes, n = G.nodes, len(G)
    dist: dict[Hashable, Any] = {}
    pred: dict[Hashable, dict[Hashable, Hashable]] = {}
    matrix = ap.matrix()
    for i, u in enumerate(nodes):
        row = matrix[i]
        du: defaultdict[Hashable, Any] = defaultdict(lambda: INF)
        for j, v in enumerate(nodes):
            du[v] = row[j]
        dist[u] = du
        pu = {}
        for j in range(n):
            if j != i and row[j] != INF:
                path = ap.path(i, j)
                if path is not None:
                    pu[nodes[j]] = nodes[path[-2]]
        if pu:
            pred[u] = pu
    # networkx records each self-loop as its own predecessor
    for u, nbrs in G.nx_graph._adj.items():
        if u in nbrs:
            pred.setdefault(u, {})[u] = u
    return pred, dist


def floyd_warshall(G: WayloomGraph, weight: WeightSpec = "weight") -> Any:
    return floyd_warshall_predecessor_and_distance(G, weight=weight)[1]


def floyd_warshall_numpy(
    G: WayloomGraph, nodelist: Any = None, weight: WeightSpec = "weight"
) -> Any:
    nx = _nx()
    if nodelist is not None:
        if not (len(nodelist) == len(G) == len(set(nodelist))):
            raise nx.NetworkXError(
                "nodelist must contain every node in G with no repeats."
                "If you wanted a subgraph of G use G.subgraph(nodelist)"
            )
        missing = set(nodelist) - set(G.index)
        if missing:
            raise nx.NetworkXError(f"Nodes {missing} in nodelist is not in G")
    arcs = G.arcs(weight)
    if arcs.negative_loop or callable(weight):
        # networkx zeroes the diagonal over a negative self-loop
        raise NotImplementedError("negative self-loops are left to networkx")
    ap = wn.floyd_warshall(len(G) + 1, _edge_list(arcs))
    n = len(G)
    a = np.array(ap.matrix(), dtype=np.float64).reshape(n + 1, n + 1)[:n, :n]
    if nodelist is not None:
        order = [G.index[v] for v in nodelist]
        a = a[np.ix_(order, order)]
    return a


# ---- unweighted -------------------------------------------------------------------
