"""Helpers the backend's functions share: sweeps of the engine, networkx's
numbers and errors, label and id conversions."""

from __future__ import annotations

from collections.abc import Callable, Hashable, Iterable
from typing import Any

import numpy as np

from ..graphs import Graph
from ._convert import Arcs, WayloomGraph, WeightSpec

INF = float("inf")


def _nx() -> Any:
    import networkx

    return networkx


# ---- engine primitives --------------------------------------------------------


def _with_super_source(arcs: Arcs, sources: list[int]) -> tuple[Graph, int]:
    """The graph plus one node with a zero-weight arc to each source, in order.

    A search from it pops the sources in the order given, as networkx's
    multi-source Dijkstra pushes them. The engine has no multi-source search,
    so this rebuilds the arcs once per call.
    """
    indptr, targets, weights, _ = arcs.csr()
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
    indptr, targets, weights, sources = arcs.csr()
    size = len(indptr) - 1
    rank = np.full(size, -1, dtype=np.int64)
    dist = np.full(size, INF)
    if settled:
        ids = np.fromiter((u for u, _ in settled), dtype=np.int64, count=len(settled))
        rank[ids] = np.arange(len(settled))
        dist[ids] = [g for _, g in settled]
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
    indptr, targets, weights, tails = arcs.csr()
    size = len(indptr) - 1
    rank = np.full(size, -1, dtype=np.int64)
    at = np.full(size, INF)
    if order:
        rank[order] = np.arange(len(order))
        at[order] = cost
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
    """Distances from one source on non-negative arcs, built by the engine in
    its settle order: keys by distance, ties in node order (networkx's own
    order among equal distances is its insertion order)."""
    out: dict[Hashable, Any] = arcs.graph._settled(source, cutoff, wg.nodes, arcs.integral)
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
