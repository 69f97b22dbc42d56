// Up-front allocation checks for buffers whose size is known before they are
// built (all-pairs matrices, generated edge lists).
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>

namespace wayloom::detail {

// Installed physical memory in bytes, or 0 when the platform will not say.
inline std::size_t physical_memory_bytes() noexcept {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page_size = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  const auto p = static_cast<std::size_t>(pages), s = static_cast<std::size_t>(page_size);
  if (p > std::numeric_limits<std::size_t>::max() / s)
    return std::numeric_limits<std::size_t>::max();
  return p * s;
}

// Accumulates the bytes of the buffers a builder is about to allocate and
// throws std::bad_alloc if the total overflows or exceeds physical memory.
// Refusing early matters: with overcommit, an oversized request can succeed
// and the process is killed later when the pages are touched, and sanitiser
// allocators abort instead of throwing.
class AllocBudget {
 public:
  AllocBudget& add(std::size_t count, std::size_t elem_size) {
    if (elem_size != 0 && count > std::numeric_limits<std::size_t>::max() / elem_size)
      throw std::bad_alloc();
    const std::size_t bytes = count * elem_size;
    if (bytes > std::numeric_limits<std::size_t>::max() - total_) throw std::bad_alloc();
    total_ += bytes;
    return *this;
  }

  // Throws unless the accumulated total could be allocated.
  void check() const {
    const std::size_t limit = physical_memory_bytes();
    if (limit != 0 && total_ > limit) throw std::bad_alloc();
  }

  std::size_t bytes() const noexcept { return total_; }

 private:
  std::size_t total_ = 0;
};

// a * b, throwing std::bad_alloc on overflow (for element counts).
inline std::size_t checked_mul(std::size_t a, std::size_t b) {
  if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a) throw std::bad_alloc();
  return a * b;
}

}  // namespace wayloom::detail
