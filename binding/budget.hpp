// The memory budget of one call and what the Python objects it builds cost.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "py_ref.hpp"
#include "wayloom/core/error.hpp"
#include "wayloom/core/memory_budget.hpp"
#include "wayloom/core/node.hpp"
#include "wayloom/core/platform.hpp"

namespace wayloom::py {

inline constexpr const char* kMemoryLimitVar = "WAYLOOM_MEMORY_LIMIT";

// WAYLOOM_MEMORY_LIMIT when set (read at every call, so a program can change
// it between calls), else what the system has free less a margin. `hint`
// names what bounds the work ("max_nodes or depth_limit").
inline MemoryBudget call_budget(const char* hint = nullptr) {
  MemoryBudget budget = MemoryBudget::from_system();
  const std::optional<std::string> text = platform::environment(kMemoryLimitVar);
  if (text && !text->empty()) {
    const auto limit = parse_byte_size(*text);
    if (!limit)
      throw UsageError(std::string(kMemoryLimitVar) +
                       " must be a number of bytes, optionally with a K, M or G suffix (got '" +
                       *text + "')");
    budget = MemoryBudget(*limit, std::string(kMemoryLimitVar) + "=" + *text);
  }
  if (hint) budget.set_hint(hint);
  return budget;
}

// Estimated bytes of the Python object a node becomes (object headers and
// allocator overhead included; small ints are shared, but not counted so).
inline std::size_t py_bytes(std::size_t) { return 32; }
inline std::size_t py_bytes(const Cell&) { return 56 + 2 * 32; }
inline std::size_t py_bytes(const std::string& s) { return 64 + s.size(); }
inline std::size_t py_bytes(const std::vector<std::int64_t>& v) {
  return v.size() == 1 ? 32 : 56 + 40 * v.size();
}
template <class Bytes>
  requires requires(const Bytes& b) { b.size(); }
std::size_t py_bytes(const Bytes& b) {
  return 56 + 8 * b.size();  // tuples of small ints
}

// A list slot and a tuple of `items` references, GC header included.
inline constexpr std::size_t py_tuple_bytes(std::size_t items) { return 8 + 56 + 8 * items; }
// One (u, v, w) edge of a generated list: tuple, two ints, a float.
inline constexpr std::size_t kPyEdgeBytes = py_tuple_bytes(3) + 2 * 32 + 24;

}  // namespace wayloom::py
