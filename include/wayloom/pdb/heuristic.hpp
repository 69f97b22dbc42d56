// The pattern databases as a heuristic of sliding-tile boards.
#pragma once

#include <memory>
#include <optional>
#include <type_traits>

#include "wayloom/core/byte_state.hpp"
#include "wayloom/core/memory_budget.hpp"
#include "wayloom/core/result.hpp"
#include "wayloom/domains/npuzzle.hpp"
#include "wayloom/pdb/databases.hpp"
#include "wayloom/pdb/walk.hpp"
#include "wayloom/search/helpers.hpp"

namespace wayloom {

// The sum (or the larger of the sum and its mirror's) over a built set of
// tables; against any goal other than the tables' own it is zero.
struct PuzzlePatternDatabases {
  static constexpr bool pure = true;
  std::shared_ptr<const pdb::PatternDatabases> tables;

  double estimate(const ByteState& state, const ByteState& goal) const noexcept {
    if (!tables || !(goal == tables->goal())) return 0.0;
    return double(tables->estimate(state.data(), state.size()));
  }

  // IDA* without a record on one board moved in place; none when the walk
  // does not serve the search.
  template <class G>
  std::optional<SearchResult<ByteState>> ida_star_walk(const G& graph, const ByteState& start,
                                                       const ByteState& goal,
                                                       MemoryBudget* budget) const {
    if constexpr (std::is_same_v<G, NPuzzle>) {
      if (tables && pdb::TableWalk::fits(graph, *tables, start, goal))
        return timed([&] { return pdb::TableWalk(*tables, start, budget).run(graph); });
    }
    return std::nullopt;
  }
};

}  // namespace wayloom
