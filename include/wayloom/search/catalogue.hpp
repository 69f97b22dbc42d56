// The algorithm catalogue: the only engine code that sees algorithm names.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "wayloom/core/concepts.hpp"
#include "wayloom/core/error.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/search/beam.hpp"
#include "wayloom/search/best_first.hpp"
#include "wayloom/search/bidirectional.hpp"
#include "wayloom/search/depth_limited.hpp"
#include "wayloom/search/ida_star.hpp"

namespace wayloom {

struct RunOptions {
  std::optional<std::uint64_t> depth_limit;
  std::optional<std::uint64_t> max_nodes;
  double weight = 2.0;
  std::uint64_t beam_width = std::numeric_limits<std::uint64_t>::max();
  bool reopen = false;
  MemoryBudget* budget = nullptr;  // the call's; none: unbounded
};

inline constexpr std::string_view kAlgorithmList =
    "bfs, dfs, ucs, dijkstra, greedy, astar, weighted_astar, iddfs, dls, ida_star, beam, "
    "bidirectional";

inline std::string unknown_algorithm_message(std::string_view name) {
  return "unknown algorithm: '" + std::string(name) +
         "'. Available: " + std::string(kAlgorithmList);
}

// Runs the named algorithm; throws UsageError with the catalogue's messages.
template <Graph G, class H>
  requires Heuristic<H, node_t<G>>
SearchResult<node_t<G>> run_algo(const G& graph, const H& heuristic, const node_t<G>& start,
                                 const node_t<G>& goal, std::string_view algorithm, bool record,
                                 const RunOptions& options) {
  MemoryBudget* const budget = options.budget;
  const SearchOptions search_options{options.max_nodes, record, options.reopen, budget};
  auto best_first = [&](double g_weight, double h_weight, FrontierKind kind) {
    return search_with_options(graph, start, goal, BestFirstSpec{g_weight, h_weight, kind},
                               heuristic, search_options);
  };
  if (algorithm == "bfs") return best_first(1.0, 0.0, FrontierKind::Fifo);
  if (algorithm == "dfs") return best_first(1.0, 0.0, FrontierKind::Lifo);
  if (algorithm == "ucs" || algorithm == "dijkstra")
    return best_first(1.0, 0.0, FrontierKind::PriorityQueue);
  if (algorithm == "greedy") return best_first(0.0, 1.0, FrontierKind::PriorityQueue);
  if (algorithm == "astar" || algorithm == "a*")
    return best_first(1.0, 1.0, FrontierKind::PriorityQueue);
  if (algorithm == "weighted_astar" || algorithm == "wastar")
    return best_first(1.0, options.weight, FrontierKind::PriorityQueue);
  if (algorithm == "dls") {
    if (!options.depth_limit) throw UsageError("'dls' requires depth_limit");
    return dls(graph, start, goal, *options.depth_limit, record, budget);
  }
  if (algorithm == "iddfs")
    return iddfs(graph, start, goal, options.depth_limit.value_or(1000), record, budget);
  if (algorithm == "ida_star" || algorithm == "idastar")
    return ida_star(graph, heuristic, start, goal, record, budget);
  if (algorithm == "beam")
    return beam_search(graph, heuristic, start, goal, options.beam_width, record, budget);
  if (algorithm == "bidirectional" || algorithm == "bidir")
    return bidirectional(graph, start, goal, record, budget);
  throw UsageError(unknown_algorithm_message(algorithm));
}

}  // namespace wayloom
