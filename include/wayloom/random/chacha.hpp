// The seeded pseudo-random generator behind every generator: ChaCha with 8
// rounds, keyed from a 64-bit seed, plus the draw primitives built on its
// 32-bit word stream. Output is bit-exact and platform-independent.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace wayloom {

namespace detail {

inline constexpr std::array<std::uint32_t, 4> kChaChaConstants = {0x61707865, 0x3320646e,
                                                                  0x79622d32, 0x6b206574};

// Four blocks are computed side by side: word w of all four blocks lives in
// one Lanes value, so each step of the rounds is one 4-wide operation that the
// compiler maps to vector instructions.
struct Lanes {
  std::uint32_t v[4];
};

inline Lanes operator+(Lanes a, Lanes b) noexcept {
  Lanes r;
  for (int l = 0; l < 4; ++l) r.v[l] = a.v[l] + b.v[l];
  return r;
}

inline Lanes operator^(Lanes a, Lanes b) noexcept {
  Lanes r;
  for (int l = 0; l < 4; ++l) r.v[l] = a.v[l] ^ b.v[l];
  return r;
}

template <int Bits>
Lanes rotl(Lanes a) noexcept {
  Lanes r;
  for (int l = 0; l < 4; ++l) r.v[l] = (a.v[l] << Bits) | (a.v[l] >> (32 - Bits));
  return r;
}

inline void quarter_round(Lanes& a, Lanes& b, Lanes& c, Lanes& d) noexcept {
  a = a + b;
  d = rotl<16>(d ^ a);
  c = c + d;
  b = rotl<12>(b ^ c);
  a = a + b;
  d = rotl<8>(d ^ a);
  c = c + d;
  b = rotl<7>(b ^ c);
}

// Four consecutive blocks for counters counter .. counter+3: out[16*b + w] is
// word w of block b. `Rounds` must be even.
template <int Rounds>
void chacha_blocks4(const std::array<std::uint32_t, 8>& key, std::uint64_t counter,
                    std::uint64_t stream, std::uint32_t (&out)[64]) noexcept {
  static_assert(Rounds > 0 && Rounds % 2 == 0);
  Lanes init[16];
  for (int l = 0; l < 4; ++l) {
    const std::uint64_t ctr = counter + std::uint64_t(l);
    for (int w = 0; w < 4; ++w) init[w].v[l] = kChaChaConstants[std::size_t(w)];
    for (int w = 0; w < 8; ++w) init[4 + w].v[l] = key[std::size_t(w)];
    init[12].v[l] = std::uint32_t(ctr);
    init[13].v[l] = std::uint32_t(ctr >> 32);
    init[14].v[l] = std::uint32_t(stream);
    init[15].v[l] = std::uint32_t(stream >> 32);
  }
  Lanes x[16];
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
  for (int l = 0; l < 4; ++l)
    for (int w = 0; w < 16; ++w) out[16 * l + w] = x[w].v[l] + init[w].v[l];
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
