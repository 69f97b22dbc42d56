// The memory budget of one call: every structure that grows with the work
// charges it per page or chunk, and crossing the limit stops the call with a
// MemoryLimitError that says what was held where. Checking before allocating
// matters: with overcommit an oversized request succeeds and the process is
// killed later, when the pages are touched, so std::bad_alloc never comes.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "wayloom/core/platform.hpp"

namespace wayloom {

// What a charge is for; named in the message when the budget runs out.
enum class Use : std::uint8_t {
  Graph,
  NodeStore,
  Frontier,
  Record,
  Stacks,
  Bidirectional,
  Beam,
  AllPairs,
  Output,
  kCount
};

constexpr std::string_view use_name(Use u) noexcept {
  constexpr std::array<std::string_view, std::size_t(Use::kCount)> names{
      "graph",
      "node store and interned states",
      "frontier",
      "trace and tree",
      "search stacks and path sets",
      "bidirectional maps",
      "beam layers",
      "all-pairs matrices",
      "results"};
  return names[std::size_t(u)];
}

// "1.5 GiB"-style text for a byte count.
inline std::string format_bytes(std::size_t bytes) {
  if (bytes == std::numeric_limits<std::size_t>::max()) return "more than can be addressed";
  constexpr std::array<const char*, 5> units{"B", "KiB", "MiB", "GiB", "TiB"};
  double v = double(bytes);
  std::size_t u = 0;
  while (v >= 1024.0 && u + 1 < units.size()) {
    v /= 1024.0;
    ++u;
  }
  // No "%zu": older Windows C runtimes do not know it.
  if (u == 0) return std::to_string(bytes) + " B";
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.1f %s", v, units[u]);
  return buf;
}

// The budget ran out (or an up-front size would not fit). Reaches Python as
// MemoryError with this text.
class MemoryLimitError : public std::bad_alloc {
 public:
  explicit MemoryLimitError(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }

 private:
  std::string message_;
};

// Bytes this process can still obtain, as the system tells them (see
// platform.hpp); nothing when none is known.
inline std::optional<std::size_t> available_memory() { return platform::obtainable_memory(); }

// What a call may use when nobody set a limit: what is free, less an eighth
// (at least 32 MiB) for the interpreter, the allocator and the rest of the
// process.
inline std::size_t default_limit(std::size_t available) noexcept {
  const std::size_t margin = std::max<std::size_t>(available / 8, std::size_t(32) << 20);
  return available > margin ? available - margin : 0;
}

// "300M", "2G", "65536": bytes, with an optional K, M or G suffix (powers of
// 1024); nothing when malformed or out of range.
inline std::optional<std::size_t> parse_byte_size(std::string_view text) {
  std::size_t value = 0, i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value > (std::numeric_limits<std::size_t>::max() - 9) / 10) return std::nullopt;
    value = value * 10 + std::size_t(text[i] - '0');
  }
  if (i == 0) return std::nullopt;
  unsigned shift = 0;
  if (i + 1 == text.size()) {
    switch (text[i] | 0x20) {
      case 'k':
        shift = 10;
        break;
      case 'm':
        shift = 20;
        break;
      case 'g':
        shift = 30;
        break;
      default:
        return std::nullopt;
    }
  } else if (i != text.size()) {
    return std::nullopt;
  }
  if (value > (std::numeric_limits<std::size_t>::max() >> shift)) return std::nullopt;
  return value << shift;
}

// The per-call byte budget. Not thread-safe: one call, one thread.
class MemoryBudget {
 public:
  static constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();
  // Below this much a call never asks the system what is free: small calls
  // stay as cheap as they were.
  static constexpr std::size_t kUnmeasured = std::size_t(64) << 20;

  // No limit at all.
  MemoryBudget() = default;
  // An explicit limit, named `origin` in the message ("WAYLOOM_MEMORY_LIMIT=300M").
  MemoryBudget(std::size_t limit, std::string origin)
      : limit_(limit), measured_(true), origin_(std::move(origin)) {}
  // The system's free memory (less a margin), measured when the call first
  // holds kUnmeasured bytes.
  // `sources` must outlive the budget (none: the system's own files).
  static MemoryBudget from_system(const MemorySources* sources = nullptr) {
    MemoryBudget b;
    b.limit_ = kUnmeasured;
    b.measured_ = false;
    b.sources_ = sources;
    return b;
  }

  // What bounds the work, quoted in the message ("max_nodes or depth_limit").
  void set_hint(const char* hint) noexcept { hint_ = hint; }

  std::size_t held() const noexcept { return held_; }
  std::size_t held(Use u) const noexcept { return by_use_[std::size_t(u)]; }
  std::size_t limit() {
    if (!measured_) measure();
    return limit_;
  }

  // Counts `bytes` as held; throws MemoryLimitError (counting nothing) when
  // that would cross the limit.
  void charge(std::size_t bytes, Use u) {
    const std::size_t total = detail::sat_add(held_, bytes);
    if (total > limit_) over_limit(total, bytes, u);
    held_ = total;
    by_use_[std::size_t(u)] += bytes;
  }
  void release(std::size_t bytes, Use u) noexcept {
    held_ -= std::min(held_, bytes);
    auto& h = by_use_[std::size_t(u)];
    h -= std::min(h, bytes);
  }

  // Up-front check for a structure of known size: throws, naming it, when it
  // cannot fit; charges it otherwise.
  void require(std::size_t bytes, Use u, std::string_view what) {
    check(bytes, what);
    charge(bytes, u);
  }

  // Whether `bytes` more would fit (asking the system if need be).
  bool fits(std::size_t bytes) {
    const std::size_t need = detail::sat_add(held_, bytes);
    if (need > limit_) measure();
    return need <= limit_ && bytes != std::numeric_limits<std::size_t>::max();
  }

  // Throws, naming `what`, unless `bytes` more would fit; charges nothing.
  void check(std::size_t bytes, std::string_view what) {
    // A saturated size (an overflowed product) never fits, not even "unlimited".
    const std::size_t need = detail::sat_add(held_, bytes);
    if (need > limit_) measure();
    if (need > limit_ || bytes == std::numeric_limits<std::size_t>::max())
      throw MemoryLimitError(
          std::string(what) + " would need " + format_bytes(bytes) +
          (held_ ? " on top of the " + format_bytes(held_) + " already held" : std::string()) +
          ", more than this call's memory limit of " + format_bytes(limit_) + " (" + origin() +
          ")" + advice());
  }

 private:
  void measure() {
    if (measured_) return;
    measured_ = true;
    const auto free = sources_ ? available_memory(*sources_) : available_memory();
    // What the call already holds was free at its start.
    limit_ = free ? detail::sat_add(default_limit(*free), held_) : kUnlimited;
  }

  void over_limit(std::size_t total, std::size_t bytes, Use u) {
    if (!measured_) {
      measure();
      if (total <= limit_) return;
    }
    std::string parts;
    for (std::size_t i = 0; i < by_use_.size(); ++i) {
      if (by_use_[i] == 0) continue;
      parts += (parts.empty() ? "" : ", ") + std::string(use_name(Use(i))) + " " +
               format_bytes(by_use_[i]);
    }
    throw MemoryLimitError("memory limit reached: the call held " + format_bytes(held_) +
                           (parts.empty() ? std::string() : " (" + parts + ")") + " and needed " +
                           format_bytes(bytes) + " more for " + std::string(use_name(u)) +
                           ", over its limit of " + format_bytes(limit_) + " (" + origin() + ")" +
                           advice());
  }

  std::string origin() const {
    return origin_.empty() ? "the memory free at the call's start, less a margin" : origin_;
  }

  std::string advice() const {
    return (hint_ ? "; bound the work with " + std::string(hint_) + ","
                  : std::string("; use a smaller input,")) +
           " or set WAYLOOM_MEMORY_LIMIT (bytes, or with a K, M or G suffix) to allow more";
  }

  std::size_t limit_ = kUnlimited;
  std::size_t held_ = 0;
  std::array<std::size_t, std::size_t(Use::kCount)> by_use_{};
  bool measured_ = true;
  std::string origin_;  // empty: the system's free memory
  const char* hint_ = nullptr;
  const MemorySources* sources_ = nullptr;
};

// Heap bytes a node owns beyond its own size (a long board, a string past its
// inline buffer, an implicit graph's state vector); 0 for plain values.
template <class N>
std::size_t heap_bytes(const N& n) noexcept {
  if constexpr (requires { n.heap_bytes(); })
    return n.heap_bytes();
  else if constexpr (requires {
                       n.capacity();
                       typename N::value_type;
                       n.c_str();
                     })
    return n.capacity() > 15 ? n.capacity() + 1 + 16 : 0;
  else if constexpr (requires {
                       n.capacity();
                       typename N::value_type;
                     })
    return n.capacity() ? n.capacity() * sizeof(typename N::value_type) + 16 : 0;
  else
    return 0;
}

template <class N>
inline constexpr bool kPlainNode = std::is_trivially_copyable_v<N>;

namespace detail {

// Makes room in `v` for one more element, charging the growth to `budget`
// (growth by doubling, as the vector would, but decided here so that the
// charge is exact). Costs one comparison when there is room.
template <class T>
inline void make_room(std::vector<T>& v, MemoryBudget* budget, Use u) {
  if (v.size() < v.capacity() || budget == nullptr) return;
  const std::size_t cap = v.capacity(), next = cap ? 2 * cap : 16;
  // While the elements move, the old block and the new one are both held.
  budget->charge(sat_mul(next, sizeof(T)), u);
  v.reserve(next);
  budget->release(cap * sizeof(T), u);
}

// Charges the capacity `v` gained since it was `before` (after a domain
// filled a successor list).
template <class T>
inline void charge_growth(const std::vector<T>& v, std::size_t before, MemoryBudget* budget,
                          Use u) {
  if (budget && v.capacity() > before) budget->charge((v.capacity() - before) * sizeof(T), u);
}

inline void charge(MemoryBudget* budget, std::size_t bytes, Use u) {
  if (budget) budget->charge(bytes, u);
}

// Sizes an empty `v` to n elements that the caller then writes in full.
template <class T>
inline void resize_for_writing(std::vector<T>& v, std::size_t n) {
  v.reserve(n);
  if (v.empty()) platform::advise_huge(v.data(), n * sizeof(T));
  v.resize(n);
}

}  // namespace detail

}  // namespace wayloom
