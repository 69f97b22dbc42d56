"""networkx twins of edge lists, for cross-checking costs."""

import networkx as nx


def nx_graph(n, edges, directed):
    """The graph of an edge list, keeping the cheapest of parallel edges."""
    g = nx.DiGraph() if directed else nx.Graph()
    g.add_nodes_from(range(n))
    for u, v, w in edges:
        if not g.has_edge(u, v) or g[u][v]["weight"] > w:
            g.add_edge(u, v, weight=w)
    return g


def walk_cost(g, path):
    """The cost of walking `path` in `g`; every step must be an edge."""
    assert all(g.has_edge(a, b) for a, b in zip(path, path[1:])), path
    return sum(g[a][b]["weight"] for a, b in zip(path, path[1:]))
