#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "wayloom/domains/generators.hpp"
#include "wayloom/random/chacha.hpp"

namespace wayloom {
namespace {

using Words16 = std::array<std::uint32_t, 16>;
using PairList = std::vector<std::pair<std::size_t, std::size_t>>;

// ---------------------------------------------------------------- generator

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

// ------------------------------------------------------------ graph helpers

PairList upper_pairs(const CsrGraph& g) {
  PairList out;
  for (const Edge& e : undirected_edge_list(g)) {
    EXPECT_EQ(e.weight, 1.0);
    out.emplace_back(e.source, e.target);
  }
  return out;
}

std::set<std::pair<std::size_t, std::size_t>> as_set(const PairList& pairs) {
  return {pairs.begin(), pairs.end()};
}

// ------------------------------------------------------------- Erdos-Renyi

TEST(ErdosRenyi, CompleteAndEmptyExtremes) {
  const CsrGraph full = erdos_renyi(5, 1.0, 3);
  PairList expected;
  for (std::size_t i = 0; i < 5; ++i)
    for (std::size_t j = i + 1; j < 5; ++j) expected.emplace_back(i, j);
  EXPECT_EQ(upper_pairs(full), expected);
  EXPECT_TRUE(full.undirected());
  EXPECT_EQ(full.num_arcs(), 20u);
  EXPECT_EQ(upper_pairs(erdos_renyi(5, 2.5, 3)), expected);

  for (const double p : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
    const CsrGraph none = erdos_renyi(6, p, 11);
    EXPECT_EQ(none.num_nodes(), 6u);
    EXPECT_EQ(none.num_arcs(), 0u);
  }
  EXPECT_EQ(erdos_renyi(0, 0.5, 1).num_nodes(), 0u);
  EXPECT_EQ(erdos_renyi(1, 1.0, 1).num_arcs(), 0u);
}

TEST(ErdosRenyi, SeededGraphIsReproducibleAndSorted) {
  // Pairs in row order whose draws fall below 0.4 (Python model).
  const PairList expected = {{0, 5}, {0, 6}, {1, 2}, {1, 5}, {3, 4}, {3, 6}, {4, 6}, {5, 6}};
  EXPECT_EQ(upper_pairs(erdos_renyi(7, 0.4, 42)), expected);
  EXPECT_NE(upper_pairs(erdos_renyi(7, 0.4, 43)), expected);

  const CsrGraph g = erdos_renyi(40, 0.3, 9);
  for (std::size_t u = 0; u < g.num_nodes(); ++u) {
    const auto nb = g.neighbors(u);
    EXPECT_TRUE(std::is_sorted(nb.begin(), nb.end()));
  }
}

TEST(ErdosRenyi, HugeCompleteGraphIsRefusedBeforeBuilding) {
  EXPECT_THROW(erdos_renyi(std::size_t(1) << 40, 1.0, 0), std::bad_alloc);
  EXPECT_THROW(erdos_renyi(std::numeric_limits<std::size_t>::max(), 0.0, 0), std::bad_alloc);
}

// ----------------------------------------------------------- Watts-Strogatz

TEST(WattsStrogatz, Preconditions) {
  for (const auto& [n, k] : std::vector<std::pair<std::size_t, std::size_t>>{
           {10, 3}, {10, 10}, {10, 12}, {0, 0}, {4, 5}}) {
    try {
      watts_strogatz(n, k, 0.1, 1);
      ADD_FAILURE() << "n=" << n << " k=" << k;
    } catch (const CoreError& e) {
      EXPECT_STREQ(e.what(), "k must be even and < n");
    }
  }
  EXPECT_EQ(watts_strogatz(5, 0, 0.5, 1).num_arcs(), 0u);
  EXPECT_EQ(watts_strogatz(1, 0, 0.5, 1).num_nodes(), 1u);
}

TEST(WattsStrogatz, BetaZeroIsTheRingLattice) {
  const CsrGraph g = watts_strogatz(8, 4, 0.0, 123);
  std::set<std::pair<std::size_t, std::size_t>> lattice;
  for (std::size_t i = 0; i < 8; ++i)
    for (std::size_t j = 1; j <= 2; ++j) {
      const std::size_t t = (i + j) % 8;
      lattice.insert({std::min(i, t), std::max(i, t)});
    }
  EXPECT_EQ(as_set(upper_pairs(g)), lattice);
  EXPECT_EQ(upper_pairs(g).size(), 16u);

  // Small n: the lattice is complete and duplicates collapse.
  EXPECT_EQ(upper_pairs(watts_strogatz(5, 4, 0.0, 1)).size(), 10u);
}

TEST(WattsStrogatz, RewiringKeepsEdgeCountAndSimplicity) {
  // Pinned against a Python model of the same draws and set order.
  const PairList expected = {{0, 7}, {0, 2}, {0, 8}, {0, 9}, {1, 2}, {1, 3}, {1, 6},
                             {1, 9}, {2, 8}, {2, 4}, {2, 5}, {3, 4}, {3, 5}, {4, 5},
                             {4, 6}, {5, 7}, {6, 7}, {7, 8}, {7, 9}, {8, 9}};
  EXPECT_EQ(upper_pairs(watts_strogatz(10, 4, 0.3, 7)), expected);

  for (const double beta : {0.5, 1.0}) {
    const CsrGraph g = watts_strogatz(30, 6, beta, 5);
    const PairList pairs = upper_pairs(g);
    EXPECT_EQ(pairs.size(), 90u);
    EXPECT_EQ(as_set(pairs).size(), pairs.size());  // no duplicates
    EXPECT_EQ(g.num_arcs(), 180u);                  // so no self-loops either
    EXPECT_EQ(upper_pairs(watts_strogatz(30, 6, beta, 5)), pairs);
  }
}

TEST(WattsStrogatz, PairSetAgreesWithOrderedSetUnderChurn) {
  // A 16-slot table kept half full with 66 possible pairs: runs collide and
  // wrap around, so deletions must shift entries back correctly.
  detail::PairSet set(8);
  std::set<std::pair<std::size_t, std::size_t>> model;
  ChaCha8Rng rng(5);
  for (int step = 0; step < 5000; ++step) {
    const std::size_t a = rng.index_below(12), b = rng.index_below(12);
    if (a == b) continue;
    const detail::NodePair p = detail::ordered_pair(a, b);
    const std::pair<std::size_t, std::size_t> key{p.lo, p.hi};
    if (rng.next_u32() % 2 == 0 && model.size() < 8) {
      EXPECT_EQ(set.insert(p), model.insert(key).second);
    } else {
      set.erase(p);
      model.erase(key);
    }
    for (std::size_t x = 0; x < 12; ++x)
      for (std::size_t y = x + 1; y < 12; ++y)
        ASSERT_EQ(set.contains({x, y}), model.count({x, y}) == 1) << "step " << step;
  }
}

// ---------------------------------------------------------- Barabasi-Albert

TEST(BarabasiAlbert, Preconditions) {
  for (const auto& [n, m] :
       std::vector<std::pair<std::size_t, std::size_t>>{{5, 0}, {5, 5}, {5, 6}, {0, 0}, {1, 1}}) {
    try {
      barabasi_albert(n, m, 1);
      ADD_FAILURE() << "n=" << n << " m=" << m;
    } catch (const CoreError& e) {
      EXPECT_STREQ(e.what(), "need n > m >= 1");
    }
  }
}

TEST(BarabasiAlbert, EdgeCountAndDistinctTargets) {
  for (const auto& [n, m] :
       std::vector<std::pair<std::size_t, std::size_t>>{{9, 3}, {50, 4}, {12, 11}, {2, 1}}) {
    const PairList pairs = upper_pairs(barabasi_albert(n, m, 77));
    EXPECT_EQ(pairs.size(), m * (m - 1) / 2 + (n - m) * m) << n << " " << m;
    EXPECT_EQ(as_set(pairs).size(), pairs.size());
  }
  // Pinned against a Python model: the clique, then each node's picks.
  EXPECT_EQ(as_set(upper_pairs(barabasi_albert(9, 3, 5))),
            as_set({{0, 1}, {0, 2}, {1, 2}, {1, 3}, {2, 3}, {0, 3}, {2, 4},
                    {0, 4}, {3, 4}, {3, 5}, {1, 5}, {0, 5}, {5, 6}, {3, 6},
                    {2, 6}, {0, 7}, {2, 7}, {6, 7}, {1, 8}, {2, 8}, {6, 8}}));
}

TEST(BarabasiAlbert, SingleAttachmentGrowsATree) {
  const CsrGraph g = barabasi_albert(8, 1, 5);
  const PairList pairs = upper_pairs(g);
  EXPECT_EQ(as_set(pairs), as_set({{0, 1}, {1, 2}, {0, 3}, {3, 4}, {2, 5}, {5, 6}, {0, 7}}));
  // Node 1 always attaches to node 0, whatever the seed.
  for (std::uint64_t seed = 0; seed < 5; ++seed) {
    const CsrGraph t = barabasi_albert(30, 1, seed);
    EXPECT_EQ(t.neighbors(1).front().first, 0u);
    EXPECT_EQ(upper_pairs(t).size(), 29u);
    // n - 1 edges and connected: a tree. Every node links to an older one.
    for (std::size_t v = 1; v < 30; ++v) {
      const auto nb = t.neighbors(v);
      EXPECT_TRUE(std::any_of(nb.begin(), nb.end(), [v](const auto& a) { return a.first < v; }));
    }
  }
}

// --------------------------------------------------------------- random maze

TEST(RandomMaze, SeededLayout) {
  EXPECT_EQ(random_maze_ascii(6, 4, 0.35, 11), "S.#..#\n.#..##\n..#.##\n#..#.G");
  EXPECT_EQ(random_maze_ascii(3, 2, 0.0, 99), "S..\n..G");
  const GeneratedMaze m = random_maze(6, 4, 0.35, 11);
  EXPECT_EQ(m.start, (Cell{0, 0}));
  EXPECT_EQ(m.goal, (Cell{3, 5}));
  EXPECT_TRUE(m.grid.is_wall(Cell{0, 2}));
  EXPECT_EQ(m.grid.width(), 6);
  EXPECT_EQ(m.grid.height(), 4);
}

TEST(RandomMaze, CornersConsumeNoDraw) {
  // Same seed as above: the start consumes no draw, so the first row reads
  // the same up to the goal corner.
  const std::string one_row = random_maze_ascii(5, 1, 0.35, 11);
  EXPECT_EQ(one_row, "S.#.G");
  const GeneratedMaze tiny = random_maze(1, 1, 1.0, 3);
  EXPECT_EQ(tiny.start, tiny.goal);
  EXPECT_FALSE(tiny.grid.is_wall(Cell{0, 0}));
  EXPECT_EQ(random_maze_ascii(1, 1, 1.0, 3), "S");
}

TEST(RandomMaze, FullDensityWallsEverythingButCorners) {
  EXPECT_EQ(random_maze_ascii(4, 3, 1.0, 1), "S###\n####\n###G");
  EXPECT_EQ(random_maze_ascii(2, 1, 5.0, 1), "SG");
}

TEST(RandomMaze, RefusesEmptyGrids) {
  for (const auto& [w, h] : std::vector<std::pair<int, int>>{{0, 3}, {3, 0}, {-1, 5}}) {
    try {
      random_maze(w, h, 0.2, 1);
      ADD_FAILURE() << w << "x" << h;
    } catch (const CoreError& e) {
      EXPECT_STREQ(e.what(), "grid must be non-empty");
    }
  }
  EXPECT_THROW(random_maze(65536, 65536, 0.2, 1), CoreError);  // too many cells
}

}  // namespace
}  // namespace wayloom
