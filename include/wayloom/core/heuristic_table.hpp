// Built-in heuristics are chosen by name from one table per domain, kept
// beside the domain: its names, its default, and the text of the error for a
// name it does not have. The binding and the companion package read these
// tables; nothing else lists heuristic names.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "wayloom/core/error.hpp"

namespace wayloom {

// Index of `name` in `names`, or names.size() when absent.
template <std::size_t K>
constexpr std::size_t name_index(const std::array<std::string_view, K>& names,
                                 std::string_view name) {
  std::size_t i = 0;
  while (i < K && names[i] != name) ++i;
  return i;
}

[[noreturn]] inline void unknown_heuristic(std::string_view prefix, std::string_view name,
                                           std::string_view suffix) {
  throw UsageError(std::string(prefix) + std::string(name) + std::string(suffix));
}

}  // namespace wayloom
