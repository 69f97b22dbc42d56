// Built-in heuristics are chosen by name from one table per domain, kept
// beside the domain: its names, its default, and the text of the error for a
// name it does not have. The binding and the companion package read these
// tables; nothing else lists heuristic names.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <tuple>

#include "wayloom/core/error.hpp"

namespace wayloom {

template <class H>
struct Named {
  std::string_view name;
  H heuristic;
};

template <class... H>
class HeuristicTable {
 public:
  // The error for an unknown name reads unknown_prefix + name + unknown_suffix.
  constexpr HeuristicTable(std::string_view default_name, std::string_view unknown_prefix,
                           std::string_view unknown_suffix, Named<H>... entries)
      : default_(default_name),
        prefix_(unknown_prefix),
        suffix_(unknown_suffix),
        entries_(entries...) {}

  constexpr std::string_view default_name() const { return default_; }

  constexpr std::array<std::string_view, sizeof...(H)> names() const {
    return std::apply([](const auto&... e) { return std::array{e.name...}; }, entries_);
  }

  // Calls run(heuristic) for the entry called `name`, or throws UsageError.
  template <class Run>
  void with(std::string_view name, Run&& run) const {
    const bool found = std::apply(
        [&](const auto&... e) { return ((e.name == name && (run(e.heuristic), true)) || ...); },
        entries_);
    if (!found) throw UsageError(std::string(prefix_) + std::string(name) + std::string(suffix_));
  }

 private:
  std::string_view default_, prefix_, suffix_;
  std::tuple<Named<H>...> entries_;
};

}  // namespace wayloom
