// Shared helpers of the special strategies: timing a whole run and the two
// results they end with, `solved` (the goal was reached) and `exhausted`.
#pragma once

#include <chrono>
#include <cmath>
#include <utility>
#include <vector>

#include "wayloom/core/concepts.hpp"
#include "wayloom/core/result.hpp"

namespace wayloom {

using Clock = std::chrono::steady_clock;

// Runs `run` (which returns a result with zero elapsed) and stamps the time it
// took, result building included.
template <class Run>
auto timed(Run&& run) {
  const auto t0 = Clock::now();
  auto result = std::forward<Run>(run)();
  result.elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0);
  return result;
}

// Cost of the cheapest arc u -> v (NaN operands ignored); +inf when none.
template <Graph G>
double cheapest_step(const G& g, const node_t<G>& u, const node_t<G>& v) {
  double best = kInf;
  for (const auto& [m, w] : neighbors(g, u)) {
    if (m == v && w < best) best = w;  // a NaN w never compares less
  }
  return best;
}

// Cost of a path by its cheapest arcs; a step without a finite arc adds NaN.
template <Graph G>
double path_cost(const G& g, const std::vector<node_t<G>>& path) {
  double cost = 0.0;
  for (std::size_t i = 0; i + 1 < path.size(); ++i) {
    const double step = cheapest_step(g, path[i], path[i + 1]);
    cost += std::isfinite(step) ? step : std::nan("");
  }
  return cost;
}

// The result of a strategy that reached the goal along `path`, whose cost the
// caller has already worked out.
template <class N>
SearchResult<N> solved_at_cost(std::vector<N> path, double cost, const Counters& counters,
                               std::vector<TraceStep<N>> trace) {
  SearchResult<N> r;
  r.path = std::move(path);
  r.cost = cost;
  static_cast<Counters&>(r) = counters;
  r.stop_reason = StopReason::Goal;
  r.trace = std::move(trace);
  return r;
}

// The result of a strategy that reached the goal: the path's cost by its
// cheapest arcs.
template <Graph G>
SearchResult<node_t<G>> solved(const G& g, std::vector<node_t<G>> path, const Counters& counters,
                               std::vector<TraceStep<node_t<G>>> trace) {
  const double cost = path_cost(g, path);
  return solved_at_cost(std::move(path), cost, counters, std::move(trace));
}

// The result of a strategy that ran out of nodes to try: no path, cost +inf.
template <class N>
SearchResult<N> exhausted(const Counters& counters, std::vector<TraceStep<N>> trace) {
  SearchResult<N> r = solved_at_cost<N>({}, kInf, counters, std::move(trace));
  r.path.reset();
  r.stop_reason = StopReason::Exhausted;
  return r;
}

}  // namespace wayloom
