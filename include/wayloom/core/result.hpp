// The result record every search returns, its trace steps and stop reasons,
// and the options/configuration of the best-first driver.
#pragma once

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "wayloom/core/memory_budget.hpp"

namespace wayloom {

inline constexpr double kInf = std::numeric_limits<double>::infinity();

enum class StopReason : std::uint8_t { Goal, Exhausted, NodeLimit };

constexpr std::string_view stop_reason_text(StopReason r) noexcept {
  switch (r) {
    case StopReason::Goal:
      return "goal";
    case StopReason::Exhausted:
      return "exhausted";
    case StopReason::NodeLimit:
      return "node_limit";
  }
  return "exhausted";
}

template <class N>
struct TraceStep {
  N node;
  std::optional<double> g;  // absent where the strategy records none (bidirectional)
  // What "frontier" means differs by strategy, so replays must ask which:
  //   best-first driver  the frontier's length after the pop, stale entries included
  //   dls, iddfs, IDA*   the path-set size: edges from the start along the current path
  //   beam               candidates gathered so far in this layer (0 at each layer's start)
  //   bidirectional      the next layer's length so far (0 at each layer's start)
  std::uint64_t frontier_size = 0;
};

// What a search counts, under the names its result has in Python too.
struct Counters {
  std::uint64_t nodes_expanded = 0;
  std::uint64_t nodes_generated = 0;
  std::uint64_t nodes_reopened = 0;
  std::uint64_t max_frontier_size = 0;  // the peak of the strategy's frontier (see TraceStep)
};

template <class N>
struct SearchResult : Counters {
  std::optional<std::vector<N>> path;
  double cost = kInf;
  std::chrono::nanoseconds elapsed{0};
  StopReason stop_reason = StopReason::Exhausted;
  std::vector<TraceStep<N>> trace;
  std::vector<std::pair<N, N>> tree;

  bool found() const noexcept { return path.has_value(); }
};

enum class FrontierKind : std::uint8_t { Fifo, Lifo, PriorityQueue };

// The best-first driver's options (RunOptions adds the other strategies').
struct SearchOptions {
  std::optional<std::uint64_t> max_nodes;
  bool record = true;
  bool reopen = false;
  MemoryBudget* budget = nullptr;  // the call's; none: unbounded
};

// What makes a best-first algorithm: priority g_weight*g + h_weight*h, and the
// frontier it is kept in.
struct BestFirstSpec {
  double g_weight = 1.0;
  double h_weight = 0.0;
  FrontierKind frontier = FrontierKind::PriorityQueue;
};

}  // namespace wayloom
