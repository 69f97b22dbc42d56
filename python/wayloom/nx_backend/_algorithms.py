"""networkx's shortest-path functions on the engine.

Each function takes a converted graph (:class:`WayloomGraph`) and networkx's
own arguments, and returns networkx's containers: labels, not ids. The
engine's Dijkstra and breadth-first search pop and relax in networkx's order
(arcs in adjacency order, ties by insertion), so settle orders, dictionary key
orders and the path chosen among equal ones are networkx's. Where a result
could differ, the function raises ``NotImplementedError`` and networkx runs it.
"""

from __future__ import annotations

from collections import defaultdict
from collections.abc import Callable, Hashable, Iterable, Iterator
from typing import Any

import numpy as np
import wayloom_native as wn

from ..graphs import Graph
from ._convert import Arcs, WayloomGraph, WeightSpec

INF = float("inf")


def _nx() -> Any:
    import networkx

    return networkx


# ---- engine primitives --------------------------------------------------------


def _csr_arrays(graph: Graph) -> tuple[Any, Any, Any]:
    """The engine graph's offsets, targets and weights (copies)."""
    state: Any = graph.__reduce__()[1]
    return (
        np.frombuffer(state[2], dtype=np.uint64).astype(np.int64),
        np.frombuffer(state[3], dtype=np.uint64).astype(np.int64),
        np.frombuffer(state[4], dtype=np.float64),
    )


def _with_super_source(arcs: Arcs, sources: list[int]) -> tuple[Graph, int]:
    """The graph plus one node with a zero-weight arc to each source, in order.

    A search from it pops the sources in the order given, as networkx's
    multi-source Dijkstra pushes them. The engine has no multi-source search,
    so this rebuilds the arcs once per call.
    """
    indptr, targets, weights = _csr_arrays(arcs.graph)
    start = len(indptr) - 1
    indptr = np.append(indptr, indptr[-1] + len(sources))
    targets = np.concatenate([targets, np.asarray(sources, dtype=np.int64)])
    weights = np.concatenate([weights, np.zeros(len(sources))])
    return Graph._from_csr(indptr, targets, weights, start + 1, None), start


def _sweep(
    wg: WayloomGraph, arcs: Arcs, sources: list[int], target: int | None, algorithm: str
) -> tuple[list[tuple[int, float]], dict[int, int]]:
    """Settled nodes with their costs, in settle order, and the parent of every
    reached node but the sources; up to ``target`` if given, else everything."""
    goal = wg.sink if target is None else target
    if len(sources) == 1:
        r = arcs.graph.search(sources[0], goal, algorithm=algorithm, record=True)
        settled: list[tuple[int, float]] = [(u, g) for u, g, _ in r.trace]  # type: ignore[misc]
        return settled, {c: p for p, c in r.tree}
    graph, start = _with_super_source(arcs, sources)
    r = graph.search(start, goal, algorithm=algorithm, record=True)
    settled = [(u, g) for u, g, _ in r.trace[1:]]  # type: ignore[misc]
    return settled, {c: p for p, c in r.tree if p != start}


def _number(arcs: Arcs) -> Callable[[float], Any]:
    return int if arcs.integral else float


def _contradiction(
    arcs: Arcs, settled: list[tuple[int, float]], target: int | None, cutoff: Any
) -> bool:
    """Whether networkx's Dijkstra would have met a settled node made cheaper
    by a negative arc (it raises there; up to that point it ran as ours)."""
    indptr, targets, weights = _csr_arrays(arcs.graph)
    size = len(indptr) - 1
    rank = np.full(size, -1, dtype=np.int64)
    dist = np.full(size, INF)
    if settled:
        ids = np.fromiter((u for u, _ in settled), dtype=np.int64, count=len(settled))
        rank[ids] = np.arange(len(settled))
        dist[ids] = [g for _, g in settled]
    sources = np.repeat(np.arange(size, dtype=np.int64), np.diff(indptr))
    expanded = rank[sources] >= 0
    if target is not None:
        expanded &= sources != target
    through = dist[sources] + weights
    bad = expanded & (rank[targets] >= 0) & (rank[targets] <= rank[sources])
    bad &= through < dist[targets]
    if cutoff is not None:
        bad &= through <= cutoff
    return bool(bad.any())


def _tight_arcs(
    arcs: Arcs, order: list[int], cost: list[float], tight: Callable[[Any, Any, Any], Any]
) -> dict[int, list[int]]:
    """For every node of ``order``, the nodes of ``order`` with an arc into it
    that ``tight(cost_tail, weight, cost_head)`` accepts, in the order networkx
    relaxes them: tails in ``order``, each tail's arcs in adjacency order."""
    indptr, targets, weights = _csr_arrays(arcs.graph)
    size = len(indptr) - 1
    rank = np.full(size, -1, dtype=np.int64)
    at = np.full(size, INF)
    if order:
        rank[order] = np.arange(len(order))
        at[order] = cost
    tails = np.repeat(np.arange(size, dtype=np.int64), np.diff(indptr))
    mask = (rank[tails] >= 0) & (rank[targets] >= 0)
    mask &= tight(at[tails], weights, at[targets])
    picked = np.flatnonzero(mask)
    picked = picked[np.argsort(rank[tails[picked]], kind="stable")]
    out: dict[int, list[int]] = {u: [] for u in order}
    for tail, head in zip(tails[picked].tolist(), targets[picked].tolist()):
        out[head].append(tail)
    return out


def _dijkstra(
    wg: WayloomGraph,
    weight: WeightSpec,
    sources: list[int],
    target: int | None = None,
    cutoff: Any = None,
) -> tuple[list[tuple[int, float]], dict[int, int], Arcs]:
    arcs = wg.arcs(weight)
    settled, parents = _sweep(wg, arcs, sources, target, "dijkstra")
    if arcs.negative and _contradiction(arcs, settled, target, cutoff):
        raise ValueError("Contradictory paths found:", "negative weights?")
    if cutoff is not None:
        settled = [(u, g) for u, g in settled if g <= cutoff]
    return settled, parents, arcs


def _swept_lengths(wg: WayloomGraph, arcs: Arcs, source: int, cutoff: Any) -> dict[Hashable, Any]:
    """Distances from one source on non-negative arcs, without a settle order:
    keys by distance, ties in node order (networkx's own order among equal
    distances is its insertion order)."""
    n = len(wg)
    d = arcs.graph.distances(source, limit=cutoff)[:n]
    reached = np.flatnonzero(d < INF)
    order = reached[np.argsort(d[reached], kind="stable")]
    values = d[order]
    listed = values.astype(np.int64).tolist() if arcs.integral else values.tolist()
    out = dict(zip(wg.label_array()[order].tolist(), listed))
    out[wg.nodes[source]] = 0
    return out


def _cheapest(arcs: Arcs, s: int, t: int, cutoff: Any = None) -> Any:
    """One source, one target, non-negative arcs: the engine's Dijkstra (the
    same path networkx's picks) without recording; None when out of reach."""
    r = arcs.graph.search(s, t, algorithm="dijkstra", record=False)
    if not r.found or (cutoff is not None and r.cost > cutoff):
        return None
    return r


def _lengths(
    wg: WayloomGraph, arcs: Arcs, settled: list[tuple[int, float]], sources: list[int]
) -> dict[Hashable, Any]:
    nodes, number = wg.nodes, _number(arcs)
    out = {nodes[u]: number(g) for u, g in settled}
    for s in sources:  # networkx's sources start at the int 0
        out[nodes[s]] = 0
    return out


def _paths(
    wg: WayloomGraph, settled: list[tuple[int, float]], parents: dict[int, int]
) -> dict[Hashable, list[Hashable]]:
    nodes = wg.nodes
    by_id: dict[int, list[Hashable]] = {}
    for u, _ in settled:
        p = parents.get(u)
        by_id[u] = [nodes[u]] if p is None else by_id[p] + [nodes[u]]
    return {nodes[u]: path for u, path in by_id.items()}


def _path_to(wg: WayloomGraph, parents: dict[int, int], target: int) -> list[Hashable]:
    chain = [target]
    while (p := parents.get(chain[-1])) is not None:
        chain.append(p)
    chain.reverse()
    return wg.labels(chain)


def _ids(wg: WayloomGraph, sources: Iterable[Hashable]) -> list[int]:
    nx = _nx()
    if not sources:
        raise ValueError("sources must not be empty")
    for s in sources:
        if s not in wg:
            raise nx.NodeNotFound(f"Node {s} not found in graph")
    return [wg.index[s] for s in sources]


# ---- Dijkstra -------------------------------------------------------------------


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


def _edge_list(arcs: Arcs, extra: list[tuple[int, int, float]] = ()) -> list[Any]:  # type: ignore[assignment]
    indptr, targets, weights = _csr_arrays(arcs.graph)
    sources = np.repeat(np.arange(len(indptr) - 1, dtype=np.int64), np.diff(indptr))
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
