"""networkx graphs to wayloom graphs and back.

A converted graph keeps the labels in networkx's node order (node ``i`` of the
engine's graph is ``nodes[i]``) and the arcs in networkx's adjacency order, so
the engine's searches break ties exactly as networkx's loops do. One extra
node with no arcs (id ``len(nodes)``) is a goal no search reaches: a search
towards it sweeps everything reachable.
"""

from __future__ import annotations

from collections.abc import Callable, Hashable, Iterable
from itertools import chain, repeat
from operator import itemgetter
from typing import Any

import numpy as np

from ..graphs import Graph

__all__ = ["Arcs", "WayloomGraph", "convert_from_nx", "convert_to_nx"]

#: A weight as networkx takes it: an attribute name, a callable, or None (hops).
WeightSpec = str | Callable[..., Any] | None


class Arcs:
    """One weighting of a converted graph: the engine's graph and what the
    backend needs to know about its weights."""

    __slots__ = ("_csr", "graph", "hidden", "integral", "negative", "negative_loop")

    def __init__(
        self, graph: Graph, integral: bool, negative: bool, negative_loop: bool, hidden: bool
    ) -> None:
        self.graph = graph
        #: Every weight was an int (or bool): distances go back as ints, as
        #: networkx's sums of ints are.
        self.integral = integral
        self.negative = negative
        self.negative_loop = negative_loop
        #: Some edge was hidden by a weight of None.
        self.hidden = hidden
        self._csr: tuple[Any, Any, Any, Any] | None = None

    def csr(self) -> tuple[Any, Any, Any, Any]:
        """The engine graph's offsets, targets, weights and each arc's tail as
        numpy arrays, read out once (an Arcs is cached per weighting)."""
        if self._csr is None:
            state: Any = self.graph.__reduce__()[1]
            indptr = np.frombuffer(state[2], dtype=np.uint64).astype(np.int64)
            tails = np.repeat(np.arange(len(indptr) - 1, dtype=np.int64), np.diff(indptr))
            targets = np.frombuffer(state[3], dtype=np.uint64).astype(np.int64)
            self._csr = (indptr, targets, np.frombuffer(state[4], dtype=np.float64), tails)
        return self._csr


def _positions(
    adj: dict[Hashable, dict[Hashable, Any]], index: dict[Hashable, int], total: int
) -> Any:
    """The id of every arc's head, in adjacency order.

    A neighbour is usually the very object that keys the node, so heads are
    matched by address first: no hashing, and no reading of the label objects
    scattered over memory. Heads that are only equal to their node's key (an
    equal string made elsewhere, 1 for 1.0) are looked up by value.
    """
    heads = list(chain.from_iterable(adj.values()))
    n = len(index)
    if n == 0 or total == 0:
        return np.zeros(0, dtype=np.int64)
    own = np.fromiter(map(id, index), dtype=np.int64, count=n)
    order = np.argsort(own)
    by_address = own[order]
    wanted = np.fromiter(map(id, heads), dtype=np.int64, count=total)
    # Searched in address order: the binary searches then walk memory forwards.
    sort = np.argsort(wanted)
    at = np.empty(total, dtype=np.int64)
    at[sort] = np.minimum(np.searchsorted(by_address, wanted[sort]), n - 1)
    out = order[at]
    missed = np.flatnonzero(by_address[at] != wanted)
    if len(missed):
        out[missed] = [index[heads[i]] for i in missed.tolist()]
    return out


def _csr(
    adj: dict[Hashable, dict[Hashable, Any]],
    index: dict[Hashable, int],
    weights: list[Any] | None,
    shared: Any = None,
    symmetric: bool = False,
) -> Arcs:
    """``weights`` per arc, or with ``shared`` (arc -> position) one per
    distinct edge, spread over the arcs that share it. ``symmetric``: every arc
    has its reverse at the same weight (then a search from the target walks
    these arcs, with no reversed copy)."""
    n = len(index)
    degrees = np.fromiter(map(len, adj.values()), dtype=np.int64, count=n)
    total = int(degrees.sum())
    targets = _positions(adj, index, total)
    sources = None
    hidden = False
    if weights is None:
        w = np.ones(total, dtype=np.float64)
        integral = True
    else:
        raw = np.array(weights) if weights else np.zeros(0, dtype=np.int64)
        if shared is not None:
            if raw.dtype == object or raw.ndim != 1:
                weights = [weights[i] for i in shared.tolist()]
            else:
                raw = raw[shared]
        if raw.dtype == object or raw.ndim != 1:
            # None hides an edge, as in networkx; anything else that is not a
            # plain number is left to networkx.
            keep = np.fromiter((x is not None for x in weights), dtype=bool, count=total)
            kept = [x for x in weights if x is not None]
            raw = np.array(kept) if kept else np.zeros(0, dtype=np.int64)
            if raw.dtype == object or raw.ndim != 1:
                raise NotImplementedError("edge weights must be ints or floats")
            hidden = True
            owner = np.repeat(np.arange(n, dtype=np.int64), degrees)
            degrees = np.bincount(owner[keep], minlength=n).astype(np.int64)
            targets = targets[keep]
        if raw.dtype.kind not in "iubf":
            raise NotImplementedError("edge weights must be ints or floats")
        integral = raw.dtype.kind in "iub"
        w = raw.astype(np.float64)
        if integral and len(raw) and np.abs(raw).max() > 2**53:
            raise NotImplementedError("integer weights beyond 2**53 would lose precision")
    indptr = np.zeros(n + 2, dtype=np.int64)
    np.cumsum(degrees, out=indptr[1 : n + 1])
    indptr[n + 1] = indptr[n]
    negative = bool(len(w) and w.min() < 0)
    negative_loop = False
    if negative:
        sources = np.repeat(np.arange(n, dtype=np.int64), np.diff(indptr[: n + 1]))
        negative_loop = bool(np.any((sources == targets) & (w < 0)))
    graph = Graph._from_csr(indptr, targets, w, n + 1, None, undirected=symmetric)
    return Arcs(graph, integral, negative, negative_loop, hidden)


class WayloomGraph:
    """A networkx graph converted for the wayloom backend.

    Holds the node labels in networkx's order, their index, the arcs under the
    weighting asked for at conversion (others are made on demand from the
    original graph, which is kept by reference) and the graph's kind.
    """

    __networkx_backend__ = "wayloom"
    __slots__ = (
        "_arcs",
        "_label_array",
        "directed",
        "index",
        "multigraph",
        "nodes",
        "nx_graph",
        "__weakref__",
    )

    def __init__(self, G: Any, weight: WeightSpec | bool = None) -> None:
        self.nx_graph = G
        self.nodes: list[Hashable] = list(G._adj)
        self.index: dict[Hashable, int] = {x: i for i, x in enumerate(self.nodes)}
        self.directed: bool = G.is_directed()
        self.multigraph: bool = G.is_multigraph()
        self._arcs: dict[str | None, Arcs] = {}
        self._label_array: Any = None
        if weight is not False and not callable(weight):
            self.arcs(weight)  # type: ignore[arg-type]

    def __len__(self) -> int:
        return len(self.nodes)

    def __contains__(self, node: object) -> bool:
        try:
            return node in self.index
        except TypeError:  # unhashable: networkx says "not in G" too
            return False

    def __iter__(self) -> Any:
        return iter(self.nodes)

    def is_directed(self) -> bool:
        return self.directed

    def is_multigraph(self) -> bool:
        return self.multigraph

    @property
    def sink(self) -> int:
        """The id of the unreachable extra node."""
        return len(self.nodes)

    def arcs(self, weight: WeightSpec) -> Arcs:
        """The engine's graph under ``weight`` (an attribute name, a callable
        evaluated once per arc, or None for one per edge)."""
        if callable(weight):
            return self._build(weight)
        key = weight
        found = self._arcs.get(key)
        if found is None:
            found = self._arcs[key] = self._build(weight)
        return found

    def _build(self, weight: WeightSpec) -> Arcs:
        adj = self.nx_graph._adj
        if type(adj) is not dict:  # a view (subgraph, restricted): its dicts filtered
            adj = {u: dict(nbrs) for u, nbrs in adj.items()}
        # A callable may weigh the two ways of an undirected edge apart.
        symmetric = not self.directed and not callable(weight)
        if not self.multigraph and not callable(weight):
            # Plain numbers under one attribute: read in one pass by the engine.
            built = Graph._from_adjacency(adj, self.index, weight, symmetric)
            if built is not None:
                return Arcs(*built, hidden=False)
        if weight is None:
            return _csr(adj, self.index, None, symmetric=symmetric)
        if callable(weight):
            values = [weight(u, v, d) for u, nbrs in adj.items() for v, d in nbrs.items()]
        elif self.multigraph:
            values = [
                min(d.get(weight, 1) for d in keys.values())
                for nbrs in adj.values()
                for keys in nbrs.values()
            ]
        else:
            data = list(chain.from_iterable(map(dict.values, adj.values())))
            shared = None
            if not self.directed and data:
                # Both arcs of an undirected edge hold the same attribute
                # dict: read each dict once, found by address.
                address = np.fromiter(map(id, data), dtype=np.int64, count=len(data))
                order = np.argsort(address)
                first = np.empty(len(data), dtype=bool)
                first[0] = True
                np.not_equal(address[order][1:], address[order][:-1], out=first[1:])
                shared = np.empty(len(data), dtype=np.int64)
                shared[order] = np.cumsum(first) - 1
                data = [data[i] for i in order[first].tolist()]
            try:  # every edge weighted: the quickest way to read them
                values = list(map(itemgetter(weight), data))
            except KeyError:  # some edge without: it weighs 1
                values = list(map(dict.get, data, repeat(weight), repeat(1)))
            return _csr(adj, self.index, values, shared, symmetric)
        return _csr(adj, self.index, values, symmetric=symmetric)

    def label_array(self) -> Any:
        """The labels as a numpy object array, for picking many at once."""
        if self._label_array is None:
            a = np.empty(len(self.nodes), dtype=object)
            a[:] = self.nodes if self.nodes else []
            self._label_array = a
        return self._label_array

    def labels(self, ids: Iterable[int]) -> list[Hashable]:
        nodes = self.nodes
        return [nodes[i] for i in ids]


def convert_from_nx(
    G: Any,
    edge_attrs: dict[str, Any] | None = None,
    node_attrs: dict[str, Any] | None = None,
    preserve_edge_attrs: bool = False,
    preserve_node_attrs: bool = False,
    preserve_graph_attrs: bool = False,
    name: str | None = None,
    graph_name: str | None = None,
    *,
    weight: WeightSpec = None,
) -> WayloomGraph:
    """A :class:`WayloomGraph` of the networkx graph ``G``.

    ``edge_attrs`` names the weight attribute (networkx passes ``{attr: 1}``),
    or ``weight=`` does; missing attributes weigh 1 and a multigraph's parallel
    edges count by their smallest weight. With ``preserve_edge_attrs`` (a
    callable weight) the arcs are weighted when the algorithm is called.
    """
    import networkx as nx

    if isinstance(G, WayloomGraph):
        return G
    if not isinstance(G, nx.Graph):
        raise TypeError(f"expected a networkx graph, got {type(G).__name__}")
    if edge_attrs:
        if len(edge_attrs) != 1:
            raise NotImplementedError("one weight attribute at a time")
        (attr, default), *_ = edge_attrs.items()
        if default != 1:
            raise NotImplementedError("missing weights other than 1")
        return WayloomGraph(G, attr)
    if preserve_edge_attrs:
        return WayloomGraph(G, False)
    return WayloomGraph(G, weight)


def convert_to_nx(obj: Any, *, name: str | None = None) -> Any:
    """Results are networkx's containers already; a converted graph goes back
    to the graph it came from."""
    if isinstance(obj, WayloomGraph):
        return obj.nx_graph
    return obj
