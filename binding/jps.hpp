// Jump point search on wayloom._engine's grids: what a grid keeps for it and
// the entry points its search, search_many and preprocess hand "jps" to.
#pragma once

#include <atomic>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "search_common.hpp"
#include "wayloom/domains/grid.hpp"
#include "wayloom/grid/jps.hpp"

namespace wayloom::py {

inline constexpr std::string_view kJps = "jps";

// The bit map a grid's jump searches scan, with the cost every open cell
// shares (0 when they differ).
struct JumpMapOf {
  jps::JumpMap map;
  double unit;
};

// What a grid keeps for jump point search: its bit map, made by the first
// such search (racing searches each make one and all but one are dropped),
// and, on a preprocessed grid, the jump distance table.
class GridJumps {
 public:
  GridJumps() = default;
  GridJumps(std::unique_ptr<const jps::JumpTable> table, double unit)
      : table_(std::move(table)), unit_(unit) {}
  ~GridJumps() { delete map_.load(); }
  GridJumps(const GridJumps&) = delete;
  GridJumps& operator=(const GridJumps&) = delete;

  const jps::JumpTable* table() const noexcept { return table_.get(); }
  double table_unit() const noexcept { return unit_; }
  const JumpMapOf& map(const GridGraph& g, MemoryBudget& budget) const;

 private:
  mutable std::atomic<const JumpMapOf*> map_{nullptr};
  std::unique_ptr<const jps::JumpTable> table_;
  double unit_ = 0.0;
};

// Throws the ValueError saying why `g` cannot take "jps" and what to use.
void check_jps_grid(const GridGraph& g, double unit);

// The jump distance table of a preprocessed copy, charged to the call's budget;
// `unit` is the grid's uniform_cost().
std::unique_ptr<const jps::JumpTable> make_jump_table(const GridGraph& g, double unit);

// A table read back from a pickle, checked so that no jump leaves the grid.
std::unique_ptr<const jps::JumpTable> restore_jump_table(const GridGraph& g, double unit,
                                                         std::vector<std::int16_t> data);

Ref jps_search(PyObject* module, const GridGraph& g, const GridJumps& jumps, Cell start, Cell goal,
               const SearchParams& p);

Ref jps_batch(PyObject* module, const GridGraph& g, const GridJumps& jumps,
              const std::vector<std::pair<Cell, Cell>>& pairs, const SearchParams& p);

}  // namespace wayloom::py
