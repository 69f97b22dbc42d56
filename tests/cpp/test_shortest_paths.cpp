#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <vector>

#include "wayloom/domains/generators.hpp"
#include "wayloom/paths/shortest_paths.hpp"
#include "wayloom/random/chacha.hpp"

namespace wayloom {
namespace {

using Path = std::optional<std::vector<std::size_t>>;
using Pred = std::vector<std::optional<std::size_t>>;
constexpr auto kNone = std::nullopt;

CsrGraph graph(std::size_t n, const std::vector<Edge>& edges, bool undirected = false) {
  return CsrGraph::from_edges(n, edges, undirected);
}

// 0 -> 1 costs 4 directly but -1 through 2.
const std::vector<Edge> kDetour = {{0, 1, 4.0}, {0, 2, 1.0}, {2, 1, -2.0}};

TEST(BellmanFord, NegativeArcDetour) {
  const ShortestPaths sp = bellman_ford(graph(3, kDetour), 0);
  EXPECT_EQ(sp.dist, (std::vector<double>{0.0, -1.0, 1.0}));
  EXPECT_EQ(sp.pred, (Pred{kNone, 2, 0}));
  EXPECT_EQ(sp.source, 0u);
  EXPECT_FALSE(sp.negative_cycle);
  EXPECT_EQ(sp.path_to(1), (Path{{0, 2, 1}}));
  EXPECT_EQ(sp.path_to(0), (Path{{0}}));
  EXPECT_EQ(sp.path_to(3), std::nullopt);
}

TEST(FloydWarshall, NegativeArcDetour) {
  const AllPairs ap = floyd_warshall(graph(3, kDetour));
  EXPECT_EQ(ap.num_nodes, 3u);
  EXPECT_FALSE(ap.negative_cycle);
  EXPECT_EQ(ap.distance(0, 1), -1.0);
  EXPECT_EQ(ap.path(0, 1), (Path{{0, 2, 1}}));
  EXPECT_EQ(ap.hop(0, 1), std::optional<std::size_t>(2));
  EXPECT_EQ(ap.distance(1, 0), kInf);
  EXPECT_EQ(ap.path(1, 0), std::nullopt);
  EXPECT_EQ(ap.hop(1, 0), std::nullopt);
  EXPECT_EQ(ap.path(2, 2), (Path{{2}}));
  EXPECT_EQ(ap.distance(3, 0), kInf);
  EXPECT_EQ(ap.path(0, 3), std::nullopt);
  EXPECT_EQ(ap.matrix(), (std::vector<std::vector<double>>{
                             {0.0, -1.0, 1.0}, {kInf, 0.0, kInf}, {kInf, -2.0, 0.0}}));
}

TEST(ShortestPaths, UndirectedNegativeEdgeIsANegativeCycle) {
  const CsrGraph g = graph(3, kDetour, true);
  EXPECT_TRUE(bellman_ford(g, 0).negative_cycle);
  EXPECT_TRUE(floyd_warshall(g).negative_cycle);
}

TEST(ShortestPaths, EmptyGraph) {
  const CsrGraph g = graph(0, {});
  const ShortestPaths sp = bellman_ford(g, 0);
  EXPECT_TRUE(sp.dist.empty());
  EXPECT_TRUE(sp.pred.empty());
  EXPECT_FALSE(sp.negative_cycle);
  EXPECT_EQ(sp.path_to(0), std::nullopt);

  const AllPairs ap = floyd_warshall(g);
  EXPECT_EQ(ap.num_nodes, 0u);
  EXPECT_FALSE(ap.negative_cycle);
  EXPECT_TRUE(ap.matrix().empty());
  EXPECT_EQ(ap.distance(0, 0), kInf);
  EXPECT_EQ(ap.path(0, 0), std::nullopt);
}

TEST(ShortestPaths, SingleNodeNegativeSelfLoop) {
  const CsrGraph g = graph(1, {{0, 0, -1.5}});
  std::size_t passes = 99;
  const ShortestPaths sp = detail::bellman_ford_counted(g, 0, passes);
  EXPECT_EQ(passes, 0u);  // n < 2: only the check pass runs
  EXPECT_TRUE(sp.negative_cycle);
  EXPECT_EQ(sp.dist, std::vector<double>{0.0});
  EXPECT_EQ(sp.pred, Pred{kNone});

  // The loop sets the diagonal to -1.5, then pivot 0 relaxes (0, 0) through
  // itself once: -1.5 + -1.5.
  const AllPairs ap = floyd_warshall(g);
  EXPECT_TRUE(ap.negative_cycle);
  EXPECT_EQ(ap.distance(0, 0), -3.0);
  EXPECT_EQ(ap.hop(0, 0), std::optional<std::size_t>(0));
  EXPECT_EQ(ap.path(0, 0), (Path{{0}}));
}

TEST(ShortestPaths, NonNegativeSelfLoopLeavesDiagonalAtZero) {
  const AllPairs ap = floyd_warshall(graph(2, {{0, 0, 3.0}, {1, 1, 0.0}}));
  EXPECT_EQ(ap.distance(0, 0), 0.0);
  EXPECT_EQ(ap.hop(0, 0), std::nullopt);
  EXPECT_FALSE(ap.negative_cycle);
}

TEST(BellmanFord, OutOfRangeSourceIsAllUnreachable) {
  const ShortestPaths sp = bellman_ford(graph(3, kDetour), 3);
  EXPECT_EQ(sp.source, 3u);
  EXPECT_EQ(sp.dist, (std::vector<double>{kInf, kInf, kInf}));
  EXPECT_EQ(sp.pred, (Pred{kNone, kNone, kNone}));
  EXPECT_FALSE(sp.negative_cycle);
  EXPECT_EQ(sp.path_to(0), std::nullopt);
}

TEST(BellmanFord, StopsAfterFirstPassWithoutChange) {
  // Arcs listed along the path: everything settles in pass 1, pass 2 confirms.
  std::vector<Edge> forward;
  for (std::size_t i = 0; i + 1 < 6; ++i) forward.push_back({i, i + 1, 1.0});
  std::size_t passes = 0;
  const ShortestPaths sp = detail::bellman_ford_counted(graph(6, forward), 0, passes);
  EXPECT_EQ(passes, 2u);
  EXPECT_EQ(sp.dist[5], 5.0);
}

TEST(BellmanFord, RunsAtMostNMinusOnePassesAndThatIsEnough) {
  // Arcs listed against the path from 5 down to 0: one more node per pass.
  std::vector<Edge> backward;
  for (std::size_t i = 0; i + 1 < 6; ++i) backward.push_back({i + 1, i, 1.0});
  std::size_t passes = 0;
  const ShortestPaths sp = detail::bellman_ford_counted(graph(6, backward), 5, passes);
  EXPECT_EQ(passes, 5u);
  EXPECT_EQ(sp.dist, (std::vector<double>{5, 4, 3, 2, 1, 0}));
  EXPECT_FALSE(sp.negative_cycle);
  EXPECT_EQ(sp.path_to(0), (Path{{5, 4, 3, 2, 1, 0}}));
}

TEST(ShortestPaths, ParallelArcsUseTheCheapest) {
  const CsrGraph g = graph(2, {{0, 1, 5.0}, {0, 1, 2.0}, {0, 1, 7.0}});
  EXPECT_EQ(bellman_ford(g, 0).dist[1], 2.0);
  EXPECT_EQ(floyd_warshall(g).distance(0, 1), 2.0);
}

TEST(ShortestPaths, UnreachableTarget) {
  const CsrGraph g = graph(3, {{0, 1, 1.0}});
  const ShortestPaths sp = bellman_ford(g, 0);
  EXPECT_EQ(sp.dist[2], kInf);
  EXPECT_EQ(sp.pred[2], kNone);
  EXPECT_EQ(sp.path_to(2), std::nullopt);
  const AllPairs ap = floyd_warshall(g);
  EXPECT_EQ(ap.distance(0, 2), kInf);
  EXPECT_EQ(ap.path(0, 2), std::nullopt);
}

TEST(ShortestPaths, LoopingChainsYieldNoPath) {
  // 1 <-> 2 is a negative cycle reachable from 0; 3 hangs off 0 outside it.
  const CsrGraph g = graph(4, {{0, 1, 1.0}, {0, 3, 2.0}, {1, 2, -1.0}, {2, 1, -1.0}});
  const ShortestPaths sp = bellman_ford(g, 0);
  EXPECT_TRUE(sp.negative_cycle);
  EXPECT_EQ(sp.path_to(1), std::nullopt);
  EXPECT_EQ(sp.path_to(2), std::nullopt);
  EXPECT_EQ(sp.path_to(3), (Path{{0, 3}}));

  // A negative self-loop on 0 makes 0 its own next hop towards 1.
  const AllPairs ap = floyd_warshall(graph(2, {{1, 0, 2.0}, {0, 1, -1.0}, {0, 0, -2.0}}));
  EXPECT_TRUE(ap.negative_cycle);
  EXPECT_EQ(ap.matrix(), (std::vector<std::vector<double>>{{-7.0, -12.0}, {-9.0, -14.0}}));
  EXPECT_EQ(ap.hop(0, 1), std::optional<std::size_t>(0));
  EXPECT_EQ(ap.path(0, 1), std::nullopt);
  EXPECT_EQ(ap.path(1, 0), (Path{{1, 0}}));
  EXPECT_EQ(ap.path(1, 1), (Path{{1}}));  // from == to short-circuits
}

TEST(ShortestPaths, NonFiniteWeightsDoNotCrash) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const CsrGraph g = graph(3, {{0, 1, nan}, {0, 2, kInf}, {1, 2, 1.0}});
  const ShortestPaths sp = bellman_ford(g, 0);
  EXPECT_EQ(sp.dist, (std::vector<double>{0.0, kInf, kInf}));
  EXPECT_FALSE(sp.negative_cycle);
  const AllPairs ap = floyd_warshall(g);
  EXPECT_EQ(ap.distance(0, 1), kInf);
  EXPECT_EQ(ap.distance(0, 2), kInf);
}

TEST(FloydWarshall, RefusesMatricesThatCannotBeAllocated) {
  EXPECT_THROW(detail::check_all_pairs_size(std::size_t(1) << 33),
               std::bad_alloc);  // n*n overflows
  EXPECT_THROW(detail::check_all_pairs_size(std::numeric_limits<std::size_t>::max()),
               std::bad_alloc);
  // About 12 TB of matrices for a graph that itself is small.
  EXPECT_THROW(floyd_warshall(graph(std::size_t(1) << 20, {})), std::bad_alloc);
  EXPECT_NO_THROW(detail::check_all_pairs_size(1000));
}

// The textbook in-place sweep, element by element, as the reference for the
// vectorised one (which must agree bit for bit, negative cycles included).
void reference_floyd_warshall(std::size_t n, const std::vector<Edge>& edges, std::vector<double>& d,
                              std::vector<std::uint32_t>& h) {
  d.assign(n * n, kInf);
  h.assign(n * n, AllPairs::kNoHop);
  for (std::size_t i = 0; i < n; ++i) d[i * n + i] = 0.0;
  for (const Edge& e : CsrGraph::from_edges(n, edges, false).edges()) {
    if (e.weight < d[e.source * n + e.target]) {
      d[e.source * n + e.target] = e.weight;
      h[e.source * n + e.target] = std::uint32_t(e.target);
    }
  }
  for (std::size_t k = 0; k < n; ++k)
    for (std::size_t i = 0; i < n; ++i) {
      if (!std::isfinite(d[i * n + k])) continue;
      for (std::size_t j = 0; j < n; ++j)
        if (d[i * n + k] + d[k * n + j] < d[i * n + j]) {
          d[i * n + j] = d[i * n + k] + d[k * n + j];
          h[i * n + j] = h[i * n + k];
        }
    }
}

std::vector<Edge> random_weighted_edges(std::size_t n, double p, double lo, double hi,
                                        std::uint64_t seed) {
  ChaCha8Rng rng(seed ^ 0x9e3779b97f4a7c15ULL);
  std::vector<Edge> edges;
  for (std::size_t u = 0; u < n; ++u)
    for (std::size_t v = 0; v < n; ++v)
      if (rng.unit_float() < p) {
        // Integral weights keep every sum exact, so orders of addition agree.
        const double w = lo + double(rng.index_below(std::uint64_t(hi - lo) + 1));
        edges.push_back({u, v, w});
      }
  return edges;
}

TEST(FloydWarshall, MatchesElementwiseSweepBitForBit) {
  for (std::uint64_t seed = 0; seed < 40; ++seed) {
    const std::size_t n = 1 + seed % 23;
    // Mostly positive weights with some negative ones: many graphs get negative cycles.
    const std::vector<Edge> edges = random_weighted_edges(n, 0.25, -3.0, 9.0, seed);
    std::vector<double> d;
    std::vector<std::uint32_t> h;
    reference_floyd_warshall(n, edges, d, h);
    const AllPairs ap = floyd_warshall(CsrGraph::from_edges(n, edges, false));
    ASSERT_EQ(ap.dist.size(), d.size());
    for (std::size_t x = 0; x < d.size(); ++x)
      ASSERT_EQ(std::bit_cast<std::uint64_t>(ap.dist[x]), std::bit_cast<std::uint64_t>(d[x]))
          << "seed " << seed << " cell " << x;
    ASSERT_EQ(ap.next_hop, h) << "seed " << seed;
    bool negative = false;
    for (std::size_t i = 0; i < n; ++i) negative = negative || d[i * n + i] < 0.0;
    EXPECT_EQ(ap.negative_cycle, negative);
  }
}

double path_cost(const std::vector<Edge>& edges, const std::vector<std::size_t>& path) {
  double total = 0.0;
  for (std::size_t s = 0; s + 1 < path.size(); ++s) {
    double best = kInf;
    for (const Edge& e : edges)
      if (e.source == path[s] && e.target == path[s + 1] && e.weight < best) best = e.weight;
    total += best;
  }
  return total;
}

TEST(ShortestPaths, FloydWarshallAgreesWithBellmanFordFromEverySource) {
  for (std::uint64_t seed = 100; seed < 112; ++seed) {
    const std::size_t n = 5 + seed % 20;
    const std::vector<Edge> edges = random_weighted_edges(n, 0.15, 0.0, 20.0, seed);
    const CsrGraph g = CsrGraph::from_edges(n, edges, false);
    const AllPairs ap = floyd_warshall(g);
    EXPECT_FALSE(ap.negative_cycle);
    for (std::size_t s = 0; s < n; ++s) {
      const ShortestPaths sp = bellman_ford(g, s);
      EXPECT_FALSE(sp.negative_cycle);
      for (std::size_t t = 0; t < n; ++t) {
        ASSERT_EQ(sp.dist[t], ap.distance(s, t)) << "seed " << seed << " " << s << "->" << t;
        const Path a = sp.path_to(t), b = ap.path(s, t);
        ASSERT_EQ(a.has_value(), std::isfinite(sp.dist[t]));
        ASSERT_EQ(b.has_value(), a.has_value());
        if (!a) continue;
        EXPECT_EQ(a->front(), s);
        EXPECT_EQ(b->back(), t);
        EXPECT_EQ(path_cost(edges, *a), sp.dist[t]);
        EXPECT_EQ(path_cost(edges, *b), sp.dist[t]);
      }
    }
  }
}

}  // namespace
}  // namespace wayloom
