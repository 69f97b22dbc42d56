// Docstrings of the module's functions and classes: signature line, "--",
// an empty line, then the text, so help() and inspect.signature() work.
#pragma once

namespace wayloom::py::docs {

inline constexpr const char* search_result =
    "The outcome of a search.\n"
    "\n"
    "Attributes:\n"
    "    path (list | None): nodes from start to goal, or ``None`` if unreachable.\n"
    "        Grid nodes are ``(row, col)`` tuples; graph nodes are ints; implicit\n"
    "        nodes are ints or tuples (as your successor function returns them).\n"
    "    cost (float): total cost of ``path`` (``inf`` if none).\n"
    "    found (bool): whether a path was found.\n"
    "    nodes_expanded (int): nodes taken off the frontier and expanded. A node\n"
    "        re-expanded after being reopened counts again.\n"
    "    nodes_generated (int): nodes ever pushed onto the frontier.\n"
    "    nodes_reopened (int): how many times a closed node was reopened because a\n"
    "        cheaper path to it turned up. Always ``0`` unless ``reopen=True``; a\n"
    "        non-zero count is the signature of an inconsistent heuristic.\n"
    "    max_frontier_size (int): peak frontier size (a memory proxy).\n"
    "    elapsed (float): seconds the search itself took (excluding building the\n"
    "        graph and converting the result). The companion to\n"
    "        ``nodes_expanded``, which is machine-independent.\n"
    "    stop_reason (str): ``\"goal\"``, ``\"exhausted\"`` or ``\"node_limit\"``.\n"
    "    trace (list): per-expansion ``(node, g, frontier_size)`` tuples; empty if\n"
    "        ``record=False``. Replaying ``node`` reproduces the search order\n"
    "        (this drives the visualization in Phase 4). ``g`` is the cost from the\n"
    "        start when the node was expanded, or ``None`` where that is not a\n"
    "        meaningful question \xe2\x80\x94 ``bidirectional`` expands half of its nodes in a\n"
    "        frontier growing backwards from the goal.\n"
    "    tree (list): edges ``(parent, child)`` of the search tree (each node's\n"
    "        best-known parent); empty if ``record=False``. Drives\n"
    "        ``viz.plot_search_tree``. Empty for the iterative-deepening and\n"
    "        bidirectional algorithms.";

inline constexpr const char* search_grid =
    "search_grid(map, algorithm=\"astar\", heuristic=None, record=True, weight=2.0, "
    "beam_width=None, depth_limit=None, max_nodes=None, diagonal=False, reopen=False)\n--\n\n"
    "Search a 2-D maze given as an ASCII map (`#` wall, `S` start, `G` goal, a\n"
    "digit `1`\xe2\x80\x93`9` = a free cell with that terrain cost).\n"
    "\n"
    "`heuristic` is a built-in name (`\"zero\"`, `\"manhattan\"`, `\"euclidean\"`,\n"
    "`\"octile\"`) or a custom callable `h((row, col), (row, col)) -> float`.\n"
    "\n"
    "`reopen=True` puts a closed node back on the frontier when a cheaper path to it\n"
    "appears. Leave it off with the built-in heuristics (they are consistent, so it\n"
    "changes nothing); switch it on when you pass a **custom** callable that may be\n"
    "admissible without being consistent, or A\\* can return a sub-optimal path.\n"
    "It applies to the frontier algorithms (bfs/dfs/ucs/greedy/astar/weighted_astar);\n"
    "the iterative-deepening, beam and bidirectional drivers ignore it.";

inline constexpr const char* search_grid_costs =
    "search_grid_costs(costs, start, goal, algorithm=\"astar\", heuristic=None, record=True, "
    "weight=2.0, beam_width=None, depth_limit=None, max_nodes=None, diagonal=False, "
    "reopen=False)\n--\n\n"
    "Search a grid built from a matrix of **terrain costs**. `costs[r][c]` is the\n"
    "movement cost of entering cell `(r, c)`; a non-positive or non-finite value\n"
    "marks a wall. `start` and `goal` are `(row, col)` tuples. Same `heuristic`\n"
    "options as [`search_grid`].";

inline constexpr const char* search_graph =
    "search_graph(num_nodes, edges, start, goal, algorithm=\"bfs\", heuristic=None, "
    "undirected=True, record=True, weight=2.0, beam_width=None, depth_limit=None, "
    "max_nodes=None, reopen=False)\n--\n\n"
    "Search an explicit weighted graph given as an edge list over `0..num_nodes`.\n"
    "\n"
    "`heuristic` defaults to the zero heuristic (so the informed algorithms behave\n"
    "as their uninformed counterparts). Pass a custom callable\n"
    "`h(node, goal) -> float` (nodes are ints) to run a real A\\* / Greedy \xe2\x80\x94 e.g.\n"
    "straight-line distance when your nodes have coordinates. `weight` sets the\n"
    "`w` for `weighted_astar`.\n"
    "\n"
    "With a custom heuristic, consider `reopen=True`: a hand-written `h` that is\n"
    "admissible but not *consistent* can make A\\* close a node too early and return\n"
    "a sub-optimal path. `SearchResult.nodes_reopened` reports what it cost.";

inline constexpr const char* sample_maze =
    "sample_maze(name)\n--\n\n"
    "A named sample maze as an ASCII map. `name` is `\"open\"` or `\"wall\"`.";

inline constexpr const char* search_implicit =
    "search_implicit(successors, start, goal, algorithm=\"astar\", heuristic=None, record=True, "
    "weight=2.0, beam_width=None, depth_limit=None, max_nodes=None, reopen=False)\n--\n\n"
    "Search an implicit graph defined by a Python successor callable\n"
    "`successors(state) -> [(state, cost), ...]`. States are ints or tuples of\n"
    "ints. `heuristic`, if given, is a callable `h(state, goal) -> float`.";

inline constexpr const char* search_npuzzle =
    "search_npuzzle(tiles, algorithm=\"astar\", heuristic=None, goal=None, record=True, "
    "weight=2.0, beam_width=None, depth_limit=None, max_nodes=None, reopen=False)\n--\n\n"
    "Solve a sliding-tile **N-puzzle** (3\xc3\x97"
    "3 \xe2\x86\x92 8-puzzle, 4\xc3\x97"
    "4 \xe2\x86\x92 15-puzzle, \xe2\x80\xa6).\n"
    "\n"
    "`tiles` is the flat, row-major start state with `0` for the blank; its length\n"
    "must be a perfect square. `goal` defaults to the canonical `1, 2, \xe2\x80\xa6, n\xe2\x88\x92"
    "1, 0`.\n"
    "States in the result are tuples of ints. `heuristic` is `\"manhattan\"`\n"
    "(default), `\"misplaced\"`, `\"zero\"`, or a callable `h(state, goal) -> float`.\n"
    "Raises if the configuration is not solvable into the goal (parity).";

inline constexpr const char* search_hanoi =
    "search_hanoi(disks, algorithm=\"astar\", heuristic=None, pegs=3, record=True, weight=2.0, "
    "beam_width=None, depth_limit=None, max_nodes=None, reopen=False)\n--\n\n"
    "Solve the **Towers of Hanoi** with `disks` disks over `pegs` pegs (default 3).\n"
    "\n"
    "Start = every disk on peg 0; goal = every disk on the last peg. A state in the\n"
    "result is a tuple `peg_of_disk[d]` (disk 0 = smallest). `heuristic` is\n"
    "`\"misplaced\"` (default), `\"zero\"`, or a callable `h(state, goal) -> float`.\n"
    "The classic 3-peg optimum is `2^disks \xe2\x88\x92 1` moves.";

inline constexpr const char* search_wordladder =
    "search_wordladder(start, goal, words, algorithm=\"astar\", heuristic=None, record=True, "
    "weight=2.0, beam_width=None, depth_limit=None, max_nodes=None, reopen=False)\n--\n\n"
    "Solve a **word ladder** from `start` to `goal` over a `words` dictionary\n"
    "(equal-length lowercase words; `start`/`goal` are added automatically so the\n"
    "endpoints are valid nodes). Each step changes exactly one letter. `heuristic`\n"
    "is `\"hamming\"` (default), `\"zero\"`, or a callable `h(word, goal) -> float`.";

inline constexpr const char* bellman_ford =
    "bellman_ford(num_nodes, edges, source, undirected=False)\n--\n\n"
    "**Bellman\xe2\x80\x93"
    "Ford** single-source shortest paths on an explicit weighted graph.\n"
    "\n"
    "Unlike Dijkstra/A\\*, this tolerates **negative edge weights** and reports a\n"
    "reachable negative cycle. Edges are ``(u, v, w)`` over ``0..num_nodes``.\n"
    "\n"
    "``undirected`` defaults to ``False``: negative weights are the whole point,\n"
    "and an undirected negative edge is itself a trivial negative cycle.";

inline constexpr const char* floyd_warshall =
    "floyd_warshall(num_nodes, edges, undirected=False)\n--\n\n"
    "**Floyd\xe2\x80\x93"
    "Warshall** all-pairs shortest paths on an explicit weighted graph.\n"
    "\n"
    "``O(V\xc2\xb3)`` \xe2\x80\x94 for small/medium or dense graphs where you want *every* "
    "distance\n"
    "at once. Tolerates negative edges and flags any negative cycle. Edges are\n"
    "``(u, v, w)`` over ``0..num_nodes``; ``undirected`` defaults to ``False``.";

inline constexpr const char* gen_erdos_renyi =
    "gen_erdos_renyi(n, p, seed)\n--\n\n"
    "Erd\xc5\x91s\xe2\x80\x93R\xc3\xa9nyi `G(n, p)` random graph \xe2\x86\x92 edge list.";

inline constexpr const char* gen_watts_strogatz =
    "gen_watts_strogatz(n, k, beta, seed)\n--\n\n"
    "Watts\xe2\x80\x93Strogatz small-world graph \xe2\x86\x92 edge list.";

inline constexpr const char* gen_barabasi_albert =
    "gen_barabasi_albert(n, m, seed)\n--\n\n"
    "Barab\xc3\xa1si\xe2\x80\x93"
    "Albert scale-free graph \xe2\x86\x92 edge list.";

inline constexpr const char* random_maze_ascii =
    "random_maze_ascii(width, height, obstacle_density, seed)\n--\n\n"
    "A reproducible random maze rendered as an ASCII map (with `S`/`G`).";

inline constexpr const char* shortest_paths =
    "Single-source shortest paths from [`bellman_ford_py`]. Thin wrapper over the\n"
    "core `ShortestPaths`.\n"
    "\n"
    "Attributes:\n"
    "    source (int): the node distances are measured from.\n"
    "    dist (list[float]): ``dist[v]`` is the cost of the cheapest\n"
    "        ``source -> v`` path (``inf`` if unreachable).\n"
    "    pred (list[int | None]): predecessor of each node on a shortest path\n"
    "        (``None`` for the source and unreachable nodes).\n"
    "    negative_cycle (bool): whether a negative-weight cycle is reachable from\n"
    "        ``source`` (then the affected distances are not well defined).";

inline constexpr const char* path_to =
    "path_to($self, target)\n--\n\n"
    "Rebuild the ``source -> target`` shortest path (inclusive), or ``None``\n"
    "if ``target`` is unreachable.";

inline constexpr const char* all_pairs =
    "All-pairs shortest paths from [`floyd_warshall_py`]. Thin wrapper over the\n"
    "core `AllPairs`.\n"
    "\n"
    "Attributes:\n"
    "    num_nodes (int): number of nodes ``n``.\n"
    "    negative_cycle (bool): whether the graph has any negative-weight cycle.";

inline constexpr const char* distance =
    "distance($self, from_, to)\n--\n\n"
    "Cost of the cheapest ``from_ -> to`` path (``inf`` if none, ``0`` if\n"
    "``from_ == to``).";

inline constexpr const char* matrix =
    "matrix($self)\n--\n\n"
    "The full ``n x n`` distance matrix as a list of rows.";

inline constexpr const char* path =
    "path($self, from_, to)\n--\n\n"
    "Rebuild the cheapest ``from_ -> to`` path (inclusive), or ``None`` if\n"
    "there is none.";

}  // namespace wayloom::py::docs
