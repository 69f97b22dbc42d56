// A short, fixed-length byte string used as the state of the puzzle domains
// (sliding-tile boards, Hanoi peg assignments).
//
// States are copied once per successor, so the common sizes live inline: a
// board up to 5x5 or a Hanoi state up to 32 disks never touches the heap.
// Longer states own one exact-size heap block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <utility>
#include <vector>

#include "wayloom/core/node.hpp"

namespace wayloom {

class ByteState {
 public:
  static constexpr std::size_t kInline = 32;

  // The length is kept in 32 bits; anything longer cannot be represented and
  // is refused as unallocatable before any memory is touched.
  static constexpr std::size_t max_size() noexcept { return 0xFFFFFFFFu; }

  ByteState() noexcept = default;

  ByteState(std::size_t n, std::uint8_t fill) {
    std::uint8_t* p = init(n);
    if (n) std::memset(p, fill, n);
  }

  ByteState(const std::uint8_t* bytes, std::size_t n) {
    std::uint8_t* p = init(n);
    if (n) std::memcpy(p, bytes, n);
  }

  ByteState(std::initializer_list<std::uint8_t> bytes) : ByteState(bytes.begin(), bytes.size()) {}

  explicit ByteState(const std::vector<std::uint8_t>& bytes)
      : ByteState(bytes.data(), bytes.size()) {}

  ByteState(const ByteState& other) : ByteState(other.data(), other.size()) {}

  ByteState(ByteState&& other) noexcept : size_(other.size_) {
    std::memcpy(&u_, &other.u_, sizeof(u_));  // steals the heap block, if any
    other.size_ = 0;
  }

  ByteState& operator=(const ByteState& other) {
    if (this == &other) return *this;
    if (size_ == other.size_) {
      // Same length: overwrite in place, no allocation.
      if (size_) std::memcpy(data(), other.data(), size_);
      return *this;
    }
    ByteState copy(other);
    swap(copy);
    return *this;
  }

  ByteState& operator=(ByteState&& other) noexcept {
    if (this != &other) {
      ByteState tmp(std::move(other));
      swap(tmp);
    }
    return *this;
  }

  ~ByteState() { release(); }

  void swap(ByteState& other) noexcept {
    std::swap(size_, other.size_);
    Storage t;
    std::memcpy(&t, &u_, sizeof(u_));
    std::memcpy(&u_, &other.u_, sizeof(u_));
    std::memcpy(&other.u_, &t, sizeof(u_));
  }

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  const std::uint8_t* data() const noexcept { return on_heap() ? u_.heap : u_.buf; }
  std::uint8_t* data() noexcept { return on_heap() ? u_.heap : u_.buf; }
  const std::uint8_t* begin() const noexcept { return data(); }
  const std::uint8_t* end() const noexcept { return data() + size_; }
  std::uint8_t* begin() noexcept { return data(); }
  std::uint8_t* end() noexcept { return data() + size_; }
  std::uint8_t operator[](std::size_t i) const noexcept { return data()[i]; }
  std::uint8_t& operator[](std::size_t i) noexcept { return data()[i]; }

  // The heap block a long state owns, allocator overhead included.
  std::size_t heap_bytes() const noexcept { return on_heap() ? size_ + 16 : 0; }

  std::vector<std::uint8_t> to_vector() const { return {begin(), end()}; }

  friend bool operator==(const ByteState& a, const ByteState& b) noexcept {
    return a.size_ == b.size_ && (a.size_ == 0 || std::memcmp(a.data(), b.data(), a.size_) == 0);
  }

 private:
  union Storage {
    std::uint8_t buf[kInline];
    std::uint8_t* heap;
  };

  bool on_heap() const noexcept { return size_ > kInline; }

  // Sets the length and returns where the bytes go; only called on an empty
  // object.
  std::uint8_t* init(std::size_t n) {
    if (n > max_size()) throw std::bad_alloc();
    if (n > kInline) u_.heap = new std::uint8_t[n];
    size_ = std::uint32_t(n);
    return data();
  }

  void release() noexcept {
    if (on_heap()) delete[] u_.heap;
  }

  std::uint32_t size_ = 0;
  Storage u_{};
};

static_assert(sizeof(ByteState) <= 40);

template <>
struct NodeHash<ByteState> {
  std::uint64_t operator()(const ByteState& s) const noexcept {
    return detail::hash_bytes(s.data(), s.size());
  }
};

}  // namespace wayloom
