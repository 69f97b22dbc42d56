"""The ``graph`` sub-command: a weighted graph from an edge list or a sparse matrix file."""

from __future__ import annotations

import argparse

import wayloom_native

from .errors import UsageError
from .problems import Command, Problem, arg, read_text, show_chain, switch

_MATRIX_FILES = (".npz", ".mtx", ".mtx.gz")


def _matrix_edges(path: str) -> tuple[list[tuple[int, int, float]], int]:
    """The arcs and size of a scipy.sparse .npz or a Matrix Market file."""
    try:
        import scipy.io
        import scipy.sparse
    except ImportError:
        raise UsageError(f"{path}: reading a matrix file needs scipy (pip install scipy)") from None
    try:
        m = scipy.sparse.load_npz(path) if path.lower().endswith(".npz") else scipy.io.mmread(path)
        coo = scipy.sparse.coo_matrix(m)
    except (OSError, ValueError) as e:
        raise UsageError(f"{path}: cannot read the matrix: {e}") from None
    edges = list(
        zip(coo.row.tolist(), coo.col.tolist(), coo.data.astype(float).tolist(), strict=True)
    )
    return edges, int(max(coo.shape))


def _edge_list(path: str) -> list[tuple[int, int, float]]:
    edges = []
    for number, line in enumerate(read_text(path).splitlines(), 1):
        fields = line.split("#", 1)[0].split()
        if not fields:
            continue
        try:
            if len(fields) not in (2, 3):
                raise ValueError
            u, v = int(fields[0]), int(fields[1])
            w = float(fields[2]) if len(fields) == 3 else 1.0
            if u < 0 or v < 0:
                raise ValueError
        except ValueError:
            raise UsageError(
                f"{path}:{number}: expected 'u v [w]' with node numbers >= 0, got {line.strip()!r}"
            ) from None
        edges.append((u, v, w))
    return edges


def _graph_problem(ns: argparse.Namespace) -> Problem:
    size = 0
    if ns.file.lower().endswith(_MATRIX_FILES):
        edges, size = _matrix_edges(ns.file)
    else:
        edges = _edge_list(ns.file)
    if ns.start < 0 or ns.goal < 0:
        raise UsageError("START and GOAL must be >= 0")
    nodes = ns.nodes
    if nodes is None:
        nodes = max([size - 1] + [max(u, v) for u, v, _ in edges]) + 1
    if nodes < 0:
        raise UsageError("--nodes must be >= 0")
    for what, node in (("START", ns.start), ("GOAL", ns.goal)):
        if node >= nodes:
            has = f"nodes 0 to {nodes - 1}" if nodes else "no nodes"
            raise UsageError(f"{what} {node} is not a node of the graph: it has {has}")
    return Problem(
        wayloom_native.search_graph,
        (nodes, edges, ns.start, ns.goal),
        {"undirected": not ns.directed},
        show_chain,
    )


GRAPH = Command(
    "graph",
    "a weighted graph from an edge list",
    "Search a graph given as an edge list: one 'u v [w]' per line (w defaults to 1; "
    "'#' starts a comment), or as a sparse matrix (.npz from scipy.sparse.save_npz, or "
    "Matrix Market .mtx): each stored entry (i, j) is an arc i -> j.",
    (
        arg("file", metavar="FILE", help="the edge list ('-' = stdin), .npz or .mtx"),
        arg("start", type=int, metavar="START"),
        arg("goal", type=int, metavar="GOAL"),
        arg(
            "--nodes",
            type=int,
            metavar="N",
            help="number of nodes (default: one more than the largest node number of an edge)",
        ),
        switch("--directed", "edges go from u to v only"),
    ),
    _graph_problem,
)
