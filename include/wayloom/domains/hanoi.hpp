// The Towers of Hanoi with 1 to 16 pegs, and its heuristic.
//
// A state gives the peg of every disk, disk 0 (the smallest) first; the order
// of the disks on a peg follows from their sizes, so that is the whole
// position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

#include "wayloom/core/byte_state.hpp"
#include "wayloom/core/concepts.hpp"
#include "wayloom/core/error.hpp"
#include "wayloom/core/heuristic_table.hpp"

namespace wayloom {

class Hanoi {
 public:
  using node_type = ByteState;

  static constexpr std::size_t kMaxPegs = 16;
  // Every move copies the whole state, so states beyond 16 MiB are not
  // searchable in practice; they are refused as unallocatable up front rather
  // than after gigabytes have been touched.
  static constexpr std::size_t kMaxDisks = std::size_t(1) << 24;

  static Hanoi with_pegs(std::size_t disks, std::size_t pegs) {
    if (pegs < 1 || pegs > kMaxPegs)
      throw CoreError("pegs must be between 1 and 16, got " + std::to_string(pegs));
    if (disks > kMaxDisks) throw std::bad_alloc();
    return Hanoi(disks, pegs);
  }

  // What a caller may ask for: at least one disk and three pegs; more than
  // 16 pegs is left to with_pegs, whose refusal is an internal failure.
  static Hanoi for_search(std::uint64_t disks, std::uint64_t pegs) {
    if (disks == 0) throw UsageError("disks must be \xe2\x89\xa5 1");
    if (pegs < 3) throw UsageError("pegs must be \xe2\x89\xa5 3");
    return with_pegs(disks, pegs);
  }

  std::size_t disks() const noexcept { return disks_; }
  std::size_t pegs() const noexcept { return pegs_; }

  // Every disk on the first peg.
  ByteState start() const { return ByteState(disks_, 0); }
  // Every disk on the last peg.
  ByteState goal() const { return ByteState(disks_, std::uint8_t(pegs_ - 1)); }

  // Moves grouped by source peg, then by destination peg, both increasing;
  // each costs 1.
  void neighbors_into(const ByteState& state, Neighbors<ByteState>& out) const {
    constexpr std::size_t kNone = SIZE_MAX;
    const std::size_t pegs = pegs_ < kMaxPegs ? pegs_ : kMaxPegs;
    std::size_t top[kMaxPegs];
    for (std::size_t& t : top) t = kNone;
    // Scanning from the smallest disk, the first disk met on a peg is its top.
    std::size_t found = 0;
    for (std::size_t d = 0; d < state.size() && found < pegs; ++d) {
      const std::size_t p = state[d];
      if (p < pegs && top[p] == kNone) {
        top[p] = d;
        ++found;
      }
    }
    for (std::size_t from = 0; from < pegs; ++from) {
      const std::size_t d = top[from];
      if (d == kNone) continue;
      for (std::size_t to = 0; to < pegs; ++to) {
        if (to == from || (top[to] != kNone && top[to] < d)) continue;
        ByteState next = state;
        next[d] = std::uint8_t(to);
        out.emplace_back(std::move(next), 1.0);
      }
    }
  }

  Neighbors<ByteState> neighbors(const ByteState& state) const {
    Neighbors<ByteState> out;
    neighbors_into(state, out);
    return out;
  }

 private:
  Hanoi(std::size_t disks, std::size_t pegs) : disks_(disks), pegs_(pegs) {}

  std::size_t disks_;
  std::size_t pegs_;
};

// Disks not on their goal peg: each needs at least one move.
struct HanoiMisplaced {
  static constexpr bool pure = true;
  double estimate(const ByteState& state, const ByteState& goal) const noexcept {
    const std::size_t n = state.size() < goal.size() ? state.size() : goal.size();
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; ++i) count += (state[i] != goal[i]);
    return double(count);
  }
};

// The built-in heuristics of the Towers of Hanoi, by name.
inline constexpr auto hanoi_heuristics() {
  return HeuristicTable("misplaced", "unknown hanoi heuristic: '",
                        "'. Use misplaced, zero, or a callable", Named<Zero>{"zero", {}},
                        Named<HanoiMisplaced>{"misplaced", {}});
}

}  // namespace wayloom
