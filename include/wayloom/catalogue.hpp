// The algorithm catalogue: the only engine code that sees algorithm names,
// and the one place a strategy or a fast path for it is chosen. The
// strategies (search/) know only the graph and heuristic contracts; the fast
// paths (fast/) know their domain.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "wayloom/core/concepts.hpp"
#include "wayloom/core/error.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/fast/board_walk.hpp"
#include "wayloom/fast/grid_sweep.hpp"
#include "wayloom/search/beam.hpp"
#include "wayloom/search/best_first.hpp"
#include "wayloom/search/bidirectional.hpp"
#include "wayloom/search/bidirectional_dijkstra.hpp"
#include "wayloom/search/depth_limited.hpp"
#include "wayloom/search/ida_star.hpp"

namespace wayloom {

// Everything a call passes to run_algo besides graph, heuristic, endpoints
// and the algorithm's name; each row takes the part its options say.
struct RunOptions : SearchOptions {
  // iddfs's deepest pass when no depth_limit is given
  static constexpr std::uint64_t kIddfsDepth = 1000;

  std::optional<std::uint64_t> depth_limit;
  double weight = 2.0;
  std::uint64_t beam_width = std::numeric_limits<std::uint64_t>::max();
  // Also accept the rows of kPackageAlgorithms (the companion package's objects do).
  bool package_rows = false;
};

// What reaches an algorithm besides graph, start, goal and `record`.
enum AlgorithmOption : unsigned {
  kTakesHeuristic = 1u << 0,
  kTakesMaxNodes = 1u << 1,
  kTakesReopen = 1u << 2,
  kTakesWeight = 1u << 3,
  kTakesBeamWidth = 1u << 4,
  kTakesDepthLimit = 1u << 5,
  kNeedsDepthLimit = 1u << 6,
};

enum class Strategy : std::uint8_t {
  BestFirst,
  Dls,
  Iddfs,
  IdaStar,
  Beam,
  Bidirectional,
  BidirectionalDijkstra
};

struct AlgorithmRow {
  std::string_view name;
  std::string_view alias;  // empty when none
  Strategy strategy;
  unsigned options;
  BestFirstSpec spec{};  // best-first rows only; kTakesWeight puts `weight` in h_weight
};

inline constexpr unsigned kBestFirstOptions = kTakesHeuristic | kTakesMaxNodes | kTakesReopen;

// The catalogue: the one list of algorithm names, in the order error messages
// and the companion package list them. The first matching row decides.
inline constexpr std::array<AlgorithmRow, 12> kAlgorithms{{
    {"bfs", "", Strategy::BestFirst, kBestFirstOptions, {1.0, 0.0, FrontierKind::Fifo}},
    {"dfs", "", Strategy::BestFirst, kBestFirstOptions, {1.0, 0.0, FrontierKind::Lifo}},
    {"ucs", "", Strategy::BestFirst, kBestFirstOptions, {1.0, 0.0, FrontierKind::PriorityQueue}},
    {"dijkstra",
     "",
     Strategy::BestFirst,
     kBestFirstOptions,
     {1.0, 0.0, FrontierKind::PriorityQueue}},
    {"greedy", "", Strategy::BestFirst, kBestFirstOptions, {0.0, 1.0, FrontierKind::PriorityQueue}},
    {"astar",
     "a*",
     Strategy::BestFirst,
     kBestFirstOptions,
     {1.0, 1.0, FrontierKind::PriorityQueue}},
    {"weighted_astar",
     "wastar",
     Strategy::BestFirst,
     kBestFirstOptions | kTakesWeight,
     {1.0, 0.0, FrontierKind::PriorityQueue}},
    {"iddfs", "", Strategy::Iddfs, kTakesDepthLimit},
    {"dls", "", Strategy::Dls, kTakesDepthLimit | kNeedsDepthLimit},
    {"ida_star", "idastar", Strategy::IdaStar, kTakesHeuristic},
    {"beam", "", Strategy::Beam, kTakesHeuristic | kTakesBeamWidth},
    {"bidirectional", "bidir", Strategy::Bidirectional, 0},
}};

// Rows after the catalogue's that only the companion package's build-once
// objects offer: wayloom_native's functions keep exactly the twelve above.
inline constexpr std::array<AlgorithmRow, 1> kPackageAlgorithms{{
    {"bidirectional_dijkstra", "", Strategy::BidirectionalDijkstra, kTakesMaxNodes},
}};

// The row accepting `name` (exact, case-sensitive), or nullptr; the package's
// rows only when `package_rows`.
constexpr const AlgorithmRow* find_algorithm(std::string_view name, bool package_rows = false) {
  for (const AlgorithmRow& row : kAlgorithms)
    if (row.name == name || (!row.alias.empty() && row.alias == name)) return &row;
  if (package_rows)
    for (const AlgorithmRow& row : kPackageAlgorithms)
      if (row.name == name) return &row;
  return nullptr;
}

inline std::string unknown_algorithm_message(std::string_view name, bool package_rows = false) {
  std::string text = "unknown algorithm: '" + std::string(name) + "'. Available: ";
  for (const AlgorithmRow& row : kAlgorithms) {
    if (&row != &kAlgorithms.front()) text += ", ";
    text += row.name;
  }
  if (package_rows)
    for (const AlgorithmRow& row : kPackageAlgorithms) text += ", " + std::string(row.name);
  return text;
}

// The board walk for IDA*, dls and iddfs on a sliding-tile board with a
// built-in heuristic, when nothing is recorded: the same visits, counters and
// result as the general walk, one board moved in place. Nothing otherwise.
template <Graph G, class H>
std::optional<SearchResult<node_t<G>>> board_walk(const G& graph, const H& heuristic,
                                                  const node_t<G>& start, const node_t<G>& goal,
                                                  Strategy strategy, const RunOptions& options) {
  if constexpr (detail::kBoardWalk<G, Zero>) {
    if (options.record || !detail::board_walk_fits(graph, start, goal)) return std::nullopt;
    const std::uint64_t depth = options.depth_limit.value_or(RunOptions::kIddfsDepth);
    switch (strategy) {
      case Strategy::IdaStar:
        if constexpr (detail::kBoardWalk<G, H>)
          return timed([&] {
            return detail::ida_star_board(graph, heuristic, start, goal, options.budget);
          });
        break;
      case Strategy::Dls:
      case Strategy::Iddfs: {
        const std::uint64_t first = strategy == Strategy::Dls ? depth : 0;
        return timed([&] {
          return detail::deepening_board(graph, start, goal, first, depth, options.budget);
        });
      }
      default:
        break;
    }
  }
  return std::nullopt;
}

// The grid sweeps for breadth-first search, Dijkstra and A* on a 4-connected
// grid of one cost with a built-in heuristic: the same visits, counters,
// result, trace, tree and budget charges as the best-first driver. Nothing
// otherwise.
template <Graph G, class H>
std::optional<SearchResult<node_t<G>>> grid_sweep(const G& graph, const H& heuristic,
                                                  const node_t<G>& start, const node_t<G>& goal,
                                                  const BestFirstSpec& spec,
                                                  const RunOptions& options) {
  if constexpr (std::is_same_v<G, GridGraph> && PureHeuristic<H>) {
    if (spec.frontier == FrontierKind::Lifo || !detail::grid_sweep_fits(graph, start, goal))
      return std::nullopt;
    // A queue pops as the driver does when its frontier is one, or a heap over
    // g alone; unrecorded, the driver then keeps its flat store if the budget
    // allows (recorded, it always keeps the paged one, as the sweep does).
    const bool queue =
        spec.frontier == FrontierKind::Fifo ||
        (spec.h_weight == 0.0 && spec.g_weight > 0.0 && std::isfinite(spec.g_weight));
    const std::optional<double> scale = detail::manhattan_multiple(heuristic);
    const bool astar = !queue && spec.g_weight == 1.0 && spec.h_weight == 1.0 && scale;
    if (!queue && !astar) return std::nullopt;
    if (queue && !options.record) {
      const std::size_t ids = graph.node_count();
      if (ids > FlatStore::kMaxIds ||
          (options.budget && !options.budget->fits(FlatStore::bytes_for(ids))))
        return std::nullopt;
    }
    // Scanned per search (the grid keeps no caches: threads share it).
    const double unit = graph.uniform_cost();
    if (!(unit > 0.0) || !std::isfinite(unit)) return std::nullopt;
    if (queue) {
      const std::size_t entry = spec.frontier == FrontierKind::Fifo
                                    ? detail::kFrontierEntryBytes<FifoFrontier>
                                    : detail::kFrontierEntryBytes<PriorityFrontier>;
      return timed([&] {
        return options.record
                   ? detail::grid_queue_sweep<true>(graph, start, goal, options, entry, unit)
                   : detail::grid_queue_sweep<false>(graph, start, goal, options, entry, unit);
      });
    }
    // Whole numbers throughout, and an estimate that never drops faster than
    // a step costs.
    const double s = *scale;
    if (unit > 9.0 || unit != std::floor(unit) || !(s >= 0.0) || s > unit || s != std::floor(s))
      return std::nullopt;
    return timed([&] {
      return options.record
                 ? detail::grid_astar_sweep<true>(graph, start, goal, options, std::uint32_t(unit),
                                                  std::uint32_t(s))
                 : detail::grid_astar_sweep<false>(graph, start, goal, options, std::uint32_t(unit),
                                                   std::uint32_t(s));
    });
  }
  return std::nullopt;
}

// Runs the named algorithm; throws UsageError with the catalogue's messages.
template <Graph G, class H>
  requires Heuristic<H, node_t<G>>
SearchResult<node_t<G>> run_algo(const G& graph, const H& heuristic, const node_t<G>& start,
                                 const node_t<G>& goal, std::string_view algorithm,
                                 const RunOptions& options) {
  MemoryBudget* const budget = options.budget;
  const bool record = options.record;
  const AlgorithmRow* row = find_algorithm(algorithm, options.package_rows);
  if (row == nullptr) throw UsageError(unknown_algorithm_message(algorithm, options.package_rows));
  if ((row->options & kNeedsDepthLimit) && !options.depth_limit)
    throw UsageError("'" + std::string(row->name) + "' requires depth_limit");
  if (auto fast = board_walk(graph, heuristic, start, goal, row->strategy, options))
    return std::move(*fast);
  // A heuristic with its own in-place IDA* walk (pattern databases): the same
  // visits and counters as the general walk, without a record.
  if constexpr (requires { heuristic.ida_star_walk(graph, start, goal, budget); })
    if (row->strategy == Strategy::IdaStar && !record)
      if (auto fast = heuristic.ida_star_walk(graph, start, goal, budget)) return std::move(*fast);
  switch (row->strategy) {
    case Strategy::BestFirst: {
      BestFirstSpec spec = row->spec;
      if (row->options & kTakesWeight) spec.h_weight = options.weight;
      if (auto fast = grid_sweep(graph, heuristic, start, goal, spec, options))
        return std::move(*fast);
      return search_with_options(graph, start, goal, spec, heuristic, options);
    }
    case Strategy::Dls:
      return dls(graph, start, goal, *options.depth_limit, record, budget);
    case Strategy::Iddfs:
      return iddfs(graph, start, goal, options.depth_limit.value_or(RunOptions::kIddfsDepth),
                   record, budget);
    case Strategy::IdaStar:
      return ida_star(graph, heuristic, start, goal, record, budget);
    case Strategy::Beam:
      return beam_search(graph, heuristic, start, goal, options.beam_width, record, budget);
    case Strategy::Bidirectional:
      return bidirectional(graph, start, goal, record, budget);
    case Strategy::BidirectionalDijkstra:
      return bidirectional_dijkstra(graph, start, goal, options);
  }
  throw UsageError(unknown_algorithm_message(algorithm, options.package_rows));
}

}  // namespace wayloom
