// The puzzle domains: successor orders, solvability, heuristics, limits, and a
// few optimal searches whose answers are known.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "wayloom/core/byte_state.hpp"
#include "wayloom/domains/hanoi.hpp"
#include "wayloom/domains/npuzzle.hpp"
#include "wayloom/domains/wordladder.hpp"
#include "wayloom/search/best_first.hpp"

namespace wayloom {
namespace {

using States = std::vector<ByteState>;

static_assert(Graph<NPuzzle> && Graph<Hanoi> && Graph<WordLadder>);
static_assert(Heuristic<PuzzleManhattan, ByteState> && Heuristic<PuzzleMisplaced, ByteState>);
static_assert(Heuristic<HanoiMisplaced, ByteState> && Heuristic<LadderHamming, std::string>);

template <class N>
std::vector<N> targets(const Neighbors<N>& ns) {
  std::vector<N> out;
  for (const auto& [n, w] : ns) {
    EXPECT_EQ(w, 1.0);
    out.push_back(n);
  }
  return out;
}

ByteState iota_state(std::size_t n) {
  ByteState s(n, 0);
  for (std::size_t i = 0; i < n; ++i) s[i] = std::uint8_t(i * 7 + 1);
  return s;
}

TEST(ByteState, CopiesAndMovesAcrossInlineAndHeapSizes) {
  for (const std::size_t n : {0u, 1u, 32u, 33u, 300u}) {
    const ByteState a = iota_state(n);
    ByteState copy = a;
    EXPECT_EQ(copy, a);
    EXPECT_EQ(NodeHash<ByteState>{}(copy), NodeHash<ByteState>{}(a));
    if (n) {
      copy[n - 1] ^= 1;  // a copy is deep
      EXPECT_NE(copy, a);
    }
    ByteState moved = std::move(copy);
    EXPECT_EQ(moved.size(), n);
    EXPECT_TRUE(copy.empty());  // moved-from states are empty
    // Assignment in every direction between short and long states.
    for (const std::size_t m : {0u, 5u, 32u, 40u}) {
      ByteState b = iota_state(m);
      b = a;
      EXPECT_EQ(b, a);
      ByteState c = iota_state(m);
      c = ByteState(a);
      EXPECT_EQ(c, a);
    }
  }
  EXPECT_NE(ByteState({1, 2}), ByteState({1, 2, 0}));
  EXPECT_EQ(ByteState(std::vector<std::uint8_t>{4, 5, 6}).to_vector(),
            (std::vector<std::uint8_t>{4, 5, 6}));
  EXPECT_THROW(ByteState(ByteState::max_size() + 1, 0), std::bad_alloc);
}

// ---------------------------------------------------------------- N-puzzle

TEST(NPuzzle, SuccessorsMoveTheBlankUpDownLeftRight) {
  const NPuzzle p(3);
  EXPECT_EQ(p.goal(), ByteState({1, 2, 3, 4, 5, 6, 7, 8, 0}));
  EXPECT_EQ(targets(p.neighbors(p.goal())),
            (States{{1, 2, 3, 4, 5, 0, 7, 8, 6}, {1, 2, 3, 4, 5, 6, 7, 0, 8}}));
  EXPECT_EQ(targets(p.neighbors({1, 2, 3, 4, 0, 5, 6, 7, 8})),
            (States{{1, 0, 3, 4, 2, 5, 6, 7, 8},
                    {1, 2, 3, 4, 7, 5, 6, 0, 8},
                    {1, 2, 3, 0, 4, 5, 6, 7, 8},
                    {1, 2, 3, 4, 5, 0, 6, 7, 8}}));
  // Edge blank: 3 moves; the buffer is appended to, not cleared.
  Neighbors<ByteState> out;
  out.emplace_back(ByteState{9}, 5.0);
  p.neighbors_into({1, 0, 2, 3, 4, 5, 6, 7, 8}, out);
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[0].first, ByteState{9});
  EXPECT_EQ(out[1].first, ByteState({1, 4, 2, 3, 0, 5, 6, 7, 8}));
}

TEST(NPuzzle, OneByOneBoardAndMalformedStates) {
  const NPuzzle p(1);
  EXPECT_EQ(p.goal(), ByteState{0});
  EXPECT_TRUE(p.is_solvable(p.goal(), p.goal()));
  EXPECT_TRUE(p.neighbors(p.goal()).empty());
  // A state of the wrong size yields nothing instead of reading past it.
  EXPECT_TRUE(NPuzzle(3).neighbors({1, 0}).empty());
  EXPECT_TRUE(NPuzzle(0).neighbors({}).empty());
  EXPECT_FALSE(NPuzzle(3).is_solvable({1, 2, 0}, {1, 2, 3, 0}));
  EXPECT_THROW(NPuzzle(std::size_t(1) << 20).goal(), std::bad_alloc);
}

TEST(NPuzzle, SolvabilityOnOddAndEvenWidths) {
  const NPuzzle p3(3);
  EXPECT_FALSE(p3.is_solvable({1, 2, 3, 4, 5, 6, 8, 7, 0}, p3.goal()));
  EXPECT_TRUE(p3.is_solvable({1, 2, 3, 4, 5, 6, 7, 0, 8}, p3.goal()));
  EXPECT_TRUE(p3.is_solvable({8, 6, 7, 2, 5, 4, 3, 0, 1}, p3.goal()));

  const NPuzzle p4(4);
  const ByteState g4 = p4.goal();
  ByteState swapped = g4;
  std::swap(swapped[13], swapped[14]);  // ... 13 15 14 0
  EXPECT_FALSE(p4.is_solvable(swapped, g4));
  ByteState shifted = g4;
  std::swap(shifted[14], shifted[15]);  // ... 14 0 15
  EXPECT_TRUE(p4.is_solvable(shifted, g4));
  // On an even width a vertical blank move matters as much as a swap: one
  // move up is solvable, that plus a tile swap is not.
  ByteState up = g4;
  std::swap(up[11], up[15]);
  EXPECT_TRUE(p4.is_solvable(up, g4));
  std::swap(up[0], up[1]);
  EXPECT_FALSE(p4.is_solvable(up, g4));
  EXPECT_FALSE(p4.is_solvable(g4, up));  // against a non-canonical goal
  EXPECT_TRUE(NPuzzle(2).is_solvable({0, 1, 3, 2}, NPuzzle(2).goal()));
  EXPECT_FALSE(NPuzzle(2).is_solvable({0, 1, 2, 3}, NPuzzle(2).goal()));
}

TEST(NPuzzle, HeuristicsIgnoreTheBlankAndAcceptAnyGoal) {
  const NPuzzle p(3);
  const PuzzleManhattan manhattan{3};
  const PuzzleMisplaced misplaced;
  const ByteState g = p.goal();
  const ByteState one{1, 2, 3, 4, 5, 6, 7, 0, 8};
  EXPECT_EQ(manhattan.estimate(one, g), 1.0);
  EXPECT_EQ(misplaced.estimate(one, g), 1.0);
  EXPECT_EQ(manhattan.estimate(g, g), 0.0);
  EXPECT_EQ(misplaced.estimate(g, g), 0.0);
  EXPECT_EQ(manhattan.estimate(g, one), 1.0);  // any board can be the goal
  const ByteState hard{8, 6, 7, 2, 5, 4, 3, 0, 1};
  EXPECT_EQ(manhattan.estimate(hard, g), 21.0);
  EXPECT_EQ(misplaced.estimate(hard, g), 7.0);
  // Tile 4 three rows from home on a 4x4 board: the side sets the geometry.
  const ByteState g4 = NPuzzle(4).goal();
  ByteState s4 = g4;
  std::swap(s4[3], s4[15]);  // tile 4 to the corner, blank to the top
  EXPECT_EQ((PuzzleManhattan{4}.estimate(s4, g4)), 3.0);
  EXPECT_EQ(misplaced.estimate(s4, g4), 1.0);
}

// ------------------------------------------------------------------- Hanoi

TEST(Hanoi, SuccessorsGroupedBySourceThenDestination) {
  const Hanoi h = Hanoi::with_pegs(3, 3);
  EXPECT_EQ(h.start(), ByteState({0, 0, 0}));
  EXPECT_EQ(h.goal(), ByteState({2, 2, 2}));
  EXPECT_EQ(targets(h.neighbors(h.start())), (States{{1, 0, 0}, {2, 0, 0}}));
  EXPECT_EQ(targets(h.neighbors({1, 0, 0})), (States{{1, 2, 0}, {0, 0, 0}, {2, 0, 0}}));
  // Disk 2 alone on peg 2, disk 1 on peg 1, disk 0 on peg 0: every top moves
  // onto larger disks only.
  EXPECT_EQ(targets(h.neighbors({0, 1, 2})), (States{{1, 1, 2}, {2, 1, 2}, {0, 2, 2}}));

  EXPECT_EQ(targets(Hanoi::with_pegs(3, 4).neighbors({0, 0, 0})),
            (States{{1, 0, 0}, {2, 0, 0}, {3, 0, 0}}));
  const Hanoi one = Hanoi::with_pegs(3, 1);
  EXPECT_EQ(one.start(), one.goal());
  EXPECT_TRUE(one.neighbors(one.start()).empty());
  EXPECT_EQ(Hanoi::with_pegs(2, 16).neighbors({0, 0}).size(), 15u);
}

TEST(Hanoi, PegAndDiskLimits) {
  EXPECT_EQ(Hanoi::with_pegs(3, 16).pegs(), 16u);
  for (const std::size_t pegs : {std::size_t(0), std::size_t(17), std::size_t(1) << 40}) {
    try {
      Hanoi::with_pegs(3, pegs);
      ADD_FAILURE() << "accepted " << pegs << " pegs";
    } catch (const CoreError& e) {
      EXPECT_EQ(std::string(e.what()),
                "pegs must be between 1 and 16, got " + std::to_string(pegs));
    }
  }
  // The peg count is checked first; an unallocatable disk count next.
  EXPECT_THROW(Hanoi::with_pegs(1000000000000, 17), CoreError);
  EXPECT_THROW(Hanoi::with_pegs(1000000000000, 3), std::bad_alloc);
  EXPECT_THROW(Hanoi::with_pegs(Hanoi::kMaxDisks + 1, 3), std::bad_alloc);
  // Large states leave the inline buffer and still move correctly.
  const Hanoi big = Hanoi::with_pegs(100, 3);
  const auto next = big.neighbors(big.start());
  ASSERT_EQ(next.size(), 2u);
  EXPECT_EQ(next[1].first[0], 2);
  EXPECT_EQ(HanoiMisplaced{}.estimate(next[1].first, big.start()), 1.0);
}

TEST(Hanoi, MisplacedCountsDisksOffTheirGoalPeg) {
  const Hanoi h = Hanoi::with_pegs(5, 4);
  EXPECT_EQ(HanoiMisplaced{}.estimate(h.start(), h.goal()), 5.0);
  EXPECT_EQ(HanoiMisplaced{}.estimate(h.goal(), h.goal()), 0.0);
}

// ------------------------------------------------------------- Word ladder

TEST(WordLadder, SuccessorsByPositionThenLetter) {
  const WordLadder w({"cold", "cord", "card", "ward", "warm", "word", "worm", "cords", "col"});
  EXPECT_EQ(targets(w.neighbors("cold")), (std::vector<std::string>{"cord"}));
  EXPECT_EQ(targets(w.neighbors("cord")), (std::vector<std::string>{"word", "card", "cold"}));
  EXPECT_TRUE(w.neighbors("").empty());
  EXPECT_TRUE(WordLadder().neighbors("cold").empty());
  // A word outside the dictionary still has its dictionary neighbours.
  EXPECT_EQ(targets(w.neighbors("xold")), (std::vector<std::string>{"cold"}));
  // Only a..z are substituted: "c0ld" is not adjacent to cold.
  WordLadder d({"c0ld"});
  d.insert("cold");
  d.insert("cold");
  EXPECT_EQ(d.size(), 2u);
  EXPECT_TRUE(d.neighbors("cold").empty());
}

TEST(WordLadder, PositionsInsideMultiByteCharactersNeverChange) {
  // e-acute is C3 A9; replacing either of its bytes cannot give valid UTF-8,
  // even when the resulting byte strings are in the dictionary.
  const std::string e = "\xC3\xA9";
  const WordLadder w({e + "a", std::string("a\xA9") + "b", std::string("\xC3") + "ab"});
  EXPECT_EQ(targets(w.neighbors(e + "b")), (std::vector<std::string>{e + "a"}));
  // A malformed word can turn well-formed by one substitution, and only then.
  EXPECT_EQ(targets(WordLadder({"ab", "b\x80"}).neighbors("a\x80")),
            (std::vector<std::string>{"ab"}));
  // Words longer than the stack scratch buffer work the same way.
  const std::string long_word(100, 'q');
  std::string other = long_word;
  other[70] = 'c';
  EXPECT_EQ(targets(WordLadder({other}).neighbors(long_word)), (std::vector<std::string>{other}));
}

TEST(WordLadder, HammingComparesTheCommonPrefixLength) {
  const LadderHamming h;
  EXPECT_EQ(h.estimate("cold", "warm"), 4.0);
  EXPECT_EQ(h.estimate("cold", "cold"), 0.0);
  EXPECT_EQ(h.estimate("ab", "abc"), 0.0);
}

// ---------------------------------------------- optimal searches end to end

const BestFirstSpec kBfs{1.0, 0.0, FrontierKind::Fifo};
const BestFirstSpec kAstar{1.0, 1.0, FrontierKind::PriorityQueue};

TEST(PuzzleSearch, AStarSolvesTheHardestEightPuzzles) {
  const NPuzzle p(3);
  for (const ByteState& start :
       {ByteState{8, 6, 7, 2, 5, 4, 3, 0, 1}, ByteState{6, 4, 7, 8, 5, 0, 3, 2, 1}}) {
    const auto r = search_with_options(p, start, p.goal(), kAstar, PuzzleManhattan{3},
                                       SearchOptions{std::nullopt, false, false});
    ASSERT_TRUE(r.found());
    EXPECT_EQ(r.cost, 31.0);
    EXPECT_EQ(r.path->size(), 32u);
    EXPECT_EQ(r.path->front(), start);
    EXPECT_EQ(r.path->back(), p.goal());
  }
}

TEST(PuzzleSearch, HanoiOptimaForThreeAndFourPegs) {
  for (std::size_t n = 1; n <= 6; ++n) {
    const Hanoi h = Hanoi::with_pegs(n, 3);
    const auto r = search_with_options(h, h.start(), h.goal(), kBfs, Zero{}, SearchOptions{});
    ASSERT_TRUE(r.found()) << n;
    EXPECT_EQ(r.cost, double((1u << n) - 1)) << n;
  }
  const double four_pegs[] = {1, 3, 5, 9, 13, 17, 25, 33};
  for (std::size_t n = 1; n <= 8; ++n) {
    const Hanoi h = Hanoi::with_pegs(n, 4);
    const auto r = search_with_options(h, h.start(), h.goal(), kAstar, HanoiMisplaced{},
                                       SearchOptions{std::nullopt, false, false});
    ASSERT_TRUE(r.found()) << n;
    EXPECT_EQ(r.cost, four_pegs[n - 1]) << n;
  }
}

TEST(PuzzleSearch, WordLadderColdToWarm) {
  const WordLadder w({"cold", "cord", "card", "ward", "warm", "word", "worm", "wild"});
  const auto r = search_with_options(w, std::string("cold"), std::string("warm"), kBfs, Zero{},
                                     SearchOptions{});
  ASSERT_TRUE(r.found());
  EXPECT_EQ(r.cost, 4.0);
  EXPECT_EQ(r.path->size(), 5u);
  EXPECT_EQ(r.path->back(), "warm");
  const auto a = search_with_options(w, std::string("cold"), std::string("warm"), kAstar,
                                     LadderHamming{}, SearchOptions{});
  EXPECT_EQ(a.cost, 4.0);
}

}  // namespace
}  // namespace wayloom
