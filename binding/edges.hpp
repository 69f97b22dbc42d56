// Edge lists as the explicit-graph entry points take them.
#pragma once

#include <vector>

#include "py_ref.hpp"
#include "wayloom/core/memory_budget.hpp"
#include "wayloom/domains/csr_graph.hpp"

namespace wayloom::py {

// A sequence of (u, v, w) tuples.
std::vector<Edge> convert_edges(PyObject* edges);

// Charges the converted edges and requires the CSR graph built from them.
void require_csr(MemoryBudget& budget, std::size_t num_nodes, const std::vector<Edge>& edges,
                 bool undirected);

}  // namespace wayloom::py
