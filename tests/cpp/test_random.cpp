// The random numbers behind the generators: ChaCha block vectors, the PCG key
// schedule, and the draws built on the word stream.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "wayloom/random/chacha.hpp"

namespace wayloom {
namespace {

using Words16 = std::array<std::uint32_t, 16>;

TEST(ChaCha, TwentyRoundBlockMatchesRfc7539Vector) {
  // Block-function test vector: key 00 01 .. 1f, counter 1, nonce
  // 00:00:00:09:00:00:00:4a:00:00:00:00 (words 12..15 = 1, 0x09000000, 0x4a000000, 0).
  std::array<std::uint32_t, 8> key{};
  for (std::uint32_t w = 0; w < 8; ++w)
    key[w] = (4 * w) | (4 * w + 1) << 8 | (4 * w + 2) << 16 | (4 * w + 3) << 24;
  const Words16 expected = {0xe4e7f110, 0x15593bd1, 0x1fdd0f50, 0xc47120a3, 0xc7f4d1c7, 0x0368c033,
                            0x9aaa2204, 0x4e6cd4c3, 0x466482d2, 0x09aa9f07, 0x05d7c214, 0xa2028bd9,
                            0xd19c12b5, 0xb94e16de, 0xe883d0cb, 0x4e3c50a2};
  EXPECT_EQ(chacha_block<20>(key, {1, 0x09000000, 0x4a000000, 0}), expected);
}

TEST(ChaCha, EightRoundBlockMatchesZeroKeyVector) {
  // Keystream 3e 00 ef 2f 89 5f 40 d6 ... 0e 0c fe 42 for an all-zero key and nonce.
  const Words16 expected = {0x2fef003e, 0xd6405f89, 0xe8b85b7f, 0xa1a5091f, 0xc30e842c, 0x3b7f9ace,
                            0x88e11b18, 0x1e1a71ef, 0x72e14c98, 0x416f21b9, 0x6753449f, 0x19566d45,
                            0xa3424a31, 0x01b086da, 0xb8fd7b38, 0x42fe0c0e};
  EXPECT_EQ(chacha_block<8>({}, {0, 0, 0, 0}), expected);
  // The stream starts with exactly that block.
  ChaCha8Rng rng(std::array<std::uint32_t, 8>{});
  for (const std::uint32_t w : expected) EXPECT_EQ(rng.next_u32(), w);
}

TEST(ChaCha, KeyWordsFromSeed) {
  // Computed in Python:
  //   s = seed
  //   for _ in range(8):
  //       s = (s * 6364136223846793005 + 11634580027462260723) % 2**64
  //       x = (((s >> 18) ^ s) >> 27) & 0xffffffff; r = s >> 59
  //       word = ((x >> r) | (x << (32 - r))) & 0xffffffff
  EXPECT_EQ(ChaCha8Rng::key_from_seed(0),
            (std::array<std::uint32_t, 8>{0xf973f2ec, 0x45cdb581, 0x7346f087, 0xad6cad06,
                                          0xe3a3d0d0, 0x67e71733, 0x72ea9bf2, 0xfe7d8ad7}));
  EXPECT_EQ(ChaCha8Rng::key_from_seed(42),
            (std::array<std::uint32_t, 8>{0x7ba18fa4, 0x0a3d3258, 0xcca1b8ea, 0xb8140169,
                                          0x75c88c2b, 0x54f7b418, 0xa16e448d, 0xf220dfe4}));
  EXPECT_EQ(ChaCha8Rng::key_from_seed(~std::uint64_t{0}),
            (std::array<std::uint32_t, 8>{0xe392472f, 0x102810d6, 0x952d5435, 0x435ef92c,
                                          0x7b34e99a, 0x37c5dd03, 0xb0c77a63, 0x3e612043}));
}

TEST(ChaCha, WordStreamAcrossBlocksAndBuffers) {
  ChaCha8Rng rng(42);
  std::vector<std::uint32_t> words;
  for (int i = 0; i < 70; ++i) words.push_back(rng.next_u32());
  EXPECT_EQ(words[0], 0x395d5ba1u);
  EXPECT_EQ(words[1], 0xae90bfb5u);
  EXPECT_EQ(words[2], 0x25799188u);
  EXPECT_EQ(words[15], 0xcdca9b0du);  // last word of block 0
  EXPECT_EQ(words[16], 0xa0ce0c00u);  // first word of block 1
  EXPECT_EQ(words[63], 0x198f3a0au);  // last word of block 3
  EXPECT_EQ(words[64], 0x4947cb17u);  // first word of block 4

  // A 64-bit draw straddling a buffer refill takes the low half first.
  ChaCha8Rng straddle(42);
  for (int i = 0; i < 63; ++i) straddle.next_u32();
  EXPECT_EQ(straddle.next_u64(), 0x4947cb17'198f3a0aULL);
  EXPECT_EQ(straddle.next_u32(), words[65]);
}

TEST(ChaCha, DrawPrimitives) {
  // Reference values from an independent Python model of the stream.
  ChaCha8Rng a(7);
  EXPECT_EQ(a.next_u64(), 0x2865533423d743bbULL);
  EXPECT_EQ(a.next_u64(), 0x2b0159d32e9b293aULL);

  ChaCha8Rng b(7);
  EXPECT_EQ(b.unit_float(), 0.15779609702061936);
  EXPECT_EQ(b.unit_float(), 0.1679893627721013);
  EXPECT_EQ(b.unit_float(), 0.7042761280364565);

  ChaCha8Rng c(7);
  std::vector<std::uint64_t> below10;
  for (int i = 0; i < 8; ++i) below10.push_back(c.index_below(10));
  EXPECT_EQ(below10, (std::vector<std::uint64_t>{1, 7, 7, 6, 3, 8, 2, 5}));

  // Half of all 64-bit values fall outside the zone here: these three draws
  // reject once, so the fourth draw starts at word 8.
  ChaCha8Rng d(7);
  EXPECT_EQ(d.index_below((1ULL << 63) + 1), 1549428391081251997ULL);
  EXPECT_EQ(d.index_below((1ULL << 63) + 1), 6495800745555806873ULL);
  EXPECT_EQ(d.index_below((1ULL << 63) + 1), 6703005354132708722ULL);
  ChaCha8Rng d_words(7);
  for (int i = 0; i < 8; ++i) d_words.next_u32();
  EXPECT_EQ(d.next_u32(), d_words.next_u32());
}

TEST(ChaCha, PickUsesThirtyTwoBitDrawsWhenTheLengthFits) {
  ChaCha8Rng a(7);
  std::vector<std::size_t> picks;
  for (int i = 0; i < 8; ++i) picks.push_back(*a.pick_index(6));
  EXPECT_EQ(picks, (std::vector<std::size_t>{1, 1, 1, 4, 0, 4, 0, 3}));

  // ~30% rejection for this length: three picks use seven words.
  ChaCha8Rng b(7);
  EXPECT_EQ(*b.pick_index(3000000000u), 420010280u);
  EXPECT_EQ(*b.pick_index(3000000000u), 503968088u);
  EXPECT_EQ(*b.pick_index(3000000000u), 108317414u);
  ChaCha8Rng b_words(7);
  for (int i = 0; i < 7; ++i) b_words.next_u32();
  EXPECT_EQ(b.next_u32(), b_words.next_u32());

  // An empty list draws nothing.
  ChaCha8Rng e(7), e_ref(7);
  EXPECT_EQ(e.pick_index(0), std::nullopt);
  EXPECT_EQ(e.next_u32(), e_ref.next_u32());
}

TEST(ChaCha, PickFromLongListsUsesSixtyFourBitDraws) {
  if constexpr (sizeof(std::size_t) < 8) GTEST_SKIP();
  const std::size_t len = std::size_t(1) << 32;  // one past the 32-bit range
  ChaCha8Rng a(7), b(7);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(*a.pick_index(len), b.index_below(len));
  EXPECT_EQ(a.next_u32(), b.next_u32());
}

// The widest copy this machine runs (AVX2/AVX-512 where dispatched) finds
// the same draws as the four-lane baseline, over a run of blocks that is not
// a multiple of any lane count.
TEST(ChaCha, DispatchedDrawsMatchTheBaseline) {
  const auto key = ChaCha8Rng::key_from_seed(7);
  for (const std::uint64_t bound : {std::uint64_t(1) << 60, std::uint64_t(1) << 56}) {
    std::vector<std::uint64_t> wide, base;
    detail::chacha8_draws_below(key, 3, 1001, bound, wide);
    detail::chacha8_draws_below_body<4>(key, 3, 1001, bound, base);
    EXPECT_EQ(wide, base);
    EXPECT_FALSE(base.empty());
  }
}

}  // namespace
}  // namespace wayloom
