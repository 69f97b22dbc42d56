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

// Shared with the shortest-path entry points.
std::vector<Edge> convert_edges(PyObject* edges);
void check_edges(std::size_t num_nodes, const std::vector<Edge>& edges);

}  // namespace wayloom::py
