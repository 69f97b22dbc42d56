// Edge lists as the explicit-graph entry points take them.
#pragma once

#include <vector>

#include "py_ref.hpp"
#include "wayloom/core/alloc_limit.hpp"
#include "wayloom/domains/csr_graph.hpp"

namespace wayloom::py {

// A sequence of (u, v, w) tuples.
std::vector<Edge> convert_edges(PyObject* edges);

// Adds the bytes of building a CSR graph of this size to `budget`.
detail::AllocBudget& add_csr_build(detail::AllocBudget& budget, std::size_t num_nodes,
                                   std::size_t edge_count, bool undirected);

}  // namespace wayloom::py
