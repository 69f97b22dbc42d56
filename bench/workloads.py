"""Seeded benchmark workloads, built once per run and cached on disk.

Everything here is deterministic in its seed, so every library in a run (and
every run on every machine) sees the same maze and the same graph.
"""

from __future__ import annotations

import os
import pathlib
import struct

import numpy as np

MAZE_SEED = 20240601
GRAPH_SEED = 7


def maze(side: int, wall_density: float = 0.3, seed: int = MAZE_SEED):
    """A side×side random maze, corners open, corner to corner solvable.

    Seeds are tried from `seed` upwards until the two corners share a
    4-connected component. Returns (walls bool array, seed used, ascii text).
    """
    from scipy import ndimage

    while True:
        rng = np.random.default_rng(seed)
        walls = rng.random((side, side)) < wall_density
        walls[0, 0] = walls[-1, -1] = False
        labels, _ = ndimage.label(~walls)  # cross structure = 4-connectivity
        if labels[0, 0] == labels[-1, -1]:
            break
        seed += 1
    rows = np.where(walls, ord("#"), ord(".")).astype(np.uint8)
    rows[0, 0] = ord("S")
    rows[-1, -1] = ord("G")
    text = "\n".join(r.tobytes().decode("ascii") for r in rows)
    return walls, seed, text


def grid_edges(walls: np.ndarray):
    """Undirected 4-neighbour edges between open cells as two index arrays."""
    h, w = walls.shape
    idx = np.arange(h * w).reshape(h, w)
    open_ = ~walls
    right = open_[:, :-1] & open_[:, 1:]
    down = open_[:-1, :] & open_[1:, :]
    u = np.concatenate([idx[:, :-1][right], idx[:-1, :][down]])
    v = np.concatenate([idx[:, 1:][right], idx[1:, :][down]])
    return u, v


def random_digraph(n: int, m: int, seed: int = GRAPH_SEED):
    """m arcs with uniform random endpoints and weights uniform in [1, 100)."""
    rng = np.random.default_rng(seed)
    u = rng.integers(0, n, m, dtype=np.int64)
    v = rng.integers(0, n, m, dtype=np.int64)
    w = rng.uniform(1.0, 100.0, m)
    return u, v, w


def dedupe_min(u, v, w):
    """Parallel arcs collapsed to the cheapest one.

    A multigraph search only ever uses the cheapest of parallel arcs, but a
    sparse matrix would add their weights and a networkx DiGraph would keep the
    last one; giving those libraries the collapsed list keeps costs comparable.
    """
    order = np.lexsort((w, v, u))
    u, v, w = u[order], v[order], w[order]
    first = np.ones(len(u), dtype=bool)
    first[1:] = (u[1:] != u[:-1]) | (v[1:] != v[:-1])
    return u[first], v[first], w[first]


def sparse(n: int, u, v, w):
    """scipy CSR matrix of already de-duplicated arcs."""
    from scipy.sparse import csr_matrix

    return csr_matrix((w, (u, v)), shape=(n, n))


def pick_pair(n: int, mat, seed: int = GRAPH_SEED):
    """A start and a reachable goal at about the median distance from it.

    A median-distance goal makes a single-pair search settle roughly half of
    what the start reaches, neither trivially short nor a full sweep.
    """
    from scipy.sparse.csgraph import dijkstra

    rng = np.random.default_rng(seed + 1)
    start = int(rng.integers(0, n))
    dist = dijkstra(mat, directed=True, indices=start)
    reach = np.flatnonzero(np.isfinite(dist))
    if reach.size < n // 2:
        raise RuntimeError("start reaches too little of the graph; change the seed")
    order = reach[np.argsort(dist[reach], kind="stable")]
    goal = int(order[order.size // 2])
    return start, goal


def write_csr(path: pathlib.Path, n: int, u, v, w) -> None:
    """CSR file for the yardstick; arcs of a node keep their input order."""
    order = np.argsort(u, kind="stable")
    counts = np.bincount(u, minlength=n)
    offsets = np.zeros(n + 1, dtype=np.uint64)
    np.cumsum(counts, out=offsets[1:])
    tmp = path.with_suffix(".tmp")
    with open(tmp, "wb") as f:
        f.write(struct.pack("<QQ", n, len(u)))
        f.write(offsets.astype("<u8").tobytes())
        f.write(v[order].astype("<u4").tobytes())
        f.write(w[order].astype("<f8").tobytes())
    os.replace(tmp, path)
