// The value a Graph object holds, shared by the files that build one.
#pragma once

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "wayloom/core/error.hpp"
#include "wayloom/domains/csr_graph.hpp"

namespace wayloom::py {

// A built graph with what its class reports beside the arcs.
struct GraphValue {
  CsrGraph graph;
  std::size_t num_edges = 0;
  bool nonnegative = true;                    // every arc weight is >= 0 (Dijkstra applies)
  std::optional<std::vector<double>> coords;  // x, y of each node

  GraphValue(CsrGraph g, std::size_t m, std::optional<std::vector<double>> xy)
      : graph(std::move(g)), num_edges(m), coords(std::move(xy)) {
    // A NaN weight would make every path through it cost NaN, found or not.
    if (const auto arc = graph.first_nan_arc()) throw UsageError(nan_arc_message(*arc));
    for (const double w : graph.weights()) nonnegative = nonnegative && w >= 0.0;
  }
};

}  // namespace wayloom::py
