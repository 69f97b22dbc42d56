// Node value types shared by several domains, and the hashing used to key them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace wayloom {

// The dense id of a node inside one search: frontiers, stores and node tables
// hold these 4-byte ids rather than copies of boards or words. Ids number
// nodes in first-seen order (or a dense domain's own order) and never reach a
// result.
using NodeId = std::uint32_t;
// No node: the parent of a root, or an absent entry.
inline constexpr NodeId kNoNode = 0xFFFFFFFFu;

// A grid cell: row then column, both counted from the top-left corner.
struct Cell {
  std::int32_t row = 0;
  std::int32_t col = 0;
  friend bool operator==(const Cell&, const Cell&) = default;
};

namespace detail {
// 64-bit finaliser (splitmix64): cheap and good enough for open addressing.
inline std::uint64_t mix64(std::uint64_t x) noexcept {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  x ^= x >> 31;
  return x;
}

inline std::uint64_t hash_bytes(const unsigned char* p, std::size_t n) noexcept {
  // Eight bytes a step, each word folded in with a multiply, then finalised:
  // boards and short words take one or two steps.
  std::uint64_t h = 0xcbf29ce484222325ULL ^ n;
  for (; n >= 8; p += 8, n -= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0x9E3779B97F4A7C15ULL;
    h ^= h >> 29;
  }
  if (n) {
    std::uint64_t w = 0;
    std::memcpy(&w, p, n);
    h = (h ^ w) * 0x9E3779B97F4A7C15ULL;
  }
  return mix64(h);
}
}  // namespace detail

// Hash functor for every node type. Results never depend on it: the engine
// does not iterate hash tables.
template <class N>
struct NodeHash;

template <>
struct NodeHash<std::size_t> {
  std::uint64_t operator()(std::size_t v) const noexcept { return detail::mix64(v); }
};

template <>
struct NodeHash<Cell> {
  std::uint64_t operator()(const Cell& c) const noexcept {
    return detail::mix64((std::uint64_t(std::uint32_t(c.row)) << 32) | std::uint32_t(c.col));
  }
};

template <>
struct NodeHash<std::string> {
  std::uint64_t operator()(const std::string& s) const noexcept {
    return detail::hash_bytes(reinterpret_cast<const unsigned char*>(s.data()), s.size());
  }
};

template <>
struct NodeHash<std::vector<std::uint8_t>> {
  std::uint64_t operator()(const std::vector<std::uint8_t>& v) const noexcept {
    return detail::hash_bytes(v.data(), v.size());
  }
};

template <>
struct NodeHash<std::vector<std::int64_t>> {
  std::uint64_t operator()(const std::vector<std::int64_t>& v) const noexcept {
    return detail::hash_bytes(reinterpret_cast<const unsigned char*>(v.data()),
                              v.size() * sizeof(std::int64_t));
  }
};

}  // namespace wayloom
