// The seeded pseudo-random generator behind every generator: ChaCha with 8
// rounds, keyed from a 64-bit seed, plus the draw primitives built on its
// 32-bit word stream. Output is bit-exact and platform-independent.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "wayloom/core/compiler.hpp"

namespace wayloom {

namespace detail {

inline constexpr std::array<std::uint32_t, 4> kChaChaConstants = {0x61707865, 0x3320646e,
                                                                  0x79622d32, 0x6b206574};

// L blocks are computed side by side: word w of all L blocks lives in one
// Lanes value, so each step of the rounds is one L-wide operation that the
// compiler maps to vector instructions.
template <int L>
struct Lanes {
#ifdef WAYLOOM_VECTOR_TYPES
  // A vector type (GCC and Clang): values stay in registers through the
  // rounds, where an array would go through memory.
  typedef std::uint32_t Vec __attribute__((vector_size(4 * L)));
#else
  // Elsewhere an array with the operators the rounds use, lane by lane.
  struct Vec {
    std::uint32_t lane[L];
    std::uint32_t& operator[](int l) noexcept { return lane[l]; }
    std::uint32_t operator[](int l) const noexcept { return lane[l]; }
    friend Vec operator<<(Vec a, int s) noexcept {
      for (auto& x : a.lane) x <<= s;
      return a;
    }
    friend Vec operator>>(Vec a, int s) noexcept {
      for (auto& x : a.lane) x >>= s;
      return a;
    }
    friend Vec operator|(Vec a, const Vec& b) noexcept {
      for (int l = 0; l < L; ++l) a.lane[l] |= b.lane[l];
      return a;
    }
    Vec& operator+=(const Vec& b) noexcept {
      for (int l = 0; l < L; ++l) lane[l] += b.lane[l];
      return *this;
    }
    Vec& operator^=(const Vec& b) noexcept {
      for (int l = 0; l < L; ++l) lane[l] ^= b.lane[l];
      return *this;
    }
  };
#endif
  Vec v;
};

template <int L>
[[gnu::always_inline]] inline void quarter_round(Lanes<L>& a, Lanes<L>& b, Lanes<L>& c,
                                                 Lanes<L>& d) noexcept {
  a.v += b.v;
  d.v ^= a.v;
  d.v = (d.v << 16) | (d.v >> 16);
  c.v += d.v;
  b.v ^= c.v;
  b.v = (b.v << 12) | (b.v >> 20);
  a.v += b.v;
  d.v ^= a.v;
  d.v = (d.v << 8) | (d.v >> 24);
  c.v += d.v;
  b.v ^= c.v;
  b.v = (b.v << 7) | (b.v >> 25);
}

// The output words of L consecutive blocks for counters counter ..
// counter+L-1, lane-major: x[w].v[l] is word w of block l. `Rounds` must be
// even.
template <int Rounds, int L>
[[gnu::always_inline]] inline void chacha_lanes(const std::array<std::uint32_t, 8>& key,
                                                std::uint64_t counter, std::uint64_t stream,
                                                Lanes<L> (&x)[16]) noexcept {
  static_assert(Rounds > 0 && Rounds % 2 == 0);
  // Each row filled as a plain array, then copied in whole: writing lanes
  // one by one reads to the compiler as use of an unset vector.
  std::uint32_t rows[16][L];
  for (int l = 0; l < L; ++l) {
    const std::uint64_t ctr = counter + std::uint64_t(l);
    for (int w = 0; w < 4; ++w) rows[w][l] = kChaChaConstants[std::size_t(w)];
    for (int w = 0; w < 8; ++w) rows[4 + w][l] = key[std::size_t(w)];
    rows[12][l] = std::uint32_t(ctr);
    rows[13][l] = std::uint32_t(ctr >> 32);
    rows[14][l] = std::uint32_t(stream);
    rows[15][l] = std::uint32_t(stream >> 32);
  }
  Lanes<L> init[16];
  for (int w = 0; w < 16; ++w) std::memcpy(&init[w].v, rows[w], sizeof init[w].v);
  for (int w = 0; w < 16; ++w) x[w] = init[w];
  for (int r = 0; r < Rounds; r += 2) {
    quarter_round(x[0], x[4], x[8], x[12]);
    quarter_round(x[1], x[5], x[9], x[13]);
    quarter_round(x[2], x[6], x[10], x[14]);
    quarter_round(x[3], x[7], x[11], x[15]);
    quarter_round(x[0], x[5], x[10], x[15]);
    quarter_round(x[1], x[6], x[11], x[12]);
    quarter_round(x[2], x[7], x[8], x[13]);
    quarter_round(x[3], x[4], x[9], x[14]);
  }
  for (int w = 0; w < 16; ++w) x[w].v += init[w].v;
}

// Four consecutive blocks for counters counter .. counter+3: out[16*b + w] is
// word w of block b. `Rounds` must be even.
template <int Rounds>
void chacha_blocks4(const std::array<std::uint32_t, 8>& key, std::uint64_t counter,
                    std::uint64_t stream, std::uint32_t (&out)[64]) noexcept {
  Lanes<4> x[16];
  chacha_lanes<Rounds>(key, counter, stream, x);
  for (int l = 0; l < 4; ++l)
    for (int w = 0; w < 16; ++w) out[16 * l + w] = x[w].v[l];
}

// The draws (64-bit words: an even word, then the next as the high half) of
// blocks first_block .. first_block+blocks-1 of the stream-0 ChaCha8 stream
// that lie below `bound`, by index (8 per block, counted from block 0), in
// stream order, appended to `hits`. L blocks at a time (as many as the
// vector registers hold); a group of draws is looked at one by one only when
// one of them may be a hit.
template <int L>
[[gnu::always_inline]] inline void chacha8_draws_below_body(const std::array<std::uint32_t, 8>& key,
                                                            std::uint64_t first_block,
                                                            std::uint64_t blocks,
                                                            std::uint64_t bound,
                                                            std::vector<std::uint64_t>& hits) {
  for (std::uint64_t b = 0; b < blocks; b += L) {
    Lanes<L> x[16];
    chacha_lanes<8>(key, first_block + b, 0, x);
    // A draw below the bound has its high word at most the bound's.
    const auto bound_hi = std::uint32_t(bound >> 32);
    std::uint32_t any = 0;
    for (int d = 0; d < 8; ++d)
      for (int l = 0; l < L; ++l) any |= x[2 * d + 1].v[l] <= bound_hi;
    if (!any) continue;
    const std::uint64_t lanes = blocks - b < L ? blocks - b : L;
    for (std::uint64_t l = 0; l < lanes; ++l)
      for (int d = 0; d < 8; ++d)
        if ((std::uint64_t(x[2 * d].v[l]) | (std::uint64_t(x[2 * d + 1].v[l]) << 32)) < bound)
          hits.push_back((first_block + b + l) * 8 + std::uint64_t(d));
  }
}

#ifdef WAYLOOM_X86_DISPATCH
__attribute__((target("avx512f,avx512vl"))) inline void chacha8_draws_below_avx512(
    const std::array<std::uint32_t, 8>& key, std::uint64_t first_block, std::uint64_t blocks,
    std::uint64_t bound, std::vector<std::uint64_t>& hits) {
  chacha8_draws_below_body<16>(key, first_block, blocks, bound, hits);
}
__attribute__((target("avx2"))) inline void chacha8_draws_below_avx2(
    const std::array<std::uint32_t, 8>& key, std::uint64_t first_block, std::uint64_t blocks,
    std::uint64_t bound, std::vector<std::uint64_t>& hits) {
  chacha8_draws_below_body<8>(key, first_block, blocks, bound, hits);
}
#endif

// The same, with the widest vector unit this machine has; every copy gives
// the same draws.
inline void chacha8_draws_below(const std::array<std::uint32_t, 8>& key, std::uint64_t first_block,
                                std::uint64_t blocks, std::uint64_t bound,
                                std::vector<std::uint64_t>& hits) {
#ifdef WAYLOOM_X86_DISPATCH
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl"))
    return chacha8_draws_below_avx512(key, first_block, blocks, bound, hits);
  if (__builtin_cpu_supports("avx2"))
    return chacha8_draws_below_avx2(key, first_block, blocks, bound, hits);
#endif
  chacha8_draws_below_body<4>(key, first_block, blocks, bound, hits);
}

// High and low halves of the 128-bit product a * b.
inline void mul_64x64(std::uint64_t a, std::uint64_t b, std::uint64_t& hi,
                      std::uint64_t& lo) noexcept {
  const std::uint64_t a_lo = a & 0xffffffffu, a_hi = a >> 32;
  const std::uint64_t b_lo = b & 0xffffffffu, b_hi = b >> 32;
  const std::uint64_t ll = a_lo * b_lo, lh = a_lo * b_hi, hl = a_hi * b_lo, hh = a_hi * b_hi;
  const std::uint64_t mid = (ll >> 32) + (lh & 0xffffffffu) + (hl & 0xffffffffu);
  lo = (mid << 32) | (ll & 0xffffffffu);
  hi = hh + (lh >> 32) + (hl >> 32) + (mid >> 32);
}

}  // namespace detail

// A single ChaCha block with an arbitrary last row (words 12..15), for
// checking the round function against published vectors.
template <int Rounds>
std::array<std::uint32_t, 16> chacha_block(const std::array<std::uint32_t, 8>& key,
                                           const std::array<std::uint32_t, 4>& last_row) noexcept {
  // Lane 0 of the four-lane kernel with counter/stream set to the row.
  std::uint32_t out[64];
  const std::uint64_t counter = std::uint64_t(last_row[0]) | (std::uint64_t(last_row[1]) << 32);
  const std::uint64_t stream = std::uint64_t(last_row[2]) | (std::uint64_t(last_row[3]) << 32);
  detail::chacha_blocks4<Rounds>(key, counter, stream, out);
  std::array<std::uint32_t, 16> block{};
  for (std::size_t w = 0; w < 16; ++w) block[w] = out[w];
  return block;
}

// ChaCha8, 64-bit block counter from 0, stream id 0. The output is the words
// of blocks 0, 1, 2, ... in order; blocks are produced four at a time.
class ChaCha8Rng {
 public:
  // Key words from the seed by eight PCG32 (XSH-RR) steps.
  static constexpr std::array<std::uint32_t, 8> key_from_seed(std::uint64_t seed) noexcept {
    std::array<std::uint32_t, 8> key{};
    std::uint64_t s = seed;
    for (auto& word : key) {
      s = s * 6364136223846793005ULL + 11634580027462260723ULL;
      const auto x = std::uint32_t(((s >> 18) ^ s) >> 27);
      word = std::rotr(x, int(s >> 59));
    }
    return key;
  }

  explicit ChaCha8Rng(std::uint64_t seed) noexcept : key_(key_from_seed(seed)) {}
  explicit ChaCha8Rng(const std::array<std::uint32_t, 8>& key) noexcept : key_(key) {}

  std::uint32_t next_u32() noexcept {
    if (pos_ == kBufferWords) refill();
    return buffer_[pos_++];
  }

  // The first word is the low half.
  std::uint64_t next_u64() noexcept {
    if (pos_ + 2 <= kBufferWords) {
      const std::uint64_t lo = buffer_[pos_], hi = buffer_[pos_ + 1];
      pos_ += 2;
      return lo | (hi << 32);
    }
    const std::uint64_t lo = next_u32();
    return lo | (std::uint64_t(next_u32()) << 32);
  }

  // A float in [0, 1) with 53 random bits.
  double unit_float() noexcept { return double(next_u64() >> 11) * 0x1.0p-53; }

  // Uniform in [0, n) by widening multiply with rejection. n must be > 0
  // (0 yields 0 without drawing).
  std::uint64_t index_below(std::uint64_t n) noexcept {
    if (n == 0) return 0;
    const std::uint64_t zone = (n << std::countl_zero(n)) - 1;
    for (;;) {
      std::uint64_t hi = 0, lo = 0;
      detail::mul_64x64(next_u64(), n, hi, lo);
      if (lo <= zone) return hi;
    }
  }

  // Index of a uniformly picked element of a list of `len` elements; nothing
  // is drawn for an empty list. Lengths that fit 32 bits draw 32-bit words.
  std::optional<std::size_t> pick_index(std::size_t len) noexcept {
    if (len == 0) return std::nullopt;
    if (std::uint64_t(len) <= 0xffffffffULL) {
      const auto l32 = std::uint32_t(len);
      const std::uint32_t zone = std::uint32_t(l32 << std::countl_zero(l32)) - 1;
      for (;;) {
        const std::uint64_t product = std::uint64_t(next_u32()) * l32;
        if (std::uint32_t(product) <= zone) return std::size_t(product >> 32);
      }
    }
    return std::size_t(index_below(std::uint64_t(len)));
  }

 private:
  static constexpr std::size_t kBufferWords = 64;

  void refill() noexcept {
    detail::chacha_blocks4<8>(key_, counter_, 0, buffer_);
    counter_ += 4;
    pos_ = 0;
  }

  std::array<std::uint32_t, 8> key_;
  std::uint64_t counter_ = 0;
  std::uint32_t buffer_[kBufferWords] = {};
  std::size_t pos_ = kBufferWords;
};

}  // namespace wayloom
