// The special strategies: depth-limited, iterative deepening, IDA*, beam and
// bidirectional search, on small hand-built graphs whose runs can be followed
// step by step, plus the node table they share.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "wayloom/domains/csr_graph.hpp"
#include "wayloom/domains/grid.hpp"
#include "wayloom/search/beam.hpp"
#include "wayloom/search/bidirectional.hpp"
#include "wayloom/search/depth_limited.hpp"
#include "wayloom/search/ida_star.hpp"

namespace wayloom {
namespace {

using Path = std::vector<std::size_t>;
constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();
const double kNaN = std::nan("");

// A directed graph from adjacency lists. It is not transposable, so
// bidirectional search walks back along its successors. `queried` lists the
// nodes whose successors were requested, in order.
struct ListGraph {
  using node_type = std::size_t;
  std::vector<Neighbors<std::size_t>> adj;
  mutable std::vector<std::size_t> queried;

  void neighbors_into(std::size_t n, Neighbors<std::size_t>& out) const {
    queried.push_back(n);
    for (const auto& arc : adj[n]) out.push_back(arc);
  }
};

// A heuristic read from a table indexed by node.
struct TableH {
  std::vector<double> h;
  double estimate(std::size_t n, std::size_t) const { return h[n]; }
};

static_assert(Graph<ListGraph> && !TransposableGraph<ListGraph>);
static_assert(TransposableGraph<CsrGraph> && !TransposableGraph<GridGraph>);
static_assert(Heuristic<TableH, std::size_t>);

// The trace as columns (an absent g reads -1).
template <class N>
struct Steps {
  std::vector<N> nodes;
  std::vector<double> g;
  std::vector<std::uint64_t> sizes;
  explicit Steps(const SearchResult<N>& r) {
    for (const auto& s : r.trace) {
      nodes.push_back(s.node);
      g.push_back(s.g.value_or(-1.0));
      sizes.push_back(s.frontier_size);
    }
  }
};

template <class N>
void expect_counters(const SearchResult<N>& r, std::uint64_t expanded, std::uint64_t generated,
                     std::uint64_t peak) {
  EXPECT_EQ(r.nodes_expanded, expanded);
  EXPECT_EQ(r.nodes_generated, generated);
  EXPECT_EQ(r.max_frontier_size, peak);
  EXPECT_EQ(r.nodes_reopened, 0u);
  EXPECT_TRUE(r.tree.empty());
}

template <class N>
void expect_exhausted(const SearchResult<N>& r) {
  EXPECT_EQ(r.stop_reason, StopReason::Exhausted);
  EXPECT_FALSE(r.path.has_value());
  EXPECT_EQ(r.cost, kInf);
}

// Switching recording off changes nothing but the trace.
template <class Run>
void expect_record_only_fills_trace(Run run) {
  const auto on = run(true), off = run(false);
  const auto outcome = [](const auto& r) {
    return std::tie(r.path, r.stop_reason, r.nodes_expanded, r.nodes_generated,
                    r.max_frontier_size);
  };
  EXPECT_TRUE(outcome(on) == outcome(off));
  EXPECT_TRUE(off.trace.empty());
}

// 0 -> 1 -> ... -> n-1, unit costs.
CsrGraph path_graph(std::size_t n) {
  std::vector<Edge> edges;
  for (std::size_t i = 0; i + 1 < n; ++i) edges.push_back({i, i + 1, 1.0});
  return CsrGraph::from_edges(n, edges, false);
}

// ------------------------------------------------------------ node table

// A bad hash: homes at both ends of the table, so probe runs overlap and wrap.
struct Collide {
  std::uint64_t operator()(std::size_t v) const noexcept {
    return v % 5 < 2 ? ~std::uint64_t(v % 5) : v % 5 - 2;
  }
};

TEST(NodeTable, PopBackKeepsEveryOtherEntryFindable) {
  detail::NodeTable<std::size_t, Collide> t;
  for (std::size_t v = 0; v < 40; ++v)
    EXPECT_EQ(t.insert(v * 3), std::make_pair(std::uint32_t(v), true));
  EXPECT_FALSE(t.insert(9).second);
  while (!t.empty()) {
    t.pop_back();
    for (std::size_t v = 0; v < 40; ++v)
      ASSERT_EQ(t.find(v * 3), v < t.size() ? v : detail::NodeTable<std::size_t>::kNone);
  }
  detail::NodeTable<std::string> words;
  words.insert("a");
  words.insert(std::string(100, 'x'));
  words.pop_back();
  EXPECT_FALSE(words.contains(std::string(100, 'x')));
  EXPECT_EQ(words.find("a"), 0u);
}

// ------------------------------------------------------------ all strategies

TEST(Strategies, StartEqualToGoalIsFoundWithoutExpandingIt) {
  const ListGraph g{{{{1, 1.0}}, {{0, 1.0}}}, {}};
  const auto check = [&](const SearchResult<std::size_t>& r, std::uint64_t expanded) {
    EXPECT_EQ(r.stop_reason, StopReason::Goal);
    EXPECT_EQ(r.path, Path{0});
    EXPECT_EQ(r.cost, 0.0);
    expect_counters(r, expanded, 1, 1);
    EXPECT_TRUE(g.queried.empty());
  };
  for (const std::uint64_t limit : {0u, 5u}) {
    const auto d = dls(g, 0, 0, limit, true);
    check(d, 1);
    EXPECT_EQ(Steps(d).g, std::vector<double>{0.0});
    EXPECT_EQ(Steps(d).sizes, std::vector<std::uint64_t>{0});
    const auto i = iddfs(g, 0, 0, limit, true);
    check(i, 1);
    EXPECT_EQ(i.trace.size(), 1u);  // found by pass 0
  }
  check(ida_star(g, Zero{}, 0, 0, true), 1);
  check(beam_search(g, Zero{}, 0, 0, kUnlimited, true), 1);
  check(beam_search(g, Zero{}, 0, 0, 0, true), 1);
  const auto b = bidirectional(g, 0, 0, true);
  check(b, 0);
  EXPECT_TRUE(b.trace.empty());
}

TEST(Strategies, RecordingOnlyFillsTheTrace) {
  const ListGraph g{{{{1, 1.0}, {2, 4.0}}, {{3, 1.0}}, {{3, 1.0}}, {}}, {}};
  expect_record_only_fills_trace([&](bool rec) { return dls(g, 0, 3, 2, rec); });
  expect_record_only_fills_trace([&](bool rec) { return iddfs(g, 0, 3, 5, rec); });
  expect_record_only_fills_trace([&](bool rec) { return ida_star(g, Zero{}, 0, 3, rec); });
  expect_record_only_fills_trace([&](bool rec) { return beam_search(g, Zero{}, 0, 3, 1, rec); });
  expect_record_only_fills_trace([&](bool rec) { return bidirectional(g, 0, 3, rec); });
}

// ------------------------------------------------------------ depth-limited

TEST(Dls, TheLimitCountsEdgesAndTheGoalIsTestedBeforeIt) {
  const ListGraph g{{{{1, 1.0}}, {{2, 2.0}}, {{3, 3.0}}, {{4, 1.0}}, {}}, {}};
  const auto zero = dls(g, 0, 1, 0, true);
  expect_exhausted(zero);
  expect_counters(zero, 1, 1, 1);
  EXPECT_TRUE(g.queried.empty());  // a node without depth left is not expanded

  const auto r = dls(g, 0, 3, 3, true);
  EXPECT_EQ(r.stop_reason, StopReason::Goal);
  EXPECT_EQ(r.path, (Path{0, 1, 2, 3}));
  EXPECT_EQ(r.cost, 6.0);
  expect_counters(r, 4, 4, 3);
  EXPECT_EQ(Steps(r).g, (std::vector<double>{0, 1, 3, 6}));
  EXPECT_EQ(Steps(r).sizes, (std::vector<std::uint64_t>{0, 1, 2, 3}));
  // Expansions of 0, 1, 2, then the cost of the path queries them again.
  EXPECT_EQ(g.queried, (Path{0, 1, 2, 0, 1, 2}));

  const auto short_of_it = dls(g, 0, 3, 2, true);
  expect_exhausted(short_of_it);
  expect_counters(short_of_it, 3, 3, 2);
}

TEST(Dls, SkipsCyclesAlongThePathButRevisitsAcrossBranches) {
  // 0 has a self-loop, 1 an arc back to 0; 3 is reachable through 1 and 2.
  const ListGraph g{{{{0, 1.0}, {1, 1.0}, {2, 1.0}}, {{0, 1.0}, {3, 1.0}}, {{3, 1.0}}, {}, {}}, {}};
  const auto r = dls(g, 0, 4, 5, true);
  expect_exhausted(r);
  EXPECT_EQ(Steps(r).nodes, (Path{0, 1, 3, 2, 3}));
  EXPECT_EQ(Steps(r).sizes, (std::vector<std::uint64_t>{0, 1, 2, 1, 2}));
  expect_counters(r, 5, 5, 3);
}

TEST(Iddfs, FindsTheFewestEdgesAndSumsPassesWithARestartingTrace) {
  const ListGraph g{{{{1, 1.0}, {3, 10.0}}, {{2, 1.0}}, {{3, 1.0}}, {}}, {}};
  const auto r = iddfs(g, 0, 3, 10, true);
  EXPECT_EQ(r.path, (Path{0, 3}));  // fewest edges, not the cheapest (cost 3 via 1, 2)
  EXPECT_EQ(r.cost, 10.0);
  // Pass 0: the start. Pass 1: the start, 1 at depth 0, then the goal.
  EXPECT_EQ(Steps(r).nodes, (Path{0, 0, 1, 3}));
  EXPECT_EQ(Steps(r).sizes, (std::vector<std::uint64_t>{0, 0, 1, 1}));
  expect_counters(r, 4, 4, 1);

  EXPECT_EQ(dls(g, 0, 3, 3, false).path, (Path{0, 1, 2, 3}));  // successor order decides
}

TEST(Iddfs, UnreachableGoalRunsEveryPassUpToTheLimit) {
  const ListGraph g{{{{1, 1.0}}, {}, {}}, {}};
  // Pass 0 visits the start; each later pass visits 0 and 1.
  const auto r = iddfs(g, 0, 2, 1000, true);
  expect_exhausted(r);
  expect_counters(r, 2001, 2001, 2);
  std::size_t restarts = 0;
  for (const auto& s : r.trace) restarts += s.node == 0;
  EXPECT_EQ(restarts, 1001u);

  const auto one_pass = iddfs(g, 0, 2, 0, true);
  expect_exhausted(one_pass);
  expect_counters(one_pass, 1, 1, 1);
}

TEST(DepthFirst, DeepPathsUseNoCallStack) {
  constexpr std::size_t kDepth = 100000;
  const CsrGraph g = path_graph(kDepth + 1);
  const auto r = dls(g, 0, kDepth, kDepth, false);
  ASSERT_EQ(r.stop_reason, StopReason::Goal);
  EXPECT_EQ(r.path->size(), kDepth + 1);
  EXPECT_EQ(r.cost, double(kDepth));
  expect_counters(r, kDepth + 1, kDepth + 1, kDepth);
  expect_exhausted(dls(g, 0, kDepth, kDepth - 1, false));

  // Exact remaining distance: a single pass at threshold kDepth goes all the way.
  struct Remaining {
    double estimate(std::size_t n, std::size_t goal) const { return double(goal - n); }
  };
  const auto i = ida_star(g, Remaining{}, 0, kDepth, false);
  ASSERT_EQ(i.stop_reason, StopReason::Goal);
  EXPECT_EQ(i.path->size(), kDepth + 1);
  expect_counters(i, kDepth + 1, kDepth + 1, kDepth);

  // Iterative deepening costs quadratic work; a shorter goal keeps it quick.
  const auto d = iddfs(g, 0, 2000, kDepth, false);
  ASSERT_EQ(d.stop_reason, StopReason::Goal);
  EXPECT_EQ(d.nodes_expanded, 2001u * 2002u / 2u);
}

// ------------------------------------------------------------ IDA*

TEST(IdaStar, ZeroHeuristicRaisesTheThresholdThroughDistinctPathCosts) {
  // 0 -> 1 (2), 0 -> 2 (1), 1 -> 3 (1), 2 -> 3 (3): thresholds 0, 1, 2, 3.
  const ListGraph g{{{{1, 2.0}, {2, 1.0}}, {{3, 1.0}}, {{3, 3.0}}, {}}, {}};
  const auto r = ida_star(g, Zero{}, 0, 3, true);
  EXPECT_EQ(r.stop_reason, StopReason::Goal);
  EXPECT_EQ(r.path, (Path{0, 1, 3}));
  EXPECT_EQ(r.cost, 3.0);
  EXPECT_EQ(Steps(r).nodes, (Path{0, /**/ 0, 2, /**/ 0, 1, 2, /**/ 0, 1, 3}));
  EXPECT_EQ(Steps(r).g, (std::vector<double>{0, 0, 1, 0, 2, 1, 0, 2, 3}));
  EXPECT_EQ(Steps(r).sizes, (std::vector<std::uint64_t>{0, 0, 1, 0, 1, 1, 0, 1, 2}));
  // Cut-off children count as generated: 2 + 3 + 4 + 2 over the passes.
  expect_counters(r, 9, 12, 2);
}

TEST(IdaStar, NaNEstimatesAreNeverCutOffNorBecomeAThreshold) {
  const ListGraph g{{{{1, 5.0}}, {{2, 5.0}}, {}}, {}};
  // Node 1's f is NaN: expanded in the first pass; 2 (f 10) sets the next threshold.
  const auto r = ida_star(g, TableH{{0.0, kNaN, 0.0}}, 0, 2, true);
  EXPECT_EQ(r.path, (Path{0, 1, 2}));
  EXPECT_EQ(Steps(r).nodes, (Path{0, 1, /**/ 0, 1, 2}));
  expect_counters(r, 5, 5, 2);

  // A NaN start threshold cuts nothing off: one pass.
  const auto n = ida_star(g, TableH{{kNaN, 100.0, 100.0}}, 0, 2, true);
  EXPECT_EQ(Steps(n).nodes, (Path{0, 1, 2}));
}

TEST(IdaStar, EndsExhaustedAfterAPassWithoutCutOffs) {
  const ListGraph g{{{{1, 1.0}}, {{0, 1.0}}, {}}, {}};
  const auto r = ida_star(g, Zero{}, 0, 2, true);
  expect_exhausted(r);
  EXPECT_EQ(Steps(r).nodes, (Path{0, /**/ 0, 1}));
  expect_counters(r, 3, 3, 2);
}

// ------------------------------------------------------------ beam

TEST(Beam, WidthZeroOneAndUnlimited) {
  const ListGraph g{{{{1, 1.0}, {2, 1.0}}, {{3, 1.0}}, {{4, 2.0}}, {}, {{5, 4.0}}, {}}, {}};
  const auto none = beam_search(g, Zero{}, 0, 5, 0, true);  // every child pruned
  expect_exhausted(none);
  expect_counters(none, 1, 3, 1);

  const auto narrow = beam_search(g, Zero{}, 0, 5, 1, true);
  expect_exhausted(narrow);
  EXPECT_EQ(Steps(narrow).nodes, (Path{0, 1, 3}));
  expect_counters(narrow, 3, 4, 1);

  const auto wide = beam_search(g, Zero{}, 0, 5, kUnlimited, true);
  EXPECT_EQ(wide.path, (Path{0, 2, 4, 5}));
  EXPECT_EQ(wide.cost, 7.0);
  EXPECT_EQ(Steps(wide).nodes, (Path{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(Steps(wide).g, (std::vector<double>{0, 1, 1, 2, 3, 7}));
  // Candidates gathered so far in the iteration, from 0 at each new layer.
  EXPECT_EQ(Steps(wide).sizes, (std::vector<std::uint64_t>{0, 0, 1, 0, 0, 0}));
  expect_counters(wide, 6, 6, 2);
}

TEST(Beam, RanksByEstimateAndNeverRevisitsAPrunedNode) {
  // 1 ranks below 2 and is pruned; reached again from 2, it is not regenerated,
  // so the goal behind it is lost.
  const ListGraph g{{{{1, 1.0}, {2, 1.0}}, {{3, 1.0}}, {{1, 1.0}}, {}}, {}};
  const auto r = beam_search(g, TableH{{0, 5, 0, 0}}, 0, 3, 1, true);
  expect_exhausted(r);
  EXPECT_EQ(Steps(r).nodes, (Path{0, 2}));
  expect_counters(r, 2, 3, 1);
  EXPECT_EQ(beam_search(g, TableH{{0, 0, 5, 0}}, 0, 3, 1, false).path, (Path{0, 1, 3}));
}

TEST(Beam, NaNKeysSortAfterNumbersInGenerationOrder) {
  const ListGraph g{{{{1, 1.0}, {2, 1.0}, {3, 1.0}, {4, 1.0}}, {}, {}, {}, {}, {}}, {}};
  const TableH h{{0, kNaN, 2, kNaN, 1, 0}};
  const auto all = beam_search(g, h, 0, 5, kUnlimited, true);
  expect_exhausted(all);
  EXPECT_EQ(Steps(all).nodes, (Path{0, 4, 2, 1, 3}));
  expect_counters(all, 5, 5, 4);
  EXPECT_EQ(Steps(beam_search(g, h, 0, 5, 2, true)).nodes, (Path{0, 4, 2}));

  // Many NaN keys among numbers: the sort completes and keeps every candidate.
  ListGraph star{{{}}, {}};
  TableH keys{{0.0}};
  Path numbers, nans;
  for (std::size_t i = 1; i <= 200; ++i) {
    star.adj[0].push_back({i, 1.0});
    star.adj.push_back({});
    keys.h.push_back(i % 3 ? 1.0 : kNaN);
    (i % 3 ? numbers : nans).push_back(i);
  }
  const auto r = beam_search(star, keys, 0, 999, kUnlimited, true);
  expect_counters(r, 201, 201, 200);
  Path expected{0};
  expected.insert(expected.end(), numbers.begin(), numbers.end());
  expected.insert(expected.end(), nans.begin(), nans.end());
  EXPECT_EQ(Steps(r).nodes, expected);
}

// ------------------------------------------------------------ bidirectional

TEST(Bidirectional, TheFirstForwardLayerMeetsOrEmpties) {
  const CsrGraph g = CsrGraph::from_edges(2, {{0, 1, 3.0}, {0, 1, 2.0}}, true);
  const auto r = bidirectional(g, 0, 1, true);
  EXPECT_EQ(r.stop_reason, StopReason::Goal);
  EXPECT_EQ(r.path, (Path{0, 1}));
  EXPECT_EQ(r.cost, 2.0);  // the cheaper parallel edge
  expect_counters(r, 1, 3, 2);
  ASSERT_EQ(r.trace.size(), 1u);
  EXPECT_FALSE(r.trace[0].g.has_value());

  const ListGraph dead_end{{{}, {{0, 1.0}}}, {}};
  const auto d = bidirectional(dead_end, 0, 1, true);
  expect_exhausted(d);
  expect_counters(d, 1, 2, 2);
}

TEST(Bidirectional, KeepsTheCheapestMeetingTheFirstOnTiesAndNeverANaN) {
  // Forward layer {1, 2}; the backward layer from 3 meets both.
  const auto run = [](double via1) {
    const CsrGraph g =
        CsrGraph::from_edges(4, {{0, 1, 1.0}, {0, 2, 1.0}, {1, 3, via1}, {2, 3, 1.0}}, true);
    return bidirectional(g, 0, 3, true);
  };
  const auto cheaper_second = run(10.0);
  EXPECT_EQ(cheaper_second.path, (Path{0, 2, 3}));
  EXPECT_EQ(cheaper_second.cost, 2.0);
  expect_counters(cheaper_second, 2, 6, 2);
  EXPECT_EQ(Steps(cheaper_second).nodes, (Path{0, 3}));
  EXPECT_EQ(Steps(cheaper_second).sizes, (std::vector<std::uint64_t>{0, 0}));
  EXPECT_EQ(Steps(cheaper_second).g, (std::vector<double>{-1, -1}));  // g absent

  const auto tie = run(1.0);
  EXPECT_EQ(tie.path, (Path{0, 1, 3}));
  EXPECT_EQ(tie.cost, 2.0);

  // Not transposable, so the backward half steps along 3's successors; the
  // path through 1 needs 1 -> 3, which does not exist: its NaN cost gives way.
  const ListGraph g{{{{1, 1.0}, {2, 5.0}}, {}, {{3, 5.0}}, {{1, 1.0}, {2, 1.0}}}, {}};
  const auto nan_first = bidirectional(g, 0, 3, false);
  EXPECT_EQ(nan_first.path, (Path{0, 2, 3}));
  EXPECT_EQ(nan_first.cost, 10.0);
}

TEST(Bidirectional, DirectedGraphIsWalkedBackAlongRealArcs) {
  // 3 -> 0 would be a shortcut if the backward half followed successors.
  const CsrGraph g = CsrGraph::from_edges(
      5, {{0, 1, 1.0}, {0, 4, 1.0}, {1, 2, 1.0}, {2, 3, 1.0}, {3, 0, 1.0}}, false);
  const auto r = bidirectional(g, 0, 3, true);
  ASSERT_EQ(r.stop_reason, StopReason::Goal);
  EXPECT_EQ(r.path, (Path{0, 1, 2, 3}));
  EXPECT_EQ(r.cost, 3.0);
  EXPECT_EQ(Steps(r).nodes, (Path{0, 3, 2}));
  expect_counters(r, 3, 6, 2);
}

TEST(Bidirectional, GridLayersMeetInTheMiddle) {
  const GridGraph g = GridGraph::blank(3, 3);
  const auto r = bidirectional(g, Cell{0, 0}, Cell{2, 2}, true);
  ASSERT_EQ(r.stop_reason, StopReason::Goal);
  // Meetings at (0,2), (1,1), (2,0), all of cost 4: the first is kept.
  EXPECT_EQ(r.path, (std::vector<Cell>{{0, 0}, {0, 1}, {0, 2}, {1, 2}, {2, 2}}));
  EXPECT_EQ(r.cost, 4.0);
  expect_counters(r, 6, 12, 3);
}

TEST(CsrGraph, TransposeListsPredecessorsBySourceThenStoredOrder) {
  const CsrGraph g = CsrGraph::from_edges(
      3, {{0, 1, 1.5}, {2, 1, 2.5}, {0, 2, 3.0}, {1, 0, 4.0}, {0, 1, 0.5}}, false);
  EXPECT_FALSE(g.symmetric());
  const CsrGraph t = g.transposed();
  EXPECT_EQ(t.num_arcs(), g.num_arcs());
  EXPECT_EQ(t.neighbors(0), (Neighbors<std::size_t>{{1, 4.0}}));
  EXPECT_EQ(t.neighbors(1), (Neighbors<std::size_t>{{0, 1.5}, {0, 0.5}, {2, 2.5}}));
  EXPECT_EQ(t.neighbors(2), (Neighbors<std::size_t>{{0, 3.0}}));
  EXPECT_TRUE(CsrGraph::from_edges(2, {{0, 1, 1.0}}, true).symmetric());
}

}  // namespace
}  // namespace wayloom
