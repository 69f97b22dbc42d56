// Every entry point of the module, grouped by the file that defines it.
#pragma once

#include <vector>

#include "py_ref.hpp"
#include "wayloom/domains/csr_graph.hpp"

namespace wayloom::py {

// graph_grid.cpp
PyObject* search_grid(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* search_grid_costs(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* search_graph(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* sample_maze(PyObject* module, PyObject* args, PyObject* kwargs);
// implicit.cpp
PyObject* search_implicit(PyObject* module, PyObject* args, PyObject* kwargs);

// puzzles.cpp
PyObject* search_npuzzle(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* search_hanoi(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* search_wordladder(PyObject* module, PyObject* args, PyObject* kwargs);

// paths.cpp
PyObject* bellman_ford(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* floyd_warshall(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* gen_erdos_renyi(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* gen_barabasi_albert(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* gen_watts_strogatz(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* random_maze_ascii(PyObject* module, PyObject* args, PyObject* kwargs);
// Registers ShortestPaths and AllPairs (at import).
int add_path_types(PyObject* module);

// Shared with the shortest-path entry points.
std::vector<Edge> convert_edges(PyObject* edges);
void check_edges(std::size_t num_nodes, const std::vector<Edge>& edges);
// Charges the converted edges and requires the CSR graph built from them.
void require_csr(MemoryBudget& budget, std::size_t num_nodes, const std::vector<Edge>& edges,
                 bool undirected);

}  // namespace wayloom::py
