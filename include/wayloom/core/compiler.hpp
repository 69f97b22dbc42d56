// Compiler differences, spelled once. GCC and Clang (Apple's and clang-cl
// included) take the GNU extensions below; MSVC gets a portable spelling or
// none. Standard attributes such as [[gnu::always_inline]] need nothing here:
// a compiler that does not know one ignores it.
#pragma once

// Inlining forced on a lambda's call operator, where the standard attribute
// would name the lambda's type instead.
#if defined(__GNUC__) || defined(__clang__)
#define WAYLOOM_LAMBDA_ALWAYS_INLINE __attribute__((always_inline))
#else
#define WAYLOOM_LAMBDA_ALWAYS_INLINE
#endif

namespace wayloom {
// A hint to bring the line at `p` into the cache; nothing where unsupported.
inline void prefetch(const void* p) noexcept {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}
}  // namespace wayloom

// GNU vector types (`__attribute__((vector_size))`); elsewhere, or when
// WAYLOOM_SCALAR_LANES is defined (to test that path with GCC), plain arrays
// with the same operators stand in.
#if (defined(__GNUC__) || defined(__clang__)) && !defined(WAYLOOM_SCALAR_LANES)
#define WAYLOOM_VECTOR_TYPES 1
#endif

// Run-time choice of AVX2/AVX-512 copies of a hot loop (target attributes and
// __builtin_cpu_supports, GCC and Clang on x86-64, MinGW included); MSVC
// builds run the baseline copy, which gives the same results.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define WAYLOOM_X86_DISPATCH 1
#endif
